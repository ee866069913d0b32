# The platform seam: the device's own libcpld.so and libconfig.so (vendor), or
# the host twin's stand-ins built from sim/ (twin). Either way the daemon
# links two shared libraries through the targets linewatch::cpld and
# linewatch::config.
if(LINEWATCH_PLATFORM STREQUAL "twin")
    add_subdirectory(sim)
    add_library(linewatch::cpld ALIAS cpld)
    add_library(linewatch::config ALIAS config)
elseif(LINEWATCH_PLATFORM STREQUAL "vendor")
    # The device's libraries are called exactly libcpld.so and libconfig.so;
    # a cross build looks for them only in the target root.
    find_library(CPLD_LIBRARY NAMES libcpld.so DOC "The device's libcpld.so")
    find_library(CONFIG_LIBRARY NAMES libconfig.so DOC "The device's libconfig.so")
    if(CMAKE_SYSROOT)
        set(searched "the target root ${CMAKE_SYSROOT}")
    elseif(CMAKE_FIND_ROOT_PATH)
        set(searched "the target root ${CMAKE_FIND_ROOT_PATH}")
    else()
        set(searched "the system's library directories")
    endif()
    set(missing "")
    foreach(lib CPLD_LIBRARY CONFIG_LIBRARY)
        if(NOT ${lib})
            string(APPEND missing "\n  ${lib}: not found in ${searched}")
        elseif(NOT EXISTS "${${lib}}")
            string(APPEND missing "\n  ${lib}: ${${lib}} does not exist")
        endif()
    endforeach()
    if(missing)
        message(FATAL_ERROR "LINEWATCH_PLATFORM=vendor links the device's libcpld.so and "
                "libconfig.so:${missing}\n"
                "Give the firmware's root with -DCMAKE_SYSROOT=DIR, or each library with "
                "-DCPLD_LIBRARY=PATH and -DCONFIG_LIBRARY=PATH.")
    endif()
    foreach(name cpld config)
        string(TOUPPER ${name} upper)
        add_library(linewatch::${name} SHARED IMPORTED)
        # Linked by name, so that the executable needs "lib${name}.so" even
        # when the device's library carries no SONAME, never the path it was
        # found at on the build machine.
        set_target_properties(linewatch::${name} PROPERTIES
            IMPORTED_LOCATION "${${upper}_LIBRARY}"
            IMPORTED_NO_SONAME TRUE)
    endforeach()
    # The tests run against the twin's stand-ins, which a vendor build lacks.
    if(LINEWATCH_TESTS)
        message(STATUS "LINEWATCH_PLATFORM=vendor: tests are not built")
        set(LINEWATCH_TESTS OFF)
    endif()
else()
    message(FATAL_ERROR "LINEWATCH_PLATFORM must be twin or vendor, not '${LINEWATCH_PLATFORM}'")
endif()

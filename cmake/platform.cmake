# The platform seam: the device's own libcpld.so and libconfig.so (vendor), or
# the host twin's stand-ins built from sim/ (twin). Either way the daemon
# links two shared libraries through the targets linewatch::cpld and
# linewatch::config.
if(LINEWATCH_PLATFORM STREQUAL "twin")
    add_subdirectory(sim)
    add_library(linewatch::cpld ALIAS cpld)
    add_library(linewatch::config ALIAS config)
elseif(LINEWATCH_PLATFORM STREQUAL "vendor")
    find_library(CPLD_LIBRARY NAMES cpld)
    find_library(CONFIG_LIBRARY NAMES config)
    foreach(lib CPLD_LIBRARY CONFIG_LIBRARY)
        if(NOT ${lib})
            message(FATAL_ERROR "LINEWATCH_PLATFORM=vendor: ${lib} not found; "
                    "set -D${lib}=/path/to/lib in the target sysroot")
        endif()
    endforeach()
    add_library(linewatch::cpld SHARED IMPORTED)
    set_target_properties(linewatch::cpld PROPERTIES IMPORTED_LOCATION "${CPLD_LIBRARY}")
    add_library(linewatch::config SHARED IMPORTED)
    set_target_properties(linewatch::config PROPERTIES IMPORTED_LOCATION "${CONFIG_LIBRARY}")
else()
    message(FATAL_ERROR "LINEWATCH_PLATFORM must be twin or vendor, not '${LINEWATCH_PLATFORM}'")
endif()

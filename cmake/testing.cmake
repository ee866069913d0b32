# What the unit tests build with and run under. The host's prebuilt GoogleTest
# is of the build machine's architecture, so a cross build compiles GoogleTest
# from the sources of Debian's googletest package with the target compiler.
if(CMAKE_CROSSCOMPILING)
    set(LINEWATCH_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
    if(NOT EXISTS "${LINEWATCH_GOOGLETEST_SOURCE}/CMakeLists.txt")
        message(FATAL_ERROR "A cross build with tests compiles GoogleTest from source, not found in "
                "${LINEWATCH_GOOGLETEST_SOURCE}: install googletest (cmake/install-deps ppc) or "
                "set LINEWATCH_GOOGLETEST_SOURCE")
    endif()
    set(BUILD_GMOCK OFF)
    set(INSTALL_GTEST OFF)
    add_subdirectory(${LINEWATCH_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
    find_package(GTest REQUIRED)
endif()

# How a test runs one of the project's programs through a shell: a cross
# build's programs need the emulator.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " LINEWATCH_RUN_PREFIX)
if(LINEWATCH_RUN_PREFIX)
    string(APPEND LINEWATCH_RUN_PREFIX " ")
endif()

# The device has little flash. Release builds keep only the functions and data
# the programs reach, and every build records only the shared libraries a
# program really uses, so an unused C++ runtime never becomes a run-time need.
add_compile_options("$<$<CONFIG:MinSizeRel>:-ffunction-sections;-fdata-sections>")
add_link_options("$<$<CONFIG:MinSizeRel>:LINKER:--gc-sections>" LINKER:--as-needed)
if(LINEWATCH_MAX_PAGE_SIZE)
    add_link_options(LINKER:-z,max-page-size=${LINEWATCH_MAX_PAGE_SIZE})
endif()

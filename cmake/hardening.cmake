# The device build runs as root and reads files in a world-writable /tmp:
# its programs are position-independent, their relocations read-only after
# start-up with every symbol bound then, their stack frames guarded, and the
# C library's string and print calls checked against the sizes the compiler
# knows (which needs optimisation: the device presets build MinSizeRel).
option(LINEWATCH_HARDEN "Build the daemon and lampscan hardened (the device presets)" OFF)

if(LINEWATCH_HARDEN)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
endif()

function(linewatch_harden target)
    if(NOT LINEWATCH_HARDEN)
        return()
    endif()
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_compile_options(${target} PRIVATE -fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
    target_link_options(${target} PRIVATE LINKER:-z,relro,-z,now)
endfunction()

# Flags every daemon target gets.
function(linewatch_daemon_flags target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wformat=2 -Wshadow -Wconversion -Wno-sign-conversion
        -fno-exceptions -fno-rtti
        # Nothing unwinds through code without exceptions: in a release build
        # the unwind tables would be some 15 % of the daemon's size.
        $<$<CONFIG:MinSizeRel>:-fno-asynchronous-unwind-tables>)
    # The few compiler helpers the programs need (64-bit division on the
    # 32-bit device) are linked in, so that the device needs no libgcc_s.so.
    target_link_options(${target} PRIVATE -static-libgcc)
    linewatch_harden(${target})
endfunction()

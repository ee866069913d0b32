# Flags every daemon target gets.
function(linewatch_daemon_flags target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wformat=2 -Wshadow -Wconversion -Wno-sign-conversion
        -fno-exceptions -fno-rtti)
endfunction()

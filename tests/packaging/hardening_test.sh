#!/usr/bin/env bash
# The device's programs carry each hardening of cmake/hardening.cmake: a
# position-independent executable, read-only relocations bound at start-up,
# the stack guard and the C library's checked calls.  READELF BUILD_DIR
set -uo pipefail
status=0
for program in linewatch lampscan; do
    elf=$("$1" -hldW --dyn-syms "$2/$program") || exit 1
    for property in 'Type: +DYN' GNU_RELRO '\(FLAGS\) +BIND_NOW|\(FLAGS_1\) +Flags:.* NOW' 'UND __stack_chk_fail@' 'UND __[a-z]+_chk@'; do
        grep -Eq "$property" <<<"$elf" || { echo "FAIL: $program: no '$property'"; status=1; }
    done
done
exit $status

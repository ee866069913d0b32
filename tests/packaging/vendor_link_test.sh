#!/usr/bin/env bash
# A vendor build links the device's own libcpld.so and libconfig.so, played by
# the twin's stand-ins: libconfig.so as built, with a SONAME, and libcpld.so
# rebuilt without one, as a vendor library may come. Either way the executable
# must need them by bare name, and only them and the C library.
#   vendor_link_test.sh SOURCE_DIR WORK_DIR CXX READELF LIBCONFIG [TOOLCHAIN_FILE]
set -euo pipefail
src=$1 work=$2 cxx=$3 readelf=$4 libconfig=$5 toolchain=${6:-}
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work/device"
"$cxx" -shared -fPIC -I"$src" -o "$work/device/libcpld.so" "$src/sim/cpld_standin.cpp"
dynamic=$("$readelf" -d "$work/device/libcpld.so")
! grep -q SONAME <<<"$dynamic" || fail "the SONAME-less libcpld.so has a SONAME"
configure=(cmake -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=MinSizeRel -DLINEWATCH_PLATFORM=vendor
           -DCMAKE_CXX_COMPILER="$cxx" -DCONFIG_LIBRARY="$libconfig" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"})

# Without the libraries, configuring stops and says which one is missing.
"${configure[@]}" -DCPLD_LIBRARY="$work/device/missing/libcpld.so" >"$work/missing.log" 2>&1 && fail "configured without libcpld.so"
grep -q 'CPLD_LIBRARY' "$work/missing.log" || fail "the error does not name CPLD_LIBRARY: $(cat "$work/missing.log")"
grep -q 'CONFIG_LIBRARY:' "$work/missing.log" && fail "the error names CONFIG_LIBRARY, which was found"

"${configure[@]}" -DCPLD_LIBRARY="$work/device/libcpld.so" >"$work/configure.log" 2>&1 || fail "configure: $(cat "$work/configure.log")"
[ -d "$work/build/tests" ] && fail "a vendor build has no stand-ins to test against, yet built tests"
cmake --build "$work/build" --target linewatch -j2 >"$work/build.log" 2>&1 || fail "build: $(cat "$work/build.log")"
needed=$("$readelf" -d "$work/build/linewatch" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
[ "$needed" = "libc.so.6 libconfig.so libcpld.so " ] || fail "linewatch needs: $needed"
echo "linewatch needs: $needed"

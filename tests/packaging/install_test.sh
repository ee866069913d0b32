#!/usr/bin/env bash
# The device's file tree as `cmake --install --prefix /usr` lays it out under
# DESTDIR, cpack's tarball of it, and its systemd unit as systemd reads it. In
# the sandbox, a destination that escaped DESTDIR hits the read-only host root.
#   install_test.sh BUILD_DIR READELF
set -euo pipefail
build=$1 readelf=$2 work=$1/tests/packaging/install
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
DESTDIR=$work/root cmake --install "$build" --prefix /usr >"$work/install.log" || fail "install: $(cat "$work/install.log")"
expected=$'644 usr/lib/systemd/system/linewatch.service\n755 etc/init.d/linewatch\n755 usr/sbin/linewatch'
[ -e "$build/lampscan" ] && expected+=$'\n'"755 usr/sbin/lampscan"
tree=$(cd "$work/root" && find . ! -type d -printf '%m %P\n' | sort)
[ "$tree" = "$(sort <<<"$expected")" ] || fail "installed tree:"$'\n'"$tree"
# The build tree's library path must not travel to the device.
for program in "$work"/root/usr/sbin/*; do
    dynamic=$("$readelf" -d "$program") && ! grep -qE 'R(UN)?PATH' <<<"$dynamic" || fail "${program##*/} keeps a library path"; done

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" || fail "cpack: $(cat "$work/cpack.log")"
tarball=("$work"/package/*.tar.gz)
[ ${#tarball[@]} = 1 ] || fail "cpack made ${#tarball[@]} tarballs"
packed=$(tar -tvzf "${tarball[0]}" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$packed" = "$(cut -d' ' -f2 <<<"$tree" | sort)" ] || fail "tarball holds:"$'\n'"$packed"

command -v systemd-analyze >/dev/null ||
    { echo "systemd-analyze is missing: apt-get install systemd" >&2; [ "${CI:-}" = true ] && exit 1; exit 77; }
# The sandbox's own /usr/sbin, where the unit's ExecStart looks. systemd only
# warns about a misspelt key or value: any remark fails.
cp "$work/root/usr/sbin/linewatch" /usr/sbin/
remarks=$(systemd-analyze verify "$work/root/usr/lib/systemd/system/linewatch.service" 2>&1) && [ -z "$remarks" ] ||
    fail "systemd-analyze verify: $remarks"

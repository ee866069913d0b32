# Sourced by every stub command, before it does anything of its own: records
# the call as one line, the name and each argument separated by tabs, runs
# what a test left in run/<name> (to look at the world mid-call, to print odd
# output and exit, or to hang), and sets `status` to what a test left in
# exit/<name> (0 when none).
# shellcheck disable=SC2034 # status is for the stub that sources this
name=${0##*/}
dir=${LINEWATCH_SIM_DIR:-/run/linewatch-sim}
{
    printf '%s' "$name"
    for arg in "$@"; do printf '\t%s' "$arg"; done
    printf '\n'
} >>"$dir/commands"
if [ -r "$dir/run/$name" ]; then
    # shellcheck source=/dev/null # written by a test
    . "$dir/run/$name"
fi
status=0
if [ -r "$dir/exit/$name" ]; then
    read -r status <"$dir/exit/$name"
fi

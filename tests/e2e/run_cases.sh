#!/usr/bin/env bash
# Runs case files against the daemon on the twin. A case is a title, then
# console commands and expectations, one a line:
#
#   == TITLE               a new case, in a fresh world (see fresh in lib.sh)
#   COMMAND ARGS           a command of linewatch-sim (di 1, config KEY V, ...)
#   expect [no] LINE       LINE is (not) a line of `linewatch-sim show`
#   count N LINE           exactly N lines of show are LINE
#   file PATH [TEXT|-]     PATH holds exactly TEXT (printf %b), nothing, or
#                          does not exist (-)
#   ran [CMD; CMD...]      the commands run so far, in order, as show writes them
#   $ SHELL                a bash line, with the helpers of lib.sh
#   stopped                the daemon is not running when the case ends
#
# Every case not `stopped` ends with the checks of expect_unharmed.
#
#   run_cases.sh FILE... [-- TITLE_PATTERN]
source "$(dirname "$0")/lib.sh"

files=() pattern=
while [ $# -gt 0 ]; do
    if [ "$1" = -- ]; then pattern=$2; break; fi
    files+=("$1")
    shift
done

show_lines() { sim show | grep -cFx -- "$1"; }

step() {
    local line=$1 word=${1%% *} rest=
    [[ $line == *" "* ]] && rest=${line#* }
    case $word in
    expect)
        if [ "${rest%% *}" = no ]; then
            [ "$(show_lines "${rest#no }")" = 0 ] || fail "show has the line"
        else
            [ "$(show_lines "$rest")" != 0 ] || fail "show has no such line"
        fi
        ;;
    count) expect_eq "lines" "$(show_lines "${rest#* }")" "${rest%% *}" ;;
    file)
        local path=${rest%% *} text=
        [[ $rest == *" "* ]] && text=${rest#* }
        if [ "$text" = - ]; then
            [ ! -e "$path" ] || fail "$path exists"
        else
            expect_eq "$path" "$(timeout 10 cat "$path" 2>/dev/null; echo .)" "$(printf '%b.' "$text")"
        fi
        ;;
    ran) expect_eq "commands run" "$(commands_run)" "$rest" ;;
    '$') eval "$rest" || fail "the shell line failed" ;;
    stopped) stopped=1 ;;
    *)
        local words
        read -r -a words <<<"$line"
        sim "${words[@]}" || fail "linewatch-sim failed"
        ;;
    esac
}

# The lines of one case, run in the subshell run_one gives it.
run_case() {
    local number line stopped=0
    for number in "${!case_lines[@]}"; do
        line=${case_lines[number]}
        at="$case_file:${case_numbers[number]}: $line"
        step "$line"
    done
    at=
    [ $stopped = 1 ] || expect_unharmed
}

flush_case() {
    [ -n "$title" ] || return 0
    [ -z "$pattern" ] || [[ $title == *$pattern* ]] && run_one "$title" run_case
    title= case_lines=() case_numbers=()
}

for case_file in "${files[@]}"; do
    title= case_lines=() case_numbers=() n=0
    while IFS= read -r line || [ -n "$line" ]; do
        n=$((n + 1))
        line=${line#"${line%%[![:space:]]*}"}
        case $line in
        "" | "#"*) ;;
        "== "*) flush_case; title=${line#== } ;;
        *) case_lines+=("$line") case_numbers+=($n) ;;
        esac
    done <"$case_file"
    flush_case
done
finish

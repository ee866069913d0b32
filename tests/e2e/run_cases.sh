#!/usr/bin/env bash
# Runs case files (the README's "End-to-end cases") against the daemon on the twin, each case in a fresh
# world and ended by expect_unharmed.   run_cases.sh FILE... [-- WORD]: only titles holding WORD, if any
source "$(dirname "$0")/lib.sh"

files=() pattern=''
for arg; do [ "$arg" = -- ] && pattern=${!#} && break; files+=("$arg"); done

step() {
    local word=${1%% *} rest=
    [[ $1 == *" "* ]] && rest=${1#* }
    case $word in
    count) expect_eq "lines" "$(sim show | grep -cFx -- "${rest#* }")" "${rest%% *}" ;;
    file)
        local path=${rest%% *} text=
        [[ $rest == *" "* ]] && text=${rest#* }
        [ "$text" != - ] || { [ ! -e "$path" ] || fail "$path exists"; return; }
        expect_eq "$path" "$(timeout 10 cat "$path" 2>/dev/null; echo .)" "$(printf '%b.' "$text")"
        ;;
    ran) expect_eq "commands run" "$(commands_run)" "$rest" ;;
    '$') eval "$rest" || fail "the shell line failed" ;;
    *)
        local words
        read -r -a words <<<"$1"
        sim "${words[@]}" || fail "linewatch-sim failed"
        ;;
    esac
}

run_case() {
    local i
    for i in "${!lines[@]}"; do
        at="$file:${numbers[i]}: ${lines[i]}"
        step "${lines[i]}"
    done
    at=
    expect_unharmed
}

flush_case() {
    [ -n "$title" ] && [[ $title == *"$pattern"* ]] && run_one "$title" run_case
    title='' lines=() numbers=()
}

for file in "${files[@]}"; do
    title='' lines=() numbers=() n=0
    while IFS= read -r line || [ -n "$line" ]; do
        n=$((n + 1))
        line=${line#"${line%%[![:space:]]*}"}
        case $line in
        "" | "#"*) ;;
        "== "*) flush_case; title=${line#== } ;;
        *) lines+=("$line") numbers+=("$n") ;;
        esac
    done <"$file"
    flush_case
done
[ $((passed + failed)) -gt 0 ] || { echo "no case${pattern:+ whose title holds \"$pattern\"} in ${files[*]}"; exit 1; }
finish

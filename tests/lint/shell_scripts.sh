#!/usr/bin/env bash
# Every shell script of the project (*.sh, or a sh or bash shebang), checked
# by shellcheck as .shellcheckrc says, or searched for a pipe into `grep -q`
# or `head` under pipefail: the writer may die of SIGPIPE once the
# reader has had enough, and the pipeline's status then says the opposite.
#   shell_scripts.sh SOURCE_DIR shellcheck|pipes
set -uo pipefail
cd "$1" || exit 2
scripts=()
while IFS= read -r -d '' file; do
    first='' && IFS= read -r first <"$file"
    [[ $file == *.sh || $first =~ ^#!.*[/\ ](ba)?sh$ ]] && scripts+=("${file#./}")
done < <(find . \( -path ./build -o -path ./.git \) -prune -o -type f ! -name '*.cpp' ! -name '*.h' -print0)
[ ${#scripts[@]} -gt 0 ] || { echo "FAIL: no shell scripts found"; exit 1; }

if [ "$2" = shellcheck ]; then
    command -v shellcheck >/dev/null ||
        { echo "shellcheck is missing: cmake/install-deps test" >&2; [ "${CI:-}" = true ] && exit 1; exit 77; }
    shellcheck -x "${scripts[@]}" && echo "${#scripts[@]} scripts clean"
    exit
fi
status=0
for file in "${scripts[@]}"; do
    text=$(<"$file")
    # lib.sh sets pipefail for the scripts that source it.
    [[ $text == *pipefail* || $text == *lib.sh* ]] || continue
    hits=$(grep -nE '(^|[^|])\|[[:space:]]*(head\b|grep[[:space:]]+(-[a-zA-Z]+[[:space:]]+)*(-[a-zA-Z]*q|--quiet))' <<<"$text") || continue
    while IFS= read -r hit; do echo "FAIL: $file:$hit"; done <<<"$hits"
    status=1
done
[ $status = 1 ] || echo "${#scripts[@]} scripts: no pipe into grep -q or head under pipefail"
exit $status

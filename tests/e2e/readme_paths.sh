#!/usr/bin/env bash
# readme_paths.sh SOURCE_DIR: every command and path that the README and the
# scripts name under build/, scripts/, docs/ or .ci/ exists after the build,
# and the commands among them are executable. A renamed target or script
# would otherwise leave a newcomer with a command that does not work.
set -u
src=$1
cd "$src" || exit 1
status=0
checked=0
# Paths as the README shows them (in backticks or indented command lines)
# and as the scripts use them.
while read -r file path; do
    path=${path%%[),.:;\`\"\']}
    [ -n "$path" ] || continue
    checked=$((checked + 1))
    if [ ! -e "$path" ]; then
        echo "FAIL: $file names $path, which does not exist"
        status=1
    elif [[ $path == scripts/* || $path == .ci/* || $path == build/*/vantor* ]] && [ -f "$path" ] && [ ! -x "$path" ]; then
        echo "FAIL: $file names the command $path, which is not executable"
        status=1
    fi
done < <(for f in README.md scripts/* .ci/run; do
             [ -f "$f" ] || continue
             # In the scripts, comments may name what a run will make.
             if [ "$f" = README.md ]; then cat "$f"; else grep -v '^[[:space:]]*#' "$f"; fi |
                 grep -oE '(^|[[:space:]`(])(\./)?(build|scripts|docs|\.ci)/[A-Za-z0-9_./-]*[A-Za-z0-9_]' |
                 sed -E 's/^[[:space:]`(]//; s|^\./||' | sort -u | sed "s|^|$f |"
         done)
[ "$checked" -ge 5 ] || { echo "FAIL: only $checked paths found; the scan is broken"; exit 1; }
[ $status = 0 ] && echo "ok: $checked paths"
exit $status

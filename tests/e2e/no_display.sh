#!/usr/bin/env bash
# no_display.sh VANTOR: with no display to show anything on (DISPLAY unset,
# or naming a server that is not there), the screensaver and its test mode
# say so on standard error and exit 1 instead of running unseen.
set -u
vantor=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
export VANTOR_NO_DIALOGS=1
export SDL_AUDIODRIVER=dummy
unset WAYLAND_DISPLAY SDL_VIDEODRIVER

status=0
for mode in /t /s; do
    for display in unset dead; do
        if [ "$display" = unset ]; then
            env -u DISPLAY timeout 60 "$vantor" "$mode" 2>"$work/err" >/dev/null
        else
            DISPLAY=:4711 timeout 60 "$vantor" "$mode" 2>"$work/err" >/dev/null
        fi
        code=$?
        if [ "$code" -ne 1 ] || ! grep -q "no display" "$work/err"; then
            echo "FAIL: $mode with the display $display: exit $code, standard error:"
            sed 's/^/  /' "$work/err"
            status=1
        fi
    done
done
[ "$status" -eq 0 ] && echo "ok"
exit "$status"

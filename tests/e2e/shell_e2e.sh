#!/usr/bin/env bash
# shell_e2e.sh CASE VANTOR PACKER: one end-to-end case of the application.
# Needs an X display (the test command starts Xvfb) and xdotool.
set -u
case_name=$1
vantor=$2
packer=${3:-}

[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 77; }
command -v xdotool >/dev/null || { echo "no xdotool: skipped"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
# Private settings and lock folders, so parallel cases do not meet.
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export VANTOR_NO_DIALOGS=1
export SDL_AUDIODRIVER=dummy

# A key another test left pressed would reach our windows as soon as they
# take the focus (and a held key does end the screensaver), so start clean.
xdotool keyup Escape Return space Alt_L 2>/dev/null

fail() {
    echo "FAIL: $*"
    echo "windows now:"; xdotool search --name '.' getwindowname %@ 2>&1 | sed 's/^/  /'
    exit 1
}

# wait_window PID NAME: waits until process PID has mapped a window named
# NAME; prints its id.
wait_window() {
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -1)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}

# wait_exit PID SECONDS: waits for PID to end and sets $code to its exit
# code, or to "timeout". Runs in this shell: only the parent can reap it.
wait_exit() {
    local pid=$1 limit=$(( $2 * 10 )) state
    code=timeout
    for _ in $(seq "$limit"); do
        state=$(ps -o stat= -p "$pid" 2>/dev/null)
        if [ -z "$state" ] || [[ $state == Z* ]]; then wait "$pid"; code=$?; return 0; fi
        sleep 0.1
    done
}

# park_pointer X Y: moves the pointer and waits until the server reports it
# there (right after the server starts, a first move can be lost).
park_pointer() {
    for _ in $(seq 50); do
        xdotool mousemove "$1" "$2"
        [ "$(xdotool getmouselocation | awk '{print $1, $2}')" = "x:$1 y:$2" ] && return 0
        sleep 0.1
    done
    return 1
}

# created_at NAME: the pointer position "X,Y" that the window NAME received
# with its creation, from the event trace in $work/trace.
created_at() {
    sed -n "s/^vantor: window \"$1\" event 0 key 0 at \(-\{0,1\}[0-9]*,-\{0,1\}[0-9]*\)$/\1/p" "$work/trace" | head -1 | grep .
}

# topmost_window: the id of the highest viewable top-level window (without a
# window manager the root's children are the top-level windows; xwininfo
# lists them from the top of the stack down).
topmost_window() {
    local id
    for id in $(xwininfo -root -children | awk '/^ +0x[0-9a-f]+ /{print $1}'); do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            printf '%d\n' "$id"
            return 0
        fi
    done
    return 1
}

geometry() { xdotool getwindowgeometry "$1" | awk '/Geometry/{print $2}'; }

case $case_name in
test_mode_window)
    "$vantor" /t & pid=$!; pids+=($pid)
    wid=$(wait_window "$pid" "Debug Window") || fail "no window titled Debug Window"
    [ "$(geometry "$wid")" = "640x480" ] || fail "window is $(geometry "$wid"), not 640x480"
    sleep 0.5
    [[ $(ps -o stat= -p "$pid") == [^Z]* ]] || fail "test mode ended by itself"
    xdotool key --window "$wid" Escape
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "exit code $code after Escape"
    ini=$XDG_CONFIG_HOME/vantor/settings.ini
    [ -f "$ini" ] || fail "no settings file"
    n=$(grep -cE '^(Width|Height|Depth|Desktop|FPS|Fog|Sound|Gamma|Flare|AdvancedRendering|ClassicCamera|MotionBlur|MotionBlurQuality|MotionBlurSamples|Velocity|Volume|Brightness)=-?[0-9]+$' "$ini")
    [ "$n" = 17 ] || fail "settings file holds $n values: $(cat "$ini")"
    grep -q '^Path=' "$ini" && fail "Path was written"
    ;;
saver_mouse_threshold)
    park_pointer 400 300 || fail "the pointer does not stay at 400,300"
    VANTOR_TRACE_EVENTS=1 "$vantor" /s 2>"$work/trace" & pid=$!; pids+=($pid)
    wid=$(wait_window "$pid" "Window") || fail "no full-screen window"
    read -r sw sh < <(xdotool getdisplaygeometry)
    [ "$(geometry "$wid")" = "${sw}x${sh}" ] || fail "saver covers $(geometry "$wid"), screen is ${sw}x${sh}"
    wait_window "$pid" "Black Window" >/dev/null || fail "no black cover window"
    # Moves are measured from where each window found the pointer when it
    # was created, as the windows themselves recorded it.
    start=$(created_at "Window") || fail "the saver window recorded no start position"
    [ "$(created_at "Black Window")" = "$start" ] || fail "cover window started at $(created_at "Black Window"), saver at $start"
    IFS=, read -r x0 y0 <<<"$start"
    xdotool mousemove $((x0 + 30)) "$y0"
    xdotool mousemove $((x0 + 30)) $((y0 + 30))
    xdotool mousemove $((x0 - 30)) $((y0 - 30))
    # However loaded the machine, go on only once the saver has seen the
    # last of those moves (its position is read when the event is handled).
    last="event 7 key 0 at $((x0 - 30)),$((y0 - 30))\$"
    for _ in $(seq 300); do
        [[ $(ps -o stat= -p "$pid") == [^Z]* ]] || fail "a 30-pixel move ended the screensaver"
        grep -q "$last" "$work/trace" && break
        sleep 0.1
    done
    grep -q "$last" "$work/trace" || fail "the pointer moves never reached the saver"
    sleep 0.5
    [[ $(ps -o stat= -p "$pid") == [^Z]* ]] || fail "a 30-pixel move ended the screensaver"
    xdotool mousemove $((x0 + 31)) "$y0"
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "exit code $code after a 31-pixel move"
    [ -f "$XDG_CONFIG_HOME/vantor/settings.ini" ] || fail "settings not saved after the screensaver"
    ;;
saver_single_instance)
    "$vantor" /s & first=$!; pids+=($first)
    wait_window "$first" "Window" >/dev/null || fail "first screensaver did not start"
    wait_window "$first" "Black Window" >/dev/null || fail "first screensaver has no cover window"
    sleep 0.3
    before=$(xdotool search --onlyvisible --name '.' | sort)
    # It leaves without a window of its own; how long its start takes is up
    # to the machine, so only a run that never ends fails.
    "$vantor" /s & second=$!; pids+=($second)
    wait_exit "$second" 30
    [ "$code" = 0 ] || fail "second instance exit code $code"
    after=$(xdotool search --onlyvisible --name '.' | sort)
    [ "$before" = "$after" ] || fail "second instance changed the windows: [$before] -> [$after]"
    [[ $(ps -o stat= -p "$first") == [^Z]* ]] || fail "first instance ended"
    # A termination request ends the run through its normal teardown.
    kill -TERM "$first"
    wait_exit "$first" 10
    [ "$code" = 0 ] || fail "first instance exit code $code after SIGTERM"
    [ -f "$XDG_CONFIG_HOME/vantor/settings.ini" ] || fail "settings not saved after SIGTERM"
    ;;
two_test_windows)
    # No single-instance rule in test mode: a second one starts beside the
    # first, and each ends on its own.
    "$vantor" /t & a=$!; pids+=($a)
    wait_window "$a" "Debug Window" >/dev/null || fail "first test window did not appear"
    "$vantor" /t & b=$!; pids+=($b)
    wait_window "$b" "Debug Window" >/dev/null || fail "second test window did not appear"
    wa=$(xdotool search --all --onlyvisible --pid "$a" --name '^Debug Window$' | head -1)
    [ -n "$wa" ] && xdotool key --window "$wa" Escape
    wait_exit "$a" 10; [ "$code" = 0 ] || fail "first test window ended with $code"
    [[ $(ps -o stat= -p "$b") == [^Z]* ]] || fail "second test window ended with the first"
    ;;
broken_archive)
    printf 'this is not a zip archive' > "$work/broken.zip"
    VANTOR_ARCHIVE=$work/broken.zip "$vantor" /t 2>"$work/err"; code=$?
    [ "$code" = 1 ] || fail "exit code $code with a broken archive"
    grep -q 'Could not open the resource archive' "$work/err" || fail "no clear message: $(cat "$work/err")"
    grep -qF "$work/broken.zip: not a ZIP archive" "$work/err" || fail "path and reason not named: $(cat "$work/err")"
    VANTOR_ARCHIVE=$work/missing.zip "$vantor" /s 2>"$work/err"; code=$?
    [ "$code" = 1 ] || fail "exit code $code with a missing archive"
    # A folder is not an archive: a message, not an abort or "Unknown Error".
    VANTOR_ARCHIVE=$work timeout 20 "$vantor" /t 2>"$work/err"; code=$?
    [ "$code" = 1 ] || fail "exit code $code with a folder as the archive"
    grep -qF "$work: is a directory" "$work/err" || fail "folder not named: $(cat "$work/err")"
    ;;
flight_on_screen)
    "$vantor" /t & pid=$!; pids+=($pid)
    wid=$(wait_window "$pid" "Debug Window") || fail "no window titled Debug Window"
    # The loading screen comes first and lasts as long as the machine needs:
    # wait for the flight itself (bright, many colours), then for it to move.
    mean=0 distinct=0
    for _ in $(seq 120); do
        sleep 0.5
        import -window "$wid" "$work/a.png" 2>/dev/null || continue
        mean=$(convert "$work/a.png" -colorspace Gray -format '%[fx:mean]' info:)
        distinct=$(convert "$work/a.png" -format '%k' info:)
        awk -v m="$mean" -v d="$distinct" 'BEGIN { exit !(m > 0.08 && d > 500) }' && break
    done
    awk -v m="$mean" 'BEGIN { exit !(m > 0.08) }' || fail "the picture is (nearly) black: mean $mean"
    [ "$distinct" -gt 500 ] || fail "the picture has only $distinct colours"
    diff=0
    for _ in $(seq 60); do
        sleep 0.5
        import -window "$wid" "$work/b.png" || fail "no second screenshot"
        diff=$(compare -metric RMSE "$work/a.png" "$work/b.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
        awk -v d="$diff" 'BEGIN { exit !(d > 0.02) }' && break
    done
    [[ $(ps -o stat= -p "$pid") == [^Z]* ]] || fail "the flight ended by itself"
    awk -v d="$diff" 'BEGIN { exit !(d > 0.02) }' || fail "the picture did not change in 30 s (RMSE $diff)"
    [ -n "${VANTOR_E2E_KEEP:-}" ] && cp "$work/a.png" "$VANTOR_E2E_KEEP"
    xdotool key --window "$wid" Escape
    wait_exit "$pid" 15
    [ "$code" = 0 ] || fail "exit code $code after Escape"
    ;;
engine_failure)
    # An asset pack the engine cannot use: it says so and the run ends.
    mkdir -p "$work/pack/dx" && echo "vs.1.1" > "$work/pack/dx/basic.vsh"
    "$packer" "$work/pack" "$work/pack.zip" || fail "cannot pack"
    VANTOR_ARCHIVE=$work/pack.zip "$vantor" /t 2>"$work/err" & pid=$!; pids+=($pid)
    wait_exit "$pid" 20
    [ "$code" = 1 ] || fail "exit code $code with an archive the engine cannot use"
    grep -q 'CSaverApp::Run() -> CSaverApp::DoTest()' "$work/err" || fail "no error chain: $(cat "$work/err")"
    grep -q '"Could not init Rendering Engine"' "$work/err" || fail "no engine error text: $(cat "$work/err")"
    grep -q ': missing from the archive$' "$work/err" || fail "the failing member is not named: $(cat "$work/err")"
    ;;
preview_in_parent)
    # Any X window serves as the desktop's preview area; a test-mode window
    # is at hand.
    "$vantor" /t & host=$!; pids+=($host)
    parent=$(wait_window "$host" "Debug Window") || fail "no parent window"
    "$vantor" /p "$parent" & pid=$!; pids+=($pid)
    found=
    for _ in $(seq 100); do
        if xwininfo -children -id "$parent" 2>/dev/null | grep -q '"Splash Window"'; then found=1; break; fi
        sleep 0.1
    done
    [ -n "$found" ] || fail "no picture window inside the parent"
    size=$(xwininfo -children -id "$parent" | awk '/"Splash Window"/{print $(NF-1)}' | cut -d+ -f1)
    [ "$size" = "640x480" ] || fail "picture window is $size, not the parent's 640x480"
    # The desktop takes the preview area away: the preview ends at once.
    kill -KILL "$host"
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "preview ended with $code after its parent went away"
    # A handle that names no window ends the preview at once as well.
    "$vantor" /p 123456789 & pid=$!
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "preview of a missing window ended with $code"
    ;;
error_box_*)
    # The error box for real: shown after the program's own windows are
    # gone, on top of everything, closed with Return; the exit code is 1.
    unset VANTOR_NO_DIALOGS
    case $case_name in
    error_box_archive_test) mode=/t; printf 'this is not a zip archive' >"$work/bad.zip" ;;
    error_box_archive_saver) mode=/s; printf 'this is not a zip archive' >"$work/bad.zip" ;;
    error_box_engine_saver)
        mode=/s
        mkdir -p "$work/pack/dx" && echo "vs.1.1" >"$work/pack/dx/basic.vsh"
        "$packer" "$work/pack" "$work/bad.zip" >/dev/null || fail "cannot pack"
        ;;
    *) fail "unknown case $case_name" ;;
    esac
    ini=$XDG_CONFIG_HOME/vantor/settings.ini
    mkdir -p "${ini%/*}" && printf '[Software\\Quellwork\\Vantor]\nFPS=1\n' >"$ini"
    cp "$ini" "$work/ini.before"
    VANTOR_ARCHIVE=$work/bad.zip "$vantor" $mode 2>"$work/err" & pid=$!; pids+=($pid)
    box=$(wait_window "$pid" "Vantor:") || fail "no box titled Vantor: ($(cat "$work/err"))"
    for name in "Window" "Black Window" "Debug Window"; do
        [ -z "$(xdotool search --all --onlyvisible --pid "$pid" --name "^$name\$" 2>/dev/null)" ] ||
            fail "the $name is still on screen under the box"
    done
    top=$(topmost_window) || fail "no visible window at all"
    [ "$top" = "$box" ] || fail "the box ($box) is not the topmost window; $top is"
    xdotool windowfocus --sync "$box" 2>/dev/null
    xdotool key Return
    wait_exit "$pid" 10
    [ "$code" = 1 ] || fail "exit code $code after the box was closed"
    grep -q '^Vantor: ' "$work/err" || fail "the report did not also reach standard error"
    cmp -s "$ini" "$work/ini.before" || fail "the settings file changed: $(cat "$ini")"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"

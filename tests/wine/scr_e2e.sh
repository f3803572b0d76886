#!/usr/bin/env bash
# scr_e2e.sh CASE VANTOR_SCR PREVIEW_HOST [PREVIEW_BMP]: one end-to-end case
# of the Windows screensaver under Wine, driven with xdotool on the X display
# the test command provides; PREVIEW_BMP is the picture the preview shows.
# Runs inside scripts/with-wine (and goes through it when started on its
# own). VANTOR_WINE_SHOTS=DIR keeps the screenshots of /t, /c and /p there as
# win-test.png, win-config.png and win-preview.png.
set -u
case_name=$1
scr=$2
host=${3:-}
picture=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WINEPREFIX:-}" ] || [ "${VANTOR_WINE_ACTIVE:-}" != "$WINEPREFIX" ]; then
    exec "$here/../../scripts/with-wine" "$0" "$@"
fi
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 77; }
for tool in xdotool import convert compare xwininfo; do
    command -v $tool >/dev/null || { echo "no $tool: skipped"; exit 77; }
done

work=$(mktemp -d)
pids=()
passed=
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    # A failed case may leave Windows processes behind; the next case must
    # start on a clean server.
    [ -n "$passed" ] || timeout 30 wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
unset VANTOR_ARCHIVE
key='HKCU\Software\Quellwork\Vantor'
names='Width Height Depth Desktop FPS Fog Sound Gamma Flare AdvancedRendering ClassicCamera MotionBlur MotionBlurQuality MotionBlurSamples Velocity Volume Brightness'

xdotool keyup Escape Return space 2>/dev/null

fail() {
    echo "FAIL: $*"
    echo "windows now:"; xdotool search --name '.' getwindowname %@ 2>&1 | sed 's/^/  /'
    [ -s "$work/err" ] && { echo "standard error:"; grep -v '^ALSA lib' "$work/err" | sed 's/^/  /'; }
    exit 1
}

# wine_w SECONDS ARGS...: one Wine call with a time limit.
wine_w() { local t=$1; shift; timeout -k 5 "$t" wine "$@"; }

# start ARGS...: starts the screensaver in the background with a time limit
# far above what any case needs; sets $pid (the time limit's process, whose
# exit code is the program's).
start() {
    timeout -k 5 200 wine "$scr" "$@" 2>>"$work/err" &
    pid=$!
    pids+=("$pid")
}

# wait_window NAME: waits until a window named NAME is mapped; prints its id.
# Starting Wine, Direct3D and the sound device on a loaded machine takes a
# while; only a window that never comes fails.
wait_window() {
    local id
    for _ in $(seq 900); do
        id=$(xdotool search --all --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}

# wait_exit PID SECONDS: waits for PID to end and sets $code to its exit
# code, or to "timeout".
wait_exit() {
    local pid=$1 limit=$(( $2 * 10 )) state
    code=timeout
    for _ in $(seq "$limit"); do
        state=$(ps -o stat= -p "$pid" 2>/dev/null)
        if [ -z "$state" ] || [[ $state == Z* ]]; then wait "$pid"; code=$?; return 0; fi
        sleep 0.1
    done
}
running() { [[ $(ps -o stat= -p "$1" 2>/dev/null) == [^Z]* ]]; }

# press WINDOW KEY: gives WINDOW the keyboard focus and types KEY there.
press() {
    xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key "$2"
}

park_pointer() {
    for _ in $(seq 50); do
        xdotool mousemove "$1" "$2"
        [ "$(xdotool getmouselocation | awk '{print $1, $2}')" = "x:$1 y:$2" ] && return 0
        sleep 0.1
    done
    return 1
}

geometry() { xdotool getwindowgeometry "$1" | awk '/Geometry/{print $2}'; }

# reg_values: "Name TYPE DATA" for each value under the key, nothing when the
# key does not exist.
reg_values() {
    wine_w 60 reg query "$key" 2>/dev/null | tr -d '\r' |
        awk 'NF >= 2 && $2 ~ /^REG_/ {print $1, $2, $3}'
}
reg_reset() { wine_w 60 reg delete "$key" /f >/dev/null 2>&1; reg_values | grep -q . && fail "cannot clear $key"; }
reg_set() { wine_w 60 reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 || fail "cannot write $1"; }
# value_of NAME: "TYPE DATA" of NAME in the values read by the last
# expect_all_saved.
value_of() { awk -v n="$1" '$1 == n {print $2, $3}' <<<"$saved"; }

# expect_all_saved: the 17 values exist, each a DWORD, and Path was not
# written.
expect_all_saved() {
    local v n
    v=$(reg_values)
    saved=$v
    for n in $names; do
        grep -q "^$n REG_DWORD 0x[0-9a-f]*\$" <<<"$v" || fail "$n not saved as a DWORD: $(tr '\n' ';' <<<"$v")"
    done
    [ "$(wc -l <<<"$v")" = 17 ] || fail "the key holds other values too: $(tr '\n' ';' <<<"$v")"
}

# stats FILE: "MEAN COLOURS" of a picture (mean grey level 0..1, number of
# distinct colours).
stats() { convert "$1" -colorspace Gray -format '%[fx:mean] ' info: && convert "$1" -format '%k\n' info:; }

# wait_flight WINDOW FILE: waits for the flight itself in WINDOW (after the
# loading screen: bright, many colours) and keeps that picture in FILE.
wait_flight() {
    local m=0 d=0
    for _ in $(seq 240); do
        sleep 0.5
        import -window "$1" "$2" 2>/dev/null || continue
        read -r m d < <(stats "$2")
        awk -v m="$m" -v d="$d" 'BEGIN { exit !(m > 0.08 && d > 500) }' && return 0
    done
    fail "no flight in the window: mean $m, $d colours"
}

# wait_changes WINDOW N: waits until the picture in WINDOW has changed N times
# in a row. Each change is a frame presented after the previous screenshot,
# and the program pumps its messages before each frame. Wine's Direct3D lets
# the program run up to three frames ahead of the screen, so after five
# changes the program has pumped its messages at least once since the call;
# eight leave a margin for a deeper queue at the cost of a second or two.
wait_changes() {
    local n=0 prev cur
    prev=$(import -window "$1" rgb:- 2>/dev/null | md5sum)
    for _ in $(seq 1200); do
        cur=$(import -window "$1" rgb:- 2>/dev/null | md5sum)
        if [ "$cur" != "$prev" ]; then
            n=$((n + 1)); prev=$cur
            [ "$n" -ge "$2" ] && return 0
        fi
        sleep 0.05
    done
    fail "the picture changed only $n times in a minute"
}

keep_shot() { [ -n "${VANTOR_WINE_SHOTS:-}" ] && cp "$1" "$VANTOR_WINE_SHOTS/$2"; return 0; }

# no_leftovers: every Windows process of the run has ended: no crash handler,
# no window, and the server ends by itself once only Wine's own services are
# left.
no_leftovers() {
    local p cmd
    for p in $(pgrep -f '\.(exe|scr)' 2>/dev/null); do
        [[ $(readlink "/proc/$p/exe" 2>/dev/null) == */wine* ]] || continue
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        cmd=$(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null)
        case $cmd in
        *winedbg*) fail "a crash handler is running: $cmd" ;;
        *'\windows\system32\'*) ;;
        ?*) fail "still running after the case: $cmd" ;;
        esac
    done
    timeout 60 wineserver -w || fail "the Wine server did not end (a process hangs)"
}

case $case_name in
test_mode)
    reg_reset
    start /t
    wid=$(wait_window "Debug Window") || fail "no window titled Debug Window"
    [ "$(geometry "$wid")" = "640x480" ] || fail "window is $(geometry "$wid"), not 640x480"
    wait_flight "$wid" "$work/a.png"
    wait_changes "$wid" 2
    import -window "$wid" "$work/b.png" || fail "no second screenshot"
    diff=$(compare -metric RMSE "$work/a.png" "$work/b.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    awk -v d="$diff" 'BEGIN { exit !(d > 0.02) }' || fail "the flight does not move (RMSE $diff)"
    keep_shot "$work/a.png" win-test.png
    running "$pid" || fail "test mode ended by itself"
    press "$wid" Escape
    wait_exit "$pid" 30
    [ "$code" = 0 ] || fail "exit code $code after Escape"
    expect_all_saved
    [ "$(value_of Width)" = "REG_DWORD 0x280" ] || fail "Width saved as $(value_of Width), not the default 640"
    ;;
saver_mouse_threshold)
    reg_reset
    park_pointer 400 300 || fail "the pointer does not stay at 400,300"
    start /s
    wid=$(wait_window "Window") || fail "no full-screen window"
    read -r sw sh < <(xdotool getdisplaygeometry)
    [ "$(geometry "$wid")" = "${sw}x${sh}" ] || fail "saver covers $(geometry "$wid"), screen is ${sw}x${sh}"
    wait_window "Black Window" >/dev/null || fail "no black cover window"
    wait_flight "$wid" "$work/a.png"
    # Both axes are measured on their own from where the pointer was when
    # the window appeared: 30 pixels on each at once is still within.
    xdotool mousemove 430 300
    xdotool mousemove 430 330
    xdotool mousemove 370 270
    wait_changes "$wid" 8
    running "$pid" || fail "a 30-pixel move ended the screensaver"
    xdotool mousemove 369 270
    wait_exit "$pid" 30
    [ "$code" = 0 ] || fail "exit code $code after a 31-pixel move"
    expect_all_saved
    ;;
saver_single_instance)
    park_pointer 400 300 || fail "the pointer does not stay at 400,300"
    start /s
    first=$pid
    wid=$(wait_window "Window") || fail "first screensaver did not start"
    wait_window "Black Window" >/dev/null || fail "first screensaver has no cover window"
    before=$(xdotool search --onlyvisible --name '.' | sort)
    start /s
    wait_exit "$pid" 60
    [ "$code" = 0 ] || fail "second instance exit code $code"
    after=$(xdotool search --onlyvisible --name '.' | sort)
    [ "$before" = "$after" ] || fail "second instance changed the windows: [$before] -> [$after]"
    running "$first" || fail "first instance ended"
    xdotool mousemove 600 500
    wait_exit "$first" 30
    [ "$code" = 0 ] || fail "first instance exit code $code after the pointer moved away"
    ;;
config_ok | config_cancel)
    # A stored value the defaults do not hold shows what OK saves: the
    # record as loaded, with every other value at its default.
    reg_reset
    reg_set Velocity REG_DWORD 77
    before=$(reg_values)
    start /c
    wid=$(wait_window "Vantor. Settings:") || fail "no settings dialog"
    # The picture and the controls are drawn once the dialog is shown;
    # wait until its content stops changing before keeping it.
    prev=
    for _ in $(seq 100); do
        import -window "$wid" "$work/c.png" 2>/dev/null || continue
        cur=$(md5sum <"$work/c.png")
        [ "$cur" = "$prev" ] && break
        prev=$cur
        sleep 0.2
    done
    read -r _ d < <(stats "$work/c.png")
    [ "$d" -gt 30 ] || fail "the dialog shows only $d colours (no picture?)"
    [ "$case_name" = config_ok ] && keep_shot "$work/c.png" win-config.png
    if [ "$case_name" = config_ok ]; then
        press "$wid" Return
    else
        press "$wid" Escape
    fi
    wait_exit "$pid" 30
    [ "$code" = 0 ] || fail "exit code $code after closing the dialog"
    if [ "$case_name" = config_ok ]; then
        expect_all_saved
        [ "$(value_of Velocity)" = "REG_DWORD 0x4d" ] || fail "Velocity saved as $(value_of Velocity), not 77"
        [ "$(value_of Sound)" = "REG_DWORD 0x1" ] || fail "Sound saved as $(value_of Sound), not the default 1"
    else
        [ "$(reg_values)" = "$before" ] || fail "Cancel changed the registry: $(reg_values | tr '\n' ';')"
    fi
    ;;
preview)
    [ -n "$host" ] || fail "no preview host program given"
    : >"$work/host.out"
    timeout -k 5 200 wine "$host" "$(winepath -w "$work/stop")" >"$work/host.out" 2>>"$work/err" &
    hostpid=$!
    pids+=("$hostpid")
    for _ in $(seq 600); do grep -q '^desktop ' "$work/host.out" && break; sleep 0.1; done
    hwnd=$(tr -d '\r' <"$work/host.out" | awk '/^hwnd /{print $2}')
    desktop=$(tr -d '\r' <"$work/host.out" | awk '/^desktop /{print $2}')
    [ -n "$hwnd" ] && [ -n "$desktop" ] || fail "the preview host did not start"
    wait_window "Preview Host" >/dev/null || fail "no preview host window"
    # The desktop's arrangement: the picture window is a child of another
    # process's window and covers its client area. (Wine 8 does not show
    # what a process draws into a child of another process's window, so
    # the picture itself is checked below.)
    start /p "$hwnd"
    for _ in $(seq 600); do grep -q '^child ' "$work/host.out" && break; sleep 0.1; done
    child=$(tr -d '\r' <"$work/host.out" | grep '^child ')
    [ "$child" = 'child "Splash Window" 152x112' ] || fail "picture window in the host: '$child'"
    running "$pid" || fail "the preview ended by itself"
    # The desktop takes the preview area away: the preview ends at once.
    touch "$work/stop"
    wait_exit "$hostpid" 30
    [ "$code" = 0 ] || fail "preview host exit code $code"
    wait_exit "$pid" 30
    [ "$code" = 0 ] || fail "preview ended with $code after its parent went away"

    # Inside the desktop window the picture window gets a window of its own
    # on the display: the preview picture, stretched over the whole screen.
    start /p "$desktop"
    wid=$(wait_window "Splash Window") || fail "no picture window in the desktop window"
    read -r sw sh < <(xdotool getdisplaygeometry)
    [ "$(geometry "$wid")" = "${sw}x${sh}" ] || fail "picture window is $(geometry "$wid"), screen is ${sw}x${sh}"
    d=0
    for _ in $(seq 100); do
        sleep 0.2
        import -window "$wid" "$work/p.png" 2>/dev/null || continue
        read -r m d < <(stats "$work/p.png")
        awk -v m="$m" -v d="$d" 'BEGIN { exit !(m > 0.05 && d > 20) }' && break
    done
    awk -v m="$m" -v d="$d" 'BEGIN { exit !(m > 0.05 && d > 20) }' || fail "no picture: mean $m, $d colours"
    if [ -n "$picture" ]; then
        # Scaled back to the bitmap's own size it is the bitmap (the
        # system's stretch drops or repeats whole pixels).
        convert "$work/p.png" -sample 160x120\! "$work/small.png"
        diff=$(compare -metric RMSE "$work/small.png" "$picture" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
        awk -v d="$diff" 'BEGIN { exit !(d < 0.1) }' || fail "the picture is not the preview bitmap (RMSE $diff)"
    fi
    convert "$work/p.png" -resize 320x256 "$work/p-small.png"
    keep_shot "$work/p-small.png" win-preview.png
    # A close message ends the preview as well.
    wine_w 60 "$host" --close "Splash Window" || fail "cannot close the picture window"
    wait_exit "$pid" 30
    [ "$code" = 0 ] || fail "preview ended with $code after its window was closed"

    # A handle that names no window: it leaves quietly.
    start /p 123456789
    wait_exit "$pid" 60
    [ "$code" = 0 ] || fail "preview of a missing window ended with $code"
    ;;
broken_archive)
    # The box for real, closed with Return; the exit code is 1 and nothing
    # is saved. A file that is no ZIP archive in test mode, a missing file
    # in screensaver mode.
    reg_reset
    printf 'this is not a zip archive' >"$work/bad.zip"
    for run in "/t bad.zip" "/s missing.zip"; do
        set -- $run
        VANTOR_ARCHIVE=$(winepath -w "$work/$2") start "$1"
        box=$(wait_window "Vantor:") || fail "$1 with $2: no box titled Vantor:"
        for name in "Window" "Black Window" "Debug Window"; do
            [ -z "$(xdotool search --all --onlyvisible --name "^$name\$" 2>/dev/null)" ] ||
                fail "$1 with $2: the $name is on screen beside the box"
        done
        press "$box" Return
        wait_exit "$pid" 30
        [ "$code" = 1 ] || fail "$1 with $2: exit code $code after the box was closed"
    done
    [ -z "$(reg_values)" ] || fail "settings were saved: $(reg_values | tr '\n' ';')"
    ;;
bad_registry)
    # Each value is read on its own: one that cannot be read keeps its
    # default, one of another type but at most 4 bytes is taken as raw bytes,
    # and the good ones are used. A test-mode run saves what it used.
    reg_reset
    reg_set FPS REG_SZ "garbage text"
    reg_set Width REG_SZ 1024
    reg_set Sound REG_BINARY 0102030405060708
    reg_set Fog REG_BINARY 00
    reg_set Brightness REG_MULTI_SZ 'a\0b'
    reg_set Velocity REG_DWORD 77
    start /t
    wid=$(wait_window "Debug Window") || fail "no window titled Debug Window"
    press "$wid" Escape
    wait_exit "$pid" 30
    [ "$code" = 0 ] || fail "exit code $code with bad registry values"
    expect_all_saved
    for want in "FPS 0x0" "Width 0x280" "Sound 0x1" "Fog 0x0" "Brightness 0x64" "Velocity 0x4d"; do
        set -- $want
        [ "$(value_of "$1")" = "REG_DWORD $2" ] || fail "$1 saved as $(value_of "$1"), expected $2"
    done
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
no_leftovers
passed=1
echo "ok: $case_name"

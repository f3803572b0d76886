#!/usr/bin/env bash
# hack_e2e.sh CASE VANTOR BUILD_DIR [SAVER_STATE_TOOL]: one end-to-end case of
# hack mode (drawing into windows of other programs), of how every mode ends
# on SIGTERM and SIGINT, and of the installed program under the real
# screensaver daemon. Needs an X display (the test command starts Xvfb).
set -u
case_name=$1
vantor=$2
build=$(cd "$3" && pwd)
saver_state=${4:-}

[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 77; }
command -v xdotool >/dev/null || { echo "no xdotool: skipped"; exit 77; }

work=$(mktemp -d)
pids=()
hack_user=
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    # Whatever the daemon started, even after a failed check, ends with the
    # run: a hack left over would be picked up by the next run's checks.
    [ -n "$hack_user" ] && pkill -KILL -u "$hack_user" -x vantor 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export VANTOR_NO_DIALOGS=1
export SDL_AUDIODRIVER=dummy
unset XSCREENSAVER_WINDOW
ini=$XDG_CONFIG_HOME/vantor/settings.ini

fail() {
    echo "FAIL: $*"
    for f in "$work"/*.err "$work"/daemon.log; do [ -s "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }; done
    exit 1
}
alive() { [[ $(ps -o stat= -p "$1" 2>/dev/null) == [^Z]* ]]; }

# wait_exit PID SECONDS: waits for PID (a child of this shell) to end; sets
# $code to its exit code or "timeout", and $took to the milliseconds it took.
wait_exit() {
    local pid=$1 limit=$(( $2 * 20 )) start
    start=$(date +%s%N)
    code=timeout
    for _ in $(seq "$limit"); do
        if ! alive "$pid"; then wait "$pid"; code=$?; break; fi
        sleep 0.05
    done
    took=$(( ($(date +%s%N) - start) / 1000000 ))
}

wait_window() { # PID NAME: prints the id of the visible window NAME of PID
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# An xclock titled NAME of size WxH, standing in for a preview area or a
# daemon's window; prints "PID WINDOW TOP". WINDOW is the clock's own drawing
# area, the child that covers its top-level window TOP, as a preview area
# would.
# Called as `read ... < <(clock_window ...)`, it runs in a subshell: the
# caller adds the clock's pid to its own list, or the clock outlives the test.
clock_window() {
    xclock -title "$1" -geometry "$2" >/dev/null 2>&1 & local pid=$!
    pids+=($pid)
    local top id
    top=$(xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    id=$(xwininfo -children -id "$top" | awk '/^ +0x[0-9a-f]+ /{print $1; exit}')
    echo "$pid $id $top"
}

# flight_in WINDOW NAME: waits until WINDOW shows the flight (not black, many
# colours) and then checks that the picture moves; keeps NAME.png.
flight_in() {
    local win=$1 name=$2 n=0 mean=0
    # The loading screen comes first; wait for the flight itself.
    for _ in $(seq 120); do
        if import -window "$win" "$work/$name.png" 2>/dev/null; then
            read -r n mean < <(convert "$work/$name.png" -format '%k %[fx:mean]\n' info:)
            [ "${n:-0}" -gt 300 ] && awk -v m="$mean" 'BEGIN { exit !(m > 0.08) }' && break
        fi
        sleep 0.5
    done
    [ "${n:-0}" -gt 300 ] || fail "$name: no flight in window $win ($n colours)"
    awk -v m="$mean" 'BEGIN { exit !(m > 0.08) }' || fail "$name: the picture is (nearly) black: mean $mean"
    # Moving means a later picture differs. On a loaded machine a new
    # effect's first shaders can hold a frame back for a while, so it looks
    # again until one does (half a minute at most), rather than once after a
    # fixed pause.
    local diff=0
    for _ in $(seq 60); do
        sleep 0.5
        import -window "$win" "$work/$name-later.png" || fail "$name: no second screenshot"
        diff=$(compare -metric RMSE "$work/$name.png" "$work/$name-later.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
        awk -v d="$diff" 'BEGIN { exit !(d > 0.01) }' && break
    done
    awk -v d="$diff" 'BEGIN { exit !(d > 0.01) }' || fail "$name: the picture did not move (RMSE $diff)"
    [ -n "${VANTOR_E2E_KEEP:-}" ] && cp "$work/$name.png" "$VANTOR_E2E_KEEP/$name.png"
    return 0
}

# ends_on SIGNAL PID WHAT: the signal ends PID through its teardown, exit 0.
ends_on() {
    kill "-$1" "$2"
    wait_exit "$2" 10
    [ "$code" = 0 ] || fail "$3: exit code $code after SIG$1"
    echo "$3: ended ${took} ms after SIG$1"
}

case $case_name in
command_line)
    out=$("$vantor" --help 2>"$work/help.err"); code=$?
    [ "$code" = 0 ] && [[ $out == *"--window-id ID"* ]] && [ ! -s "$work/help.err" ] ||
        fail "--help: exit $code, output [$out]"
    out=$("$vantor" --version); code=$?
    [ "$code" = 0 ] && [[ $out =~ ^vantor\ [0-9]+\.[0-9]+ ]] || fail "--version: exit $code, output [$out]"
    for bad in "--bogus" "--window-id" "--window-id abc" "--velocity 500" "--root --volume -3" "-root /s"; do
        # shellcheck disable=SC2086
        out=$("$vantor" $bad 2>"$work/bad.err"); code=$?
        [ "$code" = 2 ] || fail "'$bad': exit $code, not 2"
        grep -q '^Usage:' "$work/bad.err" || fail "'$bad': no usage on standard error"
        [ -z "$out" ] || fail "'$bad': wrote to standard output"
    done
    # Windows that do not exist, or no window at all: 1, a message, no box.
    read -r cg gone _ < <(clock_window gone 100x100); pids+=($cg)
    xdotool windowkill "$gone" 2>/dev/null || kill "$cg"
    sleep 0.3
    for target in "--window-id 0" "--window-id $gone" "--window-id 0x1ffffff0"; do
        # shellcheck disable=SC2086
        "$vantor" $target 2>"$work/target.err"; code=$?
        [ "$code" = 1 ] || fail "'$target': exit $code, not 1"
        grep -q 'names no window\|does not exist' "$work/target.err" ||
            fail "'$target': no clear message: $(cat "$work/target.err")"
    done
    XSCREENSAVER_WINDOW=junk "$vantor" --fps 2>"$work/env.err"; code=$?
    [ "$code" = 1 ] || fail "XSCREENSAVER_WINDOW=junk: exit $code"
    [ -z "$(xdotool search --name '^Vantor:' 2>/dev/null)" ] || fail "a box appeared"
    [ ! -e "$ini" ] || fail "a failed start saved the settings"
    ;;
preview_window)
    # A window of the desktop's preview size, as big as a clock.
    read -r clock win top < <(clock_window preview 164x164); pids+=($clock)
    [ -n "$win" ] || fail "no clock window"
    "$vantor" --window-id "$win" --fps 2>"$work/preview.err" & pid=$!; pids+=($pid)
    flight_in "$win" hack-preview
    # Our own windows: none.
    [ -z "$(xdotool search --pid "$pid" 2>/dev/null)" ] || fail "hack mode made windows of its own"
    # The owner resizes the window: the picture follows into the new corner.
    xdotool windowsize "$top" 320 240
    for _ in $(seq 50); do xwininfo -id "$win" | grep -q 'Width: 320' && break; sleep 0.1; done
    corner=0
    for _ in $(seq 40); do
        sleep 0.5
        import -window "$win" "$work/resized.png" 2>/dev/null || continue
        corner=$(convert "$work/resized.png" -crop 40x40+280+200 +repage -format '%k' info:)
        [ "$corner" -gt 20 ] && break
    done
    [ "$corner" -gt 20 ] || fail "the picture did not follow the window to 320x240 ($corner colours in its corner)"
    # The owner destroys the window: the hack ends normally and saves.
    kill "$clock"
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "exit code $code after the window went away"
    [ -f "$ini" ] || fail "settings not saved"
    grep -q '^FPS=0$' "$ini" || fail "the --fps override was saved: $(grep FPS "$ini")"
    ;;
two_windows)
    # One process per monitor, as the daemon runs them: both draw at once.
    read -r ca a _ < <(clock_window monitorA 320x240+0+0); pids+=($ca)
    read -r cb b _ < <(clock_window monitorB 320x240+400+300); pids+=($cb)
    "$vantor" --window-id "$a" --no-sound 2>"$work/a.err" & pa=$!; pids+=($pa)
    XSCREENSAVER_WINDOW=$b "$vantor" --velocity 100 2>"$work/b.err" & pb=$!; pids+=($pb)
    flight_in "$a" monitor-a
    flight_in "$b" monitor-b
    alive "$pa" || fail "the first hack ended"
    ends_on INT "$pa" "hack (--window-id)"
    alive "$pb" || fail "the second hack ended with the first"
    ends_on TERM "$pb" "hack (XSCREENSAVER_WINDOW)"
    grep -q '^Velocity=50$' "$ini" || fail "the --velocity override was saved: $(grep Velocity "$ini")"
    ;;
no_gl_visual)
    # A display whose only visual is 8-bit pseudo-colour offers no GL.
    fifo=$work/fifo; mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 320x240x8 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 & x=$!; pids+=($x)
    read -r num <"$fifo"
    DISPLAY=:$num "$vantor" --root 2>"$work/gl.err"; code=$?
    [ "$code" = 1 ] || fail "exit code $code on a visual without GL"
    grep -q 'cannot draw with OpenGL into window' "$work/gl.err" || fail "no clear message: $(cat "$work/gl.err")"
    ;;
signals_test)
    for sig in TERM INT; do
        rm -f "$ini"
        "$vantor" /t 2>"$work/t.err" & pid=$!; pids+=($pid)
        wait_window "$pid" "Debug Window" >/dev/null || fail "no test window"
        sleep 1
        ends_on "$sig" "$pid" "/t"
        [ -f "$ini" ] || fail "/t: settings not saved after SIG$sig"
    done
    ;;
signals_saver)
    for sig in TERM INT; do
        rm -f "$ini"
        "$vantor" /s 2>"$work/s.err" & pid=$!; pids+=($pid)
        wait_window "$pid" "Window" >/dev/null || fail "no saver window"
        sleep 1
        ends_on "$sig" "$pid" "/s"
        [ -f "$ini" ] || fail "/s: settings not saved after SIG$sig"
        [ -z "$(xdotool search --onlyvisible --name '^(Window|Black Window)$' 2>/dev/null)" ] ||
            fail "/s: windows left on screen after SIG$sig"
    done
    ;;
signals_preview)
    read -r ch win _ < <(clock_window host 200x150); pids+=($ch)
    for sig in TERM INT; do
        "$vantor" /p "$win" 2>"$work/p.err" & pid=$!; pids+=($pid)
        found=
        for _ in $(seq 100); do
            xwininfo -children -id "$win" 2>/dev/null | grep -q '"Splash Window"' && { found=1; break; }
            sleep 0.1
        done
        [ -n "$found" ] || fail "no picture window"
        ends_on "$sig" "$pid" "/p"
        ! xwininfo -children -id "$win" | grep -q '"Splash Window"' || fail "/p: picture left after SIG$sig"
    done
    ;;
signals_config)
    for sig in TERM INT; do
        "$vantor" /c 2>"$work/c.err" & pid=$!; pids+=($pid)
        wait_window "$pid" 'Vantor\. Settings:' >/dev/null || fail "no settings dialog"
        ends_on "$sig" "$pid" "/c"
        # Like Cancel: nothing saved.
        [ ! -e "$ini" ] || fail "/c saved the settings after SIG$sig"
    done
    ;;
saver_leaves_desktop_saver_alone)
    [ -x "$saver_state" ] || { echo "no screensaver-state tool: skipped"; exit 77; }
    xset s 600 600 +dpms 2>/dev/null || xset s 600 600
    "$vantor" /s 2>"$work/s.err" & pid=$!; pids+=($pid)
    wait_window "$pid" "Window" >/dev/null || fail "no saver window"
    sleep 1
    xset q >"$work/xset.txt"
    grep -q 'timeout:  600' "$work/xset.txt" || fail "the screensaver timer changed: $(cat "$work/xset.txt")"
    if grep -q 'DPMS is' "$work/xset.txt"; then
        grep -q 'DPMS is Enabled' "$work/xset.txt" || fail "DPMS was turned off"
    fi
    # With a one-second timeout and nobody touching anything, the server's
    # own screensaver must come on while the flight runs. A suspended one
    # (what an inhibit does) stays off however long the display is idle.
    xset s 1 0
    state=
    for _ in $(seq 100); do
        state=$("$saver_state")
        [ "$state" = on ] && break
        sleep 0.1
    done
    xset s default
    [ "$state" = on ] || fail "the X screensaver never came on: it is suspended ($state)"
    alive "$pid" || fail "the saver ended when the X screensaver came on"
    ends_on TERM "$pid" "/s"
    ;;
installed_tree)
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
    files="bin/vantor bin/vantor-render libexec/xscreensaver/vantor share/xscreensaver/config/vantor.xml
        share/applications/screensavers/vantor.desktop share/man/man6/vantor.6.gz share/doc/vantor/ReadMe.html
        share/doc/vantor/copyright share/icons/hicolor/256x256/apps/vantor.png"
    for f in $files; do [ -f "$prefix/$f" ] || fail "not installed: $f"; done
    "$prefix/libexec/xscreensaver/vantor" --version >/dev/null || fail "the installed hack does not run"
    # Every option the daemon's settings program may pass is one the hack
    # takes: with window 0 a known option gives 1 (no window), never 2.
    sed -n 's/.*\(arg\|arg-set\|arg-unset\)="\([^"]*\)".*/\2/p' "$prefix/share/xscreensaver/config/vantor.xml" |
        grep -vx -- '--root' | sed 's/%/1/' >"$work/args"
    [ "$(wc -l <"$work/args")" -ge 8 ] || fail "the settings description maps only $(wc -l <"$work/args") options"
    while read -r arg; do
        # shellcheck disable=SC2086
        timeout 20 "$prefix/bin/vantor" --window-id 0 $arg 2>/dev/null; code=$?
        [ "$code" = 1 ] || fail "the settings description passes '$arg', which the hack refuses ($code)"
    done <"$work/args"
    man -l "$prefix/share/man/man6/vantor.6.gz" >/dev/null 2>&1 || zcat "$prefix/share/man/man6/vantor.6.gz" |
        grep -q '^\.TH VANTOR 6' || fail "no manual page"
    # The Debian package holds the same tree under /usr.
    (cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.err" 2>&1) ||
        fail "cpack failed: $(tail -5 "$work/cpack.err")"
    deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] || fail "no .deb"
    dpkg-deb -c "$deb" | awk '{print $6}' >"$work/deb.txt"
    for f in $files; do grep -qx "./usr/$f" "$work/deb.txt" || fail "not in the package: /usr/$f"; done
    dpkg-deb -f "$deb" Depends | grep -q 'libsdl2' || fail "the package does not depend on SDL: $(dpkg-deb -f "$deb" Depends)"
    ;;
daemon)
    command -v xscreensaver >/dev/null && command -v xscreensaver-command >/dev/null ||
        { echo "no xscreensaver daemon: skipped"; exit 77; }
    # The installed tree, exactly as a package lays it out.
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
    hack=$prefix/libexec/xscreensaver/vantor
    [ -x "$hack" ] || fail "no hack at $hack"
    # The daemon launches no hacks as root: run it as an ordinary user, on
    # a display of its own that the user may open.
    user=$(id -un)
    run_as=()
    if [ "$(id -u)" = 0 ]; then
        user=vantor-e2e
        id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
            fail "cannot create the user $user"
        run_as=(runuser -u "$user" --)
        # The user exists for this test alone: nothing of an earlier run
        # may still be running as it. Two test runs on one machine (two
        # build trees) take turns, or one would kill the other's daemon.
        # (The lock is not passed on to the server and the daemon: a process
        # left behind must not hold it.)
        exec 9>/tmp/vantor-e2e-daemon.lock
        flock 9
        hack_user=$user
        pkill -KILL -u "$user" 2>/dev/null
    fi
    chmod 755 "$work"
    home=$work/home
    mkdir -p "$home"
    cat >"$home/.xscreensaver" <<CONF
mode:		one
selected:	0
lock:		False
splash:		False
fade:		False
unfade:		False
dpmsEnabled:	False
timeout:	1:00:00
cycle:		0:00:00
programs:	GL: "Vantor" vantor --root \n
CONF
    [ "$(id -u)" = 0 ] && chown -R "$user" "$home"
    # -noreset: otherwise the server resets as its last client leaves (the
    # probe below is one) and refuses connections for that moment, and the
    # daemon, whose one XOpenDisplay fails, exits without a word.
    fifo=$work/fifo; mkfifo "$fifo"
    Xvfb -displayfd 3 -ac -screen 0 800x600x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 9>&- & x=$!; pids+=($x)
    read -r num <"$fifo"
    as_user=("${run_as[@]}" env -i HOME="$home" DISPLAY=":$num" USER="$user" LOGNAME="$user"
        PATH="$prefix/libexec/xscreensaver:$prefix/bin:/usr/bin:/bin" SDL_AUDIODRIVER=dummy
        XDG_CONFIG_HOME="$home/.config")
    # The daemon starts once the server answers this user (the server reports
    # its number a moment before every client is served).
    for _ in $(seq 100); do "${as_user[@]}" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    "${as_user[@]}" xscreensaver --no-splash --verbose >"$work/daemon.log" 2>&1 9>&- & d=$!; pids+=($d)
    ready=
    for _ in $(seq 300); do
        "${as_user[@]}" xscreensaver-command -time >/dev/null 2>&1 && { ready=1; break; }
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        # Where it waits tells why; kept in the log for the next look.
        echo "daemon process: $(ps -o pid=,stat=,wchan:32=,etime= -p "$d" 2>&1)"
        alive "$d" || { wait "$d"; echo "daemon exit status: $?"; }
        "${as_user[@]}" xdpyinfo 2>&1 | head -3
        fail "the daemon did not start"
    fi
    "${as_user[@]}" xscreensaver-command -activate >/dev/null 2>&1 || fail "activate refused"
    hackpid=
    for _ in $(seq 100); do
        hackpid=$(pgrep -u "$user" -x vantor | head -1)
        [ -n "$hackpid" ] && break
        sleep 0.1
    done
    [ -n "$hackpid" ] || fail "the daemon did not start the hack"
    DISPLAY=:$num flight_in root daemon
    start=$(date +%s%N)
    "${as_user[@]}" xscreensaver-command -deactivate >/dev/null 2>&1 || fail "deactivate refused"
    sent=$(( ($(date +%s%N) - start) / 1000000 ))
    # Gone, or a zombie: the daemon's helper that would reap it may itself
    # have ended, leaving that to whoever adopts it.
    running() { [[ $(ps -o stat= -p "$1" 2>/dev/null) == [^Z]* ]]; }
    # How soon is reported, not judged: on a loaded machine one llvmpipe frame
    # can take a second or more before the loop sees the signal. Twenty
    # seconds only tells a hack that ignores the signal; that it ended
    # through its own teardown shows in the saved settings checked below.
    while running "$hackpid" && [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 20000 ]; do sleep 0.02; done
    took=$(( ($(date +%s%N) - start) / 1000000 ))
    if running "$hackpid"; then
        # Where it hangs, for whoever reads the log.
        for t in /proc/"$hackpid"/task/*; do
            read -r -a sc <"$t/syscall" 2>/dev/null || continue
            pc=${sc[-1]}
            lib=$(awk -v pc=$((pc)) '{ split($1, r, "-"); if (pc >= strtonum("0x" r[1]) && pc < strtonum("0x" r[2])) { print $6; exit } }' \
                "/proc/$hackpid/maps" 2>/dev/null)
            echo "thread $(basename "$t") $(cat "$t/comm"): syscall ${sc[0]} in ${lib:-?}"
        done
        fail "the hack still runs ${took} ms after -deactivate"
    fi
    echo "daemon: the hack ended ${took} ms after -deactivate (the command itself took ${sent} ms)"
    "${as_user[@]}" xscreensaver-command -exit >/dev/null 2>&1
    wait_exit "$d" 10
    # A hack the daemon signalled as it exited still gets its teardown;
    # only one that outlives that is left behind.
    left=
    for _ in $(seq 100); do
        left=
        for p in $(pgrep -u "$user" -x vantor); do running "$p" && left=$p; done
        [ -z "$left" ] && break
        sleep 0.1
    done
    [ -z "$left" ] || fail "a hack process was left behind (pid $left)"
    [ -f "$home/.config/vantor/settings.ini" ] || fail "the hack did not save its settings"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"

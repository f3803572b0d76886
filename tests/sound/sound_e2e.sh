#!/usr/bin/env bash
# sound_e2e.sh CASE VANTOR PACKER STAGING: what `vantor /t` plays in its first
# nine seconds of flight, written by SDL's disk audio driver and measured with sox.
#   flight_sound  the real sounds: audible, and (nearly) never clipped
#   flight_cues   each sound replaced by a tone of its own: the wind plays
#                 throughout, cries and calls come and go, no engine
#   heli_engine   helicopter mode with the same tones: the engine joins in
# Needs an X display (the test command starts Xvfb) and sox.
set -u
case_name=$1
vantor=$2
packer=$3
staging=$4

[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 77; }
command -v sox >/dev/null || { echo "no sox: skipped"; exit 77; }
[ -d "$staging/sound" ] || { echo "no baked sounds in $staging: skipped"; exit 77; }

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/vantor" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export VANTOR_NO_DIALOGS=1
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE=$work/out.raw
raw=(-t raw -r 44100 -e signed -b 16 -c 2)

fail() {
    echo "FAIL: $*"
    exit 1
}

settings() {
    printf '[Software\\Quellwork\\Vantor]\nSound=1\nVolume=100\n%s' "$1" >"$XDG_CONFIG_HOME/vantor/settings.ini"
}

# A copy of the archive whose sounds are pure tones (8-bit mono, 11,025 Hz,
# a quarter of full scale), one frequency per role. The loops hold whole
# cycles; the one-shots fade in and out, so no click spreads into the other
# bands.
tone_archive() {
    cp -r "$staging" "$work/pack"
    local s=$work/pack/sound
    tone() {
        sox -n -r 11025 -c 1 -b 8 -e unsigned-integer "$s/$1" synth "$2" sine "$3" vol 0.25 ${4:+fade $4 $2 $4} ||
            fail "sox"
    }
    tone wind8bit.wav 4 200
    for f in cry8bit1.wav cry8bit2.wav cry8bit3.wav ptero8bit.wav ptero8bit2.wav; do tone "$f" 0.5 2500 0.02; done
    tone fly8bit.wav 0.3 4000 0.02
    tone heli8bit.wav 2 1000
    "$packer" "$work/pack" "$work/tones.zip" >/dev/null || fail "cannot pack"
    export VANTOR_ARCHIVE=$work/tones.zip
}

# Runs the flight until nine seconds of it have been heard and then as long
# as `enough` (a command, optional) says more is needed, up to two minutes;
# then ends it as the desktop would. The loading screen before the flight is
# silent and lasts as long as the machine needs, and a loaded machine draws
# few frames, so the flight's own clock (which times the cries) runs slower
# than the sound: a fixed run time would leave too little to measure.
fly() {
    local enough=${1:-true}
    "$vantor" /t & pid=$!
    local heard=none deadline=$((SECONDS + 120))
    while [ "$SECONDS" -lt "$deadline" ]; do
        sleep 1
        [ -s "$work/out.raw" ] || continue
        heard=$(sound_start)
        [ "$heard" != none ] && [ $(($(seconds) - heard)) -ge 9 ] && $enough && break
    done
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    local code=$?
    pid=
    [ "$code" = 0 ] || fail "exit code $code"
    [ -s "$work/out.raw" ] || fail "no audio written"
    [ "$heard" != none ] || fail "nothing was heard in two minutes"
}

above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "-inf" && a + 0 > b + 0) }'; }
seconds() { sox "${raw[@]}" "$work/out.raw" -n stat 2>&1 | awk '/^Length/ { printf "%d", $3 }'; }

# The first whole second with any sound in it (the mixer writes exact
# silence while nothing plays).
sound_start() {
    local total t
    total=$(seconds)
    for ((t = 0; t < total; t++)); do
        if above "$(sox "${raw[@]}" "$work/out.raw" -n trim "$t" 1 stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')" -70; then
            echo "$t"; return
        fi
    done
    echo none
}

# band_levels LOW HIGH NAME: the RMS level in dBFS of the band LOW..HIGH Hz
# in every 100 ms of the output, one line each, into $work/NAME. The whole
# recording is filtered at once: cutting it into pieces first would turn
# every cut into a step whose spread shows up in every narrow band.
band_levels() {
    sox "${raw[@]}" "$work/out.raw" -t raw -e signed -b 16 -c 1 - remix 1v0.5,2v0.5 sinc "$1-$2" 2>/dev/null |
        od -An -v -t d2 -w2 |
        awk '{ s += $1 * $1; if (++n == 4410) { r = sqrt(s / n) / 32768; printf "%.1f\n", (r > 0 ? 20 * log(r) / log(10) : -200); s = n = 0 } }' \
            >"$work/$3"
}

# level NAME SECOND median|max: the median (or the loudest) of the ten
# 100 ms levels of that second of band NAME. The median ignores what lasts
# only a moment: the step of a sound that starts, the limiter's grip.
level() {
    awk -v s="$2" -v how="$3" '
        NR > s * 10 && NR <= s * 10 + 10 { v = $1 + 0; j = ++n; while (j > 1 && a[j - 1] > v) { a[j] = a[j - 1]; j-- } a[j] = v }
        END { if (n < 10) print -200; else print (how == "max" ? a[n] : (a[5] + a[6]) / 2) }' "$work/$1"
}

# The four bands of the tone archive: the wind's 200 Hz, the cries' 2,500 Hz
# (with room for the Doppler shift), the engine's 1,000 Hz, and a band no
# tone reaches. The 8-bit tones carry noise in every band, and how loud it
# is follows the whole mix (how near the flock flies), so a sound counts as
# present when its band stands above the empty one, not above a fixed level.
measure_bands() {
    band_levels 150 250 wind
    band_levels 2300 2700 cries
    band_levels 700 1300 engine
    band_levels 1500 2100 empty
    total=$(( $(wc -l <"$work/wind") / 10 ))
}

# count_cues: how many whole seconds from the wind's start hold a cry or a
# call, standing clear of the empty band (sets $cues and $start).
count_cues() {
    measure_bands
    start=$(wind_start)
    cues=0
    [ "$start" != none ] || return 0
    local t
    for ((t = start; t < total - 1; t++)); do
        above "$(level cries "$t" max)" "$(awk -v e="$(level empty "$t" median)" 'BEGIN { print e + 12 }')" &&
            cues=$((cues + 1))
    done
    return 0
}
cue_heard() { count_cues; [ "$cues" -ge 1 ]; }

# The first whole second in which the wind band is heard: the loading
# screen comes first, and how long it lasts is up to the machine.
wind_start() {
    local t
    for ((t = 0; t < total; t++)); do
        if above "$(level wind "$t" median)" -45; then echo "$t"; return; fi
    done
    echo none
}

case "$case_name" in
flight_sound)
    settings ""
    fly
    total=$(seconds)
    [ "$total" -ge 8 ] || fail "only $total s of audio"
    level=$(sox "${raw[@]}" "$work/out.raw" -n trim $((total - 4)) 3 stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')
    above "$level" -45 || fail "the flight is (nearly) silent: RMS $level dBFS over its last seconds"
    clipped=$(od -An -v -t d2 -w2 "$work/out.raw" | awk '$1 >= 32767 || $1 <= -32768 { c++ } END { printf "%d %d", c, NR }')
    read -r count samples <<<"$clipped"
    awk -v c="$count" -v n="$samples" 'BEGIN { exit !(c <= n / 1000) }' ||
        fail "$count of $samples samples clipped"
    echo "RMS $level dBFS, $count of $samples samples at full scale"
    ;;
flight_cues)
    settings ""
    tone_archive
    fly cue_heard
    count_cues
    [ "$start" != none ] || fail "no wind at all"
    [ $((total - start)) -ge 3 ] || fail "the sound started only at $start s of $total"
    for ((t = start; t < total - 1; t++)); do
        wind=$(level wind "$t" median)
        above "$wind" -45 || fail "the wind stopped in second $t ($wind dBFS)"
        empty=$(level empty "$t" median)
        engine=$(level engine "$t" median)
        above "$engine" "$(awk -v e="$empty" 'BEGIN { print e + 10 }')" &&
            fail "an engine sound outside helicopter mode in second $t ($engine dBFS over an empty band at $empty)"
    done
    [ "$cues" -ge 1 ] || fail "no cry or call was heard in $((total - start)) s of flight"
    echo "wind from second $start, cries or calls in $cues seconds"
    for ((t = start; t < total - 1; t++)); do
        echo "  second $t: wind $(level wind "$t" median), cries up to $(level cries "$t" max)," \
            "engine band $(level engine "$t" median), empty band $(level empty "$t" median)"
    done
    ;;
heli_engine)
    settings "ClassicCamera=1"$'\n'
    tone_archive
    fly
    measure_bands
    t=$((total - 2))
    engine=$(level engine "$t" median)
    empty=$(level empty "$t" median)
    above "$engine" -40 || fail "no engine sound in helicopter mode ($engine dBFS)"
    above "$engine" "$(awk -v e="$empty" 'BEGIN { print e + 10 }')" ||
        fail "the engine band ($engine dBFS) hardly stands above the empty band ($empty dBFS)"
    echo "engine at $engine dBFS, empty band at $empty dBFS"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
exit 0

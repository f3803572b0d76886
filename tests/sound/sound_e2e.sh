#!/usr/bin/env bash
# sound_e2e.sh CASE VANTOR PACKER STAGING: what `vantor /t` plays in ten
# seconds, written by SDL's disk audio driver and measured with sox.
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

# Runs the flight for ten seconds and ends it as the desktop would.
fly() {
    "$vantor" /t & pid=$!
    sleep 10
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    local code=$?
    pid=
    [ "$code" = 0 ] || fail "exit code $code"
    [ -s "$work/out.raw" ] || fail "no audio written"
}

# band_db START LENGTH LOW HIGH: RMS level in dBFS of the band LOW..HIGH Hz
# over that stretch of the output (-inf when silent).
band_db() {
    sox "${raw[@]}" "$work/out.raw" -n trim "$1" "$2" sinc "$3-$4" stats 2>&1 | awk '/^RMS lev dB/ { print $4 }'
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "-inf" && a + 0 > b + 0) }'; }
seconds() { sox "${raw[@]}" "$work/out.raw" -n stat 2>&1 | awk '/^Length/ { printf "%d", $3 }'; }

# The first whole second in which the wind band is heard: the loading
# screen comes first, and how long it lasts is up to the machine.
wind_start() {
    local total t
    total=$(seconds)
    for ((t = 0; t < total; t++)); do
        if above "$(band_db "$t" 1 150 250)" -45; then echo "$t"; return; fi
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
    fly
    start=$(wind_start)
    [ "$start" != none ] || fail "no wind at all"
    total=$(seconds)
    [ $((total - start)) -ge 3 ] || fail "the sound started only at $start s of $total"
    cues=0
    for ((t = start; t < total - 1; t++)); do
        wind=$(band_db "$t" 1 150 250)
        above "$wind" -45 || fail "the wind stopped in second $t ($wind dBFS)"
        # Each band carries the 8-bit tones' own noise at about -55 dBFS.
        above "$(band_db "$t" 1 2300 2700)" -48 && cues=$((cues + 1))
        # The first second is left out: every pterodactyl cries as the
        # flight starts, and the limiter's quick grip on that chorus spreads
        # a little energy over all bands.
        engine=$(band_db "$t" 1 700 1300)
        [ "$t" -gt "$start" ] && above "$engine" -45 &&
            fail "an engine sound outside helicopter mode in second $t ($engine dBFS)"
    done
    [ "$cues" -ge 1 ] || fail "no cry or call was heard"
    echo "wind from second $start, cries or calls in $cues seconds"
    for ((t = start; t < total - 1; t++)); do
        echo "  second $t: wind $(band_db "$t" 1 150 250), cries $(band_db "$t" 1 2300 2700), engine band $(band_db "$t" 1 700 1300)"
    done
    ;;
heli_engine)
    settings "ClassicCamera=1"$'\n'
    tone_archive
    fly
    total=$(seconds)
    engine=$(band_db $((total - 3)) 2 700 1300)
    above "$engine" -40 || fail "no engine sound in helicopter mode ($engine dBFS)"
    echo "engine at $engine dBFS"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
exit 0

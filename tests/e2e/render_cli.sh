#!/usr/bin/env bash
# render_cli.sh VANTOR_RENDER: the off-screen renderer's command line.
set -u
render=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$render" --size 96x72 --time 5 --frames 2 --set ClassicCamera=1 --out "$work/out" >"$work/log" ||
    fail "rendering failed: $(cat "$work/log")"
for f in frame_0000.png frame_0001.png; do
    [ "$(identify -format '%wx%h' "$work/out/$f" 2>/dev/null)" = 96x72 ] || fail "$f missing or of the wrong size"
done
grep -q 'scene time 5.000' "$work/log" || fail "the first frame is not at the asked time: $(cat "$work/log")"

"$render" --bench 3 --size 64x48 >"$work/bench" || fail "benchmark failed"
grep -Eq '^3 frames, [0-9.]+ fps, [0-9.]+ ms main-thread CPU per frame \(engine, runtime and GL driver\), [0-9.]+ ms process CPU per frame \(all threads\)$' "$work/bench" || fail "bench line: $(cat "$work/bench")"

"$render" --measure 2 --size 64x48 --out "$work/m" >"$work/measure" || fail "measurement failed"
grep -q '^samples 2 (every 2 s)$' "$work/measure" || fail "measure totals: $(cat "$work/measure")"
[ "$(identify -format '%wx%h' "$work/m/measure_0001.png" 2>/dev/null)" = 64x48 ] || fail "no class picture per sample"

"$render" --help >"$work/help" 2>&1 && grep -q -- '--soak MINUTES' "$work/help" || fail "--help: $(cat "$work/help")"

for bad in "--measure -1" "--measure x" "--size 10x10" "--size wide" "--size 0x0" "--set Nope=1" "--set Bogus=1" \
           "--set Volume=1e9" "--set Fog" "--frames 0" "--time -1" "--frames" "--what 1"; do
    # shellcheck disable=SC2086
    "$render" $bad >/dev/null 2>"$work/err"
    [ $? = 2 ] || fail "'$bad' was not refused with a usage message"
    want="vantor-render: $bad"
    [ "$bad" = "--what 1" ] && want="vantor-render: --what: unknown option"
    grep -qF "$want" "$work/err" || fail "'$bad' is not named in: $(cat "$work/err")"
done
# Archive overrides that are not archive files: refused with the path and
# the reason, without blocking on a FIFO or reading a device without end.
mkfifo "$work/fifo"
for spec in "$work/none.zip:No such file" "$work:directory" "/dev/zero:not a regular file" \
            "$work/fifo:not a regular file"; do
    path=${spec%%:*}
    VANTOR_ARCHIVE=$path timeout 20 "$render" --out "$work/x" >/dev/null 2>"$work/err"
    [ $? = 1 ] || fail "archive override $path did not end with 1"
    grep -qF "vantor-render: $path: " "$work/err" && grep -qF "${spec#*:}" "$work/err" ||
        fail "archive override $path: $(cat "$work/err")"
done
echo ok

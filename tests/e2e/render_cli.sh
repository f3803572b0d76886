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

for bad in "--measure -1" "--measure x" "--size 10x10" "--size wide" "--set Nope=1" "--set Fog" "--frames 0" "--time -1" "--frames" "--what 1"; do
    # shellcheck disable=SC2086
    "$render" $bad >/dev/null 2>&1
    [ $? = 2 ] || fail "'$bad' was not refused with a usage message"
done
VANTOR_ARCHIVE=$work/none.zip "$render" --out "$work/x" >/dev/null 2>&1
[ $? = 1 ] || fail "a missing archive did not end with 1"
echo ok

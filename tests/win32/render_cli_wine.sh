#!/usr/bin/env bash
# render_cli_wine.sh WINE_RUN VANTOR_RENDER_EXE: the still renderer on the
# system's Direct3D 8 (under Wine): stills and the benchmark line as on
# Linux, a clear refusal of what the real API cannot do, and the engine's
# capability checks against what the device reports (Wine's
# WINE_D3D_CONFIG lowers the shader versions it reports).
set -u
run=$1 render=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
r() { "$run" "$render" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

r --size 96x72 --time 5 --frames 2 --set ClassicCamera=1 --out "$work/out" >"$work/log" ||
    fail "rendering failed: $(cat "$work/log")"
for f in frame_0000.png frame_0001.png; do
    [ "$(identify -format '%wx%h' "$work/out/$f" 2>/dev/null)" = 96x72 ] || fail "$f missing or of the wrong size"
done
grep -q 'scene time 5.000' "$work/log" || fail "the first frame is not at the asked time: $(cat "$work/log")"
# Two frames 1/30 s apart of a moving flight differ.
[ "$(compare -metric AE "$work/out/frame_0000.png" "$work/out/frame_0001.png" null: 2>&1)" != 0 ] ||
    fail "the flight did not move between frames"

r --bench 3 --size 64x48 >"$work/bench" || fail "benchmark failed: $(cat "$work/bench")"
grep -Eq '^3 frames, [0-9.]+ fps, [0-9.]+ ms main-thread CPU per frame \(engine, runtime and GL driver\), [0-9.]+ ms process CPU per frame \(all threads\)$' "$work/bench" ||
    fail "bench line: $(cat "$work/bench")"

r --measure 2 --size 64x48 >"$work/measure"
[ $? = 1 ] || fail "--measure should stop: $(cat "$work/measure")"
grep -q 'cannot read a depth buffer back' "$work/measure" || fail "--measure gives no reason: $(cat "$work/measure")"

r --size 10x10 >"$work/bad"
[ $? = 2 ] && grep -qF 'vantor-render: --size 10x10' "$work/bad" || fail "a bad size is not refused: $(cat "$work/bad")"

# No vertex shader 1.1: the engine's own error, exit code 1.
WINE_D3D_CONFIG=MaxShaderModelVS=0 r --size 64x48 --out "$work/vs0" >"$work/vs0.log"
[ $? = 1 ] || fail "a device without vertex shaders was used: $(cat "$work/vs0.log")"
grep -qF '"Vertex Shaders v1.1 or better required"' "$work/vs0.log" || fail "vs0: $(cat "$work/vs0.log")"

# No pixel shader 1.1: the fixed-function canyon, exactly as with the
# advanced rendering switched off.
WINE_D3D_CONFIG=MaxShaderModelPS=0 r --size 96x72 --time 30 --out "$work/ps0" >/dev/null || fail "ps0 run failed"
r --size 96x72 --time 30 --set AdvancedRendering=0 --out "$work/fixed" >/dev/null || fail "fixed run failed"
r --size 96x72 --time 30 --out "$work/bump" >/dev/null || fail "bump run failed"
[ "$(compare -metric AE "$work/ps0/frame_0000.png" "$work/fixed/frame_0000.png" null: 2>&1)" = 0 ] ||
    fail "without pixel shaders the picture is not the fixed-function one"
[ "$(compare -metric AE "$work/bump/frame_0000.png" "$work/fixed/frame_0000.png" null: 2>&1)" != 0 ] ||
    fail "the pixel shader made no difference, so the check above proves nothing"
echo "render CLI on Direct3D 8: ok"

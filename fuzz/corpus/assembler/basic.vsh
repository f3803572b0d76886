vs.1.1
; Plain pass-through: world-space position to clip space, vertex colour,
; both texture coordinate sets, and linear fog from the clip-space depth.
; c4..c7  transposed view x projection
; c1      (1.0, 0.5, fog start 1.3, fog slope 1/30000)
dp4 r0.x, v0, c4
dp4 r0.y, v0, c5
dp4 r0.z, v0, c6
dp4 r0.w, v0, c7
mov oPos, r0
mov oD0, v2
mov oT0, v3
mov oT1, v4
; fog = 1.3 - |z| / 30000
max r0.z, r0.z, -r0.z
mov r1, c1
mad oFog.x, -r0.z, r1.w, r1.z

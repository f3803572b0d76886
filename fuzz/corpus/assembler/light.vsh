vs.1.1
; Skinned creatures: a soft diffuse term on top of a strong ambient, so the
; shaded side never goes darker than 0.6 of the texture.
; c0 = (0, 2, ambient 0.8, diffuse 0.2), c20 = light direction
dp4 r0.x, v0, c4
dp4 r0.y, v0, c5
dp4 r0.z, v0, c6
dp4 r0.w, v0, c7
mov oPos, r0
max r0.z, r0.z, -r0.z
mov r2, c1
mad oFog.x, -r0.z, r2.w, r2.z
; the normal arrives as three floats, so its fourth component reads as 1
; and takes part in the length
dp4 r1.x, v1, v1
rsq r1.x, r1.x
mul r3, v1, r1.x
dp4 r1.x, r3, c20
mul r1.x, r1.x, c0.w
mad oD0, v2, r1.x, c0.z
mov oT0, v3
mov oT1, v4

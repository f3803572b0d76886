vs.1.1
; Canyon with per-pixel bump lighting. The light direction (c20) and the
; normal are expressed in the vertex's tangent frame and packed into the two
; colour outputs as 0.5 * v + 0.5 for the pixel shader's _bx2 unpacking.
; v1 normal, v5 tangent along u, v6 tangent along v
dp4 r0.x, v0, c4
dp4 r0.y, v0, c5
dp4 r0.z, v0, c6
dp4 r0.w, v0, c7
mov oPos, r0
max r0.z, r0.z, -r0.z
mov r2, c1
mad oFog.x, -r0.z, r2.w, r2.z
; colour 0: light in tangent space
dp3 r1.x, v5, c20
dp3 r1.y, v6, c20
dp3 r1.z, v1, c20
mov r1.w, r2.x
mad oD0.xyz, r1, r2.y, r2.y
mov oD0.w, r2.x
; colour 1: the normal in the same frame
dp3 r3.x, v5, v1
dp3 r3.y, v6, v1
dp3 r3.z, v1, v1
mad oD1.xyz, r3, r2.y, r2.y
mov oD1.w, r2.x
; colour map and normal map share set 0, the shadow atlas uses set 1
mov oT0, v3
mov oT2, v3
mov oT1, v4

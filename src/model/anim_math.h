// Small vector, quaternion and matrix kit for skeletons, skinning and the
// camera path.
//
// Convention: 4x4 float matrices stored row by row and applied to row vectors
// (p' = p * M), translation in row 3; Multiply(A, B) applies A first.
// Quaternions are (x, y, z, w) with w the scalar part. The layout of Mat4 is
// the layout of D3DMATRIX, so the two can be copied into each other.
#pragma once

namespace vmath {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
};

struct Mat4 {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Length(Vec3 v);
// Unit vector along v; a zero (or non-finite) length leaves v unchanged, so a
// degenerate vector stays degenerate instead of turning into NaNs.
Vec3 NormalizeOrKeep(Vec3 v);

Mat4 Identity();
Mat4 Multiply(const Mat4& a, const Mat4& b);
Mat4 Translation(float x, float y, float z);
Mat4 Scaling(float s);
// General 4x4 inverse. False, and `out` untouched, when the matrix is singular
// or holds non-finite values.
bool Inverse(const Mat4& m, Mat4& out);

Vec3 TransformPoint(Vec3 p, const Mat4& m);   // with translation
Vec3 TransformNormal(Vec3 n, const Mat4& m);  // upper 3x3 only
inline Vec3 Row(const Mat4& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }

// Rotation about x by rx, then y by ry, then z by rz (fixed axes):
// Rx * Ry * Rz in the row-vector convention.
Mat4 RotationFromEuler(float rx, float ry, float rz);
Quat QuatFromEuler(float rx, float ry, float rz);
Mat4 RotationFromQuat(const Quat& q);
// R(q) * T(p): the rotation with p in the translation row.
Mat4 RotationTranslation(const Quat& q, Vec3 p);
// Rotation part of the upper 3x3 as a quaternion.
Quat QuatFromMatrix(const Mat4& m);
// Shorter-arc spherical interpolation; not renormalised. t may lie outside
// [0, 1] (the spline extrapolates with it).
Quat Slerp(const Quat& a, Quat b, float t);

// Uniform Catmull-Rom spline through p1 (s = 0) and p2 (s = 1).
Vec3 CatmullRom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float s);

// Right-handed look-at view matrix and perspective projection, in the same
// form as the matching D3DX helpers.
Mat4 LookAtRH(Vec3 eye, Vec3 at, Vec3 up);
Mat4 PerspectiveFovRH(float fovY, float aspect, float zn, float zf);

}  // namespace vmath

// Vector, quaternion and matrix helpers (see anim_math.h for the conventions).
#include "model/anim_math.h"

#include <cmath>

namespace vmath {

float Length(Vec3 v) { return std::sqrt(Dot(v, v)); }

Vec3 NormalizeOrKeep(Vec3 v)
{
    const float len = Length(v);
    if (!(len > 0.0f) || !std::isfinite(len))
        return v;
    return v * (1.0f / len);
}

Mat4 Identity() { return Mat4{}; }

Mat4 Multiply(const Mat4& a, const Mat4& b)
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

Mat4 Translation(float x, float y, float z)
{
    Mat4 r;
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Mat4 Scaling(float s)
{
    Mat4 r;
    r.m[0][0] = r.m[1][1] = r.m[2][2] = s;
    return r;
}

bool Inverse(const Mat4& src, Mat4& out)
{
    // Cofactor expansion through the 2x2 sub-determinants of the top and
    // bottom row pairs; double precision keeps near-singular bind poses sane.
    double a[16];
    for (int i = 0; i < 16; ++i)
        a[i] = src.m[i / 4][i % 4];
    const double s0 = a[0] * a[5] - a[4] * a[1];
    const double s1 = a[0] * a[6] - a[4] * a[2];
    const double s2 = a[0] * a[7] - a[4] * a[3];
    const double s3 = a[1] * a[6] - a[5] * a[2];
    const double s4 = a[1] * a[7] - a[5] * a[3];
    const double s5 = a[2] * a[7] - a[6] * a[3];
    const double c5 = a[10] * a[15] - a[14] * a[11];
    const double c4 = a[9] * a[15] - a[13] * a[11];
    const double c3 = a[9] * a[14] - a[13] * a[10];
    const double c2 = a[8] * a[15] - a[12] * a[11];
    const double c1 = a[8] * a[14] - a[12] * a[10];
    const double c0 = a[8] * a[13] - a[12] * a[9];
    const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (!std::isfinite(det) || std::fabs(det) < 1e-20)
        return false;
    const double k = 1.0 / det;
    double r[16];
    r[0] = (a[5] * c5 - a[6] * c4 + a[7] * c3) * k;
    r[1] = (-a[1] * c5 + a[2] * c4 - a[3] * c3) * k;
    r[2] = (a[13] * s5 - a[14] * s4 + a[15] * s3) * k;
    r[3] = (-a[9] * s5 + a[10] * s4 - a[11] * s3) * k;
    r[4] = (-a[4] * c5 + a[6] * c2 - a[7] * c1) * k;
    r[5] = (a[0] * c5 - a[2] * c2 + a[3] * c1) * k;
    r[6] = (-a[12] * s5 + a[14] * s2 - a[15] * s1) * k;
    r[7] = (a[8] * s5 - a[10] * s2 + a[11] * s1) * k;
    r[8] = (a[4] * c4 - a[5] * c2 + a[7] * c0) * k;
    r[9] = (-a[0] * c4 + a[1] * c2 - a[3] * c0) * k;
    r[10] = (a[12] * s4 - a[13] * s2 + a[15] * s0) * k;
    r[11] = (-a[8] * s4 + a[9] * s2 - a[11] * s0) * k;
    r[12] = (-a[4] * c3 + a[5] * c1 - a[6] * c0) * k;
    r[13] = (a[0] * c3 - a[1] * c1 + a[2] * c0) * k;
    r[14] = (-a[12] * s3 + a[13] * s1 - a[14] * s0) * k;
    r[15] = (a[8] * s3 - a[9] * s1 + a[10] * s0) * k;
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(r[i]))
            return false;
    }
    for (int i = 0; i < 16; ++i)
        out.m[i / 4][i % 4] = static_cast<float>(r[i]);
    return true;
}

Vec3 TransformPoint(Vec3 p, const Mat4& m)
{
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

Vec3 TransformNormal(Vec3 n, const Mat4& m)
{
    return {n.x * m.m[0][0] + n.y * m.m[1][0] + n.z * m.m[2][0],
            n.x * m.m[0][1] + n.y * m.m[1][1] + n.z * m.m[2][1],
            n.x * m.m[0][2] + n.y * m.m[1][2] + n.z * m.m[2][2]};
}

Mat4 RotationFromEuler(float rx, float ry, float rz)
{
    const float cx = std::cos(rx), sx = std::sin(rx);
    const float cy = std::cos(ry), sy = std::sin(ry);
    const float cz = std::cos(rz), sz = std::sin(rz);
    Mat4 r;
    r.m[0][0] = cy * cz;
    r.m[0][1] = cy * sz;
    r.m[0][2] = -sy;
    r.m[1][0] = sx * sy * cz - cx * sz;
    r.m[1][1] = sx * sy * sz + cx * cz;
    r.m[1][2] = sx * cy;
    r.m[2][0] = cx * sy * cz + sx * sz;
    r.m[2][1] = cx * sy * sz - sx * cz;
    r.m[2][2] = cx * cy;
    return r;
}

Quat QuatFromEuler(float rx, float ry, float rz)
{
    const float cx = std::cos(rx * 0.5f), sx = std::sin(rx * 0.5f);
    const float cy = std::cos(ry * 0.5f), sy = std::sin(ry * 0.5f);
    const float cz = std::cos(rz * 0.5f), sz = std::sin(rz * 0.5f);
    return {sx * cy * cz - cx * sy * sz, cx * sy * cz + sx * cy * sz, cx * cy * sz - sx * sy * cz,
            cx * cy * cz + sx * sy * sz};
}

Mat4 RotationFromQuat(const Quat& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    Mat4 r;
    r.m[0][0] = 1 - 2 * (y * y + z * z);
    r.m[0][1] = 2 * (x * y + w * z);
    r.m[0][2] = 2 * (x * z - w * y);
    r.m[1][0] = 2 * (x * y - w * z);
    r.m[1][1] = 1 - 2 * (x * x + z * z);
    r.m[1][2] = 2 * (y * z + w * x);
    r.m[2][0] = 2 * (x * z + w * y);
    r.m[2][1] = 2 * (y * z - w * x);
    r.m[2][2] = 1 - 2 * (x * x + y * y);
    return r;
}

Mat4 RotationTranslation(const Quat& q, Vec3 p)
{
    Mat4 r = RotationFromQuat(q);
    r.m[3][0] = p.x;
    r.m[3][1] = p.y;
    r.m[3][2] = p.z;
    return r;
}

Quat QuatFromMatrix(const Mat4& mat)
{
    const auto& m = mat.m;
    const float trace = m[0][0] + m[1][1] + m[2][2];
    Quat q;
    if (trace > 0) {
        const float r = std::sqrt(trace + 1);
        const float f = 0.5f / r;
        q.w = r / 2;
        q.x = (m[1][2] - m[2][1]) * f;
        q.y = (m[2][0] - m[0][2]) * f;
        q.z = (m[0][1] - m[1][0]) * f;
        return q;
    }
    int i = m[1][1] > m[0][0] ? 1 : 0;
    if (m[2][2] > m[i][i])
        i = 2;
    const int j = (i + 1) % 3;
    const int k = (j + 1) % 3;
    const float r = std::sqrt(m[i][i] - (m[j][j] + m[k][k]) + 1);
    float v[3];
    v[i] = r / 2;
    // A rotation matrix cannot reach r = 0 here; garbage input can, and then
    // the quaternion is left as the identity rather than filled with NaNs.
    if (!(r > 0))
        return Quat{};
    const float f = 0.5f / r;
    q.w = (m[j][k] - m[k][j]) * f;
    v[j] = (m[i][j] + m[j][i]) * f;
    v[k] = (m[i][k] + m[k][i]) * f;
    q.x = v[0];
    q.y = v[1];
    q.z = v[2];
    return q;
}

static float Dot4(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

Quat Slerp(const Quat& a, Quat b, float t)
{
    const Quat sum{a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
    const Quat diff{a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
    if (Dot4(sum, sum) < Dot4(diff, diff))
        b = {-b.x, -b.y, -b.z, -b.w};

    const float c = Dot4(a, b);
    if (1 + c > 1e-6f) {
        float k0, k1;
        if (1 - c > 1e-6f) {
            const float theta = std::acos(c);
            const float sinTheta = std::sin(theta);
            k0 = std::sin((1 - t) * theta) / sinTheta;
            k1 = std::sin(t * theta) / sinTheta;
        } else {
            k0 = 1 - t;
            k1 = t;
        }
        return {k0 * a.x + k1 * b.x, k0 * a.y + k1 * b.y, k0 * a.z + k1 * b.z, k0 * a.w + k1 * b.w};
    }

    // Opposite quaternions: turn through a perpendicular one.
    const Quat p{-a.y, a.x, -a.w, a.z};
    const float halfPi = 1.57079632679489662f;
    const float k0 = std::sin((1 - t) * halfPi);
    const float k1 = std::sin(t * halfPi);
    return {k0 * a.x + k1 * p.x, k0 * a.y + k1 * p.y, k0 * a.z + k1 * p.z, a.z};
}

Vec3 CatmullRom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float s)
{
    const float s2 = s * s;
    const float s3 = s2 * s;
    auto one = [&](float a, float b, float c, float d) {
        return 0.5f * (2 * b + (c - a) * s + (2 * a - 5 * b + 4 * c - d) * s2 + (3 * b - a - 3 * c + d) * s3);
    };
    return {one(p0.x, p1.x, p2.x, p3.x), one(p0.y, p1.y, p2.y, p3.y), one(p0.z, p1.z, p2.z, p3.z)};
}

Mat4 LookAtRH(Vec3 eye, Vec3 at, Vec3 up)
{
    const Vec3 zaxis = NormalizeOrKeep(eye - at);
    const Vec3 xaxis = NormalizeOrKeep(Cross(up, zaxis));
    const Vec3 yaxis = Cross(zaxis, xaxis);
    Mat4 r;
    r.m[0][0] = xaxis.x;
    r.m[0][1] = yaxis.x;
    r.m[0][2] = zaxis.x;
    r.m[1][0] = xaxis.y;
    r.m[1][1] = yaxis.y;
    r.m[1][2] = zaxis.y;
    r.m[2][0] = xaxis.z;
    r.m[2][1] = yaxis.z;
    r.m[2][2] = zaxis.z;
    r.m[3][0] = -Dot(xaxis, eye);
    r.m[3][1] = -Dot(yaxis, eye);
    r.m[3][2] = -Dot(zaxis, eye);
    return r;
}

Mat4 PerspectiveFovRH(float fovY, float aspect, float zn, float zf)
{
    const float yScale = 1.0f / std::tan(fovY / 2);
    const float xScale = yScale / aspect;
    Mat4 r;
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = zf / (zn - zf);
    r.m[2][3] = -1;
    r.m[3][2] = zn * zf / (zn - zf);
    r.m[3][3] = 0;
    return r;
}

}  // namespace vmath

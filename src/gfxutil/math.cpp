// Matrix, vector and quaternion helpers with the published D3DX formulas.
// Row vectors: a point p is transformed as p * M, translation in row 3.
#include "gfxutil/d3dx8.h"

#include <algorithm>

D3DXMATRIX::D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24,
                       FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34, FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44)
    : D3DMATRIX{}
{
    const FLOAT v[16] = {f11, f12, f13, f14, f21, f22, f23, f24, f31, f32, f33, f34, f41, f42, f43, f44};
    for (int i = 0; i < 16; ++i)
        m[i / 4][i % 4] = v[i];
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& other) const
{
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &other);
    return r;
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& other)
{
    D3DXMatrixMultiply(this, this, &other);
    return *this;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& other) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m[r][c] != other.m[r][c])
                return false;
    return true;
}

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* pOut)
{
    *pOut = D3DXMATRIX();
    pOut->_11 = pOut->_22 = pOut->_33 = pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2)
{
    // pOut may alias either input.
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = pM1->m[i][0] * pM2->m[0][j] + pM1->m[i][1] * pM2->m[1][j] +
                        pM1->m[i][2] * pM2->m[2][j] + pM1->m[i][3] * pM2->m[3][j];
    *pOut = r;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM)
{
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = pM->m[j][i];
    *pOut = r;
    return pOut;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM)
{
    // Gauss-Jordan with partial pivoting, in double for headroom.
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = pM->m[i][j];
            a[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    double det = 1.0;
    for (int c = 0; c < 4; ++c) {
        int p = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c]))
                p = r;
        if (a[p][c] == 0.0)
            return nullptr;
        if (p != c) {
            for (int j = 0; j < 8; ++j)
                std::swap(a[p][j], a[c][j]);
            det = -det;
        }
        det *= a[c][c];
        const double inv = 1.0 / a[c][c];
        for (int j = 0; j < 8; ++j)
            a[c][j] *= inv;
        for (int r = 0; r < 4; ++r)
            if (r != c) {
                const double f = a[r][c];
                for (int j = 0; j < 8; ++j)
                    a[r][j] -= f * a[c][j];
            }
    }
    if (pDeterminant)
        *pDeterminant = static_cast<FLOAT>(det);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            pOut->m[i][j] = static_cast<FLOAT>(a[i][j + 4]);
    return pOut;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf)
{
    const FLOAT yScale = 1.0f / std::tan(fovy / 2.0f);
    const FLOAT xScale = yScale / Aspect;
    *pOut = D3DXMATRIX();
    pOut->_11 = xScale;
    pOut->_22 = yScale;
    pOut->_33 = zf / (zn - zf);
    pOut->_34 = -1.0f;
    pOut->_43 = zn * zf / (zn - zf);
    return pOut;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf)
{
    const FLOAT yScale = 1.0f / std::tan(fovy / 2.0f);
    const FLOAT xScale = yScale / Aspect;
    *pOut = D3DXMATRIX();
    pOut->_11 = xScale;
    pOut->_22 = yScale;
    pOut->_33 = zf / (zf - zn);
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * zf / (zf - zn);
    return pOut;
}

static D3DXMATRIX* LookAt(D3DXMATRIX* pOut, const D3DXVECTOR3& eye, const D3DXVECTOR3& zaxisIn,
                          const D3DXVECTOR3& up)
{
    D3DXVECTOR3 zaxis, xaxis, yaxis;
    D3DXVec3Normalize(&zaxis, &zaxisIn);
    D3DXVec3Cross(&xaxis, &up, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *pOut = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0, xaxis.y, yaxis.y, zaxis.y, 0, xaxis.z, yaxis.z, zaxis.z, 0,
                       -D3DXVec3Dot(&xaxis, &eye), -D3DXVec3Dot(&yaxis, &eye), -D3DXVec3Dot(&zaxis, &eye), 1);
    return pOut;
}

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                               const D3DXVECTOR3* pUp)
{
    return LookAt(pOut, *pEye, *pEye - *pAt, *pUp);
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                               const D3DXVECTOR3* pUp)
{
    return LookAt(pOut, *pEye, *pAt - *pEye, *pUp);
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    *pOut = D3DXMATRIX();
    pOut->_11 = 2.0f / (r - l);
    pOut->_22 = 2.0f / (t - b);
    pOut->_33 = 1.0f / (zf - zn);
    pOut->_41 = (l + r) / (l - r);
    pOut->_42 = (t + b) / (b - t);
    pOut->_43 = zn / (zn - zf);
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z)
{
    D3DXMatrixIdentity(pOut);
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* pOut, FLOAT sx, FLOAT sy, FLOAT sz)
{
    *pOut = D3DXMATRIX();
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT a)
{
    D3DXMatrixIdentity(pOut);
    pOut->_22 = std::cos(a);
    pOut->_23 = std::sin(a);
    pOut->_32 = -std::sin(a);
    pOut->_33 = std::cos(a);
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT a)
{
    D3DXMatrixIdentity(pOut);
    pOut->_11 = std::cos(a);
    pOut->_13 = -std::sin(a);
    pOut->_31 = std::sin(a);
    pOut->_33 = std::cos(a);
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT a)
{
    D3DXMatrixIdentity(pOut);
    pOut->_11 = std::cos(a);
    pOut->_12 = std::sin(a);
    pOut->_21 = -std::sin(a);
    pOut->_22 = std::cos(a);
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* q)
{
    const FLOAT x = q->x, y = q->y, z = q->z, w = q->w;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = 1 - 2 * (y * y + z * z);
    pOut->_12 = 2 * (x * y + z * w);
    pOut->_13 = 2 * (x * z - y * w);
    pOut->_21 = 2 * (x * y - z * w);
    pOut->_22 = 1 - 2 * (x * x + z * z);
    pOut->_23 = 2 * (y * z + x * w);
    pOut->_31 = 2 * (x * z + y * w);
    pOut->_32 = 2 * (y * z - x * w);
    pOut->_33 = 1 - 2 * (x * x + y * y);
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* q)
{
    const FLOAT len = std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
    if (len == 0.0f) {
        *pOut = D3DXQUATERNION(0, 0, 0, 0);
        return pOut;
    }
    *pOut = D3DXQUATERNION(q->x / len, q->y / len, q->z / len, q->w / len);
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    FLOAT t)
{
    FLOAT dot = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
    FLOAT sign = 1.0f;
    if (dot < 0.0f) {
        dot = -dot;
        sign = -1.0f;
    }
    FLOAT s0 = 1.0f - t, s1 = t;
    if (1.0f - dot > 0.001f) {
        const FLOAT theta = std::acos(dot);
        const FLOAT st = std::sin(theta);
        s0 = std::sin((1.0f - t) * theta) / st;
        s1 = std::sin(t * theta) / st;
    }
    s1 *= sign;
    *pOut = D3DXQUATERNION(s0 * a->x + s1 * b->x, s0 * a->y + s1 * b->y, s0 * a->z + s1 * b->z,
                           s0 * a->w + s1 * b->w);
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* m)
{
    const FLOAT trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    if (trace > 0.0f) {
        const FLOAT s = std::sqrt(trace + 1.0f) * 2.0f;
        q = D3DXQUATERNION((m->_23 - m->_32) / s, (m->_31 - m->_13) / s, (m->_12 - m->_21) / s, 0.25f * s);
    } else if (m->_11 > m->_22 && m->_11 > m->_33) {
        const FLOAT s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;
        q = D3DXQUATERNION(0.25f * s, (m->_12 + m->_21) / s, (m->_13 + m->_31) / s, (m->_23 - m->_32) / s);
    } else if (m->_22 > m->_33) {
        const FLOAT s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;
        q = D3DXQUATERNION((m->_12 + m->_21) / s, 0.25f * s, (m->_23 + m->_32) / s, (m->_31 - m->_13) / s);
    } else {
        const FLOAT s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;
        q = D3DXQUATERNION((m->_13 + m->_31) / s, (m->_23 + m->_32) / s, 0.25f * s, (m->_12 - m->_21) / s);
    }
    *pOut = q;
    return pOut;
}

FLOAT D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

FLOAT D3DXVec3Length(const D3DXVECTOR3* v)
{
    return std::sqrt(D3DXVec3Dot(v, v));
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *pOut = D3DXVECTOR3(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    return pOut;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* v)
{
    // A zero vector stays zero rather than turning into NaNs.
    const FLOAT len = D3DXVec3Length(v);
    *pOut = len == 0.0f ? D3DXVECTOR3() : *v / len;
    return pOut;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    *pOut = D3DXVECTOR4(v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41,
                        v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42,
                        v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43,
                        v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44);
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    *pOut = D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w);
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    *pOut = D3DXVECTOR3(v->x * m->_11 + v->y * m->_21 + v->z * m->_31,
                        v->x * m->_12 + v->y * m->_22 + v->z * m->_32,
                        v->x * m->_13 + v->y * m->_23 + v->z * m->_33);
    return pOut;
}

D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DVIEWPORT8* vp,
                             const D3DXMATRIX* pProjection, const D3DXMATRIX* pView, const D3DXMATRIX* pWorld)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (pWorld)
        D3DXMatrixMultiply(&m, &m, pWorld);
    if (pView)
        D3DXMatrixMultiply(&m, &m, pView);
    if (pProjection)
        D3DXMatrixMultiply(&m, &m, pProjection);
    D3DXVECTOR3 c;
    D3DXVec3TransformCoord(&c, pV, &m);
    if (vp) {
        c.x = static_cast<FLOAT>(vp->X) + (1.0f + c.x) * static_cast<FLOAT>(vp->Width) / 2.0f;
        c.y = static_cast<FLOAT>(vp->Y) + (1.0f - c.y) * static_cast<FLOAT>(vp->Height) / 2.0f;
        c.z = vp->MinZ + c.z * (vp->MaxZ - vp->MinZ);
    }
    *pOut = c;
    return pOut;
}

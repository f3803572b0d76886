// The D3DX math helpers against values derived by hand from the published
// formulas (row vectors, A*B applies A first).
#include "gfxutil/d3dx8.h"

#include <gtest/gtest.h>

namespace {

void ExpectNear(const D3DXVECTOR3& v, float x, float y, float z, float eps = 1e-4f)
{
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

TEST(GfxMath, PerspectiveFovRHMapsNearAndFarToZeroAndOne)
{
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovRH(&p, D3DX_PI / 2, 4.0f / 3.0f, 5.0f, 35000.0f);
    EXPECT_NEAR(p._11, 0.75f, 1e-6f);
    EXPECT_NEAR(p._22, 1.0f, 1e-6f);
    EXPECT_NEAR(p._33, 35000.0f / (5.0f - 35000.0f), 1e-6f);
    EXPECT_EQ(p._34, -1.0f);
    EXPECT_NEAR(p._43, 5.0f * 35000.0f / (5.0f - 35000.0f), 1e-4f);
    EXPECT_EQ(p._44, 0.0f);
    D3DXVECTOR3 nearPt(0, 0, -5), farPt(0, 0, -35000), out;
    D3DXVec3TransformCoord(&out, &nearPt, &p);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    D3DXVec3TransformCoord(&out, &farPt, &p);
    EXPECT_NEAR(out.z, 1.0f, 1e-5f);
    // A point on the top edge of the 90 degree frustum lands on y = 1.
    D3DXVECTOR3 top(0, 10, -10);
    D3DXVec3TransformCoord(&out, &top, &p);
    EXPECT_NEAR(out.y, 1.0f, 1e-5f);
}

TEST(GfxMath, LookAtRHBuildsAnOrthonormalViewMatrix)
{
    D3DXMATRIX v;
    D3DXVECTOR3 eye(0, 0, 0), at(0, 0, -1), up(0, 1, 0);
    D3DXMatrixLookAtRH(&v, &eye, &at, &up);
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(v.m[r][c], id.m[r][c], 1e-6f);

    // Eye at (10, 0, 0) looking at the origin with z up: the origin lies
    // 10 units in front (view z = -10), world +y is to the right.
    D3DXVECTOR3 eye2(10, 0, 0), at2(0, 0, 0), up2(0, 0, 1), out;
    D3DXMatrixLookAtRH(&v, &eye2, &at2, &up2);
    D3DXVec3TransformCoord(&out, &at2, &v);
    ExpectNear(out, 0, 0, -10);
    D3DXVECTOR3 right(0, 1, 0);
    D3DXVec3TransformCoord(&out, &right, &v);
    ExpectNear(out, 1, 0, -10);
    D3DXVECTOR3 upPt(0, 0, 1);
    D3DXVec3TransformCoord(&out, &upPt, &v);
    ExpectNear(out, 0, 1, -10);
}

TEST(GfxMath, OrthoOffCenterLHMapsOverlayUnitsToClipSpace)
{
    D3DXMATRIX o;
    D3DXMatrixOrthoOffCenterLH(&o, 0, 1, 1, 0, 0, 1);
    D3DXVECTOR3 tl(0, 0, 0.5f), br(1, 1, 0.25f), out;
    D3DXVec3TransformCoord(&out, &tl, &o);
    ExpectNear(out, -1, 1, 0.5f);
    D3DXVec3TransformCoord(&out, &br, &o);
    ExpectNear(out, 1, -1, 0.25f);
}

TEST(GfxMath, MultiplyAppliesTheLeftMatrixFirst)
{
    D3DXMATRIX t, r, tr, rt;
    D3DXMatrixTranslation(&t, 1, 0, 0);
    D3DXMatrixRotationZ(&r, D3DX_PI / 2);
    D3DXMatrixMultiply(&tr, &t, &r);
    D3DXMatrixMultiply(&rt, &r, &t);
    D3DXVECTOR3 origin(0, 0, 0), out;
    D3DXVec3TransformCoord(&out, &origin, &tr);  // translate to (1,0,0), then turn to (0,1,0)
    ExpectNear(out, 0, 1, 0);
    D3DXVec3TransformCoord(&out, &origin, &rt);
    ExpectNear(out, 1, 0, 0);
    // In-place multiply with aliasing.
    D3DXMATRIX a = t;
    D3DXMatrixMultiply(&a, &a, &r);
    EXPECT_TRUE(a == tr);
    D3DXMATRIX tt;
    D3DXMatrixTranspose(&tt, &tr);
    EXPECT_EQ(tt._14, tr._41);
    EXPECT_EQ(tt._24, tr._42);
}

TEST(GfxMath, ProjectUsesViewportAndAllThreeMatrices)
{
    D3DVIEWPORT8 vp = {10, 20, 640, 480, 0.0f, 1.0f};
    D3DXMATRIX world, view, proj;
    D3DXMatrixTranslation(&world, 0, 0, -10);
    D3DXMatrixIdentity(&view);
    D3DXMatrixPerspectiveFovRH(&proj, D3DX_PI / 2, 4.0f / 3.0f, 5.0f, 35000.0f);
    D3DXVECTOR3 p(0, 0, 0), out;
    D3DXVec3Project(&out, &p, &vp, &proj, &view, &world);
    EXPECT_NEAR(out.x, 10 + 320, 1e-3f);
    EXPECT_NEAR(out.y, 20 + 240, 1e-3f);
    EXPECT_GT(out.z, 0.0f);
    EXPECT_LT(out.z, 1.0f);
    // A point at the top-left corner of the frustum maps to the viewport's corner.
    D3DXVECTOR3 corner(-13.333333f, 10, 0);
    D3DXVec3Project(&out, &corner, &vp, &proj, &view, &world);
    EXPECT_NEAR(out.x, 10, 1e-2f);
    EXPECT_NEAR(out.y, 20, 1e-2f);
}

TEST(GfxMath, InverseAndQuaternions)
{
    D3DXMATRIX r, t, m, inv, prod;
    D3DXMatrixRotationY(&r, 0.7f);
    D3DXMatrixTranslation(&t, 3, -2, 5);
    D3DXMatrixMultiply(&m, &r, &t);
    FLOAT det = 0;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_NEAR(det, 1.0f, 1e-5f);
    D3DXMatrixMultiply(&prod, &m, &inv);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(prod.m[i][j], i == j ? 1.0f : 0.0f, 1e-5f);
    D3DXMATRIX singular;
    EXPECT_EQ(D3DXMatrixInverse(&inv, nullptr, &singular), nullptr);

    // Slerp halfway between identity and 90 degrees about z is 45 degrees.
    D3DXQUATERNION a(0, 0, 0, 1), b(0, 0, std::sin(D3DX_PI / 4), std::cos(D3DX_PI / 4)), h;
    D3DXQuaternionSlerp(&h, &a, &b, 0.5f);
    D3DXMATRIX qm, zr;
    D3DXMatrixRotationQuaternion(&qm, &h);
    D3DXMatrixRotationZ(&zr, D3DX_PI / 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(qm.m[i][j], zr.m[i][j], 1e-5f);
    D3DXQUATERNION back;
    D3DXQuaternionRotationMatrix(&back, &zr);
    EXPECT_NEAR(back.z, h.z, 1e-5f);
    EXPECT_NEAR(back.w, h.w, 1e-5f);

    D3DXVECTOR3 zero(0, 0, 0), n;
    D3DXVec3Normalize(&n, &zero);
    ExpectNear(n, 0, 0, 0);
}

}  // namespace

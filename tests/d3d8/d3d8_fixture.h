// A headless device on llvmpipe and helpers to draw with it and read the
// picture back.
#pragma once

#include "gfxutil/d3dx8.h"
#include "platform/d3d8/d3d8_vantor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The engine's vertex layout.
struct TestVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u0, v0;
    float u1, v1;
    float tu[3];
    float tv[3];
};
static_assert(sizeof(TestVertex) == 68);

inline const DWORD kTestDecl[] = {D3DVSD_STREAM(0),
                                  D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                  D3DVSD_REG(1, D3DVSDT_FLOAT3),
                                  D3DVSD_REG(2, D3DVSDT_D3DCOLOR),
                                  D3DVSD_REG(3, D3DVSDT_FLOAT2),
                                  D3DVSD_REG(4, D3DVSDT_FLOAT2),
                                  D3DVSD_REG(5, D3DVSDT_FLOAT3),
                                  D3DVSD_REG(6, D3DVSDT_FLOAT3),
                                  D3DVSD_END()};

inline TestVertex V(float x, float y, float z, D3DCOLOR c = 0xFFFFFFFF, float u = 0, float v = 0)
{
    TestVertex t{};
    t.x = x;
    t.y = y;
    t.z = z;
    t.color = c;
    t.u0 = u;
    t.v0 = v;
    t.u1 = u;
    t.v1 = v;
    return t;
}

inline std::vector<DWORD> AssembleOrDie(const std::string& text)
{
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    const HRESULT hr =
        D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), 0, nullptr, &code, &errors);
    std::vector<DWORD> tokens;
    if (SUCCEEDED(hr)) {
        const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(p, p + code->GetBufferSize() / 4);
        code->Release();
    } else {
        ADD_FAILURE() << "assembly failed: " << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "")
                      << "\n" << text;
    }
    if (errors)
        errors->Release();
    return tokens;
}

// Passes clip-space positions through; colour, two texture sets, fog from c1.z.
inline const char* const kPassVs =
    "vs.1.1\n"
    "mov oPos, v0\n"
    "mov oD0, v2\n"
    "mov oT0, v3\n"
    "mov oT1, v4\n"
    "mov oFog.x, c1.z\n";

inline uint8_t Ch(uint32_t argb, int shift) { return static_cast<uint8_t>((argb >> shift) & 0xFF); }

// Colour channels within a tolerance (alpha included).
inline ::testing::AssertionResult ArgbNear(uint32_t actual, uint32_t expected, int tol)
{
    for (int s = 0; s < 32; s += 8) {
        const int d = static_cast<int>(Ch(actual, s)) - static_cast<int>(Ch(expected, s));
        if (d > tol || d < -tol) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "actual 0x%08X expected 0x%08X (tolerance %d)", actual, expected, tol);
            return ::testing::AssertionFailure() << buf;
        }
    }
    return ::testing::AssertionSuccess();
}
#define EXPECT_ARGB_NEAR(actual, expected, tol) EXPECT_TRUE(ArgbNear((actual), (expected), (tol)))

class D3D8Test : public ::testing::Test {
protected:
    static constexpr UINT kW = 64, kH = 64;

    void SetUp() override
    {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d) {
            GTEST_SKIP() << "no EGL/OpenGL 3.3 context can be created here";
        }
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = kW;
        pp.BackBufferHeight = kH;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
                  D3D_OK);
        ASSERT_EQ(dev->CreateVertexBuffer(1024 * sizeof(TestVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0,
                                          D3DPOOL_DEFAULT, &vb),
                  D3D_OK);
        passVs = MakeVs(kPassVs);
        dev->SetVertexShader(passVs);
        dev->SetStreamSource(0, vb, sizeof(TestVertex));
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev->SetRenderState(D3DRS_ZENABLE, FALSE);
        // Stage 0 passes the vertex colour unless a test says otherwise.
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        const float c1[4] = {1.0f, 0.5f, 1.0f, 0.0f};
        dev->SetVertexShaderConstant(1, c1, 1);
    }

    void TearDown() override
    {
        for (IUnknown* t : owned)
            t->Release();
        if (vb)
            vb->Release();
        if (dev) {
            EXPECT_EQ(dev->Release(), 0u);
        }
        if (d3d)
            d3d->Release();
    }

    DWORD MakeVs(const std::string& text, const DWORD* decl = kTestDecl)
    {
        const std::vector<DWORD> tokens = AssembleOrDie(text);
        DWORD h = 0;
        EXPECT_EQ(dev->CreateVertexShader(decl, tokens.data(), &h, 0), D3D_OK) << text;
        return h;
    }

    DWORD MakePs(const std::string& text)
    {
        const std::vector<DWORD> tokens = AssembleOrDie(text);
        DWORD h = 0;
        EXPECT_EQ(dev->CreatePixelShader(tokens.data(), &h), D3D_OK) << text;
        return h;
    }

    void Upload(const std::vector<TestVertex>& verts)
    {
        BYTE* p = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(p, verts.data(), verts.size() * sizeof(TestVertex));
        ASSERT_EQ(vb->Unlock(), D3D_OK);
    }

    // A full-target quad (triangle strip) in clip space.
    void DrawQuad(D3DCOLOR c, float z = 0.5f, float x0 = -1, float y0 = -1, float x1 = 1, float y1 = 1)
    {
        Upload({V(x0, y1, z, c, 0, 0), V(x1, y1, z, c, 1, 0), V(x0, y0, z, c, 0, 1), V(x1, y0, z, c, 1, 1)});
        dev->BeginScene();
        EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        dev->EndScene();
    }

    VantorImage Read()
    {
        IDirect3DSurface8* rt = nullptr;
        EXPECT_EQ(dev->GetRenderTarget(&rt), D3D_OK);
        VantorImage img;
        EXPECT_EQ(VantorReadSurface(rt, &img), D3D_OK);
        rt->Release();
        return img;
    }

    uint32_t Center() { return Read().At(kW / 2, kH / 2); }

    IDirect3DTexture8* MakeTexture(UINT w, UINT h, D3DFORMAT fmt, const std::vector<uint32_t>& texels, UINT levels = 1)
    {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(w, h, levels, 0, fmt, D3DPOOL_MANAGED, &t), D3D_OK);
        if (!t)
            return nullptr;
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y)
            std::memcpy(static_cast<BYTE*>(lr.pBits) + y * static_cast<UINT>(lr.Pitch), &texels[y * w], w * 4);
        EXPECT_EQ(t->UnlockRect(0), D3D_OK);
        owned.push_back(t);
        return t;
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* dev = nullptr;
    IDirect3DVertexBuffer8* vb = nullptr;
    DWORD passVs = 0;
    std::vector<IUnknown*> owned;
};

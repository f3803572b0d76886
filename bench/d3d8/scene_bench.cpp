// The engine's kind of frame, twice: 20,000 textured triangles with a
// second (shadow) texture stage and vertex fog, drawn in 20 batches with a
// texture switch each, then the final copy to the "screen". Once through
// the Direct3D 8 runtime, once with hand-written OpenGL doing the same work.
// Both finish the frame on the GPU (glFinish) so the rates compare.
#include "gfxutil/d3dx8.h"
#include "platform/d3d8/d3d8_vantor.h"
#include "platform/d3d8/gl.h"
#include "platform/d3d8/gl_context.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kGrid = 100;  // 100 x 100 quads = 20,000 triangles
constexpr int kBatches = 20;
constexpr int kTriangles = kGrid * kGrid * 2;

struct Vertex {
    float x, y, z, nx, ny, nz;
    uint32_t color;
    float u0, v0, u1, v1;
    float t[6];
};
static_assert(sizeof(Vertex) == 68);

std::vector<Vertex> MakeScene()
{
    std::vector<Vertex> v;
    v.reserve(static_cast<size_t>(kTriangles) * 3);
    auto at = [](int i, int j) {
        Vertex p{};
        p.x = (static_cast<float>(i) / kGrid - 0.5f) * 4000.0f;
        p.y = static_cast<float>(j) / kGrid * 40000.0f;
        p.z = -300.0f + 150.0f * std::sin(static_cast<float>(i) * 0.3f) * std::cos(static_cast<float>(j) * 0.2f);
        p.nz = 1;
        p.color = 0xFFFFFFFF;
        p.u0 = static_cast<float>(i) * 0.25f;
        p.v0 = static_cast<float>(j) * 0.25f;
        p.u1 = static_cast<float>(i) / kGrid;
        p.v1 = static_cast<float>(j) / kGrid;
        return p;
    };
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            v.insert(v.end(), {at(i, j), at(i + 1, j), at(i, j + 1)});
            v.insert(v.end(), {at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    return v;
}

D3DXMATRIX ViewProjection(float aspect)
{
    D3DXMATRIX view, proj, vp;
    const D3DXVECTOR3 eye(0, -100, 200), at(0, 5000, -200), up(0, 0, 1);
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(&proj, D3DX_PI / 2, aspect, 5.0f, 35000.0f);
    D3DXMatrixMultiply(&vp, &view, &proj);
    return vp;
}

std::vector<uint32_t> Checker(uint32_t a, uint32_t b)
{
    std::vector<uint32_t> t(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            t[static_cast<size_t>(y * 256 + x)] = ((x / 16 + y / 16) & 1) ? a : b;
    return t;
}

// ------------------------------------------------------------- runtime
class CRuntimeScene {
public:
    bool Init(UINT w, UINT h)
    {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d)
            return false;
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = w;
        pp.BackBufferHeight = h;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev)))
            return false;
        const std::vector<Vertex> scene = MakeScene();
        dev->CreateVertexBuffer(static_cast<UINT>(scene.size() * sizeof(Vertex)), D3DUSAGE_WRITEONLY, 0,
                                D3DPOOL_DEFAULT, &vb);
        BYTE* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, scene.data(), scene.size() * sizeof(Vertex));
        vb->Unlock();
        const std::vector<uint32_t> images[3] = {Checker(0xFFC08040, 0xFF806040), Checker(0xFF4080C0, 0xFF204060),
                                                 Checker(0xFFFFFFFF, 0xFF808080)};
        for (int i = 0; i < 3; ++i) {
            D3DXCreateTexture(dev, 256, 256, 0, 0, i == 2 ? D3DFMT_L8 : D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex[i]);
            for (DWORD l = 0; l < tex[i]->GetLevelCount(); ++l) {
                D3DLOCKED_RECT lr;
                tex[i]->LockRect(l, &lr, nullptr, 0);
                D3DSURFACE_DESC d;
                tex[i]->GetLevelDesc(l, &d);
                for (UINT y = 0; y < d.Height; ++y)
                    for (UINT x = 0; x < d.Width; ++x) {
                        const uint32_t c = images[i][static_cast<size_t>(y * 256 + x)];
                        BYTE* row = static_cast<BYTE*>(lr.pBits) + y * static_cast<UINT>(lr.Pitch);
                        if (i == 2)
                            row[x] = static_cast<BYTE>(c);
                        else
                            std::memcpy(row + x * 4, &c, 4);
                    }
                tex[i]->UnlockRect(l);
            }
        }
        const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(1, D3DVSDT_FLOAT3),
                              D3DVSD_REG(2, D3DVSDT_D3DCOLOR), D3DVSD_REG(3, D3DVSDT_FLOAT2),
                              D3DVSD_REG(4, D3DVSDT_FLOAT2), D3DVSD_REG(5, D3DVSDT_FLOAT3),
                              D3DVSD_REG(6, D3DVSDT_FLOAT3), D3DVSD_END()};
        const std::string src =
            "vs.1.1\nm4x4 r0, v0, c4\nmov oPos, r0\nmov oD0, v2\nmov oT0, v3\nmov oT1, v4\n"
            "max r1.x, r0.z, -r0.z\nmad oFog.x, -r1.x, c1.w, c1.z\n";
        LPD3DXBUFFER code = nullptr;
        if (FAILED(D3DXAssembleShader(src.data(), static_cast<UINT>(src.size()), 0, nullptr, &code, nullptr)))
            return false;
        dev->CreateVertexShader(decl, static_cast<const DWORD*>(code->GetBufferPointer()), &vs, 0);
        code->Release();
        D3DXMATRIX vp = ViewProjection(static_cast<float>(w) / static_cast<float>(h)), vpt;
        D3DXMatrixTranspose(&vpt, &vp);
        const float c1[4] = {1.0f, 0.5f, 1.3f, 1.0f / 30000.0f};
        dev->SetVertexShaderConstant(1, c1, 1);
        dev->SetVertexShaderConstant(4, &vpt, 4);
        dev->SetVertexShader(vs);
        dev->SetStreamSource(0, vb, sizeof(Vertex));
        dev->SetRenderState(D3DRS_ZENABLE, TRUE);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
        dev->SetRenderState(D3DRS_FOGCOLOR, 0x00CFCFCF);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        for (DWORD s = 0; s < 2; ++s) {
            dev->SetTextureStageState(s, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
            dev->SetTextureStageState(s, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
            dev->SetTextureStageState(s, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
        }
        dev->SetTexture(1, tex[2]);
        return true;
    }

    void Frame()
    {
        const UINT perBatch = kTriangles / kBatches;
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF6060C0, 1.0f, 0);
        dev->BeginScene();
        for (int b = 0; b < kBatches; ++b) {
            dev->SetTexture(0, tex[b & 1]);
            dev->DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<UINT>(b) * perBatch * 3, perBatch);
        }
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
        glFinish();
    }

    ~CRuntimeScene()
    {
        if (dev) {
            dev->SetTexture(0, nullptr);
            dev->SetTexture(1, nullptr);
            dev->SetStreamSource(0, nullptr, 0);
        }
        for (IDirect3DTexture8* t : tex)
            if (t)
                t->Release();
        if (vb)
            vb->Release();
        if (dev)
            dev->Release();
        if (d3d)
            d3d->Release();
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* dev = nullptr;
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DTexture8* tex[3] = {};
    DWORD vs = 0;
};

// -------------------------------------------------------------- raw GL
GLuint Compile(GLenum type, const char* text)
{
    const GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    return s;
}

GLuint Link(const char* vs, const char* fs)
{
    const GLuint p = glCreateProgram();
    const GLuint a = Compile(GL_VERTEX_SHADER, vs), b = Compile(GL_FRAGMENT_SHADER, fs);
    glAttachShader(p, a);
    glAttachShader(p, b);
    glLinkProgram(p);
    glDeleteShader(a);
    glDeleteShader(b);
    return p;
}

class CRawScene {
public:
    bool Init(int width, int height)
{
    w = width;
    h = height;
    ctx = CGLContext::CreateHeadless();
    if (!ctx)
        return false;
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    const bool clipControl = major > 4 || (major == 4 && minor >= 5);
    if (clipControl)
        glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    const std::vector<Vertex> scene = MakeScene();

    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(scene.size() * sizeof(Vertex)), scene.data(),
                 GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(24));
    glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(28));
    glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(36));
    for (GLuint a : {0u, 2u, 3u, 4u})
        glEnableVertexAttribArray(a);
    glGenTextures(2, color);
    glGenFramebuffers(2, fbo);
    for (int i = 0; i < 2; ++i) {
        glBindTexture(GL_TEXTURE_2D, color[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo[i]);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color[i], 0);
    }
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    glGenTextures(3, tex);
    const std::vector<uint32_t> images[3] = {Checker(0xFFC08040, 0xFF806040), Checker(0xFF4080C0, 0xFF204060),
                                             Checker(0xFFFFFFFF, 0xFF808080)};
    for (int i = 0; i < 3; ++i) {
        glBindTexture(GL_TEXTURE_2D, tex[i]);
        if (i == 2) {
            // The shadow map is one luminance channel, as in the scene above.
            std::vector<uint8_t> lum(images[i].size());
            for (size_t k = 0; k < lum.size(); ++k)
                lum[k] = static_cast<uint8_t>(images[i][k]);
            const GLint swizzle[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, 256, 256, 0, GL_RED, GL_UNSIGNED_BYTE, lum.data());
        } else {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                         images[i].data());
        }
        glGenerateMipmap(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    const std::string zExpr = clipControl ? "p.z" : "2.0 * p.z - p.w";
    const std::string vsText =
        "#version 330 core\n"
        "layout(location = 0) in vec4 pos; layout(location = 2) in vec4 col;\n"
        "layout(location = 3) in vec4 t0; layout(location = 4) in vec4 t1;\n"
        "uniform mat4 viewProj; out vec4 c; out vec2 uv0; out vec2 uv1; out float fog;\n"
        "void main() { vec4 p = viewProj * vec4(pos.xyz, 1.0); c = col; uv0 = t0.xy; uv1 = t1.xy;\n"
        "  fog = 1.3 - abs(p.z) / 30000.0; gl_Position = vec4(p.x, -p.y, " + zExpr + ", p.w); }\n";
    scene3d = Link(vsText.c_str(),
                                "#version 330 core\n"
                                "uniform sampler2D s0; uniform sampler2D s1; uniform vec3 fogColor;\n"
                                "in vec4 c; in vec2 uv0; in vec2 uv1; in float fog; out vec4 o;\n"
                                "void main() { vec4 r = texture(s0, uv0) * c; r.rgb *= texture(s1, uv1).rgb;\n"
                                "  r.rgb = mix(fogColor, r.rgb, clamp(fog, 0.0, 1.0)); o = r; }\n");
    copy = Link("#version 330 core\nvoid main() { vec2 p = vec2(float((gl_VertexID << 1) & 2), "
                             "float(gl_VertexID & 2)); gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0); }\n",
                             "#version 330 core\nuniform sampler2D image; out vec4 o;\n"
                             "void main() { o = texelFetch(image, ivec2(gl_FragCoord.xy), 0); }\n");
    D3DXMATRIX vp = ViewProjection(static_cast<float>(w) / static_cast<float>(h));
    glUseProgram(scene3d);
    glUniformMatrix4fv(glGetUniformLocation(scene3d, "viewProj"), 1, GL_FALSE, &vp._11);
    glUniform1i(glGetUniformLocation(scene3d, "s0"), 0);
    glUniform1i(glGetUniformLocation(scene3d, "s1"), 1);
    glUniform3f(glGetUniformLocation(scene3d, "fogColor"), 0xCF / 255.0f, 0xCF / 255.0f, 0xCF / 255.0f);
    glGenVertexArrays(1, &emptyVao);
    return true;
}

    void Frame()
    {
        const int perBatch = kTriangles / kBatches;
        glBindFramebuffer(GL_FRAMEBUFFER, fbo[0]);
        glViewport(0, 0, w, h);
        glClearColor(0.376f, 0.376f, 0.75f, 1.0f);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glUseProgram(scene3d);
        glBindVertexArray(vao);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, tex[2]);
        for (int b = 0; b < kBatches; ++b) {
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, tex[b & 1]);
            glDrawArrays(GL_TRIANGLES, b * perBatch * 3, perBatch * 3);
        }
        glDisable(GL_DEPTH_TEST);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo[1]);
        glUseProgram(copy);
        glBindVertexArray(emptyVao);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, color[0]);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glFinish();
    }

    void MakeCurrent() { ctx->MakeCurrent(); }

    ~CRawScene()
    {
        if (!ctx)
            return;
        ctx->MakeCurrent();
    glDeleteProgram(scene3d);
    glDeleteProgram(copy);
    glDeleteTextures(3, tex);
    glDeleteTextures(2, color);
    glDeleteFramebuffers(2, fbo);
    glDeleteRenderbuffers(1, &depth);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteVertexArrays(1, &emptyVao);
    }

    int w = 0, h = 0;
    std::unique_ptr<CGLContext> ctx;
    GLuint vao = 0, vbo = 0, fbo[2] = {}, color[2] = {}, depth = 0, tex[3] = {}, scene3d = 0, copy = 0, emptyVao = 0;
};

// ------------------------------------------------------------ benchmarks
void SceneRuntime(benchmark::State& state)
{
    CRuntimeScene scene;
    if (!scene.Init(static_cast<UINT>(state.range(0)), static_cast<UINT>(state.range(1)))) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    for (auto _ : state)
        scene.Frame();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * kTriangles);
}

void SceneRawGL(benchmark::State& state)
{
    CRawScene scene;
    if (!scene.Init(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)))) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    for (auto _ : state)
        scene.Frame();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * kTriangles);
}

// Both scenes in alternating blocks of frames, so that a machine shared
// with other work loads them alike; reports both rates and their ratio.
void SceneRatio(benchmark::State& state)
{
    CRawScene raw;
    CRuntimeScene runtime;
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    if (!raw.Init(w, h) || !runtime.Init(static_cast<UINT>(w), static_cast<UINT>(h))) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration rawTime{}, runtimeTime{};
    int64_t frames = 0;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool rawFirst = (frames & 1) == 0;
            const bool doRaw = (pass == 0) == rawFirst;
            if (doRaw)
                raw.MakeCurrent();
            else
                VantorD3D8ContextChanged();
            const auto t0 = Clock::now();
            for (int i = 0; i < 4; ++i)
                doRaw ? raw.Frame() : runtime.Frame();
            (doRaw ? rawTime : runtimeTime) += Clock::now() - t0;
        }
        frames += 4;
    }
    const double rawFps = static_cast<double>(frames) / std::chrono::duration<double>(rawTime).count();
    const double runtimeFps = static_cast<double>(frames) / std::chrono::duration<double>(runtimeTime).count();
    state.counters["rawgl_fps"] = rawFps;
    state.counters["runtime_fps"] = runtimeFps;
    state.counters["ratio"] = runtimeFps / rawFps;
}

}  // namespace

BENCHMARK(SceneRuntime)->Name("Gfx/SceneRuntime")->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SceneRawGL)->Name("Gfx/SceneRawGL")->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SceneRatio)->Name("Gfx/SceneRuntimeVsRawGL")->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();

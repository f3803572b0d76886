// The bake, in member order: shaders (checked only), textures, canyon with
// its shadow atlas, flight path, pterodactyl, sounds, then the pictures.
#include "bake/bake.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "bake/canyon_gen.h"
#include "bake/flight_path.h"
#include "bake/font.h"
#include "bake/image_io.h"
#include "bake/mesh_query.h"
#include "bake/noise.h"
#include "bake/ptero_gen.h"
#include "bake/shadow_atlas.h"
#include "bake/soft_render.h"
#include "bake/sounds.h"
#include "bake/textures.h"
#include "bake/wav.h"
#include "canyon/canyon.h"
#include "d3dx8.h"
#include "model/skeleton.h"
#include "model/skinned_model.h"

namespace bake {

using vmath::Vec3;

namespace {

class Baker {
public:
    explicit Baker(const BakeOptions& o) : m_o(o) {}
    bool Run();

private:
    bool Fail(const std::string& what)
    {
        std::fprintf(stderr, "vantor-bake: %s\n", what.c_str());
        return false;
    }
    void Note(const char* fmt, double a = 0, double b = 0, double c = 0)
    {
        if (m_o.verbose) {
            std::printf(fmt, a, b, c);
            std::printf("\n");
        }
    }
    bool Put(const std::string& member, const Bytes& bytes)
    {
        if (bytes.empty())
            return Fail("could not encode " + member);
        if (!WriteFile(m_o.stagingDir + "/" + member, bytes))
            return Fail("could not write " + member);
        return true;
    }
    bool PutText(const std::string& member, const std::string& text)
    {
        return Put(member, Bytes(text.begin(), text.end()));
    }
    bool Doc(const std::string& name, const Image& image)
    {
        if (m_o.docsDir.empty())
            return true;
        // Large views go in as palettised pictures to keep the repository small.
        const Bytes png = image.width * image.height > 65536 ? EncodePngIndexed(Quantize(image)) : EncodePng(image);
        return WriteFile(m_o.docsDir + "/" + name, png) || Fail("could not write docs/" + name);
    }

    bool Shaders();
    bool Textures();
    bool Canyon();
    bool Flight();
    bool Ptero();
    bool Sounds();
    bool Pictures();

    void RenderCanyon(SoftRenderer& r) const;
    Image RenderPtero(int32_t frame, int32_t size, Vec3 eye) const;

    const BakeOptions& m_o;
    // Kept for the checks and pictures that follow.
    Image m_rock, m_strata, m_ground, m_skin, m_atlas;
    CanyonLayout m_layout;
    CanyonMesh m_canyon;
    std::vector<AtlasPatch> m_patches;
    std::unique_ptr<MeshQuery> m_query;
    std::string m_pteroText, m_pathText;
};

bool Baker::Shaders()
{
    if (m_o.shaderDir.empty())
        return true;
    for (const char* name : {"basic.vsh", "bump.vsh", "light.vsh", "basic.psh", "bump.psh"}) {
        Bytes src;
        if (!ReadFile(m_o.shaderDir + "/" + name, src))
            return Fail(std::string("missing shader ") + name);
        LPD3DXBUFFER code = nullptr, errors = nullptr;
        const HRESULT hr = D3DXAssembleShader(src.data(), UINT(src.size()), 0, nullptr, &code, &errors);
        std::string message = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (code)
            code->Release();
        if (errors)
            errors->Release();
        if (hr != D3D_OK)
            return Fail(std::string("shader ") + name + " does not assemble: " + message);
    }
    return true;
}

bool Baker::Textures()
{
    m_rock = MakeRockTexture();
    m_strata = MakeStrataTexture();
    m_ground = MakeGroundTexture();
    m_skin = MakePteroSkin();
    IndexedImage font;
    if (!MakeFontTexture(DefaultFontFile(), font))
        return Fail(std::string("cannot read the font ") + DefaultFontFile());
    struct Jpeg {
        const char* member;
        Image image;
        const char* doc;
    };
    const Jpeg jpegs[] = {
        {"textures/DEFAULT.JPG", MakeDefaultTexture(), "tex_default.png"},
        {"textures/1.jpg", m_rock, "tex_1_rock.png"},
        {"textures/2.jpg", m_strata, "tex_2_strata.png"},
        {"textures/12.jpg", m_ground, "tex_12_ground.png"},
        {"textures/bump.jpg", MakeBumpTexture(), "tex_bump.png"},
        {"textures/loading1.jpg", MakeLoadingLight(), "tex_loading1.png"},
        {"textures/loading2.jpg", MakeLoadingBase(), "tex_loading2.png"},
        {"textures/FLARE.JPG", MakeFlareGlow(), "tex_flare.png"},
        {"textures/f1.jpg", MakeFlareRing(), "tex_f1.png"},
        {"textures/f2.jpg", MakeFlareDisc(), "tex_f2.png"},
        {"textures/f3.jpg", MakeFlareHexagon(), "tex_f3.png"},
        {"textures/f4.jpg", MakeFlareStreaks(), "tex_f4.png"},
    };
    for (const Jpeg& j : jpegs) {
        if (!Put(j.member, EncodeJpeg(j.image, 92)))
            return false;
        Image small = j.image.width > 256 ? Downsample(j.image, j.image.width / 256) : j.image;
        if (!Doc(j.doc, small))
            return false;
    }
    const Image sky = MakeSkyTexture();
    const Image clouds = MakeCloudTexture();
    if (!Put("textures/sky.png", EncodePng(sky)) || !Put("textures/fog.tga", EncodeTga(clouds)) ||
        !Put("textures/font.png", EncodePngIndexed(font)) || !Put("textures/ptero.bmp", EncodeBmp24(m_skin)))
        return false;
    // Clouds documented over the sky, as the dome blends them.
    Image cloudsOverSky(256, 256, 3);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            const uint8_t* c = clouds.At(x, y);
            const uint8_t* s = sky.At(x, y);
            const float a = c[3] / 255.0f;
            cloudsOverSky.Set(x, y, (c[0] * a + s[0] * (1 - a)) / 255, (c[1] * a + s[1] * (1 - a)) / 255,
                              (c[2] * a + s[2] * (1 - a)) / 255);
        }
    Image fontRgb(256, 256, 3);
    for (size_t i = 0; i < font.indices.size(); ++i)
        for (int c = 0; c < 3; ++c)
            fontRgb.pixels[i * 3 + size_t(c)] = font.indices[i];
    return Doc("tex_sky.png", sky) && Doc("tex_fog_over_sky.png", cloudsOverSky) && Doc("tex_font.png", fontRgb) &&
           Doc("tex_ptero.png", m_skin);
}

bool Baker::Canyon()
{
    m_layout = MakeCanyonLayout();
    m_canyon = MakeCanyonMesh(m_layout);
    const size_t faces = m_canyon.faces.size();
    Note("canyon: %.0f faces, %.0f vertices, %.0f gullies", double(faces), double(m_canyon.positions.size()),
         double(m_layout.gullies.size()));
    if (faces < 15000 || faces > 25000)
        return Fail("canyon face count " + std::to_string(faces) + " outside 15000..25000");
    if (!PackAtlas(m_canyon, m_patches))
        return Fail("shadow patches do not fit the 1024 x 1024 atlas");
    if (!PatchesValid(m_patches))
        return Fail("shadow patches overlap or leave the atlas");
    int32_t usedRows = 0;
    for (const AtlasPatch& p : m_patches)
        usedRows = std::max(usedRows, p.y + p.h);
    Note("atlas: patches use %.0f of 1024 rows", double(usedRows));
    m_query = std::make_unique<MeshQuery>(m_canyon.positions, m_canyon.faces, 320.0);
    m_atlas = BakeShadowAtlas(m_canyon, *m_query, m_patches);

    std::vector<std::pair<int32_t, int32_t>> origins;
    for (const AtlasPatch& p : m_patches)
        origins.emplace_back(p.x, p.y);
    const std::string text = WriteCanyonText(m_canyon, origins);

    // Back through the engine's reader: same tables, and every face's
    // shadow coordinates land inside its own patch.
    CCanyon check;
    if (!check.ParseText(text))
        return Fail("canyon does not parse with CCanyon");
    if (check.Faces().size() != faces || check.Vertices().size() != m_canyon.positions.size())
        return Fail("canyon reader sees a different mesh");
    check.ComputeShadowCoords();
    for (size_t i = 0; i < faces; ++i) {
        const CanyonFace& f = check.Faces()[i];
        const AtlasPatch& p = m_patches[i];
        if (f.shadow != 0)
            return Fail("canyon face without shadow texture");
        for (const auto& uv : f.shadowUV) {
            const float tu = uv[0] * 1024.0f, tv = uv[1] * 1024.0f;
            // The bilinear footprint (half a texel each way) stays inside.
            if (tu - 0.5f < float(p.x) || tu + 0.5f > float(p.x + p.w) || tv - 0.5f < float(p.y) ||
                tv + 0.5f > float(p.y + p.h))
                return Fail("shadow coordinates of face " + std::to_string(i) + " leave its patch");
        }
    }
    return PutText("models/canyon.smd", text) && Put("shadows/shadow.tga", EncodeTga(m_atlas)) &&
           Doc("shadow_atlas.png", Downsample(m_atlas, 2));
}

bool Baker::Flight()
{
    m_pathText = MakeFlightPathText(m_layout);
    CSkeleton path;
    if (!path.LoadFromText(m_pathText))
        return Fail("camera path does not load with CSkeleton");
    if (path.BoneCount() != 6 || path.FrameCount() != kPathFrames)
        return Fail("camera path has the wrong shape");
    for (const char* name : {"ClassicCamera", "Camera", "Ptero", "PteroCamera", "Line05", "Line07"})
        if (path.FindBone(name) < 0)
            return Fail(std::string("camera path lacks ") + name);
    const PathReport r = MeasureFlightPath(path, *m_query);
    Note("path: pterodactyl clearance %.0f (orbit camera %.0f), helicopter clearance %.0f",
         double(r.pteroClearance), double(r.pteroClearance - kOrbitReach), double(r.classicClearance));
    Note("path: flock clearance %.0f", double(r.flockClearance));
    Note("path: seam ratios %.2f %.2f %.2f", double(r.pteroSeamRatio), double(r.classicSeamRatio),
         double(r.flockSeamRatio));
    if (const std::string problem = PathReportProblem(r); !problem.empty())
        return Fail("flight path check failed: " + problem);
    return PutText("models/camera.ani", m_pathText);
}

bool Baker::Ptero()
{
    m_pteroText = MakePteroText();
    CSkinnedModel model;
    if (!model.ParseText(m_pteroText))
        return Fail("pterodactyl does not parse with CSkinnedModel");
    const CSkeleton& sk = model.GetSkeleton();
    Note("ptero: %.0f bones, %.0f vertices, %.0f faces", double(sk.BoneCount()), double(model.Vertices().size()),
         double(model.Faces().size()));
    if (sk.FrameCount() != kPteroFrames)
        return Fail("pterodactyl must have 101 frames");
    return PutText("models/ptero.smd", m_pteroText);
}

bool Baker::Sounds()
{
    struct Sound {
        const char* member;
        std::vector<float> samples;
    };
    const Sound sounds[] = {
        {"sound/wind8bit.wav", MakeWindLoop()},  {"sound/fly8bit.wav", MakeWingFlap()},
        {"sound/cry8bit1.wav", MakeCry(0)},      {"sound/cry8bit2.wav", MakeCry(1)},
        {"sound/cry8bit3.wav", MakeCry(2)},      {"sound/ptero8bit.wav", MakeCall(0)},
        {"sound/ptero8bit2.wav", MakeCall(1)},   {"sound/heli8bit.wav", MakeHelicopterLoop()},
    };
    uint32_t seed = 1;
    for (const Sound& s : sounds)
        if (!Put(s.member, EncodeWav8(s.samples, seed++)))
            return false;
    return true;
}

void Baker::RenderCanyon(SoftRenderer& r) const
{
    const Image* textures[3] = {&m_rock, &m_strata, &m_ground};
    for (size_t i = 0; i < m_canyon.faces.size(); ++i) {
        const MeshFace& f = m_canyon.faces[i];
        const AtlasPatch& p = m_patches[i];
        const int32_t idx[3] = {f.a, f.b, f.c};
        Vec3 pos[3];
        for (int k = 0; k < 3; ++k)
            pos[k] = m_canyon.positions[size_t(idx[k])];
        // The engine's planar projection into the face's patch.
        auto proj = [&](Vec3 q, float& a, float& b) {
            if (p.axis == 0) {
                a = q.y;
                b = q.z;
            } else if (p.axis == 1) {
                a = q.x;
                b = q.z;
            } else {
                a = q.x;
                b = q.y;
            }
        };
        float pa[3], pb[3];
        for (int k = 0; k < 3; ++k)
            proj(pos[k], pa[k], pb[k]);
        const float pmin = std::min({pa[0], pa[1], pa[2]}), qmin = std::min({pb[0], pb[1], pb[2]});
        SoftVertex v[3];
        for (int k = 0; k < 3; ++k) {
            v[k].position = pos[k];
            v[k].u = 1 - m_canyon.u[size_t(idx[k])];
            v[k].v = 1 - m_canyon.v[size_t(idx[k])];
            v[k].su = (float(p.x) + 1.5f + (pa[k] - pmin) / kUnitsPerTexel) / 1024.0f;
            v[k].sv = (float(p.y) + 1.5f + (pb[k] - qmin) / kUnitsPerTexel) / 1024.0f;
        }
        r.DrawTriangle(v, textures[f.shader], &m_atlas);
    }
}

Image Baker::RenderPtero(int32_t frame, int32_t size, Vec3 eye) const
{
    CSkinnedModel model;
    model.ParseText(m_pteroText);
    CSkeleton& sk = model.GetSkeleton();
    AnimClip still{frame, frame, 1, false};
    sk.SampleClip(still, 0);
    SoftRenderer r(size * 2, size * 2);
    float horizon[3] = {0.80f, 0.84f, 0.90f}, zenith[3] = {0.45f, 0.62f, 0.90f};
    r.ClearSky(horizon, zenith);
    r.SetFog(false);
    r.SetCamera(eye, {0, 0, 0}, {0, 0, 1}, 0.9f);
    const Vec3 light = Vec3{-0.4082483f, -0.4082483f, 0.8164966f};
    std::vector<Vec3> pos, nrm;
    for (const ModelVertex& v : model.Vertices()) {
        vmath::Mat4 m = vmath::Multiply(sk.GetBindInverse(v.bone), sk.GetBoneMatrix(v.bone));
        pos.push_back(vmath::TransformPoint({v.x, v.y, v.z}, m));
        nrm.push_back(vmath::TransformNormal({v.nx, v.ny, v.nz}, m));
    }
    for (const ModelFace& f : model.Faces()) {
        const int32_t idx[3] = {f.i0, f.i1, f.i2};
        // Cull back faces as the engine does (outward winding is front).
        const Vec3 n = vmath::Cross(pos[size_t(idx[1])] - pos[size_t(idx[0])], pos[size_t(idx[2])] - pos[size_t(idx[0])]);
        if (vmath::Dot(n, eye - pos[size_t(idx[0])]) <= 0)
            continue;
        SoftVertex v[3];
        for (int k = 0; k < 3; ++k) {
            const ModelVertex& mv = model.Vertices()[size_t(idx[k])];
            v[k].position = pos[size_t(idx[k])];
            v[k].u = mv.u;
            v[k].v = mv.v;
            // The creature shader: 0.8 ambient plus 0.2 diffuse.
            v[k].light = 0.8f + 0.2f * vmath::Dot(vmath::NormalizeOrKeep(nrm[size_t(idx[k])]), light);
        }
        r.DrawTriangle(v, &m_skin, nullptr);
    }
    return r.Resolve(2);
}

bool Baker::Pictures()
{
    // Inside the canyon, looking along it towards the sunlit walls.
    const CanyonLine& line = m_layout.line;
    const size_t at = line.points.size() / 7;
    const Vec2 p = line.points[at], q = line.points[(at + 12) % line.points.size()];
    const Vec3 eye{float(p.x), float(p.y), float(line.floorZ[at] + 520)};
    const Vec3 target{float(q.x), float(q.y), float(line.floorZ[at] + 380)};
    float horizon[3] = {0.81f, 0.81f, 0.81f}, zenith[3] = {0.32f, 0.52f, 0.88f};
    {
        SoftRenderer r(640, 480);
        r.ClearSky(horizon, zenith);
        r.SetCamera(eye, target, {0, 0, 1}, 1.5707963f);
        RenderCanyon(r);
        if (!Doc("canyon_inside.png", r.Resolve(2)))
            return false;
    }
    // The preview picture: over the rim into the basin where the arms
    // cross, buttes and layered walls in the afternoon light.
    {
        SoftRenderer r(640, 480);
        r.ClearSky(horizon, zenith);
        r.SetCamera({4300, -4700, 2500}, {0, 0, 500}, {0, 0, 1}, 1.1f);
        RenderCanyon(r);
        if (!WriteFile(m_o.resourceDir + "/preview.bmp", EncodeBmp8(Quantize(Downsample(r.Resolve(2), 2)))))
            return Fail("could not write preview.bmp");
    }
    // Icon: the pterodactyl, seen from above and ahead, on a round badge.
    {
        const Image ptero = RenderPtero(45, 256, {60, 70, 55});
        Image icon(256, 256, 4);
        for (int32_t y = 0; y < 256; ++y)
            for (int32_t x = 0; x < 256; ++x) {
                const float dx = (float(x) + 0.5f) / 128 - 1, dy = (float(y) + 0.5f) / 128 - 1;
                const float r = std::sqrt(dx * dx + dy * dy);
                uint8_t* o = icon.At(x, y);
                const uint8_t* s = ptero.At(x, y);
                o[0] = s[0];
                o[1] = s[1];
                o[2] = s[2];
                o[3] = uint8_t(std::lround(255 * Clamp01((1.0f - r) * 64)));
            }
        const Bytes png = EncodePng(icon);
        if (!WriteFile(m_o.resourceDir + "/icon.png", png))
            return Fail("could not write icon.png");
        // The Windows build's icon resource: the small sizes the title bar
        // and the display settings draw, and the PNG itself as the large one.
        if (!WriteFile(m_o.resourceDir + "/icon.ico", EncodeIco(icon, {16, 32, 48}, png)))
            return Fail("could not write icon.ico");
    }
    if (m_o.docsDir.empty())
        return true;
    // More views for the documentation: the whole canyon from high above,
    // the basin where the arms cross, and a second view inside.
    {
        SoftRenderer r(1024, 1024);
        r.ClearSky(horizon, zenith);
        r.SetFog(false);
        r.SetCamera({1, -18000, 52000}, {0, 0, 0}, {0, 0, 1}, 0.8f);
        RenderCanyon(r);
        if (!Doc("canyon_above.png", r.Resolve(2)))
            return false;
    }
    {
        SoftRenderer r(1024, 768);
        r.ClearSky(horizon, zenith);
        r.SetCamera({5200, -5200, 3200}, {0, 0, 300}, {0, 0, 1}, 1.2f);
        RenderCanyon(r);
        if (!Doc("canyon_basin.png", r.Resolve(2)))
            return false;
    }
    {
        const size_t at2 = line.points.size() * 3 / 5;
        const Vec2 a = line.points[at2], b = line.points[(at2 + 10) % line.points.size()];
        SoftRenderer r(1024, 768);
        r.ClearSky(horizon, zenith);
        r.SetCamera({float(a.x), float(a.y), float(line.floorZ[at2] + 450)},
                    {float(b.x), float(b.y), float(line.floorZ[at2] + 500)}, {0, 0, 1}, 1.5707963f);
        RenderCanyon(r);
        if (!Doc("canyon_inside2.png", r.Resolve(2)))
            return false;
    }
    // The pterodactyl in its three clips: three frames of each.
    const int32_t clipFrames[3][3] = {{1, 6, 11}, {21, 26, 31}, {41, 45, 51}};
    for (int c = 0; c < 3; ++c) {
        Image strip(3 * 200, 200, 3);
        for (int k = 0; k < 3; ++k) {
            const Image v = RenderPtero(clipFrames[c][k], 200, {75, 55, 40});
            for (int32_t y = 0; y < 200; ++y)
                for (int32_t x = 0; x < 200; ++x)
                    std::copy_n(v.At(x, y), 3, strip.At(k * 200 + x, y));
        }
        if (!Doc("ptero_clip" + std::to_string(c) + ".png", strip))
            return false;
    }
    return Doc("ptero_front.png", RenderPtero(0, 256, {120, 0, 25})) &&
           Doc("ptero_above.png", RenderPtero(0, 256, {-20, 0, 110}));
}

bool Baker::Run()
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::error_code ec;
    std::filesystem::create_directories(m_o.stagingDir, ec);
    std::filesystem::create_directories(m_o.resourceDir, ec);
    if (!m_o.docsDir.empty())
        std::filesystem::create_directories(m_o.docsDir, ec);
    const std::pair<const char*, std::function<bool()>> steps[] = {
        {"shaders", [&] { return Shaders(); }}, {"textures", [&] { return Textures(); }},
        {"canyon", [&] { return Canyon(); }},   {"flight path", [&] { return Flight(); }},
        {"pterodactyl", [&] { return Ptero(); }}, {"sounds", [&] { return Sounds(); }},
        {"pictures", [&] { return Pictures(); }},
    };
    for (const auto& [name, step] : steps) {
        const auto t0 = Clock::now();
        if (!step())
            return Fail(std::string("step failed: ") + name);
        if (m_o.verbose)
            std::printf("vantor-bake: %s %.2f s\n", name, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    if (m_o.verbose)
        std::printf("vantor-bake: done in %.2f s\n", std::chrono::duration<double>(Clock::now() - start).count());
    return true;
}

}  // namespace

bool RunBake(const BakeOptions& options)
{
    Baker baker(options);
    return baker.Run();
}

}  // namespace bake

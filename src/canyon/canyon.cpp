// Canyon loading, shadow-atlas coordinates, tangent frame, batches, the
// static vertex buffer and the draw.
#include "base/release.h"
#include "canyon/canyon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "archive/archive.h"
#include "base/system.h"
#include "model/render_vertex.h"
#include "model/token_reader.h"

using vmath::Vec3;

namespace {

// A unit vector for any finite direction, however large or small its
// components: the squares of components beyond about 1e19 overflow, and
// below about 1e-19 vanish, so those are brought near 1 before the length is
// taken. Zero stays zero; a component that is not finite is left for the
// load-time check to refuse.
Vec3 UnitOrKeep(Vec3 v)
{
    const float len = vmath::Length(v);
    if (len > 0.0f && std::isfinite(len))
        return v * (1.0f / len);
    const float largest = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    if (!(largest > 0.0f) || !std::isfinite(largest))
        return v;
    // Divided, not multiplied by the reciprocal, which overflows for the
    // smallest denormals.
    return vmath::NormalizeOrKeep(Vec3{v.x / largest, v.y / largest, v.z / largest});
}

// "shaders" and "shadows": <index> <name> pairs; the index is ignored, the
// n-th pair is entry n.
bool ParseNames(CTokenReader& reader, std::vector<CanyonTexture>& table)
{
    return tokens::ForEachRecord(reader, [&] {
        if (!reader.Next())
            return false;
        CanyonTexture entry;
        entry.name = std::string(reader.Token());
        table.push_back(std::move(entry));
        return true;
    });
}

bool ParseFaces(CTokenReader& reader, std::vector<CanyonFace>& faces)
{
    return tokens::ForEachRecord(reader, [&] {
        CanyonFace f;
        f.a = reader.TokenAsInt();
        if (!tokens::ReadInt(reader, f.b) || !tokens::ReadInt(reader, f.c) || !tokens::ReadInt(reader, f.shader))
            return false;
        faces.push_back(f);
        return true;
    });
}

// The n-th line (counted over every "shadowfaces" section of the file)
// completes face n; lines beyond the face table are read and dropped.
bool ParseShadowFaces(CTokenReader& reader, std::vector<CanyonFace>& faces, size_t& line)
{
    return tokens::ForEachRecord(reader, [&] {
        const int32_t x = reader.TokenAsInt();
        int32_t y = 0, index = 0;
        if (!tokens::ReadInt(reader, y) || !tokens::ReadInt(reader, index))
            return false;
        if (line < faces.size()) {
            faces[line].patchX = x;
            faces[line].patchY = y;
            faces[line].shadow = index;
        }
        ++line;
        return true;
    });
}

bool ParseVertices(CTokenReader& reader, std::vector<CanyonVertex>& vertices)
{
    return tokens::ForEachRecord(reader, [&] {
        CanyonVertex v;
        float u = 0, vv = 0;
        v.position.x = reader.TokenAsFloat();
        if (!tokens::ReadFloat(reader, v.position.y) || !tokens::ReadFloat(reader, v.position.z) ||
            !tokens::ReadFloat(reader, v.normal.x) || !tokens::ReadFloat(reader, v.normal.y) ||
            !tokens::ReadFloat(reader, v.normal.z) || !tokens::ReadFloat(reader, u) ||
            !tokens::ReadFloat(reader, vv))
            return false;
        // The ninth token is the bone index of the shared format; the canyon
        // has no bones.
        if (!tokens::Skip(reader, 1))
            return false;
        v.normal = UnitOrKeep(v.normal);
        v.u = 1 - u;
        v.v = 1 - vv;
        vertices.push_back(v);
        return true;
    });
}

}  // namespace

bool CCanyon::Load(std::string_view name, IRender& render)
{
    Reset();
    const DataRef file = ReadArchiveFile(name);
    if (!file)
        return false;
    return LoadFromBytes(file.Bytes(), render);
}

bool CCanyon::Load(std::string_view name)
{
    IRender* render = g_pSystem ? g_pSystem->GetRender() : nullptr;
    if (!render)
        return false;
    return Load(name, *render);
}

bool CCanyon::LoadFromBytes(std::span<const uint8_t> bytes, IRender& render)
{
    if (!Parse(bytes))
        return false;
    // A grid too large to hold is a failed load of our own making; the
    // format itself never fails here.
    if (!BuildGrid())
        return false;
    Progress(0.8f);
    const bool built = BuildGpu(render);
    Progress(1.0f);
    return built;
}

void CCanyon::Reset()
{
    // The old vertex buffer was built from the tables about to be replaced.
    Release();
    m_shaders.clear();
    m_shadows.clear();
    m_faces.clear();
    m_vertices.clear();
    m_batches.clear();
    m_sortedFaces.clear();
    m_chunks.clear();
    m_chunkStarts.clear();
    m_parsed = false;
}

bool CCanyon::Parse(std::span<const uint8_t> bytes)
{
    Reset();
    CTokenReader reader(bytes);
    bool haveShaders = false, haveFaces = false, haveVertices = false;
    size_t shadowLine = 0;
    while (reader.Next()) {
        if (reader.TokenIs("shaders")) {
            if (!tokens::OpenSection(reader) || !ParseNames(reader, m_shaders))
                return false;
            haveShaders = true;
            Progress(0.3f);
        } else if (reader.TokenIs("shadows")) {
            if (!tokens::OpenSection(reader) || !ParseNames(reader, m_shadows))
                return false;
        } else if (reader.TokenIs("faces")) {
            if (!tokens::OpenSection(reader) || !ParseFaces(reader, m_faces))
                return false;
            haveFaces = true;
            Progress(0.5f);
        } else if (reader.TokenIs("shadowfaces")) {
            if (!tokens::OpenSection(reader) || !ParseShadowFaces(reader, m_faces, shadowLine))
                return false;
        } else if (reader.TokenIs("vertices")) {
            if (!tokens::OpenSection(reader) || !ParseVertices(reader, m_vertices))
                return false;
            haveVertices = true;
            Progress(0.7f);
        }
    }
    for (CanyonTexture& shader : m_shaders)
        shader.skip = !shader.name.empty() && shader.name[0] == '#';
    m_parsed = haveShaders && haveFaces && haveVertices && Validate();
    if (m_parsed)
        FillZeroNormals();
    return m_parsed;
}

bool CCanyon::BuildGrid()
{
    if (!m_parsed) {
        m_grid.Build({}, {});
        return false;
    }
    return m_grid.Build(m_faces, m_vertices);
}

// The format promises nothing about its indices or values. Everything the
// grid, the build and the draw index with is checked once here, so that no
// later step needs a check of its own.
bool CCanyon::Validate() const
{
    if (m_faces.size() > std::numeric_limits<UINT>::max() / kBytesPerFace)
        return false;
    const auto vertexCount = static_cast<int64_t>(m_vertices.size());
    const auto shaderCount = static_cast<int64_t>(m_shaders.size());
    const auto shadowCount = static_cast<int64_t>(m_shadows.size());
    for (const CanyonFace& f : m_faces) {
        for (int32_t i : {f.a, f.b, f.c}) {
            if (i < 0 || i >= vertexCount)
                return false;
        }
        if (f.shader < 0 || f.shader >= shaderCount)
            return false;
        // -1 is "no shadow texture", the value of a face without a line.
        if (f.shadow < -1 || f.shadow >= shadowCount)
            return false;
    }
    // The grid turns positions into cell numbers; a position that is not a
    // finite number has no cell. A normal that is not finite has no
    // direction to light with (and the parser reads no NaN, only overflows
    // to infinity), so it is refused the same way.
    const auto finite = [](const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
    for (const CanyonVertex& v : m_vertices) {
        if (!finite(v.position) || !finite(v.normal))
            return false;
    }
    return true;
}

// A zero normal leaves its vertex without the light's direction, and would
// be a NaN in any shader that normalised it. Such a vertex takes the normal
// the baker itself writes: the sum of the cross products (b - a) x (c - a)
// of the faces it belongs to, that is their normals weighted by area, summed
// in double so that no finite position overflows. A vertex whose faces have
// no area (or none at all), or whose face normals cancel, keeps zero: the
// canyon's shaders only take dot products with it, which stay finite.
void CCanyon::FillZeroNormals()
{
    std::vector<size_t> zero;
    for (size_t i = 0; i < m_vertices.size(); ++i) {
        const Vec3& n = m_vertices[i].normal;
        if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f)
            zero.push_back(i);
    }
    if (zero.empty())
        return;
    struct Sum {
        double x = 0, y = 0, z = 0;
    };
    std::vector<Sum> sums(m_vertices.size());
    for (const CanyonFace& f : m_faces) {
        const Vec3& a = m_vertices[size_t(f.a)].position;
        const Vec3& b = m_vertices[size_t(f.b)].position;
        const Vec3& c = m_vertices[size_t(f.c)].position;
        const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
        const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
        const Sum n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (int32_t corner : {f.a, f.b, f.c}) {
            Sum& s = sums[size_t(corner)];
            s.x += n.x;
            s.y += n.y;
            s.z += n.z;
        }
    }
    for (size_t i : zero) {
        const Sum& s = sums[i];
        const double len = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
        if (len > 0.0 && std::isfinite(len))
            m_vertices[i].normal = Vec3{float(s.x / len), float(s.y / len), float(s.z / len)};
    }
}

void CCanyon::ComputeShadowCoords()
{
    if (!m_parsed)
        return;
    for (CanyonFace& f : m_faces) {
        const Vec3 corner[3] = {m_vertices[size_t(f.a)].position, m_vertices[size_t(f.b)].position,
                                m_vertices[size_t(f.c)].position};
        const Vec3 n = vmath::Cross(corner[1] - corner[0], corner[2] - corner[0]);
        const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
        // Project on the plane most nearly facing the normal; every tie
        // goes to (x, y).
        float p[3], q[3];
        for (int k = 0; k < 3; ++k) {
            if (ax > ay && ax > az) {
                p[k] = corner[k].y;
                q[k] = corner[k].z;
            } else if (ay > ax && ay > az) {
                p[k] = corner[k].x;
                q[k] = corner[k].z;
            } else {
                p[k] = corner[k].x;
                q[k] = corner[k].y;
            }
        }
        const float pmin = std::min({p[0], p[1], p[2]});
        const float qmin = std::min({q[0], q[1], q[2]});
        for (int k = 0; k < 3; ++k) {
            f.shadowUV[k][0] = (static_cast<float>(f.patchX) + 1.5f + (p[k] - pmin) / kUnitsPerTexel) / kAtlasSize;
            f.shadowUV[k][1] = (static_cast<float>(f.patchY) + 1.5f + (q[k] - qmin) / kUnitsPerTexel) / kAtlasSize;
        }
    }
}

namespace {

// The ground-plan square of a face's centroid, as (row, column). The
// coordinates are finite (Parse checks them) but may be huge; the clamp
// keeps the conversion defined.
std::pair<int64_t, int64_t> ChunkCell(const std::vector<CanyonVertex>& vertices, const CanyonFace& f)
{
    auto cell = [](double centroid) {
        return static_cast<int64_t>(std::floor(std::clamp(centroid / CCanyon::kChunkSize, -1e9, 1e9)));
    };
    const vmath::Vec3& a = vertices[size_t(f.a)].position;
    const vmath::Vec3& b = vertices[size_t(f.b)].position;
    const vmath::Vec3& c = vertices[size_t(f.c)].position;
    return {cell((double(a.y) + b.y + c.y) / 3.0), cell((double(a.x) + b.x + c.x) / 3.0)};
}

}  // namespace

void CCanyon::SortAndBatch()
{
    if (!m_parsed)
        return;
    std::vector<std::pair<int64_t, int64_t>> cells(m_faces.size());
    m_sortedFaces.resize(m_faces.size());
    for (size_t i = 0; i < m_faces.size(); ++i) {
        m_sortedFaces[i] = static_cast<uint32_t>(i);
        cells[i] = ChunkCell(m_vertices, m_faces[i]);
    }
    // Within a batch, square by square in rows, so that squares in view
    // next to each other are often one run of the buffer. Ties are broken
    // by file position so every load builds the same buffer.
    std::sort(m_sortedFaces.begin(), m_sortedFaces.end(), [&](uint32_t a, uint32_t b) {
        const CanyonFace& fa = m_faces[a];
        const CanyonFace& fb = m_faces[b];
        if (fa.shader != fb.shader)
            return fa.shader < fb.shader;
        if (fa.shadow != fb.shadow)
            return fa.shadow < fb.shadow;
        if (cells[a] != cells[b])
            return cells[a] < cells[b];
        return a < b;
    });
    m_batches.clear();
    m_chunks.clear();
    m_chunkStarts.clear();
    const auto count = static_cast<int32_t>(m_sortedFaces.size());
    auto faceAt = [&](int32_t position) -> const CanyonFace& { return m_faces[m_sortedFaces[size_t(position)]]; };
    auto cellAt = [&](int32_t position) { return cells[m_sortedFaces[size_t(position)]]; };
    for (int32_t first = 0; first < count;) {
        const CanyonFace& head = faceAt(first);
        int32_t last = first;
        while (last + 1 < count && faceAt(last + 1).shader == head.shader && faceAt(last + 1).shadow == head.shadow)
            ++last;
        m_batches.push_back({first, last, head.shader, head.shadow});
        m_chunkStarts.push_back(static_cast<int32_t>(m_chunks.size()));
        for (int32_t from = first; from <= last;) {
            int32_t to = from;
            while (to < last && cellAt(to + 1) == cellAt(from))
                ++to;
            const vmath::Vec3& p0 = m_vertices[size_t(faceAt(from).a)].position;
            CanyonChunk chunk{from, to, p0, p0};
            for (int32_t k = from; k <= to; ++k) {
                const CanyonFace& f = faceAt(k);
                for (int32_t corner : {f.a, f.b, f.c}) {
                    const vmath::Vec3& p = m_vertices[size_t(corner)].position;
                    chunk.lo = {std::min(chunk.lo.x, p.x), std::min(chunk.lo.y, p.y), std::min(chunk.lo.z, p.z)};
                    chunk.hi = {std::max(chunk.hi.x, p.x), std::max(chunk.hi.y, p.y), std::max(chunk.hi.z, p.z)};
                }
            }
            m_chunks.push_back(chunk);
            from = to + 1;
        }
        first = last + 1;
    }
    m_chunkStarts.push_back(static_cast<int32_t>(m_chunks.size()));
    m_drawOrder.clear();
    m_drawOrder.reserve(m_chunks.size());
}

void CCanyon::ComputeTangents()
{
    if (!m_parsed)
        return;
    for (CanyonVertex& v : m_vertices)
        v.tangent = v.binormal = Vec3{};
    for (const CanyonFace& f : m_faces) {
        CanyonVertex* corner[3] = {&m_vertices[size_t(f.a)], &m_vertices[size_t(f.b)], &m_vertices[size_t(f.c)]};
        const CanyonVertex& A = *corner[0];
        const CanyonVertex& B = *corner[1];
        const CanyonVertex& C = *corner[2];
        const float du1 = B.u - A.u, dv1 = B.v - A.v;
        const float du2 = C.u - A.u, dv2 = C.v - A.v;
        const float F = dv2 * du1 - du2 * dv1;
        if (!(std::fabs(F) > 0.0001f))
            continue;
        const Vec3 e1 = B.position - A.position;
        const Vec3 e2 = C.position - A.position;
        const Vec3 sn = e2 * dv1 - e1 * dv2;
        const Vec3 rn = e1 * du2 - e2 * du1;
        const Vec3 s{sn.x / F, sn.y / F, sn.z / F};
        const Vec3 r{rn.x / F, rn.y / F, rn.z / F};
        for (CanyonVertex* v : corner) {
            v->tangent = v->tangent - s;
            v->binormal = v->binormal - r;
        }
    }
    // Vertices on faces without a usable texture mapping keep a zero frame
    // rather than NaNs.
    for (CanyonVertex& v : m_vertices) {
        v.tangent = vmath::NormalizeOrKeep(v.tangent);
        v.binormal = vmath::NormalizeOrKeep(v.binormal);
        v.normal = vmath::NormalizeOrKeep(v.normal);
    }
}

bool CCanyon::LoadTextures(IRender& render)
{
    for (CanyonTexture& shader : m_shaders) {
        if (shader.skip)
            continue;
        shader.texture = render.LoadTexture(shader.name.c_str(), 0, D3DFMT_UNKNOWN);
        if (!shader.texture)
            return false;
    }
    for (CanyonTexture& shadow : m_shadows) {
        shadow.texture = render.LoadTexture(shadow.name.c_str(), 1, D3DFMT_L8);
        if (!shadow.texture)
            return false;
    }
    return true;
}

bool CCanyon::FillVertexBuffer()
{
    ReleaseAndClear(m_vertexBuffer);
    const auto length = static_cast<UINT>(m_faces.size() * kBytesPerFace);
    if (FAILED(m_device->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &m_vertexBuffer)) ||
        !m_vertexBuffer) {
        m_vertexBuffer = nullptr;
        return false;
    }
    BYTE* data = nullptr;
    if (FAILED(m_vertexBuffer->Lock(0, 0, &data, 0)) || !data)
        return false;
    size_t at = 0;
    for (uint32_t index : m_sortedFaces) {
        const CanyonFace& f = m_faces[index];
        const int32_t corners[3] = {f.a, f.b, f.c};
        for (int k = 0; k < 3; ++k) {
            const CanyonVertex& v = m_vertices[size_t(corners[k])];
            const RenderVertex out{v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z,
                                   v.colour,     v.u,          v.v,          f.shadowUV[k][0], f.shadowUV[k][1],
                                   v.tangent.x,  v.tangent.y,  v.tangent.z,  v.binormal.x, v.binormal.y,
                                   v.binormal.z};
            std::memcpy(data + at, &out, sizeof(out));
            at += sizeof(out);
        }
    }
    m_vertexBuffer->Unlock();
    return true;
}

bool CCanyon::BuildGpu(IRender& render)
{
    m_device = render.GetDevice();
    if (!m_parsed || !m_device || m_faces.empty())
        return false;
    ComputeShadowCoords();
    SortAndBatch();
    if (!LoadTextures(render))
        return false;
    ComputeTangents();
    return FillVertexBuffer();
}

namespace {

// Whether a box lies wholly outside one plane of the clip volume of `m`
// (row vectors: clip = (x, y, z, 1) m; inside is -w <= x, y <= w and
// 0 <= z <= w).
bool OutsideView(const vmath::Mat4& m, const vmath::Vec3& lo, const vmath::Vec3& hi)
{
    auto column = [&m](int j) { return std::array<float, 4>{m.m[0][j], m.m[1][j], m.m[2][j], m.m[3][j]}; };
    const std::array<float, 4> x = column(0), y = column(1), z = column(2), w = column(3);
    std::array<std::array<float, 4>, 6> planes{};
    for (int k = 0; k < 4; ++k) {
        planes[0][k] = w[k] + x[k];
        planes[1][k] = w[k] - x[k];
        planes[2][k] = w[k] + y[k];
        planes[3][k] = w[k] - y[k];
        planes[4][k] = z[k];
        planes[5][k] = w[k] - z[k];
    }
    for (const auto& p : planes) {
        // The corner furthest along the plane's normal.
        const float px = p[0] >= 0 ? hi.x : lo.x, py = p[1] >= 0 ? hi.y : lo.y, pz = p[2] >= 0 ? hi.z : lo.z;
        if (p[0] * px + p[1] * py + p[2] * pz + p[3] < 0)
            return true;
    }
    return false;
}

// Squared distance from a point to a box (0 inside it).
float DistanceSquared(const vmath::Vec3& p, const vmath::Vec3& lo, const vmath::Vec3& hi)
{
    auto axis = [](float e, float a, float b) { return e < a ? a - e : e > b ? e - b : 0.0f; };
    const float dx = axis(p.x, lo.x, hi.x), dy = axis(p.y, lo.y, hi.y), dz = axis(p.z, lo.z, hi.z);
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace

void CCanyon::Draw(bool fog, const vmath::Mat4* viewProjection, const vmath::Vec3* eye)
{
    if (!m_device || !m_vertexBuffer)
        return;
    m_device->SetStreamSource(0, m_vertexBuffer, kRenderVertexStride);
    m_device->SetIndices(m_indexBuffer, 0);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    if (fog) {
        m_device->SetRenderState(D3DRS_FOGENABLE, TRUE);
        m_device->SetRenderState(D3DRS_FOGCOLOR, 0x00CFCFCF);
    }
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    auto drawRun = [this](int32_t first, int32_t last) {
        m_device->DrawPrimitive(D3DPT_TRIANGLELIST, UINT(first) * 3, UINT(last - first + 1));
    };
    for (size_t b = 0; b < m_batches.size(); ++b) {
        const CanyonBatch& batch = m_batches[b];
        const CanyonTexture& shader = m_shaders[size_t(batch.shader)];
        if (shader.skip)
            continue;
        m_device->SetTexture(0, shader.texture);
        // A batch without a shadow texture draws with whatever stage 1 holds.
        if (batch.shadow >= 0)
            m_device->SetTexture(1, m_shadows[size_t(batch.shadow)].texture);
        if (!viewProjection || m_chunkStarts.size() != m_batches.size() + 1) {
            drawRun(batch.first, batch.last);
            continue;
        }
        m_drawOrder.clear();
        for (int32_t k = m_chunkStarts[b]; k < m_chunkStarts[b + 1]; ++k) {
            const CanyonChunk& c = m_chunks[size_t(k)];
            if (!OutsideView(*viewProjection, c.lo, c.hi))
                m_drawOrder.push_back({eye ? DistanceSquared(*eye, c.lo, c.hi) : 0.0f, k});
        }
        if (eye)
            std::stable_sort(m_drawOrder.begin(), m_drawOrder.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        // Chunks that follow each other in the buffer go as one draw.
        int32_t runFirst = -1, runLast = -1;
        for (const auto& [distance, k] : m_drawOrder) {
            const CanyonChunk& c = m_chunks[size_t(k)];
            if (runFirst >= 0 && c.first == runLast + 1) {
                runLast = c.last;
                continue;
            }
            if (runFirst >= 0)
                drawRun(runFirst, runLast);
            runFirst = c.first;
            runLast = c.last;
        }
        if (runFirst >= 0)
            drawRun(runFirst, runLast);
    }
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    m_device->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

void CCanyon::Release()
{
    ReleaseAndClear(m_vertexBuffer);
    ReleaseAndClear(m_indexBuffer);
}

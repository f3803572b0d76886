// Skinned-model reading, the one-time build for the device, and CPU skinning.
#include "base/release.h"
#include "model/skinned_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "archive/archive.h"
#include "base/system.h"
#include "model/d3d_matrix.h"
#include "model/render_vertex.h"
#include "model/token_reader.h"

using vmath::Mat4;
using vmath::Vec3;

namespace {

bool ParseShaders(CTokenReader& reader, std::vector<ModelShader>& shaders)
{
    return tokens::ForEachRecord(reader, [&] {
        // The index token is ignored: a shader's index is its position.
        if (!reader.Next())
            return false;
        shaders.push_back({std::string(reader.Token()), nullptr});
        return true;
    });
}

bool ParseVertices(CTokenReader& reader, std::vector<ModelVertex>& vertices)
{
    return tokens::ForEachRecord(reader, [&] {
        ModelVertex v;
        v.x = reader.TokenAsFloat();
        float u = 0, vv = 0;
        if (!tokens::ReadFloat(reader, v.y) || !tokens::ReadFloat(reader, v.z) || !tokens::ReadFloat(reader, v.nx) ||
            !tokens::ReadFloat(reader, v.ny) || !tokens::ReadFloat(reader, v.nz) || !tokens::ReadFloat(reader, u) ||
            !tokens::ReadFloat(reader, vv) || !tokens::ReadInt(reader, v.bone))
            return false;
        // Values beyond the float range read as infinities; no vertex,
        // normal or texture coordinate can be drawn from one.
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, u, vv}) {
            if (!std::isfinite(f))
                return false;
        }
        // A zero-length normal cannot be normalised; it stays zero, which
        // the lighting shader turns into plain ambient light. The length is
        // taken in double, where squares of large floats cannot overflow.
        const double len = std::sqrt(double(v.nx) * v.nx + double(v.ny) * v.ny + double(v.nz) * v.nz);
        if (len > 0) {
            v.nx = static_cast<float>(v.nx / len);
            v.ny = static_cast<float>(v.ny / len);
            v.nz = static_cast<float>(v.nz / len);
        }
        v.u = u;
        v.v = 1 - vv;
        vertices.push_back(v);
        return true;
    });
}

bool ParseFaces(CTokenReader& reader, std::vector<ModelFace>& faces)
{
    return tokens::ForEachRecord(reader, [&] {
        ModelFace f;
        f.i0 = reader.TokenAsInt();
        if (!tokens::ReadInt(reader, f.i1) || !tokens::ReadInt(reader, f.i2) || !tokens::ReadInt(reader, f.shader))
            return false;
        faces.push_back(f);
        return true;
    });
}

}  // namespace

bool CSkinnedModel::Load(std::string_view path, IRender& render)
{
    Reset();
    const DataRef file = ReadArchiveFile(path);
    if (!file)
        return false;
    return LoadFromBytes(file.Bytes(), render);
}

bool CSkinnedModel::Load(std::string_view path)
{
    IRender* render = g_pSystem ? g_pSystem->GetRender() : nullptr;
    if (!render)
        return false;
    return Load(path, *render);
}

bool CSkinnedModel::LoadFromBytes(std::span<const uint8_t> bytes, IRender& render)
{
    return Parse(bytes) && Build(render);
}

void CSkinnedModel::Reset()
{
    // New tables make the old build meaningless: its buffers and skin
    // matrices were sized for the previous file.
    ReleaseBuffers();
    m_skin.clear();
    m_shaders.clear();
    m_faces.clear();
    m_vertices.clear();
    m_batches.clear();
    m_sortedFaces.clear();
    m_inBoneSpace = false;
    m_parsed = false;
}

bool CSkinnedModel::Parse(std::span<const uint8_t> bytes)
{
    Reset();
    // A skinned model needs the skeleton of the same file.
    m_parsed = m_skeleton.LoadFromBytes(bytes) && ParseMesh(bytes) && Validate();
    return m_parsed;
}

bool CSkinnedModel::ParseMesh(std::span<const uint8_t> bytes)
{
    CTokenReader reader(bytes);
    bool haveShaders = false, haveVertices = false, haveFaces = false;
    // Every top-level token is looked at; the skeleton's sections are walked
    // over token by token like any unknown text.
    while (reader.Next()) {
        if (reader.TokenIs("shaders")) {
            if (!tokens::OpenSection(reader) || !ParseShaders(reader, m_shaders))
                return false;
            haveShaders = true;
        } else if (reader.TokenIs("vertices")) {
            if (!tokens::OpenSection(reader) || !ParseVertices(reader, m_vertices))
                return false;
            haveVertices = true;
        } else if (reader.TokenIs("faces")) {
            if (!tokens::OpenSection(reader) || !ParseFaces(reader, m_faces))
                return false;
            haveFaces = true;
        }
    }
    return haveShaders && haveVertices && haveFaces;
}

// The file format itself promises nothing about its indices; everything the
// build and the draw index with is checked once here, so that neither needs
// a check of its own.
bool CSkinnedModel::Validate() const
{
    if (m_vertices.size() > kMaxVertices)
        return false;
    if (m_faces.size() > std::numeric_limits<UINT>::max() / 6)
        return false;
    const auto vertexCount = static_cast<int64_t>(m_vertices.size());
    const auto shaderCount = static_cast<int64_t>(m_shaders.size());
    for (const ModelFace& f : m_faces) {
        for (int32_t i : {f.i0, f.i1, f.i2}) {
            if (i < 0 || i >= vertexCount)
                return false;
        }
        if (f.shader < 0 || f.shader >= shaderCount)
            return false;
    }
    for (const ModelVertex& v : m_vertices) {
        if (v.bone >= m_skeleton.BoneCount())
            return false;
    }
    return true;
}

void CSkinnedModel::ConvertToBoneSpace()
{
    if (m_inBoneSpace)
        return;
    for (ModelVertex& v : m_vertices) {
        if (v.bone < 0)
            continue;
        const Mat4 b = m_skeleton.GetBindInverse(v.bone);
        const Vec3 p = vmath::TransformPoint({v.x, v.y, v.z}, b);
        const Vec3 n = vmath::TransformNormal({v.nx, v.ny, v.nz}, b);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
        v.nx = n.x;
        v.ny = n.y;
        v.nz = n.z;
    }
    m_inBoneSpace = true;
}

void CSkinnedModel::SortAndBatch()
{
    m_sortedFaces.resize(m_faces.size());
    for (size_t i = 0; i < m_faces.size(); ++i)
        m_sortedFaces[i] = static_cast<uint32_t>(i);
    // Ties keep file order, so a model always builds the same buffers.
    std::stable_sort(m_sortedFaces.begin(), m_sortedFaces.end(),
                     [this](uint32_t a, uint32_t b) { return m_faces[a].shader < m_faces[b].shader; });

    m_batches.clear();
    const auto faceCount = static_cast<int32_t>(m_sortedFaces.size());
    for (int32_t first = 0; first < faceCount;) {
        const int32_t shader = m_faces[m_sortedFaces[size_t(first)]].shader;
        int32_t last = first;
        while (last + 1 < faceCount && m_faces[m_sortedFaces[size_t(last + 1)]].shader == shader)
            ++last;
        DrawBatch batch;
        batch.firstFace = first;
        batch.lastFace = last;
        batch.shader = shader;
        batch.minVertex = static_cast<int32_t>(m_vertices.size()) - 1;
        batch.maxVertex = 0;
        for (int32_t k = first; k <= last; ++k) {
            const ModelFace& f = m_faces[m_sortedFaces[size_t(k)]];
            batch.minVertex = std::min({batch.minVertex, f.i0, f.i1, f.i2});
            batch.maxVertex = std::max({batch.maxVertex, f.i0, f.i1, f.i2});
        }
        m_batches.push_back(batch);
        first = last + 1;
    }
}

bool CSkinnedModel::Build(IRender& render)
{
    m_device = render.GetDevice();
    if (!m_parsed || !m_device || m_faces.empty())
        return false;
    m_skin.assign(size_t(m_skeleton.BoneCount()), vmath::Identity());
    ConvertToBoneSpace();
    SortAndBatch();

    for (ModelShader& shader : m_shaders) {
        shader.texture = render.LoadTexture(shader.path.c_str(), 0, D3DFMT_UNKNOWN);
        if (!shader.texture)
            return false;
    }

    ReleaseBuffers();
    const DWORD usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
    const auto vbLength = static_cast<UINT>(m_vertices.size() * kRenderVertexStride);
    if (FAILED(m_device->CreateVertexBuffer(vbLength, usage, 0, D3DPOOL_DEFAULT, &m_vertexBuffer)) || !m_vertexBuffer) {
        m_vertexBuffer = nullptr;
        return false;
    }
    const auto ibLength = static_cast<UINT>(m_faces.size() * 3 * sizeof(uint16_t));
    if (FAILED(m_device->CreateIndexBuffer(ibLength, usage, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &m_indexBuffer)) ||
        !m_indexBuffer) {
        m_indexBuffer = nullptr;
        return false;
    }
    BYTE* data = nullptr;
    if (FAILED(m_indexBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) || !data)
        return false;
    size_t at = 0;
    for (uint32_t faceIndex : m_sortedFaces) {
        const ModelFace& f = m_faces[faceIndex];
        const uint16_t idx[3] = {static_cast<uint16_t>(f.i0), static_cast<uint16_t>(f.i1), static_cast<uint16_t>(f.i2)};
        std::memcpy(data + at, idx, sizeof(idx));
        at += sizeof(idx);
    }
    m_indexBuffer->Unlock();
    return true;
}

void CSkinnedModel::Draw(const D3DMATRIX& world, bool fog) { Draw(FromD3DMatrix(world), fog); }

void CSkinnedModel::Draw(const Mat4& world, bool fog)
{
    if (!m_device || !m_vertexBuffer || !m_indexBuffer)
        return;
    const size_t boneCount = std::min(m_skin.size(), size_t(m_skeleton.BoneCount()));
    for (size_t i = 0; i < boneCount; ++i)
        m_skin[i] = vmath::Multiply(m_skeleton.GetBoneMatrix(static_cast<int32_t>(i)), world);

    BYTE* data = nullptr;
    if (FAILED(m_vertexBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) || !data)
        return;
    // Only the first five fields are written; texture set 1 and the tangent
    // frame are not read while stage 1 is disabled.
    constexpr size_t kWritten = offsetof(RenderVertex, u2);
    for (size_t n = 0; n < m_vertices.size(); ++n) {
        const ModelVertex& mv = m_vertices[n];
        const Mat4& m = mv.bone < 0 ? world : m_skin[size_t(mv.bone)];
        const Vec3 p = vmath::TransformPoint({mv.x, mv.y, mv.z}, m);
        const Vec3 nn = vmath::TransformNormal({mv.nx, mv.ny, mv.nz}, m);
        RenderVertex out;
        out.x = p.x;
        out.y = p.y;
        out.z = p.z;
        out.nx = nn.x;
        out.ny = nn.y;
        out.nz = nn.z;
        out.color = 0xFFFFFFFF;
        out.u = mv.u;
        out.v = mv.v;
        std::memcpy(data + n * kRenderVertexStride, &out, kWritten);
    }
    m_vertexBuffer->Unlock();

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
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    for (const DrawBatch& batch : m_batches) {
        if (batch.shader >= 0 && size_t(batch.shader) < m_shaders.size())
            m_device->SetTexture(0, m_shaders[size_t(batch.shader)].texture);
        if (batch.lastFace >= batch.firstFace)
            m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, UINT(batch.minVertex),
                                           UINT(batch.maxVertex - batch.minVertex + 1), UINT(batch.firstFace * 3),
                                           UINT(batch.lastFace - batch.firstFace + 1));
    }
    m_device->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

void CSkinnedModel::ReleaseBuffers()
{
    ReleaseAndClear(m_vertexBuffer);
    ReleaseAndClear(m_indexBuffer);
}

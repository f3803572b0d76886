// CCanyon: the static scenery. Turns the canyon's text model into one static
// vertex buffer of faces sorted into (colour texture, shadow texture)
// batches, with per-face shadow-atlas coordinates and a per-vertex tangent
// frame, and keeps the tables and a grid for the lens flares' ray query.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/irender.h"
#include "canyon/canyon_grid.h"
#include "model/anim_math.h"

struct CanyonTexture {
    std::string name;
    IDirect3DTexture8* texture = nullptr;  // borrowed from the texture cache
    bool skip = false;                     // a colour texture named "#...": never drawn
};

struct CanyonFace {
    int32_t a = 0, b = 0, c = 0;
    int32_t shader = 0;
    float shadowUV[3][2] = {};
    // Patch origin in the shadow atlas, in texels. A face without a
    // "shadowfaces" line keeps (0, 0); it has no shadow texture either.
    int32_t patchX = 0, patchY = 0;
    int32_t shadow = -1;
};

struct CanyonVertex {
    vmath::Vec3 position;
    vmath::Vec3 normal;
    float u = 0, v = 0;
    uint32_t colour = 0xFFFFFFFF;
    vmath::Vec3 tangent;
    vmath::Vec3 binormal;
};

struct CanyonBatch {
    int32_t first = 0, last = 0;  // positions in the sorted face order, inclusive
    int32_t shader = 0;
    int32_t shadow = -1;
};

// A run of one batch's faces that lie in one square of the ground plan:
// the unit the view frustum test keeps or drops.
struct CanyonChunk {
    int32_t first = 0, last = 0;  // positions in the sorted face order, inclusive
    vmath::Vec3 lo, hi;           // bounds of its faces' corners
};

class CCanyon {
public:
    // The loading screen's SetProgress(fraction 0..1).
    using ProgressCallback = std::function<void(float)>;

    static constexpr uint32_t kBytesPerFace = 3 * 68;
    static constexpr float kAtlasSize = 1024.0f;
    static constexpr float kUnitsPerTexel = 150.0f;
    // Side of the ground-plan squares the batches are cut into.
    static constexpr float kChunkSize = 5120.0f;

    CCanyon() = default;
    CCanyon(const CCanyon&) = delete;
    CCanyon& operator=(const CCanyon&) = delete;
    ~CCanyon() { Release(); }

    void SetProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }

    // Reads the archive member, builds grid and device data with `render`.
    bool Load(std::string_view name, IRender& render);
    // The same with the engine reached through the application object.
    bool Load(std::string_view name);
    bool LoadFromBytes(std::span<const uint8_t> bytes, IRender& render);

    // The steps of a load, in order; public so each can be exercised alone.
    bool Parse(std::span<const uint8_t> bytes);
    bool ParseText(std::string_view text)
    {
        return Parse({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    // The steps after Parse do nothing (or fail) unless the last Parse
    // succeeded: they index the tables with its checked indices.
    bool BuildGrid();
    void ComputeShadowCoords();
    void SortAndBatch();
    void ComputeTangents();
    bool BuildGpu(IRender& render);

    // Draws every batch with the shaders and transforms the caller has set.
    // `fog` is the Fog setting. Given the view-projection matrix (row
    // vectors, Direct3D's clip volume), the squares wholly outside the view
    // are left out, and given the eye, each batch's squares go nearest
    // first, so that the depth test spares the pixel work of what they
    // hide. The picture is the same either way.
    void Draw(bool fog, const vmath::Mat4* viewProjection = nullptr, const vmath::Vec3* eye = nullptr);
    bool IntersectRay(const vmath::Vec3& origin, const vmath::Vec3& direction)
    {
        return m_grid.IntersectRay(origin, direction);
    }
    void Release();

    const std::vector<CanyonTexture>& Shaders() const { return m_shaders; }
    const std::vector<CanyonTexture>& Shadows() const { return m_shadows; }
    const std::vector<CanyonFace>& Faces() const { return m_faces; }
    const std::vector<CanyonVertex>& Vertices() const { return m_vertices; }
    const std::vector<CanyonBatch>& Batches() const { return m_batches; }
    const std::vector<uint32_t>& SortedFaces() const { return m_sortedFaces; }  // indices into Faces()
    // Batch b's chunks are Chunks()[ChunkStarts()[b] .. ChunkStarts()[b + 1]).
    const std::vector<CanyonChunk>& Chunks() const { return m_chunks; }
    const std::vector<int32_t>& ChunkStarts() const { return m_chunkStarts; }
    CanyonGrid& Grid() { return m_grid; }

private:
    void Progress(float fraction)
    {
        if (m_progress)
            m_progress(fraction);
    }
    void Reset();
    bool Validate() const;
    void FillZeroNormals();
    bool LoadTextures(IRender& render);
    bool FillVertexBuffer();

    std::vector<CanyonTexture> m_shaders;
    std::vector<CanyonTexture> m_shadows;
    std::vector<CanyonFace> m_faces;
    std::vector<CanyonVertex> m_vertices;
    std::vector<CanyonBatch> m_batches;
    std::vector<uint32_t> m_sortedFaces;
    std::vector<CanyonChunk> m_chunks;
    std::vector<int32_t> m_chunkStarts;
    std::vector<std::pair<float, int32_t>> m_drawOrder;  // per-frame scratch, sized once
    CanyonGrid m_grid;
    ProgressCallback m_progress;
    bool m_parsed = false;

    IDirect3DDevice8* m_device = nullptr;
    IDirect3DVertexBuffer8* m_vertexBuffer = nullptr;
    // Never filled: the canyon draws unindexed, and Draw binds this empty
    // slot so no index buffer stays bound.
    IDirect3DIndexBuffer8* m_indexBuffer = nullptr;
};

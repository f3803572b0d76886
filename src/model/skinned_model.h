// CSkinnedModel: a textured triangle mesh whose vertices each ride one bone
// of its own skeleton, skinned on the CPU into a dynamic vertex buffer and
// drawn with one indexed call per texture.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/irender.h"
#include "model/anim_math.h"
#include "model/skeleton.h"

struct ModelShader {
    std::string path;                       // archive path of the texture
    IDirect3DTexture8* texture = nullptr;   // borrowed from the texture cache
};

struct ModelFace {
    int32_t i0 = 0, i1 = 0, i2 = 0;
    int32_t shader = 0;
};

struct ModelVertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    float u = 0, v = 0;
    int32_t bone = -1;  // negative: not carried by any bone
};

struct DrawBatch {
    int32_t minVertex = 0, maxVertex = 0;
    int32_t firstFace = 0, lastFace = 0;  // positions in the sorted face list, inclusive
    int32_t shader = 0;
};

class CSkinnedModel {
public:
    // Sixteen-bit indices address at most this many vertices.
    static constexpr size_t kMaxVertices = 65536;

    CSkinnedModel() = default;
    CSkinnedModel(const CSkinnedModel&) = delete;
    CSkinnedModel& operator=(const CSkinnedModel&) = delete;
    ~CSkinnedModel() { ReleaseBuffers(); }

    // Reads the archive member and builds the model with `render`.
    bool Load(std::string_view path, IRender& render);
    // The same with the engine reached through the application object.
    bool Load(std::string_view path);
    bool LoadFromBytes(std::span<const uint8_t> bytes, IRender& render);

    // Parsing and load-time checks only, no device work.
    bool Parse(std::span<const uint8_t> bytes);
    bool ParseText(std::string_view text)
    {
        return Parse({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }

    bool Build(IRender& render);

    CSkeleton& GetSkeleton() { return m_skeleton; }
    const CSkeleton& GetSkeleton() const { return m_skeleton; }

    // Skins with the skeleton's current pose and draws. `fog` is the Fog
    // setting.
    void Draw(const vmath::Mat4& world, bool fog);
    void Draw(const D3DMATRIX& world, bool fog);

    void ReleaseBuffers();

    const std::vector<ModelShader>& Shaders() const { return m_shaders; }
    const std::vector<ModelFace>& Faces() const { return m_faces; }
    const std::vector<ModelVertex>& Vertices() const { return m_vertices; }
    const std::vector<DrawBatch>& Batches() const { return m_batches; }
    const std::vector<uint32_t>& SortedFaces() const { return m_sortedFaces; }  // indices into Faces()

private:
    void Reset();
    bool ParseMesh(std::span<const uint8_t> bytes);
    bool Validate() const;
    void ConvertToBoneSpace();
    void SortAndBatch();

    CSkeleton m_skeleton;
    std::vector<ModelShader> m_shaders;
    std::vector<ModelFace> m_faces;
    std::vector<ModelVertex> m_vertices;
    std::vector<DrawBatch> m_batches;
    std::vector<uint32_t> m_sortedFaces;
    std::vector<vmath::Mat4> m_skin;
    bool m_inBoneSpace = false;
    // Set by a successful Parse only: the build trusts the checked indices.
    bool m_parsed = false;

    IDirect3DDevice8* m_device = nullptr;
    IDirect3DVertexBuffer8* m_vertexBuffer = nullptr;
    IDirect3DIndexBuffer8* m_indexBuffer = nullptr;
};

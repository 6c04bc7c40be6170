#pragma once
// Meshes: a full-detail vertex set (vertex buffer, vertex declaration, list of
// subsets) and optional levels of detail, each a further set with its switch
// distance. A subset is an index buffer over its set's vertices drawn with one
// material. Geometry is built and read on the render thread.
//
// Mesh file fields (after the resource framing):
//   version >= 2: u8 level count n (at most 127)
//   for the base set and each of the n levels:
//     version >= 2: f32 switch distance
//     vertex set, vertex declaration (nested resources), u32 subset count k,
//     k subsets (nested index-buffer resources)
// A version below 2 holds the base set only, so only the base set is written.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "kernel/math/float3.h"
#include "kernel/resource_types.h"
#include "render/frame/draw_record.h"
#include "render/resources/geometry_files.h"

class Archive;

// One subset: its index buffer, material and the vertex count of its set, and
// the record the frame renderer draws it from.
class MeshSubset : public IndexBufferResource {
public:
    // A fresh unique index-buffer block, already loaded.
    MeshSubset();

    DrawRecord drawRecord;
};

struct MeshVertexSet {
    // A fresh unique vertex-buffer block, already loaded.
    MeshVertexSet();
    VertexBufferResource buffer;
    void* lockedMemory = nullptr;
};

// A table of one kind of level-of-detail item.
template <class T>
struct MeshLodTable {
    uint32_t capacity = 0;
    std::unique_ptr<T[]> items;
    uint32_t count = 0;
    std::string name;
};

// One level's subsets.
using MeshSubsetList = MeshLodTable<MeshSubset>;

struct MeshData {
    MeshData();
    MeshData(const MeshData&) = delete;
    MeshData& operator=(const MeshData&) = delete;

    // Points the current items at the base set (level -1) or at level `level`.
    void SelectLevel(int level);
    // The level the current items show: -1 for the base set.
    int CurrentLevel() const;
    // The level count: the low byte of the distances' count.
    uint8_t LevelCount() const { return static_cast<uint8_t>(lodDistances.count & 0xff); }

    MeshVertexSet* currentVertexSet;
    VertexDeclResource* currentDecl;
    MeshSubsetList* currentSubsets;
    float* currentLodDistance;
    // Destroyed in the reverse of this order: the levels first, then the base.
    MeshVertexSet baseVertexSet;
    VertexDeclResource baseDecl;
    MeshSubsetList baseSubsets;
    float baseLodDistance = -1.0f;
    MeshLodTable<MeshVertexSet> lodVertexSets;
    MeshLodTable<VertexDeclResource> lodDecls;
    MeshLodTable<MeshSubsetList> lodSubsets;
    MeshLodTable<float> lodDistances;
};

inline constexpr char kDefaultVertexDeclName[] = "defaultVDecl";
// The most levels of detail a mesh file may hold.
inline constexpr uint32_t kMaxMeshLevels = 127;

class MeshResource : public ResourceObject<MeshResource, MeshData, kMeshFormatVersion> {
public:
    struct TexCoord {
        float u = 0.0f;
        float v = 0.0f;
    };

    // Builds the base set from the arrays (texcoords and normals optional) with
    // one subset of two-index primitives 0 .. n - 1.
    void BuildVertexBuffer(const std::vector<float3>& positions, const std::vector<TexCoord>* texcoords,
                           const std::vector<float3>* normals);
    void BuildVertexBufferNoNormals(const std::vector<float3>& positions, const std::vector<TexCoord>* texcoords)
    {
        BuildVertexBuffer(positions, texcoords, nullptr);
    }

    // The current declaration: the shared one when set, else "defaultVDecl".
    void UseDefaultDeclaration();
    // Every subset (of every level) draws with `material`: each subset's
    // material handle attaches to the material's block.
    void SetMeshMaterial(MaterialResource& material);
    // The current set's buffer for count vertices of the declaration's stream-0 stride.
    void CreateMeshVertexBuffer(uint32_t count);
    void* LockVertexBuffer(uint32_t flags);
    void UnlockVertexBuffer();

    // Gives an empty current subset list count new subsets; a list that has
    // subsets is refused ("NOT IMPLEMENTED") and keeps them.
    void AllocSubsets(uint32_t count);
    // count levels, each with an empty set of its own.
    void AllocLods(uint32_t count);

    void Serialize(Archive& archive) override;
    // A mesh is never read by name alone: a name only shares a mesh already
    // registered under it.
    void DoLoad(const std::string& /*name*/) override {}
    // Empties the subset list; the block may be pooled.
    bool DoUnload() override;
    // The target (which must hold a block) draws the same geometry: its sets,
    // declarations, subsets and materials share this mesh's blocks, each
    // reference counted, and it shows the same level.
    void CopyPayloadTo(ResourceObject& target) override;

    // A flat grid of divisions x divisions cells, width x height, centred on
    // the origin in the z = 0 plane, facing -z; halfPixel shifts it half a
    // pixel left and up. Divisions of 0 are refused (false).
    bool CreateQuad(float width, float height, uint32_t divisions, uint8_t halfPixel);
    // Writes a grid of (d + 1)^2 vertices and 6 d^2 indices into the locked
    // buffers, from firstVertex and firstIndex on.
    void FillVertexStreams(uint32_t firstVertex, uint32_t firstIndex, bool wide, uint32_t divisions, float x0,
                           float x1, float y0, float y1, float z0, float z1, uint8_t flip);

    // The byte address of `usage` of vertex v in the locked vertex memory, or
    // null when the declaration has no such element.
    uint8_t* VertexElementAddress(uint32_t vertex, uint32_t usage);
    // Writes the floats at that address; nothing when there is none.
    void WriteVertexElement(uint32_t vertex, uint32_t usage, std::initializer_list<float> values);

    VertexDeclResource* sharedDecl = nullptr;
    void* lockedVertices = nullptr;
    uint16_t* lockedIndices16 = nullptr;
    uint32_t* lockedIndices32 = nullptr;
    uint32_t vertexUsage = 8; // write-only

private:
    bool SerializeLevel(Archive& archive, int level);
};

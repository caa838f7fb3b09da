#pragma once

#include "render/Mesh.h"

#include <glm/glm.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct aiAnimation;
struct aiMesh;
class Bone;
class Material;

// The GPU vertex of a skinned mesh: the plain vertex, then up to four bone
// influences. The influence count is stored but is no attribute; unused
// index and weight slots are 0.
struct SkinnedVertex {
    glm::vec3 position;   // location 0
    glm::vec3 normal;     // location 1
    glm::vec2 texCoords;  // location 2
    int32_t influenceCount;
    glm::ivec4 boneIds;   // location 3, read as integers
    glm::vec4 weights;    // location 4
};
static_assert(sizeof(SkinnedVertex) == 68, "SkinnedVertex must be 68 tightly packed bytes");
static_assert(offsetof(SkinnedVertex, influenceCount) == 32, "influence count at byte 32");
static_assert(offsetof(SkinnedVertex, boneIds) == 36, "bone ids at byte 36");
static_assert(offsetof(SkinnedVertex, weights) == 52, "weights at byte 52");

// Influences a vertex keeps at most.
constexpr int kMaxInfluences = 4;
// Bone matrices the "phong" program holds.
constexpr unsigned kMaxShaderBones = 100;

// A mesh deformed by a skeleton. It owns its bones (plus one extra root bone
// for the skeleton's parent node) and is driven by an animation it does not
// own, which must outlive it. Each draw advances every bone's clock by the
// frame time and uploads one matrix per bone as "bones[i]".
class SkinnedMesh : public Mesh {
public:
    // Builds vertices, bones, their hierarchy and channels, and the GL
    // buffers. The animation may be null: the skeleton then keeps its rest pose.
    static SkinnedMesh* fromAiMesh(const aiMesh* mesh, const aiAnimation* animation, Material* material);

    ~SkinnedMesh() override;
    SkinnedMesh(const SkinnedMesh&) = delete;
    SkinnedMesh& operator=(const SkinnedMesh&) = delete;

    void draw(const glm::mat4& model, Material* material, bool selected) override;

    unsigned getBoneCount() const { return boneCount; }
    // boneCount + 1 bones; the last is the extra root bone.
    Bone* getBones() const { return bones; }
    const aiAnimation* getAnimation() const { return animation; }
    // The vertex records (getVertices() holds the same bytes).
    const SkinnedVertex* getSkinnedVertices() const {
        return reinterpret_cast<const SkinnedVertex*>(vertices);
    }

private:
    SkinnedMesh() = default;
    void setUpSkinnedBuffers();

    unsigned boneCount = 0;
    Bone* bones = nullptr;
    const aiAnimation* animation = nullptr;
    // "bones[i]" for every bone, built once.
    std::vector<std::string> boneUniformNames;
};

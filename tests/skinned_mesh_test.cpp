// Skinned meshes and bones: how influences, the bone hierarchy and the
// animation channels are built from hand-made data, and how a bone samples
// its keys and runs its clock. The real guard is checked by the import and
// level-view tests.

#include "render/Bone.h"
#include "render/SkinnedMesh.h"
#include "tests/support/RenderFixture.h"

#include <assimp/anim.h>
#include <assimp/scene.h>

#include <cmath>

namespace {

aiNode* addChild(aiNode* parent, const char* name) {
    aiNode* child = new aiNode(name);
    parent->addChildren(1, &child);
    return child;
}

aiBone* makeBone(aiNode* node, const std::vector<aiVertexWeight>& weights) {
    aiBone* bone = new aiBone();
    bone->mName = node->mName;
    bone->mNode = node;
    bone->mNumWeights = static_cast<unsigned>(weights.size());
    bone->mWeights = new aiVertexWeight[weights.size()];
    std::copy(weights.begin(), weights.end(), bone->mWeights);
    return bone;
}

template <typename Key, typename Value>
Key* keys(const std::vector<std::pair<double, Value>>& values, unsigned& count) {
    count = static_cast<unsigned>(values.size());
    Key* keys = values.empty() ? nullptr : new Key[values.size()];
    for (size_t i = 0; i < values.size(); ++i) keys[i] = Key(values[i].first, values[i].second);
    return keys;
}

aiNodeAnim* makeChannel(const char* node, const std::vector<std::pair<double, aiVector3D>>& positions,
                        const std::vector<std::pair<double, aiQuaternion>>& rotations) {
    aiNodeAnim* channel = new aiNodeAnim();
    channel->mNodeName = node;
    channel->mPositionKeys = keys<aiVectorKey>(positions, channel->mNumPositionKeys);
    channel->mRotationKeys = keys<aiQuatKey>(rotations, channel->mNumRotationKeys);
    return channel;
}

using SkinnedMeshTest = GlTest;

}  // namespace

// A hand-made skeleton: Armature (not a bone) > hip > leg, with three more
// bones under hip, and a mesh whose vertices test the influence rules.
TEST_F(SkinnedMeshTest, InfluencesHierarchyChannelsAndVertexLayout) {
    aiNode root("Scene");
    aiNode* armature = addChild(&root, "Armature");
    aiNode* hip = addChild(armature, "hip");
    aiNode* leg = addChild(hip, "leg");
    aiNode* extra[3] = {addChild(hip, "a"), addChild(hip, "b"), addChild(hip, "c")};
    aiMesh mesh;
    mesh.mNumVertices = 4;
    mesh.mVertices = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    // No normals and no texture coordinates; one triangle, one line, and a
    // triangle naming vertex 4, one past the last.
    mesh.mNumFaces = 3;
    mesh.mFaces = new aiFace[3];
    mesh.mFaces[0].mNumIndices = 3;
    mesh.mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
    mesh.mFaces[1].mNumIndices = 2;
    mesh.mFaces[1].mIndices = new unsigned[2]{2, 3};
    mesh.mFaces[2].mNumIndices = 3;
    mesh.mFaces[2].mIndices = new unsigned[3]{1, 2, 4};
    // Vertex 0: five influences of 0.1; vertex 1: one of 0.5; vertex 2: none;
    // vertex 3: one of 0; vertex 4 (the vertex count) does not exist.
    mesh.mNumBones = 5;  // hip, leg, a, b, c
    mesh.mBones = new aiBone*[5];
    mesh.mBones[0] = makeBone(hip, {{0, 0.1f}, {1, 0.5f}, {4, 0.3f}});
    mesh.mBones[1] = makeBone(leg, {{0, 0.1f}, {3, 0.0f}});
    for (int i = 0; i < 3; ++i) mesh.mBones[2 + i] = makeBone(extra[i], {{0, 0.1f}});
    aiAnimation animation;
    animation.mDuration = 30.0;
    animation.mTicksPerSecond = 10.0;
    animation.mNumChannels = 2;
    animation.mChannels = new aiNodeAnim*[2];
    animation.mChannels[0] = makeChannel("leg", {{0.0, aiVector3D(0, 1, 0)}}, {{0.0, aiQuaternion()}});
    animation.mChannels[1] = makeChannel("Armature", {{0.0, aiVector3D(0, 0, 0)}}, {});
    std::unique_ptr<SkinnedMesh> skinned(SkinnedMesh::fromAiMesh(&mesh, &animation, nullptr));
    ASSERT_EQ(skinned->getBoneCount(), 5u);
    EXPECT_EQ(skinned->getIndexCount(), 3);  // neither the line nor the triangle past the last vertex is drawn
    const SkinnedVertex* v = skinned->getSkinnedVertices();
    // The first four influences stay, renormalised; the fifth is dropped.
    EXPECT_EQ(v[0].influenceCount, 4);
    EXPECT_EQ(v[0].boneIds, glm::ivec4(0, 1, 2, 3));
    EXPECT_LT(glm::length(v[0].weights - glm::vec4(0.25f)), 1e-6f);
    EXPECT_FLOAT_EQ(v[1].weights[0], 1.0f);
    // Unweighted vertices keep zeros instead of dividing by zero; no normals or coordinates give zeros.
    EXPECT_TRUE(v[2].weights == glm::vec4(0.0f) && v[3].weights == glm::vec4(0.0f));
    EXPECT_TRUE(v[2].normal == glm::vec3(0.0f) && v[2].texCoords == glm::vec2(0.0f));
    Bone* bones = skinned->getBones();
    EXPECT_EQ(bones[0].getWeightCount(), 2u);  // the weight of vertex 4 is not kept
    // Channels reach the bones of their node, the extra root bone (the parent
    // node outside the skeleton) included.
    EXPECT_TRUE(bones[1].getChannel() == animation.mChannels[0] && bones[5].getChannel() == animation.mChannels[1]);
    // Bone ids reach the shader as integers at location 3, weights at 4.
    glBindVertexArray(skinned->getVao());
    GLint integer = 0, type = 0;
    glGetVertexAttribiv(3, GL_VERTEX_ATTRIB_ARRAY_INTEGER, &integer);
    glGetVertexAttribiv(3, GL_VERTEX_ATTRIB_ARRAY_TYPE, &type);
    EXPECT_TRUE(integer == GL_TRUE && type == GL_INT);
    void* offset = nullptr;
    glGetVertexAttribPointerv(4, GL_VERTEX_ATTRIB_ARRAY_POINTER, &offset);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(offset), 52u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // The global never outlives the bone it names.
    skinned.reset();
    EXPECT_EQ(rootBone, nullptr);
    // Without an animation the bones keep their rest pose.
    skinned.reset(SkinnedMesh::fromAiMesh(&mesh, nullptr, nullptr));
    Bone& still = skinned->getBones()[1];
    const glm::mat4 rest = still.getFinalMatrix();
    still.update(1.0f);
    EXPECT_TRUE(still.getChannel() == nullptr && still.getFinalMatrix() == rest);
}

// Key sampling and the clock, on a bone of its own (no GL needed). The pose
// held once the game is over is seen in the level view.
TEST(BoneAnimation, KeysAreSampledBySegmentAndTheClockWraps) {
    const aiQuaternion quarterTurn(aiVector3D(0, 1, 0), 1.5707964f);
    std::unique_ptr<aiNodeAnim> channel(makeChannel(
        "b", {{0.0, aiVector3D(0, 0, 0)}, {10.0, aiVector3D(10, 0, 0)}, {20.0, aiVector3D(30, 0, 0)}},
        {{0.0, aiQuaternion()}, {10.0, aiQuaternion()}, {20.0, quarterTurn}}));
    Bone bone("b");
    bone.setChannel(channel.get());
    bone.setDuration(30.0);
    bone.update(15.0f);  // segment 1, halfway
    EXPECT_DOUBLE_EQ(bone.getTime(), 15.0);
    expectNear(bone.getPosition(), {20, 0, 0}, 1e-4f);
    EXPECT_NEAR(std::fabs(bone.getRotation().y), std::sin(0.3926991f), 1e-4f);  // an eighth turn about y
    bone.setTime(29.0);
    bone.update(2.0f);
    EXPECT_NEAR(bone.getTime(), 1.0, 1e-9);
    expectNear(bone.getPosition(), {1, 0, 0}, 1e-4f);
    // An animation without length keeps its clock at 0 (no NaN).
    bone.setDuration(0.0);
    bone.update(3.0f);
    EXPECT_EQ(bone.getTime(), 0.0);
    expectNear(bone.getPosition(), {0, 0, 0}, 1e-4f);
    // Two keys at the same time give the first without dividing; a single key holds.
    std::unique_ptr<aiNodeAnim> equal(
        makeChannel("e", {{5.0, aiVector3D(1, 2, 3)}, {5.0, aiVector3D(7, 7, 7)}}, {{0.0, quarterTurn}}));
    Bone still("e");
    still.setChannel(equal.get());
    still.setDuration(30.0);
    for (float step : {1.0f, 20.0f}) {  // before and after the keys
        still.update(step);
        expectNear(still.getPosition(), {1, 2, 3}, 1e-4f);
    }
    EXPECT_NEAR(std::fabs(still.getRotation().y), std::sin(0.7853982f), 1e-5f);
}

// Skinned meshes and bones: how influences, the bone hierarchy and the
// animation channels are built, how a bone samples its keys and runs its
// clock, and the guard of the real level posed and uploaded on a real context.

#include "app/GameState.h"
#include "render/Bone.h"
#include "render/Material.h"
#include "render/Shader.h"
#include "render/SkinnedMesh.h"
#include "tests/support/RenderFixture.h"

#include <assimp/Importer.hpp>
#include <assimp/anim.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

aiNode* addChild(aiNode* parent, const char* name, const aiMatrix4x4& transform = aiMatrix4x4()) {
    aiNode* child = new aiNode(name);
    child->mTransformation = transform;
    parent->addChildren(1, &child);
    return child;
}

aiBone* makeBone(const char* name, aiNode* node, const std::vector<std::pair<unsigned, float>>& weights) {
    aiBone* bone = new aiBone();
    bone->mName = name;
    bone->mNode = node;
    bone->mNumWeights = static_cast<unsigned>(weights.size());
    bone->mWeights = new aiVertexWeight[weights.size()];
    for (size_t i = 0; i < weights.size(); ++i) {
        bone->mWeights[i] = aiVertexWeight(weights[i].first, weights[i].second);
    }
    return bone;
}

aiNodeAnim* makeChannel(const char* node, const std::vector<std::pair<double, aiVector3D>>& positions,
                        const std::vector<std::pair<double, aiQuaternion>>& rotations) {
    aiNodeAnim* channel = new aiNodeAnim();
    channel->mNodeName = node;
    channel->mNumPositionKeys = static_cast<unsigned>(positions.size());
    channel->mPositionKeys = positions.empty() ? nullptr : new aiVectorKey[positions.size()];
    for (size_t i = 0; i < positions.size(); ++i) {
        channel->mPositionKeys[i] = aiVectorKey(positions[i].first, positions[i].second);
    }
    channel->mNumRotationKeys = static_cast<unsigned>(rotations.size());
    channel->mRotationKeys = rotations.empty() ? nullptr : new aiQuatKey[rotations.size()];
    for (size_t i = 0; i < rotations.size(); ++i) {
        channel->mRotationKeys[i] = aiQuatKey(rotations[i].first, rotations[i].second);
    }
    return channel;
}

class SkinnedMeshTest : public GlTest {
protected:
    void TearDown() override {
        gameOver = false;
        frameDeltaTime = 0.0;
        rootBone = nullptr;
        GlTest::TearDown();
    }
};

}  // namespace

// A hand-made skeleton: Armature (not a bone) > hip > leg, with three more
// bones under hip, and a mesh whose vertices test the influence rules.
TEST_F(SkinnedMeshTest, InfluencesHierarchyChannelsAndVertexLayout) {
    aiNode root("Scene");
    aiMatrix4x4 armatureTransform;
    aiMatrix4x4::Translation(aiVector3D(1.0f, 2.0f, 3.0f), armatureTransform);
    aiNode* armature = addChild(&root, "Armature", armatureTransform);
    aiNode* hip = addChild(armature, "hip");
    aiNode* leg = addChild(hip, "leg");
    aiNode* extra[3] = {addChild(hip, "a"), addChild(hip, "b"), addChild(hip, "c")};

    aiMesh mesh;
    mesh.mName = "synthetic";
    mesh.mNumVertices = 4;
    mesh.mVertices = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    // No normals and no texture coordinates; one triangle and one line.
    mesh.mNumFaces = 2;
    mesh.mFaces = new aiFace[2];
    mesh.mFaces[0].mNumIndices = 3;
    mesh.mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
    mesh.mFaces[1].mNumIndices = 2;
    mesh.mFaces[1].mIndices = new unsigned[2]{2, 3};
    // Vertex 0: five influences of 0.1; vertex 1: one of 0.5; vertex 2: none;
    // vertex 3: one of 0; vertex 9 does not exist.
    mesh.mNumBones = 5;
    mesh.mBones = new aiBone*[5];
    mesh.mBones[0] = makeBone("hip", hip, {{0, 0.1f}, {1, 0.5f}, {9, 0.3f}});
    mesh.mBones[1] = makeBone("leg", leg, {{0, 0.1f}, {3, 0.0f}});
    mesh.mBones[2] = makeBone("a", extra[0], {{0, 0.1f}});
    mesh.mBones[3] = makeBone("b", extra[1], {{0, 0.1f}});
    mesh.mBones[4] = makeBone("c", extra[2], {{0, 0.1f}});

    aiAnimation animation;
    animation.mDuration = 30.0;
    animation.mTicksPerSecond = 10.0;
    animation.mNumChannels = 2;
    animation.mChannels = new aiNodeAnim*[2];
    animation.mChannels[0] = makeChannel("leg", {{0.0, aiVector3D(0, 1, 0)}}, {{0.0, aiQuaternion()}});
    animation.mChannels[1] = makeChannel("Armature", {{0.0, aiVector3D(0, 0, 0)}}, {});

    std::unique_ptr<SkinnedMesh> skinned(SkinnedMesh::fromAiMesh(&mesh, &animation, nullptr));
    ASSERT_EQ(skinned->getBoneCount(), 5u);
    EXPECT_EQ(skinned->getIndexCount(), 3);  // the line is not drawn
    EXPECT_EQ(skinned->getVertexCount(), 4);

    const SkinnedVertex* v = skinned->getSkinnedVertices();
    // The first four influences stay, renormalised; the fifth is dropped.
    EXPECT_EQ(v[0].influenceCount, 4);
    EXPECT_EQ(v[0].boneIds, glm::ivec4(0, 1, 2, 3));
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(v[0].weights[i], 0.25f, 1e-6f);
    }
    EXPECT_FLOAT_EQ(v[1].weights[0], 1.0f);
    // Unweighted vertices keep zeros instead of dividing by zero.
    for (int k : {2, 3}) {
        EXPECT_EQ(v[k].weights, glm::vec4(0.0f)) << "vertex " << k;
    }
    EXPECT_EQ(v[2].normal, glm::vec3(0.0f));
    EXPECT_EQ(v[2].texCoords, glm::vec2(0.0f));

    Bone* bones = skinned->getBones();
    EXPECT_EQ(bones[0].getWeightCount(), 2u);  // the weight of vertex 9 is not kept

    // The parent node outside the skeleton becomes the extra root bone.
    Bone* extraRoot = &bones[5];
    EXPECT_EQ(rootBone, extraRoot);
    EXPECT_EQ(extraRoot->getName(), "Armature");
    expectNear(extraRoot->getPosition(), {1, 2, 3}, 1e-4f);
    EXPECT_EQ(bones[0].getParentBone(), extraRoot);
    EXPECT_EQ(bones[4].getParentBone(), &bones[0]);
    expectNear(glm::vec3(bones[1].getModelMatrix()[3]), {1, 2, 3}, 1e-4f);

    // Channels reach the bones of their node, the extra root included.
    EXPECT_EQ(bones[1].getChannel(), animation.mChannels[0]);
    EXPECT_EQ(extraRoot->getChannel(), animation.mChannels[1]);
    EXPECT_EQ(bones[0].getChannel(), nullptr);

    // Bone ids reach the shader as integers at location 3, weights at 4.
    glBindVertexArray(skinned->getVao());
    GLint integer = 0, type = 0;
    glGetVertexAttribiv(3, GL_VERTEX_ATTRIB_ARRAY_INTEGER, &integer);
    glGetVertexAttribiv(3, GL_VERTEX_ATTRIB_ARRAY_TYPE, &type);
    EXPECT_EQ(integer, GL_TRUE);
    EXPECT_EQ(type, GL_INT);
    void* offset = nullptr;
    glGetVertexAttribPointerv(4, GL_VERTEX_ATTRIB_ARRAY_POINTER, &offset);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(offset), 52u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // The global never outlives the bone it names.
    skinned.reset();
    EXPECT_EQ(rootBone, nullptr);
}

// Key sampling and the clock, on a bone of its own (no GL needed).
TEST(BoneAnimation, KeysAreSampledBySegmentAndTheClockWrapsAndFreezes) {
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

    // Once the game is over the clock runs on but the pose stays.
    const glm::mat4 before = bone.getModelMatrix();
    gameOver = true;
    bone.update(10.0f);
    gameOver = false;
    EXPECT_NEAR(bone.getTime(), 11.0, 1e-9);
    EXPECT_EQ(maxDifference(bone.getModelMatrix(), before), 0.0f);

    // An animation without length keeps its clock at 0 (no NaN).
    bone.setDuration(0.0);
    bone.update(3.0f);
    EXPECT_EQ(bone.getTime(), 0.0);
    expectNear(bone.getPosition(), {0, 0, 0}, 1e-4f);

    // Two keys at the same time give the first without dividing; single keys
    // hold at every time.
    std::unique_ptr<aiNodeAnim> equal(
        makeChannel("e", {{5.0, aiVector3D(1, 2, 3)}, {5.0, aiVector3D(7, 7, 7)}}, {{0.0, quarterTurn}}));
    Bone still("e");
    still.setChannel(equal.get());
    still.setDuration(30.0);
    still.update(1.0f);
    expectNear(still.getPosition(), {1, 2, 3}, 1e-4f);
    still.update(20.0f);
    expectNear(still.getPosition(), {1, 2, 3}, 1e-4f);
    EXPECT_NEAR(std::fabs(still.getRotation().y), std::sin(0.7853982f), 1e-5f);
}

namespace {

// The guard of the level, built from the real file with a material on the
// game's "phong" program.
class GuardTest : public SkinnedMeshTest {
protected:
    void SetUp() override {
        SkinnedMeshTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        model = importer.ReadFile("assets/models/cell.fbx",
                                  aiProcess_Triangulate | aiProcess_PopulateArmatureData | aiProcess_FlipUVs);
        ASSERT_NE(model, nullptr) << importer.GetErrorString();
        for (unsigned i = 0; i < model->mNumMeshes && source == nullptr; ++i) {
            source = model->mMeshes[i]->mNumBones > 0 ? model->mMeshes[i] : nullptr;
        }
        ASSERT_NE(source, nullptr);
        ASSERT_GE(model->mNumAnimations, 1u);
        shader = std::make_unique<Shader>("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
        material = std::make_unique<Material>(shader.get());
        guard.reset(SkinnedMesh::fromAiMesh(source, model->mAnimations[0], material.get()));
    }
    void TearDown() override {
        guard.reset();
        material.reset();
        shader.reset();
        SkinnedMeshTest::TearDown();
    }

    // The matrices the last draw left in the program.
    std::vector<glm::mat4> uploaded() {
        std::vector<glm::mat4> matrices(guard->getBoneCount());
        for (unsigned i = 0; i < guard->getBoneCount(); ++i) {
            const GLint location = shader->getUniformLocation("bones[" + std::to_string(i) + "]");
            EXPECT_NE(location, -1);
            glGetUniformfv(shader->getProgram(), location, &matrices[i][0][0]);
        }
        return matrices;
    }
    void draw(double seconds) {
        frameDeltaTime = seconds;
        guard->render(glm::mat4(1.0f), false);
    }

    Assimp::Importer importer;
    const aiScene* model = nullptr;
    const aiMesh* source = nullptr;
    std::unique_ptr<Shader> shader;
    std::unique_ptr<Material> material;
    std::unique_ptr<SkinnedMesh> guard;
};

}  // namespace

TEST_F(GuardTest, WeightsSumToOneAndTheRestPoseFollowsTheFilesNodeChain) {
    ASSERT_EQ(guard->getBoneCount(), 11u);
    const SkinnedVertex* vertices = guard->getSkinnedVertices();
    for (int i = 0; i < guard->getVertexCount(); ++i) {
        const SkinnedVertex& v = vertices[i];
        ASSERT_GE(v.influenceCount, 1) << "vertex " << i;
        EXPECT_NEAR(v.weights[0] + v.weights[1] + v.weights[2] + v.weights[3], 1.0f, 1e-5f) << "vertex " << i;
    }
    // Each bone's final matrix is its node's transform relative to the file's
    // root times its offset matrix, here in Assimp's own row-major arithmetic;
    // without an animation it stays so when drawn.
    std::unique_ptr<SkinnedMesh> still(SkinnedMesh::fromAiMesh(source, nullptr, material.get()));
    frameDeltaTime = 0.5;
    still->render(glm::mat4(1.0f), false);
    for (unsigned i = 0; i < guard->getBoneCount(); ++i) {
        const aiBone* bone = source->mBones[i];
        aiMatrix4x4 expected = bone->mOffsetMatrix;
        for (const aiNode* n = bone->mNode; n != model->mRootNode; n = n->mParent) {
            expected = n->mTransformation * expected;
        }
        const glm::mat4 actual = guard->getBones()[i].getFinalMatrix();
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
                EXPECT_NEAR(actual[column][row], expected[row][column], 1e-4f) << bone->mName.C_Str();
            }
        }
        EXPECT_LT(maxDifference(still->getBones()[i].getFinalMatrix(), actual), 1e-6f) << bone->mName.C_Str();
    }
    // An animation of zero ticks per second never advances.
    aiAnimation stopped;
    stopped.mDuration = model->mAnimations[0]->mDuration;
    stopped.mTicksPerSecond = 0.0;
    std::unique_ptr<SkinnedMesh> halted(SkinnedMesh::fromAiMesh(source, &stopped, material.get()));
    halted->render(glm::mat4(1.0f), false);
    EXPECT_EQ(halted->getBones()[0].getTime(), 0.0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GuardTest, DrawsAdvanceTheWalkWrapAtItsEndAndFreezeOnceTheGameIsOver) {
    const double duration = model->mAnimations[0]->mDuration;
    const double ticksPerSecond = model->mAnimations[0]->mTicksPerSecond;
    ASSERT_GT(duration, 0.0);
    ASSERT_GT(ticksPerSecond, 0.0);
    draw(0.0);
    const std::vector<glm::mat4> start = uploaded();
    draw(0.25);
    const std::vector<glm::mat4> later = uploaded();
    int moved = 0;
    for (unsigned i = 0; i < start.size(); ++i) {
        moved += maxDifference(start[i], later[i]) > 1e-3f ? 1 : 0;
    }
    EXPECT_GE(moved, 4) << "the walk moves legs and arms";
    const Bone& hips = guard->getBones()[0];
    EXPECT_NEAR(hips.getTime(), 0.25 * ticksPerSecond, 1e-4);

    // A whole cycle and a bit: the clock wraps within the animation.
    const double step = 0.3;
    const int frames = static_cast<int>(duration / ticksPerSecond / step) + 2;
    for (int i = 0; i < frames; ++i) {
        draw(step);
    }
    const double expected = std::fmod(
        0.25 * ticksPerSecond + frames * static_cast<double>(static_cast<float>(step * ticksPerSecond)), duration);
    EXPECT_NEAR(hips.getTime(), expected, 1e-3);

    // Game over: every bone is still uploaded, none moves; the clocks run on.
    const std::vector<glm::mat4> before = uploaded();
    const double timeBefore = hips.getTime();
    gameOver = true;
    draw(0.2);
    draw(0.2);
    const std::vector<glm::mat4> frozen = uploaded();
    for (unsigned i = 0; i < before.size(); ++i) {
        EXPECT_EQ(maxDifference(before[i], frozen[i]), 0.0f) << "bone " << i;
    }
    EXPECT_NE(hips.getTime(), timeBefore);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Checks the shipped content the way the game reads it: the two models
// through Assimp with the game's import flags, the images through stb_image
// and the font through FreeType.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using V = aiVector3D;

struct Model {
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    explicit Model(const char* path) {
        scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_PopulateArmatureData | aiProcess_FlipUVs);
    }
    const aiNode* node(const std::string& name) const { return scene->mRootNode->FindNode(name.c_str()); }
};

float quatDot(const aiQuaternion& a, const aiQuaternion& b) {
    return std::fabs(a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z);
}

// Both models: no importer helper nodes, every material with textures that
// exist and decode, every light with a node of its name under the root, and
// every texture coordinate in 0..1 (the game clamps to the edge).
TEST(AssetModels, NodesMaterialsLightsAndTextureCoordinatesAreAsTheGameReadsThem) {
    for (const char* path : {"assets/models/cell.fbx", "assets/models/cell_start.fbx"}) {
        SCOPED_TRACE(path);
        Model model(path);
        ASSERT_NE(model.scene, nullptr) << model.importer.GetErrorString();
        std::function<void(const aiNode*)> walk = [&](const aiNode* n) {
            EXPECT_EQ(std::string(n->mName.C_Str()).find("_$AssimpFbx$_"), std::string::npos) << n->mName.C_Str();
            for (unsigned i = 0; i < n->mNumChildren; ++i) walk(n->mChildren[i]);
        };
        walk(model.scene->mRootNode);
        for (unsigned i = 0; i < model.scene->mNumMaterials; ++i) {
            const aiMaterial* mat = model.scene->mMaterials[i];
            for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_SPECULAR}) {
                aiString file;
                ASSERT_EQ(aiGetMaterialString(mat, "$tex.file", type, 0, &file), AI_SUCCESS) << mat->GetName().C_Str();
                int w = 0, h = 0, c = 0;
                stbi_uc* pixels = stbi_load(file.C_Str(), &w, &h, &c, 4);
                EXPECT_NE(pixels, nullptr) << file.C_Str();
                stbi_image_free(pixels);
            }
        }
        EXPECT_GE(model.scene->mNumLights, 1u);
        for (unsigned i = 0; i < model.scene->mNumLights; ++i) {
            const aiNode* n = model.node(model.scene->mLights[i]->mName.C_Str());
            ASSERT_NE(n, nullptr) << model.scene->mLights[i]->mName.C_Str();
            EXPECT_EQ(n->mParent, model.scene->mRootNode) << n->mName.C_Str();
        }
        for (unsigned i = 0; i < model.scene->mNumMeshes; ++i) {
            const aiMesh* mesh = model.scene->mMeshes[i];
            ASSERT_TRUE(mesh->HasTextureCoords(0)) << mesh->mName.C_Str();
            int outside = 0;
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D& uv = mesh->mTextureCoords[0][v];
                outside += (uv.x < -1e-4f || uv.x > 1 + 1e-4f || uv.y < -1e-4f || uv.y > 1 + 1e-4f) ? 1 : 0;
            }
            EXPECT_EQ(outside, 0) << mesh->mName.C_Str() << " has texture coordinates outside 0..1";
        }
    }
}

class AssetLevelModel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(level->scene, nullptr) << level->importer.GetErrorString(); }
    inline static const std::unique_ptr<Model> level = std::make_unique<Model>("assets/models/cell.fbx");
};

// Every node the game looks up, by exact name, directly under the root with
// unit scale (the game's import finds the materials by name).
TEST_F(AssetLevelModel, RequiredNodesAndMaterials) {
    for (const char* name : {"sink", "bed", "door", "lock1", "lock2", "lock3", "lock4", "floor", "ceiling",
                             "labyrinth", "labyrinth_end", "labyrinth_goal", "labyrinth_door", "pressure_plate",
                             "door frame", "wall 1", "wall 2", "wall 3", "wall 4", "toilet", "chair", "glasses",
                             "Armature"}) {
        const aiNode* n = level->node(name);
        ASSERT_NE(n, nullptr) << name;
        EXPECT_EQ(n->mParent, level->scene->mRootNode) << name;
        V s, p;
        aiQuaternion q;
        n->mTransformation.Decompose(s, q, p);
        EXPECT_LT((s - V(1, 1, 1)).Length(), 1e-4f) << name;
    }
}

// The door hangs in its frame and the locks sit on the door where the hinge
// and lock joints put them; the push acts along the door's thin local x.
TEST_F(AssetLevelModel, DoorFrameAndLocksSitWhereTheirJointsPutThem) {
    V s, door, frame;
    aiQuaternion doorRot, frameRot;
    level->node("door")->mTransformation.Decompose(s, doorRot, door);
    level->node("door frame")->mTransformation.Decompose(s, frameRot, frame);
    EXPECT_GT(quatDot(doorRot, frameRot), 0.99999f);
    EXPECT_LT((door - frame - V(0.014815f, -0.1025f, -0.010344f)).Length(), 2e-4f);
    EXPECT_GT((aiMatrix3x3(level->node("door")->mTransformation) * V(1, 0, 0)).x, 0.999f);
    const float anchorZ[4] = {-0.386346f, -0.185373f, 0.016015f, 0.217536f};
    for (int i = 0; i < 4; ++i) {
        const std::string name = "lock" + std::to_string(i + 1);
        V lock;
        aiQuaternion lockRot;
        level->node(name)->mTransformation.Decompose(s, lockRot, lock);
        EXPECT_GT(quatDot(doorRot, lockRot), 0.99999f) << name;
        const V expected = door + doorRot.Rotate(V(-0.074142f, 0.337119f - 0.045494f, anchorZ[i] + 0.084016f));
        EXPECT_LT((lock - expected).Length(), 2e-4f) << name;
    }
}

// The guard: the only skinned mesh, every vertex weighted by one to four bones, and a looping first animation with a
// channel for every bone.
TEST_F(AssetLevelModel, GuardBonesWeightsAndWalk) {
    const aiScene* sc = level->scene;
    const aiMesh* guard = nullptr;
    int skinned = 0;
    for (unsigned i = 0; i < sc->mNumMeshes; ++i) {
        if (sc->mMeshes[i]->mNumBones > 0) ++skinned, guard = sc->mMeshes[i];
    }
    ASSERT_EQ(skinned, 1);

    std::vector<float> weightSum(guard->mNumVertices, 0);
    std::vector<int> influences(guard->mNumVertices, 0);
    for (unsigned b = 0; b < guard->mNumBones; ++b) {
        const aiBone* bone = guard->mBones[b];
        ASSERT_NE(bone->mNode, nullptr) << bone->mName.C_Str();
        for (unsigned w = 0; w < bone->mNumWeights; ++w) {
            weightSum[bone->mWeights[w].mVertexId] += bone->mWeights[w].mWeight;
            ++influences[bone->mWeights[w].mVertexId];
        }
    }
    for (unsigned v = 0; v < guard->mNumVertices; ++v) {
        ASSERT_GT(weightSum[v], 0.01f) << "vertex " << v << " is not weighted";
        ASSERT_LE(influences[v], 4) << "vertex " << v;
    }

    ASSERT_GE(sc->mNumAnimations, 1u);
    const aiAnimation* walk = sc->mAnimations[0];
    EXPECT_GT(walk->mDuration, 0);
    std::map<std::string, const aiNodeAnim*> channels;
    for (unsigned c = 0; c < walk->mNumChannels; ++c) channels[walk->mChannels[c]->mNodeName.C_Str()] = walk->mChannels[c];
    for (unsigned b = 0; b < guard->mNumBones; ++b) {
        const aiNodeAnim* ch = channels[guard->mBones[b]->mName.C_Str()];
        ASSERT_TRUE(ch && ch->mNumRotationKeys > 0) << guard->mBones[b]->mName.C_Str();
        EXPECT_GT(quatDot(ch->mRotationKeys[0].mValue, ch->mRotationKeys[ch->mNumRotationKeys - 1].mValue), 0.9999f)
            << guard->mBones[b]->mName.C_Str() << " does not loop";
    }
}

TEST(AssetFiles, ImagesAndFontDecode) {
    for (const char* path : {"assets/icon.png", "assets/textures/missing_texture.png", "assets/textures/key_e.png",
                             "assets/textures/key_e_pressed.png", "assets/textures/glasses_icon.png",
                             "assets/textures/poster.png", "assets/textures/cubemap/right.jpg",
                             "assets/textures/cubemap/left.jpg", "assets/textures/cubemap/top.jpg",
                             "assets/textures/cubemap/bottom.jpg", "assets/textures/cubemap/front.jpg",
                             "assets/textures/cubemap/back.jpg"}) {
        int w = 0, h = 0, c = 0;
        stbi_uc* pixels = stbi_load(path, &w, &h, &c, 4);
        EXPECT_NE(pixels, nullptr) << path;
        stbi_image_free(pixels);
    }
    FT_Library ft;
    ASSERT_EQ(FT_Init_FreeType(&ft), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(ft, "assets/fonts/VT323-Regular.ttf", 0, &face), 0);
    FT_Set_Pixel_Sizes(face, 0, 256);
    for (char ch = 33; ch < 127; ++ch) {
        EXPECT_EQ(FT_Load_Char(face, ch, FT_LOAD_RENDER), 0) << ch;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(ft);
}

}  // namespace

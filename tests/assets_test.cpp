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

#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const unsigned kImportFlags = aiProcess_Triangulate | aiProcess_PopulateArmatureData | aiProcess_FlipUVs;

using V = aiVector3D;

V cross(const V& a, const V& b) { return V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
float dot(const V& a, const V& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Triangle {
    V a, b, c;
    std::string owner;
};

aiMatrix4x4 globalTransform(const aiNode* node) {
    aiMatrix4x4 m;
    for (; node; node = node->mParent) m = node->mTransformation * m;
    return m;
}

// Ray against triangle (both sides); returns the distance or -1.
float rayTriangle(const V& o, const V& d, const Triangle& t) {
    V e1 = t.b - t.a, e2 = t.c - t.a, p = cross(d, e2);
    float det = dot(e1, p);
    if (std::fabs(det) < 1e-9f) return -1;
    V s = o - t.a;
    float u = dot(s, p) / det;
    if (u < 0 || u > 1) return -1;
    V q = cross(s, e1);
    float v = dot(d, q) / det;
    if (v < 0 || u + v > 1) return -1;
    float dist = dot(e2, q) / det;
    return dist >= 0 ? dist : -1;
}

// The twelve triangles of a box of full extents `size` centred on a node.
void addBox(std::vector<Triangle>& out, const aiMatrix4x4& m, const V& size, const std::string& owner) {
    V h = size * 0.5f;
    auto c = [&](int i) { return m * V(i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z); };
    const int f[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (auto& q : f) {
        out.push_back({c(q[0]), c(q[1]), c(q[2]), owner});
        out.push_back({c(q[0]), c(q[2]), c(q[3]), owner});
    }
}

// A loaded model with its world-space triangles.
struct Model {
    Assimp::Importer importer;
    const aiScene* scene = nullptr;

    explicit Model(const char* path) { scene = importer.ReadFile(path, kImportFlags); }

    const aiNode* node(const std::string& name) const { return scene->mRootNode->FindNode(name.c_str()); }

    void meshTriangles(const aiNode* n, std::vector<Triangle>& out, const std::string& owner) const {
        aiMatrix4x4 m = globalTransform(n);
        for (unsigned i = 0; i < n->mNumMeshes; ++i) {
            const aiMesh* mesh = scene->mMeshes[n->mMeshes[i]];
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const unsigned* ix = mesh->mFaces[f].mIndices;
                out.push_back({m * mesh->mVertices[ix[0]], m * mesh->mVertices[ix[1]], m * mesh->mVertices[ix[2]], owner});
            }
        }
    }

    // Every drawn triangle, by top-level node (the guard aside).
    std::vector<Triangle> visible() const {
        std::vector<Triangle> out;
        for (unsigned i = 0; i < scene->mRootNode->mNumChildren; ++i) {
            const aiNode* n = scene->mRootNode->mChildren[i];
            meshTriangles(n, out, n->mName.C_Str());
        }
        return out;
    }
};

// What the level's bodies look like to the physics: boxes for the box bodies,
// the meshes for the rest; the locks have no collision shape.
const std::map<std::string, V> kBoxBodies = {
    {"sink", V(0.564537f, 1.02574f, 0.564537f)},   {"door", V(0.336435f, 1.93715f, 0.756214f)},
    {"lock1", V(0.0001f, 0.092232f, 0.168031f)},   {"lock2", V(0.0001f, 0.092232f, 0.168031f)},
    {"lock3", V(0.0001f, 0.092232f, 0.168031f)},   {"lock4", V(0.0001f, 0.092232f, 0.168031f)},
    {"ceiling", V(5.0f, 0.1f, 5.0f)},               {"wall 3", V(4.03241f, 0.369721f, 5.39277f)},
    {"Armature", V(0.85f, 1.9f, 1.7f)}};
const std::vector<std::string> kMeshBodies = {"bed",   "floor",          "labyrinth",      "labyrinth_end",
                                              "labyrinth_goal", "labyrinth_door", "pressure_plate",
                                              "door frame", "wall 1", "wall 2", "wall 4", "toilet", "chair",
                                              "glasses"};

std::vector<Triangle> bodies(const Model& model, const std::set<std::string>& leaveOut) {
    std::vector<Triangle> out;
    for (auto& [name, size] : kBoxBodies)
        if (!leaveOut.count(name)) addBox(out, globalTransform(model.node(name)), size, name);
    for (auto& name : kMeshBodies)
        if (!leaveOut.count(name)) model.meshTriangles(model.node(name), out, name);
    return out;
}

// First triangle hit along a ray, up to maxDist.
const Triangle* firstHit(const std::vector<Triangle>& tris, const V& o, const V& to, float maxDist, float* hitDist) {
    V d = to - o;
    d.Normalize();
    const Triangle* best = nullptr;
    float bestDist = maxDist;
    for (auto& t : tris) {
        float dist = rayTriangle(o, d, t);
        if (dist >= 0 && dist <= bestDist) {
            bestDist = dist;
            best = &t;
        }
    }
    if (hitDist) *hitDist = bestDist;
    return best;
}

V nodeCentre(const Model& model, const char* name) {
    std::vector<Triangle> tris;
    model.meshTriangles(model.node(name), tris, name);
    V sum(0, 0, 0);
    for (auto& t : tris) sum += (t.a + t.b + t.c) / 3.0f;
    return sum / float(tris.size());
}

class AssetLevelModel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { level = new Model("assets/models/cell.fbx"); }
    static void TearDownTestSuite() { delete level; }
    static Model* level;
};
Model* AssetLevelModel::level = nullptr;

const std::vector<std::string> kRequired = {
    "sink",  "bed",       "door",      "lock1", "lock2",  "lock3",         "lock4",
    "floor", "ceiling",   "labyrinth", "labyrinth_end",   "labyrinth_goal", "labyrinth_door",
    "pressure_plate", "door frame", "wall 1", "wall 2", "wall 3", "wall 4", "toilet", "chair", "glasses"};

void expectSoundNodesAndMaterials(const Model& model) {
    ASSERT_NE(model.scene, nullptr) << model.importer.GetErrorString();
    std::function<void(const aiNode*)> walk = [&](const aiNode* n) {
        EXPECT_EQ(std::string(n->mName.C_Str()).find("_$AssimpFbx$_"), std::string::npos) << n->mName.C_Str();
        for (unsigned i = 0; i < n->mNumChildren; ++i) walk(n->mChildren[i]);
    };
    walk(model.scene->mRootNode);
    for (unsigned i = 0; i < model.scene->mNumMeshes; ++i) {
        const aiMesh* m = model.scene->mMeshes[i];
        EXPECT_TRUE(m->HasNormals() && m->HasTextureCoords(0)) << m->mName.C_Str();
        // front faces are counter-clockwise seen from the side the normals face
        for (unsigned f = 0; f < m->mNumFaces; ++f) {
            const unsigned* ix = m->mFaces[f].mIndices;
            V n = cross(m->mVertices[ix[1]] - m->mVertices[ix[0]], m->mVertices[ix[2]] - m->mVertices[ix[0]]);
            ASSERT_GT(dot(n, m->mNormals[ix[0]]), 0.0f) << m->mName.C_Str() << " face " << f;
        }
    }
    for (unsigned i = 0; i < model.scene->mNumMaterials; ++i) {
        const aiMaterial* mat = model.scene->mMaterials[i];
        aiString name;
        ASSERT_EQ(aiGetMaterialString(mat, "?mat.name", 0, 0, &name), AI_SUCCESS);
        EXPECT_STRNE(name.C_Str(), "text");
        aiColor4D diffuse;
        ASSERT_EQ(aiGetMaterialColor(mat, "$clr.diffuse", 0, 0, &diffuse), AI_SUCCESS) << name.C_Str();
        EXPECT_GT(diffuse.r + diffuse.g + diffuse.b, 0.5f) << name.C_Str();
        float shininess = 0;
        if (aiGetMaterialFloatArray(mat, "$mat.shininess", 0, 0, &shininess, nullptr) == AI_SUCCESS) {
            EXPECT_GE(shininess, 1.0f) << name.C_Str();
        }
        for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_SPECULAR}) {
            aiString path;
            ASSERT_EQ(aiGetMaterialString(mat, "$tex.file", type, 0, &path), AI_SUCCESS) << name.C_Str();
            std::string p = path.C_Str();
            EXPECT_EQ(p.rfind("assets/textures/", 0), 0u) << p;
            EXPECT_TRUE(std::filesystem::is_regular_file(p)) << p;
            int w = 0, h = 0, c = 0;
            stbi_uc* pixels = stbi_load(p.c_str(), &w, &h, &c, 4);
            EXPECT_NE(pixels, nullptr) << p;
            EXPECT_LE(std::max(w, h), 1024) << p;
            stbi_image_free(pixels);
        }
    }
    // every light has a top-level node of its own name
    for (unsigned i = 0; i < model.scene->mNumLights; ++i) {
        const aiLight* light = model.scene->mLights[i];
        const aiNode* n = model.node(light->mName.C_Str());
        ASSERT_NE(n, nullptr) << light->mName.C_Str();
        EXPECT_EQ(n->mParent, model.scene->mRootNode) << light->mName.C_Str();
        EXPECT_EQ(light->mType, aiLightSource_POINT) << light->mName.C_Str();
        float intensity = light->mColorDiffuse.r * 0.001f;
        EXPECT_GT(intensity, 0.2f) << light->mName.C_Str();
        EXPECT_LT(intensity, 5.0f) << light->mName.C_Str();
    }
    EXPECT_GE(model.scene->mNumLights, 1u);
}

TEST_F(AssetLevelModel, NodesMaterialsTexturesAndLightsAreAsTheGameReadsThem) {
    expectSoundNodesAndMaterials(*level);
    std::vector<std::string> top = kRequired;
    top.push_back("Armature");
    for (auto& name : top) {
        const aiNode* n = level->node(name);
        ASSERT_NE(n, nullptr) << name;
        EXPECT_EQ(n->mParent, level->scene->mRootNode) << name;
        aiVector3D s, p;
        aiQuaternion q;
        n->mTransformation.Decompose(s, q, p);
        EXPECT_LT((s - V(1, 1, 1)).Length(), 1e-4f) << name;
        EXPECT_TRUE(name == "Armature" || n->mNumMeshes >= 1) << name;
    }
    std::set<std::string> materials;
    for (unsigned i = 0; i < level->scene->mNumMaterials; ++i) materials.insert(level->scene->mMaterials[i]->GetName().C_Str());
    EXPECT_TRUE(materials.count("Guard"));
    EXPECT_TRUE(materials.count("Material.001"));
    EXPECT_GE(level->scene->mNumLights, 4u);
}

// Visible meshes match their box bodies (wall 3 thin along its local y, which
// lies horizontal; the sink on the floor). The labyrinth door reaches the
// floor when shut and, slid up to y = 5.5, leaves about 2 m of clearance.
TEST_F(AssetLevelModel, BoxBodiesMatchTheirMeshesAndTheLabyrinthDoorClearsTheWay) {
    const auto bounds = [&](const char* name, V& lo, V& hi) {
        const aiNode* n = level->node(name);
        lo = V(1e9f, 1e9f, 1e9f), hi = V(-1e9f, -1e9f, -1e9f);
        for (unsigned i = 0; i < n->mNumMeshes; ++i) {
            const aiMesh* m = level->scene->mMeshes[n->mMeshes[i]];
            for (unsigned v = 0; v < m->mNumVertices; ++v) {
                const V& p = m->mVertices[v];
                lo = V(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
                hi = V(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
            }
        }
    };
    V lo, hi;
    for (const char* name : {"sink", "ceiling", "wall 3"}) {
        bounds(name, lo, hi);
        const V size = hi - lo, centre = (hi + lo) * 0.5f, expected = kBoxBodies.at(name);
        EXPECT_LT((size - expected).Length(), 0.05f) << name;
        EXPECT_LT(std::hypot(centre.x, centre.z), 0.03f) << name;
    }
    EXPECT_LT(std::fabs((aiMatrix3x3(level->node("wall 3")->mTransformation) * V(0, 1, 0)).y), 1e-3f);
    EXPECT_NEAR(level->node("sink")->mTransformation.b4 - 1.02574f / 2, 0.0f, 0.01f);

    aiVector3D s, p;
    aiQuaternion q;
    level->node("labyrinth_door")->mTransformation.Decompose(s, q, p);
    EXPECT_NEAR(p.x, 21.6903, 1e-3);
    EXPECT_NEAR(p.z, -2.59875, 1e-3);
    EXPECT_GT(std::fabs(q.w), 0.99999f);
    bounds("labyrinth_door", lo, hi);
    EXPECT_LT(p.y + lo.y, 0.05f);
    EXPECT_NEAR(5.5f + lo.y, 2.0f, 0.2f);
}

TEST_F(AssetLevelModel, DoorFrameAndLocksSitWhereTheirJointsPutThem) {
    aiVector3D s, door, frame;
    aiQuaternion doorRot, frameRot;
    level->node("door")->mTransformation.Decompose(s, doorRot, door);
    level->node("door frame")->mTransformation.Decompose(s, frameRot, frame);
    EXPECT_GT(std::fabs(doorRot.w * frameRot.w + doorRot.x * frameRot.x + doorRot.y * frameRot.y + doorRot.z * frameRot.z), 0.99999f);
    V diff = door - frame;
    EXPECT_NEAR(diff.x, 0.014815, 1e-4);
    EXPECT_NEAR(diff.y, -0.1025, 1e-4);
    EXPECT_NEAR(diff.z, -0.010344, 1e-4);
    // the push (500, 0, 0) acts along the door's thin local x
    V localX = aiMatrix3x3(level->node("door")->mTransformation) * V(1, 0, 0);
    EXPECT_GT(localX.x, 0.999f);
    const float anchorZ[4] = {-0.386346f, -0.185373f, 0.016015f, 0.217536f};
    for (int i = 0; i < 4; ++i) {
        std::string name = "lock" + std::to_string(i + 1);
        aiVector3D lock;
        aiQuaternion lockRot;
        level->node(name)->mTransformation.Decompose(s, lockRot, lock);
        EXPECT_GT(std::fabs(doorRot.w * lockRot.w + doorRot.x * lockRot.x + doorRot.y * lockRot.y + doorRot.z * lockRot.z), 0.99999f);
        V expected = door + doorRot.Rotate(V(-0.074142f, 0.337119f - 0.045494f, anchorZ[i] + 0.084016f));
        EXPECT_NEAR(lock.x, expected.x, 1e-4) << name;
        EXPECT_NEAR(lock.y, expected.y, 1e-4) << name;
        EXPECT_NEAR(lock.z, expected.z, 1e-4) << name;
    }
}

// From the eye of a player pressed against the inside of the door, standing
// and crouched, each lock's body is the first thing a ray of 1.25 hits (the
// door's own body aside). That the digits show is checked by rendering the level.
TEST_F(AssetLevelModel, LocksAreInReachStandingAndCrouched) {
    const std::vector<Triangle> query = bodies(*level, {"door"});
    const aiMatrix4x4 doorM = globalTransform(level->node("door"));
    for (const float centreY : {0.91f, 0.91f - 0.35f}) {  // capsule centre on the floor
        const V eye(doorM.a4 - 0.168218f - 0.2f - 0.01f, centreY + (centreY > 0.9f ? 0.7f : 0.35f), doorM.c4);
        for (int i = 1; i <= 4; ++i) {
            const std::string name = "lock" + std::to_string(i);
            const aiMatrix4x4 m = globalTransform(level->node(name));
            float dist = 0;
            const Triangle* hit = firstHit(query, eye, V(m.a4, m.b4, m.c4), 1.25f, &dist);
            ASSERT_NE(hit, nullptr) << name << " out of reach, eye height " << eye.y;
            EXPECT_EQ(hit->owner, name);
        }
    }
}

// Walkable grid: a cell is free when no body within the capsule's radius rises
// between the step height and the top of the capsule.
struct Grid {
    float x0 = -3, z0 = -9, cell = 0.05f;
    int nx = 560, nz = 260;
    std::vector<char> blocked;

    explicit Grid(const std::vector<Triangle>& tris) : blocked(nx * nz, 0) {
        const float r = 0.2f, lowY = 0.11f, highY = 1.81f;
        for (auto& t : tris) {
            float ylo = std::min({t.a.y, t.b.y, t.c.y}), yhi = std::max({t.a.y, t.b.y, t.c.y});
            if (yhi < lowY || ylo > highY) continue;
            float xl = std::min({t.a.x, t.b.x, t.c.x}) - r, xh = std::max({t.a.x, t.b.x, t.c.x}) + r;
            float zl = std::min({t.a.z, t.b.z, t.c.z}) - r, zh = std::max({t.a.z, t.b.z, t.c.z}) + r;
            for (int iz = std::max(0, int((zl - z0) / cell)); iz < std::min(nz, int((zh - z0) / cell) + 1); ++iz)
                for (int ix = std::max(0, int((xl - x0) / cell)); ix < std::min(nx, int((xh - x0) / cell) + 1); ++ix)
                    if (distance2d(t, x0 + (ix + 0.5f) * cell, z0 + (iz + 0.5f) * cell) < r) blocked[iz * nx + ix] = 1;
        }
    }
    static float segment(float px, float pz, float ax, float az, float bx, float bz) {
        float dx = bx - ax, dz = bz - az, l = dx * dx + dz * dz;
        float t = l > 0 ? std::clamp(((px - ax) * dx + (pz - az) * dz) / l, 0.0f, 1.0f) : 0.0f;
        return std::hypot(px - ax - t * dx, pz - az - t * dz);
    }
    static float distance2d(const Triangle& t, float px, float pz) {
        auto side = [&](const V& a, const V& b) { return (b.x - a.x) * (pz - a.z) - (b.z - a.z) * (px - a.x); };
        float area = (t.b.x - t.a.x) * (t.c.z - t.a.z) - (t.b.z - t.a.z) * (t.c.x - t.a.x);
        float s1 = side(t.a, t.b), s2 = side(t.b, t.c), s3 = side(t.c, t.a);
        if (std::fabs(area) > 1e-8f && ((s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0))) return 0;
        return std::min({segment(px, pz, t.a.x, t.a.z, t.b.x, t.b.z), segment(px, pz, t.b.x, t.b.z, t.c.x, t.c.z),
                         segment(px, pz, t.c.x, t.c.z, t.a.x, t.a.z)});
    }
    int index(float x, float z) const { return int((z - z0) / cell) * nx + int((x - x0) / cell); }
    std::vector<char> reach(float x, float z) const {
        std::vector<char> seen(nx * nz, 0);
        std::deque<int> open{index(x, z)};
        seen[open.front()] = 1;
        while (!open.empty()) {
            int i = open.front();
            open.pop_front();
            for (int j : {i - 1, i + 1, i - nx, i + nx})
                if (j >= 0 && j < nx * nz && !seen[j] && !blocked[j]) {
                    seen[j] = 1;
                    open.push_back(j);
                }
        }
        return seen;
    }
};

TEST_F(AssetLevelModel, TheWayOutRunsThroughBothDoorsAndPastThePlate) {
    // the player's start lies in a closed cell: no way out while the door is shut
    const std::set<std::string> walkOn = {"floor", "pressure_plate", "labyrinth_goal", "lock1", "lock2", "lock3", "lock4",
                                          "Armature", "ceiling"};
    std::set<std::string> leave = walkOn;
    Grid shut(bodies(*level, leave));
    ASSERT_FALSE(shut.blocked[shut.index(0, 0)]) << "the player starts inside something";
    V goal = nodeCentre(*level, "labyrinth_goal"), plate = nodeCentre(*level, "pressure_plate");
    auto fromStart = shut.reach(0, 0);
    EXPECT_FALSE(fromStart[shut.index(plate.x, plate.z)]);
    size_t cellArea = std::count(fromStart.begin(), fromStart.end(), 1);
    EXPECT_LT(cellArea * 0.0025, 25.0) << "the cell is not closed";
    // the confetti bursts inside the cell, in sight of the start
    V confetti(2.555f, 1.202f, 0.8112f), start(0, 1.202f, 0);
    float d = 0;
    EXPECT_EQ(firstHit(bodies(*level, {}), start, confetti, (confetti - start).Length(), &d), nullptr);

    leave.insert("door");
    Grid open(bodies(*level, leave));
    auto reach = open.reach(0, 0);
    EXPECT_TRUE(reach[open.index(plate.x, plate.z)]);
    EXPECT_FALSE(reach[open.index(goal.x, goal.z)]) << "the labyrinth door does not close the way";
    // the guard walks inside the labyrinth, on ground the player can reach
    const float patrol[6][2] = {{12.9f, -5.23823f}, {12.9f, -2.15f}, {15, -2.15f}, {15, 0}, {17.4494f, 0}, {17.4494f, -5.23823f}};
    std::vector<Triangle> walls;
    level->meshTriangles(level->node("labyrinth"), walls, "labyrinth");
    for (int i = 0; i < 6; ++i) {
        const float* a = patrol[i];
        const float* b = patrol[(i + 1) % 6];
        for (float t = 0; t <= 1.0f; t += 0.05f) {
            float x = a[0] + t * (b[0] - a[0]), z = a[1] + t * (b[1] - a[1]);
            EXPECT_TRUE(reach[open.index(x, z)]) << x << ", " << z;
            for (auto& w : walls)  // the guard's body (1.9 wide) clears the walls
                if (std::max({w.a.y, w.b.y, w.c.y}) > 0.3f) {
                    ASSERT_GT(Grid::distance2d(w, x, z), 0.95f) << x << ", " << z;
                }
        }
    }

    leave.insert("labyrinth_door");
    Grid through(bodies(*level, leave));
    auto all = through.reach(0, 0);
    EXPECT_TRUE(all[through.index(goal.x, goal.z)]);
    // every reachable spot has a light within a few metres
    std::vector<V> lights;
    for (unsigned i = 0; i < level->scene->mNumLights; ++i) {
        aiMatrix4x4 m = globalTransform(level->node(level->scene->mLights[i]->mName.C_Str()));
        lights.emplace_back(m.a4, m.b4, m.c4);
    }
    for (int i = 0; i < through.nx * through.nz; i += 7)
        if (all[i]) {
            float x = through.x0 + (i % through.nx + 0.5f) * through.cell, z = through.z0 + (i / through.nx + 0.5f) * through.cell;
            float nearest = 1e9f;
            for (auto& l : lights) nearest = std::min(nearest, std::hypot(l.x - x, l.z - z));
            ASSERT_LT(nearest, 5.0f) << "dark spot at " << x << ", " << z;
        }
}

// The guard: the only skinned mesh (the game publishes the skeleton of the
// last one), drawn with the identity model matrix from a direct child of the
// root, every vertex weighted by at most four bones, top bones under
// "Armature"; a looping first animation with a channel per bone that,
// posed on the CPU, keeps the feet on the floor and the body in its box.
TEST_F(AssetLevelModel, GuardIsOneSkinnedMeshWalkingInsideItsBody) {
    const aiScene* sc = level->scene;
    const aiMesh* guard = nullptr;
    const aiNode* guardNode = nullptr;
    int skinned = 0;
    std::function<void(const aiNode*)> find = [&](const aiNode* n) {
        for (unsigned i = 0; i < n->mNumMeshes; ++i)
            if (sc->mMeshes[n->mMeshes[i]]->mNumBones > 0) ++skinned, guard = sc->mMeshes[n->mMeshes[i]], guardNode = n;
        for (unsigned i = 0; i < n->mNumChildren; ++i) find(n->mChildren[i]);
    };
    find(sc->mRootNode);
    ASSERT_EQ(skinned, 1);
    EXPECT_EQ(guardNode->mParent, sc->mRootNode);
    EXPECT_TRUE(guardNode->mTransformation.IsIdentity());
    EXPECT_STREQ(sc->mMaterials[guard->mMaterialIndex]->GetName().C_Str(), "Guard");

    const aiNode* armature = level->node("Armature");
    aiVector3D s, p;
    aiQuaternion q;
    armature->mTransformation.Decompose(s, q, p);
    EXPECT_LT((p - V(12.9f, 1.10005f, -5.23823f)).Length(), 1e-4f);
    EXPECT_GT(std::fabs(q.x * 0.70710678f - q.w * 0.70710678f), 0.9999f);  // (0.707, 0, 0, -0.707) up to sign

    std::vector<float> weightSum(guard->mNumVertices, 0);
    std::vector<int> influences(guard->mNumVertices, 0);
    std::set<const aiNode*> boneNodes;
    for (unsigned b = 0; b < guard->mNumBones; ++b) boneNodes.insert(guard->mBones[b]->mNode);
    for (unsigned b = 0; b < guard->mNumBones; ++b) {
        const aiBone* bone = guard->mBones[b];
        ASSERT_NE(bone->mNode, nullptr);
        EXPECT_TRUE(boneNodes.count(bone->mNode->mParent) || bone->mNode->mParent == armature) << bone->mName.C_Str();
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
        ASSERT_TRUE(ch && ch->mNumRotationKeys > 0 && ch->mNumPositionKeys > 0) << guard->mBones[b]->mName.C_Str();
        const aiQuaternion &first = ch->mRotationKeys[0].mValue, &last = ch->mRotationKeys[ch->mNumRotationKeys - 1].mValue;
        EXPECT_GT(std::fabs(first.x * last.x + first.y * last.y + first.z * last.z + first.w * last.w), 0.9999f)
            << guard->mBones[b]->mName.C_Str() << " does not loop";
    }

    // Skinned vertices at time t: the nearest earlier key of each channel.
    const auto pose = [&](double t) {
        std::map<const aiNode*, aiMatrix4x4> global{{armature, armature->mTransformation}};
        std::function<aiMatrix4x4(const aiNode*)> g = [&](const aiNode* n) -> aiMatrix4x4 {
            if (global.count(n)) return global[n];
            const aiNodeAnim* a = channels.at(n->mName.C_Str());
            unsigned r = 0, k = 0;
            while (r + 1 < a->mNumRotationKeys && a->mRotationKeys[r + 1].mTime <= t) ++r;
            while (k + 1 < a->mNumPositionKeys && a->mPositionKeys[k + 1].mTime <= t) ++k;
            aiMatrix4x4 local(aiMatrix3x3(a->mRotationKeys[r].mValue.GetMatrix()));
            local.a4 = a->mPositionKeys[k].mValue.x, local.b4 = a->mPositionKeys[k].mValue.y, local.c4 = a->mPositionKeys[k].mValue.z;
            return global[n] = g(n->mParent) * local;
        };
        std::vector<V> out(guard->mNumVertices, V(0, 0, 0));
        for (unsigned b = 0; b < guard->mNumBones; ++b) {
            const aiBone* bone = guard->mBones[b];
            const aiMatrix4x4 m = g(bone->mNode) * bone->mOffsetMatrix;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                const unsigned v = bone->mWeights[w].mVertexId;
                out[v] += (m * guard->mVertices[v]) * (bone->mWeights[w].mWeight / weightSum[v]);
            }
        }
        return out;
    };
    aiMatrix4x4 toLocal = armature->mTransformation;
    toLocal.Inverse();
    const std::vector<V> start = pose(0);
    float moved = 0;
    for (double t : {0.0, walk->mDuration * 0.25, walk->mDuration * 0.5, walk->mDuration * 0.75}) {
        const std::vector<V> posed = pose(t);
        float lowest = 1e9f, highest = -1e9f;
        for (unsigned v = 0; v < guard->mNumVertices; ++v) {
            lowest = std::min(lowest, posed[v].y);
            highest = std::max(highest, posed[v].y);
            const V l = toLocal * posed[v];  // inside the 0.85 x 1.9 x 1.7 body box, which ends above the knees
            ASSERT_TRUE(std::fabs(l.x) < 0.445f && std::fabs(l.y) < 0.95f && l.z < 0.91f && l.z > -1.15f)
                << "vertex " << v << " outside the body at t " << t;
            moved = std::max(moved, (posed[v] - start[v]).Length());
        }
        EXPECT_NEAR(lowest, 0.0f, 0.08f) << "feet off the floor at t " << t;
        EXPECT_GT(highest, 1.6f);
    }
    EXPECT_GT(moved, 0.15f) << "the walk does not move the limbs";
}

TEST(AssetStartModel, CellSurroundsTheOrbitingCamera) {
    Model start("assets/models/cell_start.fbx");
    expectSoundNodesAndMaterials(start);
    if (!start.scene) return;
    std::vector<Triangle> tris = start.visible();
    V camera(0.437884f, 1.84947f, 0.37266f);
    for (int a = 0; a < 72; ++a) {
        float angle = a * 0.0872665f;
        for (float pitch : {-0.3f, 0.0f, 0.3f}) {
            V dir(std::cos(angle) * std::cos(pitch), std::sin(pitch), std::sin(angle) * std::cos(pitch));
            float d = 0;
            ASSERT_NE(firstHit(tris, camera, camera + dir, 6.0f, &d), nullptr) << "open towards angle " << a * 5;
        }
    }
}

// The game clamps texture coordinates to the edge of the texture, so every
// coordinate of every mesh must stay inside the unit square; surfaces larger
// than one repeat of their texture are cut into tiles instead. No texture may
// be stretched over more than about two metres either.
TEST(AssetModels, TextureCoordinatesStayInsideTheUnitSquareAtTileSizedDensity) {
    for (const char* path : {"assets/models/cell.fbx", "assets/models/cell_start.fbx"}) {
        Model model(path);
        ASSERT_NE(model.scene, nullptr) << path << ": " << model.importer.GetErrorString();
        ASSERT_GT(model.scene->mNumMeshes, 0u) << path;
        for (unsigned i = 0; i < model.scene->mNumMeshes; ++i) {
            const aiMesh* mesh = model.scene->mMeshes[i];
            const std::string name = std::string(path) + " mesh " + mesh->mName.C_Str();
            ASSERT_TRUE(mesh->HasTextureCoords(0)) << name;
            const aiVector3D* uv = mesh->mTextureCoords[0];
            const float eps = 1e-4f;
            int outside = 0;
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const bool in = uv[v].x >= -eps && uv[v].x <= 1 + eps && uv[v].y >= -eps && uv[v].y <= 1 + eps;
                if (!in && outside++ < 3) {
                    ADD_FAILURE() << name << " vertex " << v << " at uv (" << uv[v].x << ", " << uv[v].y << ")";
                }
            }
            EXPECT_EQ(outside, 0) << name << " has texture coordinates outside 0..1";
            // metres of surface per texture repeat, from each triangle's area in
            // the mesh and in texture space (scale-free: nodes have unit scale)
            float widest = 0;
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const unsigned* ix = mesh->mFaces[f].mIndices;
                const V& a = mesh->mVertices[ix[0]];
                const float world = cross(mesh->mVertices[ix[1]] - a, mesh->mVertices[ix[2]] - a).Length();
                const V ta = uv[ix[0]], e1 = uv[ix[1]] - ta, e2 = uv[ix[2]] - ta;
                const float texture = std::fabs(e1.x * e2.y - e1.y * e2.x);
                if (texture > 1e-4f) widest = std::max(widest, std::sqrt(world / texture));
            }
            EXPECT_LT(widest, 2.05f) << name << ": one texture repeat covers " << widest << " m";
        }
    }
}

TEST(AssetFiles, ImagesAndFontDecode) {
    auto info = [](const char* path, int* w, int* h, int* c) { return stbi_info(path, w, h, c) == 1; };
    int w = 0, h = 0, c = 0;
    for (const char* icon : {"assets/textures/key_e.png", "assets/textures/key_e_pressed.png",
                             "assets/textures/glasses_icon.png"}) {
        ASSERT_TRUE(info(icon, &w, &h, &c)) << icon;
        EXPECT_EQ(w, h) << icon;
        EXPECT_EQ(c, 4) << icon << " has no alpha";
    }
    int faceSize = -1;
    for (const char* face : {"right", "left", "top", "bottom", "front", "back"}) {
        std::string path = std::string("assets/textures/cubemap/") + face + ".jpg";
        ASSERT_TRUE(info(path.c_str(), &w, &h, &c)) << path;
        EXPECT_EQ(w, h) << path;
        EXPECT_EQ(c, 3) << path;
        if (faceSize < 0) faceSize = w;
        EXPECT_EQ(w, faceSize) << path;
    }
    for (const char* path : {"assets/textures/missing_texture.png", "assets/icon.png", "assets/textures/key_e.png",
                             "assets/textures/cubemap/top.jpg"}) {
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
        EXPECT_NE(FT_Get_Char_Index(face, ch), 0u) << ch;
        EXPECT_EQ(FT_Load_Char(face, ch, FT_LOAD_RENDER), 0) << ch;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(ft);
    EXPECT_TRUE(std::filesystem::is_regular_file("assets/fonts/VT323-LICENSE.txt"));
}


// The poster hides the door code from the naked eye and shows it through the
// red glasses, which keep only the red channel: averaged over 7 x 7 pixels,
// the red channel splits (at Otsu's threshold) into a dark code and a bright
// field, while the same split leaves almost no difference in luminance.
TEST(AssetFiles, PosterCodeShowsOnlyThroughTheRedFilter) {
    int w = 0, h = 0, c = 0;
    stbi_uc* pixels = stbi_load("assets/textures/poster.png", &w, &h, &c, 3);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(w, 512);
    ASSERT_EQ(h, 512);
    std::vector<double> sumRed((w + 1) * (h + 1), 0.0), sumLuma((w + 1) * (h + 1), 0.0);  // summed-area tables
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const stbi_uc* p = pixels + 3 * (y * w + x);
            const int i = (y + 1) * (w + 1) + x + 1;
            sumRed[i] = p[0] + sumRed[i - 1] + sumRed[i - w - 1] - sumRed[i - w - 2];
            sumLuma[i] = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2] + sumLuma[i - 1] + sumLuma[i - w - 1] - sumLuma[i - w - 2];
        }
    stbi_image_free(pixels);
    const auto box = [&](const std::vector<double>& s, int x, int y) {
        const int x0 = x - 3, y0 = y - 3, x1 = x + 4, y1 = y + 4;
        return (s[y1 * (w + 1) + x1] - s[y0 * (w + 1) + x1] - s[y1 * (w + 1) + x0] + s[y0 * (w + 1) + x0]) / 49.0;
    };
    std::vector<double> red, luma, hist(256, 0.0);
    for (int y = 12; y < h - 12; ++y)  // the margin keeps the frame out
        for (int x = 12; x < w - 12; ++x) {
            red.push_back(box(sumRed, x, y));
            luma.push_back(box(sumLuma, x, y));
            hist[std::min(255, static_cast<int>(red.back()))] += 1;
        }
    const double total = static_cast<double>(red.size());
    double sumAll = 0, best = -1, count0 = 0, sum0 = 0;
    for (int t = 0; t < 256; ++t) sumAll += t * hist[t];
    int threshold = 0;
    for (int t = 0; t < 255; ++t) {
        count0 += hist[t], sum0 += t * hist[t];
        if (count0 == 0 || count0 == total) continue;
        const double m0 = sum0 / count0, m1 = (sumAll - sum0) / (total - count0);
        const double between = count0 * (total - count0) * (m0 - m1) * (m0 - m1);
        if (between > best) best = between, threshold = t;
    }
    double n[2] = {0, 0}, r[2] = {0, 0}, l[2] = {0, 0};
    for (size_t i = 0; i < red.size(); ++i) {
        const int k = std::min(255, static_cast<int>(red[i])) > threshold ? 1 : 0;
        n[k] += 1, r[k] += red[i], l[k] += luma[i];
    }
    ASSERT_GT(n[0], 0);
    ASSERT_GT(n[1], 0);
    EXPECT_GT(n[0] / total, 0.05) << "the dark part is specks, not four digits";
    EXPECT_LT(n[0] / total, 0.4) << "no bright field around the code";
    EXPECT_GT(r[1] / n[1] - r[0] / n[0], 100.0) << "the code is faint through the red filter";
    EXPECT_LT(std::fabs(l[1] / n[1] - l[0] / n[0]), 20.0) << "the code shows in full colour by its brightness";
}

}  // namespace

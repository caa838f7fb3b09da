// The object tree, meshes and the camera: transforms through parent chains,
// the box and overlay-plane geometry, draw rules, imported meshes.

#include "app/Logger.h"
#include "render/Camera.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Shader.h"
#include "tests/support/GlContext.h"

#include <assimp/mesh.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectNear(const glm::mat4& actual, const glm::mat4& expected, float tolerance = 1e-5f) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_NEAR(actual[c][r], expected[c][r], tolerance) << "element [" << c << "][" << r << "]";
        }
    }
}

glm::vec3 transformPoint(const glm::mat4& m, const glm::vec3& p) {
    return glm::vec3(m * glm::vec4(p, 1.0f));
}

// A mesh without GL objects that records its draws.
class RecordingMesh : public Mesh {
public:
    explicit RecordingMesh(std::vector<bool>* selections) : selections(selections) {}
    void draw(const glm::mat4&, Material*, bool selected) override { selections->push_back(selected); }

private:
    std::vector<bool>* selections;
};

struct MeshVertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 uv;
};

MeshVertex vertexOf(Mesh* mesh, int i) {
    const float* v = mesh->getVertices() + i * kFloatsPerVertex;
    return {{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7]}};
}

}  // namespace

TEST(ObjectTree, ModelMatricesFollowChangesAnywhereUpTheParentChain) {
    Object root("root");
    Object child("child");
    Object grandchild("grandchild");
    expectNear(root.getModelMatrix(), glm::mat4(1.0f));

    // Parented first, then placed, as the model loader does.
    child.setParent(&root);
    grandchild.setParent(&child);
    child.setPosition({0.0f, 1.0f, 0.0f});
    grandchild.setPosition({0.0f, 0.0f, 2.0f});
    root.scale({2.0f, 2.0f, 2.0f});
    expectNear(transformPoint(grandchild.getModelMatrix(), glm::vec3(0.0f)), {0.0f, 2.0f, 4.0f});

    // The caches are fresh now; moving the root must still reach the leaf.
    root.setPosition({10.0f, 0.0f, 0.0f});
    expectNear(transformPoint(grandchild.getModelMatrix(), glm::vec3(0.0f)), {10.0f, 2.0f, 4.0f});
    root.rotate({0.0f, 90.0f, 0.0f});
    expectNear(transformPoint(grandchild.getModelMatrix(), glm::vec3(0.0f)), {14.0f, 2.0f, 0.0f}, 1e-4f);
    child.translate({1.0f, 0.0f, 0.0f});
    expectNear(transformPoint(grandchild.getModelMatrix(), glm::vec3(0.0f)), {14.0f, 2.0f, -2.0f}, 1e-4f);

    // A null parent changes nothing; flags leave the cached matrix alone.
    grandchild.setParent(nullptr);
    EXPECT_EQ(grandchild.getParent(), &child);
    const glm::mat4 before = grandchild.getModelMatrix();
    grandchild.setHidden(true);
    grandchild.setSelected(true);
    grandchild.setDrawOnce();
    expectNear(grandchild.getModelMatrix(), before);
    ASSERT_EQ(root.getChildren().size(), 1u);
    EXPECT_EQ(root.getChildren()[0], &child);
}

TEST(ObjectTree, RotateTurnsAboutTheObjectsOwnAxes) {
    Object object("o");
    object.rotate({90.0f, 0.0f, 0.0f});
    object.rotate({0.0f, 90.0f, 0.0f});
    const glm::quat expected = glm::angleAxis(glm::radians(90.0f), glm::vec3(1, 0, 0)) *
                               glm::angleAxis(glm::radians(90.0f), glm::vec3(0, 1, 0));
    EXPECT_NEAR(std::abs(glm::dot(object.getRotation(), expected)), 1.0f, 1e-5f);
    // The second turn is about the already turned y axis: x ends up on +y.
    expectNear(glm::vec3(object.getModelMatrix() * glm::vec4(1, 0, 0, 0)), {0.0f, 1.0f, 0.0f});

    // All three angles in one call: x first, then y, then z, each about the new axes.
    Object all("all");
    all.rotate({30.0f, 40.0f, 50.0f});
    const glm::quat chain = glm::angleAxis(glm::radians(30.0f), glm::vec3(1, 0, 0)) *
                            glm::angleAxis(glm::radians(40.0f), glm::vec3(0, 1, 0)) *
                            glm::angleAxis(glm::radians(50.0f), glm::vec3(0, 0, 1));
    EXPECT_NEAR(std::abs(glm::dot(all.getRotation(), chain)), 1.0f, 1e-5f);
}

TEST(ObjectTree, SetTransformDecomposesIntoPositionScalingAndRotation) {
    Object object("o");
    object.setTransform(glm::translate(glm::mat4(1.0f), {1.0f, 2.0f, 3.0f}) *
                        glm::scale(glm::mat4(1.0f), {2.0f, 1.0f, 1.0f}));
    expectNear(object.getPosition(), {1.0f, 2.0f, 3.0f});
    expectNear(object.getScaling(), {2.0f, 1.0f, 1.0f});
    EXPECT_NEAR(std::abs(object.getRotation().w), 1.0f, 1e-6f);

    // A general rotation with unequal scales comes back as the same matrix.
    const glm::mat4 m = glm::translate(glm::mat4(1.0f), {-4.0f, 0.5f, 7.0f}) *
                        glm::mat4_cast(glm::angleAxis(0.7f, glm::normalize(glm::vec3(1, 2, 3)))) *
                        glm::scale(glm::mat4(1.0f), {0.5f, 3.0f, 1.5f});
    Object other("other");
    other.getModelMatrix();  // a fresh cache must be dropped by setTransform
    other.setTransform(m);
    expectNear(other.getScaling(), {0.5f, 3.0f, 1.5f});
    expectNear(other.getModelMatrix(), m, 1e-5f);
}

TEST(ObjectTree, HiddenDrawOnceAndSelectedRules) {
    std::vector<bool> draws;
    Object object("o");
    object.addMesh(new RecordingMesh(&draws));
    object.addMesh(new RecordingMesh(&draws));

    object.draw();
    EXPECT_EQ(draws, (std::vector<bool>{false, false}));

    object.setHidden(true);
    object.draw();
    EXPECT_EQ(draws.size(), 2u);

    // Shown once although hidden, then skipped again.
    object.setDrawOnce();
    object.setSelected(true);
    object.draw();
    EXPECT_EQ(draws, (std::vector<bool>{false, false, true, true}));
    EXPECT_FALSE(object.isDrawOnce());
    object.draw();
    EXPECT_EQ(draws.size(), 4u);

    // Without meshes the draw-once request waits.
    Object empty("empty");
    empty.setHidden(true);
    empty.setDrawOnce();
    empty.draw();
    EXPECT_TRUE(empty.isDrawOnce());
}

TEST(ObjectTree, MovedObjectKeepsItsMeshesAndTheSourceIsEmpty) {
    std::vector<bool> draws;
    Object source("source");
    source.addMesh(new RecordingMesh(&draws));
    Object moved(std::move(source));
    EXPECT_TRUE(source.getMeshes().empty());
    ASSERT_EQ(moved.getMeshes().size(), 1u);
    EXPECT_EQ(moved.getName(), "source");
    moved.draw();
    EXPECT_EQ(draws.size(), 1u);
}

class MeshGlTest : public GlTest {};

TEST_F(MeshGlTest, CubeIsAClosedBoxWithOutwardFacesAndFaceAlignedTextureCoordinates) {
    Cube cube("box", 2.0f, 4.0f, 6.0f);
    ASSERT_EQ(cube.getMeshes().size(), 1u);
    Mesh* mesh = cube.getMeshes()[0];
    ASSERT_EQ(mesh->getVertexCount(), 24);
    ASSERT_EQ(mesh->getIndexCount(), 36);
    EXPECT_EQ(mesh->getMaterial(), nullptr);

    glm::vec3 low(1e9f), high(-1e9f);
    for (int i = 0; i < 24; ++i) {
        const MeshVertex v = vertexOf(mesh, i);
        low = glm::min(low, v.position);
        high = glm::max(high, v.position);
        // The normal points along its face axis, out of the box.
        EXPECT_NEAR(glm::length(v.normal), 1.0f, 1e-6f);
        EXPECT_GT(glm::dot(v.normal, v.position), 0.0f) << "vertex " << i;
        EXPECT_TRUE(v.uv.x == 0.0f || v.uv.x == 1.0f);
        EXPECT_TRUE(v.uv.y == 0.0f || v.uv.y == 1.0f);
    }
    expectNear(low, {-1.0f, -2.0f, -3.0f});
    expectNear(high, {1.0f, 2.0f, 3.0f});

    const GLuint* indices = mesh->getIndices();
    for (int t = 0; t < 12; ++t) {
        const MeshVertex a = vertexOf(mesh, static_cast<int>(indices[3 * t]));
        const MeshVertex b = vertexOf(mesh, static_cast<int>(indices[3 * t + 1]));
        const MeshVertex c = vertexOf(mesh, static_cast<int>(indices[3 * t + 2]));
        // All three corners on one face, counter-clockwise seen from outside.
        EXPECT_EQ(a.normal, b.normal);
        EXPECT_EQ(a.normal, c.normal);
        EXPECT_GT(glm::dot(glm::cross(b.position - a.position, c.position - a.position), a.normal), 0.0f)
            << "triangle " << t;
        // Texture space is not mirrored: u x v has the winding of the triangle.
        const glm::vec2 du = b.uv - a.uv;
        const glm::vec2 dv = c.uv - a.uv;
        EXPECT_GT(du.x * dv.y - du.y * dv.x, 0.0f) << "triangle " << t;
    }
}

TEST_F(MeshGlTest, UIPlaneCoversItsBoxWithTheImageTopAtTheTopEdge) {
    UIPlane plane("plane", 0.5f, -0.25f, 0.25f, 0.5f);
    Mesh* mesh = plane.getMeshes()[0];
    ASSERT_EQ(mesh->getVertexCount(), 4);
    ASSERT_EQ(mesh->getIndexCount(), 6);
    const glm::mat4 model = plane.getModelMatrix();
    for (int i = 0; i < 4; ++i) {
        const MeshVertex v = vertexOf(mesh, i);
        const glm::vec3 placed = transformPoint(model, v.position);
        EXPECT_NEAR(std::abs(placed.x - 0.5f), 0.25f, 1e-6f);
        EXPECT_NEAR(std::abs(placed.y + 0.25f), 0.5f, 1e-6f);
        EXPECT_EQ(v.uv.y, v.position.y > 0 ? 0.0f : 1.0f);
        EXPECT_EQ(v.uv.x, v.position.x > 0 ? 1.0f : 0.0f);
    }
    const GLuint* indices = mesh->getIndices();
    for (int t = 0; t < 2; ++t) {
        const glm::vec3 a = vertexOf(mesh, static_cast<int>(indices[3 * t])).position;
        const glm::vec3 b = vertexOf(mesh, static_cast<int>(indices[3 * t + 1])).position;
        const glm::vec3 c = vertexOf(mesh, static_cast<int>(indices[3 * t + 2])).position;
        EXPECT_GT(glm::cross(b - a, c - a).z, 0.0f) << "culled triangle " << t;
    }
}

TEST_F(MeshGlTest, SelectedDrawRaisesAmbientForThatDrawOnly) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Material material(&shader);
    material.setKa(0.25f);
    Cube cube("box", 1.0f, 1.0f, 1.0f);
    const GLint ka = shader.getUniformLocation("ka");
    ASSERT_NE(ka, -1);
    float value = 0.0f;

    // Without a material nothing is drawn and no program is touched.
    glUseProgram(0);
    cube.draw();
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    cube.getMeshes()[0]->setMaterial(&material);
    cube.setSelected(true);
    cube.draw();
    glGetUniformfv(shader.getProgram(), ka, &value);
    EXPECT_EQ(value, 1.0f);
    cube.setSelected(false);
    cube.draw();
    glGetUniformfv(shader.getProgram(), ka, &value);
    EXPECT_EQ(value, 0.25f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MeshGlTest, ImportedMeshKeepsItsTrianglesAndFillsMissingAttributes) {
    aiMesh source;
    source.mNumVertices = 4;
    source.mVertices = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    source.mTextureCoords[0] = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    source.mNumUVComponents[0] = 2;
    // Two triangles and a stray line, which is not drawn.
    source.mNumFaces = 3;
    source.mFaces = new aiFace[3];
    const unsigned faces[3][3] = {{0, 1, 2}, {0, 2, 3}, {1, 3, 0}};
    for (int f = 0; f < 3; ++f) {
        source.mFaces[f].mNumIndices = f == 2 ? 2 : 3;
        source.mFaces[f].mIndices = new unsigned[3]{faces[f][0], faces[f][1], faces[f][2]};
    }

    Mesh* mesh = Mesh::fromAiMesh(&source, nullptr);
    EXPECT_EQ(mesh->getVertexCount(), 4);
    ASSERT_EQ(mesh->getIndexCount(), 6);
    EXPECT_EQ(std::vector<GLuint>(mesh->getIndices(), mesh->getIndices() + 6),
              (std::vector<GLuint>{0, 1, 2, 0, 2, 3}));
    const MeshVertex third = vertexOf(mesh, 2);
    EXPECT_EQ(third.position, glm::vec3(1, 1, 0));
    EXPECT_EQ(third.normal, glm::vec3(0.0f));  // the file had none
    EXPECT_EQ(third.uv, glm::vec2(1, 1));

    // The element buffer recorded in the vertex array holds exactly the triangles.
    glBindVertexArray(mesh->getVao());
    GLint elementBuffer = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(elementBuffer));
    GLint size = 0;
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 24);
    delete mesh;

    aiMesh empty;
    empty.mNumVertices = 1;
    empty.mVertices = new aiVector3D[1];
    Mesh* nothing = Mesh::fromAiMesh(&empty, nullptr);
    EXPECT_EQ(nothing->getIndexCount(), 0);
    delete nothing;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(CameraTest, ProjectionAndViewMatrices) {
    Camera camera(60.0, 1.0, 0.1, 100.0);
    const glm::mat4& p = camera.getProjection();
    EXPECT_NEAR(p[1][1], 1.7320508f, 1e-6f);
    EXPECT_NEAR(p[0][0], p[1][1], 1e-6f);
    EXPECT_NEAR(p[2][2], -1.002002f, 1e-6f);
    EXPECT_NEAR(p[3][2], -0.2002002f, 1e-6f);
    EXPECT_EQ(p[2][3], -1.0f);
    EXPECT_EQ(camera.getRight(), glm::vec3(0.0f));

    // A point straight ahead of the eye lands in the middle of the screen.
    const glm::vec4 ahead = camera.getViewProjection() * glm::vec4(0.0f, 1.7f, -10.0f, 1.0f);
    EXPECT_NEAR(ahead.x / ahead.w, 0.0f, 1e-6f);
    EXPECT_NEAR(ahead.y / ahead.w, 0.0f, 1e-6f);

    // The sky's matrix ignores the eye position; the ordinary one does not.
    const glm::mat4 sky = camera.getSkyboxViewProjection();
    expectNear(camera.getRight(), {1.0f, 0.0f, 0.0f});
    const glm::mat4 view = camera.getViewProjection();
    camera.setPosition({5.0f, -3.0f, 2.0f});
    expectNear(camera.getSkyboxViewProjection(), sky);
    EXPECT_NE(camera.getViewProjection(), view);

    // A longer front vector with the same direction changes neither.
    camera.setFront({0.0f, 0.0f, -7.0f});
    expectNear(camera.getSkyboxViewProjection(), sky);
    // Turning does: looking along +x, the sky's +x direction is straight ahead.
    camera.setFront({3.0f, 0.0f, 0.0f});
    const glm::vec4 east = camera.getSkyboxViewProjection() * glm::vec4(1.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(east.x / east.w, 0.0f, 1e-5f);
    EXPECT_GT(east.w, 0.0f);
}

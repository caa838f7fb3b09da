// The object tree, meshes and the camera: transforms through parent chains,
// the box and overlay-plane geometry, draw rules, imported meshes.

#include "render/Camera.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Shader.h"
#include "tests/support/RenderFixture.h"

#include <assimp/mesh.h>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

namespace {

glm::vec3 origin(Object& object) { return glm::vec3(object.getModelMatrix()[3]); }

// A mesh without GL objects that records its draws.
class RecordingMesh : public Mesh {
public:
    explicit RecordingMesh(std::vector<bool>* selections) : selections(selections) {}
    void draw(const glm::mat4&, Material*, bool selected) override { selections->push_back(selected); }

private:
    std::vector<bool>* selections;
};

struct MeshVertex {
    glm::vec3 position, normal;
    glm::vec2 uv;
};
MeshVertex vertexOf(Mesh* mesh, GLuint i) {
    const float* v = mesh->getVertices() + i * kFloatsPerVertex;
    return {{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7]}};
}

}  // namespace

TEST(ObjectTree, ModelMatricesFollowChangesAnywhereUpTheParentChain) {
    Object root("root"), child("child"), grandchild("grandchild");
    // Parented first, then placed, as the model loader does.
    child.setParent(&root);
    grandchild.setParent(&child);
    child.setPosition({0.0f, 1.0f, 0.0f});
    grandchild.setPosition({0.0f, 0.0f, 2.0f});
    root.scale({2.0f, 2.0f, 2.0f});
    expectNear(origin(grandchild), {0.0f, 2.0f, 4.0f});
    // The caches are fresh now; changes at the root must still reach the leaf.
    root.setPosition({10.0f, 0.0f, 0.0f});
    expectNear(origin(grandchild), {10.0f, 2.0f, 4.0f});
    root.rotate({0.0f, 90.0f, 0.0f});
    expectNear(origin(grandchild), {14.0f, 2.0f, 0.0f}, 1e-4f);
    child.translate({1.0f, 0.0f, 0.0f});
    expectNear(origin(grandchild), {14.0f, 2.0f, -2.0f}, 1e-4f);
    grandchild.setParent(nullptr);
    EXPECT_EQ(grandchild.getParent(), &child) << "a null parent changes nothing";
}

TEST(ObjectTree, RotateTurnsXThenYThenZAboutTheObjectsOwnAxesAndSetTransformDecomposes) {
    Object object("o");
    object.rotate({90.0f, 0.0f, 0.0f});
    object.rotate({0.0f, 90.0f, 0.0f});
    // The second turn is about the already turned y axis: x ends up on +y.
    expectNear(glm::vec3(object.getModelMatrix() * glm::vec4(1, 0, 0, 0)), {0.0f, 1.0f, 0.0f});
    Object all("all");
    all.rotate({30.0f, 40.0f, 50.0f});
    const glm::quat chain = glm::angleAxis(glm::radians(30.0f), glm::vec3(1, 0, 0)) *
                            glm::angleAxis(glm::radians(40.0f), glm::vec3(0, 1, 0)) *
                            glm::angleAxis(glm::radians(50.0f), glm::vec3(0, 0, 1));
    EXPECT_NEAR(std::abs(glm::dot(all.getRotation(), chain)), 1.0f, 1e-5f);

    // A general rotation with unequal scales comes back as the same matrix,
    // though the object's cache was fresh.
    const glm::mat4 m = glm::translate(glm::mat4(1.0f), {-4.0f, 0.5f, 7.0f}) *
                        glm::mat4_cast(glm::angleAxis(0.7f, glm::normalize(glm::vec3(1, 2, 3)))) *
                        glm::scale(glm::mat4(1.0f), {0.5f, 3.0f, 1.5f});
    all.setTransform(m);
    expectNear(all.getPosition(), {-4.0f, 0.5f, 7.0f});
    expectNear(all.getScaling(), {0.5f, 3.0f, 1.5f});
    EXPECT_LT(maxDifference(all.getModelMatrix(), m), 1e-5f);
}

TEST(ObjectTree, HiddenDrawOnceAndSelectedRulesAndMovesKeepTheMeshes) {
    std::vector<bool> draws;
    Object object("o");
    object.addMesh(new RecordingMesh(&draws));
    object.addMesh(new RecordingMesh(&draws));
    object.draw();
    object.setHidden(true);
    object.draw();
    EXPECT_EQ(draws, (std::vector<bool>{false, false}));
    // Shown once although hidden, then skipped again.
    object.setDrawOnce();
    object.setSelected(true);
    object.draw();
    object.draw();
    EXPECT_EQ(draws, (std::vector<bool>{false, false, true, true}));
    // Without meshes the draw-once request waits.
    Object empty("empty");
    empty.setHidden(true);
    empty.setDrawOnce();
    empty.draw();
    EXPECT_TRUE(empty.isDrawOnce());

    Object moved(std::move(object));
    EXPECT_TRUE(object.getMeshes().empty());
    EXPECT_EQ(moved.getMeshes().size(), 2u);
}

class MeshGlTest : public GlTest {};

TEST_F(MeshGlTest, CubeIsAClosedBoxWithOutwardFacesAndUIPlaneCoversItsBox) {
    Cube cube("box", 2.0f, 4.0f, 6.0f);
    Mesh* mesh = cube.getMeshes().at(0);
    ASSERT_EQ(mesh->getVertexCount(), 24);
    ASSERT_EQ(mesh->getIndexCount(), 36);
    glm::vec3 low(1e9f), high(-1e9f);
    for (GLuint i = 0; i < 24; ++i) {
        const MeshVertex v = vertexOf(mesh, i);
        low = glm::min(low, v.position);
        high = glm::max(high, v.position);
        EXPECT_GT(glm::dot(v.normal, v.position), 0.0f) << "vertex " << i << " faces inwards";
    }
    expectNear(low, {-1.0f, -2.0f, -3.0f});
    expectNear(high, {1.0f, 2.0f, 3.0f});
    const GLuint* indices = mesh->getIndices();
    for (int t = 0; t < 12; ++t) {
        const MeshVertex a = vertexOf(mesh, indices[3 * t]);
        const MeshVertex b = vertexOf(mesh, indices[3 * t + 1]);
        const MeshVertex c = vertexOf(mesh, indices[3 * t + 2]);
        // Counter-clockwise seen from outside; texture space not mirrored.
        EXPECT_TRUE(a.normal == b.normal && a.normal == c.normal) << "triangle " << t;
        EXPECT_GT(glm::dot(glm::cross(b.position - a.position, c.position - a.position), a.normal), 0.0f) << t;
        const glm::vec2 du = b.uv - a.uv, dv = c.uv - a.uv;
        EXPECT_GT(du.x * dv.y - du.y * dv.x, 0.0f) << "triangle " << t;
    }

    // The overlay plane covers its box, the image's top at the top edge, facing +z.
    UIPlane plane("plane", 0.5f, -0.25f, 0.25f, 0.5f);
    Mesh* quad = plane.getMeshes().at(0);
    ASSERT_EQ(quad->getIndexCount(), 6);
    for (GLuint i = 0; i < 4; ++i) {
        const MeshVertex v = vertexOf(quad, i);
        const glm::vec3 placed = glm::vec3(plane.getModelMatrix() * glm::vec4(v.position, 1.0f));
        EXPECT_NEAR(std::abs(placed.x - 0.5f), 0.25f, 1e-6f);
        EXPECT_NEAR(std::abs(placed.y + 0.25f), 0.5f, 1e-6f);
        EXPECT_EQ(v.uv, glm::vec2(v.position.x > 0 ? 1.0f : 0.0f, v.position.y > 0 ? 0.0f : 1.0f));
    }
    for (int t = 0; t < 2; ++t) {
        const glm::vec3 a = vertexOf(quad, quad->getIndices()[3 * t]).position;
        const glm::vec3 b = vertexOf(quad, quad->getIndices()[3 * t + 1]).position;
        const glm::vec3 c = vertexOf(quad, quad->getIndices()[3 * t + 2]).position;
        EXPECT_GT(glm::cross(b - a, c - a).z, 0.0f) << "culled triangle " << t;
    }
}

TEST_F(MeshGlTest, SelectedDrawRaisesAmbientForThatDrawOnlyAndNoMaterialDrawsNothing) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Material material(&shader);
    material.setKa(0.25f);
    Cube cube("box", 1.0f, 1.0f, 1.0f);
    glUseProgram(0);
    cube.draw();
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    cube.getMeshes()[0]->setMaterial(&material);
    float value = 0.0f;
    cube.setSelected(true);
    cube.draw();
    glGetUniformfv(shader.getProgram(), shader.getUniformLocation("ka"), &value);
    EXPECT_EQ(value, 1.0f);
    cube.setSelected(false);
    cube.draw();
    glGetUniformfv(shader.getProgram(), shader.getUniformLocation("ka"), &value);
    EXPECT_EQ(value, 0.25f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A mesh from a file without normals, with a face that is not a triangle,
// or without faces, still builds: zero normals, the face skipped.
TEST_F(MeshGlTest, ImportedMeshKeepsItsTrianglesAndFillsMissingAttributes) {
    aiMesh source;
    source.mNumVertices = 4;
    source.mVertices = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    source.mTextureCoords[0] = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    source.mNumUVComponents[0] = 2;
    source.mNumFaces = 3;
    source.mFaces = new aiFace[3];
    const unsigned faces[3][3] = {{0, 1, 2}, {0, 2, 3}, {1, 3, 0}};
    for (int f = 0; f < 3; ++f) {
        source.mFaces[f].mNumIndices = f == 2 ? 2 : 3;  // the last is a stray line
        source.mFaces[f].mIndices = new unsigned[3]{faces[f][0], faces[f][1], faces[f][2]};
    }
    std::unique_ptr<Mesh> mesh(Mesh::fromAiMesh(&source, nullptr));
    ASSERT_EQ(mesh->getIndexCount(), 6);
    EXPECT_EQ(std::vector<GLuint>(mesh->getIndices(), mesh->getIndices() + 6),
              (std::vector<GLuint>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(vertexOf(mesh.get(), 2).normal, glm::vec3(0.0f));
    EXPECT_EQ(vertexOf(mesh.get(), 2).uv, glm::vec2(1, 1));
    // The element buffer recorded in the vertex array holds exactly the triangles.
    glBindVertexArray(mesh->getVao());
    GLint elementBuffer = 0, size = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(elementBuffer));
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 24);

    aiMesh empty;
    empty.mNumVertices = 1;
    empty.mVertices = new aiVector3D[1];
    EXPECT_EQ(std::unique_ptr<Mesh>(Mesh::fromAiMesh(&empty, nullptr))->getIndexCount(), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(CameraTest, ProjectionAndTheSkysViewIgnoringThePosition) {
    Camera camera(60.0, 1.0, 0.1, 100.0);
    EXPECT_NEAR(camera.getProjection()[1][1], 1.7320508f, 1e-6f);
    EXPECT_NEAR(camera.getProjection()[3][2], -0.2002002f, 1e-6f);
    // A point straight ahead of the eye lands in the middle of the screen.
    const glm::vec4 ahead = camera.getViewProjection() * glm::vec4(0.0f, 1.7f, -10.0f, 1.0f);
    EXPECT_NEAR(ahead.x / ahead.w, 0.0f, 1e-6f);
    EXPECT_NEAR(ahead.y / ahead.w, 0.0f, 1e-6f);

    const glm::mat4 sky = camera.getSkyboxViewProjection();
    const glm::mat4 view = camera.getViewProjection();
    camera.setPosition({5.0f, -3.0f, 2.0f});
    camera.setFront({0.0f, 0.0f, -7.0f});  // longer, same direction
    EXPECT_LT(maxDifference(camera.getSkyboxViewProjection(), sky), 1e-5f);
    EXPECT_NE(camera.getViewProjection(), view);
    // Looking along +x, the sky's +x direction is straight ahead.
    camera.setFront({3.0f, 0.0f, 0.0f});
    const glm::vec4 east = camera.getSkyboxViewProjection() * glm::vec4(1.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(east.x / east.w, 0.0f, 1e-5f);
    EXPECT_GT(east.w, 0.0f);
}

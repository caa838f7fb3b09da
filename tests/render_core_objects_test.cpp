// The object tree and meshes: transforms through parent chains, the box
// geometry, draw rules. (Imported meshes: model import tests.)

#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Shader.h"
#include "tests/support/RenderFixture.h"

#include <assimp/mesh.h>
#include <glm/gtc/matrix_transform.hpp>
#include <stb/stb_image.h>

#include <cmath>

namespace {

glm::vec3 origin(Object& object) { return glm::vec3(object.getModelMatrix()[3]); }

// A mesh without GL objects that records its draws.
struct RecordingMesh : Mesh {
    explicit RecordingMesh(std::vector<bool>* selections) : selections(selections) {}
    void draw(const glm::mat4&, Material*, bool selected) override { selections->push_back(selected); }
    std::vector<bool>* selections;
};

struct MeshVertex {
    glm::vec3 position, normal;
};
MeshVertex vertexOf(Mesh* mesh, GLuint i) {
    const float* v = mesh->getVertices() + i * kFloatsPerVertex;
    return {{v[0], v[1], v[2]}, {v[3], v[4], v[5]}};
}

}  // namespace

TEST(ObjectTree, ModelMatricesFollowTheParentChainRotateTurnsOwnAxesSetTransformDecomposes) {
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
    // Each turn is about the object's own axes as the turns before left them.
    Object object("o");
    object.rotate({90.0f, 0.0f, 0.0f});
    object.rotate({0.0f, 90.0f, 0.0f});
    // The second turn is about the already turned y axis: x ends up on +y.
    expectNear(glm::vec3(object.getModelMatrix() * glm::vec4(1, 0, 0, 0)), {0.0f, 1.0f, 0.0f});
    // A general rotation with unequal scales comes back as the same matrix, though the cache was fresh.
    Object all("all");
    all.rotate({30.0f, 40.0f, 50.0f});
    all.getModelMatrix();
    const glm::mat4 m = glm::translate(glm::mat4(1.0f), {-4.0f, 0.5f, 7.0f}) *
                        glm::mat4_cast(glm::angleAxis(0.7f, glm::normalize(glm::vec3(1, 2, 3)))) *
                        glm::scale(glm::mat4(1.0f), {0.5f, 3.0f, 1.5f});
    all.setTransform(m);
    expectNear(all.getPosition(), {-4.0f, 0.5f, 7.0f});
    expectNear(all.getScaling(), {0.5f, 3.0f, 1.5f});
    EXPECT_LT(maxDifference(all.getModelMatrix(), m), 1e-5f);
    // A flattened axis leaves no rotation to read: the identity, nothing NaN down the tree.
    Object leaf("leaf");
    leaf.setParent(&all);
    all.setTransform(m * glm::scale(glm::mat4(1.0f), {1.0f, 0.0f, 1.0f}));
    EXPECT_EQ(all.getRotation(), glm::quat(1.0f, 0.0f, 0.0f, 0.0f));
    expectNear(origin(leaf), {-4.0f, 0.5f, 7.0f});
}

TEST(ObjectTree, HiddenDrawOnceAndSelectedRules) {
    std::vector<bool> draws;
    Object object("o");
    object.addMesh(new RecordingMesh(&draws));
    object.addMesh(new RecordingMesh(&draws));
    object.draw();
    object.setHidden(true);
    object.draw();
    object.setDrawOnce();  // shown once although hidden, then skipped again
    object.setSelected(true);
    object.draw();
    object.draw();
    EXPECT_EQ(draws, (std::vector<bool>{false, false, true, true}));
}

class MeshGlTest : public GlTest {};

// A box spans its extents with outward faces, counter-clockwise seen from
// outside (so culling keeps them). (UV layout and the overlay plane show in the
// renderer's and the display's pictures.)
TEST_F(MeshGlTest, CubeIsAClosedBoxWithOutwardFacesAndSelectionRaisesAmbient) {
    Cube cube("box", 2.0f, 4.0f, 6.0f);
    Mesh* mesh = cube.getMeshes().at(0);
    ASSERT_TRUE(mesh->getVertexCount() == 24 && mesh->getIndexCount() == 36);
    glm::vec3 high(-1e9f);
    for (GLuint i = 0; i < 24; ++i) high = glm::max(high, vertexOf(mesh, i).position);
    expectNear(high, {1.0f, 2.0f, 3.0f});
    for (int t = 0; t < 12; ++t) {
        const GLuint* i = mesh->getIndices() + 3 * t;
        const MeshVertex a = vertexOf(mesh, i[0]), b = vertexOf(mesh, i[1]), c = vertexOf(mesh, i[2]);
        EXPECT_GT(glm::dot(a.normal, a.position), 0.0f) << "triangle " << t << " faces inwards";
        EXPECT_GT(glm::dot(glm::cross(b.position - a.position, c.position - a.position), a.normal), 0.0f) << t;
    }
    // A mesh without material draws nothing; a selected one raises ambient for that draw only.
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Material material(&shader);
    material.setKa(0.25f);
    glUseProgram(0);
    cube.draw();
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
    cube.getMeshes()[0]->setMaterial(&material);
    for (const bool selected : {true, false}) {
        float ka = 0.0f;
        cube.setSelected(selected);
        cube.draw();
        glGetUniformfv(shader.getProgram(), shader.getUniformLocation("ka"), &ka);
        EXPECT_EQ(ka, selected ? 1.0f : 0.25f);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// An imported triangle that names a vertex past the last one (an index equal
// to the vertex count, or beyond) is left out with a warning, so neither the
// draw nor the physics ever reads there; the others keep their order.
TEST_F(MeshGlTest, AnImportedTriangleNamingAVertexPastTheLastIsLeftOut) {
    aiMesh source;
    source.mName = "shard";
    source.mNumVertices = 3;
    source.mVertices = new aiVector3D[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<std::vector<unsigned>> faces = {{0, 1, 2}, {3, 0, 1}, {0, 3, 1}, {2, 1, 0}, {0, 1, 3}, {7, 7, 7}};
    source.mNumFaces = static_cast<unsigned>(faces.size());
    source.mFaces = new aiFace[faces.size()];
    for (size_t f = 0; f < faces.size(); ++f) {
        source.mFaces[f].mNumIndices = 3;
        source.mFaces[f].mIndices = new unsigned[3]{faces[f][0], faces[f][1], faces[f][2]};
    }
    testing::internal::CaptureStdout();
    std::unique_ptr<Mesh> mesh(Mesh::fromAiMesh(&source, nullptr));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::vector<GLuint>(mesh->getIndices(), mesh->getIndices() + mesh->getIndexCount()),
              (std::vector<GLuint>{0, 1, 2, 2, 1, 0}));
    EXPECT_NE(out.find("[WARNING] Mesh shard: 4 triangles name vertices it does not have; they are not drawn"),
              std::string::npos) << out;
    GLint elementBytes = 0;
    glBindVertexArray(mesh->getVao());
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &elementBytes);
    EXPECT_EQ(elementBytes, 6 * 4);
}

// The display's icons at their own size (96 by 96 pixels), so that each
// window pixel shows one texel.
class OverlayIconTest : public RenderFixture {
protected:
    OverlayIconTest() : RenderFixture(96, 96) {}
};

// An icon drawn on an overlay plane as the display draws it (the "UI"
// program, the HUD's filters, over the white frame) shows the image file
// upright: the file's first row at the top of the plane. Compared with the
// file over white, pixel by pixel, and with the file upside down.
TEST_F(OverlayIconTest, IconsShowUprightAsInTheirFiles) {
    renderer->addOverlayScene(overlay.get());
    for (const char* icon : {"assets/textures/key_e.png", "assets/textures/glasses_icon.png"}) {
        int w = 0, h = 0, n = 0;
        unsigned char* file = stbi_load(icon, &w, &h, &n, 4);
        ASSERT_TRUE(file != nullptr && w == width && h == height) << icon;
        // The file over the white frame, at window pixel (x, y), y counted from the bottom.
        const auto expected = [&](int x, int y, bool upsideDown) {
            const unsigned char* t = file + ((upsideDown ? y : height - 1 - y) * width + x) * 4;
            const float a = t[3] / 255.0f;
            return glm::vec3(t[0], t[1], t[2]) * a + glm::vec3(255.0f * (1.0f - a));
        };
        const std::string name = std::string("icon_") + std::to_string(overlay->getObjects().size());
        overlay->getMaterialManager().create(name, renderer->getShaderManager().get("UI"));
        overlay->getMaterialManager().get(name)->addTexture(icon, kDiffuseTextureUnit, GL_LINEAR_MIPMAP_LINEAR,
                                                            GL_LINEAR);
        UIPlane* plane = overlay->createUIPlane(name, name, 0.0f, 0.0f, 1.0f, 1.0f);
        const std::vector<uint8_t> pixels = frame("overlay_" + name);
        plane->setHidden(true);
        float upright = 0.0f, flipped = 0.0f, asymmetry = 0.0f;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Rgba p = at(pixels, x, y);
                const glm::vec3 shown(p.r, p.g, p.b);
                upright += glm::length(shown - expected(x, y, false));
                flipped += glm::length(shown - expected(x, y, true));
                asymmetry += glm::length(expected(x, y, false) - expected(x, y, true));
            }
        }
        stbi_image_free(file);
        const float pixelsCount = static_cast<float>(width * height);
        ASSERT_GT(asymmetry / pixelsCount, 20.0f) << icon << " reads the same upside down; it cannot tell";
        EXPECT_LT(upright / pixelsCount, 3.0f) << icon;
        EXPECT_GT(flipped / pixelsCount, 15.0f) << icon;
    }
}

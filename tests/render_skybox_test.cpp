// The sky with the game's own cube-map faces, drawn through the "skybox"
// program into the window and read back.

#include "render/Camera.h"
#include "render/Shader.h"
#include "render/Skybox.h"
#include "tests/support/Process.h"
#include "tests/support/RenderFixture.h"

#include <glm/gtc/type_ptr.hpp>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

namespace {

constexpr int kSize = 64;

// The texel GL samples from the faces (decoded on the CPU) for a direction:
// the major axis picks the face, (s, t) as GL's cube-map table, t = 0 at the file's first row.
glm::vec3 cubeTexel(const std::vector<std::vector<unsigned char>>& faces, int size, const glm::vec3& d) {
    const glm::vec3 a = glm::abs(d);
    int face;
    glm::vec2 st;
    if (a.x >= a.y && a.x >= a.z) {
        face = d.x > 0 ? 0 : 1;
        st = glm::vec2(d.x > 0 ? -d.z : d.z, -d.y) / a.x;
    } else if (a.y >= a.z) {
        face = d.y > 0 ? 2 : 3;
        st = glm::vec2(d.x, d.y > 0 ? d.z : -d.z) / a.y;
    } else {
        face = d.z > 0 ? 4 : 5;
        st = glm::vec2(d.z > 0 ? d.x : -d.x, -d.y) / a.z;
    }
    const glm::ivec2 texel = glm::min(glm::ivec2((st + 1.0f) * 0.5f * static_cast<float>(size)), size - 1);
    const unsigned char* p = faces[face].data() + (texel.y * size + texel.x) * 3;
    return glm::vec3(p[0], p[1], p[2]);
}

class SkyboxTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        shader = std::make_unique<Shader>("assets/shaders/skybox.vsh", "assets/shaders/skybox.fsh");
        applyGameGlState();
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // as the font loader leaves it before any sky is built
    }
    void TearDown() override {
        shader.reset();
        GlTest::TearDown();
    }
    // Draws the sky seen from the camera into the window cleared to magenta.
    std::vector<uint8_t> render(Skybox& sky, Camera& camera) {
        clearWindow(kSize, kSize, 1.0f, 0.0f, 1.0f);
        const glm::mat4 matrix = camera.getSkyboxViewProjection();
        shader->setMat4("viewProjectionMatrix", 1, GL_FALSE, glm::value_ptr(matrix));
        sky.draw();
        return readBackBuffer(kSize, kSize);
    }
    std::unique_ptr<Shader> shader;
    Camera camera{90.0, 1.0, 0.1, 100.0};
};

// Every pixel shows what the cube map holds for its direction, along each
// axis, wherever the eye is: a face in the wrong place or mirrored fails.
TEST_F(SkyboxTest, EachDirectionShowsItsFaceAndTheSkyFillsTheView) {
    Skybox sky(kSkyFaces, shader.get());
    std::vector<std::vector<unsigned char>> faces;
    int size = 0;
    for (const std::string& path : kSkyFaces) {
        int h = 0, n = 0;
        unsigned char* data = stbi_load(path.c_str(), &size, &h, &n, 3);
        ASSERT_TRUE(data != nullptr && size == h) << path;
        faces.emplace_back(data, data + size * h * 3);
        stbi_image_free(data);
    }
    // Straight up or down is degenerate for the view; lean a hair off the axis.
    const glm::vec3 directions[6] = {{1, 0, 0}, {-1, 0, 0}, {0.001f, 1, 0}, {0.001f, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    camera.setPosition({50.0f, -20.0f, 30.0f});  // the sky ignores where the eye is
    for (int i = 0; i < 6; ++i) {
        camera.setFront(directions[i]);
        const std::vector<uint8_t> pixels = render(sky, camera);
        const glm::mat4 toWorld = glm::inverse(camera.getSkyboxViewProjection());
        float difference = 0.0f;
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const glm::vec4 far = toWorld * glm::vec4((x + 0.5f) / kSize * 2 - 1, (y + 0.5f) / kSize * 2 - 1, 1, 1);
                const Rgba p = pixelAt(pixels, kSize, x, y);
                difference += glm::length(glm::vec3(p.r, p.g, p.b) - cubeTexel(faces, size, glm::vec3(far) / far.w));
            }
        }
        // About 2 when right; a face in the wrong place, mirrored or missing gives over 20.
        EXPECT_LT(difference / (kSize * kSize), 8.0f) << kSkyFaces[i];
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Bad faces (not square, of another size than most; missing ones: the start-up
// test) are named and leave only their own face black, even when the odd one
// comes first; single-channel faces arrive as RGB.
TEST_F(SkyboxTest, BadFacesAreLoggedAndTheRestStillLoads) {
    TempDir dir;
    const std::string wide = (dir.path() / "wide.png").string(), mono = (dir.path() / "grey.png").string();
    const std::vector<unsigned char> grey(32 * 16 * 3, 90);
    ASSERT_NE(stbi_write_png(wide.c_str(), 32, 16, 3, grey.data(), 32 * 3), 0);
    ASSERT_NE(stbi_write_png(mono.c_str(), 16, 16, 1, grey.data(), 16), 0);
    std::vector<std::string> faces = kSkyFaces;
    faces[1] = wide;                                    // -x
    faces[0] = mono;                                    // +x, the first: square, but smaller than the others
    testing::internal::CaptureStderr();
    Skybox sky(faces, shader.get());
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find(wide), std::string::npos);
    EXPECT_NE(errors.find("Cubemap tex at path: " + mono + " is 16x16, unlike the other faces (512x512)"),
              std::string::npos) << errors;
    for (size_t i = 2; i < faces.size(); ++i) EXPECT_EQ(errors.find(faces[i]), std::string::npos) << errors;
    Skybox greySky(std::vector<std::string>(6, mono), shader.get());
    const Rgba middle = pixelAt(render(greySky, camera), kSize, kSize / 2, kSize / 2);
    EXPECT_TRUE(std::abs(middle.r - 90) <= 2 && std::abs(middle.g - 90) <= 2 && std::abs(middle.b - 90) <= 2);
    // An incomplete cube map samples as black; the game goes on drawing.
    const Rgba black = pixelAt(render(sky, camera), kSize, kSize / 2, kSize / 2);
    EXPECT_LT(black.r + black.g + black.b, 3);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Between two sizes that equally many faces share, the one met first in the
// list decides: the faces of the other size are named and left out, whichever
// size is the larger, also with faces that count for neither.
TEST_F(SkyboxTest, OnATieTheFaceSizeMetFirstDecides) {
    TempDir dir;
    const std::string small = (dir.path() / "small.png").string(), wide = (dir.path() / "wide.png").string();
    const std::vector<unsigned char> grey(32 * 16 * 3, 90);
    ASSERT_NE(stbi_write_png(small.c_str(), 16, 16, 3, grey.data(), 16 * 3), 0);
    ASSERT_NE(stbi_write_png(wide.c_str(), 32, 16, 3, grey.data(), 32 * 3), 0);
    // Per face: 's' the small square, 'g' the game's 512 face of that place, 'w' not square.
    const struct {
        const char* layout;
        int kept;
    } cases[] = {{"sssggg", 16}, {"gggsss", 512}, {"wsggsw", 16}, {"wgssgw", 512}};
    for (const auto& c : cases) {
        std::vector<std::string> faces;
        for (int i = 0; i < 6; ++i) {
            faces.push_back(c.layout[i] == 's' ? small : c.layout[i] == 'w' ? wide : kSkyFaces[i]);
        }
        testing::internal::CaptureStderr();
        Skybox sky(faces, shader.get());
        const std::string errors = testing::internal::GetCapturedStderr();
        glBindTexture(GL_TEXTURE_CUBE_MAP, sky.getTexture());
        for (int i = 0; i < 6; ++i) {
            const int size = c.layout[i] == 's' ? 16 : 512;
            const bool kept = c.layout[i] != 'w' && size == c.kept;
            GLint uploaded = -1;
            glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_TEXTURE_WIDTH, &uploaded);
            EXPECT_EQ(uploaded, kept ? size : 0) << c.layout << " face " << i;
            const std::string odd = "Cubemap tex at path: " + faces[i] + " is " + std::to_string(size) + "x" +
                                    std::to_string(size) + ", unlike the other faces (" + std::to_string(c.kept) +
                                    "x" + std::to_string(c.kept) + ")";
            EXPECT_EQ(errors.find(odd) != std::string::npos, c.layout[i] != 'w' && !kept) << c.layout << "\n" << errors;
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace

// The sky with the game's own cube-map faces, drawn through the "skybox"
// program into an off-screen target and read back.

#include "app/Logger.h"
#include "render/Camera.h"
#include "render/Shader.h"
#include "render/Skybox.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>
#include <glm/gtc/type_ptr.hpp>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 64;

// The six faces decoded on the CPU, to look directions up the way GL does.
struct CpuCubemap {
    int size = 0;
    std::vector<std::vector<unsigned char>> faces;

    explicit CpuCubemap(const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            int w = 0, h = 0, n = 0;
            unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 3);
            EXPECT_NE(data, nullptr) << path;
            EXPECT_EQ(w, h) << path;
            size = w;
            faces.emplace_back(data, data + (data ? w * h * 3 : 0));
            stbi_image_free(data);
        }
    }

    // The texel GL samples for a direction: the major axis picks the face,
    // (s, t) as in the cube-map selection table of the GL specification,
    // t = 0 at the first row of the file.
    glm::vec3 sample(const glm::vec3& d) const {
        const glm::vec3 a = glm::abs(d);
        int face;
        float sc, tc, ma;
        if (a.x >= a.y && a.x >= a.z) {
            face = d.x > 0 ? 0 : 1;
            sc = d.x > 0 ? -d.z : d.z;
            tc = -d.y;
            ma = a.x;
        } else if (a.y >= a.z) {
            face = d.y > 0 ? 2 : 3;
            sc = d.x;
            tc = d.y > 0 ? d.z : -d.z;
            ma = a.y;
        } else {
            face = d.z > 0 ? 4 : 5;
            sc = d.z > 0 ? d.x : -d.x;
            tc = -d.y;
            ma = a.z;
        }
        const int col = std::min(size - 1, static_cast<int>((sc / ma + 1.0f) * 0.5f * size));
        const int row = std::min(size - 1, static_cast<int>((tc / ma + 1.0f) * 0.5f * size));
        const unsigned char* p = faces[face].data() + (row * size + col) * 3;
        return glm::vec3(p[0], p[1], p[2]);
    }
};

// Mean colour of the middle 8x8 pixels of a read-back image.
glm::vec3 centreColour(const std::vector<uint8_t>& pixels) {
    glm::vec3 sum(0.0f);
    for (int y = kSize / 2 - 4; y < kSize / 2 + 4; ++y) {
        for (int x = kSize / 2 - 4; x < kSize / 2 + 4; ++x) {
            const Rgba p = pixelAt(pixels, kSize, x, y);
            sum += glm::vec3(p.r, p.g, p.b);
        }
    }
    return sum / 64.0f;
}

class SkyboxTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        target = std::make_unique<RenderTarget>(kSize, kSize);
        shader = std::make_unique<Shader>("assets/shaders/skybox.vsh", "assets/shaders/skybox.fsh");
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        // The font loader leaves rows tightly packed before any sky is built.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    void TearDown() override {
        shader.reset();
        target.reset();
        GlTest::TearDown();
    }

    // Draws the sky seen from the camera into the cleared target.
    std::vector<uint8_t> render(Skybox& sky, Camera& camera, int attachment = 0) {
        target->bindAndClear(1.0f, 0.0f, 1.0f, 1.0f);
        const glm::mat4 matrix = camera.getSkyboxViewProjection();
        shader->setMat4("viewProjectionMatrix", 1, GL_FALSE, glm::value_ptr(matrix));
        sky.draw();
        return target->read(attachment);
    }

    std::unique_ptr<RenderTarget> target;
    std::unique_ptr<Shader> shader;
};

// Looking along each axis shows the middle of the face that belongs to that
// axis, and the sky covers every pixel.
TEST_F(SkyboxTest, EachDirectionShowsItsFaceAndTheSkyFillsTheView) {
    Skybox sky(kSkyFaces, shader.get());
    Camera camera(90.0, 1.0, 0.1, 100.0);
    // Straight up or down is degenerate for the view; lean a hair off the axis.
    const glm::vec3 directions[6] = {{1, 0, 0},        {-1, 0, 0}, {0.001f, 1, 0},
                                     {0.001f, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    const std::vector<std::string> faces = kSkyFaces;
    const CpuCubemap cpu(faces);
    std::vector<uint8_t> strip(static_cast<std::size_t>(kSize) * 6 * kSize * 4);
    for (int i = 0; i < 6; ++i) {
        camera.setFront(directions[i]);
        const std::vector<uint8_t> pixels = render(sky, camera);
        int magenta = 0;
        for (int p = 0; p < kSize * kSize; ++p) {
            magenta += (pixels[p * 4] == 255 && pixels[p * 4 + 1] == 0 && pixels[p * 4 + 2] == 255);
        }
        EXPECT_EQ(magenta, 0) << "uncovered pixels looking at " << faces[i];
        // Every pixel shows what the cube map holds for its direction.
        const glm::mat4 toWorld = glm::inverse(camera.getSkyboxViewProjection());
        float difference = 0.0f;
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const glm::vec4 far = toWorld * glm::vec4((x + 0.5f) / kSize * 2.0f - 1.0f,
                                                          (y + 0.5f) / kSize * 2.0f - 1.0f, 1.0f, 1.0f);
                const glm::vec3 expected = cpu.sample(glm::vec3(far) / far.w);
                const Rgba p = pixelAt(pixels, kSize, x, y);
                difference += glm::length(glm::vec3(p.r, p.g, p.b) - expected);
            }
        }
        difference /= kSize * kSize;
        // About 2 when right; a face in the wrong place or mirrored gives over 20.
        EXPECT_LT(difference, 8.0f) << faces[i];
        for (int y = 0; y < kSize; ++y) {
            std::copy_n(pixels.begin() + y * kSize * 4, kSize * 4,
                        strip.begin() + (y * kSize * 6 + i * kSize) * 4);
        }
    }
    savePng("skybox_six_directions", strip, kSize * 6, kSize);
    // The normal output faces the eye: looking along -z, +z encoded as 0.5 * n + 0.5.
    const Rgba normal = pixelAt(target->read(1), kSize, kSize / 2, kSize / 2);
    EXPECT_TRUE(std::abs(normal.r - 128) <= 3 && std::abs(normal.g - 128) <= 3 && normal.b >= 252);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SkyboxTest, SkyStaysBehindGeometryAndRestoresTheDepthFunction) {
    Skybox sky(kSkyFaces, shader.get());
    Camera camera(90.0, 1.0, 0.1, 100.0);

    // Something nearer already covers the left half: depth 0.5 there.
    target->bindAndClear(1.0f, 0.0f, 1.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, kSize / 2, kSize);
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearDepth(1.0);

    glDepthFunc(GL_GREATER);
    const glm::mat4 matrix = camera.getSkyboxViewProjection();
    shader->setMat4("viewProjectionMatrix", 1, GL_FALSE, glm::value_ptr(matrix));
    sky.draw();
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LESS);

    const std::vector<uint8_t> pixels = target->read();
    for (int y = 0; y < kSize; y += 7) {
        const Rgba left = pixelAt(pixels, kSize, 5, y);
        const Rgba right = pixelAt(pixels, kSize, kSize - 5, y);
        EXPECT_TRUE(left.r == 255 && left.g == 0 && left.b == 255) << "sky over nearer geometry";
        EXPECT_FALSE(right.r == 255 && right.g == 0 && right.b == 255) << "no sky behind nothing";
    }
}

// Bad faces are reported and leave only their own face black; nothing stops.
TEST_F(SkyboxTest, BadFacesAreLoggedAndTheRestStillLoads) {
    const std::string dir = testOutputDir();
    const std::string wide = dir + "/sky_wide_face.png";
    std::vector<unsigned char> grey(32 * 16 * 3, 200);
    ASSERT_NE(stbi_write_png(wide.c_str(), 32, 16, 3, grey.data(), 32 * 3), 0);
    // A single-channel square face still arrives as RGB.
    const std::string mono = dir + "/sky_grey_face.png";
    std::vector<unsigned char> single(16 * 16, 90);
    ASSERT_NE(stbi_write_png(mono.c_str(), 16, 16, 1, single.data(), 16), 0);

    std::vector<std::string> faces = kSkyFaces;
    faces[0] = "assets/textures/cubemap/missing.jpg";  // +x
    faces[1] = wide;                                    // -x
    testing::internal::CaptureStderr();
    Skybox sky(faces, shader.get());
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Cubemap tex failed to load at path: assets/textures/cubemap/missing.jpg"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find(wide), std::string::npos) << errors;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    testing::internal::CaptureStderr();
    Skybox fiveFaces(std::vector<std::string>(faces.begin() + 1, faces.end()), shader.get());
    errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("A sky needs 6 cube map faces, got 5"), std::string::npos) << errors;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // A sky of six grey single-channel faces shows grey.
    Skybox greySky(std::vector<std::string>(6, mono), shader.get());
    Camera camera(90.0, 1.0, 0.1, 100.0);
    const glm::vec3 grey3 = centreColour(render(greySky, camera));
    EXPECT_NEAR(grey3.x, 90.0f, 2.0f);
    EXPECT_NEAR(grey3.y, 90.0f, 2.0f);
    EXPECT_NEAR(grey3.z, 90.0f, 2.0f);

    // An incomplete cube map samples as black; the game goes on drawing.
    camera.setFront(glm::vec3(0.0f, 0.0f, -1.0f));
    const glm::vec3 back = centreColour(render(sky, camera));
    EXPECT_LT(glm::length(back), 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace

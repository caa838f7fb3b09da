// The confetti burst: particle motion and shrinking on the CPU, and the one
// instanced draw through the "confetti" program, read back from an
// off-screen target (test-output/confetti_burst.png).

#include "app/GameState.h"
#include "render/Camera.h"
#include "render/ConfettiEmitter.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace {

const glm::vec3 kOrigin{2.555f, 1.202f, 0.8112f};
constexpr int kSize = 128;

class ConfettiTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // Close behind the burst's origin, looking at it.
        camera = std::make_unique<Camera>(60.0, 1.0, 0.01, 100.0);
        camera->setPositionAndFront(kOrigin + glm::vec3(0.0f, 0.0f, 0.3f), glm::vec3(0.0f, 0.0f, -1.0f));
        mainCamera = camera.get();
        target = std::make_unique<RenderTarget>(kSize, kSize);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    void TearDown() override {
        mainCamera = nullptr;
        target.reset();
        camera.reset();
        GlTest::TearDown();
    }

    // Draws the emitter into the cleared target; returns the lit pixels and
    // the number of triangles the draw produced.
    int render(ConfettiEmitter& emitter, GLuint& triangles, std::vector<uint8_t>* image = nullptr) {
        target->bindAndClear(0.0f, 0.0f, 0.0f, 1.0f);
        GLuint query = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        emitter.draw();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &triangles);
        glDeleteQueries(1, &query);
        const std::vector<uint8_t> pixels = target->read();
        int lit = 0;
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            lit += (pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0 ? 1 : 0;
        }
        if (image != nullptr) {
            *image = pixels;
        }
        return lit;
    }

    std::unique_ptr<Camera> camera;
    std::unique_ptr<RenderTarget> target;
};

}  // namespace

TEST_F(ConfettiTest, InactiveOrEmptyEmittersNeitherMoveNorDraw) {
    ConfettiEmitter emitter(100, 2.0f);
    EXPECT_FALSE(emitter.isActive());
    emitter.update(0.5);
    EXPECT_EQ(emitter.getParticles()[0].position, kOrigin);
    EXPECT_EQ(emitter.getParticles()[0].life, 2.0f);
    glUseProgram(0);
    GLuint triangles = 1;
    EXPECT_EQ(render(emitter, triangles), 0);
    EXPECT_EQ(triangles, 0u);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0) << "an inactive draw touches no GL state";

    testing::internal::CaptureStderr();
    ConfettiEmitter empty(-5, 2.0f);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot have -5 particles"), std::string::npos);
    EXPECT_EQ(empty.getCount(), 0);
    empty.setActive(true);
    empty.update(0.1);
    render(empty, triangles);
    EXPECT_EQ(triangles, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ConfettiTest, ParticlesFlyStraightAndShrinkToNothingStillInOneInstancedDraw) {
    constexpr int kCount = 1000;
    ConfettiEmitter emitter(kCount, 2.0f);
    emitter.setActive(true);
    emitter.update(0.5);
    const Particle* particles = emitter.getParticles();
    std::set<std::tuple<float, float, float>> distinct;
    for (int i = 0; i < kCount; ++i) {
        const Particle& p = particles[i];
        ASSERT_FLOAT_EQ(p.life, 1.5f);
        ASSERT_NEAR(p.scaling.x, 0.015f, 1e-7f);
        ASSERT_NEAR(glm::length(p.position - (kOrigin + 0.5f * p.velocity)), 0.0f, 1e-6f) << i;
        distinct.insert({p.velocity.x, p.velocity.y, p.velocity.z});
        ASSERT_EQ(emitter.getInstances()[i].model, p.getModelMatrix());
        ASSERT_EQ(emitter.getInstances()[i].colour, p.colour);
    }
    EXPECT_GT(distinct.size(), kCount * 9 / 10u) << "velocities should scatter";
    ConfettiEmitter other(kCount, 2.0f);
    int same = 0;
    for (int i = 0; i < 50; ++i) {
        same += other.getParticles()[i].velocity == particles[i].velocity ? 1 : 0;
    }
    EXPECT_LT(same, 5) << "emitters built in turn scatter differently";

    // Same velocity, same line: a further quarter second adds a quarter of it.
    emitter.update(0.25);
    for (int i = 0; i < kCount; ++i) {
        ASSERT_NEAR(glm::length(particles[i].position - (kOrigin + 0.75f * particles[i].velocity)), 0.0f, 1e-6f);
        ASSERT_NEAR(particles[i].scaling.x, 0.0125f, 1e-7f);
    }
    // Past the lifetime nothing is left, yet all instances are still drawn
    // by the one draw, twelve triangles each.
    emitter.update(1.5);
    emitter.update(0.1);
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(particles[i].scaling, glm::vec3(0.0f)) << i;
    }
    GLuint triangles = 0;
    EXPECT_EQ(render(emitter, triangles), 0);
    EXPECT_EQ(triangles, 12u * kCount);
}

// The burst as a person sees it: coloured cubes around the origin, and
// nothing before the first update; each emitter draws its own particles.
TEST_F(ConfettiTest, BurstDrawsInstancedCubesOnlyAfterAnUpdate) {
    constexpr int kCount = 300;
    ConfettiEmitter emitter(kCount, 2.0f);
    emitter.setActive(true);
    GLuint triangles = 0;
    EXPECT_EQ(render(emitter, triangles), 0) << "switched on but never updated: nothing to show";
    EXPECT_EQ(triangles, 12u * kCount);

    emitter.update(0.05);
    std::vector<uint8_t> pixels;
    const int lit = render(emitter, triangles, &pixels);
    savePng("confetti_burst", pixels, kSize, kSize);
    EXPECT_GT(lit, 200);
    EXPECT_LT(lit, kSize * kSize / 2);
    // Particles run from transparent black to yellow: no blue, red and green alike.
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 2], 0);
        ASSERT_NEAR(pixels[i], pixels[i + 1], 2);
    }
    // The normal output holds unit normals of the cube faces.
    const std::vector<uint8_t> normals = target->read(1);
    int unit = 0;
    for (std::size_t i = 0; i < normals.size(); i += 4) {
        const glm::vec3 n = glm::vec3(normals[i], normals[i + 1], normals[i + 2]) / 127.5f - glm::vec3(1.0f);
        unit += pixels[i] > 40 && std::fabs(glm::length(n) - 1.0f) < 0.05f ? 1 : 0;
    }
    EXPECT_GT(unit, 0);

    // A later emitter (which takes storage binding 0 for itself) leaves this one's draw alone.
    ConfettiEmitter later(kCount, 2.0f);
    later.setActive(true);
    EXPECT_EQ(render(emitter, triangles), lit);
    EXPECT_EQ(render(later, triangles), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

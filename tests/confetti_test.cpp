// The confetti burst: particle motion and shrinking on the CPU, and the one
// instanced draw through the "confetti" program, read back from an
// off-screen target.

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

bool isStep(float component) {
    const float hundredths = (component + 1.0f) * 100.0f;
    return component >= -1.0f && component <= 0.99f + 1e-6f &&
           std::fabs(hundredths - std::round(hundredths)) < 1e-3f;
}

class ConfettiTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // Close behind the burst's origin, looking at it.
        camera = std::make_unique<Camera>(60.0, 1.0, 0.01, 100.0);
        camera->setPositionAndFront(kOrigin + glm::vec3(0.0f, 0.0f, 0.3f),
                                    glm::vec3(0.0f, 0.0f, -1.0f));
        mainCamera = camera.get();
        target = std::make_unique<RenderTarget>(kSize, kSize);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
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

    // Draws the emitter into the cleared target; returns the pixels and the
    // number of triangles the draw produced.
    std::vector<uint8_t> render(ConfettiEmitter& emitter, GLuint* triangles = nullptr) {
        target->bindAndClear(0.0f, 0.0f, 0.0f, 1.0f);
        GLuint query = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        emitter.draw();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        GLuint generated = 0;
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &generated);
        glDeleteQueries(1, &query);
        if (triangles != nullptr) {
            *triangles = generated;
        }
        return target->read();
    }

    static int litPixels(const std::vector<uint8_t>& pixels) {
        int lit = 0;
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            lit += (pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0 ? 1 : 0;
        }
        return lit;
    }

    std::unique_ptr<Camera> camera;
    std::unique_ptr<RenderTarget> target;
};

TEST_F(ConfettiTest, InactiveEmitterNeitherMovesNorDraws) {
    ConfettiEmitter emitter(100, 2.0f);
    EXPECT_FALSE(emitter.isActive());
    emitter.update(0.5);
    for (int i = 0; i < emitter.getCount(); ++i) {
        const Particle& p = emitter.getParticles()[i];
        ASSERT_EQ(p.position, kOrigin);
        ASSERT_EQ(p.life, 2.0f);
        ASSERT_EQ(p.scaling, glm::vec3(0.02f));
        ASSERT_EQ(p.colour, glm::vec4(1.0f, 0.0f, 0.0f, 1.0f));
        ASSERT_TRUE(isStep(p.velocity.x) && isStep(p.velocity.y) && isStep(p.velocity.z));
    }

    glUseProgram(0);
    GLuint triangles = 1;
    const std::vector<uint8_t> pixels = render(emitter, &triangles);
    EXPECT_EQ(triangles, 0u);
    EXPECT_EQ(litPixels(pixels), 0);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0) << "an inactive draw touches no GL state";
}

TEST_F(ConfettiTest, ParticlesFlyStraightAndShrinkToNothing) {
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
        ASSERT_EQ(p.scaling.x, p.scaling.y);
        ASSERT_EQ(p.scaling.x, p.scaling.z);
        const glm::vec3 expected = kOrigin + 0.5f * p.velocity;
        ASSERT_NEAR(glm::length(p.position - expected), 0.0f, 1e-6f) << i;
        distinct.insert({p.velocity.x, p.velocity.y, p.velocity.z});
        // The uploaded record is the particle's transform and colour.
        const ParticleInstance& instance = emitter.getInstances()[i];
        ASSERT_EQ(instance.model, p.getModelMatrix());
        ASSERT_EQ(instance.colour, p.colour);
    }
    EXPECT_GT(distinct.size(), kCount * 9 / 10u) << "velocities should scatter";
    EXPECT_EQ(particles[500].colour, glm::vec4(0.5f, 0.5f, 0.0f, 0.5f));
    EXPECT_EQ(particles[0].colour, glm::vec4(0.0f));

    // The model matrix puts a unit cube's corner where position and scaling say.
    const glm::vec4 corner = particles[7].getModelMatrix() * glm::vec4(0.5f, 0.5f, 0.5f, 1.0f);
    EXPECT_NEAR(glm::length(glm::vec3(corner) - (particles[7].position + glm::vec3(0.0075f))), 0.0f,
                1e-6f);

    // Same velocity, same line: a further quarter second adds a quarter of it.
    emitter.update(0.25);
    for (int i = 0; i < kCount; ++i) {
        const Particle& p = particles[i];
        ASSERT_NEAR(glm::length(p.position - (kOrigin + 0.75f * p.velocity)), 0.0f, 1e-6f);
        ASSERT_NEAR(p.scaling.x, 0.0125f, 1e-7f);
    }

    // Past the lifetime: one update takes life below zero, the next leaves nothing.
    emitter.update(1.5);
    emitter.update(0.1);
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(particles[i].scaling, glm::vec3(0.0f)) << i;
        ASSERT_EQ(emitter.getInstances()[i].model[0][0], 0.0f);
    }

    // Drawing still issues all instances, each of twelve triangles.
    GLuint triangles = 0;
    const std::vector<uint8_t> pixels = render(emitter, &triangles);
    EXPECT_EQ(triangles, 12u * kCount);
    EXPECT_EQ(litPixels(pixels), 0);
}

TEST_F(ConfettiTest, EmittersBuiltInTurnScatterDifferently) {
    ConfettiEmitter first(50, 2.0f);
    ConfettiEmitter second(50, 2.0f);
    int same = 0;
    for (int i = 0; i < 50; ++i) {
        same += first.getParticles()[i].velocity == second.getParticles()[i].velocity ? 1 : 0;
    }
    EXPECT_LT(same, 5);
}

// The burst as a person sees it: coloured cubes around the origin, drawn by
// one instanced draw, and nothing before the first update.
TEST_F(ConfettiTest, BurstDrawsInstancedCubesOnlyAfterAnUpdate) {
    constexpr int kCount = 300;
    ConfettiEmitter emitter(kCount, 2.0f);
    emitter.setActive(true);

    GLuint triangles = 0;
    EXPECT_EQ(litPixels(render(emitter, &triangles)), 0)
        << "switched on but never updated: nothing to show";
    EXPECT_EQ(triangles, 12u * kCount);

    emitter.update(0.05);
    const std::vector<uint8_t> pixels = render(emitter, &triangles);
    savePng("confetti_burst", pixels, kSize, kSize);
    EXPECT_EQ(triangles, 12u * kCount);
    const int lit = litPixels(pixels);
    EXPECT_GT(lit, 200);
    EXPECT_LT(lit, kSize * kSize / 2);
    // Particles run from transparent black to yellow: no blue anywhere, red
    // and green alike.
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 2], 0);
        ASSERT_NEAR(pixels[i], pixels[i + 1], 2);
    }
    // The normal output holds unit normals of the cube faces.
    const std::vector<uint8_t> normals = target->read(1);
    int axisAligned = 0;
    for (std::size_t i = 0; i < normals.size(); i += 4) {
        if (pixels[i] > 40) {
            const glm::vec3 n = glm::vec3(normals[i], normals[i + 1], normals[i + 2]) / 127.5f -
                                glm::vec3(1.0f);
            axisAligned += std::fabs(glm::length(n) - 1.0f) < 0.05f ? 1 : 0;
        }
    }
    EXPECT_GT(axisAligned, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Every emitter draws its own particles, even after another emitter was
// built (which takes storage binding 0 for itself).
TEST_F(ConfettiTest, EachEmitterDrawsItsOwnParticles) {
    ConfettiEmitter shown(300, 2.0f);
    shown.setActive(true);
    shown.update(0.05);
    const int alone = litPixels(render(shown));
    ASSERT_GT(alone, 0);

    ConfettiEmitter later(300, 2.0f);
    later.setActive(true);  // never updated: its records are all zero
    EXPECT_EQ(litPixels(render(shown)), alone);
    EXPECT_EQ(litPixels(render(later)), 0);
}

TEST_F(ConfettiTest, NegativeCountGivesAnEmptyEmitter) {
    testing::internal::CaptureStderr();
    ConfettiEmitter emitter(-5, 2.0f);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("cannot have -5 particles"), std::string::npos) << errors;
    EXPECT_EQ(emitter.getCount(), 0);
    emitter.setActive(true);
    emitter.update(0.1);
    GLuint triangles = 1;
    render(emitter, &triangles);
    EXPECT_EQ(triangles, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace

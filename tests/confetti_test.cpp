// The confetti burst: particle motion and shrinking on the CPU, and the
// instanced draw through the "confetti" program, read back from the window
// (test-output/confetti_burst.png).

#include "app/GameState.h"
#include "render/Camera.h"
#include "render/ConfettiEmitter.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <set>
#include <tuple>

namespace {

const glm::vec3 kOrigin{2.555f, 1.202f, 0.8112f};
constexpr int kSize = 64;  // the window's size

class ConfettiTest : public GlTest {
protected:
    void TearDown() override {
        mainCamera = nullptr;
        GlTest::TearDown();
    }
    // Draws the emitter into the cleared window; returns the lit pixels and keeps the image.
    int render(ConfettiEmitter& emitter) {
        clearWindow(kSize, kSize, 0.0f, 0.0f, 0.0f);
        emitter.draw();
        pixels = readBackBuffer(kSize, kSize);
        int lit = 0;
        for (std::size_t i = 0; i < pixels.size(); i += 4) lit += (pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0;
        return lit;
    }
    std::vector<uint8_t> pixels;
};

}  // namespace

// Seen from close behind the origin: nothing while inactive or before the
// first update, then coloured cubes. Each particle flies straight at its own
// velocity and shrinks to nothing over its life.
TEST_F(ConfettiTest, BurstFliesStraightShrinksAndDrawsOnlyWhenActiveAndUpdated) {
    Camera camera(60.0, 1.0, 0.01, 100.0);
    camera.setPositionAndFront(kOrigin + glm::vec3(0.0f, 0.0f, 0.3f), glm::vec3(0.0f, 0.0f, -1.0f));
    mainCamera = &camera;
    applyGameGlState();
    constexpr int kCount = 300;
    ConfettiEmitter emitter(kCount, 2.0f);
    const Particle* particles = emitter.getParticles();
    // Inactive: no motion, no draw, no GL state touched.
    emitter.update(0.5);
    EXPECT_TRUE(particles[0].position == kOrigin && particles[0].life == 2.0f);
    glUseProgram(0);
    EXPECT_EQ(render(emitter), 0);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    emitter.setActive(true);
    EXPECT_EQ(render(emitter), 0) << "switched on but never updated: nothing to show";
    emitter.update(0.05);
    const int lit = render(emitter);
    savePng("confetti_burst", pixels, kSize, kSize);
    EXPECT_TRUE(lit > 50 && lit < kSize * kSize / 2) << lit;
    // Particles run from transparent black to yellow: no blue, red and green alike.
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 2], 0);
        ASSERT_NEAR(pixels[i], pixels[i + 1], 2);
    }

    emitter.update(0.45);
    std::set<std::tuple<float, float, float>> distinct;
    for (int i = 0; i < kCount; ++i) {
        const Particle& p = particles[i];
        ASSERT_FLOAT_EQ(p.life, 1.5f);
        ASSERT_NEAR(p.scaling.x, 0.015f, 1e-7f);
        ASSERT_NEAR(glm::length(p.position - (kOrigin + 0.5f * p.velocity)), 0.0f, 1e-6f) << i;
        ASSERT_TRUE(emitter.getInstances()[i].model == p.getModelMatrix() && emitter.getInstances()[i].colour == p.colour);
        distinct.insert({p.velocity.x, p.velocity.y, p.velocity.z});
    }
    EXPECT_GT(distinct.size(), kCount * 9 / 10u) << "velocities should scatter";
    // Past the lifetime nothing is left.
    emitter.update(1.6);  // life -0.1: the size would turn negative
    emitter.update(0.1);
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(particles[i].scaling, glm::vec3(0.0f)) << i;
    EXPECT_EQ(render(emitter), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

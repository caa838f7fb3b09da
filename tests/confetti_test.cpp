// The confetti burst: particle motion, shrinking and colours on the CPU, and
// the one instanced draw through the "confetti" program, read back from the
// window (test-output/confetti_burst.png).

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
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // Close behind the burst's origin, looking at it.
        camera.setPositionAndFront(kOrigin + glm::vec3(0.0f, 0.0f, 0.3f), glm::vec3(0.0f, 0.0f, -1.0f));
        mainCamera = &camera;
        applyGameGlState();
    }
    void TearDown() override {
        mainCamera = nullptr;
        GlTest::TearDown();
    }
    // Draws the emitter into the cleared window; returns the lit pixels, keeps
    // the image and the number of triangles the draw produced.
    int render(ConfettiEmitter& emitter) {
        clearWindow(kSize, kSize, 0.0f, 0.0f, 0.0f);
        GLuint query = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        emitter.draw();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &triangles);
        glDeleteQueries(1, &query);
        pixels = readBackBuffer(kSize, kSize);
        int lit = 0;
        for (std::size_t i = 0; i < pixels.size(); i += 4) lit += (pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0;
        return lit;
    }
    // The instance records the draw left in the storage buffer at binding point 0.
    std::vector<ParticleInstance> uploaded() {
        GLint buffer = 0, bytes = 0;
        glGetIntegeri_v(GL_SHADER_STORAGE_BUFFER_BINDING, 0, &buffer);
        glGetNamedBufferParameteriv(static_cast<GLuint>(buffer), GL_BUFFER_SIZE, &bytes);
        std::vector<ParticleInstance> records(static_cast<size_t>(bytes) / sizeof(ParticleInstance));
        glGetNamedBufferSubData(static_cast<GLuint>(buffer), 0, bytes, records.data());
        return records;
    }
    Camera camera{60.0, 1.0, 0.01, 100.0};
    std::vector<uint8_t> pixels;
    GLuint triangles = 0;
};

}  // namespace

// Every particle flies straight at its own velocity, shrinks linearly from
// 0.02 to nothing over the emitter's lifetime (4 s here, so the lifetime and
// not a constant sets the pace) and takes its colour from its place in the
// list; all of them go to the GPU and are drawn by the one draw.
TEST_F(ConfettiTest, ParticlesFlyStraightShrinkOverTheirLifetimeAndAllAreDrawn) {
    constexpr int kCount = 1000;
    ConfettiEmitter emitter(kCount, 4.0f);
    emitter.setActive(true);
    emitter.update(1.0);
    const Particle* particles = emitter.getParticles();
    std::set<std::tuple<float, float, float>> distinct;
    ConfettiEmitter other(kCount, 4.0f);
    int same = 0;
    for (int i = 0; i < kCount; ++i) {
        const Particle& p = particles[i];
        ASSERT_FLOAT_EQ(p.life, 3.0f);
        // Three quarters of the life left: three quarters of the size.
        ASSERT_NEAR(p.scaling.x, 0.015f, 1e-7f) << i;
        ASSERT_TRUE(p.scaling.x == p.scaling.y && p.scaling.y == p.scaling.z) << i;
        ASSERT_NEAR(glm::length(p.position - (kOrigin + p.velocity)), 0.0f, 1e-6f) << i;
        // From transparent black (the first) towards opaque yellow (the last).
        const float t = static_cast<float>(i) / kCount;
        ASSERT_EQ(p.colour, glm::vec4(t, t, 0.0f, t)) << i;
        const ParticleInstance& instance = emitter.getInstances()[i];
        ASSERT_TRUE(instance.model == p.getModelMatrix() && instance.colour == p.colour) << i;
        distinct.insert({p.velocity.x, p.velocity.y, p.velocity.z});
        same += other.getParticles()[i].velocity == p.velocity;
    }
    EXPECT_EQ(particles[500].colour, glm::vec4(0.5f, 0.5f, 0.0f, 0.5f));
    EXPECT_GT(distinct.size(), kCount * 9 / 10u) << "velocities should scatter";
    EXPECT_LT(same, kCount / 10) << "emitters built in turn scatter differently";
    // The whole array reaches the storage buffer, and every instance is drawn: twelve triangles each.
    render(emitter);
    EXPECT_EQ(triangles, 12u * kCount);
    const std::vector<ParticleInstance> gpu = uploaded();
    ASSERT_EQ(gpu.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const ParticleInstance& instance = emitter.getInstances()[i];
        ASSERT_TRUE(gpu[i].model == instance.model && gpu[i].colour == instance.colour) << i;
    }
    // Same velocity, same line: a further half second adds half of it, and takes an eighth off the size.
    emitter.update(0.5);
    for (int i = 0; i < kCount; ++i) {
        ASSERT_NEAR(glm::length(particles[i].position - (kOrigin + 1.5f * particles[i].velocity)), 0.0f, 1e-6f);
        ASSERT_NEAR(particles[i].scaling.x, 0.0125f, 1e-7f);
    }
    // Past the lifetime nothing is left, yet all instances are still drawn by the one draw.
    emitter.update(2.6);
    emitter.update(0.1);
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(particles[i].scaling, glm::vec3(0.0f)) << i;
    EXPECT_EQ(render(emitter), 0);
    EXPECT_EQ(triangles, 12u * kCount);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The burst as a person sees it: coloured cubes around the origin, nothing
// while inactive or before the first update.
TEST_F(ConfettiTest, BurstDrawsOnlyWhenActiveAndAfterAnUpdate) {
    constexpr int kCount = 300;
    ConfettiEmitter emitter(kCount, 2.0f);
    const Particle* particles = emitter.getParticles();
    // Inactive: no motion, no draw, no GL state touched.
    emitter.update(0.5);
    EXPECT_TRUE(particles[0].position == kOrigin && particles[0].life == 2.0f);
    glUseProgram(0);
    EXPECT_EQ(render(emitter) + triangles, 0u);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    emitter.setActive(true);
    EXPECT_EQ(render(emitter), 0) << "switched on but never updated: nothing to show";
    EXPECT_EQ(triangles, 12u * kCount);
    emitter.update(0.05);
    const int lit = render(emitter);
    savePng("confetti_burst", pixels, kSize, kSize);
    EXPECT_TRUE(lit > 50 && lit < kSize * kSize / 2) << lit;
    // Particles run from transparent black to yellow: no blue, red and green alike.
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 2], 0);
        ASSERT_NEAR(pixels[i], pixels[i + 1], 2);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

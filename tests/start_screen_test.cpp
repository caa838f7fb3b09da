// The start screen on the real renderer, the start model, sky and font, with
// its clock and held keys scripted through the frame input. Frames are read
// back from the window before they would be shown; the 1280x720 pictures are
// saved under the build tree (test-output/start_screen*.png).

#include "app/FrameInput.h"
#include "app/GameState.h"
#include "app/Settings.h"
#include "app/StartScreen.h"
#include "render/Camera.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;

class StartScreenTest : public ::testing::Test {
protected:
    void build(int w, int h) {
        width = w;
        height = h;
        context = std::make_unique<GlContext>(w, h);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        applyGameGlState();
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        nearPlane = 0.1f;
        farPlane = 1000.0f;
        globalBrightness = 1.0f;
        renderer = std::make_unique<Renderer>(context->window(), w, h);
        for (const char* name : {"phong", "skybox", "font", "font3D"}) {
            renderer->getShaderManager().load(name, std::string("assets/shaders/") + name);
        }
        renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", 256);
    }

    void TearDown() override {
        renderer.reset();
        context.reset();
    }

    // Runs the start screen with a scripted clock. `afterPass` is called once
    // per pass, after the frame is drawn, where the screen asks for Space;
    // it sets the clock of the next pass and says which keys are held.
    struct Held {
        int space = GLFW_RELEASE;
        int escape = GLFW_RELEASE;
    };
    void run(const std::function<Held(int pass)>& afterPass) {
        passes = 0;
        Held held;
        FrameInput input;
        input.now = [this] { return clock; };
        input.keyState = [&](int key) {
            if (key == GLFW_KEY_SPACE) {
                ++passes;
                held = afterPass(passes);
                return held.space;
            }
            if (key == GLFW_KEY_ESCAPE) {
                return held.escape;
            }
            return GLFW_PRESS;  // no other key ends the screen
        };
        runStartScreen(context->window(), renderer.get(), input);
    }

    // The start screen's camera while it runs.
    Camera* camera() const { return renderer->getScenes().back()->getCamera(); }

    std::vector<uint8_t> readFrame() const { return readBackBuffer(width, height); }

    int width = 0;
    int height = 0;
    double clock = 0.0;
    int passes = 0;
    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
};

// The camera stands still and turns once in 20 seconds whatever the frame
// rate; only Space or Escape (also as key repeats) or a close request end the
// screen, which leaves the renderer's scenes and the close flag as it found them.
TEST_F(StartScreenTest, TurnsWithTheClockAndEndsOnlyOnSpaceEscapeOrClose) {
    build(96, 64);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    Camera otherCamera(60.0, 1.5, 0.1, 10.0);
    Scene other(nullptr);
    other.setCamera(&otherCamera);
    renderer->addScene(&other);
    renderer->addOverlayScene(&other);

    // Space held before the screen begins: one pass. Its camera's aspect is
    // the framebuffer's.
    float aspect = 0.0f;
    run([&](int) {
        const glm::mat4& projection = camera()->getProjection();
        aspect = projection[1][1] / projection[0][0];
        EXPECT_EQ(renderer->getScenes().size(), 2u);
        EXPECT_EQ(renderer->getOverlayScenes().size(), 2u);
        Held held;
        held.space = GLFW_PRESS;
        return held;
    });
    EXPECT_EQ(passes, 1);
    EXPECT_NEAR(aspect, 96.0f / 64.0f, 1e-4);
    EXPECT_EQ(renderer->getScenes(), std::vector<Scene*>{&other});
    EXPECT_EQ(renderer->getOverlayScenes(), std::vector<Scene*>{&other});

    // Escape ends it, also as a key repeat, and leaves the close flag as it
    // found it.
    run([&](int pass) {
        clock += 0.1;
        Held held;
        held.escape = pass == 4 ? GLFW_REPEAT : GLFW_RELEASE;
        return held;
    });
    EXPECT_EQ(passes, 4);
    EXPECT_FALSE(glfwWindowShouldClose(context->window()));

    // A close request already made (an Escape tap the poll missed, or the
    // close button) ends it after one pass and stays set for the main loop.
    glfwSetWindowShouldClose(context->window(), GLFW_TRUE);
    run([&](int) {
        clock += 0.1;
        return Held{};
    });
    EXPECT_EQ(passes, 1);
    EXPECT_TRUE(glfwWindowShouldClose(context->window()));
    glfwSetWindowShouldClose(context->window(), GLFW_FALSE);
    run([&](int pass) {
        clock += 0.1;
        Held held;
        held.space = pass == 3 ? GLFW_REPEAT : GLFW_RELEASE;
        return held;
    });
    EXPECT_EQ(passes, 3);
    EXPECT_FALSE(glfwWindowShouldClose(context->window()));
    EXPECT_EQ(renderer->getScenes(), std::vector<Scene*>{&other});
    EXPECT_EQ(renderer->getOverlayScenes(), std::vector<Scene*>{&other});

    // Uneven frames: the view drawn in a pass has turned by the time up to
    // the previous pass.
    clock = 0.0;
    const double steps[] = {0.05, 0.4, 0.016, 0.2, 1.3};
    double shownAt = 0.0;
    int checked = 0;
    bool sawMinusZ = false;
    run([&](int pass) {
        Camera* cam = camera();
        const double angle = -kPi / 10.0 * shownAt;
        const glm::vec3 front = cam->getFront();
        EXPECT_NEAR(front.x, std::cos(angle), 2e-4) << "pass " << pass << " at " << shownAt << " s";
        EXPECT_NEAR(front.z, std::sin(angle), 2e-4) << "pass " << pass << " at " << shownAt << " s";
        EXPECT_NEAR(front.y, 0.0f, 1e-6);
        EXPECT_EQ(cam->getPosition(), glm::vec3(0.437884f, 1.84947f, 0.37266f));
        // A quarter turn in the first five seconds goes from +x to -z.
        if (shownAt > 1.0 && shownAt < 4.0) {
            EXPECT_LT(front.z, -0.3f);
            sawMinusZ = true;
        }
        ++checked;
        shownAt = clock;
        clock += steps[pass % 5];
        Held held;
        held.space = clock > 45.0 ? GLFW_PRESS : GLFW_RELEASE;
        return held;
    });
    EXPECT_GT(checked, 50);
    EXPECT_TRUE(sawMinusZ);
}

TEST_F(StartScreenTest, SixCentredLinesOverTheTurningCellAt1280x720) {
    build(1280, 720);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    // Pass 1 as shown; pass 2 at the same instant with the overlay off (F5):
    // the difference is the text. Pass 3 comes five seconds later, so pass 4
    // shows the view turned by a quarter.
    std::vector<uint8_t> shown, bare, turned;
    run([&](int pass) {
        Held held;
        if (pass == 1) {
            shown = readFrame();
            renderer->handleKey(GLFW_KEY_F5, GLFW_PRESS);
        } else if (pass == 2) {
            bare = readFrame();
            renderer->handleKey(GLFW_KEY_F5, GLFW_PRESS);
            clock += 5.0;
        } else if (pass == 4) {
            turned = readFrame();
            held.space = GLFW_PRESS;
        }
        return held;
    });
    ASSERT_EQ(passes, 4);
    savePng("start_screen", shown, width, height);
    savePng("start_screen_turned", turned, width, height);

    // Each line (em 100 pixels for the title, 50 for the description, 128
    // for the prompt) is centred and hangs from its anchor, in pixels below
    // the top; nothing else differs between the two passes.
    const auto differs = [&](int x, int y) {
        const Rgba a = pixelAt(shown, width, x, height - 1 - y);
        const Rgba b = pixelAt(bare, width, x, height - 1 - y);
        return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 30;
    };
    struct Band {
        int anchor, end, minWidth;  // end: where the next line may begin
    };
    const Band bands[] = {{50, 145, 600}, {150, 198, 700}, {200, 270, 900}, {275, 322, 700},
                          {325, 380, 600}, {380, 600, 0},  {620, 720, 900}};
    int begin = 0;
    for (const Band& band : bands) {
        SCOPED_TRACE(band.anchor);
        int left = width, right = -1, top = height;
        for (int y = begin; y < band.end; ++y) {
            for (int x = 0; x < width; ++x) {
                if (differs(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                    top = std::min(top, y);
                }
            }
        }
        begin = band.end;
        if (band.minWidth == 0) {
            EXPECT_EQ(right, -1) << "drawn between the description and the prompt";
            continue;
        }
        ASSERT_GE(right, 0) << "no text";
        EXPECT_NEAR((left + right) / 2.0, width / 2.0, 4.0);
        EXPECT_GE(right - left, band.minWidth);
        EXPECT_NEAR(top, band.anchor - 1, 5);
    }
    EXPECT_NE(shown, turned) << "the view did not turn";
}

}  // namespace

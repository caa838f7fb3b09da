// The start screen on the real renderer, the start model, sky and font, with
// its clock and held keys scripted through the frame input. Frames are read
// back before they would be shown and saved under the build tree
// (test-output/start_screen*.png).

#include "app/FrameInput.h"
#include "app/Game.h"
#include "app/GameState.h"
#include "app/InputDispatcher.h"
#include "app/Settings.h"
#include "app/StartScreen.h"
#include "physics/PhysicsWorld.h"
#include "render/Text.h"
#include "tests/support/GameDriver.h"
#include "tests/support/RenderFixture.h"

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace {

// The window the layout is made for, and smaller ones, where all of it
// shrinks by `scale`, the smaller of the two ratios.
struct WindowSize {
    int width, height;
    float scale;
};
constexpr WindowSize kFull{1280, 720, 1.0f};

// The start screen's texts by name.
const std::map<std::string, std::string> kLines = {
    {"Welcome", "Welcome to Tollbrook!"},
    {"desc", "Your goal is to escape your cell in time"},
    {"desc2", "by solving puzzles, but don't let the guard catch you!"},
    {"desc3", "To enter a code for the door lock simply"},
    {"desc4", "press the number on your keyboard."},
    {"start", "Press SPACE to start"},
};

// Keys held after a pass: Space and Escape.
struct Held {
    int space = GLFW_RELEASE;
    int escape = GLFW_RELEASE;
};

class StartScreenTest : public RenderFixture, public ::testing::WithParamInterface<WindowSize> {
protected:
    StartScreenTest() : RenderFixture(GetParam().width, GetParam().height) {}
};
INSTANTIATE_TEST_SUITE_P(Windows, StartScreenTest,
                         ::testing::Values(kFull, WindowSize{960, 540, 0.75f}, WindowSize{640, 360, 0.5f}),
                         [](const auto& size) {
                             return std::to_string(size.param.width) + "x" + std::to_string(size.param.height);
                         });

// The text layout, the turn with the clock whatever the frame rate, and the
// ways to leave: only Space or Escape or a close request end the screen,
// which leaves the renderer's scenes and the close flag as it found them.
// Smaller windows check the layout only, from the first two passes.
TEST_P(StartScreenTest, LayoutTurnAndTheWaysToLeave) {
    const bool full = width == kFull.width;
    const float scale = GetParam().scale;
    farPlane = 1000.0f;
    gameFont(256);
    GLFWwindow* window = context->window();
    // `afterPass` runs once per pass, after the frame is drawn, where the
    // screen polls Space; it may move the clock and says which keys are held.
    // Any other key reads as pressed: it must not end the screen.
    double clock = 0.0;
    int passes = 0;
    const auto run = [&](const std::function<Held(int pass)>& afterPass) {
        passes = 0;
        Held held;
        FrameInput input;
        input.now = [&] { return clock; };
        input.keyState = [&](int key) {
            if (key == GLFW_KEY_SPACE) {
                held = afterPass(++passes);
                return held.space;
            }
            return key == GLFW_KEY_ESCAPE ? held.escape : GLFW_PRESS;
        };
        runStartScreen(window, renderer.get(), input);
    };
    const auto camera = [&] { return renderer->getScenes().back()->getCamera(); };

    // Pass 1 as shown, in the window's aspect; pass 2 at the same instant
    // with the overlay off (F5): the difference is the text. Then uneven
    // frames: the view drawn in a pass has turned by the time up to the
    // previous pass, from +x towards -z, standing still.
    std::vector<uint8_t> shown, bare;
    const double steps[] = {0.0, 0.05, 0.4, 0.016, 0.2, 1.3};
    double shownAt = 0.0;
    run([&](int pass) {
        SCOPED_TRACE("pass " + std::to_string(pass));
        const glm::mat4& projection = camera()->getProjection();
        EXPECT_NEAR(projection[1][1] / projection[0][0], static_cast<float>(width) / height, 1e-4);
        const double angle = -3.141592653589793 / 10.0 * shownAt;
        expectNear(camera()->getFront(), glm::vec3(std::cos(angle), 0.0f, std::sin(angle)), 2e-4f);
        EXPECT_EQ(camera()->getPosition(), glm::vec3(0.437884f, 1.84947f, 0.37266f));
        if (pass == 1) {
            // The six lines word for word, under their names.
            std::map<std::string, std::string> texts;
            for (const auto& [name, object] : renderer->getOverlayScenes().back()->getObjects()) {
                const auto* text = dynamic_cast<const Text*>(object);
                texts[name] = text != nullptr ? text->getText() : "(not a text)";
            }
            EXPECT_EQ(texts, kLines);
        }
        if (pass <= 2) {
            (pass == 1 ? shown : bare) = readBackBuffer(width, height);
            renderer->handleKey(GLFW_KEY_F5, GLFW_PRESS);
        }
        shownAt = clock;
        clock += steps[(pass - 1) % 6];  // none between passes 1 and 2
        return Held{clock > 45.0 || (!full && pass == 2) ? GLFW_PRESS : GLFW_RELEASE};
    });
    EXPECT_GT(passes, full ? 50 : 1);
    savePng(full ? "start_screen" : "start_screen_" + std::to_string(width), shown, width, height);

    // Each line is centred, whole inside the window, and hangs from its
    // anchor (pixels below the top); nothing is drawn between the
    // description and the prompt.
    struct Band { int anchor, end, minWidth; };  // end: where the next line may begin
    const Band bands[] = {{50, 145, 600}, {150, 198, 700}, {200, 270, 900}, {275, 322, 700},
                          {325, 380, 600}, {380, 600, 0}, {620, 720, 900}};
    int begin = 0;
    for (Band band : bands) {
        band = {int(band.anchor * scale), int(band.end * scale), int(band.minWidth * scale)};
        SCOPED_TRACE(band.anchor);
        int left = width, right = -1, top = height;
        for (int y = begin; y < band.end; ++y) {
            for (int x = 0; x < width; ++x) {
                const Rgba a = pixelAt(shown, width, x, height - 1 - y), b = pixelAt(bare, width, x, height - 1 - y);
                if (std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 30) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                    top = std::min(top, y);
                }
            }
        }
        begin = band.end;
        ASSERT_EQ(right >= 0, band.minWidth > 0) << "text where none belongs, or none where it does";
        if (right < 0) continue;
        EXPECT_NEAR((left + right) / 2.0, width / 2.0, 4.0);
        EXPECT_GE(right - left, band.minWidth);
        EXPECT_GE(left, 8);
        EXPECT_LE(right, width - 8);
        EXPECT_NEAR(top, band.anchor - 1, 5);
    }
    if (!full) return;

    // Escape ends it too; scenes it did not add stay where they are.
    renderer->addOverlayScene(overlay.get());
    run([&](int pass) { return Held{GLFW_RELEASE, pass == 3 ? GLFW_PRESS : GLFW_RELEASE}; });
    EXPECT_EQ(passes, 3);
    EXPECT_FALSE(glfwWindowShouldClose(window));
    // A close request already made (an Escape tap the poll missed, or the
    // close button) ends it after one pass and stays set for the main loop.
    glfwSetWindowShouldClose(window, GLFW_TRUE);
    run([&](int pass) { return Held{pass > 5 ? GLFW_PRESS : GLFW_RELEASE}; });  // Space only as a backstop
    EXPECT_EQ(passes, 1);
    EXPECT_TRUE(glfwWindowShouldClose(window));
    glfwSetWindowShouldClose(window, GLFW_FALSE);
    EXPECT_EQ(renderer->getScenes(), std::vector<Scene*>{world.get()});
    EXPECT_EQ(renderer->getOverlayScenes(), std::vector<Scene*>{overlay.get()});
}

}  // namespace

namespace {

// Escape on the start screen as a player presses it: the press reaches the
// renderer's key handler through the game's input dispatcher in the event
// poll and sets the close flag; the next pass sees Escape held and ends the
// screen. The level is still loaded and set up, and the main loop then ends
// before its first frame: no frame of the level runs its clock or is drawn.
TEST(StartScreenEscape, EndsTheGameBeforeTheFirstFrameOfTheLevel) {
    GlContext context(160, 90);
    if (context.displayMissing()) GTEST_SKIP() << context.reason();
    ASSERT_TRUE(context.ok()) << context.reason();
    GLFWwindow* window = context.window();
    resetGameState();
    applyGameGlState();
    const Settings settings;
    nearPlane = static_cast<float>(settings.nearDistance);
    farPlane = static_cast<float>(settings.farDistance);
    globalBrightness = static_cast<float>(settings.brightness);
    PhysicsWorld physicsWorld;

    // Clock reads: the start screen's (one before its loop, one a pass), then
    // the main loop's. The press comes in the poll after the first pass. A
    // main loop that does not end is stopped after a few frames.
    int screenReads = 0, loopReads = 0;
    bool escapeHeld = false, levelBuilt = false;
    double clock = 0.0;
    FrameInput input;
    input.now = [&] {
        clock += 0.25;
        if (levelBuilt && ++loopReads > 3) glfwSetWindowShouldClose(window, GLFW_TRUE);
        if (!levelBuilt && ++screenReads == 3) {
            InputDispatcher::keyCallback(window, GLFW_KEY_ESCAPE, 0, GLFW_PRESS, 0);
            escapeHeld = true;
        }
        return clock;
    };
    input.keyState = [&](int key) { return key == GLFW_KEY_ESCAPE && escapeHeld ? GLFW_PRESS : GLFW_RELEASE; };

    auto game = std::make_unique<Game>(window, physicsWorld, settings, 160, 90, input);
    Renderer* renderer = game->renderer;
    runStartScreen(window, renderer, input);
    EXPECT_EQ(screenReads, 3) << "the screen did not end on the pass after the press";
    EXPECT_TRUE(glfwWindowShouldClose(window)) << "Escape did not ask the window to close";
    game->buildLevel();
    levelBuilt = true;
    game->run();

    EXPECT_TRUE(game->worldScene.getObjects().count("door"));
    EXPECT_EQ(renderer->getScenes(), std::vector<Scene*>{&game->worldScene});
    EXPECT_TRUE(game->hud && game->physicsScene && game->player && game->locks[3]) << "the level is not set up";
    EXPECT_EQ(timeRemaining, timeLimit) << "a frame of the level ran";
    EXPECT_EQ(frameDeltaTime, 0.0) << "a frame of the level ran";

    game.reset();
    // The game never releases these; the test does, before its context goes.
    delete renderer;
    delete mainCamera;
    resetGameState();
}

}  // namespace

// Quick taps on a busy machine: when a frame takes longer than a tap, the
// key's press and release arrive in the same event poll. Such a tap must
// still count in the frame after that poll: Space on the start screen, E at
// the glasses. The taps are real X key events on the test's GLFW window,
// delivered by GLFW's own event poll, and the keys are read through the
// game's own frame input from the window.

#include "app/FrameInput.h"
#include "app/GameState.h"
#include "app/StartScreen.h"
#include "render/Object.h"
#include "tests/support/GameDriver.h"
#include "tests/support/KeyTap.h"
#include "tests/support/RenderFixture.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace {

constexpr double kFrame = 0.05;

class KeyTapStartScreen : public RenderFixture {
protected:
    KeyTapStartScreen() : RenderFixture(160, 90) {}
};

// Space pressed and released between the polls of two passes ends the start
// screen in the pass after them, as Space held does; the close flag stays
// clear, so the game begins.
TEST_F(KeyTapStartScreen, SpaceTappedBetweenTwoPollsStartsTheGame) {
    gameFont(256);
    GLFWwindow* window = context->window();
    FrameInput input = glfwFrameInput(window);
    // The clock is read once before the first pass and once at the start of
    // each pass: pass 3 taps Space, so its poll delivers press and release;
    // pass 8 asks to close, which ends a screen that lost the tap.
    int passes = -1;
    bool tapped = false;
    input.now = [&] {
        ++passes;
        if (passes == 3) tapped = tapKeyBeforeNextPoll(window, "space");
        if (passes == 8) glfwSetWindowShouldClose(window, GLFW_TRUE);
        return passes * 0.5;
    };
    runStartScreen(window, renderer.get(), input);
    ASSERT_TRUE(tapped) << "no Space key on the display";
    EXPECT_EQ(passes, 4) << "the tap did not end the screen in the pass after its poll";
    EXPECT_FALSE(glfwWindowShouldClose(window));
    glfwSetWindowShouldClose(window, GLFW_FALSE);
}

// E pressed and released between two polls while the glasses are in reach
// picks them up in the next frame (unworn: the press reached the toggle first).
// A tap of E while they are out of reach is used up in its frame: it does not
// pick them up once they come into view.
TEST(KeyTap, ETappedBetweenTwoPollsPicksUpTheGlassesInReachOnly) {
    START_GAME(driver, 160, 90);
    Game& game = *driver->game;
    GLFWwindow* window = driver->context.window();
    Object& glasses = *game.worldScene.get("glasses");
    // A point on the top of the glasses' right lens.
    const auto glassesAim = [&] { return glm::vec3(glasses.getModelMatrix() * glm::vec4(0.042f, 0.02f, 0.01f, 1)); };
    driver->wait(0.5, kFrame);  // settle on the floor

    // From the middle of the cell the glasses are out of reach.
    driver->lookAt(glassesAim());
    ASSERT_TRUE(tapKeyBeforeNextPoll(window, "e"));
    driver->frame(kFrame);  // its poll delivers the tap
    driver->frame(kFrame);
    EXPECT_FALSE(glassesPickedUp);

    ASSERT_TRUE(driver->walkTo(1.65f, -0.95f));  // 0.8 m before the shelf by the door
    driver->lookAt(glassesAim());
    driver->frame(kFrame);
    ASSERT_TRUE(glasses.isSelected()) << "the glasses are not in reach";
    EXPECT_FALSE(glassesPickedUp) << "an E tapped out of reach picked them up once they were in view";

    ASSERT_TRUE(tapKeyBeforeNextPoll(window, "e"));
    driver->frame(kFrame);  // its poll delivers the tap
    driver->frame(kFrame);
    EXPECT_TRUE(glassesPickedUp) << "the tap was lost";
    EXPECT_TRUE(glasses.isHidden());
    EXPECT_FALSE(glassesOn);
}

}  // namespace

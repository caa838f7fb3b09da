// The whole game as a player plays it, on the real level, real physics and a
// real GL context (a small hidden window): the frame is driven with fixed
// frame times and scripted keys, events go through the game's own input
// dispatcher. Pictures of the key moments are saved as test-output/game_*.png.

#include "app/GameState.h"
#include "app/Hud.h"
#include "app/Lock.h"
#include "app/LockCode.h"
#include "physics/PhysicsScene.h"
#include "physics/Player.h"
#include "render/Camera.h"
#include "render/ConfettiEmitter.h"
#include "render/Renderer.h"
#include "render/Text.h"
#include "tests/support/GameDriver.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;
constexpr double kFrame = 0.05;

// Looks at each lock in turn and types its digit on the number row.
void typeCode(GameDriver& driver, const std::array<unsigned, 4>& digits) {
    for (int i = 0; i < 4; ++i) {
        driver.lookAt(driver.bodyPosition("lock" + std::to_string(i + 1)));
        driver.frame(kFrame);
        ASSERT_TRUE(driver.game->locks[i]->isSelected()) << "lock" << i + 1 << " not in focus";
        driver.tap(GLFW_KEY_0 + static_cast<int>(digits[i]), kFrame);
    }
}

// Pixels of a block (rows counted from the bottom) that match.
int count(const std::vector<uint8_t>& pixels, int x0, int y0, int x1, int y1, bool (*match)(const Rgba&)) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            n += match(pixelAt(pixels, kWidth, x, y)) ? 1 : 0;
        }
    }
    return n;
}
bool notRed(const Rgba& p) { return p.g != 0 || p.b != 0; }
bool white(const Rgba& p) { return p.r > 230 && p.g > 230 && p.b > 230; }

// Minutes and seconds of the escape message, or -1.
double escapeSeconds(const std::string& message) {
    std::smatch match;
    if (!std::regex_match(message, match, std::regex(R"(You escaped the prison in (\d\d):(\d\d\.\d\d\d)!)"))) {
        return -1.0;
    }
    return std::stoi(match[1]) * 60.0 + std::stod(match[2]);
}

// The game from the cell to the labyrinth's goal: glasses, the door code,
// the plate, the guard and the goal, with the rules met on the way.
TEST(GamePlay, WinningRunFromTheCellToTheGoal) {
    START_GAME(driver, kWidth, kHeight);
    Game& game = *driver->game;
    Object& glasses = *game.worldScene.get("glasses");
    // A point on the top of the glasses' right lens.
    const auto glassesAim = [&] { return driver->bodyPosition("glasses") + glm::vec3(0.042f, 0.02f, 0.01f); };
    driver->wait(0.5, kFrame);  // settle on the floor
    const double startClock = 0.0;
    EXPECT_EQ(game.hud->timer->getText(), "10:00");
    driver->frameWithScreenshot(kFrame, "cell");

    // The glasses from the middle of the cell: too far for the hint, and E does nothing.
    driver->lookAt(glassesAim());
    driver->hold(GLFW_KEY_E);
    driver->frame(kFrame);
    driver->release(GLFW_KEY_E);
    EXPECT_GT(glm::distance(driver->eye(), glassesAim()), 1.25f);
    EXPECT_FALSE(glasses.isSelected());
    EXPECT_FALSE(glassesPickedUp);
    driver->tap(GLFW_KEY_E, kFrame);
    EXPECT_FALSE(glassesOn) << "E before the pick-up must do nothing";
    EXPECT_TRUE(game.hud->ePressed->isHidden());

    // Close by: highlighted, with the hint drawn in that frame's display.
    ASSERT_TRUE(driver->walkTo(1.3f, -1.15f));
    driver->lookAt(glassesAim());
    driver->clock += kFrame;
    game.update();
    EXPECT_TRUE(glasses.isSelected());
    EXPECT_TRUE(game.hud->glassesHelp->isDrawOnce()) << "no pick-up hint within reach";
    game.draw();
    game.present();

    // E down: the press reaches the toggle before the pick-up, so they come up unworn.
    driver->keyEvent(GLFW_KEY_E, GLFW_PRESS);
    driver->hold(GLFW_KEY_E);
    driver->frame(kFrame);
    driver->release(GLFW_KEY_E);
    driver->keyEvent(GLFW_KEY_E, GLFW_RELEASE);
    EXPECT_TRUE(glassesPickedUp);
    EXPECT_FALSE(glassesOn);
    EXPECT_TRUE(glasses.isHidden());
    EXPECT_FALSE(game.hud->ePressed->isHidden());
    EXPECT_FALSE(game.hud->glassesIcon->isHidden());
    driver->frame(kFrame);
    EXPECT_FALSE(glasses.isSelected()) << "picked-up glasses still react to the ray";

    // On: the 3D view keeps only its red, the timer stays white; off again: colours return.
    driver->lookAlong(0.0);
    driver->tap(GLFW_KEY_E, kFrame);
    EXPECT_TRUE(glassesOn);
    const std::vector<uint8_t> red = driver->frameWithScreenshot(kFrame, "red_view");
    EXPECT_EQ(count(red, 0, 0, 60, 100, notRed), 0) << "the 3D view kept more than its red";
    EXPECT_GT(count(red, 200, 120, 320, 180, white), 50) << "the timer lost its colour";
    driver->tap(GLFW_KEY_E, kFrame);
    EXPECT_FALSE(glassesOn);
    const std::vector<uint8_t> normal = driver->frameWithScreenshot(kFrame, "view_without_glasses");
    EXPECT_GT(count(normal, 0, 0, 60, 100, notRed), 0);

    // At the door: a wrong code keeps it shut.
    ASSERT_TRUE(driver->walkTo(1.95f, 0.8f));
    const glm::vec3 doorShut = driver->bodyPosition("door");
    std::array<unsigned, 4> wrong{};
    for (int i = 0; i < 4; ++i) {
        wrong[i] = (kLockCode[i] + 1) % 10;
    }
    typeCode(*driver, wrong);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(game.locks[i]->getDigit(), wrong[i]);
        EXPECT_EQ(game.locks[i]->getLabel()->getText(), std::to_string(wrong[i]));
    }
    driver->wait(0.5, kFrame);
    EXPECT_FALSE(cellDoorOpened);
    EXPECT_LT(glm::distance(driver->bodyPosition("door"), doorShut), 0.01f);

    // The right code: the next frame pushes the door and starts the confetti.
    typeCode(*driver, kLockCode);
    EXPECT_TRUE(cellDoorOpened);
    EXPECT_TRUE(game.confetti.isActive());
    // The door has opened: a digit at a lock in focus is refused.
    driver->lookAt(driver->bodyPosition("lock2"));
    driver->frame(kFrame);
    ASSERT_TRUE(game.locks[1]->isSelected());
    driver->tap(GLFW_KEY_KP_0 + static_cast<int>((kLockCode[1] + 5) % 10), kFrame);
    EXPECT_EQ(game.locks[1]->getDigit(), kLockCode[1]);

    driver->lookAlong(0.0);
    driver->wait(0.4, kFrame);
    driver->frameWithScreenshot(kFrame, "door_open_confetti");
    driver->wait(1.5, kFrame);
    EXPECT_GT(glm::distance(driver->bodyPosition("door"), doorShut), 0.3f) << "the door did not swing";

    // Out of the cell and over the plate: the labyrinth door rises.
    ASSERT_TRUE(driver->walkTo(3.4f, 0.9f));
    const float gateShut = driver->bodyPosition("labyrinthDoor").y;
    ASSERT_TRUE(driver->walkTo(6.0f, 1.0f));
    EXPECT_TRUE(pressurePlatePressed);
    ASSERT_TRUE(driver->walkTo(8.0f, 1.0f));
    ASSERT_TRUE(driver->walkTo(8.0f, -3.7f));
    ASSERT_TRUE(driver->walkTo(11.2f, -3.7f));
    EXPECT_GT(driver->bodyPosition("labyrinthDoor").y, gateShut + 1.5f);

    // Wait at the labyrinth's entrance until the guard has turned away east
    // along its north leg, then run round the south of its patrol.
    for (double waited = 0.0; game.physicsScene->getGuardWaypointIndex() != 4; waited += kFrame) {
        ASSERT_LT(waited, 20.0) << "the guard never came by";
        driver->frame(kFrame);
    }
    ASSERT_TRUE(driver->walkTo(12.9f, -5.0f, true));
    ASSERT_TRUE(driver->walkTo(17.3f, -5.0f, true));
    ASSERT_TRUE(driver->walkTo(17.3f, -2.6f, true));
    ASSERT_TRUE(driver->walkTo(20.5f, -2.6f, true));
    ASSERT_FALSE(gameOver) << endMessage;
    driver->walkTo(23.2f, -2.6f);
    ASSERT_TRUE(gameOver);
    ASSERT_TRUE(gameWon) << endMessage;

    // The next frame shows the win screen with the game time taken.
    const std::string timer = game.hud->timer->getText();
    const glm::vec3 front = game.camera->getFront();
    driver->frameWithScreenshot(kFrame, "win");
    EXPECT_TRUE(game.hud->winScene.isEnabled());
    EXPECT_FALSE(game.hud->loseScene.isEnabled());
    EXPECT_EQ(game.hud->wonMessage->getText(), endMessage);
    const double played = driver->clock - kFrame - startClock;
    EXPECT_NEAR(escapeSeconds(endMessage), played, 0.06) << endMessage;

    // Over: keys, mouse and time change nothing any more.
    const glm::vec3 position = game.player->getPosition();
    driver->tap(GLFW_KEY_E, kFrame);
    driver->tap(GLFW_KEY_F1, kFrame);
    driver->cursor(500.0, 300.0);
    driver->hold(GLFW_KEY_W);
    driver->wait(2.5, kFrame);
    driver->release(GLFW_KEY_W);
    EXPECT_FALSE(glassesOn);
    EXPECT_FALSE(game.renderer->getWireframe());
    EXPECT_EQ(game.camera->getFront(), front);
    EXPECT_EQ(game.player->getPosition(), position);
    EXPECT_EQ(game.hud->timer->getText(), timer);
    EXPECT_TRUE(gameWon);
}

}  // namespace

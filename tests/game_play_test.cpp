// The whole game as a player plays it, and each way to lose, on the real
// level, real physics and a real GL context (a small hidden window): the
// frame is driven with scripted frame times and keys, events go through the
// game's own input dispatcher. Pictures of the key moments are saved as
// test-output/game_*.png.

#include "app/GameState.h"
#include "app/Hud.h"
#include "app/Lock.h"
#include "app/LockCode.h"
#include "app/PlayerHitReport.h"
#include "physics/CharacterController.h"
#include "physics/PhysicsScene.h"
#include "physics/Player.h"
#include "render/Camera.h"
#include "render/ConfettiEmitter.h"
#include "render/Text.h"
#include "tests/support/GameDriver.h"
#include "tests/support/PhysicsStage.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <utility>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;
constexpr double kFrame = 0.05;

// Minutes and seconds of the escape message, or -1.
double escapeSeconds(const std::string& message) {
    std::smatch m;
    const bool ok = std::regex_match(message, m, std::regex(R"(You escaped the prison in (\d\d):(\d\d\.\d\d\d)!)"));
    return ok ? std::stoi(m[1]) * 60.0 + std::stod(m[2]) : -1.0;
}

// The game from the cell to the labyrinth's goal: glasses, the door code,
// the plate, the guard and the goal, with the rules met on the way.
TEST(GamePlay, WinningRunFromTheCellToTheGoal) {
    START_GAME(driver, kWidth, kHeight);
    Game& game = *driver->game;
    Object& glasses = *game.worldScene.get("glasses");
    // A point on the top of the glasses' right lens.
    const auto glassesAim = [&] { return glm::vec3(glasses.getModelMatrix() * glm::vec4(0.042f, 0.02f, 0.01f, 1)); };
    driver->wait(0.5, kFrame);  // settle on the floor
    EXPECT_EQ(game.hud->timer->getText(), "10:00");
    driver->frameWithScreenshot(kFrame, "cell");

    // The glasses from the middle of the cell: too far for the hint, and E does nothing.
    driver->lookAt(glassesAim());
    driver->tap(GLFW_KEY_E, kFrame);
    EXPECT_GT(glm::distance(driver->eye(), glassesAim()), 1.25f);
    EXPECT_FALSE(glasses.isSelected());
    EXPECT_FALSE(glassesPickedUp);
    EXPECT_FALSE(glassesOn) << "E before the pick-up must do nothing";
    EXPECT_TRUE(game.hud->ePressed->isHidden());

    // Close by: highlighted, with the hint drawn in that frame's display.
    ASSERT_TRUE(driver->walkTo(1.65f, -0.95f));  // 0.8 m before the shelf by the door
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
    EXPECT_FALSE(game.hud->glassesIcon->isHidden());
    driver->frame(kFrame);
    EXPECT_FALSE(glasses.isSelected()) << "picked-up glasses still react to the ray";

    // On and off again with E.
    driver->lookAlong(0.0);
    driver->tap(GLFW_KEY_E, kFrame);
    EXPECT_TRUE(glassesOn);
    driver->frameWithScreenshot(kFrame, "red_view");
    driver->tap(GLFW_KEY_E, kFrame);
    EXPECT_FALSE(glassesOn);

    // At the door: a wrong code keeps it shut.
    ASSERT_TRUE(driver->walkTo(1.95f, 0.8f));
    const glm::vec3 doorShut = driver->bodyPosition("door");
    std::array<unsigned, 4> wrong{};
    for (int i = 0; i < 4; ++i) wrong[i] = (kLockCode[i] + 1) % 10;
    ASSERT_EQ(driver->typeCode(wrong, kFrame), 0) << "that lock was not in focus";
    EXPECT_EQ(game.locks[3]->getDigit(), wrong[3]);
    driver->wait(0.5, kFrame);
    EXPECT_FALSE(cellDoorOpened);
    EXPECT_LT(glm::distance(driver->bodyPosition("door"), doorShut), 0.01f);

    // The right code: the next frame pushes the door and starts the confetti.
    ASSERT_EQ(driver->typeCode(kLockCode, kFrame), 0) << "that lock was not in focus";
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

    // Out of the cell and straight across the yard to the labyrinth's gateway.
    ASSERT_TRUE(driver->walkTo(3.4f, 0.9f));
    const float gateShut = driver->bodyPosition("labyrinthDoor").y;
    ASSERT_TRUE(driver->walkTo(11.2f, -3.7f));

    driver->lookAt({24.45f, 7.45f, -2.6f});  // the goal's beacon, over the walls
    driver->frameWithScreenshot(kFrame, "labyrinth_to_goal");
    // Wait at the labyrinth's entrance until the guard has turned away east
    // along its north leg, then run round the south of its patrol.
    for (double waited = 0.0; game.physicsScene->getGuardWaypointIndex() != 4; waited += kFrame) {
        ASSERT_LT(waited, 20.0) << "the guard never came by";
        driver->frame(kFrame);
    }
    ASSERT_TRUE(driver->walkTo(12.9f, -5.0f, true));
    ASSERT_TRUE(driver->walkTo(17.3f, -5.0f, true));
    ASSERT_TRUE(driver->walkTo(17.3f, -2.6f, true));
    // Over the plate before the labyrinth door, which rises in view.
    ASSERT_TRUE(driver->walkTo(19.8f, -2.6f, true));
    ASSERT_TRUE(pressurePlatePressed);
    driver->lookAlong(0.0, 1.35);
    driver->wait(1.0, kFrame);
    driver->frameWithScreenshot(kFrame, "plate_door_rising");
    driver->wait(1.0, kFrame);
    EXPECT_GT(driver->bodyPosition("labyrinthDoor").y, gateShut + 1.5f);
    ASSERT_FALSE(gameOver) << endMessage;
    driver->walkTo(23.2f, -2.6f);
    ASSERT_TRUE(gameOver);
    ASSERT_TRUE(gameWon) << endMessage;

    // The next frame shows the win screen (a translucent gold backdrop over
    // the view) with the game time taken.
    const std::string timer = game.hud->timer->getText();
    const glm::vec3 front = game.camera->getFront();
    const Rgba corner = pixelAt(driver->frameWithScreenshot(kFrame, "win"), kWidth, 2, kHeight - 3);
    EXPECT_TRUE(corner.r > 200 && corner.g > 200 && corner.b < 60) << corner.r << " " << corner.g << " " << corner.b;
    EXPECT_EQ(game.hud->wonMessage->getText(), endMessage);
    // The time taken up to the frame that reached the goal, not the time left.
    EXPECT_NEAR(escapeSeconds(endMessage), driver->clock - kFrame, 0.06) << endMessage;

    // Over: keys, mouse and time change nothing any more.
    const glm::vec3 position = game.player->getPosition();
    driver->tap(GLFW_KEY_E, kFrame);
    driver->cursor(500.0, 300.0);
    driver->hold(GLFW_KEY_W);
    driver->wait(2.5, kFrame);
    driver->release(GLFW_KEY_W);
    EXPECT_FALSE(glassesOn);
    EXPECT_EQ(game.camera->getFront(), front);
    EXPECT_EQ(game.player->getPosition(), position);
    EXPECT_EQ(game.hud->timer->getText(), timer);
}

// The timer shows 10:00 until the first tick, which comes once more than a
// second has passed, with the surplus dropped (steady 0.4 s frames tick on
// every third frame). At 600 s the game is lost in that same frame; the timer
// keeps the last value it showed while the countdown runs on to zero.
TEST(GameOver, TimerTicksOnceASecondAndTheTimeRunsOut) {
    START_GAME(driver, 480, 270);
    Hud& hud = *driver->game->hud;
    EXPECT_EQ(hud.timer->getText(), "10:00");
    driver->wait(1.0, 0.25);
    EXPECT_EQ(hud.timer->getText(), "10:00") << "ticked at exactly one second";
    driver->frame(0.25);
    EXPECT_EQ(hud.timer->getText(), "09:58");
    std::string last = hud.timer->getText();
    for (int i = 1; i <= 9; ++i) {
        driver->frame(0.4);
        EXPECT_EQ(hud.timer->getText() != last, i % 3 == 0) << "frame " << i;
        last = hud.timer->getText();
    }
    EXPECT_EQ(last, "09:55");  // 600 - 1.25 - 3.6

    driver->wait(590.0, 10.0);
    ASSERT_FALSE(gameOver);
    EXPECT_EQ(hud.timer->getText(), "00:05");
    while (!gameOver) {
        ASSERT_LT(driver->clock, 605.0);
        driver->frame(0.4);
    }
    EXPECT_EQ(timeRemaining, 0.0f);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(hud.loseMessage->getText(), "Your time ran out!");
    const std::string frozen = hud.timer->getText();
    EXPECT_TRUE(frozen == "00:00" || frozen == "00:01") << frozen;
    driver->frameWithScreenshot(0.4, "lose_time_out");
    driver->wait(3.0, 0.5);
    EXPECT_EQ(hud.timer->getText(), frozen);
}

// The player on the guard's north leg, which the guard walks after turning on
// the spot at the patrol's start for its first three seconds.
void placeOnThePatrol(GameDriver& driver) {
    driver.game->player->getController()->setPosition(glm::dvec3(12.9, 0.91, -3.4));
    driver.wait(0.2, 0.05);
    ASSERT_FALSE(gameOver) << endMessage;
}

TEST(GameOver, WalkingIntoTheGuard) {
    START_GAME(driver, 160, 90);
    placeOnThePatrol(*driver);
    driver->lookAlong(-1.5707963267948966);
    driver->hold(GLFW_KEY_W);
    for (int i = 0; i < 40 && !gameOver; ++i) driver->frame(0.05);
    ASSERT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
}

// Standing still, the guard walks into the player; the world then stands still.
TEST(GameOver, TheGuardWalksIntoAStillPlayer) {
    START_GAME(driver, 480, 270);
    placeOnThePatrol(*driver);
    for (int i = 0; i < 120 && !gameOver; ++i) driver->frame(0.05);
    ASSERT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    // The lose screen: the view and display under a translucent black backdrop.
    const std::vector<uint8_t> shot = driver->frameWithScreenshot(0.05, "lose_hit_by_guard");
    const Rgba corner = pixelAt(shot, 480, 2, 267);
    EXPECT_TRUE(corner.r < 60 && corner.g < 60 && corner.b < 60) << corner.r << " " << corner.g << " " << corner.b;
    // Shrunk with the small window, its white lines stand whole inside it:
    // nothing white at the window's sides.
    int whiteAtSides = 0;
    for (int y = 0; y < 270; ++y) {
        for (int x : {0, 1, 478, 479}) whiteAtSides += pixelAt(shot, 480, x, y).g > 150;
    }
    EXPECT_EQ(whiteAtSides, 0);
    EXPECT_EQ(driver->game->hud->loseMessage->getText(), "You were hit by the guard!");
    const glm::vec3 guard = driver->bodyPosition("guard");
    driver->wait(1.0, 0.05);
    EXPECT_EQ(driver->bodyPosition("guard"), guard);
}

// The goal's rule on a level body named as the goal: the message gives the
// time taken (the limit less the time left) as minutes and seconds, wrapped at
// 60, in the form MM:SS.mmm with zeros filled in.
TEST(GameOver, ReachingTheGoalNamesTheTimeTaken) {
    Stage stage;
    const btCollisionObject* goal = stage.staticBox("labyrinth_goal", glm::vec3(0.0f), glm::vec3(1.0f))->getActor();
    const std::pair<float, const char*> cases[] = {
        {187.25f, "You escaped the prison in 03:07.250!"},
        {599.5f, "You escaped the prison in 09:59.500!"},
        {65.5f, "You escaped the prison in 01:05.500!"},
        {0.125f, "You escaped the prison in 00:00.125!"},
    };
    PlayerHitReport report;
    for (const auto& [taken, message] : cases) {
        gameOver = gameWon = false;
        timeRemaining = timeLimit - taken;
        report.onShapeHit(ControllerShapeHit{goal});
        EXPECT_TRUE(gameOver && gameWon);
        EXPECT_EQ(endMessage, message);
    }
}

}  // namespace

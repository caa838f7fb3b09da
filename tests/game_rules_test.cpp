// The countdown and the ways to lose, in the real game frame on the real
// level (small hidden window, real physics), with scripted frame times.

#include "app/Countdown.h"
#include "app/GameState.h"
#include "app/Hud.h"
#include "physics/CharacterController.h"
#include "physics/PhysicsScene.h"
#include "physics/Player.h"
#include "render/Text.h"
#include "tests/support/GameDriver.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A fresh game in a hidden window of the given size; skips without a display.
#define START_GAME(driver, width, height)                              \
    auto driver = std::make_unique<GameDriver>(width, height);         \
    if (driver->displayMissing()) GTEST_SKIP() << driver->reason();    \
    ASSERT_TRUE(driver->ok()) << driver->reason()

// The text form truncates minutes and seconds and pads both to two digits.
TEST(Countdown, RemainingTimeAsMinutesAndSeconds) {
    const float saved = timeRemaining;
    const std::pair<float, const char*> cases[] = {
        {600.0f, "10:00"}, {599.5f, "09:59"}, {61.9f, "01:01"}, {59.999f, "00:59"}, {0.0f, "00:00"}, {6000.0f, "100:00"},
    };
    for (const auto& c : cases) {
        timeRemaining = c.first;
        EXPECT_EQ(formatRemainingTime(), c.second) << c.first;
    }
    timeRemaining = saved;
}

// The timer shows 10:00 until the first tick, which comes once more than a
// second has passed; the surplus is dropped, so steady 0.4 s frames tick on
// every third frame.
TEST(Countdown, TimerTextChangesOnlyOnTicks) {
    START_GAME(driver, 160, 90);
    Text& timer = *driver->game->hud->timer;
    EXPECT_EQ(timer.getText(), "10:00");
    for (int i = 0; i < 4; ++i) {
        driver->frame(0.25);
    }
    EXPECT_EQ(timer.getText(), "10:00") << "ticked at exactly one second";
    driver->frame(0.25);
    EXPECT_EQ(timer.getText(), "09:58");
    EXPECT_EQ(secondAccumulator, 0.0);

    std::string last = timer.getText();
    int changes = 0;
    for (int i = 1; i <= 9; ++i) {
        driver->frame(0.4);
        if (timer.getText() != last) {
            ++changes;
            last = timer.getText();
            EXPECT_EQ(i % 3, 0) << "tick in frame " << i;
        }
    }
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(last, "09:55");  // 600 - 1.25 - 3.6
}

// At 600 s the game is lost in that same frame; the timer keeps the last
// value it showed while the countdown runs on to its floor of zero.
TEST(GameOver, TimeRunsOut) {
    START_GAME(driver, 480, 270);
    for (int i = 0; i < 59; ++i) {
        driver->frame(10.0);
    }
    ASSERT_FALSE(gameOver);
    EXPECT_EQ(driver->game->hud->timer->getText(), "00:10");
    while (!gameOver) {
        ASSERT_LT(driver->clock, 605.0);
        driver->frame(0.4);
    }
    EXPECT_EQ(timeRemaining, 0.0f);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "Your time ran out!");
    EXPECT_TRUE(driver->game->hud->loseScene.isEnabled()) << "the lose screen waits a frame";
    EXPECT_EQ(driver->game->hud->loseMessage->getText(), "Your time ran out!");
    const std::string frozen = driver->game->hud->timer->getText();
    EXPECT_TRUE(frozen == "00:00" || frozen == "00:01") << frozen;
    driver->frameWithScreenshot(0.4, "lose_time_out");
    driver->wait(3.0, 0.5);
    EXPECT_EQ(driver->game->hud->timer->getText(), frozen);
    EXPECT_FALSE(driver->game->hud->winScene.isEnabled());
}

// Where the guard stands for the first three seconds of its patrol, and the
// leg it then walks north.
const glm::vec3 kGuardStart(12.9f, 0.0f, -5.23823f);

void placePlayer(GameDriver& driver, float x, float z) {
    driver.game->player->getController()->setPosition(glm::dvec3(x, 0.91, z));
    driver.wait(0.2, 0.05);
}

// Walking into the guard while it stands turning loses the game.
TEST(GameOver, WalkingIntoTheGuard) {
    START_GAME(driver, 160, 90);
    placePlayer(*driver, kGuardStart.x, -3.4f);
    ASSERT_FALSE(gameOver) << endMessage;
    driver->lookAlong(-1.5707963267948966);
    driver->hold(GLFW_KEY_W);
    for (int i = 0; i < 40 && !gameOver; ++i) {
        driver->frame(0.05);
    }
    driver->release(GLFW_KEY_W);
    ASSERT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
    driver->frame(0.05);
    EXPECT_TRUE(driver->game->hud->loseScene.isEnabled());
    EXPECT_EQ(driver->game->hud->loseMessage->getText(), "You hit the guard!");
}

// Standing still on the guard's north leg: the guard walks into the player.
TEST(GameOver, TheGuardWalksIntoAStillPlayer) {
    START_GAME(driver, 480, 270);
    placePlayer(*driver, kGuardStart.x, -3.4f);
    for (int i = 0; i < 120 && !gameOver; ++i) {
        driver->frame(0.05);
    }
    ASSERT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You were hit by the guard!");
    driver->frameWithScreenshot(0.05, "lose_hit_by_guard");
    EXPECT_EQ(driver->game->hud->loseMessage->getText(), "You were hit by the guard!");
    // The world stands still under the end screen.
    const glm::vec3 guard = driver->bodyPosition("guard");
    driver->wait(1.0, 0.05);
    EXPECT_EQ(driver->bodyPosition("guard"), guard);
}

}  // namespace

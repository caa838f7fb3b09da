// The countdown and the ways to lose, in the real game frame on the real
// level (small hidden window, real physics), with scripted frame times.

#include "app/GameState.h"
#include "app/Hud.h"
#include "physics/CharacterController.h"
#include "physics/Player.h"
#include "render/Text.h"
#include "tests/support/GameDriver.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

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
    EXPECT_EQ(endMessage, "Your time ran out!");
    EXPECT_TRUE(hud.loseScene.isEnabled()) << "the lose screen waits a frame";
    EXPECT_EQ(hud.loseMessage->getText(), "Your time ran out!");
    const std::string frozen = hud.timer->getText();
    EXPECT_TRUE(frozen == "00:00" || frozen == "00:01") << frozen;
    driver->frameWithScreenshot(0.4, "lose_time_out");
    driver->wait(3.0, 0.5);
    EXPECT_EQ(hud.timer->getText(), frozen);
    EXPECT_FALSE(hud.winScene.isEnabled());
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
    for (int i = 0; i < 40 && !gameOver; ++i) {
        driver->frame(0.05);
    }
    ASSERT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
    driver->frame(0.05);
    EXPECT_EQ(driver->game->hud->loseMessage->getText(), "You hit the guard!");
}

// Standing still, the guard walks into the player; the world then stands still.
TEST(GameOver, TheGuardWalksIntoAStillPlayer) {
    START_GAME(driver, 480, 270);
    placeOnThePatrol(*driver);
    for (int i = 0; i < 120 && !gameOver; ++i) {
        driver->frame(0.05);
    }
    ASSERT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You were hit by the guard!");
    driver->frameWithScreenshot(0.05, "lose_hit_by_guard");
    EXPECT_EQ(driver->game->hud->loseMessage->getText(), "You were hit by the guard!");
    const glm::vec3 guard = driver->bodyPosition("guard");
    driver->wait(1.0, 0.05);
    EXPECT_EQ(driver->bodyPosition("guard"), guard);
}

}  // namespace

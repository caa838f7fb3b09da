#pragma once

#include "app/Game.h"
#include "app/Settings.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/GlContext.h"

#include <glm/glm.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A fresh game on the real level, real physics and a real GL context (a small
// hidden window), driven frame by frame from a script: the script gives the
// frame times and held keys; key and cursor events go through the game's own
// InputDispatcher between frames, where GLFW's event poll would deliver them.
// Keys the script does not hold read as the window reports them, so X events
// sent to the window (tapKeyBeforeNextPoll) reach the game as a player's do.
class GameDriver {
public:
    GameDriver(int width, int height);
    ~GameDriver();

    // One frame of dt seconds; frames of dt for `seconds`; a frame whose
    // picture (RGBA, bottom row first) is read back and saved as game_<name>.png.
    void frame(double dt) { clock += dt, game->frame(); }
    void wait(double seconds, double dt) {
        for (double waited = 0.0; waited < seconds - 1e-9; waited += dt) frame(dt);
    }
    std::vector<uint8_t> frameWithScreenshot(double dt, const std::string& name);

    // Events as GLFW delivers them; a tap is press, a frame held, release.
    void keyEvent(int key, int action) { InputDispatcher::keyCallback(context.window(), key, 0, action, 0); }
    void tap(int key, double dt);
    void hold(int key) { held.insert(key); }
    void release(int key) { held.erase(key); }
    void cursor(double x, double y) {
        cursorX = x, cursorY = y;
        InputDispatcher::cursorPosCallback(context.window(), x, y);
    }

    // The player's eye, as the camera follow and the focus ray take it.
    glm::vec3 eye() const;
    // Turns the view with mouse motion: towards a point, or to an azimuth
    // (radians, 0 = +x, pi/2 = +z), level.
    void lookAt(const glm::vec3& point);
    void lookAlong(double azimuth, double polar = 1.5707963267948966);
    // Walks (or runs) to a point on the floor, steering with the mouse each
    // frame. False when it did not get within 0.15 in 20 seconds.
    bool walkTo(float x, float z, bool run = false, double dt = 0.05);
    // Looks at each lock in turn and types its digit on the number row, a
    // frame of dt each. 0 when every lock took its digit, else the number of
    // the first lock that was not in focus (nothing typed from there on).
    int typeCode(const std::array<unsigned, 4>& digits, double dt);
    glm::vec3 bodyPosition(const std::string& name);

    double clock = 0.0;
    GlContext context;
    PhysicsWorld physicsWorld;
    Settings settings;
    std::unique_ptr<Game> game;

private:
    std::set<int> held;
    double cursorX = 0.0;
    double cursorY = 0.0;
};

// Clears the escape game's process-wide state to its values at start-up.
void resetGameState();

// Declares `driver`, a fresh game in a hidden window of the given size;
// skips the test without a display.
#define START_GAME(driver, width, height)                                              \
    auto driver = std::make_unique<GameDriver>(width, height);                         \
    if (driver->context.displayMissing()) GTEST_SKIP() << driver->context.reason();    \
    ASSERT_TRUE(driver->game) << driver->context.reason()

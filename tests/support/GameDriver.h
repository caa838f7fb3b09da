#pragma once

#include "app/Game.h"
#include "app/Settings.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/GlContext.h"

#include <glm/glm.hpp>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The game on the real level, real physics and a real GL context (a small
// hidden window), driven frame by frame from a script: the clock advances by
// the frame times the script gives, held keys are the script's, and key and
// cursor events go through the game's own InputDispatcher between frames,
// where GLFW's event poll would deliver them. Construction resets the game
// state, so each driver starts a fresh game.
class GameDriver {
public:
    GameDriver(int width, int height);
    ~GameDriver();
    GameDriver(const GameDriver&) = delete;
    GameDriver& operator=(const GameDriver&) = delete;

    bool ok() const { return game != nullptr; }
    bool displayMissing() const { return context.displayMissing(); }
    std::string reason() const { return context.reason(); }

    // One whole frame of dt seconds.
    void frame(double dt);
    // A frame of dt seconds whose picture is read back before it is
    // presented (RGBA, bottom row first) and saved as <name>.png.
    std::vector<uint8_t> frameWithScreenshot(double dt, const std::string& name);
    // Frames of dt until `seconds` have passed.
    void wait(double seconds, double dt);

    // Events, as GLFW would deliver them during the event poll.
    void keyEvent(int key, int action);
    // Press and release, with the key held for the frame in between.
    void tap(int key, double dt);
    void hold(int key) { held.insert(key); }
    void release(int key) { held.erase(key); }
    void cursor(double x, double y);

    // The player's eye, as the camera follow and the focus ray take it.
    glm::vec3 eye() const;
    // Turns the view towards a point with mouse motion.
    void lookAt(const glm::vec3& point);
    // Turns the view to an azimuth (radians, 0 = +x, pi/2 = +z), level.
    void lookAlong(double azimuth, double polar = 1.5707963267948966);
    // Walks (or runs) to a point on the floor, steering with the mouse each
    // frame. False when it did not get within 0.15 in `limit` seconds.
    bool walkTo(float x, float z, bool run = false, double dt = 0.05, double limit = 20.0);
    // The world position of a registered body.
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
#define START_GAME(driver, width, height)                              \
    auto driver = std::make_unique<GameDriver>(width, height);         \
    if (driver->displayMissing()) GTEST_SKIP() << driver->reason();    \
    ASSERT_TRUE(driver->ok()) << driver->reason()

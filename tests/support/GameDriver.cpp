#include "tests/support/GameDriver.h"

#include "app/GameState.h"
#include "app/Lock.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsScene.h"
#include "physics/Player.h"
#include "render/Camera.h"
#include "render/Renderer.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>

#include <cmath>

// Radians of view turn per pixel of mouse motion.
static constexpr double kLookSensitivity = 0.0016666667328940497;

void resetGameState() {
    gameOver = gameWon = cellDoorOpened = pressurePlatePressed = glassesPickedUp = glassesOn = secondElapsed = false;
    secondAccumulator = frameDeltaTime = 0.0;
    endMessage = "...";
    timeRemaining = timeLimit;
    currentPlayer = nullptr;
    mainCamera = nullptr;
}

GameDriver::GameDriver(int width, int height) : context(width, height) {
    if (!context.ok()) return;
    resetGameState();
    // The game's baseline GL state and render-wide settings, as start-up sets them.
    applyGameGlState();
    nearPlane = static_cast<float>(settings.nearDistance);
    farPlane = static_cast<float>(settings.farDistance);
    globalBrightness = static_cast<float>(settings.brightness);

    // The game's own input from the window, with the clock scripted. A key
    // reads as held while the script holds it, and otherwise as the window
    // reports it, so X key events sent to the window count as in the game.
    FrameInput input = glfwFrameInput(context.window());
    input.now = [this] { return clock; };
    input.keyState = [this, windowKeys = input.keyState](int key) {
        const int state = windowKeys(key);  // always read, as the game reads it each frame
        return held.count(key) != 0 ? GLFW_PRESS : state;
    };
    game = std::make_unique<Game>(context.window(), physicsWorld, settings, width, height, input);
    game->buildLevel();
    game->beginLoop();
    // The first cursor event only tells the player where the cursor is.
    cursor(cursorX, cursorY);
}

GameDriver::~GameDriver() {
    if (game == nullptr) return;
    Renderer* renderer = game->renderer;
    game.reset();
    // The game never releases these; a test does, before its context goes.
    delete renderer;
    delete mainCamera;
    mainCamera = nullptr;
    currentPlayer = nullptr;
}

std::vector<uint8_t> GameDriver::frameWithScreenshot(double dt, const std::string& name) {
    clock += dt;
    game->update();
    game->draw();
    const int width = static_cast<int>(game->width), height = static_cast<int>(game->height);
    std::vector<uint8_t> pixels = readBackBuffer(width, height);
    savePng("game_" + name, pixels, width, height);
    game->present();
    return pixels;
}

int GameDriver::typeCode(const std::array<unsigned, 4>& digits, double dt) {
    for (int i = 0; i < 4; ++i) {
        lookAt(bodyPosition("lock" + std::to_string(i + 1)));
        frame(dt);
        if (!game->locks[i]->isSelected()) return i + 1;
        tap(GLFW_KEY_0 + static_cast<int>(digits[i]), dt);
    }
    return 0;
}

void GameDriver::tap(int key, double dt) {
    keyEvent(key, GLFW_PRESS);
    hold(key);
    frame(dt);
    release(key);
    keyEvent(key, GLFW_RELEASE);
}

glm::vec3 GameDriver::eye() const {
    return game->player->getPosition() + glm::vec3(0.0f, game->player->getTotalHeight() * 0.5f - 0.2f, 0.0f);
}

void GameDriver::lookAlong(double azimuth, double polar) {
    const Player& player = *game->player;
    const double dx = std::remainder(azimuth - player.getAzimuth(), 2.0 * 3.141592653589793) / kLookSensitivity;
    const double dy = (polar - player.getPolar()) / kLookSensitivity;
    cursor(cursorX + dx, cursorY + dy);
}

void GameDriver::lookAt(const glm::vec3& point) {
    const glm::dvec3 d = glm::normalize(glm::dvec3(point) - glm::dvec3(eye()));
    lookAlong(std::atan2(d.z, d.x), std::acos(d.y));
}

bool GameDriver::walkTo(float x, float z, bool run, double dt) {
    bool arrived = false;
    for (double t = 0.0; t < 20.0 && !arrived && !gameOver; t += dt) {
        const glm::vec3 at = game->player->getPosition();
        const double dx = x - at.x, dz = z - at.z, distance = std::sqrt(dx * dx + dz * dz);
        arrived = distance < 0.15;
        release(GLFW_KEY_W);
        release(GLFW_KEY_LEFT_SHIFT);
        if (!arrived) {
            lookAlong(std::atan2(dz, dx));
            hold(GLFW_KEY_W);
            // Run only while far: a running step would overshoot the point.
            if (run && distance > 0.6) hold(GLFW_KEY_LEFT_SHIFT);
        }
        frame(dt);
    }
    release(GLFW_KEY_W);
    release(GLFW_KEY_LEFT_SHIFT);
    return arrived;
}

glm::vec3 GameDriver::bodyPosition(const std::string& name) {
    const btVector3 p = game->physicsScene->getPhysicsObject(name)->getActor()->getWorldTransform().getOrigin();
    return glm::vec3(p.x(), p.y(), p.z());
}

#pragma once

#include "app/FrameInput.h"
#include "app/InputDispatcher.h"
#include "app/LockLogic.h"
#include "render/ConfettiEmitter.h"
#include "render/ModelLoader.h"
#include "render/Scene.h"

#include <memory>

struct GLFWwindow;
class Camera;
class Hud;
class PhysicsScene;
class PhysicsWorld;
class Player;
class Renderer;
struct Settings;

// The escape game on an open window with a current context: renderer,
// camera, confetti, input, the level with its locks, display and end
// screens, physics and player, and the frame that runs them.
//
// Built in two halves around the start screen: the constructor makes
// everything the start screen needs (renderer with shaders and font, model
// loader, camera, confetti, input dispatcher with the renderer's keys, the
// world scene with its sky and text material); buildLevel then loads the
// level and makes the rest. The members are declared in the order they are
// built, so destroying a Game releases them in the reverse order: player,
// lose, win and display scenes, world scene, input dispatcher, confetti,
// model loader. The physics world belongs to the caller and must outlive
// the game (it owns the physics scene); the renderer and the camera are
// never destroyed.
// The renderer on a white clear colour with the game's four shaders and the
// VT323 font loaded, as the game builds it.
Renderer* createGameRenderer(GLFWwindow* window, int width, int height);

class Game {
public:
    // width and height: the window's size as start-up left it.
    Game(GLFWwindow* window, PhysicsWorld& physicsWorld, const Settings& settings, int width, int height,
         FrameInput input);
    ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // Loads the level into the world scene and builds everything the frame
    // uses. A missing level object or material throws; so does a level body
    // that cannot be built.
    void buildLevel();

    // The main loop: frames until the window is asked to close.
    void run();

    // The parts of run, for driving frame by frame: take the clock once,
    // then while running(), frame().
    void beginLoop();
    bool running() const;
    void frame();

    // The parts of frame, in their order: everything up to the drawing,
    // the drawing, then the buffer swap and the event poll.
    void update();
    void draw();
    void present();

    GLFWwindow* const window;
    PhysicsWorld& physicsWorld;
    FrameInput input;
    const float width;
    const float height;

    Renderer* const renderer;  // never destroyed
    ModelLoader modelLoader;
    Camera* const camera;  // also mainCamera; never destroyed
    ConfettiEmitter confetti;
    InputDispatcher dispatcher;
    Scene worldScene;
    CellLocks locks{};
    std::unique_ptr<Hud> hud;
    PhysicsScene* physicsScene = nullptr;  // owned by the physics world
    std::unique_ptr<Player> player;

    // This frame's length in seconds, and the clock at the last frame.
    double deltaTime = 0.0;
    double lastTime = 0.0;

private:
    void focus();
    void followPlayer();
};

#include "app/Game.h"

#include "app/Countdown.h"
#include "app/GameState.h"
#include "app/Glasses.h"
#include "app/Hud.h"
#include "app/LevelPhysics.h"
#include "app/Lock.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsQueryFilterCallback.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsWorld.h"
#include "physics/Player.h"
#include "render/Bone.h"
#include "render/Camera.h"
#include "render/Font.h"
#include "render/Material.h"
#include "render/Object.h"
#include "render/Renderer.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kLevelModel = "assets/models/cell.fbx";

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",
    "assets/textures/cubemap/top.jpg",   "assets/textures/cubemap/bottom.jpg",
    "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

constexpr int kConfettiCount = 1000;
constexpr float kConfettiLifetime = 2.0f;  // seconds

// The player's capsule: cylinder height and radius, and its centre at start.
constexpr float kPlayerHeight = 1.4f;
constexpr float kPlayerRadius = 0.2f;
const glm::vec3 kPlayerStart(0.0f, 1.3f, 0.0f);

// How far the player reaches: the glasses and the locks only react closer.
constexpr float kReach = 1.25f;

Camera* createCamera(const Settings& settings, int width, int height) {
    mainCamera = new Camera(settings.fieldOfView, static_cast<double>(width) / static_cast<double>(height),
                            settings.nearDistance, settings.farDistance);
    return mainCamera;
}

}  // namespace

// The renderer on a white clear colour, with the game's shaders and font.
Renderer* createGameRenderer(GLFWwindow* window, int width, int height) {
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    auto* renderer = new Renderer(window, static_cast<GLuint>(width), static_cast<GLuint>(height));
    ShaderManager& shaders = renderer->getShaderManager();
    shaders.load("phong", "assets/shaders/phong");
    shaders.load("skybox", "assets/shaders/skybox");
    shaders.load("font", "assets/shaders/font");
    shaders.load("font3D", "assets/shaders/font3D");
    // Every text of the game is drawn from this size, scaled down by 1/256.
    renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", 256);
    return renderer;
}

Game::Game(GLFWwindow* window, PhysicsWorld& physicsWorld, const Settings& settings, int width, int height,
           FrameInput input)
    : window(window),
      physicsWorld(physicsWorld),
      input(std::move(input)),
      width(static_cast<float>(width)),
      height(static_cast<float>(height)),
      renderer(createGameRenderer(window, width, height)),
      modelLoader(renderer),
      camera(createCamera(settings, width, height)),
      confetti(kConfettiCount, kConfettiLifetime),
      dispatcher(window),
      worldScene(&modelLoader) {
    renderer->addConfetti(&confetti);
    Renderer* keyRenderer = renderer;
    dispatcher.addKeyCallback([keyRenderer](int key, int action) { keyRenderer->handleKey(key, action); });

    ShaderManager& shaders = renderer->getShaderManager();
    worldScene.setSkybox(kSkyFaces, shaders.get("skybox"));
    // The lock digits are drawn with this material.
    MaterialManager& materials = worldScene.getMaterialManager();
    materials.create("text", shaders.get("font3D"));
    Material* text = materials.get("text");
    text->setColor(1.0f, 1.0f, 1.0f, 1.0f);
    text->setTexture(kDiffuseTextureUnit, renderer->getFontManager().getFont("VT323")->texture);
}

Game::~Game() = default;

void Game::buildLevel() {
    // The guard's body is bound to the root bone of the level's skinned mesh:
    // forget a bone of any model loaded before (the start screen's).
    rootBone = nullptr;
    worldScene.loadModel(kLevelModel);
    if (rootBone == nullptr) {
        const std::string message = std::string("The level ") + kLevelModel + " has no skinned guard.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    renderer->addScene(&worldScene);
    worldScene.setCamera(camera);

    locks = setUpLocks(worldScene);

    MaterialManager& materials = worldScene.getMaterialManager();
    materials.get("Guard")->setAlpha(1.0f);
    Material* metal = materials.get("Material.001");
    metal->setUseEnvironmentMapping(true);
    metal->setKe(0.15f);

    hud = std::make_unique<Hud>(&modelLoader, *renderer, camera, width, height, formatRemainingTime());

    physicsScene = buildPhysicsScene(worldScene, physicsWorld);
    if (physicsScene == nullptr) {
        throw std::runtime_error("The level's physics could not be built.");
    }

    player = std::make_unique<Player>(physicsScene, physicsWorld.getMaterial("default"), kPlayerHeight,
                                      kPlayerRadius, kPlayerStart);
    physicsScene->setPlayer(player.get());

    Player* looking = player.get();
    dispatcher.addCursorPosCallback([looking](double x, double y) { looking->onMouse(x, y); });
    dispatcher.addKeyCallback([looking](int key, int action) { looking->onKey(key, action); });
    const CellLocks keyLocks = locks;
    dispatcher.addKeyCallback([keyLocks](int key, int action) {
        for (Lock* lock : keyLocks) {
            lock->onKey(key, action);
        }
    });
    currentPlayer = player.get();
    Scene* display = &hud->hudScene;
    dispatcher.addKeyCallback([display](int key, int action) { toggleGlasses(*display, key, action); });
}

void Game::run() {
    beginLoop();
    while (running()) {
        frame();
    }
}

void Game::beginLoop() {
    lastTime = input.now();
}

bool Game::running() const {
    return glfwWindowShouldClose(window) == GLFW_FALSE;
}

void Game::frame() {
    update();
    draw();
    present();
}

void Game::update() {
    const double now = input.now();
    deltaTime = now - lastTime;
    runCountdown(deltaTime, *hud->timer);
    lastTime = now;

    player->processInput([this](int key) { return input.isDown(key); }, deltaTime);
    renderer->clear();
    pushDoorIfSolved(locks, *physicsScene, confetti);
    focus();

    if (gameOver) {
        hud->showEndScreen();
        return;
    }
    confetti.update(deltaTime);
    if (physicsScene->update(deltaTime)) {
        physicsScene->syncObjects();
        followPlayer();
    }
    camera->setFront(player->getFront());
}

void Game::draw() {
    renderer->render();
}

void Game::present() {
    glfwSwapBuffers(window);
    glfwPollEvents();
}

void Game::focus() {
    // Read every frame, not only while the glasses are in view: a tap of E
    // elsewhere is used up here instead of picking them up when next seen.
    const bool pickUp = input.isDown(GLFW_KEY_E);
    Object* glasses = worldScene.get("glasses");
    glasses->setSelected(false);
    for (Lock* lock : locks) {
        lock->setSelected(false);
    }

    // The ray passes through the cell door, so the locks on it can be seen.
    PhysicsQueryFilterCallback filter;
    filter.ignored.insert(physicsScene->getPhysicsObject("door"));
    PhysicsObject* hit = physicsScene->raycast(kReach, filter);
    if (hit == nullptr) {
        return;
    }
    Object* object = hit->getObject();
    const std::string name = object->getName();
    if (name == "glasses" && !object->isHidden()) {
        focusGlasses(*object, *hud, pickUp);
    } else if (name == "lock1" || name == "lock2" || name == "lock3" || name == "lock4") {
        object->setSelected(true);
    }
}

void Game::followPlayer() {
    const float eyeHeight = player->getTotalHeight() * 0.5f - 0.2f;
    glm::vec3 eye = player->getPosition();
    eye.y += eyeHeight;
    camera->setPosition(eye);
}

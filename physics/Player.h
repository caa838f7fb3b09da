#pragma once

#include "physics/CharacterController.h"

#include <btBulletDynamicsCommon.h>
#include <glm/glm.hpp>

#include <functional>
#include <memory>

struct GLFWwindow;
class PhysicsMaterial;
class PhysicsScene;

// The first-person character: a capsule controller moved by the keyboard, a
// view direction turned by the mouse, crouching on Left Control, running on
// Left Shift and jumping on Space. processInput only gathers the wanted
// motion once a frame; the physics scene's fixed steps then move the capsule
// with it (update). While the game is over, input is ignored.
class Player {
public:
    // Whether a key (GLFW key code) is held down.
    using KeyState = std::function<bool(int key)>;

    // height is the capsule's cylinder height, position its centre.
    Player(PhysicsScene* scene, PhysicsMaterial* material, const float& height, const float& radius,
           const glm::vec3& position);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Left Control press crouches, its release stands up again.
    void onKey(int key, int action);
    // Mouse look; the first event only records the cursor position.
    void onMouse(double x, double y);
    // Gathers the motion wanted by the held keys over dt seconds.
    void processInput(GLFWwindow* window, double dt);
    void processInput(const KeyState& isDown, double dt);
    // Moves the capsule by its share of the gathered motion (one of substeps
    // fixed steps of step seconds this frame), with jump and gravity.
    void update(double step, int substeps);
    void clearDisplacement();

    // The capsule's centre.
    glm::vec3 getPosition() const;
    float getTotalHeight() const { return totalHeight; }
    glm::vec3 getFront() const { return front; }
    glm::vec3 getRight() const { return right; }

    glm::vec3 getDisplacement() const { return displacement; }
    glm::vec3 getVelocity() const { return velocity; }
    bool isOnGround() const { return onGround; }
    bool isCrouched() const { return crouched; }
    double getPolar() const { return polar; }
    double getAzimuth() const { return azimuth; }
    // The collision flags of the last move.
    uint8_t getLastMoveFlags() const { return lastMoveFlags; }
    CharacterController* getController() { return controller.get(); }
    // The kinematic stand-in that other bodies see in the player's place.
    btRigidBody* getStandIn() { return standIn.get(); }

private:
    void updateViewVectors();
    void setStandInShape();
    void placeStandIn();

    PhysicsScene* scene;
    std::unique_ptr<CharacterController> controller;
    std::unique_ptr<btCapsuleShape> standInShape;
    std::unique_ptr<btDefaultMotionState> standInMotionState;
    std::unique_ptr<btRigidBody> standIn;

    glm::vec3 displacement{0.0f};
    glm::vec3 velocity{0.0f, -0.981f, 0.0f};
    glm::vec3 front{0.0f};
    glm::vec3 right{0.0f};
    float totalHeight;
    float standingHeight;
    double polar = 1.5708;
    double azimuth = 0.0;
    double lastCursorX = -1.0;
    double lastCursorY = -1.0;
    bool cursorSeen = false;
    bool onGround = false;
    bool crouched = false;
    uint8_t lastMoveFlags = 0;
};

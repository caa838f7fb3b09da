#include "physics/Player.h"

#include "app/GameState.h"
#include "app/PlayerHitReport.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsUserData.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>

namespace {

// The kinematic stand-in is a little smaller than the capsule, so it does not
// touch what the capsule merely rests against.
constexpr float standInScale = 0.8f;

constexpr double lookSensitivity = 0.0016666667328940497;  // radians per pixel
constexpr double minPolar = 0.001;
constexpr double maxPolar = 3.1405926535897932;  // pi - 0.001
constexpr double fullTurn = 6.283185307179586;

constexpr float walkSpeed = 2.0f;
constexpr float runSpeed = 4.0f;
constexpr float jumpSpeed = 3.5f;
constexpr float gravity = 9.81f;

}  // namespace

Player::Player(PhysicsScene* scene, PhysicsMaterial* material, const float& height, const float& radius,
               const glm::vec3& position)
    : scene(scene), totalHeight(radius + radius + height), standingHeight(height) {
    // The hit report lives as long as the program.
    controller = std::make_unique<CharacterController>(scene->getDynamicsWorld(), glm::dvec3(position), radius,
                                                       height, new PlayerHitReport());

    setStandInShape();
    standInMotionState = std::make_unique<btDefaultMotionState>(
        btTransform(btQuaternion::getIdentity(), btVector3(position.x, position.y, position.z)));
    btRigidBody::btRigidBodyConstructionInfo info(0.0f, standInMotionState.get(), standInShape.get());
    standIn = std::make_unique<btRigidBody>(info);
    standIn->setCollisionFlags(standIn->getCollisionFlags() | btCollisionObject::CF_KINEMATIC_OBJECT |
                               btCollisionObject::CF_NO_CONTACT_RESPONSE);
    standIn->setActivationState(DISABLE_DEACTIVATION);
    if (material != nullptr) {
        material->applyTo(*standIn);
    }
    setUserData(*standIn, this);
    setSceneQuery(*standIn, true);
    scene->getDynamicsWorld()->addRigidBody(standIn.get(), CollisionGroup::Kinematic, CollisionMask::Kinematic);
    controller->setIgnoredObject(standIn.get());

    updateViewVectors();
}

Player::~Player() {
    scene->getDynamicsWorld()->removeRigidBody(standIn.get());
}

void Player::setStandInShape() {
    standInShape = std::make_unique<btCapsuleShape>(controller->getRadius() * standInScale,
                                                    controller->getHeight() * standInScale);
}

void Player::placeStandIn() {
    const glm::dvec3& centre = controller->getPosition();
    // A kinematic body takes its pose from the motion state at the next step.
    standInMotionState->setWorldTransform(btTransform(
        btQuaternion::getIdentity(),
        btVector3(static_cast<btScalar>(centre.x), static_cast<btScalar>(centre.y), static_cast<btScalar>(centre.z))));
}

void Player::updateViewVectors() {
    const double x = std::sin(polar) * std::cos(azimuth);
    const double y = std::cos(polar);
    const double z = std::sin(polar) * std::sin(azimuth);
    front = glm::vec3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    right = glm::normalize(glm::vec3(-front.z, 0.0f, front.x));
}

void Player::onMouse(double x, double y) {
    if (gameOver) {
        return;
    }
    const double dx = x - lastCursorX;
    const double dy = y - lastCursorY;
    lastCursorX = x;
    lastCursorY = y;
    if (!cursorSeen) {
        cursorSeen = true;
        return;
    }
    polar = std::min(std::max(polar + dy * lookSensitivity, minPolar), maxPolar);
    azimuth = std::fmod(azimuth + dx * lookSensitivity, fullTurn);
    updateViewVectors();
}

void Player::onKey(int key, int action) {
    if (gameOver || key != GLFW_KEY_LEFT_CONTROL) {
        return;
    }
    // The capsule follows the crouched state, not every event: a release
    // without a press (the key was held when play began) or a second press
    // leaves it as it is, so the capsule and the total height always agree.
    if (action == GLFW_PRESS && !crouched) {
        crouched = true;
        controller->resize(standingHeight * 0.5f);
        totalHeight += standingHeight * 0.5f - standingHeight;
    } else if (action == GLFW_RELEASE && crouched) {
        crouched = false;
        controller->resize(standingHeight);
        totalHeight += standingHeight - standingHeight * 0.5f;
    } else {
        return;
    }
    scene->getDynamicsWorld()->removeRigidBody(standIn.get());
    setStandInShape();
    standIn->setCollisionShape(standInShape.get());
    scene->getDynamicsWorld()->addRigidBody(standIn.get(), CollisionGroup::Kinematic, CollisionMask::Kinematic);
    placeStandIn();
}

void Player::processInput(GLFWwindow* window, double dt) {
    processInput(
        [window](int key) {
            const int state = glfwGetKey(window, key);
            return state == GLFW_PRESS || state == GLFW_REPEAT;
        },
        dt);
}

void Player::processInput(const KeyState& isDown, double dt) {
    if (gameOver) {
        return;
    }
    const glm::vec3 forward = glm::normalize(glm::vec3(front.x, 0.0f, front.z));
    const glm::vec3 side = glm::normalize(glm::vec3(right.x, 0.0f, right.z));
    const float speed = isDown(GLFW_KEY_LEFT_SHIFT) ? runSpeed : walkSpeed;

    if (isDown(GLFW_KEY_SPACE) && onGround) {
        velocity.y += jumpSpeed;
        onGround = false;
    }
    // Direction times speed in single precision, times dt and summed in double.
    const auto add = [&](float& component, float directed, double sign) {
        component = static_cast<float>(static_cast<double>(component) + sign * static_cast<double>(directed) * dt);
    };
    if (isDown(GLFW_KEY_W)) {
        add(displacement.x, forward.x * speed, 1.0);
        add(displacement.z, forward.z * speed, 1.0);
    }
    if (isDown(GLFW_KEY_S)) {
        // Backwards is always a slow 1 unit per second.
        add(displacement.x, forward.x, -1.0);
        add(displacement.z, forward.z, -1.0);
    }
    if (isDown(GLFW_KEY_D)) {
        add(displacement.x, side.x * speed, 1.0);
        add(displacement.z, side.z * speed, 1.0);
    }
    if (isDown(GLFW_KEY_A)) {
        add(displacement.x, side.x * speed, -1.0);
        add(displacement.z, side.z * speed, -1.0);
    }
}

void Player::update(double step, int substeps) {
    if (onGround) {
        velocity.y = 0.0f;
    } else {
        velocity.y = static_cast<float>(static_cast<double>(velocity.y) - step * static_cast<double>(gravity));
    }
    const float seconds = static_cast<float>(step);
    const float parts = static_cast<float>(substeps);
    const glm::vec3 move = (displacement + velocity * seconds) / parts;
    lastMoveFlags = controller->move(move, 0.0f, seconds);
    onGround = (lastMoveFlags & ControllerCollisionFlag::CollisionDown) != 0;
    placeStandIn();
}

void Player::clearDisplacement() {
    displacement = glm::vec3(0.0f);
}

glm::vec3 Player::getPosition() const {
    const glm::dvec3& centre = controller->getPosition();
    return glm::vec3(static_cast<float>(centre.x), static_cast<float>(centre.y), static_cast<float>(centre.z));
}

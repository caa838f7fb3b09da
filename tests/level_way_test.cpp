// The way from the cell door to the labyrinth, on the real level, real
// physics and the real renderer: a player stepping out of the cell sees where
// to go and can walk straight there, and the guard's patrol keeps clear of
// the walls around it. Pictures are saved as test-output/game_way_*.png.

#include "app/GameState.h"
#include "physics/CharacterController.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsScene.h"
#include "physics/Player.h"
#include "render/Camera.h"
#include "tests/support/GameDriver.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;
constexpr double kFrame = 0.05;

// Just outside the cell door, in its opening: where a player stands first.
const glm::vec3 kDoorway(3.2f, 0.91f, 0.8f);
// The gateway into the labyrinth (the middle of its opening in the west wall),
// the lamp over it and points of the red band along the wall's yard face.
const glm::vec3 kGateway(11.65f, 0.0f, -3.7f);
const glm::vec3 kGatewayLamp(11.45f, 3.0f, -3.7f);
const glm::vec3 kWestWallBand[] = {{11.49f, 2.46f, -5.3f}, {11.49f, 2.46f, -2.2f}, {11.49f, 2.46f, -1.5f}};

void standInTheDoorway(GameDriver& driver) {
    driver.game->player->getController()->setPosition(glm::dvec3(kDoorway));
    driver.wait(0.3, kFrame);
}

// Where a point lands in the last frame's picture (bottom row first), in pixels.
glm::ivec2 onScreen(const Camera& camera, const glm::vec3& point) {
    const glm::vec4 clip = camera.getViewProjection() * glm::vec4(point, 1.0f);
    return {static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * kWidth),
            static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * kHeight)};
}

// Whether any body stands on the straight line between two points.
bool blocked(PhysicsScene& scene, const glm::vec3& from, const glm::vec3& to) {
    const btVector3 a(from.x, from.y, from.z), b(to.x, to.y, to.z);
    btCollisionWorld::ClosestRayResultCallback hit(a, b);
    scene.getDynamicsWorld()->rayTest(a, b, hit);
    return hit.hasHit();
}

// Stepping out of the cell door and looking ahead, the way on is in plain
// sight: nothing stands between the eye and the gateway or its lamp, the
// amber lamp and the red band of the arm behind the gateway show in the
// picture, and walking straight at the gateway gets there without a wall
// pushing the player off the line.
TEST(LevelWay, TheGatewayShowsFromTheCellDoorAndTheWayThereIsStraight) {
    START_GAME(driver, kWidth, kHeight);
    standInTheDoorway(*driver);
    PhysicsScene& scene = *driver->game->physicsScene;
    const glm::vec3 eye = driver->eye();
    EXPECT_FALSE(blocked(scene, eye, glm::vec3(kGateway.x, eye.y, kGateway.z))) << "the gateway hides from the door";
    EXPECT_FALSE(blocked(scene, eye, kGatewayLamp)) << "the gateway's lamp hides from the door";

    // Looking straight out along the door's axis, as a player leaves the cell.
    driver->lookAlong(0.0);
    const std::vector<uint8_t> view = driver->frameWithScreenshot(kFrame, "way_from_door");
    const Camera& camera = *driver->game->camera;
    const auto colourAt = [&](const glm::vec3& point) {
        const glm::ivec2 p = onScreen(camera, point);
        EXPECT_TRUE(p.x >= 0 && p.x < kWidth && p.y >= 0 && p.y < kHeight) << p.x << ", " << p.y;
        return pixelAt(view, kWidth, std::clamp(p.x, 0, kWidth - 1), std::clamp(p.y, 0, kHeight - 1));
    };
    // The lamp glows amber: bright red and green, little blue.
    const Rgba lamp = colourAt(kGatewayLamp);
    EXPECT_TRUE(lamp.r > 170 && lamp.g > 110 && lamp.r > lamp.b + 90) << lamp.r << " " << lamp.g << " " << lamp.b;
    // The band is the red arm's red, not the yard walls' pale stone.
    for (const glm::vec3& point : kWestWallBand) {
        const Rgba band = colourAt(point);
        EXPECT_TRUE(band.r > band.g + 35 && band.r > band.b + 35)
            << "at z " << point.z << ": " << band.r << " " << band.g << " " << band.b;
    }

    // Straight at the gateway from the doorway: the player keeps to the line.
    const glm::vec2 start(kDoorway.x, kDoorway.z), end(kGateway.x - 0.35f, kGateway.z);
    const glm::vec2 along = glm::normalize(end - start);
    float offLine = 0.0f;
    bool arrived = false;
    for (double t = 0.0; t < 20.0 && !arrived; t += kFrame) {
        const glm::vec3 at = driver->game->player->getPosition();
        const glm::vec2 d = glm::vec2(at.x, at.z) - start;
        offLine = std::max(offLine, std::fabs(d.x * along.y - d.y * along.x));
        arrived = glm::dot(d, along) >= glm::length(end - start);
        driver->lookAlong(std::atan2(along.y, along.x));
        driver->hold(GLFW_KEY_W);
        driver->frame(kFrame);
    }
    driver->release(GLFW_KEY_W);
    EXPECT_TRUE(arrived) << "stopped at " << driver->game->player->getPosition().x << ", "
                         << driver->game->player->getPosition().z;
    EXPECT_LT(offLine, 0.05f) << "a wall pushed the player off the straight way";
    EXPECT_FALSE(gameOver) << endMessage;
}

// Over a whole patrol (14 s) and then some, the guard's box never cuts into
// the labyrinth's walls: the patrol fits the level's ground.
TEST(LevelWay, TheGuardsPatrolKeepsClearOfTheWalls) {
    START_GAME(driver, 160, 90);
    PhysicsScene& scene = *driver->game->physicsScene;
    btRigidBody* guard = scene.getPhysicsObject("guard")->getActor();
    btRigidBody* walls = scene.getPhysicsObject("labyrinth")->getActor();
    struct Deepest : btCollisionWorld::ContactResultCallback {
        float depth = 0.0f;
        btScalar addSingleResult(btManifoldPoint& cp, const btCollisionObjectWrapper*, int, int,
                                 const btCollisionObjectWrapper*, int, int) override {
            depth = std::max(depth, -cp.getDistance());
            return 0;
        }
    } deepest;
    float worstAt = 0.0f;
    for (int step = 0; step < 16 * 60; ++step) {
        scene.update(scene.getFixedTimeStep());
        const float before = deepest.depth;
        scene.getDynamicsWorld()->contactPairTest(guard, walls, deepest);
        if (deepest.depth > before) worstAt = step / 60.0f;
    }
    EXPECT_LT(deepest.depth, 0.01f) << "the guard cuts into a wall by " << deepest.depth << " m at " << worstAt
                                    << " s";
}

}  // namespace

// The way from the cell door to the labyrinth, on the real level, real
// physics and the real renderer: a player looking out of the open door from
// inside the cell sees the red guide band that leads there, a player stepping
// out sees the gateway under its red lamp and can walk straight there, and
// the guard's patrol keeps clear of the walls around it. Pictures are saved
// as test-output/game_way_*.png.

#include "app/GameState.h"
#include "app/Lock.h"
#include "app/LockCode.h"
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
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;
constexpr double kFrame = 0.05;

// Just outside the cell door, in its opening: where a player stands first.
const glm::vec3 kDoorway(3.2f, 0.91f, 0.8f);
// The gateway into the labyrinth (the middle of its opening in the west wall),
// the lamp over it, the goal's beacon far behind, and points of the red band
// along the wall's yard face, from the gateway on to the yard's north corner.
const glm::vec3 kGateway(11.65f, 0.0f, -3.7f);
const glm::vec3 kGatewayLamp(11.45f, 3.0f, -3.7f);
const glm::vec3 kBeaconLamp(24.05f, 7.45f, -2.6f);
const glm::vec3 kWestWallBand[] = {
    {11.49f, 2.46f, -5.3f}, {11.49f, 2.46f, -2.2f}, {11.49f, 2.46f, -1.5f}, {11.49f, 2.46f, 1.2f}};
// Inside the cell, a metre before the door, and what shows of the guide band
// through the open doorway: along the wall right of the door (the yard's
// north wall) and on along the far wall, to the left where the gateway lies.
const glm::vec3 kInTheCell(1.6f, 0.91f, 0.8f);
const glm::vec3 kGuideBand[] = {{6.0f, 2.46f, 1.99f}, {9.0f, 2.46f, 1.99f},   {11.49f, 2.46f, 1.5f},
                                {11.49f, 2.46f, 0.8f}, {11.49f, 2.46f, 0.0f}, {11.49f, 2.46f, -0.5f}};

void standInTheDoorway(GameDriver& driver) {
    driver.game->player->getController()->setPosition(glm::dvec3(kDoorway));
    driver.wait(0.3, kFrame);
}

// Where a point lands in the last frame's picture (bottom row first), in pixels.
glm::ivec2 onScreen(const Camera& camera, const glm::vec3& point) {
    return pixelOf(camera.getViewProjection(), point, kWidth, kHeight);
}

// The picture's colour where a point lands; the point must be in the picture.
Rgba colourAt(const std::vector<uint8_t>& view, const Camera& camera, const glm::vec3& point) {
    const glm::ivec2 p = onScreen(camera, point);
    EXPECT_TRUE(p.x >= 0 && p.x < kWidth && p.y >= 0 && p.y < kHeight) << p.x << ", " << p.y;
    return pixelAt(view, kWidth, std::clamp(p.x, 0, kWidth - 1), std::clamp(p.y, 0, kHeight - 1));
}

// The red arm's red, not the yard walls' pale stone.
bool isBandRed(const Rgba& c) { return c.r > c.g + 35 && c.r > c.b + 35; }

// Whether any body stands on the straight line between two points.
bool blocked(PhysicsScene& scene, const glm::vec3& from, const glm::vec3& to) {
    const btVector3 a(from.x, from.y, from.z), b(to.x, to.y, to.z);
    btCollisionWorld::ClosestRayResultCallback hit(a, b);
    scene.getDynamicsWorld()->rayTest(a, b, hit);
    return hit.hasHit();
}

// Stepping out of the cell door and looking ahead, the way on is in plain
// sight: nothing stands between the eye and the gateway or its lamp, the red
// lamp and the red band of the arm behind the gateway show in the picture,
// the goal's beacon alone is amber, and walking straight at the gateway gets
// there without a wall pushing the player off the line.
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
    // The gateway's lamp glows in the band's red, little green: it does not
    // pass for the goal's beacon, which glows amber, with green near its red.
    const Rgba lamp = colourAt(view, camera, kGatewayLamp);
    EXPECT_TRUE(lamp.r > 150 && lamp.g < lamp.r * 0.55f && lamp.b < lamp.r * 0.55f)
        << "gateway lamp " << lamp.r << " " << lamp.g << " " << lamp.b;
    const Rgba beacon = colourAt(view, camera, kBeaconLamp);
    EXPECT_TRUE(beacon.r > 150 && beacon.g > beacon.r * 0.7f && beacon.r > beacon.b + 90)
        << "beacon " << beacon.r << " " << beacon.g << " " << beacon.b;
    for (const glm::vec3& point : kWestWallBand) {
        const Rgba band = colourAt(view, camera, point);
        EXPECT_TRUE(isBandRed(band)) << "at z " << point.z << ": " << band.r << " " << band.g << " " << band.b;
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

// Inside the cell, a metre before the door it has opened, looking out: the
// door has come to rest folded back, and the doorway shows the red guide band
// along the wall on the right and on across the far wall to the left, towards
// the gateway that the open door hides.
TEST(LevelWay, FromInsideTheCellTheOpenDoorShowsTheGuideBand) {
    START_GAME(driver, kWidth, kHeight);
    driver->wait(0.3, kFrame);
    ASSERT_TRUE(driver->walkTo(1.95f, 0.8f));
    ASSERT_EQ(driver->typeCode(kLockCode, kFrame), 0) << "that lock was not in focus";
    ASSERT_TRUE(cellDoorOpened);
    // The door swings out to the left, stops against the cell's outer wall
    // and comes to rest there, folded back past a right angle: it does not
    // swing back across the doorway.
    driver->wait(12.0, kFrame);
    const btVector3 across = driver->game->physicsScene->getPhysicsObject("door")->getActor()->getWorldTransform()
                                 .getBasis().getColumn(2);  // the door's width, +z when shut
    EXPECT_GT(std::atan2(across.x(), across.z()), glm::radians(110.0f))
        << "the door came to rest " << glm::degrees(std::atan2(across.x(), across.z())) << " degrees open";
    driver->game->player->getController()->setPosition(glm::dvec3(kInTheCell));
    driver->lookAlong(0.0);
    driver->wait(0.3, kFrame);

    const std::vector<uint8_t> view = driver->frameWithScreenshot(kFrame, "way_from_cell");
    const Camera& camera = *driver->game->camera;
    for (const glm::vec3& point : kGuideBand) {
        const Rgba band = colourAt(view, camera, point);
        EXPECT_TRUE(isBandRed(band)) << "at " << point.x << ", " << point.z << ": " << band.r << " " << band.g << " "
                                     << band.b;
    }
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

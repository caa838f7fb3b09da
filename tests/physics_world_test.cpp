// The physics world on real Bullet: named materials, how two bodies' surfaces
// combine, gravity, the defaults of new bodies and the fixed-step clock.

#include "tests/physics_test_support.h"

#include "app/GameState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace physics_test;

namespace {

// A world with one scene holding the scripted bodies and a static ground box
// whose top is at y = 0.
struct Stage {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = nullptr;

    explicit Stage(float groundFriction = 0.2f, float groundRestitution = 0.0f) {
        scene = world.createScene(nullptr);
        addScriptedBodies(world, *scene, objects);
        world.createMaterial("ground", groundFriction, groundFriction, groundRestitution);
        StaticRigidBody* ground = world.bodyBuilder.setObject(objects.make("floor", glm::vec3(0.0f, -0.5f, 0.0f)))
                                      .setMaterial(world.getMaterial("ground"))
                                      .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                      .createStaticBox(40.0f, 1.0f, 40.0f);
        scene->addPhysicsObject("floor", ground);
    }

    DynamicRigidBody* addBox(const std::string& name, const std::string& material, const glm::vec3& position) {
        DynamicRigidBody* box = world.bodyBuilder.setObject(objects.make(name, position))
                                    .setMaterial(world.getMaterial(material))
                                    .createDynamicBox(0.5f, 0.5f, 0.5f);
        scene->addPhysicsObject(name, box);
        return box;
    }

    void run(double seconds) {
        for (int i = 0; i < static_cast<int>(std::lround(seconds * 60.0)); ++i) {
            scene->update(scene->getFixedTimeStep());
        }
    }
};

}  // namespace

TEST(PhysicsMaterials, NamedOnceAndLookedUpByName) {
    PhysicsWorld world;
    LogCapture log;
    EXPECT_TRUE(world.createMaterial("default", 0.2f, 0.3f, 0.4f));
    EXPECT_FALSE(world.createMaterial("default", 0.9f, 0.9f, 0.9f));
    EXPECT_NE(log.stdout_().find("[WARNING] Physics material default already exists!"), std::string::npos);

    PhysicsMaterial* material = world.getMaterial("default");
    EXPECT_FLOAT_EQ(material->getStaticFriction(), 0.2f);
    EXPECT_FLOAT_EQ(material->getDynamicFriction(), 0.3f);
    EXPECT_FLOAT_EQ(material->getRestitution(), 0.4f);

    try {
        world.getMaterial("rubber");
        FAIL() << "an unknown material must throw";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "No material with name rubber found.");
    }
    EXPECT_NE(log.stderr_().find("[ERROR] No material with name rubber found."), std::string::npos);
}

TEST(PhysicsMaterials, CompliantMaterialBecomesContactSpring) {
    PhysicsWorld world;
    Objects objects;
    world.createMaterial("door", 0.2f, 0.2f, 0.0f);
    PhysicsMaterial* door = world.getMaterial("door");
    door->setFlag(PhysicsMaterialFlag::CompliantContact, true);
    door->setRestitution(-0.1f);
    door->setDamping(1000.0f);

    DynamicRigidBody* body =
        world.bodyBuilder.setObject(objects.make("door", glm::vec3(0.0f))).setMaterial(door).createDynamicBox(1, 1, 1);
    btRigidBody* actor = body->getActor();
    EXPECT_NE(actor->getCollisionFlags() & btCollisionObject::CF_HAS_CONTACT_STIFFNESS_DAMPING, 0);
    EXPECT_FLOAT_EQ(actor->getContactStiffness(), 0.1f);
    EXPECT_FLOAT_EQ(actor->getContactDamping(), 1000.0f);
    EXPECT_FLOAT_EQ(actor->getRestitution(), 0.0f);
    EXPECT_FLOAT_EQ(actor->getFriction(), 0.2f);
    delete body;
}

// Restitution of the pair is the mean of both (0.8 and 0 give 0.4), and there
// is no bounce below a closing speed of 1.962 m/s: there a bouncy box comes
// off the ground no faster than a dead one (what is left is Bullet's push
// out of the penetration).
TEST(PhysicsContactsCombine, RestitutionAveragedWithBounceThreshold) {
    auto rebound = [](double dropHeight, float restitution) {
        Stage stage(0.2f, 0.0f);
        stage.world.createMaterial("box", 0.2f, 0.2f, restitution);
        DynamicRigidBody* box = stage.addBox("box", "box", glm::vec3(0.0f, 0.25f + dropHeight, 0.0f));
        float highestUpSpeed = 0.0f;
        for (int i = 0; i < 90; ++i) {
            stage.run(1.0 / 60.0);
            highestUpSpeed = std::max(highestUpSpeed, box->getActor()->getLinearVelocity().y());
        }
        return highestUpSpeed;
    };
    const double fastImpact = std::sqrt(2.0 * 9.81 * 2.0);  // 6.3 m/s
    EXPECT_NEAR(rebound(2.0, 0.8f), 0.4 * fastImpact, 0.1 * fastImpact);
    EXPECT_LT(rebound(2.0, 0.0f), 0.1 * fastImpact);
    // 1.4 m/s: below the threshold.
    EXPECT_NEAR(rebound(0.1, 0.8f), rebound(0.1, 0.0f), 0.02f);
}

// Friction of the pair is the mean of both: 0.4 on a frictionless ground
// brakes a sliding box at 0.2 g (Bullet's product would not brake it at all).
TEST(PhysicsContactsCombine, FrictionAveraged) {
    Stage stage(0.0f, 0.0f);
    stage.world.createMaterial("rough", 0.4f, 0.4f, 0.0f);
    DynamicRigidBody* box = stage.addBox("box", "rough", glm::vec3(0.0f, 0.25f, 0.0f));
    stage.run(0.25);  // settle
    box->getActor()->setLinearVelocity(btVector3(3.0f, 0.0f, 0.0f));
    stage.run(0.5);
    const float speed = box->getActor()->getLinearVelocity().x();
    EXPECT_NEAR(speed, 3.0f - 0.2f * 9.81f * 0.5f, 0.15f);
}

TEST(PhysicsBodies, NewDynamicBodyDefaultsAndGravity) {
    Stage stage;
    DynamicRigidBody* box = stage.addBox("box", "default", glm::vec3(0.0f, 100.0f, 0.0f));
    btRigidBody* actor = box->getActor();
    EXPECT_FLOAT_EQ(1.0f / actor->getInvMass(), 1.0f);
    const btVector3 inertia = actor->getLocalInertia();
    EXPECT_FLOAT_EQ(inertia.x(), 1.0f);
    EXPECT_FLOAT_EQ(inertia.y(), 1.0f);
    EXPECT_FLOAT_EQ(inertia.z(), 1.0f);
    EXPECT_FLOAT_EQ(actor->getLinearDamping(), 0.0f);
    EXPECT_FLOAT_EQ(actor->getAngularDamping(), 0.05f);

    const btVector3 gravity = stage.scene->getDynamicsWorld()->getGravity();
    EXPECT_FLOAT_EQ(gravity.y(), -9.81f);
    EXPECT_FLOAT_EQ(gravity.x(), 0.0f);
    stage.run(1.0);
    EXPECT_NEAR(actor->getLinearVelocity().y(), -9.81f, 1e-3f);

    // A spinning body slows down only through its angular damping.
    actor->setAngularVelocity(btVector3(0.0f, 1.0f, 0.0f));
    stage.run(1.0);
    EXPECT_NEAR(actor->getAngularVelocity().y(), std::pow(0.95, 1.0), 0.01);
}

// The clock counts steps of the float 1/60 s, four at most per frame; the free
// fall of a body shows how many ran.
TEST(PhysicsFixedStep, StepsRunPerFrame) {
    struct Case {
        double frame;
        int steps;
        double left;
    };
    for (const Case& c : {Case{0.05, 2, 0.016666664928197863}, Case{0.2, 4, 0.016666657105088245},
                          Case{1.0 / 60.0, 0, 1.0 / 60.0}}) {
        Stage stage;
        DynamicRigidBody* box = stage.addBox("box", "default", glm::vec3(0.0f, 100.0f, 0.0f));
        EXPECT_EQ(stage.scene->update(c.frame), c.steps > 0) << c.frame;
        EXPECT_NEAR(stage.scene->getAccumulator(), c.left, 1e-15) << c.frame;
        const double fallSpeed = 9.81 * c.steps * stage.scene->getFixedTimeStep();
        EXPECT_NEAR(-box->getActor()->getLinearVelocity().y(), fallSpeed, 1e-4) << c.frame;
    }

    // Two frames of exactly 1/60 s: the first runs nothing, the second one step.
    Stage stage;
    EXPECT_FALSE(stage.scene->update(1.0 / 60.0));
    EXPECT_TRUE(stage.scene->update(1.0 / 60.0));
}

// The physics world and the body builder on real Bullet: material pairs, the
// fixed-step clock, copy-back to the Objects, kinematic and query-only bodies,
// and mesh shapes.

#include "tests/support/PhysicsStage.h"

namespace {

// A 0.5 box `height` above a ground whose top is y = 0; surfaces as (friction, restitution).
DynamicRigidBody* boxOnGround(Stage& stage, glm::vec2 ground, glm::vec2 box, float height) {
    stage.world.createMaterial("ground", ground.x, ground.x, ground.y);
    stage.world.createMaterial("box", box.x, box.x, box.y);
    stage.material = stage.world.getMaterial("ground");
    stage.addFloor();
    stage.material = stage.world.getMaterial("box");
    return stage.dynamicBox("box", glm::vec3(0.0f, 0.25f + height, 0.0f), glm::vec3(0.5f));
}

class PhysicsBodyTest : public GlTest {};

}  // namespace

// Restitution of a pair is the mean of both (0.8 and 0 give 0.4), with no
// bounce below a closing speed of 1.962 m/s; friction is the mean too (0.4 on
// a frictionless ground brakes at 0.2 g, where Bullet's product would not).
TEST(PhysicsMaterials, PairsAverageRestitutionAndFrictionWithABounceThreshold) {
    auto rebound = [](double dropHeight, float restitution) {
        Stage stage;
        DynamicRigidBody* box = boxOnGround(stage, {0.2f, 0.0f}, {0.2f, restitution}, dropHeight);
        float highestUpSpeed = 0.0f;
        for (int i = 0; i < 90; ++i) {
            stage.run(1);
            highestUpSpeed = std::max(highestUpSpeed, box->getActor()->getLinearVelocity().y());
        }
        return highestUpSpeed;
    };
    const double fastImpact = std::sqrt(2.0 * 9.81 * 2.0);  // 6.3 m/s
    EXPECT_NEAR(rebound(2.0, 0.8f), 0.4 * fastImpact, 0.1 * fastImpact);
    EXPECT_NEAR(rebound(0.1, 0.8f), rebound(0.1, 0.0f), 0.02f);  // 1.4 m/s: below the threshold
    Stage stage;
    DynamicRigidBody* box = boxOnGround(stage, {0.0f, 0.0f}, {0.4f, 0.0f}, 0.0f);
    stage.run(15);  // settle, then slide
    box->getActor()->setLinearVelocity(btVector3(3.0f, 0.0f, 0.0f));
    stage.run(30);
    EXPECT_NEAR(box->getActor()->getLinearVelocity().x(), 3.0f - 0.2f * 9.81f * 0.5f, 0.15f);
}

// The clock counts steps of the float 1/60 s in a double, four at most per
// frame, dropping the rest, as the free fall shows.
TEST(PhysicsBodies, TheFixedStep) {
    for (auto [frame, steps, left] : {std::tuple{0.05, 2, 0.016666664928197863},
                                      std::tuple{0.2, 4, 0.016666657105088245}, std::tuple{1.0 / 60.0, 0, 1.0 / 60.0}}) {
        Stage fresh;
        btRigidBody* box = fresh.dynamicBox("box", glm::vec3(0.0f, 100.0f, 0.0f), glm::vec3(0.5f))->getActor();
        EXPECT_EQ(fresh.scene->update(frame), steps > 0) << frame;
        EXPECT_NEAR(fresh.scene->getAccumulator(), left, 1e-15) << frame;
        EXPECT_NEAR(-box->getLinearVelocity().y(), 9.81 * steps * fresh.scene->getFixedTimeStep(), 1e-4) << frame;
    }
}

// A body's user data leads back to it. Copy-back writes the simulated pose
// less the body's offset to its Object, and the rotation with its components
// in place (Bullet's x, y, z, w to the Object's x, y, z, w), so the Object is
// drawn where and as turned as the body is; a static body's Object stays.
TEST(PhysicsBodies, CopyBackWritesThePoseLessTheOffsetAndTheRotationInOrder) {
    Stage stage;
    DynamicRigidBody* sink = stage.dynamicBox("sink", glm::vec3(0.0f, 10.0f, 0.0f), glm::vec3(0.5f));
    StaticRigidBody* shelf = stage.staticBox("shelf", glm::vec3(5.0f, 1.0f, 0.0f), glm::vec3(0.5f));
    btRigidBody* actor = sink->getActor();
    EXPECT_EQ(physicsObjectOf(actor), sink);
    EXPECT_EQ(playerOf(actor), nullptr);
    const glm::vec3 offset(0.25f, 0.5f, -0.75f);
    sink->setOffset(offset);
    // Turned so that no two components of the rotation are alike, and spinning.
    actor->setWorldTransform(btTransform(btQuaternion(0.8f, -0.4f, 0.2f, 0.3f).normalized(), btVector3(1, 10, 3)));
    actor->setAngularVelocity(btVector3(0.7f, 2.0f, -1.1f));
    stage.scene->update(0.25);
    stage.scene->syncObjects();

    const btTransform pose = actor->getWorldTransform();
    const btQuaternion q = pose.getRotation();
    Object& object = *sink->getObject();
    EXPECT_EQ(object.getPosition(), toGlm(pose.getOrigin()) - offset);
    EXPECT_EQ(object.getRotation(), glm::quat(q.w(), q.x(), q.y(), q.z()));
    EXPECT_GT(std::abs(q.x() - q.w()), 0.1f) << "a turn that tells x from w";
    // The drawn model matrix turns as the body's basis does.
    const glm::mat4 model = object.getModelMatrix();
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_NEAR(model[column][row], pose.getBasis()[row][column], 1e-5f) << column << ", " << row;
        }
    }
    shelf->syncObject();
    EXPECT_EQ(shelf->getObject()->getPosition(), glm::vec3(5.0f, 1.0f, 0.0f));
}

// A kinematic body (the guard, the labyrinth door) is never put to sleep and
// takes no contact response: a crate dropped on it falls through to the
// floor, where it would rest on a static box. A lock (query and
// visualisation flags only) collides with nothing, not even what falls on it,
// and has no skin: the focus ray reaches it only when its face is in reach.
TEST(PhysicsBodies, KinematicBodiesPushNothingAndLocksAnswerRaysOnly) {
    // The guard built at its first stop stands there for the first two seconds.
    const glm::vec3 guardAt(12.9f, 1.10005f, -5.23823f);
    Stage stage(guardAt);
    stage.addFloor();
    const PhysicsShapeFlags lockFlags = PhysicsShapeFlag::SceneQueryShape | PhysicsShapeFlag::Visualization;
    DynamicRigidBody* lock =
        stage.dynamicBox("lock1", glm::vec3(0.0f, 0.5f, 4.0f), glm::vec3(0.0001f, 0.092232f, 0.168031f), lockFlags);
    EXPECT_EQ(lock->getActor()->getCollisionShape()->getMargin(), 0.0f);
    // The focus ray of a player whose eye is at (0, 1.7, 0), looking along +x,
    // sees the lock whose face is just within reach, not one whose face is
    // just beyond it.
    Player* player = stage.addPlayer(glm::vec3(0.0f, 1.0f, 0.0f));
    for (float face : {0.3f, 1.249f, 1.251f, 1.26f}) {
        const btVector3 centre(face + 0.00005f, 1.7f, 0.0f);
        lock->getActor()->setWorldTransform(btTransform(btQuaternion::getIdentity(), centre));
        stage.scene->getDynamicsWorld()->updateSingleAabb(lock->getActor());
        EXPECT_EQ(stage.scene->raycast(1.25f, PhysicsQueryFilterCallback()), face < 1.25f ? lock : nullptr) << face;
    }
    player->getController()->setPosition(glm::dvec3(0.0, 1.0, -8.0));

    StaticRigidBody* sheet =
        stage.staticBox("sheet", glm::vec3(-4.0f, 0.5f, 0.0f), glm::vec3(2.0f, 0.001f, 2.0f), lockFlags);
    stage.staticBox("plinth", glm::vec3(4.0f, 0.5f, 0.0f), glm::vec3(1.0f));
    auto crate = [&](const std::string& name, const glm::vec3& at) {
        return stage.dynamicBox(name, at, glm::vec3(0.3f))->getActor();
    };
    btRigidBody* overGuard = crate("crate on the guard", guardAt + glm::vec3(0.0f, 2.0f, 0.0f));
    btRigidBody* overPlinth = crate("crate on the plinth", glm::vec3(4.0f, 2.0f, 0.0f));
    btRigidBody* overSheet = crate("crate on the sheet", glm::vec3(-4.0f, 2.0f, 0.0f));
    btRigidBody* guard = stage.guard->getActor();
    EXPECT_NE(guard->getCollisionFlags() & btCollisionObject::CF_NO_CONTACT_RESPONSE, 0);
    EXPECT_EQ(guard->getActivationState(), DISABLE_DEACTIVATION);
    stage.run(150);
    EXPECT_NEAR(overGuard->getWorldTransform().getOrigin().y(), 0.15f, 0.03f) << "through the guard";
    EXPECT_NEAR(overPlinth->getWorldTransform().getOrigin().y(), 1.15f, 0.03f) << "on the plinth";
    EXPECT_NEAR(overSheet->getWorldTransform().getOrigin().y(), 0.15f, 0.03f) << "through the query-only sheet";
    EXPECT_LT(glm::distance(toGlm(guard->getWorldTransform().getOrigin()), guardAt), 1e-5f) << "nothing pushed it";
    EXPECT_EQ(sheet->getActor()->getBroadphaseHandle()->m_collisionFilterMask, 0);
}

// Convex hulls keep a thin skin, one shape per mesh; a triangle mesh keeps its
// own copy of the data and stays solid after the GL mesh is gone.
TEST_F(PhysicsBodyTest, MeshShapesAndMeshesThatCannotBeCooked) {
    Stage stage;
    BodyBuilder& builder = stage.world.bodyBuilder;
    auto box = [](const glm::vec3& lo, const glm::vec3& hi) {  // a hull needs the corners only
        return makeMesh({lo, {hi.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z},
                         {hi.x, lo.y, hi.z}, {hi.x, hi.y, lo.z}, hi}, {0, 1, 2});
    };
    Object* bed = stage.object("bed", glm::vec3(5.0f, 0.0f, 0.0f));
    bed->addMesh(box(glm::vec3(-1.0f, 0.0f, -0.5f), glm::vec3(1.0f, 0.5f, 0.5f)));
    bed->addMesh(box(glm::vec3(0.8f, 0.0f, -0.5f), glm::vec3(1.0f, 1.2f, 0.5f)));
    StaticRigidBody* hull = stage.add(builder.setObject(bed).setMaterial(stage.material).createStaticConvexMesh());
    const auto* compound = static_cast<const btCompoundShape*>(hull->getActor()->getCollisionShape());
    ASSERT_TRUE(compound->isCompound() && compound->getNumChildShapes() == 2);
    btVector3 lo, hi;
    hull->getActor()->getAabb(lo, hi);
    EXPECT_NEAR(lo.x(), 4.0f, 3e-3f);
    EXPECT_NEAR(hi.y(), 1.2f, 3e-3f);
    Object* floorObject = stage.object("floor", glm::vec3(0.0f));
    floorObject->addMesh(makeMesh({{-3, 0, -3}, {-3, 0, 3}, {3, 0, 3}, {3, 0, -3}}, {0, 1, 2, 0, 2, 3}));
    stage.add(builder.setObject(floorObject).setMaterial(stage.material).createStaticTriangleMesh());
    for (Mesh* mesh : floorObject->getMeshes()) delete mesh;
    floorObject->getMeshes().clear();
    btRigidBody* crate = stage.dynamicBox("crate", glm::vec3(1.0f), glm::vec3(0.4f))->getActor();
    stage.run(120);
    EXPECT_NEAR(crate->getWorldTransform().getOrigin().y(), 0.2f, 0.03f);
    // Without meshes: a body whose actor has no shape, which blocks nothing
    // (here, inside the resting crate); meshes that cannot be cooked: no body
    // and the error line. The broken mesh names vertex 3 of three: the first
    // index past the array, which must be refused rather than read.
    Object* bare = stage.object("chair", glm::vec3(1.0f, 0.2f, 1.0f));
    Object* empty = stage.object("toilet", glm::vec3(0.0f));
    empty->addMesh(makeMesh({}, {}));
    Object* broken = stage.object("glasses", glm::vec3(0.0f));
    broken->addMesh(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 3}));
    for (auto [object, triangles] : {std::pair{bare, true}, std::pair{bare, false}, std::pair{empty, true},
                                     std::pair{broken, true}, std::pair{empty, false}}) {
        LogCapture log;
        builder.setObject(object).setMaterial(stage.material);
        PhysicsObject* body = triangles ? static_cast<PhysicsObject*>(builder.createStaticTriangleMesh())
                                        : builder.createDynamicConvexMesh();
        if (object != bare) {
            EXPECT_EQ(body, nullptr) << object->getName();
            EXPECT_TRUE(log.saysErr("[ERROR] Error creating triangle mesh.")) << object->getName();
            continue;
        }
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(body->getRigidActor()->body->getCollisionShape()->getShapeType(), EMPTY_SHAPE_PROXYTYPE);
        EXPECT_EQ(log.err.str(), "");
        stage.scene->addPhysicsObject(triangles ? "static chair" : "chair", body);
    }
    stage.run(30);
    EXPECT_NEAR(crate->getWorldTransform().getOrigin().y(), 0.2f, 0.03f) << "a shapeless body blocks nothing";
}

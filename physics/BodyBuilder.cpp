#include "physics/BodyBuilder.h"

#include "app/Logger.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsObject.h"
#include "render/Mesh.h"
#include "render/Object.h"

#include <btBulletDynamicsCommon.h>

#include <memory>

namespace {

const char* const kCookingError = "Error creating triangle mesh.";

// A hull keeps a thin skin only: Bullet's default margin would swell it by 4 cm.
constexpr btScalar kHullMargin = 0.001f;

// Below these speeds a dynamic body may fall asleep (Bullet's own defaults
// would stop a slowly swinging door early).
constexpr btScalar kLinearSleepingThreshold = 0.05f;
constexpr btScalar kAngularSleepingThreshold = 0.05f;

bool meshIsUsable(const Mesh* mesh) {
    return mesh != nullptr && mesh->getVertices() != nullptr && mesh->getVertexCount() > 0;
}

btVector3 vertexPosition(const Mesh& mesh, int index) {
    const float* v = mesh.getVertices() + static_cast<size_t>(index) * kFloatsPerVertex;
    return btVector3(v[0], v[1], v[2]);
}

}  // namespace

BodyBuilder::BodyBuilder(PhysicsWorld* world) : world(world) {}

BodyBuilder& BodyBuilder::setObject(Object* value) {
    object = value;
    return *this;
}

BodyBuilder& BodyBuilder::setMaterial(PhysicsMaterial* value) {
    material = value;
    return *this;
}

BodyBuilder& BodyBuilder::setShapeFlags(const PhysicsShapeFlags& flags) {
    shapeFlags = flags;
    return *this;
}

BodyBuilder& BodyBuilder::addShapeFlags(const PhysicsShapeFlags& flags) {
    shapeFlags = static_cast<PhysicsShapeFlags>(shapeFlags | flags);
    return *this;
}

void BodyBuilder::reset() {
    object = nullptr;
    material = nullptr;
    shapeFlags = resetShapeFlags;
    offset = glm::vec3(0.0f);
}

RigidActor* BodyBuilder::makeActor(bool dynamic) const {
    auto* actor = new RigidActor();
    const bool simulated = (shapeFlags & PhysicsShapeFlag::SimulationShape) != 0;
    if (!simulated) {
        actor->group = CollisionGroup::QueryOnly;
        actor->mask = CollisionMask::QueryOnly;
    } else if (dynamic) {
        actor->group = CollisionGroup::Dynamic;
        actor->mask = CollisionMask::Dynamic;
    } else {
        actor->group = CollisionGroup::Static;
        actor->mask = CollisionMask::Static;
    }
    return actor;
}

bool BodyBuilder::addMeshShapes(RigidActor& actor, ShapeKind kind) const {
    const std::vector<Mesh*>& objectMeshes = object->getMeshes();
    if (objectMeshes.empty()) {
        // An object without meshes still gets its body: one that collides
        // with nothing and that rays pass through.
        actor.shapes.push_back(std::make_unique<btEmptyShape>());
        return true;
    }
    for (Mesh* mesh : objectMeshes) {
        if (!meshIsUsable(mesh)) {
            return false;
        }
        const int n = mesh->getVertexCount();
        if (kind == ShapeKind::ConvexHull) {
            auto hull = std::make_unique<btConvexHullShape>();
            for (int i = 0; i < n; ++i) {
                hull->addPoint(vertexPosition(*mesh, i), false);
            }
            // The cached bounds include the margin: set it before they are computed.
            hull->setMargin(kHullMargin);
            hull->optimizeConvexHull();
            hull->recalcLocalAabb();
            actor.shapes.push_back(std::move(hull));
            continue;
        }

        const int m = mesh->getIndexCount();
        const GLuint* indices = mesh->getIndices();
        if (indices == nullptr || m < 3) {
            return false;
        }
        // btTriangleMesh copies the data: the mesh's arrays may go away.
        auto triangles = std::make_unique<btTriangleMesh>(true, false);
        triangles->preallocateVertices(n);
        for (int i = 0; i < n; ++i) {
            triangles->findOrAddVertex(vertexPosition(*mesh, i), false);
        }
        for (int i = 0; i + 2 < m; i += 3) {
            if (indices[i] >= static_cast<GLuint>(n) || indices[i + 1] >= static_cast<GLuint>(n) ||
                indices[i + 2] >= static_cast<GLuint>(n)) {
                return false;
            }
            triangles->addTriangleIndices(static_cast<int>(indices[i]), static_cast<int>(indices[i + 1]),
                                          static_cast<int>(indices[i + 2]));
        }
        auto shape = std::make_unique<btBvhTriangleMeshShape>(triangles.get(), true);
        actor.meshes.push_back(std::move(triangles));
        actor.shapes.push_back(std::move(shape));
    }
    return true;
}

void BodyBuilder::finishActor(RigidActor& actor, bool dynamic) const {
    btCollisionShape* shape = actor.shapes.front().get();
    if (actor.shapes.size() > 1) {
        // A body with several shapes holds them side by side in a compound.
        auto compound = std::make_unique<btCompoundShape>(false, static_cast<int>(actor.shapes.size()));
        for (auto& child : actor.shapes) {
            compound->addChildShape(btTransform::getIdentity(), child.get());
        }
        shape = compound.get();
        actor.shapes.push_back(std::move(compound));
    }

    const glm::vec3 position = object->getPosition() + offset;
    const glm::quat rotation = object->getRotation();
    const btTransform pose(btQuaternion(rotation.x, rotation.y, rotation.z, rotation.w),
                           btVector3(position.x, position.y, position.z));
    actor.motionState = std::make_unique<btDefaultMotionState>(pose);

    const btScalar mass = dynamic ? 1.0f : 0.0f;
    const btVector3 inertia = dynamic ? btVector3(1.0f, 1.0f, 1.0f) : btVector3(0.0f, 0.0f, 0.0f);
    btRigidBody::btRigidBodyConstructionInfo info(mass, actor.motionState.get(), shape, inertia);
    info.m_linearDamping = 0.0f;
    info.m_angularDamping = 0.05f;
    info.m_linearSleepingThreshold = kLinearSleepingThreshold;
    info.m_angularSleepingThreshold = kAngularSleepingThreshold;
    actor.body = std::make_unique<btRigidBody>(info);
    material->applyTo(*actor.body);
    setSceneQuery(*actor.body, (shapeFlags & PhysicsShapeFlag::SceneQueryShape) != 0);
}

void BodyBuilder::addBoxShape(RigidActor& actor, float width, float height, float depth) const {
    auto box = std::make_unique<btBoxShape>(btVector3(width * 0.5f, height * 0.5f, depth * 0.5f));
    if (actor.group == CollisionGroup::QueryOnly) {
        // Only rays see it: no skin, so a thin box is hit where it is.
        box->setMargin(0.0f);
    }
    actor.shapes.push_back(std::move(box));
}

RigidActor* BodyBuilder::buildActor(bool dynamic, const std::function<bool(RigidActor&)>& addShapes) const {
    if (object == nullptr || material == nullptr) {
        Logger::error("Cannot create a body without an object and a material.");
        return nullptr;
    }
    RigidActor* actor = makeActor(dynamic);
    if (!addShapes(*actor)) {
        Logger::error(kCookingError);
        delete actor;
        return nullptr;
    }
    finishActor(*actor, dynamic);
    return actor;
}

template <class Body>
Body* BodyBuilder::bind(RigidActor* actor) {
    if (actor == nullptr) {
        return nullptr;
    }
    auto* body = new Body(object, actor);
    body->setOffset(offset);
    reset();
    setUserData(*actor->body, static_cast<PhysicsObject*>(body));
    return body;
}

DynamicRigidBody* BodyBuilder::createDynamicBox(const float& width, const float& height, const float& depth) {
    return bind<DynamicRigidBody>(buildActor(true, [&](RigidActor& actor) {
        addBoxShape(actor, width, height, depth);
        return true;
    }));
}

StaticRigidBody* BodyBuilder::createStaticBox(const float& width, const float& height, const float& depth) {
    return bind<StaticRigidBody>(buildActor(false, [&](RigidActor& actor) {
        addBoxShape(actor, width, height, depth);
        return true;
    }));
}

DynamicRigidBody* BodyBuilder::createDynamicConvexMesh() {
    return bind<DynamicRigidBody>(
        buildActor(true, [this](RigidActor& actor) { return addMeshShapes(actor, ShapeKind::ConvexHull); }));
}

StaticRigidBody* BodyBuilder::createStaticConvexMesh() {
    return bind<StaticRigidBody>(
        buildActor(false, [this](RigidActor& actor) { return addMeshShapes(actor, ShapeKind::ConvexHull); }));
}

StaticRigidBody* BodyBuilder::createStaticTriangleMesh() {
    return bind<StaticRigidBody>(
        buildActor(false, [this](RigidActor& actor) { return addMeshShapes(actor, ShapeKind::TriangleMesh); }));
}

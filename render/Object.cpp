#include "render/Object.h"

#include "render/Mesh.h"

#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <utility>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

bool isStale(const glm::mat4& m) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            if (m[c][r] != 0.0f) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

Object::Object(const std::string& name) : name(name) {}

Object::~Object() {
    deleteMeshes();
}

void Object::deleteMeshes() {
    for (Mesh* mesh : meshes) {
        delete mesh;
    }
    meshes.clear();
}

Object::Object(Object&& other) noexcept
    : cachedModel(std::exchange(other.cachedModel, glm::mat4(0.0f))),
      position(other.position),
      rotation(other.rotation),
      scaling(other.scaling),
      scene(std::exchange(other.scene, nullptr)),
      hidden(other.hidden),
      drawOnce(other.drawOnce),
      selected(other.selected),
      parent(std::exchange(other.parent, nullptr)),
      children(std::move(other.children)),
      meshes(std::move(other.meshes)),
      name(std::move(other.name)) {
    other.children.clear();
    other.meshes.clear();
    other.name.clear();
}

Object& Object::operator=(Object&& other) noexcept {
    if (this != &other) {
        deleteMeshes();
        cachedModel = std::exchange(other.cachedModel, glm::mat4(0.0f));
        position = other.position;
        rotation = other.rotation;
        scaling = other.scaling;
        scene = std::exchange(other.scene, nullptr);
        hidden = other.hidden;
        drawOnce = other.drawOnce;
        selected = other.selected;
        parent = std::exchange(other.parent, nullptr);
        children = std::move(other.children);
        meshes = std::move(other.meshes);
        name = std::move(other.name);
        other.children.clear();
        other.meshes.clear();
        other.name.clear();
    }
    return *this;
}

void Object::draw() {
    if (hidden && !drawOnce) {
        return;
    }
    if (meshes.empty()) {
        return;
    }
    drawOnce = false;
    const glm::mat4 model = getModelMatrix();
    for (Mesh* mesh : meshes) {
        mesh->render(model, selected);
    }
}

glm::mat4 Object::getModelMatrix() {
    if (!isStale(cachedModel)) {
        return cachedModel;
    }
    const glm::mat4 local = glm::translate(glm::mat4(1.0f), position) * glm::mat4_cast(rotation) *
                            glm::scale(glm::mat4(1.0f), scaling);
    cachedModel = parent != nullptr ? parent->getModelMatrix() * local : local;
    return cachedModel;
}

void Object::invalidate() {
    cachedModel = glm::mat4(0.0f);
    for (Object* child : children) {
        child->invalidate();
    }
}

void Object::setPosition(const glm::vec3& p) {
    invalidate();
    position = p;
}

void Object::setRotation(const glm::quat& q) {
    invalidate();
    rotation = q;
}

void Object::setTransform(const glm::mat4& m) {
    invalidate();
    position = glm::vec3(m[3]);
    scaling = glm::vec3(glm::length(m[0]), glm::length(m[1]), glm::length(m[2]));
    // A flattened axis has no direction left to read a rotation from; dividing
    // by its zero scale would give NaN to the whole subtree.
    if (scaling.x == 0.0f || scaling.y == 0.0f || scaling.z == 0.0f) {
        rotation = glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
        return;
    }
    glm::mat4 pure(1.0f);
    for (int j = 0; j < 3; ++j) {
        pure[j] = glm::vec4(glm::vec3(m[j]) / scaling[j], 0.0f);
    }
    rotation = glm::quat_cast(pure);
}

void Object::translate(const glm::vec3& d) {
    invalidate();
    position += d;
}

void Object::rotate(const glm::vec3& degrees) {
    invalidate();
    rotation = glm::rotate(rotation, degrees.x * kDegreesToRadians, glm::vec3(1.0f, 0.0f, 0.0f));
    rotation = glm::rotate(rotation, degrees.y * kDegreesToRadians, glm::vec3(0.0f, 1.0f, 0.0f));
    rotation = glm::rotate(rotation, degrees.z * kDegreesToRadians, glm::vec3(0.0f, 0.0f, 1.0f));
}

void Object::scale(const glm::vec3& f) {
    invalidate();
    scaling *= f;
}

void Object::addMesh(Mesh* mesh) {
    meshes.push_back(mesh);
}

void Object::setParent(Object* p) {
    if (p == nullptr) {
        return;
    }
    parent = p;
    p->children.push_back(this);
}

Cube::Cube(const std::string& name, float width, float height, float depth) : Object(name) {
    buildGeometry(width, height, depth);
}

void Cube::buildGeometry(float width, float height, float depth) {
    const glm::vec3 half(width * 0.5f, height * 0.5f, depth * 0.5f);
    float* vertices = new float[24 * kFloatsPerVertex];
    for (int corner = 0; corner < 8; ++corner) {
        const glm::vec3 sign((corner & 4) ? 1.0f : -1.0f, (corner & 2) ? 1.0f : -1.0f,
                             (corner & 1) ? 1.0f : -1.0f);
        for (int axis = 0; axis < 3; ++axis) {
            float* v = vertices + (corner * 3 + axis) * kFloatsPerVertex;
            v[0] = sign.x * half.x;
            v[1] = sign.y * half.y;
            v[2] = sign.z * half.z;
            glm::vec3 normal(0.0f);
            normal[axis] = sign[axis];
            v[3] = normal.x;
            v[4] = normal.y;
            v[5] = normal.z;
            // u and v follow the face, so that each face shows the whole
            // texture upright when seen from outside.
            const bool xPos = sign.x > 0, yPos = sign.y > 0, zPos = sign.z > 0;
            float u = 0.0f, t = 0.0f;
            switch (axis) {
                case 0:  // -x / +x
                    u = (sign.x < 0 ? zPos : !zPos) ? 1.0f : 0.0f;
                    t = yPos ? 1.0f : 0.0f;
                    break;
                case 1:  // -y / +y
                    u = xPos ? 1.0f : 0.0f;
                    t = (sign.y < 0 ? zPos : !zPos) ? 1.0f : 0.0f;
                    break;
                default:  // -z / +z
                    u = (sign.z < 0 ? !xPos : xPos) ? 1.0f : 0.0f;
                    t = yPos ? 1.0f : 0.0f;
                    break;
            }
            v[6] = u;
            v[7] = t;
        }
    }
    static const GLuint kIndices[36] = {
        0,  3,  9,  9,  6,  0,   // -x
        5,  17, 23, 23, 11, 5,   // +z
        15, 12, 18, 18, 21, 15,  // +x
        14, 2,  8,  8,  20, 14,  // -z
        10, 22, 19, 19, 7,  10,  // +y
        1,  13, 16, 16, 4,  1,   // -y
    };
    GLuint* indices = new GLuint[36];
    std::copy(kIndices, kIndices + 36, indices);
    addMesh(Mesh::create(36, indices, 24, vertices));
}

UIPlane::UIPlane(const std::string& name, float x, float y, float w, float h) : Object(name) {
    static const float kQuad[4 * kFloatsPerVertex] = {
        -1.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,  //
        1.0f,  -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f,  //
        -1.0f, 1.0f,  0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,  //
        1.0f,  1.0f,  0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f,  //
    };
    static const GLuint kIndices[6] = {2, 0, 3, 3, 0, 1};
    float* vertices = new float[4 * kFloatsPerVertex];
    std::copy(kQuad, kQuad + 4 * kFloatsPerVertex, vertices);
    GLuint* indices = new GLuint[6];
    std::copy(kIndices, kIndices + 6, indices);
    addMesh(Mesh::create(6, indices, 4, vertices));
    scaling = glm::vec3(w, h, 1.0f);
    position = glm::vec3(x, y, 0.0f);
}

void UIPlane::setMaterial(Material* material) {
    meshes.front()->setMaterial(material);
}

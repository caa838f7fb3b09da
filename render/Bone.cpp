#include "render/Bone.h"

#include "app/GameState.h"
#include "render/Conversions.h"

#include <assimp/anim.h>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

Bone* rootBone = nullptr;

namespace {

// The key segment [i, i + 1] that holds t: the first i whose next key lies
// after t. At or past the last key (or with fewer than two keys) it is 0.
template <typename Key>
unsigned findSegment(const Key* keys, unsigned count, float t) {
    for (unsigned i = 0; i + 1 < count; ++i) {
        if (static_cast<float>(keys[i + 1].mTime) > t) {
            return i;
        }
    }
    return 0;
}

}  // namespace

Bone::Bone() : Object(std::string()) {}

Bone::Bone(const std::string& name) : Object(name) {}

Bone::~Bone() {
    delete[] vertexIds;
    delete[] weights;
}

void Bone::reserveWeights(int n) {
    delete[] vertexIds;
    delete[] weights;
    weightCapacity = n > 0 ? static_cast<unsigned>(n) : 0;
    weightCount = 0;
    vertexIds = new int[weightCapacity];
    weights = new float[weightCapacity];
}

void Bone::addWeight(int vertexId, float weight) {
    if (weightCount == weightCapacity) {
        return;
    }
    vertexIds[weightCount] = vertexId;
    weights[weightCount] = weight;
    ++weightCount;
}

glm::mat4 Bone::getFinalMatrix() {
    return getModelMatrix() * offsetMatrix;
}

glm::quat Bone::interpolateRotation(float t) const {
    const unsigned n = channel->mNumRotationKeys;
    const aiQuatKey* keys = channel->mRotationKeys;
    if (n == 1) {
        return toGlmQuat(keys[0].mValue);
    }
    const unsigned i = findSegment(keys, n, t);
    const float t0 = static_cast<float>(keys[i].mTime);
    const float t1 = static_cast<float>(keys[i + 1].mTime);
    if (t0 == t1) {
        return toGlmQuat(keys[i].mValue);
    }
    const float f = (t - t0) / (t1 - t0);
    aiQuaternion q;
    aiQuaternion::Interpolate(q, keys[i].mValue, keys[i + 1].mValue, f);
    q.Normalize();
    return toGlmQuat(q);
}

glm::vec3 Bone::interpolatePosition(float t) const {
    const unsigned n = channel->mNumPositionKeys;
    const aiVectorKey* keys = channel->mPositionKeys;
    if (n == 0) {
        return glm::vec3(0.0f);
    }
    if (n == 1) {
        return toGlmVec3(keys[0].mValue);
    }
    const unsigned i = findSegment(keys, n, t);
    const float t0 = static_cast<float>(keys[i].mTime);
    const float t1 = static_cast<float>(keys[i + 1].mTime);
    if (t0 == t1) {
        return toGlmVec3(keys[i].mValue);
    }
    const float f = (t - t0) / (t1 - t0);
    return toGlmVec3(keys[i + 1].mValue) * f + toGlmVec3(keys[i].mValue) * (1.0f - f);
}

void Bone::update(float dt) {
    // An animation without length has nowhere to go: its clock stays at 0.
    time = duration > 0.0 ? std::fmod(time + static_cast<double>(dt), duration) : 0.0;
    if (time < 0.0) {
        time += duration;  // a clock run backwards still stays within the animation
    }
    if (channel == nullptr || gameOver) {
        return;
    }
    const float t = static_cast<float>(time);
    const glm::quat rotation =
        channel->mNumRotationKeys > 0 ? interpolateRotation(t) : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
    const glm::vec3 position = interpolatePosition(t);
    setTransform(glm::translate(glm::mat4(1.0f), position) * glm::mat4_cast(rotation));
}

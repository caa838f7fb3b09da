#pragma once

#include "render/Object.h"

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <string>

struct aiNodeAnim;

// One bone of a skeleton: an Object whose local transform is posed by its
// animation channel, with the vertex weights it carries and its inverse bind
// matrix. A bone's parent is a plain link (it is not entered in the parent's
// children), so a bone's cached matrix goes stale only through its own
// transform changes. Bones are never drawn.
class Bone : public Object {
public:
    Bone();
    explicit Bone(const std::string& name);
    ~Bone() override;
    Bone(const Bone&) = delete;
    Bone& operator=(const Bone&) = delete;

    void setName(const std::string& newName) { name = newName; }

    // Allocates room for n vertex weights (a negative n counts as 0).
    void reserveWeights(int n);
    // Stores the pair while there is room; drops it otherwise.
    void addWeight(int vertexId, float weight);

    void setOffsetMatrix(const glm::mat4& m) { offsetMatrix = m; }
    void setParentBone(Bone* bone) { parent = bone; }
    void setChannel(const aiNodeAnim* newChannel) { channel = newChannel; }
    void setDuration(double ticks) { duration = ticks; }

    // Model matrix times the offset matrix: what the vertex shader blends.
    glm::mat4 getFinalMatrix();

    // The channel's rotation at time t (the channel has at least one key).
    glm::quat interpolateRotation(float t) const;

    // Advances the clock by dt ticks, wrapping at the duration, and takes the
    // sampled pose; a bone without channel, or any bone once the game is
    // over, keeps its pose.
    void update(float dt);

    unsigned getWeightCount() const { return weightCount; }
    const int* getVertexIds() const { return vertexIds; }
    const float* getWeights() const { return weights; }
    const glm::mat4& getOffsetMatrix() const { return offsetMatrix; }
    double getTime() const { return time; }
    void setTime(double ticks) { time = ticks; }
    const aiNodeAnim* getChannel() const { return channel; }
    double getDuration() const { return duration; }
    Object* getParentBone() const { return parent; }

private:
    glm::vec3 interpolatePosition(float t) const;

    unsigned weightCapacity = 0;
    unsigned weightCount = 0;
    int* vertexIds = nullptr;
    float* weights = nullptr;
    glm::mat4 offsetMatrix{1.0f};
    double time = 0.0;
    const aiNodeAnim* channel = nullptr;
    double duration = 0.0;
};

// The extra root bone of the last skinned mesh built, or null. The physics
// moves the whole skeleton through it.
extern Bone* rootBone;

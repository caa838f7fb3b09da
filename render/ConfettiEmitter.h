#pragma once

#include "render/Object.h"
#include "render/Shader.h"

#include <GL/glew.h>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cstdint>

// One confetti particle on the CPU.
struct Particle {
    glm::vec3 position{0.0f};
    glm::vec3 velocity{0.0f};  // units per second
    glm::vec4 colour{1.0f, 0.0f, 0.0f, 1.0f};
    glm::vec3 scaling{0.02f};
    float life = 0.0f;  // seconds left
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};  // identity (w first)

    // Translation, times rotation, times scaling.
    glm::mat4 getModelMatrix() const;
};

// What the confetti program reads per instance from its storage buffer.
struct ParticleInstance {
    glm::mat4 model{0.0f};
    glm::vec4 colour{0.0f};
};
static_assert(sizeof(ParticleInstance) == 80, "the storage buffer's stride is 80 bytes");

// A single burst of small cubes flying in straight lines from one point and
// shrinking to nothing over their life, drawn with one instanced draw.
class ConfettiEmitter {
public:
    ConfettiEmitter(int count, float lifetime);
    ~ConfettiEmitter();
    ConfettiEmitter(const ConfettiEmitter&) = delete;
    ConfettiEmitter& operator=(const ConfettiEmitter&) = delete;

    // Moves and shrinks every particle by dt seconds while active.
    void update(double dt);

    // One instanced draw of all particles while active, seen by mainCamera.
    void draw();

    void setActive(bool value) { active = value; }
    bool isActive() const { return active; }

    int getCount() const { return count; }
    const Particle* getParticles() const { return particles; }
    const ParticleInstance* getInstances() const { return instances; }

private:
    Cube particleCube;
    Particle* particles = nullptr;
    ParticleInstance* instances = nullptr;
    int32_t count = 0;
    float lifetime = 0.0f;
    GLuint storageBuffer = 0;
    bool active = false;
    Shader shader;
    bool reportedNoCamera = false;
};

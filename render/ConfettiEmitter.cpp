#include "render/ConfettiEmitter.h"

#include "app/GameState.h"
#include "app/Logger.h"
#include "render/Camera.h"
#include "render/Mesh.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cstdlib>

namespace {

// Where the burst starts: just inside the cell door.
const glm::vec3 kOrigin{2.555f, 1.202f, 0.8112f};
constexpr float kParticleSize = 0.02f;

// A velocity component from -1.0 to 0.99 in steps of 0.01.
float randomComponent() {
    return static_cast<float>(std::rand() % 200) / 100.0f - 1.0f;
}

}  // namespace

glm::mat4 Particle::getModelMatrix() const {
    return glm::translate(glm::mat4(1.0f), position) * glm::mat4_cast(rotation) *
           glm::scale(glm::mat4(1.0f), scaling);
}

ConfettiEmitter::ConfettiEmitter(int count, float lifetime)
    : particleCube("particle", 1.0f, 1.0f, 1.0f),
      count(count),
      lifetime(lifetime),
      shader("assets/shaders/confetti.vsh", "assets/shaders/confetti.fsh") {
    if (this->count < 0) {
        Logger::error("A confetti emitter cannot have " + std::to_string(count) +
                      " particles; it gets none");
        this->count = 0;
    }
    particles = new Particle[this->count];
    // Zeroed records draw nothing until the first update fills them.
    instances = new ParticleInstance[this->count]();
    for (int32_t i = 0; i < this->count; ++i) {
        Particle& p = particles[i];
        p.position = kOrigin;
        p.velocity.z = randomComponent();
        p.velocity.y = randomComponent();
        p.velocity.x = randomComponent();
        p.life = lifetime;
    }

    glGenBuffers(1, &storageBuffer);
    glBindBuffer(GL_SHADER_STORAGE_BUFFER, storageBuffer);
    glBufferData(GL_SHADER_STORAGE_BUFFER,
                 static_cast<GLsizeiptr>(this->count) * sizeof(ParticleInstance), nullptr,
                 GL_STREAM_DRAW);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, storageBuffer);
}

ConfettiEmitter::~ConfettiEmitter() {
    glDeleteBuffers(1, &storageBuffer);
    delete[] instances;
    delete[] particles;
}

void ConfettiEmitter::update(double dt) {
    if (!active || count < 1) {
        return;
    }
    const float step = static_cast<float>(dt);
    for (int32_t i = 0; i < count; ++i) {
        Particle& p = particles[i];
        if (p.life < 0.0f) {
            p.scaling = glm::vec3(0.0f);
            continue;
        }
        p.position += p.velocity * step;
        const float t = static_cast<float>(i) / static_cast<float>(count);
        p.colour = glm::vec4(t, t, 0.0f, t);
        p.life -= step;
        // A lifetime that is not positive leaves nothing to shrink from.
        p.scaling = glm::vec3(lifetime > 0.0f ? p.life * kParticleSize / lifetime : 0.0f);
    }
    for (int32_t i = 0; i < count; ++i) {
        instances[i].model = particles[i].getModelMatrix();
        instances[i].colour = particles[i].colour;
    }
}

void ConfettiEmitter::draw() {
    if (!active) {
        return;
    }
    if (mainCamera == nullptr) {
        if (!reportedNoCamera) {
            Logger::error("Confetti has no camera to be drawn with");
            reportedNoCamera = true;
        }
        return;
    }
    shader.use();
    const glm::mat4 viewProjection = mainCamera->getViewProjection();
    shader.setMat4("viewProjection", 1, GL_FALSE, glm::value_ptr(viewProjection));

    // Bound to binding point 0 at every draw: another emitter may have taken it since.
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, storageBuffer);
    glBufferData(GL_SHADER_STORAGE_BUFFER,
                 static_cast<GLsizeiptr>(count) * sizeof(ParticleInstance), instances,
                 GL_STREAM_DRAW);

    Mesh* cube = particleCube.getMeshes().front();
    glBindVertexArray(cube->getVao());
    glDrawElementsInstanced(GL_TRIANGLES, cube->getIndexCount(), GL_UNSIGNED_INT, nullptr,
                            count);
}

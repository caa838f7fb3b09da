#pragma once

#include <glm/glm.hpp>

class Shader;

// A light source that a Scene uploads to the shaders of its materials.
class Light {
public:
    virtual ~Light() = default;
    virtual void addToShader(Shader* shader) = 0;
};

class PointLight : public Light {
public:
    // attenuation: x constant, y linear, z quadratic factor.
    PointLight(const glm::vec3& position, const glm::vec3& intensity, const glm::vec3& attenuation);

    void addToShader(Shader* shader) override;

    const glm::vec3& getPosition() const { return position; }
    const glm::vec3& getIntensity() const { return intensity; }
    glm::vec3 getAttenuation() const { return attenuation; }

private:
    glm::vec3 intensity;
    glm::vec3 position;
    glm::vec3 attenuation;
};

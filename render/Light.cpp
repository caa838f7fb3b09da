#include "render/Light.h"

#include "render/Shader.h"

PointLight::PointLight(const glm::vec3& position, const glm::vec3& intensity, const glm::vec3& attenuation)
    : intensity(intensity), position(position), attenuation(attenuation) {}

void PointLight::addToShader(Shader* shader) {
    shader->addPointLight(this);
}

#include "render/Camera.h"

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

Camera::Camera(double fovDegrees, double aspect, double near, double far) : projection(0.0f) {
    const double t = std::tan(fovDegrees * 0.017453292519943295 * 0.5);
    projection[0][0] = static_cast<float>(1.0 / (t * aspect));
    projection[1][1] = static_cast<float>(1.0 / t);
    projection[2][2] = static_cast<float>(-(far + near) / (far - near));
    projection[2][3] = -1.0f;
    projection[3][2] = static_cast<float>(-(2.0 * far * near) / (far - near));
}

glm::mat4 Camera::getViewProjection() const {
    const glm::mat4 view = glm::lookAt(position, position + front, glm::vec3(0.0f, 1.0f, 0.0f));
    return projection * view;
}

glm::mat4 Camera::getSkyboxViewProjection() {
    const glm::vec3 f = glm::normalize(front);
    const glm::vec3 back = -f;
    right = glm::normalize(glm::cross(glm::vec3(0.0f, 1.0f, 0.0f), back));
    const glm::vec3 up = glm::cross(back, right);

    const glm::mat4 cameraToWorld(glm::vec4(right, 0.0f), glm::vec4(up, 0.0f), glm::vec4(back, 0.0f),
                                  glm::vec4(position, 1.0f));
    const glm::mat4 view(glm::mat3(glm::inverse(cameraToWorld)));
    return projection * view;
}

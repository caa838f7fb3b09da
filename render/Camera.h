#pragma once

#include <glm/glm.hpp>

// A fixed perspective projection with a movable eye.
class Camera {
public:
    // Vertical field of view in degrees; right-handed, clip depth -1 to 1.
    Camera(double fovDegrees, double aspect, double near, double far);

    // Projection times the look-at view.
    glm::mat4 getViewProjection() const;
    // Projection times the view's rotation alone (for the sky); also
    // updates the right vector.
    glm::mat4 getSkyboxViewProjection();

    void setPosition(const glm::vec3& newPosition) { position = newPosition; }
    void setFront(const glm::vec3& newFront) { front = newFront; }
    void setPositionAndFront(const glm::vec3& newPosition, const glm::vec3& newFront) {
        position = newPosition;
        front = newFront;
    }

    const glm::vec3& getPosition() const { return position; }
    const glm::vec3& getFront() const { return front; }
    const glm::vec3& getRight() const { return right; }
    const glm::mat4& getProjection() const { return projection; }

private:
    glm::mat4 projection;
    glm::vec3 right{0.0f, 0.0f, 0.0f};
    glm::vec3 front{0.0f, 0.0f, -1.0f};
    glm::vec3 position{0.0f, 1.7f, 0.0f};
};

#pragma once

#include <assimp/matrix4x4.h>
#include <assimp/quaternion.h>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

// Conversions of Assimp (and physics) value types into GLM values.

// Assimp matrices are row-major (a1..a4 is the first row): column j of the
// result is (aj, bj, cj, dj), so the translation a4, b4, c4 lands in column 3.
inline glm::mat4 toGlmMat4(const aiMatrix4x4& m) {
    return glm::mat4(m.a1, m.b1, m.c1, m.d1,   // column 0
                     m.a2, m.b2, m.c2, m.d2,   // column 1
                     m.a3, m.b3, m.c3, m.d3,   // column 2
                     m.a4, m.b4, m.c4, m.d4);  // column 3
}

// Same w, x, y and z.
inline glm::quat toGlmQuat(const aiQuaternion& q) {
    return glm::quat(q.w, q.x, q.y, q.z);
}

// Any vector with float fields x, y and z (aiVector3D, a physics vector).
template <typename Vector3>
glm::vec3 toGlmVec3(const Vector3& v) {
    return glm::vec3(v.x, v.y, v.z);
}

// Any quaternion with float fields x, y, z and w (a physics quaternion),
// copied component by component.
template <typename Quaternion>
glm::quat toGlmVec4(const Quaternion& q) {
    return glm::quat(q.w, q.x, q.y, q.z);
}

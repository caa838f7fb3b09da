#version 450 core

// The sky cube around the eye. The matrix has no translation, so the cube
// stays centred on the camera; writing w as z puts every sky fragment on the
// far plane, behind everything drawn before it.

layout(location = 0) in vec3 aPosition;

uniform mat4 viewProjectionMatrix;

out vec3 direction;

void main() {
    direction = aPosition;
    vec4 clip = viewProjectionMatrix * vec4(aPosition, 1.0);
    gl_Position = clip.xyww;
}

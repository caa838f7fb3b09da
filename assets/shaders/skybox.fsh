#version 450 core

in vec3 direction;

layout(binding = 0) uniform samplerCube cubemap;

layout(location = 0) out vec4 fragColor;
layout(location = 1) out vec4 fragNormal;

void main() {
    fragColor = vec4(texture(cubemap, direction).rgb, 1.0);
    // The sky faces the eye.
    fragNormal = vec4(-normalize(direction) * 0.5 + 0.5, 1.0);
}

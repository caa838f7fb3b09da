#version 450 core

// One unit cube per particle; each instance reads its model matrix and colour
// from the storage buffer.

layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;

struct ParticleInstance {
    mat4 model;
    vec4 colour;
};

layout(std430, binding = 0) readonly buffer Particles {
    ParticleInstance instances[];
};

uniform mat4 viewProjection;

out vec3 normal;
out vec4 colour;

void main() {
    ParticleInstance particle = instances[gl_InstanceID];
    normal = mat3(particle.model) * aNormal;
    colour = particle.colour;
    gl_Position = viewProjection * particle.model * vec4(aPosition, 1.0);
}

#version 450 core

in vec3 normal;
in vec4 colour;

layout(location = 0) out vec4 fragColor;
layout(location = 1) out vec4 fragNormal;

void main() {
    if (colour.a <= 0.0) {
        discard;
    }
    float len = length(normal);
    vec3 n = len > 0.0 ? normal / len : vec3(0.0, 1.0, 0.0);
    // Tops brightest, sides a little darker, so the little cubes read as solid.
    float shade = dot(abs(n), vec3(0.8, 1.0, 0.9));
    fragColor = vec4(colour.rgb * shade, colour.a);
    fragNormal = vec4(n * 0.5 + 0.5, colour.a);
}

#version 450 core

// Composes the off-screen image onto the window. With contours on, pixels
// where the surface jumps in depth or bends sharply are drawn dark.

in vec2 uv;

layout(location = 0) out vec4 color;

layout(binding = 0) uniform sampler2D colorTexture;
layout(binding = 1) uniform sampler2D depthTexture;
layout(binding = 2) uniform sampler2D normalTexture;

uniform float near;
uniform float far;
uniform int enableContours;
uniform int showNormals;

const vec3 CONTOUR_COLOR = vec3(0.05, 0.05, 0.08);
// Relative change of inverse depth across a pixel that counts as a jump.
const float DEPTH_THRESHOLD = 0.08;
// 1 - cos of the angle between neighbouring normals that counts as a crease.
const float NORMAL_THRESHOLD = 0.35;

float linearDepth(vec2 at) {
    float z = texture(depthTexture, at).r * 2.0 - 1.0;
    return 2.0 * near * far / (far + near - z * (far - near));
}

vec3 normalAt(vec2 at) {
    return texture(normalTexture, at).rgb * 2.0 - 1.0;
}

// Inverse depth is affine across a flat surface in screen space, so its
// second difference vanishes there and only jumps and folds remain.
float depthEdge(vec2 px) {
    float c = 1.0 / linearDepth(uv);
    float l = 1.0 / linearDepth(uv - vec2(px.x, 0.0));
    float r = 1.0 / linearDepth(uv + vec2(px.x, 0.0));
    float d = 1.0 / linearDepth(uv - vec2(0.0, px.y));
    float u = 1.0 / linearDepth(uv + vec2(0.0, px.y));
    float curvature = max(abs(l + r - 2.0 * c), abs(d + u - 2.0 * c));
    return curvature / max(c, 1e-6);
}

float normalEdge(vec2 px) {
    vec3 c = normalAt(uv);
    float bend = 0.0;
    bend = max(bend, 1.0 - dot(c, normalAt(uv + vec2(px.x, 0.0))));
    bend = max(bend, 1.0 - dot(c, normalAt(uv - vec2(px.x, 0.0))));
    bend = max(bend, 1.0 - dot(c, normalAt(uv + vec2(0.0, px.y))));
    bend = max(bend, 1.0 - dot(c, normalAt(uv - vec2(0.0, px.y))));
    return bend;
}

void main() {
    vec3 image = showNormals != 0 ? texture(normalTexture, uv).rgb : texture(colorTexture, uv).rgb;
    if (enableContours != 0) {
        vec2 px = 1.0 / vec2(textureSize(colorTexture, 0));
        if (depthEdge(px) > DEPTH_THRESHOLD || normalEdge(px) > NORMAL_THRESHOLD) {
            image = CONTOUR_COLOR;
        }
    }
    color = vec4(image, 1.0);
}

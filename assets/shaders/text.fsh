#version 450 core

// Screen-space text in the material's colour with a thin dark rim around
// every glyph, so that it reads over any background. The glyph atlas holds
// coverage in its red channel. The rim lies outside the ink wherever the
// glyph's quad leaves room, and just inside the quad's edge where the ink
// meets it.

in vec2 uv;
in vec2 inQuad;

layout(location = 0) out vec4 color;

uniform vec4 inColor;
layout(binding = 10) uniform sampler2D diffuseTexture;

const vec3 RIM_COLOR = vec3(0.0);
const float RIM_PIXELS = 1.5;
// Small text gets a thinner rim, at most this share of the atlas height.
const float RIM_MAX_SHARE = 0.02;

// Coverage at a point of the glyph's quad; nothing outside it, where the
// atlas holds the neighbouring glyphs.
float coverageAt(vec2 at, vec2 quad) {
    bool inside = all(greaterThanEqual(quad, vec2(0.0))) && all(lessThanEqual(quad, vec2(1.0)));
    return inside ? textureLod(diffuseTexture, at, 0.0).r : 0.0;
}

void main() {
    vec2 uvPerPixel = vec2(length(vec2(dFdx(uv.x), dFdy(uv.x))), length(vec2(dFdx(uv.y), dFdy(uv.y))));
    vec2 quadPerPixel = vec2(length(vec2(dFdx(inQuad.x), dFdy(inQuad.x))),
                             length(vec2(dFdx(inQuad.y), dFdy(inQuad.y))));
    float radius = min(RIM_PIXELS, RIM_MAX_SHARE / max(uvPerPixel.y, 1e-6));

    float coverage = coverageAt(uv, inQuad);
    float near = 0.0;
    for (int i = 0; i < 12; ++i) {
        float angle = 0.5235988 * float(i);
        vec2 step = radius * vec2(cos(angle), sin(angle));
        near = max(near, coverageAt(uv + step * uvPerPixel, inQuad + step * quadPerPixel));
    }
    vec2 edgeDistance = min(inQuad, 1.0 - inQuad) / max(quadPerPixel, vec2(1e-6));
    float glyph = coverage * clamp(min(edgeDistance.x, edgeDistance.y) - radius + 0.5, 0.0, 1.0);
    float alpha = max(coverage, near);
    color = vec4(alpha > 0.0 ? (inColor.rgb * glyph + RIM_COLOR * (alpha - glyph)) / alpha : inColor.rgb,
                 inColor.a * alpha);
}

#version 450 core

// Overlay text in the material's colour with a thin dark rim around every
// glyph, so that it reads over any background, a white one included. The rim
// lies outside the ink wherever the glyph's quad leaves room; where the ink
// meets the quad's edge (its outer contour, since the quad is the glyph's
// tight box) the rim runs just inside it.

in vec2 texCoord;
in vec2 inQuad;

uniform vec4 inColor;
uniform int useDiffuseTexture;
// The glyph atlas: one channel of coverage.
layout(binding = 10) uniform sampler2D diffuseTexture;

layout(location = 0) out vec4 fragColor;

const vec3 RIM_COLOR = vec3(0.0);
const float RIM_PIXELS = 1.5;
// Small text gets a thinner rim, at most this share of the atlas height
// (about a quarter of a stroke), so that its own colour still shows.
const float RIM_MAX_SHARE = 0.02;

// Coverage of the atlas at a point of the glyph's quad; nothing outside the
// quad, where the atlas holds the neighbouring glyphs.
float coverageAt(vec2 uv, vec2 quad) {
    bool inside = all(greaterThanEqual(quad, vec2(0.0))) && all(lessThanEqual(quad, vec2(1.0)));
    return inside ? textureLod(diffuseTexture, uv, 0.0).r : 0.0;
}

void main() {
    if (useDiffuseTexture == 0) {
        fragColor = inColor;
        return;
    }
    // Atlas and quad coordinates per window pixel along each axis.
    vec2 uvPerPixel = vec2(length(vec2(dFdx(texCoord.x), dFdy(texCoord.x))),
                           length(vec2(dFdx(texCoord.y), dFdy(texCoord.y))));
    vec2 quadPerPixel = vec2(length(vec2(dFdx(inQuad.x), dFdy(inQuad.x))),
                             length(vec2(dFdx(inQuad.y), dFdy(inQuad.y))));
    float radius = min(RIM_PIXELS, RIM_MAX_SHARE / max(uvPerPixel.y, 1e-6));

    float coverage = coverageAt(texCoord, inQuad);
    float near = 0.0;  // the most ink within the rim's reach
    for (int i = 0; i < 12; ++i) {
        float angle = 0.5235988 * float(i);
        vec2 step = radius * vec2(cos(angle), sin(angle));
        near = max(near, coverageAt(texCoord + step * uvPerPixel, inQuad + step * quadPerPixel));
    }
    vec2 edgeDistance = min(inQuad, 1.0 - inQuad) / max(quadPerPixel, vec2(1e-6));
    float glyph = coverage * clamp(min(edgeDistance.x, edgeDistance.y) - radius + 0.5, 0.0, 1.0);
    float alpha = max(coverage, near);
    if (alpha <= 0.0) {
        discard;
    }
    fragColor = vec4((inColor.rgb * glyph + RIM_COLOR * (alpha - glyph)) / alpha, inColor.a * alpha);
}

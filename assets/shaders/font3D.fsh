#version 450 core

in vec2 texCoord;
in vec3 normal;

uniform vec4 inColor;
uniform float brightness;
uniform int useDiffuseTexture;
layout(binding = 10) uniform sampler2D diffuseTexture;

layout(location = 0) out vec4 fragColor;
layout(location = 1) out vec4 fragNormal;

void main() {
    float coverage = useDiffuseTexture != 0 ? texture(diffuseTexture, texCoord).r : 1.0;
    // Empty parts of a glyph quad must not hide what lies behind them.
    if (coverage < 0.05) {
        discard;
    }
    float alpha = inColor.a * coverage;
    fragColor = vec4(inColor.rgb * brightness, alpha);
    fragNormal = vec4(normalize(normal) * 0.5 + 0.5, alpha);
}

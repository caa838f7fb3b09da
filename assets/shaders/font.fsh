#version 450 core

in vec2 texCoord;

uniform vec4 inColor;
uniform int useDiffuseTexture;
// The glyph atlas: one channel of coverage.
layout(binding = 10) uniform sampler2D diffuseTexture;

layout(location = 0) out vec4 fragColor;

void main() {
    float coverage = useDiffuseTexture != 0 ? texture(diffuseTexture, texCoord).r : 1.0;
    if (coverage <= 0.0) {
        discard;
    }
    fragColor = vec4(inColor.rgb, inColor.a * coverage);
}

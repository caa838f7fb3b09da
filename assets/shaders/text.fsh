#version 450 core

// The glyph atlas holds coverage in its red channel.

in vec2 uv;

layout(location = 0) out vec4 color;

uniform vec4 inColor;
layout(binding = 10) uniform sampler2D diffuseTexture;

void main() {
    color = vec4(inColor.rgb, inColor.a * texture(diffuseTexture, uv).r);
}

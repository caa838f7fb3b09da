#version 450 core

// A textured plane shows its image (colour and alpha); an untextured one its
// material colour.

in vec2 uv;

layout(location = 0) out vec4 color;

uniform vec4 inColor;
uniform int useDiffuseTexture;
layout(binding = 10) uniform sampler2D diffuseTexture;

void main() {
    color = useDiffuseTexture != 0 ? texture(diffuseTexture, uv) : inColor;
}

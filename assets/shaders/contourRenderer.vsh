#version 450 core

// The full-screen quad of the post-process pass.

layout(location = 0) in vec2 position;
layout(location = 1) in vec2 textureCoordinate;

out vec2 uv;

void main() {
    uv = textureCoordinate;
    gl_Position = vec4(position, 0.0, 1.0);
}

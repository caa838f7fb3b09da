#version 450 core

// Screen-space text: glyph quads placed by the model matrix in the -1 to 1
// range of the window.

layout(location = 0) in vec3 position;
layout(location = 2) in vec2 textureCoordinate;

uniform mat4 modelMatrix;

out vec2 uv;

void main() {
    uv = textureCoordinate;
    gl_Position = vec4((modelMatrix * vec4(position, 1.0)).xy, 0.0, 1.0);
}

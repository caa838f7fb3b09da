#version 450 core

// Overlay text: glyph quads already placed in window coordinates (-1 to 1)
// by the text's model matrix.

layout(location = 0) in vec3 aPosition;
layout(location = 2) in vec2 aTexCoord;

uniform mat4 modelMatrix;

out vec2 texCoord;

void main() {
    texCoord = aTexCoord;
    gl_Position = modelMatrix * vec4(aPosition, 1.0);
}

#version 450 core

// Text in the world: glyph quads in the object's z = 0 plane, facing +z.

layout(location = 0) in vec3 aPosition;
layout(location = 2) in vec2 aTexCoord;

uniform mat4 modelMatrix;
uniform mat4 viewProjectionMatrix;

out vec2 texCoord;
out vec3 normal;

void main() {
    texCoord = aTexCoord;
    normal = mat3(transpose(inverse(modelMatrix))) * vec3(0.0, 0.0, 1.0);
    gl_Position = viewProjectionMatrix * modelMatrix * vec4(aPosition, 1.0);
}

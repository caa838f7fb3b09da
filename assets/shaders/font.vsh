#version 450 core

// Overlay text: glyph quads already placed in window coordinates (-1 to 1)
// by the text's model matrix. Every glyph is four vertices in the order
// top-left, top-right, bottom-left, bottom-right, so the vertex number tells
// the corner; the fragment stage needs its place in the quad to draw the
// glyph's dark rim right up to the quad's edge and never past it.

layout(location = 0) in vec3 aPosition;
layout(location = 2) in vec2 aTexCoord;

uniform mat4 modelMatrix;

out vec2 texCoord;
out vec2 inQuad;  // 0 to 1 across the glyph's quad, y downwards like texCoord

void main() {
    texCoord = aTexCoord;
    inQuad = vec2(gl_VertexID & 1, (gl_VertexID >> 1) & 1);
    gl_Position = modelMatrix * vec4(aPosition, 1.0);
}

#version 450 core

// Screen-space text: glyph quads placed by the model matrix in the -1 to 1
// range of the window. Every glyph is four vertices in the order top-left,
// top-right, bottom-left, bottom-right, so the vertex number tells the corner;
// the fragment stage needs its place in the quad to draw the glyph's dark rim
// right up to the quad's edge and never past it.

layout(location = 0) in vec3 position;
layout(location = 2) in vec2 textureCoordinate;

uniform mat4 modelMatrix;

out vec2 uv;
out vec2 inQuad;  // 0 to 1 across the glyph's quad, y downwards like uv

void main() {
    uv = textureCoordinate;
    inQuad = vec2(gl_VertexID & 1, (gl_VertexID >> 1) & 1);
    gl_Position = vec4((modelMatrix * vec4(position, 1.0)).xy, 0.0, 1.0);
}

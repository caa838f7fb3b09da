#version 450 core

// Lit surfaces. Skinned meshes also feed bone ids (location 3) and weights
// (location 4); plain meshes leave both disabled, so their weights read the
// default (0, 0, 0, 1) and their bone ids are undefined.

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 textureCoordinate;
layout(location = 3) in ivec4 boneIds;
layout(location = 4) in vec4 boneWeights;

const int MAX_BONES = 100;

uniform mat4 modelMatrix;
uniform mat4 viewProjectionMatrix;
uniform mat4 bones[MAX_BONES];

// The depth pre-pass runs this same stage with an empty fragment stage; the
// lit pass then draws with GL_LEQUAL and must land on exactly those depths.
invariant gl_Position;

out VertexData {
    vec3 worldPosition;
    vec3 worldNormal;
    vec2 textureCoordinate;
} vert;

mat4 skinMatrix() {
    // A skinned vertex has normalised weights and fills its slots from the
    // first on, so one of the first three is positive; the default weights
    // of a plain mesh have all three at zero.
    if (boneWeights.x + boneWeights.y + boneWeights.z <= 0.0) {
        return mat4(1.0);
    }
    ivec4 ids = clamp(boneIds, ivec4(0), ivec4(MAX_BONES - 1));
    return bones[ids.x] * boneWeights.x + bones[ids.y] * boneWeights.y +
           bones[ids.z] * boneWeights.z + bones[ids.w] * boneWeights.w;
}

void main() {
    mat4 world = modelMatrix * skinMatrix();
    vec4 worldPosition = world * vec4(position, 1.0);
    vert.worldPosition = worldPosition.xyz;
    vert.worldNormal = mat3(transpose(inverse(world))) * normal;
    vert.textureCoordinate = textureCoordinate;
    gl_Position = viewProjectionMatrix * worldPosition;
}

#version 450 core

// Blinn-Phong shading from point lights, with optional diffuse and specular
// maps, emission and reflections of the sky.

in VertexData {
    vec3 worldPosition;
    vec3 worldNormal;
    vec2 textureCoordinate;
} frag;

layout(location = 0) out vec4 color;
layout(location = 1) out vec4 normalColor;

struct PointLight {
    vec3 position;
    vec3 intensity;
    vec3 attenuation;  // constant, linear, quadratic
};

const int MAX_POINT_LIGHTS = 64;

uniform PointLight pointLight[MAX_POINT_LIGHTS];
uniform int numberOfPointLights;

uniform vec3 eyePos;
uniform float brightness;

uniform vec4 inColor;
uniform vec4 inSpecularColor;
uniform float alpha;  // shininess
uniform float ka;
uniform float kd;
uniform float ks;
uniform float ke;

uniform int useEnvironmentMapping;
uniform int useDiffuseTexture;
uniform int useSpecularTexture;

layout(binding = 10) uniform sampler2D diffuseTexture;
layout(binding = 11) uniform sampler2D specularTexture;
layout(binding = 12) uniform samplerCube skybox;

void main() {
    vec3 n = normalize(frag.worldNormal);
    if (!gl_FrontFacing) {
        n = -n;
    }
    vec3 toEye = normalize(eyePos - frag.worldPosition);

    vec4 base = useDiffuseTexture != 0 ? texture(diffuseTexture, frag.textureCoordinate) : inColor;
    vec3 specularColor = useSpecularTexture != 0
        ? texture(specularTexture, frag.textureCoordinate).rgb
        : inSpecularColor.rgb;
    float shininess = max(alpha, 1.0);

    vec3 lit = ka * base.rgb + ke * base.rgb;
    int lights = clamp(numberOfPointLights, 0, MAX_POINT_LIGHTS);
    for (int i = 0; i < lights; ++i) {
        vec3 toLight = pointLight[i].position - frag.worldPosition;
        float distance = length(toLight);
        vec3 l = toLight / max(distance, 1e-5);
        vec3 a = pointLight[i].attenuation;
        float falloff = 1.0 / max(a.x + a.y * distance + a.z * distance * distance, 1e-4);
        vec3 radiance = pointLight[i].intensity * falloff;

        float diffuse = max(dot(n, l), 0.0);
        vec3 halfway = normalize(l + toEye);
        float specular = diffuse > 0.0 ? pow(max(dot(n, halfway), 0.0), shininess) : 0.0;
        lit += radiance * (kd * diffuse * base.rgb + ks * specular * specularColor);
    }

    if (useEnvironmentMapping != 0) {
        vec3 reflected = reflect(-toEye, n);
        lit = mix(lit, texture(skybox, reflected).rgb, 0.35);
    }

    color = vec4(lit * brightness, base.a);
    normalColor = vec4(n * 0.5 + 0.5, 1.0);
}

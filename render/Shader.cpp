#include "render/Shader.h"

#include "app/Logger.h"
#include "render/AssetFile.h"
#include "render/Light.h"

#include <stb/stb_image.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

Shader::Shader(const std::string& vertexPath, const std::string& fragmentPath) {
    program = glCreateProgram();
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexPath);
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentPath);
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    linked = reportLinkFailure(vertexPath, fragmentPath);
    if (linked) {  // an unlinked program has no uniforms to ask for
        bindSamplers();
    }
    glValidateProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    Logger::log("Created shader " + std::to_string(program) + " " + vertexPath + " " + fragmentPath, DEBUG);
}

namespace {

// Texture units of the samplers the game's programs use. Unset samplers all
// read unit 0, and a draw in which samplers of different types share a unit
// is refused, so each is pointed at its own unit as soon as it exists.
struct SamplerUnit {
    const char* name;
    GLint unit;
};
const SamplerUnit kSamplerUnits[] = {
    {"colorTexture", 0},     {"depthTexture", 1},     {"normalTexture", 2},
    {"diffuseTexture", 10},  {"specularTexture", 11}, {"skybox", 12},
};

// The driver's log of a shader stage or a program; GL keeps the two behind
// getters of the same shape, which the caller passes in.
std::string infoLog(GLuint object, PFNGLGETSHADERIVPROC getParameter, PFNGLGETSHADERINFOLOGPROC getLog) {
    GLint length = 0;
    getParameter(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) {
        return "";
    }
    std::string buffer(static_cast<size_t>(length), '\0');
    getLog(object, length, nullptr, buffer.data());
    return buffer.c_str();
}

}  // namespace

bool Shader::reportLinkFailure(const std::string& vertexPath, const std::string& fragmentPath) {
    // A program that does not link draws nothing; without its log nobody
    // would learn why.
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == 0) {
        Logger::error("Error linking shader " + vertexPath + " " + fragmentPath + ": " +
                      infoLog(program, glGetProgramiv, glGetProgramInfoLog));
    }
    return status != 0;
}

void Shader::bindSamplers() {
    for (const SamplerUnit& sampler : kSamplerUnits) {
        const GLint location = glGetUniformLocation(program, sampler.name);
        if (location != -1) {
            glProgramUniform1i(program, location, sampler.unit);
        }
    }
}

Shader::~Shader() {
    if (program != 0) {
        glDeleteProgram(program);
        Logger::log("Deleted shader " + std::to_string(program), DEBUG);
    }
}

Shader::Shader(Shader&& other) noexcept
    : program(std::exchange(other.program, 0)),
      linked(std::exchange(other.linked, false)),
      pointLightCount(std::exchange(other.pointLightCount, 0)),
      directionalLightCount(std::exchange(other.directionalLightCount, 0)),
      spotLightCount(std::exchange(other.spotLightCount, 0)),
      uniformLocations(std::move(other.uniformLocations)),
      textures(std::move(other.textures)),
      pointLightLocations(std::move(other.pointLightLocations)) {
    other.uniformLocations.clear();
    other.textures.clear();
    other.pointLightLocations.clear();
}

Shader& Shader::operator=(Shader&& other) noexcept {
    if (this != &other) {
        if (program != 0) {
            glDeleteProgram(program);
        }
        program = std::exchange(other.program, 0);
        linked = std::exchange(other.linked, false);
        pointLightCount = std::exchange(other.pointLightCount, 0);
        directionalLightCount = std::exchange(other.directionalLightCount, 0);
        spotLightCount = std::exchange(other.spotLightCount, 0);
        uniformLocations = std::move(other.uniformLocations);
        textures = std::move(other.textures);
        pointLightLocations = std::move(other.pointLightLocations);
        other.uniformLocations.clear();
        other.textures.clear();
        other.pointLightLocations.clear();
    }
    return *this;
}

void Shader::use() {
    glUseProgram(program);
}

GLuint Shader::compileShader(GLenum type, const std::string& path) {
    // A file that cannot be read (or is no regular file) gives an empty
    // source, which fails to compile below. The driver then blames the
    // source's first character, so the real cause is named first.
    std::stringstream buffer;
    std::ifstream file;
    if (isRegularFile(path)) {
        file.open(path);
        buffer << file.rdbuf();
    }
    if (!file.is_open() || file.bad()) {
        Logger::error("Cannot read shader file " + path);
    }
    const std::string source = buffer.str();
    const char* text = source.c_str();

    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);

    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == 0) {
        Logger::log("Error in compileShader for " + path + ": " + infoLog(shader, glGetShaderiv, glGetShaderInfoLog),
                    ERROR);
    }
    return shader;
}

GLint Shader::getUniformLocation(const std::string& name) {
    const auto found = uniformLocations.find(name);
    if (found != uniformLocations.end()) {
        return found->second;
    }
    const GLint location = glGetUniformLocation(program, name.c_str());
    if (location == -1) {
        Logger::log("Uniform " + name + " not found in shader " + std::to_string(program), DEBUG);
    }
    uniformLocations.emplace(name, location);
    return location;
}

void Shader::setFloat(const std::string& name, float value) {
    glUseProgram(program);
    glUniform1f(getUniformLocation(name), value);
}

void Shader::setInt(const std::string& name, GLint value) {
    glUseProgram(program);
    glUniform1i(getUniformLocation(name), value);
}

void Shader::setVec3(const std::string& name, float x, float y, float z) {
    glUseProgram(program);
    glUniform3f(getUniformLocation(name), x, y, z);
}

void Shader::setVec4(const std::string& name, float x, float y, float z, float w) {
    glUseProgram(program);
    glUniform4f(getUniformLocation(name), x, y, z, w);
}

void Shader::setMat4(const std::string& name, GLsizei count, GLboolean transpose, const GLfloat* value) {
    glUseProgram(program);
    glUniformMatrix4fv(getUniformLocation(name), count, transpose, value);
}

void Shader::setTexture(const GLuint& texture, const std::string& name, GLint unit) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(getUniformLocation(name), unit);
}

const Shader::LightLocations& Shader::lightLocations(GLuint index) {
    while (pointLightLocations.size() <= index) {
        const std::string prefix = "pointLight[" + std::to_string(pointLightLocations.size()) + "].";
        pointLightLocations.push_back({getUniformLocation(prefix + "position"),
                                       getUniformLocation(prefix + "intensity"),
                                       getUniformLocation(prefix + "attenuation")});
    }
    return pointLightLocations[index];
}

void Shader::addPointLight(PointLight* light) {
    glUseProgram(program);
    const LightLocations& locations = lightLocations(pointLightCount);
    const glm::vec3& position = light->getPosition();
    const glm::vec3& intensity = light->getIntensity();
    const glm::vec3 attenuation = light->getAttenuation();
    glUniform3f(locations[0], position.x, position.y, position.z);
    glUniform3f(locations[1], intensity.x, intensity.y, intensity.z);
    glUniform3f(locations[2], attenuation.x, attenuation.y, attenuation.z);
    ++pointLightCount;
    glUniform1i(getUniformLocation("numberOfPointLights"), static_cast<GLint>(pointLightCount));
}

void Shader::resetLights() {
    glUseProgram(program);
    pointLightCount = 0;
    directionalLightCount = 0;
    spotLightCount = 0;
    setInt("numberOfPointLights", 0);
    setInt("numberOfDirectionalLights", 0);
    setInt("numberOfSpotLights", 0);
}

GLuint Shader::loadTexture(const std::string& path, const GLint& minFilter, const GLint& magFilter) {
    const auto found = textures.find(path);
    if (found != textures.end()) {
        return found->second;
    }

    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* pixels = isRegularFile(path) ? stbi_load(path.c_str(), &width, &height, &channels, 4) : nullptr;
    if (pixels == nullptr) {
        const std::string message = "Error loading texture " + path;
        Logger::error(message);
        throw std::runtime_error(message);
    }

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glGenerateMipmap(GL_TEXTURE_2D);
    // What is drawn with a texture whose alpha is 255 everywhere hides what
    // lies behind it (grey and RGB files arrive so).
    bool opaque = true;
    for (size_t i = 3; opaque && i < static_cast<size_t>(width) * height * 4; i += 4) {
        opaque = pixels[i] == 255;
    }
    stbi_image_free(pixels);

    textures.emplace(path, texture);
    if (opaque) {
        opaqueTextures.insert(path);
    }
    return texture;
}

void ShaderManager::load(const std::string& name, const std::string& basePath) {
    if (shaders.count(name) != 0) {
        Logger::log("Shader " + name + " already exists!", WARNING);
        return;
    }
    shaders.try_emplace(name, basePath + ".vsh", basePath + ".fsh");
    Logger::log("Loaded shader " + name + " from " + basePath, DEBUG);
}

Shader* ShaderManager::get(const std::string& name) {
    const auto found = shaders.find(name);
    if (found == shaders.end()) {
        const std::string message = "No shader with name " + name + " found.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    return &found->second;
}

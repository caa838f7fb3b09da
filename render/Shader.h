#pragma once

#include <GL/glew.h>

#include <array>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class PointLight;

// One linked GL program built from a vertex and a fragment source file, with
// the program's uniform-location cache and the 2D textures loaded for it.
// A Shader owns its program: it cannot be copied (a copy would delete the
// program still in use), and a moved-from Shader owns nothing.
class Shader {
public:
    Shader(const std::string& vertexPath, const std::string& fragmentPath);
    ~Shader();
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;
    Shader(Shader&& other) noexcept;
    Shader& operator=(Shader&& other) noexcept;

    void use();

    // Reads and compiles one stage. Failures (also a missing file, or one that
    // is no regular file) are logged and the stage is returned anyway.
    static GLuint compileShader(GLenum type, const std::string& path);

    // Cached lookup; -1 when the program has no such active uniform.
    GLint getUniformLocation(const std::string& name);

    // Each setter makes the program current first.
    void setFloat(const std::string& name, float value);
    void setInt(const std::string& name, GLint value);
    void setVec3(const std::string& name, float x, float y, float z);
    void setVec4(const std::string& name, float x, float y, float z, float w);
    void setMat4(const std::string& name, GLsizei count, GLboolean transpose, const GLfloat* value);

    // Binds a 2D texture on `unit` (which stays the active unit) and points
    // the sampler at it. The caller has made the program current.
    void setTexture(const GLuint& texture, const std::string& name, GLint unit);

    // Uploads one light at the next index and raises "numberOfPointLights".
    void addPointLight(PointLight* light);
    // Sets the light counters and their uniforms back to 0.
    void resetLights();

    // Loads an image file as an RGBA texture with mipmaps, once per path.
    // Throws std::runtime_error("Error loading texture " + path) when the
    // file cannot be decoded.
    GLuint loadTexture(const std::string& path, const GLint& minFilter, const GLint& magFilter);
    // True for a texture loaded from a file whose alpha is 255 everywhere.
    bool isOpaqueTexture(const std::string& path) const { return opaqueTextures.count(path) != 0; }

    GLuint getProgram() const { return program; }
    // False when the program did not link: drawing with it draws nothing,
    // and making it current fails and leaves the previous program bound.
    bool isLinked() const { return linked; }
    GLuint getPointLightCount() const { return pointLightCount; }

private:
    // Locations of position, intensity and attenuation of one array entry.
    using LightLocations = std::array<GLint, 3>;
    const LightLocations& lightLocations(GLuint index);
    // Points the known sampler uniforms at their texture units.
    void bindSamplers();
    // Logs the link log of a program that did not link; true when it linked.
    bool reportLinkFailure(const std::string& vertexPath, const std::string& fragmentPath);

    GLuint program = 0;
    bool linked = false;
    GLuint pointLightCount = 0;
    GLuint directionalLightCount = 0;
    GLuint spotLightCount = 0;
    std::unordered_map<std::string, GLint> uniformLocations;
    std::unordered_map<std::string, GLuint> textures;
    std::unordered_set<std::string> opaqueTextures;
    // Per light index, looked up once ("pointLight[i]...." names are built
    // only the first time an index is used).
    std::vector<LightLocations> pointLightLocations;
};

// The named shaders of the game. Shaders are built in place and never
// removed, so a pointer handed out by get() stays valid.
class ShaderManager {
public:
    ShaderManager() = default;
    ShaderManager(const ShaderManager&) = delete;
    ShaderManager& operator=(const ShaderManager&) = delete;
    ShaderManager(ShaderManager&&) = default;
    ShaderManager& operator=(ShaderManager&&) = default;

    // Builds basePath + ".vsh" / ".fsh" under `name`; a present name only
    // logs a warning.
    void load(const std::string& name, const std::string& basePath);
    // Throws std::runtime_error when the name is absent.
    Shader* get(const std::string& name);

    std::unordered_map<std::string, Shader>& getShaders() { return shaders; }

private:
    std::unordered_map<std::string, Shader> shaders;
};

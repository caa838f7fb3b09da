#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <string>
#include <unordered_map>

class Shader;

// Texture units of a material's textures.
constexpr GLint kDiffuseTextureUnit = 10;
constexpr GLint kSpecularTextureUnit = 11;

// Surface parameters a mesh is drawn with, uploaded by apply().
class Material {
public:
    explicit Material(Shader* shader);

    Shader* getShader() const { return shader; }

    void setColor(float r, float g, float b, float a) { color = {r, g, b, a}; }
    void setColorRgb(float r, float g, float b) { color = {r, g, b, 1.0f}; }
    void setSpecularColor(float r, float g, float b) { specularColor = {r, g, b, 1.0f}; }
    void setAlpha(float value) { alpha = value; }
    void setKs(float value) { ks = value; }
    void setKa(float value) { ka = value; }
    void setKd(float value) { kd = value; }
    void setKe(float value) { ke = value; }
    void setUseEnvironmentMapping(bool value) { useEnvironmentMapping = value; }

    // Loads the file through the shader (cached by path) and puts it on the
    // unit. Throws when the file cannot be decoded; the material is unchanged then.
    void addTexture(const std::string& path, GLint unit, const GLint& minFilter, const GLint& magFilter);
    // Puts a texture given by its GL name on the unit (with an empty path).
    void setTexture(GLint unit, const GLuint& texture);

    // Makes the shader current and uploads every parameter; binds the
    // diffuse and specular textures when present.
    void apply();

    const glm::vec4& getColor() const { return color; }
    const glm::vec4& getSpecularColor() const { return specularColor; }
    float getAlpha() const { return alpha; }
    float getKs() const { return ks; }
    float getKa() const { return ka; }
    float getKd() const { return kd; }
    float getKe() const { return ke; }
    bool getUseEnvironmentMapping() const { return useEnvironmentMapping; }
    bool hasTexture(GLint unit) const { return texturePaths.count(unit) != 0; }
    // 0 when the unit has no texture.
    GLuint getTextureId(GLint unit) const;
    // Empty when the unit has no texture or it was set by name.
    std::string getTexturePath(GLint unit) const;
    // Whether every fragment drawn with it is fully opaque, so nothing behind
    // it can show through: a colour with alpha 1, or a diffuse texture from a
    // file whose alpha is 255 everywhere.
    bool isOpaque() const;

private:
    Shader* shader;
    glm::vec4 color{0.0f, 0.0f, 0.0f, 0.0f};
    glm::vec4 specularColor{1.0f, 1.0f, 1.0f, 1.0f};
    float alpha = 1.0f;
    float ks = 0.5f;
    float ka = 0.1f;
    float kd = 1.0f;
    float ke = 0.0f;
    bool useEnvironmentMapping = false;
    std::unordered_map<GLint, std::string> texturePaths;
    std::unordered_map<GLint, GLuint> textureIds;
};

// A scene's named materials; owns them. Entries are never removed.
class MaterialManager {
public:
    MaterialManager() = default;
    ~MaterialManager();
    MaterialManager(const MaterialManager&) = delete;
    MaterialManager& operator=(const MaterialManager&) = delete;
    MaterialManager(MaterialManager&& other) noexcept;
    MaterialManager& operator=(MaterialManager&& other) noexcept;

    // False (with a warning) when the name is taken; the first material stays.
    bool create(const std::string& name, Shader* shader);
    // Throws std::runtime_error when the name is absent.
    Material* get(const std::string& name);

    const std::unordered_map<std::string, Material*>& getMaterials() const { return materials; }

private:
    std::unordered_map<std::string, Material*> materials;
};

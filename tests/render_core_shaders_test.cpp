// Shaders, materials and scenes on a real GL context with the game's own
// GLSL programs.

#include "app/Logger.h"
#include "app/Settings.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/Object.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "tests/support/GlContext.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

GLint intUniform(Shader& shader, const std::string& name) {
    GLint value = -12345;
    const GLint location = shader.getUniformLocation(name);
    EXPECT_NE(location, -1) << name;
    glGetUniformiv(shader.getProgram(), location, &value);
    return value;
}

std::vector<float> floatUniform(Shader& shader, const std::string& name, int components) {
    std::vector<float> value(16, -12345.0f);
    const GLint location = shader.getUniformLocation(name);
    EXPECT_NE(location, -1) << name;
    glGetUniformfv(shader.getProgram(), location, value.data());
    value.resize(static_cast<size_t>(components));
    return value;
}

GLint boundTexture2D(GLenum unit) {
    glActiveTexture(unit);
    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    return texture;
}

// Lowers the log threshold for one test.
struct VerboseLog {
    int saved = Logger::threshold;
    VerboseLog() { Logger::threshold = DEBUG; }
    ~VerboseLog() { Logger::threshold = saved; }
};

// An object that records the order in which a scene draws it.
class RecordingObject : public Object {
public:
    RecordingObject(const std::string& name, std::vector<std::string>* log) : Object(name), log(log) {}
    void draw() override { log->push_back(getName()); }

private:
    std::vector<std::string>* log;
};

class ShaderTest : public GlTest {};

}  // namespace

TEST_F(ShaderTest, GameProgramsBuildCleanlyWithSamplersOnTheirOwnUnits) {
    for (const char* name : {"phong", "contourRenderer", "uiRenderer", "text"}) {
        const std::string base = std::string("assets/shaders/") + name;
        testing::internal::CaptureStderr();
        Shader shader(base + ".vsh", base + ".fsh");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << name;
        GLint linked = 0;
        glGetProgramiv(shader.getProgram(), GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << name;
    }

    Shader phong("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    EXPECT_EQ(intUniform(phong, "diffuseTexture"), 10);
    EXPECT_EQ(intUniform(phong, "specularTexture"), 11);
    EXPECT_EQ(intUniform(phong, "skybox"), 12);
    // Every uniform the materials, meshes, bones and the renderer set is there.
    for (const char* uniform : {"modelMatrix", "viewProjectionMatrix", "eyePos", "brightness", "inColor",
                                "inSpecularColor", "alpha", "ka", "kd", "ks", "ke", "useEnvironmentMapping",
                                "useDiffuseTexture", "useSpecularTexture", "numberOfPointLights",
                                "pointLight[63].attenuation", "bones[0]", "bones[99]"}) {
        EXPECT_NE(phong.getUniformLocation(uniform), -1) << uniform;
    }
    Shader contour("assets/shaders/contourRenderer.vsh", "assets/shaders/contourRenderer.fsh");
    EXPECT_EQ(intUniform(contour, "colorTexture"), 0);
    EXPECT_EQ(intUniform(contour, "depthTexture"), 1);
    EXPECT_EQ(intUniform(contour, "normalTexture"), 2);
    for (const char* uniform : {"near", "far", "enableContours", "showNormals"}) {
        EXPECT_NE(contour.getUniformLocation(uniform), -1) << uniform;
    }
}

TEST_F(ShaderTest, MissingSourceIsLoggedAndTheGameGoesOn) {
    ShaderManager manager;
    testing::internal::CaptureStderr();
    manager.load("broken", "assets/shaders/does_not_exist");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[ERROR] Error in compileShader for assets/shaders/does_not_exist.vsh: "), std::string::npos)
        << err;
    Shader* shader = manager.get("broken");
    ASSERT_NE(shader, nullptr);
    shader->setFloat("ka", 1.0f);
    EXPECT_EQ(shader->getUniformLocation("ka"), -1);

    // A second load under a taken name reads nothing and keeps the first.
    manager.load("phong", "assets/shaders/phong");
    const GLuint program = manager.get("phong")->getProgram();
    testing::internal::CaptureStdout();
    manager.load("phong", "assets/shaders/does_not_exist");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[WARNING] Shader phong already exists!"), std::string::npos) << out;
    EXPECT_EQ(manager.get("phong")->getProgram(), program);

    testing::internal::CaptureStderr();
    EXPECT_THROW(
        {
            try {
                manager.get("nope");
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "No shader with name nope found.");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("No shader with name nope found."), std::string::npos);
}

TEST_F(ShaderTest, MissingUniformIsMinusOneAndReportedOnce) {
    VerboseLog verbose;
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    testing::internal::CaptureStdout();
    EXPECT_EQ(shader.getUniformLocation("noSuchUniform"), -1);
    EXPECT_EQ(shader.getUniformLocation("noSuchUniform"), -1);
    shader.setFloat("noSuchUniform", 2.0f);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(countOf(out, "Uniform noSuchUniform not found in shader " + std::to_string(shader.getProgram())), 1)
        << out;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderTest, MovedShaderOwnsTheProgramAndTheSourceNothing) {
    Shader* source = new Shader("assets/shaders/uiRenderer.vsh", "assets/shaders/uiRenderer.fsh");
    const GLuint program = source->getProgram();
    Shader moved(std::move(*source));
    EXPECT_EQ(source->getProgram(), 0u);
    delete source;
    EXPECT_EQ(moved.getProgram(), program);
    EXPECT_TRUE(glIsProgram(program));
}

TEST_F(ShaderTest, TexturesAreLoadedOncePerPathAndShader) {
    Shader first("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Shader second("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    const std::string path = "assets/textures/brick.png";
    const GLuint texture = first.loadTexture(path, GL_NEAREST, GL_NEAREST);
    ASSERT_NE(texture, 0u);
    // The second call gets the same texture with the first call's filters.
    EXPECT_EQ(first.loadTexture(path, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR), texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    const GLuint other = second.loadTexture(path, GL_NEAREST, GL_NEAREST);
    EXPECT_NE(other, texture);

    // A grey-scale image arrives as RGBA with equal colours and full alpha.
    TempDir dir;
    const std::string grey = (dir.path() / "grey.png").string();
    const unsigned char pixels[4] = {0, 85, 170, 255};
    ASSERT_NE(stbi_write_png(grey.c_str(), 2, 2, 1, pixels, 2), 0);
    glActiveTexture(GL_TEXTURE3);
    const GLuint greyTexture = first.loadTexture(grey, GL_NEAREST, GL_NEAREST);
    std::vector<unsigned char> rgba(16);
    glBindTexture(GL_TEXTURE_2D, greyTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    EXPECT_EQ(rgba, (std::vector<unsigned char>{0, 0, 0, 255, 85, 85, 85, 255, 170, 170, 170, 255, 255, 255,
                                                255, 255}));

    // A missing file is reported and thrown each time it is asked for.
    for (int attempt = 0; attempt < 2; ++attempt) {
        testing::internal::CaptureStderr();
        try {
            first.loadTexture("assets/textures/missing.png", GL_NEAREST, GL_NEAREST);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Error loading texture assets/textures/missing.png");
        }
        EXPECT_NE(testing::internal::GetCapturedStderr().find("[ERROR] Error loading texture "
                                                              "assets/textures/missing.png"),
                  std::string::npos);
    }
}

TEST_F(ShaderTest, LightUniformsAndCounts) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    PointLight a({1, 2, 3}, {4, 5, 6}, {1, 0.1f, 0.01f});
    PointLight b({-1, -2, -3}, {0.5f, 0.5f, 0.5f}, {1, 0, 0});
    shader.resetLights();
    a.addToShader(&shader);
    b.addToShader(&shader);
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 2);
    EXPECT_EQ(floatUniform(shader, "pointLight[0].intensity", 3), (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(floatUniform(shader, "pointLight[1].position", 3), (std::vector<float>{-1, -2, -3}));
    EXPECT_EQ(floatUniform(shader, "pointLight[0].attenuation", 3), (std::vector<float>{1, 0.1f, 0.01f}));

    shader.resetLights();
    EXPECT_EQ(shader.getPointLightCount(), 0u);
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 0);
    // After a reset the next light goes to index 0 again.
    b.addToShader(&shader);
    EXPECT_EQ(floatUniform(shader, "pointLight[0].position", 3), (std::vector<float>{-1, -2, -3}));

    // More lights than the program holds: counted, the extra values dropped, no GL error.
    shader.resetLights();
    for (int i = 0; i < 70; ++i) {
        a.addToShader(&shader);
    }
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 70);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderTest, MaterialUploadsItsParametersAndBindsItsTextures) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    MaterialManager manager;
    ASSERT_TRUE(manager.create("plain", &shader));
    Material* plain = manager.get("plain");

    // Defaults, and no texture binding without textures.
    globalBrightness = 0.75f;
    glActiveTexture(GL_TEXTURE5);
    plain->apply();
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE5);
    EXPECT_EQ(floatUniform(shader, "inColor", 4), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(floatUniform(shader, "inSpecularColor", 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(floatUniform(shader, "alpha", 1)[0], 1.0f);
    EXPECT_EQ(floatUniform(shader, "ka", 1)[0], 0.1f);
    EXPECT_EQ(floatUniform(shader, "kd", 1)[0], 1.0f);
    EXPECT_EQ(floatUniform(shader, "ks", 1)[0], 0.5f);
    EXPECT_EQ(floatUniform(shader, "ke", 1)[0], 0.0f);
    EXPECT_EQ(floatUniform(shader, "brightness", 1)[0], 0.75f);
    EXPECT_EQ(intUniform(shader, "useEnvironmentMapping"), 0);
    EXPECT_EQ(intUniform(shader, "useDiffuseTexture"), 0);
    EXPECT_EQ(intUniform(shader, "useSpecularTexture"), 0);
    globalBrightness = 1.0f;

    // A diffuse texture alone: bound on unit 10, unit 11 untouched.
    ASSERT_TRUE(manager.create("brick", &shader));
    Material* brick = manager.get("brick");
    brick->setColorRgb(0.2f, 0.4f, 0.6f);
    brick->setUseEnvironmentMapping(true);
    brick->addTexture("assets/textures/brick.png", kDiffuseTextureUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    glActiveTexture(GL_TEXTURE11);
    glBindTexture(GL_TEXTURE_2D, 0);
    brick->apply();
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE10);
    EXPECT_EQ(boundTexture2D(GL_TEXTURE10), static_cast<GLint>(brick->getTextureId(kDiffuseTextureUnit)));
    EXPECT_EQ(boundTexture2D(GL_TEXTURE11), 0);
    EXPECT_EQ(intUniform(shader, "useDiffuseTexture"), 1);
    EXPECT_EQ(intUniform(shader, "useSpecularTexture"), 0);
    EXPECT_EQ(intUniform(shader, "useEnvironmentMapping"), 1);
    EXPECT_EQ(floatUniform(shader, "inColor", 4), (std::vector<float>{0.2f, 0.4f, 0.6f, 1.0f}));

    // Replacing the texture on a unit binds the new one; a texture set by
    // name counts as present.
    brick->addTexture("assets/textures/wood.png", kDiffuseTextureUnit, GL_LINEAR, GL_LINEAR);
    brick->setTexture(kSpecularTextureUnit, brick->getTextureId(kDiffuseTextureUnit));
    brick->apply();
    EXPECT_EQ(brick->getTexturePath(kDiffuseTextureUnit), "assets/textures/wood.png");
    EXPECT_EQ(brick->getTexturePath(kSpecularTextureUnit), "");
    EXPECT_EQ(boundTexture2D(GL_TEXTURE10), static_cast<GLint>(shader.loadTexture("assets/textures/wood.png", 0, 0)));
    EXPECT_EQ(boundTexture2D(GL_TEXTURE11), boundTexture2D(GL_TEXTURE10));
    EXPECT_EQ(intUniform(shader, "useSpecularTexture"), 1);

    // A file that cannot be decoded leaves the material as it was.
    testing::internal::CaptureStderr();
    EXPECT_THROW(brick->addTexture("assets/textures/missing.png", kDiffuseTextureUnit, GL_LINEAR, GL_LINEAR),
                 std::runtime_error);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(brick->getTexturePath(kDiffuseTextureUnit), "assets/textures/wood.png");

    // Names: a second "brick" is refused and the first kept; unknown names throw.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(manager.create("brick", nullptr));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("[WARNING] Material brick already exists!"),
              std::string::npos);
    EXPECT_EQ(manager.get("brick"), brick);
    EXPECT_EQ(brick->getShader(), &shader);
    testing::internal::CaptureStderr();
    EXPECT_THROW(manager.get("gold"), std::runtime_error);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("No material with name gold found."), std::string::npos);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderTest, SceneDrawsByNameUploadsLightsAndCanBeSwitchedOff) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Scene scene(nullptr);
    scene.getMaterialManager().create("grey", &shader);

    std::vector<std::string> drawn;
    RecordingObject lower("timer", &drawn);
    RecordingObject upper("Crosshair", &drawn);
    RecordingObject second("timer", &drawn);
    scene.addObject("timer", &lower);
    scene.addObject("Crosshair", &upper);
    testing::internal::CaptureStdout();
    scene.addObject("timer", &second);
    EXPECT_EQ(countOf(testing::internal::GetCapturedStdout(), "[WARNING] Object timer already exists!"), 1);
    EXPECT_EQ(scene.getObject("timer"), &lower);
    EXPECT_EQ(scene.get("timer"), &lower);
    EXPECT_EQ(lower.getScene(), &scene);

    std::vector<PointLight*> lights;
    for (int i = 0; i < 65; ++i) {
        lights.push_back(new PointLight({0, static_cast<float>(i), 0}, {1, 1, 1}, {1, 0, 0}));
        scene.addLight(lights.back());
    }
    EXPECT_EQ(scene.getLights().size(), 64u);

    // Without a sky nothing goes to unit 12.
    glActiveTexture(GL_TEXTURE12);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    shader.resetLights();
    scene.draw();
    EXPECT_EQ(drawn, (std::vector<std::string>{"Crosshair", "timer"}));
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 64);
    EXPECT_EQ(floatUniform(shader, "pointLight[63].position", 3), (std::vector<float>{0, 63, 0}));
    GLint cube = -1;
    glActiveTexture(GL_TEXTURE12);
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &cube);
    EXPECT_EQ(cube, 0);

    // Switched off: no draw and no light upload.
    scene.disable();
    shader.resetLights();
    scene.draw();
    EXPECT_EQ(drawn.size(), 2u);
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 0);
    scene.enable();
    scene.draw();
    EXPECT_EQ(drawn.size(), 4u);

    testing::internal::CaptureStderr();
    EXPECT_THROW(scene.getObject("nothing"), std::runtime_error);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("No object with name nothing found."), std::string::npos);
    // An unknown material throws before anything is created or registered.
    testing::internal::CaptureStderr();
    EXPECT_THROW(scene.createUIPlane("plane", "nope", 0, 0, 1, 1), std::runtime_error);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(scene.getObjects().count("plane"), 0u);

    for (PointLight* light : lights) {
        delete light;
    }
}

// Shaders, materials and scenes on a real GL context with the game's own
// GLSL programs.

#include "app/Logger.h"
#include "app/Settings.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/Object.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "tests/support/Process.h"
#include "tests/support/RenderFixture.h"

#include <stb/stb_image_write.h>

#include <stdexcept>

namespace {

GLint intUniform(Shader& shader, const std::string& name) {
    GLint value = -12345;
    EXPECT_NE(shader.getUniformLocation(name), -1) << name;
    glGetUniformiv(shader.getProgram(), shader.getUniformLocation(name), &value);
    return value;
}

std::vector<float> floatUniform(Shader& shader, const std::string& name, int components) {
    std::vector<float> value(16, -12345.0f);
    EXPECT_NE(shader.getUniformLocation(name), -1) << name;
    glGetUniformfv(shader.getProgram(), shader.getUniformLocation(name), value.data());
    value.resize(static_cast<size_t>(components));
    return value;
}

GLint boundTexture2D(GLenum unit) {
    glActiveTexture(unit);
    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    return texture;
}

// Catches the stream's output for the scope of one check.
struct Captured {
    explicit Captured(bool err) : err(err) { err ? testing::internal::CaptureStderr() : testing::internal::CaptureStdout(); }
    std::string text() { return err ? testing::internal::GetCapturedStderr() : testing::internal::GetCapturedStdout(); }
    bool err;
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

// Mesa refuses a draw where samplers of different types share a unit: every
// sampler sits on its own unit, and every uniform the game sets is declared.
TEST_F(ShaderTest, GameProgramsBuildCleanlyWithSamplersOnTheirOwnUnits) {
    for (const char* name : {"phong", "contourRenderer", "uiRenderer", "text", "font", "font3D", "skybox",
                             "confetti"}) {
        const std::string base = std::string("assets/shaders/") + name;
        Captured err(true);
        Shader shader(base + ".vsh", base + ".fsh");
        EXPECT_EQ(err.text(), "") << name;
        GLint linked = 0;
        glGetProgramiv(shader.getProgram(), GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << name;
    }
    Shader phong("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    EXPECT_EQ(intUniform(phong, "diffuseTexture"), 10);
    EXPECT_EQ(intUniform(phong, "specularTexture"), 11);
    EXPECT_EQ(intUniform(phong, "skybox"), 12);
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

    // A moved shader owns the program; the source (deleted) owns nothing.
    Shader* source = new Shader("assets/shaders/uiRenderer.vsh", "assets/shaders/uiRenderer.fsh");
    const GLuint program = source->getProgram();
    Shader moved(std::move(*source));
    EXPECT_EQ(source->getProgram(), 0u);
    delete source;
    EXPECT_TRUE(glIsProgram(program));
}

TEST_F(ShaderTest, MissingSourceIsLoggedAndTheGameGoesOnAMissingUniformIsReportedOnce) {
    ShaderManager manager;
    Captured err(true);
    manager.load("broken", "assets/shaders/does_not_exist");
    const std::string errors = err.text();
    EXPECT_NE(errors.find("[ERROR] Error in compileShader for assets/shaders/does_not_exist.vsh: "), std::string::npos)
        << errors;
    Shader* broken = manager.get("broken");
    ASSERT_NE(broken, nullptr);
    broken->setFloat("ka", 1.0f);
    EXPECT_EQ(broken->getUniformLocation("ka"), -1);
    glGetError();  // the broken program's own GL complaint, not under test here

    const int saved = Logger::threshold;
    Logger::threshold = DEBUG;
    manager.load("phong", "assets/shaders/phong");
    Shader& phong = *manager.get("phong");
    Captured out(false);
    EXPECT_EQ(phong.getUniformLocation("noSuchUniform"), -1);
    EXPECT_EQ(phong.getUniformLocation("noSuchUniform"), -1);
    phong.setFloat("noSuchUniform", 2.0f);
    const std::string log = out.text();
    Logger::threshold = saved;
    EXPECT_EQ(occurrences(log, "Uniform noSuchUniform not found in shader " + std::to_string(phong.getProgram())), 1)
        << log;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderTest, TexturesAreLoadedOncePerPathAndShaderAndAMissingFileThrows) {
    Shader first("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Shader second("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    const std::string path = "assets/textures/brick.png";
    const GLuint texture = first.loadTexture(path, GL_NEAREST, GL_NEAREST);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(first.loadTexture(path, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR), texture);
    EXPECT_NE(second.loadTexture(path, GL_NEAREST, GL_NEAREST), texture);

    // A grey-scale image arrives as RGBA with equal colours and full alpha.
    TempDir dir;
    const std::string grey = (dir.path() / "grey.png").string();
    const unsigned char pixels[4] = {0, 85, 170, 255};
    ASSERT_NE(stbi_write_png(grey.c_str(), 2, 2, 1, pixels, 2), 0);
    std::vector<unsigned char> rgba(16);
    glBindTexture(GL_TEXTURE_2D, first.loadTexture(grey, GL_NEAREST, GL_NEAREST));
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    EXPECT_EQ(rgba, (std::vector<unsigned char>{0, 0, 0, 255, 85, 85, 85, 255, 170, 170, 170, 255, 255, 255, 255,
                                                255}));

    // A missing file is reported and thrown each time it is asked for.
    for (int attempt = 0; attempt < 2; ++attempt) {
        Captured err(true);
        try {
            first.loadTexture("assets/textures/missing.png", GL_NEAREST, GL_NEAREST);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Error loading texture assets/textures/missing.png");
        }
        EXPECT_NE(err.text().find("[ERROR] Error loading texture assets/textures/missing.png"), std::string::npos);
    }
}

TEST_F(ShaderTest, LightUniformsAndCountsAfterReset) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    PointLight a({1, 2, 3}, {4, 5, 6}, {1, 0.1f, 0.01f});
    PointLight b({-1, -2, -3}, {0.5f, 0.5f, 0.5f}, {1, 0, 0});
    shader.resetLights();
    a.addToShader(&shader);
    b.addToShader(&shader);
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 2);
    EXPECT_EQ(floatUniform(shader, "pointLight[0].intensity", 3), (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(floatUniform(shader, "pointLight[0].attenuation", 3), (std::vector<float>{1, 0.1f, 0.01f}));
    EXPECT_EQ(floatUniform(shader, "pointLight[1].position", 3), (std::vector<float>{-1, -2, -3}));
    // After a reset the next light goes to index 0 again.
    shader.resetLights();
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 0);
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
    // Without textures: the switches off and no texture unit touched.
    globalBrightness = 0.75f;
    glActiveTexture(GL_TEXTURE5);
    manager.get("plain")->apply();
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE5);
    EXPECT_EQ(floatUniform(shader, "brightness", 1)[0], 0.75f);
    EXPECT_EQ(intUniform(shader, "useDiffuseTexture"), 0);
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
    EXPECT_EQ(boundTexture2D(GL_TEXTURE10), static_cast<GLint>(brick->getTextureId(kDiffuseTextureUnit)));
    EXPECT_EQ(boundTexture2D(GL_TEXTURE11), 0);
    EXPECT_EQ(intUniform(shader, "useDiffuseTexture"), 1);
    EXPECT_EQ(intUniform(shader, "useSpecularTexture"), 0);
    EXPECT_EQ(intUniform(shader, "useEnvironmentMapping"), 1);
    EXPECT_EQ(floatUniform(shader, "inColor", 4), (std::vector<float>{0.2f, 0.4f, 0.6f, 1.0f}));

    // Replacing the texture on a unit binds the new one; one set by name counts as present.
    brick->addTexture("assets/textures/wood.png", kDiffuseTextureUnit, GL_LINEAR, GL_LINEAR);
    brick->setTexture(kSpecularTextureUnit, brick->getTextureId(kDiffuseTextureUnit));
    brick->apply();
    EXPECT_EQ(boundTexture2D(GL_TEXTURE10), static_cast<GLint>(shader.loadTexture("assets/textures/wood.png", 0, 0)));
    EXPECT_EQ(boundTexture2D(GL_TEXTURE11), boundTexture2D(GL_TEXTURE10));
    EXPECT_EQ(intUniform(shader, "useSpecularTexture"), 1);
    // A file that cannot be decoded leaves the material as it was.
    Captured err(true);
    EXPECT_THROW(brick->addTexture("assets/textures/missing.png", kDiffuseTextureUnit, GL_LINEAR, GL_LINEAR),
                 std::runtime_error);
    err.text();
    EXPECT_EQ(brick->getTexturePath(kDiffuseTextureUnit), "assets/textures/wood.png");
    // A second "brick" is refused and the first kept.
    Captured out(false);
    EXPECT_FALSE(manager.create("brick", nullptr));
    out.text();
    EXPECT_EQ(manager.get("brick")->getShader(), &shader);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderTest, SceneDrawsByNameUploadsAtMost64LightsAndCanBeSwitchedOff) {
    Shader shader("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
    Scene scene(nullptr);
    scene.getMaterialManager().create("grey", &shader);
    std::vector<std::string> drawn;
    RecordingObject lower("timer", &drawn), upper("Crosshair", &drawn), second("timer", &drawn);
    scene.addObject("timer", &lower);
    scene.addObject("Crosshair", &upper);
    Captured out(false);
    scene.addObject("timer", &second);
    EXPECT_EQ(occurrences(out.text(), "[WARNING] Object timer already exists!"), 1);
    EXPECT_EQ(scene.get("timer"), &lower);

    std::vector<std::unique_ptr<PointLight>> lights;
    for (int i = 0; i < 65; ++i) {
        lights.push_back(std::make_unique<PointLight>(glm::vec3(0, i, 0), glm::vec3(1), glm::vec3(1, 0, 0)));
        scene.addLight(lights.back().get());
    }
    EXPECT_EQ(scene.getLights().size(), 64u);
    shader.resetLights();
    scene.draw();
    EXPECT_EQ(drawn, (std::vector<std::string>{"Crosshair", "timer"}));
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 64);
    EXPECT_EQ(floatUniform(shader, "pointLight[63].position", 3), (std::vector<float>{0, 63, 0}));
    // Switched off: no draw and no light upload.
    scene.disable();
    shader.resetLights();
    scene.draw();
    EXPECT_EQ(drawn.size(), 2u);
    EXPECT_EQ(intUniform(shader, "numberOfPointLights"), 0);

    Captured err(true);
    EXPECT_THROW(scene.getObject("nothing"), std::runtime_error);
    EXPECT_NE(err.text().find("No object with name nothing found."), std::string::npos);
    // An unknown material throws before anything is created or registered.
    Captured err2(true);
    EXPECT_THROW(scene.createUIPlane("plane", "nope", 0, 0, 1, 1), std::runtime_error);
    err2.text();
    EXPECT_EQ(scene.getObjects().count("plane"), 0u);
}

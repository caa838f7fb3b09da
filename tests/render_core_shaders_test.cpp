// Shaders, materials and scenes on a real GL context with the game's own
// GLSL programs.

#include "app/Settings.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "tests/support/Process.h"
#include "tests/support/RenderFixture.h"

#include <stdexcept>

namespace {

// Catches standard error for the scope of one check.
struct Captured {
    Captured() { testing::internal::CaptureStderr(); }
    std::string text() { return testing::internal::GetCapturedStderr(); }
};

// An object that records the order in which a scene draws it.
struct RecordingObject : Object {
    RecordingObject(const std::string& name, std::vector<std::string>* log) : Object(name), log(log) {}
    void draw() override { log->push_back(getName()); }
    std::vector<std::string>* log;
};

class ShaderTest : public GlTest {
protected:
    GLint intUniform(const std::string& name, Shader* shader = nullptr) {
        shader = shader != nullptr ? shader : phong.get();
        GLint value = -12345;
        glGetUniformiv(shader->getProgram(), shader->getUniformLocation(name), &value);
        return value;
    }
    std::vector<float> floatUniform(const std::string& name, int components) {
        std::vector<float> value(16, -12345.0f);
        glGetUniformfv(phong->getProgram(), phong->getUniformLocation(name), value.data());
        value.resize(static_cast<size_t>(components));
        return value;
    }
    void SetUp() override {
        GlTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            phong = std::make_unique<Shader>("assets/shaders/phong.vsh", "assets/shaders/phong.fsh");
        }
    }
    void TearDown() override {
        phong.reset();
        GlTest::TearDown();
    }
    std::unique_ptr<Shader> phong;
};

}  // namespace

// Samplers that nothing sets at draw time read the unit they were pointed at
// when the program was built, and Mesa refuses a draw in which samplers of
// different types share a unit: each sampler of each game program starts on
// its own unit, the one the material, scene and renderer bind.
TEST_F(ShaderTest, EachProgramsSamplersStartOnTheirOwnUnits) {
    struct Sampler {
        const char* program;
        const char* name;
        GLint unit;
    };
    const Sampler samplers[] = {
        {"phong", "diffuseTexture", 10},        {"phong", "specularTexture", 11},
        {"phong", "skybox", 12},                {"contourRenderer", "colorTexture", 0},
        {"contourRenderer", "depthTexture", 1}, {"contourRenderer", "normalTexture", 2},
        {"uiRenderer", "diffuseTexture", 10},   {"font", "diffuseTexture", 10},
        {"font3D", "diffuseTexture", 10},       {"text", "diffuseTexture", 10},
        {"skybox", "cubemap", 0},  // the sky's own draw binds its cube map on unit 0
    };
    for (const Sampler& sampler : samplers) {
        const std::string base = std::string("assets/shaders/") + sampler.program;
        Shader shader(base + ".vsh", base + ".fsh");
        EXPECT_EQ(intUniform(sampler.name, &shader), sampler.unit) << sampler.program << " " << sampler.name;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A stage that does not compile is named with the driver's reason, whichever
// stage it is; the program is still built and the game goes on.
TEST_F(ShaderTest, AStageThatDoesNotCompileIsNamedWithTheDriversLog) {
    TempDir dir;
    dir.write("broken.vsh", "#version 450 core\nvoid main() { gl_Position = vec4(oops); }\n");
    dir.write("broken.fsh", "#version 450 core\nout vec4 color;\nvoid main() { color = 1; }\n");
    const std::string vertex = (dir.path() / "broken.vsh").string(), fragment = (dir.path() / "broken.fsh").string();
    for (const auto& stages : {std::make_pair(vertex, std::string("assets/shaders/phong.fsh")),
                               std::make_pair(std::string("assets/shaders/phong.vsh"), fragment)}) {
        const std::string broken = stages.first == vertex ? vertex : fragment;
        Captured err;
        const Shader shader(stages.first, stages.second);
        const std::string errors = err.text();
        const std::string line = "[ERROR] Error in compileShader for " + broken + ": ";
        const size_t at = errors.find(line);
        ASSERT_NE(at, std::string::npos) << errors;
        EXPECT_GT(errors.find('\n', at) - at, line.size() + 5) << "the driver's reason is missing: " << errors;
        EXPECT_EQ(occurrences(errors, "Error in compileShader"), 1) << errors;
        EXPECT_NE(shader.getProgram(), 0u);
    }
    // A file that is not there is named as such, and then fails to compile like any bad source.
    Captured err;
    const Shader missing("assets/shaders/does_not_exist.vsh", "assets/shaders/phong.fsh");
    EXPECT_NE(err.text().find("[ERROR] Error in compileShader for assets/shaders/does_not_exist.vsh: "),
              std::string::npos);
    glGetError();
}

// A missing source is named as a file that cannot be read, and a program that
// does not link (stages that compile but do not fit together) is logged with
// the driver's log, without a pending GL error; the game goes on.
// (That the game's own programs build without a word and get their uniforms
// is shown by the real executable's clean run and the rendered pictures.)
TEST_F(ShaderTest, MissingSourceAndFailedLinkAreLoggedAndTheGameGoesOn) {
    ShaderManager manager;
    Captured err;
    manager.load("broken", "assets/shaders/does_not_exist");
    const Shader unlinked("assets/shaders/skybox.vsh", "assets/shaders/phong.fsh");
    const std::string errors = err.text();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_NE(errors.find("[ERROR] Cannot read shader file assets/shaders/does_not_exist.vsh\n"), std::string::npos)
        << errors;
    EXPECT_EQ(occurrences(errors, "[ERROR] Error linking shader assets/shaders/skybox.vsh assets/shaders/phong.fsh: "),
              1) << errors;
    ASSERT_NE(manager.get("broken"), nullptr);
    manager.get("broken")->setFloat("ka", 1.0f);
    glGetError();  // the broken program's own GL complaint, not under test here
}

// Textures load once per path and shader; a missing file is reported and
// thrown and leaves the material as it was; apply binds the diffuse texture on
// unit 10 and uploads the brightness setting as it is now.
TEST_F(ShaderTest, TexturesMaterialsLightsAndScenes) {
    const GLuint texture = phong->loadTexture("assets/textures/brick.png", GL_NEAREST, GL_NEAREST);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(phong->loadTexture("assets/textures/brick.png", GL_LINEAR, GL_LINEAR), texture);
    MaterialManager manager;
    ASSERT_TRUE(manager.create("brick", phong.get()));
    Material* brick = manager.get("brick");
    brick->addTexture("assets/textures/brick.png", kDiffuseTextureUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    Captured err;
    EXPECT_THROW(brick->addTexture("assets/textures/missing.png", kDiffuseTextureUnit, GL_LINEAR, GL_LINEAR),
                 std::runtime_error);
    EXPECT_NE(err.text().find("[ERROR] Error loading texture assets/textures/missing.png"), std::string::npos);
    EXPECT_EQ(brick->getTexturePath(kDiffuseTextureUnit), "assets/textures/brick.png");
    globalBrightness = 0.75f;
    brick->apply();
    globalBrightness = 1.0f;
    EXPECT_EQ(floatUniform("brightness", 1)[0], 0.75f);
    GLint bound = 0;
    glActiveTexture(GL_TEXTURE10);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(texture));
    EXPECT_EQ((std::vector<GLint>{intUniform("useDiffuseTexture"), intUniform("useSpecularTexture")}),
              (std::vector<GLint>{1, 0}));
    // The environment-mapping switch reaches the program as 1 or 0.
    for (const bool reflects : {true, false}) {
        brick->setUseEnvironmentMapping(reflects);
        brick->apply();
        EXPECT_EQ(intUniform("useEnvironmentMapping"), reflects ? 1 : 0);
    }
    // A scene draws its objects by name and uploads at most 64 lights (more
    // sent to a program are counted, their values dropped, with no GL error);
    // a 3D scene without a camera is not drawn, and says so once, not every frame.
    Scene scene(nullptr);
    scene.getMaterialManager().create("grey", phong.get());
    std::vector<std::string> drawn;
    RecordingObject lower("timer", &drawn), upper("Crosshair", &drawn);
    scene.addObject("timer", &lower);
    scene.addObject("Crosshair", &upper);
    std::vector<std::unique_ptr<PointLight>> lights;
    for (int i = 0; i < 66; ++i) {
        lights.push_back(std::make_unique<PointLight>(glm::vec3(0, i, 0), glm::vec3(1), glm::vec3(1, 0, 0)));
        scene.addLight(lights.back().get());
    }
    EXPECT_EQ(scene.getLights().size(), 64u);
    scene.draw();
    EXPECT_EQ(drawn, (std::vector<std::string>{"Crosshair", "timer"}));
    EXPECT_EQ(intUniform("numberOfPointLights"), 64);
    EXPECT_EQ(floatUniform("pointLight[63].position", 3), (std::vector<float>{0, 63, 0}));
    lights[65]->addToShader(phong.get());
    EXPECT_EQ(intUniform("numberOfPointLights"), 65);
    Renderer renderer(window(), 64, 64);
    Scene blind(nullptr);
    renderer.addScene(&blind);
    Captured blindErr;
    renderer.render();
    renderer.render();
    EXPECT_EQ(occurrences(blindErr.text(), "[ERROR] A scene without a camera was not drawn"), 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

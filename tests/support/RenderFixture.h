#pragma once

#include "render/Camera.h"
#include "render/ModelLoader.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <glm/glm.hpp>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The game's six sky faces (right, left, top, bottom, front, back).
extern const std::vector<std::string> kSkyFaces;

void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-5f);
float maxDifference(const glm::mat4& a, const glm::mat4& b);
int occurrences(const std::string& text, const std::string& part);
// Pixels whose summed RGB difference exceeds the threshold.
int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int threshold);
// Deletes the sky, objects and lights a scene holds.
void deleteContents(Scene& scene);

// A real window with the game's GL state, a Renderer with the game's
// programs, a camera at the origin looking along -z, a world scene (drawn)
// and an overlay scene (not yet added), both on a model loader. Whatever the
// scenes hold is deleted with the fixture; the game's globals are reset.
class RenderFixture : public ::testing::Test {
protected:
    RenderFixture(int width, int height) : width(width), height(height) {}
    void SetUp() override;
    void TearDown() override;
    // Builds the renderer (what it logged as errors is returned), loader,
    // camera and scenes from the assets of the working directory; release
    // deletes them and keeps the window.
    std::string build();
    void release();

    // Renders one frame, reads the window back and saves it as test-output/<name>.png.
    std::vector<uint8_t> frame(const std::string& name);
    Rgba at(const std::vector<uint8_t>& pixels, int x, int y) const { return pixelAt(pixels, width, x, y); }
    Font* gameFont(unsigned size) {
        renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", size);
        return renderer->getFontManager().getFont("VT323");
    }
    // The level as the game loads it, with the sky.
    void loadLevel() {
        world->setSkybox(kSkyFaces, renderer->getShaderManager().get("skybox"));
        world->loadModel("assets/models/cell.fbx");
    }

    const int width, height;
    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<ModelLoader> loader;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Scene> world, overlay;
};

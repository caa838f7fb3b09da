#include "app/Hud.h"

#include "app/GameState.h"
#include "app/Glasses.h"
#include "app/OverlayScale.h"
#include "render/Font.h"
#include "render/Material.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Text.h"

namespace {

// Font scale for an em of k/2 pixels across a window of `size` pixels.
float fontScale(float k, float size) {
    return (k / 256.0f) / size;
}

// The material "text" on the shader "font": one colour, the font atlas on unit 10.
void createTextMaterial(Scene& scene, Renderer& renderer, Font* font, float r, float g, float b) {
    MaterialManager& materials = scene.getMaterialManager();
    materials.create("text", renderer.getShaderManager().get("font"));
    Material* text = materials.get("text");
    text->setColor(r, g, b, 1.0f);
    text->setTexture(kDiffuseTextureUnit, font->texture);
}

// A plain coloured material on the shader "UI".
void createPlainMaterial(Scene& scene, Renderer& renderer, const std::string& name, float r, float g,
                         float b, float a) {
    MaterialManager& materials = scene.getMaterialManager();
    materials.create(name, renderer.getShaderManager().get("UI"));
    materials.get(name)->setColor(r, g, b, a);
}

// A material on the shader "UI" showing an image.
void createIconMaterial(Scene& scene, Renderer& renderer, const std::string& name, const std::string& path) {
    MaterialManager& materials = scene.getMaterialManager();
    materials.create(name, renderer.getShaderManager().get("UI"));
    materials.get(name)->addTexture(path, kDiffuseTextureUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
}

}  // namespace

Hud::Hud(ModelLoader* loader, Renderer& renderer, Camera* camera, float width, float height,
         const std::string& timerText)
    : hudScene(loader), winScene(loader), loseScene(loader) {
    // The layout's pixels: window pixels from 1280 x 720 up; in a smaller
    // window they shrink by the overlay scale, so w and h are the window's
    // size counted in them (never below 1280 x 720 together).
    const float scale = overlayScale(width, height);
    const float w = width / scale;
    const float h = height / scale;
    Font* font = renderer.getFontManager().getFont("VT323");

    // The on-screen display.
    createPlainMaterial(hudScene, renderer, "black", 0.0f, 0.0f, 0.0f, 1.0f);
    createTextMaterial(hudScene, renderer, font, 1.0f, 1.0f, 1.0f);
    createIconMaterial(hudScene, renderer, "e_pressed", kKeyIcon);
    // The pressed picture is first shown in the middle of a game: decode it
    // now, so a missing or broken file ends the start-up, not the game.
    renderer.getShaderManager().get("UI")->loadTexture(kKeyPressedIcon, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    createIconMaterial(hudScene, renderer, "glasses_icon", "assets/textures/glasses_icon.png");

    hudScene.createUIPlane("Crosshair_horizontal", "black", 0.0f, 0.0f, 20.0f / w, 4.0f / h);
    hudScene.createUIPlane("Crosshair_vertical", "black", 0.0f, 0.0f, 4.0f / w, 20.0f / h);
    glassesHelp = hudScene.createText("Glasses_help", "text", font, "Press 'E' to pick up", 0.0f, -25.0f / h,
                                      fontScale(128.0f, w), fontScale(128.0f, h), TextAlignment::Top,
                                      TextAlignment::Center);
    glassesHelp->setHidden(true);
    ePressed = hudScene.createUIPlane("e_pressed", "e_pressed", 1.0f - 121.0f / w, 1.0f - 329.0f / h, 96.0f / w,
                                      96.0f / h);
    ePressed->setHidden(true);
    glassesIcon = hudScene.createUIPlane("glasses_icon", "glasses_icon", 1.0f - 338.0f / w, 1.0f - 329.0f / h,
                                         96.0f / w, 96.0f / h);
    glassesIcon->setHidden(true);
    timer = hudScene.createText("timer", "text", font, timerText, 1.0f - 25.0f / w, 1.0f - 25.0f / h,
                                fontScale(256.0f, w), fontScale(256.0f, h), TextAlignment::Top,
                                TextAlignment::Right);
    hudScene.setCamera(camera);
    renderer.addOverlayScene(&hudScene);

    // The end screens: a backdrop over the whole window, the title at the
    // centre and the message, half its size, 128 pixels below.
    createTextMaterial(winScene, renderer, font, 0.0f, 0.0f, 0.0f);
    createPlainMaterial(winScene, renderer, "gold", 1.0f, 1.0f, 0.0f, 0.8f);
    winScene.createUIPlane("backdrop", "gold", 0.0f, 0.0f, 10.0f, 10.0f);
    winScene.createText("wonText", "text", font, "You win!", 0.0f, 0.0f, fontScale(256.0f, w),
                        fontScale(256.0f, h), TextAlignment::Center, TextAlignment::Center);
    wonMessage = winScene.createText("wonMessage", "text", font, "...", 0.0f, -256.0f / h, fontScale(128.0f, w),
                                     fontScale(128.0f, h), TextAlignment::Center, TextAlignment::Center);
    winScene.setCamera(camera);
    winScene.disable();

    createTextMaterial(loseScene, renderer, font, 1.0f, 1.0f, 1.0f);
    createPlainMaterial(loseScene, renderer, "black", 0.0f, 0.0f, 0.0f, 0.8f);
    loseScene.createUIPlane("backdrop", "black", 0.0f, 0.0f, 10.0f, 10.0f);
    loseScene.createText("loseText", "text", font, "You lose!", 0.0f, 0.0f, fontScale(256.0f, w),
                         fontScale(256.0f, h), TextAlignment::Center, TextAlignment::Center);
    loseMessage = loseScene.createText("loseMessage", "text", font, "...", 0.0f, -256.0f / h,
                                       fontScale(128.0f, w), fontScale(128.0f, h), TextAlignment::Center,
                                       TextAlignment::Center);
    loseScene.setCamera(camera);
    loseScene.disable();

    renderer.addOverlayScene(&winScene);
    renderer.addOverlayScene(&loseScene);
}

void Hud::showEndScreen() {
    if (gameWon) {
        wonMessage->setText(endMessage);
        winScene.enable();
    } else {
        loseMessage->setText(endMessage);
        loseScene.enable();
    }
}

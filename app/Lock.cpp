#include "app/Lock.h"

#include "app/GameState.h"
#include "app/Logger.h"
#include "render/Font.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Text.h"

#include <GLFW/glfw3.h>

#include <stdexcept>

Lock::Lock(const std::string& name) : Object(name) {}

void Lock::onKey(int key, int action) {
    if (gameOver || cellDoorOpened || !selected || action != GLFW_PRESS) {
        return;
    }
    if (key >= GLFW_KEY_0 && key <= GLFW_KEY_9) {
        digit = static_cast<uint32_t>(key - GLFW_KEY_0);
    } else if (key >= GLFW_KEY_KP_0 && key <= GLFW_KEY_KP_9) {
        digit = static_cast<uint32_t>(key - GLFW_KEY_KP_0);
    } else {
        return;
    }
    updateLabel();
}

void Lock::updateLabel() {
    const std::string text = std::to_string(digit);
    if (label != nullptr) {
        label->setText(text);
        return;
    }
    if (scene == nullptr || scene->getRenderer() == nullptr) {
        const std::string message = "Lock " + name + " is in no rendered scene and cannot show its digit.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    Font* font = scene->getRenderer()->getFontManager().getFont("VT323");
    constexpr float kGlyphScale = 1.0f / 256.0f;
    label = scene->createText("test", "text", font, text, 0.0f, 0.0f, kGlyphScale, kGlyphScale, TextAlignment::Center,
                              TextAlignment::Center);
    // In the lock's own frame: turned to face out along its thin x axis and
    // set just in front of its face.
    label->setParent(this);
    label->rotate({0.0f, -90.0f, 0.0f});
    label->translate({-0.0025f, 0.0f, 0.0f});
    label->scale({0.15f, 0.15f, 1.0f});
}

void Lock::draw() {
    Object::draw();
    if (label != nullptr) {
        label->draw();
    }
}

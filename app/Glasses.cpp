#include "app/Glasses.h"

#include "app/GameState.h"
#include "app/Hud.h"
#include "render/Material.h"
#include "render/Object.h"
#include "render/Scene.h"
#include "render/Text.h"

#include <GLFW/glfw3.h>

namespace {

constexpr GLint kIconUnit = 10;

}  // namespace

void focusGlasses(Object& glasses, Hud& hud, bool eHeld) {
    if (glasses.isHidden()) {
        return;
    }
    glasses.setSelected(true);
    hud.glassesHelp->setDrawOnce();
    if (eHeld) {
        hud.ePressed->setHidden(false);
        hud.glassesIcon->setHidden(false);
        glasses.setHidden(true);
        glassesPickedUp = true;
    }
}

void toggleGlasses(Scene& hudScene, int key, int action) {
    if (gameOver || !glassesPickedUp || action == GLFW_RELEASE || key != GLFW_KEY_E) {
        return;
    }
    glassesOn = !glassesOn;
    Material* icon = hudScene.getMaterialManager().get("e_pressed");
    icon->addTexture(glassesOn ? kKeyPressedIcon : kKeyIcon, kIconUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
}

#pragma once

class Hud;
class Object;
class Scene;

// The E-key icon of the display, plain and (while the glasses are worn) pressed.
inline const char* const kKeyIcon = "assets/textures/key_e.png";
inline const char* const kKeyPressedIcon = "assets/textures/key_e_pressed.png";

// The glasses in focus of the player's ray: highlighted, with the pick-up
// hint drawn for this frame; with E held (eHeld) they are picked up: hidden
// in the world, the key and glasses icons shown on the display. Glasses that
// were picked up already do nothing.
void focusGlasses(Object& glasses, Hud& hud, bool eHeld);

// The E key (press or repeat) once the glasses are picked up and while the
// game runs: puts them on or takes them off, and shows the E icon pressed
// while they are worn (material "e_pressed" of the display scene).
void toggleGlasses(Scene& hudScene, int key, int action);

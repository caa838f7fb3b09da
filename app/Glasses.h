#pragma once

class Hud;
class Object;
class Scene;

// The glasses in focus of the player's ray: highlighted, with the pick-up
// hint drawn for this frame; with E held (eHeld) they are picked up: hidden
// in the world, the key and glasses icons shown on the display. Glasses that
// were picked up already do nothing.
void focusGlasses(Object& glasses, Hud& hud, bool eHeld);

// The E key (press or repeat) once the glasses are picked up and while the
// game runs: puts them on or takes them off, and shows the E icon pressed
// while they are worn (material "e_pressed" of the display scene).
void toggleGlasses(Scene& hudScene, int key, int action);

#pragma once

#include "render/Scene.h"

#include <string>

class Camera;
class ModelLoader;
class Renderer;
class Text;
class UIPlane;

// The overlay scenes over the 3D view: the on-screen display (crosshair,
// pick-up hint, key and glasses icons, countdown timer) and the two end
// screens, each a translucent backdrop with a title and a message line.
//
// Layout is in the overlay's coordinates, where the window spans -1 to 1 on
// both axes: p pixels are 2p/W across and 2p/H up. The font is loaded at 256
// pixels per em, so a text scale of (k/256)/W gives an em of k/2 pixels.
// In a window smaller than 1280 x 720 every such pixel length shrinks by the
// overlay scale (app/OverlayScale.h); the backdrops cover the window anyway.
//
// The scenes do not own their objects: texts and planes live until the
// process ends. The scenes are declared display, win, lose, so they are
// destroyed lose, win, display.
class Hud {
public:
    // Builds the display, then the win and lose screens (both switched off),
    // all seen through the camera, and hands them to the renderer as overlay
    // scenes in that order. width and height are the window's size in pixels;
    // timerText is what the timer shows until its first refresh.
    Hud(ModelLoader* loader, Renderer& renderer, Camera* camera, float width, float height,
        const std::string& timerText);
    Hud(const Hud&) = delete;
    Hud& operator=(const Hud&) = delete;

    // The end display, for every frame of the game-over state: puts the end
    // message on the win screen and switches it on when the game was won,
    // otherwise on the lose screen. An unchanged message is not rebuilt.
    void showEndScreen();

    Scene hudScene;
    Scene winScene;
    Scene loseScene;

    Text* glassesHelp = nullptr;
    UIPlane* ePressed = nullptr;
    UIPlane* glassesIcon = nullptr;
    Text* timer = nullptr;
    Text* wonMessage = nullptr;
    Text* loseMessage = nullptr;
};

#pragma once

#include "app/IniReader.h"

#include <string>

// Path of the settings file, relative to the working directory.
inline const char* const kSettingsFile = "assets/settings.ini";

// The values start-up reads from the settings file.
struct Settings {
    int width = 800;
    int height = 800;
    std::string title = "Tollbrook";
    bool fullscreen = true;
    bool useMonitorResolution = true;
    int refreshRate = 60;
    double fieldOfView = 60.0;
    double nearDistance = 0.1;
    double farDistance = 100.0;
    double brightness = 1.0;
};

// Render-wide copies of the camera settings, set once by readSettings.
extern float nearPlane;
extern float farPlane;
extern float globalBrightness;

// Reads the window and camera keys, in the game's order, and stores the
// render-wide copies. A value that is not wholly a number in range, or not a
// boolean word, is used as the reader makes of it (an int clamped into the
// int range) with a warning naming the key, the value as written and the
// value used. A field of view outside (0, 180), a near or far plane that is
// not positive, or planes out of order (judged in single precision, as the
// renderer holds them) would give a broken projection, and a
// brightness that is negative or not finite a black or white world: such
// values fall back to their defaults with a warning.
Settings readSettings(const IniReader& reader);

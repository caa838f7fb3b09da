#include "app/Settings.h"

#include "app/Logger.h"

#include <cmath>
#include <sstream>

float nearPlane = 1000.0f;
float farPlane = 1000.0f;
float globalBrightness = 1.0f;

namespace {

void warnFallback(const std::string& key, double value, double fallback, const std::string& why) {
    std::ostringstream text;
    text << "Camera setting " << key << " = " << value << " " << why << ", using " << fallback
         << " instead";
    Logger::log(text.str(), WARNING);
}

}  // namespace

Settings readSettings(const IniReader& reader) {
    const Settings defaults;
    Settings settings;

    settings.width = static_cast<int>(reader.getInteger("window", "width", defaults.width));
    settings.height = static_cast<int>(reader.getInteger("window", "height", defaults.height));
    settings.title = reader.get("window", "title", defaults.title);
    settings.fullscreen = reader.getBoolean("window", "fullscreen", defaults.fullscreen);
    settings.useMonitorResolution =
        reader.getBoolean("window", "use_monitor_resolution", defaults.useMonitorResolution);
    settings.refreshRate =
        static_cast<int>(reader.getInteger("window", "refresh_rate", defaults.refreshRate));

    settings.fieldOfView = reader.getReal("camera", "fov", defaults.fieldOfView);
    if (!(settings.fieldOfView > 0.0 && settings.fieldOfView < 180.0)) {
        warnFallback("fov", settings.fieldOfView, defaults.fieldOfView, "is not between 0 and 180");
        settings.fieldOfView = defaults.fieldOfView;
    }

    settings.nearDistance = reader.getReal("camera", "near", defaults.nearDistance);
    if (!(settings.nearDistance > 0.0 && std::isfinite(settings.nearDistance))) {
        warnFallback("near", settings.nearDistance, defaults.nearDistance, "is not a positive number");
        settings.nearDistance = defaults.nearDistance;
    }

    settings.farDistance = reader.getReal("camera", "far", defaults.farDistance);
    if (!(settings.farDistance > settings.nearDistance && std::isfinite(settings.farDistance))) {
        warnFallback("far", settings.farDistance, defaults.farDistance, "is not beyond the near plane");
        settings.farDistance = defaults.farDistance;
        if (!(settings.farDistance > settings.nearDistance)) {
            warnFallback("near", settings.nearDistance, defaults.nearDistance,
                         "is not in front of the far plane");
            settings.nearDistance = defaults.nearDistance;
        }
    }
    farPlane = static_cast<float>(settings.farDistance);
    nearPlane = static_cast<float>(settings.nearDistance);

    settings.brightness = reader.getReal("camera", "brightness", defaults.brightness);
    if (!(settings.brightness >= 0.0 && std::isfinite(settings.brightness))) {
        warnFallback("brightness", settings.brightness, defaults.brightness, "is not a number of 0 or more");
        settings.brightness = defaults.brightness;
    }
    globalBrightness = static_cast<float>(settings.brightness);

    return settings;
}

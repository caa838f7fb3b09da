#include "app/Settings.h"

#include "app/Logger.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

float nearPlane = 1000.0f;
float farPlane = 1000.0f;
float globalBrightness = 1.0f;

namespace {

// The value as written, in quotes so that an empty one shows; a key given
// twice holds both values joined by a newline, shown as \n to keep one line.
std::string quoted(const std::string& written) {
    std::string text = "\"";
    for (char c : written) text += c == '\n' ? std::string("\\n") : std::string(1, c);
    return text + "\"";
}

template <typename Value>
void warn(const std::string& section, const std::string& key, const std::string& written,
          const std::string& why, Value used) {
    std::ostringstream text;
    text << section << " setting " << key << " = " << quoted(written) << " " << why << ", using " << used;
    Logger::log(text.str(), WARNING);
}

// Why a value is not wholly one number in range, as parse (strtol or strtod)
// reads it; empty when it is.
template <typename Parse>
std::string numberFault(const std::string& written, Parse parse) {
    const char* begin = written.c_str();
    char* end = nullptr;
    errno = 0;
    parse(begin, &end);
    if (end == begin) return "is not a number";
    if (errno == ERANGE) return "is out of range";
    return *end == '\0' ? "" : "is not wholly a number";
}

// An int setting. A number beyond the int range is taken as the nearest int,
// as strtol itself does for a long, rather than as the default: it keeps the
// sign and size the player asked for, so that a huge width is refused as too
// large like any other, instead of the game quietly opening at 800 pixels.
int readInt(const IniReader& reader, const std::string& key, int fallback) {
    const long read = reader.getInteger("window", key, fallback);
    const int used = static_cast<int>(std::clamp<long>(read, INT_MIN, INT_MAX));
    if (!reader.has("window", key)) return used;
    const std::string written = reader.get("window", key, "");
    std::string why = numberFault(written, [](const char* s, char** end) { return std::strtol(s, end, 0); });
    if (why.empty() && used != read) why = "is out of range";
    if (!why.empty()) warn("Window", key, written, why, used);
    return used;
}

bool readBool(const IniReader& reader, const std::string& key, bool fallback) {
    const bool used = reader.getBoolean("window", key, fallback);
    if (!reader.has("window", key)) return used;
    const std::string written = reader.get("window", key, "");
    std::string word = written;
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    const char* const words[] = {"true", "yes", "on", "1", "false", "no", "off", "0"};
    if (std::find(std::begin(words), std::end(words), word) == std::end(words)) {
        warn("Window", key, written, "is not one of true/false, yes/no, on/off, 1/0", used ? "true" : "false");
    }
    return used;
}

// A camera setting: its value, and why (if at all) that is not the value as
// written. The first reason found is the one reported.
struct Real {
    std::string key;
    bool written;
    std::string text;
    double value;
    std::string why;

    Real(const IniReader& reader, const std::string& name, double fallback)
        : key(name), written(reader.has("camera", name)), text(reader.get("camera", name, "")),
          value(reader.getReal("camera", name, fallback)),
          why(written ? numberFault(text, [](const char* s, char** end) { return std::strtod(s, end); }) : "") {}

    void fallBack(const std::string& reason, double fallback) {
        if (why.empty()) why = reason;
        value = fallback;
    }

    void report() const {
        if (!why.empty()) warn("Camera", key, text, why, value);
    }
};

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// The planes also reach the depth pass as single-precision copies, so they are
// judged in single precision: a distance that is positive and finite only in
// double, or two planes apart only in double, would break it all the same.
bool beyond(double farther, double nearer) {
    return static_cast<float>(farther) > static_cast<float>(nearer);
}

// Near and far each must be a positive, finite distance, and far beyond near.
// When they are not in order, the plane whose own value is replaced is the one
// named: far when the file gives it and its default lies beyond near, else near
// (and far as well, should it lie in front of near's default).
void orderPlanes(Real& nearPlaneSetting, Real& farPlaneSetting, const Settings& defaults) {
    for (Real* plane : {&nearPlaneSetting, &farPlaneSetting}) {
        const double fallback = plane == &nearPlaneSetting ? defaults.nearDistance : defaults.farDistance;
        if (!(beyond(plane->value, 0.0) && std::isfinite(static_cast<float>(plane->value)))) {
            plane->fallBack("is not a positive number", fallback);
        }
    }
    if (beyond(farPlaneSetting.value, nearPlaneSetting.value)) return;
    if (!farPlaneSetting.written || !beyond(defaults.farDistance, nearPlaneSetting.value)) {
        nearPlaneSetting.fallBack("is not in front of the far plane (" + number(farPlaneSetting.value) + ")",
                                  defaults.nearDistance);
    }
    if (!beyond(farPlaneSetting.value, nearPlaneSetting.value)) {
        farPlaneSetting.fallBack("is not beyond the near plane (" + number(nearPlaneSetting.value) + ")",
                                 defaults.farDistance);
    }
}

}  // namespace

Settings readSettings(const IniReader& reader) {
    const Settings defaults;
    Settings settings;

    settings.width = readInt(reader, "width", defaults.width);
    settings.height = readInt(reader, "height", defaults.height);
    settings.title = reader.get("window", "title", defaults.title);
    settings.fullscreen = readBool(reader, "fullscreen", defaults.fullscreen);
    settings.useMonitorResolution = readBool(reader, "use_monitor_resolution", defaults.useMonitorResolution);
    settings.refreshRate = readInt(reader, "refresh_rate", defaults.refreshRate);

    Real fov(reader, "fov", defaults.fieldOfView);
    if (!(fov.value > 0.0 && fov.value < 180.0)) fov.fallBack("is not between 0 and 180", defaults.fieldOfView);
    fov.report();
    settings.fieldOfView = fov.value;

    Real nearSetting(reader, "near", defaults.nearDistance);
    Real farSetting(reader, "far", defaults.farDistance);
    orderPlanes(nearSetting, farSetting, defaults);
    nearSetting.report();
    farSetting.report();
    settings.nearDistance = nearSetting.value;
    settings.farDistance = farSetting.value;
    farPlane = static_cast<float>(settings.farDistance);
    nearPlane = static_cast<float>(settings.nearDistance);

    Real brightness(reader, "brightness", defaults.brightness);
    if (!(brightness.value >= 0.0 && std::isfinite(brightness.value))) {
        brightness.fallBack("is not a number of 0 or more", defaults.brightness);
    }
    brightness.report();
    settings.brightness = brightness.value;
    globalBrightness = static_cast<float>(settings.brightness);

    return settings;
}

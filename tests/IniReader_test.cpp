#include "app/IniReader.h"
#include "app/Settings.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// A settings file in a scratch directory.
struct IniFile {
    explicit IniFile(const std::string& content) { dir.write("settings.ini", content); }
    std::string path() const { return (dir.path() / "settings.ini").string(); }
    TempDir dir;
};

// Integers convert like strtol with base 0 (a leading 0 means octal, trailing
// text is ignored), booleans know their words and fall back on anything else,
// names are case-insensitive, ';' after a blank starts a comment, duplicated
// keys are joined with a newline, and a bad line does not stop the reading.
TEST(IniReader, ValuesAsTheGameReadsThem) {
    IniFile file(
        "[Window]\nWIDTH = 0x400\nheight = 0800\nrefresh_rate = 1024px\noff = Off\nno = NO\nnope = nope\n"
        "title = My Game\nthis line is wrong\ntitle = Other\n[camera]\nfov = 75 ; wider\nnear = 75;wider\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.parseError(), 9);
    EXPECT_EQ(reader.getInteger("window", "width", 800), 1024);
    EXPECT_EQ(reader.getInteger("WINDOW", "Height", 800), 0) << "leading zero selects octal";
    EXPECT_EQ(reader.getInteger("window", "refresh_rate", 60), 1024);
    for (const char* key : {"off", "no"}) EXPECT_FALSE(reader.getBoolean("window", key, true)) << key;
    EXPECT_TRUE(reader.getBoolean("window", "nope", true)) << "unknown word gives the default";
    EXPECT_EQ(reader.get("window", "title", ""), "My Game\nOther");
    EXPECT_EQ(reader.get("camera", "fov", ""), "75");
    EXPECT_EQ(reader.get("camera", "near", ""), "75;wider") << "no blank before ';': no comment";
}

// Camera values that would break the projection (infinite or NaN matrices, a
// division by zero in the depth pass) or the brightness (a black or white
// world) fall back to their defaults with one WARNING each; sound values and
// the render-wide copies stay.
TEST(Settings, PictureBreakingCameraValuesFallBackWithAWarning) {
    struct Case {
        const char* camera;
        double fov, nearDistance, farDistance, brightness;
        int warnings;
    };
    const Case cases[] = {
        {"brightness = 0.5\n", 60.0, 0.1, 100.0, 0.5, 0},
        {"fov = 180\nbrightness = 0\n", 60.0, 0.1, 100.0, 0.0, 1},
        {"fov = 179.5\nnear = 0.5\nfar = 20\n", 179.5, 0.5, 20.0, 1.0, 0},
        {"near = -1\nfar = 50\nbrightness = nan\n", 60.0, 0.1, 50.0, 1.0, 2},
        {"near = 10\nfar = 10\nbrightness = -0.5\n", 60.0, 10.0, 100.0, 1.0, 2},
        {"near = 500\nbrightness = inf\n", 60.0, 0.1, 100.0, 1.0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        IniFile file(std::string("[camera]\n") + c.camera);
        const IniReader reader(file.path());
        testing::internal::CaptureStdout();
        const Settings settings = readSettings(reader);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_DOUBLE_EQ(settings.fieldOfView, c.fov);
        EXPECT_DOUBLE_EQ(settings.nearDistance, c.nearDistance);
        EXPECT_DOUBLE_EQ(settings.farDistance, c.farDistance);
        EXPECT_FLOAT_EQ(nearPlane, static_cast<float>(c.nearDistance));
        EXPECT_FLOAT_EQ(farPlane, static_cast<float>(c.farDistance));
        EXPECT_FLOAT_EQ(globalBrightness, static_cast<float>(c.brightness));
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), c.warnings) << out;
        EXPECT_EQ(out.find("][WARNING] Camera setting ") != std::string::npos, c.warnings > 0) << out;
    }
}

}  // namespace

#include "app/IniReader.h"
#include "app/Settings.h"

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// A settings file written to a scratch directory, and its reader.
struct IniFile {
    explicit IniFile(const std::string& content) { dir.write("settings.ini", content); }
    std::string path() const { return (dir.path() / "settings.ini").string(); }
    TempDir dir;
};

}  // namespace

TEST(IniReader, MissingFilePrintsOneUnstampedLineAndEveryReadFallsBack) {
    TempDir dir;
    const std::string missing = (dir.path() / "nothing.ini").string();
    testing::internal::CaptureStdout();
    const IniReader reader(missing);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: Failed to load '" + missing + "'. Using default values instead.\n");
    EXPECT_EQ(reader.parseError(), -1);
    EXPECT_EQ(reader.getInteger("window", "width", 800), 800);
    EXPECT_EQ(reader.get("window", "title", "Tollbrook"), "Tollbrook");
    EXPECT_TRUE(reader.getBoolean("window", "fullscreen", true));
}

// Integers convert like strtol with base 0 (a leading 0 means octal, trailing
// text is ignored), booleans know their words and fall back on anything
// else, names are case-insensitive, and ';' after a blank starts a comment.
TEST(IniReader, ValuesConvertAsTheGameExpects) {
    IniFile file(
        "; a comment\n"
        "[Window]\n"
        "WIDTH = 0x400\n"
        "height = 0800\n"
        "refresh_rate = 1024px\n"
        "a = big\n"
        "b = -12\n"
        "c =\n"
        "off = Off\n"
        "no = NO\n"
        "false = false   \n"
        "nope = nope\n"
        "yes = Yes\n"
        "one = 1\n"
        "[camera]\n"
        "fov = 75 ; wider than usual\n"
        "near = 75;wider\n"
        "far = 2.5e2\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.parseError(), 0);
    EXPECT_EQ(reader.getInteger("window", "width", 800), 1024);
    EXPECT_EQ(reader.getInteger("WINDOW", "Height", 800), 0) << "leading zero selects octal";
    EXPECT_EQ(reader.getInteger("window", "refresh_rate", 60), 1024);
    EXPECT_EQ(reader.getInteger("window", "a", 800), 800);
    EXPECT_EQ(reader.getInteger("window", "b", 800), -12);
    EXPECT_EQ(reader.getInteger("window", "c", 800), 800);
    EXPECT_EQ(reader.get("window", "c", "default"), "") << "an empty value is not absent";
    for (const char* key : {"off", "no", "false"}) {
        EXPECT_FALSE(reader.getBoolean("window", key, true)) << key;
    }
    for (const char* key : {"yes", "one"}) {
        EXPECT_TRUE(reader.getBoolean("window", key, false)) << key;
    }
    EXPECT_TRUE(reader.getBoolean("window", "nope", true)) << "unknown word gives the default";
    EXPECT_FALSE(reader.getBoolean("window", "nope", false));
    EXPECT_EQ(reader.get("camera", "fov", ""), "75");
    EXPECT_EQ(reader.get("camera", "near", ""), "75;wider") << "no blank before ';': no comment";
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "near", 0.1), 75.0);
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "far", 100.0), 250.0);
}

// A UTF-8 signature is skipped; duplicated keys are joined with a newline;
// indented lines continue the value even when they look like a section
// header; bad lines are counted but do not stop the reading.
TEST(IniReader, FileStructureEdgeCases) {
    IniFile file(
        "\xEF\xBB\xBFwidth = 640\n"
        "[window]\n"
        "title = My Game\n"
        "fullscreen = false\n"
        "title = Other\n"
        "fullscreen = false\n"
        "height = 480\n"
        "  [camera]\n"
        "  ; still a comment\n"
        "fov = 90\n"
        "this line is wrong\n"
        "[other]\n"
        "width = 320\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.parseError(), 11);
    EXPECT_EQ(reader.get("", "width", "none"), "640") << "a key before any section";
    EXPECT_EQ(reader.get("window", "title", ""), "My Game\nOther") << "values keep their case";
    EXPECT_TRUE(reader.getBoolean("window", "fullscreen", true)) << "a doubled boolean is no word";
    EXPECT_EQ(reader.get("window", "height", ""), "480\n[camera]");
    EXPECT_EQ(reader.getInteger("window", "height", 800), 480);
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "fov", 60.0), 60.0);
    EXPECT_EQ(reader.get("window", "fov", ""), "90");
    EXPECT_EQ(reader.getInteger("other", "width", 800), 320);
}

// Camera values that would break the projection (infinite or NaN matrices, a
// division by zero in the depth pass) fall back to their defaults with one
// WARNING each; sound values, the defaults and the render-wide planes stay.
TEST(Settings, ProjectionBreakingCameraValuesFallBackWithAWarning) {
    struct Case {
        const char* camera;
        double fov, nearDistance, farDistance;
        int warnings;
    };
    const Case cases[] = {
        {"", 60.0, 0.1, 100.0, 0},
        {"fov = 180\n", 60.0, 0.1, 100.0, 1},
        {"fov = 0\n", 60.0, 0.1, 100.0, 1},
        {"fov = nan\n", 60.0, 0.1, 100.0, 1},
        {"fov = 179.5\nnear = 0.5\nfar = 20\n", 179.5, 0.5, 20.0, 0},
        {"near = 0\n", 60.0, 0.1, 100.0, 1},
        {"near = -1\nfar = 50\n", 60.0, 0.1, 50.0, 1},
        {"near = 10\nfar = 10\n", 60.0, 10.0, 100.0, 1},
        {"far = inf\n", 60.0, 0.1, 100.0, 1},
        {"near = 500\n", 60.0, 0.1, 100.0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        IniFile file(std::string("[window]\ntitle = My Game\nfullscreen = no\n[camera]\nbrightness = 0.5\n") + c.camera);
        const IniReader reader(file.path());
        testing::internal::CaptureStdout();
        const Settings settings = readSettings(reader);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(settings.width, 800);
        EXPECT_EQ(settings.height, 800);
        EXPECT_EQ(settings.title, "My Game");
        EXPECT_FALSE(settings.fullscreen);
        EXPECT_DOUBLE_EQ(settings.fieldOfView, c.fov);
        EXPECT_DOUBLE_EQ(settings.nearDistance, c.nearDistance);
        EXPECT_DOUBLE_EQ(settings.farDistance, c.farDistance);
        EXPECT_FLOAT_EQ(nearPlane, static_cast<float>(c.nearDistance));
        EXPECT_FLOAT_EQ(farPlane, static_cast<float>(c.farDistance));
        EXPECT_FLOAT_EQ(globalBrightness, 0.5f);
        int warnings = 0;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line); ++warnings) {
            EXPECT_NE(line.find("][WARNING] Camera setting "), std::string::npos) << line;
        }
        EXPECT_EQ(warnings, c.warnings) << out;
    }
}

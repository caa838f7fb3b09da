#include "app/IniReader.h"
#include "app/Settings.h"

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

namespace {

// A settings file written to a scratch directory.
class IniFile {
public:
    explicit IniFile(const std::string& content) { dir.write("settings.ini", content); }
    std::string path() const { return (dir.path() / "settings.ini").string(); }

private:
    TempDir dir;
};

class CapturedOutput {
public:
    CapturedOutput() : old(std::cout.rdbuf(out.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(old); }
    std::ostringstream out;

private:
    std::streambuf* old;
};

}  // namespace

TEST(IniReader, MissingFilePrintsOneUnstampedLineAndEveryReadFallsBack) {
    TempDir dir;
    const std::string missing = (dir.path() / "nothing.ini").string();
    CapturedOutput output;
    const IniReader reader(missing);
    EXPECT_EQ(output.out.str(),
              "ERROR: Failed to load '" + missing + "'. Using default values instead.\n");
    EXPECT_EQ(reader.parseError(), -1);
    EXPECT_EQ(reader.getInteger("window", "width", 800), 800);
    EXPECT_EQ(reader.get("window", "title", "Tollbrook"), "Tollbrook");
    EXPECT_TRUE(reader.getBoolean("window", "fullscreen", true));
}

TEST(IniReader, IntegersConvertLikeStrtolWithBaseZero) {
    IniFile file(
        "[Window]\n"
        "WIDTH = 0x400\n"
        "height = 0800\n"
        "refresh_rate = 1024px\n"
        "a = big\n"
        "b = -12\n"
        "c =\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.parseError(), 0);
    EXPECT_EQ(reader.getInteger("window", "width", 800), 1024);
    EXPECT_EQ(reader.getInteger("WINDOW", "Height", 800), 0) << "leading zero selects octal";
    EXPECT_EQ(reader.getInteger("window", "refresh_rate", 60), 1024);
    EXPECT_EQ(reader.getInteger("window", "a", 800), 800);
    EXPECT_EQ(reader.getInteger("window", "b", 800), -12);
    EXPECT_EQ(reader.getInteger("window", "c", 800), 800);
    EXPECT_EQ(reader.get("window", "c", "default"), "") << "an empty value is not absent";
}

TEST(IniReader, BooleanWordsAndFallbacks) {
    IniFile file(
        "[window]\n"
        "a = Off\n"
        "b = NO\n"
        "c = false   \n"
        "d = nope\n"
        "e = Yes\n"
        "f = 1\n"
        "g = on\n");
    const IniReader reader(file.path());
    EXPECT_FALSE(reader.getBoolean("window", "a", true));
    EXPECT_FALSE(reader.getBoolean("window", "b", true));
    EXPECT_FALSE(reader.getBoolean("window", "c", true)) << "trailing blanks are removed";
    EXPECT_TRUE(reader.getBoolean("window", "d", true)) << "unknown word gives the default";
    EXPECT_FALSE(reader.getBoolean("window", "d", false));
    EXPECT_TRUE(reader.getBoolean("window", "e", false));
    EXPECT_TRUE(reader.getBoolean("window", "f", false));
    EXPECT_TRUE(reader.getBoolean("window", "g", false));
    EXPECT_FALSE(reader.getBoolean("window", "absent", false));
}

TEST(IniReader, CommentsAndRealNumbers) {
    IniFile file(
        "; a comment\n"
        "# another\n"
        "[camera]\n"
        "fov = 75 ; wider than usual\n"
        "near = 75;wider\n"
        "far = 2.5e2\n"
        "brightness : 1.5\n");
    const IniReader reader(file.path());
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "fov", 60.0), 75.0);
    EXPECT_EQ(reader.get("camera", "fov", ""), "75");
    EXPECT_EQ(reader.get("camera", "near", ""), "75;wider") << "no blank before ';': no comment";
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "near", 0.1), 75.0);
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "far", 100.0), 250.0);
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "brightness", 1.0), 1.5);
}

TEST(IniReader, DuplicatedKeysAreJoinedWithANewline) {
    IniFile file(
        "[window]\n"
        "width = 800\n"
        "title = My Game\n"
        "fullscreen = false\n"
        "width = 1024\n"
        "title = Other\n"
        "fullscreen = false\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.get("window", "width", ""), "800\n1024");
    EXPECT_EQ(reader.getInteger("window", "width", 0), 800);
    EXPECT_EQ(reader.get("window", "title", ""), "My Game\nOther") << "values keep their case";
    EXPECT_TRUE(reader.getBoolean("window", "fullscreen", true)) << "a doubled boolean is no word";
}

TEST(IniReader, IndentedLinesContinueTheValueEvenWhenTheyLookLikeAHeader) {
    IniFile file(
        "width = 640\n"
        "[window]\n"
        "height = 480\n"
        "  [camera]\n"
        "  ; still a comment\n"
        "fov = 90\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.get("window", "width", "none"), "none") << "a key before any section";
    EXPECT_EQ(reader.get("", "width", "none"), "640");
    EXPECT_EQ(reader.get("window", "height", ""), "480\n[camera]");
    EXPECT_EQ(reader.getInteger("window", "height", 800), 480);
    EXPECT_DOUBLE_EQ(reader.getReal("camera", "fov", 60.0), 60.0);
    EXPECT_EQ(reader.get("window", "fov", ""), "90");
}

TEST(IniReader, SignatureIsSkippedAndBadLinesDoNotStopTheReading) {
    IniFile file(
        "\xEF\xBB\xBF[window]\n"
        "width = 320\n"
        "this line is wrong\n"
        "[broken\n"
        "height = 200\n");
    const IniReader reader(file.path());
    EXPECT_EQ(reader.parseError(), 3);
    EXPECT_EQ(reader.getInteger("window", "width", 800), 320);
    EXPECT_EQ(reader.getInteger("window", "height", 800), 200);
}

TEST(Settings, ReadsTheGameKeysWithTheirDefaults) {
    IniFile file(
        "[window]\n"
        "title = My Game\n"
        "fullscreen = no\n"
        "[camera]\n"
        "far = 250\n"
        "brightness = 0.5\n");
    const IniReader reader(file.path());
    const Settings settings = readSettings(reader);
    EXPECT_EQ(settings.width, 800);
    EXPECT_EQ(settings.height, 800);
    EXPECT_EQ(settings.title, "My Game");
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_TRUE(settings.useMonitorResolution);
    EXPECT_EQ(settings.refreshRate, 60);
    EXPECT_DOUBLE_EQ(settings.fieldOfView, 60.0);
    EXPECT_DOUBLE_EQ(settings.nearDistance, 0.1);
    EXPECT_DOUBLE_EQ(settings.farDistance, 250.0);
    EXPECT_FLOAT_EQ(nearPlane, 0.1f);
    EXPECT_FLOAT_EQ(farPlane, 250.0f);
    EXPECT_FLOAT_EQ(globalBrightness, 0.5f);
}

TEST(Settings, ProjectionBreakingCameraValuesFallBackWithAWarning) {
    struct Case {
        const char* camera;
        double fov, nearDistance, farDistance;
        int warnings;
    };
    const Case cases[] = {
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
        IniFile file(std::string("[camera]\n") + c.camera);
        const IniReader reader(file.path());
        CapturedOutput output;
        const Settings settings = readSettings(reader);
        EXPECT_DOUBLE_EQ(settings.fieldOfView, c.fov);
        EXPECT_DOUBLE_EQ(settings.nearDistance, c.nearDistance);
        EXPECT_DOUBLE_EQ(settings.farDistance, c.farDistance);
        EXPECT_FLOAT_EQ(nearPlane, static_cast<float>(c.nearDistance));
        EXPECT_FLOAT_EQ(farPlane, static_cast<float>(c.farDistance));

        int warnings = 0;
        std::istringstream lines(output.out.str());
        for (std::string line; std::getline(lines, line);) {
            EXPECT_NE(line.find("][WARNING] Camera setting "), std::string::npos) << line;
            ++warnings;
        }
        EXPECT_EQ(warnings, c.warnings) << output.out.str();
    }
}

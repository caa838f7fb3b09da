#include "app/IniReader.h"
#include "app/Settings.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

namespace {

// A settings file in a scratch directory.
struct IniFile {
    explicit IniFile(const std::string& content) { dir.write("settings.ini", content); }
    std::string path() const { return (dir.path() / "settings.ini").string(); }
    TempDir dir;
};

// The captured WARNING lines without their time stamps and level.
std::string warnings(const std::string& out) {
    return std::regex_replace(out, std::regex(R"(\[\d\d:\d\d:\d\d\]\[WARNING\] )"), "");
}

// Integers convert like strtol with base 0 (a leading 0 means octal, trailing
// text is ignored), booleans know their words and fall back on anything else,
// names are case-insensitive, ';' after a blank starts a comment, duplicated
// keys are joined with a newline, and a bad line does not stop the reading.
// A line longer than inih's buffer takes (199 characters and its end of string) is
// named and skipped whole, its cut-off rest not read as a line of its own,
// keeping the later line numbers.
TEST(IniReader, ValuesAsTheGameReadsThem) {
    IniFile file("[Window]\nWIDTH = 0x400\nheight = 0800\nrefresh_rate = 1024px\noff = Off\nno = NO\nnope = nope\n"
                 "title = My Game\ntitle = " + std::string(191, 't') + "brightness = 3\nthis line is wrong\n" +
                 std::string(199, ';') + "\r\ntitle = Other\n[camera]\nfov = 75 ; wider\nnear = 75;wider\n");
    testing::internal::CaptureStdout();
    const IniReader reader(file.path());
    EXPECT_EQ(warnings(testing::internal::GetCapturedStdout()),
              "Line 9 of '" + file.path() + "' is longer than 199 characters and is skipped\n");
    EXPECT_EQ(reader.parseError(), 10);
    EXPECT_FALSE(reader.has("window", "brightness"));
    EXPECT_EQ(reader.getInteger("window", "width", 800), 1024);
    EXPECT_EQ(reader.getInteger("WINDOW", "Height", 800), 0) << "leading zero selects octal";
    EXPECT_EQ(reader.getInteger("window", "refresh_rate", 60), 1024);
    for (const char* key : {"off", "no"}) EXPECT_FALSE(reader.getBoolean("window", key, true)) << key;
    EXPECT_TRUE(reader.getBoolean("window", "nope", true)) << "unknown word gives the default";
    EXPECT_EQ(reader.get("window", "title", ""), "My Game\nOther");
    EXPECT_EQ(reader.get("camera", "fov", ""), "75");
    EXPECT_EQ(reader.get("camera", "near", ""), "75;wider") << "no blank before ';': no comment";
}

// A file that cannot be opened (missing, or a directory) prints one line of
// its own on standard output, without the logger's time stamp and level and
// nothing on standard error, and every read takes its default.
TEST(IniReader, UnopenableFilePrintsOneUnstampedLineOnStandardOutput) {
    TempDir dir;
    for (const std::string& name : {(dir.path() / "nothing.ini").string(), dir.path().string()}) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const IniReader reader(name);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "ERROR: Failed to load '" + name + "'. Using default values instead.\n");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(reader.parseError(), -1);
        EXPECT_EQ(reader.getInteger("window", "width", 800), 800);
        EXPECT_EQ(reader.get("window", "title", "Tollbrook"), "Tollbrook");
    }
}

// Lines as inih's 200-byte buffer holds them: 199 characters (and a CR before
// the line end) are read whole, 200 are named and skipped. A NUL ends its
// line's text but not the file. A UTF-8 signature is skipped, indented lines
// continue the value before them even when they look like a header, and a
// header without its ']' is an error. Error line numbers stay those of the
// file, whatever came before.
TEST(IniReader, LineLengthsNulBytesAndFileStructure) {
    using namespace std::string_literals;
    const std::string t191(191, 't');
    const std::string file = "\xEF\xBB\xBFtop = 1\n"s               // 1
                             "[window]\n"                           // 2
                             "title = " + t191 + "\n"               // 3: 199 characters
                             "refresh_rate = " + std::string(184, '7') + "\r\n"  // 4: 199 and a CR
                             "width = " + t191 + "w\n"              // 5: 200, skipped
                             "height = " + std::string(191, '4') + "\r\n"        // 6: 200 and a CR, skipped
                             "fov = 9" + std::string(400, '0') + "\n"            // 7: far longer, skipped
                             "brightness = 2\0 = 5\n"s              // 8: cut at the NUL
                             "  ; indented comment\n"               // 9
                             "use_monitor_resolution = off\n"       // 10
                             "  [camera]\n"                         // 11: continues the value
                             "[camera\n"                            // 12: the first error
                             "nul\0 = 1\n"s                         // 13: an error
                             "near = 0.5\n";                        // 14
    IniFile ini(file);
    testing::internal::CaptureStdout();
    const IniReader reader(ini.path());
    std::string expected;
    for (int n : {5, 6, 7}) {
        expected += "Line " + std::to_string(n) + " of '" + ini.path() + "' is longer than 199 characters and is skipped\n";
    }
    EXPECT_EQ(warnings(testing::internal::GetCapturedStdout()), expected);
    EXPECT_EQ(reader.parseError(), 12);
    EXPECT_EQ(reader.get("", "top", ""), "1") << "the signature is not part of the first key";
    EXPECT_EQ(reader.get("window", "title", ""), t191);
    EXPECT_EQ(reader.get("window", "refresh_rate", ""), std::string(184, '7'));
    for (const char* key : {"width", "height", "fov", "w"}) EXPECT_FALSE(reader.has("window", key)) << key;
    EXPECT_EQ(reader.get("window", "brightness", ""), "2");
    EXPECT_EQ(reader.get("window", "use_monitor_resolution", ""), "off\n[camera]");
    EXPECT_EQ(reader.get("window", "near", ""), "0.5") << "read on after the NUL and the bad header";
    EXPECT_FALSE(reader.has("camera", "near"));
}

// Every boolean word inih knows, in any case, is taken as written and
// without a warning; the reader's default shows only for other words.
TEST(Settings, EveryBooleanWordIsTakenWithoutAWarning) {
    const std::pair<const char*, bool> words[] = {
        {"true", true}, {"yes", true}, {"on", true}, {"1", true}, {"TRUE", true}, {"Yes", true}, {"ON", true},
        {"false", false}, {"no", false}, {"off", false}, {"0", false}, {"False", false}, {"NO", false}, {"oFF", false},
    };
    for (const auto& [word, value] : words) {
        SCOPED_TRACE(word);
        IniFile file(std::string("[window]\nfullscreen = ") + word + "\nuse_monitor_resolution = " + word + "\n");
        const IniReader reader(file.path());
        EXPECT_EQ(reader.getBoolean("window", "fullscreen", !value), value);
        testing::internal::CaptureStdout();
        const Settings settings = readSettings(reader);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(settings.fullscreen, value);
        EXPECT_EQ(settings.useMonitorResolution, value);
    }
}

// Whatever the file gives, the planes that leave the reader are positive,
// finite and far beyond near, in double precision and in the render-wide
// single-precision copies; a plane replaced by its default is checked again
// against the other.
TEST(Settings, NearAndFarAreNeverLeftEqualOrCrossed) {
    const char* const cases[] = {
        "near = 100\n",  "far = 0.1\n",  "far = 0.05\n",   "near = 200\nfar = 0.1\n", "near = 0\nfar = 0.1\n",
        "near = 0\n",    "near = -5\nfar = 0.1\n", "near = nan\nfar = 0.1\n", "near = 100\nfar = 100\n",
        "near = 0.1\nfar = 0.1\n", "near = 50\nfar = 20\n", "near = 150\nfar = 120\n", "far = 0\n",
        "near = inf\nfar = inf\n", "far = -100\nnear = 100\n",
        // Apart in double precision, but not in single: zero, equal or infinite there.
        "near = 1e-300\n", "near = 1e-300\nfar = 1e-300\n", "near = 1\nfar = 1.00000001\n", "far = 1e300\n",
    };
    for (const char* camera : cases) {
        SCOPED_TRACE(camera);
        IniFile file(std::string("[camera]\n") + camera);
        const IniReader reader(file.path());
        testing::internal::CaptureStdout();
        const Settings settings = readSettings(reader);
        EXPECT_NE(testing::internal::GetCapturedStdout(), "") << "a plane replaced without a warning";
        EXPECT_GT(settings.nearDistance, 0.0);
        EXPECT_GT(settings.farDistance, settings.nearDistance);
        EXPECT_TRUE(std::isfinite(settings.farDistance));
        EXPECT_GT(nearPlane, 0.0f);
        EXPECT_GT(farPlane, nearPlane);
    }
}

// Settings on one line, to compare a case at a glance.
std::string summary(const Settings& s) {
    std::ostringstream text;
    text << s.width << "x" << s.height << "@" << s.refreshRate << (s.fullscreen ? " full" : "")
         << (s.useMonitorResolution ? " monitor" : "") << " fov " << s.fieldOfView << " planes "
         << s.nearDistance << "-" << s.farDistance << " brightness " << s.brightness;
    return text.str();
}

// Values that are not wholly a number in range, or not a boolean word, keep
// what the reader makes of them (an int clamped, never wrapped) with a WARNING
// naming the key, the value as written and the value used. Camera values that
// would break the projection (infinite or NaN matrices, a division by zero in
// the depth pass) or the brightness (a black or white world) fall back to
// their defaults, the WARNING naming the key replaced. The documented number
// forms pass in silence, and the render-wide copies follow the settings.
TEST(Settings, ValuesNotTakenAsWrittenAreNamedInAWarning) {
    const std::string prefix = "Camera setting ";
    struct Case {
        const char* file;
        const char* settings;
        std::string warnings;  // without time stamps, one per line
    };
    const Case cases[] = {
        {"[window]\nwidth = 0x400\nheight = 010\nfullscreen = Off\nuse_monitor_resolution = YES\n"
         "[camera]\nbrightness = 0.5\nfov = 179.5\nnear = 0.5\nfar = 20\n",
         "1024x8@60 monitor fov 179.5 planes 0.5-20 brightness 0.5", ""},
        {"[window]\nwidth = 1e9\nheight = 12.7\nrefresh_rate = 640px\n", "1x12@640 full monitor fov 60 planes "
         "0.1-100 brightness 1", "Window setting width = \"1e9\" is not wholly a number, using 1\nWindow setting "
         "height = \"12.7\" is not wholly a number, using 12\nWindow setting refresh_rate = \"640px\" is not "
         "wholly a number, using 640\n"},
        {"[window]\nwidth = 99999999999999999999\nheight = -2147483649\n", "2147483647x-2147483648@60 full monitor "
         "fov 60 planes 0.1-100 brightness 1", "Window setting width = \"99999999999999999999\" is out of range, "
         "using 2147483647\nWindow setting height = \"-2147483649\" is out of range, using -2147483648\n"},
        {"[window]\nwidth = nan\nheight = 800\nheight = 1024\nfullscreen = maybe\nuse_monitor_resolution = \n",
         "800x800@60 full monitor fov 60 planes 0.1-100 brightness 1", "Window setting width = \"nan\" is not a "
         "number, using 800\nWindow setting height = \"800\\n1024\" is not wholly a number, using 800\nWindow "
         "setting fullscreen = \"maybe\" is not one of true/false, yes/no, on/off, 1/0, using true\nWindow setting "
         "use_monitor_resolution = \"\" is not one of true/false, yes/no, on/off, 1/0, using true\n"},
        {"[camera]\nfov = 180\nbrightness = 0\n", "800x800@60 full monitor fov 60 planes 0.1-100 brightness 0",
         prefix + "fov = \"180\" is not between 0 and 180, using 60\n"},
        {"[camera]\nnear = -1\nfar = 50\nbrightness = nan\n", "800x800@60 full monitor fov 60 planes 0.1-50 "
         "brightness 1", prefix + "near = \"-1\" is not a positive number, using 0.1\n" + prefix +
         "brightness = \"nan\" is not a number of 0 or more, using 1\n"},
        {"[camera]\nnear = 10\nfar = 10\nbrightness = -0.5\n", "800x800@60 full monitor fov 60 planes 10-100 "
         "brightness 1", prefix + "far = \"10\" is not beyond the near plane (10), using 100\n" + prefix +
         "brightness = \"-0.5\" is not a number of 0 or more, using 1\n"},
        {"[camera]\nnear = 1e9\nbrightness = inf\n", "800x800@60 full monitor fov 60 planes 0.1-100 brightness 1",
         prefix + "near = \"1e9\" is not in front of the far plane (100), using 0.1\n" + prefix +
         "brightness = \"inf\" is not a number of 0 or more, using 1\n"},
        {"[camera]\nfov = 75;wider\nnear = 500\nfar = 0.05\n", "800x800@60 full monitor fov 75 planes 0.1-100 "
         "brightness 1", prefix + "fov = \"75;wider\" is not wholly a number, using 75\n" + prefix + "near = "
         "\"500\" is not in front of the far plane (0.05), using 0.1\n" + prefix + "far = \"0.05\" is not beyond "
         "the near plane (0.1), using 100\n"},
        {"[camera]\nfar = 1e999\n", "800x800@60 full monitor fov 60 planes 0.1-100 brightness 1",
         prefix + "far = \"1e999\" is out of range, using 100\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        IniFile file(c.file);
        const IniReader reader(file.path());
        testing::internal::CaptureStdout();
        const Settings settings = readSettings(reader);
        EXPECT_EQ(warnings(testing::internal::GetCapturedStdout()), c.warnings);
        EXPECT_EQ(summary(settings), c.settings);
        EXPECT_EQ(std::make_tuple(nearPlane, farPlane, globalBrightness),
                  std::make_tuple(static_cast<float>(settings.nearDistance),
                                  static_cast<float>(settings.farDistance), static_cast<float>(settings.brightness)));
    }
}

}  // namespace

#include "app/Logger.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

// DEBUG and INFO are silent; WARNING goes to standard output and ERROR (from both calls)
// to standard error, each as "[HH:MM:SS][LEVEL] message" in local time.
TEST(Logger, ThresholdStreamsAndLineFormat) {
    const auto clockText = [] {
        char text[16];
        const std::time_t now = std::time(nullptr);
        std::strftime(text, sizeof(text), "%T", std::localtime(&now));
        return std::string(text);
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::string before = clockText();
    Logger::log("Starting Game", INFO);
    Logger::log("Created shader phong", DEBUG);
    Logger::log("Shader phong already exists!", WARNING);
    Logger::error("No font with name VT323 found.");
    Logger::log("first\nsecond", ERROR);
    const std::string after = clockText(), out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr(), warning = "][WARNING] Shader phong already exists!\n";
    EXPECT_TRUE(out == "[" + before + warning || out == "[" + after + warning) << out << " at " << before;
    EXPECT_TRUE(std::regex_match(err, std::regex(R"(\[\d\d:\d\d:\d\d\]\[ERROR\] No font with name VT323 found\.\n)"
                                                 R"(\[\d\d:\d\d:\d\d\]\[ERROR\] first\nsecond\n)")))
        << err;
}

#include "app/Logger.h"

#include <gtest/gtest.h>

#include <ctime>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>

namespace {

// Captures what is written to std::cout and std::cerr while it lives.
class CapturedStreams {
public:
    CapturedStreams() : oldOut(std::cout.rdbuf(out.rdbuf())), oldErr(std::cerr.rdbuf(err.rdbuf())) {}
    ~CapturedStreams() {
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
    }
    std::ostringstream out;
    std::ostringstream err;

private:
    std::streambuf* oldOut;
    std::streambuf* oldErr;
};

std::string clockText() {
    char text[16];
    std::time_t now = std::time(nullptr);
    std::strftime(text, sizeof(text), "%T", std::localtime(&now));
    return text;
}

}  // namespace

TEST(Logger, DropsDebugAndInfoLines) {
    CapturedStreams streams;
    Logger::log("Starting Game", INFO);
    Logger::log("Created shader phong", DEBUG);
    EXPECT_EQ(streams.out.str(), "");
    EXPECT_EQ(streams.err.str(), "");
}

TEST(Logger, WarningGoesToStandardOutputWithLocalTimeStamp) {
    CapturedStreams streams;
    const std::string before = clockText();
    Logger::log("Shader phong already exists!", WARNING);
    const std::string after = clockText();

    const std::string line = streams.out.str();
    EXPECT_EQ(streams.err.str(), "");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match,
                                 std::regex(R"(\[(\d\d:\d\d:\d\d)\]\[WARNING\] Shader phong already exists!\n)")))
        << line;
    // The stamp is the local wall-clock time of the call.
    EXPECT_TRUE(match[1] == before || match[1] == after) << match[1] << " vs " << before;
}

TEST(Logger, ErrorGoesToStandardErrorTheSameWayFromBothCalls) {
    CapturedStreams streams;
    Logger::error("No font with name VT323 found.");
    Logger::log("No font with name VT323 found.", ERROR);
    EXPECT_EQ(streams.out.str(), "");

    const std::regex line(R"(\[\d\d:\d\d:\d\d\]\[ERROR\] No font with name VT323 found\.\n)");
    const std::string text = streams.err.str();
    const size_t split = text.find('\n') + 1;
    ASSERT_GT(split, 0u);
    EXPECT_TRUE(std::regex_match(text.substr(0, split), line)) << text;
    EXPECT_TRUE(std::regex_match(text.substr(split), line)) << text;
}

TEST(Logger, EmptyAndMultiLineMessagesAreWrittenAsGiven) {
    CapturedStreams streams;
    Logger::log("", WARNING);
    Logger::log("first\nsecond", WARNING);
    EXPECT_TRUE(std::regex_match(streams.out.str(),
                                 std::regex(R"(\[\d\d:\d\d:\d\d\]\[WARNING\] \n)"
                                            R"(\[\d\d:\d\d:\d\d\]\[WARNING\] first\nsecond\n)")))
        << streams.out.str();
}

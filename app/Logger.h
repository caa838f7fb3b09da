#pragma once

#include <string>

// Severity of a log line, in rising order.
enum LogLevel : int {
    DEBUG = 0,
    INFO = 1,
    WARNING = 2,
    ERROR = 3,
};

namespace Logger {

// Names printed for each level, indexed by LogLevel.
extern const std::string levelNames[4];

// Lines below this level are dropped before anything is formatted.
extern int threshold;

// Writes "[HH:MM:SS][LEVEL] message" to standard output (standard error for
// ERROR) when the level passes the threshold.
void log(const std::string& message, const LogLevel& level);

// Same as log(message, ERROR).
void error(const std::string& message);

}  // namespace Logger

#include "app/Logger.h"

#include <ctime>
#include <iostream>

namespace Logger {

const std::string levelNames[4] = {"DEBUG", "INFO", "WARNING", "ERROR"};

int threshold = WARNING;

void log(const std::string& message, const LogLevel& level) {
    if (level < threshold) {
        return;
    }

    char timeText[100] = {0};
    std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) {
        std::strftime(timeText, sizeof(timeText), "%T", local);
    }

    std::ostream& out = level >= ERROR ? std::cerr : std::cout;
    out << "[" << timeText << "][" << levelNames[level] << "] " << message << std::endl;
}

void error(const std::string& message) {
    log(message, ERROR);
}

}  // namespace Logger

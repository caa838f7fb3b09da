#include "app/IniReader.h"

#include "app/Logger.h"
#include "render/AssetFile.h"

#include <fstream>
#include <iostream>

namespace {

// inih reads each line into a buffer of this many bytes, its end of string
// included: a longer line is cut and its rest read as a line of its own.
constexpr std::size_t kLineBuffer = 200;

// Reads the file into the text inih's file parser would see, except that a
// line too long for inih's buffer is reported and left empty: its cut-off rest
// could otherwise set a key that nobody wrote on a line of its own. The empty
// line keeps the numbers of the lines after it, and a line ends at a NUL byte
// as it does for the file parser's C strings. False when it cannot be opened.
bool readLines(const std::string& fileName, std::string& text) {
    if (!isRegularFile(fileName)) return false;
    std::ifstream file(fileName, std::ios::binary);
    if (!file) return false;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        // A carriage return before the end of line is harmless when it is all that is cut off.
        const std::size_t length = line.size() - (!line.empty() && line.back() == '\r' ? 1 : 0);
        if (length >= kLineBuffer) {
            Logger::log("Line " + std::to_string(number) + " of '" + fileName + "' is longer than " +
                            std::to_string(kLineBuffer - 1) + " characters and is skipped",
                        WARNING);
            line.clear();
        }
        text.append(line, 0, line.find('\0')).push_back('\n');
    }
    return true;
}

// Only a regular file that opens is parsed; anything else is read as the empty
// name, which cannot be opened, and so takes the missing file's path.
INIReader parse(const std::string& fileName) {
    std::string text;
    if (!readLines(fileName, text)) return INIReader(std::string());
    return INIReader(text.data(), text.size());
}

}  // namespace

IniReader::IniReader(std::string fileName) : reader(parse(fileName)) {
    if (reader.ParseError() < 0) {
        std::cout << "ERROR: Failed to load '" << fileName << "'. Using default values instead."
                  << std::endl;
    }
}

int IniReader::parseError() const {
    return reader.ParseError();
}

bool IniReader::has(std::string section, std::string name) const {
    return reader.HasValue(section, name);
}

std::string IniReader::get(std::string section, std::string name, std::string defaultValue) const {
    return reader.Get(section, name, defaultValue);
}

long IniReader::getInteger(std::string section, std::string name, long defaultValue) const {
    return reader.GetInteger(section, name, defaultValue);
}

double IniReader::getReal(std::string section, std::string name, double defaultValue) const {
    return reader.GetReal(section, name, defaultValue);
}

bool IniReader::getBoolean(std::string section, std::string name, bool defaultValue) const {
    return reader.GetBoolean(section, name, defaultValue);
}

#include "app/IniReader.h"

#include "app/Logger.h"
#include "render/AssetFile.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string keyOf(const std::string& section, const std::string& name) {
    return lowerCase(section + "=" + name);
}

// The settings file as inih's parser reads it: one line per call into inih's
// own buffer, whose size bounds what is held of the file at any time. A line
// too long for the buffer is reported and handed over empty, so that its
// cut-off rest cannot set a key that nobody wrote on a line of its own, and
// the lines after it keep their numbers. The line end is not handed over
// (inih strips trailing white space anyway), so a line that fills the buffer
// exactly is still one line; a NUL byte ends the line's text, as it does in
// the C string inih reads.
struct LineSource {
    std::streambuf* file;
    const std::string& fileName;
    int number = 0;

    static char* next(char* buffer, int size, void* self) { return static_cast<LineSource*>(self)->read(buffer, size); }

    char* read(char* buffer, int size) {
        const std::size_t room = static_cast<std::size_t>(size) - 1;
        std::size_t length = 0;
        constexpr int kEnd = std::char_traits<char>::eof();
        int c = file->sbumpc();
        if (c == kEnd) return nullptr;
        ++number;
        bool endsInReturn = false;
        for (; c != kEnd && c != '\n'; c = file->sbumpc()) {
            if (length < room) buffer[length] = static_cast<char>(c);
            ++length;
            endsInReturn = c == '\r';
        }
        // A carriage return before the end of line is harmless when it is all that does not fit.
        if (endsInReturn) --length;
        if (length > room) {
            Logger::log("Line " + std::to_string(number) + " of '" + fileName + "' is longer than " +
                            std::to_string(room) + " characters and is skipped",
                        WARNING);
            length = 0;
        }
        buffer[length] = '\0';
        return buffer;
    }
};

}  // namespace

IniReader::IniReader(std::string fileName) {
    // Only a regular file is read: a FIFO or a device could block for ever,
    // so anything else takes the path of a file that cannot be opened.
    std::ifstream file;
    if (isRegularFile(fileName)) file.open(fileName, std::ios::binary);
    if (!file.is_open()) {
        error = -1;
        std::cout << "ERROR: Failed to load '" << fileName << "'. Using default values instead." << std::endl;
        return;
    }
    LineSource lines{file.rdbuf(), fileName};
    error = ini_parse_stream(&LineSource::next, &lines, &IniReader::store, this);
}

int IniReader::store(void* reader, const char* section, const char* name, const char* value) {
    std::string& stored = static_cast<IniReader*>(reader)->values[keyOf(section, name)];
    if (!stored.empty()) stored += '\n';
    stored += value != nullptr ? value : "";
    return 1;
}

int IniReader::parseError() const {
    return error;
}

bool IniReader::has(std::string section, std::string name) const {
    return values.count(keyOf(section, name)) != 0;
}

std::string IniReader::get(std::string section, std::string name, std::string defaultValue) const {
    const auto found = values.find(keyOf(section, name));
    return found != values.end() ? found->second : defaultValue;
}

long IniReader::getInteger(std::string section, std::string name, long defaultValue) const {
    const std::string text = get(section, name, "");
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    return end > text.c_str() ? value : defaultValue;
}

double IniReader::getReal(std::string section, std::string name, double defaultValue) const {
    const std::string text = get(section, name, "");
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end > text.c_str() ? value : defaultValue;
}

bool IniReader::getBoolean(std::string section, std::string name, bool defaultValue) const {
    const std::string word = lowerCase(get(section, name, ""));
    if (word == "true" || word == "yes" || word == "on" || word == "1") return true;
    if (word == "false" || word == "no" || word == "off" || word == "0") return false;
    return defaultValue;
}

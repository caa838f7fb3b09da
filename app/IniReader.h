#pragma once

#include <INIReader.h>

#include <string>

// Reads the game's settings file. A thin layer over inih's reader: section
// and key names are matched without regard to case, numbers are converted
// like strtol (base 0) and strtod, and a file that cannot be opened leaves
// every getter on its default. A line longer than 199 characters is skipped
// with a warning.
class IniReader {
public:
    explicit IniReader(std::string fileName);

    // 0 when the whole file was read, -1 when it could not be opened,
    // otherwise the number of the first line with an error.
    int parseError() const;

    // Whether the file gives the key at all, even with an empty value.
    bool has(std::string section, std::string name) const;

    std::string get(std::string section, std::string name, std::string defaultValue) const;
    long getInteger(std::string section, std::string name, long defaultValue) const;
    double getReal(std::string section, std::string name, double defaultValue) const;
    bool getBoolean(std::string section, std::string name, bool defaultValue) const;

private:
    INIReader reader;
};

#pragma once

#include <INIReader.h>

#include <string>

// Reads the game's settings file. A thin layer over inih's reader: section
// and key names are matched without regard to case, numbers are converted
// like strtol (base 0) and strtod, and a file that cannot be opened leaves
// every getter on its default.
class IniReader {
public:
    explicit IniReader(std::string fileName);

    // 0 when the whole file was read, -1 when it could not be opened,
    // otherwise the number of the first line with an error.
    int parseError() const;

    std::string get(std::string section, std::string name, std::string defaultValue) const;
    long getInteger(std::string section, std::string name, long defaultValue) const;
    double getReal(std::string section, std::string name, double defaultValue) const;
    bool getBoolean(std::string section, std::string name, bool defaultValue) const;

private:
    INIReader reader;
};

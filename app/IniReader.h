#pragma once

#include <map>
#include <string>

// Reads the game's settings file with inih's parser and its default options,
// keeping the values as inih's reader class does: section and key names are
// matched without regard to case, a key given twice holds both values joined
// by a newline, numbers are converted like strtol (base 0) and strtod, and a
// file that cannot be opened leaves every getter on its default. The file is
// read one line at a time, so its size does not matter; a line longer than
// 199 characters is skipped with a warning.
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
    // inih's value handler: stores one name = value line, or one line continuing it.
    static int store(void* reader, const char* section, const char* name, const char* value);

    int error = 0;
    // "section=name", lower-cased, to the value.
    std::map<std::string, std::string> values;
};

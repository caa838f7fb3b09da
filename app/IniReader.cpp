#include "app/IniReader.h"

#include "render/AssetFile.h"

#include <iostream>

// Only a regular file reaches the parser; anything else is read as the empty
// name, which cannot be opened, and so takes the missing file's path.
IniReader::IniReader(std::string fileName) : reader(isRegularFile(fileName) ? fileName : std::string()) {
    if (reader.ParseError() < 0) {
        std::cout << "ERROR: Failed to load '" << fileName << "'. Using default values instead."
                  << std::endl;
    }
}

int IniReader::parseError() const {
    return reader.ParseError();
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

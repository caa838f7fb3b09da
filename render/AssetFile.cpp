#include "render/AssetFile.h"

#include <filesystem>
#include <system_error>

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && !error;
}

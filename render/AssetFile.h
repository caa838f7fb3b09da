#pragma once

#include <string>

// Whether the path names a regular file (after following links). Everything
// the game reads is one; a FIFO or a device would block its open or its read
// for ever and a directory reads as nothing, so every loader treats a path
// for which this is false as a file that cannot be opened.
bool isRegularFile(const std::string& path);

// Whole-file reads and writes for the picture tools.
#pragma once

#include <cstddef>
#include <string>

// The whole file at `path`; false when it cannot be opened or read.
bool readFile(const std::string& path, std::string& bytes);

// Writes through a temporary file beside `path`, so a failed run never leaves
// half a file that the build would take for finished.
bool writeFile(const std::string& path, const void* data, std::size_t size);

// Whole-file reads for the small files the platform layer parses.
#pragma once

#include <string>

namespace q47 {

// The file's bytes; false (out untouched) when it cannot be opened or read, a
// folder included.
bool readFileBytes(const std::string& path, std::string* out);

}  // namespace q47

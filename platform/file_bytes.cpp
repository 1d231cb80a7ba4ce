// Whole-file reads through stdio, with every failure reported rather than thrown.
#include "platform/file_bytes.h"

#include <cstdio>

namespace q47 {

bool readFileBytes(const std::string& path, std::string* out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return false;
    *out = std::move(bytes);
    return true;
}

}  // namespace q47

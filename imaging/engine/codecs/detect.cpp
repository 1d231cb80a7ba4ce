// Telling a file's format from its first bytes, and reading whole files.
#include <cstdio>
#include <cstring>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"

namespace q47::ik {

int detectFormat(const uint8_t* d, size_t n) {
    auto starts = [&](const char* sig, size_t len) { return n >= len && std::memcmp(d, sig, len) == 0; };
    if (starts("BM", 2)) return IK_FMT_BMP;
    if (starts("\xFF\xD8\xFF", 3)) return IK_FMT_JPEG;
    if (starts("\x89PNG\r\n\x1A\n", 8)) return IK_FMT_PNG;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return IK_FMT_TIFF;
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return IK_FMT_GIF;
    if (starts("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return IK_FMT_FPX;  // structured storage
    if (starts("\xD7\xCD\xC6\x9A", 4) || starts("\x01\x00\x09\x00", 4) || starts("\x02\x00\x09\x00", 4))
        return IK_FMT_WMF;
    if (n >= 44 && d[0] == 1 && d[1] == 0 && d[2] == 0 && d[3] == 0 && std::memcmp(d + 40, " EMF", 4) == 0)
        return IK_FMT_EMF;
    // PCX: maker 10, a known version, run-length encoding, a sane depth.
    if (n >= 128 && d[0] == 0x0A && (d[1] <= 5 && d[1] != 1) && d[2] == 1 &&
        (d[3] == 1 || d[3] == 2 || d[3] == 4 || d[3] == 8))
        return IK_FMT_PCX;
    // DXF: text that opens with group code 0 and SECTION (spaces allowed).
    size_t i = 0;
    while (i < n && i < 64 && (d[i] == ' ' || d[i] == '\r' || d[i] == '\n' || d[i] == '\t')) ++i;
    if (i < n && d[i] == '0') {
        ++i;
        while (i < n && i < 96 && (d[i] == ' ' || d[i] == '\r' || d[i] == '\n' || d[i] == '\t')) ++i;
        if (n - i >= 7 && std::memcmp(d + i, "SECTION", 7) == 0) return IK_FMT_DXF;
    }
    return IK_FMT_UNKNOWN;
}

uint16_t readWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return IK_ERR_FILE_OPEN;
    bytes->clear();
    uint8_t buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + got);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    return bad ? IK_ERR_FILE_IO : IK_OK;
}

}  // namespace q47::ik

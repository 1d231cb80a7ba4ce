// INI reading and writing on arbitrary file bytes: no crash, and a write reads back.
//
// Input: the first byte gives the length of a value taken from the end; the rest
// is the file. The file functions run on a real file; the document checks that a
// written value reads back exactly and that the write leaves other keys alone.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ini.h"

namespace {

const std::string& tempPath() {
    static const std::string path = [] {
        char name[] = "/tmp/q47-ini-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace q47::ini;
    if (size == 0) return 0;
    const size_t valueLen = std::min<size_t>(data[0] % 32, size - 1);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1 - valueLen);
    const std::string value(reinterpret_cast<const char*>(data + size - valueLen), valueLen);

    const std::string& path = tempPath();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    readString(path, "General", "Language", "d", 1024);
    readString(path, "FontInfo", "CaptionFontName", "", 7);
    readText(path, "general", "language", "", 5);
    readText(path, "FontInfo", "CaptionFontName", "", 1024);
    writeString(path, "FontInfo", "CaptionFontName", value);
    atoiValue(text);

    Document doc(text);
    const std::string otherBefore = doc.get("General", "Language", "<none>", 1 << 20);
    const bool otherExisted = doc.has("General", "Language");
    if (doc.set("FontInfo", "CaptionFontName", value)) {
        check(doc.get("fontinfo", "captionfontname", "<none>", 1 << 20) == value);
        check(doc.get("General", "Language", "<none>", 1 << 20) == otherBefore);
        check(doc.has("General", "Language") == otherExisted);
        // The file function does the same to the file.
        Document fromFile = Document::load(path);
        check(fromFile.text() == doc.text());
    }
    return 0;
}

// INI reading and writing on arbitrary file bytes: no crash, and a write reads back.
//
// Input: the first byte gives the length of a value taken from the end; the rest
// is the file (seeds include UTF-16 files with either byte-order mark and files with
// CR-only lines). The file functions run on a real file; the document checks that
// its bytes survive a load untouched, that a written value reads back exactly, that a
// write leaves other keys and the file's encoding alone, and that writing the value a
// key already holds changes nothing.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ini.h"
#include "platform/ini_encoding.h"
#include "platform/text_encoding.h"

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
    readCp932(path, "FontInfo", "CaptionFontName", "", 6);
    writeString(path, "FontInfo", "CaptionFontName", value);
    atoiValue(text);

    Document doc(text);
    check(doc.bytes() == text);
    const bool wide = doc.encoding() != Document::Encoding::Bytes;
    // A UTF-16 file holds characters: bytes that are no UTF-8 are taken as CP932, and
    // surrogate halves side by side are one character.
    std::string stored = value;
    if (wide && !q47::isValidUtf8(value)) {
        std::string tail;
        stored = isWideText(value) ? decodeUtf16(encodeUtf16(value, false), false, &tail)
                                   : q47::cp932ToUtf8(value);
    }
    const std::string otherBefore = doc.get("General", "Language", "<none>", 1 << 20);
    const bool otherExisted = doc.has("General", "Language");
    if (doc.set("FontInfo", "CaptionFontName", value)) {
        check(doc.get("fontinfo", "captionfontname", "<none>", 1 << 20) == stored);
        check(doc.get("General", "Language", "<none>", 1 << 20) == otherBefore);
        check(doc.has("General", "Language") == otherExisted);
        const std::string bytes = doc.bytes();
        // The file function does the same to the file.
        Document fromFile = Document::load(path);
        check(fromFile.bytes() == bytes);
        // The written file reads as the same text in the same encoding.
        const Document reread(bytes);
        check(reread.encoding() == doc.encoding());
        check(reread.text() == doc.text());
        // Writing what a key already reads as is no change at all.
        check(doc.set("FontInfo", "CaptionFontName", value));
        check(doc.bytes() == bytes);
        const std::string other = doc.get("General", "Language", "", 1 << 20);
        if (doc.has("General", "Language")) {
            check(doc.set("General", "Language", other));
            check(doc.bytes() == bytes);
        }
    }
    return 0;
}

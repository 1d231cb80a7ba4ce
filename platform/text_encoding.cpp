// UTF-8 checks and CP932 <-> UTF-8 conversion through the C library's iconv.
#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace q47 {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

// Overlong forms, surrogates and code points above U+10FFFF are no UTF-8.
size_t utf8CharLength(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    if (s.empty()) return 0;
    const uint8_t c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
        if (c == 0xED && b(1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
        if (c == 0xF4 && b(1) > 0x8F) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

size_t cp932CharLength(std::string_view s) {
    if (s.empty()) return 0;
    const uint8_t c = static_cast<uint8_t>(s[0]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return lead && s.size() >= 2 ? 2 : 1;
}

namespace {

// One iconv descriptor per direction and thread: opening one loads a conversion
// module, which is too slow to repeat for each of the hundred values a program reads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts in; at a byte sequence the target cannot take, appends `bad` and
    // lets skip(rest) say how many input bytes to step over.
    template <typename Skip>
    std::string run(std::string_view in, std::string_view bad, Skip skip) {
        std::string out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        char buf[1024];
        size_t pos = 0;
        while (pos < in.size()) {
            char* src = const_cast<char*>(in.data() + pos);
            size_t srcLeft = in.size() - pos;
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            const int err = errno;
            out.append(buf, static_cast<size_t>(dst - buf));
            pos = in.size() - srcLeft;
            if (r != static_cast<size_t>(-1)) break;
            if (err == E2BIG) continue;
            // EILSEQ (no such character) or EINVAL (sequence cut at the end).
            out.append(bad);
            pos += skip(in.substr(pos));
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t n = utf8CharLength(bytes.substr(i));
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string toUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    return cp932ToUtf8(bytes);
}

std::string cp932ToUtf8(std::string_view bytes) {
    thread_local Converter fromCp932("UTF-8", "CP932");
    if (!fromCp932.ok()) {
        // No CP932 table in this C library: keep ASCII, mark the rest.
        std::string out;
        for (char c : bytes) {
            if (static_cast<uint8_t>(c) < 0x80) out += c;
            else out += kReplacement;
        }
        return out;
    }
    // A lead byte whose second byte is not a valid partner stands alone: only the
    // lead byte is replaced, so an ASCII character after it survives.
    return fromCp932.run(bytes, kReplacement, [](std::string_view) { return size_t{1}; });
}

std::string utf8ToCp932(std::string_view utf8) {
    thread_local Converter toCp932("CP932", "UTF-8");
    const auto skipCharacter = [](std::string_view rest) {
        const size_t n = utf8CharLength(rest);
        return n == 0 ? size_t{1} : n;
    };
    if (!toCp932.ok()) {
        std::string out;
        for (size_t i = 0; i < utf8.size();) {
            const uint8_t c = static_cast<uint8_t>(utf8[i]);
            if (c < 0x80) {
                out += static_cast<char>(c);
                ++i;
            } else {
                out += '?';
                i += skipCharacter(utf8.substr(i));
            }
        }
        return out;
    }
    return toCp932.run(utf8, "?", skipCharacter);
}

}  // namespace q47

// UTF-16 <-> UTF-8 for settings files saved as "Unicode", lossless in both directions.
#include "platform/ini_encoding.h"

#include <cstdint>

#include "platform/text_encoding.h"

namespace q47::ini {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool isSurrogateForm(std::string_view s) {
    return s.size() >= 3 && static_cast<uint8_t>(s[0]) == 0xED &&
           static_cast<uint8_t>(s[1]) >= 0xA0 && static_cast<uint8_t>(s[1]) <= 0xBF &&
           (static_cast<uint8_t>(s[2]) & 0xC0) == 0x80;
}

void appendUtf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point of a character whose length wideCharLength gave.
uint32_t codePoint(std::string_view s, size_t length) {
    const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(s[i])); };
    switch (length) {
        case 1: return b(0);
        case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        default:
            return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) |
                   (b(3) & 0x3F);
    }
}

void appendUnit(std::string* out, uint32_t unit, bool bigEndian) {
    const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    if (bigEndian) {
        *out += hi;
        *out += lo;
    } else {
        *out += lo;
        *out += hi;
    }
}

}  // namespace

size_t wideCharLength(std::string_view s) {
    if (isSurrogateForm(s)) return 3;
    return utf8CharLength(s);
}

bool isWideText(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const size_t n = wideCharLength(s.substr(i));
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string decodeUtf16(std::string_view bytes, bool bigEndian, std::string* oddTail) {
    const size_t units = bytes.size() / 2;
    const auto unit = [&](size_t i) -> uint32_t {
        const uint32_t first = static_cast<uint8_t>(bytes[2 * i]);
        const uint32_t second = static_cast<uint8_t>(bytes[2 * i + 1]);
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        appendUtf8(&out, c);
    }
    oddTail->assign(bytes.substr(units * 2));
    return out;
}

std::string encodeUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        size_t n = wideCharLength(text.substr(i));
        uint32_t c = kReplacement;
        if (n == 0) n = 1;
        else c = codePoint(text.substr(i), n);
        if (c >= 0x10000) {
            appendUnit(&out, 0xD800 + ((c - 0x10000) >> 10), bigEndian);
            appendUnit(&out, 0xDC00 + ((c - 0x10000) & 0x3FF), bigEndian);
        } else {
            appendUnit(&out, c, bigEndian);
        }
        i += n;
    }
    return out;
}

std::string withoutSurrogates(std::string_view s) {
    if (isValidUtf8(s)) return std::string(s);
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const size_t n = utf8CharLength(s.substr(i));
        if (n == 0) {
            appendUtf8(&out, kReplacement);
            i += isSurrogateForm(s.substr(i)) ? 3 : 1;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace q47::ini

// Decoding of texts from language files written on Windows (CP932) or on Linux (UTF-8).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace q47 {

bool isValidUtf8(std::string_view bytes);
// Valid UTF-8 is returned as is; anything else is decoded as CP932 (Shift-JIS),
// undecodable bytes becoming U+FFFD.
std::string toUtf8(std::string_view bytes);
// CP932 to UTF-8 whatever the bytes look like; undecodable bytes become U+FFFD.
std::string cp932ToUtf8(std::string_view bytes);
// Length of the character starting at bytes[0]: 1 for ASCII and single-byte katakana,
// 2 for a CP932 lead byte with a byte after it; 0 for empty input.
size_t cp932CharLength(std::string_view bytes);
// Length of the well-formed UTF-8 sequence at bytes[0], or 0 when there is none.
size_t utf8CharLength(std::string_view bytes);
// UTF-8 to CP932, for writing values a Windows program would read; unmappable
// characters become '?'.
std::string utf8ToCp932(std::string_view utf8);

}  // namespace q47

// UTF-16 settings files ("Unicode" in Windows editors) as the UTF-8 text the INI reader
// works on, and back, without losing a byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace q47::ini {

// UTF-16 code units (after the byte-order mark) as UTF-8. Nothing is lost, so that an
// edit rewrites only what it changes: an unpaired surrogate keeps its three-byte form
// (the form UTF-8 would give it if it allowed surrogates) and a final odd byte goes
// to *oddTail untouched.
std::string decodeUtf16(std::string_view bytes, bool bigEndian, std::string* oddTail);

// The inverse of decodeUtf16 (no byte-order mark). A byte that starts no character
// cannot come from decodeUtf16 or from a caller's converted text; it becomes U+FFFD.
std::string encodeUtf16(std::string_view text, bool bigEndian);

// Length of the UTF-8 character at s[0], surrogate forms included; 0 when none.
size_t wideCharLength(std::string_view s);

// True when every byte belongs to a character as wideCharLength sees them.
bool isWideText(std::string_view s);

// The text with each surrogate form (or stray byte) replaced by U+FFFD: valid UTF-8
// for the programs, which have no use for half a character.
std::string withoutSurrogates(std::string_view s);

}  // namespace q47::ini

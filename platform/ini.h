// Private-profile (INI) files with the semantics Windows programs rely on.
//
// Sections and keys match without case; the first matching section and the first
// matching key in it win; values are trimmed and one pair of surrounding double or
// single quotes is stripped, as GetPrivateProfileString does. A write replaces the
// first matching key's line (or appends the key to the first matching section, or
// appends the section at the end) and keeps every other byte of the file: comments,
// blank lines, other sections, CRLF line ends. A missing file is created on write.
//
// Details the programs rely on: lines starting with ';' are comments; a line without
// '=' is no key; a UTF-8 byte-order mark at the start of the file is skipped; new
// lines take the line end the file already uses (CRLF for a new or empty file, as
// the files come from Windows); trailing blanks of a default are dropped, as
// GetPrivateProfileString does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace q47::ini {

// GetPrivateProfileString: the value, or def when the file, section or key is
// missing; at most bufferSize - 1 bytes are returned (bufferSize 0 gives "").
// Bytes are returned as they stand in the file (no decoding).
std::string readString(const std::string& path, const std::string& section,
                       const std::string& key, const std::string& def, size_t bufferSize);

// Same, with the value decoded to UTF-8 (valid UTF-8 kept, else read as CP932).
std::string readText(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& def, size_t bufferSize);

// WritePrivateProfileString: false when the file cannot be written, or when the
// section, key or value could not be read back as written (an empty key, a line
// break anywhere, '=' in the key, a key starting with ';' or '['); the file is then
// untouched. A value with outer blanks or outer matching quotes is written inside
// double quotes so that reading gives it back unchanged.
bool writeString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value);

// GetPrivateProfileInt-free helper the programs use: C atoi of the value (leading
// blanks, sign, digits; anything else stops; no digits gives 0).
int atoiValue(const std::string& text);

// A whole INI file held in memory, with the rules above, for programs that read or
// write many keys at once: one file read, one file write.
class Document {
public:
    Document() = default;
    explicit Document(std::string text) : text_(std::move(text)) {}
    // The file's bytes; a missing or unreadable file gives an empty document that
    // reports existed() false.
    static Document load(const std::string& path);
    bool existed() const { return existed_; }

    bool has(std::string_view section, std::string_view key) const;
    std::string get(std::string_view section, std::string_view key, std::string_view def,
                    size_t bufferSize) const;
    // As readText: decoded to UTF-8, the limit applied to the file's bytes without
    // cutting a character in two.
    std::string getText(std::string_view section, std::string_view key, std::string_view def,
                        size_t bufferSize) const;
    // False (and no change) for names or values writeString refuses.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    // Writes the bytes; false on I/O failure.
    bool save(const std::string& path) const;

    const std::string& text() const { return text_; }

private:
    std::string text_;
    bool existed_ = false;
};

}  // namespace q47::ini

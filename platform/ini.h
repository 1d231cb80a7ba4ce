// Private-profile (INI) files with the semantics Windows programs rely on.
//
// Sections and keys match without case; the first matching section and the first
// matching key in it win; values are trimmed and one pair of surrounding double or
// single quotes is stripped, as GetPrivateProfileString does. A write replaces the
// first matching key's value (or appends the key to the first matching section, or
// appends the section at the end) and keeps every other byte of the file: comments,
// blank lines, other sections, line ends. A missing file is created on write.
//
// Details the programs rely on: lines starting with ';' are comments; a line without
// '=' is no key; a UTF-8 byte-order mark at the start of the file is skipped; trailing
// blanks of a default are dropped, as GetPrivateProfileString does.
//
// Files as Windows editors leave them:
// - Line ends: CR, LF and CRLF each end a line when reading. New lines take the line
//   end of the file's first line (CRLF for a new or empty file, as the files come from
//   Windows).
// - Encoding: a file starting with FF FE (UTF-16LE) or FE FF (UTF-16BE), as editors
//   save "Unicode" files, is read as UTF-16 and handed out as UTF-8 - the bytes a UTF-8
//   language file gives - or as CP932 through readCp932/getCp932. Writes keep the
//   file's byte-order mark, encoding and line ends; names and values given to a UTF-16
//   file are taken as UTF-8 when they are valid UTF-8, else as CP932. Nothing of a
//   UTF-16 file is lost by a write: half a surrogate pair reads as U+FFFD through
//   readText but stays in the file, and an odd last byte stays at the file's end. Any
//   other file is bytes as they stand (UTF-8 or CP932).
// - Unchanged writes: writing the value a read already gives changes nothing and leaves
//   the file untouched, whatever its layout. A changed value replaces only the value
//   itself: the key keeps its own spelling and the line keeps its indentation, the
//   blanks around '=', the blanks after the value and the value's surrounding quotes
//   (the new value goes inside them, which always reads back exactly). An empty value
//   is filled in right after '='. A value that reading would change (outer blanks or
//   quotes) and that has no quotes of its own yet is written inside double quotes.
// - Case: only ASCII letters that are characters of their own fold. In a name that is
//   not valid UTF-8 (so CP932), the second byte of a double-byte character (lead bytes
//   0x81-0x9F, 0xE0-0xFC) is compared as it stands: "ア" (83 41) and "ヂ" (83 61) are
//   different names. Other letters (full-width, accented) never fold.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace q47::ini {

// GetPrivateProfileString: the value, or def when the file, section or key is
// missing; at most bufferSize - 1 bytes are returned (bufferSize 0 gives "").
// Bytes are returned as they stand in the file (no decoding); from a UTF-16 file,
// as UTF-8.
std::string readString(const std::string& path, const std::string& section,
                       const std::string& key, const std::string& def, size_t bufferSize);

// Same, with the value decoded to UTF-8 (valid UTF-8 kept, else read as CP932).
std::string readText(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& def, size_t bufferSize);

// Same, with the value as CP932 bytes (what GetPrivateProfileStringA gives a program on
// a Japanese system): a value that is valid UTF-8 is converted, characters CP932 lacks
// becoming '?'; any other value is CP932 already and stays as it stands. The limit
// counts CP932 bytes and never cuts a character in two.
std::string readCp932(const std::string& path, const std::string& section,
                      const std::string& key, const std::string& def, size_t bufferSize);

// WritePrivateProfileString: false when the file cannot be written, or when the
// section, key or value could not be read back as written (an empty key, a line
// break anywhere, '=' in the key, a key starting with ';' or '['); the file is then
// untouched. A value with outer blanks or outer matching quotes is written inside
// double quotes so that reading gives it back unchanged. True without touching the
// file when the key already reads as value.
bool writeString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value);

// GetPrivateProfileInt-free helper the programs use: C atoi of the value (leading
// blanks, sign, digits; anything else stops; no digits gives 0).
int atoiValue(const std::string& text);

// A whole INI file held in memory, with the rules above, for programs that read or
// write many keys at once: one file read, one file write.
class Document {
public:
    // How the file's bytes hold its text.
    enum class Encoding { Bytes, Utf16LE, Utf16BE };

    Document() = default;
    // A file's bytes, UTF-16 with byte-order mark recognised.
    explicit Document(std::string bytes);
    // The file's bytes; a missing or unreadable file gives an empty document that
    // reports existed() false.
    static Document load(const std::string& path);
    bool existed() const { return existed_; }
    Encoding encoding() const { return encoding_; }

    bool has(std::string_view section, std::string_view key) const;
    std::string get(std::string_view section, std::string_view key, std::string_view def,
                    size_t bufferSize) const;
    // As readText: decoded to UTF-8, the limit applied to the file's bytes without
    // cutting a character in two.
    std::string getText(std::string_view section, std::string_view key, std::string_view def,
                        size_t bufferSize) const;
    // As readCp932.
    std::string getCp932(std::string_view section, std::string_view key, std::string_view def,
                         size_t bufferSize) const;
    // False (and no change) for names or values writeString refuses; true and no
    // change when the key already reads as value.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    // Writes bytes(); false on I/O failure.
    bool save(const std::string& path) const;

    // The text the reader works on: the file's bytes, or for a UTF-16 file its text as
    // UTF-8 without the byte-order mark.
    const std::string& text() const { return text_; }
    // The file's bytes as save() writes them, in the file's own encoding.
    std::string bytes() const;

private:
    bool wide() const { return encoding_ != Encoding::Bytes; }
    // A caller's name or value as the text holds it (see the encoding rule above).
    std::string_view stored(std::string_view s, std::string* buffer) const;
    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

    std::string text_;
    Encoding encoding_ = Encoding::Bytes;
    std::string oddTail_;  // a UTF-16 file's last byte when its length is odd
    bool existed_ = false;
};

}  // namespace q47::ini

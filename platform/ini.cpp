// Private-profile (INI) reading and writing that keeps every byte it does not change.
#include "platform/ini.h"

#include <climits>
#include <cstdio>
#include <optional>

#include "platform/file_bytes.h"
#include "platform/ini_encoding.h"
#include "platform/text_encoding.h"

namespace q47::ini {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows folds letters, not bytes: the second byte of a CP932 double-byte character
// may be an ASCII letter ("ア" is 83 41, "ヂ" 83 61) and must not fold. A name that is
// valid UTF-8, or any name of a UTF-16 file (held as UTF-8), has every ASCII byte as a
// character of its own; any other name is walked as CP932.
bool sameName(std::string_view a, std::string_view b, bool utf8Names) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;
    const bool cp932A = !utf8Names && !isValidUtf8(a);
    const bool cp932B = !utf8Names && !isValidUtf8(b);
    size_t nextA = 0, nextB = 0;  // where the next character of each name starts
    for (size_t i = 0; i < a.size(); ++i) {
        bool ownA = false, ownB = false;
        if (i == nextA) {
            const size_t n = cp932A ? cp932CharLength(a.substr(i)) : 1;
            ownA = n == 1;
            nextA += n;
        }
        if (i == nextB) {
            const size_t n = cp932B ? cp932CharLength(b.substr(i)) : 1;
            ownB = n == 1;
            nextB += n;
        }
        if (a[i] == b[i]) continue;
        if (!ownA || !ownB || lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

// One line of the file: [begin, end) is its text, next the start of the line after
// (end plus the line end, if any).
struct Line {
    size_t begin = 0, end = 0, next = 0;
};

// What a line means to the reader.
struct Parsed {
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name, value;
};

Parsed parseLine(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';') return {};
    if (t.front() == '[') {
        // The name runs to the last ']' so a name holding ']' still matches.
        const size_t close = t.rfind(']');
        if (close == std::string_view::npos) return {};
        return {Parsed::Section, trim(t.substr(1, close - 1)), {}};
    }
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) return {};
    return {Parsed::Key, trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

size_t bomLength(std::string_view text) { return text.substr(0, 3) == kUtf8Bom ? 3 : 0; }

// Walks the lines of text, skipping a UTF-8 byte-order mark at the start. CR, LF and
// CRLF each end a line: old Mac editors and some tools write CR alone, and a file
// whose lines end so must not read as one long line.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text), pos_(bomLength(text)) {}
    bool next(Line* line) {
        if (pos_ >= text_.size()) return false;
        const size_t brk = text_.find_first_of("\r\n", pos_);
        line->begin = pos_;
        if (brk == std::string_view::npos) {
            line->end = line->next = text_.size();
        } else {
            line->end = brk;
            line->next = brk + 1;
            if (text_[brk] == '\r' && brk + 1 < text_.size() && text_[brk + 1] == '\n')
                line->next = brk + 2;
        }
        pos_ = line->next;
        return true;
    }
    std::string_view textOf(const Line& l) const { return text_.substr(l.begin, l.end - l.begin); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Where a key stands, or where it would go.
struct Place {
    bool sectionFound = false;
    size_t insertAt = 0;  // after the section's last key (or its header)
    bool insertNeedsEol = false;  // that line has no line end (last line of the file)
    std::optional<Line> keyLine;
    std::string_view value;  // the key's value as it stands in the line, trimmed
    size_t valueAt = 0;      // where that value starts in the text
};

Place locate(std::string_view text, std::string_view section, std::string_view key,
             bool utf8Names) {
    Place place;
    Lines lines(text);
    Line line;
    bool inSection = false;
    while (lines.next(&line)) {
        const Parsed p = parseLine(lines.textOf(line));
        if (p.kind == Parsed::Section) {
            if (inSection) break;  // only the first section of that name counts
            if (sameName(p.name, section, utf8Names)) {
                inSection = place.sectionFound = true;
                place.insertAt = line.next;
                place.insertNeedsEol = line.next == line.end;
            }
        } else if (inSection && p.kind == Parsed::Key) {
            place.insertAt = line.next;
            place.insertNeedsEol = line.next == line.end;
            if (sameName(p.name, key, utf8Names)) {
                place.keyLine = line;
                place.value = p.value;
                place.valueAt = static_cast<size_t>(p.value.data() - text.data());
                break;
            }
        }
    }
    return place;
}

// The line end new lines take: that of the file's first line, CRLF when it has none.
std::string_view lineEndOf(std::string_view text) {
    const size_t brk = text.find_first_of("\r\n");
    if (brk == std::string_view::npos) return "\r\n";
    if (text[brk] == '\n') return "\n";
    return brk + 1 < text.size() && text[brk + 1] == '\n' ? "\r\n" : "\r";
}

// Windows strips one pair of matching quotes around a value.
std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string_view defaultValue(std::string_view def) {
    while (!def.empty() && (def.back() == ' ' || def.back() == '\t')) def.remove_suffix(1);
    return def;
}

// Longest prefix of at most limit bytes that does not cut a character.
template <typename CharLength>
std::string_view cutAtCharacter(std::string_view s, size_t limit, CharLength length) {
    size_t n = 0;
    while (n < s.size()) {
        size_t len = length(s.substr(n));
        if (len == 0) len = 1;
        if (n + len > limit) break;
        n += len;
    }
    return s.substr(0, n);
}

}  // namespace

Document::Document(std::string bytes) {
    const std::string_view b = bytes;
    if (b.substr(0, 2) == "\xFF\xFE") {
        encoding_ = Encoding::Utf16LE;
        text_ = decodeUtf16(b.substr(2), false, &oddTail_);
    } else if (b.substr(0, 2) == "\xFE\xFF") {
        encoding_ = Encoding::Utf16BE;
        text_ = decodeUtf16(b.substr(2), true, &oddTail_);
    } else {
        text_ = std::move(bytes);
    }
}

Document Document::load(const std::string& path) {
    std::string bytes;
    // A folder or a read error counts as a missing file.
    const bool existed = readFileBytes(path, &bytes);
    Document doc(std::move(bytes));
    doc.existed_ = existed;
    return doc;
}

std::string Document::bytes() const {
    switch (encoding_) {
        case Encoding::Utf16LE: return "\xFF\xFE" + encodeUtf16(text_, false) + oddTail_;
        case Encoding::Utf16BE: return "\xFE\xFF" + encodeUtf16(text_, true) + oddTail_;
        case Encoding::Bytes: break;
    }
    return text_;
}

// A UTF-16 file holds characters, not bytes, so a caller's bytes must be read as
// characters first: UTF-8 when they are (surrogate forms included, as a value read
// from the same file may hold one), else CP932 as everywhere else in the programs.
std::string_view Document::stored(std::string_view s, std::string* buffer) const {
    if (!wide() || isValidUtf8(s)) return s;
    if (isWideText(s)) {
        // Two halves of a pair side by side would be one character once saved; they
        // are joined now so that the text reads the same before and after a save.
        std::string oddTail;
        *buffer = decodeUtf16(encodeUtf16(s, false), false, &oddTail);
    } else {
        *buffer = cp932ToUtf8(s);
    }
    return *buffer;
}

std::optional<std::string_view> Document::find(std::string_view section,
                                               std::string_view key) const {
    std::string sectionBuffer, keyBuffer;
    section = stored(section, &sectionBuffer);
    key = stored(key, &keyBuffer);
    const Place place = locate(text_, trim(section), trim(key), wide());
    if (!place.keyLine) return std::nullopt;
    return unquote(place.value);
}

bool Document::has(std::string_view section, std::string_view key) const {
    return find(section, key).has_value();
}

std::string Document::get(std::string_view section, std::string_view key, std::string_view def,
                          size_t bufferSize) const {
    if (bufferSize == 0) return {};
    const std::string_view v = find(section, key).value_or(defaultValue(def));
    return std::string(v.substr(0, bufferSize - 1));
}

// The limit is a byte count in the file, as for get; a plain byte cut could split a
// character and, for UTF-8, turn the whole value into "not UTF-8" and so into CP932
// mojibake, so the cut falls on the character boundary before the limit.
std::string Document::getText(std::string_view section, std::string_view key,
                              std::string_view def, size_t bufferSize) const {
    if (bufferSize == 0) return {};
    const std::optional<std::string_view> found = find(section, key);
    if (found && wide()) {
        // Text from a UTF-16 file is UTF-8 already; only a half surrogate pair can spoil it.
        const std::string clean = withoutSurrogates(*found);
        return std::string(cutAtCharacter(clean, bufferSize - 1, utf8CharLength));
    }
    const std::string_view v = found.value_or(defaultValue(def));
    if (isValidUtf8(v)) return std::string(cutAtCharacter(v, bufferSize - 1, utf8CharLength));
    return cp932ToUtf8(cutAtCharacter(v, bufferSize - 1, cp932CharLength));
}

std::string Document::getCp932(std::string_view section, std::string_view key,
                               std::string_view def, size_t bufferSize) const {
    if (bufferSize == 0) return {};
    const std::optional<std::string_view> found = find(section, key);
    std::string bytes;
    if (found && wide()) {
        bytes = utf8ToCp932(withoutSurrogates(*found));
    } else {
        const std::string_view v = found.value_or(defaultValue(def));
        bytes = isValidUtf8(v) ? utf8ToCp932(v) : std::string(v);
    }
    return std::string(cutAtCharacter(bytes, bufferSize - 1, cp932CharLength));
}

// Names and values that would read back as something else are refused rather than
// written: a line break would inject lines (another key, another section) into the
// file, '=' in a key would split it, and an empty key, one starting with ';' or '['
// would read back as no key at all.
bool Document::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string sectionBuffer, keyBuffer, valueBuffer;
    section = trim(stored(section, &sectionBuffer));
    key = trim(stored(key, &keyBuffer));
    value = stored(value, &valueBuffer);
    const auto hasBreak = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
    if (key.empty() || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[')
        return false;

    const Place place = locate(text_, section, key, wide());
    // The data source writes every value it reads straight back: a hand-laid-out file
    // must come out of that byte for byte as it went in.
    if (place.keyLine && unquote(place.value) == value) return true;

    // Windows writes the value bare, so one with outer blanks or outer quotes reads
    // back trimmed or unquoted; and the data source writes every value it reads
    // straight back, so such a value would be changed for good. Quoting it makes the
    // read give back exactly what was written. A value already standing in quotes
    // keeps them: anything inside one pair of quotes reads back exactly.
    const bool quotedInFile = place.keyLine && unquote(place.value).size() != place.value.size();
    const bool changedByReading =
        !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                           unquote(value).size() != value.size());
    std::string valueText;
    if (quotedInFile) {
        const char quote = place.value.front();
        valueText.append(1, quote).append(value).append(1, quote);
    } else if (changedByReading) {
        valueText.append("\"").append(value).append("\"");
    } else {
        valueText.append(value);
    }

    if (place.keyLine) {
        // Only the value changes: the key keeps its spelling and the line its layout.
        text_.replace(place.valueAt, place.value.size(), valueText);
        return true;
    }
    const std::string_view eol = lineEndOf(text_);
    std::string keyLine;
    keyLine.append(key).append("=").append(valueText);
    if (place.sectionFound) {
        std::string insert;
        if (place.insertNeedsEol) insert.append(eol);
        insert.append(keyLine).append(eol);
        text_.insert(place.insertAt, insert);
        return true;
    }
    // A last line without its line end gets one; a file that is only a byte-order
    // mark has no line to end.
    if (text_.size() > bomLength(text_) && text_.back() != '\n' && text_.back() != '\r')
        text_.append(eol);
    text_.append("[").append(section).append("]").append(eol);
    text_.append(keyLine).append(eol);
    return true;
}

bool Document::save(const std::string& path) const {
    const std::string out = bytes();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool wrote = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    const bool closed = std::fclose(f) == 0;
    return wrote && closed;
}

std::string readString(const std::string& path, const std::string& section,
                       const std::string& key, const std::string& def, size_t bufferSize) {
    return Document::load(path).get(section, key, def, bufferSize);
}

std::string readText(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& def, size_t bufferSize) {
    return Document::load(path).getText(section, key, def, bufferSize);
}

std::string readCp932(const std::string& path, const std::string& section,
                      const std::string& key, const std::string& def, size_t bufferSize) {
    return Document::load(path).getCp932(section, key, def, bufferSize);
}

// A write that changes nothing leaves the file alone: the data source writes every
// value it reads straight back, and rewriting an unchanged file only costs time.
bool writeString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
    Document doc = Document::load(path);
    const std::string before = doc.text();
    if (!doc.set(section, key, value)) return false;
    if (doc.existed() && doc.text() == before) return true;
    return doc.save(path);
}

// As the Windows C library's atoi: out-of-range numbers give INT_MAX or INT_MIN.
int atoiValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace q47::ini

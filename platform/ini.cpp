// Private-profile (INI) reading and writing that keeps every byte it does not change.
#include "platform/ini.h"

#include <climits>
#include <cstdio>
#include <optional>

#include "platform/file_bytes.h"
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

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
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

// Walks the lines of text, skipping a UTF-8 byte-order mark at the start.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    }
    bool next(Line* line) {
        if (pos_ >= text_.size()) return false;
        size_t nl = text_.find('\n', pos_);
        line->begin = pos_;
        if (nl == std::string_view::npos) {
            line->end = line->next = text_.size();
        } else {
            line->next = nl + 1;
            line->end = (nl > pos_ && text_[nl - 1] == '\r') ? nl - 1 : nl;
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
    std::string_view value;
};

Place locate(std::string_view text, std::string_view section, std::string_view key) {
    Place place;
    Lines lines(text);
    Line line;
    bool inSection = false;
    while (lines.next(&line)) {
        const Parsed p = parseLine(lines.textOf(line));
        if (p.kind == Parsed::Section) {
            if (inSection) break;  // only the first section of that name counts
            if (sameName(p.name, section)) {
                inSection = place.sectionFound = true;
                place.insertAt = line.next;
                place.insertNeedsEol = line.next == line.end;
            }
        } else if (inSection && p.kind == Parsed::Key) {
            place.insertAt = line.next;
            place.insertNeedsEol = line.next == line.end;
            if (sameName(p.name, key)) {
                place.keyLine = line;
                place.value = p.value;
                break;
            }
        }
    }
    return place;
}

// The line end new lines take: that of the file's first line, CRLF when it has none.
std::string_view lineEndOf(std::string_view text) {
    const size_t nl = text.find('\n');
    if (nl == std::string_view::npos) return "\r\n";
    return nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
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

std::optional<std::string_view> find(std::string_view text, std::string_view section,
                                     std::string_view key) {
    Place place = locate(text, trim(section), trim(key));
    if (!place.keyLine) return std::nullopt;
    return unquote(place.value);
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

Document Document::load(const std::string& path) {
    Document doc;
    // A folder or a read error counts as a missing file.
    doc.existed_ = readFileBytes(path, &doc.text_);
    return doc;
}

bool Document::has(std::string_view section, std::string_view key) const {
    return find(text_, section, key).has_value();
}

std::string Document::get(std::string_view section, std::string_view key, std::string_view def,
                          size_t bufferSize) const {
    if (bufferSize == 0) return {};
    const std::string_view v = find(text_, section, key).value_or(defaultValue(def));
    return std::string(v.substr(0, bufferSize - 1));
}

// The limit is a byte count in the file, as for get; a plain byte cut could split a
// character and, for UTF-8, turn the whole value into "not UTF-8" and so into CP932
// mojibake, so the cut falls on the character boundary before the limit.
std::string Document::getText(std::string_view section, std::string_view key,
                              std::string_view def, size_t bufferSize) const {
    if (bufferSize == 0) return {};
    const std::string_view v = find(text_, section, key).value_or(defaultValue(def));
    if (isValidUtf8(v)) return std::string(cutAtCharacter(v, bufferSize - 1, utf8CharLength));
    return cp932ToUtf8(cutAtCharacter(v, bufferSize - 1, cp932CharLength));
}

// Names and values that would read back as something else are refused rather than
// written: a line break would inject lines (another key, another section) into the
// file, '=' in a key would split it, and an empty key, one starting with ';' or '['
// would read back as no key at all.
bool Document::set(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    const auto hasBreak = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
    if (key.empty() || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[')
        return false;

    const std::string_view eol = lineEndOf(text_);
    std::string keyLine;
    keyLine.append(key).append("=");
    // Windows writes the value bare, so one with outer blanks or outer quotes reads
    // back trimmed or unquoted; and the data source writes every value it reads
    // straight back, so such a value would be changed for good. Quoting it makes the
    // read give back exactly what was written.
    const bool changedByReading =
        !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                           unquote(value).size() != value.size());
    if (changedByReading) keyLine.append("\"").append(value).append("\"");
    else keyLine.append(value);

    const Place place = locate(text_, section, key);
    if (place.keyLine) {
        text_.replace(place.keyLine->begin, place.keyLine->end - place.keyLine->begin, keyLine);
        return true;
    }
    if (place.sectionFound) {
        std::string insert;
        if (place.insertNeedsEol) insert.append(eol);
        insert.append(keyLine).append(eol);
        text_.insert(place.insertAt, insert);
        return true;
    }
    if (!text_.empty() && text_.back() != '\n') text_.append(eol);
    text_.append("[").append(section).append("]").append(eol);
    text_.append(keyLine).append(eol);
    return true;
}

bool Document::save(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool wrote = std::fwrite(text_.data(), 1, text_.size(), f) == text_.size();
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

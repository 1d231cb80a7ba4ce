// The INI module against settings files as Windows editors and tools save them: UTF-16
// ("Unicode"), CR-only lines, hand-laid-out lines, CP932 names; and the project's own
// shipped INI files, which reading and writing back must leave byte for byte.
//
// The files under data/ are checked-in bytes, saved the way the editor in their name
// saves them; none of them is written by the module under test.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini.h"
#include "temp_folder.h"

namespace q47::ini {
namespace {

using q47::testing::readFile;
using q47::testing::TempFolder;
using q47::testing::writeFile;

const std::filesystem::path kSourceDir = Q47_SOURCE_DIR;
const std::filesystem::path kDataDir = kSourceDir / "tests" / "platform" / "data";

// A copy of a data file in a fresh folder, for tests that write.
class DataFile {
public:
    explicit DataFile(const std::string& name) : path(tmp.file(name)) {
        std::filesystem::copy_file(kDataDir / name, path);
        original = readFile(path);
    }
    TempFolder tmp;
    std::string path;
    std::string original;
};

// ASCII text as UTF-16 code units, the way the test states what a UTF-16 file holds.
std::string widen(std::string_view ascii, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        if (bigEndian) out.append(1, '\0').append(1, c);
        else out.append(1, c).append(1, '\0');
    }
    return out;
}

// Every (section, key) a file names, found by a plain scan of its lines, so that a
// round trip covers keys nobody thought to list.
std::vector<std::pair<std::string, std::string>> namedKeys(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::string section;
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';') continue;
        if (line[first] == '[') {
            const size_t close = line.rfind(']');
            if (close == std::string::npos) continue;
            section = line.substr(first + 1, close - first - 1);
            inSection = true;
        } else if (const size_t eq = line.find('='); eq != std::string::npos && inSection) {
            keys.emplace_back(section, line.substr(first, eq - first));
        }
    }
    return keys;
}

// Sets a file's time stamp into the past, so that any write would show.
void backdate(const std::string& path) {
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                               std::chrono::hours(24));
}

// --- UTF-16 files ------------------------------------------------------------

class Utf16File : public ::testing::TestWithParam<std::pair<const char*, bool>> {
protected:
    const char* name() const { return GetParam().first; }
    bool bigEndian() const { return GetParam().second; }
};

INSTANTIATE_TEST_SUITE_P(NotepadUnicode, Utf16File,
                         ::testing::Values(std::make_pair("notepad_unicode.ini", false),
                                           std::make_pair("notepad_unicode_big_endian.ini",
                                                          true)));

TEST_P(Utf16File, ReadsAsTheSameTextSavedAsUtf8Reads) {
    const std::string wide = (kDataDir / name()).string();
    const std::string utf8 = (kDataDir / "notepad_utf8.ini").string();
    const auto keys = namedKeys(Document::load(utf8).text());
    ASSERT_EQ(keys.size(), 7u);
    for (const auto& [section, key] : keys) {
        SCOPED_TRACE(key);
        EXPECT_EQ(readString(wide, section, key, "<def>", 1024),
                  readString(utf8, section, key, "<def>", 1024));
        EXPECT_EQ(readText(wide, section, key, "<def>", 1024),
                  readText(utf8, section, key, "<def>", 1024));
        EXPECT_EQ(readCp932(wide, section, key, "<def>", 1024),
                  readCp932(utf8, section, key, "<def>", 1024));
    }
}

TEST_P(Utf16File, ValuesComeOutAsUtf8OrAsCp932) {
    const std::string path = (kDataDir / name()).string();
    EXPECT_EQ(Document::load(path).encoding(),
              bigEndian() ? Document::Encoding::Utf16BE : Document::Encoding::Utf16LE);
    EXPECT_EQ(readString(path, "general", "language", "", 1024), "JAPANESE");
    EXPECT_EQ(readString(path, "General", "SelectMonitor", "", 1024), "1   ; projector");
    EXPECT_EQ(readText(path, "General", "Mode_Font", "", 1024), "ＭＳ ゴシック");
    EXPECT_EQ(readCp932(path, "General", "Mode_Font", "", 1024),
              "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e");
    EXPECT_EQ(readText(path, "MessageText", "MsgConfirmation", "", 1024), "確認");
    // A character outside the BMP is a surrogate pair in the file; CP932 has no such
    // character, so the CP932 reading gets '?' for it.
    EXPECT_EQ(readText(path, "MessageText", "MsgExecuted", "", 1024), "𠮷野家");
    EXPECT_EQ(readCp932(path, "MessageText", "MsgExecuted", "", 1024), "?\x96\xec\x89\xc6");
    // The limit never cuts a character, in either form.
    EXPECT_EQ(readText(path, "MessageText", "MsgExecuted", "", 7), "𠮷");
    EXPECT_EQ(readCp932(path, "MessageText", "MsgExecuted", "", 3), "?");
}

TEST_P(Utf16File, AChangedValueIsWrittenInTheFilesOwnEncoding) {
    DataFile file(name());
    ASSERT_TRUE(writeString(file.path, "GENERAL", "selectmark", "3"));
    std::string expected = file.original;
    const std::string before = widen("SelectMark=2\r\n", bigEndian());
    expected.replace(expected.find(before), before.size(), widen("SelectMark=3\r\n", bigEndian()));
    EXPECT_EQ(readFile(file.path), expected);
}

TEST_P(Utf16File, NewKeysAndSectionsTakeItsEncodingAndLineEnds) {
    DataFile file(name());
    ASSERT_TRUE(writeString(file.path, "General", "CaptionFontSize", "14"));
    ASSERT_TRUE(writeString(file.path, "Added", "Key", "v"));
    const std::string text = readFile(file.path);
    const std::string inserted = widen("SelectMark=2\r\nCaptionFontSize=14\r\n", bigEndian());
    EXPECT_NE(text.find(inserted), std::string::npos);
    const std::string appended = widen("[Added]\r\nKey=v\r\n", bigEndian());
    ASSERT_GT(text.size(), appended.size());
    EXPECT_EQ(text.substr(text.size() - appended.size()), appended);
    EXPECT_EQ(text.substr(0, 2), bigEndian() ? "\xFE\xFF" : "\xFF\xFE");
    EXPECT_EQ(readString(file.path, "Added", "Key", "", 10), "v");
}

TEST_P(Utf16File, JapaneseValuesInUtf8OrCp932BecomeUtf16) {
    DataFile file(name());
    // "設定" given as UTF-8 and as CP932: the file gets the same UTF-16 either way.
    ASSERT_TRUE(writeString(file.path, "General", "Language", "設定"));
    ASSERT_TRUE(writeString(file.path, "General", "Version", "\x90\xDD\x92\xE8"));
    const std::string kanji = bigEndian() ? std::string("\x8A\x2D\x5B\x9A", 4)
                                          : std::string("\x2D\x8A\x9A\x5B", 4);
    const std::string text = readFile(file.path);
    EXPECT_NE(text.find(widen("Language = ", bigEndian()) + kanji), std::string::npos);
    EXPECT_NE(text.find(widen("Version=", bigEndian()) + kanji), std::string::npos);
    EXPECT_EQ(readText(file.path, "General", "Version", "", 100), "設定");
    // The value read back is the same text, so writing it again changes nothing.
    backdate(file.path);
    const auto stamp = std::filesystem::last_write_time(file.path);
    ASSERT_TRUE(writeString(file.path, "General", "Version", "設定"));
    EXPECT_EQ(std::filesystem::last_write_time(file.path), stamp);
}

TEST(Utf16FileLimits, HalfASurrogatePairAndAnOddLastByteSurviveAnEdit) {
    TempFolder tmp;
    const std::string path = tmp.file("odd.ini");
    // "[S]\r\nA=<lone high surrogate>\r\nB=1\r\n" in UTF-16LE, plus a stray last byte.
    const std::string bytes = "\xFF\xFE" + widen("[S]\r\nA=", false) + std::string("\x3D\xD8", 2) +
                              widen("\r\nB=1\r\n", false) + "\x7F";
    writeFile(path, bytes);
    EXPECT_EQ(readText(path, "S", "A", "", 100), "\xEF\xBF\xBD");
    ASSERT_TRUE(writeString(path, "S", "B", "2"));
    std::string expected = bytes;
    expected.replace(expected.find(widen("B=1", false)), 6, widen("B=2", false));
    EXPECT_EQ(readFile(path), expected);
    // What a read hands out goes back unchanged, half pair and all.
    ASSERT_TRUE(writeString(path, "S", "A", readString(path, "S", "A", "", 100)));
    EXPECT_EQ(readFile(path), expected);
}

// --- Line ends -----------------------------------------------------------------

TEST(CrLineEnds, AFileWithCrOnlyLinesReads) {
    const std::string path = (kDataDir / "old_mac_cr.ini").string();
    EXPECT_EQ(readString(path, "General", "Language", "<def>", 100), "JAPANESE");
    EXPECT_EQ(readText(path, "General", "Mode_Font", "<def>", 100), "ＭＳ ゴシック");
    EXPECT_EQ(readText(path, "MessageText", "MsgConfirmation", "<def>", 100), "確認");
}

TEST(CrLineEnds, ACrInsideACrlfFileEndsALine) {
    const std::string path = (kDataDir / "cr_inside_crlf.ini").string();
    EXPECT_EQ(readString(path, "General", "K", "<def>", 100), "v");
    EXPECT_EQ(readString(path, "General", "X", "<def>", 100), "1");
    EXPECT_EQ(readString(path, "General", "Y", "<def>", 100), "2");
}

TEST(CrLineEnds, WritesKeepCrOnlyLineEnds) {
    DataFile file("old_mac_cr.ini");
    ASSERT_TRUE(writeString(file.path, "General", "Language", "ENGLISH"));
    ASSERT_TRUE(writeString(file.path, "General", "Version", "1.10"));
    ASSERT_TRUE(writeString(file.path, "Filters", "FilterDiv", "9"));
    std::string expected = file.original;
    expected.replace(expected.find("Language=JAPANESE\r"), 18, "Language=ENGLISH\r");
    const std::string font = "Mode_Font=\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e\r";
    expected.insert(expected.find(font) + font.size(), "Version=1.10\r");
    expected += "[Filters]\rFilterDiv=9\r";
    EXPECT_EQ(readFile(file.path), expected);
}

TEST(CrLineEnds, AKeyWritesBelowAHeaderThatEndsInCr) {
    TempFolder tmp;
    const std::string path = tmp.file("a.ini");
    writeFile(path, "[A]\r[B]");
    ASSERT_TRUE(writeString(path, "A", "K", "1"));
    ASSERT_TRUE(writeString(path, "B", "K", "2"));
    EXPECT_EQ(readFile(path), "[A]\rK=1\r[B]\rK=2\r");
}

// --- Unchanged and changed values -----------------------------------------------

TEST(HandLaidOutFile, WritingBackWhatWasReadLeavesTheFileUntouched) {
    DataFile file("notepad_ansi_spaced.ini");
    backdate(file.path);
    const auto stamp = std::filesystem::last_write_time(file.path);
    const auto keys = namedKeys(file.original);
    ASSERT_EQ(keys.size(), 6u);
    for (const auto& [section, key] : keys)
        ASSERT_TRUE(writeString(file.path, section, key,
                                readString(file.path, section, key, "", 1024)));
    EXPECT_EQ(readFile(file.path), file.original);
    EXPECT_EQ(std::filesystem::last_write_time(file.path), stamp);
}

TEST(HandLaidOutFile, AChangedValueKeepsTheKeysSpellingAndTheLinesLayout) {
    DataFile file("notepad_ansi_spaced.ini");
    ASSERT_TRUE(writeString(file.path, "GENERAL", "LANGUAGE____________", "ENGLISH"));
    ASSERT_TRUE(writeString(file.path, "General", "version", "2.00"));
    ASSERT_TRUE(writeString(file.path, "FontInfo", "CaptionFontName_____", "Arial"));
    ASSERT_TRUE(writeString(file.path, "FontInfo", "CaptionFontSize_____", "12"));
    ASSERT_TRUE(writeString(file.path, "FontInfo", "CaptionFontColor____", "255,0,0"));
    ASSERT_TRUE(writeString(file.path, "FontInfo", "Empty", "x"));
    const std::string expected =
        "; Q-47 data source settings, edited by hand\r\n"
        "[General]\r\n"
        "Language____________ = ENGLISH\r\n"
        "  Version = 2.00\r\n"
        "\r\n"
        "[FontInfo]\r\n"
        "CaptionFontName_____ = \"Arial\"\r\n"
        "captionfontsize_____=\t12\r\n"
        "CaptionFontColor____ = 255,0,0  \r\n"
        "Empty =x\r\n";
    EXPECT_EQ(readFile(file.path), expected);
}

TEST(HandLaidOutFile, AnyValueInsideTheFilesQuotesReadsBackExactly) {
    DataFile file("notepad_ansi_spaced.ini");
    for (const std::string value : {" padded ", "\"quoted\"", "'", "", "a\"b"}) {
        ASSERT_TRUE(writeString(file.path, "FontInfo", "CaptionFontName_____", value));
        EXPECT_EQ(readString(file.path, "FontInfo", "CaptionFontName_____", "<def>", 100), value);
    }
}

// --- Case folding in CP932 names ---------------------------------------------------

TEST(Cp932Names, TrailBytesThatLookLikeLettersDoNotFold) {
    const std::string path = (kDataDir / "cp932_katakana_names.ini").string();
    const std::string a = "\x83\x41", di = "\x83\x61";  // ア, ヂ
    EXPECT_EQ(readString(path, a, a, "<def>", 100), "katakana a");
    EXPECT_EQ(readString(path, a, di, "<def>", 100), "katakana di");
    EXPECT_EQ(readString(path, di, a, "<def>", 100), "in di");
    // An ASCII letter that follows a whole double-byte character still folds.
    EXPECT_EQ(readString(path, a, a + "kEY", "<def>", 100), "folded");
}

TEST(Cp932Names, AWriteFindsTheRightKatakanaKey) {
    DataFile file("cp932_katakana_names.ini");
    const std::string a = "\x83\x41", di = "\x83\x61";
    ASSERT_TRUE(writeString(file.path, di, di, "new"));
    ASSERT_TRUE(writeString(file.path, a, di, "changed"));
    std::string expected = file.original;
    const std::string oldLine = di + "=katakana di";
    expected.replace(expected.find(oldLine), oldLine.size(), di + "=changed");
    const std::string lastKey = a + "=in di\r\n";
    expected.insert(expected.find(lastKey) + lastKey.size(), di + "=new\r\n");
    EXPECT_EQ(readFile(file.path), expected);
}

// --- Every INI file of the project ---------------------------------------------------

// The shipped language files and the files above: reading every key and writing it
// straight back (as the data source does on each start), then reading again, leaves
// every file byte for byte as it was. (Fuzz seeds are no INI files: their first byte
// is the fuzzer's own.)
TEST(ProjectIniFiles, ReadWriteReadLeavesEachByteIdentical) {
    std::vector<std::filesystem::path> files;
    for (const auto& top : std::filesystem::directory_iterator(kSourceDir)) {
        const std::string name = top.path().filename().string();
        if (!top.is_directory() || name.starts_with(".") || name.starts_with("build") ||
            name == "fuzz")
            continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(top.path()))
            if (entry.is_regular_file() && entry.path().extension() == ".ini")
                files.push_back(entry.path());
    }
    std::set<std::string> languages;
    for (const auto& f : files)
        if (f.filename() == "Q47Tw.ini") languages.insert(f.parent_path().filename().string());
    EXPECT_EQ(languages, (std::set<std::string>{"CHS", "ENG", "JPN"}));

    for (const auto& source : files) {
        SCOPED_TRACE(source.string());
        TempFolder tmp;
        const std::string path = tmp.file("copy.ini");
        std::filesystem::copy_file(source, path);
        const std::string original = readFile(path);
        const auto keys = namedKeys(Document::load(path).text());
        std::vector<std::string> first;
        for (const auto& [section, key] : keys) {
            first.push_back(readString(path, section, key, "", 1024));
            ASSERT_TRUE(writeString(path, section, key, first.back())) << key;
        }
        EXPECT_EQ(readFile(path), original);
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(readString(path, keys[i].first, keys[i].second, "", 1024), first[i]);
    }
}

}  // namespace
}  // namespace q47::ini

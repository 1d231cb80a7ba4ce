// The INI module against a settings file as Windows programs and users leave them.
#include "platform/ini.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "temp_folder.h"

namespace q47::ini {
namespace {

using q47::testing::readFile;
using q47::testing::TempFolder;
using q47::testing::writeFile;

// Hand-written in Notepad style: CRLF, odd spacing, a duplicate key and section,
// comments, a CP932 value ("設定") and a UTF-8 one ("确认").
const std::string kHandWritten =
    "; Q-47 data source settings\r\n"
    "\r\n"
    "[General]\r\n"
    "Language   =  ENGLISH  \r\n"
    " \t Version\t=\t1.10\t\r\n"
    "\r\n"
    "[FontInfo]\r\n"
    "CaptionFontName=MS Sans Serif\r\n"
    "captionfontname=Second\r\n"
    "Quoted = \"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Unbalanced=\"abc\r\n"
    "Mixed=\"abc'\r\n"
    "Empty=\r\n"
    "; Commented=yes\r\n"
    "NoEquals\r\n"
    "Japanese=\x90\xDD\x92\xE8\r\n"
    "Chinese=\xE7\xA1\xAE\xE8\xAE\xA4\r\n"
    "\r\n"
    "[fontinfo]\r\n"
    "Late=from the second section\r\n"
    "CaptionFontName=never\r\n"
    "\r\n"
    "[Messages]\r\n"
    "MsgComplete=Completed.\r\n";

class IniFile : public ::testing::Test {
protected:
    void SetUp() override { writeFile(path, kHandWritten); }
    std::string read(const std::string& section, const std::string& key,
                     const std::string& def = "<def>", size_t size = 1024) {
        return readString(path, section, key, def, size);
    }
    TempFolder tmp;
    std::string path = tmp.file("Q47Tw.ini");
};

TEST_F(IniFile, ValuesAndNamesAreTrimmedOfBlanksAndTabs) {
    EXPECT_EQ(read("General", "Language"), "ENGLISH");
    EXPECT_EQ(read("General", "Version"), "1.10");
    EXPECT_EQ(read(" General ", " Version "), "1.10");
}

TEST_F(IniFile, SectionsAndKeysMatchWithoutCase) {
    EXPECT_EQ(read("GENERAL", "language"), "ENGLISH");
    EXPECT_EQ(read("messages", "MSGCOMPLETE"), "Completed.");
}

TEST_F(IniFile, FirstKeyOfFirstSectionWins) {
    EXPECT_EQ(read("FontInfo", "CaptionFontName"), "MS Sans Serif");
    // The second [fontinfo] is never searched, even for keys only it has.
    EXPECT_EQ(read("FontInfo", "Late"), "<def>");
}

TEST_F(IniFile, OnePairOfMatchingQuotesIsStripped) {
    EXPECT_EQ(read("FontInfo", "Quoted"), "  spaced  ");
    EXPECT_EQ(read("FontInfo", "Single"), "x");
    EXPECT_EQ(read("FontInfo", "Unbalanced"), "\"abc");
    EXPECT_EQ(read("FontInfo", "Mixed"), "\"abc'");
}

TEST_F(IniFile, EmptyValueIsAValueCommentsAndBareWordsAreNoKeys) {
    EXPECT_EQ(read("FontInfo", "Empty"), "");
    EXPECT_EQ(read("FontInfo", "Commented"), "<def>");
    EXPECT_EQ(read("FontInfo", "; Commented"), "<def>");
    EXPECT_EQ(read("FontInfo", "NoEquals"), "<def>");
}

TEST_F(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(readString(tmp.file("absent.ini"), "General", "Language", "JAPANESE", 260), "JAPANESE");
    EXPECT_EQ(read("Nowhere", "Language"), "<def>");
    EXPECT_EQ(read("General", "Nothing"), "<def>");
    // Keys before the first section belong to no section.
    writeFile(path, "Orphan=1\r\n[General]\r\n");
    EXPECT_EQ(read("General", "Orphan"), "<def>");
}

TEST_F(IniFile, BufferSizeLimitsValueAndDefaultToOneByteLess) {
    EXPECT_EQ(read("Messages", "MsgComplete", "", 5), "Comp");
    EXPECT_EQ(read("Messages", "MsgComplete", "", 0), "");
    EXPECT_EQ(read("Messages", "MsgComplete", "", 1), "");
    EXPECT_EQ(read("Messages", "Absent", "defaultvalue", 4), "def");
}

TEST_F(IniFile, TrailingBlanksOfTheDefaultAreDropped) {
    EXPECT_EQ(read("Messages", "Absent", "Ready  \t"), "Ready");
    EXPECT_EQ(read("Messages", "Absent", "  Ready"), "  Ready");
}

TEST_F(IniFile, RawReadKeepsBytesReadTextDecodesCp932AndKeepsUtf8) {
    EXPECT_EQ(read("FontInfo", "Japanese"), "\x90\xDD\x92\xE8");
    EXPECT_EQ(readText(path, "FontInfo", "Japanese", "", 1024), "設定");
    EXPECT_EQ(readText(path, "FontInfo", "Chinese", "", 1024), "确认");
    EXPECT_EQ(readText(path, "FontInfo", "Absent", "確認", 1024), "確認");
}

TEST_F(IniFile, ReadTextLimitNeverCutsACharacterInTwo) {
    // 5 bytes allowed of "确认" (3 + 3 bytes): a byte cut would leave invalid UTF-8
    // and the value would come back as CP932 garbage.
    EXPECT_EQ(readText(path, "FontInfo", "Chinese", "", 6), "确");
    // 3 bytes of "設定" (2 + 2 bytes).
    EXPECT_EQ(readText(path, "FontInfo", "Japanese", "", 4), "設");
    EXPECT_EQ(readText(path, "FontInfo", "Japanese", "", 2), "");
}

TEST_F(IniFile, UnreadableFileIsTreatedAsMissing) {
    const std::string folder = tmp.file("folder.ini");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(readString(folder, "General", "Language", "dflt", 100), "dflt");
    EXPECT_FALSE(writeString(folder, "General", "Language", "x"));
}

TEST_F(IniFile, ByteOrderMarkDoesNotHideTheFirstSection) {
    writeFile(path, "\xEF\xBB\xBF[General]\nLanguage=CHINESE\n");
    EXPECT_EQ(read("General", "Language"), "CHINESE");
    ASSERT_TRUE(writeString(path, "General", "Language", "ENGLISH"));
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF[General]\nLanguage=ENGLISH\n");
}

// --- Writing ---------------------------------------------------------------

TEST_F(IniFile, ReplacingAKeyChangesOnlyItsValue) {
    ASSERT_TRUE(writeString(path, "general", "VERSION", "2.00"));
    std::string expected = kHandWritten;
    // The key keeps its own spelling, the line its blanks and tabs.
    expected.replace(expected.find(" \t Version\t=\t1.10\t"), 18, " \t Version\t=\t2.00\t");
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(read("General", "Version"), "2.00");
}

TEST_F(IniFile, WritingADuplicatedKeyChangesTheFirstOnly) {
    ASSERT_TRUE(writeString(path, "FontInfo", "CaptionFontName", "Arial"));
    const std::string text = readFile(path);
    EXPECT_NE(text.find("captionfontname=Second\r\n"), std::string::npos);
    EXPECT_NE(text.find("CaptionFontName=never\r\n"), std::string::npos);
    EXPECT_EQ(read("FontInfo", "CaptionFontName"), "Arial");
}

TEST_F(IniFile, NewKeyGoesAfterTheLastKeyOfTheFirstMatchingSection) {
    ASSERT_TRUE(writeString(path, "General", "CaptionFontSize", "14"));
    std::string expected = kHandWritten;
    const std::string after = " \t Version\t=\t1.10\t\r\n";
    expected.insert(expected.find(after) + after.size(), "CaptionFontSize=14\r\n");
    EXPECT_EQ(readFile(path), expected);

    ASSERT_TRUE(writeString(path, "FONTINFO", "Late", "first section now"));
    EXPECT_EQ(read("FontInfo", "Late"), "first section now");
    EXPECT_NE(readFile(path).find("Late=from the second section\r\n"), std::string::npos);
}

TEST_F(IniFile, NewSectionIsAppendedAtTheEnd) {
    ASSERT_TRUE(writeString(path, "ToolTips", "ToolTipStop", "Stop ongoing"));
    EXPECT_EQ(readFile(path), kHandWritten + "[ToolTips]\r\nToolTipStop=Stop ongoing\r\n");
}

TEST_F(IniFile, WriteCreatesAMissingFileWithWindowsLineEnds) {
    const std::string fresh = tmp.file("SlateWise.ini");
    ASSERT_TRUE(writeString(fresh, "General", "SelectMonitor", "1"));
    ASSERT_TRUE(writeString(fresh, "General", "SelectMark", "3"));
    EXPECT_EQ(readFile(fresh), "[General]\r\nSelectMonitor=1\r\nSelectMark=3\r\n");
    EXPECT_FALSE(writeString(tmp.file("no/such/folder.ini"), "General", "A", "1"));
}

TEST_F(IniFile, NewLinesFollowAFileWithUnixLineEnds) {
    writeFile(path, "[General]\nA=1\n\n[Other]\nB=2");
    ASSERT_TRUE(writeString(path, "General", "C", "3"));
    ASSERT_TRUE(writeString(path, "Other", "D", "4"));
    ASSERT_TRUE(writeString(path, "Third", "E", "5"));
    EXPECT_EQ(readFile(path), "[General]\nA=1\nC=3\n\n[Other]\nB=2\nD=4\n[Third]\nE=5\n");
}

TEST_F(IniFile, KeyGoesBelowAHeaderWithoutLineEndAtTheEndOfTheFile) {
    writeFile(path, "[General]");
    ASSERT_TRUE(writeString(path, "General", "A", "1"));
    EXPECT_EQ(readFile(path), "[General]\r\nA=1\r\n");
}

TEST_F(IniFile, WrittenValueReadsBackUnchanged) {
    ASSERT_TRUE(writeString(path, "Messages", "MsgStatusFeed", "Sheet-scroll is in progress..."));
    EXPECT_EQ(read("Messages", "MsgStatusFeed"), "Sheet-scroll is in progress...");
    ASSERT_TRUE(writeString(path, "Messages", "Colour", "120,120,120"));
    EXPECT_EQ(read("Messages", "Colour"), "120,120,120");
}

TEST_F(IniFile, WritesThatWouldCorruptTheFileAreRefusedAndLeaveItIntact) {
    EXPECT_FALSE(writeString(path, "General", "Language", "EN\r\n[Injected]\r\nX=1"));
    EXPECT_FALSE(writeString(path, "General", "Bad\nKey", "1"));
    EXPECT_FALSE(writeString(path, "Gen\neral", "Key", "1"));
    EXPECT_FALSE(writeString(path, "General", "", "1"));
    EXPECT_FALSE(writeString(path, "General", "A=B", "1"));
    EXPECT_FALSE(writeString(path, "General", ";Hidden", "1"));
    EXPECT_EQ(readFile(path), kHandWritten);
}

TEST_F(IniFile, ReadThenWriteBackKeepsEveryValue) {
    // The data source writes each value straight back after reading it; a value whose
    // blanks only quotes protect must survive that, every time.
    const std::vector<std::pair<const char*, const char*>> keys = {
        {"General", "Language"}, {"General", "Version"}, {"FontInfo", "Quoted"},
        {"FontInfo", "Single"},  {"FontInfo", "Mixed"},  {"FontInfo", "Empty"},
        {"FontInfo", "Japanese"}};
    std::vector<std::string> before;
    for (const auto& [section, key] : keys) before.push_back(read(section, key));
    for (int round = 0; round < 2; ++round)
        for (const auto& [section, key] : keys)
            ASSERT_TRUE(writeString(path, section, key, read(section, key)));
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(read(keys[i].first, keys[i].second), before[i]) << keys[i].second;
    EXPECT_NE(readFile(path).find("; Commented=yes\r\nNoEquals\r\n"), std::string::npos);
}

TEST_F(IniFile, ValuesThatReadingWouldChangeAreWrittenQuoted) {
    ASSERT_TRUE(writeString(path, "General", "Padded", "  Ready "));
    ASSERT_TRUE(writeString(path, "General", "Quotes", "\"x\""));
    ASSERT_TRUE(writeString(path, "General", "Plain", "a \"b\" c"));
    const std::string text = readFile(path);
    EXPECT_NE(text.find("Padded=\"  Ready \"\r\n"), std::string::npos);
    EXPECT_NE(text.find("Quotes=\"\"x\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("Plain=a \"b\" c\r\n"), std::string::npos);
    EXPECT_EQ(read("General", "Padded"), "  Ready ");
    EXPECT_EQ(read("General", "Quotes"), "\"x\"");
}

// --- In-memory document ----------------------------------------------------

TEST(IniDocument, ReadsAndWritesAsTheFileFunctionsDo) {
    TempFolder tmp;
    const std::string path = tmp.file("a.ini");
    writeFile(path, kHandWritten);
    Document doc = Document::load(path);
    ASSERT_TRUE(doc.existed());
    EXPECT_TRUE(doc.has("fontinfo", "empty"));
    EXPECT_FALSE(doc.has("fontinfo", "NoEquals"));
    EXPECT_EQ(doc.get("General", "Language", "", 1024), "ENGLISH");
    EXPECT_EQ(doc.getText("FontInfo", "Japanese", "", 1024), "設定");
    ASSERT_TRUE(doc.set("General", "Version", "2.00"));
    ASSERT_TRUE(doc.set("New", "Key", "v"));
    ASSERT_TRUE(doc.save(path));

    writeFile(tmp.file("b.ini"), kHandWritten);
    ASSERT_TRUE(writeString(tmp.file("b.ini"), "General", "Version", "2.00"));
    ASSERT_TRUE(writeString(tmp.file("b.ini"), "New", "Key", "v"));
    EXPECT_EQ(readFile(path), readFile(tmp.file("b.ini")));
}

TEST(IniDocument, MissingFileLoadsEmpty) {
    Document doc = Document::load("/nonexistent/q47/none.ini");
    EXPECT_FALSE(doc.existed());
    EXPECT_EQ(doc.get("A", "B", "d", 10), "d");
}

TEST(IniDocument, SectionNameMayHoldABracket) {
    Document doc;
    ASSERT_TRUE(doc.set("a]b", "k", "v"));
    EXPECT_EQ(doc.get("A]B", "K", "", 10), "v");
}

// --- atoi ----------------------------------------------------------------

TEST(IniAtoi, BehavesAsTheCLibrary) {
    EXPECT_EQ(atoiValue("14"), 14);
    EXPECT_EQ(atoiValue("  \t-700"), -700);
    EXPECT_EQ(atoiValue("+8pt"), 8);
    EXPECT_EQ(atoiValue("12,34"), 12);
    EXPECT_EQ(atoiValue("0x1F4"), 0);
    EXPECT_EQ(atoiValue("abc"), 0);
    EXPECT_EQ(atoiValue(""), 0);
    EXPECT_EQ(atoiValue("-"), 0);
    EXPECT_EQ(atoiValue("2147483647"), INT_MAX);
    EXPECT_EQ(atoiValue("-2147483648"), INT_MIN);
    // Out of range saturates, as the Windows C library does, instead of wrapping.
    EXPECT_EQ(atoiValue("99999999999999999999"), INT_MAX);
    EXPECT_EQ(atoiValue("-4294967297"), INT_MIN);
}

}  // namespace
}  // namespace q47::ini

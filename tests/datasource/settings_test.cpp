// Q47Tw.ini: keys written back padded, number and colour parsing, the language switch.
#include "twain_source/settings.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/ini.h"
#include "platform/text_encoding.h"
#include "tests/datasource/test_support.h"

namespace q47::twain_source {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No installed language files: only the settings folder's own Loc counts.
        setenv("Q47_DATA_DIR", (dir / "no-install").c_str(), 1);
    }
    void TearDown() override { unsetenv("Q47_DATA_DIR"); }

    // Key name lines "Name___=value" of the file, by section.
    std::set<std::string> keyLines(const std::string& contents) {
        std::set<std::string> lines;
        std::istringstream in(contents);
        std::string line, section;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            if (line[0] == '[') section = line;
            else lines.insert(section + line);
        }
        return lines;
    }

    TempDir dir;
    SettingsFile settings{dir / "Q47Tw.ini"};
};

TEST(SettingsKeys, KeysArePaddedWithUnderscoresToTwentyCharacters) {
    EXPECT_EQ(padKey("MsgErrorE1"), "MsgErrorE1__________");
    EXPECT_EQ(padKey("ImageFaceFontWeight"), "ImageFaceFontWeight_");
    EXPECT_EQ(padKey("MsgReceivePktError"), "MsgReceivePktError__");
    EXPECT_EQ(padKey("AKeyNameLongerThanTwentyCharacters"), "AKeyNameLongerThanTw");
}

TEST_F(SettingsFileTest, FirstRunWritesEveryKeyPaddedWithItsDefault) {
    Texts texts = settings.loadTexts();
    DialogFont font = settings.readDialogFont();

    std::set<std::string> expected;
    for (const auto& k : settingKeys())
        expected.insert(std::string("[") + k.section + "]" + padKey(k.key) + "=" + k.defaultValue);
    expected.insert("[MainDialog]DefaultFontName_____=MS Sans Serif");
    expected.insert("[MainDialog]DefaultFontSize_____=8");
    EXPECT_EQ(keyLines(readFile(settings.path())), expected);
    EXPECT_EQ(expected.size(), 65u);

    EXPECT_EQ(texts.text("MsgReceiveBadPkt"), "Receive bad packet from Q-47 devive !");
    EXPECT_EQ(texts.language(), "ENGLISH");
    EXPECT_EQ(font.name, "MS Sans Serif");
    EXPECT_EQ(font.tenthsOfPoint, 80);
}

TEST_F(SettingsFileTest, ValuesInTheFileWinAndMissingKeysAreWrittenBack) {
    writeFile(settings.path(),
              "[Messages]\r\nMsgComplete_________ = Done! \r\n; a comment\r\n"
              "[MainDialog]\r\nLabelStop___________=\"Halt\"\r\n");
    Texts texts = settings.loadTexts();
    EXPECT_EQ(texts.text("MsgComplete"), "Done!");
    EXPECT_EQ(texts.text("LabelStop"), "Halt");
    EXPECT_EQ(texts.text("MsgStatusStandby"), "Ready");

    const std::string after = readFile(settings.path());
    EXPECT_NE(after.find("; a comment"), std::string::npos);
    EXPECT_NE(after.find("MsgStatusStandby____=Ready"), std::string::npos);
    // A value read and written back unchanged leaves its hand-written line alone.
    EXPECT_NE(after.find("MsgComplete_________ = Done! \r\n"), std::string::npos);

    // A key removed by hand comes back with its default at the next read.
    writeFile(settings.path(), "[Messages]\r\n");
    EXPECT_EQ(settings.readSetting("Messages", "MsgComplete", "Completed."), "Completed.");
    EXPECT_EQ(ini::readString(settings.path().string(), "Messages", "MsgComplete_________", "",
                              1024),
              "Completed.");
}

TEST_F(SettingsFileTest, ValuesAreCutTo1023Bytes) {
    writeFile(settings.path(), "[General]\nLanguage____________=" + std::string(1500, 'x') + "\n");
    EXPECT_EQ(settings.readSetting("General", "Language", "ENGLISH").size(), 1023u);
}

TEST_F(SettingsFileTest, AValueCutByTheBufferKeepsWholeCharactersInTheTextAndTheFile) {
    // 1022 ASCII bytes, then a character whose bytes cross the 1023-byte limit.
    const std::string head(1022, 'x');
    struct Case {
        const char* name;
        std::string character;  // as the file holds it
        std::string decoded;    // what the text holds when the character is kept whole
    } cases[] = {{"UTF-8", "\xe6\xba\x96", "準"}, {"CP932", "\x8f\x80", "準"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(settings.path(), "[Messages]\r\nMsgComplete_________=" + head + c.character +
                                       "tail\r\n");
        const std::string text = settings.readSetting("Messages", "MsgComplete", "Completed.");
        EXPECT_EQ(text, head) << "a cut character must not appear in part";
        EXPECT_TRUE(isValidUtf8(text));
        // What went back into the file ends at a whole character too.
        const std::string back = ini::readString(settings.path().string(), "Messages",
                                                 "MsgComplete_________", "", 4096);
        EXPECT_EQ(back, head);
    }
    // A character that fits whole is kept.
    writeFile(settings.path(), "[Messages]\r\nMsgComplete_________=" + std::string(1020, 'x') +
                                   "\xe6\xba\x96tail\r\n");
    EXPECT_EQ(settings.readSetting("Messages", "MsgComplete", ""), std::string(1020, 'x') + "準");
}

TEST_F(SettingsFileTest, AWindowsLanguageFileInShiftJisReadsAsUtf8AndStaysShiftJis) {
    // "準備完了" (Ready) in CP932.
    const std::string sjis = "\x8f\x80\x94\xf5\x8a\xae\x97\xb9";
    writeFile(settings.path(), "[Messages]\r\nMsgStatusStandby____=" + sjis + "\r\n");
    Texts texts = settings.loadTexts();
    EXPECT_EQ(texts.text("MsgStatusStandby"), "準備完了");
    EXPECT_NE(readFile(settings.path()).find("MsgStatusStandby____=" + sjis), std::string::npos);
}

TEST(SettingsColours, ColoursSplitFromTheLeftInThreeSteps) {
    EXPECT_EQ(parseColour("120,120,120"), (Rgb{120, 120, 120}));
    EXPECT_EQ(parseColour("255,0,0"), (Rgb{255, 0, 0}));
    // Two numbers and one comma: the second step finds no comma.
    EXPECT_EQ(parseColour("10,20"), (Rgb{10, 0, 20}));
    // A single number: both first steps find no comma.
    EXPECT_EQ(parseColour("255"), (Rgb{0, 0, 255}));
    EXPECT_EQ(parseColour(""), (Rgb{0, 0, 0}));
    // The last step takes atoi of everything left.
    EXPECT_EQ(parseColour("1,2,3,4"), (Rgb{1, 2, 3}));
    EXPECT_EQ(parseColour(" 7 , 8 , 9 "), (Rgb{7, 8, 9}));
}

TEST(SettingsColours, EachPartIsTakenModulo256) {
    EXPECT_EQ(parseColour("300,0,0"), (Rgb{44, 0, 0}));
    EXPECT_EQ(parseColour("256,512,257"), (Rgb{0, 0, 1}));
    EXPECT_EQ(parseColour("-1,0,0"), (Rgb{255, 0, 0}));
}

TEST(SettingsNumbers, DialogFontSizeIsReadDigitByDigitInTenths) {
    EXPECT_EQ(parseDefaultFontSize("10"), 100);
    EXPECT_EQ(parseDefaultFontSize("8"), 80);
    EXPECT_EQ(parseDefaultFontSize(""), 0);
    // No character is rejected: 'a' counts as 49.
    EXPECT_EQ(parseDefaultFontSize("1a"), (10 + 49) * 10);
}

TEST_F(SettingsFileTest, FontGroupsUseAtoiAndTheColourRule) {
    writeFile(settings.path(),
              "[FontInfo]\nStatusLblFontSize___=12pt\nStatusLblFontWeight_=bold\n"
              "StatusLblFontColor__=10,20\n[MainDialog]\nDefaultFontSize_____=10\n");
    FontSpec f = settings.loadTexts().font("StatusLbl");
    EXPECT_EQ(f.name, "MS Sans Serif");
    EXPECT_EQ(f.pointSize, 12);
    EXPECT_EQ(f.weight, 0);
    EXPECT_EQ(f.colour, (Rgb{10, 0, 20}));
    EXPECT_EQ(settings.readDialogFont().tenthsOfPoint, 100);

    FontSpec caption = Texts().font("Caption");
    EXPECT_EQ(caption.pointSize, 14);
    EXPECT_EQ(caption.weight, 700);
    EXPECT_EQ(caption.colour, (Rgb{0, 0, 0}));
}

TEST(ShippedLanguageFiles, EnglishHoldsTheDefaultsAndTheOthersTranslateEveryText) {
    TempDir dir;
    for (const char* code : {"ENG", "JPN", "CHS"}) {
        SCOPED_TRACE(code);
        const auto copy = dir / (std::string(code) + ".ini");
        std::filesystem::copy_file(test::shippedLanguageFile(code), copy);
        const std::string before = readFile(copy);
        Texts texts = SettingsFile(copy).loadTexts();
        // Every key is present: reading wrote nothing new.
        EXPECT_EQ(readFile(copy), before);
        for (const auto& k : settingKeys()) {
            if (std::string(code) == "ENG") EXPECT_EQ(texts.text(k.key), k.defaultValue) << k.key;
            else EXPECT_FALSE(texts.text(k.key).empty()) << k.key;
        }
        if (std::string(code) != "ENG") {
            EXPECT_NE(texts.text("MsgStatusScanPC"), "Acquiring image from Q-47...");
            EXPECT_NE(texts.text("ToolTipStop"), "Stop ongoing");
            EXPECT_NE(texts.text("MenuJapanese"), "JAPANESE");
        }
    }
}

// The Japanese file opened in Notepad and saved as "Unicode" (UTF-16LE, CRLF): the same
// texts, and the read-and-write-back of every key leaves the file as Notepad left it.
TEST(ShippedLanguageFiles, AFileResavedAsUnicodeGivesTheSameTextsAndStaysAsItWas) {
    TempDir dir;
    const auto unicode = dir / "Q47Tw.ini";
    std::filesystem::copy_file(std::filesystem::path(Q47_SOURCE_DIR) / "tests" / "datasource" /
                                   "data" / "Q47Tw_JPN_notepad_unicode.ini",
                               unicode);
    const auto utf8 = dir / "JPN.ini";
    std::filesystem::copy_file(test::shippedLanguageFile("JPN"), utf8);
    const std::string before = readFile(unicode);

    const Texts texts = SettingsFile(unicode).loadTexts();
    const DialogFont font = SettingsFile(unicode).readDialogFont();
    EXPECT_EQ(readFile(unicode), before);
    const Texts japanese = SettingsFile(utf8).loadTexts();
    for (const auto& k : settingKeys()) EXPECT_EQ(texts.text(k.key), japanese.text(k.key)) << k.key;
    EXPECT_EQ(texts.language(), "JAPANESE");
    EXPECT_EQ(font.name, SettingsFile(utf8).readDialogFont().name);
}

TEST_F(SettingsFileTest, SwitchingLanguageReplacesEveryText) {
    Texts texts = settings.loadTexts();
    for (const char* code : {"ENG", "JPN", "CHS"})
        writeFile(dir / "Loc" / code / "Q47Tw.ini", readFile(test::shippedLanguageFile(code)));

    ASSERT_TRUE(settings.switchLanguage(Language::Japanese, &texts));
    EXPECT_EQ(readFile(settings.path()), readFile(test::shippedLanguageFile("JPN")));
    Texts japanese = SettingsFile(test::shippedLanguageFile("JPN")).loadTexts();
    for (const auto& k : settingKeys()) EXPECT_EQ(texts.text(k.key), japanese.text(k.key)) << k.key;
    EXPECT_EQ(texts.language(), "JAPANESE");

    ASSERT_TRUE(settings.switchLanguage(Language::English, &texts));
    for (const auto& k : settingKeys()) EXPECT_EQ(texts.text(k.key), k.defaultValue) << k.key;
}

TEST_F(SettingsFileTest, AMissingLanguageFileKeepsTheCurrentTexts) {
    writeFile(settings.path(), "[Messages]\nMsgComplete_________=Fertig.\n");
    Texts texts = settings.loadTexts();
    const std::string before = readFile(settings.path());

    EXPECT_FALSE(settings.switchLanguage(Language::Japanese, &texts));
    EXPECT_EQ(readFile(settings.path()), before);
    EXPECT_EQ(texts.text("MsgComplete"), "Fertig.");
    EXPECT_EQ(texts.language(), "ENGLISH");
}

TEST_F(SettingsFileTest, LanguageFilesFallBackToTheInstalledDataFolder) {
    setenv("Q47_DATA_DIR", (dir / "share").c_str(), 1);
    writeFile(dir / "share" / "Loc" / "CHS" / "Q47Tw.ini",
              readFile(test::shippedLanguageFile("CHS")));
    Texts texts;
    ASSERT_TRUE(settings.switchLanguage(Language::Chinese, &texts));
    EXPECT_EQ(texts.language(), "CHINESE");
    EXPECT_EQ(texts.text("ButtonClose"), "关闭");
}

}  // namespace
}  // namespace q47::twain_source

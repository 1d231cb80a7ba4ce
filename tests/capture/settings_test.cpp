// SlateWise.ini: defaults, integer rules, encodings, the two written keys, language files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "capture/settings.h"
#include "platform/ini.h"
#include "platform/text_encoding.h"

using namespace q47::capture;
namespace fs = std::filesystem;

namespace {

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "q47-capture-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path file(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path languageFile(const char* code) { return fs::path(Q47_SOURCE_DIR) / "capture/Loc" / code / "SlateWise.ini"; }

// Section and key names of an INI text, in file order.
std::set<std::string> keysOf(const std::string& text) {
    std::set<std::string> keys;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 1 && line[0] == '[') section = line.substr(1, line.find(']') - 1);
        else if (auto eq = line.find('='); eq != std::string::npos) keys.insert(section + "/" + line.substr(0, eq));
    }
    return keys;
}

}  // namespace

TEST(SettingsRead, NoFileGivesTheBuiltInJapaneseDefaults) {
    Folder f;
    const AppSettings s = ReadSettings(f.file("SlateWise.ini"));
    EXPECT_EQ(s.barTitle(), "Slatewise 1.10");
    EXPECT_EQ(s.MsgConfirmation, "確認");
    EXPECT_EQ(s.ComboDisplay[4], "ディスプレイ５");
    EXPECT_EQ(s.CaptureWait, 500);
    EXPECT_EQ(s.fontCharset(), 128);
    EXPECT_EQ(s.Filter[8], 1);
    EXPECT_EQ(s.FilterLDiv, 9);
    EXPECT_TRUE(s == AppSettings{});
    EXPECT_FALSE(fs::exists(f.file("SlateWise.ini"))) << "reading never creates the file";
}

TEST(SettingsRead, IntegersAreDecimalOrHexAndAnythingElseIsTheDefault) {
    Folder f;
    const auto path = f.file("SlateWise.ini");
    struct Case {
        const char* value;
        int32_t want;
    } cases[] = {{"0x1F4", 500}, {"0X1f4", 500}, {"abc", 500}, {"250", 250}, {"-3", -3},    {"12abc", 500},
                 {"0x", 500},    {"", 500},      {"0x7FFFFFFF", 0x7FFFFFFF}, {"4294967296", 500}, {"0xFFFFFFFF", -1}};
    for (const Case& c : cases) {
        write(path, std::string("[General]\r\nCaptureWait=") + c.value + "\r\n");
        EXPECT_EQ(ReadSettings(path).CaptureWait, c.want) << "'" << c.value << "'";
    }
}

TEST(SettingsRead, EveryKeyIsReadFromItsSection) {
    Folder f;
    const auto path = f.file("SlateWise.ini");
    write(path,
          "[General]\nVersion=2.0\nMode_Font_Charset=384\nSelectMonitor=1\nSelectMark=3\n"
          "[Filters]\nFilter4=8\nFilterDiv=16\nFilterL0=2\nFilterLDiv=0x10\n"
          "[TitleText]\nUtilityTitle=Board\n[MenuText]\nSubMenuVersion=About\n"
          "[DialogCaption]\nGroupMonitorSelecct=Monitor\nComboColor5=Black\nHintNo=Sheet\n"
          "[MessageText]\nMsgExecuted=Running\n[General]\nCaptureWait=1\n");
    const AppSettings s = ReadSettings(path);
    EXPECT_EQ(s.barTitle(), "Board 2.0");
    EXPECT_EQ(s.Mode_Font_Charset, 384);
    EXPECT_EQ(s.fontCharset(), 128) << "only the low byte is a character set";
    EXPECT_EQ(s.SelectMonitor, 1);
    EXPECT_EQ(s.SelectMark, 3);
    EXPECT_EQ(s.Filter[4], 8);
    EXPECT_EQ(s.Filter[3], 1);
    EXPECT_EQ(s.FilterDiv, 16);
    EXPECT_EQ(s.FilterL[0], 2);
    EXPECT_EQ(s.FilterLDiv, 16);
    EXPECT_EQ(s.SubMenuVersion, "About");
    EXPECT_EQ(s.GroupMonitorSelecct, "Monitor");
    EXPECT_EQ(s.ComboColor[4], "Black");
    EXPECT_EQ(s.HintNo, "Sheet");
    EXPECT_EQ(s.MsgExecuted, "Running");
    EXPECT_EQ(s.CaptureWait, 500) << "the first [General] section wins";
    EXPECT_EQ(s.MenuFile, "ファイル(&F)") << "keys not in the file keep their defaults";
}

TEST(SettingsRead, AShiftJisFileReadsAsItsUtf8Twin) {
    Folder f;
    const std::string utf8 =
        "[General]\r\nMode_Font=ＭＳ 明朝\r\n[DialogCaption]\r\nHintScan=読み取り\r\nButtonOK=了解\r\n"
        "ComboDisplay1=モニター１\r\n[MessageText]\r\nMsgConfirmation=注意\r\nMsgPrintErr=印刷できません．\r\n";
    const std::string sjis = q47::utf8ToCp932(utf8);
    ASSERT_NE(sjis, utf8);
    ASSERT_FALSE(q47::isValidUtf8(sjis));
    write(f.file("utf8.ini"), utf8);
    write(f.file("sjis.ini"), sjis);
    const AppSettings a = ReadSettings(f.file("utf8.ini")), b = ReadSettings(f.file("sjis.ini"));
    EXPECT_TRUE(a == b);
    EXPECT_EQ(b.HintScan, "読み取り");
    EXPECT_EQ(b.Mode_Font, "ＭＳ 明朝");
    EXPECT_EQ(b.ComboDisplay[0], "モニター１");
    EXPECT_EQ(b.MsgPrintErr, "印刷できません．");
}

TEST(SettingsWrite, ConfirmingWritesOnlyTheTwoSelectionsAndCreatesTheFile) {
    Folder f;
    const auto path = f.file("SlateWise.ini");
    AppSettings s;
    s.SelectMonitor = 1;
    s.SelectMark = 4;
    s.CaptureWait = 900;
    s.HintScan = "changed";
    ASSERT_TRUE(WriteSelections(s, path));
    const std::string text = read(path);
    EXPECT_EQ(keysOf(text), (std::set<std::string>{"General/SelectMonitor", "General/SelectMark"}));
    const AppSettings back = ReadSettings(path);
    EXPECT_EQ(back.SelectMonitor, 1);
    EXPECT_EQ(back.SelectMark, 4);
    EXPECT_EQ(back.CaptureWait, 500);
}

TEST(SettingsWrite, AnExistingFileKeepsEverythingElse) {
    Folder f;
    const auto path = f.file("SlateWise.ini");
    write(path, "; my board\r\n[General]\r\nSelectMark=1\r\nCaptureWait=800\r\n[DialogCaption]\r\nHintScan=Scan\r\n");
    AppSettings s = ReadSettings(path);
    s.SelectMark = 2;
    s.SelectMonitor = 3;
    ASSERT_TRUE(WriteSelections(s, path));
    const std::string text = read(path);
    for (const char* kept : {"; my board\r\n", "CaptureWait=800\r\n", "[DialogCaption]\r\nHintScan=Scan\r\n"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    EXPECT_EQ(text.find("SelectMark=1"), std::string::npos);
    const AppSettings back = ReadSettings(path);
    EXPECT_EQ(back.SelectMark, 2);
    EXPECT_EQ(back.SelectMonitor, 3);
    EXPECT_EQ(back.CaptureWait, 800);
}

TEST(SettingsWrite, AFileThatCannotBeWrittenIsReportedAndLeftAlone) {
    Folder f;
    fs::create_directory(f.file("dir.ini"));
    EXPECT_FALSE(WriteSelections(AppSettings{}, f.file("dir.ini")));
    EXPECT_FALSE(WriteSelections(AppSettings{}, f.file("missing/SlateWise.ini")));
}

TEST(SettingsPathRule, TheFileLiesInTheSettingsFolder) {
    Folder f;
    ::setenv("Q47_HOME", f.path().c_str(), 1);
    EXPECT_EQ(SettingsPath(), f.file("SlateWise.ini"));
    AppSettings s;
    s.SelectMark = 2;
    ASSERT_TRUE(WriteSelections(s));
    EXPECT_EQ(ReadSettings().SelectMark, 2);
    ::unsetenv("Q47_HOME");
}

TEST(LanguageFiles, JapaneseEqualsTheDefaultsAndAllThreeHaveTheSameKeys) {
    const AppSettings jpn = ReadSettings(languageFile("JPN"));
    EXPECT_TRUE(jpn == AppSettings{}) << "the Japanese file holds exactly the built-in texts";
    const auto keys = keysOf(read(languageFile("JPN")));
    EXPECT_EQ(keys.size(), 79u) << "every key of the settings file";
    for (const char* code : {"ENG", "CHS"}) {
        EXPECT_EQ(keysOf(read(languageFile(code))), keys) << code;
        const AppSettings s = ReadSettings(languageFile(code));
        EXPECT_NE(s.MsgConfirmation, jpn.MsgConfirmation) << code;
        EXPECT_NE(s.ButtonOK, jpn.ButtonOK) << code;
    }
    EXPECT_EQ(ReadSettings(languageFile("ENG")).ButtonOK, "OK");
}

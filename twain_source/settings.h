// Q47Tw.ini: the data source's texts, fonts and colours, which double as its language file.
//
// Every value is read through readSetting, which writes the value straight back, so
// after the first window the file lists every key with its value. Key names are
// stored padded with underscores to 20 characters ("MsgErrorE1__________").
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace q47::twain_source {

constexpr const char* kSettingsFileName = "Q47Tw.ini";
constexpr size_t kPaddedKeyLength = 20;
// GetPrivateProfileString buffer of the reader: at most 1023 characters per value.
constexpr size_t kValueBufferSize = 1024;

// One key of the file, in reading order.
struct SettingKey {
    const char* section;
    const char* key;
    const char* defaultValue;
};
// Every key loadTexts reads, in reading order ([General] ... [ToolTips]); the dialog
// font keys DefaultFontName and DefaultFontSize are read separately (readDialogFont).
const std::vector<SettingKey>& settingKeys();
// The English default of key, or "" for a key not in the file.
std::string defaultSetting(const std::string& key);

// key padded on the right with '_' to 20 characters; a longer key is cut to 20.
std::string padKey(const std::string& key);

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};
// "r,g,b" split from the left in three atoi steps; a step that finds no comma gives 0
// and keeps the whole text for the next step ("10,20" is 10,0,20; "255" is 0,0,255).
// Each part is taken modulo 256.
Rgb parseColour(const std::string& text);
// DefaultFontSize: digit by digit (value * 10 + (c - '0') for every character, none
// rejected), then * 10: tenths of a point.
int parseDefaultFontSize(const std::string& text);

// A font group of [FontInfo]: Caption, ImageFace or StatusLbl.
struct FontSpec {
    std::string name;
    int pointSize = 0;  // atoi
    int weight = 0;     // atoi
    Rgb colour;
};

// The dialog font of [MainDialog] (read when the window's controls are created).
struct DialogFont {
    std::string name;
    int tenthsOfPoint = 0;
};

// Everything loadTexts read: values by (unpadded) key, UTF-8.
class Texts {
public:
    // Starts with the English defaults of every key of settingKeys().
    Texts();
    // The value of key; "" for a key that is not in settingKeys().
    const std::string& text(const std::string& key) const;
    // Font group "Caption", "ImageFace" or "StatusLbl" (the four keys group + FontName,
    // FontSize, FontWeight, FontColor).
    FontSpec font(const std::string& group) const;
    const std::string& language() const { return text("Language"); }

    void set(const std::string& key, std::string value) { values_[key] = std::move(value); }
    size_t size() const { return values_.size(); }

private:
    std::map<std::string, std::string> values_;
};

enum class Language { English, Japanese, Chinese };
// "ENG", "JPN", "CHS": the folder of the language file under Loc.
const char* languageCode(Language lang);
// "ENGLISH", "JAPANESE", "CHINESE".
const char* languageName(Language lang);

// The settings file of one data source.
class SettingsFile {
public:
    explicit SettingsFile(std::filesystem::path path) : path_(std::move(path)) {}
    // Q47Tw.ini in the settings folder of a module that lies in moduleDir.
    static SettingsFile inSettingsFolder(const std::filesystem::path& moduleDir);

    const std::filesystem::path& path() const { return path_; }

    // Reads key (padded) of section, def when absent, at most 1023 bytes, writes the
    // value back unchanged (creating file and key), returns it decoded to UTF-8 (a
    // language file written on Windows in CP932 reads correctly and stays CP932).
    std::string readSetting(const std::string& section, const std::string& key,
                            const std::string& def) const;

    // Reads every key of settingKeys() in order.
    Texts loadTexts() const;
    DialogFont readDialogFont() const;

    // Copies Loc/<code>/Q47Tw.ini over the file and reloads the texts into *texts.
    // The language file is looked up beside the settings file, else in the installed
    // data folder. A missing source leaves the file as it was (the texts are reloaded
    // from it all the same); returns whether the copy happened.
    bool switchLanguage(Language lang, Texts* texts) const;

private:
    std::filesystem::path path_;
};

}  // namespace q47::twain_source

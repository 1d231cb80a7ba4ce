// Reading, writing back and parsing the values of Q47Tw.ini, and the language switch.
#include "twain_source/settings.h"

#include <limits>
#include <system_error>

#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace q47::twain_source {

namespace {

const std::vector<SettingKey> kKeys = {
    {"General", "Language", "ENGLISH"},

    {"FontInfo", "CaptionFontName", "MS Sans Serif"},
    {"FontInfo", "CaptionFontSize", "14"},
    {"FontInfo", "CaptionFontWeight", "700"},
    {"FontInfo", "CaptionFontColor", "0,0,0"},
    {"FontInfo", "ImageFaceFontName", "MS Sans Serif"},
    {"FontInfo", "ImageFaceFontSize", "8"},
    {"FontInfo", "ImageFaceFontWeight", "500"},
    {"FontInfo", "ImageFaceFontColor", "255,0,0"},
    {"FontInfo", "StatusLblFontName", "MS Sans Serif"},
    {"FontInfo", "StatusLblFontSize", "8"},
    {"FontInfo", "StatusLblFontWeight", "600"},
    {"FontInfo", "StatusLblFontColor", "120,120,120"},
    {"FontInfo", "CommandBtnFontName", "MS Sans Serif"},
    {"FontInfo", "CommandBtnFontSize", "8"},

    {"MenuItem", "MenuEnglish", "ENGLISH"},
    {"MenuItem", "MenuJapanese", "JAPANESE"},
    {"MenuItem", "MenuChinese", "CHINESE"},

    {"MainDialog", "DialogTitle", "Q-47 Series TWAIN Driver Ver.1.00"},
    {"MainDialog", "MainCaption", "ZELT SLATEWISE Q-47"},
    {"MainDialog", "LabelComp", "COMP"},
    {"MainDialog", "LabelPCScan", "PC"},
    {"MainDialog", "LabelDensityHigh", "DENSITY"},
    {"MainDialog", "LabelColor", "COLOR"},
    {"MainDialog", "LabelStop", "STOP"},
    {"MainDialog", "LabelAspect", "Aspect Ratio"},
    {"MainDialog", "LabelStatus", "Ready"},
    {"MainDialog", "LabelFirmVersion", "Version:"},
    {"MainDialog", "LabelDeviceType", "Model:"},
    {"MainDialog", "GroupImageRes", "Image Resolution"},
    {"MainDialog", "RadioImageRes1", "200 dpi"},
    {"MainDialog", "ButtonAcquire", "Acquire"},
    {"MainDialog", "ButtonClose", "Close"},
    {"MainDialog", "ButtonClose2", "Close"},

    {"Messages", "MsgStatusStandby", "Ready"},
    {"Messages", "MsgStatusScanPrint", "Scanning and print is in progress..."},
    {"Messages", "MsgStatusScanMemory", "Scanning and save is in progress..."},
    {"Messages", "MsgStatusPrint", "Print is in progress..."},
    {"Messages", "MsgStatusMemory", "Save is in progress..."},
    {"Messages", "MsgStatusFeed", "Sheet-scroll is in progress..."},
    {"Messages", "MsgStatusScanPC", "Acquiring image from Q-47..."},
    {"Messages", "MsgStatusTransImage", "Image transfer is in progress..."},
    {"Messages", "MsgComplete", "Completed."},
    {"Messages", "MsgFileOpenError", "Unable to open the file:"},
    {"Messages", "MsgUSBOpenError", "USB could not be opened !"},
    {"Messages", "MsgSendPktError", "Send packet to Q-47 via USB failed !"},
    {"Messages", "MsgReceivePktError", "Receive packet from Q-47 via USB failed !"},
    {"Messages", "MsgReceiveBadPkt", "Receive bad packet from Q-47 devive !"},
    {"Messages", "MsgErrorE1", "(E1 ERROR)Printer error."},
    {"Messages", "MsgErrorE2", "(E2 ERROR)Cannot recognize the USB memory device."},
    {"Messages", "MsgErrorE3", "(E3 ERROR)Cannot save to the USB memory device."},
    {"Messages", "MsgErrorE4", "(E4 ERROR)Scanner error."},
    {"Messages", "MsgErrorE5", "(E5 ERROR)Internal error."},
    {"Messages", "MsgErrorE6", "(E6 ERROR)Cannot found page boundary."},
    {"Messages", "MsgErrorUS", "(US ERROR)No USB memory device."},
    {"Messages", "MsgErrorFL", "(FL ERROR)The USB memory device is full."},
    {"Messages", "MsgErrorEL", "(EL ERROR)This printer is not supported."},
    {"Messages", "MsgErrorOTHER", "ERROR"},

    {"ToolTips", "ToolTipComp", "Scan image to PC"},
    {"ToolTips", "ToolTipPCScan", "Scan image to PC"},
    {"ToolTips", "ToolTipDensity", "Density"},
    {"ToolTips", "ToolTipColor", "Color"},
    {"ToolTips", "ToolTipStop", "Stop ongoing"},
};

const SettingKey kDialogFontName = {"MainDialog", "DefaultFontName", "MS Sans Serif"};
const SettingKey kDialogFontSize = {"MainDialog", "DefaultFontSize", "8"};

// The leading number of text, atoi style, and the rest after the first comma. Without
// a comma the number is 0 and the whole text is kept: that is how the board's original
// settings reader split colours, so "255" alone is blue.
int takeColourPart(std::string& text) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) return 0;
    int value = ini::atoiValue(text.substr(0, comma));
    text.erase(0, comma + 1);
    return value;
}

uint8_t modulo256(int v) { return static_cast<uint8_t>(static_cast<unsigned>(v) & 0xFF); }

}  // namespace

const std::vector<SettingKey>& settingKeys() { return kKeys; }

std::string defaultSetting(const std::string& key) {
    for (const auto& k : kKeys)
        if (key == k.key) return k.defaultValue;
    if (key == kDialogFontName.key) return kDialogFontName.defaultValue;
    if (key == kDialogFontSize.key) return kDialogFontSize.defaultValue;
    return {};
}

std::string padKey(const std::string& key) {
    return (key + std::string(kPaddedKeyLength, '_')).substr(0, kPaddedKeyLength);
}

Rgb parseColour(const std::string& text) {
    std::string rest = text;
    int r = takeColourPart(rest);
    int g = takeColourPart(rest);
    int b = ini::atoiValue(rest);
    return {modulo256(r), modulo256(g), modulo256(b)};
}

int parseDefaultFontSize(const std::string& text) {
    // Unsigned arithmetic: a long or odd text wraps instead of overflowing.
    unsigned value = 0;
    for (unsigned char c : text) value = value * 10u + (c - unsigned('0'));
    return static_cast<int>(value * 10u);
}

Texts::Texts() {
    for (const auto& k : kKeys) values_[k.key] = k.defaultValue;
}

const std::string& Texts::text(const std::string& key) const {
    static const std::string kNone;
    auto it = values_.find(key);
    return it != values_.end() ? it->second : kNone;
}

FontSpec Texts::font(const std::string& group) const {
    FontSpec f;
    f.name = text(group + "FontName");
    f.pointSize = ini::atoiValue(text(group + "FontSize"));
    f.weight = ini::atoiValue(text(group + "FontWeight"));
    f.colour = parseColour(text(group + "FontColor"));
    return f;
}

const char* languageCode(Language lang) {
    switch (lang) {
        case Language::Japanese: return "JPN";
        case Language::Chinese: return "CHS";
        default: return "ENG";
    }
}

const char* languageName(Language lang) {
    switch (lang) {
        case Language::Japanese: return "JAPANESE";
        case Language::Chinese: return "CHINESE";
        default: return "ENGLISH";
    }
}

namespace {

// The first bytes of a value that fit into the reader's buffer, ending at a whole
// character: UTF-8 when the value is UTF-8, else CP932 as written on Windows. A lead
// byte cut from its trail byte would turn into a replacement character on reading and
// be written back into the file for good.
std::string cutToBuffer(const std::string& value) {
    const size_t limit = kValueBufferSize - 1;
    if (value.size() <= limit) return value;
    const bool utf8 = isValidUtf8(value);
    size_t n = 0;
    while (n < value.size()) {
        const std::string_view rest(value.data() + n, value.size() - n);
        size_t len = utf8 ? utf8CharLength(rest) : cp932CharLength(rest);
        if (len == 0) len = 1;
        if (n + len > limit) break;
        n += len;
    }
    return value.substr(0, n);
}

}  // namespace

SettingsFile SettingsFile::inSettingsFolder(const std::filesystem::path& moduleDir) {
    return SettingsFile(paths::settingsFolder(moduleDir, kSettingsFileName) / kSettingsFileName);
}

std::string SettingsFile::readSetting(const std::string& section, const std::string& key,
                                      const std::string& def) const {
    const std::string padded = padKey(key);
    // Raw bytes go back into the file as they were, so a CP932 language file stays
    // CP932; only the returned text is decoded.
    std::string raw = cutToBuffer(ini::readString(path_.string(), section, padded, def,
                                                  std::numeric_limits<size_t>::max()));
    ini::writeString(path_.string(), section, padded, raw);
    return toUtf8(raw);
}

Texts SettingsFile::loadTexts() const {
    Texts texts;
    for (const auto& k : kKeys) texts.set(k.key, readSetting(k.section, k.key, k.defaultValue));
    return texts;
}

DialogFont SettingsFile::readDialogFont() const {
    DialogFont f;
    f.name = readSetting(kDialogFontName.section, kDialogFontName.key, kDialogFontName.defaultValue);
    f.tenthsOfPoint = parseDefaultFontSize(
        readSetting(kDialogFontSize.section, kDialogFontSize.key, kDialogFontSize.defaultValue));
    return f;
}

bool SettingsFile::switchLanguage(Language lang, Texts* texts) const {
    const auto source =
        paths::languageFolder(path_.parent_path(), languageCode(lang)) / kSettingsFileName;
    std::error_code ec;
    bool copied = false;
    if (std::filesystem::is_regular_file(source, ec)) {
        copied = std::filesystem::copy_file(
            source, path_, std::filesystem::copy_options::overwrite_existing, ec);
        copied = copied && !ec;
    }
    if (texts) {
        texts->set("Language", languageName(lang));
        *texts = loadTexts();  // reads Language again from the file now in place
    }
    return copied;
}

}  // namespace q47::twain_source

// Reading SlateWise.ini into AppSettings, and writing the two setup selections back.
#include "capture/settings.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/ini.h"
#include "platform/paths.h"

namespace q47::capture {

namespace {

constexpr const char* kFileName = "SlateWise.ini";
// Longest text a key may give; the windows show short captions and messages.
constexpr size_t kTextLimit = 1024;

// Reads keys in the record's order from one document, so a file is read once.
class Reader {
public:
    explicit Reader(const ini::Document& doc) : doc_(doc) {}
    void text(const char* section, const char* key, std::string& field) {
        field = doc_.getText(section, key, field, kTextLimit);
    }
    void integer(const char* section, const char* key, int32_t& field) {
        if (!doc_.has(section, key)) return;
        field = ParseSettingInteger(doc_.get(section, key, "", kTextLimit), field);
    }

private:
    const ini::Document& doc_;
};

bool parseDigits(const std::string& s, size_t from, int base, bool negative, int32_t& out) {
    if (from >= s.size()) return false;
    long long value = 0;
    for (size_t i = from; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        value = value * base + d;
        if (value > 0x100000000LL) return false;
    }
    if (negative) value = -value;
    if (base == 16) {
        // "0xFFFFFFFF" is how a 32-bit value is written in hexadecimal: -1.
        if (value > 0xFFFFFFFFLL) return false;
        out = static_cast<int32_t>(static_cast<uint32_t>(value));
        return true;
    }
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

}  // namespace

int32_t ParseSettingInteger(const std::string& text, int32_t def) {
    int32_t out = def;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseDigits(text, 2, 16, false, out) ? out : def;
    size_t from = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        from = 1;
    }
    return parseDigits(text, from, 10, negative, out) ? out : def;
}

std::filesystem::path SettingsPath() {
    return paths::settingsFolder(paths::programFolder(), kFileName) / kFileName;
}

AppSettings ReadSettings(const std::filesystem::path& path) {
    AppSettings s;
    const ini::Document doc = ini::Document::load(path.string());
    Reader r(doc);
    r.text("General", "Version", s.Version);
    r.text("General", "Language", s.Language);
    r.text("General", "Mode_Font", s.Mode_Font);
    r.integer("General", "Mode_Font_Charset", s.Mode_Font_Charset);
    r.integer("General", "Mode_Font_Size", s.Mode_Font_Size);
    r.integer("General", "SelectMonitor", s.SelectMonitor);
    r.integer("General", "SelectMark", s.SelectMark);
    r.integer("General", "CaptureWait", s.CaptureWait);
    for (int i = 0; i < 9; ++i) r.integer("Filters", ("Filter" + std::to_string(i)).c_str(), s.Filter[i]);
    r.integer("Filters", "FilterDiv", s.FilterDiv);
    for (int i = 0; i < 9; ++i) r.integer("Filters", ("FilterL" + std::to_string(i)).c_str(), s.FilterL[i]);
    r.integer("Filters", "FilterLDiv", s.FilterLDiv);
    r.text("TitleText", "UtilityTitle", s.UtilityTitle);

    const char* menu = "MenuText";
    r.text(menu, "MenuFile", s.MenuFile);
    r.text(menu, "MenuHelp", s.MenuHelp);
    r.text(menu, "SubMenuOverWrite", s.SubMenuOverWrite);
    r.text(menu, "SubMenuSave", s.SubMenuSave);
    r.text(menu, "SubMenuPrint", s.SubMenuPrint);
    r.text(menu, "SubMenuHelp", s.SubMenuHelp);
    r.text(menu, "SubMenuVersion", s.SubMenuVersion);

    const char* dlg = "DialogCaption";
    r.text(dlg, "FrameSetUp", s.FrameSetUp);
    r.text(dlg, "FrameGetImage", s.FrameGetImage);
    r.text(dlg, "FrameDisplay", s.FrameDisplay);
    r.text(dlg, "FrameVersion", s.FrameVersion);
    r.text(dlg, "GroupMonitorSelecct", s.GroupMonitorSelecct);
    r.text(dlg, "GroupPosColorSelect", s.GroupPosColorSelect);
    for (int i = 0; i < 5; ++i) r.text(dlg, ("ComboColor" + std::to_string(i + 1)).c_str(), s.ComboColor[i]);
    for (int i = 0; i < 5; ++i)
        r.text(dlg, ("ComboDisplay" + std::to_string(i + 1)).c_str(), s.ComboDisplay[i]);
    r.text(dlg, "LabelProjectorUse", s.LabelProjectorUse);
    r.text(dlg, "ButtonOK", s.ButtonOK);
    r.text(dlg, "ButtonCancel", s.ButtonCancel);
    r.text(dlg, "ButtonYes", s.ButtonYes);
    r.text(dlg, "ButtonNo", s.ButtonNo);
    r.text(dlg, "HintScan", s.HintScan);
    r.text(dlg, "HintMark", s.HintMark);
    r.text(dlg, "HintSet", s.HintSet);
    r.text(dlg, "HintMin", s.HintMin);
    r.text(dlg, "HintHelp", s.HintHelp);
    r.text(dlg, "HintClose", s.HintClose);
    r.text(dlg, "HintSave", s.HintSave);
    r.text(dlg, "HintAspect", s.HintAspect);
    r.text(dlg, "HintActualSize", s.HintActualSize);
    r.text(dlg, "HintYes", s.HintYes);
    r.text(dlg, "HintNo", s.HintNo);

    const char* msg = "MessageText";
    r.text(msg, "MsgCaptureErr", s.MsgCaptureErr);
    r.text(msg, "MsgInitScanErr", s.MsgInitScanErr);
    r.text(msg, "MsgExecScanErr", s.MsgExecScanErr);
    r.text(msg, "MsgFileSaveErr", s.MsgFileSaveErr);
    r.text(msg, "MsgAutoDetectErr", s.MsgAutoDetectErr);
    r.text(msg, "MsgPrintErr", s.MsgPrintErr);
    r.text(msg, "MsgConfirmation", s.MsgConfirmation);
    r.text(msg, "MsgFileNotSave", s.MsgFileNotSave);
    r.text(msg, "MsgFileNotSaveApp", s.MsgFileNotSaveApp);
    r.text(msg, "MsgScanning", s.MsgScanning);
    r.text(msg, "MsgExecuted", s.MsgExecuted);
    return s;
}

AppSettings ReadSettings() { return ReadSettings(SettingsPath()); }

bool WriteSelections(const AppSettings& settings, const std::filesystem::path& path) {
    ini::Document doc = ini::Document::load(path.string());
    // A file that is there but could not be read must not be replaced by two keys.
    std::error_code ec;
    if (!doc.existed() && std::filesystem::exists(path, ec)) return false;
    if (!doc.set("General", "SelectMonitor", std::to_string(settings.SelectMonitor))) return false;
    if (!doc.set("General", "SelectMark", std::to_string(settings.SelectMark))) return false;
    return doc.save(path.string());
}

bool WriteSelections(const AppSettings& settings) { return WriteSelections(settings, SettingsPath()); }

}  // namespace q47::capture

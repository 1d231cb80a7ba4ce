// The language file's keys and defaults, and reading them.
#include "utility/utility_texts.h"

#include "platform/ini.h"

namespace q47::utility {

namespace {
// Values are read with a 200-byte buffer.
constexpr size_t kValueBuffer = 200;
}  // namespace

const std::vector<TextKey>& textKeys() {
    static const std::vector<TextKey> keys = {
        {"General", "Mode_Font", "MS Sans Serif"},
        {"General", "Mode_Font_Size", "8"},
        {"General", "Version", "1.01"},
        {"General", "Language", "ENGLISH"},
        {"TitleText", "UtilityDialogTitle", "Q-47 Series Setup Utility Ver."},
        {"MenuText", "MenuEnglish", "&English"},
        {"MenuText", "MenuJapanese", "&Japanese"},
        {"MenuText", "MenuChinese", "&Chinese"},
        {"DialogCaption", "ButtonReset", "Reset"},
        {"DialogCaption", "ButtonOK", "OK"},
        {"DialogCaption", "ButtonCancel", "Cancel"},
        {"DialogCaption", "ButtonApply", "Apply"},
        {"DialogCaption", "ButtonUpgrade", "Update"},
        {"DialogCaption", "ButtonFileSelect", "..."},
        {"DialogCaption", "ButtonClose", "Close"},
        {"DialogCaption", "LabelFirmVersionVal", "V1.10"},
        {"DialogCaption", "LabelFirmName", "Update File Name"},
        {"DialogCaption", "LabelFirmVersion", "Firmware Version"},
        {"DialogCaption", "LabelScanLineDotsVal", ""},
        {"DialogCaption", "LabelFeedLinesVal", ""},
        {"DialogCaption", "LabelDeviceTypeVal", ""},
        {"DialogCaption", "LabelFeedLines", "Feed Lines"},
        {"DialogCaption", "LabelDeviceType", "Device Type"},
        {"DialogCaption", "FrameMaintenance", "Maintenance Functions"},
        {"DialogCaption", "FramePrintMode", "Print Setting"},
        {"DialogCaption", "FrameSaveMode", "Save Setting"},
        {"DialogCaption", "FrameTimeStamp", "Time Stamp"},
        {"DialogCaption", "FrameMargin", "Binding Margin"},
        {"DialogCaption", "FramePaper", "Paper Size"},
        {"DialogCaption", "FrameAspect", "Aspect Ratio"},
        {"DialogCaption", "RadioTimeStampEnable", "Enable"},
        {"DialogCaption", "RadioTimeStampDisable", "Disable"},
        {"DialogCaption", "RadioMarginEnable", "Enable"},
        {"DialogCaption", "RadioMarginDisable", "Disable"},
        {"DialogCaption", "RadioOriginalImage", "Original Image"},
        {"DialogCaption", "RadioMatchPaperSize", "Match Paper Size"},
        {"DialogCaption", "RadioA4", "A4"},
        {"DialogCaption", "RadioLetter", "Letter"},
        {"DialogCaption", "RadioFull", "Full"},
        {"DialogCaption", "RadioProgram", "Program"},
        {"MessageText", "MessageFileOpenError", "Unable to open the file:"},
        {"MessageText", "MsgFileOpenError", "Unable to open the file:"},
        {"MessageText", "MsgUSBOpenError",
         "USB could not be opened ! Please make sure USB cable has been firmly plugged in, Q-47 "
         "USB driver has been correctly installed and Q-47 has been powered on normally."},
        {"MessageText", "MsgSendPktError",
         "Send packet through Q-47 Bulk-out endpoint failed ! Please check USB connection again."},
        {"MessageText", "MsgReceivePktError",
         "Receive packet through Q-47 Bulk-in endpoint failed ! Please check USB connection "
         "again."},
        {"MessageText", "MsgReceiveBadPkt", "Receive bad packet from Q-47 !"},
        {"MessageText", "MsgScanInProgress", "Image Scan is in progress..."},
        {"MessageText", "MsgUpgradeInProgress", "Firmware update is in progress..."},
        {"MessageText", "MsgComplete", "Completed."},
        {"MessageText", "MsgSetWOK", "Writing set data into Q-47 flash memory succeeded !"},
        {"MessageText", "MsgSetWNG", "Writing set data into Q-47 flash memory failed !"},
        {"MessageText", "MsgFirmUpOK", "Q-47 firmware update succeeded !"},
        {"MessageText", "MsgFirmUpNG", "Q-47 firmware update failed !"},
        {"MessageText", "MsgBadSTypeFile", "Bad S format file !"},
        {"MessageText", "MsgSaveImage", "Do you want to save the PCB test image into file ?"},
    };
    return keys;
}

UtilityTexts::UtilityTexts() {
    for (const auto& k : textKeys()) texts_[k.key] = k.defaultValue;
}

void UtilityTexts::loadTexts(const std::string& path, bool atStart) {
    const ini::Document doc = ini::Document::load(path);
    for (const auto& k : textKeys()) {
        if (!atStart && std::string(k.key) == "LabelFirmVersionVal") continue;
        texts_[k.key] = doc.getText(k.section, k.key, k.defaultValue, kValueBuffer);
    }
}

const std::string& UtilityTexts::text(const std::string& key) const {
    static const std::string none;
    auto it = texts_.find(key);
    return it == texts_.end() ? none : it->second;
}

int UtilityTexts::fontSize() const {
    return ini::atoiValue(text("Mode_Font_Size"));
}

}  // namespace q47::utility

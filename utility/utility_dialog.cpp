// UtilityDialog: start-up, timers, packet building, settings and the enabling rules.
#include "utility/utility_dialog.h"

#include <ctime>

#include "board/packet.h"

namespace q47::utility {

int settingIndex(uint8_t command) {
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettingCommand[i] == command) return i;
    return -1;
}

const char* settingName(Setting s) {
    static const char* const names[kSettingCount] = {"print-mode", "save-mode", "paper", "margin",
                                                     "time-stamp"};
    return names[s];
}

ClockValue localClockNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min};
}

UtilityDialog::UtilityDialog(UtilityEnvironment env)
    : timers_(env.timers),
      notifier_(env.notifier),
      view_(env.view),
      workFolder_(std::move(env.workFolder)),
      link_(std::move(env.deviceSpec), std::move(env.openChannel)) {
    timers_.setCallback([this](int id) { onTimer(id); });
    pickerClock_ = localClockNow();
    setDialogDefaults();
}

UtilityDialog::~UtilityDialog() {
    destroy();
}

void UtilityDialog::destroy() {
    timers_.stop(kLinkTimer);
    timers_.stop(kReconnectTimer);
}

void UtilityDialog::initialise() {
    if (!link_.openDevice()) message("MsgUSBOpenError", link_.boardBusy() ? kBoardInUseNote : "");
    applyTexts();
    view_.setProgressVisible(false);
    resetLinkState();
    restartQueries();
}

void UtilityDialog::resetLinkState() {
    link_.resetQueue();
    link_.awaitingReply = false;
    packetStart_ = true;
    linkState_ = 0;
    closeAfterClock_ = false;
}

void UtilityDialog::setDialogDefaults() {
    for (int i = 0; i < kSettingCount; ++i)
        dialogValues_[i] = committedValues_[i] = kSettingDefault[i];
    dirty_ = updating_ = lastBlockSent_ = wideModel_ = false;
}

void UtilityDialog::applyTexts() {
    setDialogDefaults();
    firmware_.close();
    view_.showSettings(dialogValues_);
    if (firmwareVersionText_.empty()) firmwareVersionText_ = texts_.text("LabelFirmVersionVal");
    view_.showFirmwareVersion(firmwareVersionText_);
    refreshControls();
}

void UtilityDialog::queueStartupQueries() {
    const uint8_t order[] = {
        board::DeviceInfo, board::FirmwareVersion, PrintImageMode, SaveImageMode,
        PaperSize,         BindingMargin,          TimeStamp,      board::Status};
    for (uint8_t c : order) queueCommand(c, 0);
}

void UtilityDialog::restartQueries() {
    timers_.start(kLinkTimer, kBusyPeriodMs);
    timers_.start(kReconnectTimer, kBusyPeriodMs);
    queueStartupQueries();
    setControlsEnabled(false);
}

void UtilityDialog::onTimer(int id) {
    if (id == kLinkTimer)
        onLinkTimer();
    else if (id == kReconnectTimer)
        onReconnectTimer();
}

void UtilityDialog::onReconnectTimer() {
    if (link_.deviceOpen && link_.handleValid()) return;
    if (link_.openDevice()) timers_.start(kReconnectTimer, kBusyPeriodMs);
}

void UtilityDialog::onLinkTimer() {
    if (!link_.queueEmpty() && !link_.awaitingReply && link_.deviceOpen && link_.handleValid()) {
        if (link_.sendNextPacket())
            packetStart_ = true;
        else
            link_.deviceOpen = false;  // the reconnect timer reopens; the packet waits
    }
    if (link_.awaitingReply && !receiveReply()) {
        ++linkFailures_;
        timers_.stop(kLinkTimer);
    }
    if (linkState_ == 2) {
        setControlsEnabled(true);
        view_.showFirmwareVersion(firmwareVersionText_);
        linkState_ = 0;
    }
}

// --- packets ---

std::vector<uint8_t> UtilityDialog::buildCommand(uint8_t command, int argument) const {
    std::vector<uint8_t> params;
    const int setting = settingIndex(command);
    if (command == board::PanelKey) {
        params.push_back(uint8_t(argument));
    } else if (command == BoardClock && argument != 0) {
        const ClockValue& c = pickerClock_;
        params = {uint8_t(c.year), uint8_t(c.year >> 8), uint8_t(c.month),
                  uint8_t(c.day),  uint8_t(c.hour),      uint8_t(c.minute)};
    } else if (setting >= 0 && argument != 0) {
        params.push_back(dialogValues_[setting]);
    } else if (command == FirmwareUpdate) {
        const std::string& text = argument == 1 ? firmwarePath_ : firmware_.blockText();
        params.push_back(argument == 1 ? 0 : firmware_.atEnd() ? 2 : 1);
        params.insert(params.end(), text.begin(), text.end());
        params.push_back(0);
    }
    return board::encodeFrame(command, params);
}

void UtilityDialog::queueCommand(uint8_t command, int argument) {
    link_.queuePacket(buildCommand(command, argument));
    packetStart_ = true;
    linkState_ = 1;
}

// --- settings ---

void UtilityDialog::selectSetting(Setting s, uint8_t value) {
    dialogValues_[s] = value ? 1 : 0;
    if (dialogValues_[s] != committedValues_[s]) dirty_ = true;
    refreshControls();
}

void UtilityDialog::setPickerClock(const ClockValue& c) {
    pickerClock_ = c;
    dirty_ = true;
    refreshControls();
}

void UtilityDialog::queueSettings(bool closeAfter) {
    timers_.stop(kLinkTimer);
    for (uint8_t command : kSettingCommand) queueCommand(command, 1);
    queueCommand(BoardClock, 1);
    setLinkTimer(kBusyPeriodMs);
    dirty_ = false;
    closeAfterClock_ = closeAfter;
    setControlsEnabled(false);
}

void UtilityDialog::apply() {
    queueSettings(false);
}
void UtilityDialog::ok() {
    queueSettings(true);
}

void UtilityDialog::reset() {
    for (int i = 0; i < kSettingCount; ++i) dialogValues_[i] = kSettingDefault[i];
    dirty_ = dialogValues_ != committedValues_;
    view_.showSettings(dialogValues_);
    refreshControls();
}

// --- enabling rules ---

void UtilityDialog::setControlsEnabled(bool enable) {
    enabled_ = enable;
    if (enable) fileBoxDisabled_ = false;
    refreshControls();
}

void UtilityDialog::refreshControls() {
    ControlStates s;
    const bool on = enabled_ && !updating_;
    s.reset = s.ok = s.cancel = s.fileSelect = s.fileName = on;
    s.timeStamp = s.margin = s.paper = s.pickers = on;
    s.imageModes = on && wideModel_;
    if (fileBoxDisabled_) s.fileName = false;
    s.update = !firmwarePath_.empty() && !updating_;
    s.apply = dirty_;
    if (updating_) s.cancel = true;
    controls_ = s;
    view_.setControls(s);
}

void UtilityDialog::message(const std::string& key, const std::string& suffix) {
    notifier_.messageBox(texts_.text(key) + suffix, texts_.title(), MsgIcon::Exclamation,
                         MsgButtons::Ok);
}

}  // namespace q47::utility

// UtilityDialog core: the maintenance utility's board link, settings and firmware update.
//
// The Qt window (view/utility_window) and q47ctl both drive this one object: it owns
// the link to the board, the five board settings with their dialog and committed
// values, the firmware update and the test image. Two timers pace it through a
// TimerHost (link timer 1, reconnect timer 2); it draws through a UtilityView and
// shows messages through a Notifier. Everything runs on one thread.
//
//   UtilityDialog dlg({timers, notifier, view, workFolder, deviceSpec});
//   dlg.initialise();        // open the board, start both timers, queue the queries
//   ... timers call dlg.onTimer(id); controls call selectSetting(), setPickerClock(),
//       apply(), ok(), reset(), setFirmwarePath(), startFirmwareUpdate() ...
//   dlg.destroy();           // both timers stopped
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/notifier.h"
#include "platform/timer_host.h"
#include "utility/firmware_update.h"
#include "utility/test_image.h"
#include "utility/utility_link.h"
#include "utility/utility_texts.h"

namespace q47::utility {

enum TimerId : int {
    kLinkTimer = 1,       // write the next packet and read its reply
    kReconnectTimer = 2,  // reopen the device when its handle is gone
};
constexpr int kBusyPeriodMs = 50;
constexpr int kIdlePeriodMs = 1000;
constexpr int kRestartWaitMs = 1500;
// Added to the open-failure message when another program holds the board.
constexpr const char* kBoardInUseNote =
    "\n\nThe Q-47 is in use by another program (a scanning application using the Q-47 TWAIN "
    "source?). Close it and try again.";

// The utility's command codes beyond the data source's.
enum UtilityCommand : uint8_t {
    BoardClock = 5,
    PrintImageMode = 6,
    SaveImageMode = 17,
    PaperSize = 18,
    BindingMargin = 19,
    TimeStamp = 20,
    FirmwareUpdate = 22,
};
constexpr uint8_t kReplyIgnored = 0xFE;

// The five board settings, in the order Apply sends them.
enum Setting : int { PrintMode, SaveMode, Paper, Margin, Stamp, kSettingCount };
constexpr uint8_t kSettingCommand[kSettingCount] = {PrintImageMode, SaveImageMode, PaperSize,
                                                    BindingMargin, TimeStamp};
constexpr uint8_t kSettingDefault[kSettingCount] = {1, 1, 0, 0, 1};
// Index of a setting command, or -1.
int settingIndex(uint8_t command);
const char* settingName(Setting s);  // "print-mode", "save-mode", "paper", "margin", "time-stamp"

struct ClockValue {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
    bool operator==(const ClockValue&) const = default;
};
// The computer's local date and time now.
ClockValue localClockNow();

// Enabled state of every control the core decides on.
struct ControlStates {
    bool reset = false, ok = false, cancel = false, apply = false, update = false;
    bool fileSelect = false, fileName = false;
    bool timeStamp = false, margin = false, paper = false, pickers = false, imageModes = false;
    bool operator==(const ControlStates&) const = default;
};

// The window. The core calls these on its own thread.
class UtilityView {
  public:
    virtual ~UtilityView() = default;
    virtual void setControls(const ControlStates& states) = 0;
    // The radio buttons show these dialog values (0 or 1 each).
    virtual void showSettings(const std::array<uint8_t, kSettingCount>& values) = 0;
    virtual void showFirmwareVersion(const std::string& text) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    virtual void showProgress(int percent, const std::string& text) = 0;
    virtual void setCancelCaption(const std::string& caption) = 0;
    // The board acknowledged the clock after OK: the program ends.
    virtual void endDialog() = 0;
    // A test image was decoded; the Qt view shows it modally (timers keep running).
    virtual void showTestImage(TestImage& image) = 0;
};

struct UtilityEnvironment {
    TimerHost& timers;
    Notifier& notifier;
    UtilityView& view;
    std::filesystem::path workFolder;  // rawdata.bin goes here
    std::string deviceSpec;            // as openDeviceChannel takes it
    ChannelOpener openChannel = {};    // empty: openDeviceChannel(deviceSpec)
};

class UtilityDialog {
  public:
    explicit UtilityDialog(UtilityEnvironment env);
    ~UtilityDialog();

    // Dialog start: open the board (a failure shows MsgUSBOpenError once), reset the
    // link, start both timers and queue the start-up queries; controls disabled.
    void initialise();
    // Both timers stopped.
    void destroy();
    void onTimer(int id);
    void onLinkTimer();
    void onReconnectTimer();

    // --- settings (the radio buttons, pickers and buttons of the dialog) ---
    void selectSetting(Setting s, uint8_t value);
    void setPickerClock(const ClockValue& c);  // a change in a picker
    void apply();
    void ok();
    void reset();

    // --- firmware update ---
    // The "Update File Name" box's text.
    void setFirmwarePath(const std::string& path);
    // Update: false when the file cannot be opened (message shown, link resumes).
    bool startFirmwareUpdate();

    // A language switch: texts reloaded by the caller; settings back to their defaults,
    // timers restarted and the start-up queries queued again.
    void restartQueries();
    void applyTexts();

    // Builds the packet queueCommand would queue (length, command, parameters).
    std::vector<uint8_t> buildCommand(uint8_t command, int argument) const;
    void queueCommand(uint8_t command, int argument);

    // --- observation ---
    UtilityTexts& texts() { return texts_; }
    const UtilityLink& link() const { return link_; }
    uint8_t dialogValue(Setting s) const { return dialogValues_[s]; }
    uint8_t committedValue(Setting s) const { return committedValues_[s]; }
    const ClockValue& pickerClock() const { return pickerClock_; }
    bool dirty() const { return dirty_; }
    bool wideModel() const { return wideModel_; }
    char modelLetter() const { return modelLetter_; }
    bool updating() const { return updating_; }
    bool lastBlockSent() const { return lastBlockSent_; }
    bool closeAfterClock() const { return closeAfterClock_; }
    bool packetStart() const { return packetStart_; }
    int linkState() const { return linkState_; }
    const std::string& firmwareVersionText() const { return firmwareVersionText_; }
    // State byte of the last status reply; -1 before the first.
    int lastState() const { return lastState_; }
    int lastError() const { return lastBoardError_; }
    int progressPercent() const { return progress_; }
    const ControlStates& controls() const { return controls_; }
    const FirmwareFile& firmware() const { return firmware_; }
    TestImage& testImage() { return testImage_; }
    int testImagesReceived() const { return testImages_; }
    // Replies that did not match the packet they answered, and link failures so far.
    int mismatches() const { return mismatches_; }
    // Replies 0xFF (the board refused or could not parse the packet) so far.
    int refusals() const { return refusals_; }
    int linkFailures() const { return linkFailures_; }
    bool linkTimerStopped() const { return !timers_.isRunning(kLinkTimer); }
    // Set by the acknowledgement of the clock command after OK.
    bool ended() const { return ended_; }

  private:
    bool receiveReply();
    // false when the reply matches neither lastCommand nor 0, 0xFE, 0xFF.
    bool handleReply(const uint8_t* body, size_t count);
    void handleStatus(const uint8_t* body, size_t count);
    void sendNextFirmwareBlock();
    void setControlsEnabled(bool enable);
    void refreshControls();
    void queueSettings(bool closeAfter);
    void setLinkTimer(int ms) { timers_.start(kLinkTimer, ms); }
    void message(const std::string& key, const std::string& suffix = "");
    void resetLinkState();
    void queueStartupQueries();
    void setDialogDefaults();
    void updateDirtyAfterChange();

    TimerHost& timers_;
    Notifier& notifier_;
    UtilityView& view_;
    std::filesystem::path workFolder_;
    UtilityLink link_;
    UtilityTexts texts_;
    FirmwareFile firmware_;
    TestImage testImage_;

    bool packetStart_ = true;
    int linkState_ = 0;
    bool closeAfterClock_ = false;
    bool updating_ = false;
    bool lastBlockSent_ = false;
    bool wideModel_ = false;
    char modelLetter_ = 0;
    bool dirty_ = false;
    bool enabled_ = false;          // last SetControlsEnabled
    bool fileBoxDisabled_ = false;  // Update pressed: the box stays off until the next enabling
    std::string firmwareVersionText_;
    std::string firmwarePath_;
    std::array<uint8_t, kSettingCount> dialogValues_{};
    std::array<uint8_t, kSettingCount> committedValues_{};
    ClockValue pickerClock_;
    ControlStates controls_;
    int lastState_ = -1, lastBoardError_ = 0;
    int progress_ = 0;
    int testImages_ = 0;
    int mismatches_ = 0, linkFailures_ = 0, refusals_ = 0;
    bool ended_ = false;
};

}  // namespace q47::utility

// q47ctl's side of the utility core: a real-time timer loop, messages and progress on a terminal.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/notifier.h"
#include "platform/timer_host.h"
#include "utility/utility_dialog.h"

namespace q47::ctl {

// Exit codes, as documented in --help and the README.
enum Exit : int {
    kOk = 0,
    kLinkFailed = 1,  // the board stopped answering or answered nonsense
    kUsage = 2,
    kBoardAbsent = 3,
    kBoardBusy = 4,  // another program holds the board, or it stays busy
    kBadFile = 5,
    kRefused = 6,  // the board refused the command
};

// Runs the core's timers in real time: the virtual clock is moved to each due timer after
// sleeping until then. With $Q47_VIRTUAL_TIME=1 nothing sleeps (tests).
class TimerLoop {
  public:
    TimerLoop();
    // Fires timers until done() holds (true) or limitMs of timer time pass (false).
    bool runUntil(const std::function<bool()>& done, int64_t limitMs);
    VirtualClock& clock() { return clock_; }

  private:
    VirtualClock clock_;
    bool sleeps_ = true;
};

// Keeps message boxes for the end: a command prints them only when it fails.
class Messages : public Notifier {
  public:
    MsgResult messageBox(const std::string& text, const std::string&, MsgIcon,
                         MsgButtons) override {
        texts.push_back(text);
        return MsgResult::Ok;
    }
    std::vector<std::string> texts;
};

// Progress on a terminal: a bar redrawn in place; elsewhere one line per new percentage.
class TerminalView : public utility::UtilityView {
  public:
    explicit TerminalView(bool showProgress) : showProgress_(showProgress) {}
    void setControls(const utility::ControlStates&) override {}
    void showSettings(const std::array<uint8_t, utility::kSettingCount>&) override {}
    void showFirmwareVersion(const std::string&) override {}
    void setProgressVisible(bool visible) override;
    void showProgress(int percent, const std::string& text) override;
    void setCancelCaption(const std::string&) override {}
    void endDialog() override {}
    void showTestImage(utility::TestImage&) override {}
    bool progressHidden() const { return hidden_; }
    int percent() const { return percent_; }

  private:
    bool showProgress_;
    bool tty_ = false, drawn_ = false, shown_ = false, hidden_ = false;
    int percent_ = -1;
};

}  // namespace q47::ctl

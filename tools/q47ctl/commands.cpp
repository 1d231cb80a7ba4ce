// q47ctl commands: status, settings, clock, firmware and test-image.
#include "tools/q47ctl/commands.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "board/packet.h"
#include "tools/q47ctl/terminal.h"

namespace q47::ctl {

using namespace q47::utility;

namespace {

constexpr int64_t kStartupLimitMs = 15000;

// One open board dialogue; the board is released when it ends.
class Session {
  public:
    Session(const Options& o, bool progress, const std::filesystem::path& work = "")
        : view(progress),
          dialog(UtilityEnvironment{loop.clock(), messages, view,
                                    work.empty() ? std::filesystem::temp_directory_path() : work,
                                    o.device}),
          options_(o) {}

    // Opens the board: kOk, or why not (with the reason printed).
    int open() {
        dialog.initialise();
        if (dialog.link().deviceOpen) return kOk;
        if (dialog.link().boardBusy()) {
            std::fprintf(stderr,
                         "q47ctl: the board is in use by another program (a scanning application "
                         "using the Q-47 TWAIN source?); close it and try again\n");
            return kBoardBusy;
        }
        std::fprintf(stderr, "q47ctl: no board: %s\n", dialog.link().lastError().c_str());
        return kBoardAbsent;
    }
    // Runs until pred holds; a link failure or the time limit ends it with its exit code.
    int runUntil(const std::function<bool()>& pred, int64_t limitMs, const char* what) {
        const int refusalsBefore = dialog.refusals();
        bool refused = false;
        const bool done = loop.runUntil(
            [&] {
                if (dialog.refusals() > refusalsBefore && refuseOnNak) refused = true;
                return pred() || dialog.linkFailures() > 0 || refused;
            },
            limitMs);
        if (refused) {
            std::fprintf(stderr, "q47ctl: the board refused %s\n", what);
            return kRefused;
        }
        if (done && pred()) return kOk;
        if (dialog.mismatches() > 0) {
            std::fprintf(stderr, "q47ctl: the board answered %s with an unexpected reply\n", what);
            return kRefused;
        }
        for (const auto& m : messages.texts) std::fprintf(stderr, "q47ctl: %s\n", m.c_str());
        if (dialog.linkFailures() == 0)
            std::fprintf(stderr, "q47ctl: no answer from the board while waiting for %s\n", what);
        return kLinkFailed;
    }
    // The start-up queries answered (the first status reply handled).
    int started() {
        return runUntil([&] { return dialog.lastState() >= 0; }, kStartupLimitMs,
                        "the start-up queries");
    }
    // The board in standby, waiting up to --wait seconds for it.
    int ready() {
        if (int rc = started()) return rc;
        const bool standby = loop.runUntil(
            [&] { return dialog.lastState() == board::StateStandby || dialog.linkFailures() > 0; },
            int64_t(options_.waitSeconds) * 1000);
        if (dialog.lastState() == board::StateStandby) return kOk;
        if (!standby && dialog.linkFailures() == 0) {
            const char* key = board::stateTextKey(uint8_t(dialog.lastState()));
            std::fprintf(stderr, "q47ctl: the board is busy (state %d%s%s)\n", dialog.lastState(),
                         key ? ": " : "", key ? board::defaultText(key) : "");
            return kBoardBusy;
        }
        return kLinkFailed;
    }

    TimerLoop loop;
    Messages messages;
    TerminalView view;
    UtilityDialog dialog;
    bool refuseOnNak = true;

  private:
    const Options& options_;
};

const char* const kValueNames[kSettingCount][2] = {{"original", "match"},
                                                   {"original", "match"},
                                                   {"a4", "letter"},
                                                   {"disable", "enable"},
                                                   {"disable", "enable"}};
const char* const kValueTexts[kSettingCount][2] = {{"Original Image", "Match Paper Size"},
                                                   {"Original Image", "Match Paper Size"},
                                                   {"A4", "Letter"},
                                                   {"Disable", "Enable"},
                                                   {"Disable", "Enable"}};

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "NAME=VALUE": false with a message when either part is unknown.
bool parseAssignment(const std::string& arg, Setting* s, uint8_t* value) {
    const size_t eq = arg.find('=');
    const std::string name = lower(arg.substr(0, eq));
    const std::string v = eq == std::string::npos ? "" : lower(arg.substr(eq + 1));
    for (int i = 0; i < kSettingCount; ++i) {
        if (name != settingName(Setting(i))) continue;
        *s = Setting(i);
        for (uint8_t k = 0; k < 2; ++k)
            if (v == kValueNames[i][k] || v == std::to_string(k)) {
                *value = k;
                return true;
            }
        std::fprintf(stderr, "q47ctl: %s takes %s (0) or %s (1), not \"%s\"\n", name.c_str(),
                     kValueNames[i][0], kValueNames[i][1], v.c_str());
        return false;
    }
    std::fprintf(stderr,
                 "q47ctl: unknown setting \"%s\" (print-mode, save-mode, paper, margin, "
                 "time-stamp)\n",
                 name.c_str());
    return false;
}

void printSettings(const UtilityDialog& d) {
    for (int i = 0; i < kSettingCount; ++i) {
        const uint8_t v = d.committedValue(Setting(i));
        std::printf("%s=%s\t(%s)\n", settingName(Setting(i)), kValueNames[i][v], kValueTexts[i][v]);
    }
}

// OK: the settings and the clock, ending at the clock's acknowledgement.
int sendSettingsAndClock(Session& s, const char* what) {
    s.dialog.ok();
    return s.runUntil([&] { return s.dialog.ended(); }, 20000, what);
}

}  // namespace

int runStatus(const Options& o) {
    Session s(o, false);
    if (int rc = s.open()) return rc;
    if (int rc = s.started()) return rc;
    const auto& d = s.dialog;
    const int state = d.lastState();
    const char* stateKey = board::stateTextKey(uint8_t(state));
    const char* errorKey = board::errorTextKey(uint8_t(d.lastError()));
    std::printf("Model:    %c%s\n", d.modelLetter() ? d.modelLetter() : '?',
                d.wideModel() ? " (wide)" : "");
    std::printf("Firmware: %s\n", d.firmwareVersionText().c_str());
    std::printf("State:    %d%s%s\n", state, stateKey ? " " : "",
                stateKey ? board::defaultText(stateKey) : "");
    std::printf("Error:    %d%s%s\n", d.lastError(), errorKey ? " " : "",
                errorKey ? board::defaultText(errorKey) : "");
    return kOk;
}

int runSettings(const Options& o) {
    std::vector<std::pair<Setting, uint8_t>> changes;
    for (const auto& a : o.args) {
        Setting st;
        uint8_t v = 0;
        if (!parseAssignment(a, &st, &v)) return kUsage;
        changes.emplace_back(st, v);
    }
    Session s(o, false);
    if (int rc = s.open()) return rc;
    if (changes.empty()) {
        if (int rc = s.started()) return rc;
        printSettings(s.dialog);
        return kOk;
    }
    if (int rc = s.ready()) return rc;
    for (auto [st, v] : changes) s.dialog.selectSetting(st, v);
    if (int rc = sendSettingsAndClock(s, "the settings")) return rc;
    for (auto [st, v] : changes)
        if (s.dialog.committedValue(st) != v) {
            std::fprintf(stderr, "q47ctl: the board did not take %s\n", settingName(st));
            return kRefused;
        }
    printSettings(s.dialog);
    return kOk;
}

int runClock(const Options& o) {
    ClockValue c = localClockNow();
    if (!o.args.empty()) {
        const std::string text = o.args.size() == 2 ? o.args[0] + " " + o.args[1] : o.args[0];
        char tail = 0;
        if (o.args.size() > 2 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%c", &c.year,
                                             &c.month, &c.day, &c.hour, &c.minute, &tail) != 5) {
            std::fprintf(stderr, "q47ctl: clock takes \"YYYY-MM-DD HH:MM\", not \"%s\"\n",
                         text.c_str());
            return kUsage;
        }
    }
    Session s(o, false);
    if (int rc = s.open()) return rc;
    if (int rc = s.ready()) return rc;
    // The settings go with the clock, as the dialog's OK sends them: the board's own values.
    s.dialog.setPickerClock(c);
    if (int rc = sendSettingsAndClock(s, "the clock")) return rc;
    std::printf("Board clock set to %04d-%02d-%02d %02d:%02d\n", c.year, c.month, c.day, c.hour,
                c.minute);
    return kOk;
}

int runFirmware(const Options& o) {
    if (o.args.size() != 1) {
        std::fprintf(stderr, "q47ctl: firmware takes one FILE\n");
        return kUsage;
    }
    FirmwareFile probe;
    if (!probe.open(o.args[0])) {
        std::fprintf(stderr, "q47ctl: Unable to open the file:%s (missing, unreadable or empty)\n",
                     o.args[0].c_str());
        return kBadFile;
    }
    probe.close();
    Session s(o, true);
    s.refuseOnNak = false;  // 0xFF to a block is the board asking for the next one
    if (int rc = s.open()) return rc;
    if (int rc = s.ready()) return rc;
    s.dialog.setFirmwarePath(o.args[0]);
    if (!s.dialog.startFirmwareUpdate()) {
        std::fprintf(stderr, "q47ctl: Unable to open the file:%s\n", o.args[0].c_str());
        return kBadFile;
    }
    // The board restarts after the last block: the link loss is the normal end.
    const bool done = s.loop.runUntil(
        [&] {
            return s.view.progressHidden() || s.dialog.mismatches() > 0 ||
                   (s.dialog.lastBlockSent() && !s.dialog.link().awaitingReply &&
                    s.dialog.link().queueEmpty());
        },
        3600 * 1000);
    if (s.dialog.mismatches() > 0) {
        std::fprintf(stderr, "q47ctl: the board refused a firmware block at %d%%\n",
                     s.dialog.progressPercent());
        return kRefused;
    }
    if (!done || !s.dialog.lastBlockSent()) {
        std::fprintf(stderr, "q47ctl: the link was lost at %d%% of the firmware\n",
                     s.dialog.progressPercent());
        return kLinkFailed;
    }
    std::printf("Firmware sent; the board restarts.\n");
    return kOk;
}

int runTestImage(const Options& o) {
    if (o.args.size() != 1) {
        std::fprintf(stderr, "q47ctl: test-image takes one OUT.bmp\n");
        return kUsage;
    }
    const std::filesystem::path out = o.args[0];
    Session s(o, false, std::filesystem::absolute(out).parent_path());
    s.refuseOnNak = false;
    if (int rc = s.open()) return rc;
    std::fprintf(stderr, "Waiting up to %d s for the board's PCB test image...\n", o.waitSeconds);
    if (int rc = s.runUntil([&] { return s.dialog.testImagesReceived() > 0; },
                            int64_t(o.waitSeconds) * 1000, "the test image"))
        return rc;
    const TestImage& image = s.dialog.testImage();
    if (image.bitmap().empty()) {
        std::fprintf(stderr,
                     "q47ctl: the board's test image holds no picture (%u lines of %u bytes)\n",
                     image.lineCount(), image.lineBytes());
        return kLinkFailed;
    }
    if (!image.saveTestImageBmp(out.string())) {
        std::fprintf(stderr, "q47ctl: cannot write %s\n", out.c_str());
        return kBadFile;
    }
    std::printf("Saved the %d x %d test image to %s\n", image.width(), image.height(), out.c_str());
    return kOk;
}

}  // namespace q47::ctl

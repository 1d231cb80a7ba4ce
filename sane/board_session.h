// One use of the board for SANE: open it, learn what it is, scan once, release it.
//
// The board dialogue is the data source's own: a BoardSession drives an AcquireDialog
// in its full (panel) mode, pressing the panel's keys as a user would (COLOR to reach
// the wanted lamp, PCSCAN, STOP to cancel) and watching the scan state it keeps. It
// never talks to the board itself. Time comes from the caller's timer host and pump:
// RealTimeLoop in the backend, the virtual clock in tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/notifier.h"
#include "platform/pump.h"
#include "platform/timer_host.h"
#include "twain_source/acquire_dialog.h"

namespace q47::sane {

// How a session step ended, in the terms a SANE status needs.
enum class Outcome {
    Good,
    NoBoard,     // the channel does not open (nothing there, no permission)
    Busy,        // another program holds the board, or the board is busy with a job
    BoardError,  // the board reports an error code
    Jammed,      // E6: the sheet's page boundary was not found
    Cancelled,   // cancelled by the caller, or STOP pressed at the board
    IoError,     // the link failed or the board did not do what it was asked
};

struct Result {
    Outcome outcome = Outcome::Good;
    std::string message;  // the data source's text for it, and the channel's reason
    bool ok() const { return outcome == Outcome::Good; }
};

// What device info and firmware version say about the board.
struct BoardIdentity {
    char modelLetter = 0;
    std::string modelName, firmwareVersion;
    uint16_t scanLines = 0, linePixels = 0;  // device info's width and height fields
};

// The time the session runs on: runUntil fires timers until pred holds or limitMs pass.
struct SessionClock {
    TimerHost& timers;
    Pump& pump;
    std::function<bool(const std::function<bool()>& pred, int64_t limitMs)> runUntil;
};

struct SessionLimits {
    int64_t openMs = 15000;      // device info and firmware version
    int64_t firstStatusMs = 5000;
    int64_t lampMs = 3000;       // COLOR pressed until the lamp shows it
    int64_t scanMs = 300000;     // PCSCAN until the image is in
    int64_t stopMs = 5000;       // STOP pressed until standby
};

class BoardSession {
public:
    // deviceSpec as openDeviceChannel takes it; settings: the data source's Q47Tw.ini
    // (its texts are the messages). cancel, when given, is watched throughout.
    BoardSession(SessionClock clock, std::string deviceSpec, twain_source::SettingsFile settings,
                 const std::atomic<bool>* cancel = nullptr, SessionLimits limits = {});
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Opens the board and reads device info and firmware version.
    Result open();
    const BoardIdentity& identity() const { return identity_; }
    // One PC scan in colour or grey; on success *dib holds the packed 8-bit DIB the
    // data source built (grey or 3-3-2 palette, bottom-up, 200 dpi).
    Result scan(bool colour, std::vector<uint8_t>* dib);
    // Closes the board (also done by the destructor).
    void close();

private:
    class View;
    class Twain;
    bool run(const std::function<bool()>& pred, int64_t limitMs);
    bool cancelled() const { return cancel_ && cancel_->load(); }
    Result linkFailure() const;
    Result boardError(uint8_t error) const;
    Result stopScan();
    const std::string& text(const char* key) const;

    SessionClock clock_;
    const std::atomic<bool>* cancel_;
    SessionLimits limits_;
    RecordingNotifier notifier_;
    std::unique_ptr<View> view_;
    std::unique_ptr<Twain> twain_;
    twain_source::SourceGlobals globals_;
    std::unique_ptr<twain_source::AcquireDialog> dialog_;
    BoardIdentity identity_;
};

}  // namespace q47::sane

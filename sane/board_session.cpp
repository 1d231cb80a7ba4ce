// BoardSession: the data source's panel, pressed by the SANE backend instead of a user.
#include "sane/board_session.h"

#include <cstring>

#include "board/packet.h"

namespace q47::sane {

using twain_source::AcquireDialog;
using twain_source::WindowMode;

// The window the core draws on. Nothing is shown; what matters is when the panel is
// laid out (firmware version in), when it turns ready (a standby status, or an image
// received) and which link failure the status line reports.
class BoardSession::View : public twain_source::AcquireView {
public:
    explicit View(const BoardSession& s) : session_(s) {}
    void showStatus(const std::string& t) override {
        if (!session_.dialog_) return;
        if (t == session_.text("MsgReceivePktError") || t == session_.text("MsgReceiveBadPkt"))
            linkTrouble = t;
    }
    void setPanelReady(bool ready, const twain_source::PanelButtons&) override {
        if (ready) ++readyCount;
    }
    void enableStopClose(bool) override {}
    void setProgressBarVisible(bool) override {}
    void showProgress(int) override {}
    void refreshPanel(const twain_source::PanelContent&) override {}
    void layoutWindow(WindowMode) override { laidOut = true; }
    void hideWindow() override {}

    bool laidOut = false;
    int readyCount = 0;
    std::string linkTrouble;

private:
    const BoardSession& session_;
};

class BoardSession::Twain : public twain_source::TwainSide {
public:
    void notifyTransferReady() override { ready = true; }
    void requestClose() override { ++closes; }
    bool ready = false;
    int closes = 0;
};

BoardSession::BoardSession(SessionClock clock, std::string deviceSpec,
                           twain_source::SettingsFile settings, const std::atomic<bool>* cancel,
                           SessionLimits limits)
    : clock_(std::move(clock)), cancel_(cancel), limits_(limits),
      view_(std::make_unique<View>(*this)), twain_(std::make_unique<Twain>()) {
    dialog_ = std::make_unique<AcquireDialog>(
        WindowMode::Full,
        twain_source::AcquireEnvironment{clock_.timers, clock_.pump, notifier_, *view_, *twain_,
                                         globals_, std::move(settings), std::move(deviceSpec)});
}

BoardSession::~BoardSession() { close(); }

void BoardSession::close() {
    if (dialog_) dialog_->destroy();
}

const std::string& BoardSession::text(const char* key) const { return dialog_->texts().text(key); }

bool BoardSession::run(const std::function<bool()>& pred, int64_t limitMs) {
    return clock_.runUntil(pred, limitMs);
}

Result BoardSession::linkFailure() const {
    const std::string why = dialog_->link().lastError();
    Result r;
    if (!view_->linkTrouble.empty())
        r = {Outcome::IoError, view_->linkTrouble};
    else
        r = {view_->laidOut ? Outcome::IoError : Outcome::NoBoard, text("MsgUSBOpenError")};
    // The channels say "in use" when another program holds the board.
    if (why.find("in use") != std::string::npos) r.outcome = Outcome::Busy;
    if (!why.empty()) r.message += " (" + why + ")";
    return r;
}

Result BoardSession::boardError(uint8_t error) const {
    const char* key = board::errorTextKey(error);
    return {error == 9 ? Outcome::Jammed : Outcome::BoardError, key ? text(key) : "ERROR"};
}

Result BoardSession::open() {
    dialog_->initialise();
    // The data source's device info handling keeps letter and name only; the width and
    // height fields are read here, while the reply is still in the receive buffer.
    auto watch = [&] {
        const uint8_t* rx = dialog_->link().rxBuffer();
        if (identity_.modelLetter == 0 && dialog_->scan().modelLetter != 0 &&
            rx[4] == board::ReplyDeviceInfo) {
            const board::DeviceInfoReply info = board::parseDeviceInfo(rx);
            identity_.scanLines = info.width;
            identity_.linePixels = info.height;
            identity_.modelLetter = info.modelLetter;
        }
        return view_->laidOut || twain_->closes > 0 || !view_->linkTrouble.empty() || cancelled();
    };
    if (twain_->closes > 0) return linkFailure();
    const bool answered = run(watch, limits_.openMs);
    if (twain_->closes > 0 || !view_->linkTrouble.empty()) return linkFailure();
    if (cancelled()) return {Outcome::Cancelled, ""};
    if (!answered) return {Outcome::IoError, text("MsgReceivePktError") + " (no device info)"};
    identity_.modelLetter = dialog_->scan().modelLetter;
    identity_.modelName = dialog_->scan().modelName;
    identity_.firmwareVersion = dialog_->scan().firmwareVersion;
    return {};
}

Result BoardSession::stopScan() {
    const int before = view_->readyCount;
    dialog_->pressKey(board::KeyStop);
    // STOP is followed by a status poll; a ready panel means the board is in standby.
    run([&] { return view_->readyCount > before || twain_->closes > 0 || !view_->linkTrouble.empty(); },
        limits_.stopMs);
    return {Outcome::Cancelled, ""};
}

Result BoardSession::scan(bool colour, std::vector<uint8_t>* dib) {
    AcquireDialog& d = *dialog_;
    auto trouble = [&] { return twain_->closes > 0 || !view_->linkTrouble.empty(); };

    // The board's state as the first status reports it.
    if (!run([&] { return d.scan().lastState != 101 || trouble() || cancelled(); },
             limits_.firstStatusMs))
        return {Outcome::IoError, text("MsgReceivePktError") + " (no status)"};
    if (trouble()) return linkFailure();
    if (cancelled()) return {Outcome::Cancelled, ""};
    if (d.scan().lastError != 0) return boardError(d.scan().lastError);
    if (!d.scan().standby) {
        const char* key = board::stateTextKey(d.scan().lastState);
        return {Outcome::Busy, key ? text(key) : "the board is not ready (state " +
                                                      std::to_string(d.scan().lastState) + ")"};
    }

    // The lamp decides what the board scans: COLOR toggles it.
    if (d.scan().colourMode != colour) {
        d.pressKey(board::KeyColor);
        if (!run([&] { return d.scan().colourMode == colour || trouble() || cancelled(); },
                 limits_.lampMs))
            return {Outcome::IoError, text("MsgErrorOTHER") + " (the COLOR lamp did not change)"};
        if (trouble()) return linkFailure();
        if (cancelled()) return {Outcome::Cancelled, ""};
    }

    twain_->ready = false;
    bool scanning = false;  // the board went through state 16 or 17
    // PCSCAN is the next request written, so a standby status after this point means
    // the board did not scan or stopped (its own STOP key).
    const int readyBefore = view_->readyCount;
    auto done = [&] {
        const uint8_t state = d.scan().lastState;
        if (state == board::StateScanPC || state == board::StateTransImage) scanning = true;
        return twain_->ready || trouble() || cancelled() || d.scan().lastError != 0 ||
               board::isBusyState(state) || view_->readyCount > readyBefore;
    };
    d.startPcScan();
    const bool finished = run(done, limits_.scanMs);

    if (twain_->ready) {
        twain_source::PendingImage& image = globals_.imageBuffer.pendingImage;
        const uint8_t* bytes = image.memory()->lock(image.handle());
        dib->assign(bytes, bytes + image.size());
        image.memory()->unlock(image.handle());
        image.release();
        // A cancel that came while the image was read: the board is idle again anyway.
        if (cancelled()) return {Outcome::Cancelled, ""};
        return {};
    }
    if (trouble()) return linkFailure();
    if (cancelled()) return stopScan();
    if (const uint8_t e = d.scan().lastError) {
        // The board keeps its error on its panel; the scan itself is stopped.
        Result r = boardError(e);
        stopScan();
        return r;
    }
    if (board::isBusyState(d.scan().lastState)) {
        const char* key = board::stateTextKey(d.scan().lastState);
        return {Outcome::Busy, key ? text(key) : "busy"};
    }
    if (finished && scanning) return {Outcome::Cancelled, "the scan was stopped at the board"};
    if (finished) return {Outcome::IoError, text("MsgErrorOTHER") + " (the board did not start the scan)"};
    stopScan();
    return {Outcome::IoError, "no image from the board within " +
                                  std::to_string(limits_.scanMs / 1000) + " s"};
}

}  // namespace q47::sane

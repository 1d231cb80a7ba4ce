// The real board path for the data source tests: simulator on a temporary socket, the
// "sim:" device channel, a virtual clock and pump, a recording view, notifier and TWAIN side.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dib.h"
#include "platform/notifier.h"
#include "platform/pump.h"
#include "platform/timer_host.h"
#include "simulator/simulator.h"
#include "tests/datasource/test_support.h"
#include "twain_source/acquire_dialog.h"

namespace q47::test {

using namespace q47::twain_source;

// Everything the core asks of its window, as a list of readable events.
class RecordingView : public AcquireView {
public:
    void showStatus(const std::string& text) override {
        statuses.push_back(text);
        events.push_back("status:" + text);
    }
    void setPanelReady(bool ready, const PanelButtons& b) override {
        buttons = b;
        events.push_back(ready ? "ready" : "not-ready");
    }
    void enableStopClose(bool enabled) override {
        events.push_back(enabled ? "stop-close:on" : "stop-close:off");
    }
    void setProgressBarVisible(bool visible) override {
        events.push_back(visible ? "bar:shown" : "bar:hidden");
    }
    void showProgress(int percent) override {
        progress.push_back(percent);
        if (onProgress) onProgress(percent);
    }
    void refreshPanel(const PanelContent& c) override {
        content = c;
        texts = *c.texts;
        ++refreshes;
        events.push_back("refresh");
    }
    void layoutWindow(WindowMode m) override {
        laidOut = m;
        events.push_back("layout");
    }
    void hideWindow() override { events.push_back("hide"); }

    bool saw(const std::string& event) const {
        for (const auto& e : events)
            if (e == event) return true;
        return false;
    }
    bool sawStatus(const std::string& text) const { return saw("status:" + text); }

    std::vector<std::string> events, statuses;
    std::vector<int> progress;
    std::function<void(int)> onProgress;
    PanelButtons buttons;
    PanelContent content;
    Texts texts;
    int refreshes = 0;
    WindowMode laidOut = WindowMode::Full;
};

// The TWAIN layer: counts the notifications and, like an application answering
// MSG_CLOSEDSREQ with MSG_DISABLEDS, can destroy the window on a close request.
class RecordingTwain : public TwainSide {
public:
    void notifyTransferReady() override {
        ++ready;
        if (onReady) onReady();
    }
    void requestClose() override {
        ++closes;
        if (onClose) onClose();
    }
    int ready = 0, closes = 0;
    std::function<void()> onReady, onClose;
};

inline sim::Config smallBoard() {
    sim::Config c;
    c.modelLetter = 'W';
    c.modelName = "Q-47W";
    c.firmware = "Ver 1.00";
    c.scanLines = 4096;
    c.linePixels = 64;
    c.scanPolls = 3;
    return c;
}

class Rig {
public:
    explicit Rig(WindowMode mode, sim::Config config = smallBoard())
        : simulator(config), mode_(mode) {
        socket = (dir / "board.sock").string();
        EXPECT_TRUE(simulator.listen(socket));
        makeDialog();
    }
    ~Rig() {
        dialog.reset();
        simulator.stop();
    }

    void makeDialog() {
        dialog = std::make_unique<AcquireDialog>(
            mode_, AcquireEnvironment{clock, pump, notifier, view, twain, globals,
                                      SettingsFile(dir / "Q47Tw.ini"), "sim:" + socket});
    }
    // The window opens; runs until the first status reply has been handled.
    void open() {
        dialog->initialise();
        ASSERT_TRUE(runUntil([&] { return dialog->scan().lastState != 101; }, 5000));
    }
    bool runUntil(const std::function<bool()>& pred, int64_t ms = 120000) {
        return clock.runUntil(pred, ms);
    }
    // The application's part of a close request: disable the source at once.
    void destroyOnClose() {
        twain.onClose = [this] { dialog->destroy(); };
    }

    // Request codes the board received (PanelKey as 400 + key).
    std::vector<int> requestCodes() const {
        std::vector<int> codes;
        for (const auto& r : simulator.received())
            if (r.size() >= 5) codes.push_back(r[4] == board::PanelKey && r.size() == 6 ? 400 + r[5]
                                                                                        : r[4]);
        return codes;
    }
    int count(int code) const {
        int n = 0;
        for (int c : requestCodes()) n += c == code;
        return n;
    }
    std::vector<uint8_t> sheet(bool colour) const {
        return simulator.withBoard([&](const sim::Board& b) { return b.imageData(colour); });
    }
    void setGeometry(uint16_t w, uint16_t h) {
        simulator.withBoard([&](sim::Board& b) { b.setGeometry(w, h); });
    }
    const PendingImage& pending() const { return globals.imageBuffer.pendingImage; }
    dib::View pendingView() const {
        dib::View v;
        EXPECT_TRUE(dib::parse(static_cast<const uint8_t*>(pending().handle()), pending().size(), &v));
        return v;
    }

    TempDir dir;
    std::string socket;
    sim::Simulator simulator;
    VirtualClock clock;
    VirtualPump pump{clock};
    RecordingNotifier notifier;
    RecordingView view;
    RecordingTwain twain;
    SourceGlobals globals;
    std::unique_ptr<AcquireDialog> dialog;

private:
    WindowMode mode_;
};

// The bitmap the board's sheet must give, computed the slow way from the scan lines the
// simulator sent: column x of bitmap row r is byte H - 1 - r of the x-th kept scan line.
inline std::vector<uint8_t> expectedPixels(const std::vector<uint8_t>& lines, uint32_t W,
                                           uint32_t H, bool compress) {
    const DibGeometry g = dibGeometry(uint16_t(W), uint16_t(H), compress);
    std::vector<uint8_t> px(size_t(g.rowBytes) * H, 0xFF);
    for (uint32_t r = 0; r < H; ++r) {
        uint32_t out = 0;
        for (uint32_t x = 0; x < g.srcRowBytes && out < g.rowBytes; ++x) {
            if (compress && x % 4 == 3) continue;
            px[size_t(r) * g.rowBytes + out++] = x < W ? lines[size_t(x) * H + (H - 1 - r)] : 0xFF;
        }
    }
    return px;
}

inline std::vector<uint8_t> pixelsOf(const dib::View& v) {
    return {v.pixels, v.pixels + v.stride * size_t(v.height)};
}

}  // namespace q47::test

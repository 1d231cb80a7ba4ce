// The real board path for the utility tests: simulator on a temporary socket, the "sim:"
// device channel, a virtual clock, a recording view and notifier around UtilityDialog.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/packet.h"
#include "platform/notifier.h"
#include "platform/timer_host.h"
#include "simulator/simulator.h"
#include "utility/utility_dialog.h"

namespace q47::test {

using namespace q47::utility;

// A fresh folder under /tmp, removed again at the end of the test.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "q47uty-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// Everything the core asks of its window.
class RecordingView : public UtilityView {
  public:
    void setControls(const ControlStates& s) override { controls = s; }
    void showSettings(const std::array<uint8_t, kSettingCount>& v) override { radios = v; }
    void showFirmwareVersion(const std::string& text) override { version = text; }
    void setProgressVisible(bool visible) override {
        progressVisible = visible;
        events.push_back(visible ? "progress:shown" : "progress:hidden");
    }
    void showProgress(int percent, const std::string& text) override {
        percents.push_back(percent);
        if (clock) progressAt.push_back(clock->now());
        progressText = text;
    }
    void setCancelCaption(const std::string& caption) override { cancelCaption = caption; }
    void endDialog() override { events.push_back("end"); }
    void showTestImage(TestImage& image) override {
        events.push_back("test-image");
        if (onTestImage) onTestImage(image);
    }
    bool saw(const std::string& e) const {
        for (const auto& x : events)
            if (x == e) return true;
        return false;
    }

    ControlStates controls;
    std::array<uint8_t, kSettingCount> radios{};
    std::string version, progressText, cancelCaption = "Cancel";
    bool progressVisible = false;
    std::vector<int> percents;
    std::vector<int64_t> progressAt;  // virtual time of each progress update
    const VirtualClock* clock = nullptr;
    std::vector<std::string> events;
    std::function<void(TestImage&)> onTestImage;
};

inline sim::Config utilityBoard() {
    sim::Config c;
    c.modelLetter = 'W';
    c.firmware = "Ver 1.00";
    c.restartMs = 200;
    return c;
}

class Rig {
  public:
    explicit Rig(sim::Config config = utilityBoard(), bool plugIn = true) : simulator(config) {
        socket = (dir / "board.sock").string();
        if (plugIn) EXPECT_TRUE(simulator.listen(socket));
        view.clock = &clock;
        dialog = std::make_unique<UtilityDialog>(
            UtilityEnvironment{clock, notifier, view, dir.path(), "sim:" + socket});
    }
    ~Rig() {
        dialog.reset();
        simulator.stop();
    }
    bool runUntil(const std::function<bool()>& pred, int64_t ms = 60000) {
        return clock.runUntil(pred, ms);
    }
    // Started and through the start-up queries: the first status reply handled.
    void start() {
        dialog->initialise();
        ASSERT_TRUE(runUntil([&] { return dialog->lastState() >= 0; }));
    }
    // Request codes the board received (PanelKey as 400 + key).
    std::vector<int> requestCodes() const {
        std::vector<int> codes;
        for (const auto& r : simulator.received())
            if (r.size() >= 5)
                codes.push_back(r[4] == board::PanelKey && r.size() == 6 ? 400 + r[5] : r[4]);
        return codes;
    }
    // Requests without the status polls.
    std::vector<std::vector<uint8_t>> commands() const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& r : simulator.received())
            if (!(r.size() == 5 && r[4] == board::Status)) out.push_back(r);
        return out;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> m;
        for (const auto& b : notifier.boxes) m.push_back(b.text);
        return m;
    }

    TempDir dir;
    sim::Simulator simulator;
    std::string socket;
    VirtualClock clock;
    RecordingNotifier notifier;
    RecordingView view;
    std::unique_ptr<UtilityDialog> dialog;
};

}  // namespace q47::test

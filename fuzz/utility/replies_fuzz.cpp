// Any bytes a board may send the utility: replies, test images and garbage through the link.
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/notifier.h"
#include "platform/timer_host.h"
#include "tests/utility/scripted_board.h"
#include "utility/utility_dialog.h"

using namespace q47;
using namespace q47::utility;

namespace {

class NullView : public UtilityView {
  public:
    void setControls(const ControlStates&) override {}
    void showSettings(const std::array<uint8_t, kSettingCount>&) override {}
    void showFirmwareVersion(const std::string&) override {}
    void setProgressVisible(bool) override {}
    void showProgress(int, const std::string&) override {}
    void setCancelCaption(const std::string&) override {}
    void endDialog() override {}
    void showTestImage(TestImage& image) override {
        if (!image.bitmap().empty() && image.bitmap().size() < 40) __builtin_trap();
    }
};

const std::filesystem::path& workFolder() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "q47uty-fuzz-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(tmpl.data()));
    }();
    return dir;
}

}  // namespace

// The input is a sequence of transfers, each a 16-bit little-endian size and its bytes;
// the first byte picks a user action in between.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    auto script = std::make_shared<test::Script>();
    const uint8_t action = data[0];
    size_t at = 1;
    while (size - at >= 2) {
        size_t n = size_t(data[at]) | size_t(data[at + 1]) << 8;
        at += 2;
        n = std::min(n, size - at);
        script->transfers.emplace_back(data + at, data + at + n);
        at += n;
    }
    VirtualClock clock;
    RecordingNotifier notifier;
    NullView view;
    UtilityDialog dialog(UtilityEnvironment{
        clock, notifier, view, workFolder(), "",
        [script](std::string*) { return std::make_unique<test::ScriptedChannel>(script); }});
    dialog.initialise();
    for (int tick = 0; tick < 64 && !script->transfers.empty(); ++tick) {
        if (tick == 3) {
            if (action & 1) dialog.apply();
            if (action & 2) dialog.ok();
            if (action & 4) dialog.reset();
        }
        clock.advance(50);
        if (!clock.isRunning(kLinkTimer)) dialog.apply();  // keep the link going
    }
    return 0;
}

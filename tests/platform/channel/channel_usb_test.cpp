// The device channel's libusb backend, for real, against a board emulated under umockdev.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "channel_contract.h"
#include "platform/device_channel.h"
#include "usb_bridge.h"

namespace q47::test {
namespace {

// umockdev works through LD_PRELOAD: outside it, start this program again under
// umockdev-wrapper (when that is installed; otherwise the USB cases are skipped).
const bool kUnderUmockdev = [] {
    const char* preload = getenv("LD_PRELOAD");
    if ((preload && std::strstr(preload, "libumockdev-preload")) || getenv("Q47_NO_UMOCKDEV_REEXEC"))
        return true;
    std::ifstream f("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\0', at);
        args.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    std::vector<char*> argv = {const_cast<char*>("umockdev-wrapper")};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("Q47_NO_UMOCKDEV_REEXEC", "1", 1);
    execvp("umockdev-wrapper", argv.data());
    return false;  // not installed: carry on, the cases skip
}();

class UsbRig : public BoardRig {
public:
    explicit UsbRig(const sim::Config& config) : bridge_(config) {}
    bool start(std::string* error) { return bridge_.start(error); }
    std::string device() const override { return "usb:1234:5678"; }
    void withBoard(const std::function<void(sim::Board&)>& f) override {
        bridge_.withBoard([&](sim::Board& b) { f(b); });
    }
    void unplug(int ms) override { bridge_.unplug(ms); }

private:
    UsbBridge bridge_;
};

RigKind usbRig() {
    return {"Libusb", [](const sim::Config& config, std::string* skip) -> std::unique_ptr<BoardRig> {
                auto rig = std::make_unique<UsbRig>(config);
                if (!rig->start(skip)) return nullptr;
                return rig;
            }};
}

INSTANTIATE_TEST_SUITE_P(Usb, ChannelContract, ::testing::Values(usbRig()),
                         [](const auto& info) { return info.param.name; });

TEST(UsbChannel, TheBoardIsFoundByItsEndpointsWhenNoIdsAreGiven) {
    std::string skip;
    auto rig = usbRig().make(sim::Config{}, &skip);
    if (!rig) GTEST_SKIP() << skip;
    std::string error;
    auto ch = openDeviceChannel("usb", &error);
    ASSERT_TRUE(ch) << error;
    const uint8_t status[5] = {1, 0, 0, 0, 2};
    ASSERT_EQ(ch->write(status, 5), 5);
    uint8_t buf[4096];
    EXPECT_EQ(ch->read(buf, sizeof buf), 14);
}

TEST(UsbChannel, OpeningFailsCleanlyWithoutTheDevice) {
    std::string skip;
    auto rig = usbRig().make(sim::Config{}, &skip);
    if (!rig) GTEST_SKIP() << skip;
    std::string error;
    EXPECT_FALSE(openDeviceChannel("usb:1234:9999", &error));
    EXPECT_NE(error.find("no device 1234:9999"), std::string::npos) << error;
}

}  // namespace
}  // namespace q47::test

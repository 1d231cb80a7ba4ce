// The device channel's "sim:" backend against the simulator's socket.
#include <unistd.h>

#include "channel_contract.h"
#include "platform/device_channel.h"
#include "simulator/simulator.h"

namespace q47::test {
namespace {

class SimRig : public BoardRig {
public:
    explicit SimRig(const sim::Config& config) : sim_(config) {
        path_ = "/tmp/q47-chsim-" + std::to_string(getpid()) + "-" + std::to_string(next_++) + ".sock";
    }
    bool start(std::string* error) { return sim_.listen(path_, error); }
    std::string device() const override { return "sim:" + path_; }
    void withBoard(const std::function<void(sim::Board&)>& f) override {
        sim_.withBoard([&](sim::Board& b) { f(b); });
    }
    void unplug(int ms) override { sim_.unplug(ms); }

private:
    static inline int next_ = 0;
    sim::Simulator sim_;
    std::string path_;
};

RigKind simRig() {
    return {"Simulator", [](const sim::Config& config, std::string* skip) -> std::unique_ptr<BoardRig> {
                auto rig = std::make_unique<SimRig>(config);
                if (!rig->start(skip)) return nullptr;
                return rig;
            }};
}

INSTANTIATE_TEST_SUITE_P(Sim, ChannelContract, ::testing::Values(simRig()),
                         [](const auto& info) { return info.param.name; });

TEST(SimChannel, OpeningWithoutASimulatorFailsWithTheReason) {
    std::string error;
    EXPECT_FALSE(openDeviceChannel("sim:/tmp/q47-nobody-listens-here.sock", &error));
    EXPECT_NE(error.find("no board"), std::string::npos) << error;
}

TEST(DeviceName, ABadUsbNameIsRefusedWithoutTouchingTheBus) {
    std::string error;
    EXPECT_FALSE(openDeviceChannel("usb:12:zz", &error));
    EXPECT_NE(error.find("usb:VVVV:PPPP"), std::string::npos) << error;
}

TEST(DeviceName, TheEnvironmentNamesTheBoardWhenTheCallerDoesNot) {
    sim::Simulator sim{sim::Config{}};
    const std::string path = "/tmp/q47-chsim-env-" + std::to_string(getpid()) + ".sock";
    ASSERT_TRUE(sim.listen(path));
    setenv("Q47_DEVICE", ("sim:" + path).c_str(), 1);
    auto ch = openDeviceChannel();
    unsetenv("Q47_DEVICE");
    ASSERT_TRUE(ch);
    EXPECT_TRUE(sim.clientConnected());
}

TEST(IoTimeout, ComesFromTheEnvironmentAndFallsBackOnNonsense) {
    setenv("Q47_IO_TIMEOUT_MS", "250", 1);
    EXPECT_EQ(ioTimeoutMs(), 250);
    setenv("Q47_IO_TIMEOUT_MS", "-5", 1);
    EXPECT_EQ(ioTimeoutMs(), kDefaultIoTimeoutMs);
    setenv("Q47_IO_TIMEOUT_MS", "12abc", 1);
    EXPECT_EQ(ioTimeoutMs(), kDefaultIoTimeoutMs);
    unsetenv("Q47_IO_TIMEOUT_MS");
    EXPECT_EQ(ioTimeoutMs(), kDefaultIoTimeoutMs);
}

}  // namespace
}  // namespace q47::test

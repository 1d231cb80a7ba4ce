// The device channel's path backend against a stand-in for the kernel module's node.
#include "channel_contract.h"
#include "platform/device_channel.h"
#include "standin_node.h"

namespace q47::test {
namespace {

class PathRig : public BoardRig {
public:
    explicit PathRig(const sim::Config& config) : node_(config) {}
    bool start(std::string* error) { return node_.start(error); }
    std::string device() const override { return node_.path(); }
    void withBoard(const std::function<void(sim::Board&)>& f) override {
        node_.withBoard([&](sim::Board& b) { f(b); });
    }
    void unplug(int ms) override { node_.unplug(ms); }

private:
    StandinNode node_;
};

RigKind pathRig() {
    return {"DeviceNode", [](const sim::Config& config, std::string* skip) -> std::unique_ptr<BoardRig> {
                auto rig = std::make_unique<PathRig>(config);
                if (!rig->start(skip)) {
                    *skip = "no stand-in node (FUSE needs mount rights here): " + *skip;
                    return nullptr;
                }
                return rig;
            }};
}

INSTANTIATE_TEST_SUITE_P(Path, ChannelContract, ::testing::Values(pathRig()),
                         [](const auto& info) { return info.param.name; });

TEST(PathChannel, AMissingNodeFailsWithTheReason) {
    std::string error;
    EXPECT_FALSE(openDeviceChannel("/dev/q47-no-such-node", &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace q47::test

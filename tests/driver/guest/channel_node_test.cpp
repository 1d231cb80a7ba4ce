// Guest tests of the device channel's path backend on the kernel module's node.
//
// The channel is opened the way the programs open it, by $Q47_DEVICE (the init script
// sets /dev/zwbd_c_series0), and must keep its contract on the real driver: exclusive,
// one transfer per call, at most 4096 bytes, the rest of a transfer left for the next
// read, a zero-length transfer read as 0, and a board that never answers a time-out.
#include "board/packet.h"
#include "guest_support.h"
#include "platform/device_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace q47::guest {
namespace {

class PathChannel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(gadget.command("mode record"), "ok");
        setenv("Q47_IO_TIMEOUT_MS", "400", 1);
        std::string error;
        channel = openDeviceChannel("", &error);
        ASSERT_NE(channel, nullptr) << error;
    }
    std::vector<size_t> outSizesAfter(size_t before) {
        for (int i = 0; i < 100 && gadget.outSizes().size() <= before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return gadget.outSizes();
    }
    Gadget gadget;
    std::unique_ptr<DeviceChannel> channel;
    uint8_t buf[4096];
};

TEST_F(PathChannel, TheBoardNamedByQ47DeviceOpensOnceAtATime) {
    std::string error;
    EXPECT_EQ(openDeviceChannel("", &error), nullptr);
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    channel->close();
    EXPECT_NE(openDeviceChannel("", &error), nullptr) << error;
}

TEST_F(PathChannel, AReadTakesAtMostNBytesAndLeavesTheRestOfTheTransfer) {
    auto sent = rawPattern(3000);
    ASSERT_EQ(gadget.command("raw 3000"), "ok");
    ASSERT_EQ(channel->read(buf, 1024), 1024) << channel->lastError();
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 1024), std::vector<uint8_t>(sent.begin(), sent.begin() + 1024));
    ASSERT_EQ(channel->read(buf, 1024), 1024) << channel->lastError();
    ASSERT_EQ(channel->read(buf, 4096), 952) << channel->lastError();
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 952), std::vector<uint8_t>(sent.begin() + 2048, sent.end()));
}

TEST_F(PathChannel, AZeroLengthTransferReadsAsZeroBytes) {
    ASSERT_EQ(gadget.command("zlp"), "ok");
    EXPECT_EQ(channel->read(buf, sizeof buf), 0) << channel->lastError();
}

TEST_F(PathChannel, AWriteOfMoreThan4096BytesSendsOneTransferOf4096) {
    size_t before = gadget.outSizes().size();
    std::vector<uint8_t> data(5000, 0xa5);
    EXPECT_EQ(channel->write(data.data(), data.size()), 4096) << channel->lastError();
    auto sizes = outSizesAfter(before);
    ASSERT_EQ(sizes.size(), before + 1);
    EXPECT_EQ(sizes.back(), 4096u);
}

TEST_F(PathChannel, AReadTheBoardNeverAnswersFailsAtTheTimeOutAndTheChannelGoesOn) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(channel->read(buf, sizeof buf), -1);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(350));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_FALSE(channel->lastError().empty());
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    EXPECT_EQ(channel->read(buf, sizeof buf), 7) << channel->lastError();
}

TEST_F(PathChannel, TheBoardAnswersARequestThroughTheChannel) {
    ASSERT_EQ(gadget.command("mode board"), "ok");
    auto request = board::encodeRequest(board::DeviceInfo);
    ASSERT_EQ(channel->write(request.data(), request.size()), long(request.size())) << channel->lastError();
    long n = channel->read(buf, sizeof buf);
    ASSERT_GT(n, 4) << channel->lastError();
    auto block = board::classifyBlock(buf, size_t(n));
    EXPECT_EQ(block.kind, board::Block::Complete);
    EXPECT_EQ(block.code, board::ReplyDeviceInfo);
    gadget.command("mode record");
}

}  // namespace
}  // namespace q47::guest

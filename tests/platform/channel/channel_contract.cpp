// Every backend of the device channel keeps the same contract with the board.
#include "channel_contract.h"

#include <cstdlib>
#include <thread>

#include "board/packet.h"
#include "platform/device_channel.h"

namespace q47::test {

namespace {

constexpr int kTimeoutMs = 400;

const std::vector<uint8_t> kStatus = {1, 0, 0, 0, 2};
const std::vector<uint8_t> kDeviceInfo = {1, 0, 0, 0, 1};

struct Fixture {
    std::unique_ptr<BoardRig> rig;
    std::string skip;
};

Fixture makeRig(const RigKind& kind, sim::Config config = {}) {
    setenv("Q47_IO_TIMEOUT_MS", std::to_string(kTimeoutMs).c_str(), 1);
    config.scanPolls = 2;
    Fixture f;
    f.rig = kind.make(config, &f.skip);
    return f;
}

#define MAKE_RIG(var, ...)                                        \
    Fixture var = makeRig(GetParam(), ##__VA_ARGS__);             \
    if (!var.rig) GTEST_SKIP() << var.skip;

std::unique_ptr<DeviceChannel> openOrFail(BoardRig& rig) {
    std::string error;
    auto ch = openDeviceChannel(rig.device(), &error);
    EXPECT_TRUE(ch) << error;
    return ch;
}

long writeBytes(DeviceChannel& ch, const std::vector<uint8_t>& bytes) {
    return ch.write(bytes.data(), bytes.size());
}

// Opens again until the board is back (it may take the rig a moment to re-list it).
std::unique_ptr<DeviceChannel> openWhenBack(BoardRig& rig, int withinMs) {
    for (int waited = 0; waited < withinMs; waited += 50) {
        if (auto ch = openDeviceChannel(rig.device())) return ch;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

}  // namespace

TEST_P(ChannelContract, OpeningIsExclusiveUntilTheHolderCloses) {
    MAKE_RIG(f);
    auto first = openOrFail(*f.rig);
    ASSERT_TRUE(first);
    std::string error;
    EXPECT_FALSE(openDeviceChannel(f.rig->device(), &error));
    EXPECT_FALSE(error.empty());
    first->close();
    EXPECT_FALSE(first->isOpen());
    auto second = openOrFail(*f.rig);
    ASSERT_TRUE(second);
    ASSERT_EQ(writeBytes(*second, kStatus), 5);
    uint8_t buf[4096];
    EXPECT_EQ(second->read(buf, sizeof buf), 14);
}

TEST_P(ChannelContract, ReadsTakeTheBoardsTransferPieceByPiece) {
    // Device info with a model name of 2979 characters is a 3000-byte transfer.
    sim::Config config;
    config.modelName = "Q-47" + std::string(2975, 'x');
    MAKE_RIG(f, config);
    auto ch = openOrFail(*f.rig);
    ASSERT_TRUE(ch);
    ASSERT_EQ(writeBytes(*ch, kDeviceInfo), 5);
    std::vector<uint8_t> got;
    uint8_t buf[1024];
    std::vector<long> counts;
    for (int i = 0; i < 3; ++i) {
        long n = ch->read(buf, sizeof buf);
        counts.push_back(n);
        if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(counts, (std::vector<long>{1024, 1024, 952}));
    ASSERT_EQ(got.size(), 3000u);
    EXPECT_EQ(board::le32(got.data()), 2996u);
    EXPECT_EQ(got[4], board::ReplyDeviceInfo);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&got[20])), config.modelName);
    // The transfer is used up: the next request's reply is a transfer of its own.
    ASSERT_EQ(writeBytes(*ch, kStatus), 5);
    EXPECT_EQ(ch->read(buf, sizeof buf), 14);
    EXPECT_EQ(buf[4], board::ReplyStatus);
}

TEST_P(ChannelContract, AWriteIsOneTransferOfAtMost4096Bytes) {
    MAKE_RIG(f);
    auto ch = openOrFail(*f.rig);
    ASSERT_TRUE(ch);
    std::vector<uint8_t> big(5000, 0xA5);
    board::putLe32(big.data(), 4996);
    big[4] = board::Status;
    EXPECT_EQ(writeBytes(*ch, big), 4096);
    // Its length field promises more than came: the board refuses the request.
    uint8_t buf[4096];
    ASSERT_EQ(ch->read(buf, sizeof buf), 5);
    EXPECT_EQ(buf[4], 0xFF);
    std::vector<std::vector<uint8_t>> received;
    f.rig->withBoard([&](sim::Board& b) { received = b.received(); });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], std::vector<uint8_t>(big.begin(), big.begin() + 4096));
}

TEST_P(ChannelContract, AZeroLengthPacketReadsAsZeroBytes) {
    MAKE_RIG(f);
    auto ch = openOrFail(*f.rig);
    ASSERT_TRUE(ch);
    f.rig->withBoard([](sim::Board& b) { b.injectNext(sim::Injection::ZeroLength); });
    ASSERT_EQ(writeBytes(*ch, kStatus), 5);
    uint8_t buf[4096];
    EXPECT_EQ(ch->read(buf, sizeof buf), 0);
    ASSERT_EQ(writeBytes(*ch, kStatus), 5);
    EXPECT_EQ(ch->read(buf, sizeof buf), 14);
}

TEST_P(ChannelContract, AnImageEndingOnABlockBoundaryEndsWithAZeroLengthPacket) {
    sim::Config config;
    config.scanLines = 8;
    config.linePixels = 1024;  // 8192 pixel bytes: two whole blocks after the header
    MAKE_RIG(f, config);
    auto ch = openOrFail(*f.rig);
    ASSERT_TRUE(ch);
    f.rig->withBoard([](sim::Board& b) { b.setState(board::StateTransImage); });
    ASSERT_EQ(writeBytes(*ch, {1, 0, 0, 0, board::ImageTransfer}), 5);
    uint8_t buf[4096];
    std::vector<long> counts;
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 4; ++i) {
        long n = ch->read(buf, sizeof buf);
        counts.push_back(n);
        if (i == 0) {
            EXPECT_EQ(board::le32(buf), 4092u + 8192u);
            EXPECT_EQ(board::le16(buf + 5), 8);
            EXPECT_EQ(board::le16(buf + 7), 1024);
        } else if (n > 0) {
            pixels.insert(pixels.end(), buf, buf + n);
        }
    }
    EXPECT_EQ(counts, (std::vector<long>{4096, 4096, 4096, 0}));
    std::vector<uint8_t> expected;
    f.rig->withBoard([&](sim::Board& b) { expected = b.imageData(false); });
    EXPECT_EQ(pixels, expected);
}

TEST_P(ChannelContract, AReadWithNothingToTakeTimesOutAndTheLinkStaysUsable) {
    MAKE_RIG(f);
    auto ch = openOrFail(*f.rig);
    ASSERT_TRUE(ch);
    uint8_t buf[4096];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ch->read(buf, sizeof buf), -1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(kTimeoutMs - 50));
    EXPECT_LT(waited, std::chrono::milliseconds(kTimeoutMs + 3000));
    EXPECT_NE(ch->lastError().find("no answer"), std::string::npos) << ch->lastError();
    ASSERT_EQ(writeBytes(*ch, kStatus), 5);
    EXPECT_EQ(ch->read(buf, sizeof buf), 14);
}

TEST_P(ChannelContract, UnpluggingFailsTheOpenLinkAndTheBoardCanBeOpenedWhenBack) {
    MAKE_RIG(f);
    auto ch = openOrFail(*f.rig);
    ASSERT_TRUE(ch);
    f.rig->unplug(600);
    uint8_t buf[4096];
    // Whichever of the two notices first, the exchange fails.
    const bool failed = writeBytes(*ch, kStatus) < 0 || ch->read(buf, sizeof buf) < 0;
    EXPECT_TRUE(failed);
    ch.reset();
    // Nothing to open while the cable is out.
    EXPECT_FALSE(openDeviceChannel(f.rig->device()));
    auto again = openWhenBack(*f.rig, 5000);
    ASSERT_TRUE(again);
    ASSERT_EQ(writeBytes(*again, kStatus), 5);
    EXPECT_EQ(again->read(buf, sizeof buf), 14);
}

}  // namespace q47::test

// The packet frame as both ends rely on it: request bytes, block classification, reply fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "board/packet.h"

using namespace q47::board;
using Bytes = std::vector<uint8_t>;

namespace {
// A 4096-byte receive buffer as the channel fills it, with a frame at its start.
std::array<uint8_t, kBlockSize> bufferWith(uint32_t length, uint8_t code, const Bytes& data = {}) {
    std::array<uint8_t, kBlockSize> buf{};
    putLe32(buf.data(), length);
    buf[4] = code;
    std::copy(data.begin(), data.end(), buf.begin() + 5);
    return buf;
}
}  // namespace

TEST(Requests, TheSixCommandsHaveTheirWireBytes) {
    EXPECT_EQ(encodeRequest(DeviceInfo), (Bytes{1, 0, 0, 0, 1}));
    EXPECT_EQ(encodeRequest(Status), (Bytes{1, 0, 0, 0, 2}));
    EXPECT_EQ(encodeRequest(ImageTransfer), (Bytes{1, 0, 0, 0, 3}));
    EXPECT_EQ(encodeRequest(PanelKey, KeyDensity), (Bytes{2, 0, 0, 0, 4, 3}));
    EXPECT_EQ(encodeRequest(FirmwareVersion), (Bytes{1, 0, 0, 0, 0x0D}));
    EXPECT_EQ(encodeRequest(PcScan), (Bytes{1, 0, 0, 0, 0x15}));
}

TEST(Requests, KeyByteOnlyForPanelKeyAndNothingForUnknownCodes) {
    EXPECT_EQ(encodeRequest(Status, 7), (Bytes{1, 0, 0, 0, 2}));
    for (int code = 0; code < 256; ++code) {
        bool known = code == 1 || code == 2 || code == 3 || code == 4 || code == 13 || code == 21;
        EXPECT_EQ(encodeRequest(uint8_t(code)).empty(), !known) << "code " << code;
    }
}

TEST(Requests, UtilityFramesCarryTheirParameters) {
    EXPECT_EQ(encodeFrame(18, {0x10, 0x20, 0x30}), (Bytes{4, 0, 0, 0, 18, 0x10, 0x20, 0x30}));
    EXPECT_EQ(encodeFrame(17), (Bytes{1, 0, 0, 0, 17}));
}

TEST(Classify, FourBytesOrFewerIsABadPacket) {
    auto buf = bufferWith(1, 0);
    for (size_t n = 0; n <= 4; ++n) EXPECT_EQ(classifyBlock(buf.data(), n).kind, Block::BadPacket);
    EXPECT_EQ(classifyBlock(nullptr, 100).kind, Block::BadPacket);
}

TEST(Classify, FiveByteAcknowledgeIsACompleteReplyWithCodeZero) {
    const uint8_t ack[] = {1, 0, 0, 0, 0};
    Block b = classifyBlock(ack, sizeof ack);
    EXPECT_EQ(b.kind, Block::Complete);
    EXPECT_EQ(b.code, 0);
    EXPECT_EQ(b.length, 1u);
}

TEST(Classify, ZeroLengthFieldIsABadPacket) {
    auto buf = bufferWith(0, 2);
    EXPECT_EQ(classifyBlock(buf.data(), 14).kind, Block::BadPacket);
}

TEST(Classify, LengthDecidesCompleteOrImageAtTheBlockBoundary) {
    auto full = bufferWith(4092, ReplyImage, {0x10, 0x00, 0x08, 0x00, 1});
    EXPECT_EQ(classifyBlock(full.data(), kBlockSize).kind, Block::Complete);

    auto image = bufferWith(4093, ReplyImage, {0x10, 0x00, 0x08, 0x00, 1});
    Block b = classifyBlock(image.data(), kBlockSize);
    ASSERT_EQ(b.kind, Block::ImageStart);
    EXPECT_EQ(b.expected, 1u);
    EXPECT_EQ(b.image.width, 16);
    EXPECT_EQ(b.image.height, 8);
    EXPECT_TRUE(b.image.colour);
}

TEST(Classify, ImageReplyOfAWholeSheetCountsItsOutstandingBytes) {
    const uint32_t W = 4096, H = 2000;
    auto buf = bufferWith(4092 + W * H, ReplyImage, {0x00, 0x10, 0xD0, 0x07, 0});
    Block b = classifyBlock(buf.data(), kBlockSize);
    ASSERT_EQ(b.kind, Block::ImageStart);
    EXPECT_EQ(b.expected, W * H);
    EXPECT_EQ(b.image.width, W);
    EXPECT_EQ(b.image.height, H);
    EXPECT_FALSE(b.image.colour);
}

TEST(Classify, OnlyTheCountAgainstFourIsChecked) {
    // A status reply whose read returned 6 bytes still reads its fields from the buffer.
    auto buf = bufferWith(10, ReplyStatus, {StateStandby});
    Block b = classifyBlock(buf.data(), 6);
    EXPECT_EQ(b.kind, Block::Complete);
    EXPECT_EQ(b.code, ReplyStatus);
}

TEST(Progress, PercentOfAnImageReply) {
    const uint32_t expected = 1000;
    EXPECT_EQ(imageProgressPercent(expected, expected - 6), 0u);
    EXPECT_EQ(imageProgressPercent(expected, 500), 50u);
    EXPECT_EQ(imageProgressPercent(expected, 0), 100u);
    // More data than announced drives outstanding below zero: capped at 100.
    EXPECT_EQ(imageProgressPercent(expected, uint32_t(-4090)), 100u);
}

TEST(Replies, DeviceInfoFields) {
    Bytes data(40, 0);
    data[0] = 'W';
    putLe16(&data[1], 2000);
    putLe16(&data[3], 4096);
    data[5] = 7;
    putLe32(&data[6], 0x01020304);
    putLe32(&data[10], 0x01000000);  // last byte (offset 18) is the flag
    std::memcpy(&data[15], "Q-47W", 6);
    auto buf = bufferWith(1 + 30, ReplyDeviceInfo, data);
    DeviceInfoReply d = parseDeviceInfo(buf.data());
    EXPECT_EQ(d.modelLetter, 'W');
    EXPECT_EQ(d.width, 2000);
    EXPECT_EQ(d.height, 4096);
    EXPECT_EQ(d.data10, 7);
    EXPECT_EQ(d.data11, 0x01020304u);
    EXPECT_TRUE(d.flag18);
    EXPECT_EQ(d.modelName, "Q-47W");
}

TEST(Replies, TextsStopAtTheBufferEndWithoutATerminator) {
    std::array<uint8_t, 32> buf;
    buf.fill('A');
    putLe32(buf.data(), 28);
    buf[4] = ReplyFirmwareVersion;
    EXPECT_EQ(parseFirmwareVersion(buf.data(), buf.size()), std::string(27, 'A'));
    EXPECT_EQ(parseDeviceInfo(buf.data(), buf.size()).modelName, std::string(12, 'A'));
}

TEST(Replies, StatusFieldsAndLamps) {
    auto buf = bufferWith(10, ReplyStatus, {StateScanPC, 0, 0, kLampColour | 0x01, 0, 0, 42, 0, 9});
    StatusReply s = parseStatus(buf.data());
    EXPECT_EQ(s.state, StateScanPC);
    EXPECT_TRUE(s.colour());
    EXPECT_FALSE(s.density());
    EXPECT_EQ(s.progress, 42);
    EXPECT_EQ(s.error, 9);
}

TEST(Texts, ErrorKeysFollowTheBoardsNumbering) {
    EXPECT_EQ(errorTextKey(0), nullptr);
    EXPECT_STREQ(errorTextKey(6), "MsgErrorUS");
    EXPECT_STREQ(errorTextKey(9), "MsgErrorE6");
    EXPECT_STREQ(defaultText(errorTextKey(9)), "(E6 ERROR)Cannot found page boundary.");
    EXPECT_STREQ(defaultText(errorTextKey(200)), "ERROR");
    EXPECT_STREQ(defaultText(errorTextKey(10)), "ERROR");
}

TEST(Texts, StateKeysOnlyForStatesThatShowText) {
    for (int s : {0, 14, 100, 7, 255}) EXPECT_EQ(stateTextKey(uint8_t(s)), nullptr) << s;
    EXPECT_STREQ(defaultText(stateTextKey(StateStandby)), "Ready");
    EXPECT_STREQ(defaultText(stateTextKey(StateScanPC)), "Acquiring image from Q-47...");
    EXPECT_STREQ(defaultText("MsgReceiveBadPkt"), "Receive bad packet from Q-47 devive !");
    EXPECT_EQ(defaultText("NoSuchKey"), nullptr);
}

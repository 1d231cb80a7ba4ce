// The simulated board's answers to the data source's requests, seen from the board's side.
#include <gtest/gtest.h>

#include "board_test_util.h"

namespace q47::test {
namespace {

using B = std::vector<uint8_t>;

sim::Config smallBoard() {
    sim::Config c;
    c.scanLines = 5;
    c.linePixels = 7;
    c.scanMs = 1000;
    return c;
}

TEST(BoardStatus, StandbyReplyHasTheFieldsAtTheirOffsets) {
    sim::Board b(smallBoard());
    EXPECT_EQ(askOne(b, board::Status), (B{10, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    b.setLamps(true, true);
    b.setError(9);
    EXPECT_EQ(askOne(b, board::Status), (B{10, 0, 0, 0, 2, 1, 0, 0, 0x60, 0, 0, 0, 0, 9}));
}

TEST(BoardStatus, BusyStatesAndErrorsAreReportedAsSet) {
    sim::Board b(smallBoard());
    for (uint8_t s : {2, 3, 4, 5, 6, 14, 0, 100}) {
        b.setState(s, 40);
        const B r = askOne(b, board::Status);
        EXPECT_EQ(r[5], s);
        EXPECT_EQ(r[11], 40);
    }
    b.setError(200);
    EXPECT_EQ(askOne(b, board::Status)[13], 200);
}

TEST(BoardInfo, DeviceInfoAndFirmwareVersionCarryTheConfiguredTexts) {
    sim::Config c = smallBoard();
    c.modelLetter = 'S';
    c.modelName = "Q-47S";
    c.firmware = "Ver 2.10";
    sim::Board b(c);
    const B info = askOne(b, board::DeviceInfo);
    ASSERT_EQ(info.size(), 26u);
    EXPECT_EQ(board::le32(info.data()), 22u);
    EXPECT_EQ(info[4], board::ReplyDeviceInfo);
    EXPECT_EQ(info[5], 'S');
    EXPECT_EQ(board::le16(&info[6]), 5);
    EXPECT_EQ(board::le16(&info[8]), 7);
    EXPECT_EQ(info[18], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[20])), "Q-47S");
    const B version = askOne(b, board::FirmwareVersion);
    EXPECT_EQ(version[4], board::ReplyFirmwareVersion);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&version[5])), "Ver 2.10");
    b.setModel('W', "Q-47W wide");
    EXPECT_EQ(askOne(b, board::DeviceInfo)[5], 'W');
}

TEST(BoardScan, APcScanRisesThrough16To17AndHandsOverTheImage) {
    ManualClock clock;
    sim::Board b(smallBoard(), clock.fn());
    EXPECT_EQ(askOne(b, board::PcScan), (B{1, 0, 0, 0, 0}));
    B s = askOne(b, board::Status);
    EXPECT_EQ(s[5], board::StateScanPC);
    EXPECT_EQ(s[11], 0);
    clock.now += 400;
    s = askOne(b, board::Status);
    EXPECT_EQ(s[5], board::StateScanPC);
    EXPECT_EQ(s[11], 40);
    clock.now += 700;
    s = askOne(b, board::Status);
    EXPECT_EQ(s[5], board::StateTransImage);
    EXPECT_EQ(s[11], 100);

    const sim::Transfers image = ask(b, board::ImageTransfer);
    ASSERT_EQ(image.size(), 2u);
    ASSERT_EQ(image[0].size(), 4096u);
    EXPECT_EQ(board::le32(image[0].data()), 4092u + 35u);
    EXPECT_EQ(image[0][4], board::ReplyImage);
    EXPECT_EQ(board::le16(&image[0][5]), 5);
    EXPECT_EQ(board::le16(&image[0][7]), 7);
    EXPECT_EQ(image[0][9], 0);  // grey: the COLOR lamp was dark
    EXPECT_EQ(image[1], b.imageData(false));
    EXPECT_EQ(image[1].size(), 35u);
    // The image is handed over: the board is idle, and a second request finds none.
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateStandby);
    EXPECT_EQ(askOne(b, board::ImageTransfer), (B{6, 0, 0, 0, 3, 0, 0, 0, 0, 0}));
}

TEST(BoardScan, ScanLengthCanBeCountedInStatusPolls) {
    sim::Config c = smallBoard();
    c.scanPolls = 3;
    sim::Board b(c, [] { return int64_t(0); });
    askOne(b, board::PcScan);
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateScanPC);
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateScanPC);
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateTransImage);
}

TEST(BoardScan, ImageDataFillingWholeBlocksEndsWithAZeroLengthPacket) {
    sim::Config c;
    c.scanLines = 4;
    c.linePixels = 2048;  // 8192 bytes
    sim::Board b(c);
    b.setState(board::StateTransImage);
    const sim::Transfers image = ask(b, board::ImageTransfer);
    ASSERT_EQ(image.size(), 4u);
    EXPECT_EQ(image[1].size(), 4096u);
    EXPECT_EQ(image[2].size(), 4096u);
    EXPECT_TRUE(image[3].empty());
}

TEST(BoardScan, AnImageIsColourWhenTheColorLampWasLitAtTheScansStart) {
    ManualClock clock;
    sim::Board b(smallBoard(), clock.fn());
    b.setLamps(true, false);
    askOne(b, board::PcScan);
    clock.now += 5000;
    askOne(b, board::Status);
    const sim::Transfers image = ask(b, board::ImageTransfer);
    EXPECT_EQ(image[0][9], 1);
    EXPECT_EQ(image[1], b.imageData(true));
}

TEST(BoardScan, OnlyAnIdleBoardOrOneAskingForAScanStartsOne) {
    sim::Board b(smallBoard());
    b.setState(board::StateScanMemory);
    EXPECT_EQ(askOne(b, board::PcScan)[4], 0xFF);
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateScanMemory);
    b.setState(board::StateAskPcScan);
    EXPECT_EQ(askOne(b, board::PcScan)[4], 0);
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateScanPC);
}

TEST(BoardKeys, ColorAndDensityKeysToggleTheirLamps) {
    sim::Board b(smallBoard());
    EXPECT_EQ(askOne(b, board::PanelKey, {board::KeyColor}), (B{1, 0, 0, 0, 0}));
    EXPECT_EQ(askOne(b, board::Status)[8], board::kLampColour);
    askOne(b, board::PanelKey, {board::KeyDensity});
    EXPECT_EQ(askOne(b, board::Status)[8], board::kLampColour | board::kLampDensity);
    askOne(b, board::PanelKey, {board::KeyColor});
    EXPECT_EQ(askOne(b, board::Status)[8], board::kLampDensity);
}

TEST(BoardKeys, LampKeysAreIgnoredWhileTheBoardIsBusy) {
    sim::Board b(smallBoard());
    askOne(b, board::PcScan);
    askOne(b, board::PanelKey, {board::KeyColor});
    b.setState(board::StatePrint);
    askOne(b, board::PanelKey, {board::KeyDensity});
    EXPECT_EQ(askOne(b, board::Status)[8], 0);
}

TEST(BoardKeys, StopEndsAScanABusyActivityAndState0) {
    for (uint8_t s : {uint8_t(board::StateScanPC), uint8_t(board::StateTransImage),
                      uint8_t(board::StateFeed), uint8_t(board::StateZero), uint8_t(board::StateAskPcScan)}) {
        sim::Board b(smallBoard());
        b.setState(s);
        askOne(b, board::PanelKey, {board::KeyStop});
        EXPECT_EQ(askOne(b, board::Status)[5], board::StateStandby) << int(s);
    }
}

TEST(BoardKeys, Key1CancelsTheScanAndKey2LeavesTheImageReady) {
    sim::Board b(smallBoard());
    b.setState(board::StateTransImage);
    askOne(b, board::PanelKey, {board::KeyImageSeen});
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateTransImage);
    askOne(b, board::PanelKey, {board::KeyCancelScan});
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateStandby);
    EXPECT_EQ(askOne(b, board::ImageTransfer)[4], board::ReplyImage);
    EXPECT_EQ(askOne(b, board::PanelKey, {9})[4], 0xFF);
}

TEST(BoardRobustness, MalformedRequestsAreRefusedAndLogged) {
    sim::Board b(smallBoard());
    const B shortOne = {1, 0, 0};
    const B lying = {5, 0, 0, 0, 2};      // promises 5 bytes, brings 1
    const B noKey = {1, 0, 0, 0, 4};      // PanelKey without its key
    const B unknown = {1, 0, 0, 0, 0x42};
    for (const B& r : {shortOne, lying, noKey, unknown}) {
        const sim::Transfers t = b.handle(r.data(), r.size());
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0], (B{1, 0, 0, 0, 0xFF}));
    }
    EXPECT_EQ(b.handle(nullptr, 0).size(), 1u);
    ASSERT_EQ(b.received().size(), 5u);
    EXPECT_EQ(b.received()[1], lying);
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateStandby);
}

TEST(BoardPacketLog, KeepsOnlyTheNewestPacketsUpToItsLimit) {
    sim::Config config = smallBoard();
    config.packetLogLimit = 3;
    sim::Board b(config);
    for (uint8_t key : {1, 2, 3, 4, 5}) ask(b, board::PanelKey, {key});
    const auto kept = b.received();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept.front(), request(board::PanelKey, {3}));
    EXPECT_EQ(kept.back(), request(board::PanelKey, {5}));
    EXPECT_EQ(b.receivedForgotten(), 2u);
    // The board still answers every request, logged or not.
    EXPECT_EQ(askOne(b, board::Status)[5], board::StateStandby);
    EXPECT_EQ(sim::Board(smallBoard()).config().packetLogLimit, 4096u);
}

TEST(BoardInjection, EachFaultReplacesExactlyTheNextReply) {
    sim::Board b(smallBoard());
    b.injectNext(sim::Injection::BadPacket4);
    b.injectNext(sim::Injection::ZeroLength);
    b.injectNext(sim::Injection::UnknownCode);
    EXPECT_EQ(ask(b, board::Status), (sim::Transfers{{1, 0, 0, 0}}));
    EXPECT_EQ(ask(b, board::Status), (sim::Transfers{{}}));
    EXPECT_EQ(askOne(b, board::Status), (B{2, 0, 0, 0, 0x7E, 0}));
    EXPECT_EQ(askOne(b, board::Status)[4], board::ReplyStatus);
}

TEST(BoardInjection, TheOversizedImageIsLargerThanThePcsImageBuffer) {
    sim::Board b(smallBoard());
    b.injectNext(sim::Injection::OversizedImage);
    const sim::Transfers t = ask(b, board::ImageTransfer);
    size_t pixels = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        EXPECT_LE(t[i].size(), 4096u);
        pixels += t[i].size();
    }
    EXPECT_EQ(board::le32(t[0].data()), 4092u + pixels);
    EXPECT_GT(pixels, 8u * 1024 * 1024);
    EXPECT_EQ(size_t(board::le16(&t[0][5])) * board::le16(&t[0][7]), pixels);
}

}  // namespace
}  // namespace q47::test

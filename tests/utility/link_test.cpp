// The utility's link: start-up queries, status polling and enabling, and every link failure.
#include <gtest/gtest.h>

#include "tests/utility/scripted_board.h"
#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

const std::vector<int> kStartup = {1, 13, 6, 17, 18, 19, 20, 2};
const char* const kUsbOpenError =
    "USB could not be opened ! Please make sure USB cable has been firmly plugged in, Q-47 USB "
    "driver has been correctly installed and Q-47 has been powered on normally.";

TEST(StartUp, QueriesGoOutInOrderOnePerTickAndStandbyEnablesTheControls) {
    Rig rig;
    rig.dialog->initialise();
    EXPECT_FALSE(rig.view.controls.ok);
    EXPECT_FALSE(rig.view.controls.timeStamp);
    EXPECT_EQ(rig.view.version, "V1.10");  // the language file's value until the board answers
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->lastState() >= 0; }));
    EXPECT_EQ(rig.requestCodes(), kStartup);
    EXPECT_EQ(rig.clock.now(), 8 * 50);
    EXPECT_EQ(rig.view.version, "Ver 1.00");
    EXPECT_TRUE(rig.view.controls.ok && rig.view.controls.reset && rig.view.controls.cancel);
    EXPECT_TRUE(rig.view.controls.timeStamp && rig.view.controls.pickers &&
                rig.view.controls.paper);
    EXPECT_TRUE(rig.view.controls.imageModes);  // model W
    EXPECT_FALSE(rig.view.controls.apply);
    EXPECT_FALSE(rig.view.controls.update);  // no file name yet
    EXPECT_TRUE(rig.messages().empty());
    // The board's values are shown and committed.
    EXPECT_EQ(rig.view.radios, (std::array<uint8_t, kSettingCount>{1, 1, 0, 0, 1}));
}

TEST(StartUp, AnotherModelLetterKeepsTheImageModeRadiosDisabled) {
    for (char letter : {'S', '5', 'w'}) {
        auto config = utilityBoard();
        config.modelLetter = letter;
        Rig rig(config);
        rig.start();
        EXPECT_TRUE(rig.view.controls.ok);
        EXPECT_EQ(rig.view.controls.imageModes, letter == 'w') << letter;
        EXPECT_EQ(rig.dialog->wideModel(), letter == 'w');
    }
}

TEST(Status, PollsOnceASecondWhenIdle) {
    Rig rig;
    rig.start();
    rig.simulator.clearReceived();
    const int64_t t0 = rig.clock.now();
    rig.clock.advance(10000);
    EXPECT_EQ(rig.requestCodes(), std::vector<int>(10, board::Status));
    EXPECT_EQ(rig.clock.periodOf(kLinkTimer), 1000);
    EXPECT_GE(rig.clock.now() - t0, 10000);
}

TEST(Status, BusyStatesDisableReadyEnablesOthersLeaveTheControls) {
    Rig rig;
    rig.start();
    auto stateSeen = [&](int s) {
        return rig.runUntil([&] { return rig.dialog->lastState() == s; }, 5000);
    };
    rig.simulator.setState(board::StateScanMemory);
    ASSERT_TRUE(stateSeen(board::StateScanMemory));
    EXPECT_FALSE(rig.view.controls.ok);
    rig.simulator.setState(9);
    ASSERT_TRUE(stateSeen(9));
    EXPECT_FALSE(rig.view.controls.ok);
    rig.simulator.setState(board::StateStandby);
    ASSERT_TRUE(stateSeen(board::StateStandby));
    EXPECT_TRUE(rig.view.controls.ok);
    rig.simulator.setState(9);
    ASSERT_TRUE(stateSeen(9));
    EXPECT_TRUE(rig.view.controls.ok);
    for (int s : {15, 16, 2, 6}) {
        rig.simulator.setState(board::StateStandby);
        ASSERT_TRUE(stateSeen(board::StateStandby));
        rig.simulator.setState(uint8_t(s));
        ASSERT_TRUE(stateSeen(s));
        EXPECT_FALSE(rig.view.controls.ok) << s;
    }
}

TEST(Status, StateZeroIsAnsweredWithTheStopKey) {
    Rig rig;
    rig.start();
    rig.simulator.clearReceived();
    rig.simulator.setState(board::StateZero);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->lastState() == 0; }, 5000));
    rig.clock.advance(60);
    const auto codes = rig.requestCodes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[1], 400 + board::KeyStop);
}

TEST(Unplugged, TheMessageIsShownOnceAndTheQueriesWaitForTheBoard) {
    Rig rig(utilityBoard(), /*plugIn=*/false);
    rig.dialog->initialise();
    EXPECT_EQ(rig.messages(), std::vector<std::string>{kUsbOpenError});
    EXPECT_EQ(rig.notifier.boxes[0].icon, MsgIcon::Exclamation);
    rig.clock.advance(2000);  // reconnect attempts every 50 ms, silently
    EXPECT_EQ(rig.messages().size(), 1u);
    EXPECT_FALSE(rig.dialog->link().deviceOpen);

    ASSERT_TRUE(rig.simulator.listen(rig.socket));
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->lastState() >= 0; }, 5000));
    EXPECT_EQ(rig.requestCodes(), kStartup);
    EXPECT_EQ(rig.messages().size(), 1u);
    EXPECT_TRUE(rig.view.controls.ok);
}

TEST(BadReplies, AShortReplyShowsTheBadPacketMessageAndStopsTheLink) {
    for (auto what : {sim::Injection::BadPacket4, sim::Injection::ZeroLength}) {
        Rig rig;
        rig.start();
        rig.simulator.injectNext(what);
        ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->linkFailures() > 0; }, 5000));
        EXPECT_EQ(rig.messages(), std::vector<std::string>{"Receive bad packet from Q-47 !"});
        EXPECT_TRUE(rig.dialog->linkTimerStopped());
    }
}

TEST(BadReplies, AReplyForAnotherCommandStopsTheLinkWithoutAMessage) {
    Rig rig;
    rig.start();
    rig.simulator.injectNext(sim::Injection::UnknownCode);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->mismatches() > 0; }, 5000));
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_TRUE(rig.dialog->linkTimerStopped());
    const size_t before = rig.simulator.received().size();
    rig.clock.advance(5000);
    EXPECT_EQ(rig.simulator.received().size(), before);
}

// --- replies the simulator does not send, from a scripted board ---

std::vector<uint8_t> reply(uint32_t length, std::vector<uint8_t> body, size_t total = 0) {
    std::vector<uint8_t> r(4);
    board::putLe32(r.data(), length);
    r.insert(r.end(), body.begin(), body.end());
    if (total) r.resize(total, 0);
    return r;
}

struct ScriptRig {
    ScriptRig() {
        script = std::make_shared<Script>();
        dialog = std::make_unique<UtilityDialog>(UtilityEnvironment{
            clock, notifier, view, dir.path(), "",
            [s = script](std::string*) { return std::make_unique<ScriptedChannel>(s); }});
    }
    TempDir dir;
    std::shared_ptr<Script> script;
    VirtualClock clock;
    RecordingNotifier notifier;
    RecordingView view;
    std::unique_ptr<UtilityDialog> dialog;
};

TEST(LostBoard, AFailedReadShowsTheReceiveErrorStopsTheLinkAndTheDeviceIsReopened) {
    ScriptRig rig;
    int opens = 0;
    rig.dialog = std::make_unique<UtilityDialog>(UtilityEnvironment{
        rig.clock, rig.notifier, rig.view, rig.dir.path(), "", [&](std::string*) {
            ++opens;
            return std::make_unique<ScriptedChannel>(rig.script);
        }});
    rig.dialog->initialise();  // nothing scripted: the first read fails
    rig.clock.advance(50);
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text,
              "Receive packet through Q-47 Bulk-in endpoint failed ! Please check USB connection "
              "again.");
    EXPECT_TRUE(rig.dialog->linkTimerStopped());
    // The reconnect timer, due at the same moment, reopened the device without a message.
    EXPECT_EQ(opens, 2);
    EXPECT_TRUE(rig.dialog->link().handleValid());
    EXPECT_EQ(rig.notifier.boxes.size(), 1u);
    // The stopped link timer waits for the user: nothing is written meanwhile.
    const size_t written = rig.script->written.size();
    rig.clock.advance(3000);
    EXPECT_EQ(rig.script->written.size(), written);
    rig.script->transfers.push_back(reply(1, {0}));
    rig.dialog->apply();
    rig.clock.advance(50);
    EXPECT_EQ(rig.script->written.size(), written + 1);
}

TEST(LostBoard, AFailedWriteLeavesThePacketQueuedForTheReopenedDevice) {
    auto script = std::make_shared<Script>();
    struct FailingOnce : ScriptedChannel {
        using ScriptedChannel::ScriptedChannel;
        long write(const uint8_t* d, size_t n) override {
            return failed_++ ? ScriptedChannel::write(d, n) : -1;
        }
        int failed_ = 0;
    };
    VirtualClock clock;
    RecordingNotifier notifier;
    RecordingView view;
    TempDir dir;
    int opens = 0;
    UtilityDialog dialog(UtilityEnvironment{
        clock, notifier, view, dir.path(), "", [&](std::string*) {
            ++opens;
            return opens == 1
                       ? std::unique_ptr<DeviceChannel>(std::make_unique<FailingOnce>(script))
                       : std::make_unique<ScriptedChannel>(script);
        }});
    script->transfers.push_back(reply(2, {1, 'W'}));
    dialog.initialise();
    // The write fails without a message; the reconnect timer, due at the same moment,
    // reopens the device it marked.
    clock.advance(50);
    EXPECT_TRUE(script->written.empty());
    EXPECT_TRUE(notifier.boxes.empty());
    EXPECT_EQ(opens, 2);
    clock.advance(50);  // the same packet again
    ASSERT_FALSE(script->written.empty());
    EXPECT_EQ(script->written[0], (std::vector<uint8_t>{1, 0, 0, 0, 1}));
    EXPECT_TRUE(dialog.wideModel());
}

TEST(BadReplies, ALengthFieldOfZeroIsABadPacketNotATestImage) {
    ScriptRig rig;
    rig.script->transfers.push_back(reply(0, {1, 'W'}, 1024));
    rig.dialog->initialise();
    rig.clock.advance(50);
    EXPECT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, "Receive bad packet from Q-47 !");
    EXPECT_TRUE(rig.dialog->packetStart());
    EXPECT_EQ(rig.dialog->testImagesReceived(), 0);
}

TEST(BadReplies, Length1020IsAnOrdinaryReplyAnd1021StartsATestImage) {
    ScriptRig rig;
    std::vector<uint8_t> info = {1, 'W'};
    rig.script->transfers.push_back(reply(1020, info, 1024));
    rig.dialog->initialise();
    rig.clock.advance(50);
    EXPECT_TRUE(rig.dialog->wideModel());
    EXPECT_TRUE(rig.dialog->packetStart());
    EXPECT_FALSE(rig.dialog->link().awaitingReply);

    // 1021: a test image of 1015 compressed bytes: one more byte after the first read.
    std::vector<uint8_t> head = {0x50, 'W', 0, 1, 0, 1};
    rig.script->transfers.push_back(reply(1021, head, 1024));
    rig.script->transfers.push_back({0x00});
    rig.clock.advance(50);
    EXPECT_FALSE(rig.dialog->packetStart());
    EXPECT_TRUE(rig.dialog->link().awaitingReply);
    rig.clock.advance(50);
    EXPECT_TRUE(rig.dialog->packetStart());
    EXPECT_EQ(rig.dialog->testImagesReceived(), 1);
    EXPECT_EQ(readFile(rig.dir / "rawdata.bin").size(), 1015u);
    EXPECT_TRUE(rig.notifier.boxes.empty());
}

TEST(BadReplies, AnAbsurdTestImageLengthIsRefusedBeforeAnythingIsAllocated) {
    ScriptRig rig;
    rig.script->transfers.push_back(reply(0xFFFFFFF0u, {0x50, 'W', 0xFF, 0xFF, 0xFF, 0xFF}, 1024));
    rig.dialog->initialise();
    rig.clock.advance(50);
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, "Receive bad packet from Q-47 !");
    EXPECT_TRUE(rig.dialog->packetStart());
}

TEST(BadReplies, RepliesTooShortForTheirFieldChangeNothing) {
    ScriptRig rig;
    // A status without its state byte, a setting without its value, a value of 7.
    rig.script->transfers.push_back(reply(1, {1}));
    rig.script->transfers.push_back(reply(1, {13}));
    rig.script->transfers.push_back(reply(1, {6}));
    rig.script->transfers.push_back(reply(2, {17, 7}));
    rig.dialog->initialise();
    rig.clock.advance(4 * 50);
    EXPECT_FALSE(rig.dialog->wideModel());
    EXPECT_EQ(rig.dialog->firmwareVersionText(), "");
    EXPECT_EQ(rig.dialog->committedValue(PrintMode), 1);
    EXPECT_EQ(rig.dialog->committedValue(SaveMode), 1);
    EXPECT_TRUE(rig.notifier.boxes.empty());
    EXPECT_EQ(rig.dialog->mismatches(), 0);
}

TEST(Packets, EveryCommandHasItsShape) {
    ScriptRig rig;
    using B = std::vector<uint8_t>;
    auto& d = *rig.dialog;
    EXPECT_EQ(d.buildCommand(board::DeviceInfo, 0), (B{1, 0, 0, 0, 1}));
    EXPECT_EQ(d.buildCommand(board::Status, 7), (B{1, 0, 0, 0, 2}));
    EXPECT_EQ(d.buildCommand(board::PanelKey, 3), (B{2, 0, 0, 0, 4, 3}));
    EXPECT_EQ(d.buildCommand(BoardClock, 0), (B{1, 0, 0, 0, 5}));
    d.setPickerClock({2031, 7, 4, 13, 45});
    EXPECT_EQ(d.buildCommand(BoardClock, 1), (B{7, 0, 0, 0, 5, 0xEF, 0x07, 7, 4, 13, 45}));
    EXPECT_EQ(d.buildCommand(PaperSize, 0), (B{1, 0, 0, 0, 18}));
    d.selectSetting(Paper, 1);
    EXPECT_EQ(d.buildCommand(PaperSize, 1), (B{2, 0, 0, 0, 18, 1}));
    EXPECT_EQ(d.buildCommand(TimeStamp, 1), (B{2, 0, 0, 0, 20, 1}));
    EXPECT_EQ(d.buildCommand(99, 1), (B{1, 0, 0, 0, 99}));
    d.setFirmwarePath("Q47_A_1.mot");
    const B start = d.buildCommand(FirmwareUpdate, 1);
    EXPECT_EQ(start.size(), 11u + 7u);
    EXPECT_EQ(board::le32(start.data()), 11u + 3u);
    EXPECT_EQ(std::string(start.begin() + 6, start.end() - 1), "Q47_A_1.mot");
    EXPECT_EQ(start[5], 0);
    EXPECT_EQ(start.back(), 0);
}

TEST(Packets, TheRingWrapsAndRefusesWhatDoesNotFit) {
    auto script = std::make_shared<Script>();
    UtilityLink link("",
                     [script](std::string*) { return std::make_unique<ScriptedChannel>(script); });
    ASSERT_TRUE(link.openDevice());
    // Fill to 1020 with 5-byte packets and send them, so the next packet wraps.
    for (int i = 0; i < 204; ++i) ASSERT_TRUE(link.queuePacket({1, 0, 0, 0, 2}));
    EXPECT_FALSE(link.queuePacket({2, 0, 0, 0, 4, 0}));  // 1026 > 1023
    for (int i = 0; i < 204; ++i) ASSERT_TRUE(link.sendNextPacket());
    EXPECT_EQ(link.readIndex(), 1020u);
    ASSERT_TRUE(link.queuePacket({7, 0, 0, 0, 5, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(link.writeIndex(), 7u);
    ASSERT_TRUE(link.sendNextPacket());
    EXPECT_EQ(script->written.back(), (std::vector<uint8_t>{7, 0, 0, 0, 5, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(link.lastCommand, 5);
    EXPECT_TRUE(link.queueEmpty());
}

}  // namespace
}  // namespace q47::test

// The board link: request ring, start-up dialogue, poll periods and every link failure.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/datasource/acquire_rig.h"

namespace q47::test {
namespace {

const std::vector<uint8_t> kStatus = {1, 0, 0, 0, 2};

// --- the request ring, against the simulated board ---

class RingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.listen((dir / "board.sock").string()));
        link = std::make_unique<BoardLink>("sim:" + (dir / "board.sock").string());
        ASSERT_TRUE(link->openDevice());
    }
    std::vector<uint8_t> lastReceived() const {
        const auto all = simulator.received();
        return all.empty() ? std::vector<uint8_t>{} : all.back();
    }
    TempDir dir;
    sim::Simulator simulator{smallBoard()};
    std::unique_ptr<BoardLink> link;
};

TEST_F(RingTest, ARequestQueuedAtIndex62WrapsAndIsSentIntact) {
    // Move both indices to 62 with whole requests (4 x 5 + 7 x 6 bytes), sent one by one.
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(link->queueRequest(i < 4 ? board::Status : board::PanelKey, 0));
        link->dropQueue();
    }
    ASSERT_EQ(link->writeIndex(), 62u);
    ASSERT_TRUE(link->queueRequest(board::PanelKey, board::KeyDensity));
    EXPECT_EQ(link->writeIndex(), 4u);
    ASSERT_TRUE(link->sendNext());
    EXPECT_TRUE(link->queueEmpty());
    EXPECT_GT(link->receive(), 4);  // the board has taken the request once it answers
    EXPECT_EQ(lastReceived(), (std::vector<uint8_t>{2, 0, 0, 0, 4, 3}));
}

TEST_F(RingTest, RequestsLeaveInQueueOrderOnePerWrite) {
    link->queueRequest(board::DeviceInfo);
    link->queueRequest(board::PanelKey, board::KeyColor);
    link->queueRequest(board::Status);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(link->sendNext());
        EXPECT_TRUE(link->awaitingReply);
        ASSERT_GT(link->receive(), 4);
    }
    EXPECT_FALSE(link->sendNext());
    const auto got = simulator.received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], (std::vector<uint8_t>{1, 0, 0, 0, 1}));
    EXPECT_EQ(got[1], (std::vector<uint8_t>{2, 0, 0, 0, 4, 4}));
    EXPECT_EQ(got[2], kStatus);
}

TEST_F(RingTest, QueueingAbandonsTheOutstandingReply) {
    link->queueRequest(board::Status);
    ASSERT_TRUE(link->sendNext());
    ASSERT_TRUE(link->awaitingReply);
    link->dropQueue();
    link->queueRequest(board::PanelKey, board::KeyStop);
    EXPECT_FALSE(link->awaitingReply);
    ASSERT_TRUE(link->sendNext());
    // The abandoned reply still comes first; the link does not wait for it.
    EXPECT_GT(link->receive(), 4);
    EXPECT_GT(link->receive(), 4);
    EXPECT_EQ(simulator.received(),
              (std::vector<std::vector<uint8_t>>{kStatus, {2, 0, 0, 0, 4, 0}}));
}

TEST_F(RingTest, UnknownCodesAndOverflowQueueNothing) {
    EXPECT_FALSE(link->queueRequest(5));
    EXPECT_TRUE(link->queueEmpty());
    // 63 bytes is the most the ring holds: 12 x 5 fit, a 13th would overrun the head.
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(link->queueRequest(board::Status));
    EXPECT_FALSE(link->queueRequest(board::Status));
    EXPECT_EQ(link->queuedBytes(), 60u);
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(link->sendNext());
        ASSERT_GT(link->receive(), 4);
    }
    for (const auto& r : simulator.received()) EXPECT_EQ(r, kStatus);
}

// --- start-up and polling, through AcquireDialog ---

TEST(StartUp, DeviceInfoFirmwareLayoutConnectionCheckThenStatusPolling) {
    Rig rig(WindowMode::Full);
    rig.dialog->initialise();
    EXPECT_EQ(rig.view.statuses.front(), "USB could not be opened !");

    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().standby; }, 5000));
    EXPECT_EQ(rig.requestCodes(), (std::vector<int>{board::DeviceInfo, board::FirmwareVersion,
                                                   board::Status}));
    // DeviceInfo at 10 ms, FirmwareVersion 10 ms later, the first Status a second after.
    EXPECT_EQ(rig.clock.now(), 1020);
    EXPECT_EQ(rig.dialog->scan().modelLetter, 'W');
    EXPECT_EQ(rig.dialog->scan().modelName, "Q-47W");
    EXPECT_EQ(rig.dialog->scan().firmwareVersion, "Ver 1.00");

    // Layout, then the panel reset, then the first status redraws it.
    std::vector<std::string> afterLayout(
        std::find(rig.view.events.begin(), rig.view.events.end(), "layout"), rig.view.events.end());
    EXPECT_EQ(afterLayout,
              (std::vector<std::string>{"layout", "refresh", "not-ready", "stop-close:off",
                                        "bar:hidden", "status:", "ready", "status:Ready",
                                        "refresh"}));
    EXPECT_EQ(rig.clock.periodOf(kConnectionCheck), 10);
    EXPECT_EQ(rig.clock.periodOf(kLinkTick), 1000);
    EXPECT_TRUE(rig.view.buttons.pcScan && rig.view.buttons.comp && !rig.view.buttons.stop);
    EXPECT_EQ(rig.view.content.modelName, "Q-47W");
    EXPECT_EQ(rig.view.content.firmwareVersion, "Ver 1.00");

    // Polling goes on every second; an identical status leaves the panel alone.
    const int refreshes = rig.view.refreshes;
    rig.clock.advance(3000);
    EXPECT_EQ(rig.count(board::Status), 4);
    EXPECT_EQ(rig.view.refreshes, refreshes);
}

TEST(StartUp, TheCompButtonIsOnlyForModelW) {
    sim::Config config = smallBoard();
    config.modelLetter = 'S';
    Rig rig(WindowMode::Full, config);
    rig.open();
    EXPECT_TRUE(rig.view.buttons.pcScan);
    EXPECT_FALSE(rig.view.buttons.comp);
}

struct StatePoll {
    uint8_t state;
    int periodMs;
    const char* text;  // nullptr: the status text stays
    bool busy;
};

class BoardStates : public ::testing::TestWithParam<StatePoll> {};

TEST_P(BoardStates, EachStatePollsAtItsPeriodWithItsText) {
    const StatePoll p = GetParam();
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.setState(p.state, 40);
    const std::string before = rig.dialog->statusText();
    const int polls = rig.count(board::Status);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == p.state; }, 2000));

    EXPECT_EQ(rig.clock.periodOf(kLinkTick), p.periodMs);
    EXPECT_EQ(rig.dialog->statusText(), p.text ? p.text : before);
    EXPECT_EQ(rig.dialog->scan().busy, p.busy);
    if (p.busy) {
        EXPECT_TRUE(rig.view.buttons.stop && !rig.view.buttons.pcScan);
    }
    // The next poll comes exactly one period later.
    rig.clock.advance(p.periodMs - 1);
    EXPECT_EQ(rig.count(board::Status), polls + 1);
    rig.clock.advance(1);
    EXPECT_EQ(rig.count(board::Status), polls + 2);
}

INSTANTIATE_TEST_SUITE_P(
    AllStates, BoardStates,
    ::testing::Values(StatePoll{2, 20000, "Scanning and print is in progress...", true},
                      StatePoll{3, 20000, "Scanning and save is in progress...", true},
                      StatePoll{4, 1000, "Print is in progress...", true},
                      StatePoll{5, 1000, "Save is in progress...", true},
                      StatePoll{6, 1000, "Sheet-scroll is in progress...", true},
                      StatePoll{14, 1000, nullptr, false}, StatePoll{50, 1000, nullptr, false}),
    [](const auto& info) { return "State" + std::to_string(info.param.state); });

TEST(BoardStates, ScanPcShowsTheProgressWithTheStatusText) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.setState(board::StateScanPC, 45);
    rig.simulator.setScanPolls(1000);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == 16; }, 2000));
    EXPECT_EQ(rig.clock.periodOf(kLinkTick), 1000);
    EXPECT_TRUE(rig.view.sawStatus("Acquiring image from Q-47...  0% Completed."));
    rig.clock.advance(1000);
    EXPECT_EQ(rig.view.statuses.back(), "Acquiring image from Q-47...  0% Completed.");
    EXPECT_EQ(rig.dialog->statusText(), "Acquiring image from Q-47...");
}

TEST(BoardStates, StateZeroIsAnsweredWithStopAndAStatusPoll) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.setState(board::StateZero);
    rig.simulator.clearReceived();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == 0; }, 3000));
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().standby; }, 3000));
    EXPECT_EQ(rig.requestCodes(),
              (std::vector<int>{board::Status, 400 + board::KeyStop, board::Status}));
}

TEST(BoardStates, ALampChangeOrANewErrorRedrawsThePanel) {
    Rig rig(WindowMode::Full);
    rig.open();
    int refreshes = rig.view.refreshes;
    rig.simulator.setLamps(false, true);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.view.refreshes, refreshes + 1);
    EXPECT_TRUE(rig.view.content.densityLamp);

    rig.simulator.setError(9);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.view.refreshes, refreshes + 2);
    EXPECT_EQ(rig.view.content.statusText, "(E6 ERROR)Cannot found page boundary.");
    EXPECT_TRUE(rig.view.saw("stop-close:off"));
    // The error stays: polling goes on and the panel is not drawn again.
    rig.clock.advance(3000);
    EXPECT_EQ(rig.view.refreshes, refreshes + 2);
    rig.simulator.setError(200);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.dialog->statusText(), "ERROR");
    EXPECT_TRUE(rig.notifier.boxes.empty());
    EXPECT_EQ(rig.twain.closes, 0);
}

TEST(Keys, AKeyReplacesWhateverIsQueuedAndIsFollowedByAStatusPoll) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.clearReceived();
    // A status poll is queued for the next tick; DENSITY replaces it.
    rig.dialog->pressKey(board::KeyDensity);
    EXPECT_TRUE(rig.dialog->link().queuedBytes() == 6u);
    rig.clock.advance(10);
    EXPECT_EQ(rig.requestCodes(), (std::vector<int>{400 + board::KeyDensity}));
    // The Ack asks for status after 250 ms; timer 3 replaces the queue with Status too.
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().densityHigh; }, 1000));
    EXPECT_EQ(rig.requestCodes(), (std::vector<int>{400 + board::KeyDensity, board::Status}));
    EXPECT_FALSE(rig.clock.isRunning(kStatusAfterKey));
}

TEST(Keys, LampKeysWaitForAnIdleBoardButStopIsAlwaysTaken) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.setState(board::StatePrint);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().busy; }, 2000));
    rig.simulator.clearReceived();
    rig.dialog->pressKey(board::KeyColor);
    rig.dialog->pressKey(board::KeyDensity);
    rig.dialog->startPcScan();
    rig.dialog->startCompressedScan();
    rig.clock.advance(10);
    EXPECT_TRUE(rig.simulator.received().empty());
    rig.dialog->pressKey(board::KeyStop);
    rig.clock.advance(10);
    EXPECT_EQ(rig.requestCodes(), (std::vector<int>{400 + board::KeyStop}));
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().standby; }, 2000));
}

// --- link failures ---

// The cable is pulled after the board took a request and before it answered: the
// board's lock is held so that it cannot answer, and the read fails by its time-out.
TEST(LinkFaults, AReadThatFailsEndsTheTickAndTheConnectionCheckReopens) {
    setenv("Q47_IO_TIMEOUT_MS", "300", 1);
    struct ResetTimeout {
        ~ResetTimeout() { unsetenv("Q47_IO_TIMEOUT_MS"); }
    } resetTimeout;
    Rig rig(WindowMode::Full);
    rig.open();
    std::thread silence([&] {
        rig.simulator.withBoard([](sim::Board&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            return 0;
        });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The next poll is written and never answered.
    ASSERT_TRUE(rig.runUntil(
        [&] { return rig.dialog->statusText() == "Receive packet from Q-47 via USB failed !"; },
        1000));
    silence.join();
    EXPECT_EQ(rig.dialog->statusText(), "Receive packet from Q-47 via USB failed !");
    EXPECT_FALSE(rig.dialog->link().handleValid());
    EXPECT_TRUE(rig.dialog->link().deviceOpen);
    EXPECT_FALSE(rig.dialog->link().awaitingReply);
    EXPECT_TRUE(rig.notifier.boxes.empty());

    // The board notices the PC has gone; then the connection check reopens it and
    // polls again.
    for (int i = 0; i < 400 && rig.simulator.clientConnected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    rig.view.statuses.clear();
    rig.simulator.clearReceived();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->link().handleValid(); }, 100));
    EXPECT_EQ(rig.view.statuses,
              (std::vector<std::string>{"USB could not be opened !", "Ready"}));
    EXPECT_EQ(rig.clock.periodOf(kConnectionCheck), 1000);
    rig.clock.advance(10);
    EXPECT_EQ(rig.requestCodes(), (std::vector<int>{board::Status}));
    EXPECT_EQ(rig.twain.closes, 0);
}

// On Linux a pulled cable fails the next write (the socket and the USB driver alike),
// and a failed write ends the session.
TEST(LinkFaults, UnplugBetweenTicksFailsTheNextWriteAndAsksToBeClosed) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.unplug(60000);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.dialog->statusText(), "USB could not be opened !");
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, "USB could not be opened !");
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_TRUE(rig.dialog->link().queueEmpty());
    EXPECT_FALSE(rig.dialog->link().deviceOpen);
}

TEST(LinkFaults, WithTheBoardGoneTheWindowAsksToBeClosed) {
    Rig rig(WindowMode::ProgressOnly);
    rig.open();
    rig.destroyOnClose();
    rig.simulator.unplug(60000);
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 3000));
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, "USB could not be opened !");
    EXPECT_EQ(rig.notifier.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(rig.notifier.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(rig.view.saw("hide"));
    EXPECT_FALSE(rig.dialog->link().deviceOpen);
    for (int id : {kLinkTick, kConnectionCheck, kStatusAfterKey}) EXPECT_FALSE(rig.clock.isRunning(id));
}

TEST(LinkFaults, AnUnreachableBoardAtStartIsReportedAndClosed) {
    Rig rig(WindowMode::Full);
    rig.simulator.stop();
    rig.dialog->initialise();
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, "USB could not be opened !");
    EXPECT_EQ(rig.view.statuses, (std::vector<std::string>{"USB could not be opened !"}));
    // The request is posted: the application gets it after MSG_ENABLEDS has returned.
    EXPECT_EQ(rig.twain.closes, 0);
    rig.clock.advance(10);
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_FALSE(rig.view.saw("hide"));  // only a progress-only window hides first
    EXPECT_FALSE(rig.clock.isRunning(kLinkTick));
}

// What stands beside the box on standard error: the device tried and the channel's reason.
TEST(LinkFaults, AFailedOpenNamesTheDeviceAndTheReason) {
    BoardLink missing("sim:/nonexistent-q47/board.sock");
    EXPECT_FALSE(missing.openDevice());
    EXPECT_EQ(missing.failureText(), "device \"sim:/nonexistent-q47/board.sock\": "
                                     "/nonexistent-q47/board.sock: no board there (No such file or directory)");
    BoardLink badName("usb:zz");
    EXPECT_FALSE(badName.openDevice());
    EXPECT_EQ(badName.failureText(),
              "device \"usb:zz\": bad USB device name \"usb:zz\" (want usb or usb:VVVV:PPPP)");

    TempDir dir;
    sim::Simulator board{smallBoard()};
    ASSERT_TRUE(board.listen((dir / "b.sock").string()));
    const std::string device = "sim:" + (dir / "b.sock").string();
    BoardLink first(device), second(device);
    ASSERT_TRUE(first.openDevice());
    EXPECT_FALSE(second.openDevice());
    EXPECT_EQ(second.failureText(),
              "device \"" + device + "\": " + (dir / "b.sock").string() + ": the board is in use");
}

TEST(LinkFaults, AFourByteReplyIsABadPacketAndTheLinkStaysOpen) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.injectNext(sim::Injection::BadPacket4);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.dialog->statusText(), "Receive bad packet from Q-47 devive !");
    EXPECT_TRUE(rig.dialog->link().handleValid());
    EXPECT_FALSE(rig.dialog->link().awaitingReply);
    // Nothing is asked again until the next request is queued...
    const int polls = rig.count(board::Status);
    rig.clock.advance(5000);
    EXPECT_EQ(rig.count(board::Status), polls);
    // ...and the link works as before when one is.
    rig.dialog->pressKey(board::KeyColor);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().colourMode; }, 1000));
    EXPECT_EQ(rig.dialog->statusText(), "Ready");
}

TEST(LinkFaults, AZeroLengthReplyIsABadPacketToo) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.injectNext(sim::Injection::ZeroLength);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.dialog->statusText(), "Receive bad packet from Q-47 devive !");
    EXPECT_TRUE(rig.dialog->link().handleValid());
}

TEST(LinkFaults, AnUnknownReplyIsIgnored) {
    Rig rig(WindowMode::Full);
    rig.open();
    const auto events = rig.view.events.size();
    rig.simulator.injectNext(sim::Injection::UnknownCode);
    rig.clock.advance(1000);
    EXPECT_EQ(rig.view.events.size(), events);
    EXPECT_EQ(rig.dialog->statusText(), "Ready");
}

TEST(LinkFaults, ABoardThatVanishesForGoodClosesTheSource) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.destroyOnClose();
    // The board disappears for good between the write of one tick and the next.
    rig.simulator.stop();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 3000));
    ASSERT_FALSE(rig.notifier.boxes.empty());
    EXPECT_EQ(rig.notifier.boxes.back().text, "USB could not be opened !");
    EXPECT_TRUE(rig.dialog->destroyed());
}

}  // namespace
}  // namespace q47::test

// How an acquisition ends: one automatic scan per window, every fault heard by the
// application, nothing running underneath a message box, no part of an image delivered.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "tests/datasource/acquire_rig.h"

namespace q47::test {
namespace {

const char* const kBadPacket = "Receive bad packet from Q-47 devive !";
const char* const kReadFailed = "Receive packet from Q-47 via USB failed !";

int indexOf(const std::vector<int>& codes, int code, int from = 0) {
    auto it = std::find(codes.begin() + from, codes.end(), code);
    return it == codes.end() ? -1 : int(it - codes.begin());
}

bool noTimerRuns(const Rig& rig) {
    for (int id : {kLinkTick, kConnectionCheck, kStatusAfterKey, kAutoScan, kPostedClose})
        if (rig.clock.isRunning(id)) return false;
    return true;
}

// --- one automatic scan per window ---

class WithoutPanel : public ::testing::TestWithParam<WindowMode> {};

TEST_P(WithoutPanel, AnApplicationSlowToDisableGetsOneScanNotOneAtEveryStandby) {
    Rig rig(GetParam());
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready == 1; }));
    // The application takes its time: the board is back in standby again and again.
    rig.clock.advance(20000);
    EXPECT_EQ(rig.count(board::PcScan), 1);
    EXPECT_EQ(rig.twain.ready, 1);
    EXPECT_EQ(rig.count(board::ImageTransfer), 1);
    EXPECT_TRUE(rig.dialog->scan().standby);
}

TEST_P(WithoutPanel, ACancelDuringTheScanStartsNoOtherScan) {
    Rig rig(GetParam());
    rig.simulator.setScanPolls(1000);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == board::StateScanPC; }));
    rig.dialog->cancel();
    ASSERT_EQ(rig.twain.closes, 1);
    rig.clock.advance(20000);
    EXPECT_EQ(rig.count(board::PcScan), 1);
    EXPECT_EQ(rig.simulator.withBoard([](const sim::Board& b) { return b.state(); }),
              board::StateStandby);
}

INSTANTIATE_TEST_SUITE_P(Modes, WithoutPanel,
                         ::testing::Values(WindowMode::ProgressOnly, WindowMode::Hidden),
                         [](const auto& info) {
                             return info.param == WindowMode::Hidden ? "Hidden" : "ProgressOnly";
                         });

// --- a link that cannot go on ends the acquisition in every phase ---

struct EndingCase {
    WindowMode mode;
    sim::Injection fault;
    const char* name;
};

class FaultBeforeThePanel : public ::testing::TestWithParam<EndingCase> {};

TEST_P(FaultBeforeThePanel, ABadReplyToDeviceInfoEndsTheAcquisition) {
    const EndingCase& c = GetParam();
    Rig rig(c.mode);
    rig.simulator.injectNext(c.fault);  // the reply to DeviceInfo
    rig.dialog->initialise();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 1000));
    EXPECT_EQ(rig.dialog->statusText(), kBadPacket);
    if (c.mode == WindowMode::Hidden) {
        EXPECT_TRUE(rig.notifier.boxes.empty());
    } else {
        ASSERT_EQ(rig.notifier.boxes.size(), 1u);
        EXPECT_EQ(rig.notifier.boxes[0].text, kBadPacket);
    }
    EXPECT_EQ(rig.view.saw("hide"), c.mode == WindowMode::ProgressOnly);
    EXPECT_FALSE(rig.view.saw("layout"));
    EXPECT_FALSE(rig.dialog->link().handleValid());
    EXPECT_TRUE(noTimerRuns(rig));
    rig.clock.advance(60000);
    EXPECT_EQ(rig.twain.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    ModesAndFaults, FaultBeforeThePanel,
    ::testing::Values(EndingCase{WindowMode::Full, sim::Injection::BadPacket4, "FullBad4"},
                      EndingCase{WindowMode::ProgressOnly, sim::Injection::ZeroLength,
                                 "ProgressOnlyZeroLength"},
                      EndingCase{WindowMode::Hidden, sim::Injection::BadPacket4, "HiddenBad4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FaultBeforeThePanel, AReadThatTimesOutDuringFirmwareVersionEndsTheAcquisition) {
    setenv("Q47_IO_TIMEOUT_MS", "200", 1);
    struct ResetTimeout {
        ~ResetTimeout() { unsetenv("Q47_IO_TIMEOUT_MS"); }
    } resetTimeout;
    Rig rig(WindowMode::ProgressOnly);
    rig.dialog->initialise();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.dialog->scan().modelName.empty(); }, 1000));
    // The board stops answering before the FirmwareVersion request goes out.
    std::promise<void> holding;
    std::thread silence([&] {
        rig.simulator.withBoard([&](sim::Board&) {
            holding.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            return 0;
        });
    });
    holding.get_future().wait();
    const bool closed = rig.runUntil([&] { return rig.twain.closes > 0; }, 1000);
    silence.join();
    ASSERT_TRUE(closed);
    EXPECT_EQ(rig.dialog->statusText(), kReadFailed);
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, kReadFailed);
    EXPECT_TRUE(rig.view.saw("hide"));
    EXPECT_TRUE(noTimerRuns(rig));
}

TEST(HiddenEndings, ABadPacketWhilePollingEndsTheAcquisitionWithoutABox) {
    Rig rig(WindowMode::Hidden);
    rig.simulator.setScanPolls(1000);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == board::StateScanPC; }));
    rig.simulator.injectNext(sim::Injection::ZeroLength);
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 3000));
    EXPECT_TRUE(rig.notifier.boxes.empty());
    EXPECT_TRUE(noTimerRuns(rig));
}

TEST(HiddenEndings, ANoBoardAtStartIsHeardAsACloseRequestWithoutABox) {
    Rig rig(WindowMode::Hidden);
    rig.simulator.stop();
    rig.dialog->initialise();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 1000));
    EXPECT_TRUE(rig.notifier.boxes.empty());
    EXPECT_EQ(rig.twain.closes, 1);
}

// --- the close request comes after MSG_ENABLEDS has returned ---

TEST(PostedClose, WithNoBoardTheCloseRequestComesAfterTheWindowWasMade) {
    Rig rig(WindowMode::Full);
    rig.simulator.stop();
    rig.dialog->initialise();  // MSG_ENABLEDS runs this
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.twain.closes, 0) << "the close request reached the application inside MSG_ENABLEDS";
    rig.clock.advance(10);
    EXPECT_EQ(rig.twain.closes, 1);
    rig.clock.advance(5000);
    EXPECT_EQ(rig.twain.closes, 1);
}

TEST(PostedClose, AWindowDisabledBeforeThePostedRequestArrivesSendsNone) {
    Rig rig(WindowMode::ProgressOnly);
    rig.simulator.stop();
    rig.dialog->initialise();
    rig.dialog->destroy();
    rig.clock.advance(1000);
    EXPECT_EQ(rig.twain.closes, 0);
}

// --- nothing runs underneath a message box ---

TEST(BoxLoop, ABoardErrorAtTheFirstStandbyStartsNoScanAndNoSecondBox) {
    Rig rig(WindowMode::ProgressOnly);
    rig.simulator.setError(1);
    // The box's own event loop runs the window's timers for as long as it is open.
    rig.notifier.whileOpen = [&] { rig.clock.advance(3000); };
    rig.dialog->initialise();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 10000));
    EXPECT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.deepest, 1);
    EXPECT_EQ(rig.count(board::PcScan), 0);
    EXPECT_EQ(rig.count(400 + board::KeyColor), 0);
    EXPECT_EQ(rig.simulator.withBoard([](const sim::Board& b) { return b.state(); }),
              board::StateStandby);
    EXPECT_TRUE(rig.globals.closeRequested);
}

TEST(BoxLoop, AModelRefusedWithoutPanelPollsNothingUnderItsBox) {
    sim::Config config = smallBoard();
    config.modelName = "ZX-47";
    Rig rig(WindowMode::ProgressOnly, config);
    rig.open();
    size_t sentAtBox = 0;
    rig.notifier.whileOpen = [&] {
        sentAtBox = rig.simulator.received().size();
        rig.clock.advance(5000);
    };
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 2000));
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.simulator.received().size(), sentAtBox);
    EXPECT_EQ(rig.count(board::PcScan), 0);
}

// --- the palette follows this window's lamp ---

TEST(Palette, AGreyScanInALaterWindowOfTheSameSessionIsGrey) {
    sim::Config config = smallBoard();
    config.colourLamp = true;
    Rig rig(WindowMode::Full, config);
    rig.open();
    rig.dialog->startPcScan();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready == 1; }));
    EXPECT_EQ(rig.pendingView().palette[0xE0].rgbRed, 0xFF);
    rig.dialog.reset();

    // Same loaded source, next window; the COLOR lamp is off now.
    rig.simulator.setLamps(false, false);
    rig.makeDialog();
    rig.open();
    EXPECT_FALSE(rig.globals.imageBuffer.colour);
    rig.dialog->startPcScan();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready == 2; }));
    const dib::View v = rig.pendingView();
    EXPECT_EQ(v.palette[0xE0].rgbRed, 0xE0);
    EXPECT_EQ(v.palette[0xE0].rgbGreen, 0xE0);
    EXPECT_TRUE(pixelsOf(v) == expectedPixels(rig.sheet(false), 4096, 64, false));
}

// --- no part of an image is delivered or left pending ---

TEST(PartImages, AWindowDestroyedDuringTheImageLeavesNothingPending) {
    Rig rig(WindowMode::Full);
    rig.setGeometry(4096, 2000);
    rig.open();
    rig.view.onProgress = [&](int percent) {
        if (percent >= 30 && rig.dialog->scan().imageWidth) rig.dialog->destroy();
    };
    rig.dialog->startPcScan();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->destroyed(); }));
    EXPECT_FALSE(rig.pending());
    EXPECT_FALSE(rig.globals.imageBuffer.raw);
    EXPECT_EQ(rig.twain.ready, 0);
}

TEST(PartImages, CancelDuringTheImageSendsTheKeyDeliversNothingAndStartsNothing) {
    Rig rig(WindowMode::ProgressOnly);
    rig.setGeometry(4096, 2000);
    rig.open();
    bool cancelled = false;
    rig.view.onProgress = [&](int percent) {
        if (!cancelled && percent >= 30 && rig.dialog->scan().imageWidth) {
            cancelled = true;
            rig.dialog->cancel();  // the Close button, pressed inside the image loop's dispatch
        }
    };
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }));
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_FALSE(rig.pending());
    const std::vector<int> codes = rig.requestCodes();
    const int fetch = indexOf(codes, board::ImageTransfer);
    ASSERT_GE(fetch, 0);
    EXPECT_GT(indexOf(codes, 400 + board::KeyCancelScan, fetch), fetch);
    rig.clock.advance(20000);
    EXPECT_EQ(rig.count(board::PcScan), 1);
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_EQ(rig.twain.closes, 1);
}

TEST(PartImages, EscInThePanelDuringTheImageDeliversNothingAndPollingGoesOn) {
    Rig rig(WindowMode::Full);
    rig.setGeometry(4096, 2000);
    rig.open();
    bool cancelled = false;
    rig.view.onProgress = [&](int percent) {
        if (!cancelled && percent >= 30 && rig.dialog->scan().imageWidth) {
            cancelled = true;
            rig.dialog->cancel();  // Esc or the caption's close box: Close itself is disabled
        }
    };
    rig.dialog->startPcScan();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }));
    EXPECT_EQ(rig.twain.closes, 1);
    // The image is read to its end first, then nothing is delivered.
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->statusText() == "Ready"; }, 3000));
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_FALSE(rig.pending());
    const int polls = rig.count(board::Status);
    rig.clock.advance(5000);
    EXPECT_GE(rig.count(board::Status), polls + 4);
}

}  // namespace
}  // namespace q47::test

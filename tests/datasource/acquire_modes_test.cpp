// Scans without the panel: progress-only and hidden windows, their checks, errors and cancel.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/datasource/acquire_rig.h"

namespace q47::test {
namespace {

// Position of the first request with code at or after from, or -1.
int indexOf(const std::vector<int>& codes, int code, int from = 0) {
    auto it = std::find(codes.begin() + from, codes.end(), code);
    return it == codes.end() ? -1 : int(it - codes.begin());
}

TEST(ProgressOnly, ScansByItselfInColourAndDeliversTheSheet) {
    Rig rig(WindowMode::ProgressOnly);
    rig.open();
    EXPECT_EQ(rig.view.laidOut, WindowMode::ProgressOnly);
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready > 0; }));

    const std::vector<int> codes = rig.requestCodes();
    const int colourKey = indexOf(codes, 400 + board::KeyColor);
    const int scan = indexOf(codes, board::PcScan);
    const int seen = indexOf(codes, 400 + board::KeyImageSeen);
    const int fetch = indexOf(codes, board::ImageTransfer);
    ASSERT_GE(colourKey, 0);
    EXPECT_LT(colourKey, scan);
    EXPECT_LT(scan, seen);
    EXPECT_LT(seen, fetch);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 400 + board::KeyImageSeen), 1);

    // The caption carries status and progress.
    EXPECT_TRUE(rig.view.sawStatus("Acquiring image from Q-47...  33% Completed."));
    EXPECT_EQ(rig.view.statuses.back(), "Image transfer is in progress...  100% Completed.");
    EXPECT_TRUE(rig.globals.imageBuffer.colour);
    const dib::View v = rig.pendingView();
    EXPECT_EQ(v.palette[0xE0].rgbRed, 0xFF);
    EXPECT_TRUE(pixelsOf(v) == expectedPixels(rig.sheet(true), 4096, 64, false));
    EXPECT_EQ(rig.twain.ready, 1);
    EXPECT_TRUE(rig.notifier.boxes.empty());
}

TEST(ProgressOnly, AModelWithoutQDashEndsWithError) {
    sim::Config config = smallBoard();
    config.modelName = "ZX-47";
    Rig rig(WindowMode::ProgressOnly, config);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 2000));
    ASSERT_EQ(rig.notifier.boxes.size(), 1u);
    EXPECT_EQ(rig.notifier.boxes[0].text, "ERROR");
    EXPECT_EQ(rig.notifier.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(rig.view.saw("hide"));
    EXPECT_EQ(rig.count(board::PcScan), 0);
    EXPECT_EQ(rig.count(400 + board::KeyColor), 0);
}

TEST(ProgressOnly, ABoardErrorEndsTheAcquisitionWithStateAndErrorTexts) {
    Rig rig(WindowMode::ProgressOnly);
    rig.simulator.setScanPolls(1000);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == board::StateScanPC; }));
    rig.simulator.setError(4);
    ASSERT_TRUE(rig.runUntil([&] { return !rig.notifier.boxes.empty(); }, 2000));

    const auto hide = std::find(rig.view.events.begin(), rig.view.events.end(), "hide");
    ASSERT_NE(hide, rig.view.events.end());
    EXPECT_EQ(std::vector<std::string>(hide, rig.view.events.end()),
              (std::vector<std::string>{"hide", "status:Acquiring image from Q-47...",
                                        "status:(E4 ERROR)Scanner error."}));
    EXPECT_EQ(rig.notifier.boxes[0].text, "(E4 ERROR)Scanner error.");
    EXPECT_TRUE(rig.globals.closeRequested);
    EXPECT_EQ(rig.twain.closes, 0);

    // The next tick closes the link and asks to be closed; nothing more is sent.
    const size_t sent = rig.simulator.received().size();
    const int64_t boxAt = rig.clock.now();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes == 1; }, 1000));
    EXPECT_EQ(rig.clock.now(), boxAt + 1000);
    EXPECT_FALSE(rig.dialog->link().handleValid());
    EXPECT_FALSE(rig.dialog->link().deviceOpen);
    rig.clock.advance(5000);
    EXPECT_EQ(rig.simulator.received().size(), sent);
    EXPECT_EQ(rig.twain.closes, 1);
}

TEST(ProgressOnly, ABusyBoardEndsTheAcquisitionWithItsStateText) {
    Rig rig(WindowMode::ProgressOnly);
    rig.simulator.setState(board::StateScanMemory);
    rig.dialog->initialise();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.notifier.boxes.empty(); }, 3000));
    EXPECT_EQ(rig.notifier.boxes[0].text, "Scanning and save is in progress...");
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes == 1; }, 1000));
}

TEST(ProgressOnly, ModelSNarrowerThanAFullSheetIsCancelled) {
    sim::Config config = smallBoard();
    config.modelLetter = 'S';
    config.modelName = "Q-47S";
    Rig rig(WindowMode::ProgressOnly, config);
    rig.setGeometry(2960, 64);
    rig.destroyOnClose();
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }));
    EXPECT_EQ(rig.twain.ready, 0);
    const std::vector<int> codes = rig.requestCodes();
    const int fetch = indexOf(codes, board::ImageTransfer);
    ASSERT_GE(fetch, 0);
    EXPECT_GT(indexOf(codes, 400 + board::KeyCancelScan, fetch), fetch);
    // No progress is shown for a rejected image.
    EXPECT_NE(rig.view.statuses.back().find("Image transfer is in progress...  "), 0u);
    EXPECT_TRUE(rig.dialog->scan().standby);
}

TEST(ProgressOnly, ModelSWithAFullSheetIsDelivered) {
    sim::Config config = smallBoard();
    config.modelLetter = 'S';
    config.modelName = "Q-47S";
    Rig rig(WindowMode::ProgressOnly, config);
    rig.setGeometry(2961, 64);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready > 0; }));
    EXPECT_EQ(rig.twain.closes, 0);
    EXPECT_TRUE(pixelsOf(rig.pendingView()) == expectedPixels(rig.sheet(true), 2961, 64, false));
}

TEST(ProgressOnly, ModelWNarrowerThan4077IsCancelled) {
    Rig rig(WindowMode::ProgressOnly);
    rig.setGeometry(4076, 64);
    rig.destroyOnClose();
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }));
    EXPECT_EQ(rig.twain.ready, 0);
}

TEST(ProgressOnly, CancelDuringTheScanStopsTheBoardThenCloses) {
    Rig rig(WindowMode::ProgressOnly);
    rig.simulator.setScanPolls(1000);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == board::StateScanPC; }));
    rig.simulator.clearReceived();
    rig.dialog->cancel();
    // The close request came after the board was back in standby.
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_TRUE(rig.dialog->scan().standby);
    EXPECT_EQ(rig.requestCodes().front(), 400 + board::KeyCancelScan);
    EXPECT_EQ(rig.simulator.withBoard([](const sim::Board& b) { return b.state(); }),
              board::StateStandby);
}

TEST(Hidden, ScansWithoutShowingAnythingAndWithoutForcingColour) {
    Rig rig(WindowMode::Hidden);
    rig.open();
    EXPECT_EQ(rig.view.laidOut, WindowMode::Hidden);
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready > 0; }));
    EXPECT_EQ(rig.count(400 + board::KeyColor), 0);
    EXPECT_EQ(rig.count(400 + board::KeyImageSeen), 0);
    EXPECT_FALSE(rig.globals.imageBuffer.colour);
    EXPECT_TRUE(pixelsOf(rig.pendingView()) == expectedPixels(rig.sheet(false), 4096, 64, false));
    EXPECT_TRUE(rig.notifier.boxes.empty());
    EXPECT_FALSE(rig.view.saw("hide"));
}

TEST(Hidden, ABoardErrorEndsTheAcquisitionWithoutABox) {
    Rig rig(WindowMode::Hidden);
    rig.simulator.setScanPolls(1000);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == board::StateScanPC; }));
    rig.simulator.setError(1);
    // Nothing is shown, but the application hears the end: it never waits for nothing.
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.closes > 0; }, 3000));
    EXPECT_TRUE(rig.notifier.boxes.empty());
    EXPECT_FALSE(rig.view.saw("hide"));
    EXPECT_TRUE(rig.globals.closeRequested);
    EXPECT_EQ(rig.dialog->statusText(), "(E1 ERROR)Printer error.");
    EXPECT_FALSE(rig.dialog->link().deviceOpen);
}

TEST(Hidden, CancelStopsTheBoardThenCloses) {
    Rig rig(WindowMode::Hidden);
    rig.simulator.setScanPolls(1000);
    rig.open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().lastState == board::StateScanPC; }));
    rig.simulator.clearReceived();
    rig.dialog->cancel();
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_EQ(rig.requestCodes().front(), 400 + board::KeyCancelScan);
}

}  // namespace
}  // namespace q47::test

// PC scans with the full panel: progress, the image reply, the DIB against the sheet, faults.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "tests/datasource/acquire_rig.h"

namespace q47::test {
namespace {

// Runs one scan from the PCSCAN (or COMP) button to the finished DIB.
void scanToDib(Rig& rig, bool compressed = false) {
    // The buttons wait for the status poll that follows the previous image.
    ASSERT_TRUE(rig.runUntil([&] { return !rig.dialog->scan().busy; }, 3000));
    const int before = rig.twain.ready;
    if (compressed) rig.dialog->startCompressedScan();
    else rig.dialog->startPcScan();
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready > before; }));
}

void expectSheet(Rig& rig, uint16_t W, uint16_t H, bool colour, bool compressed) {
    ASSERT_TRUE(rig.pending());
    const dib::View v = rig.pendingView();
    const DibGeometry g = dibGeometry(W, H, compressed);
    EXPECT_EQ(v.width, int(g.rowBytes));
    EXPECT_EQ(v.height, int(H));
    EXPECT_TRUE(v.bottomUp);
    EXPECT_EQ(rig.pending().size(), g.dibBytes());
    EXPECT_EQ(v.header->biXPelsPerMeter, 7875);
    // Palette: grey identity, or red 0xE0 / green 0x1C / blue 0x03 at full level.
    EXPECT_EQ(v.palette[0xE0].rgbRed, colour ? 0xFF : 0xE0);
    EXPECT_EQ(v.palette[0xE0].rgbGreen, colour ? 0x00 : 0xE0);
    EXPECT_EQ(v.palette[0x03].rgbBlue, colour ? 0xFF : 0x03);
    const std::vector<uint8_t> sheet = rig.sheet(colour);
    ASSERT_EQ(sheet.size(), size_t(W) * H);
    EXPECT_TRUE(pixelsOf(v) == expectedPixels(sheet, W, H, compressed))
        << "the DIB differs from the sheet the board scanned";
}

TEST(FullScan, GreySheetFromPcscanToTheDib) {
    Rig rig(WindowMode::Full);
    rig.open();
    scanToDib(rig);

    EXPECT_EQ(rig.requestCodes(),
              (std::vector<int>{board::DeviceInfo, board::FirmwareVersion, board::Status,
                                board::PcScan, board::Status, board::Status, board::Status,
                                board::ImageTransfer}));
    // Scan progress at each poll, then the transfer's own progress up to 100 percent.
    EXPECT_TRUE(rig.view.sawStatus("Acquiring image from Q-47...  33% Completed."));
    EXPECT_TRUE(rig.view.sawStatus("Acquiring image from Q-47...  66% Completed."));
    EXPECT_TRUE(rig.view.sawStatus("Image transfer is in progress..."));
    EXPECT_EQ(rig.view.statuses.back(), "Image transfer is in progress...  100% Completed.");
    EXPECT_EQ(rig.view.progress.back(), 100);
    EXPECT_GT(rig.view.progress.size(), 60u);  // one per block of the image
    EXPECT_EQ(rig.view.events.back(), "ready");
    expectSheet(rig, 4096, 64, false, false);
    EXPECT_FALSE(rig.globals.imageBuffer.raw);

    // Polling resumes; the image is announced once.
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->statusText() == "Ready"; }, 2000));
    rig.clock.advance(5000);
    EXPECT_EQ(rig.twain.ready, 1);
    EXPECT_EQ(rig.count(board::ImageTransfer), 1);
    EXPECT_EQ(rig.twain.closes, 0);
}

TEST(FullScan, ColourSheetUsesTheThreeThreeTwoPalette) {
    sim::Config config = smallBoard();
    config.colourLamp = true;
    Rig rig(WindowMode::Full, config);
    rig.open();
    EXPECT_TRUE(rig.globals.imageBuffer.colour);
    scanToDib(rig);
    expectSheet(rig, 4096, 64, true, false);
}

TEST(FullScan, W4000ByH1500MakesA6MillionBytePixelArea) {
    Rig rig(WindowMode::Full);
    rig.setGeometry(4000, 1500);
    rig.open();
    scanToDib(rig);
    expectSheet(rig, 4000, 1500, false, false);
    EXPECT_EQ(rig.pending().size(), 1064u + 6000000u);
}

TEST(CompressedScan, W4000DropsEveryFourthScanLine) {
    Rig rig(WindowMode::Full);
    rig.setGeometry(4000, 1500);
    rig.open();
    scanToDib(rig, true);
    expectSheet(rig, 4000, 1500, false, true);
    EXPECT_EQ(rig.pendingView().width, 3008);
}

TEST(CompressedScan, W4001KeepsScanLine4000AndPadsWithWhite) {
    sim::Config config = smallBoard();
    config.colourLamp = true;
    Rig rig(WindowMode::Full, config);
    rig.setGeometry(4001, 1500);
    rig.open();
    scanToDib(rig, true);
    expectSheet(rig, 4001, 1500, true, true);
    const dib::View v = rig.pendingView();
    for (int r = 0; r < v.height; r += 97)
        for (int c = 3001; c < 3008; ++c) ASSERT_EQ(v.pixels[r * v.stride + c], 0xFF);

    // The next PCSCAN is uncompressed again.
    scanToDib(rig);
    expectSheet(rig, 4001, 1500, true, false);
}

TEST(FullScan, BoardAskingForAPcScanStartsOne) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.setState(board::StateAskPcScan);
    ASSERT_TRUE(rig.runUntil([&] { return rig.twain.ready == 1; }));
    EXPECT_EQ(rig.count(board::PcScan), 1);
}

TEST(FullScan, CloseAsksTheApplicationAtOnce) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.clearReceived();
    rig.dialog->cancel();
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_TRUE(rig.simulator.received().empty());
}

TEST(FullScan, LanguageSwitchReplacesEveryTextOfThePanel) {
    Rig rig(WindowMode::Full);
    for (const char* code : {"ENG", "JPN", "CHS"})
        writeFile(rig.dir / "Loc" / code / "Q47Tw.ini", readFile(shippedLanguageFile(code)));
    rig.open();
    rig.dialog->switchLanguage(Language::Japanese);
    const Texts japanese = SettingsFile(shippedLanguageFile("JPN")).loadTexts();
    for (const auto& k : settingKeys()) EXPECT_EQ(rig.view.texts.text(k.key), japanese.text(k.key));
    EXPECT_EQ(rig.view.content.texts->text("MenuJapanese"), "日本語");

    // Texts the board's replies bring up come from the new language too.
    rig.simulator.setState(board::StatePrint);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->scan().busy; }, 2000));
    EXPECT_EQ(rig.dialog->statusText(), japanese.text("MsgStatusPrint"));
    rig.dialog->switchLanguage(Language::English);
    EXPECT_EQ(rig.view.texts.text("MsgStatusPrint"), "Print is in progress...");
}

// --- faults of the image path ---

TEST(ImageFaults, AnImageBeyondTheBufferIsReadToItsEndAndRefused) {
    Rig rig(WindowMode::Full);
    rig.open();
    rig.simulator.setState(board::StateTransImage);
    ASSERT_TRUE(rig.runUntil(
        [&] { return rig.dialog->statusText() == "Image transfer is in progress..."; }, 2000));
    // The reply to ImageTransfer: 4400 x 2000 pixels, more than 8 MiB.
    rig.simulator.injectNext(sim::Injection::OversizedImage);
    ASSERT_TRUE(rig.runUntil([&] { return rig.view.progress.size() > 2000; }, 2000));
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_FALSE(rig.pending());
    // Every block was read: the next status reply is understood as one.
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->statusText() == "Ready"; }, 3000));
    EXPECT_FALSE(rig.view.sawStatus("Receive bad packet from Q-47 devive !"));
    EXPECT_TRUE(rig.dialog->link().handleValid());
}

// Counts live DIB blocks.
class CountingMemory : public DibMemory {
public:
    void* allocate(size_t bytes) override {
        void* p = DibMemory::allocate(bytes);
        live.insert(p);
        return p;
    }
    void release(void* h) override {
        live.erase(h);
        DibMemory::release(h);
    }
    std::set<void*> live;
};

TEST(ImageFaults, ASecondImageReleasesTheFirstThatWasNeverTransferred) {
    CountingMemory memory;
    {
        Rig rig(WindowMode::Full);
        rig.globals.imageBuffer.memory = &memory;
        rig.open();
        scanToDib(rig);
        scanToDib(rig);
        EXPECT_EQ(memory.live.size(), 1u);
        EXPECT_EQ(rig.twain.ready, 2);
        rig.globals.imageBuffer.pendingImage.release();
    }
    EXPECT_TRUE(memory.live.empty());
}

TEST(ImageFaults, ABoardStillReportingAFetchedImageIsPolledNotFetchedAgain) {
    Rig rig(WindowMode::Full);
    rig.open();
    // The board keeps saying "image ready" after it sent the image.
    rig.twain.onReady = [&] { rig.simulator.setState(board::StateTransImage); };
    scanToDib(rig);
    const int polls = rig.count(board::Status);
    rig.clock.advance(5000);
    EXPECT_GE(rig.count(board::Status), polls + 4);
    EXPECT_EQ(rig.count(board::ImageTransfer), 1);
    // It recovers as soon as the board does.
    rig.simulator.setState(board::StateStandby);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->statusText() == "Ready"; }, 2000));
    EXPECT_EQ(rig.twain.ready, 1);
}

TEST(ImageFaults, ALostLinkDuringTheImageEndsItWithoutAnImage) {
    Rig rig(WindowMode::Full);
    rig.setGeometry(4096, 2000);
    rig.open();
    // The cable is pulled a fifth of the way into the image reply, and plugged in again.
    const size_t imageBytes = size_t(4096) * 2000 + 4092;
    rig.simulator.withBoard([&](sim::Board& b) { b.cutNextImage(imageBytes / 5); });
    rig.dialog->startPcScan();
    ASSERT_TRUE(rig.runUntil(
        [&] { return rig.dialog->statusText() == "Receive packet from Q-47 via USB failed !"; }));
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_FALSE(rig.pending());
    EXPECT_FALSE(rig.dialog->link().handleValid());
    EXPECT_FALSE(rig.globals.imageBuffer.raw);
    ASSERT_FALSE(rig.view.progress.empty());
    EXPECT_GE(rig.view.progress.back(), 15);
    EXPECT_LE(rig.view.progress.back(), 21) << "the image went on past the cut";

    // The connection check finds the board again and polling resumes.
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->link().handleValid(); }, 100));
    EXPECT_EQ(rig.twain.closes, 0);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->statusText() == "Ready"; }, 3000));
    // The next scan is whole.
    scanToDib(rig);
    expectSheet(rig, 4096, 2000, false, false);
}

}  // namespace
}  // namespace q47::test

// TVIkScan through the acquisition library, our source manager, Q47tw.ds and the board
// simulator: the sheet arrives as an engine DIB in all three transfers, the events come,
// a cancel from the progress event stops the scan and the source scans again after it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikscan.h"
#include "scan_rig.h"

namespace {

using namespace scanrig;

// The component set up as the capture program sets it before its scan.
class ScanThroughSource : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scan.ScanInitialize(1, 0, "SlateWise", "Zelt Orbita Corp.", "Slatewise",
                                        "ZELT Slatewise Q-47 Sereis"))
            << "status " << scan.ErrorStatus;
        ASSERT_TRUE(scan.ScanList());
        for (const QString& name : scan.DSList)
            if (name.contains("ZELT Slatewise Q-47")) scan.DSName = name;
        ASSERT_FALSE(scan.DSName.isEmpty()) << scan.DSList.join("|").toStdString();
        scan.UiMode = vikScanNONUI;
        scan.Compression = 0;
        ASSERT_TRUE(scan.ScanOpenDS()) << "status " << scan.ErrorStatus;
        scan.PixelType = vikScanPixelPalette;
        scan.XResolution = scan.YResolution = 72;
        scan.setBitDepth(8);
        scan.Gamma = 2.2f;
        scan.Highlight = 255, scan.Threshold = 128, scan.Shadow = 0;
        scan.BitOrder = 1;
        scan.OnBeforeScan = [this](QObject*, int32_t w, int32_t h, int32_t n) { before.push_back({w, h, n}); };
        scan.OnScanning = [this](QObject*, int16_t percent) { percents.push_back(percent); };
        scan.OnAfterScan = [this](QObject*, uint32_t dib, uint32_t, int32_t n, int16_t order) {
            images.push_back(dib);
            numbers.push_back(n);
            bitOrders.push_back(order);
        };
    }
    void TearDown() override {
        for (uint32_t h : images) Ikdllprocs::IKFreeMemory(h);
        scan.ScanCloseDS();
        scan.ScanTerminate();
    }

    World world;
    TVIkScan scan;
    std::vector<std::vector<int32_t>> before;
    std::vector<int16_t> percents;
    std::vector<uint32_t> images;
    std::vector<int32_t> numbers;
    std::vector<int16_t> bitOrders;
};

TEST_F(ScanThroughSource, EveryTransferHandsTheSheetToOnAfterScanAsAnEngineDib) {
    const std::vector<uint8_t> sheet = expectedSheet();
    const uint32_t objectsBefore = Ikdllprocs::IKGetObjectCount();
    for (TVIkScanTransfer mode : {vikScanNative, vikScanMemory, vikScanFile}) {
        SCOPED_TRACE(mode);
        before.clear(), percents.clear(), images.clear(), numbers.clear(), bitOrders.clear();
        scan.TransferMode = mode;
        ASSERT_TRUE(scan.ScanExec()) << "status " << scan.ErrorStatus;
        EXPECT_EQ(scan.ImageCount, 1);
        ASSERT_EQ(before.size(), 1u);
        EXPECT_EQ(before[0], (std::vector<int32_t>{kScanLines, kLinePixels, 1}));
        ASSERT_FALSE(percents.empty());
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(percents.back(), 100);
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(numbers, std::vector<int32_t>{1});
        EXPECT_EQ(bitOrders, std::vector<int16_t>{1});
        int w = 0, h = 0;
        const std::vector<uint8_t> got = imageRgb(images[0], &w, &h);
        EXPECT_EQ(w, kScanLines);
        EXPECT_EQ(h, kLinePixels);
        EXPECT_TRUE(got == sheet) << "not the simulator's sheet, upright";
        // What the image was made with comes back into the properties.
        EXPECT_EQ(scan.PixelType, vikScanPixelPalette);
        EXPECT_EQ(scan.BitDepth(), 8);
        EXPECT_EQ(scan.ErrorStatus, 0);
        EXPECT_EQ(TVIkScan::activeScan(), nullptr);
        Ikdllprocs::IKFreeMemory(images[0]);
        images.clear();
        // The TWAIN memory was freed and only the handed-over image was made.
        EXPECT_EQ(Ikdllprocs::IKGetObjectCount(), objectsBefore);
    }
}

TEST_F(ScanThroughSource, CancelFromOnScanningStopsTheScanAndTheSourceScansAgain) {
    scan.TransferMode = vikScanMemory;  // many progress steps
    scan.OnScanning = [this](QObject*, int16_t percent) {
        percents.push_back(percent);
        scan.ScanCancel = true;
    };
    EXPECT_FALSE(scan.ScanExec());
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_CANCELLED);
    EXPECT_EQ(percents.size(), 1u) << "the progress callback went on after the cancel";
    EXPECT_TRUE(images.empty());
    EXPECT_EQ(scan.ImageCount, 0);

    // The source was left disabled with nothing pending: the next scan works.
    scan.OnScanning = nullptr;
    scan.TransferMode = vikScanNative;
    ASSERT_TRUE(scan.ScanExec()) << "status " << scan.ErrorStatus;
    EXPECT_EQ(images.size(), 1u);
}

// The user's Close in the source's own window is no failure: the scan ends with no image.
TEST_F(ScanThroughSource, CloseInTheFullPanelEndsTheScanWithNoImageAndNoFailure) {
    scan.UiMode = vikScanUI;
    bool pressed = false;
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() != "AcquireDialog" || !w->isVisible()) continue;
            auto* close = w->findChild<QAbstractButton*>("IDC_2");
            if (close && close->isVisible() && close->isEnabled() && !pressed) {
                pressed = true;
                close->click();
            }
        }
    });
    presser.start(20);
    const bool ok = scan.ScanExec();
    presser.stop();
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(ok) << "status " << scan.ErrorStatus;
    EXPECT_EQ(scan.ErrorStatus, 0);
    EXPECT_EQ(scan.ImageCount, 0);
    EXPECT_TRUE(images.empty()) << "no after-scan event without an image";
    EXPECT_TRUE(before.empty());
    EXPECT_EQ(scan.PixelType, vikScanPixelPalette);
    EXPECT_EQ(TVIkScan::activeScan(), nullptr);

    // The source was left ready for the next scan.
    scan.UiMode = vikScanNONUI;
    ASSERT_TRUE(scan.ScanExec()) << "status " << scan.ErrorStatus;
    EXPECT_EQ(images.size(), 1u);
}

// A board that cannot be reached ends the acquisition inside the source (which has
// told the user, where its mode shows anything): no image, and no failure.
TEST_F(ScanThroughSource, AnUnpluggedBoardEndsTheScanWithNoImageAndNoFailure) {
    world.board->unplug(600000);
    // Hidden (no box at all), then with the progress window, whose box nobody sees
    // on this platform and which therefore goes to standard error.
    for (bool indicator : {false, true}) {
        SCOPED_TRACE(indicator ? "progress window" : "hidden");
        scan.Indicator = indicator;
        const bool ok = scan.ScanExec();
        EXPECT_TRUE(ok) << "status " << scan.ErrorStatus;
        EXPECT_EQ(scan.ErrorStatus, 0);
        EXPECT_EQ(scan.ImageCount, 0);
        EXPECT_TRUE(images.empty());
        EXPECT_TRUE(before.empty());
    }
}

TEST_F(ScanThroughSource, FpuExceptionMasksTheControlWordOnlyDuringTheScan) {
#if defined(__x86_64__) || defined(__i386__)
    auto controlWord = [] {
        uint16_t cw;
        __asm__ volatile("fnstcw %0" : "=m"(cw));
        return cw;
    };
    auto loadControlWord = [](uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); };
    const uint16_t saved = controlWord();
    loadControlWord(0x027F);  // 53-bit precision: the scan must switch to 64 and back
    uint16_t inside = 0;
    scan.FpuException = true;
    scan.OnBeforeScan = [&](QObject*, int32_t, int32_t, int32_t) { inside = controlWord(); };
    const bool ok = scan.ScanExec();
    const uint16_t after = controlWord();
    loadControlWord(saved);
    ASSERT_TRUE(ok) << "status " << scan.ErrorStatus;
    EXPECT_EQ(inside & 0x33F, 0x33F) << "exceptions masked, 64-bit precision";
    EXPECT_EQ(after, 0x027F);
#else
    GTEST_SKIP() << "x87 control word only on x86";
#endif
}

TEST_F(ScanThroughSource, ScanExecInAnArrayModeFailsWithoutTouchingTheSource) {
    const size_t packets = world.board->received().size();
    scan.ScanMode = vikScanCAMArray;
    EXPECT_FALSE(scan.ScanExec());
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_ARGUMENT);
    EXPECT_TRUE(before.empty());
    EXPECT_TRUE(percents.empty());
    EXPECT_EQ(world.board->received().size(), packets) << "the board was asked something";
}

TEST(ScanWithoutSource, AFailedScanLeavesThePropertiesAsTheyWere) {
    World world;
    TVIkScan scan;
    ASSERT_TRUE(scan.ScanInitialize(1, 0, "t", "m", "f", "p"));
    scan.DSName = "No Such Source";  // not open: the engine opens it for the scan and fails
    scan.PixelType = vikScanPixelGray;
    scan.RectLeft = 1, scan.RectTop = 2, scan.RectRight = 3, scan.RectBottom = 4;
    scan.XResolution = 150, scan.YResolution = 151;
    scan.setBitDepth(8);
    bool called = false;
    scan.OnBeforeScan = [&](QObject*, int32_t, int32_t, int32_t) { called = true; };
    EXPECT_FALSE(scan.ScanExec());
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_SCAN_NO_SOURCE);
    EXPECT_FALSE(called);
    EXPECT_EQ(scan.PixelType, vikScanPixelGray);
    EXPECT_EQ(scan.RectLeft, 1);
    EXPECT_EQ(scan.RectTop, 2);
    EXPECT_EQ(scan.RectRight, 3);
    EXPECT_EQ(scan.RectBottom, 4);
    EXPECT_EQ(scan.XResolution, 150);
    EXPECT_EQ(scan.YResolution, 151);
    EXPECT_EQ(scan.BitDepth(), 8);
    EXPECT_TRUE(scan.ScanTerminate());
    EXPECT_EQ(scan.AppHandle(), 0u);
}

TEST(ScanWithoutSource, CapabilityQuestionsOpenTheNamedSourceForTheAnswer) {
    World world;
    TVIkScan scan;
    ASSERT_TRUE(scan.ScanInitialize(1, 0, "t", "m", "f", "p"));
    ASSERT_TRUE(scan.ScanList());
    ASSERT_GE(scan.DSIndex, 0);
    scan.DSName = scan.DSList[scan.DSIndex];
    int16_t types[8] = {};
    EXPECT_GE(scan.ScanGetPixelType(types, 7), 1) << "status " << scan.ErrorStatus;
    EXPECT_EQ(types[0], vikScanPixelPalette);
    int32_t support = 0;
    EXPECT_TRUE(scan.ScanIsCapSupported(0x0103 /* ICAP_XFERMECH */, support));
    EXPECT_NE(support & 0x2, 0) << "transfer mechanism must be settable";
    EXPECT_FALSE(scan.ScanIsCapSupported(0x1109 /* ICAP_HALFTONES */, support));
    float w = 0, h = 0;
    EXPECT_TRUE(scan.ScanGetPhysicalSize(w, h)) << "status " << scan.ErrorStatus;
    EXPECT_GT(w, 0);
    EXPECT_FALSE(scan.IsOpenDS()) << "the question's source stays the engine's";
}

}  // namespace

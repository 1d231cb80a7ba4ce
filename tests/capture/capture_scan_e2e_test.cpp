// A capture's sheet as the program gets it: scanned from the simulated board through the
// acquisition component, our source manager and Q47tw.ds, then prepared (24 bits, half
// size), whitened, and its four red marks found.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "capture/composition_geometry.h"
#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikscan.h"
#include "simulator/simulator.h"

using namespace q47::capture;

namespace {

// The board at its full geometry (4096 by 2000) with its drawn test sheet in colour.
class Board {
public:
    Board() {
        std::string pattern = (std::filesystem::temp_directory_path() / "q47capture-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        std::filesystem::create_directories(dir + "/home");
        std::filesystem::create_directories(dir + "/runtime");
        setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        setenv("Q47_DEVICE", ("sim:" + dir + "/board.sock").c_str(), 1);
        setenv("Q47_HOME", (dir + "/home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
        q47::sim::Config config;
        config.colourLamp = true;
        config.scanMs = 200;
        board = std::make_unique<q47::sim::Simulator>(config);
        std::string error;
        if (!board->listen(dir + "/board.sock", &error)) throw std::runtime_error(error);
    }
    ~Board() {
        board.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::unique_ptr<q47::sim::Simulator> board;
};

}  // namespace

TEST(CaptureFromTheBoard, TheScannedSheetIsPreparedAndItsRedMarksAreFound) {
    Board board;
    TVIkScan scan;
    ASSERT_TRUE(scan.ScanInitialize(1, 0, "SlateWise", "Zelt Orbita Corp.", "Slatewise", "ZELT Slatewise Q-47 Sereis"))
        << "status " << scan.ErrorStatus;
    ASSERT_TRUE(scan.ScanList());
    for (const QString& name : scan.DSList)
        if (name.contains("ZELT Slatewise Q-47")) scan.DSName = name;
    ASSERT_FALSE(scan.DSName.isEmpty());
    scan.UiMode = vikScanNONUI;
    scan.Compression = 0;
    ASSERT_TRUE(scan.ScanOpenDS()) << "status " << scan.ErrorStatus;
    scan.PixelType = vikScanPixelPalette;
    scan.XResolution = scan.YResolution = 72;
    scan.setBitDepth(8);
    IKHANDLE sheet = 0;
    uint16_t status = 0;
    // The after-scan step of the image window: take the bitmap over and prepare it.
    scan.OnAfterScan = [&](QObject*, uint32_t dib, uint32_t, int32_t, int16_t) {
        sheet = PrepareScannedSheet(dib, &status);
    };
    ASSERT_TRUE(scan.ScanExec()) << "status " << scan.ErrorStatus;
    scan.ScanCloseDS();
    ASSERT_NE(sheet, 0u) << "preparation status " << status;

    int32_t w = 0, h = 0;
    ASSERT_TRUE(SheetSize(sheet, &w, &h));
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 1000);
    EXPECT_TRUE(SheetSizingFor(w).largeSheet);
    ASSERT_TRUE(WhitenSheet(sheet));

    // The simulator draws discs 60 pixels across, centred 2000 apart across and 1500 down
    // the middle of its sheet: at (524, 125), (1524, 125), (1524, 875), (524, 875) with a
    // radius of 15 in the half-size sheet. The corners are their outer edges moved out by
    // 2.2 % of the 780 rows between the top and bottom edges.
    MarkDetection red, none;
    ASSERT_EQ(DetectMarks(sheet, MarkRed, red), 0);
    ASSERT_TRUE(red.found());
    EXPECT_NEAR(red.MarkCorners[XTopLeft], 509, 2);
    EXPECT_NEAR(red.MarkCorners[XTopRight], 1539, 2);
    EXPECT_NEAR(red.MarkCorners[XBottomRight], 1539, 2);
    EXPECT_NEAR(red.MarkCorners[XBottomLeft], 509, 2);
    EXPECT_NEAR(red.MarkCorners[YTopLeft], 110 - 17, 3);
    EXPECT_NEAR(red.MarkCorners[YBottomRight], 890 + 17, 3);
    EXPECT_EQ(red.MarkCorners[YTopLeft], red.MarkCorners[YTopRight]);

    // With no colour chosen, the black text and coloured strokes of the sheet are
    // filtered out and the same four marks remain.
    ASSERT_EQ(DetectMarks(sheet, MarkNone, none), 0);
    EXPECT_EQ(std::vector<int32_t>(none.MarkCorners, none.MarkCorners + 8),
              std::vector<int32_t>(red.MarkCorners, red.MarkCorners + 8));
    Ikdllprocs::IKFreeMemory(sheet);
    scan.ScanTerminate();
}

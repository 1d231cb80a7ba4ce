// Printing through a real CUPS queue: the test starts its own scheduler under a
// temporary configuration, with one raw queue whose backend (a small script in the
// scheduler's own program folder) writes each job into a file; it prints the capture
// program's job through TVIkPrint and renders the file back. Skipped, with the reason,
// when no scheduler can be started here.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <string>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikprint.h"
#include "tests/common/cups_scheduler.h"

namespace {

const char* const kQueue = "Q47PDF";
q47::test::CupsScheduler g_cups;

TEST(PrintThroughCups, TheCaptureProgramsJobReachesTheQueueAsTheLandscapePicture) {
    if (!g_cups.skip.empty()) GTEST_SKIP() << "CUPS cannot start here: " << g_cups.skip;
    TVIkPrint print;
    const IKHANDLE image = Ikdllprocs::IKCreateImage(300, 150, 24, 255, 255, 255, 0, 0, 0, 0);
    print.DrawInfo.penStyle = vikPenNull;
    print.DrawInfo.brushStyle = vikBrushSolid;
    print.DrawInfo.brushColor = 0xFF0000;  // blue
    ASSERT_TRUE(print.FillRect(image, 0, 0, 300, 150, vikMemoryHandle));

    ASSERT_TRUE(print.EnumPrinters()) << "status " << print.ErrorStatus;
    ASSERT_TRUE(print.PrinterList.contains(kQueue)) << print.PrinterList.join(",").toStdString();
    ASSERT_GE(print.DefaultPrinterIndex, 0);
    EXPECT_EQ(print.PrinterList[print.DefaultPrinterIndex], kQueue);
    print.setPrinterName(print.PrinterList[print.DefaultPrinterIndex]);
    if (print.GetPrinterPort()) {
        EXPECT_TRUE(print.PrinterPort.startsWith("q47file:")) << print.PrinterPort.toStdString();
    }
    ASSERT_TRUE(print.GetDevModeHandle() && print.GetDevModeInfo()) << "status " << print.ErrorStatus;
    EXPECT_EQ(print.ColorMode(), 1) << "a raw queue says nothing of colour: monochrome";
    print.Orientation = poLandscape;
    print.setColorMode(2);  // so the blue must come through as blue
    ASSERT_TRUE(print.SetDevModeInfo());
    ASSERT_TRUE(print.PrintCreateDC(vikDevMode)) << "status " << print.ErrorStatus;
    print.DocName = "SlateWise";
    int32_t a, b, c, d, e, f;
    ASSERT_TRUE(print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 1));
    EXPECT_GT(c, d) << "landscape";
    ASSERT_TRUE(print.PrintStartDoc() && print.PrintStartPage());
    ASSERT_TRUE(print.ImageOut(print.PrinterDC, image, 100, 100, c - 100, d - 100, true, false, vikPrinter));
    ASSERT_TRUE(print.PrintEndPage() && print.PrintEndDoc()) << "status " << print.ErrorStatus;
    print.PrintDeleteDC();
    Ikdllprocs::IKFreeMemory(image);

    ASSERT_TRUE(q47::test::waitForJob(g_cups)) << "the queue wrote nothing; see " << g_cups.dir << "/log";
    const std::string out = g_cups.jobFile();
    ASSERT_EQ(std::system(("pdftoppm -r 20 -png -singlefile '" + out + "' '" + g_cups.dir + "/page'").c_str()), 0);
    const QImage page = QImage(QString::fromStdString(g_cups.dir + "/page.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height());
    const QRgb middle = page.pixel(page.width() / 2, page.height() / 2);
    EXPECT_LT(qRed(middle), 80);
    EXPECT_GT(qBlue(middle), 180);
}

}  // namespace

int main(int argc, char** argv) {
    // The scheduler comes first: the print plugin asks CUPS_SERVER once.
    g_cups = q47::test::startScheduler(kQueue);
    int result;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    q47::test::stopScheduler(g_cups);
    return result;
}

// TVIkPrint through the print library: a picture printed into a PDF file (settings
// handle and PrintCreateDC, no dialog) renders back to the picture; the property clamps;
// the print dialog; ImageOut refusing a missing image; the paper size.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <string>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikprint.h"

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "q47print-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

// A 24-bit picture: red left half, blue right half.
IKHANDLE redBlueImage(TVIkPrint& print) {
    const IKHANDLE image = Ikdllprocs::IKCreateImage(200, 100, 24, 255, 255, 255, 0, 0, 0, 0);
    print.DrawInfo.penStyle = vikPenNull;
    print.DrawInfo.brushStyle = vikBrushSolid;
    print.DrawInfo.brushColor = 0x0000FF;  // red as 0x00BBGGRR
    print.FillRect(image, 0, 0, 100, 100, vikMemoryHandle);
    print.DrawInfo.brushColor = 0xFF0000;  // blue
    print.FillRect(image, 100, 0, 200, 100, vikMemoryHandle);
    return image;
}

// Page 1 of a PDF as a picture, rendered by poppler.
QImage renderPdf(const std::string& pdf, const std::string& folder) {
    const std::string cmd = "pdftoppm -r 30 -png -singlefile '" + pdf + "' '" + folder + "/page' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return QImage(QString::fromStdString(folder + "/page.png")).convertToFormat(QImage::Format_RGB32);
}

// The box of pixels that are clearly not white.
QRect inkBox(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            if (qRed(c) < 200 || qGreen(c) < 200 || qBlue(c) < 200) box |= QRect(x, y, 1, 1);
        }
    return box;
}

bool near(QRgb c, int r, int g, int b) {
    return std::abs(qRed(c) - r) < 40 && std::abs(qGreen(c) - g) < 40 && std::abs(qBlue(c) - b) < 40;
}

// The capture program's job, with the PDF file as its printer.
bool printInto(TVIkPrint& print, IKHANDLE image) {
    if (!print.GetDevModeHandle() || !print.GetDevModeInfo()) return false;
    print.Orientation = poLandscape;
    if (!print.SetDevModeInfo() || !print.PrintCreateDC(vikPrintFileName)) return false;
    print.DocName = "SlateWise";
    int32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    if (!print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 1)) return false;
    return print.PrintStartDoc() && print.PrintStartPage() &&
           print.ImageOut(print.PrinterDC, image, 100, 100, c - 100, d - 100, true, false, vikPrinter) &&
           print.PrintEndPage() && print.PrintEndDoc() && print.PrintDeleteDC();
}

TEST(PrintToPdf, ThePrintedPageShowsThePictureInItsProportionsOnALandscapePage) {
    TempFolder dir;
    TVIkPrint print;
    const IKHANDLE image = redBlueImage(print);
    ASSERT_NE(image, 0u);
    print.setPrintFileName(QString::fromStdString(dir.path + "/out.pdf"));
    ASSERT_TRUE(printInto(print, image)) << "status " << print.ErrorStatus;
    Ikdllprocs::IKFreeMemory(image);
    EXPECT_EQ(print.PrinterDC, 0u);

    const QImage page = renderPdf(dir.path + "/out.pdf", dir.path);
    ASSERT_FALSE(page.isNull()) << "pdftoppm could not render the file";
    EXPECT_GT(page.width(), page.height()) << "not landscape";
    const QRect box = inkBox(page);
    ASSERT_FALSE(box.isEmpty()) << "nothing printed";
    EXPECT_NEAR(double(box.width()) / box.height(), 2.0, 0.1);
    EXPECT_GT(box.width(), page.width() / 2) << "the picture should fill most of the page";
    const QPoint mid = box.center();
    EXPECT_TRUE(near(page.pixel(box.left() + box.width() / 4, mid.y()), 255, 0, 0));
    EXPECT_TRUE(near(page.pixel(box.right() - box.width() / 4, mid.y()), 0, 0, 255));
    EXPECT_TRUE(near(page.pixel(2, 2), 255, 255, 255));
}

TEST(PrintToPdf, ThePaperSizeIsTheA4SheetInEveryUnit) {
    TempFolder dir;
    TVIkPrint print;
    print.setPrintFileName(QString::fromStdString(dir.path + "/size.pdf"));
    ASSERT_TRUE(print.PrintCreateDC(vikPrintFileName)) << "status " << print.ErrorStatus;
    int32_t a, b, c, d, e, f;
    ASSERT_TRUE(print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 0));
    EXPECT_EQ(e, 2100);  // 0.1 mm
    EXPECT_EQ(f, 2970);
    EXPECT_LE(a + c, e);
    EXPECT_LE(b + d, f);
    ASSERT_TRUE(print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 3));
    EXPECT_EQ(e, 595);  // points
    EXPECT_EQ(f, 842);
    ASSERT_TRUE(print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 1));
    EXPECT_NEAR(e, 4960, 3);  // dots at 600 per inch
    EXPECT_FALSE(print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 9));
    EXPECT_EQ(print.ErrorStatus, IK_ERR_ARGUMENT);
}

TEST(PrintProperties, ClampsAndLimitsKeepTheStoredValuesSound) {
    TVIkPrint print;
    print.setColorMode(5);
    EXPECT_EQ(print.ColorMode(), 2);
    print.setColorMode(0);
    EXPECT_EQ(print.ColorMode(), 1);
    print.setDuplex(9);
    EXPECT_EQ(print.Duplex(), 3);
    print.setDuplex(-2);
    EXPECT_EQ(print.Duplex(), 1);
    print.setCopies(-1);
    EXPECT_EQ(print.Copies(), 0);
    print.setFromPage(-3);
    EXPECT_EQ(print.FromPage(), 0);
    print.setPrinterName("Office");
    print.setPrinterName(QString(256, 'x'));
    EXPECT_EQ(print.PrinterName(), "Office");
    print.setPrintFileName(QString(300, 'y'));
    EXPECT_TRUE(print.PrintFileName().isEmpty());
    print.setFontName("Sans");
    print.setFontName(QString(32, 'f'));
    EXPECT_EQ(print.FontName(), "Sans");
    EXPECT_EQ(print.DrawInfo.drawMode, 13);
    EXPECT_EQ(print.TextInfo.escapement, -1);
}

TEST(PrintProperties, DialogFlagsFollowTheOptions) {
    TVIkPrint print;
    EXPECT_EQ(print.dialogFlags(), uint32_t(IK_PD_HIDEPRINTTOFILE | IK_PD_NOPAGENUMS | IK_PD_NOSELECTION | IK_PD_NOWARNING));
    print.Options = poPrintToFile | poPageNums | poSelection | poWarning | poHelp | poDisablePrintToFile;
    EXPECT_EQ(print.dialogFlags(), uint32_t(IK_PD_DISABLEPRINTTOFILE | IK_PD_SHOWHELP));
}

TEST(PrintImageOut, AMissingImageFailsWithStatus7AndDrawsNothing) {
    TVIkPrint print;
    const uintptr_t dc = print.PreviewInit(40, 30);
    ASSERT_NE(dc, 0u);
    EXPECT_FALSE(print.ImageOut(dc, 0, 0, 0, 40, 30, true, false, vikScreen));
    EXPECT_EQ(print.ErrorStatus, IK_ERR_IMAGE);
    const IKHANDLE shot = print.GetImageFromHdc(dc, 0, 0, 0, 0);
    ASSERT_NE(shot, 0u);
    for (int y = 0; y < 30; y += 7)
        for (int x = 0; x < 40; x += 7) EXPECT_EQ(print.GetPixel(shot, x, y, vikMemoryHandle), 0xFFFFFFu);
    Ikdllprocs::IKFreeMemory(shot);
    Ikdllprocs::IKPrintDeleteDC(dc);
}

TEST(PrintImageOut, ImageOutToHwndShowsThePictureOnTheColourInTheWidget) {
    TVIkPrint print;
    const IKHANDLE image = redBlueImage(print);
    QWidget widget;
    widget.resize(200, 200);
    ASSERT_TRUE(print.ImageOutToHwnd(&widget, image, 0x00FF00, true, false)) << "status " << print.ErrorStatus;
    const QImage shown = widget.grab().toImage();
    EXPECT_TRUE(near(shown.pixel(100, 10), 0, 255, 0)) << "the colour above the picture";
    EXPECT_TRUE(near(shown.pixel(50, 100), 255, 0, 0));
    EXPECT_TRUE(near(shown.pixel(150, 100), 0, 0, 255));
    Ikdllprocs::IKFreeMemory(image);
}

// A partial engine: each entry the window's picture passes through, missing in turn,
// gives status 14 and leaves the widget as it was, never a call through a null entry.
TEST(PrintImageOut, ImageOutToHwndWithAnyEntryMissingIsStatusFourteen) {
    TVIkPrint print;
    const IKHANDLE image = redBlueImage(print);
    auto without = [&](const char* name, auto& entry) {
        const auto saved = entry;
        entry = nullptr;
        QWidget widget;
        widget.resize(60, 40);
        EXPECT_FALSE(print.ImageOutToHwnd(&widget, image, 0x00FF00, true, false)) << name;
        EXPECT_EQ(print.ErrorStatus, IK_ERR_ENTRY_MISSING) << name;
        EXPECT_FALSE(widget.autoFillBackground()) << name << ": something was drawn";
        entry = saved;
    };
    without("IKImageOutToHwnd", Ikdllprocs::IKImageOutToHwnd);
    without("IKImageOut", Ikdllprocs::IKImageOut);
    without("IKPreviewInit", Ikdllprocs::IKPreviewInit);
    without("IKGetImageFromHdc", Ikdllprocs::IKGetImageFromHdc);
    without("IKFillRect", Ikdllprocs::IKFillRect);
    without("IKLockImage", Ikdllprocs::IKLockImage);
    without("IKUnlockImage", Ikdllprocs::IKUnlockImage);
    without("IKFreeMemory", Ikdllprocs::IKFreeMemory);
    without("IKPrintDeleteDC", Ikdllprocs::IKPrintDeleteDC);
    QWidget widget;
    widget.resize(60, 40);
    EXPECT_TRUE(print.ImageOutToHwnd(&widget, image, 0x00FF00, true, false)) << "all entries back";
    Ikdllprocs::IKFreeMemory(image);
}

// Answers the print dialog as soon as it shows.
void answerDialog(bool accept) {
    QTimer::singleShot(50, [accept] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            if (accept) QMetaObject::invokeMethod(dialog, "accept");
            else QMetaObject::invokeMethod(dialog, "reject");
        } else {
            answerDialog(accept);
        }
    });
}

TEST(PrintDialog, AnOldContextIsDeletedEvenWhenTheDialogIsCancelled) {
    TempFolder dir;
    TVIkPrint print;
    print.setPrintFileName(QString::fromStdString(dir.path + "/old.pdf"));
    ASSERT_TRUE(print.PrintCreateDC(vikPrintFileName));
    const uintptr_t old = print.PrinterDC;
    answerDialog(false);
    EXPECT_FALSE(print.PrintDlg());
    EXPECT_EQ(print.ErrorStatus, IK_ERR_CANCELLED);
    EXPECT_EQ(print.PrinterDC, 0u);
    EXPECT_EQ(Ikdllprocs::IKPrintStartDoc(old, 0, "", "", "", "x"), 0) << "the old context still lives";
}

TEST(PrintDialog, AcceptingGivesAContextAndTheChosenCopies) {
    TempFolder dir;
    TVIkPrint print;
    ASSERT_TRUE(Ikdllprocs::IKSetPrint(0, (dir.path + "/dialog.pdf").c_str()));
    print.setCopies(2);
    answerDialog(true);
    ASSERT_TRUE(print.PrintDlg()) << "status " << print.ErrorStatus;
    EXPECT_NE(print.PrinterDC, 0u);
    EXPECT_EQ(print.Copies(), 2);
    EXPECT_TRUE(print.PrintDeleteDC());
}

}  // namespace

// Paper sizes between a printer and the settings record: a printer's paper read into the
// record and written back to a printer is the same paper (A4, Letter, the Japanese B
// sizes, a size of the printer's own), and a code set through TVIkPrint is the sheet the
// job prints on.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPageSize>
#include <QPrinter>
#include <filesystem>
#include <string>

#include "imaging/Ikprint.h"
#include "imaging/engine/print/print_objects.h"

namespace {

QSizeF millimetres(const QPrinter& p) {
    return p.pageLayout().pageSize().size(QPageSize::Millimeter);
}

std::unique_ptr<QPrinter> pdfPrinter(const QPageSize& page) {
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setPageSize(page);
    return p;
}

}  // namespace

TEST(PaperCodes, APrintersPaperComesBackThroughTheSettingsRecord) {
    struct Case {
        const char* name;
        QPageSize page;
        int16_t code;
        double width, height;  // mm
    };
    const Case cases[] = {
        {"A4", QPageSize(QPageSize::A4), 9, 210, 297},
        {"Letter", QPageSize(QPageSize::Letter), 1, 215.9, 279.4},
        {"JIS B5", QPageSize(QPageSize::JisB5), 13, 182, 257},
        {"JIS B4", QPageSize(QPageSize::JisB4), 12, 257, 364},
        {"custom", QPageSize(QSizeF(123, 77), QPageSize::Millimeter, "Card"),
         q47::ik::print::kOwnPaper, 123, 77},
    };
    for (const Case& c : cases) {
        const auto from = pdfPrinter(c.page);
        const IKPrintSettings s = q47::ik::print::settingsOf(*from);
        EXPECT_EQ(s.paperSize, c.code) << c.name;
        // Written back to a printer that had another paper (Legal is none of the above).
        const auto to = pdfPrinter(QPageSize(QPageSize::Legal));
        q47::ik::print::applySettings(s, to.get(), from->pageLayout().pageSize());
        EXPECT_NEAR(millimetres(*to).width(), c.width, 0.5) << c.name;
        EXPECT_NEAR(millimetres(*to).height(), c.height, 0.5) << c.name;
    }
}

TEST(PaperCodes, ACodeTheTableDoesNotHoldKeepsThePrintersPaper) {
    IKPrintSettings s = q47::ik::print::settingsOf(*pdfPrinter(QPageSize(QPageSize::A4)));
    for (int16_t code : {int16_t{0}, int16_t{2}, int16_t{256}, int16_t{999}, int16_t{-3}}) {
        s.paperSize = code;
        const auto printer = pdfPrinter(QPageSize(QPageSize::Legal));
        q47::ik::print::applySettings(s, printer.get());
        EXPECT_NEAR(millimetres(*printer).height(), 355.6, 0.5)
            << "code " << code << " became another paper";
    }
}

// The capture program's way: settings handle, the paper code, the context of those
// settings, and the sheet it measures.
TEST(PaperCodes, TheSheetOfAJobIsThePaperCodeSetThroughTheComponent) {
    struct Case {
        int code, width, height;  // 0.1 mm
    };
    const std::string file =
        (std::filesystem::temp_directory_path() / ("q47paper-" + std::to_string(getpid()) + ".pdf"))
            .string();
    for (const Case& c :
         {Case{9, 2100, 2970}, Case{1, 2159, 2794}, Case{13, 1820, 2570}, Case{12, 2570, 3640}}) {
        TVIkPrint print;
        print.setPrintFileName(QString::fromStdString(file));
        ASSERT_TRUE(print.GetDevModeHandle()) << "status " << print.ErrorStatus;
        ASSERT_TRUE(print.GetDevModeInfo());
        print.PaperSize = static_cast<int16_t>(c.code);
        ASSERT_TRUE(print.SetDevModeInfo());
        print.PaperSize = 0;
        ASSERT_TRUE(print.GetDevModeInfo());
        EXPECT_EQ(print.PaperSize, c.code) << "the record lost its code";
        ASSERT_TRUE(print.PrintCreateDC(vikDevMode)) << "status " << print.ErrorStatus;
        int32_t a, b, w, h, e, f;
        ASSERT_TRUE(print.GetPaperSize(print.PrinterDC, a, b, w, h, e, f, 0));
        EXPECT_NEAR(e, c.width, 2) << "code " << c.code;
        EXPECT_NEAR(f, c.height, 2) << "code " << c.code;
        EXPECT_TRUE(print.PrintDeleteDC());
    }
    std::filesystem::remove(file);
}

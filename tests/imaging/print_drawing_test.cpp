// The drawing family on engine images: figures land on the pixels they name (right and
// bottom edges excluded), flood fills stop where they should, palette images keep their
// table, text leaves ink, and printer contexts refuse what they cannot read.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikprint.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

class DrawOnImage : public ::testing::Test {
protected:
    void SetUp() override {
        image = Ikdllprocs::IKCreateImage(60, 40, 24, 255, 255, 255, 0, 0, 0, 0);
        ASSERT_NE(image, 0u);
        print.DrawInfo.penStyle = vikPenSolid;
        print.DrawInfo.penWidth = 1;
        print.DrawInfo.penColor = kBlack;
        print.DrawInfo.brushStyle = vikBrushSolid;
        print.DrawInfo.brushColor = kRed;
    }
    void TearDown() override { Ikdllprocs::IKFreeMemory(image); }
    uint32_t at(int x, int y) { return print.GetPixel(image, x, y, vikMemoryHandle); }

    TVIkPrint print;
    IKHANDLE image = 0;
};

TEST_F(DrawOnImage, RectangleHasItsPenOnTheEdgeAndItsBrushInside) {
    ASSERT_TRUE(print.Rectangle(image, 10, 10, 20, 20, vikMemoryHandle)) << print.ErrorStatus;
    EXPECT_EQ(at(10, 10), kBlack);
    EXPECT_EQ(at(19, 19), kBlack);
    EXPECT_EQ(at(15, 15), kRed);
    EXPECT_EQ(at(20, 20), kWhite) << "right and bottom edge are outside";
    EXPECT_EQ(at(9, 15), kWhite);
}

// The records a new component starts with: all zero (pen style vikPenNull, no brush)
// except the copy-pen mode 13 and the text record's -1; a figure drawn with only a brush
// chosen has no outline.
TEST(DrawingRecords, ANewComponentHasNoPenUntilOneIsChosen) {
    TVIkPrint fresh;
    // The records are packed: their fields are copied out before comparing.
    EXPECT_EQ(static_cast<int>(fresh.DrawInfo.penStyle), vikPenNull);
    EXPECT_EQ(static_cast<int>(fresh.DrawInfo.penWidth), 0);
    EXPECT_EQ(static_cast<int>(fresh.DrawInfo.drawMode), 13);
    EXPECT_EQ(static_cast<int>(fresh.DrawInfo.brushStyle), vikBrushNull);
    EXPECT_EQ(static_cast<uint32_t>(fresh.DrawInfo.penColor), 0u);
    EXPECT_EQ(static_cast<int>(fresh.TextInfo.escapement), -1);
    EXPECT_EQ(static_cast<int>(fresh.TextInfo.fontSize), 0);
    const IKHANDLE image = Ikdllprocs::IKCreateImage(30, 30, 24, 255, 255, 255, 0, 0, 0, 0);
    fresh.DrawInfo.brushStyle = vikBrushSolid;
    fresh.DrawInfo.brushColor = kRed;
    ASSERT_TRUE(fresh.Rectangle(image, 5, 5, 15, 15, vikMemoryHandle)) << fresh.ErrorStatus;
    for (int i = 5; i < 15; ++i) {
        EXPECT_NE(fresh.GetPixel(image, i, 5, vikMemoryHandle), kBlack) << "an outline was drawn at " << i;
        EXPECT_NE(fresh.GetPixel(image, 5, i, vikMemoryHandle), kBlack) << "an outline was drawn at " << i;
    }
    EXPECT_EQ(fresh.GetPixel(image, 10, 10, vikMemoryHandle), kRed);
    fresh.DrawInfo.penStyle = vikPenSolid;  // chosen: now the edge has the (black) pen
    ASSERT_TRUE(fresh.Rectangle(image, 5, 5, 15, 15, vikMemoryHandle));
    EXPECT_EQ(fresh.GetPixel(image, 5, 5, vikMemoryHandle), kBlack);
    Ikdllprocs::IKFreeMemory(image);
}

TEST_F(DrawOnImage, FillRectCoversExactlyItsRectangleWithoutPen) {
    ASSERT_TRUE(print.FillRect(image, 5, 5, 8, 7, vikMemoryHandle));
    EXPECT_EQ(at(5, 5), kRed);
    EXPECT_EQ(at(7, 6), kRed);
    EXPECT_EQ(at(8, 6), kWhite);
    EXPECT_EQ(at(7, 7), kWhite);
    EXPECT_EQ(at(4, 5), kWhite);
}

TEST_F(DrawOnImage, LinesAndPolylinesColourThePixelsOnThem) {
    print.DrawInfo.penColor = kBlue;
    ASSERT_TRUE(print.Line(image, 0, 5, 30, 5, vikMemoryHandle));
    EXPECT_EQ(at(0, 5), kBlue);
    EXPECT_EQ(at(15, 5), kBlue);
    EXPECT_EQ(at(15, 6), kWhite);
    const int32_t zigzag[] = {40, 0, 40, 30, 50, 30};
    ASSERT_TRUE(print.Polyline(image, zigzag, 3, vikMemoryHandle));
    EXPECT_EQ(at(40, 15), kBlue);
    EXPECT_EQ(at(45, 30), kBlue);
    EXPECT_EQ(at(45, 15), kWhite) << "a polyline is not filled";
}

TEST_F(DrawOnImage, EllipseAndRoundRectFillTheirMiddleButNotTheCorners) {
    ASSERT_TRUE(print.Ellipse(image, 0, 0, 21, 21, vikMemoryHandle));
    EXPECT_EQ(at(10, 10), kRed);
    EXPECT_EQ(at(1, 1), kWhite);
    ASSERT_TRUE(print.RoundRect(image, 30, 0, 60, 30, 20, 20, vikMemoryHandle));
    EXPECT_EQ(at(45, 15), kRed);
    EXPECT_EQ(at(31, 1), kWhite);
    EXPECT_EQ(at(45, 0), kBlack) << "the straight part of the top edge";
}

TEST_F(DrawOnImage, PieRunsCounterClockwiseFromTheStartRayToTheEndRay) {
    print.DrawInfo.penStyle = vikPenNull;
    // From three o'clock to twelve o'clock: the top-right quarter.
    ASSERT_TRUE(print.Pie(image, 0, 0, 40, 40, 40, 20, 20, 0, vikMemoryHandle));
    EXPECT_EQ(at(28, 12), kRed);
    EXPECT_EQ(at(12, 12), kWhite);
    EXPECT_EQ(at(12, 28), kWhite);
    EXPECT_EQ(at(28, 28), kWhite);
}

TEST_F(DrawOnImage, ChordAndArcKeepToTheirSideOfTheCurve) {
    print.DrawInfo.penStyle = vikPenNull;
    // The half above the horizontal diameter (start at three o'clock, end at nine).
    ASSERT_TRUE(print.Chord(image, 0, 0, 40, 40, 40, 20, 0, 20, vikMemoryHandle));
    EXPECT_EQ(at(20, 8), kRed);
    EXPECT_EQ(at(20, 32), kWhite);
    print.DrawInfo.penStyle = vikPenSolid;
    print.DrawInfo.penColor = kBlue;
    ASSERT_TRUE(print.Arc(image, 0, 0, 40, 40, 0, 20, 40, 20, vikMemoryHandle));  // the lower half
    EXPECT_EQ(at(20, 39), kBlue);
    EXPECT_EQ(at(20, 30), kWhite) << "an arc is not filled";
}

TEST_F(DrawOnImage, PolygonFillsItsInside) {
    const int32_t triangle[] = {0, 0, 30, 0, 0, 30};
    ASSERT_TRUE(print.Polygon(image, triangle, 3, vikMemoryHandle));
    EXPECT_EQ(at(5, 5), kRed);
    EXPECT_EQ(at(25, 25), kWhite);
    EXPECT_FALSE(print.Polygon(image, triangle, 1, vikMemoryHandle));
    EXPECT_EQ(print.ErrorStatus, IK_ERR_ARGUMENT);
}

TEST_F(DrawOnImage, FloodFillStopsAtTheBorderOrKeepsToTheSurface) {
    print.DrawInfo.brushStyle = vikBrushNull;
    ASSERT_TRUE(print.Rectangle(image, 10, 10, 30, 30, vikMemoryHandle));  // black outline
    print.DrawInfo.brushColor = kGreen;
    ASSERT_TRUE(print.Paint(image, 20, 20, kBlack, vikBorder, vikMemoryHandle));
    EXPECT_EQ(at(20, 20), kGreen);
    EXPECT_EQ(at(11, 28), kGreen);
    EXPECT_EQ(at(10, 10), kBlack);
    EXPECT_EQ(at(5, 5), kWhite);
    print.DrawInfo.brushColor = kBlue;
    ASSERT_TRUE(print.Paint(image, 2, 2, kWhite, vikSurface, vikMemoryHandle));
    EXPECT_EQ(at(59, 39), kBlue);
    EXPECT_EQ(at(20, 20), kGreen) << "the surface fill crossed the outline";
    EXPECT_FALSE(print.Paint(image, 99, 2, kWhite, vikSurface, vikMemoryHandle));
}

TEST_F(DrawOnImage, XorDrawnTwiceLeavesThePictureAsItWas) {
    print.DrawInfo.drawMode = 7;
    print.DrawInfo.brushColor = kGreen;
    ASSERT_TRUE(print.FillRect(image, 0, 0, 10, 10, vikMemoryHandle));
    EXPECT_EQ(at(5, 5), 0xFF00FFu);
    ASSERT_TRUE(print.FillRect(image, 0, 0, 10, 10, vikMemoryHandle));
    EXPECT_EQ(at(5, 5), kWhite);
}

TEST_F(DrawOnImage, TextLeavesInkInsideItsExtent) {
    print.Text = "HH";
    print.setFontName("DejaVu Sans");
    print.TextInfo.fontSize = 14;
    print.TextInfo.textColor = kBlack;
    print.TextInfo.flags = 1;  // transparent background
    int32_t w = 0, h = 0;
    ASSERT_TRUE(print.GetTextExtent(image, w, h, vikMemoryHandle));
    EXPECT_GT(w, 5);
    EXPECT_GT(h, 5);
    ASSERT_TRUE(print.TextOut(image, 2, 2, vikMemoryHandle));
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            if (at(x, y) != kWhite) {
                ++ink;
                EXPECT_LT(x, 2 + w + 1);
                EXPECT_LT(y, 2 + h + 1);
            }
    EXPECT_GT(ink, 10);
    ASSERT_TRUE(print.DrawText(image, 0, 20, 60, 40, IK_DT_CENTER | IK_DT_SINGLELINE, true, vikMemoryHandle));
    EXPECT_EQ(at(1, 30), kWhite) << "centred text reached the left edge";
}

TEST(DrawOnPaletteImage, PixelsTakeTheNearestColourOfTheImagesOwnTable) {
    TVIkPrint print;
    const IKHANDLE grey = Ikdllprocs::IKCreateImage(8, 8, 8, 255, 255, 255, 0, 0, 0, 0);
    ASSERT_NE(grey, 0u);
    ASSERT_TRUE(print.SetPixel(grey, 3, 3, 0x101010, vikMemoryHandle));
    EXPECT_EQ(print.GetPixel(grey, 3, 3, vikMemoryHandle), 0x101010u);
    ASSERT_TRUE(print.SetPixel(grey, 4, 4, kRed, vikMemoryHandle));  // no red in a grey ramp
    const uint32_t c = print.GetPixel(grey, 4, 4, vikMemoryHandle);
    EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF) << "the colour left the grey table";
    IKImageInfo info{};
    ASSERT_TRUE(Ikdllprocs::IKGetImageType(grey, &info));
    EXPECT_EQ(info.bitCount, 8);
    EXPECT_TRUE(info.grey);
    Ikdllprocs::IKFreeMemory(grey);
}

TEST(DrawTargets, UnknownTargetsAndPrinterReadsFailWithTheirStatus) {
    TVIkPrint print;
    EXPECT_FALSE(print.Line(987654, 0, 0, 5, 5, vikMemoryHandle));
    EXPECT_EQ(print.ErrorStatus, IK_ERR_IMAGE);
    EXPECT_FALSE(print.Line(987654, 0, 0, 5, 5, vikScreen));
    EXPECT_EQ(print.ErrorStatus, IK_ERR_ARGUMENT);
    const std::string pdf = (std::filesystem::temp_directory_path() / "q47print-read.pdf").string();
    print.setPrintFileName(QString::fromStdString(pdf + std::to_string(getpid())));
    ASSERT_TRUE(print.PrintCreateDC(vikPrintFileName));
    EXPECT_FALSE(print.Line(print.PrinterDC, 0, 0, 5, 5, vikPrinter)) << "drawing outside a page";
    EXPECT_EQ(print.ErrorStatus, IK_ERR_PRINT_JOB);
    ASSERT_TRUE(print.PrintStartDoc() && print.PrintStartPage());
    EXPECT_TRUE(print.Line(print.PrinterDC, 0, 0, 500, 500, vikPrinter));
    EXPECT_EQ(print.GetPixel(print.PrinterDC, 1, 1, vikPrinter), 0xFFFFFFFFu);
    EXPECT_EQ(print.ErrorStatus, IK_ERR_PRINT_READBACK);
    EXPECT_TRUE(print.PrintEndPage() && print.PrintAbortDoc());
    print.PrintDeleteDC();
    std::filesystem::remove(pdf + std::to_string(getpid()));
}

}  // namespace

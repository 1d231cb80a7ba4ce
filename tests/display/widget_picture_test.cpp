// The display control's composed picture, grabbed offscreen: layers in order, the
// transparent colour, the hidden base, the hatch, clipping, border, smoothed reduction.
#include <QColor>
#include <set>

#include "tests/display/display_rig.h"

namespace q47::test {
namespace {

const QRgb kGrey = qRgb(128, 128, 128), kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255),
           kWhite = qRgb(255, 255, 255), kBlack = qRgb(0, 0, 0);

class DisplayPicture : public ::testing::Test {
protected:
    EngineImages images;
    TVIkDisp disp;
    void SetUp() override { disp.resize(100, 50); }
};

TEST_F(DisplayPicture, LayersAreDrawnInIndexOrderOverTheBase) {
    disp.SetImgHandle(images.solid(100, 50, kGrey));
    disp.GetRaster(0)->setImgHandle(images.solid(30, 20, kRed));
    disp.GetRaster(0)->setStartX(10);
    disp.GetRaster(0)->setStartY(10);
    disp.GetRaster(1)->setEnableTrans(false);
    disp.GetRaster(1)->setImgHandle(images.solid(30, 20, kBlue));
    disp.GetRaster(1)->setStartX(25);
    disp.GetRaster(1)->setStartY(15);
    ASSERT_TRUE(disp.Display(vikScale));
    const QImage p = picture(disp);
    EXPECT_EQ(p.pixel(5, 5), kGrey);
    EXPECT_EQ(p.pixel(12, 12), kRed);
    EXPECT_EQ(p.pixel(30, 20), kBlue);  // both layers: the higher index wins
    EXPECT_EQ(p.pixel(50, 30), kBlue);
    EXPECT_EQ(p.pixel(39, 14), kRed);
    EXPECT_EQ(p.pixel(56, 36), kGrey);

    // Hiding the top layer redraws at once and shows what is under it.
    disp.GetRaster(1)->setShowInDisp(false);
    EXPECT_EQ(picture(disp).pixel(30, 20), kRed);
}

TEST_F(DisplayPicture, TheTransparentColourShowsWhatIsUnderneath) {
    disp.SetImgHandle(images.solid(100, 50, kGrey));
    disp.GetRaster(0)->setImgHandle(images.solid(40, 40, kRed));
    // A white sheet with a black line: white is see-through, as the capture program sets it.
    TCRaster* sheet = disp.GetRaster(1);
    sheet->setTransColor(255, 255, 255);
    sheet->setImgHandle(
        images.make24(100, 50, [](int x, int) { return x == 20 || x == 60 ? kBlack : kWhite; }));
    ASSERT_TRUE(disp.Display(vikScale));
    QImage p = picture(disp);
    EXPECT_EQ(p.pixel(10, 10), kRed);
    EXPECT_EQ(p.pixel(20, 10), kBlack);
    EXPECT_EQ(p.pixel(50, 10), kGrey);
    EXPECT_EQ(p.pixel(60, 45), kBlack);

    // Another colour: now the black line is the see-through one and white covers.
    sheet->setTransColor(0, 0, 0);
    p = picture(disp);
    EXPECT_EQ(p.pixel(20, 10), kRed);
    EXPECT_EQ(p.pixel(50, 10), kWhite);
    sheet->setEnableTrans(false);
    EXPECT_EQ(picture(disp).pixel(20, 10), kBlack);
}

TEST_F(DisplayPicture, BaseHiddenShowsColourUnderTheLayers) {
    disp.SetImgHandle(images.solid(100, 50, kGrey));
    disp.GetRaster(0)->setImgHandle(images.solid(10, 10, kRed));
    disp.ShowInDisp = false;
    disp.Color = 0xFF0000;  // 0xBBGGRR: blue
    ASSERT_TRUE(disp.Display(vikStretch));
    const QImage p = picture(disp);
    EXPECT_EQ(p.pixel(5, 5), kRed);
    EXPECT_EQ(p.pixel(50, 25), kBlue);
    std::set<QRgb> seen;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) seen.insert(p.pixel(x, y));
    EXPECT_EQ(seen.count(kGrey), 0u) << "no base pixel shows";
}

TEST_F(DisplayPicture, HatchOrColourOutsideTheImage) {
    disp.resize(200, 100);
    disp.Color = 0xFFFFFF;
    disp.InvalidHatchColor = 0x0000FF;  // red
    disp.SetImgHandle(images.solid(40, 20, kGrey));
    ASSERT_TRUE(disp.Display(vikScale));  // 1:1, centred at (80, 40)
    QImage p = picture(disp);
    std::set<QRgb> outside, inside;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            (x >= 80 && x < 120 && y >= 40 && y < 60 ? inside : outside).insert(p.pixel(x, y));
    EXPECT_EQ(inside, std::set<QRgb>{kGrey});
    EXPECT_TRUE(outside.count(kRed)) << "hatch lines";
    EXPECT_TRUE(outside.count(kWhite)) << "Color between them";
    EXPECT_FALSE(outside.count(kGrey));

    disp.InvalidHatchPattern = false;
    disp.Refresh();
    p = picture(disp);
    EXPECT_EQ(p.pixel(10, 10), kWhite);
    EXPECT_EQ(p.pixel(10, 11), kWhite);
    EXPECT_EQ(p.pixel(11, 10), kWhite);
}

TEST_F(DisplayPicture, ALayerHangingOverTheImageEdgeIsClipped) {
    disp.resize(200, 100);
    disp.InvalidHatchPattern = false;
    disp.Color = 0xFFFFFF;
    disp.SetImgHandle(images.solid(100, 50, kGrey));  // drawn at (50, 25)
    disp.GetRaster(0)->setImgHandle(images.solid(30, 30, kRed));
    disp.GetRaster(0)->setStartX(85);
    disp.GetRaster(0)->setStartY(-10);
    ASSERT_TRUE(disp.Display(vikScale));
    const QImage p = picture(disp);
    EXPECT_EQ(p.pixel(50 + 85, 25), kRed);
    EXPECT_EQ(p.pixel(50 + 99, 25 + 19), kRed);
    EXPECT_EQ(p.pixel(50 + 100, 25), kWhite);  // beyond the image's right edge
    EXPECT_EQ(p.pixel(50 + 90, 24), kWhite);   // above its top edge
    EXPECT_EQ(p.pixel(50 + 99, 25 + 20), kGrey);
}

TEST_F(DisplayPicture, StretchedIntoABorderedArea) {
    disp.resize(102, 52);
    disp.BorderVisible = true;
    disp.BorderColor = 0x00FF00;
    disp.SetImgHandle(images.make24(50, 25, [](int x, int) { return x < 25 ? kRed : kBlue; }));
    ASSERT_TRUE(disp.Display(vikStretch));
    EXPECT_DOUBLE_EQ(disp.ScaleWidth(), 2.0);
    const QImage p = picture(disp);
    EXPECT_EQ(p.pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(p.pixel(101, 51), qRgb(0, 255, 0));
    EXPECT_EQ(p.pixel(1, 1), kRed);
    EXPECT_EQ(p.pixel(50, 50), kRed);
    EXPECT_EQ(p.pixel(51, 50), kBlue);
    EXPECT_EQ(p.pixel(100, 1), kBlue);
}

TEST_F(DisplayPicture, AnImageFreedByItsOwnerIsNoLongerDrawn) {
    disp.SetImgHandle(images.solid(100, 50, kGrey));
    const IKHANDLE red = images.solid(20, 20, kRed);
    disp.GetRaster(0)->setImgHandle(red);
    ASSERT_TRUE(disp.Display(vikScale));
    EXPECT_EQ(picture(disp).pixel(5, 5), kRed);
    images.free(red);
    EXPECT_EQ(picture(disp).pixel(5, 5), kGrey);

    const IKHANDLE base = disp.ImgHandle();
    images.free(base);
    EXPECT_FALSE(disp.Display(vikScale));
    EXPECT_EQ(disp.ErrorStatus, 3);
}

TEST_F(DisplayPicture, OneBitImagesAreSmoothedWhenReduced) {
    disp.resize(60, 30);
    // One-pixel black and white stripes: halved, they average to grey.
    disp.SetImgHandle(images.make1(120, 60, [](int x, int) { return x % 2 == 0; }));
    ASSERT_TRUE(disp.Display(vikStretch));
    QImage p = picture(disp);
    const QColor smoothed = p.pixelColor(30, 15);
    EXPECT_GT(smoothed.red(), 60);
    EXPECT_LT(smoothed.red(), 200);

    disp.Refine1BitImage = false;  // plain: every screen pixel is black or white
    disp.Refresh();
    p = picture(disp);
    for (int x = 0; x < 60; ++x) {
        const QRgb c = p.pixel(x, 15);
        ASSERT_TRUE(c == kBlack || c == kWhite) << x;
    }
}

TEST_F(DisplayPicture, EndDispImageReportsTheDrawingAfterItWentToTheScreen) {
    disp.resize(200, 100);
    int calls = 0;
    disp.OnEndDispImage = [&](QObject* sender, int ox, int oy, int l, int t, int r, int b,
                              double sw, double sh) {
        ++calls;
        EXPECT_EQ(sender, &disp);
        EXPECT_EQ(ox, 0);
        EXPECT_EQ(oy, 0);
        EXPECT_EQ(l, 0);
        EXPECT_EQ(t, 0);
        EXPECT_EQ(r, 399);
        EXPECT_EQ(b, 49);
        EXPECT_DOUBLE_EQ(sw, 0.5);
        EXPECT_DOUBLE_EQ(sh, 2.0);
    };
    disp.SetImgHandle(images.solid(400, 50, kGrey));
    ASSERT_TRUE(disp.Display(vikStretch));
    EXPECT_EQ(calls, 0) << "raised by the drawing, not by the request";
    picture(disp);
    EXPECT_EQ(calls, 1);
    disp.Display(vikClear);
    picture(disp);
    EXPECT_EQ(calls, 1) << "an empty area is no image drawing";
}

}  // namespace
}  // namespace q47::test

namespace q47::test {
namespace {

TEST_F(DisplayPicture, BlinkingRectangleRulersAndGridAreDrawnOverThePicture) {
    disp.resize(220, 120);
    disp.Grad = vikPixel;
    disp.GradBackColor = 0x00FFFF;  // yellow band
    disp.SetImgHandle(images.solid(200, 100, kGrey));
    ASSERT_TRUE(disp.Display(vikScale));
    EXPECT_EQ(disp.Geometry().OriginX, q47::disp::kRulerBand);
    disp.RectLeft = 10;
    disp.RectTop = 10;
    disp.RectRight = 49;
    disp.RectBottom = 29;
    disp.RectColor1 = 0x0000FF;
    disp.RectColor2 = 0xFF0000;
    disp.setRectDraw(true);
    QImage p = picture(disp);
    EXPECT_EQ(p.pixel(5, 60), qRgb(255, 255, 0)) << "ruler band";
    const QPoint corner = disp.ImageToClient(QPoint(10, 10));
    std::set<QRgb> edge;
    for (int x = corner.x(); x < disp.ImageToClient(QPoint(50, 10)).x(); ++x)
        edge.insert(p.pixel(x, corner.y()));
    EXPECT_TRUE(edge.count(kRed) && edge.count(kBlue)) << "two colours along the edge";
    EXPECT_EQ(p.pixel(disp.ImageToClient(QPoint(30, 20))), kGrey) << "only the outline";
    disp.setRectDraw(false);
    EXPECT_EQ(picture(disp).pixel(corner), kGrey);

    disp.Grid = vikPixel;
    disp.GridSpace = 50;
    disp.GridColor = 0x000000;
    disp.Refresh();
    p = picture(disp);
    EXPECT_EQ(p.pixel(disp.ImageToClient(QPoint(50, 7))), kBlack);
    EXPECT_EQ(p.pixel(disp.ImageToClient(QPoint(51, 7))), kGrey);
}

}  // namespace
}  // namespace q47::test

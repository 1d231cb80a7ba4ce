// The display control's rules without looking at pixels: handle validation, layer
// indices, modes and ErrorStatus, zoom, scrolling, pan window, tooltip texts, ownership.
#include <QScrollBar>

#include "tests/display/display_rig.h"

namespace q47::test {
namespace {

class DisplayRules : public ::testing::Test {
protected:
    EngineImages images;
    TVIkDisp disp;
    void SetUp() override { disp.resize(200, 100); }
};

TEST_F(DisplayRules, HandlesThatAreNoRasterImageBecomeZero) {
    const IKHANDLE good = images.solid(10, 10, qRgb(1, 2, 3));
    disp.SetImgHandle(good);
    EXPECT_EQ(disp.ImgHandle(), good);
    EXPECT_EQ(disp.ImageWidth(), 10);
    disp.SetImgHandle(0xFFFF);  // never issued
    EXPECT_EQ(disp.ImgHandle(), 0u);
    EXPECT_EQ(disp.ImageWidth(), 0);
    const IKHANDLE vector = Ikdllprocs::IKCreateVectImage(10, 10, 0, 0);
    ASSERT_NE(vector, 0u);
    disp.SetImgHandle(vector);
    EXPECT_EQ(disp.ImgHandle(), 0u);
    disp.GetRaster(4)->setImgHandle(vector);
    EXPECT_EQ(disp.GetRaster(4)->ImgHandle(), 0u);
    disp.GetVector(4)->setImgHandle(vector);
    EXPECT_EQ(disp.GetVector(4)->ImgHandle(), vector);
    disp.GetVector(5)->setImgHandle(good);  // a raster image is no vector layer
    EXPECT_EQ(disp.GetVector(5)->ImgHandle(), 0u);
    Ikdllprocs::IKFreeMemory(vector);
    const IKHANDLE freed = images.solid(5, 5, qRgb(0, 0, 0));
    images.free(freed);
    disp.GetRaster(0)->setImgHandle(freed);
    EXPECT_EQ(disp.GetRaster(0)->ImgHandle(), 0u);
}

TEST_F(DisplayRules, LayerIndicesOutsideTheRangeAnswerLayerZeroAndAreIgnoredOnSet) {
    EXPECT_EQ(disp.GetRaster(150), disp.GetRaster(0));
    EXPECT_EQ(disp.GetRaster(-1), disp.GetRaster(0));
    EXPECT_NE(disp.GetRaster(99), disp.GetRaster(0));
    EXPECT_EQ(disp.GetVector(100), disp.GetVector(0));

    disp.SetImgHandle(images.solid(100, 100, qRgb(0, 0, 0)));
    TCRaster fields;
    fields.setImgHandle(images.solid(8, 8, qRgb(9, 9, 9)));
    fields.setStartX(12);
    fields.setEnableTrans(false);
    disp.SetRaster(150, fields);
    EXPECT_EQ(disp.GetRaster(0)->ImgHandle(), 0u);
    disp.SetRaster(7, fields);
    EXPECT_EQ(disp.GetRaster(7)->ImgHandle(), fields.ImgHandle());
    EXPECT_EQ(disp.GetRaster(7)->StartX(), 12);
    EXPECT_FALSE(disp.GetRaster(7)->EnableTrans());
    EXPECT_EQ(disp.GetRaster(7)->Width(), 8);
}

TEST_F(DisplayRules, LayerPositionsAreTakenOnlyWithABaseImage) {
    disp.GetRaster(2)->setStartX(30);
    EXPECT_EQ(disp.GetRaster(2)->StartX(), 0);
    disp.SetImgHandle(images.solid(50, 50, qRgb(0, 0, 0)));
    disp.GetRaster(2)->setStartX(30);
    disp.GetRaster(2)->setStartY(-4);
    EXPECT_EQ(disp.GetRaster(2)->StartX(), 30);
    EXPECT_EQ(disp.GetRaster(2)->StartY(), -4);
}

TEST_F(DisplayRules, DefaultsAndIgnoredValues) {
    EXPECT_EQ(disp.width(), 200);
    TVIkDisp fresh;
    EXPECT_EQ(fresh.size(), QSize(100, 100));
    EXPECT_EQ(fresh.Color, 0xFFFFFFu);
    EXPECT_EQ(fresh.DispMode(), vikClear);
    EXPECT_EQ(fresh.InvalidHatchColor, 12632256u);
    EXPECT_EQ(fresh.GetRaster(3)->TransRed(), 0);
    EXPECT_TRUE(fresh.GetRaster(3)->EnableTrans());
    EXPECT_TRUE(fresh.GetRaster(3)->ShowInDisp());

    disp.setDispScale(2.5);
    disp.setDispScale(0);
    EXPECT_EQ(disp.DispScale(), 2.5);
    disp.setDispScale(-1);
    EXPECT_EQ(disp.DispScale(), 2.5);
    disp.setRefine1BitImageScale(0.5);
    disp.setRefine1BitImageScale(1.0);
    disp.setRefine1BitImageScale(-0.1);
    EXPECT_EQ(disp.Refine1BitImageScale(), 0.5);
}

TEST_F(DisplayRules, DisplayAnswersForEachMode) {
    EXPECT_FALSE(disp.Display(vikStretch));
    EXPECT_EQ(disp.ErrorStatus, 7);
    EXPECT_TRUE(disp.Display(vikClear));
    EXPECT_EQ(disp.ErrorStatus, 0);
    disp.SetImgHandle(images.solid(50, 50, qRgb(0, 0, 0)));
    EXPECT_TRUE(disp.Display(vikActualSize));
    EXPECT_EQ(disp.DispMode(), vikActualSize);
    disp.resize(1, 100);
    EXPECT_FALSE(disp.Display(vikStretch));
    EXPECT_EQ(disp.ErrorStatus, 2);
}

TEST_F(DisplayRules, DrawingPublishesTheOriginUsedAndConsumesTheCentre) {
    disp.SetImgHandle(images.solid(1000, 500, qRgb(0, 0, 0)));
    disp.StartX = 5000;
    ASSERT_TRUE(disp.Display(vikActualSize));
    EXPECT_EQ(disp.StartX, 1000 - 200);  // clamped to the last visible pixel
    disp.DispCenterX = 300;
    disp.DispCenterY = 300;
    disp.Refresh();
    EXPECT_EQ(disp.StartX, 300 - static_cast<int>(199 * 0.5 + 0.5));
    EXPECT_EQ(disp.StartY, 300 - static_cast<int>(99 * 0.5 + 0.5));
    EXPECT_EQ(disp.DispCenterX, 0);
    EXPECT_EQ(disp.DispCenterY, 0);
}

TEST_F(DisplayRules, ZoomRefusesBadRectanglesAndShowsGoodOnes) {
    EXPECT_FALSE(disp.Zoom(0, 0, 10, 10));
    EXPECT_EQ(disp.ErrorStatus, 7);
    disp.SetImgHandle(images.solid(1000, 500, qRgb(0, 0, 0)));
    ASSERT_TRUE(disp.Display(vikStretch));
    EXPECT_FALSE(disp.Zoom(0, 0, 1000, 100));  // right = width
    EXPECT_EQ(disp.ErrorStatus, 5);
    EXPECT_FALSE(disp.Zoom(0, 0, 100, 500));
    EXPECT_EQ(disp.ErrorStatus, 5);
    EXPECT_EQ(disp.DispMode(), vikStretch) << "a refused zoom changes nothing";
    ASSERT_TRUE(disp.Zoom(400, 200, 499, 249));
    EXPECT_EQ(disp.ErrorStatus, 0);
    EXPECT_EQ(disp.DispMode(), vikActualSize);
    EXPECT_DOUBLE_EQ(disp.DispScale(), std::min(100.0 / 49, 200.0 / 99));
    // The centre of the rectangle is the centre of the view.
    const QPoint centre = disp.ClientToImage(QPoint(100, 50));
    EXPECT_NEAR(centre.x(), 450, 1);
    EXPECT_NEAR(centre.y(), 225, 1);
}

TEST_F(DisplayRules, ScrollImageOnlyInActualSize) {
    disp.SetImgHandle(images.solid(1000, 500, qRgb(0, 0, 0)));
    ASSERT_TRUE(disp.Display(vikStretch));
    EXPECT_FALSE(disp.ScrollImage(vikScrollRight));
    EXPECT_EQ(disp.ErrorStatus, 5);
    ASSERT_TRUE(disp.Display(vikActualSize));
    disp.ScrollWidth = 7;
    disp.ScrollHeight = 3;
    EXPECT_TRUE(disp.ScrollImage(vikScrollDownRight));
    EXPECT_EQ(disp.StartX, 7);
    EXPECT_EQ(disp.StartY, 3);
    EXPECT_TRUE(disp.ScrollImage(vikScrollUpLeft));
    EXPECT_TRUE(disp.ScrollImage(vikScrollUpLeft));
    EXPECT_EQ(disp.StartX, 0);  // not past the first pixel
    EXPECT_EQ(disp.StartY, 0);
}

TEST_F(DisplayRules, ScrollBarsOnlyInActualSizeWhenTheImageIsLarger) {
    disp.show();
    disp.ScrollBar = true;
    disp.SetImgHandle(images.solid(1000, 50, qRgb(0, 0, 0)));
    ASSERT_TRUE(disp.Display(vikActualSize));
    auto bars = disp.findChildren<QScrollBar*>();
    auto shown = [&](Qt::Orientation o) {
        for (QScrollBar* b : disp.findChildren<QScrollBar*>())
            if (b->orientation() == o && b->isVisible()) return b;
        return static_cast<QScrollBar*>(nullptr);
    };
    QScrollBar* h = shown(Qt::Horizontal);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(shown(Qt::Vertical), nullptr);
    int scrolls = 0;
    disp.OnScrollDispImage = [&](QObject*, TScrollCode code, int16_t pos, TVIkMouseWheel dir) {
        ++scrolls;
        EXPECT_EQ(code, scPageDown);
        EXPECT_EQ(dir, vikHorizontal);
        EXPECT_EQ(pos, disp.StartX);
    };
    h->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(disp.StartX, disp.Geometry().visibleWidth);
    EXPECT_EQ(h->value(), disp.StartX);
    ASSERT_TRUE(disp.Display(vikStretch));
    EXPECT_EQ(shown(Qt::Horizontal), nullptr);
}

TEST_F(DisplayRules, PanWindowRules) {
    std::vector<bool> raised;
    disp.OnPanWindow = [&](QObject*, bool show) { raised.push_back(show); };
    EXPECT_FALSE(disp.ShowPanWindow(true));
    EXPECT_EQ(disp.ErrorStatus, 7);
    disp.SetImgHandle(images.solid(100, 100, qRgb(0, 0, 0)));
    disp.Display(vikStretch);
    EXPECT_FALSE(disp.ShowPanWindow(true));
    EXPECT_EQ(disp.ErrorStatus, 2);
    EXPECT_TRUE(raised.empty());
    disp.Display(vikActualSize);
    EXPECT_TRUE(disp.ShowPanWindow(true));
    EXPECT_TRUE(disp.ShowPanWindow(false));
    EXPECT_EQ(raised, (std::vector<bool>{true, false}));
}

TEST_F(DisplayRules, ToolTipTextsInEachUnit) {
    disp.SetImgHandle(images.solid(10, 10, qRgb(0, 0, 0)));  // no dpi stored: 72
    EXPECT_EQ(disp.Xdpi(), 72);
    disp.SetToolTip(vikPixel);
    EXPECT_EQ(disp.ToolTipText(12, 345), " 12 345 pixel");
    disp.SetToolTip(vikmm);
    EXPECT_EQ(disp.ToolTipText(72, 36), QString::asprintf(" %7.1f %7.1f mm", 25.4, 12.7));
    disp.SetToolTip(vikInch);
    EXPECT_EQ(disp.ToolTipText(144, 36), QString::asprintf(" %7.1f %7.1f inch", 2.0, 0.5));
    disp.SetToolTip(vikNone);
    EXPECT_TRUE(disp.ToolTipText(1, 1).isEmpty());
}

TEST(DisplayOwnership, TheControlFreesNoImageItShows) {
    EngineImages images;
    const IKHANDLE base = images.make1(400, 200, [](int x, int) { return x % 2; });
    const IKHANDLE layer = images.solid(10, 10, qRgb(1, 1, 1));
    const uint32_t before = Ikdllprocs::IKGetObjectCount();
    {
        TVIkDisp disp;
        disp.resize(100, 50);
        disp.SetImgHandle(base);
        disp.GetRaster(0)->setImgHandle(layer);
        disp.Display(vikStretch);
        disp.grab();  // makes the smoothed copy of the 1-bit base
        disp.SetImgHandle(0);
    }
    IKImageInfo info{};
    EXPECT_TRUE(Ikdllprocs::IKGetImageType(base, &info));
    EXPECT_TRUE(Ikdllprocs::IKGetImageType(layer, &info));
    EXPECT_EQ(Ikdllprocs::IKGetObjectCount(), before)
        << "its own smoothed copy freed, nothing else";
}

}  // namespace
}  // namespace q47::test

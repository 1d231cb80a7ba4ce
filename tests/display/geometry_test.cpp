// Display geometry without a display: the area, the four modes, conversions both ways,
// zoom and scroll arithmetic, the layer hit test and the wheel steps.
#include <gtest/gtest.h>

#include "imaging/display_geometry.h"

namespace q47::disp {
namespace {

DispInput input(int cw, int ch, TVIkDispMode mode, int w, int h) {
    DispInput in;
    in.clientWidth = cw;
    in.clientHeight = ch;
    in.mode = mode;
    in.imageWidth = w;
    in.imageHeight = h;
    return in;
}

// ---- the area

TEST(DisplayArea, InclusiveClientRectangleRulerBandAndBorderInset) {
    DispInput in = input(300, 200, vikStretch, 10, 10);
    DispGeometry g;
    ComputeArea(in, &g);
    EXPECT_EQ(g.areaLeft, 0);
    EXPECT_EQ(g.areaRight, 299);
    EXPECT_EQ(g.areaWidth(), 300);
    in.rulers = true;
    ComputeArea(in, &g);
    EXPECT_EQ(g.areaLeft, kRulerBand);
    EXPECT_EQ(g.areaTop, kRulerBand);
    EXPECT_EQ(g.areaWidth(), 300 - kRulerBand);
    in.rulers = false;
    in.border = true;
    ComputeArea(in, &g);  // flat: one pixel on every side
    EXPECT_EQ(g.areaLeft, 1);
    EXPECT_EQ(g.areaWidth(), 298);
    EXPECT_EQ(g.areaHeight(), 198);
    in.appearance = vikLowered;
    ComputeArea(in, &g);
    EXPECT_EQ(g.areaLeft, 2);
    EXPECT_EQ(g.areaBottom, 197);
    EXPECT_EQ(g.areaWidth(), 296);
}

TEST(DisplayArea, UnderTwoPixelsOrNoImageOrClearDrawsNothing) {
    EXPECT_FALSE(ComputeGeometry(input(1, 100, vikStretch, 10, 10)).drawn);
    EXPECT_FALSE(ComputeGeometry(input(100, 1, vikScale, 10, 10)).drawn);
    DispInput bordered = input(4, 100, vikStretch, 10, 10);
    bordered.border = true;
    bordered.appearance = vikRaised;  // 4 - 2 * 2 = 0 pixels left
    EXPECT_FALSE(ComputeGeometry(bordered).drawn);
    EXPECT_TRUE(ComputeGeometry(input(2, 2, vikStretch, 10, 10)).drawn);
    EXPECT_FALSE(ComputeGeometry(input(100, 100, vikStretch, 0, 0)).drawn);
    EXPECT_FALSE(ComputeGeometry(input(100, 100, vikClear, 10, 10)).drawn);
}

// ---- modes

TEST(DisplayModes, ScaleShowsASmallerImageAtOneToOneCentred) {
    const DispGeometry g = ComputeGeometry(input(300, 200, vikScale, 101, 50));
    ASSERT_TRUE(g.drawn);
    EXPECT_EQ(g.drawnWidth, 101);
    EXPECT_EQ(g.drawnHeight, 50);
    EXPECT_DOUBLE_EQ(g.ScaleWidth(), 1.0);
    EXPECT_DOUBLE_EQ(g.ScaleHeight(), 1.0);
    EXPECT_EQ(g.OriginX, (300 - 101) / 2);  // halved toward zero: 99
    EXPECT_EQ(g.OriginY, 75);
    EXPECT_EQ(g.ALeft, 0);
    EXPECT_EQ(g.ARight, 100);
    EXPECT_EQ(g.ABottom, 49);
}

TEST(DisplayModes, ScaleReducesKeepingTheAspect) {
    const DispGeometry g = ComputeGeometry(input(900, 600, vikScale, 2000, 1000));
    EXPECT_EQ(g.drawnWidth, 900);
    EXPECT_EQ(g.drawnHeight, 450);
    EXPECT_EQ(g.OriginX, 0);
    EXPECT_EQ(g.OriginY, 75);
    EXPECT_DOUBLE_EQ(g.ScaleWidth(), 0.45);
    EXPECT_DOUBLE_EQ(g.ScaleHeight(), 0.45);
}

TEST(DisplayModes, StretchFillsTheAreaWithAndWithoutBorder) {
    DispInput in = input(900, 600, vikStretch, 1000, 500);
    DispGeometry g = ComputeGeometry(in);
    EXPECT_DOUBLE_EQ(g.ScaleWidth(), 0.9);
    EXPECT_DOUBLE_EQ(g.ScaleHeight(), 1.2);
    EXPECT_EQ(g.OriginX, 0);
    EXPECT_EQ(g.drawnWidth, 900);
    EXPECT_EQ(g.drawnHeight, 600);

    in.clientWidth = 902;
    in.clientHeight = 602;
    in.border = true;
    g = ComputeGeometry(in);
    EXPECT_DOUBLE_EQ(g.ScaleWidth(), 0.9);
    EXPECT_DOUBLE_EQ(g.ScaleHeight(), 1.2);
    EXPECT_EQ(g.OriginX, 1);
    EXPECT_EQ(g.OriginY, 1);
    EXPECT_EQ(g.ARight, 999);
    EXPECT_EQ(g.ABottom, 499);
}

TEST(DisplayModes, ActualSizeStartsAtTheOriginAndClampsIt) {
    DispInput in = input(200, 100, vikActualSize, 1000, 500);
    in.startX = 300;
    in.startY = 40;
    DispGeometry g = ComputeGeometry(in);
    EXPECT_EQ(g.ALeft, 300);
    EXPECT_EQ(g.ATop, 40);
    EXPECT_EQ(g.ARight, 499);
    EXPECT_EQ(g.ABottom, 139);
    EXPECT_EQ(g.drawnWidth, 200);
    EXPECT_EQ(g.OriginX, 0);

    in.startX = 950;  // the view may not pass the last pixel
    in.startY = -20;  // nor start before the first
    g = ComputeGeometry(in);
    EXPECT_EQ(g.ALeft, 1000 - 200);
    EXPECT_EQ(g.ARight, 999);
    EXPECT_EQ(g.ATop, 0);
}

TEST(DisplayModes, ActualSizeCentresOnDispCenter) {
    DispInput in = input(201, 101, vikActualSize, 1000, 500);
    in.dispScale = 2.0;
    in.centerX = 400;
    in.centerY = 250;
    const DispGeometry g = ComputeGeometry(in);
    // origin = centre - trunc(area extent * 0.5 / scale + 0.5), extent = right - left
    EXPECT_EQ(g.ALeft, 400 - static_cast<int>(200 * 0.5 / 2.0 + 0.5));
    EXPECT_EQ(g.ATop, 250 - static_cast<int>(100 * 0.5 / 2.0 + 0.5));
    EXPECT_EQ(g.visibleWidth, 100);  // trunc(201 / 2)
    EXPECT_DOUBLE_EQ(g.ScaleWidth(), 2.0);
    EXPECT_EQ(g.clientToImageX(g.OriginX + 1), g.ALeft);  // one image pixel = two screen pixels

    in.centerX = 990;  // near the edge: clamped like any origin
    EXPECT_EQ(ComputeGeometry(in).ALeft, 1000 - 100);
}

TEST(DisplayModes, ActualSizeCentresASmallImageAndKeepsAtLeastOnePixel) {
    DispInput in = input(300, 200, vikActualSize, 100, 40);
    in.dispScale = 0.5;
    in.startX = 30;
    DispGeometry g = ComputeGeometry(in);
    EXPECT_EQ(g.drawnWidth, 50);
    EXPECT_EQ(g.drawnHeight, 20);
    EXPECT_EQ(g.OriginX, (300 - 50) / 2);
    EXPECT_EQ(g.OriginY, (200 - 20) / 2);
    EXPECT_EQ(g.ALeft, 0);

    in.dispScale = 0.001;
    g = ComputeGeometry(in);
    EXPECT_EQ(g.drawnWidth, 1);
    EXPECT_EQ(g.drawnHeight, 1);
}

TEST(DisplayModes, ScrollBarsShowOnlyWhenTheImageExceedsTheArea) {
    DispInput in = input(300, 200, vikActualSize, 1000, 150);
    DispGeometry g = ComputeGeometryWithBars(in, true, 16);
    EXPECT_TRUE(g.hbar.visible);
    EXPECT_FALSE(g.vbar.visible);
    EXPECT_EQ(g.areaHeight(), 200 - 16);  // the bar takes its room from the area
    EXPECT_EQ(g.hbar.max, 999);
    EXPECT_EQ(g.hbar.page, 300);

    in.imageHeight = 190;  // fits 200, not 184: the first bar calls for the second
    g = ComputeGeometryWithBars(in, true, 16);
    EXPECT_TRUE(g.hbar.visible);
    EXPECT_TRUE(g.vbar.visible);
    EXPECT_EQ(g.areaWidth(), 300 - 16);

    EXPECT_FALSE(ComputeGeometryWithBars(in, false, 16).hbar.visible);
    in.mode = vikStretch;
    EXPECT_FALSE(ComputeGeometryWithBars(in, true, 16).hbar.visible);
}

// ---- conversions

// Every image pixel shown converts to a client point and back to itself; every client
// point on the image converts to an image pixel whose first client pixel is at or before
// it and which is shown there.
void checkRoundTrips(const DispGeometry& g) {
    ASSERT_TRUE(g.drawn);
    for (int x = g.OriginX; x < g.OriginX + g.drawnWidth; ++x) {
        const int X = g.clientToImageX(x);
        ASSERT_GE(X, g.ALeft);
        ASSERT_LE(X, g.ARight);
        const int back = g.imageToClientX(X);
        ASSERT_LE(back, x);
        ASSERT_EQ(g.clientToImageX(back), X) << "x " << x;
        if (g.ScaleWidth() <= 1.0) {
            ASSERT_EQ(back, x) << "reduced: one image pixel per client pixel";
        }
    }
    for (int X = g.ALeft; X <= g.ARight; ++X) {
        const int c = g.imageToClientX(X);
        if (c >= g.OriginX + g.drawnWidth) continue;
        if (g.ScaleWidth() >= 1.0) {
            ASSERT_EQ(g.clientToImageX(c), X) << "X " << X;
        }
    }
    for (int y = g.OriginY; y < g.OriginY + g.drawnHeight; ++y) {
        const int Y = g.clientToImageY(y);
        ASSERT_EQ(g.clientToImageY(g.imageToClientY(Y)), Y);
    }
}

TEST(DisplayConversions, RoundTripInEveryMode) {
    checkRoundTrips(ComputeGeometry(input(900, 600, vikStretch, 1000, 500)));
    checkRoundTrips(ComputeGeometry(input(900, 600, vikScale, 2048, 1000)));
    checkRoundTrips(ComputeGeometry(input(900, 600, vikScale, 333, 77)));
    checkRoundTrips(ComputeGeometry(input(97, 61, vikStretch, 13, 7)));
    for (double s : {0.3, 1.0, 1.7, 3.0}) {
        DispInput in = input(250, 180, vikActualSize, 401, 301);
        in.dispScale = s;
        in.startX = 37;
        in.startY = 11;
        SCOPED_TRACE(s);
        checkRoundTrips(ComputeGeometry(in));
    }
}

TEST(DisplayConversions, EnlargedImagePixelsStartWhereTheirFirstScreenPixelIs) {
    // 10 image pixels on 12 screen pixels: pixel 1 covers screen 1.2..2.4, first whole
    // screen pixel 2 (a truncated 1 would show pixel 0 there).
    const DispGeometry g = ComputeGeometry(input(12, 12, vikStretch, 10, 10));
    EXPECT_EQ(g.imageToClientX(1), 2);
    EXPECT_EQ(g.clientToImageX(1), 0);
    EXPECT_EQ(g.clientToImageX(2), 1);
}

TEST(DisplayConversions, ContainsOnlyTheDrawnRectangle) {
    const DispGeometry g = ComputeGeometry(input(300, 200, vikScale, 100, 50));
    EXPECT_TRUE(g.contains(g.OriginX, g.OriginY));
    EXPECT_TRUE(g.contains(g.OriginX + 99, g.OriginY + 49));
    EXPECT_FALSE(g.contains(g.OriginX - 1, g.OriginY));
    EXPECT_FALSE(g.contains(g.OriginX + 100, g.OriginY));
    EXPECT_FALSE(g.contains(g.OriginX, g.OriginY + 50));
    EXPECT_FALSE(DispGeometry{}.contains(0, 0));
}

// ---- zoom, scroll, hit test, wheel

TEST(DisplayZoom, RefusesRectanglesOutsideTheImageOrEmpty) {
    EXPECT_FALSE(ComputeZoom(1000, 500, 900, 600, 0, 0, 1000, 100));  // right = width
    EXPECT_FALSE(ComputeZoom(1000, 500, 900, 600, 0, 0, 100, 500));   // bottom = height
    EXPECT_FALSE(ComputeZoom(1000, 500, 900, 600, -1, 0, 100, 100));
    EXPECT_FALSE(ComputeZoom(1000, 500, 900, 600, 0, -1, 100, 100));
    EXPECT_FALSE(ComputeZoom(1000, 500, 900, 600, 100, 0, 100, 100));  // empty
    EXPECT_FALSE(ComputeZoom(1000, 500, 900, 600, 0, 50, 100, 40));
    const auto z = ComputeZoom(1000, 500, 900, 600, 100, 100, 399, 199);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->centerX, 250);  // trunc(249.5 + 0.5)
    EXPECT_EQ(z->centerY, 150);
    EXPECT_DOUBLE_EQ(z->scale, std::min(600.0 / 99, 900.0 / 299));
}

TEST(DisplayScroll, DirectionsMoveByTheirStep) {
    int x = 100, y = 100;
    ScrollOrigin(vikScrollUp, 7, 5, &x, &y);
    EXPECT_EQ(y, 95);
    ScrollOrigin(vikScrollRight, 7, 5, &x, &y);
    EXPECT_EQ(x, 107);
    ScrollOrigin(vikScrollDownLeft, 7, 5, &x, &y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 100);
    ScrollOrigin(vikScrollUpRight, 7, 5, &x, &y);
    EXPECT_EQ(x, 107);
    EXPECT_EQ(y, 95);
}

TEST(DisplayScroll, BarRequests) {
    EXPECT_EQ(ScrollBarOrigin(scLineUp, 50, 10, 200, 999, 0), 40);
    EXPECT_EQ(ScrollBarOrigin(scLineDown, 50, 10, 200, 999, 0), 60);
    EXPECT_EQ(ScrollBarOrigin(scPageDown, 50, 10, 200, 999, 0), 250);
    EXPECT_EQ(ScrollBarOrigin(scPageUp, 250, 10, 200, 999, 0), 50);
    EXPECT_EQ(ScrollBarOrigin(scTrack, 50, 10, 200, 999, 321), 321);
    EXPECT_EQ(ScrollBarOrigin(scTop, 50, 10, 200, 999, 0), 0);
    EXPECT_EQ(ScrollBarOrigin(scBottom, 50, 10, 200, 999, 0), 999);
    EXPECT_EQ(ScrollBarOrigin(scEndScroll, 50, 10, 200, 999, 7), 50);
}

TEST(DisplayHitTest, TopmostActiveLayerWithEdgesIncluded) {
    LayerBox boxes[10] = {};
    boxes[0] = {true, 0, 0, 100, 100};
    boxes[2] = {true, 50, 50, 14, 14};
    boxes[7] = {false, 0, 0, 1000, 1000};  // hidden or empty: never hit
    auto hit = HitTestLayers(boxes, 10, 60, 55);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->index, 2);
    EXPECT_EQ(hit->x, 10);
    EXPECT_EQ(hit->y, 5);
    hit = HitTestLayers(boxes, 10, 64, 64);  // start + size counts as inside
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->index, 2);
    hit = HitTestLayers(boxes, 10, 65, 64);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->index, 0);
    EXPECT_FALSE(HitTestLayers(boxes, 10, 101, 5));
}

TEST(DisplayWheel, AccumulatesToWholeStepsOfTheWheelLines) {
    WheelAccumulator w;
    EXPECT_EQ(w.feed(120, 3), 3);  // one notch, three lines: three steps of 40
    EXPECT_EQ(w.feed(30, 3), 0);
    EXPECT_EQ(w.pending(), 30);
    EXPECT_EQ(w.feed(30, 3), 1);
    EXPECT_EQ(w.pending(), 20);
    EXPECT_EQ(w.feed(-140, 3), -3);
    EXPECT_EQ(w.pending(), 0);
    EXPECT_EQ(w.feed(-120, 1), -1);
    WheelAccumulator off;
    EXPECT_EQ(off.feed(1200, 0), 0);  // wheel lines 0: no wheel handling
    EXPECT_EQ(off.pending(), 0);
}

}  // namespace
}  // namespace q47::disp

// Marker rings: size, placement, colours and the drawn ring.
#include <gtest/gtest.h>

#include "capture/marker_geometry.h"

using namespace q47::capture;

TEST(MarkerLayoutRule, On1024By768TheRingsAre28AcrossAnd17BelowTheTop) {
    const MarkerLayout m = MarkerLayoutFor(1280, 0, 1024, 768);
    EXPECT_EQ(m.size, 28);
    EXPECT_EQ(m.ringWidth, 5);
    EXPECT_EQ(m.edgeOffset, 17);
    EXPECT_EQ(m.windows[0], (Point{1280, 17}));
    EXPECT_EQ(m.windows[1], (Point{1280 + 1024 - 28, 17}));
    EXPECT_EQ(m.windows[2], (Point{1280 + 1024 - 28, 768 - 28 - 17}));
    EXPECT_EQ(m.windows[3], (Point{1280, 768 - 28 - 17}));
}

TEST(MarkerLayoutRule, TheSizeFollowsTheMonitorsWidth) {
    const MarkerLayout m = MarkerLayoutFor(0, 100, 1920, 1080);
    EXPECT_EQ(m.size, 52);       // 1920 * 0.027 = 51.84
    EXPECT_EQ(m.ringWidth, 9);   // 8.64
    EXPECT_EQ(m.edgeOffset, 24);  // 23.76
    EXPECT_EQ(m.windows[0].y, 124);
}

TEST(MarkerColours, BlackRingsGetAWhiteOutlineAllOthersABlackOne) {
    EXPECT_EQ(MarkerColourFor(0), kMarkerWhite);
    EXPECT_EQ(MarkerColourFor(1), kMarkerRed);
    EXPECT_EQ(MarkerColourFor(2), kMarkerGreen);
    EXPECT_EQ(MarkerColourFor(3), kMarkerBlue);
    EXPECT_EQ(MarkerColourFor(4), kMarkerBlack);
    EXPECT_EQ(MarkerColourFor(9), kMarkerWhite);
    for (int mark = 0; mark <= 3; ++mark) EXPECT_EQ(MarkerOutlineFor(MarkerColourFor(mark)), kMarkerBlack) << mark;
    EXPECT_EQ(MarkerOutlineFor(MarkerColourFor(4)), kMarkerWhite);
}

TEST(MarkerMonitor, ASelectionBeyondTheMonitorsFallsBackToTheFirst) {
    EXPECT_EQ(ResolveMonitor(2, 2).index, 0);
    EXPECT_TRUE(ResolveMonitor(2, 2).reset);
    EXPECT_EQ(ResolveMonitor(1, 2).index, 1);
    EXPECT_FALSE(ResolveMonitor(1, 2).reset);
    EXPECT_TRUE(ResolveMonitor(-1, 2).reset);
}

TEST(MarkerRingDrawing, TheRingHasItsColourAnOutlineAndSeeThroughInsideAndCorners) {
    for (int mark = 0; mark <= 4; ++mark) {
        const uint32_t colour = MarkerColourFor(mark), outline = MarkerOutlineFor(colour);
        const RgbImage ring = DrawMarkerRing(28, 5, colour);
        ASSERT_EQ(ring.width, 28);
        auto at = [&](int x, int y) {
            const uint8_t* p = ring.row(y) + 3 * x;
            return ColourOf(p[2], p[1], p[0]);
        };
        EXPECT_EQ(at(0, 0), kMarkerYellow);
        EXPECT_EQ(at(14, 14), kMarkerYellow) << "the hole";
        EXPECT_EQ(at(14, 0), outline) << "outer edge, mark " << mark;
        EXPECT_EQ(at(14, 2), colour) << "ring body, mark " << mark;
        EXPECT_EQ(at(14, 5), outline) << "inner edge, mark " << mark;
        EXPECT_EQ(at(14, 27), outline);
        const auto shape = MarkerRingShape(ring);
        EXPECT_EQ(shape[0], 0);
        EXPECT_EQ(shape[14 * 28 + 14], 0);
        EXPECT_EQ(shape[2 * 28 + 14], 1);
    }
}

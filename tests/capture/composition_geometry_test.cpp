// Where the screen picture goes, and what moving its handles may change.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "capture/composition_geometry.h"

using namespace q47::capture;

TEST(SheetSizing, SheetsFrom1750PixelsAreLargeAndStartAtOneToTwo) {
    EXPECT_FALSE(SheetSizingFor(1748).largeSheet);
    EXPECT_EQ(SheetSizingFor(1748).aspect, SheetAspect::TwoThirds);
    EXPECT_FALSE(SheetSizingFor(1749).largeSheet);
    EXPECT_TRUE(SheetSizingFor(1750).largeSheet);
    EXPECT_EQ(SheetSizingFor(1750).aspect, SheetAspect::Half);
}

TEST(SheetSizing, TheLargestDisplayFitsTheScreenInTheSheetsAspect) {
    for (auto aspect : {SheetAspect::TwoThirds, SheetAspect::Half}) {
        for (auto [w, h] : {std::pair{1920, 1080}, {1024, 768}, {1280, 1024}, {800, 600}}) {
            const Size d = LargestDisplay(w, h, aspect);
            EXPECT_LE(d.height, h - 90) << w << "x" << h;
            EXPECT_LT(d.width, w - 20);
            EXPECT_NEAR(d.height, d.width * AspectRatio(aspect), 0.5);
            // One pixel wider would no longer fit (or reach the width limit).
            const bool grow = d.width + 1 < w - 20 && std::lround((d.width + 1) * AspectRatio(aspect)) <= h - 90;
            EXPECT_FALSE(grow) << w << "x" << h;
        }
    }
}

TEST(CaptureLayerPlacement, WithoutMarksThePictureStandsAtTheDefaultOffsetInItsOwnAspect) {
    const int32_t none[8] = {};
    const Placement p = PlaceCaptureLayer(none, 1000, 1024, 768, Point{120, 60});
    EXPECT_FALSE(p.detected);
    EXPECT_EQ(p.layerStart, (Point{120, 60}));
    const int32_t b = 900, c = 1200;  // 0.9 of the sheet, then 4:3
    EXPECT_EQ(p.corners, (Quad{{120, 60}, {120 + c, 60}, {120 + c, 60 + b}, {120, 60 + b}}));
}

TEST(CaptureLayerPlacement, PlausibleMarksAreUsedAndTheLayerStartsAtTheirOuterEdges) {
    const int32_t found[8] = {105, 1100, 1110, 100, 80, 90, 840, 830};
    const Placement p = PlaceCaptureLayer(found, 1000, 1024, 768, Point{1, 1});
    EXPECT_TRUE(p.detected);
    EXPECT_EQ(p.layerStart, (Point{100, 80}));
    EXPECT_EQ(p.corners, QuadFromMarkCorners(found));
}

TEST(CaptureLayerPlacement, ImplausibleMarksFallBackToTheDefault) {
    // The right edge leans by more than a fifth of the width.
    const int32_t leaning[8] = {100, 1100, 1400, 100, 80, 80, 830, 830};
    EXPECT_FALSE(PlaceCaptureLayer(leaning, 1000, 1024, 768, Point{}).detected);
    // Top-left at x 0 and y 0 counts as "not detected" whatever else is there.
    const int32_t origin[8] = {0, 1000, 1000, 0, 0, 0, 750, 750};
    EXPECT_FALSE(PlaceCaptureLayer(origin, 1000, 1024, 768, Point{}).detected);
}

TEST(PlausibilityTest, EachDifferenceIsMeasuredAgainstItsFifth) {
    const Quad square{{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    EXPECT_TRUE(IsPlausible(square, 100, 100));
    Quad q = square;
    q.topRight.y = 20;  // exactly a fifth: allowed
    EXPECT_TRUE(IsPlausible(q, 100, 100));
    q.topRight.y = 21;
    EXPECT_FALSE(IsPlausible(q, 100, 100));
    q = square;
    q.bottomLeft.x = 21;  // the left edge's lean counts against the height
    EXPECT_FALSE(IsPlausible(q, 1000, 100));
    EXPECT_TRUE(IsPlausible(q, 100, 1000));
    q = square;
    q.bottomRight.x = 121;  // the right edge's lean counts against the width
    EXPECT_FALSE(IsPlausible(q, 100, 1000));
    EXPECT_TRUE(IsPlausible(q, 1000, 100));
}

TEST(Handles, CornerHandlesSitInsideTheOutlineAndMiddlesAreCentred) {
    const Quad q{{100, 100}, {500, 100}, {500, 400}, {100, 400}};
    const Handles hs = HandlesForQuad(q, 14, 14);
    EXPECT_EQ(hs[HTopLeft], (Point{100, 100}));
    EXPECT_EQ(hs[HTopRight], (Point{486, 100}));
    EXPECT_EQ(hs[HBottomRight], (Point{486, 386}));
    EXPECT_EQ(hs[HBottomLeft], (Point{100, 386}));
    EXPECT_EQ(hs[HTop].x + 7, 300) << "the top middle handle's centre is the edge's centre";
    EXPECT_EQ(hs[HLeft].y + 7, 250);
    EXPECT_EQ(QuadFromHandles(hs, 14, 14), q);
}

TEST(Handles, RecentringTruncatesHalvesTowardZero) {
    // Top edge from (10, 20) to (31, 25) with 14-pixel handles: 10 + (31 + 14 - 10) / 2 - 7.
    EXPECT_EQ(CentreOnHorizontalEdge({10, 20}, {31, 25}, 14), (Point{10 + 17 - 7, 20 + 2}));
    // A right-to-left difference truncates toward zero, not down.
    EXPECT_EQ(CentreOnHorizontalEdge({10, 25}, {31, 20}, 14), (Point{20, 25 - 2}));
    EXPECT_EQ(CentreOnVerticalEdge({10, 20}, {15, 51}, 14), (Point{12, 20 + 22 - 7}));
}

TEST(CornerMoves, AMoveBeyondAFifthOfTheOutlineIsIgnored) {
    const Quad q{{100, 100}, {600, 100}, {600, 500}, {100, 500}};
    Handles hs = HandlesForQuad(q, 14, 14);
    const Handles before = hs;
    // Width 500, height 400: 100 across and 80 down are the most a corner may move.
    EXPECT_FALSE(MoveCornerHandle(hs, HTopLeft, {-1, 100}, 14, 14, 500, 400));
    EXPECT_FALSE(MoveCornerHandle(hs, HTopLeft, {100, 181}, 14, 14, 500, 400));
    EXPECT_EQ(hs, before);
    ASSERT_TRUE(MoveCornerHandle(hs, HTopLeft, {150, 150}, 14, 14, 5000, 4000));
    EXPECT_EQ(QuadFromHandles(hs, 14, 14).topLeft, (Point{150, 150}));
    EXPECT_EQ(hs[HTop], CentreOnHorizontalEdge(hs[HTopLeft], hs[HTopRight], 14));
    EXPECT_EQ(hs[HLeft], CentreOnVerticalEdge(hs[HTopLeft], hs[HBottomLeft], 14));
    EXPECT_EQ(hs[HRight], before[HRight]) << "the far edges' middles stay";
}

TEST(CornerMoves, AMoveThatFailsThePlausibilityTestIsDropped) {
    const Quad q{{100, 100}, {600, 100}, {600, 500}, {100, 500}};
    Handles hs = HandlesForQuad(q, 14, 14);
    const Handles before = hs;
    // 70 down is within a fifth of the outline's 400 rows, but a top edge slanting by 70
    // is implausible for a layer of 300 rows (limit 60), plausible for one of 500.
    EXPECT_FALSE(MoveCornerHandle(hs, HTopRight, {600, 170}, 14, 14, 500, 300));
    EXPECT_EQ(hs, before);
    EXPECT_TRUE(MoveCornerHandle(hs, HTopRight, {600, 170}, 14, 14, 500, 500));
    EXPECT_EQ(QuadFromHandles(hs, 14, 14).topRight, (Point{600, 170}));
    EXPECT_FALSE(MoveCornerHandle(hs, HTopRight, {600, 170}, 14, 14, 500, 500)) << "no change, no work";
}

TEST(EdgeMoves, TheNewSizeMustStayWithinAQuarterOfTheComposedOne) {
    const Quad q{{100, 100}, {500, 100}, {500, 400}, {100, 400}};  // 400 by 300
    for (auto [x, ok] : {std::pair{0, true}, {-1, false}, {200, true}, {201, false}}) {
        Handles hs = HandlesForQuad(q, 14, 14);
        // Left edge to x: width 500 - x; limits 300 and 500 (0.75 and 1.25 of 400).
        EXPECT_EQ(MoveEdgeHandle(hs, HLeft, {x, 250}, 14, 14, 1.0, 400, 300), ok) << x;
        if (ok) {
            EXPECT_EQ(QuadFromHandles(hs, 14, 14).topLeft.x, x);
            EXPECT_EQ(QuadFromHandles(hs, 14, 14).bottomLeft.x, x);
            EXPECT_EQ(hs[HTop], CentreOnHorizontalEdge(hs[HTopLeft], hs[HTopRight], 14));
        }
    }
    Handles hs = HandlesForQuad(q, 14, 14);
    // Display pixels times the scale: 150 rows shown at scale 2 are 300 picture rows.
    EXPECT_TRUE(MoveEdgeHandle(hs, HBottom, {300, 236}, 14, 14, 2.0, 400, 300));
    EXPECT_FALSE(MoveEdgeHandle(hs, HBottom, {300, 236}, 14, 14, 2.0, 400, 300)) << "unchanged outline";
}

TEST(EdgeMoves, TheLayerStartFollowsOnlyTheLeftAndTopSides) {
    Handles hs = HandlesForQuad(Quad{{100, 100}, {500, 90}, {500, 400}, {80, 400}}, 14, 14);
    const Point start{7, 9};
    EXPECT_EQ(LayerStartAfterMove(hs, HTopLeft, start), (Point{80, 90}));
    EXPECT_EQ(LayerStartAfterMove(hs, HBottomLeft, start), (Point{80, 9}));
    EXPECT_EQ(LayerStartAfterMove(hs, HTopRight, start), (Point{7, 90}));
    EXPECT_EQ(LayerStartAfterMove(hs, HTop, start), (Point{7, 100}));
    EXPECT_EQ(LayerStartAfterMove(hs, HRight, start), start);
    EXPECT_EQ(LayerStartAfterMove(hs, HBottomRight, start), start);
}

TEST(VisibleArea, TheLayerIsHeldInsideTheVisibleArea) {
    const Size visible{1000, 700}, layer{400, 300};
    EXPECT_EQ(KeepInsideVisible({-5, -9}, layer, visible), (Point{0, 0}));
    EXPECT_EQ(KeepInsideVisible({700, 500}, layer, visible), (Point{602, 402}));
    EXPECT_EQ(KeepInsideVisible({600, 400}, layer, visible), (Point{600, 400}));
}

TEST(CaptureSmoothing, TheMatrixComesFromTheSettingsForTheScreensSize) {
    AppSettings s;
    for (int i = 0; i < 9; ++i) s.Filter[i] = 10 + i, s.FilterL[i] = 20 + i;
    s.FilterDiv = 5;
    s.FilterLDiv = 7;
    const CaptureFilter big = CaptureFilterFor(s, 1024, 768);
    EXPECT_EQ(big.divisor, 5);
    int nonZero = 0;
    for (int32_t v : big.matrix) nonZero += v != 0;
    EXPECT_EQ(nonZero, 9);
    EXPECT_EQ(big.matrix[3 * 9 + 3], 10);
    EXPECT_EQ(big.matrix[3 * 9 + 5], 12);
    EXPECT_EQ(big.matrix[5 * 9 + 3], 16);
    EXPECT_EQ(big.matrix[4 * 9 + 4], 14);
    for (auto [w, h] : {std::pair{1023, 768}, {1024, 767}}) {
        const CaptureFilter small = CaptureFilterFor(s, w, h);
        EXPECT_EQ(small.divisor, 7);
        EXPECT_EQ(small.matrix[5 * 9 + 5], 28);
    }
}

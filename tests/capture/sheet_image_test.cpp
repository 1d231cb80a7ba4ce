// The sheet and screen picture work on engine images: preparation, whitening, detection
// on a handle, the warp and the smoothing, through the real engine and components.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "capture/warp.h"
#include "capture/warp_image.h"
#include "engine_images.h"
#include "imaging/Ikcommon.h"
#include "imaging/Ikeffect.h"
#include "sheet_drawing.h"

using namespace q47::capture;
using namespace q47::capture::testing;

namespace {

// Keeps the engine loaded and checks that a test leaves no image behind.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Ikdllprocs::IKGetObjectCount, nullptr) << "engine not found";
        objects_ = Ikdllprocs::IKGetObjectCount();
    }
    void TearDown() override { EXPECT_EQ(Ikdllprocs::IKGetObjectCount(), objects_) << "an image was leaked"; }
    TVIkCommon engine_;
    uint32_t objects_ = 0;
};

IKHANDLE greySheet(int w, int h, uint8_t level) {
    return Ikdllprocs::IKCreateImage(w, h, 8, level, level, level, 0, 0, 0, 0);
}

bool sameColour(const RgbImage& img, int x, int y, Rgb c) {
    const Rgb p = pixel(img, x, y);
    return p.r == c.r && p.g == c.g && p.b == c.b;
}

// A screen picture with no white in it and a colour of its own in each quadrant.
RgbImage quadrantPicture(int w, int h) {
    RgbImage img(w, h);
    rect(img, 0, 0, w / 2, h / 2, Rgb{200, 20, 20});
    rect(img, w / 2, 0, w - w / 2, h / 2, Rgb{20, 200, 20});
    rect(img, w / 2, h / 2, w - w / 2, h - h / 2, Rgb{20, 20, 200});
    rect(img, 0, h / 2, w / 2, h - h / 2, Rgb{200, 200, 20});
    return img;
}

// Whether (px, py) (pixel centre) lies inside the convex quadrilateral, at least `margin`
// pixels from every side.
bool insideQuad(const Quad& q, double px, double py, double margin) {
    const Point p[4] = {q.topLeft, q.topRight, q.bottomRight, q.bottomLeft};
    for (int i = 0; i < 4; ++i) {
        const Point a = p[i], b = p[(i + 1) % 4];
        const double ex = b.x - a.x, ey = b.y - a.y, len = std::hypot(ex, ey);
        const double cross = (ex * (py - a.y) - ey * (px - a.x)) / len;
        if (cross < margin) return false;
    }
    return true;
}

}  // namespace

// ---- preparation of a scanned sheet ----

using SheetPreparation = EngineTest;

TEST_F(SheetPreparation, AnEightBitScanBecomesA24BitSheetOfHalfTheSize) {
    for (auto [w, h] : {std::pair{40, 30}, {41, 31}}) {
        const IKHANDLE scan = greySheet(w, h, 200);
        const uint32_t before = Ikdllprocs::IKGetObjectCount();
        uint16_t status = 99;
        const IKHANDLE sheet = PrepareScannedSheet(scan, &status);
        ASSERT_NE(sheet, 0u);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Ikdllprocs::IKGetObjectCount(), before) << "the scan is freed, the sheet takes its place";
        EXPECT_EQ(bitsOf(sheet), 24);
        const RgbImage px = exportPicture(sheet);
        EXPECT_EQ(px.width, w / 2);
        EXPECT_EQ(px.height, h / 2);
        EXPECT_TRUE(sameColour(px, 3, 3, Rgb{200, 200, 200}));
        Ikdllprocs::IKFreeMemory(sheet);
    }
}

TEST_F(SheetPreparation, AColourScanIsOnlyHalvedAndABadHandleIsRefused) {
    RgbImage scan(64, 32);
    rect(scan, 0, 0, 32, 32, kRed);
    const IKHANDLE sheet = PrepareScannedSheet(importPicture(scan));
    ASSERT_NE(sheet, 0u);
    const RgbImage px = exportPicture(sheet);
    EXPECT_EQ(px.width, 32);
    EXPECT_TRUE(sameColour(px, 4, 4, kRed));
    EXPECT_TRUE(sameColour(px, 28, 4, Rgb{255, 255, 255}));
    Ikdllprocs::IKFreeMemory(sheet);

    uint16_t status = 0;
    EXPECT_EQ(PrepareScannedSheet(0x7777, &status), 0u);
    EXPECT_EQ(status, IK_ERR_IMAGE);
}

TEST_F(SheetPreparation, TheHalvedWidthDecidesTheAspect) {
    for (auto [scanWidth, large] : {std::pair{3496, false}, {3500, true}}) {
        const IKHANDLE sheet = PrepareScannedSheet(greySheet(scanWidth, 8, 255));
        int32_t w = 0, h = 0;
        ASSERT_TRUE(SheetSize(sheet, &w, &h));
        EXPECT_EQ(SheetSizingFor(w).largeSheet, large) << w;
        EXPECT_EQ(SheetSizingFor(w).aspect, large ? SheetAspect::Half : SheetAspect::TwoThirds);
        Ikdllprocs::IKFreeMemory(sheet);
    }
}

// ---- whitening ----

using SheetWhitening = EngineTest;

TEST_F(SheetWhitening, PixelsWithAllChannelsAbove180TurnWhiteOthersStay) {
    const Rgb cases[][2] = {
        {{181, 200, 250}, {255, 255, 255}}, {{180, 255, 255}, {180, 255, 255}}, {{255, 180, 255}, {255, 180, 255}},
        {{255, 255, 180}, {255, 255, 180}}, {{181, 181, 181}, {255, 255, 255}}, {{10, 20, 30}, {10, 20, 30}}};
    RgbImage sheet(7, 3);
    for (int i = 0; i < 6; ++i) put(sheet, i, 1, cases[i][0]);
    const IKHANDLE h = importPicture(sheet);
    ASSERT_TRUE(WhitenSheet(h));
    const RgbImage out = exportPicture(h);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(sameColour(out, i, 1, cases[i][1])) << "case " << i;
    Ikdllprocs::IKFreeMemory(h);
}

TEST_F(SheetWhitening, OnlyTwentyFourBitImagesAreWhitened) {
    const IKHANDLE grey = greySheet(4, 4, 200);
    uint16_t status = 0;
    EXPECT_FALSE(WhitenSheet(grey, &status));
    EXPECT_EQ(status, IK_ERR_BIT_DEPTH);
    EXPECT_FALSE(WhitenSheet(0, &status));
    EXPECT_EQ(status, IK_ERR_IMAGE);
    Ikdllprocs::IKFreeMemory(grey);
}

// ---- detection on an engine image ----

using HandleDetection = EngineTest;

TEST_F(HandleDetection, ASheetHandleGivesTheSameCornersAsItsPixels) {
    RgbImage sheet(1400, 1100);
    for (auto [x, y] : {std::pair{100, 80}, {1100, 80}, {1100, 830}, {100, 830}}) rect(sheet, x, y, 30, 30, kBlack);
    MarkDetection fromPixels, fromHandle;
    ASSERT_EQ(DetectMarks(sheet.view(), MarkBlack, fromPixels), 0);
    ASSERT_TRUE(fromPixels.found());
    const IKHANDLE h = importPicture(sheet);
    ASSERT_EQ(DetectMarks(h, MarkBlack, fromHandle), 0);
    EXPECT_EQ(std::vector<int32_t>(fromHandle.MarkCorners, fromHandle.MarkCorners + 8),
              std::vector<int32_t>(fromPixels.MarkCorners, fromPixels.MarkCorners + 8));
    EXPECT_EQ(fromHandle.bitCount, 24);

    // The same sheet as 8-bit grey: converted on a copy, black marks still found.
    TVIkEffect effect;
    effect.ImgHandle = h;
    ASSERT_TRUE(effect.SetGray());
    MarkDetection fromGrey;
    ASSERT_EQ(DetectMarks(effect.ResultHandle, MarkBlack, fromGrey), 0);
    EXPECT_TRUE(fromGrey.found());
    EXPECT_EQ(fromGrey.bitCount, bitsOf(effect.ResultHandle));
    Ikdllprocs::IKFreeMemory(effect.ResultHandle);
    Ikdllprocs::IKFreeMemory(h);

    EXPECT_EQ(DetectMarks(IKHANDLE(0), MarkRed, fromGrey), -1);
    EXPECT_FALSE(fromGrey.found());
}

// ---- the warp ----

using ScreenWarp = EngineTest;

TEST_F(ScreenWarp, ARectangleTargetIsAPlainResize) {
    const IKHANDLE screen = importPicture(quadrantPicture(160, 120));
    const Quad rectangle{{50, 40}, {290, 40}, {290, 220}, {50, 220}};
    std::vector<int> progress;
    const IKHANDLE warped = WarpScreenPicture(screen, rectangle, [&](int v) { progress.push_back(v); });
    ASSERT_NE(warped, 0u);
    TVIkEffect effect;
    effect.ImgHandle = screen;
    ASSERT_TRUE(effect.Resize(240, 180, true));
    const RgbImage a = exportPicture(warped), b = exportPicture(effect.ResultHandle);
    EXPECT_EQ(a.width, 240);
    EXPECT_EQ(a.height, 180);
    EXPECT_EQ(a.bytes, b.bytes);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    Ikdllprocs::IKFreeMemory(effect.ResultHandle);
    if (effect.ResultHandle2) Ikdllprocs::IKFreeMemory(effect.ResultHandle2);
    Ikdllprocs::IKFreeMemory(warped);
    Ikdllprocs::IKFreeMemory(screen);
}

TEST_F(ScreenWarp, TheForwardMappingLeavesNoHoleInsideASkewedQuadrilateral) {
    const RgbImage screen = quadrantPicture(160, 120);
    for (const Quad& q : {Quad{{0, 10}, {300, 0}, {320, 230}, {12, 240}}, Quad{{30, 0}, {320, 25}, {290, 240}, {0, 200}},
                          Quad{{0, 0}, {320, 40}, {320, 200}, {0, 240}}}) {
        RgbImage target(320, 240);
        int steps = 0;
        WarpForward(screen.view(), q, target.plane(), [&] { ++steps; });
        EXPECT_EQ(steps, 120 / (120 / 10 + 1));
        // The last source column and row land (W - 1) / W of the way across and down, up
        // to two target pixels short of the right and bottom sides (one picture pixel
        // once the target is resized back): the check keeps two pixels from every side.
        int holes = 0;
        for (int y = 0; y < target.height; ++y)
            for (int x = 0; x < target.width; ++x)
                if (insideQuad(q, x + 0.5, y + 0.5, 2.0) && sameColour(target, x, y, Rgb{255, 255, 255})) ++holes;
        EXPECT_EQ(holes, 0);
        // Each corner of the target shows its corner of the picture.
        EXPECT_TRUE(sameColour(target, q.topLeft.x + 1, q.topLeft.y + 1, pixel(screen, 0, 0)));
        EXPECT_TRUE(sameColour(target, q.topRight.x - 3, q.topRight.y + 1, pixel(screen, 159, 0)));
        EXPECT_TRUE(sameColour(target, q.bottomRight.x - 3, q.bottomRight.y - 3, pixel(screen, 159, 119)));
        EXPECT_TRUE(sameColour(target, q.bottomLeft.x + 1, q.bottomLeft.y - 3, pixel(screen, 0, 119)));
    }
}

TEST_F(ScreenWarp, ASkewedTargetIsFilledToItsEdgesAndItsCornersKeepTheirColours) {
    const RgbImage picture = quadrantPicture(160, 120);
    const IKHANDLE screen = importPicture(picture);
    const Quad q{{110, 60}, {400, 40}, {420, 290}, {100, 270}};
    std::vector<int> progress;
    const IKHANDLE warped = WarpScreenPicture(screen, q, [&](int v) { progress.push_back(v); });
    ASSERT_NE(warped, 0u);
    const Box box = BoundingBox(q);
    const RgbImage out = exportPicture(warped);
    ASSERT_EQ(out.width, box.width);
    ASSERT_EQ(out.height, box.height);
    const Quad rel = RelativeTo(q, box);
    int holes = 0;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            if (insideQuad(rel, x + 0.5, y + 0.5, 2.0) && sameColour(out, x, y, Rgb{255, 255, 255})) ++holes;
    EXPECT_EQ(holes, 0);
    EXPECT_TRUE(sameColour(out, rel.topLeft.x + 3, rel.topLeft.y + 3, pixel(picture, 0, 0)));
    EXPECT_TRUE(sameColour(out, rel.topRight.x - 4, rel.topRight.y + 3, pixel(picture, 159, 0)));
    EXPECT_TRUE(sameColour(out, rel.bottomRight.x - 4, rel.bottomRight.y - 4, pixel(picture, 159, 119)));
    EXPECT_TRUE(sameColour(out, rel.bottomLeft.x + 3, rel.bottomLeft.y - 4, pixel(picture, 0, 119)));
    EXPECT_TRUE(sameColour(out, 0, 0, Rgb{255, 255, 255})) << "outside the outline stays white";
    // The bar runs 0, then one step every 120 / 10 + 1 rows.
    ASSERT_EQ(progress.size(), 1u + 120 / 13);
    for (size_t i = 0; i < progress.size(); ++i) EXPECT_EQ(progress[i], int(i));
    Ikdllprocs::IKFreeMemory(warped);
    Ikdllprocs::IKFreeMemory(screen);
}

TEST_F(ScreenWarp, ReWarpingAlwaysStartsFromTheUnalteredPicture) {
    const RgbImage picture = quadrantPicture(120, 90);
    const IKHANDLE screen = importPicture(picture);
    const Quad first{{10, 10}, {200, 0}, {210, 160}, {0, 150}}, second{{0, 0}, {150, 30}, {160, 140}, {20, 120}};
    const IKHANDLE a = WarpScreenPicture(screen, first);
    const IKHANDLE b = WarpScreenPicture(screen, second);
    const IKHANDLE c = WarpScreenPicture(screen, first);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(exportPicture(a).bytes, exportPicture(c).bytes);
    EXPECT_NE(exportPicture(a).bytes.size(), exportPicture(b).bytes.size());
    EXPECT_EQ(exportPicture(screen).bytes, picture.bytes) << "the screen picture itself is never changed";
    for (IKHANDLE h : {a, b, c, screen}) Ikdllprocs::IKFreeMemory(h);
}

TEST_F(ScreenWarp, AnEmptyOutlineOrAMissingPictureFails) {
    const IKHANDLE screen = importPicture(quadrantPicture(20, 10));
    uint16_t status = 0;
    EXPECT_EQ(WarpScreenPicture(screen, Quad{{5, 5}, {5, 5}, {5, 50}, {5, 50}}, {}, &status), 0u);
    EXPECT_EQ(status, IK_ERR_ARGUMENT);
    EXPECT_EQ(WarpScreenPicture(0, Quad{{0, 0}, {50, 5}, {50, 50}, {0, 45}}, {}, &status), 0u);
    EXPECT_EQ(status, IK_ERR_IMAGE);
    Ikdllprocs::IKFreeMemory(screen);
}

// ---- smoothing ----

using CaptureLayerSmoothing = EngineTest;

TEST_F(CaptureLayerSmoothing, TheSettingsMatrixSmoothsTheLayer) {
    RgbImage layer(15, 15, 90, 90, 90);
    put(layer, 7, 7, Rgb{180, 180, 180});
    const IKHANDLE h = importPicture(layer);
    AppSettings s;
    const IKHANDLE box = SmoothCaptureLayer(h, CaptureFilterFor(s, 1024, 768));
    ASSERT_NE(box, 0u);
    const RgbImage boxed = exportPicture(box);
    EXPECT_TRUE(sameColour(boxed, 7, 7, Rgb{100, 100, 100})) << "(8 * 90 + 180) / 9";
    EXPECT_TRUE(sameColour(boxed, 6, 8, Rgb{100, 100, 100}));
    EXPECT_TRUE(sameColour(boxed, 5, 7, Rgb{90, 90, 90}));

    // The small-screen matrix: only the centre, divisor 1, leaves the picture as it was.
    for (int i = 0; i < 9; ++i) s.FilterL[i] = i == 4;
    s.FilterLDiv = 1;
    const IKHANDLE same = SmoothCaptureLayer(h, CaptureFilterFor(s, 800, 600));
    ASSERT_NE(same, 0u);
    EXPECT_EQ(exportPicture(same).bytes, layer.bytes);
    for (IKHANDLE x : {h, box, same}) Ikdllprocs::IKFreeMemory(x);
}

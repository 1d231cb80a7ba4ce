// Position detection on sheets drawn by the tests: which marks count, which sets of four
// form the picture's corners, and where the corners end up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "capture/mark_detection.h"
#include "sheet_drawing.h"

using namespace q47::capture;
using namespace q47::capture::testing;

namespace {

// A sheet large enough for the corner rules (800 across, 600 down) with the middle fifth
// (rows 442 to 662 of 1100) clear of marks.
constexpr int kW = 1400, kH = 1100;
constexpr int kSide = 30;

struct Square {
    int x, y;
};

// The corners a set of four solid squares must give: a square's candidate spans from the
// 0-byte left of it to the 0-byte right of it, and from its first to its last row; the
// outer corners are then moved out by 2.2 % of the picture's height and width.
std::vector<int32_t> expectedCorners(Square tl, Square tr, Square br, Square bl) {
    double xtl = tl.x - 1, ytl = tl.y, xtr = tr.x + kSide, ytr = tr.y;
    double xbr = br.x + kSide, ybr = br.y + kSide - 1, xbl = bl.x - 1, ybl = bl.y + kSide - 1;
    auto r = [](double v) { return std::lround(v); };
    xtl = r(xtl - (xbl - xtl) * 0.022);
    ytl = r(ytl - (ybl - ytl) * 0.022);
    xtr = r(xtr - (xbr - xtr) * 0.022);
    ytr = r(ytr - (ybr - ytr) * 0.022);
    xbr = r(xbr + (xbr - xtr) * 0.022);
    ybr = r(ybr + (ybr - ytr) * 0.022);
    xbl = r(xbl + (xbl - xtl) * 0.022);
    ybl = r(ybl + (ybl - ytl) * 0.022);
    return {int32_t(xtl), int32_t(xtr), int32_t(xbr), int32_t(xbl), int32_t(ytl), int32_t(ytr), int32_t(ybr), int32_t(ybl)};
}

std::vector<int32_t> corners(const MarkDetection& d) { return {d.MarkCorners, d.MarkCorners + 8}; }

const std::vector<int32_t> kNone(8, 0);

int usedCandidates(const MarkDetection& d) {
    int n = 0;
    for (const auto& c : d.candidates) n += !c.isFree();
    return n;
}

// Candidates of a sheet that holds only what the test drew.
MarkDetection candidatesOf(const RgbImage& sheet, int colour) {
    MarkDetection d;
    EXPECT_EQ(DetectMarks(sheet.view(), colour, d), 0);
    return d;
}

}  // namespace

// ---- the mask: strict tests against 192 per colour ----

TEST(MarkMask, EachColourTestsEveryChannelStrictlyAgainst192) {
    struct Case {
        Rgb px;
        int colour;
        uint8_t want;
    } cases[] = {
        {{193, 191, 191}, MarkRed, 1},   {{192, 100, 100}, MarkRed, 0},   {{255, 192, 0}, MarkRed, 0},
        {{191, 193, 191}, MarkGreen, 1}, {{100, 192, 100}, MarkGreen, 0}, {{191, 193, 192}, MarkGreen, 0},
        {{191, 191, 193}, MarkBlue, 1},  {{0, 0, 192}, MarkBlue, 0},      {{200, 0, 255}, MarkBlue, 0},
        {{191, 191, 191}, MarkBlack, 1}, {{192, 0, 0}, MarkBlack, 0},     {{0, 0, 0}, MarkBlack, 1},
        {{191, 255, 255}, MarkNone, 1},  {{192, 192, 192}, MarkNone, 0},  {{255, 255, 191}, MarkNone, 1},
    };
    for (const Case& c : cases) {
        RgbImage img(1, 1);
        put(img, 0, 0, c.px);
        uint8_t m = 9;
        mark_steps::BuildMask(img.view(), c.colour, &m);
        EXPECT_EQ(m, c.want) << int(c.px.r) << "," << int(c.px.g) << "," << int(c.px.b) << " colour " << c.colour;
    }
}

TEST(MarkMask, BottomUpRowsAreReadUpright) {
    // A view with a negative stride (a bottom-up bitmap) must give the same mask rows.
    RgbImage img(4, 3);
    put(img, 1, 0, kRed);
    std::vector<uint8_t> flipped(img.bytes.size());
    for (int y = 0; y < 3; ++y) std::copy(img.row(y), img.row(y) + 12, flipped.data() + 12 * (2 - y));
    const RgbView upright{flipped.data() + 24, -12, 4, 3};
    uint8_t m[12];
    mark_steps::BuildMask(upright, MarkRed, m);
    EXPECT_EQ(m[1], 1);
    EXPECT_EQ(m[1 + 8], 0);
}

// ---- gap filling: which gaps close ----

TEST(MarkGapFilling, RowGapsCloseBetweenTwoOnesUpToTheLimit) {
    const int w = 12;
    //                      0  1  2  3  4  5  6  7  8  9 10 11
    const uint8_t row[w] = {0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1};
    uint8_t h[w], v[w];
    mark_steps::FillGaps(row, w, 1, 2, h, v);
    const uint8_t want[w] = {0, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1};
    // Columns 0-1: the gap starts at column 0. 6-8: longer than the limit 2. Column 10:
    // its closing 1 is in the last column, which the row scan does not reach.
    for (int x = 0; x < w; ++x) EXPECT_EQ(h[x], want[x]) << "column " << x;
    for (int x = 0; x < w; ++x) EXPECT_EQ(v[x], row[x]) << "a single row has no column gaps";
}

TEST(MarkGapFilling, ColumnGapsCloseUpToTheLastRowButNotFromTheFirst) {
    const int h = 9;
    //                       0  1  2  3  4  5  6  7  8
    const uint8_t col[h] = {0, 1, 0, 0, 1, 0, 0, 0, 1};
    uint8_t hb[h], vb[h];
    mark_steps::FillGaps(col, 1, h, 3, hb, vb);
    const uint8_t want[h] = {0, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int y = 0; y < h; ++y) EXPECT_EQ(vb[y], want[y]) << "row " << y;
    mark_steps::FillGaps(col, 1, h, 2, hb, vb);
    EXPECT_EQ(vb[5], 0) << "a gap of 3 stays open with limit 2";
    EXPECT_EQ(vb[2], 1);
}

// ---- marks that count, marks that do not ----

TEST(MarkDetectionSets, FourRedDiscsAreFoundAndWrongColoursAreNot) {
    RgbImage sheet(kW, kH);
    const Square at[4] = {{100, 80}, {1100, 80}, {1100, 830}, {100, 830}};
    for (const Square& s : at) disc(sheet, s.x, s.y, 30, kRed);
    MarkDetection d;
    ASSERT_EQ(DetectMarks(sheet.view(), MarkRed, d), 0);
    ASSERT_TRUE(d.found());
    // Each corner lies at the disc's outer edge, moved out by about 2.2 % of 780 rows.
    EXPECT_NEAR(d.MarkCorners[XTopLeft], 99, 2);
    EXPECT_NEAR(d.MarkCorners[XTopRight], 1130, 2);
    EXPECT_NEAR(d.MarkCorners[YTopLeft], 80 - 17, 3);
    EXPECT_NEAR(d.MarkCorners[YBottomRight], 860 + 17, 3);
    EXPECT_EQ(d.MarkCorners[YTopLeft], d.MarkCorners[YTopRight]) << "a true rectangle is squared";

    for (int other : {MarkGreen, MarkBlue, MarkBlack}) {
        MarkDetection none;
        EXPECT_EQ(DetectMarks(sheet.view(), other, none), 0);
        EXPECT_EQ(corners(none), kNone) << "colour " << other;
    }
    RgbImage green(kW, kH);
    for (const Square& s : at) disc(green, s.x, s.y, 30, kGreen);
    EXPECT_EQ(DetectMarks(green.view(), MarkRed, d), 0);
    EXPECT_EQ(corners(d), kNone);
    EXPECT_EQ(DetectMarks(green.view(), MarkGreen, d), 0);
    EXPECT_TRUE(d.found());
}

TEST(MarkDetectionSets, SquaresGiveExactCornersInEveryColour) {
    const Square tl{100, 80}, tr{1100, 80}, br{1100, 830}, bl{100, 830};
    const std::pair<int, Rgb> colours[] = {{MarkRed, kRed}, {MarkGreen, kGreen}, {MarkBlue, kBlue},
                                           {MarkBlack, kBlack}, {MarkNone, kBlack}};
    for (const auto& [colour, rgb] : colours) {
        RgbImage sheet(kW, kH);
        for (const Square& s : {tl, tr, br, bl}) rect(sheet, s.x, s.y, kSide, kSide, rgb);
        MarkDetection d;
        ASSERT_EQ(DetectMarks(sheet.view(), colour, d), 0);
        EXPECT_EQ(corners(d), expectedCorners(tl, tr, br, bl)) << "colour " << colour;
    }
}

TEST(MarkDetectionSets, DrawnCirclesAreFilledAndFound) {
    // Users draw rings with a pen; the gap filling closes them into marks.
    RgbImage sheet(kW, kH);
    for (const Square& s : {Square{100, 80}, Square{1100, 80}, Square{1100, 830}, Square{100, 830}})
        circle(sheet, s.x, s.y, 30, 3, kBlue);
    MarkDetection d;
    ASSERT_EQ(DetectMarks(sheet.view(), MarkBlue, d), 0);
    EXPECT_TRUE(d.found());
}

TEST(MarkCandidates, TooNarrowTooTallAndTooFlatMarksAreNoCandidates) {
    struct Shape {
        int w, h;
        bool candidate;
    } shapes[] = {{9, 14, false}, {10, 14, true}, {30, 41, false}, {30, 40, true}, {35, 20, false}, {30, 25, true}};
    for (const Shape& s : shapes) {
        RgbImage sheet(400, 400);
        rect(sheet, 100, 20, s.w, s.h, kRed);
        const MarkDetection d = candidatesOf(sheet, MarkRed);
        EXPECT_EQ(usedCandidates(d), s.candidate ? 1 : 0) << s.w << " x " << s.h;
    }
}

TEST(MarkCandidates, MarksInTheMiddleFifthAreNeverCandidates) {
    RgbImage sheet(400, 1000);  // bands of 201 rows: the middle one is rows 402 to 602
    rect(sheet, 100, 450, kSide, kSide, kRed);
    EXPECT_EQ(usedCandidates(candidatesOf(sheet, MarkRed)), 0);
    RgbImage control(400, 1000);
    rect(control, 100, 300, kSide, kSide, kRed);
    EXPECT_EQ(usedCandidates(candidatesOf(control, MarkRed)), 1);
    // A mark running from band 1 into band 2 is cut at the band and judged by what is left.
    RgbImage straddling(400, 1000);
    rect(straddling, 100, 395, kSide, kSide, kRed);
    EXPECT_EQ(usedCandidates(candidatesOf(straddling, MarkRed)), 0);
}

TEST(MarkCandidates, LongLinesAreFilteredOutButMarksBesideThemStay) {
    RgbImage sheet(kW, kH);
    rect(sheet, 50, 300, 900, 3, kBlack);   // a written line
    rect(sheet, 600, 20, 3, 200, kBlack);   // a vertical stroke
    rect(sheet, 1000, 20, kSide, kSide, kBlack);
    const MarkDetection d = candidatesOf(sheet, MarkNone);
    ASSERT_EQ(usedCandidates(d), 1);
    EXPECT_EQ(d.candidates[0].top, 20);
    EXPECT_EQ(d.candidates[0].left, 999);
    EXPECT_EQ(d.candidates[0].right, 1000 + kSide);
}

// ---- the corner search ----

TEST(MarkCornerSearch, TopMarksMustBeAtLeast800Apart) {
    for (int gap : {799, 800}) {
        RgbImage sheet(kW, kH);
        for (const Square& s : {Square{100, 80}, Square{100 + gap, 80}, Square{100 + gap, 830}, Square{100, 830}})
            rect(sheet, s.x, s.y, kSide, kSide, kRed);
        MarkDetection d;
        ASSERT_EQ(DetectMarks(sheet.view(), MarkRed, d), 0);
        EXPECT_EQ(d.found(), gap >= 800) << gap;
    }
}

TEST(MarkCornerSearch, NearlyRectangularSetsAreSquaredSkewedOnesKeepTheirShape) {
    // Within 2 %: squared, so the top corners share a y and the left ones an x.
    RgbImage near(kW, kH);
    const Square ntl{100, 80}, ntr{1100, 86}, nbr{1104, 830}, nbl{103, 833};
    for (const Square& s : {ntl, ntr, nbr, nbl}) rect(near, s.x, s.y, kSide, kSide, kRed);
    MarkDetection d;
    ASSERT_EQ(DetectMarks(near.view(), MarkRed, d), 0);
    EXPECT_EQ(d.MarkCorners[YTopLeft], d.MarkCorners[YTopRight]);
    EXPECT_EQ(d.MarkCorners[XTopLeft], d.MarkCorners[XBottomLeft]);
    EXPECT_EQ(d.MarkCorners[XTopRight], d.MarkCorners[XBottomRight]);
    EXPECT_EQ(d.MarkCorners[YBottomLeft], d.MarkCorners[YBottomRight]);
    // Squaring takes the left x from the bottom-left mark and the bottom y from the
    // bottom-right one before widening.
    const auto want = expectedCorners({nbl.x, ntl.y}, {ntr.x, ntl.y}, {ntr.x, nbr.y}, {nbl.x, nbr.y});
    EXPECT_EQ(corners(d), want);

    RgbImage skewed(kW, kH);
    const Square stl{100, 80}, str{1100, 140}, sbr{1180, 860}, sbl{160, 830};
    for (const Square& s : {stl, str, sbr, sbl}) rect(skewed, s.x, s.y, kSide, kSide, kRed);
    ASSERT_EQ(DetectMarks(skewed.view(), MarkRed, d), 0);
    EXPECT_EQ(corners(d), expectedCorners(stl, str, sbr, sbl));
}

TEST(MarkCornerSearch, TheBestAlignedSetWinsAndTooManySetsGiveNone) {
    // Two candidates at the top right: the one in line with the top left wins.
    RgbImage sheet(kW, kH);
    const Square tl{100, 80}, trOff{1100, 180}, trIn{1200, 80}, br{1200, 830}, bl{100, 830};
    for (const Square& s : {tl, trOff, trIn, br, bl}) rect(sheet, s.x, s.y, kSide, kSide, kRed);
    MarkDetection d;
    ASSERT_EQ(DetectMarks(sheet.view(), MarkRed, d), 0);
    EXPECT_EQ(corners(d), expectedCorners(tl, trIn, br, bl));

    // Three marks near each corner make 81 sets: still a choice. Four make 256: none.
    for (int per : {3, 4}) {
        RgbImage busy(kW, kH);
        for (int i = 0; i < per; ++i) {
            const int dx = 45 * i, dy = 20 * i;
            for (const Square& s : {Square{100 + dx, 80 + dy}, Square{1100 + dx, 80 + dy},
                                    Square{1100 + dx, 830 + dy}, Square{100 + dx, 830 + dy}})
                rect(busy, s.x, s.y, kSide, kSide, kRed);
        }
        ASSERT_EQ(DetectMarks(busy.view(), MarkRed, d), 0);
        EXPECT_EQ(d.found(), per == 3) << per << " marks at each corner";
        EXPECT_EQ(usedCandidates(d), 4 * per);
    }
}

TEST(MarkCornerSearch, MarksBeyondTheHundredCandidateSlotsAreDropped) {
    // A hundred small marks high on the sheet take every slot; four corner marks further
    // down then find no slot. Without the crowd they are found.
    const int w = 1600, h = 2000;  // middle band: rows 802 to 1202
    auto corners4 = [](RgbImage& s) {
        for (const Square& q : {Square{150, 620}, Square{1250, 620}, Square{1250, 1400}, Square{150, 1400}})
            rect(s, q.x, q.y, kSide, kSide, kRed);
    };
    RgbImage plain(w, h);
    corners4(plain);
    MarkDetection d;
    ASSERT_EQ(DetectMarks(plain.view(), MarkRed, d), 0);
    ASSERT_TRUE(d.found());

    RgbImage crowded(w, h);
    for (int i = 0; i < 100; ++i) rect(crowded, 60 + (i % 10) * 60, 20 + (i / 10) * 55, 20, 20, kRed);
    corners4(crowded);
    ASSERT_EQ(DetectMarks(crowded.view(), MarkRed, d), 0);
    EXPECT_EQ(usedCandidates(d), 100);
    EXPECT_FALSE(d.found());
}

// ---- results and bad input ----

TEST(MarkDetectionResult, BadInputGivesMinusOneAndClearedCorners) {
    RgbImage sheet(kW, kH);
    for (const Square& s : {Square{100, 80}, Square{1100, 80}, Square{1100, 830}, Square{100, 830}})
        rect(sheet, s.x, s.y, kSide, kSide, kRed);
    MarkDetection d;
    ASSERT_EQ(DetectMarks(sheet.view(), MarkRed, d), 0);
    ASSERT_TRUE(d.found());
    EXPECT_EQ(DetectMarks(sheet.view(), 5, d), -1);
    EXPECT_EQ(corners(d), kNone);
    ASSERT_EQ(DetectMarks(sheet.view(), MarkRed, d), 0);
    EXPECT_EQ(DetectMarks(RgbView{}, MarkRed, d), -1);
    EXPECT_EQ(corners(d), kNone);
    EXPECT_EQ(DetectMarks(RgbView{sheet.bytes.data(), 0, 0, 10}, MarkRed, d), -1);
}

TEST(MarkDetectionResult, ARunStartsFromACleanRecord) {
    RgbImage sheet(kW, kH);
    for (const Square& s : {Square{100, 80}, Square{1100, 80}, Square{1100, 830}, Square{100, 830}})
        rect(sheet, s.x, s.y, kSide, kSide, kRed);
    MarkDetection& d = TheMarkDetection();
    ASSERT_EQ(DetectMarks(sheet.view(), MarkRed, d), 0);
    ASSERT_TRUE(d.found());
    EXPECT_EQ(d.imageWidth, kW);
    EXPECT_EQ(d.imageHeight, kH);
    const RgbImage blank(kW, kH);
    ASSERT_EQ(DetectMarks(blank.view(), MarkRed, d), 0);
    EXPECT_FALSE(d.found());
    EXPECT_EQ(usedCandidates(d), 0);
}

// ---- the row-sparse cleaning DetectMarks runs equals the whole-plane form ----

namespace {

// A random mask of the given density, in clusters so gaps of every length occur.
std::vector<uint8_t> randomMask(int w, int h, unsigned seed, int densityPercent) {
    std::vector<uint8_t> m(static_cast<size_t>(w) * h, 0);
    unsigned s = seed;
    auto next = [&] { return s = s * 1103515245u + 12345u, (s >> 16) & 0x7FFF; };
    for (int y = 0; y < h; ++y) {
        if (next() % 100 < 40) continue;  // many rows without any 1
        for (int x = 0; x < w; ++x) m[static_cast<size_t>(y) * w + x] = next() % 100 < unsigned(densityPercent);
    }
    // Some solid blocks and lines.
    for (int k = 0; k < 6; ++k) {
        const int bx = next() % w, by = next() % h, bw = 1 + next() % 50, bh = 1 + next() % 50;
        for (int y = by; y < std::min(h, by + bh); ++y)
            for (int x = bx; x < std::min(w, bx + bw); ++x) m[static_cast<size_t>(y) * w + x] = 1;
    }
    return m;
}

}  // namespace

TEST(MarkCleaningRows, TheSparseCleaningGivesTheWholePlaneResult) {
    for (int colour : {MarkNone, MarkRed}) {
        for (unsigned seed = 1; seed <= 12; ++seed) {
            for (int density : {1, 8, 40, 90}) {
                const int w = 120 + seed * 7, h = 90 + seed * 5;
                std::vector<uint8_t> want = randomMask(w, h, seed, density), got = want;
                std::vector<uint8_t> h1(want.size()), v1(want.size()), h2(want.size(), 7), v2(want.size(), 7);
                if (colour == MarkNone) mark_steps::CleanPlain(want.data(), w, h, h1.data(), v1.data());
                else mark_steps::CleanColour(want.data(), w, h, h1.data(), v1.data());
                std::vector<uint8_t> rowAny(h);
                for (int y = 0; y < h; ++y)
                    rowAny[y] = std::find(got.begin() + y * w, got.begin() + (y + 1) * w, 1) != got.begin() + (y + 1) * w;
                mark_steps::CleanRows(got.data(), w, h, colour, h2.data(), v2.data(), rowAny.data());
                ASSERT_EQ(got, want) << "colour " << colour << " seed " << seed << " density " << density;
                for (int y = 0; y < h; ++y) {
                    if (!rowAny[y]) {
                        ASSERT_EQ(std::count(got.begin() + y * w, got.begin() + (y + 1) * w, 1), 0) << "row " << y;
                    }
                }

                // Run filtering skipping the rows without 1s gives the same as walking all.
                std::vector<uint8_t> all = got;
                mark_steps::FilterRuns(all.data(), w, h);
                mark_steps::FilterRuns(got.data(), w, h, rowAny.data());
                ASSERT_EQ(got, all) << "colour " << colour << " seed " << seed << " density " << density;
            }
        }
    }
}

TEST(MarkRunFiltering, RunsAreJudgedAlikeOnPicturesTallerThan65535Rows) {
    for (int h : {1000, 70000}) {
        const int w = 60;
        std::vector<uint8_t> m(static_cast<size_t>(w) * h, 0);
        auto block = [&](int x0, int y0, int bw, int bh) {
            for (int y = y0; y < y0 + bh; ++y)
                for (int x = x0; x < x0 + bw; ++x) m[static_cast<size_t>(y) * w + x] = 1;
        };
        auto count = [&](int x0, int x1) {
            int n = 0;
            for (int y = 0; y < h; ++y)
                for (int x = x0; x < x1; ++x) n += m[static_cast<size_t>(y) * w + x];
            return n;
        };
        block(5, 10, 20, 20);   // kept
        block(30, 10, 15, 50);  // columns too long
        block(50, 10, 6, 5);    // columns too short
        mark_steps::FilterRuns(m.data(), w, h);
        EXPECT_EQ(count(0, 28), 400) << h;
        EXPECT_EQ(count(28, 60), 0) << h;
    }
}

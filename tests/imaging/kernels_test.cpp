// Pixel kernels: conversion, halving and area averaging, matrix filters, geometry, layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "imaging/engine/kernels/convert.h"
#include "imaging/engine/kernels/filter.h"
#include "imaging/engine/kernels/geometry.h"
#include "imaging/engine/kernels/halve_rows.h"
#include "imaging/engine/kernels/resize.h"
#include "test_images.h"

using namespace q47::ik;
using namespace q47::ik::testing;

namespace {

DibImage filled24(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
    DibImage img = DibImage::create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.row(y)[3 * x] = b, img.row(y)[3 * x + 1] = g, img.row(y)[3 * x + 2] = r;
    return img;
}

bool samePixels(const DibImage& a, const DibImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (colourAt(a, x, y) != colourAt(b, x, y)) return false;
    return true;
}

}  // namespace

TEST(ColourConversion, EveryDepthTo24KeepsEachPixelsColour) {
    for (int bits : {1, 4, 8}) {
        for (int w : {1, 3, 4, 13, 17}) {  // widths around the four-pixel store
            const DibImage src = pattern(w, 5, bits);
            const DibImage out = convertTo24(src);
            ASSERT_EQ(out.bitCount(), 24);
            EXPECT_TRUE(samePixels(src, out)) << bits << " bits, width " << w;
        }
    }
}

TEST(ColourConversion, GreyLevelsUseLuminanceWeights) {
    DibImage src = filled24(2, 1, 0, 0, 255);  // pure red
    src.row(0)[3] = 255, src.row(0)[4] = 255, src.row(0)[5] = 255;
    const DibImage grey = convertToGrey8(src);
    ASSERT_EQ(grey.bitCount(), 8);
    EXPECT_TRUE(grey.isGreyRamp());
    EXPECT_EQ(grey.row(0)[0], 77);
    EXPECT_EQ(grey.row(0)[1], 255);
    const DibImage bw = convertToBinary(src, 128);
    EXPECT_EQ(bw.row(0)[0] >> 6, 0b01);  // red is dark, white is white
}

TEST(Halving, EachPixelIsTheRoundedMeanOfItsFour) {
    DibImage src = DibImage::create(5, 3, 24);  // odd sizes: the last row and column drop
    const uint8_t v[3][5] = {{0, 1, 10, 20, 99}, {1, 1, 30, 41, 99}, {7, 7, 7, 7, 7}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c) src.row(y)[3 * x + c] = static_cast<uint8_t>(v[y][x] + c);
    const DibImage out = halve(src);
    ASSERT_EQ(out.width(), 2);
    ASSERT_EQ(out.height(), 1);
    EXPECT_EQ(out.row(0)[0], 1);   // (0+1+1+1+2)/4 rounds to 1
    EXPECT_EQ(out.row(0)[3], 25);  // (10+20+30+41+2)/4 = 25.75 -> 25 (integer with +2)
    EXPECT_EQ(out.row(0)[5], 27);
}

TEST(Halving, SmoothResizeToHalfTakesTheHalvingPath) {
    const DibImage src = gradient24(64, 48);
    EXPECT_TRUE(samePixels(resizeSmooth(src, 32, 24), halve(src)));
}

// The vector row loops against the plain one, on exact-size buffers (so a read or write
// past a row shows under the address sanitizer), for every width up to several vector
// blocks plus a tail, and on byte values that make each inner average round up.
TEST(Halving, VectorRowsGiveThePlainLoopsBytesAtEveryWidth) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u, static_cast<uint8_t>(seed >> 24); };
    for (HalvePath path : {HalvePath::Plain, HalvePath::Sse2, HalvePath::Avx2}) {
        if (!halvePathAvailable(path)) continue;
        for (int channels : {1, 3}) {
            for (int w = 1; w <= 140; ++w) {
                const size_t in = static_cast<size_t>(2 * w) * channels, out = static_cast<size_t>(w) * channels;
                for (int fill = 0; fill < 3; ++fill) {
                    std::vector<uint8_t> a(in), b(in), want(out), got(out);
                    for (size_t i = 0; i < in; ++i) {
                        // random; odd and even extremes; alternating 0/255 columns
                        a[i] = fill == 0 ? next() : fill == 1 ? static_cast<uint8_t>(254 + (i & 1)) : (i % 5 ? 0 : 255);
                        b[i] = fill == 0 ? next() : fill == 1 ? static_cast<uint8_t>(1 - (i & 1)) : static_cast<uint8_t>(i * 3);
                    }
                    halveRow(HalvePath::Plain, channels, a.data(), b.data(), w, want.data());
                    halveRow(path, channels, a.data(), b.data(), w, got.data());
                    ASSERT_EQ(got, want) << "path " << static_cast<int>(path) << ", " << channels
                                         << " channels, width " << w << ", fill " << fill;
                }
            }
        }
    }
}

TEST(Halving, EveryFourByteCombinationOfSmallValuesRoundsLikeTheSum) {
    // All 4-tuples of values 0..15 and of 240..255 in one row pair: the rounding of the
    // vector loops must equal (a + b + c + d + 2) >> 2 for each.
    for (int base : {0, 240}) {
        const int w = 16 * 16 * 16 * 16;
        std::vector<uint8_t> a(2 * 3 * w), b(2 * 3 * w), got(3 * w);
        for (int k = 0; k < w; ++k)
            for (int c = 0; c < 3; ++c) {
                a[6 * k + c] = static_cast<uint8_t>(base + (k & 15)), a[6 * k + 3 + c] = static_cast<uint8_t>(base + ((k >> 4) & 15));
                b[6 * k + c] = static_cast<uint8_t>(base + ((k >> 8) & 15)), b[6 * k + 3 + c] = static_cast<uint8_t>(base + (k >> 12));
            }
        halveRow(bestHalvePath(), 3, a.data(), b.data(), w, got.data());
        for (int k = 0; k < w; ++k) {
            const int sum = a[6 * k] + a[6 * k + 3] + b[6 * k] + b[6 * k + 3];
            ASSERT_EQ(got[3 * k], (sum + 2) >> 2) << "block " << k;
        }
    }
}

TEST(Halving, TwoByTwoBecomesOnePixelAndOddEdgesDrop) {
    for (int bits : {8, 24}) {
        DibImage src = DibImage::create(3, 3, bits);
        if (bits == 8) src.setGreyPalette();
        const int C = bits / 8;
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 3 * C; ++i) src.row(y)[i] = static_cast<uint8_t>(y == 2 || i >= 2 * C ? 200 : 10 * y + i);
        const DibImage out = halve(src);
        ASSERT_EQ(out.width(), 1);
        ASSERT_EQ(out.height(), 1);
        for (int c = 0; c < C; ++c) {
            const int sum = src.row(0)[c] + src.row(0)[c + C] + src.row(1)[c] + src.row(1)[c + C];
            EXPECT_EQ(out.row(0)[c], (sum + 2) >> 2) << bits << " bits, channel " << c;
        }
    }
    EXPECT_TRUE(halve(filled24(1, 7, 1, 2, 3)).empty());  // nothing left of a 1-pixel width
}

TEST(AreaAveraging, ThreeToOneIsTheMeanOfEachBlock) {
    DibImage src = DibImage::create(6, 3, 8);
    src.setGreyPalette();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) src.row(y)[x] = static_cast<uint8_t>(x < 3 ? 9 * (x + y) : 200);
    const DibImage out = resizeSmooth(src, 2, 1);
    ASSERT_EQ(out.bitCount(), 8);
    EXPECT_EQ(out.row(0)[0], 18);  // mean of 0..36 step 9 over the 3x3 block
    EXPECT_EQ(out.row(0)[1], 200);
}

TEST(AreaAveraging, FlatPicturesStayFlatAtAnyScale) {
    const DibImage src = filled24(37, 23, 10, 128, 250);
    for (auto [w, h] : {std::pair{10, 7}, {36, 22}, {80, 51}, {1, 1}}) {
        const DibImage out = resizeSmooth(src, w, h);
        ASSERT_FALSE(out.empty());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(colourAt(out, x, y), 0xFA800Au) << w << "x" << h;
    }
}

// The area-weighted mean of source pixels [a, b) of one row, in doubles: the reference
// the fixed-point weights must follow.
static double directAverage(const std::vector<int>& v, double a, double b) {
    double sum = 0;
    for (int i = static_cast<int>(a); i < static_cast<int>(v.size()) && i < b; ++i)
        sum += v[i] * (std::min<double>(i + 1, b) - std::max<double>(i, a));
    return sum / (b - a);
}

TEST(AreaAveraging, OneWhitePixelAmongFiveHundredFiftyBlackOnesStaysDark) {
    DibImage src = filled24(551, 1, 0, 0, 0);
    src.row(0)[3 * 550] = src.row(0)[3 * 550 + 1] = src.row(0)[3 * 550 + 2] = 255;
    const DibImage out = resizeSmooth(src, 1, 1);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(colourAt(out, 0, 0), 0u);  // 255 / 551 rounds to 0
}

// Rows of up to 1000 pixels reduced to 1, 2, 3 and 7, in both directions, against the
// direct average: random levels, alternating black and white (which magnifies any bias
// of the weights), a step and a single bright pixel at the end.
TEST(AreaAveraging, LargeReductionsMatchTheDirectAverageInBothDirections) {
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u, static_cast<int>(seed >> 24); };
    for (int n : {2, 3, 10, 99, 255, 256, 257, 551, 997, 1000}) {
        for (int pat = 0; pat < 4; ++pat) {
            std::vector<int> v(n);
            for (int i = 0; i < n; ++i)
                v[i] = pat == 0 ? next() : pat == 1 ? (i & 1) * 255 : pat == 2 ? (i * 2 >= n) * 200 : (i == n - 1) * 255;
            DibImage row = DibImage::create(n, 1, 8), column = DibImage::create(1, n, 8);
            row.setGreyPalette(), column.setGreyPalette();
            for (int i = 0; i < n; ++i) row.row(0)[i] = column.row(i)[0] = static_cast<uint8_t>(v[i]);
            for (int out : {1, 2, 3, 7}) {
                if (out >= n) continue;
                const DibImage across = resizeSmooth(row, out, 1), down = resizeSmooth(column, 1, out);
                ASSERT_EQ(across.width(), out);
                ASSERT_EQ(down.height(), out);
                for (int o = 0; o < out; ++o) {
                    const double want = directAverage(v, static_cast<double>(o) * n / out, static_cast<double>(o + 1) * n / out);
                    EXPECT_NEAR(across.row(0)[o], want, 1.0) << n << ":" << out << " pattern " << pat << " at " << o;
                    EXPECT_NEAR(down.row(o)[0], want, 1.0) << n << ":" << out << " pattern " << pat << " at " << o;
                }
            }
        }
    }
}

TEST(AreaAveraging, ThousandByThousandToOnePixelIsTheMeanOfAll) {
    DibImage src = DibImage::create(1000, 1000, 24);
    uint64_t sum[3] = {0, 0, 0};
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1000; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t v = static_cast<uint8_t>(c == 0 ? (x * y) >> 4 : c == 1 ? (x + y) & 255 : (x < 3 ? 255 : 0));
                src.row(y)[3 * x + c] = v;
                sum[c] += v;
            }
    const DibImage out = resizeSmooth(src, 1, 1);
    ASSERT_FALSE(out.empty());
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(out.row(0)[c], sum[c] / 1e6, 1.0) << "channel " << c;
}

TEST(AreaAveraging, ColourTablePicturesAreNotAveraged) {
    const DibImage src = pattern(40, 20, 8);  // not a grey ramp: indices must not mix
    const DibImage out = resizeSmooth(src, 20, 10);
    ASSERT_EQ(out.bitCount(), 8);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            bool found = false;
            for (int sy = 0; sy < 20 && !found; ++sy)
                for (int sx = 0; sx < 40 && !found; ++sx) found = colourAt(src, sx, sy) == colourAt(out, x, y);
            ASSERT_TRUE(found);
        }
}

TEST(MatrixFilter, NineByNineWithZeroRingEqualsItsThreeByThreeCore) {
    const DibImage src = gradient24(31, 17);
    const int core[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    Convolution small;
    small.side = 3;
    small.weights.assign(core, core + 9);
    small.divisor = 16;
    Convolution big = small;
    big.side = 9;
    big.weights.assign(81, 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) big.weights[(r + 3) * 9 + c + 3] = core[r * 3 + c];
    EXPECT_TRUE(samePixels(convolve(src, small), convolve(src, big)));
}

struct MatrixCase {
    int side;
    std::vector<int> weights;
    int divisor, bias;
};

// Every output byte of every loop against the formula itself (64-bit sums, division
// truncating toward zero, edges repeated, then bias and clamp), on widths around the
// 16-byte vector step, in colour and grey.
static void expectFormulaOnEveryLoop(const std::vector<MatrixCase>& cases) {
    uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u, static_cast<uint8_t>(seed >> 24); };
    for (const MatrixCase& k : cases) {
        for (ConvolveLoop loop : {ConvolveLoop::Best, ConvolveLoop::Narrow16, ConvolveLoop::Scalar32, ConvolveLoop::Wide64}) {
            Convolution conv;
            conv.side = k.side, conv.weights = k.weights, conv.divisor = k.divisor, conv.bias = k.bias;
            conv.loop = loop;
            for (int bits : {24, 8}) {
                for (int w : {1, 2, 5, 6, 15, 16, 17, 21, 33}) {
                    const int h = 4, C = bits / 8;
                    DibImage src = DibImage::create(w, h, bits);
                    if (bits == 8) src.setGreyPalette();
                    for (int y = 0; y < h; ++y)
                        for (int i = 0; i < w * C; ++i) src.row(y)[i] = next() & (y == 1 ? 0xFF : 0xF8);
                    const DibImage out = convolve(src, conv);
                    ASSERT_EQ(out.width(), w);
                    const int half = k.side / 2;
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x)
                            for (int c = 0; c < C; ++c) {
                                int64_t sum = 0;
                                for (int r = 0; r < k.side; ++r)
                                    for (int q = 0; q < k.side; ++q) {
                                        const int sy = std::clamp(y + r - half, 0, h - 1), sx = std::clamp(x + q - half, 0, w - 1);
                                        sum += int64_t{k.weights[r * k.side + q]} * src.row(sy)[sx * C + c];
                                    }
                                const int64_t want = std::clamp<int64_t>(sum / (k.divisor ? k.divisor : 1) + k.bias, 0, 255);
                                ASSERT_EQ(out.row(y)[x * C + c], want)
                                    << "matrix " << (&k - cases.data()) << ", loop " << static_cast<int>(loop) << ", "
                                    << bits << " bits, width " << w << " at " << x << "," << y;
                            }
                }
            }
        }
    }
}

// Matrices that take the 16-bit vector rows (small weights; shift, reciprocal and
// negative divisors) and ones that do not.
TEST(MatrixFilter, EveryByteFollowsTheFormulaAtEveryWidthAndDivisor) {
    expectFormulaOnEveryLoop({
        {3, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0},          // smoothing: shift
        {3, {-1, -1, -1, -1, 11, -1, -1, -1, -1}, 3, 0},  // sharpen: reciprocal, negative sums
        {3, {0, -2, 0, -2, 9, -2, 0, -2, 0}, -5, 7},      // negative divisor, bias
        {3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 1000, 300},      // quotient always 0, all 255
        {3, {-1, -2, -1, 0, 0, 0, 1, 2, 1}, 4, 128},      // negative sums, shift truncates up
        {3, {0, 0, 0, 0, 128, 0, 0, 0, 0}, 1, 1000},      // sum + bias beyond 16 bits for
        {3, {0, 0, 0, 0, -128, 0, 0, 0, 0}, 1, -1000},    // bytes over 247
        {3, {1, 0, -1, 2, 0, -2, 1, 0, -1}, 1, 128},      // edge detector around mid-grey
        {5, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, -3, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0}, 2, 0},
        {3, {40, 40, 40, 40, 40, 40, 40, 40, 40}, 360, 0},  // weights too large for 16 bits
        {1, {2}, 3, -20},
    });
}

// Weights read from a settings file can be anything 32 bits hold: sums of 20 000 000 x
// 255 x 9 and of INT_MIN x 255 leave 32 bits, and every loop (a forced narrow one gives
// way) must still give the formula's bytes, with the same truncation, bias and clamp.
TEST(MatrixFilter, HugeWeightsNeverOverflowOnAnyLoop) {
    const int big = 20000000, top = INT32_MAX, bottom = INT32_MIN;
    expectFormulaOnEveryLoop({
        {3, {big, big, big, big, big, big, big, big, big}, 32767, -100},   // sums near 4.6e10
        {3, {big, big, big, big, big, big, big, big, big}, 16384, 0},      // shift of a huge sum
        {3, {-big, 0, big, -big, 0, big, -big, 0, big}, 30000, 128},      // both signs
        {3, {0, 0, 0, 0, top, 0, 0, 0, 0}, -1, 0},                           // negated huge sums
        {3, {0, 0, 0, 0, bottom, 0, 0, 0, 0}, -32768, 5},                    // INT_MIN weight
        {3, {top, top, top, top, top, top, top, top, top}, 0, 0},            // divisor 0 = 1
        {1, {8421504}, 1, 32767},  // 255 x 8421504 = INT32_MAX - 127: the bias tips it over
        {5, std::vector<int>(25, bottom), 7, 32767},
    });
    Convolution huge;
    huge.side = 3;
    huge.weights.assign(9, big);
    huge.divisor = 9;
    for (ConvolveLoop loop : {ConvolveLoop::Best, ConvolveLoop::Narrow16, ConvolveLoop::Scalar32, ConvolveLoop::Wide64}) {
        huge.loop = loop;
        EXPECT_EQ(convolveLoopFor(huge), ConvolveLoop::Wide64) << static_cast<int>(loop);
    }
    Convolution small = huge;
    small.weights.assign(9, 1);
    small.loop = ConvolveLoop::Best;
#if defined(__SSE2__)
    EXPECT_EQ(convolveLoopFor(small), ConvolveLoop::Narrow16);
#endif
    small.loop = ConvolveLoop::Scalar32;
    EXPECT_EQ(convolveLoopFor(small), ConvolveLoop::Scalar32);
}

TEST(MatrixFilter, EdgesRepeatAndResultsClamp) {
    const DibImage flat = filled24(8, 8, 100, 100, 100);
    Convolution box;
    box.side = 3;
    box.weights.assign(9, 1);
    box.divisor = 9;
    EXPECT_TRUE(samePixels(convolve(flat, box), flat));  // corners too: edges repeated
    box.divisor = 1;  // 900 clamps to 255
    EXPECT_EQ(colourAt(convolve(flat, box), 0, 0), 0xFFFFFFu);
    box.divisor = 0;  // taken as 1, not a division by zero
    EXPECT_EQ(colourAt(convolve(flat, box), 7, 7), 0xFFFFFFu);
    box.weights.assign(9, -1);
    box.divisor = 3;
    box.bias = 400;  // -900/3 + 400 = 100
    EXPECT_EQ(colourAt(convolve(flat, box), 3, 3), 0x646464u);
}

TEST(MatrixFilter, UnselectedChannelsAreKept) {
    const DibImage src = gradient24(9, 9);
    Convolution zero;
    zero.side = 1;
    zero.weights = {0};
    zero.channels = {false, true, false};  // green only
    const DibImage out = convolve(src, zero);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(out.row(y)[3 * x + 1], 0);
            EXPECT_EQ(out.row(y)[3 * x], src.row(y)[3 * x]);
            EXPECT_EQ(out.row(y)[3 * x + 2], src.row(y)[3 * x + 2]);
        }
}

TEST(MatrixFilter, MatricesWithEvenSidesAreRefused) {
    Convolution c;
    c.side = 2;
    c.weights.assign(4, 1);
    EXPECT_TRUE(convolve(gradient24(4, 4), c).empty());
}

TEST(Rotation, QuarterTurnIsCounterClockwiseAndFourMakeTheOriginal) {
    const uint8_t white[3] = {255, 255, 255};
    for (int bits : {1, 4, 8}) {
        const DibImage src = pattern(7, 3, bits);
        const DibImage turned = rotate(src, 9000, false, true, white);
        ASSERT_EQ(turned.width(), 3);
        ASSERT_EQ(turned.height(), 7);
        EXPECT_EQ(colourAt(turned, 0, 0), colourAt(src, 6, 0));  // top right goes to top left
        EXPECT_EQ(colourAt(turned, 2, 6), colourAt(src, 0, 2));  // bottom left to bottom right
        DibImage back = turned;
        for (int i = 0; i < 3; ++i) back = rotate(back, 9000, false, true, white);
        EXPECT_TRUE(samePixels(back, src)) << bits;
    }
}

TEST(Rotation, FreeAngleEnlargesTheCanvasAndFillsTheBackground) {
    const uint8_t red[3] = {0, 0, 255};
    const DibImage src = filled24(40, 20, 0, 255, 0);
    const DibImage out = rotate(src, 4500, true, true, red);
    EXPECT_NEAR(out.width(), 43, 1);  // (40 + 20) / sqrt(2)
    EXPECT_NEAR(out.height(), 43, 1);
    EXPECT_EQ(colourAt(out, 0, 0), 0xFF0000u);                                // corner: background
    EXPECT_EQ(colourAt(out, out.width() / 2, out.height() / 2), 0x00FF00u);  // centre: the picture
}

TEST(Layering, TransparentColourLetsTheBaseShowAndOffsetsClip) {
    const DibImage base = filled24(10, 10, 0, 0, 255);  // red
    DibImage top = filled24(4, 4, 255, 255, 255);       // white with one blue pixel
    top.row(1)[3] = 255, top.row(1)[4] = 0, top.row(1)[5] = 0;
    LayerOptions o;
    o.x = -1, o.y = 8;  // partly outside: clipped, never written past the base
    o.useTransparent = true;
    std::fill(o.low, o.low + 3, 250);
    std::fill(o.high, o.high + 3, 255);
    const DibImage out = layer(base, top, o);
    ASSERT_EQ(out.width(), 10);
    EXPECT_EQ(colourAt(out, 0, 9), 0x0000FFu);  // top pixel (1,1) lands at (0,9)
    EXPECT_EQ(colourAt(out, 1, 8), 0xFF0000u);  // white of top was transparent
    o.useTransparent = false;
    o.opacity = 128;
    const DibImage mixed = layer(base, top, o);
    EXPECT_EQ(colourAt(mixed, 1, 8), 0xFF8080u);
}

TEST(Cutting, RectangleIsClippedAndKeepsPackedDepths) {
    const DibImage src = pattern(20, 10, 1);
    const DibImage part = cutRect(src, 3, 2, 50, 5);
    ASSERT_EQ(part.width(), 17);
    ASSERT_EQ(part.height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 17; ++x) ASSERT_EQ(colourAt(part, x, y), colourAt(src, x + 3, y + 2));
    EXPECT_TRUE(cutRect(src, 25, 0, 30, 5).empty());
}

TEST(Areas, PolygonAndEllipseSelectTheirInside) {
    const int tri[6] = {0, 0, 10, 0, 0, 10};
    const auto a = polygonArea(10, 10, tri, 3);
    EXPECT_EQ(a[1 * 10 + 1], 1);
    EXPECT_EQ(a[9 * 10 + 9], 0);
    const auto e = ellipseArea(10, 10, 0, 0, 10, 10);
    EXPECT_EQ(e[5 * 10 + 5], 1);
    EXPECT_EQ(e[0], 0);
    DibImage orig = filled24(10, 10, 0, 0, 0), filtered = filled24(10, 10, 9, 9, 9);
    const DibImage inside = applyArea(orig, filtered, e, false);
    EXPECT_EQ(colourAt(inside, 5, 5), 0x090909u);
    EXPECT_EQ(colourAt(inside, 0, 0), 0u);
    const DibImage outside = applyArea(orig, filtered, e, true);
    EXPECT_EQ(colourAt(outside, 0, 0), 0x090909u);
}

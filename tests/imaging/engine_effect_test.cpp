// Effect entries: conversion, resize, filters with areas, progress and cancel, pixel access.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "test_images.h"

using namespace q47::ik;
using namespace q47::ik::testing;

namespace {

IKHANDLE import(const DibImage& img) {
    return IKImportDib(img.bytes().data(), static_cast<uint32_t>(img.bytes().size()));
}

DibImage fetch(IKHANDLE h) {
    uint32_t size = 0;
    DibImage img;
    auto* p = static_cast<const uint8_t*>(IKLockImage(h, &size));
    if (p) DibImage::fromPacked(p, size, &img);
    IKUnlockImage(h);
    return img;
}

std::vector<int> g_percents;
int g_stopAt = 1000;
IKBOOL record(int16_t percent) {
    g_percents.push_back(percent);
    return percent >= g_stopAt ? 0 : -1;
}

}  // namespace

TEST(EffectEntries, ConvertColorLeavesTheSourceAndMakesTwentyFourBits) {
    const IKHANDLE src = import(pattern(33, 9, 8));
    const uint32_t before = IKGetMemorySize(src);
    const IKHANDLE out = IKConvertColor(src, 24, 0, 0, 0, nullptr, "", "", "");
    ASSERT_NE(out, 0u);
    const DibImage a = fetch(src), b = fetch(out);
    EXPECT_EQ(b.bitCount(), 24);
    EXPECT_EQ(IKGetMemorySize(src), before);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 33; ++x) ASSERT_EQ(colourAt(a, x, y), colourAt(b, x, y));
    EXPECT_EQ(IKConvertColor(src, 16, 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    IKFreeMemory(src);
    IKFreeMemory(out);
}

TEST(EffectEntries, ResizeGivesBothResultsAndRefusesEmptySizes) {
    const IKHANDLE images[2] = {import(gradient24(40, 20)), import(pattern(40, 20, 1))};
    IKHANDLE results[2] = {7, 7};
    ASSERT_TRUE(IKResizeEx(images, results, 20, 10, -1, nullptr, "", "", ""));
    EXPECT_EQ(fetch(results[0]).width(), 20);
    EXPECT_EQ(fetch(results[1]).bitCount(), 1);
    IKFreeMemory(results[0]);
    IKFreeMemory(results[1]);
    EXPECT_FALSE(IKResizeEx(images, results, 0, 10, -1, nullptr, "", "", ""));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    EXPECT_EQ(results[0], 0u);
    EXPECT_EQ(results[1], 0u);
    IKFreeMemory(images[0]);
    IKFreeMemory(images[1]);
}

TEST(EffectEntries, CustomFilterNeedsAnOddSquareMatrix) {
    const IKHANDLE images[2] = {import(gradient24(8, 8)), 0};
    const IKRect none{};
    std::vector<int32_t> m(80, 0);
    EXPECT_EQ(IKCustomFilter(images, 1, nullptr, 0, &none, 0, m.data(), 79, 1, 0, -1, -1, -1, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    m.assign(81, 0);
    m[40] = 1;
    const IKHANDLE same = IKCustomFilter(images, 1, nullptr, 0, &none, 0, m.data(), 80, 1, 0, -1, -1, -1, nullptr, "", "", "");
    ASSERT_NE(same, 0u);
    EXPECT_EQ(IKGetMemorySize(same), IKGetMemorySize(images[0]));
    IKFreeMemory(same);
    IKFreeMemory(images[0]);
}

TEST(EffectEntries, AreasLimitTheFilterToTheirInsideOrOutside) {
    DibImage white = DibImage::create(20, 20, 24);
    std::fill(white.bytes().begin() + 40, white.bytes().end(), 255);
    const IKHANDLE images[2] = {import(white), 0};
    const IKRect rect{5, 5, 15, 15};
    const IKHANDLE inside = IKRGBRev(images, 3, nullptr, 0, &rect, 1, -1, -1, -1, nullptr, "", "", "");
    ASSERT_NE(inside, 0u);
    EXPECT_EQ(colourAt(fetch(inside), 10, 10), 0u);
    EXPECT_EQ(colourAt(fetch(inside), 0, 0), 0xFFFFFFu);
    const IKHANDLE outside = IKRGBRev(images, 3, nullptr, 0, &rect, 0, -1, -1, -1, nullptr, "", "", "");
    EXPECT_EQ(colourAt(fetch(outside), 10, 10), 0xFFFFFFu);
    EXPECT_EQ(colourAt(fetch(outside), 0, 0), 0u);
    const IKPoint two[2] = {{0, 0}, {5, 5}};
    EXPECT_EQ(IKBlur(images, 2, two, 2, &rect, 1, 1, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    for (IKHANDLE h : {images[0], inside, outside}) IKFreeMemory(h);
}

TEST(EffectEntries, ProgressIsReportedOncePerPercentAndCanStopTheWork) {
    const IKHANDLE images[2] = {import(gradient24(300, 400)), 0};
    const IKRect none{};
    g_percents.clear();
    g_stopAt = 1000;
    const IKHANDLE ok = IKSharp(images, 1, nullptr, 0, &none, 0, 2, record, "", "", "");
    ASSERT_NE(ok, 0u);
    ASSERT_FALSE(g_percents.empty());
    for (size_t i = 1; i < g_percents.size(); ++i) EXPECT_GT(g_percents[i], g_percents[i - 1]);
    g_percents.clear();
    g_stopAt = 30;
    const uint32_t count = IKGetObjectCount();
    EXPECT_EQ(IKSharp(images, 1, nullptr, 0, &none, 0, 2, record, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_CANCELLED);
    EXPECT_EQ(IKGetObjectCount(), count);
    EXPECT_LE(g_percents.back(), 40);
    IKFreeMemory(ok);
    IKFreeMemory(images[0]);
}

TEST(EffectEntries, FiltersOfALaterVersionAnswerTheirOwnStatus) {
    const IKHANDLE images[2] = {import(gradient24(4, 4)), 0};
    const IKRect none{};
    EXPECT_EQ(IKOilPaint(images, 1, nullptr, 0, &none, 0, 1, 1, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILTER);
    EXPECT_EQ(IKAffine(images[0], 1, 0, 0, 1, 0, 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILTER);
    IKFreeMemory(images[0]);
}

TEST(EffectEntries, LayerCutGreyAndRotate) {
    const IKHANDLE base = IKCreateImage(10, 10, 24, 255, 0, 0, 0, 0, 0, 0);
    const IKHANDLE top = IKCreateImage(4, 4, 8, 255, 255, 255, 0, 0, 0, 0);
    const IKHANDLE layered = IKLayer(base, top, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 0, 0, nullptr, "", "", "");
    ASSERT_NE(layered, 0u);
    EXPECT_EQ(colourAt(fetch(layered), 2, 3), 0xFFFFFFu);
    EXPECT_EQ(colourAt(fetch(layered), 1, 3), 0xFF0000u);
    const IKRect r{2, 3, 6, 7};
    const IKHANDLE cut = IKCutRectImage(layered, &r, nullptr, "", "", "");
    ASSERT_NE(cut, 0u);
    EXPECT_EQ(fetch(cut).width(), 4);
    const IKRect outside{20, 20, 30, 30};
    EXPECT_EQ(IKCutRectImage(layered, &outside, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    const IKHANDLE grey = IKSetGray(base, nullptr, "", "", "");
    EXPECT_EQ(fetch(grey).bitCount(), 8);
    EXPECT_EQ(fetch(grey).row(0)[0], 77);
    const IKHANDLE turned = IKRotationEx(cut, 27000, 0, -1, 0, 0, 0, 0, 0, nullptr, "", "", "");
    EXPECT_EQ(fetch(turned).width(), 4);
    for (IKHANDLE h : {base, top, layered, cut, grey, turned}) IKFreeMemory(h);
}

// Offsets anywhere in 32 bits: a top picture placed near either end overlaps nothing (the
// base comes back unchanged), and one that reaches in from far left still lands right.
TEST(EffectEntries, LayerOffsetsNearTheIntegerLimitsDoNotOverflow) {
    const IKHANDLE base = IKCreateImage(10, 10, 24, 255, 0, 0, 0, 0, 0, 0);
    const IKHANDLE top = IKCreateImage(4, 4, 24, 0, 0, 255, 0, 0, 0, 0);
    const int32_t far[] = {INT32_MAX, INT32_MAX - 2, INT32_MIN, INT32_MIN + 3, -5};
    for (int32_t x : far)
        for (int32_t y : far) {
            const IKHANDLE out = IKLayer(base, top, 0, 0, 0, 0, 0, 0, 0, 0, x, y, 0, 0, nullptr, "", "", "");
            ASSERT_NE(out, 0u) << x << "," << y;
            const DibImage img = fetch(out);
            for (int py = 0; py < 10; ++py)
                for (int px = 0; px < 10; ++px) ASSERT_EQ(colourAt(img, px, py), 0xFF0000u) << x << "," << y;
            IKFreeMemory(out);
        }
    const IKHANDLE edge = IKLayer(base, top, 0, 0, 0, 0, 0, 0, 0, 0, -2, 8, 0, 0, nullptr, "", "", "");
    ASSERT_NE(edge, 0u);
    EXPECT_EQ(colourAt(fetch(edge), 1, 9), 0x0000FFu);
    EXPECT_EQ(colourAt(fetch(edge), 2, 9), 0xFF0000u);
    EXPECT_EQ(colourAt(fetch(edge), 1, 7), 0xFF0000u);
    for (IKHANDLE h : {base, top, edge}) IKFreeMemory(h);
}

// A matrix from a settings file with a weight of 20 000 000: the sums leave 32 bits, the
// picture still comes out as the formula says (here every channel over 255: white).
TEST(EffectEntries, CustomFilterWithHugeWeightsGivesTheFormulasPicture) {
    const IKHANDLE src = import(gradient24(21, 7));
    const IKHANDLE images[2] = {src, 0};
    const IKRect none{};
    std::vector<int32_t> m(9, 0);
    m[4] = 20000000;
    const IKHANDLE out = IKCustomFilter(images, 1, nullptr, 0, &none, 0, m.data(), 8, 1, 0, -1, -1, -1, nullptr, "", "", "");
    ASSERT_NE(out, 0u);
    const DibImage a = fetch(src), b = fetch(out);
    for (int y = 0; y < 7; ++y)
        for (int i = 0; i < 21 * 3; ++i) ASSERT_EQ(b.row(y)[i], a.row(y)[i] ? 255 : 0) << i << "," << y;
    m[4] = -20000000;
    m[3] = 20000000;  // left neighbour minus the pixel, times 20 000 000, over 32767
    const IKHANDLE diff = IKCustomFilter(images, 1, nullptr, 0, &none, 0, m.data(), 8, 32767, 7, -1, -1, -1, nullptr, "", "", "");
    ASSERT_NE(diff, 0u);
    const DibImage d = fetch(diff);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 21; ++x) {
            const int left = a.row(y)[std::max(0, x - 1) * 3], self = a.row(y)[x * 3];
            const int64_t want = std::clamp<int64_t>(int64_t{20000000} * (left - self) / 32767 + 7, 0, 255);
            ASSERT_EQ(d.row(y)[x * 3], want) << x << "," << y;
        }
    for (IKHANDLE h : {src, out, diff}) IKFreeMemory(h);
}

TEST(PixelAccess, ReadsAndWritesPixelsAndRefusesBadRecords) {
    const IKHANDLE h = IKCreateImage(5, 5, 24, 10, 20, 30, 0, 0, 0, 0);
    IKDibAccess rec;
    ASSERT_TRUE(IKStartDibAccess(h, &rec));
    ASSERT_TRUE(IKGetDibPixel(&rec, 4, 4));
    EXPECT_EQ(rec.pixel[0], 10);  // red, green, blue
    EXPECT_EQ(rec.pixel[1], 20);
    EXPECT_EQ(rec.pixel[2], 30);
    rec.pixel[0] = 181, rec.pixel[1] = 200, rec.pixel[2] = 250;
    ASSERT_TRUE(IKSetDibPixel(&rec, 1, 2));
    EXPECT_EQ(colourAt(fetch(h), 1, 2), 0xB5C8FAu);
    EXPECT_FALSE(IKGetDibPixel(&rec, 5, 0));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    IKDibAccess forged = rec;
    forged.generation += 1;
    EXPECT_FALSE(IKGetDibPixel(&forged, 0, 0));
    EXPECT_FALSE(IKEndDibAccess(h + 1, &rec));  // wrong image for this record
    // The image may be freed while open: the access keeps its memory until the end.
    ASSERT_TRUE(IKFreeMemory(h));
    EXPECT_TRUE(IKGetDibPixel(&rec, 0, 0));
    EXPECT_TRUE(IKEndDibAccess(h, &rec));
    EXPECT_FALSE(IKGetDibPixel(&rec, 0, 0));
}

TEST(PixelAccess, PaletteImagesGiveColourAndIndex) {
    const IKHANDLE h = import(pattern(12, 3, 4));
    IKDibAccess rec;
    ASSERT_TRUE(IKStartDibAccess(h, &rec));
    ASSERT_TRUE(IKGetDibPixel(&rec, 3, 1));
    EXPECT_EQ(rec.pixel[3], 3);  // index (3/3 + 2) % 16
    EXPECT_EQ(rec.pixel[0], 3 * 5 + 3);
    rec.pixel[3] = 15;
    ASSERT_TRUE(IKSetDibPixel(&rec, 3, 1));
    ASSERT_TRUE(IKGetDibPixel(&rec, 3, 1));
    EXPECT_EQ(rec.pixel[3], 15);
    ASSERT_TRUE(IKGetDibPixel(&rec, 2, 1));
    EXPECT_EQ(rec.pixel[3], 2);  // the neighbour sharing the byte is untouched
    IKEndDibAccess(h, &rec);
    IKFreeMemory(h);
}

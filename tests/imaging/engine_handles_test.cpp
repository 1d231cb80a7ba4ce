// Engine image objects: handle table safety, per-thread status, creation, dpi, palette.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "test_images.h"

using namespace q47::ik;
using namespace q47::ik::testing;

namespace {

IKHANDLE import(const DibImage& img) {
    return IKImportDib(img.bytes().data(), static_cast<uint32_t>(img.bytes().size()));
}

}  // namespace

TEST(HandleTable, UnknownAndFreedHandlesAreStatusSevenNeverACrash) {
    IKImageInfo info;
    EXPECT_FALSE(IKGetImageType(0, &info));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
    EXPECT_FALSE(IKGetImageType(0xDEADBEEF, &info));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
    const IKHANDLE h = IKCreateImage(4, 4, 24, 1, 2, 3, 0, 0, 0, 0);
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(IKFreeMemory(h));
    EXPECT_EQ(IKGetErrorStatus(), IK_OK);
    EXPECT_FALSE(IKFreeMemory(h));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
    EXPECT_EQ(IKCopyImage(h, 0, 0, 0, 0), 0u);
    EXPECT_EQ(IKConvertColor(h, 24, 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
    // A later image never reuses the freed number.
    const IKHANDLE again = IKCreateImage(4, 4, 24, 1, 2, 3, 0, 0, 0, 0);
    EXPECT_NE(again, h);
    IKFreeMemory(again);
}

TEST(HandleTable, StatusBelongsToTheCallingThread) {
    EXPECT_FALSE(IKFreeMemory(0));
    ASSERT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
    uint16_t other = 99;
    std::thread([&] {
        const IKHANDLE h = IKCreateImage(2, 2, 8, 0, 0, 0, 0, 0, 0, 0);
        IKFreeMemory(h);
        other = IKGetErrorStatus();
    }).join();
    EXPECT_EQ(other, IK_OK);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
}

TEST(HandleTable, ThreadsCreatingAndFreingAtOnceGetDistinctHandles) {
    const uint32_t before = IKGetObjectCount();
    std::vector<std::vector<IKHANDLE>> made(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const IKHANDLE h = IKCreateImage(3, 3, 24, 0, 0, 0, 0, 0, 0, 0);
                made[t].push_back(h);
                if (i % 2) IKFreeMemory(IKCopyImage(h, 0, 0, 0, 0));
            }
        });
    for (auto& th : threads) th.join();
    std::set<IKHANDLE> all;
    for (auto& v : made)
        for (IKHANDLE h : v) {
            EXPECT_NE(h, 0u);
            all.insert(h);
        }
    EXPECT_EQ(all.size(), 800u);
    for (IKHANDLE h : all) EXPECT_TRUE(IKFreeMemory(h));
    EXPECT_EQ(IKGetObjectCount(), before);
}

TEST(HandleTable, LockedMemoryOutlivesAFreeUntilUnlocked) {
    const IKHANDLE h = IKCreateImage(8, 8, 24, 10, 20, 30, 0, 0, 0, 0);
    uint32_t size = 0;
    auto* bytes = static_cast<uint8_t*>(IKLockImage(h, &size));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(size, 40u + 8 * 24);
    ASSERT_TRUE(IKFreeMemory(h));
    EXPECT_EQ(bytes[40], 30);  // blue of the first pixel, still readable (ASan would object)
    EXPECT_TRUE(IKUnlockImage(h));
    EXPECT_FALSE(IKUnlockImage(h));
}

TEST(ImageObjects, CreateFillsWithTheColourAtEachDepth) {
    const IKHANDLE white = IKCreateImage(5, 3, 24, 255, 255, 255, 0, 0, 0, 0);
    uint32_t size;
    auto* p = static_cast<const uint8_t*>(IKLockImage(white, &size));
    for (uint32_t i = 40; i < size; i += 1)
        if ((i - 40) % 16 < 15) {
            ASSERT_EQ(p[i], 255) << i;  // padding bytes aside
        }
    IKUnlockImage(white);
    IKImageInfo info;
    ASSERT_TRUE(IKGetImageType(white, &info));
    EXPECT_EQ(info.bitCount, 24);
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.kind, IK_RASTER);
    IKFreeMemory(white);
    const IKHANDLE grey = IKCreateImage(3, 3, 8, 128, 128, 128, 0, 0, 0, 0);
    ASSERT_TRUE(IKGetImageType(grey, &info));
    EXPECT_TRUE(info.grey);
    EXPECT_EQ(static_cast<const uint8_t*>(IKLockImage(grey, nullptr))[40 + 1024], 128);
    IKUnlockImage(grey);
    IKFreeMemory(grey);
    EXPECT_EQ(IKCreateImage(3, 3, 16, 0, 0, 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    EXPECT_EQ(IKCreateImage(0, 3, 24, 0, 0, 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(IKCreateImage(100000, 100000, 24, 0, 0, 0, 0, 0, 0, 0), 0u);
}

TEST(ImageObjects, ImportNormalisesTopDownAndThirtyTwoBitPictures) {
    std::vector<uint8_t> dib = q47::dib::make(2, -2, 32);  // top-down
    uint8_t* px = dib.data() + 40;
    px[0] = 1, px[1] = 2, px[2] = 3;  // first stored row = top row
    const IKHANDLE h = IKImportDib(dib.data(), static_cast<uint32_t>(dib.size()));
    ASSERT_NE(h, 0u);
    uint32_t size;
    DibImage img;
    auto* bytes = static_cast<const uint8_t*>(IKLockImage(h, &size));
    ASSERT_TRUE(DibImage::fromPacked(bytes, size, &img));
    IKUnlockImage(h);
    EXPECT_EQ(img.bitCount(), 24);
    EXPECT_EQ(img.height(), 2);
    EXPECT_EQ(colourAt(img, 0, 0), 0x030201u);
    IKFreeMemory(h);
    EXPECT_EQ(IKImportDib(dib.data(), 20), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_IMAGE);
}

TEST(ImageObjects, DpiPaletteAndOneBitCounts) {
    const IKHANDLE h = import(pattern(10, 2, 1));
    ASSERT_TRUE(IKSetDpi(h, 200, 300));
    int32_t x = 0, y = 0;
    ASSERT_TRUE(IKGetDpi(h, &x, &y));
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 300);
    EXPECT_FALSE(IKSetDpi(h, -1, 5));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_ARGUMENT);
    int32_t zeros = 0, ones = 0;
    ASSERT_TRUE(IKGetOneBitPalCount(h, &zeros, &ones));
    EXPECT_EQ(zeros + ones, 20);
    EXPECT_EQ(ones, 8);  // (x/3 + 2y) odd at x = 3, 4, 5 and 9 in both rows
    uint16_t rgb[6], info[2];
    ASSERT_TRUE(IKGetPalette(h, rgb, 5, info, 1));
    EXPECT_EQ(info[0], 2);
    EXPECT_EQ(info[1], 2);
    const uint16_t mine[3] = {9, 8, 7}, which[2] = {1, 1};
    ASSERT_TRUE(IKSetPalette(h, mine, 2, which, 1));
    ASSERT_TRUE(IKGetPalette(h, rgb, 5, info, 1));
    EXPECT_EQ(rgb[3], 9);
    EXPECT_EQ(rgb[5], 7);
    const uint16_t tooBright[3] = {300, 0, 0};
    EXPECT_FALSE(IKSetPalette(h, tooBright, 2, which, 1));
    IKFreeMemory(h);
    const IKHANDLE colour = IKCreateImage(2, 2, 24, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(IKGetOneBitPalCount(colour, &zeros, &ones));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_BIT_DEPTH);
    IKFreeMemory(colour);
}

TEST(ImageObjects, BitmapObjectsConvertBackAndAreNotImages) {
    const IKHANDLE h = import(gradient24(6, 4));
    const IKHANDLE bmp = IKBitmapFromDib(h);
    ASSERT_NE(bmp, 0u);
    IKImageInfo info;
    EXPECT_FALSE(IKGetImageType(bmp, &info));  // a bitmap is not an engine image
    const IKHANDLE back = IKDibFromBitmap(bmp, 0);
    ASSERT_NE(back, 0u);
    EXPECT_EQ(IKGetMemorySize(back), IKGetMemorySize(h));
    EXPECT_TRUE(IKDeleteBitmapObject(bmp));
    EXPECT_FALSE(IKDeleteBitmapObject(h));  // an image is not a bitmap object
    IKFreeMemory(h);
    IKFreeMemory(back);
}

TEST(ImageObjects, VectorObjectsAreReportedButNotServed) {
    const IKHANDLE v = IKCreateVectImageEx(1, 0, 0, 100, 100);
    ASSERT_NE(v, 0u);
    IKImageInfo info;
    ASSERT_TRUE(IKGetImageType(v, &info));
    EXPECT_EQ(info.kind, IK_VECTOR_EMF);
    EXPECT_EQ(IKVectToDib(v, 10, 10, 255, 255, 255), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_VECTOR);
    EXPECT_FALSE(IKDrawVectObject(0, v, 0, 0, 1, 1, 1.0, 1.0, 0));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_VECTOR);
    EXPECT_TRUE(IKFreeMemory(v));
}

TEST(ImageObjects, ClipboardWithoutAHostIsStatusTwelve) {
    IKSetHostServices(nullptr);
    const IKHANDLE h = IKCreateImage(2, 2, 24, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(IKSetToClipBrd(0, h, 0, 0, 0, 0));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_CLIPBOARD);
    EXPECT_EQ(IKGetFromClipBrd(0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_CLIPBOARD);
    IKFreeMemory(h);
}

// TVIkEffect over the real engine: area modes, pixel-access slots, results and failures.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"

namespace {

IKHANDLE create(int w, int h, int bits, int r, int g, int b) {
    return Ikdllprocs::IKCreateImage(w, h, static_cast<int16_t>(bits), r, g, b, 0, 0, 0, 0);
}

}  // namespace

TEST(EffectComponent, PolygonModeWithoutPointsIsRefusedWithFive) {
    TVIkEffect e;
    e.ImgHandle = create(8, 8, 24, 0, 0, 0);
    ASSERT_TRUE(e.Blur(1));
    Ikdllprocs::IKFreeMemory(e.ResultHandle);
    e.SelectMode = vikEffectPolygon;
    EXPECT_FALSE(e.Blur(1));
    EXPECT_EQ(e.ErrorStatus, IK_ERR_ARGUMENT);
    EXPECT_EQ(e.ResultHandle, 0u);
    const IKPoint tri[3] = {{0, 0}, {7, 0}, {0, 7}};
    ASSERT_TRUE(e.Blur(tri, 2, 1));
    Ikdllprocs::IKFreeMemory(e.ResultHandle);
    Ikdllprocs::IKFreeMemory(e.ImgHandle);
}

TEST(EffectComponent, AFailedOperationLeavesResultHandleZero) {
    TVIkEffect e;
    e.ImgHandle = create(8, 8, 24, 0, 0, 0);
    ASSERT_TRUE(e.SetGray());
    const IKHANDLE grey = e.ResultHandle;
    e.ImgHandle = 0;
    EXPECT_FALSE(e.ConvertColor(24, 0, 0, 0));
    EXPECT_EQ(e.ResultHandle, 0u);
    EXPECT_EQ(e.ErrorStatus, IK_ERR_IMAGE);
    e.ImgHandle = grey;
    EXPECT_FALSE(e.Resize(0, 4, true));
    EXPECT_EQ(e.ResultHandle, 0u);
    EXPECT_EQ(e.ResultHandle2, 0u);
    EXPECT_FALSE(e.OilPaint(1, 1));
    EXPECT_EQ(e.ErrorStatus, IK_ERR_FILTER);
    Ikdllprocs::IKFreeMemory(grey);
}

TEST(EffectComponent, ScanPreparationConvertsHalvesAndWhitens) {
    // An 8-bit grey sheet as the board delivers it, 24 bits and half size afterwards.
    TVIkCommon sheet;
    ASSERT_TRUE(sheet.CreateImage(40, 30, 8, 200, 200, 200));
    TVIkEffect e;
    e.ImgHandle = sheet.ImgHandle;
    ASSERT_TRUE(e.ConvertColor(24, 0, 0, 0));
    const IKHANDLE colour = e.ResultHandle;
    e.ImgHandle = colour;
    ASSERT_TRUE(e.Resize(20, 15, true));
    const IKHANDLE half = e.ResultHandle;
    Ikdllprocs::IKFreeMemory(colour);
    TVIkCommon out;
    out.ImgHandle = half;
    ASSERT_TRUE(out.GetImageType());
    EXPECT_EQ(out.BitCount, 24);
    EXPECT_EQ(out.Width, 20);
    EXPECT_EQ(out.Height, 15);

    int slot = -1;
    ASSERT_TRUE(e.StartDibAccess(half, slot));
    ASSERT_TRUE(e.SetDibPixel(slot, 0, 0, 181, 200, 250, 0));
    ASSERT_TRUE(e.SetDibPixel(slot, 1, 0, 180, 255, 255, 0));
    for (int x = 0; x < 2; ++x) {
        uint8_t r, g, b, z;
        ASSERT_TRUE(e.GetDibPixel(slot, x, 0, r, g, b, z));
        if (r > 180 && g > 180 && b > 180) ASSERT_TRUE(e.SetDibPixel(slot, x, 0, 255, 255, 255, 0));
    }
    uint8_t r, g, b, z;
    e.GetDibPixel(slot, 0, 0, r, g, b, z);
    EXPECT_EQ(r, 255);
    e.GetDibPixel(slot, 1, 0, r, g, b, z);
    EXPECT_EQ(r, 180);
    EXPECT_TRUE(e.EndDibAccess(slot));
}

TEST(EffectComponent, PixelAccessSlotRules) {
    TVIkEffect e;
    std::vector<IKHANDLE> images;
    for (int i = 0; i < 11; ++i) images.push_back(create(2, 2, 24, i, i, i));
    int slot = -1;
    EXPECT_FALSE(e.StartDibAccess(0, slot));
    EXPECT_EQ(e.ErrorStatus, IK_ERR_IMAGE);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(e.StartDibAccess(images[i], slot));
        EXPECT_EQ(slot, i);
    }
    EXPECT_FALSE(e.StartDibAccess(images[10], slot));  // the eleventh
    EXPECT_EQ(e.ErrorStatus, IK_ERR_ARGUMENT);
    ASSERT_TRUE(e.EndDibAccess(3));
    EXPECT_FALSE(e.StartDibAccess(images[4], slot));  // already open
    EXPECT_EQ(e.ErrorStatus, IK_ERR_ARGUMENT);
    ASSERT_TRUE(e.StartDibAccess(images[3], slot));   // open again after its end
    EXPECT_EQ(slot, 3);
    uint8_t a, b, c, d;
    EXPECT_FALSE(e.GetDibPixel(10, 0, 0, a, b, c, d));
    EXPECT_EQ(e.ErrorStatus, IK_ERR_ARGUMENT);
    EXPECT_FALSE(e.EndDibAccess(-1));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(e.EndDibAccess(i));
    EXPECT_FALSE(e.EndDibAccess(0));  // empty now
    for (IKHANDLE h : images) Ikdllprocs::IKFreeMemory(h);
}

TEST(EffectComponent, CaptureSmoothingMatrixAndLayers) {
    TVIkEffect e;
    e.SelectMode = vikEffectAll;
    e.ImgHandle = create(30, 20, 24, 90, 120, 150);
    std::vector<int32_t> m(81, 0);
    const int core[9] = {1, 1, 1, 1, 8, 1, 1, 1, 1};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[(r + 3) * 9 + c + 3] = core[r * 3 + c];
    ASSERT_TRUE(e.CustomFilter(m.data(), 80, 16, 0, true, true, true));
    const IKHANDLE filtered = e.ResultHandle;
    int slot;
    ASSERT_TRUE(e.StartDibAccess(filtered, slot));
    uint8_t r, g, b, z;
    ASSERT_TRUE(e.GetDibPixel(slot, 10, 10, r, g, b, z));
    EXPECT_EQ(r, 90);  // a flat picture stays flat
    EXPECT_EQ(b, 150);
    e.EndDibAccess(slot);
    const IKHANDLE top = create(5, 5, 24, 255, 255, 255);
    ASSERT_TRUE(e.Layer(filtered, top, 0, true, 255, 255, 255, 255, 255, 255, 1, 1, false));
    const IKHANDLE layered = e.ResultHandle;
    ASSERT_TRUE(e.StartDibAccess(layered, slot));
    ASSERT_TRUE(e.GetDibPixel(slot, 2, 2, r, g, b, z));
    EXPECT_EQ(r, 90);  // white was transparent
    e.EndDibAccess(slot);
    for (IKHANDLE h : {e.ImgHandle, filtered, top, layered}) Ikdllprocs::IKFreeMemory(h);
}

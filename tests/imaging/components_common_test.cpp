// TVIkCommon over the real engine: ownership rules, pictures, dpi, palette, clipboard.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPicture>

#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"

namespace {

uint32_t objects() { return Ikdllprocs::IKGetObjectCount ? Ikdllprocs::IKGetObjectCount() : 0; }

QImage sample() {
    QImage img(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) img.setPixel(x, y, qRgb(x * 30, y * 50, 200));
    return img;
}

}  // namespace

TEST(ImageObjectComponent, LoadsTheEngineFromTheProgramsLibraryFolder) {
    TVIkCommon c;
    EXPECT_TRUE(Ikinit::libraryLoaded(Ikdllprocs::Ik6Com)) << Ikinit::engineFolders();
    EXPECT_TRUE(Ikinit::libraryLoaded(Ikdllprocs::Ik6Effect));
    EXPECT_TRUE(Ikinit::libraryLoaded(Ikdllprocs::Ik6File));
    EXPECT_TRUE(Ikinit::libraryLoaded(Ikdllprocs::Ik6Print));
    EXPECT_TRUE(Ikinit::libraryLoaded(Ikdllprocs::Ik6Scan));
    EXPECT_NE(Ikdllprocs::IKGetImageType, nullptr);
}

TEST(ImageObjectComponent, FreeMemoryOnNoneOrAnInvalidImageKeepsTheHandle) {
    TVIkCommon c;
    EXPECT_FALSE(c.FreeMemory());
    EXPECT_EQ(c.ImgHandle, 0u);
    ASSERT_TRUE(c.CreateImage(4, 4, 24, 255, 255, 255));
    const IKHANDLE h = c.ImgHandle;
    ASSERT_TRUE(c.FreeMemory());
    EXPECT_EQ(c.ImgHandle, 0u);
    c.ImgHandle = h;  // stale now
    EXPECT_FALSE(c.FreeMemory());
    EXPECT_EQ(c.ImgHandle, h);
    EXPECT_EQ(c.ErrorStatus, IK_ERR_IMAGE);
    c.ImgHandle = 0;
}

TEST(ImageObjectComponent, ProducersOverwriteWithoutFreeingAndCopiesBelongToTheCaller) {
    TVIkCommon c;
    const uint32_t before = objects();
    ASSERT_TRUE(c.CreateImage(4, 4, 24, 255, 255, 255));
    const IKHANDLE first = c.ImgHandle;
    ASSERT_TRUE(c.CreateImage(2, 2, 8, 0, 0, 0));
    EXPECT_EQ(objects(), before + 2);  // the first image was not freed
    const IKHANDLE copy = c.CopyImage();
    EXPECT_NE(copy, 0u);
    EXPECT_NE(copy, c.ImgHandle);
    Ikdllprocs::IKFreeMemory(first);
    Ikdllprocs::IKFreeMemory(copy);
    ASSERT_TRUE(c.GetImageType());
    EXPECT_EQ(c.BitCount, 8);
    EXPECT_EQ(c.Width, 2);
    EXPECT_EQ(c.ImageKind, vikRasterImage);
}

TEST(ImageObjectComponent, DestructionFreesTheHeldImage) {
    const uint32_t before = objects();
    {
        TVIkCommon c;
        c.CreateImage(3, 3, 24, 0, 0, 0);
        EXPECT_EQ(objects(), before + 1);
    }
    TVIkCommon keepLoaded;
    EXPECT_EQ(objects(), before);
}

TEST(ImageObjectComponent, PicturesGoInAndComeBackOut) {
    TVIkCommon c;
    const QImage src = sample();
    c.SetPicture(src);
    ASSERT_NE(c.ImgHandle, 0u);
    ASSERT_TRUE(c.GetImageType());
    EXPECT_EQ(c.BitCount, 24);
    EXPECT_EQ(c.Width, 7);
    EXPECT_EQ(c.Height, 5);
    const QImage back = c.GetPicture();
    ASSERT_EQ(back.size(), src.size());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) ASSERT_EQ(back.pixel(x, y), src.pixel(x, y));
    QImage grey(3, 2, QImage::Format_Indexed8);
    grey.setColorCount(256);
    for (int i = 0; i < 256; ++i) grey.setColor(i, qRgb(i, i, i));
    grey.fill(9);
    c.SetPicture(grey);
    ASSERT_TRUE(c.GetImageType());
    EXPECT_EQ(c.BitCount, 8);
}

TEST(ImageObjectComponent, AnIconOrMetafileLeavesTheComponentEmpty) {
    TVIkCommon c;
    c.SetPicture(sample());
    const uint32_t held = objects();
    QPixmap pm(8, 8);
    pm.fill(Qt::red);
    c.SetPicture(QIcon(pm));
    EXPECT_EQ(c.ImgHandle, 0u);
    EXPECT_EQ(objects(), held - 1);  // the previous image was freed
    EXPECT_TRUE(c.GetPicture().isNull());
    c.SetPicture(sample());
    c.SetPicture(QPicture());
    EXPECT_EQ(c.ImgHandle, 0u);
    c.SetPicture(QImage());  // a null picture: also empty
    EXPECT_EQ(c.ImgHandle, 0u);
}

TEST(ImageObjectComponent, DpiSettersIgnoreNegativesAndReachTheImage) {
    TVIkCommon c;
    c.setXdpi(150);
    c.setXdpi(-1);
    EXPECT_EQ(c.Xdpi(), 150);
    c.setYdpi(-7);
    EXPECT_EQ(c.Ydpi(), 0);
    ASSERT_TRUE(c.CreateImage(2, 2, 24, 0, 0, 0));
    c.setYdpi(300);
    ASSERT_TRUE(c.SetDpi());
    c.setXdpi(1), c.setYdpi(1);
    ASSERT_TRUE(c.GetDpi());
    EXPECT_EQ(c.Xdpi(), 150);
    EXPECT_EQ(c.Ydpi(), 300);
}

TEST(ImageObjectComponent, PaletteAndOneBitCounts) {
    TVIkCommon c;
    QImage mono(10, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    for (int x = 0; x < 3; ++x) mono.setPixel(x, 0, 1);
    c.SetPicture(mono);
    int32_t zeros = 0, ones = 0;
    ASSERT_TRUE(c.GetOneBitPalCount(zeros, ones));
    EXPECT_EQ(zeros, 7);
    EXPECT_EQ(ones, 3);
    uint16_t rgb[6] = {}, info[2] = {};
    ASSERT_TRUE(c.GetPalette(rgb, 5, info, 1));
    EXPECT_EQ(info[0], 2);
    EXPECT_EQ(rgb[3], 255);
    EXPECT_EQ(c.GetSystemPalette(), 0);
}

TEST(ImageObjectComponent, ClipboardRoundTripThroughQt) {
    TVIkCommon c;
    c.SetPicture(sample());
    ASSERT_TRUE(c.SetToClipBrd()) << c.ErrorStatus;
    EXPECT_TRUE(c.IsClipBrdData());
    TVIkCommon d;
    ASSERT_TRUE(d.GetFromClipBrd()) << d.ErrorStatus;
    ASSERT_TRUE(d.GetImageType());
    EXPECT_EQ(d.Width, 7);
    EXPECT_EQ(d.GetPicture().pixel(3, 2), sample().pixel(3, 2));
    c.ClearClipBrd();
    EXPECT_FALSE(c.IsClipBrdData());
}

TEST(ImageObjectComponent, VectorImagesAreReportedAndRefusedByTheirOwnStatus) {
    TVIkCommon c;
    ASSERT_TRUE(c.CreateVectImageEx(vikCreateDXF, 0, 0, 10, 10));
    ASSERT_TRUE(c.GetImageType());
    EXPECT_EQ(c.ImageKind, vikVectorDXF);
    EXPECT_FALSE(c.VectToDib(c.ImgHandle, 10, 10, 255, 255, 255));
    EXPECT_EQ(c.ErrorStatus, IK_ERR_VECTOR);
    EXPECT_TRUE(c.GetPicture().isNull());  // a vector image has no picture
}

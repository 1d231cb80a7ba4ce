// Image transfers from the data source: image information, palettes, native, memory and file transfers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "ds_test_support.h"

using namespace q47::dstest;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

TW_IMAGEMEMXFER stripRequest(TW_UINT32 length, void* buffer, TW_UINT32 flags = TWMF_APPOWNS | TWMF_POINTER) {
    TW_IMAGEMEMXFER strip;
    std::memset(&strip, 0xEE, sizeof strip);
    strip.Memory.Flags = flags;
    strip.Memory.Length = length;
    strip.Memory.TheMem = buffer;
    return strip;
}

TEST(DsImageInfo, DescribesTheLastImageAtTheCurrentResolution) {
    OpenSource s;
    TW_IMAGEINFO info;
    std::memset(&info, 0x33, sizeof info);
    ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);  // even before any image
    EXPECT_EQ(+info.ImageWidth, 0);
    EXPECT_EQ(+info.ImageLength, 0);

    makePendingImage(s.source, 4001, 40, /*compress=*/true);
    TW_ONEVALUE res{TWTY_FIX32, 300};
    TW_CAPABILITY cap{ICAP_YRESOLUTION, TWON_ONEVALUE, &res};
    s.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(+info.XResolution.Whole, 200);
    EXPECT_EQ(+info.XResolution.Frac, 0);
    EXPECT_EQ(+info.YResolution.Whole, 300);
    EXPECT_EQ(+info.ImageWidth, 3008);  // the bitmap's row length
    EXPECT_EQ(+info.ImageLength, 40);
    EXPECT_EQ(info.SamplesPerPixel, 1);
    for (TW_INT16 bits : info.BitsPerSample) EXPECT_EQ(bits, 8);
    EXPECT_EQ(info.BitsPerPixel, 8);
    EXPECT_EQ(info.Planar, 0);
    EXPECT_EQ(info.PixelType, TWPT_PALETTE);
    EXPECT_EQ(info.Compression, TWCP_NONE);
}

TEST(DsPalette, GreyWhileTheColourLampIsOff) {
    OpenSource s;
    for (TW_UINT16 msg : {MSG_GET, MSG_GETDEFAULT}) {
        TW_PALETTE8 p{};
        ASSERT_EQ(s.call(DG_IMAGE, DAT_PALETTE8, msg, &p), TWRC_SUCCESS);
        EXPECT_EQ(p.NumColors, 256);
        EXPECT_EQ(p.PaletteType, TWPA_RGB);
        for (int i = 0; i < 256; ++i) {
            EXPECT_EQ(p.Colors[i].Index, i);
            EXPECT_EQ(p.Colors[i].Channel1, i);
            EXPECT_EQ(p.Colors[i].Channel3, i);
        }
    }
}

TEST(DsPalette, ColourPaletteAndItsDefaultDifferInBlue) {
    OpenSource s;
    s.source.globals().imageBuffer.colour = true;
    TW_PALETTE8 current{}, defaults{};
    ASSERT_EQ(s.call(DG_IMAGE, DAT_PALETTE8, MSG_GET, &current), TWRC_SUCCESS);
    ASSERT_EQ(s.call(DG_IMAGE, DAT_PALETTE8, MSG_GETDEFAULT, &defaults), TWRC_SUCCESS);
    // Index 0b101'011'10: red level 5, green level 3, blue level 2.
    const TW_ELEMENT8& c = current.Colors[0xAE];
    EXPECT_EQ(c.Index, 0xAE);
    EXPECT_EQ(c.Channel1, 0xBF);
    EXPECT_EQ(c.Channel2, 0x60);
    EXPECT_EQ(c.Channel3, 0xBF);
    EXPECT_EQ(defaults.Colors[0xAE].Channel1, 0xBF);
    EXPECT_EQ(defaults.Colors[0xAE].Channel3, 0x40);
    // Black and white stay pure in both.
    for (const TW_PALETTE8* p : {&current, &defaults}) {
        EXPECT_EQ(p->Colors[0].Channel1 | p->Colors[0].Channel2 | p->Colors[0].Channel3, 0);
        EXPECT_EQ(p->Colors[255].Channel1 & p->Colors[255].Channel2 & p->Colors[255].Channel3, 255);
    }
    EXPECT_EQ(defaults.Colors[254].Channel3, 0x40);
    TW_PALETTE8 unchanged{};
    EXPECT_EQ(s.call(DG_IMAGE, DAT_PALETTE8, MSG_RESET, &unchanged), TWRC_SUCCESS);
}

TEST(DsNativeTransfer, HandsOverTheUprightDibInTheManagersMemoryOnce) {
    OpenSource s;
    RecordingManager& m = RecordingManager::instance();
    makePendingImage(s.source, 100, 37, false);  // rowBytes 128, an odd row count
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    ASSERT_TRUE(m.owns(dib)) << "the application frees the DIB with DSM_MemFree";

    const auto* bytes = static_cast<const uint8_t*>(dib);
    int32_t width, height;
    std::memcpy(&width, bytes + 4, 4);
    std::memcpy(&height, bytes + 8, 4);
    EXPECT_EQ(width, 128);
    EXPECT_EQ(height, 37);  // bottom-up
    // Bottom-up rows: DIB row r is picture row H-1-r, counted from the top.
    const std::vector<uint8_t> picture = uprightPicture(100, 37);
    const uint8_t* pixels = bytes + 1064;
    for (int r = 0; r < 37; ++r)
        ASSERT_EQ(std::memcmp(pixels + r * 128, picture.data() + (36 - r) * 128, 128), 0) << "row " << r;

    TW_PENDINGXFERS pending{};
    s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    EXPECT_EQ(+pending.Count, 0);
    TW_HANDLE again = nullptr;
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &again), TWRC_FAILURE);
    EXPECT_EQ(again, nullptr);
    managerFree(dib);
    EXPECT_EQ(m.foreignFrees, 0);
}

TEST(DsMemoryTransfer, BufferSizesOutsideTheSetupAreRefused) {
    OpenSource s;
    TW_SETUPMEMXFER setup{};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(+setup.MinBufSize, 8192u);
    EXPECT_EQ(+setup.MaxBufSize, 262144u);
    EXPECT_EQ(+setup.Preferred, 65536u);

    std::vector<uint8_t> buffer(300000);
    TW_IMAGEMEMXFER strip = stripRequest(65536, buffer.data());
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);  // no image
    EXPECT_EQ(s.condition(), TWCC_BADVALUE);

    makePendingImage(s.source, 4001, 50, true);
    for (TW_UINT32 bad : {8191u, 262145u}) {
        strip = stripRequest(bad, buffer.data());
        EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE) << bad;
        EXPECT_EQ(s.condition(), TWCC_BADVALUE);
    }
    EXPECT_EQ(s.source.nextRow(), 0u);
    strip = stripRequest(8192, buffer.data());
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_SUCCESS);
    EXPECT_EQ(+strip.Rows, 2u);
}

TEST(DsMemoryTransfer, StripsOf21RowsOf3008BytesEndWithXferDone) {
    OpenSource s;
    makePendingImage(s.source, 4001, 50, /*compress=*/true);
    const auto* dib = static_cast<const uint8_t*>(s.source.globals().imageBuffer.pendingImage.handle());
    std::vector<uint8_t> buffer(65536), received;
    const TW_UINT32 expectedRows[] = {21, 21, 8};
    for (int i = 0; i < 3; ++i) {
        TW_IMAGEMEMXFER strip = stripRequest(65536, buffer.data());
        const TW_UINT16 rc = s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        EXPECT_EQ(rc, i < 2 ? TWRC_SUCCESS : TWRC_XFERDONE) << "strip " << i;
        EXPECT_EQ(strip.Compression, TWCP_NONE);
        EXPECT_EQ(+strip.BytesPerRow, 3008u);
        EXPECT_EQ(+strip.Columns, 3008u);
        EXPECT_EQ(+strip.Rows, expectedRows[i]);
        EXPECT_EQ(+strip.XOffset, 0u);
        EXPECT_EQ(+strip.YOffset, 21u * i);
        EXPECT_EQ(+strip.BytesWritten, 3008u * expectedRows[i]);
        received.insert(received.end(), buffer.begin(), buffer.begin() + strip.BytesWritten);
    }
    EXPECT_EQ(s.source.nextRow(), 0u);
    // In the DIB's own row order, unswapped; the image stays pending for another round.
    ASSERT_EQ(received.size(), 3008u * 50);
    EXPECT_EQ(std::memcmp(received.data(), dib + 1064, received.size()), 0);
    TW_PENDINGXFERS pending{};
    s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    EXPECT_EQ(+pending.Count, 1);
    TW_IMAGEMEMXFER again = stripRequest(65536, buffer.data());
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &again), TWRC_SUCCESS);
    EXPECT_EQ(+again.YOffset, 0u);
}

TEST(DsMemoryTransfer, StripsDeliverTheSheetUprightFromItsTop) {
    OpenSource s;
    makePendingImage(s.source, 100, 300, false);
    std::vector<uint8_t> buffer(8192), received;
    TW_UINT16 rc;
    do {
        TW_IMAGEMEMXFER strip = stripRequest(8192, buffer.data());
        rc = s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        ASSERT_NE(rc, TWRC_FAILURE);
        received.insert(received.end(), buffer.begin(), buffer.begin() + strip.BytesWritten);
    } while (rc == TWRC_SUCCESS);
    EXPECT_EQ(received, uprightPicture(100, 300));
}

TEST(DsMemoryTransfer, HandleBuffersAreLockedAndBuffersWithoutAFlagGetNothing) {
    OpenSource s;
    makePendingImage(s.source, 64, 200, false);
    TW_HANDLE handle = RecordingManager::entryPoints().DSM_MemAllocate(8192);
    TW_IMAGEMEMXFER strip = stripRequest(8192, handle, TWMF_APPOWNS | TWMF_HANDLE);
    ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_SUCCESS);
    EXPECT_EQ(+strip.Rows, 128u);
    const std::vector<uint8_t> picture = uprightPicture(64, 200);
    EXPECT_EQ(std::memcmp(handle, picture.data(), strip.BytesWritten), 0);
    managerFree(handle);

    std::vector<uint8_t> untouched(8192, 0x11);
    TW_IMAGEMEMXFER noFlag = stripRequest(8192, untouched.data(), TWMF_APPOWNS);
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &noFlag), TWRC_XFERDONE);
    EXPECT_EQ(+noFlag.Rows, 72u);  // reported all the same
    EXPECT_EQ(+noFlag.YOffset, 128u);
    EXPECT_EQ(untouched, std::vector<uint8_t>(8192, 0x11));
}

TEST(DsFileTransfer, WritesTheDibAsABmpWithUprightRows) {
    OpenSource s;
    TempDir dir;
    makePendingImage(s.source, 4001, 30, /*compress=*/true);  // allocation larger than the pixel rows
    const size_t dibBytes = s.source.globals().imageBuffer.pendingImage.size();
    ASSERT_EQ(dibBytes, 30u * 4032 + 1064);

    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, dir.file("scan.bmp").c_str());
    setup.Format = TWFF_BMP;
    ASSERT_EQ(s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);

    const std::string file = slurp(dir.file("scan.bmp"));
    ASSERT_EQ(file.size(), dibBytes + 14);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(le32(file, 2), dibBytes + 14);
    EXPECT_EQ(le32(file, 6), 0u);
    EXPECT_EQ(le32(file, 10), 1078u);

    // The file transfer stays pending; a native transfer afterwards gives the same
    // header, palette and rows as the file holds.
    TW_PENDINGXFERS pending{};
    s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    ASSERT_EQ(+pending.Count, 1);
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    EXPECT_EQ(std::memcmp(file.data() + 14, dib, 1064 + 3008 * 30), 0);
    // Beyond the pixel rows the block is written as it was allocated.
    EXPECT_EQ(std::memcmp(file.data() + 14 + 1064 + 3008 * 30,
                          static_cast<uint8_t*>(dib) + 1064 + 3008 * 30, 30 * (4032 - 3008)),
              0);
    managerFree(dib);
}

TEST(DsFileTransfer, FailsWithoutAnImageOrAWritableFile) {
    OpenSource s;
    TempDir dir;
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, dir.file("none.bmp").c_str());
    setup.Format = TWFF_BMP;
    s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_OPERATIONERROR);

    makePendingImage(s.source, 64, 10, false);
    std::strcpy(setup.FileName, dir.file("no/such/folder/x.bmp").c_str());
    s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_OPERATIONERROR);
    TW_PENDINGXFERS pending{};
    s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    EXPECT_EQ(+pending.Count, 1);  // the image is still there for another try
}

TEST(DsFileTransfer, SetupTellsTheTargetOnlyToABmpCaller) {
    OpenSource s;
    TW_SETUPFILEXFER setup{};
    setup.Format = TWFF_TIFF;  // 0
    EXPECT_EQ(s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_BADVALUE);
    EXPECT_STREQ(setup.FileName, "");

    setup.Format = TWFF_BMP;
    ASSERT_EQ(s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_STREQ(setup.FileName, "Q47Img.bmp");
    EXPECT_EQ(+setup.Format, TWFF_BMP);

    TW_SETUPFILEXFER mine{};
    std::memset(mine.FileName, 'a', sizeof mine.FileName);  // no terminating zero at all
    mine.Format = TWFF_BMP;
    ASSERT_EQ(s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &mine), TWRC_SUCCESS);
    EXPECT_EQ(s.source.fileName(), std::string(255, 'a'));

    TW_SETUPFILEXFER def{};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, &def), TWRC_SUCCESS);
    EXPECT_STREQ(def.FileName, "Q47Img.bmp");
    EXPECT_EQ(+def.Format, TWFF_BMP);
}

TEST(DsPendingTransfers, EndingKeepsTheImageAndResettingFreesIt) {
    OpenSource s;
    RecordingManager& m = RecordingManager::instance();
    makePendingImage(s.source, 64, 10, false);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 1);
    pending.Count = 5;
    ASSERT_EQ(s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    EXPECT_EQ(m.live.size(), 1u);
    pending.Count = 5;
    ASSERT_EQ(s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    EXPECT_TRUE(m.live.empty());
    EXPECT_EQ(m.foreignFrees, 0);
}

TEST(DsImageLayout, ReportsPageOneAndLeavesTheFrame) {
    OpenSource s;
    for (TW_UINT16 msg : {MSG_GET, MSG_GETDEFAULT, MSG_RESET}) {
        TW_IMAGELAYOUT layout{};
        layout.Frame.Right.Whole = 8;
        layout.Frame.Bottom.Whole = 11;
        ASSERT_EQ(s.call(DG_IMAGE, DAT_IMAGELAYOUT, msg, &layout), TWRC_SUCCESS);
        EXPECT_EQ(+layout.DocumentNumber, 1u);
        EXPECT_EQ(+layout.PageNumber, 1u);
        EXPECT_EQ(+layout.FrameNumber, 1u);
        EXPECT_EQ(+layout.Frame.Right.Whole, 8);
        EXPECT_EQ(+layout.Frame.Bottom.Whole, 11);
    }
    TW_IMAGELAYOUT set{};
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &set), TWRC_SUCCESS);
    TW_UINT32 group = 0;
    ASSERT_EQ(s.call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
    EXPECT_EQ(group, DG_IMAGE);
}

}  // namespace

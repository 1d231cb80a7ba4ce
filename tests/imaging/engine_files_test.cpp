// File entries: round trips of every format, options read back by an independent reader
// (ImageMagick), files written by it loaded here, detection and descriptions.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

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

void expectSamePixels(const DibImage& a, const DibImage& b, const std::string& what) {
    ASSERT_EQ(a.width(), b.width()) << what;
    ASSERT_EQ(a.height(), b.height()) << what;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            ASSERT_EQ(colourAt(a, x, y), colourAt(b, x, y)) << what << " at " << x << "," << y;
}

// Mean absolute channel difference, for lossy formats.
double meanError(const DibImage& a, const DibImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const uint32_t p = colourAt(a, x, y), q = colourAt(b, x, y);
            for (int s = 0; s < 24; s += 8) sum += std::abs(int((p >> s) & 255) - int((q >> s) & 255));
        }
    return sum / (3.0 * a.width() * a.height());
}

// A smooth picture that JPEG keeps close.
DibImage smooth24(int w, int h) {
    DibImage img = DibImage::create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / w), p[1] = static_cast<uint8_t>(y * 255 / h), p[2] = 128;
        }
    return img;
}

class FileEntries : public ::testing::Test {
protected:
    std::string dir = tempDir("files");
    std::string path(const std::string& name) { return dir + "/" + name; }
    DibImage loadBack(const std::string& file) {
        const IKHANDLE h = IKFileLoad(file.c_str(), 0, 0, 0, nullptr, "", "", "");
        EXPECT_NE(h, 0u) << file << " status " << IKGetErrorStatus();
        DibImage img = fetch(h);
        IKFreeMemory(h);
        return img;
    }
};

}  // namespace

TEST_F(FileEntries, LosslessFormatsRoundTripEveryDepth) {
    for (int bits : {1, 4, 8, 24}) {
        const DibImage src = bits == 24 ? gradient24(37, 11) : pattern(37, 11, bits);
        const IKHANDLE h = import(src);
        const std::string tag = std::to_string(bits);
        ASSERT_TRUE(IKBmpFileSave(path("a" + tag + ".bmp").c_str(), h, 0, nullptr, "", "", ""));
        ASSERT_TRUE(IKBmpFileSave(path("r" + tag + ".bmp").c_str(), h, -1, nullptr, "", "", ""));
        ASSERT_TRUE(IKPcxFileSave(path("a" + tag + ".pcx").c_str(), h, nullptr, "", "", ""));
        ASSERT_TRUE(IKPngFileSaveEx(path("a" + tag + ".png").c_str(), h, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""));
        ASSERT_TRUE(IKPngFileSaveEx(path("i" + tag + ".png").c_str(), h, -1, 0, 0, 0, 0, 0, "", nullptr, "", "", ""));
        for (int c : {0, 5, 6})
            ASSERT_TRUE(IKTiffFileSave(path("c" + std::to_string(c) + "_" + tag + ".tif").c_str(), h, c, 0, 0, "", 0,
                                       nullptr, "", "", ""));
        expectSamePixels(src, loadBack(path("a" + tag + ".bmp")), "bmp " + tag);
        expectSamePixels(src, loadBack(path("r" + tag + ".bmp")), "rle bmp " + tag);
        if (bits != 1) expectSamePixels(src, loadBack(path("a" + tag + ".pcx")), "pcx " + tag);
        expectSamePixels(src, loadBack(path("a" + tag + ".png")), "png " + tag);
        expectSamePixels(src, loadBack(path("i" + tag + ".png")), "interlaced png " + tag);
        for (int c : {0, 5, 6})
            expectSamePixels(src, loadBack(path("c" + std::to_string(c) + "_" + tag + ".tif")), "tiff " + tag);
        if (bits <= 8) {
            ASSERT_TRUE(IKGifFileSave(path("a" + tag + ".gif").c_str(), h, 0, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""));
            ASSERT_TRUE(IKGifFileSave(path("i" + tag + ".gif").c_str(), h, -1, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""));
            expectSamePixels(src, loadBack(path("a" + tag + ".gif")), "gif " + tag);
            expectSamePixels(src, loadBack(path("i" + tag + ".gif")), "interlaced gif " + tag);
        }
        IKFreeMemory(h);
    }
}

TEST_F(FileEntries, BlackAndWhiteGoesThroughTheFaxCodings) {
    DibImage src = pattern(70, 9, 1);
    src.palette()[0] = RgbQuad{0, 0, 0, 0};
    src.palette()[1] = RgbQuad{255, 255, 255, 0};
    const IKHANDLE h = import(src);
    for (int c = 1; c <= 4; ++c) {
        const std::string f = path("fax" + std::to_string(c) + ".tif");
        ASSERT_TRUE(IKTiffFileSave(f.c_str(), h, c, 0, 0, "", -1, nullptr, "", "", "")) << c;
        expectSamePixels(src, loadBack(f), "fax " + std::to_string(c));
    }
    expectSamePixels(src, loadBack(path("fax1.tif")), "pcx");
    ASSERT_TRUE(IKPcxFileSave(path("bw.pcx").c_str(), h, nullptr, "", "", ""));
    expectSamePixels(src, loadBack(path("bw.pcx")), "pcx 1 bit");
    const IKHANDLE colour = import(gradient24(8, 8));
    EXPECT_FALSE(IKTiffFileSave(path("no.tif").c_str(), colour, 4, 0, 0, "", 0, nullptr, "", "", ""));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_BIT_DEPTH);
    IKFreeMemory(h);
    IKFreeMemory(colour);
}

TEST_F(FileEntries, TiffAppendAddsPagesAndCmykComesBackClose) {
    const IKHANDLE a = import(gradient24(16, 8)), b = import(pattern(5, 5, 8));
    const std::string f = path("pages.tif");
    ASSERT_TRUE(IKTiffFileSave(f.c_str(), a, 6, 1, 0, "first", 0, nullptr, "", "", ""));
    ASSERT_TRUE(IKTiffFileSave(f.c_str(), b, 5, 0, -1, "second", -1, nullptr, "", "", ""));
    const IKHANDLE page1 = IKTiffFileLoad(f.c_str(), 1, nullptr, "", "", "");
    ASSERT_NE(page1, 0u);
    expectSamePixels(fetch(b), fetch(page1), "second page");
    const IKHANDLE page0 = IKTiffFileLoad(f.c_str(), 0, nullptr, "", "", "");
    EXPECT_LT(meanError(fetch(a), fetch(page0)), 1.5);  // CMYK there and back
    EXPECT_EQ(IKTiffFileLoad(f.c_str(), 5, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_PAGE);
    IKFileInfo info;
    ASSERT_TRUE(IKFileType(f.c_str(), 0, &info));
    EXPECT_EQ(info.format, IK_FMT_TIFF);
    EXPECT_EQ(info.pages, 2);
    EXPECT_STREQ(info.comment, "first");
    for (IKHANDLE h : {a, b, page0, page1}) IKFreeMemory(h);
}

TEST_F(FileEntries, JpegKeepsThePictureCloseAndReportsProgressiveAndComment) {
    const DibImage src = smooth24(64, 48);
    const IKHANDLE h = import(src);
    const std::string f = path("p.jpg");
    ASSERT_TRUE(IKJpegFileSave(f.c_str(), h, 1, 90, 2, "hello board", nullptr, "", "", ""));
    EXPECT_LT(meanError(src, loadBack(f)), 3.0);
    IKFileInfo info;
    ASSERT_TRUE(IKFileType(f.c_str(), 0, &info));
    EXPECT_EQ(info.format, IK_FMT_JPEG);
    EXPECT_EQ(info.interlace, 1);
    EXPECT_STREQ(info.comment, "hello board");
    EXPECT_EQ(info.width, 64);
    IKFreeMemory(h);
}

TEST_F(FileEntries, JpegQualityZeroMeansTheUsualQualityNotTheCoarsest) {
    const IKHANDLE h = import(gradient24(64, 48));
    auto saved = [&](int quality) {
        const std::string path = dir + "/q" + std::to_string(quality) + ".jpg";
        EXPECT_NE(IKJpegFileSave(path.c_str(), h, 0, static_cast<int16_t>(quality), 0, "", nullptr, "", "", ""), 0);
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    };
    const std::string zero = saved(0), usual = saved(75), coarsest = saved(1);
    ASSERT_FALSE(zero.empty());
    EXPECT_EQ(zero, usual);
    EXPECT_NE(zero, coarsest);
    IKFreeMemory(h);
}

TEST_F(FileEntries, TransparentColourAndCommentsAreWritten) {
    const IKHANDLE h = import(pattern(9, 9, 8));
    const RgbQuad c = fetch(h).palette()[2];
    ASSERT_TRUE(IKGifFileSave(path("t.gif").c_str(), h, 0, -1, c.rgbRed, c.rgbGreen, c.rgbBlue, -1, 20, "gif note",
                              nullptr, "", "", ""));
    ASSERT_TRUE(IKPngFileSaveEx(path("t.png").c_str(), h, -1, -1, c.rgbRed, c.rgbGreen, c.rgbBlue, 0, "png note",
                                nullptr, "", "", ""));
    IKFileInfo info;
    ASSERT_TRUE(IKFileType(path("t.gif").c_str(), 0, &info));
    EXPECT_STREQ(info.comment, "gif note");
    ASSERT_TRUE(IKFileType(path("t.png").c_str(), 0, &info));
    EXPECT_STREQ(info.comment, "png note");
    EXPECT_EQ(info.interlace, 1);
    expectSamePixels(fetch(h), loadBack(path("t.gif")), "gif with extensions");
    IKFreeMemory(h);
}

TEST_F(FileEntries, FormatIsTakenFromTheContentNotTheName) {
    const IKHANDLE h = import(gradient24(6, 6));
    const std::string f = path("really_png.jpg");
    ASSERT_TRUE(IKPngFileSaveEx(f.c_str(), h, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""));
    expectSamePixels(fetch(h), loadBack(f), "detected png");
    EXPECT_EQ(IKJpegFileLoad(f.c_str(), nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILE_FORMAT);
    IKFreeMemory(h);
}

TEST_F(FileEntries, FormatsNotServedAndMissingFilesHaveTheirOwnStatus) {
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    };
    const std::string fpx = write("x.fpx", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'));
    const std::string wmf = write("x.wmf", std::string("\xD7\xCD\xC6\x9A", 4) + std::string(100, '\0'));
    const std::string txt = write("x.txt", "just some text, not a picture");
    EXPECT_EQ(IKFileLoad(fpx.c_str(), 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FLASHPIX);
    EXPECT_EQ(IKFileLoad(wmf.c_str(), 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_VECTOR);
    EXPECT_EQ(IKFileLoad(txt.c_str(), 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(IKFileLoad(path("none.png").c_str(), 0, 0, 0, nullptr, "", "", ""), 0u);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILE_OPEN);
    IKFileInfo info;
    EXPECT_FALSE(IKFileType(wmf.c_str(), 0, &info));
    EXPECT_EQ(info.format, IK_FMT_WMF);
    const IKHANDLE h = import(gradient24(2, 2));
    EXPECT_FALSE(IKFpxFileSave(path("y.fpx").c_str(), h, 0, 0, "", nullptr, "", "", ""));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FLASHPIX);
    EXPECT_FALSE(IKPngFileSaveEx("/nonexistent_dir/x.png", h, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILE_OPEN);
    EXPECT_FALSE(IKFTPGetFile("h", "u", "p", "r", 21, "l", nullptr, "", "", ""));
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_NETWORK);
    IKFreeMemory(h);
}

// ---- the independent reader ----

TEST_F(FileEntries, ImageMagickReadsOurJpegSubsamplingQualityAndComment) {
    REQUIRE_IMAGEMAGICK();
    const IKHANDLE h = import(smooth24(64, 32));
    const char* expected[3] = {"2x2,1x1,1x1", "2x1,1x1,1x1", "1x1,1x1,1x1"};
    for (int s = 0; s < 3; ++s) {
        const std::string f = path("s" + std::to_string(s) + ".jpg");
        ASSERT_TRUE(IKJpegFileSave(f.c_str(), h, 0, 85, s, "note 1", nullptr, "", "", ""));
        const std::string out = run("identify -format '%w %h %[jpeg:sampling-factor] %Q %c' " + f);
        EXPECT_EQ(out, std::string("64 32 ") + expected[s] + " 85 note 1") << out;
    }
    IKFreeMemory(h);
}

TEST_F(FileEntries, ImageMagickReadsOurLosslessFilesPixelForPixel) {
    REQUIRE_IMAGEMAGICK();
    const DibImage src = gradient24(23, 7);
    const IKHANDLE h = import(src);
    ASSERT_TRUE(IKPngFileSaveEx(path("m.png").c_str(), h, 0, 0, 0, 0, 0, 0, "pc", nullptr, "", "", ""));
    ASSERT_TRUE(IKTiffFileSave(path("m.tif").c_str(), h, 6, 0, 0, "tc", 0, nullptr, "", "", ""));
    ASSERT_TRUE(IKBmpFileSave(path("m.bmp").c_str(), h, 0, nullptr, "", "", ""));
    ASSERT_TRUE(IKPcxFileSave(path("m.pcx").c_str(), h, nullptr, "", "", ""));
    std::string expected;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 23; ++x) {
            const uint32_t c = colourAt(src, x, y);
            expected += static_cast<char>(c >> 16), expected += static_cast<char>(c >> 8), expected += static_cast<char>(c);
        }
    for (const char* f : {"m.png", "m.tif", "m.bmp", "m.pcx"})
        EXPECT_TRUE(run("convert " + path(f) + " -depth 8 rgb:-") == expected) << f;
    EXPECT_EQ(run("identify -format '%c' " + path("m.png")), "pc");
    EXPECT_EQ(run("identify -format '%C %[tiff:rows-per-strip]' " + path("m.tif")).substr(0, 3), "LZW");
    const IKHANDLE pal = import(pattern(16, 4, 8));
    ASSERT_TRUE(IKGifFileSave(path("m.gif").c_str(), pal, -1, 0, 0, 0, 0, 0, 0, "gc", nullptr, "", "", ""));
    EXPECT_EQ(run("identify -format '%w %h %c %[interlace]' " + path("m.gif")), "16 4 gc GIF");
    IKFreeMemory(h);
    IKFreeMemory(pal);
}

TEST_F(FileEntries, FilesWrittenByImageMagickLoadHere) {
    REQUIRE_IMAGEMAGICK();
    const DibImage src = gradient24(29, 13);
    const IKHANDLE h = import(src);
    ASSERT_TRUE(IKBmpFileSave(path("src.bmp").c_str(), h, 0, nullptr, "", "", ""));
    for (const char* ext : {"png", "tif", "pcx", "bmp3", "ppm"}) {
        std::string target = std::string("im.") + ext;
        if (std::string(ext) == "bmp3") target = "bmp3:" + path("im3.bmp");
        else target = path(target);
        run("convert " + path("src.bmp") + " " + (std::string(ext) == "tif" ? "-compress lzw " : "") + target);
    }
    expectSamePixels(src, loadBack(path("im.png")), "ImageMagick png");
    expectSamePixels(src, loadBack(path("im.tif")), "ImageMagick tiff");
    expectSamePixels(src, loadBack(path("im.pcx")), "ImageMagick pcx");
    expectSamePixels(src, loadBack(path("im3.bmp")), "ImageMagick bmp");
    run("convert " + path("src.bmp") + " -quality 95 -interlace JPEG " + path("im.jpg"));
    EXPECT_LT(meanError(src, loadBack(path("im.jpg"))), 6.0);
    run("convert " + path("src.bmp") + " -colors 16 -compress RLE bmp3:" + path("rle.bmp"));
    run("convert " + path("rle.bmp") + " -depth 8 " + path("rle_ref.png"));
    expectSamePixels(loadBack(path("rle_ref.png")), loadBack(path("rle.bmp")), "ImageMagick RLE bmp");
    run("convert " + path("src.bmp") + " -colors 64 -interlace GIF " + path("im.gif"));
    run("convert " + path("im.gif") + " " + path("gif_ref.png"));
    expectSamePixels(loadBack(path("gif_ref.png")), loadBack(path("im.gif")), "ImageMagick gif");
    IKFreeMemory(h);
}

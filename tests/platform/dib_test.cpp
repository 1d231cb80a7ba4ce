// Packed DIBs: geometry, building, and .bmp files written and read back, bad ones refused.
#include "platform/dib.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "temp_folder.h"

namespace q47::dib {
namespace {

using q47::testing::readFile;
using q47::testing::TempFolder;
using q47::testing::writeFile;

BitmapInfoHeader& headerOf(std::vector<uint8_t>& dib) {
    return *reinterpret_cast<BitmapInfoHeader*>(dib.data());
}

// A DIB whose every byte after the header differs, so misplaced copies show.
std::vector<uint8_t> patterned(int w, int h, int bits, int palette = -1) {
    std::vector<uint8_t> dib = make(w, h, bits, palette, 200);
    for (size_t i = sizeof(BitmapInfoHeader); i < dib.size(); ++i)
        dib[i] = static_cast<uint8_t>(i * 7 + 3);
    return dib;
}

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

TEST(DibGeometry, RowsArePaddedToWholeWords) {
    EXPECT_EQ(rowStride(1, 1), 4u);
    EXPECT_EQ(rowStride(32, 1), 4u);
    EXPECT_EQ(rowStride(33, 1), 8u);
    EXPECT_EQ(rowStride(9, 4), 8u);
    EXPECT_EQ(rowStride(5, 8), 8u);
    EXPECT_EQ(rowStride(3, 24), 12u);
    EXPECT_EQ(rowStride(1728, 8), 1728u);
    EXPECT_EQ(rowStride(INT_MAX, 32), size_t{INT_MAX} * 4);
}

TEST(DibGeometry, PaletteEntriesAndResolution) {
    BitmapInfoHeader h;
    h.biBitCount = 8;
    EXPECT_EQ(paletteEntries(h), 256u);
    h.biBitCount = 1;
    EXPECT_EQ(paletteEntries(h), 2u);
    h.biClrUsed = 16;
    EXPECT_EQ(paletteEntries(h), 16u);
    h.biClrUsed = 0;
    h.biBitCount = 24;
    EXPECT_EQ(paletteEntries(h), 0u);
    EXPECT_EQ(dpiToPelsPerMeter(200), 7874);
    EXPECT_EQ(dpiToPelsPerMeter(96), 3780);
    EXPECT_EQ(dpiToPelsPerMeter(300), 11811);
}

TEST(DibMake, BuildsAHeaderPaletteAndZeroedPixels) {
    std::vector<uint8_t> dib = make(5, 3, 8, -1, 200);
    ASSERT_EQ(dib.size(), 40u + 256 * 4 + 8 * 3);
    View v;
    ASSERT_TRUE(parse(dib.data(), dib.size(), &v));
    EXPECT_EQ(v.width, 5);
    EXPECT_EQ(v.height, 3);
    EXPECT_EQ(v.stride, 8u);
    EXPECT_EQ(v.paletteCount, 256u);
    EXPECT_TRUE(v.bottomUp);
    EXPECT_EQ(v.header->biSizeImage, 24u);
    EXPECT_EQ(v.header->biXPelsPerMeter, 7874);
    EXPECT_EQ(v.header->biClrUsed, 0u);
    EXPECT_EQ(v.pixels, dib.data() + 40 + 1024);

    std::vector<uint8_t> small = make(8, 1, 1, 2);
    ASSERT_TRUE(parse(small.data(), small.size(), &v));
    EXPECT_EQ(v.paletteCount, 2u);
    EXPECT_EQ(small.size(), 40u + 8 + 4);
}

TEST(DibMake, RefusesImpossiblePictures) {
    EXPECT_TRUE(make(0, 5, 8).empty());
    EXPECT_TRUE(make(-3, 5, 8).empty());
    EXPECT_TRUE(make(5, 0, 8).empty());
    EXPECT_TRUE(make(5, 5, 7).empty());
    EXPECT_TRUE(make(5, 5, 8, 257).empty());
    EXPECT_TRUE(make(INT_MAX, INT_MAX, 32).empty());
}

TEST(DibParse, RowsCountFromTheTopEitherWay) {
    std::vector<uint8_t> up = make(4, 3, 8, 0);
    View v;
    ASSERT_TRUE(parse(up.data(), up.size(), &v));
    EXPECT_EQ(v.rowFromTop(0), v.pixels + 2 * 4);
    EXPECT_EQ(v.rowFromTop(2), v.pixels);

    std::vector<uint8_t> down = make(4, -3, 8, 0);
    ASSERT_TRUE(parse(down.data(), down.size(), &v));
    EXPECT_FALSE(v.bottomUp);
    EXPECT_EQ(v.height, 3);
    EXPECT_EQ(v.rowFromTop(0), v.pixels);
}

TEST(DibParse, RefusesBadGeometryAndShortBuffers) {
    const std::vector<uint8_t> good = make(7, 5, 4);
    View v;
    ASSERT_TRUE(parse(good.data(), good.size(), &v));
    EXPECT_FALSE(parse(good.data(), good.size() - 1, &v));
    EXPECT_FALSE(parse(good.data(), 39, &v));
    EXPECT_FALSE(parse(nullptr, 100, &v));

    const auto refuses = [&](auto change) {
        std::vector<uint8_t> d = good;
        change(headerOf(d));
        return !parse(d.data(), d.size(), &v);
    };
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biSize = 12; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biSize = 41; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biSize = 124; }));  // no room for it
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biPlanes = 2; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biBitCount = 2; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biCompression = 2; }));  // RLE4
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biWidth = 0; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biWidth = -7; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biHeight = 0; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biHeight = INT_MIN; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biHeight = 6; }));
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) { h.biClrUsed = 17; }));  // 4 bits: 16 at most
    EXPECT_TRUE(refuses([](BitmapInfoHeader& h) {
        h.biWidth = INT_MAX;  // stride times height beyond any buffer, no overflow
        h.biHeight = INT_MAX;
        h.biBitCount = 32;
        h.biClrUsed = 0;
    }));
    EXPECT_FALSE(refuses([](BitmapInfoHeader& h) { h.biClrUsed = 3; }));  // smaller table fits
}

// --- .bmp files ----------------------------------------------------------------

class BmpFile : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string path = tmp.file("Q47Img.bmp");
};

TEST_F(BmpFile, WrittenFileHasTheFileHeaderThenTheDibUnchanged) {
    const std::vector<uint8_t> dib = patterned(9, 4, 8);
    ASSERT_TRUE(writeBmpFile(path, dib.data(), dib.size()));
    const std::string file = readFile(path);
    ASSERT_EQ(file.size(), 14 + dib.size());
    BitmapFileHeader fh;
    std::memcpy(&fh, file.data(), sizeof fh);
    // Packed fields are copied out: a reference to one would be misaligned.
    const uint16_t type = fh.bfType;
    const uint32_t fileSize = fh.bfSize, offBits = fh.bfOffBits;
    EXPECT_EQ(type, 0x4D42);
    EXPECT_EQ(fileSize, 14 + dib.size());
    EXPECT_EQ(offBits, 14u + 40 + 1024);
    EXPECT_EQ(std::memcmp(file.data() + 14, dib.data(), dib.size()), 0);
}

TEST_F(BmpFile, RoundTripsEveryBitDepth) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int height : {3, -3}) {
            const std::vector<uint8_t> dib = patterned(13, height, bits);
            ASSERT_TRUE(writeBmpFile(path, dib.data(), dib.size())) << bits;
            std::vector<uint8_t> back;
            std::string error;
            ASSERT_TRUE(readBmpFile(path, &back, &error)) << bits << ": " << error;
            EXPECT_EQ(back, dib) << bits << " bits, height " << height;
        }
    }
}

TEST_F(BmpFile, WriteRefusesWhatIsNoDibAndUnwritablePlaces) {
    const std::vector<uint8_t> dib = make(4, 4, 24);
    EXPECT_FALSE(writeBmpFile(path, dib.data(), dib.size() - 1));
    EXPECT_FALSE(writeBmpFile(tmp.file("missing/x.bmp"), dib.data(), dib.size()));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(BmpFile, PixelOffsetIsHonouredAndHeaderSizesAreNotTrusted) {
    // A file from another program: a gap before the pixels, bfSize and biSizeImage 0.
    const std::vector<uint8_t> dib = patterned(3, 2, 8, 4);
    std::vector<uint8_t> file(14);
    const size_t tableEnd = 40 + 16;
    file.insert(file.end(), dib.begin(), dib.begin() + tableEnd);
    file.insert(file.end(), 6, 0xEE);
    file.insert(file.end(), dib.begin() + tableEnd, dib.end());
    BitmapFileHeader fh;
    fh.bfOffBits = static_cast<uint32_t>(14 + tableEnd + 6);
    std::memcpy(file.data(), &fh, sizeof fh);
    reinterpret_cast<BitmapInfoHeader*>(file.data() + 14)->biSizeImage = 0;

    std::vector<uint8_t> back;
    std::string error;
    ASSERT_TRUE(bmpBytesToDib(file.data(), file.size(), &back, &error)) << error;
    EXPECT_EQ(back, dib);
}

TEST_F(BmpFile, LargerHeadersAndPlainBitFieldsBecomeA40ByteDib) {
    // A V5 header (124 bytes) with the 32-bit masks of the plain layout.
    const std::vector<uint8_t> dib = patterned(2, 2, 32);
    std::vector<uint8_t> file(14 + 124, 0);
    BitmapInfoHeader h = headerOf(const_cast<std::vector<uint8_t>&>(dib));
    h.biSize = 124;
    h.biCompression = 3;
    std::memcpy(file.data() + 14, &h, sizeof h);
    const uint32_t masks[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    std::memcpy(file.data() + 14 + 40, masks, sizeof masks);
    file.insert(file.end(), dib.begin() + 40, dib.end());
    BitmapFileHeader fh;
    fh.bfOffBits = 14 + 124;
    std::memcpy(file.data(), &fh, sizeof fh);

    std::vector<uint8_t> back;
    std::string error;
    ASSERT_TRUE(bmpBytesToDib(file.data(), file.size(), &back, &error)) << error;
    EXPECT_EQ(back, dib);

    const uint32_t odd[3] = {0xFF, 0xFF00, 0xFF0000};  // BGR masks: a real conversion
    std::memcpy(file.data() + 14 + 40, odd, sizeof odd);
    EXPECT_FALSE(bmpBytesToDib(file.data(), file.size(), &back, &error));
    EXPECT_NE(error.find("mask"), std::string::npos);
}

TEST_F(BmpFile, MalformedFilesAreRefusedWithAReasonAndTheOutputLeftAlone) {
    const std::vector<uint8_t> dib = patterned(6, 5, 8, 16);
    ASSERT_TRUE(writeBmpFile(path, dib.data(), dib.size()));
    const std::string good = readFile(path);
    const std::vector<uint8_t> untouched = {1, 2, 3};

    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;
    };
    auto patched = [&](size_t at, uint32_t value, int width = 4) {
        std::string s = good;
        std::memcpy(s.data() + at, &value, width);
        return s;
    };
    const std::vector<Case> cases = {
        {"empty", "", "short"},
        {"not a bitmap", "GIF89a" + good.substr(6), "BM"},
        {"header cut", good.substr(0, 30), "cut short"},
        {"pixels cut by one byte", good.substr(0, good.size() - 1), "cut short"},
        {"offset beyond the file", patched(10, 0xFFFFFFF0u), "cut short"},
        {"offset inside the colour table", patched(10, 14 + 40 + 8), "overlaps"},
        {"OS/2 header", patched(14, 12), "OS/2"},
        {"unknown header size", patched(14, 64), "header size"},
        {"run-length coded", patched(14 + 16, 1), "compressed"},
        {"two planes", patched(14 + 12, 2, 2), "plane"},
        {"zero width", patched(14 + 4, 0), "width"},
        {"huge height", patched(14 + 8, 0x7FFFFFFF), "cut short"},
        {"colour table too large", patched(14 + 32, 1000), "colour table"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out = untouched;
        std::string error;
        const std::vector<uint8_t> bytes = bytesOf(c.bytes);
        EXPECT_FALSE(bmpBytesToDib(bytes.data(), bytes.size(), &out, &error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(out, untouched) << c.what;
    }
}

TEST_F(BmpFile, MissingOrUnreadableFileIsAnError) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(readBmpFile(tmp.file("none.bmp"), &out, &error));
    EXPECT_NE(error.find("none.bmp"), std::string::npos);
    EXPECT_FALSE(readBmpFile(tmp.path().string(), &out, &error));  // a folder
}

}  // namespace
}  // namespace q47::dib

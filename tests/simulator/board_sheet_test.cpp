// What the simulated board scans: the sheet, its orientation in the scan lines, its colours.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstring>

#include "board_test_util.h"
#include "platform/dib.h"

namespace q47::test {
namespace {

// The sheet pixel (x, y from the top) as the board sends it: scan line x, counted from
// the sheet's bottom.
uint8_t sheetPixel(const std::vector<uint8_t>& lines, int W, int H, int x, int y) {
    (void)W;
    return lines[size_t(x) * H + (H - 1 - y)];
}

std::string tempPath(const char* ext) {
    static int n = 0;
    return "/tmp/q47-sheet-" + std::to_string(getpid()) + "-" + std::to_string(n++) + ext;
}

// A 4 x 3 sheet: top row red, green, blue, white; middle row black; bottom row grey 128.
const uint8_t kSheet[3][4][3] = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
    {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
    {{128, 128, 128}, {128, 128, 128}, {128, 128, 128}, {128, 128, 128}},
};

std::string writePng() {
    const std::string path = tempPath(".png");
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = 4;
    img.height = 3;
    img.format = PNG_FORMAT_RGB;
    EXPECT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, kSheet, 0, nullptr));
    return path;
}

std::string writeBmp() {
    std::vector<uint8_t> d = dib::make(4, 3, 24);
    dib::View v;
    EXPECT_TRUE(dib::parse(d.data(), d.size(), &v));
    for (int y = 0; y < 3; ++y) {
        uint8_t* row = const_cast<uint8_t*>(v.rowFromTop(y));
        for (int x = 0; x < 4; ++x)
            row[x * 3] = kSheet[y][x][2], row[x * 3 + 1] = kSheet[y][x][1], row[x * 3 + 2] = kSheet[y][x][0];
    }
    const std::string path = tempPath(".bmp");
    EXPECT_TRUE(dib::writeBmpFile(path, d.data(), d.size()));
    return path;
}

void expectSheetInScanLines(sim::Board& b) {
    const std::vector<uint8_t> colour = b.imageData(true), grey = b.imageData(false);
    ASSERT_EQ(colour.size(), 12u);
    // Scan line x is column x; its first pixel is the sheet's bottom row.
    EXPECT_EQ(sheetPixel(colour, 4, 3, 0, 0), 0xE0);  // red: bits 7-5
    EXPECT_EQ(sheetPixel(colour, 4, 3, 1, 0), 0x1C);  // green: bits 4-2
    EXPECT_EQ(sheetPixel(colour, 4, 3, 2, 0), 0x03);  // blue: bits 1-0
    EXPECT_EQ(sheetPixel(colour, 4, 3, 3, 0), 0xFF);
    EXPECT_EQ(sheetPixel(colour, 4, 3, 2, 1), 0x00);
    EXPECT_EQ(colour[0], sheetPixel(colour, 4, 3, 0, 2));
    EXPECT_EQ(grey[0], 128);  // scan line 0, pixel 0: bottom-left, grey
    EXPECT_EQ(grey[2], 77);   // top-left: red's luminance
    EXPECT_EQ(grey[11], 255);  // scan line 3, last pixel: top-right, white
    EXPECT_EQ(grey[4], 0);
}

TEST(BoardSheet, APngSheetIsSentColumnByColumnFromTheBottom) {
    sim::Config c;
    c.scanLines = 4;
    c.linePixels = 3;
    c.sheetPath = writePng();
    sim::Board b(c);
    expectSheetInScanLines(b);
    unlink(c.sheetPath.c_str());
}

TEST(BoardSheet, ABmpSheetGivesTheSameScanLines) {
    sim::Config c;
    c.scanLines = 4;
    c.linePixels = 3;
    sim::Board b(c);
    const std::string path = writeBmp();
    std::string error;
    ASSERT_TRUE(b.setSheet(path, &error)) << error;
    expectSheetInScanLines(b);
    unlink(path.c_str());
}

TEST(BoardSheet, ASheetOfAnotherSizeIsScaledToTheGeometry) {
    sim::Config c;
    c.scanLines = 8;
    c.linePixels = 6;
    c.sheetPath = writePng();
    sim::Board b(c);
    const std::vector<uint8_t> colour = b.imageData(true);
    ASSERT_EQ(colour.size(), 48u);
    EXPECT_EQ(sheetPixel(colour, 8, 6, 1, 0), 0xE0);
    EXPECT_EQ(sheetPixel(colour, 8, 6, 7, 1), 0xFF);
    // Grey 128 lies nearest to red and green level 4 and blue level 2.
    EXPECT_EQ(sheetPixel(colour, 8, 6, 5, 5), 0x92);
    unlink(c.sheetPath.c_str());
}

TEST(BoardSheet, AnUnreadableSheetIsRefusedAndTheOldOneKept) {
    sim::Config c;
    c.scanLines = 64;
    c.linePixels = 32;
    sim::Board b(c);
    const std::vector<uint8_t> before = b.imageData(false);
    const std::string junk = tempPath(".png");
    FILE* f = std::fopen(junk.c_str(), "wb");
    std::fputs("not a picture", f);
    std::fclose(f);
    std::string error;
    EXPECT_FALSE(b.setSheet(junk, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(b.setSheet("/tmp/q47-no-such-sheet.bmp", &error));
    EXPECT_EQ(b.imageData(false), before);
    unlink(junk.c_str());
}

// The default sheet's four red marks sit where mark detection looks for them: in the
// half-size picture about 30 pixels across, 1000 apart horizontally and 750 vertically.
TEST(BoardSheet, TheDefaultSheetHasFourRedMarksOnTheHalvedGrid) {
    sim::Board b(sim::Config{});
    const int W = 4096, H = 2000;
    const std::vector<uint8_t> colour = b.imageData(true);
    ASSERT_EQ(colour.size(), size_t(W) * H);
    auto red = [&](int hx, int hy) { return sheetPixel(colour, W, H, hx * 2, hy * 2) == 0xE0; };
    const int xs[2] = {524, 1524}, ys[2] = {125, 875};
    for (int hx : xs) {
        for (int hy : ys) {
            EXPECT_TRUE(red(hx, hy)) << hx << "," << hy;
            EXPECT_TRUE(red(hx + 13, hy) && red(hx - 13, hy) && red(hx, hy + 13) && red(hx, hy - 13));
            EXPECT_FALSE(red(hx + 18, hy) || red(hx, hy - 18));
        }
    }
    size_t redPixels = 0;
    for (uint8_t v : colour) redPixels += v == 0xE0;
    EXPECT_NEAR(double(redPixels), 4 * 3.14159 * 30 * 30, 400.0);
    // Something is written on it besides the marks.
    size_t dark = 0;
    for (uint8_t v : b.imageData(false)) dark += v < 64;
    EXPECT_GT(dark, 10000u);
}

}  // namespace
}  // namespace q47::test

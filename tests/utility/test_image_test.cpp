// Run-length decoding of the PCB test image, its transposed bitmap and the BMP file.
#include "utility/test_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/dib.h"
#include "simulator/board.h"
#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

using B = std::vector<uint8_t>;

// One block: a big-endian count and its codes.
B block(const B& codes) {
    B out = {uint8_t(codes.size() >> 8), uint8_t(codes.size())};
    out.insert(out.end(), codes.begin(), codes.end());
    return out;
}
B cat(B a, const B& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
B decode(const B& data, uint16_t lines, uint16_t bytes, size_t* complete = nullptr) {
    B out(size_t(lines) * bytes, 0);  // zero-filled, as the decoder expects
    size_t n = decodeRunLength(data.data(), data.size(), lines, bytes, out.data());
    if (complete) *complete = n;
    return out;
}

TEST(RunLength, RepeatAndLiteralCodesAsTheBoardWritesThem) {
    // 0x80: 33 white bytes, then one trailing byte; a line of 40 bytes.
    B got = decode(block({0x80, 0x5A}), 1, 40);
    B want(40, 0);
    want[33] = 0x5A;
    EXPECT_EQ(got, want);
    // 0xFF with 0xAA: two bytes 0xAA and nothing after them.
    EXPECT_EQ(decode(block({0xFF, 0xAA}), 1, 4), (B{0xAA, 0xAA, 0, 0}));
    // 0xC0 + value + trailing: 33 bytes of the value, then the trailing byte.
    got = decode(block({0xC0 | 0x1F, 0x11, 0x22}), 1, 4);  // 2 bytes of 0x11, then 0x22
    EXPECT_EQ(got, (B{0x11, 0x11, 0x22, 0}));
    // A literal of 128 bytes (control 0x7F).
    B lit = {0x7F};
    for (int i = 0; i < 128; ++i) lit.push_back(uint8_t(i));
    got = decode(block(lit), 1, 128);
    EXPECT_EQ(B(lit.begin() + 1, lit.end()), got);
}

TEST(RunLength, ACodeCrossesIntoTheNextLineWhenMoreCodesOfTheBlockFollow) {
    // Lines of 4: a literal of 5 then a literal of 3 fill two lines exactly.
    B got = decode(block({0x04, 1, 2, 3, 4, 5, 0x02, 6, 7, 8}), 2, 4);
    EXPECT_EQ(got, (B{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(RunLength, ABlockEndingInsideALineLeavesItsRestWhiteAndTheNextStartsANewLine) {
    size_t complete = 0;
    B got = decode(cat(block({0x01, 9, 9}), block({0x00, 7})), 2, 4, &complete);
    EXPECT_EQ(got, (B{9, 9, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(complete, 2u);
    // A block ending exactly at its line's end: the next block takes the next line.
    got = decode(cat(block({0x03, 1, 2, 3, 4}), block({0x00, 5})), 2, 4);
    EXPECT_EQ(got, (B{1, 2, 3, 4, 5, 0, 0, 0}));
    // An empty block produces nothing and moves nowhere.
    got = decode(cat(block({}), block({0x00, 5})), 2, 4);
    EXPECT_EQ(got, (B{5, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RunLength, DecodingStopsWhenAllLinesAreCompleteAndIgnoresTheRest) {
    B data = cat(block({0x00, 1}), cat(block({0x00, 2}), block({0x00, 3})));
    size_t complete = 0;
    EXPECT_EQ(decode(data, 2, 2, &complete), (B{1, 0, 2, 0}));
    EXPECT_EQ(complete, 2u);
}

TEST(RunLength, MalformedCodesNeverWriteOutsideTheirLineOrThePicture) {
    // A literal announcing more bytes than its block has: the block is dropped whole
    // and the next block starts on the next line.
    B got = decode(cat(block({0x05, 1, 2}), block({0x00, 7})), 2, 4);
    EXPECT_EQ(got, (B{0, 0, 0, 0, 7, 0, 0, 0}));
    // A repeat whose value byte is missing.
    got = decode(cat(block({0xC0}), block({0x00, 7})), 2, 4);
    EXPECT_EQ(got, (B{0, 0, 0, 0, 7, 0, 0, 0}));
    // A block's last code running past its line: cut at the line's end.
    got = decode(cat(block({0xE0, 0x33}), block({0x00, 7})), 2, 4);  // 33 bytes of 0x33
    EXPECT_EQ(got, (B{0x33, 0x33, 0x33, 0x33, 7, 0, 0, 0}));
    got = decode(cat(block({0xC0, 0x44, 0x55}), block({0x00, 7})), 2, 4);  // 33 + 1 bytes
    EXPECT_EQ(got, (B{0x44, 0x44, 0x44, 0x44, 7, 0, 0, 0}));
    // The last line: a run past the picture's end stops there (ASan watches the buffer).
    B exact(8);
    decodeRunLength(block({0x03, 1, 1, 1, 1, 0xC0, 9, 9}).data(), 10, 2, 4, exact.data());
    EXPECT_EQ(exact, (B{1, 1, 1, 1, 9, 9, 9, 9}));
    // A block count longer than the data decodes what is there.
    B truncated = {0x00, 0x40, 0x01, 6, 6};
    EXPECT_EQ(decode(truncated, 1, 4), (B{6, 6, 0, 0}));
    // Zero lines or zero bytes per line: nothing decoded, nothing touched.
    EXPECT_EQ(decodeRunLength(truncated.data(), truncated.size(), 0, 4, nullptr), 0u);
    EXPECT_EQ(decodeRunLength(truncated.data(), truncated.size(), 4, 0, nullptr), 0u);
}

TEST(RunLength, TheSimulatorsPictureDecodesBackToItself) {
    const B picture = sim::Board::testPicture();
    const uint16_t lines = sim::Board::kTestLineCount, bytes = sim::Board::kTestLineBytes;
    const B coded = sim::encodeTestImage(picture, lines, bytes);
    size_t complete = 0;
    EXPECT_EQ(decode(coded, lines, bytes, &complete), picture);
    EXPECT_EQ(complete, lines);
}

// Bit of pixel (x, row counted from the bottom) of a one-bit DIB.
bool dot(const B& dib, int x, int rowFromBottom) {
    dib::View v;
    EXPECT_TRUE(dib::parse(dib.data(), dib.size(), &v));
    const uint8_t* row = v.pixels + v.stride * size_t(rowFromBottom);
    return row[x / 8] & (0x80 >> (x % 8));
}

TEST(Bitmap, ScanLinesBecomeColumnsWithTheirFirstDotAtTheBottom) {
    // 3 lines of 2 bytes: line 0 has its first dot set, line 2 its dot 9.
    const B lines = {0x80, 0x00, 0x00, 0x00, 0x00, 0x40};
    const B dib = buildTestImageBitmap(lines, 3, 2);
    dib::View v;
    ASSERT_TRUE(dib::parse(dib.data(), dib.size(), &v));
    EXPECT_EQ(v.width, 32);
    EXPECT_EQ(v.height, 16);
    EXPECT_TRUE(v.bottomUp);
    EXPECT_EQ(v.header->biBitCount, 1);
    EXPECT_EQ(v.header->biXPelsPerMeter, 7874);
    EXPECT_EQ(v.header->biYPelsPerMeter, 7874);
    EXPECT_EQ(v.header->biSizeImage, 4u * 16);
    ASSERT_EQ(v.paletteCount, 2u);
    EXPECT_EQ(v.palette[0].rgbRed + v.palette[0].rgbGreen + v.palette[0].rgbBlue, 3 * 255);
    EXPECT_EQ(v.palette[1].rgbRed + v.palette[1].rgbGreen + v.palette[1].rgbBlue, 0);
    int set = 0;
    for (int x = 0; x < 32; ++x)
        for (int r = 0; r < 16; ++r) set += dot(dib, x, r);
    EXPECT_EQ(set, 2);
    EXPECT_TRUE(dot(dib, 0, 0));
    EXPECT_TRUE(dot(dib, 2, 9));
    EXPECT_TRUE(buildTestImageBitmap(lines, 0, 2).empty());
}

TEST(Bitmap, TheBoardsPictureIs2176WideWithWhiteColumnsOnTheRight) {
    const B picture = sim::Board::testPicture();
    const uint16_t lines = sim::Board::kTestLineCount, bytes = sim::Board::kTestLineBytes;
    const B dib = buildTestImageBitmap(picture, lines, bytes);
    dib::View v;
    ASSERT_TRUE(dib::parse(dib.data(), dib.size(), &v));
    EXPECT_EQ(v.width, 2176);
    EXPECT_EQ(v.height, 8 * 188);
    // Every dot against the picture, read the other way round.
    size_t mismatches = 0, whiteRight = 0;
    for (int r = 0; r < v.height; ++r) {
        const uint8_t* row = v.pixels + v.stride * size_t(r);
        for (int x = 0; x < v.width; ++x) {
            const bool got = row[x / 8] & (0x80 >> (x % 8));
            const bool want = x < lines && (picture[size_t(x) * bytes + r / 8] & (0x80 >> (r % 8)));
            mismatches += got != want;
            if (x >= lines) whiteRight += !got;
        }
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(whiteRight, size_t(16) * v.height);
}

TEST(TestImageObject, ALengthThatIsNoTestImageKeepsThePreviousPicture) {
    TempDir dir;
    TestImage image;
    const uint8_t header[5] = {'W', 0, 8, 0, 1};
    const B lines = {0xFF, 0, 0, 0, 0, 0, 0, 0};
    B coded = sim::encodeTestImage(lines, 8, 1);
    coded.resize(2000, 0);  // filler after the last line is ignored
    ASSERT_TRUE(image.storeTestImage(header, coded.data(), 1014, uint32_t(coded.size() + 6)));
    EXPECT_EQ(image.outstanding(), coded.size() - 1014);
    image.append(coded.data() + 1014, 4096);  // more than announced: the rest is dropped
    EXPECT_EQ(image.outstanding(), 0u);
    image.decodeTestImage((dir / "rawdata.bin").string());
    EXPECT_EQ(readFile(dir / "rawdata.bin"), std::string(coded.begin(), coded.end()));
    ASSERT_FALSE(image.bitmap().empty());
    const B before = image.bitmap();
    EXPECT_FALSE(image.storeTestImage(header, coded.data(), 1014, 0));
    EXPECT_FALSE(image.storeTestImage(header, coded.data(), 1014, 5));
    EXPECT_FALSE(image.storeTestImage(header, coded.data(), 1014, 0xFFFFFFFFu));
    EXPECT_EQ(image.bitmap(), before);
}

TEST(TestImageObject, BmpHasItsPixelsAtOffset62AndOpensInImageMagick) {
    TempDir dir;
    TestImage image;
    EXPECT_FALSE(image.saveTestImageBmp((dir / "none.bmp").string()));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.bmp"));

    const B picture = sim::Board::testPicture();
    B coded = sim::encodeTestImage(picture, sim::Board::kTestLineCount, sim::Board::kTestLineBytes);
    const uint8_t header[5] = {'W', uint8_t(sim::Board::kTestLineCount >> 8),
                               uint8_t(sim::Board::kTestLineCount), 0, sim::Board::kTestLineBytes};
    ASSERT_TRUE(image.storeTestImage(header, coded.data(), 1014, uint32_t(coded.size() + 6)));
    image.append(coded.data() + 1014, coded.size() - 1014);
    image.decodeTestImage((dir / "rawdata.bin").string());
    const auto bmp = dir / "test.bmp";
    ASSERT_TRUE(image.saveTestImageBmp(bmp.string()));
    const std::string bytes = readFile(bmp);
    ASSERT_GE(bytes.size(), 62u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(board::le32(reinterpret_cast<const uint8_t*>(bytes.data()) + 2), bytes.size());
    EXPECT_EQ(board::le32(reinterpret_cast<const uint8_t*>(bytes.data()) + 10), 62u);
    EXPECT_EQ(bytes.size(), 14 + image.bitmap().size());
    EXPECT_FALSE(image.saveTestImageBmp((dir / "no-such-folder" / "x.bmp").string()));

    // An independent reader sees the same geometry and the same black dots.
    const std::string cmd = "identify -format '%w %h' '" + bmp.string() + "' > '" +
                            (dir / "id.txt").string() + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readFile(dir / "id.txt");
    EXPECT_EQ(readFile(dir / "id.txt"), "2176 1504");
    const std::string pbm = (dir / "back.pbm").string();
    ASSERT_EQ(std::system(("convert '" + bmp.string() + "' -compress none '" + pbm + "'").c_str()),
              0);
    // Plain PBM: 1 = black, rows from the top; the picture's row r from the bottom.
    std::istringstream in(readFile(pbm));
    std::string magic;
    int w = 0, h = 0;
    in >> magic >> w >> h;
    ASSERT_EQ(magic, "P1");
    size_t mismatches = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = 0;
            in >> v;
            const int r = h - 1 - y;
            const bool want =
                x < sim::Board::kTestLineCount &&
                (picture[size_t(x) * sim::Board::kTestLineBytes + r / 8] & (0x80 >> (r % 8)));
            mismatches += (v == 1) != want;
        }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace q47::test

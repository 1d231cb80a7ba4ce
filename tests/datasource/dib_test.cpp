// buildDib: geometry, header, palettes, the transposed and compressed pixels, and its bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/dib.h"
#include "twain_source/image_buffer.h"

namespace q47::twain_source {
namespace {

// The bitmap as the board's algorithm defines it, computed the slow way: a work area
// T[y][x] = raw[x * H + y], then bitmap row r walks T row H - 1 - r, skipping x mod 4 = 3
// when compressing, white for x >= W, values beyond rowBytes dropped.
std::vector<uint8_t> referencePixels(const std::vector<uint8_t>& raw, uint32_t W, uint32_t H,
                                     bool compress) {
    const DibGeometry g = dibGeometry(uint16_t(W), uint16_t(H), compress);
    std::vector<uint8_t> T(size_t(H) * g.srcRowBytes);
    for (size_t x = 0; x < g.srcRowBytes; ++x)
        for (size_t y = 0; y < H; ++y)
            T[y * g.srcRowBytes + x] = x * H + y < raw.size() ? raw[x * H + y] : 0xEE;
    std::vector<uint8_t> pixels(size_t(g.rowBytes) * H, 0xFF);
    for (size_t r = 0; r < H; ++r) {
        size_t out = 0;
        for (size_t x = 0; x < g.srcRowBytes; ++x) {
            if (compress && x % 4 == 3) continue;
            uint8_t v = x >= W ? 0xFF : T[(H - 1 - r) * g.srcRowBytes + x];
            if (out < g.rowBytes) pixels[r * g.rowBytes + out] = v;
            ++out;
        }
    }
    return pixels;
}

std::vector<uint8_t> patternRaw(uint32_t W, uint32_t H, uint32_t seed = 0) {
    std::vector<uint8_t> raw(size_t(W) * H);
    uint32_t s = seed * 2654435761u + 12345u;
    for (auto& b : raw) {
        s = s * 1664525u + 1013904223u;
        b = uint8_t(s >> 24);
    }
    return raw;
}

// An ImageBuffer holding raw as the board sent it.
ImageBuffer received(const std::vector<uint8_t>& raw, uint16_t W, uint16_t H, bool compress,
                     bool colour = false) {
    ImageBuffer image;
    image.compress = compress;
    image.colour = colour;
    image.geometry = dibGeometry(W, H, compress);
    EXPECT_TRUE(image.allocateRaw());
    image.appendRaw(raw.data(), raw.size());
    return image;
}

dib::View viewOf(const ImageBuffer& image) {
    dib::View v;
    EXPECT_TRUE(dib::parse(static_cast<const uint8_t*>(image.pendingImage.handle()),
                           image.pendingImage.size(), &v));
    return v;
}

std::vector<uint8_t> pixelsOf(const ImageBuffer& image) {
    const uint8_t* p = static_cast<const uint8_t*>(image.pendingImage.handle());
    return {p + kDibHeaderAndPalette, p + kDibHeaderAndPalette + image.geometry.pixelBytes()};
}

TEST(DibGeometry, FollowsTheBoardsRoundingAndCompression) {
    DibGeometry g = dibGeometry(4000, 1500, false);
    EXPECT_EQ(g.srcRowBytes, 4000u);
    EXPECT_EQ(g.rowBytes, 4000u);
    EXPECT_EQ(g.dibBytes(), 1064u + 6000000u);

    g = dibGeometry(4001, 1500, true);
    EXPECT_EQ(g.outWidth, 3000u);
    EXPECT_EQ(g.rowBytes, 3008u);
    EXPECT_EQ(g.srcRowBytes, 4032u);
    EXPECT_EQ(g.dibBytes(), 1500u * 4032u + 1064u);

    g = dibGeometry(4000, 1500, true);
    EXPECT_EQ(g.outWidth, 3000u);
    EXPECT_EQ(g.rowBytes, 3008u);
}

TEST(BuildDib, HeaderDescribesAnEightBitBottomUpBitmapAt200Dpi) {
    ImageBuffer image = received(patternRaw(40, 10), 40, 10, false);
    ASSERT_TRUE(buildDib(image));
    dib::BitmapInfoHeader h;
    std::memcpy(&h, image.pendingImage.handle(), sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 64);
    EXPECT_EQ(h.biHeight, 10);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biXPelsPerMeter, 7875);
    EXPECT_EQ(h.biYPelsPerMeter, 7875);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(image.pendingImage.size(), 10u * 64u + 1064u);
}

TEST(BuildDib, GreyPaletteIsTheIdentity) {
    ImageBuffer image = received(patternRaw(8, 8), 8, 8, false, false);
    ASSERT_TRUE(buildDib(image));
    dib::View v = viewOf(image);
    ASSERT_EQ(v.paletteCount, 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(v.palette[i].rgbRed, i);
        EXPECT_EQ(v.palette[i].rgbGreen, i);
        EXPECT_EQ(v.palette[i].rgbBlue, i);
        EXPECT_EQ(v.palette[i].rgbReserved, 0);
    }
}

TEST(BuildDib, ColourPaletteSplitsTheByteIntoThreeThreeTwoLevels) {
    ImageBuffer image = received(patternRaw(8, 8), 8, 8, false, true);
    ASSERT_TRUE(buildDib(image));
    dib::View v = viewOf(image);
    auto rgb = [&](int i) {
        return std::vector<int>{v.palette[i].rgbRed, v.palette[i].rgbGreen, v.palette[i].rgbBlue};
    };
    EXPECT_EQ(rgb(0), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rgb(255), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(rgb(0xE0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(0x1C), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(0x03), (std::vector<int>{0, 0, 255}));
    // 100 10 1 10: red level 4, green level 2, blue level 2.
    EXPECT_EQ(rgb(0x8A), (std::vector<int>{0x9F, 0x40, 0xBF}));
    EXPECT_EQ(rgb(0x61), (std::vector<int>{0x60, 0x00, 0x40}));
}

TEST(BuildDib, ScanLinesBecomeColumnsWithTheLastByteOnTop) {
    const uint32_t W = 37, H = 13;
    std::vector<uint8_t> raw(W * H);
    for (size_t k = 0; k < raw.size(); ++k) raw[k] = uint8_t(k % 256);
    ImageBuffer image = received(raw, W, H, false);
    ASSERT_TRUE(buildDib(image));
    dib::View v = viewOf(image);
    ASSERT_EQ(v.width, 64);
    for (uint32_t y = 0; y < H; ++y) {
        // Bottom-up: stored row H - 1 - y holds byte y of every scan line.
        const uint8_t* row = v.pixels + size_t(H - 1 - y) * v.stride;
        for (uint32_t x = 0; x < 64; ++x)
            ASSERT_EQ(row[x], x < W ? raw[x * H + y] : 0xFF) << "x " << x << " y " << y;
    }
}

TEST(BuildDib, MatchesTheDefinitionForAwkwardSizes) {
    const std::pair<uint16_t, uint16_t> sizes[] = {{1, 1},   {31, 7},   {32, 8},   {33, 9},
                                                   {64, 64}, {65, 71},  {100, 130}, {257, 3},
                                                   {7, 200}, {500, 17}, {1000, 72}};
    for (bool compress : {false, true}) {
        for (auto [W, H] : sizes) {
            SCOPED_TRACE(::testing::Message() << W << "x" << H << (compress ? " compressed" : ""));
            std::vector<uint8_t> raw = patternRaw(W, H, W + H);
            ImageBuffer image = received(raw, W, H, compress);
            ASSERT_TRUE(buildDib(image));
            EXPECT_EQ(pixelsOf(image), referencePixels(raw, W, H, compress));
        }
    }
}

// Every loop the processor runs against the definition, with sizes around the 16-row
// bands and 32-column blocks of the AVX2 loop and the 8-row bands of the SSE2 one, short
// data (white completion), and the raw bytes in a block of exactly W x H so that a read
// past the last scan line shows under the address sanitizer.
TEST(BuildDib, EveryTransposeLoopWritesTheSameBytes) {
    const std::pair<uint16_t, uint16_t> sizes[] = {{1, 1},   {1, 16},  {32, 16},  {33, 17},
                                                   {31, 15}, {64, 24}, {96, 47},  {130, 64},
                                                   {200, 129}, {257, 33}, {70, 8}, {5, 300}};
    for (TransposePath path : {TransposePath::Plain, TransposePath::Sse2, TransposePath::Avx2}) {
        if (!transposePathAvailable(path)) continue;
        for (bool compress : {false, true}) {
            for (auto [W, H] : sizes) {
                for (bool shortData : {false, true}) {
                    SCOPED_TRACE(::testing::Message() << "path " << int(path) << ", " << W << "x" << H
                                                      << (compress ? " compressed" : "") << (shortData ? " short" : ""));
                    std::vector<uint8_t> raw = patternRaw(W, H, W * 3 + H);
                    if (shortData) raw.resize(raw.size() * 2 / 3 + 1);
                    const DibGeometry g = dibGeometry(W, H, compress);
                    std::vector<uint8_t> pixels(g.pixelBytes(), 0x11);
                    transposeScanLines(raw.data(), raw.size(), g, pixels.data(), path);
                    std::vector<uint8_t> want = referencePixels(raw, W, H, compress);
                    if (shortData)  // the reference marks unsent bytes; buildDib makes them white
                        for (size_t r = 0; r < H; ++r)
                            for (size_t c = 0; c < g.rowBytes; ++c) {
                                const size_t x = compress ? c / 3 * 4 + c % 3 : c;
                                if (x < W && x * H + (H - 1 - r) >= raw.size()) want[r * g.rowBytes + c] = 0xFF;
                            }
                    ASSERT_EQ(pixels, want);
                }
            }
        }
    }
}

TEST(BuildDib, CompressingW4001DropsEveryFourthScanLineAndEndsInWhite) {
    const uint16_t W = 4001, H = 5;
    std::vector<uint8_t> raw = patternRaw(W, H, 7);
    ImageBuffer image = received(raw, W, H, true);
    ASSERT_TRUE(buildDib(image));
    const std::vector<uint8_t> px = pixelsOf(image);
    ASSERT_EQ(image.geometry.rowBytes, 3008u);
    for (uint32_t r = 0; r < H; ++r) {
        const uint8_t* row = px.data() + r * 3008;
        const uint32_t y = H - 1 - r;
        // Columns 0..3000 come from scan lines 0..4000 without those with x mod 4 = 3.
        for (uint32_t c = 0; c <= 3000; ++c) {
            uint32_t x = c / 3 * 4 + c % 3;
            ASSERT_EQ(row[c], raw[x * H + y]) << "c " << c;
        }
        EXPECT_EQ(3000u / 3 * 4 + 0, 4000u);  // column 3000 is the last scan line
        for (uint32_t c = 3001; c < 3008; ++c) ASSERT_EQ(row[c], 0xFF) << "c " << c;
    }
    EXPECT_EQ(px, referencePixels(raw, W, H, true));
}

TEST(BuildDib, CompressingW4000LeavesColumns3000To3007White) {
    const uint16_t W = 4000, H = 3;
    std::vector<uint8_t> raw = patternRaw(W, H, 8);
    ImageBuffer image = received(raw, W, H, true);
    ASSERT_TRUE(buildDib(image));
    const std::vector<uint8_t> px = pixelsOf(image);
    for (uint32_t r = 0; r < H; ++r)
        for (uint32_t c = 3000; c < 3008; ++c) ASSERT_EQ(px[r * 3008 + c], 0xFF);
    EXPECT_EQ(px, referencePixels(raw, W, H, true));
}

TEST(BuildDibBounds, PixelsTheBoardDidNotSendAreWhiteNotStaleMemory) {
    const uint16_t W = 50, H = 20;
    ImageBuffer image;
    image.geometry = dibGeometry(W, H, false);
    ASSERT_TRUE(image.allocateRaw());
    // Stale bytes in the buffer from an earlier image must not show.
    std::memset(image.raw.get(), 0x55, kRawBufferSize);
    std::vector<uint8_t> raw = patternRaw(W, H, 3);
    const size_t sent = 10 * H + 7;  // ten whole scan lines and 7 bytes of the next
    image.appendRaw(raw.data(), sent);
    ASSERT_TRUE(buildDib(image));
    dib::View v = viewOf(image);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            const size_t k = size_t(x) * H + y;
            ASSERT_EQ(v.pixels[(H - 1 - y) * v.stride + x], k < sent ? raw[k] : 0xFF)
                << x << "," << y;
        }
}

TEST(BuildDibBounds, AnImageLargerThanTheReceiveBufferIsRefused) {
    // 4400 x 2000 is more than 8 MiB: the data stopped at the buffer's end.
    ImageBuffer image;
    image.geometry = dibGeometry(4400, 2000, false);
    ASSERT_TRUE(image.allocateRaw());
    std::vector<uint8_t> block(4096, 0x80);
    for (size_t sent = 0; sent < 4400u * 2000u; sent += block.size())
        image.appendRaw(block.data(), block.size());
    EXPECT_EQ(image.rawCount, kRawBufferSize);
    EXPECT_EQ(image.rawCount + image.rawDropped, (4400u * 2000u + 4095) / 4096 * 4096);
    EXPECT_FALSE(buildDib(image));
    EXPECT_FALSE(image.pendingImage);

    // Exactly 8 MiB still fits; H x srcRowBytes beyond the data is no obstacle.
    image.geometry = dibGeometry(4097, 2047, false);  // srcRowBytes 4128
    EXPECT_GT(size_t(4128) * 2047, kRawBufferSize);
    EXPECT_TRUE(buildDib(image));
}

TEST(BuildDibBounds, EmptyImagesAreRefused) {
    ImageBuffer image = received({}, 0, 10, false);
    EXPECT_FALSE(buildDib(image));
    image.geometry = dibGeometry(10, 0, false);
    EXPECT_FALSE(buildDib(image));
}

// Counts live DIB blocks.
class CountingMemory : public DibMemory {
public:
    void* allocate(size_t bytes) override {
        if (failNext) return nullptr;
        void* p = DibMemory::allocate(bytes);
        live.insert(p);
        return p;
    }
    void release(void* h) override {
        EXPECT_EQ(live.erase(h), 1u) << "released twice or never allocated";
        DibMemory::release(h);
    }
    std::set<void*> live;
    bool failNext = false;
};

TEST(PendingImageLifetime, ANewImageReleasesTheOnePendingBefore) {
    CountingMemory memory;
    {
        ImageBuffer image = received(patternRaw(40, 10), 40, 10, false);
        image.memory = &memory;
        ASSERT_TRUE(buildDib(image));
        ASSERT_TRUE(buildDib(image));
        EXPECT_EQ(memory.live.size(), 1u);

        // A handed-over DIB belongs to the application: not released here.
        void* given = image.pendingImage.handOver();
        ASSERT_TRUE(buildDib(image));
        EXPECT_EQ(memory.live.size(), 2u);
        memory.release(given);

        memory.failNext = true;
        EXPECT_FALSE(buildDib(image));
        EXPECT_FALSE(image.pendingImage);
        EXPECT_TRUE(memory.live.empty());
    }
    EXPECT_TRUE(memory.live.empty());
}

}  // namespace
}  // namespace q47::twain_source

// The image buffer, its DIB memory, and buildDib: raw scan lines to an 8-bit DIB.
#include "twain_source/image_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/dib.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace q47::twain_source {

void* DibMemory::allocate(size_t bytes) { return std::calloc(1, bytes); }
void DibMemory::release(void* handle) { std::free(handle); }

DibMemory& DibMemory::standard() {
    static DibMemory memory;
    return memory;
}

PendingImage& PendingImage::operator=(PendingImage&& o) noexcept {
    if (this != &o) {
        release();
        memory_ = o.memory_;
        handle_ = o.handle_;
        size_ = o.size_;
        o.handle_ = nullptr;
        o.size_ = 0;
    }
    return *this;
}

void PendingImage::release() {
    if (handle_ && memory_) memory_->release(handle_);
    handle_ = nullptr;
    size_ = 0;
}

void* PendingImage::handOver() {
    void* h = handle_;
    handle_ = nullptr;
    size_ = 0;
    return h;
}

DibGeometry dibGeometry(uint16_t scanLines, uint16_t height, bool compress) {
    DibGeometry g;
    g.scanLines = scanLines;
    g.srcRowBytes = (uint32_t(scanLines) + 31) / 32 * 32;
    g.outWidth = compress ? uint32_t(scanLines) * 3 / 4 : scanLines;
    g.rowBytes = (g.outWidth + 31) / 32 * 32;
    g.height = height;
    g.compress = compress;
    return g;
}

void fillPalette(uint8_t* entries, bool colour) {
    static constexpr uint8_t kLevels8[8] = {0x00, 0x20, 0x40, 0x60, 0x9F, 0xBF, 0xDF, 0xFF};
    static constexpr uint8_t kLevels4[4] = {0x00, 0x40, 0xBF, 0xFF};
    for (int i = 0; i < 256; ++i) {
        uint8_t* e = entries + 4 * i;  // blue, green, red, reserved
        if (colour) {
            e[0] = kLevels4[i & 3];
            e[1] = kLevels8[(i >> 2) & 7];
            e[2] = kLevels8[(i >> 5) & 7];
        } else {
            e[0] = e[1] = e[2] = uint8_t(i);
        }
        e[3] = 0;
    }
}

bool ImageBuffer::allocateRaw() {
    releaseRaw();
    raw.reset(new (std::nothrow) uint8_t[kRawBufferSize]);
    return raw != nullptr;
}

void ImageBuffer::releaseRaw() {
    raw.reset();
    rawCount = 0;
    rawDropped = 0;
}

void ImageBuffer::appendRaw(const uint8_t* data, size_t n) {
    // The board may send more than the buffer holds (its length field allows it):
    // storing stops at the buffer's end and the rest is only counted, so the reads
    // still run to the end of the reply and the link stays in step with the board.
    size_t room = raw ? kRawBufferSize - rawCount : 0;
    size_t take = std::min(room, n);
    if (take) std::memcpy(raw.get() + rawCount, data, take);
    rawCount += take;
    rawDropped += n - take;
}

namespace {

// Rows j = 0..7 of the 8 x 8 block: dst row j gets byte j of each of the 8 source lines.
inline void transpose8x8(const uint8_t* const* src, size_t y, uint8_t* const* dst, size_t c) {
#if defined(__SSE2__)
    __m128i a0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[0] + y));
    __m128i a1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[1] + y));
    __m128i a2 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[2] + y));
    __m128i a3 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[3] + y));
    __m128i a4 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[4] + y));
    __m128i a5 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[5] + y));
    __m128i a6 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[6] + y));
    __m128i a7 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src[7] + y));
    __m128i b0 = _mm_unpacklo_epi8(a0, a1);
    __m128i b1 = _mm_unpacklo_epi8(a2, a3);
    __m128i b2 = _mm_unpacklo_epi8(a4, a5);
    __m128i b3 = _mm_unpacklo_epi8(a6, a7);
    __m128i c0 = _mm_unpacklo_epi16(b0, b1);
    __m128i c1 = _mm_unpackhi_epi16(b0, b1);
    __m128i c2 = _mm_unpacklo_epi16(b2, b3);
    __m128i c3 = _mm_unpackhi_epi16(b2, b3);
    __m128i d0 = _mm_unpacklo_epi32(c0, c2);
    __m128i d1 = _mm_unpackhi_epi32(c0, c2);
    __m128i d2 = _mm_unpacklo_epi32(c1, c3);
    __m128i d3 = _mm_unpackhi_epi32(c1, c3);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[0] + c), d0);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[1] + c), _mm_srli_si128(d0, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[2] + c), d1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[3] + c), _mm_srli_si128(d1, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[4] + c), d2);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[5] + c), _mm_srli_si128(d2, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[6] + c), d3);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[7] + c), _mm_srli_si128(d3, 8));
#else
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) dst[j][c + i] = src[i][y + j];
#endif
}

// Bitmap row H-1-y holds byte y of every scan line (bottom-up DIB: the last byte of a
// scan line, the top of the sheet, is the top row). Each helper fills source bytes
// y = from.. of every column and returns where it stopped.

size_t transposePlain(const uint8_t* const* lineOf, size_t H, size_t rowBytes, size_t from,
                      uint8_t* pixels) {
    for (size_t y = from; y < H; ++y) {
        uint8_t* row = pixels + (H - 1 - y) * rowBytes;
        for (size_t c = 0; c < rowBytes; ++c) row[c] = lineOf[c][y];
    }
    return H;
}

// Tiles of 128 bitmap columns (scan lines) by 64 rows: the scan lines' 64-byte pieces
// stay in the first-level cache while eight 8 x 8 blocks walk down them, and only 8
// bitmap rows are written at a time (rows lie 4096 bytes apart for a full sheet, which
// would otherwise evict each other from the same cache set). The next tile's pieces are
// prefetched: 128 scan lines 2000 bytes apart are a pattern no hardware prefetcher sees.
size_t transposeSse2(const uint8_t* const* lineOf, size_t H, size_t rowBytes, size_t from,
                     uint8_t* pixels) {
    constexpr size_t kTileColumns = 128, kTileRows = 64;
    const size_t end = from + ((H - from) & ~size_t(7));
    uint8_t* dst[8];
    for (size_t left = 0; left < rowBytes; left += kTileColumns) {
        const size_t right = std::min(left + kTileColumns, rowBytes);
        for (size_t top = from; top < end; top += kTileRows) {
            const size_t bottom = std::min(top + kTileRows, end);
#if defined(__SSE2__)
            if (bottom < end)
                for (size_t c = left; c < right; ++c)
                    _mm_prefetch(reinterpret_cast<const char*>(lineOf[c] + bottom), _MM_HINT_T0);
#endif
            for (size_t y = top; y < bottom; y += 8) {
                for (size_t j = 0; j < 8; ++j) dst[j] = pixels + (H - 1 - y - j) * rowBytes;
                for (size_t c = left; c < right; c += 8) transpose8x8(&lineOf[c], y, dst, c);
            }
        }
    }
    return end;
}

#if defined(__x86_64__)

// 16 source bytes y.. of 32 scan lines into 16 rows of 32 columns of a 32-byte aligned
// block (rows rowStep apart): two 16 x 16 byte transposes side by side in the two halves
// of the registers, the low half holding lines c..c+15 and the high half lines
// c+16..c+31, so each finished register is one whole 32-byte piece of a row.
__attribute__((target("avx2"))) inline void transpose32x16(const uint8_t* const* src, size_t y,
                                                           uint8_t* row0, ptrdiff_t rowStep) {
    __m256i r[16];
    for (int j = 0; j < 16; ++j)
        r[j] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src[j] + y))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[j + 16] + y)), 1);
    // Pairs of lines, bytes 0..7 (lo) and 8..15 (hi).
    __m256i lo[8], hi[8];
    for (int p = 0; p < 8; ++p) {
        lo[p] = _mm256_unpacklo_epi8(r[2 * p], r[2 * p + 1]);
        hi[p] = _mm256_unpackhi_epi8(r[2 * p], r[2 * p + 1]);
    }
    // Quads of lines, bytes 4m..4m+3.
    __m256i quad[4][4];
    for (int q = 0; q < 4; ++q) {
        quad[q][0] = _mm256_unpacklo_epi16(lo[2 * q], lo[2 * q + 1]);
        quad[q][1] = _mm256_unpackhi_epi16(lo[2 * q], lo[2 * q + 1]);
        quad[q][2] = _mm256_unpacklo_epi16(hi[2 * q], hi[2 * q + 1]);
        quad[q][3] = _mm256_unpackhi_epi16(hi[2 * q], hi[2 * q + 1]);
    }
    // Octets of lines, bytes 2t, 2t+1.
    __m256i oct[2][8];
    for (int o = 0; o < 2; ++o)
        for (int m = 0; m < 4; ++m) {
            oct[o][2 * m] = _mm256_unpacklo_epi32(quad[2 * o][m], quad[2 * o + 1][m]);
            oct[o][2 * m + 1] = _mm256_unpackhi_epi32(quad[2 * o][m], quad[2 * o + 1][m]);
        }
    // All sixteen lines of byte k: bitmap row y + k, which lies rowStep lower per k.
    for (int t = 0; t < 8; ++t) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(row0 + 2 * t * rowStep),
                           _mm256_unpacklo_epi64(oct[0][t], oct[1][t]));
        _mm256_store_si256(reinterpret_cast<__m256i*>(row0 + (2 * t + 1) * rowStep),
                           _mm256_unpackhi_epi64(oct[0][t], oct[1][t]));
    }
}

// Tiles of 512 bitmap columns by 16 rows, each transposed into a small contiguous block
// and then copied out 512 bytes per bitmap row. Transposing straight into the bitmap
// writes 16 rows at once; for a full sheet they lie 4096 bytes apart, all in the same
// first-level cache set, and the half-written lines kept evicting each other (that ran
// slower than the 8-row SSE2 loop). Tile shapes measured on the 4096 x 2000 sheet:
// 512 x 16 and 256 x 16 best, 128 x 64 and 64 x 64 two to three times slower.
__attribute__((target("avx2"))) size_t transposeAvx2(const uint8_t* const* lineOf, size_t H,
                                                     size_t rowBytes, size_t from,
                                                     uint8_t* pixels) {
    constexpr size_t kTileColumns = 512, kTileRows = 16;
    alignas(32) uint8_t block[kTileRows][kTileColumns];
    const size_t end = from + ((H - from) & ~size_t(15));
    for (size_t left = 0; left < rowBytes; left += kTileColumns) {
        const size_t width = std::min(kTileColumns, rowBytes - left);
        for (size_t top = from; top < end; top += kTileRows) {
            const size_t bottom = std::min(top + kTileRows, end);
            if (bottom < end)
                for (size_t c = left; c < left + width; ++c)
                    _mm_prefetch(reinterpret_cast<const char*>(lineOf[c] + bottom), _MM_HINT_T0);
            for (size_t y = top; y < bottom; y += 16)
                for (size_t c = 0; c < width; c += 32)
                    transpose32x16(&lineOf[left + c], y, &block[y - top][c], kTileColumns);
            for (size_t y = top; y < bottom; ++y) {
                const uint8_t* from32 = block[y - top];
                uint8_t* to = pixels + (H - 1 - y) * rowBytes + left;
                for (size_t c = 0; c < width; c += 32)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + c),
                                        _mm256_load_si256(reinterpret_cast<const __m256i*>(from32 + c)));
            }
        }
    }
    // Clean upper halves of the vector registers, or every later SSE instruction of the
    // host process pays a transition penalty.
    _mm256_zeroupper();
    return end;
}

#endif

}  // namespace

bool transposePathAvailable(TransposePath path) {
    switch (path) {
    case TransposePath::Plain: return true;
#if defined(__x86_64__)
    case TransposePath::Sse2: return true;
    case TransposePath::Avx2: return __builtin_cpu_supports("avx2");
#else
    default: return false;
#endif
    }
    return false;
}

void transposeScanLines(const uint8_t* raw, size_t count, const DibGeometry& geom,
                        uint8_t* pixels) {
    static const TransposePath best = transposePathAvailable(TransposePath::Avx2)
                                          ? TransposePath::Avx2
                                          : transposePathAvailable(TransposePath::Sse2)
                                                ? TransposePath::Sse2
                                                : TransposePath::Plain;
    transposeScanLines(raw, count, geom, pixels, best);
}

void transposeScanLines(const uint8_t* raw, size_t count, const DibGeometry& geom,
                        uint8_t* pixels, TransposePath path) {
    const size_t H = geom.height, rowBytes = geom.rowBytes, W = geom.scanLines;
    if (H == 0 || rowBytes == 0) return;

    // The source scan line of every bitmap column. Columns past the last scan line
    // (x >= W, the padding to 32) are white, and so is anything the board did not send:
    // a line that ends short is completed with white in a scratch copy, so the loops
    // below never read raw past count.
    std::vector<uint8_t> white(H, 0xFF);
    std::vector<uint8_t> partial;
    std::vector<const uint8_t*> lineOf(rowBytes);
    for (size_t c = 0; c < rowBytes; ++c) {
        // Compression keeps three of every four scan lines (x mod 4 = 3 dropped).
        size_t x = geom.compress ? (c / 3) * 4 + c % 3 : c;
        const uint8_t* line = white.data();
        if (x < W && x * H < count) {
            if (x * H + H <= count) {
                line = raw + x * H;
            } else {
                partial.assign(H, 0xFF);
                std::memcpy(partial.data(), raw + x * H, count - x * H);
                line = partial.data();
            }
        }
        lineOf[c] = line;
    }

    // Whole 16-row bands by the widest path, then 8-row bands, then single rows. The
    // vector paths need rowBytes to be a multiple of 32, which the geometry guarantees.
    size_t y = 0;
#if defined(__x86_64__)
    if (path == TransposePath::Avx2) y = transposeAvx2(lineOf.data(), H, rowBytes, y, pixels);
#endif
    if (path != TransposePath::Plain) y = transposeSse2(lineOf.data(), H, rowBytes, y, pixels);
    transposePlain(lineOf.data(), H, rowBytes, y, pixels);
}

bool buildDib(ImageBuffer& image) {
    const DibGeometry& g = image.geometry;
    // The board's image can only be whole when all its scan lines fit the receive
    // buffer. A larger one (its length field allows up to 4 GiB) would make the
    // transpose read past the 8 MiB of data, so it is refused: no half image is ever
    // handed to the application.
    if (g.scanLines == 0 || g.height == 0) return false;
    if (size_t(g.scanLines) * g.height > kRawBufferSize) return false;
    if (!image.raw) return false;

    // A new image replaces the pending one, which nobody holds any more: release it
    // rather than leak it.
    image.pendingImage.release();

    const size_t bytes = g.dibBytes();
    void* handle = image.memory->allocate(bytes);
    if (!handle) return false;
    PendingImage dibImage(image.memory, handle, bytes);
    uint8_t* dib = image.memory->lock(handle);
    if (!dib) return false;

    dib::BitmapInfoHeader header;
    header.biSize = 40;
    header.biWidth = int32_t(g.rowBytes);
    header.biHeight = int32_t(g.height);
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = 0;
    header.biSizeImage = 0;
    header.biXPelsPerMeter = kDibPelsPerMeter;
    header.biYPelsPerMeter = kDibPelsPerMeter;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    std::memcpy(dib, &header, sizeof header);
    fillPalette(dib + sizeof header, image.colour);
    transposeScanLines(image.raw.get(), image.rawCount, g, dib + kDibHeaderAndPalette);
    image.memory->unlock(handle);

    image.pendingImage = std::move(dibImage);
    return true;
}

}  // namespace q47::twain_source

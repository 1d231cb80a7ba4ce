// ImageBuffer: the board's image on its way to TWAIN, and buildDib, which makes the DIB.
//
// One ImageBuffer lives as long as the loaded data source (the TWAIN layer owns it and
// hands it to each AcquireDialog). The pixel data arrive as W scan lines of H bytes,
// scan line 0 first; buildDib turns them into an 8-bit bottom-up DIB whose leftmost
// column is scan line 0 and whose top row is the last byte of each scan line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace q47::twain_source {

// The received pixel data are held in one buffer of this size per image.
constexpr size_t kRawBufferSize = 8u * 1024u * 1024u;
// 40-byte BITMAPINFOHEADER and 256 palette entries ahead of the pixels.
constexpr size_t kDibHeaderAndPalette = 40 + 256 * 4;
// 200 dpi in pixels per metre, as the header states it.
constexpr int32_t kDibPelsPerMeter = 7875;

// Where DIB memory comes from. The TWAIN layer plugs in the source manager's memory
// functions (the application frees a natively transferred DIB with them); by default
// calloc/free. A handle is what the application receives; lock gives its bytes.
class DibMemory {
public:
    virtual ~DibMemory() = default;
    // Zero-initialised block of bytes, or null.
    virtual void* allocate(size_t bytes);
    virtual void release(void* handle);
    virtual uint8_t* lock(void* handle) { return static_cast<uint8_t*>(handle); }
    virtual void unlock(void*) {}
    static DibMemory& standard();
};

// The finished DIB: a memory handle and its allocated size. Owns the handle until
// handOver() passes it to the application.
class PendingImage {
public:
    PendingImage() = default;
    PendingImage(DibMemory* memory, void* handle, size_t size)
        : memory_(memory), handle_(handle), size_(size) {}
    ~PendingImage() { release(); }
    PendingImage(PendingImage&& o) noexcept { *this = std::move(o); }
    PendingImage& operator=(PendingImage&& o) noexcept;
    PendingImage(const PendingImage&) = delete;
    PendingImage& operator=(const PendingImage&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    size_t size() const { return size_; }
    DibMemory* memory() const { return memory_; }
    // Frees the DIB.
    void release();
    // Gives the handle away (native transfer): this no longer owns it.
    void* handOver();

private:
    DibMemory* memory_ = nullptr;
    void* handle_ = nullptr;
    size_t size_ = 0;
};

// Bitmap geometry of one image.
struct DibGeometry {
    uint32_t scanLines = 0;    // W
    uint32_t srcRowBytes = 0;  // W rounded up to a multiple of 32
    uint32_t outWidth = 0;     // W * 3 / 4 when compressed, else W
    uint32_t rowBytes = 0;     // outWidth rounded up to 32: bitmap width and row length
    uint32_t height = 0;       // H
    bool compress = false;
    // Bytes allocated for the DIB: H * srcRowBytes + 1064 (more than the pixel area
    // needs when compressed; the whole block is what a file transfer writes).
    size_t dibBytes() const { return size_t(height) * srcRowBytes + kDibHeaderAndPalette; }
    size_t pixelBytes() const { return size_t(height) * rowBytes; }
};
// The same formulas serve every model letter; the board's letters 5, S, s, W and w are
// the ones it was made for.
DibGeometry dibGeometry(uint16_t scanLines, uint16_t height, bool compress);

// The 256 palette entries (blue, green, red, 0) of a DIB: grey i,i,i, or 3-3-2 colour
// (red and green from 00 20 40 60 9F BF DF FF, blue from 00 40 BF FF).
void fillPalette(uint8_t* entries1024, bool colour);

struct ImageBuffer {
    bool compress = false;  // set by the COMP scan: every fourth scan line is dropped
    bool colour = false;    // palette: follows the COLOR lamp of the status replies
    // The received pixel data of the image being read, kRawBufferSize bytes, and how
    // many of them the board sent.
    std::unique_ptr<uint8_t[]> raw;
    size_t rawCount = 0;
    // Bytes the board sent beyond the buffer's end (read and dropped).
    size_t rawDropped = 0;
    DibGeometry geometry;
    PendingImage pendingImage;
    DibMemory* memory = &DibMemory::standard();

    bool allocateRaw();  // false when out of memory
    void releaseRaw();
    // Appends n received bytes; what does not fit in the buffer is counted and dropped.
    void appendRaw(const uint8_t* data, size_t n);
};

// Builds the DIB of image from its raw data and geometry into image.pendingImage,
// releasing the DIB that was pending before (nobody else holds it). False with no
// image when the DIB cannot be allocated, or when the image cannot be whole: W or H
// zero, or W x H more than the board could fit into the receive buffer. Pixels of
// scan lines the board sent short are white; raw is never read past rawCount.
bool buildDib(ImageBuffer& image);

// The pixel loop of buildDib, for the benchmark: writes the rowBytes x H pixel area
// (bottom row first) from raw scan lines (count bytes valid) per geom.
void transposeScanLines(const uint8_t* raw, size_t count, const DibGeometry& geom,
                        uint8_t* pixels);
// The same with a chosen loop, so every one can be checked on any processor that runs
// it: plain bytes (the reference), SSE2 8 x 8 blocks, AVX2 32 x 16 blocks (the default
// where available). All write the same bytes.
enum class TransposePath { Plain, Sse2, Avx2 };
bool transposePathAvailable(TransposePath path);
void transposeScanLines(const uint8_t* raw, size_t count, const DibGeometry& geom,
                        uint8_t* pixels, TransposePath path);

}  // namespace q47::twain_source

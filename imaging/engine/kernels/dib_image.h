// An engine raster image: one packed DIB (40-byte header, colour table, bottom-up rows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/dib.h"

namespace q47::ik {

using q47::dib::BitmapInfoHeader;
using q47::dib::RgbQuad;

// Largest picture the engine takes: bounds every allocation a file header can ask for.
constexpr int kMaxSide = 65535;
constexpr size_t kMaxPixelBytes = size_t{1} << 30;

// Owns the bytes of a packed DIB of 1, 4, 8 or 24 bits, always bottom-up, uncompressed,
// with a 40-byte header. Rows are addressed from the top of the picture.
class DibImage {
public:
    DibImage() = default;
    // An all-zero picture with a zeroed colour table of 2^bits entries (bits <= 8), or an
    // empty image when the size is not positive or too large.
    static DibImage create(int width, int height, int bitCount);
    // Takes any packed DIB q47::dib::parse accepts (1/4/8/16/24/32 bits, either row order,
    // larger headers) and normalises it; false when the bytes are no such DIB.
    static bool fromPacked(const uint8_t* data, size_t size, DibImage* out);
    // Takes over bytes already in the engine's normal form (checked).
    static bool adopt(std::vector<uint8_t>&& bytes, DibImage* out);

    bool empty() const { return bytes_.empty(); }
    int width() const { return header().biWidth; }
    int height() const { return header().biHeight; }
    int bitCount() const { return header().biBitCount; }
    size_t stride() const { return stride_; }
    int paletteCount() const { return static_cast<int>(paletteCount_); }

    BitmapInfoHeader& header() { return *reinterpret_cast<BitmapInfoHeader*>(bytes_.data()); }
    const BitmapInfoHeader& header() const {
        return *reinterpret_cast<const BitmapInfoHeader*>(bytes_.data());
    }
    RgbQuad* palette() { return reinterpret_cast<RgbQuad*>(bytes_.data() + 40); }
    const RgbQuad* palette() const { return reinterpret_cast<const RgbQuad*>(bytes_.data() + 40); }
    uint8_t* bits() { return bytes_.data() + pixelOffset_; }
    const uint8_t* bits() const { return bytes_.data() + pixelOffset_; }
    uint8_t* row(int y) { return bits() + stride_ * static_cast<size_t>(height() - 1 - y); }
    const uint8_t* row(int y) const {
        return bits() + stride_ * static_cast<size_t>(height() - 1 - y);
    }

    // Resolution in dots per inch from the header's pixels per metre.
    int xDpi() const;
    int yDpi() const;
    void setDpi(int xDpi, int yDpi);
    void copyDpiFrom(const DibImage& other);
    // True when the colour table is the identity grey ramp of its depth (entry i is
    // i * 255 / (n - 1) in all three channels) - such pictures are filtered as grey levels.
    bool isGreyRamp() const;
    void setGreyPalette();

    std::vector<uint8_t>& bytes() { return bytes_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    void layout();
    std::vector<uint8_t> bytes_;
    size_t stride_ = 0, paletteCount_ = 0, pixelOffset_ = 0;
};

}  // namespace q47::ik

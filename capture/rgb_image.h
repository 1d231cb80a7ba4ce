// Plain 24-bit pictures for the capture logic: B, G, R bytes per pixel, rows from the top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace q47::capture {

// A read-only view of 24-bit rows that someone else owns. `stride` may be negative, so
// a bottom-up DIB is viewed upright without copying (top = address of its last row).
struct RgbView {
    const uint8_t* top = nullptr;
    ptrdiff_t stride = 0;
    int width = 0, height = 0;
    const uint8_t* row(int y) const { return top + stride * static_cast<ptrdiff_t>(y); }
};

// A writable view of 24-bit rows that someone else owns (same row rule as RgbView).
struct RgbPlane {
    uint8_t* top = nullptr;
    ptrdiff_t stride = 0;
    int width = 0, height = 0;
    uint8_t* row(int y) const { return top + stride * static_cast<ptrdiff_t>(y); }
};

// A 24-bit picture that owns its bytes; rows packed without padding.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;

    RgbImage() = default;
    // Every pixel (blue, green, red).
    RgbImage(int w, int h, uint8_t blue = 255, uint8_t green = 255, uint8_t red = 255);
    size_t stride() const { return static_cast<size_t>(width) * 3; }
    uint8_t* row(int y) { return bytes.data() + stride() * static_cast<size_t>(y); }
    const uint8_t* row(int y) const { return bytes.data() + stride() * static_cast<size_t>(y); }
    RgbView view() const {
        return RgbView{bytes.data(), static_cast<ptrdiff_t>(stride()), width, height};
    }
    RgbPlane plane() { return RgbPlane{bytes.data(), static_cast<ptrdiff_t>(stride()), width, height}; }
};

// Colours as the settings and windows give them: 0xBBGGRR.
constexpr uint32_t ColourOf(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint32_t>(red) | (static_cast<uint32_t>(green) << 8) |
           (static_cast<uint32_t>(blue) << 16);
}

}  // namespace q47::capture

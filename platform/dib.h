// Packed device-independent bitmaps: 40-byte header, colour table, rows padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q47::dib {

#pragma pack(push, 1)
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // BI_RGB
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
struct RgbQuad {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BitmapFileHeader {
    uint16_t bfType = 0x4D42;  // "BM"
    uint32_t bfSize = 0;
    uint16_t bfReserved1 = 0;
    uint16_t bfReserved2 = 0;
    uint32_t bfOffBits = 0;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(RgbQuad) == 4);
static_assert(sizeof(BitmapFileHeader) == 14);

// Bytes per row of a width-pixel row at bits per pixel, padded to 32 bits.
constexpr size_t rowStride(int width, int bitsPerPixel) {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}
// Colour-table entries: biClrUsed, or 2^bits for 1, 4 and 8 bits, else 0.
size_t paletteEntries(const BitmapInfoHeader& h);
// dpi to pixels per metre, rounded as Windows programs do (dpi * 10000 / 254).
int32_t dpiToPelsPerMeter(int dpi);

// A packed DIB checked for sane geometry; the views point into the caller's bytes.
struct View {
    const BitmapInfoHeader* header = nullptr;
    const RgbQuad* palette = nullptr;
    size_t paletteCount = 0;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    int width = 0, height = 0;  // height as a positive count
    bool bottomUp = true;
    // Row y counted from the top of the picture.
    const uint8_t* rowFromTop(int y) const {
        return pixels + stride * static_cast<size_t>(bottomUp ? height - 1 - y : y);
    }
};
// false when the bytes are not a whole uncompressed 1/4/8/16/24/32-bit DIB.
bool parse(const uint8_t* data, size_t size, View* out);

// Builds an empty packed DIB (header, zeroed palette, zeroed pixels).
std::vector<uint8_t> make(int width, int height, int bitsPerPixel, int paletteCount = -1,
                          int dpi = 0);

// Writes a packed DIB as a .bmp file: 14-byte file header with bfOffBits =
// 14 + header + palette, then the DIB bytes unchanged. False on I/O failure.
bool writeBmpFile(const std::string& path, const uint8_t* dib, size_t size);
// Reads a .bmp file into a packed DIB (uncompressed only); false on any malformed input.
bool readBmpFile(const std::string& path, std::vector<uint8_t>* dib, std::string* error = nullptr);
bool bmpBytesToDib(const uint8_t* data, size_t size, std::vector<uint8_t>* dib,
                   std::string* error = nullptr);

}  // namespace q47::dib

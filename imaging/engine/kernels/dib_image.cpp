// Normalising packed DIBs into the engine's form and reading their resolution.
#include "imaging/engine/kernels/dib_image.h"

#include <cmath>
#include <cstring>

namespace q47::ik {

namespace {

int pelsToDpi(int32_t ppm) {
    if (ppm <= 0) return 0;
    return static_cast<int>((static_cast<int64_t>(ppm) * 254 + 5000) / 10000);
}

bool sizeAllowed(int width, int height, int bitCount) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    return q47::dib::rowStride(width, bitCount) * static_cast<size_t>(height) <= kMaxPixelBytes;
}

}  // namespace

DibImage DibImage::create(int width, int height, int bitCount) {
    DibImage img;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) return img;
    if (!sizeAllowed(width, height, bitCount)) return img;
    img.bytes_ = q47::dib::make(width, height, bitCount);
    if (img.bytes_.empty()) return img;
    img.header().biClrUsed = 0;
    img.layout();
    return img;
}

void DibImage::layout() {
    const auto& h = header();
    stride_ = q47::dib::rowStride(h.biWidth, h.biBitCount);
    paletteCount_ = h.biBitCount <= 8 ? (size_t{1} << h.biBitCount) : 0;
    pixelOffset_ = 40 + paletteCount_ * 4;
}

bool DibImage::adopt(std::vector<uint8_t>&& bytes, DibImage* out) {
    q47::dib::View v;
    if (!q47::dib::parse(bytes.data(), bytes.size(), &v)) return false;
    const auto& h = *v.header;
    const int bits = h.biBitCount;
    if (h.biSize != 40 || !v.bottomUp || (bits != 1 && bits != 4 && bits != 8 && bits != 24))
        return false;
    if (!sizeAllowed(v.width, v.height, bits)) return false;
    const size_t full = bits <= 8 ? (size_t{1} << bits) : 0;
    if (v.paletteCount != full) return false;
    DibImage img;
    img.bytes_ = std::move(bytes);
    img.layout();
    img.bytes_.resize(img.pixelOffset_ + img.stride_ * static_cast<size_t>(v.height));
    *out = std::move(img);
    return true;
}

bool DibImage::fromPacked(const uint8_t* data, size_t size, DibImage* out) {
    q47::dib::View v;
    if (!q47::dib::parse(data, size, &v)) return false;
    const int bits = v.header->biBitCount;
    const int target = bits > 8 ? 24 : bits;
    DibImage img = create(v.width, v.height, target);
    if (img.empty()) return false;
    img.header().biXPelsPerMeter = v.header->biXPelsPerMeter;
    img.header().biYPelsPerMeter = v.header->biYPelsPerMeter;
    if (bits <= 8) {
        // Indices past a short colour table read as black rather than past the end.
        std::memcpy(img.palette(), v.palette, v.paletteCount * 4);
    }
    const int w = v.width;
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* s = v.rowFromTop(y);
        uint8_t* d = img.row(y);
        switch (bits) {
            case 1: case 4: case 8: case 24:
                std::memcpy(d, s, img.stride());
                break;
            case 16:  // 5-5-5, the plain 16-bit layout
                for (int x = 0; x < w; ++x) {
                    const unsigned p = s[2 * x] | (s[2 * x + 1] << 8);
                    const unsigned b = p & 31, g = (p >> 5) & 31, r = (p >> 10) & 31;
                    d[3 * x] = static_cast<uint8_t>((b << 3) | (b >> 2));
                    d[3 * x + 1] = static_cast<uint8_t>((g << 3) | (g >> 2));
                    d[3 * x + 2] = static_cast<uint8_t>((r << 3) | (r >> 2));
                }
                break;
            case 32:
                for (int x = 0; x < w; ++x) {
                    d[3 * x] = s[4 * x];
                    d[3 * x + 1] = s[4 * x + 1];
                    d[3 * x + 2] = s[4 * x + 2];
                }
                break;
        }
    }
    *out = std::move(img);
    return true;
}

int DibImage::xDpi() const { return pelsToDpi(header().biXPelsPerMeter); }
int DibImage::yDpi() const { return pelsToDpi(header().biYPelsPerMeter); }

void DibImage::setDpi(int x, int y) {
    header().biXPelsPerMeter = x > 0 ? q47::dib::dpiToPelsPerMeter(x) : 0;
    header().biYPelsPerMeter = y > 0 ? q47::dib::dpiToPelsPerMeter(y) : 0;
}

void DibImage::copyDpiFrom(const DibImage& other) {
    header().biXPelsPerMeter = other.header().biXPelsPerMeter;
    header().biYPelsPerMeter = other.header().biYPelsPerMeter;
}

bool DibImage::isGreyRamp() const {
    const int n = paletteCount();
    if (n < 2) return false;
    const RgbQuad* p = palette();
    for (int i = 0; i < n; ++i) {
        const int v = i * 255 / (n - 1);
        if (p[i].rgbRed != v || p[i].rgbGreen != v || p[i].rgbBlue != v) return false;
    }
    return true;
}

void DibImage::setGreyPalette() {
    const int n = paletteCount();
    RgbQuad* p = palette();
    for (int i = 0; i < n; ++i) {
        const auto v = static_cast<uint8_t>(i * 255 / (n - 1));
        p[i] = RgbQuad{v, v, v, 0};
    }
}

}  // namespace q47::ik

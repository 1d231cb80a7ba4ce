// Colour conversions: palette look-up tables applied a row at a time.
#include "imaging/engine/kernels/convert.h"

#include <cstring>
#include <vector>

namespace q47::ik {

namespace {

// Palette as packed little-endian B,G,R,0 words so four pixels become three stores.
void paletteWords(const DibImage& src, uint32_t* lut) {
    const RgbQuad* p = src.palette();
    for (int i = 0; i < 256; ++i) {
        const int k = i < src.paletteCount() ? i : 0;
        lut[i] = i < src.paletteCount()
                     ? (p[k].rgbBlue | (p[k].rgbGreen << 8) | (uint32_t{p[k].rgbRed} << 16))
                     : 0;
    }
}

void indexRowTo24(const uint8_t* s, int w, const uint32_t* lut, uint8_t* d) {
    int x = 0;
    for (; x + 4 <= w; x += 4, d += 12) {
        const uint32_t a = lut[s[x]], b = lut[s[x + 1]], c = lut[s[x + 2]], e = lut[s[x + 3]];
        const uint32_t w0 = a | (b << 24), w1 = (b >> 8) | (c << 16), w2 = (c >> 16) | (e << 8);
        std::memcpy(d, &w0, 4);
        std::memcpy(d + 4, &w1, 4);
        std::memcpy(d + 8, &w2, 4);
    }
    for (; x < w; ++x, d += 3) {
        const uint32_t a = lut[s[x]];
        d[0] = static_cast<uint8_t>(a);
        d[1] = static_cast<uint8_t>(a >> 8);
        d[2] = static_cast<uint8_t>(a >> 16);
    }
}

}  // namespace

void rowIndices(const DibImage& src, int y, uint8_t* out) {
    const uint8_t* s = src.row(y);
    const int w = src.width();
    switch (src.bitCount()) {
        case 8:
            std::memcpy(out, s, static_cast<size_t>(w));
            break;
        case 4:
            for (int x = 0; x < w; ++x) out[x] = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
            break;
        case 1:
            for (int x = 0; x < w; ++x) out[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        default:
            break;
    }
}

void packIndices(const uint8_t* idx, int w, int bitCount, uint8_t* out) {
    switch (bitCount) {
        case 8:
            std::memcpy(out, idx, static_cast<size_t>(w));
            break;
        case 4:
            for (int x = 0; x < w; x += 2)
                out[x >> 1] = static_cast<uint8_t>((idx[x] << 4) | (x + 1 < w ? idx[x + 1] & 15 : 0));
            break;
        case 1:
            for (int x = 0; x < w; x += 8) {
                uint8_t v = 0;
                for (int k = 0; k < 8 && x + k < w; ++k) v |= (idx[x + k] & 1) << (7 - k);
                out[x >> 3] = v;
            }
            break;
    }
}

void rowTo24(const DibImage& src, int y, uint8_t* out) {
    const int w = src.width();
    if (src.bitCount() == 24) {
        std::memcpy(out, src.row(y), static_cast<size_t>(w) * 3);
        return;
    }
    uint32_t lut[256];
    paletteWords(src, lut);
    if (src.bitCount() == 8) {
        indexRowTo24(src.row(y), w, lut, out);
        return;
    }
    std::vector<uint8_t> idx(static_cast<size_t>(w));
    rowIndices(src, y, idx.data());
    indexRowTo24(idx.data(), w, lut, out);
}

DibImage convertTo24(const DibImage& src, ProgressSink* progress) {
    DibImage dst = DibImage::create(src.width(), src.height(), 24);
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    const int w = src.width(), h = src.height();
    uint32_t lut[256];
    if (src.bitCount() <= 8) paletteWords(src, lut);
    std::vector<uint8_t> idx(src.bitCount() < 8 ? static_cast<size_t>(w) : 0);
    for (int y = 0; y < h; ++y) {
        uint8_t* d = dst.row(y);
        switch (src.bitCount()) {
            case 24:
                std::memcpy(d, src.row(y), static_cast<size_t>(w) * 3);
                break;
            case 8:
                indexRowTo24(src.row(y), w, lut, d);
                break;
            default:
                rowIndices(src, y, idx.data());
                indexRowTo24(idx.data(), w, lut, d);
                break;
        }
        if (progress && (y & 63) == 63 && !progress->step(y + 1, h)) return DibImage();
    }
    return dst;
}

namespace {

// Grey level per palette entry, or per RGB for 24 bits, quantised to `levels` steps.
DibImage convertToGreyLevels(const DibImage& src, int bitCount, int threshold,
                             ProgressSink* progress) {
    DibImage dst = DibImage::create(src.width(), src.height(), bitCount);
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    dst.setGreyPalette();
    const int w = src.width(), h = src.height();
    // Grey value -> output index.
    uint8_t quant[256];
    for (int v = 0; v < 256; ++v) {
        if (bitCount == 8) quant[v] = static_cast<uint8_t>(v);
        else if (bitCount == 4) quant[v] = static_cast<uint8_t>((v * 15 + 127) / 255);
        else quant[v] = v >= threshold ? 1 : 0;
    }
    uint8_t lut[256] = {};
    if (src.bitCount() <= 8) {
        const RgbQuad* p = src.palette();
        for (int i = 0; i < src.paletteCount(); ++i)
            lut[i] = quant[greyOf(p[i].rgbRed, p[i].rgbGreen, p[i].rgbBlue)];
    }
    std::vector<uint8_t> idx(static_cast<size_t>(w));
    const bool direct = bitCount == 8;
    for (int y = 0; y < h; ++y) {
        uint8_t* out = direct ? dst.row(y) : idx.data();
        if (src.bitCount() == 24) {
            const uint8_t* s = src.row(y);
            for (int x = 0; x < w; ++x, s += 3) out[x] = quant[greyOf(s[2], s[1], s[0])];
        } else {
            rowIndices(src, y, out);
            for (int x = 0; x < w; ++x) out[x] = lut[out[x]];
        }
        if (!direct) packIndices(idx.data(), w, bitCount, dst.row(y));
        if (progress && (y & 63) == 63 && !progress->step(y + 1, h)) return DibImage();
    }
    return dst;
}

}  // namespace

DibImage convertToGrey8(const DibImage& src, ProgressSink* progress) {
    return convertToGreyLevels(src, 8, 0, progress);
}
DibImage convertToGrey4(const DibImage& src, ProgressSink* progress) {
    return convertToGreyLevels(src, 4, 0, progress);
}
DibImage convertToBinary(const DibImage& src, int threshold, ProgressSink* progress) {
    return convertToGreyLevels(src, 1, threshold, progress);
}

}  // namespace q47::ik

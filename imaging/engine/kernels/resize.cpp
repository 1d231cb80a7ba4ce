// Resizing kernels: row-pair halving, separable fixed-point area averaging, nearest pixel.
#include "imaging/engine/kernels/resize.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/engine/kernels/convert.h"
#include "imaging/engine/kernels/halve_rows.h"

namespace q47::ik {

namespace {

constexpr int kOne = 1 << 16;  // fixed-point weight 1.0

struct Taps {
    std::vector<int> first;   // per output: first source index
    std::vector<int> count;   // per output: number of taps
    std::vector<int> weight;  // all taps, summing to exactly kOne per output
    std::vector<int> offset;  // per output: where its taps start in weight
};

// Weights for one axis: coverage of [o*in/out, (o+1)*in/out) when shrinking, linear
// between the two nearest centres when enlarging. Shrinking works in whole units of
// 1/out of a source pixel and rounds the running total of coverage, not each tap: every
// weight is then within one unit of its share, none is negative, and the weights of an
// output pixel add up to exactly kOne however many taps it has. Rounding each tap on its
// own piled the error onto the last one, which at 550:1 outweighed all the others.
Taps makeTaps(int in, int out) {
    Taps t;
    t.first.resize(out);
    t.count.resize(out);
    t.offset.resize(out);
    for (int o = 0; o < out; ++o) {
        t.offset[o] = static_cast<int>(t.weight.size());
        if (out <= in) {
            const int64_t a = int64_t{o} * in, b = (int64_t{o} + 1) * in;  // in 1/out units
            const int i0 = static_cast<int>(a / out), i1 = static_cast<int>((b - 1) / out);
            int64_t given = 0;
            for (int i = i0; i <= i1; ++i) {
                const int64_t covered = std::min<int64_t>((int64_t{i} + 1) * out, b) - a;  // so far
                const int64_t total = (covered * kOne + in / 2) / in;
                t.weight.push_back(static_cast<int>(total - given));
                given = total;
            }
            t.first[o] = i0;
            t.count[o] = i1 - i0 + 1;
        } else {
            const double c = (o + 0.5) * in / out - 0.5;
            int i0 = static_cast<int>(c < 0 ? 0 : c);
            if (i0 > in - 1) i0 = in - 1;
            const double f = std::clamp(c - i0, 0.0, 1.0);
            const int w1 = i0 + 1 < in ? static_cast<int>(f * kOne + 0.5) : 0;
            t.first[o] = i0;
            t.count[o] = w1 ? 2 : 1;
            t.weight.push_back(kOne - w1);
            if (w1) t.weight.push_back(w1);
        }
    }
    return t;
}

}  // namespace

DibImage halve(const DibImage& src, ProgressSink* progress) {
    const int w = src.width() / 2, h = src.height() / 2;
    const int bits = src.bitCount();
    if (w <= 0 || h <= 0 || (bits != 24 && bits != 8)) return DibImage();
    DibImage dst = DibImage::create(w, h, bits);
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    if (bits == 8) std::memcpy(dst.palette(), src.palette(), 256 * 4);
    const HalvePath path = bestHalvePath();
    const int channels = bits == 24 ? 3 : 1;
    for (int y = 0; y < h; ++y) {
        halveRow(path, channels, src.row(2 * y), src.row(2 * y + 1), w, dst.row(y));
        if (progress && (y & 63) == 63 && !progress->step(y + 1, h)) return DibImage();
    }
    return dst;
}

DibImage resizeNearest(const DibImage& src, int width, int height, ProgressSink* progress) {
    DibImage dst = DibImage::create(width, height, src.bitCount());
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    std::memcpy(dst.palette(), src.palette(), static_cast<size_t>(src.paletteCount()) * 4);
    std::vector<int> mapX(width);
    for (int x = 0; x < width; ++x)
        mapX[x] = static_cast<int>((static_cast<int64_t>(x) * 2 + 1) * src.width() / (2 * width));
    const int bits = src.bitCount();
    std::vector<uint8_t> in(static_cast<size_t>(src.width())), out(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>((static_cast<int64_t>(y) * 2 + 1) * src.height() / (2 * height));
        uint8_t* d = dst.row(y);
        if (bits == 24) {
            const uint8_t* s = src.row(sy);
            for (int x = 0; x < width; ++x, d += 3) std::memcpy(d, s + 3 * mapX[x], 3);
        } else if (bits == 8) {
            const uint8_t* s = src.row(sy);
            for (int x = 0; x < width; ++x) d[x] = s[mapX[x]];
        } else {
            rowIndices(src, sy, in.data());
            for (int x = 0; x < width; ++x) out[x] = in[mapX[x]];
            packIndices(out.data(), width, bits, d);
        }
        if (progress && (y & 63) == 63 && !progress->step(y + 1, height)) return DibImage();
    }
    return dst;
}

DibImage resizeSmooth(const DibImage& src, int width, int height, ProgressSink* progress) {
    const int bits = src.bitCount();
    if (width <= 0 || height <= 0) return DibImage();
    const bool averaged = bits == 24 || (bits == 8 && src.isGreyRamp());
    if (!averaged) return resizeNearest(src, width, height, progress);
    if (width * 2 == src.width() && height * 2 == src.height()) return halve(src, progress);

    DibImage dst = DibImage::create(width, height, bits);
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    if (bits == 8) std::memcpy(dst.palette(), src.palette(), 256 * 4);
    const int C = bits == 24 ? 3 : 1;
    const Taps tx = makeTaps(src.width(), width), ty = makeTaps(src.height(), height);
    // Horizontal pass per source row into 32-bit sums (x kOne).
    const size_t rowLen = static_cast<size_t>(width) * C;
    std::vector<uint32_t> hrow(rowLen), acc(rowLen);
    for (int y = 0; y < height; ++y) {
        std::fill(acc.begin(), acc.end(), 0);
        for (int k = 0; k < ty.count[y]; ++k) {
            const int sy = ty.first[y] + k;
            const int wy = ty.weight[ty.offset[y] + k];
            const uint8_t* s = src.row(sy);
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = s + static_cast<size_t>(tx.first[x]) * C;
                const int* wx = &tx.weight[tx.offset[x]];
                for (int c = 0; c < C; ++c) {
                    uint32_t sum = 0;
                    for (int j = 0; j < tx.count[x]; ++j) sum += p[j * C + c] * wx[j];
                    hrow[x * C + c] = sum;  // <= 255 * 2^16
                }
            }
            // Kept to 1/128 of a level, the vertical sum stays below 255 * 2^7 * 2^16 < 2^31.
            for (size_t i = 0; i < rowLen; ++i) acc[i] += ((hrow[i] + (1 << 8)) >> 9) * wy;
        }
        uint8_t* d = dst.row(y);
        for (size_t i = 0; i < rowLen; ++i) {
            const uint32_t v = (acc[i] + (1u << 22)) >> 23;
            d[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
        if (progress && (y & 15) == 15 && !progress->step(y + 1, height)) return DibImage();
    }
    return dst;
}

}  // namespace q47::ik

// Filter kernels: trimmed matrix convolution over padded rows, tone tables, mosaic.
#include "imaging/engine/kernels/filter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

DibImage workingCopyForFilter(const DibImage& src) {
    if (src.bitCount() == 24 || (src.bitCount() == 8 && src.isGreyRamp())) return src;
    return convertTo24(src);
}

namespace {

// Truncating division by a fixed divisor through a 64-bit reciprocal when that is exact
// for every sum the matrix can produce, else plain division.
struct Divider {
    int d = 1;
    uint64_t m = 0;
    bool fast = false;
    int shift = -1;  // divisor is 2^shift (positive)
    Divider(int divisor, int64_t maxAbsSum) : d(divisor) {
        if (d > 0 && (d & (d - 1)) == 0) shift = __builtin_ctz(static_cast<unsigned>(d));
        const uint64_t ad = static_cast<uint64_t>(std::llabs(d));
        if (maxAbsSum >= 0 && static_cast<unsigned __int128>(maxAbsSum) * ad < (uint64_t{1} << 32)) {
            m = ((uint64_t{1} << 32) + ad - 1) / ad;
            fast = true;
        }
    }
    int64_t operator()(int64_t n) const {
        if (!fast) return n / d;
        const uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
        const auto r = static_cast<int64_t>((magnitude * m) >> 32);
        return ((n < 0) != (d < 0)) ? -r : r;
    }
};

inline uint8_t clampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
template <typename Acc>
inline uint8_t clampSum(Acc v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// One output row from kh padded source rows; `n` bytes (width * channels). Sizes,
// channel step, sum width and division kind are compile-time so the loop vectorises;
// weights are copied to locals because the byte stores could alias them otherwise. Acc
// is int only for matrices whose |sum| + |divisor| + |bias| stays within 32 bits.
enum DivKind { kShift, kReciprocal, kPlain };
template <typename Acc, int KH, int KW, int C, DivKind K>
void convRowT(const uint8_t* const* rows, const int* weights, int n, const Divider& div, int bias,
              uint8_t* __restrict out) {
    Acc w[KH * KW];
    for (int i = 0; i < KH * KW; ++i) w[i] = weights[i];
    const uint8_t* r[KH];
    for (int ky = 0; ky < KH; ++ky) r[ky] = rows[ky];
    const int shift = div.shift, d = div.d;
    const uint64_t m = div.m;
    constexpr int kSignShift = static_cast<int>(sizeof(Acc) * 8 - 1);
    for (int i = 0; i < n; ++i) {
        Acc sum = 0;
        for (int ky = 0; ky < KH; ++ky)
            for (int kx = 0; kx < KW; ++kx) sum += w[ky * KW + kx] * r[ky][i + kx * C];
        Acc q;
        if constexpr (K == kShift) {
            q = (sum + ((sum >> kSignShift) & ((Acc{1} << shift) - 1))) >> shift;  // truncates toward zero
        } else if constexpr (K == kReciprocal) {
            // The reciprocal is used only while |sum| x |d| < 2^32, so the product fits.
            Acc a;
            if constexpr (sizeof(Acc) == 4)
                a = static_cast<Acc>((static_cast<int64_t>(sum < 0 ? -sum : sum) * static_cast<int64_t>(m)) >> 32);
            else
                a = static_cast<Acc>(((sum < 0 ? 0 - static_cast<uint64_t>(sum) : static_cast<uint64_t>(sum)) * m) >> 32);
            q = (sum < 0) != (d < 0) ? -a : a;
        } else {
            q = sum / d;
        }
        q += bias;
        out[i] = static_cast<uint8_t>(q < 0 ? 0 : (q > 255 ? 255 : q));
    }
}

template <typename Acc, int KH, int KW>
void convRow(const uint8_t* const* rows, const int* w, int n, int C, const Divider& div, int bias, uint8_t* out) {
    const DivKind k = div.shift >= 0 ? kShift : div.fast ? kReciprocal : kPlain;
    if (C == 3) {
        if (k == kShift) convRowT<Acc, KH, KW, 3, kShift>(rows, w, n, div, bias, out);
        else if (k == kReciprocal) convRowT<Acc, KH, KW, 3, kReciprocal>(rows, w, n, div, bias, out);
        else convRowT<Acc, KH, KW, 3, kPlain>(rows, w, n, div, bias, out);
    } else {
        if (k == kShift) convRowT<Acc, KH, KW, 1, kShift>(rows, w, n, div, bias, out);
        else if (k == kReciprocal) convRowT<Acc, KH, KW, 1, kReciprocal>(rows, w, n, div, bias, out);
        else convRowT<Acc, KH, KW, 1, kPlain>(rows, w, n, div, bias, out);
    }
}

template <typename Acc>
void convRowAny(const uint8_t* const* rows, const int* w, int kh, int kw, int n, int C,
                const Divider& div, int bias, uint8_t* out) {
    for (int i = 0; i < n; ++i) {
        Acc sum = 0;
        for (int ky = 0; ky < kh; ++ky) {
            const uint8_t* r = rows[ky] + i;
            for (int kx = 0; kx < kw; ++kx) sum += static_cast<Acc>(w[ky * kw + kx]) * r[kx * C];
        }
        out[i] = clampSum<int64_t>(div(sum) + bias);
    }
}

template <typename Acc>
void convRowScalar(const uint8_t* const* rows, const int* w, int kh, int kw, int n, int C,
                   const Divider& div, int bias, uint8_t* out) {
    if (kh == 3 && kw == 3) convRow<Acc, 3, 3>(rows, w, n, C, div, bias, out);
    else if (kh == 1 && kw == 1) convRow<Acc, 1, 1>(rows, w, n, C, div, bias, out);
    else convRowAny<Acc>(rows, w, kh, kw, n, C, div, bias, out);
}

// Whether every sum, its rounding step and the bias fit a signed 32-bit value.
bool fitsScalar32(int64_t absSum, int divisor, int bias) {
    return absSum * 255 + std::llabs(divisor) + std::llabs(bias) <= INT32_MAX;
}

// Whether the 16-bit lanes hold every partial sum (see Narrow below).
bool fitsNarrow16(int64_t absSum, int divisor, int bias) {
#if defined(__SSE2__)
    return absSum <= 128 && bias >= -32768 && bias <= 32767 && divisor != -1 && divisor >= -32767 &&
           divisor <= 32767;
#else
    (void)absSum, (void)divisor, (void)bias;
    return false;
#endif
}

ConvolveLoop chooseLoop(ConvolveLoop wanted, int64_t absSum, int divisor, int bias) {
    if ((wanted == ConvolveLoop::Best || wanted == ConvolveLoop::Narrow16) && fitsNarrow16(absSum, divisor, bias))
        return ConvolveLoop::Narrow16;
    if (wanted != ConvolveLoop::Wide64 && fitsScalar32(absSum, divisor, bias)) return ConvolveLoop::Scalar32;
    return ConvolveLoop::Wide64;
}

// Sum of |weights| over the matrix (its zero border does not count).
int64_t absoluteSum(const Convolution& conv) {
    int64_t s = 0;
    for (int v : conv.weights) s += std::llabs(v);
    return s;
}

constexpr int kMaxMatrixSide = 1023;  // 1023^2 weights of 2^31 times 255 still fit 64 bits

#if defined(__SSE2__)

// The matrix in 16-bit lanes: every partial sum of weight x byte stays within
// +-(sum of |weights|) x 255, which fits a signed 16-bit lane while that sum is <= 128, so
// eight bytes are weighed per instruction instead of four 32-bit ones. Only non-zero taps
// are kept. The quotient truncates toward zero as the plain loop's division does: by a
// shift for powers of two, else by a 16-bit reciprocal that is exact below 2^15 (with
// s = ceil(log2 |d|) and m = ceil(2^(15+s) / |d|), m < 2^16 and the rounding error of
// m / 2^(15+s) times any |sum| < 2^15 stays below 1 / |d|).
struct Narrow {
    int taps = 0;
    int row[128], offset[128];
    __m128i weight[128];
    int shift = -1;  // divisor is 2^shift, else the reciprocal below
    __m128i recip = _mm_setzero_si128(), recipShift = _mm_setzero_si128();
    __m128i negate = _mm_setzero_si128(), bias = _mm_setzero_si128();

    // False when the matrix or divisor needs wider arithmetic than 16 bits.
    bool prepare(const int* w, int kh, int kw, int C, int divisor, int biasValue, int64_t absSum) {
        if (!fitsNarrow16(absSum, divisor, biasValue)) return false;
        for (int ky = 0; ky < kh; ++ky)
            for (int kx = 0; kx < kw; ++kx)
                if (const int v = w[ky * kw + kx]) {
                    row[taps] = ky, offset[taps] = kx * C;
                    weight[taps++] = _mm_set1_epi16(static_cast<int16_t>(v));
                }
        if (divisor > 0 && (divisor & (divisor - 1)) == 0) {
            shift = __builtin_ctz(static_cast<unsigned>(divisor));
        } else {
            const int ad = divisor < 0 ? -divisor : divisor;
            int s = 0;
            while ((1 << s) < ad) ++s;
            const uint32_t m = static_cast<uint32_t>(((int64_t{1} << (15 + s)) + ad - 1) / ad);
            recip = _mm_set1_epi16(static_cast<int16_t>(m));
            recipShift = _mm_cvtsi32_si128(s - 1);
        }
        negate = _mm_set1_epi16(divisor < 0 ? -1 : 0);
        bias = _mm_set1_epi16(static_cast<int16_t>(biasValue));
        return true;
    }

    // Eight quotients plus bias, from eight sums.
    __m128i finish(__m128i sum) const {
        const __m128i sign = _mm_srai_epi16(sum, 15);
        __m128i q;
        if (shift >= 0) {
            const __m128i round = _mm_and_si128(sign, _mm_set1_epi16(static_cast<int16_t>((1 << shift) - 1)));
            q = _mm_sra_epi16(_mm_add_epi16(sum, round), _mm_cvtsi32_si128(shift));
        } else {
            const __m128i magnitude = _mm_max_epi16(sum, _mm_sub_epi16(_mm_setzero_si128(), sum));
            const __m128i a = _mm_srl_epi16(_mm_mulhi_epu16(magnitude, recip), recipShift);
            const __m128i s = _mm_xor_si128(sign, negate);
            q = _mm_sub_epi16(_mm_xor_si128(a, s), s);
        }
        // Saturating: a result beyond 16 bits is beyond 0..255 on the same side.
        return _mm_adds_epi16(q, bias);
    }

    // Bytes [0, done) of one output row; the plain loop does the rest.
    int row16(const uint8_t* const* rows, int n, uint8_t* out) const {
        const __m128i zero = _mm_setzero_si128();
        int i = 0;
        for (; i + 16 <= n; i += 16) {
            __m128i lo = zero, hi = zero;
            for (int t = 0; t < taps; ++t) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[row[t]] + i + offset[t]));
                lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), weight[t]));
                hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), weight[t]));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(finish(lo), finish(hi)));
        }
        return i;
    }
};

#endif

}  // namespace

DibImage convolve(const DibImage& input, const Convolution& conv, ProgressSink* progress) {
    const int side = conv.side;
    if (side <= 0 || side % 2 == 0 || side > kMaxMatrixSide || conv.weights.size() != static_cast<size_t>(side) * side)
        return DibImage();
    // Trim zero rows and columns at the edges of the matrix, keeping the centre's place.
    int top = side, bottom = -1, left = side, right = -1;
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c)
            if (conv.weights[r * side + c]) {
                top = std::min(top, r), bottom = std::max(bottom, r);
                left = std::min(left, c), right = std::max(right, c);
            }
    if (bottom < 0) top = bottom = left = right = side / 2;  // all zero: output is the bias
    const int kh = bottom - top + 1, kw = right - left + 1;
    const int dy0 = top - side / 2, dx0 = left - side / 2;
    std::vector<int> w(static_cast<size_t>(kh) * kw);
    int64_t absSum = 0;
    for (int r = 0; r < kh; ++r)
        for (int c = 0; c < kw; ++c) {
            w[r * kw + c] = conv.weights[(top + r) * side + left + c];
            absSum += std::llabs(w[r * kw + c]);
        }
    const int divisor = conv.divisor == 0 ? 1 : conv.divisor;
    const Divider div(divisor, absSum * 255);

    // Pictures filters take as they are are read in place, not copied.
    DibImage expanded;
    const bool direct = input.bitCount() == 24 || (input.bitCount() == 8 && input.isGreyRamp());
    if (!direct) expanded = convertTo24(input);
    const DibImage& src = direct ? input : expanded;
    DibImage dst = DibImage::create(src.width(), src.height(), src.bitCount());
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    std::memcpy(dst.palette(), src.palette(), static_cast<size_t>(src.paletteCount()) * 4);
    const int width = src.width(), height = src.height();
    const int C = src.bitCount() == 24 ? 3 : 1;
    const int n = width * C;
    // Columns reach from dx0 to dx0 + kw - 1 around x; pad each source row so the inner
    // loop never tests an edge.
    const int padL = std::max(0, -dx0), padR = std::max(0, dx0 + kw - 1);
    const size_t padded = static_cast<size_t>(width + padL + padR) * C;
    std::vector<uint8_t> cache(padded * kh);
    std::vector<int> cachedRow(kh, -1);
    auto paddedRow = [&](int sy, int slot) -> const uint8_t* {
        uint8_t* p = cache.data() + padded * slot;
        if (cachedRow[slot] == sy) return p;
        cachedRow[slot] = sy;
        const uint8_t* s = src.row(sy);
        std::memcpy(p + static_cast<size_t>(padL) * C, s, static_cast<size_t>(n));
        for (int x = 0; x < padL; ++x) std::memcpy(p + x * C, s, C);
        for (int x = 0; x < padR; ++x)
            std::memcpy(p + static_cast<size_t>(padL + width + x) * C, s + (width - 1) * C, C);
        return p;
    };
    std::vector<const uint8_t*> rows(kh);
    const bool allChannels = C == 1 || (conv.channels[0] && conv.channels[1] && conv.channels[2]);
    const bool noChannel = C == 1 ? !(conv.channels[0] || conv.channels[1] || conv.channels[2])
                                  : !(conv.channels[0] || conv.channels[1] || conv.channels[2]);
    if (noChannel) {
        for (int y = 0; y < height; ++y) std::memcpy(dst.row(y), src.row(y), src.stride());
        return dst;
    }
    const ConvolveLoop loop = chooseLoop(conv.loop, absSum, divisor, conv.bias);
#if defined(__SSE2__)
    Narrow narrow;
    const bool narrowFits = loop == ConvolveLoop::Narrow16 &&
                            narrow.prepare(w.data(), kh, kw, C, divisor, conv.bias, absSum);
#endif
    for (int y = 0; y < height; ++y) {
        for (int k = 0; k < kh; ++k) {
            const int sy = std::clamp(y + dy0 + k, 0, height - 1);
            // Row sy lives in cache slot sy mod kh: each source row is padded once.
            rows[k] = paddedRow(sy, ((sy % kh) + kh) % kh) + static_cast<ptrdiff_t>(padL + dx0) * C;
        }
        uint8_t* out = dst.row(y);
        int done = 0;
#if defined(__SSE2__)
        if (narrowFits) {
            done = narrow.row16(rows.data(), n, out);
            for (int k = 0; k < kh; ++k) rows[k] += done;
            out += done;
        }
#endif
        const int rest = n - done;
        if (loop == ConvolveLoop::Wide64)
            convRowScalar<int64_t>(rows.data(), w.data(), kh, kw, rest, C, div, conv.bias, out);
        else
            convRowScalar<int>(rows.data(), w.data(), kh, kw, rest, C, div, conv.bias, out);
        out = dst.row(y);
        if (!allChannels) {
            const uint8_t* s = src.row(y);
            for (int c = 0; c < 3; ++c)
                if (!conv.channels[c])
                    for (int x = 0; x < width; ++x) out[3 * x + c] = s[3 * x + c];
        }
        if (progress && (y & 31) == 31 && !progress->step(y + 1, height)) return DibImage();
    }
    return dst;
}

ConvolveLoop convolveLoopFor(const Convolution& conv) {
    return chooseLoop(conv.loop, absoluteSum(conv), conv.divisor == 0 ? 1 : conv.divisor, conv.bias);
}

DibImage blur(const DibImage& src, int level, ProgressSink* progress) {
    level = std::clamp(level, 1, 10);
    Convolution c;
    c.side = 3;
    c.weights.assign(9, 1);
    c.divisor = 9;
    DibImage out = convolve(src, c, progress);
    for (int i = 1; i < level && !out.empty(); ++i) out = convolve(out, c, progress);
    return out;
}

DibImage sharpen(const DibImage& src, int level, ProgressSink* progress) {
    level = std::clamp(level, 1, 100);
    Convolution c;
    c.side = 3;
    c.weights.assign(9, -1);
    c.weights[4] = 8 + level;
    c.divisor = level;
    return convolve(src, c, progress);
}

std::array<uint8_t, 256> levelTable(int delta) {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) t[v] = clampByte(v + delta);
    return t;
}

std::array<uint8_t, 256> gammaTable(double gamma) {
    std::array<uint8_t, 256> t{};
    if (!(gamma > 0) || !std::isfinite(gamma)) gamma = 1.0;
    for (int v = 0; v < 256; ++v)
        t[v] = clampByte(static_cast<int>(std::lround(255.0 * std::pow(v / 255.0, 1.0 / gamma))));
    return t;
}

std::array<uint8_t, 256> reverseTable(bool on) {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(on ? 255 - v : v);
    return t;
}

DibImage applyTables(const DibImage& input, const std::array<std::array<uint8_t, 256>, 3>& lut,
                     ProgressSink* progress) {
    DibImage dst = workingCopyForFilter(input);
    if (dst.empty()) return dst;
    const int width = dst.width(), height = dst.height();
    for (int y = 0; y < height; ++y) {
        uint8_t* p = dst.row(y);
        if (dst.bitCount() == 24) {
            for (int x = 0; x < width; ++x, p += 3) {
                p[0] = lut[0][p[0]];
                p[1] = lut[1][p[1]];
                p[2] = lut[2][p[2]];
            }
        } else {
            for (int x = 0; x < width; ++x) p[x] = lut[1][p[x]];
        }
        if (progress && (y & 63) == 63 && !progress->step(y + 1, height)) return DibImage();
    }
    return dst;
}

DibImage mosaic(const DibImage& input, int cw, int ch, ProgressSink* progress) {
    if (cw <= 0 || ch <= 0) return DibImage();
    DibImage dst = workingCopyForFilter(input);
    if (dst.empty()) return dst;
    const int width = dst.width(), height = dst.height();
    const int C = dst.bitCount() == 24 ? 3 : 1;
    cw = std::min(cw, width), ch = std::min(ch, height);
    std::vector<uint32_t> sums;
    for (int by = 0; by < height; by += ch) {
        const int y1 = std::min(height, by + ch);
        const int cells = (width + cw - 1) / cw;
        sums.assign(static_cast<size_t>(cells) * C, 0);
        for (int y = by; y < y1; ++y) {
            const uint8_t* p = dst.row(y);
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < C; ++c) sums[(x / cw) * C + c] += p[x * C + c];
        }
        for (int y = by; y < y1; ++y) {
            uint8_t* p = dst.row(y);
            for (int x = 0; x < width; ++x) {
                const int cell = x / cw;
                const uint32_t count = static_cast<uint32_t>((std::min(width, (cell + 1) * cw) - cell * cw) * (y1 - by));
                for (int c = 0; c < C; ++c)
                    p[x * C + c] = static_cast<uint8_t>((sums[cell * C + c] + count / 2) / count);
            }
        }
        if (progress && !progress->step(y1, height)) return DibImage();
    }
    return dst;
}

}  // namespace q47::ik

// Halving rows: plain loop, and SSE2/AVX2 loops that work on whole vectors of bytes.
//
// The vector loops never widen to 16 bits for 24-bit rows. The exact rounded mean of four
// bytes, (a + b + c + d + 2) >> 2, equals avg(avg(a, b), avg(c, d)) minus a correction bit,
// where avg is the byte instruction (x + y + 1) >> 1: the two inner averages each round up
// by half a step when their sum is odd, and the outer one rounds up again, so the result is
// one too high exactly when an inner sum was odd and the outer sum is odd:
//   correction = ((a ^ b) | (c ^ d)) & (avg(a, b) ^ avg(c, d)) & 1.
// With the vertical pairs (a, b) and (c, d) taken from the two rows at byte i and at byte
// i + 3 (the next pixel), byte i of the result is the output byte for every i that starts
// an even pixel; a byte shuffle then gathers those bytes.
#include "imaging/engine/kernels/halve_rows.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define Q47_HALVE_X86 1
#endif

namespace q47::ik {

namespace {

template <int C>
void halvePlain(const uint8_t* a, const uint8_t* b, int outWidth, uint8_t* d) {
    for (int x = 0; x < outWidth; ++x, a += 2 * C, b += 2 * C, d += C)
        for (int c = 0; c < C; ++c)
            d[c] = static_cast<uint8_t>((a[c] + a[c + C] + b[c] + b[c + C] + 2) >> 2);
}

#if Q47_HALVE_X86

// Rounded means of the 2x2 blocks whose top-left byte is at p[i] / q[i] (rows a / b), for
// 16 consecutive i; the right-hand neighbour is 3 bytes on.
inline __m128i mean4x16(const uint8_t* p, const uint8_t* q) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 3));
    const __m128i ab = _mm_avg_epu8(a, b), cd = _mm_avg_epu8(c, d);
    const __m128i odd = _mm_or_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
    const __m128i fix = _mm_and_si128(_mm_and_si128(odd, _mm_xor_si128(ab, cd)), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(ab, cd), fix);
}

// 24-bit: 48 source bytes per row give 8 output pixels; the means are gathered with
// three-byte copies (SSE2 has no byte shuffle).
void halve24Sse2(const uint8_t* a, const uint8_t* b, int outWidth, uint8_t* out) {
    const size_t n = static_cast<size_t>(outWidth) * 3;
    size_t o = 0;
    alignas(16) uint8_t m[48];
    // Loads reach source byte 2 * o + 51 (< 2 * n when o + 26 <= n).
    for (; o + 26 <= n; o += 24) {
        const uint8_t* p = a + 2 * o;
        const uint8_t* q = b + 2 * o;
        _mm_store_si128(reinterpret_cast<__m128i*>(m), mean4x16(p, q));
        _mm_store_si128(reinterpret_cast<__m128i*>(m + 16), mean4x16(p + 16, q + 16));
        _mm_store_si128(reinterpret_cast<__m128i*>(m + 32), mean4x16(p + 32, q + 32));
        for (int k = 0; k < 8; ++k) std::memcpy(out + o + 3 * k, m + 6 * k, 3);
    }
    const int done = static_cast<int>(o / 3);
    halvePlain<3>(a + 6 * done, b + 6 * done, outWidth - done, out + o);
}

// 8-bit: neighbours are adjacent bytes, so 16-bit lanes split them (low and high byte).
void halve8Sse2(const uint8_t* a, const uint8_t* b, int outWidth, uint8_t* out) {
    const __m128i low = _mm_set1_epi16(0x00FF), two = _mm_set1_epi16(2);
    auto sums = [&](const uint8_t* p, const uint8_t* q) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i s = _mm_add_epi16(_mm_add_epi16(_mm_and_si128(x, low), _mm_srli_epi16(x, 8)),
                                        _mm_add_epi16(_mm_and_si128(y, low), _mm_srli_epi16(y, 8)));
        return _mm_srli_epi16(_mm_add_epi16(s, two), 2);
    };
    int x = 0;
    for (; x + 16 <= outWidth; x += 16) {
        const __m128i lo = sums(a + 2 * x, b + 2 * x), hi = sums(a + 2 * x + 16, b + 2 * x + 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
    halvePlain<1>(a + 2 * x, b + 2 * x, outWidth - x, out + x);
}

__attribute__((target("avx2"))) inline __m256i mean4x32(const uint8_t* p, const uint8_t* q) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 3));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 3));
    const __m256i ab = _mm256_avg_epu8(a, b), cd = _mm256_avg_epu8(c, d);
    const __m256i odd = _mm256_or_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(c, d));
    const __m256i fix =
        _mm256_and_si256(_mm256_and_si256(odd, _mm256_xor_si256(ab, cd)), _mm256_set1_epi8(1));
    return _mm256_sub_epi8(_mm256_avg_epu8(ab, cd), fix);
}

// Shuffle pattern for a 16-byte lane that starts at row byte offset `base`: the bytes i
// with (base + i) mod 6 < 3 (first pixel of a pair) moved to the front, in order.
struct LaneMasks {
    uint8_t bytes[3][16];  // for base mod 6 = 0, 2, 4
    LaneMasks() {
        for (int k = 0; k < 3; ++k) {
            int j = 0;
            for (int i = 0; i < 16; ++i)
                if ((2 * k + i) % 6 < 3) bytes[k][j++] = static_cast<uint8_t>(i);
            while (j < 16) bytes[k][j++] = 0x80;
        }
    }
};

// 24-bit: 96 source bytes per row (six 16-byte lanes starting at row offsets = 0, 4, 2,
// 0, 4, 2 mod 6, keeping 9, 8, 7, 9, 8, 7 bytes) give 16 output pixels. Each lane is stored
// whole at its place; the next store overwrites its unused tail.
__attribute__((target("avx2"))) inline __m256i lanes(const uint8_t* lo, const uint8_t* hi) {
    return _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(lo)));
}

__attribute__((target("avx2"))) void halve24Avx2(const uint8_t* a, const uint8_t* b, int outWidth,
                                                 uint8_t* out) {
    static const LaneMasks masks;
    // Two rows are read side by side; on pictures larger than the last-level cache the
    // hardware prefetcher alone left the loop waiting for memory (measured 2.7 -> 1.8 ms
    // on the 4096 x 2000 sheet with this look-ahead).
    constexpr int kAhead = 1024;
    const __m256i s0 = lanes(masks.bytes[0], masks.bytes[2]);
    const __m256i s1 = lanes(masks.bytes[1], masks.bytes[0]);
    const __m256i s2 = lanes(masks.bytes[2], masks.bytes[1]);
    const size_t n = static_cast<size_t>(outWidth) * 3;
    size_t o = 0;
    // Stores reach output byte o + 57; loads reach source byte 2 * o + 99.
    for (; o + 57 <= n; o += 48) {
        const uint8_t* p = a + 2 * o;
        const uint8_t* q = b + 2 * o;
        _mm_prefetch(reinterpret_cast<const char*>(p + kAhead), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(q + kAhead), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(p + kAhead + 64), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(q + kAhead + 64), _MM_HINT_T0);
        const __m256i r0 = _mm256_shuffle_epi8(mean4x32(p, q), s0);
        const __m256i r1 = _mm256_shuffle_epi8(mean4x32(p + 32, q + 32), s1);
        const __m256i r2 = _mm256_shuffle_epi8(mean4x32(p + 64, q + 64), s2);
        uint8_t* d = out + o;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(r0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 9), _mm256_extracti128_si256(r0, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 17), _mm256_castsi256_si128(r1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 24), _mm256_extracti128_si256(r1, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 33), _mm256_castsi256_si128(r2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 41), _mm256_extracti128_si256(r2, 1));
    }
    // Leave the upper halves of the vector registers clean: otherwise every later SSE
    // instruction in the process pays for them (measured: the matrix filter run after a
    // halving took 3.7 times as long).
    _mm256_zeroupper();
    const int done = static_cast<int>(o / 3);
    halve24Sse2(a + 6 * done, b + 6 * done, outWidth - done, out + o);
}

// Rounded means of 16 adjacent byte pairs of two rows, as 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i pairMeans8(const uint8_t* p, const uint8_t* q) {
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i s =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_and_si256(x, low), _mm256_srli_epi16(x, 8)),
                         _mm256_add_epi16(_mm256_and_si256(y, low), _mm256_srli_epi16(y, 8)));
    return _mm256_srli_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(2)), 2);
}

__attribute__((target("avx2"))) void halve8Avx2(const uint8_t* a, const uint8_t* b, int outWidth,
                                                uint8_t* out) {
    int x = 0;
    for (; x + 32 <= outWidth; x += 32) {
        const __m256i lo = pairMeans8(a + 2 * x, b + 2 * x);
        const __m256i hi = pairMeans8(a + 2 * x + 32, b + 2 * x + 32);
        // The pack works per 128-bit lane; the permute puts the four quarters in order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), packed);
    }
    _mm256_zeroupper();  // clean upper halves for the SSE code that follows
    halve8Sse2(a + 2 * x, b + 2 * x, outWidth - x, out + x);
}

#endif

}  // namespace

bool halvePathAvailable(HalvePath path) {
    switch (path) {
    case HalvePath::Plain: return true;
#if Q47_HALVE_X86
    case HalvePath::Sse2: return true;
    case HalvePath::Avx2: return __builtin_cpu_supports("avx2");
#else
    default: return false;
#endif
    }
    return false;
}

HalvePath bestHalvePath() {
    static const HalvePath best = halvePathAvailable(HalvePath::Avx2)   ? HalvePath::Avx2
                                  : halvePathAvailable(HalvePath::Sse2) ? HalvePath::Sse2
                                                                        : HalvePath::Plain;
    return best;
}

void halveRow(HalvePath path, int channels, const uint8_t* a, const uint8_t* b, int outWidth,
              uint8_t* out) {
    const bool colour = channels == 3;
#if Q47_HALVE_X86
    if (path == HalvePath::Avx2) {
        if (colour) halve24Avx2(a, b, outWidth, out);
        else halve8Avx2(a, b, outWidth, out);
        return;
    }
    if (path == HalvePath::Sse2) {
        if (colour) halve24Sse2(a, b, outWidth, out);
        else halve8Sse2(a, b, outWidth, out);
        return;
    }
#endif
    if (colour) halvePlain<3>(a, b, outWidth, out);
    else halvePlain<1>(a, b, outWidth, out);
}

}  // namespace q47::ik

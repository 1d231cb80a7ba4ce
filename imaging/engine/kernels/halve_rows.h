// Row kernels of integer halving (rounded 2x2 means), with the vector variant picked at run time.
#pragma once

#include <cstdint>

namespace q47::ik {

// Ways one halved row can be computed. All give the same bytes; the plain one is the
// reference, SSE2 is always there on x86-64, AVX2 only on processors that have it.
enum class HalvePath { Plain, Sse2, Avx2 };

// Whether this processor (and this build) can run `path`.
bool halvePathAvailable(HalvePath path);
// The fastest available path, decided once.
HalvePath bestHalvePath();

// One output row of outWidth pixels of `channels` bytes (1 or 3) from the source rows a and
// b, which hold at least 2 * outWidth pixels: every byte is (its four source bytes + 2) / 4.
// Only the 3 * outWidth (or outWidth) bytes of out are written.
void halveRow(HalvePath path, int channels, const uint8_t* a, const uint8_t* b, int outWidth,
              uint8_t* out);

}  // namespace q47::ik

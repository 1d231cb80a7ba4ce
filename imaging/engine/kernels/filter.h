// Neighbourhood and tone filters on 24-bit and grey 8-bit pictures.
#pragma once

#include <array>
#include <vector>

#include "imaging/engine/kernels/dib_image.h"
#include "imaging/engine/kernels/progress.h"

namespace q47::ik {

// The picture filters work on: 24-bit and grey-ramp 8-bit pictures as they are, every
// other depth expanded to 24 bits first.
DibImage workingCopyForFilter(const DibImage& src);

// A square matrix (side odd) applied with edge pixels repeated: out = sum / divisor + bias,
// clamped to 0..255, per selected channel (B, G, R order in `channels`; grey pictures use
// channels[0]). Rows and columns of zeros around the matrix are cut off first, so a 9x9
// matrix whose outer ring is zero costs what its 3x3 core costs. Divisor 0 counts as 1.
// Sums are exact for any 32-bit weights (they come from the user's settings file): a
// matrix whose sums could leave 32 bits is summed in 64.
//
// The loops a convolution can run on; all give the same bytes. `Best` takes the fastest
// whose sums cannot overflow for the matrix. A loop named by the caller (tests and
// benchmarks compare them) that cannot hold the matrix's sums gives way to the next
// wider one: Narrow16 (SSE2, eight 16-bit lanes) -> Scalar32 -> Wide64.
enum class ConvolveLoop { Best, Narrow16, Scalar32, Wide64 };
struct Convolution {
    int side = 0;
    std::vector<int> weights;  // side * side, row by row
    int divisor = 1;
    int bias = 0;
    std::array<bool, 3> channels{true, true, true};
    ConvolveLoop loop = ConvolveLoop::Best;
};
// Empty result for a matrix that is not square with an odd side (or wider than 1023), or
// on cancel.
DibImage convolve(const DibImage& src, const Convolution& conv, ProgressSink* progress = nullptr);
// The loop convolve() runs for this matrix (for the bulk of each row; the few bytes past
// the last whole vector of a Narrow16 row take Scalar32).
ConvolveLoop convolveLoopFor(const Convolution& conv);

// Blur: 3x3 box mean applied `level` times (1..10, 0 counts as 1).
DibImage blur(const DibImage& src, int level, ProgressSink* progress = nullptr);
// Sharpen: centre 8 + level against the eight neighbours (-1 each), divided by level.
DibImage sharpen(const DibImage& src, int level, ProgressSink* progress = nullptr);
// Per-channel tables (B, G, R); grey pictures use the green table.
DibImage applyTables(const DibImage& src, const std::array<std::array<uint8_t, 256>, 3>& lut,
                     ProgressSink* progress = nullptr);
std::array<uint8_t, 256> levelTable(int delta);    // add delta, clamped
std::array<uint8_t, 256> gammaTable(double gamma);  // 255 * (v/255)^(1/gamma)
std::array<uint8_t, 256> reverseTable(bool on);     // 255 - v, or identity
// Mosaic: each cellWidth x cellHeight block becomes its mean colour.
DibImage mosaic(const DibImage& src, int cellWidth, int cellHeight, ProgressSink* progress = nullptr);

}  // namespace q47::ik

// Resizing: exact halving and area averaging for shrinking, linear for enlarging, nearest.
#pragma once

#include "imaging/engine/kernels/dib_image.h"
#include "imaging/engine/kernels/progress.h"

namespace q47::ik {

// Smooth resize: every output pixel is the area-weighted mean of the source pixels it
// covers when shrinking (exact 2x2 means for integer halving), linear interpolation when
// enlarging. 24-bit and grey-ramp 8-bit pictures are averaged; other palette pictures
// are resized by nearest pixel, since averaging colour-table indices mixes unrelated
// colours. Empty on a bad size or cancel.
DibImage resizeSmooth(const DibImage& src, int width, int height, ProgressSink* progress = nullptr);
// Nearest-pixel resize for every depth.
DibImage resizeNearest(const DibImage& src, int width, int height, ProgressSink* progress = nullptr);
// Integer halving by 2x2 means (24-bit or 8-bit), the fast path of resizeSmooth.
DibImage halve(const DibImage& src, ProgressSink* progress = nullptr);

}  // namespace q47::ik

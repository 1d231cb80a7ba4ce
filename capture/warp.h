// Laying the screen picture onto a quadrilateral: the forward mapping at twice the
// picture's resolution. The engine steps around it (resize for a plain rectangle, the
// white target, the resize back to the box) are in warp_image.h.
#pragma once

#include <functional>

#include "capture/composition_geometry.h"
#include "capture/rgb_image.h"

namespace q47::capture {

// Called with nothing after every H / 10 + 1 source rows (integer division): one step of
// the window's progress bar.
using WarpStep = std::function<void()>;

// The corners, relative to their bounding box, scaled by W / box width and H / box height
// (each rounded to the nearest integer) and then doubled: the warp's target coordinates.
// A box of width or height 0 keeps that coordinate 0.
Quad WarpTargetCorners(const Quad& relative, const Box& box, int32_t pictureWidth, int32_t pictureHeight);
// The size of the warp's target: the scaled box doubled, 2W by 2H.
Size WarpTargetSize(int32_t pictureWidth, int32_t pictureHeight);

// Writes every source pixel (k, j) at the point k / W of the way from the left side's
// point to the right side's point of source row j (those at j / H of the way down the
// left and right sides), and once more one row below; when the target column advanced by
// more than one since the row's previous pixel, the previous colour also fills the
// column after the previous one. Integer arithmetic throughout; points outside the target
// are skipped. The target is expected white.
void WarpForward(const RgbView& source, const Quad& targetCorners, const RgbPlane& target,
                 const WarpStep& step = {});

}  // namespace q47::capture

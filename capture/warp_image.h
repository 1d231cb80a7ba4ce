// The screen picture's work on engine images: the warp onto the outline and the
// smoothing of the capture layer, through the effect component.
//
// As in sheet_image.h: handles in, new handles out (the caller frees them), the given
// images never freed, failures as 0 with the component's ErrorStatus.
#pragma once

#include <cstdint>
#include <functional>

#include "capture/composition_geometry.h"
#include "imaging/engine/ik_api.h"

namespace q47::capture {

// The progress bar's value, 0 to 10.
using WarpProgress = std::function<void(int value)>;

// The screen picture laid onto `corners` (sheet pixels); the result is the size of the
// corners' bounding box. An axis-parallel rectangle is a plain resize (progress from the
// component's percent / 10). Otherwise the picture (converted to 24 bits on a copy when
// needed) is mapped forward at twice its resolution onto a white target, the bar
// advancing one step every H / 10 + 1 rows, and resized back to the box. A box of width
// or height 0 fails with status 5.
IKHANDLE WarpScreenPicture(IKHANDLE screen, const Quad& corners, const WarpProgress& progress = {},
                           uint16_t* status = nullptr);

// CustomFilter over the whole picture with the 9 by 9 matrix and divisor, bias 0, all
// three channels (CaptureFilterFor gives the matrix).
IKHANDLE SmoothCaptureLayer(IKHANDLE layer, const CaptureFilter& filter, uint16_t* status = nullptr);

}  // namespace q47::capture

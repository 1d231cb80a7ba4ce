// The merge of the composite: the sheet laid over the screen picture, white see-through.
#pragma once

#include "capture/composition_geometry.h"
#include "capture/rgb_image.h"

namespace q47::capture {

// In place on the sheet's rows: every pure white pixel (255, 255, 255) of the sheet that
// lies over the capture layer (placed at `start`, sheet pixels) takes the capture's
// pixel there; all other pixels stay. Parts of the capture outside the sheet are cut.
void LaySheetOverCapture(const RgbPlane& sheet, const RgbView& capture, Point start);

}  // namespace q47::capture

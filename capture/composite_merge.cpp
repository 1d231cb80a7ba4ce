// Sheet-over-capture merge on rows.
#include "capture/composite_merge.h"

#include <algorithm>

namespace q47::capture {

void LaySheetOverCapture(const RgbPlane& sheet, const RgbView& capture, Point start) {
    const int x0 = std::max(0, start.x), x1 = std::min(sheet.width, start.x + capture.width);
    const int y0 = std::max(0, start.y), y1 = std::min(sheet.height, start.y + capture.height);
    if (x0 >= x1 || y0 >= y1) return;
    for (int y = y0; y < y1; ++y) {
        uint8_t* out = sheet.row(y) + 3 * x0;
        const uint8_t* in = capture.row(y - start.y) + 3 * (x0 - start.x);
        for (int n = x1 - x0; n > 0; --n, out += 3, in += 3)
            if ((out[0] & out[1] & out[2]) == 255) out[0] = in[0], out[1] = in[1], out[2] = in[2];
    }
}

}  // namespace q47::capture

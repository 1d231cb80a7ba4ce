// Whitening of near-white pixels, one row at a time.
#include "capture/sheet_preparation.h"

namespace q47::capture {

void WhitenNearWhite(const RgbPlane& rows) {
    const int w = rows.width;
    for (int y = 0; y < rows.height; ++y) {
        uint8_t* p = rows.row(y);
        // Branch-free so the compiler can vectorise the row: a pixel keeps its bytes or
        // turns 255 in all three.
        for (int x = 0; x < w; ++x) {
            uint8_t* q = p + 3 * x;
            const uint8_t white = static_cast<uint8_t>(-((q[0] > kWhitenAbove) & (q[1] > kWhitenAbove) & (q[2] > kWhitenAbove)));
            q[0] |= white, q[1] |= white, q[2] |= white;
        }
    }
}

}  // namespace q47::capture

// The palette lookups that turn a DIB row into a SANE frame row.
#include "sane/frame_rows.h"

namespace q47::sane {

void frameRow(const dib::View& v, int y, bool colour, uint8_t* out) {
    // The data source's bitmap holds the sheet's top row first in memory, although its
    // header says bottom-up (TWAIN's native transfer swaps the rows for applications).
    // SANE wants the top first: memory order is the sheet's order.
    const uint8_t* row = v.pixels + v.stride * size_t(y);
    // A DIB without a full palette cannot come from the board; its indices read as
    // grey levels rather than running off the table.
    const bool full = v.palette && v.paletteCount == 256;
    uint8_t lut[256][3];
    for (int i = 0; i < 256; ++i) {
        if (full) {
            lut[i][0] = v.palette[i].rgbRed;
            lut[i][1] = v.palette[i].rgbGreen;
            lut[i][2] = v.palette[i].rgbBlue;
        } else {
            lut[i][0] = lut[i][1] = lut[i][2] = uint8_t(i);
        }
    }
    if (colour) {
        for (int x = 0; x < v.width; ++x, out += 3) {
            const uint8_t* c = lut[row[x]];
            out[0] = c[0], out[1] = c[1], out[2] = c[2];
        }
        return;
    }
    uint8_t grey[256];
    for (int i = 0; i < 256; ++i)
        grey[i] = uint8_t((lut[i][0] * 299 + lut[i][1] * 587 + lut[i][2] * 114 + 500) / 1000);
    for (int x = 0; x < v.width; ++x) out[x] = grey[row[x]];
}

}  // namespace q47::sane

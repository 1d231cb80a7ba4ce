// SANE frame rows from the data source's 8-bit DIB: grey levels or RGB through its palette.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dib.h"

namespace q47::sane {

// Bytes of one frame row: width grey bytes, or width RGB triples.
inline size_t frameRowBytes(const dib::View& v, bool colour) {
    return size_t(v.width) * (colour ? 3 : 1);
}
// Row y counted from the top of the sheet (the data source's bitmap stores it as row
// y in memory). Colour expands each index through the
// DIB's palette (3-3-2 on the board); grey takes the palette entry's luminance, which
// on the board's grey palette is the index itself.
void frameRow(const dib::View& v, int y, bool colour, uint8_t* out);

}  // namespace q47::sane

// Rows of a TWAIN memory-transfer strip copied into a packed DIB's rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace q47::twain {

// One strip row into one DIB row: TWAIN sends 24-bit pixels as RGB, a DIB holds BGR;
// other depths are copied as they stand (rowBytes bytes).
inline void copyStripRow(uint8_t* to, const uint8_t* from, uint32_t columns, int bits,
                         size_t rowBytes) {
    if (bits == 24) {
        for (uint32_t c = 0; c < columns; ++c) {
            to[3 * c] = from[3 * c + 2];
            to[3 * c + 1] = from[3 * c + 1];
            to[3 * c + 2] = from[3 * c];
        }
    } else {
        std::memcpy(to, from, rowBytes);
    }
}

}  // namespace q47::twain

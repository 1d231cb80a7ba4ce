// BMP and packed-DIB parsing on arbitrary bytes: refused cleanly or every row readable.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/dib.h"

namespace {

// Touches the first and last byte of every row, so a view that overstates its
// buffer shows up under the address sanitizer.
unsigned touchRows(const q47::dib::View& v) {
    unsigned sum = 0;
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* row = v.rowFromTop(y);
        sum += row[0] + row[v.stride - 1];
    }
    for (size_t i = 0; i < v.paletteCount; ++i) sum += v.palette[i].rgbRed;
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace q47::dib;
    // The bytes as a .bmp file.
    std::vector<uint8_t> dib;
    if (bmpBytesToDib(data, size, &dib)) {
        View v;
        if (!parse(dib.data(), dib.size(), &v)) std::abort();  // what we make must parse
        if (dib.size() != v.header->biSize + v.paletteCount * 4 + v.stride * v.height)
            std::abort();
        touchRows(v);
    }
    // The same bytes as a packed DIB, on a copy sized exactly, so reads past it trap.
    std::vector<uint8_t> copy(data, data + size);
    View v;
    if (parse(copy.data(), copy.size(), &v)) touchRows(v);
    return 0;
}

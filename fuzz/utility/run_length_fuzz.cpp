// Any compressed stream and geometry: the decoder and the bitmap stay inside their buffers.
#include <vector>

#include "utility/test_image.h"

using namespace q47::utility;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // Small geometries so that lines are crossed often.
    const uint16_t lineCount = uint16_t(1 + data[0] % 64);
    const uint16_t lineBytes = uint16_t(1 + data[1] % 16);
    std::vector<uint8_t> lines(size_t(lineCount) * lineBytes, 0);
    const size_t complete = decodeRunLength(data + 2, size - 2, lineCount, lineBytes, lines.data());
    if (complete > lineCount) __builtin_trap();
    const std::vector<uint8_t> dib = buildTestImageBitmap(lines, lineCount, lineBytes);
    if (dib.empty()) __builtin_trap();
    return 0;
}

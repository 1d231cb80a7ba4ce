// Fuzzes buildDib with any W, H, compression and pixel count (the board decides all of
// them), and the settings parsers with any text.
#include <cstdint>
#include <cstring>
#include <string>

#include <sanitizer/asan_interface.h>

#include "twain_source/image_buffer.h"
#include "twain_source/settings.h"

using namespace q47::twain_source;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 64));
    parseColour(text);
    parseDefaultFontSize(text);

    // W and H as the image header gives them, kept small enough for quick rounds;
    // the refusal of images beyond the 8 MiB buffer is exercised by the tests.
    const uint16_t W = uint16_t((data[0] | (data[1] << 8)) % 1500);
    const uint16_t H = uint16_t((data[2] | (data[3] << 8)) % 700);
    const bool compress = data[4] & 1;
    // One 8 MiB receive buffer for every input, as the data source keeps one for every
    // image: allocating it per input made the rounds ten times slower.
    static ImageBuffer image;
    if (!image.raw && !image.allocateRaw()) return 0;
    image.pendingImage.release();
    image.rawCount = 0;
    image.rawDropped = 0;
    image.compress = compress;
    image.colour = data[4] & 2;
    image.geometry = dibGeometry(W, H, compress);
    // The pixel data: fewer, exactly as many or more bytes than W x H. What the board
    // did not send is poisoned, so a read past rawCount is caught although the bytes of
    // earlier inputs lie there.
    ASAN_UNPOISON_MEMORY_REGION(image.raw.get(), kRawBufferSize);
    image.appendRaw(data + 5, size - 5);
    ASAN_POISON_MEMORY_REGION(image.raw.get() + image.rawCount, kRawBufferSize - image.rawCount);
    if (buildDib(image)) {
        const uint8_t* dib = static_cast<const uint8_t*>(image.pendingImage.handle());
        // Touch the last pixel byte: it must lie inside the block.
        volatile uint8_t last = dib[kDibHeaderAndPalette + image.geometry.pixelBytes() - 1];
        (void)last;
    }
    return 0;
}

// libFuzzer target: one engine decoder (chosen at build time) on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "imaging/engine/codecs/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace q47::ik;
    DibImage img;
    FileDetails details;
#if defined(Q47_FUZZ_FORMAT_BMP)
    decodeBmp(data, size, &img, &details, nullptr);
#elif defined(Q47_FUZZ_FORMAT_PCX)
    decodePcx(data, size, &img, &details, nullptr);
#elif defined(Q47_FUZZ_FORMAT_JPEG)
    decodeJpeg(data, size, &img, &details, nullptr);
#elif defined(Q47_FUZZ_FORMAT_PNG)
    decodePng(data, size, &img, &details, nullptr);
#elif defined(Q47_FUZZ_FORMAT_TIFF)
    decodeTiff(data, size, size > 0 ? data[0] % 3 : 0, &img, &details, nullptr);
#elif defined(Q47_FUZZ_FORMAT_GIF)
    decodeGif(data, size, &img, &details, nullptr);
#endif
    detectFormat(data, size);
    return 0;
}

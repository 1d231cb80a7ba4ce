// Plain 24-bit pictures.
#include "capture/rgb_image.h"

namespace q47::capture {

RgbImage::RgbImage(int w, int h, uint8_t blue, uint8_t green, uint8_t red)
    : width(w < 0 ? 0 : w), height(h < 0 ? 0 : h) {
    bytes.resize(stride() * static_cast<size_t>(height));
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) bytes[i] = blue, bytes[i + 1] = green, bytes[i + 2] = red;
}

}  // namespace q47::capture

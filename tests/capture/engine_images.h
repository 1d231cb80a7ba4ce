// Engine images for the capture tests: made from and read back into plain pictures.
#pragma once

#include <cstring>

#include "capture/rgb_image.h"
#include "imaging/Ikdllprocs.h"
#include "platform/dib.h"

namespace q47::capture::testing {

// A 24-bit (or, with a grey sheet, 8-bit grey) engine image of the picture.
inline IKHANDLE importPicture(const RgbImage& img) {
    std::vector<uint8_t> dib = q47::dib::make(img.width, img.height, 24);
    q47::dib::View v;
    q47::dib::parse(dib.data(), dib.size(), &v);
    for (int y = 0; y < img.height; ++y)
        std::memcpy(const_cast<uint8_t*>(v.rowFromTop(y)), img.row(y), img.stride());
    return Ikdllprocs::IKImportDib(dib.data(), static_cast<uint32_t>(dib.size()));
}

// The pixels of a 24-bit engine image (empty picture for anything else).
inline RgbImage exportPicture(IKHANDLE h) {
    uint32_t size = 0;
    auto* bytes = static_cast<const uint8_t*>(Ikdllprocs::IKLockImage(h, &size));
    RgbImage out;
    q47::dib::View v;
    if (bytes && q47::dib::parse(bytes, size, &v) && v.header->biBitCount == 24) {
        out = RgbImage(v.width, v.height);
        for (int y = 0; y < v.height; ++y) std::memcpy(out.row(y), v.rowFromTop(y), out.stride());
    }
    if (bytes) Ikdllprocs::IKUnlockImage(h);
    return out;
}

inline int bitsOf(IKHANDLE h) {
    IKImageInfo info{};
    return Ikdllprocs::IKGetImageType(h, &info) ? info.bitCount : 0;
}

}  // namespace q47::capture::testing

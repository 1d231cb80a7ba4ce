// libIk6Com entries: image objects, description, dpi, palette, clipboard, vector objects.
#include <cstring>
#include <mutex>

#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"
#include "imaging/engine/kernels/geometry.h"

using namespace q47::ik;

namespace q47::ik {

namespace {
std::mutex g_hostMutex;
IKHostServices g_host{};
bool g_hostSet = false;
}  // namespace

const IKHostServices* hostServices() {
    std::lock_guard lock(g_hostMutex);
    return g_hostSet ? &g_host : nullptr;
}

}  // namespace q47::ik

namespace {

IKHANDLE addObject(ObjectKind kind, DibImage&& image) {
    if (image.empty() && kind != ObjectKind::VectorWMF && kind != ObjectKind::VectorEMF &&
        kind != ObjectKind::VectorDXF)
        return fail<IKHANDLE>(IK_ERR_MEMORY);
    auto o = std::make_shared<ImageObject>();
    o->kind = kind;
    o->image = std::move(image);
    const IKHANDLE h = ObjectTable::instance().add(std::move(o));
    setStatus(h ? IK_OK : IK_ERR_MEMORY);
    return h;
}

ObjectPtr findBitmap(IKHANDLE h) {
    ObjectPtr o = ObjectTable::instance().find(h);
    if (!o || o->kind != ObjectKind::Bitmap) {
        setStatus(IK_ERR_IMAGE);
        return nullptr;
    }
    return o;
}

}  // namespace

extern "C" {

uint16_t IKGetErrorStatus(void) { return status(); }

IKBOOL IKGetImageType(IKHANDLE image, IKImageInfo* info) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (!info) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        ObjectPtr o = ObjectTable::instance().find(image);
        if (!o) return fail<IKBOOL>(IK_ERR_IMAGE);
        std::memset(info, 0, sizeof *info);
        info->planes = 1;
        switch (o->kind) {
            case ObjectKind::VectorWMF: info->kind = IK_VECTOR_WMF; return 1;
            case ObjectKind::VectorEMF: info->kind = IK_VECTOR_EMF; return 1;
            case ObjectKind::VectorDXF: info->kind = IK_VECTOR_DXF; return 1;
            case ObjectKind::Bitmap: return fail<IKBOOL>(IK_ERR_IMAGE);
            case ObjectKind::Raster: break;
        }
        const DibImage& img = o->image;
        info->bitCount = static_cast<uint16_t>(img.bitCount());
        info->paletteSize = static_cast<uint16_t>(img.paletteCount());
        info->xDpi = img.xDpi();
        info->yDpi = img.yDpi();
        info->width = img.width();
        info->height = img.height();
        info->imageSize = static_cast<uint32_t>(img.bytes().size());
        info->grey = img.bitCount() <= 8 && img.isGreyRamp() ? 1 : 0;
        info->stride = static_cast<uint32_t>(img.stride());
        info->kind = IK_RASTER;
        return 1;
    });
}

IKHANDLE IKCopyImage(IKHANDLE image, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        // All four zero: the whole picture; else that rectangle of it.
        if (left == 0 && top == 0 && right == 0 && bottom == 0) {
            DibImage copy = o->image;
            return addRaster(std::move(copy));
        }
        DibImage part = cutRect(o->image, left, top, right, bottom);
        if (part.empty()) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        return addRaster(std::move(part));
    });
}

IKHANDLE IKCreateImage(int32_t width, int32_t height, int16_t bitCount, uint8_t red, uint8_t green,
                       uint8_t blue, int32_t, int32_t, int32_t, int32_t) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
            return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        if (width <= 0 || height <= 0) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        DibImage img = DibImage::create(width, height, bitCount);
        if (img.empty()) return fail<IKHANDLE>(IK_ERR_MEMORY);
        if (bitCount == 24) {
            for (int y = 0; y < height; ++y) {
                uint8_t* p = img.row(y);
                for (int x = 0; x < width; ++x, p += 3) p[0] = blue, p[1] = green, p[2] = red;
            }
        } else {
            // Palette pictures get a grey ramp and the grey level nearest the colour.
            img.setGreyPalette();
            const int levels = 1 << bitCount;
            const int grey = greyOf(red, green, blue);
            const int index = (grey * (levels - 1) + 127) / 255;
            std::vector<uint8_t> idx(static_cast<size_t>(width), static_cast<uint8_t>(index));
            for (int y = 0; y < height; ++y) packIndices(idx.data(), width, bitCount, img.row(y));
        }
        return addRaster(std::move(img));
    });
}

IKBOOL IKFreeMemory(IKHANDLE image) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (!ObjectTable::instance().remove(image)) return fail<IKBOOL>(IK_ERR_IMAGE);
        return 1;
    });
}

IKHANDLE IKBitmapFromDib(IKHANDLE image) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        DibImage copy = o->image;
        return addObject(ObjectKind::Bitmap, std::move(copy));
    });
}

IKHANDLE IKDibFromBitmap(IKHANDLE bitmap, IKHANDLE palette) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr o = findBitmap(bitmap);
        if (!o) return 0;
        DibImage copy = o->image;
        // A palette object (any image with a colour table of the same size) recolours it.
        if (ObjectPtr p = ObjectTable::instance().find(palette);
            p && !p->image.empty() && p->image.paletteCount() == copy.paletteCount() &&
            copy.paletteCount() > 0)
            std::memcpy(copy.palette(), p->image.palette(), copy.paletteCount() * 4);
        return addRaster(std::move(copy));
    });
}

IKBOOL IKDeleteBitmapObject(IKHANDLE bitmap) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (!findBitmap(bitmap)) return 0;
        ObjectTable::instance().remove(bitmap);
        return 1;
    });
}

IKBOOL IKGetDpi(IKHANDLE image, int32_t* xDpi, int32_t* yDpi) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        if (xDpi) *xDpi = o->image.xDpi();
        if (yDpi) *yDpi = o->image.yDpi();
        return 1;
    });
}

IKBOOL IKSetDpi(IKHANDLE image, int32_t xDpi, int32_t yDpi) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        if (xDpi < 0 || yDpi < 0 || xDpi > 100000 || yDpi > 100000)
            return fail<IKBOOL>(IK_ERR_ARGUMENT);
        o->image.setDpi(xDpi, yDpi);
        return 1;
    });
}

// rgb receives red, green, blue per entry (as many entries as fit); info[0] the number
// of entries, info[1] (when present) the number copied.
IKBOOL IKGetPalette(IKHANDLE image, uint16_t* rgb, int32_t rgbHigh, uint16_t* info,
                    int32_t infoHigh) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        const int n = o->image.paletteCount();
        const int room = rgb && rgbHigh >= 0 ? (rgbHigh + 1) / 3 : 0;
        const int copied = n < room ? n : room;
        const RgbQuad* p = o->image.palette();
        for (int i = 0; i < copied; ++i) {
            rgb[3 * i] = p[i].rgbRed;
            rgb[3 * i + 1] = p[i].rgbGreen;
            rgb[3 * i + 2] = p[i].rgbBlue;
        }
        if (info && infoHigh >= 0) info[0] = static_cast<uint16_t>(n);
        if (info && infoHigh >= 1) info[1] = static_cast<uint16_t>(copied);
        return 1;
    });
}

// info[0] entries to set from rgb, starting at entry info[1] (0 when absent).
IKBOOL IKSetPalette(IKHANDLE image, const uint16_t* rgb, int32_t rgbHigh, const uint16_t* info,
                    int32_t infoHigh) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        if (o->image.paletteCount() == 0) return fail<IKBOOL>(IK_ERR_BIT_DEPTH);
        if (!rgb || !info || infoHigh < 0) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        const int count = info[0], first = infoHigh >= 1 ? info[1] : 0;
        if (count * 3 > rgbHigh + 1 || first + count > o->image.paletteCount())
            return fail<IKBOOL>(IK_ERR_ARGUMENT);
        for (int i = 0; i < 3 * count; ++i)
            if (rgb[i] > 255) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        RgbQuad* p = o->image.palette() + first;
        for (int i = 0; i < count; ++i)
            p[i] = RgbQuad{static_cast<uint8_t>(rgb[3 * i + 2]), static_cast<uint8_t>(rgb[3 * i + 1]),
                           static_cast<uint8_t>(rgb[3 * i]), 0};
        return 1;
    });
}

// Pixels of colour-table entry 0 and entry 1 of a 1-bit picture.
IKBOOL IKGetOneBitPalCount(IKHANDLE image, int32_t* zeros, int32_t* ones) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        const DibImage& img = o->image;
        if (img.bitCount() != 1) return fail<IKBOOL>(IK_ERR_BIT_DEPTH);
        int64_t set = 0;
        const int full = img.width() / 8, rest = img.width() % 8;
        for (int y = 0; y < img.height(); ++y) {
            const uint8_t* r = img.row(y);
            for (int i = 0; i < full; ++i) set += __builtin_popcount(r[i]);
            if (rest) set += __builtin_popcount(r[full] & (0xFF00 >> rest) & 0xFF);
        }
        const int64_t total = static_cast<int64_t>(img.width()) * img.height();
        if (zeros) *zeros = static_cast<int32_t>(total - set);
        if (ones) *ones = static_cast<int32_t>(set);
        return 1;
    });
}

// Displays here are true colour: there is no system palette to share.
int32_t IKGetSystemPalette(void) {
    setStatus(IK_OK);
    return 0;
}

uint32_t IKGetMemorySize(IKHANDLE image) {
    return guarded<uint32_t>(0, [&]() -> uint32_t {
        ObjectPtr o = ObjectTable::instance().find(image);
        if (!o) return fail<uint32_t>(IK_ERR_IMAGE);
        return static_cast<uint32_t>(o->image.bytes().size());
    });
}

IKBOOL IKSetToClipBrd(IKWINDOW window, IKHANDLE image, int32_t, int32_t, int32_t, int32_t) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        const IKHostServices* host = hostServices();
        if (!host || !host->setClipboardImage) return fail<IKBOOL>(IK_ERR_CLIPBOARD);
        const auto& b = o->image.bytes();
        if (!host->setClipboardImage(window, b.data(), static_cast<uint32_t>(b.size())))
            return fail<IKBOOL>(IK_ERR_CLIPBOARD);
        return 1;
    });
}

IKHANDLE IKGetFromClipBrd(IKWINDOW window, int32_t, int32_t, int32_t, int32_t) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        const IKHostServices* host = hostServices();
        if (!host || !host->getClipboardImage) return fail<IKHANDLE>(IK_ERR_CLIPBOARD);
        uint32_t size = 0;
        void* data = host->getClipboardImage(window, &size);
        if (!data) return fail<IKHANDLE>(IK_ERR_CLIPBOARD);
        DibImage img;
        const bool ok = DibImage::fromPacked(static_cast<const uint8_t*>(data), size, &img);
        if (host->freeClipboardImage) host->freeClipboardImage(data);
        if (!ok) return fail<IKHANDLE>(IK_ERR_CLIPBOARD);
        return addRaster(std::move(img));
    });
}

IKBOOL IKClearClipBrd(IKWINDOW window) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        const IKHostServices* host = hostServices();
        if (!host || !host->clearClipboard) return fail<IKBOOL>(IK_ERR_CLIPBOARD);
        return host->clearClipboard(window) ? 1 : fail<IKBOOL>(IK_ERR_CLIPBOARD);
    });
}

IKBOOL IKIsClipBrdData(IKWINDOW window) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        const IKHostServices* host = hostServices();
        if (!host || !host->clipboardHasImage) return fail<IKBOOL>(IK_ERR_CLIPBOARD);
        return host->clipboardHasImage(window) ? 1 : 0;
    });
}

// Vector objects exist so the kind can be reported; drawing them is not served.
IKHANDLE IKCreateVectImage(int32_t, int32_t, int32_t, int32_t) {
    return guarded<IKHANDLE>(0, [&] { return addObject(ObjectKind::VectorWMF, DibImage()); });
}

IKHANDLE IKCreateVectImageEx(int32_t kind, int32_t, int32_t, int32_t, int32_t) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        if (kind < 0 || kind > 2) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        const ObjectKind k = kind == 0 ? ObjectKind::VectorWMF
                             : kind == 1 ? ObjectKind::VectorEMF : ObjectKind::VectorDXF;
        return addObject(k, DibImage());
    });
}

IKBOOL IKDrawVectObject(IKDC, IKHANDLE, int32_t, int32_t, int32_t, int32_t, double, double,
                        IKBOOL) {
    return fail<IKBOOL>(IK_ERR_VECTOR);
}

IKHANDLE IKVectToDib(IKHANDLE, int32_t, int32_t, uint8_t, uint8_t, uint8_t) {
    return fail<IKHANDLE>(IK_ERR_VECTOR);
}

IKHANDLE IKImportDib(const void* dib, uint32_t size) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        DibImage img;
        if (!dib || !DibImage::fromPacked(static_cast<const uint8_t*>(dib), size, &img))
            return fail<IKHANDLE>(IK_ERR_IMAGE);
        return addRaster(std::move(img));
    });
}

IKHANDLE IKCreateBitmapObject(const void* dib, uint32_t size) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        DibImage img;
        if (!dib || !DibImage::fromPacked(static_cast<const uint8_t*>(dib), size, &img))
            return fail<IKHANDLE>(IK_ERR_IMAGE);
        return addObject(ObjectKind::Bitmap, std::move(img));
    });
}

void* IKLockImage(IKHANDLE image, uint32_t* size) {
    return guarded<void*>(nullptr, [&]() -> void* {
        ObjectPtr o = ObjectTable::instance().lock(image);
        if (!o) return fail<void*>(IK_ERR_IMAGE);
        if (o->image.empty()) {
            ObjectTable::instance().unlock(image);
            return fail<void*>(IK_ERR_IMAGE);
        }
        if (size) *size = static_cast<uint32_t>(o->image.bytes().size());
        return o->image.bytes().data();
    });
}

IKBOOL IKUnlockImage(IKHANDLE image) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        return ObjectTable::instance().unlock(image) ? 1 : fail<IKBOOL>(IK_ERR_IMAGE);
    });
}

IKBOOL IKSetHostServices(const IKHostServices* services) {
    std::lock_guard lock(g_hostMutex);
    g_hostSet = services != nullptr;
    g_host = services ? *services : IKHostServices{};
    setStatus(IK_OK);
    return 1;
}

uint32_t IKGetObjectCount(void) {
    setStatus(IK_OK);
    return static_cast<uint32_t>(ObjectTable::instance().size());
}

}  // extern "C"

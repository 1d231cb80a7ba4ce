// libIk6Effect entries: area filters, conversion, resize, rotation, layering, cutting.
#include <atomic>
#include <cstring>
#include <mutex>

#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"
#include "imaging/engine/kernels/filter.h"
#include "imaging/engine/kernels/geometry.h"
#include "imaging/engine/kernels/resize.h"

using namespace q47::ik;

namespace {

enum SelectMode { kMask = 0, kAll = 1, kPolygon = 2, kEllipse = 3 };
enum InOut { kOutside = 0, kInside = 1 };

// Stores a kernel's result: cancel is status 9, an empty result without cancel the
// given failure status.
IKHANDLE finish(DibImage&& result, const ProgressSink& sink, uint16_t emptyStatus) {
    if (sink.cancelled()) return fail<IKHANDLE>(IK_ERR_CANCELLED);
    if (result.empty()) return fail<IKHANDLE>(emptyStatus);
    return addRaster(std::move(result));
}

// Runs a whole-picture filter and keeps its result only inside (or outside) the area
// the selection mode names; the source stays as it was.
template <typename Filter>
IKHANDLE areaOperation(const IKHANDLE* images, int32_t selectMode, const IKPoint* points,
                       int32_t pointCount, const IKRect* rect, int32_t inOut,
                       IKProgressProc progress, Filter&& filter) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        if (!images) return fail<IKHANDLE>(IK_ERR_IMAGE);
        ObjectPtr src = findRaster(images[0]);
        if (!src) return 0;
        if (selectMode < kMask || selectMode > kEllipse || (inOut != kOutside && inOut != kInside))
            return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        const DibImage& img = src->image;
        std::vector<uint8_t> area;
        bool useArea = false;
        if (selectMode == kPolygon) {
            if (!points || pointCount < 3) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
            std::vector<int> xy(static_cast<size_t>(pointCount) * 2);
            for (int i = 0; i < pointCount; ++i) xy[2 * i] = points[i].x, xy[2 * i + 1] = points[i].y;
            area = polygonArea(img.width(), img.height(), xy.data(), pointCount);
            useArea = true;
        } else if (selectMode == kEllipse) {
            if (!rect) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
            area = ellipseArea(img.width(), img.height(), rect->left, rect->top, rect->right,
                               rect->bottom);
            useArea = true;
        } else if (selectMode == kMask && images[1] != 0) {
            ObjectPtr mask = findRaster(images[1]);
            if (!mask) return 0;
            area = maskArea(mask->image, img.width(), img.height());
            useArea = true;
        }
        ProgressSink sink(progress);
        DibImage result = filter(img, &sink);
        if (sink.cancelled()) return fail<IKHANDLE>(IK_ERR_CANCELLED);
        if (result.empty()) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        if (useArea) result = applyArea(img, result, area, inOut == kOutside);
        return finish(std::move(result), sink, IK_ERR_MEMORY);
    });
}

#define IK_AREA_ARGS images, selectMode, points, pointCount, rect, inOut, progress

// Pixel-access slots: each open access pins its image and records where its rows are.
// Records carry a slot and a generation, so a stale or made-up record is refused.
constexpr uint32_t kAccessMagic = 0x4B494441;  // "ADIK"
constexpr int kAccessSlots = 1024;
struct AccessSlot {
    std::atomic<uint32_t> generation{1};
    bool used = false;
    IKHANDLE handle = 0;
    ObjectPtr object;
};
AccessSlot g_access[kAccessSlots];
std::mutex g_accessMutex;

DibImage* openAccess(const IKDibAccess* r) {
    if (!r || r->magic != kAccessMagic || r->slot >= kAccessSlots) return nullptr;
    AccessSlot& s = g_access[r->slot];
    if (s.generation.load(std::memory_order_acquire) != r->generation || !s.object) return nullptr;
    return &s.object->image;
}

}  // namespace

extern "C" {

IKHANDLE IKBlur(IK_AREA_PARAMS, uint8_t level, IK_PROGRESS_PARAMS) {
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) { return blur(s, level, p); });
}

IKHANDLE IKSharp(IK_AREA_PARAMS, uint8_t level, IK_PROGRESS_PARAMS) {
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) { return sharpen(s, level, p); });
}

IKHANDLE IKMosaic(IK_AREA_PARAMS, int32_t cellWidth, int32_t cellHeight, IK_PROGRESS_PARAMS) {
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) {
        return mosaic(s, cellWidth, cellHeight, p);
    });
}

IKHANDLE IKCustomFilter(IK_AREA_PARAMS, const int32_t* matrix, int32_t matrixHigh, int16_t divisor,
                        int16_t bias, IKBOOL red, IKBOOL green, IKBOOL blue, IK_PROGRESS_PARAMS) {
    Convolution conv;
    int side = 0;
    if (matrix && matrixHigh >= 0 && matrixHigh < 99 * 99) {
        const int n = matrixHigh + 1;
        while (side * side < n) ++side;
        if (side * side != n) side = 0;
    }
    conv.side = side;
    if (side) conv.weights.assign(matrix, matrix + side * side);
    conv.divisor = divisor;
    conv.bias = bias;
    conv.channels = {blue != 0, green != 0, red != 0};
    if (side == 0 || side % 2 == 0) {
        setStatus(IK_ERR_ARGUMENT);
        return 0;
    }
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) { return convolve(s, conv, p); });
}

IKHANDLE IKRGBLevel(IK_AREA_PARAMS, int32_t red, int32_t green, int32_t blue, IK_PROGRESS_PARAMS) {
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) {
        return applyTables(s, {levelTable(blue), levelTable(green), levelTable(red)}, p);
    });
}

IKHANDLE IKRGBGamma(IK_AREA_PARAMS, double red, double green, double blue, IK_PROGRESS_PARAMS) {
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) {
        return applyTables(s, {gammaTable(blue), gammaTable(green), gammaTable(red)}, p);
    });
}

IKHANDLE IKRGBRev(IK_AREA_PARAMS, IKBOOL red, IKBOOL green, IKBOOL blue, IK_PROGRESS_PARAMS) {
    return areaOperation(IK_AREA_ARGS, [&](const DibImage& s, ProgressSink* p) {
        return applyTables(s, {reverseTable(blue), reverseTable(green), reverseTable(red)}, p);
    });
}

// Filters of the family this engine version does not serve: status 24.
IKHANDLE IKAntiAlias(IK_AREA_PARAMS, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKCanvas(IK_AREA_PARAMS, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKOilPaint(IK_AREA_PARAMS, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKRemoveNoise(IK_AREA_PARAMS, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKEmboss(IK_AREA_PARAMS, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKOutline(IK_AREA_PARAMS, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKSelectImageEx(IK_AREA_PARAMS, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKAutoSelectImageEx(IK_AREA_PARAMS, int16_t, int16_t, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKChroma(IK_AREA_PARAMS, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKGlassTile(IK_AREA_PARAMS, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKMotionBlur(IK_AREA_PARAMS, int16_t, int16_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKLens(IK_AREA_PARAMS, double, IKBOOL, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKRipple(IK_AREA_PARAMS, double, double, double, IKBOOL, IKBOOL, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKWhirlPinch(IK_AREA_PARAMS, double, double, double, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKWaves(IK_AREA_PARAMS, int16_t, int16_t, int32_t, int32_t, double, int16_t, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKUnifyColor(IK_AREA_PARAMS, int16_t, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKRedEyeRemoval(IK_AREA_PARAMS, int16_t, int16_t, int16_t, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKYCCLevel(IK_AREA_PARAMS, int32_t, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKYCCGamma(IK_AREA_PARAMS, double, double, double, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKYCCRev(IK_AREA_PARAMS, IKBOOL, IKBOOL, IKBOOL, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKRGBSpline(IK_AREA_PARAMS, const IKPoint*, int32_t, IKBOOL, IKBOOL, IKBOOL, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKYCCSpline(IK_AREA_PARAMS, const IKPoint*, int32_t, IKBOOL, IKBOOL, IKBOOL, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKPasteImage(IKHANDLE, IKHANDLE, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKPanorama(IKHANDLE, IKHANDLE, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKAffine(IKHANDLE, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKHANDLE IKMakeRGBAImage(IKHANDLE, IKHANDLE, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKBOOL IKSplitRGBAImage(IKHANDLE, IKHANDLE*, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_FILTER); }
IKHANDLE IKSetSecretImage(IKHANDLE, IKHANDLE, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FILTER); }
IKBOOL IKCheckSecretImage(IKHANDLE, IKHANDLE, int32_t, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_FILTER); }

// Conversion to 24 bits, 8-bit grey, 4-bit grey, or 1 bit at threshold `value`
// (0 = 128); `first` and `second` are accepted and not used.
IKHANDLE IKConvertColor(IKHANDLE image, int16_t bitCount, int16_t, int16_t, uint8_t value,
                        IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr src = findRaster(image);
        if (!src) return 0;
        ProgressSink sink(progress);
        DibImage out;
        switch (bitCount) {
            case 24: out = convertTo24(src->image, &sink); break;
            case 8: out = convertToGrey8(src->image, &sink); break;
            case 4: out = convertToGrey4(src->image, &sink); break;
            case 1: out = convertToBinary(src->image, value ? value : 128, &sink); break;
            default: return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        }
        return finish(std::move(out), sink, IK_ERR_MEMORY);
    });
}

IKBOOL IKResizeEx(const IKHANDLE* images, IKHANDLE* results, int32_t width, int32_t height,
                  IKBOOL smooth, IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (!images || !results) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        results[0] = results[1] = 0;
        ObjectPtr src = findRaster(images[0]);
        if (!src) return 0;
        ObjectPtr mask;
        if (images[1] && !(mask = findRaster(images[1]))) return 0;
        if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
            return fail<IKBOOL>(IK_ERR_ARGUMENT);
        ProgressSink sink(progress);
        auto run = [&](const DibImage& img) {
            return smooth ? resizeSmooth(img, width, height, &sink)
                          : resizeNearest(img, width, height, &sink);
        };
        const IKHANDLE first = finish(run(src->image), sink, IK_ERR_MEMORY);
        if (!first) return 0;
        if (mask) {
            const IKHANDLE second = finish(run(mask->image), sink, IK_ERR_MEMORY);
            if (!second) {
                const uint16_t why = status();
                ObjectTable::instance().remove(first);
                return fail<IKBOOL>(why);
            }
            results[1] = second;
        }
        results[0] = first;
        return 1;
    });
}

// angle in hundredths of a degree, counter-clockwise; background red, green, blue.
IKHANDLE IKRotationEx(IKHANDLE image, int32_t angle, IKBOOL smooth, IKBOOL enlarge, IKBOOL,
                      int16_t red, int16_t green, int16_t blue, IKBOOL, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr src = findRaster(image);
        if (!src) return 0;
        auto byte = [](int16_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
        const uint8_t bg[3] = {byte(blue), byte(green), byte(red)};
        ProgressSink sink(progress);
        DibImage out = rotate(src->image, angle, smooth != 0, enlarge != 0, bg, &sink);
        return finish(std::move(out), sink, IK_ERR_MEMORY);
    });
}

IKHANDLE IKSetGray(IKHANDLE image, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr src = findRaster(image);
        if (!src) return 0;
        ProgressSink sink(progress);
        return finish(convertToGrey8(src->image, &sink), sink, IK_ERR_MEMORY);
    });
}

IKHANDLE IKCutRectImage(IKHANDLE image, const IKRect* rect, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr src = findRaster(image);
        if (!src) return 0;
        if (!rect) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
        ProgressSink sink(progress);
        return finish(cutRect(src->image, rect->left, rect->top, rect->right, rect->bottom), sink,
                      IK_ERR_ARGUMENT);
    });
}

// image2 over image1 at (x, y); colours from low to high (red, green, blue) are
// transparent when useTransparent; opacity 1..255 mixes, 0 or 255 is opaque.
IKHANDLE IKLayer(IKHANDLE image1, IKHANDLE image2, uint8_t opacity, IKBOOL useTransparent,
                 uint8_t lowRed, uint8_t lowGreen, uint8_t lowBlue, uint8_t highRed,
                 uint8_t highGreen, uint8_t highBlue, int32_t x, int32_t y, IKBOOL, IKBOOL,
                 IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&]() -> IKHANDLE {
        ObjectPtr base = findRaster(image1);
        if (!base) return 0;
        ObjectPtr top = findRaster(image2);
        if (!top) return 0;
        LayerOptions o;
        o.x = x, o.y = y, o.opacity = opacity, o.useTransparent = useTransparent != 0;
        o.low[0] = lowBlue, o.low[1] = lowGreen, o.low[2] = lowRed;
        o.high[0] = highBlue, o.high[1] = highGreen, o.high[2] = highRed;
        ProgressSink sink(progress);
        return finish(layer(base->image, top->image, o, &sink), sink, IK_ERR_MEMORY);
    });
}

IKBOOL IKStartDibAccess(IKHANDLE image, IKDibAccess* record) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (!record) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        ObjectPtr o = findRaster(image);
        if (!o) return 0;
        std::lock_guard lock(g_accessMutex);
        for (uint32_t i = 0; i < kAccessSlots; ++i) {
            AccessSlot& s = g_access[i];
            if (s.used) continue;
            ObjectPtr pinned = ObjectTable::instance().lock(image);
            if (!pinned) return fail<IKBOOL>(IK_ERR_IMAGE);
            s.used = true;
            s.handle = image;
            s.object = pinned;
            std::memset(record, 0, sizeof *record);
            record->magic = kAccessMagic;
            record->slot = i;
            record->generation = s.generation.load(std::memory_order_relaxed);
            record->image = image;
            record->width = pinned->image.width();
            record->height = pinned->image.height();
            record->bitCount = pinned->image.bitCount();
            return 1;
        }
        return fail<IKBOOL>(IK_ERR_MEMORY);
    });
}

IKBOOL IKGetDibPixel(IKDibAccess* record, int32_t x, int32_t y) {
    DibImage* img = openAccess(record);
    if (!img) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    if (x < 0 || y < 0 || x >= img->width() || y >= img->height()) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    const uint8_t* row = img->row(y);
    uint8_t* px = record->pixel;
    if (img->bitCount() == 24) {
        px[0] = row[3 * x + 2], px[1] = row[3 * x + 1], px[2] = row[3 * x], px[3] = 0;
    } else {
        int index;
        if (img->bitCount() == 8) index = row[x];
        else if (img->bitCount() == 4) index = (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
        else index = (row[x >> 3] >> (7 - (x & 7))) & 1;
        const RgbQuad& c = img->palette()[index];
        px[0] = c.rgbRed, px[1] = c.rgbGreen, px[2] = c.rgbBlue, px[3] = static_cast<uint8_t>(index);
    }
    setStatus(IK_OK);
    return 1;
}

IKBOOL IKSetDibPixel(IKDibAccess* record, int32_t x, int32_t y) {
    DibImage* img = openAccess(record);
    if (!img) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    if (x < 0 || y < 0 || x >= img->width() || y >= img->height()) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    uint8_t* row = img->row(y);
    const uint8_t* px = record->pixel;
    if (img->bitCount() == 24) {
        row[3 * x] = px[2], row[3 * x + 1] = px[1], row[3 * x + 2] = px[0];
    } else {
        // Palette pictures take the index from the fourth byte.
        const int index = px[3];
        if (index >= img->paletteCount()) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        if (img->bitCount() == 8) row[x] = static_cast<uint8_t>(index);
        else if (img->bitCount() == 4)
            row[x >> 1] = static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0xF0) | index
                                                       : (row[x >> 1] & 0x0F) | (index << 4));
        else
            row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(0x80 >> (x & 7))) |
                                               (index ? (0x80 >> (x & 7)) : 0));
    }
    setStatus(IK_OK);
    return 1;
}

IKBOOL IKEndDibAccess(IKHANDLE image, IKDibAccess* record) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        std::lock_guard lock(g_accessMutex);
        if (!openAccess(record)) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        AccessSlot& s = g_access[record->slot];
        if (s.handle != image) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        s.generation.fetch_add(1, std::memory_order_acq_rel);
        s.object.reset();
        s.used = false;
        s.handle = 0;
        ObjectTable::instance().unlock(image);
        record->magic = 0;
        return 1;
    });
}

}  // extern "C"

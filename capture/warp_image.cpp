// Warp and smoothing of the screen picture on engine images.
#include "capture/warp_image.h"

#include "capture/warp.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"
#include "platform/dib.h"

namespace q47::capture {

namespace {

void report(uint16_t* status, uint16_t value) {
    if (status) *status = value;
}

// The pixels of a locked 24-bit image, upright; unlocked when it goes.
struct Locked {
    IKHANDLE image = 0;
    bool locked = false;
    RgbPlane plane{};
    bool lock(IKHANDLE h) {
        image = h;
        uint32_t size = 0;
        auto* bytes = static_cast<uint8_t*>(Ikdllprocs::IKLockImage ? Ikdllprocs::IKLockImage(h, &size) : nullptr);
        if (!bytes) return false;
        locked = true;
        dib::View v;
        if (!dib::parse(bytes, size, &v) || v.header->biBitCount != 24) return false;
        // Locked engine memory: writing through the view writes the image.
        plane = RgbPlane{const_cast<uint8_t*>(v.rowFromTop(0)),
                         v.bottomUp ? -static_cast<ptrdiff_t>(v.stride) : static_cast<ptrdiff_t>(v.stride), v.width,
                         v.height};
        return true;
    }
    ~Locked() {
        if (locked && Ikdllprocs::IKUnlockImage) Ikdllprocs::IKUnlockImage(image);
    }
};

}  // namespace

IKHANDLE WarpScreenPicture(IKHANDLE screen, const Quad& corners, const WarpProgress& progress, uint16_t* status) {
    TVIkEffect effect;
    const Box box = BoundingBox(corners);
    if (box.width <= 0 || box.height <= 0) {
        report(status, IK_ERR_ARGUMENT);
        return 0;
    }
    IKImageInfo info{};
    if (!Ikdllprocs::IKGetImageType || !screen || !Ikdllprocs::IKGetImageType(screen, &info) ||
        (info.kind & 0xFF) != IK_RASTER || info.width <= 0 || info.height <= 0) {
        report(status, IK_ERR_IMAGE);
        return 0;
    }
    if (progress) {
        effect.OnProgress = [&](QObject*, int16_t percent) { progress(percent / 10); };
        progress(0);
    }

    if (IsAxisParallelRectangle(corners)) {
        effect.ImgHandle = screen;
        const bool ok = effect.Resize(box.width, box.height, true);
        report(status, effect.ErrorStatus);
        if (!ok) return 0;
        if (effect.ResultHandle2) Ikdllprocs::IKFreeMemory(effect.ResultHandle2);
        return effect.ResultHandle;
    }

    IKHANDLE colour = 0;
    if (info.bitCount != 24) {
        effect.ImgHandle = screen;
        if (!effect.ConvertColor(24, 0, 0, 0)) {
            report(status, effect.ErrorStatus);
            return 0;
        }
        colour = effect.ResultHandle;
    }
    const IKHANDLE source = colour ? colour : screen;
    const Size size = WarpTargetSize(info.width, info.height);
    const IKHANDLE target = Ikdllprocs::IKCreateImage
                                ? Ikdllprocs::IKCreateImage(size.width, size.height, 24, 255, 255, 255, 0, 0, 0, 0)
                                : 0;
    bool mapped = false;
    if (target) {
        Locked from, to;
        if (from.lock(source) && to.lock(target)) {
            int value = 0;
            const WarpStep step = [&] {
                if (progress) progress(++value);
            };
            WarpForward(RgbView{from.plane.top, from.plane.stride, from.plane.width, from.plane.height},
                        WarpTargetCorners(RelativeTo(corners, box), box, info.width, info.height), to.plane, step);
            mapped = true;
        }
    }
    if (colour) Ikdllprocs::IKFreeMemory(colour);
    if (!mapped) {
        report(status, target ? IK_ERR_IMAGE : IK_ERR_MEMORY);
        if (target) Ikdllprocs::IKFreeMemory(target);
        return 0;
    }
    effect.OnProgress = nullptr;
    effect.ImgHandle = target;
    const bool ok = effect.Resize(box.width, box.height, true);
    report(status, effect.ErrorStatus);
    Ikdllprocs::IKFreeMemory(target);
    if (!ok) return 0;
    if (effect.ResultHandle2) Ikdllprocs::IKFreeMemory(effect.ResultHandle2);
    return effect.ResultHandle;
}

IKHANDLE SmoothCaptureLayer(IKHANDLE layer, const CaptureFilter& filter, uint16_t* status) {
    TVIkEffect effect;
    effect.SelectMode = vikEffectAll;
    effect.ImgHandle = layer;
    const bool ok = effect.CustomFilter(filter.matrix.data(), 80, filter.divisor, 0, true, true, true);
    report(status, effect.ErrorStatus);
    return ok ? effect.ResultHandle : 0;
}

}  // namespace q47::capture

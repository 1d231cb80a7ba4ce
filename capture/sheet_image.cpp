// Sheet preparation and detection on engine images, through TVIkEffect and the engine's
// image lock.
#include "capture/sheet_image.h"

#include <algorithm>
#include <iterator>

#include "capture/composite_merge.h"
#include "capture/sheet_preparation.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"
#include "imaging/Ikinit.h"
#include "platform/dib.h"

namespace q47::capture {

namespace {

void report(uint16_t* status, uint16_t value) {
    if (status) *status = value;
}

// Callers hold the engine loaded (a component, or InitializeIK) around this.
bool describe(IKHANDLE image, IKImageInfo& info) {
    return Ikdllprocs::IKGetImageType && image != 0 && Ikdllprocs::IKGetImageType(image, &info) &&
           (info.kind & 0xFF) == IK_RASTER;
}

// The locked pixels of a 24-bit image, upright; unlocks when it goes.
class LockedRows {
public:
    explicit LockedRows(IKHANDLE image) : image_(image) {
        if (!Ikdllprocs::IKLockImage || !Ikdllprocs::IKUnlockImage) return;
        uint32_t size = 0;
        auto* bytes = static_cast<uint8_t*>(Ikdllprocs::IKLockImage(image, &size));
        if (!bytes) return;
        locked_ = true;
        dib::View v;
        if (!dib::parse(bytes, size, &v) || v.header->biBitCount != 24) return;
        // The engine lends its own memory while the image is locked, so writing through
        // the view is writing the image.
        uint8_t* first = const_cast<uint8_t*>(v.rowFromTop(0));
        const ptrdiff_t stride = v.bottomUp ? -static_cast<ptrdiff_t>(v.stride) : static_cast<ptrdiff_t>(v.stride);
        plane_ = RgbPlane{first, stride, v.width, v.height};
        ok_ = true;
    }
    ~LockedRows() {
        if (locked_) Ikdllprocs::IKUnlockImage(image_);
    }
    LockedRows(const LockedRows&) = delete;
    LockedRows& operator=(const LockedRows&) = delete;
    bool ok() const { return ok_; }
    const RgbPlane& plane() const { return plane_; }
    RgbView view() const { return RgbView{plane_.top, plane_.stride, plane_.width, plane_.height}; }

private:
    IKHANDLE image_;
    bool locked_ = false, ok_ = false;
    RgbPlane plane_{};
};

}  // namespace

IKHANDLE PrepareScannedSheet(IKHANDLE received, uint16_t* status) {
    TVIkEffect effect;  // holds the engine loaded for the calls below
    IKImageInfo info{};
    if (!describe(received, info)) {
        report(status, IK_ERR_IMAGE);
        if (received && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(received);
        return 0;
    }
    IKHANDLE colour = 0;
    if (info.bitCount != 24) {
        effect.ImgHandle = received;
        if (!effect.ConvertColor(24, 0, 0, 0)) {
            report(status, effect.ErrorStatus);
            Ikdllprocs::IKFreeMemory(received);
            return 0;
        }
        colour = effect.ResultHandle;
    }
    effect.ImgHandle = colour ? colour : received;
    const bool ok = effect.Resize(info.width / 2, info.height / 2, true);
    report(status, effect.ErrorStatus);
    if (colour) Ikdllprocs::IKFreeMemory(colour);
    Ikdllprocs::IKFreeMemory(received);
    if (!ok) return 0;
    if (effect.ResultHandle2) Ikdllprocs::IKFreeMemory(effect.ResultHandle2);
    return effect.ResultHandle;
}

bool WhitenSheet(IKHANDLE sheet, uint16_t* status) {
    InitializeIK();
    IKImageInfo info{};
    bool ok = describe(sheet, info);
    if (!ok) {
        report(status, IK_ERR_IMAGE);
    } else if (info.bitCount != 24) {
        report(status, IK_ERR_BIT_DEPTH);
        ok = false;
    } else {
        LockedRows rows(sheet);
        ok = rows.ok();
        if (ok) WhitenNearWhite(rows.plane());
        report(status, ok ? IK_OK : IK_ERR_IMAGE);
    }
    TerminateIK();
    return ok;
}

bool SheetSize(IKHANDLE sheet, int32_t* width, int32_t* height) {
    InitializeIK();
    IKImageInfo info{};
    const bool ok = describe(sheet, info);
    TerminateIK();
    if (!ok) return false;
    if (width) *width = info.width;
    if (height) *height = info.height;
    return true;
}

int DetectMarks(IKHANDLE sheet, int colour, MarkDetection& record) {
    TVIkEffect effect;
    std::fill(std::begin(record.MarkCorners), std::end(record.MarkCorners), 0);
    IKImageInfo info{};
    if (!describe(sheet, info)) return -1;
    IKHANDLE colourCopy = 0;
    if (info.bitCount != 24) {
        effect.ImgHandle = sheet;
        if (!effect.ConvertColor(24, 0, 0, 0)) return -1;
        colourCopy = effect.ResultHandle;
    }
    int result = -1;
    {
        LockedRows rows(colourCopy ? colourCopy : sheet);
        if (rows.ok()) result = DetectMarks(rows.view(), colour, record);
    }
    record.bitCount = info.bitCount;
    record.imageValue1 = info.xDpi;
    record.imageValue2 = info.yDpi;
    if (colourCopy) Ikdllprocs::IKFreeMemory(colourCopy);
    return result;
}

namespace {

// A 24-bit copy of a raster image (converted when it has another depth).
IKHANDLE ColourCopy(IKHANDLE image, uint16_t* status) {
    IKImageInfo info{};
    if (!describe(image, info)) {
        report(status, IK_ERR_IMAGE);
        return 0;
    }
    if (info.bitCount == 24) {
        const IKHANDLE copy = Ikdllprocs::IKCopyImage(image, 0, 0, 0, 0);
        if (!copy) report(status, IK_ERR_IMAGE);
        return copy;
    }
    TVIkEffect effect;
    effect.ImgHandle = image;
    if (!effect.ConvertColor(24, 0, 0, 0)) {
        report(status, effect.ErrorStatus);
        return 0;
    }
    return effect.ResultHandle;
}

}  // namespace

IKHANDLE MergeComposite(IKHANDLE sheet, IKHANDLE capture, Point start, uint16_t* status) {
    InitializeIK();
    report(status, 0);
    const IKHANDLE merged = ColourCopy(sheet, status);
    if (!merged || !capture) return merged;
    const IKHANDLE colour = ColourCopy(capture, status);
    bool ok = colour != 0;
    if (ok) {
        LockedRows out(merged), in(colour);
        ok = out.ok() && in.ok();
        if (ok) LaySheetOverCapture(out.plane(), in.view(), start);
    }
    if (colour) Ikdllprocs::IKFreeMemory(colour);
    if (!ok) {
        report(status, IK_ERR_IMAGE);
        Ikdllprocs::IKFreeMemory(merged);
        return 0;
    }
    return merged;
}

IKHANDLE ResizedCopy(IKHANDLE image, int32_t width, int32_t height, uint16_t* status) {
    TVIkEffect effect;
    effect.ImgHandle = image;
    const bool ok = effect.Resize(width, height, false);
    report(status, effect.ErrorStatus);
    if (effect.ResultHandle2) Ikdllprocs::IKFreeMemory(effect.ResultHandle2);
    return ok ? effect.ResultHandle : 0;
}

}  // namespace q47::capture

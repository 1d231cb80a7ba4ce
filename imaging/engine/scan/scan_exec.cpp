// IKScanExec's work. The source is enabled with the record's user-interface mode, the
// application's side of the dialogue waits for MSG_XFERREADY (serving the host's events
// meanwhile), every pending image goes through before-callback, transfer, engine image,
// after-callback; whatever way the scan ends, the source is brought back to state 4
// (transfers ended, pending images reset, source disabled) so it can scan again.
#include "imaging/engine/scan/scan_exec.h"

#include <algorithm>

#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/core/object_table.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/scan/scan_transfers.h"

namespace q47::ik::scan {

namespace {

enum class BatchEnd { MoreWanted, Stopped, Cancelled, Failed };

bool arrayMode(const IKScanRecord& r) {
    return r.scanMode == IK_SCAN_CAM_ARRAY || r.scanMode == IK_SCAN_CAM_THUMB_ARRAY;
}

TW_UINT16 mechanismOf(int16_t transferMode) {
    switch (transferMode) {
        case IK_SCAN_FILE: case IK_SCAN_FILE2: return TWSX_FILE;
        case IK_SCAN_MEMORY: return TWSX_MEMORY;
        default: return TWSX_NATIVE;
    }
}

// Sets what the source lists among its capabilities (all when it lists none); a source
// that refuses a value keeps its own. Only the transfer mechanism must be taken: the
// scan cannot go on in another one.
bool negotiate(const SourceLink& link, const IKScanRecord& r) {
    const std::set<TW_UINT16> caps = supportedCaps(link);
    auto has = [&](TW_UINT16 cap) { return caps.empty() || caps.count(cap) != 0; };
    auto set16 = [&](TW_UINT16 cap, TW_UINT16 type, int value) {
        if (has(cap)) setOneValue(link, cap, type, static_cast<TW_UINT32>(value) & 0xffff);
    };
    auto setFix = [&](TW_UINT16 cap, double value) {
        if (has(cap)) setOneValue(link, cap, TWTY_FIX32, fix32Bits(value));
    };
    const TW_UINT16 mechanism = mechanismOf(r.transferMode);
    if (!setOneValue(link, ICAP_XFERMECH, TWTY_UINT16, mechanism) && mechanism != TWSX_NATIVE)
        return false;
    set16(ICAP_UNITS, TWTY_UINT16, r.unitMode);  // before anything measured in units
    set16(ICAP_PIXELTYPE, TWTY_UINT16, r.pixelType);
    if (r.bitDepth > 0) set16(ICAP_BITDEPTH, TWTY_UINT16, r.bitDepth);
    if (r.xResolution > 0) setFix(ICAP_XRESOLUTION, r.xResolution);
    if (r.yResolution > 0) setFix(ICAP_YRESOLUTION, r.yResolution);
    if (r.xScaling > 0) setFix(ICAP_XSCALING, r.xScaling);
    if (r.yScaling > 0) setFix(ICAP_YSCALING, r.yScaling);
    if (r.value68 == 0) {
        setFix(ICAP_BRIGHTNESS, r.brightness);
        setFix(ICAP_CONTRAST, r.contrast);
        setFix(ICAP_HIGHLIGHT, r.highlight);
        setFix(ICAP_SHADOW, r.shadow);
        setFix(ICAP_THRESHOLD, r.threshold);
    }
    if (r.gamma > 0) setFix(ICAP_GAMMA, r.gamma);
    set16(CAP_INDICATORS, TWTY_BOOL, r.indicator ? 1 : 0);
    set16(CAP_XFERCOUNT, TWTY_INT16, arrayMode(r) ? -1 : r.xferCount);
    set16(ICAP_ORIENTATION, TWTY_UINT16, r.orientation);
    // Native and memory transfers hand over plain pixels; only a file may be compressed.
    if (mechanism == TWSX_FILE) set16(ICAP_COMPRESSION, TWTY_UINT16, r.compression);
    set16(ICAP_BITORDER, TWTY_UINT16, r.bitOrder);
    if (r.scanMode == IK_SCAN_ADF1 || r.scanMode == IK_SCAN_ADF2) {
        set16(CAP_FEEDERENABLED, TWTY_BOOL, 1);
        set16(CAP_DUPLEXENABLED, TWTY_BOOL, r.scanMode == IK_SCAN_ADF2 ? 1 : 0);
    }
    if (r.rectLeft != 0 || r.rectTop != 0 || r.rectRight != 0 || r.rectBottom != 0) {
        TW_IMAGELAYOUT layout{};
        if (link.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout) == TWRC_SUCCESS) {
            layout.Frame = {toFix32(r.rectLeft), toFix32(r.rectTop), toFix32(r.rectRight),
                            toFix32(r.rectBottom)};
            link.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
        }
    }
    return true;
}

// MSG_ENDXFER; answers the images still pending (0 when the call fails).
int endTransfer(const SourceLink& link) {
    TW_PENDINGXFERS pending{};
    if (link.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) return 0;
    return pending.Count;
}

void resetPending(const SourceLink& link) {
    TW_PENDINGXFERS pending{};
    link.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

IKScanImageDescription describe(const TW_IMAGEINFO& info) {
    IKScanImageDescription d{};
    d.xResolution = static_cast<float>(fromFix32(info.XResolution));
    d.yResolution = static_cast<float>(fromFix32(info.YResolution));
    d.width = info.ImageWidth;
    d.height = info.ImageLength;
    d.bitDepth = info.BitsPerPixel;
    d.pixelType = static_cast<uint8_t>(info.PixelType);
    d.compression = static_cast<int16_t>(info.Compression);
    return d;
}

// One scan's running state.
struct Run {
    const SourceLink& link;
    IKScanRecord& record;
    const ScanCallbacks& callbacks;
    int32_t imageNumber = 1;  // of the source's images, across batches
    int32_t delivered = 0;
    TW_IMAGEINFO lastInfo{};
    uint16_t failure = IK_OK;

    bool wanted(int32_t n) const {
        if (!arrayMode(record)) return true;
        const int32_t count = std::max<int32_t>(record.xferCount, 0);
        return std::find(callbacks.array, callbacks.array + count, n) != callbacks.array + count;
    }

    TransferEnd transfer(const TW_IMAGEINFO& info, DibImage* image, ProgressSink* progress) {
        const std::string folder = record.text ? record.text : "";
        switch (record.transferMode) {
            case IK_SCAN_MEMORY: return transferMemory(link, info, image, progress);
            case IK_SCAN_FILE: return transferFile(link, folder, false, image, progress);
            case IK_SCAN_FILE2: return transferFile(link, folder, true, image, progress);
            default: return transferNative(link, info, image, progress);
        }
    }

    // The images of one MSG_XFERREADY, until none is pending or the scan stops.
    BatchEnd batch() {
        for (;;) {
            TW_IMAGEINFO info{};
            if (link.call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) {
                failure = IK_ERR_SCAN_TRANSFER;
                endTransfer(link);
                resetPending(link);
                return BatchEnd::Failed;
            }
            const IKScanImageDescription description = describe(info);
            if (callbacks.before && callbacks.before(&description, imageNumber) == 0) {
                resetPending(link);
                return BatchEnd::Cancelled;
            }
            const bool want = wanted(imageNumber);
            DibImage image;
            ProgressSink progress(callbacks.progress);
            // An image left out of the array is ended without being transferred.
            const TransferEnd end = want ? transfer(info, &image, &progress) : TransferEnd::Done;
            const int pending = endTransfer(link);
            if (end != TransferEnd::Done) {
                if (pending) resetPending(link);
                if (end == TransferEnd::Failed) failure = IK_ERR_SCAN_TRANSFER;
                return end == TransferEnd::Failed ? BatchEnd::Failed : BatchEnd::Cancelled;
            }
            if (want) {
                const IKHANDLE handle = addRaster(std::move(image));
                if (!handle) {
                    if (pending) resetPending(link);
                    failure = IK_ERR_MEMORY;
                    return BatchEnd::Failed;
                }
                ++delivered;
                lastInfo = info;
                const bool goOn = callbacks.after
                                      ? callbacks.after(handle, 0, imageNumber, record.bitOrder) != 0
                                      : (ObjectTable::instance().remove(handle), true);
                if (!goOn) {
                    if (pending) resetPending(link);
                    return BatchEnd::Stopped;
                }
            }
            ++imageNumber;
            // A source that ignores CAP_XFERCOUNT still gives no more than asked for.
            if (!arrayMode(record) && record.xferCount > 0 && delivered >= record.xferCount) {
                if (pending) resetPending(link);
                return BatchEnd::Stopped;
            }
            if (pending == 0) return BatchEnd::MoreWanted;
        }
    }

    // The record shows what the last image was made with.
    void reportBack() {
        record.pixelType = static_cast<int16_t>(lastInfo.PixelType);
        record.xResolution = static_cast<int32_t>(fromFix32(lastInfo.XResolution));
        record.yResolution = static_cast<int32_t>(fromFix32(lastInfo.YResolution));
        record.bitDepth = lastInfo.BitsPerPixel;
        CapValues units;
        if (readCapability(link, ICAP_UNITS, MSG_GETCURRENT, &units) && !units.numbers.empty())
            record.unitMode = static_cast<int16_t>(units.numbers.front());
        TW_IMAGELAYOUT layout{};
        if (link.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout) == TWRC_SUCCESS) {
            record.rectLeft = static_cast<float>(fromFix32(layout.Frame.Left));
            record.rectTop = static_cast<float>(fromFix32(layout.Frame.Top));
            record.rectRight = static_cast<float>(fromFix32(layout.Frame.Right));
            record.rectBottom = static_cast<float>(fromFix32(layout.Frame.Bottom));
        }
    }
};

}  // namespace

int32_t runScan(ScanApp& app, ScanSource& source, IKScanRecord& record,
                const ScanCallbacks& callbacks) {
    if (record.transferMode < IK_SCAN_NATIVE || record.transferMode > IK_SCAN_FILE2 ||
        record.uiMode < IK_SCAN_UI || record.uiMode > IK_SCAN_NONUI ||
        record.scanMode < IK_SCAN_DOC || record.scanMode > IK_SCAN_CAM_THUMB_ARRAY ||
        (arrayMode(record) && !callbacks.array))
        return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    const SourceLink link{&app.identity, &source.identity};
    if (!negotiate(link, record)) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);

    {
        std::lock_guard lock(source.mutex);
        source.event = 0;  // nothing left over from an earlier scan counts
    }
    TW_USERINTERFACE ui{};
    ui.ShowUI = record.uiMode == IK_SCAN_NONUI ? 0 : 1;
    ui.ModalUI = 0;
    ui.hParent = nullptr;
    const TW_UINT16 rc = link.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);

    Run run{link, record, callbacks};
    BatchEnd end = BatchEnd::Stopped;
    for (;;) {
        // Anything but MSG_XFERREADY is the source asking to be closed.
        if (ScanSessions::instance().waitForEvent(source) != MSG_XFERREADY) break;
        end = run.batch();
        // With its own dialog open the source may scan again until the user closes it.
        if (end != BatchEnd::MoreWanted || record.uiMode != IK_SCAN_UI) break;
    }
    TW_USERINTERFACE off{};
    link.call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &off);

    // A source that asks to be closed without an image has ended the acquisition
    // itself: the user closed its window, or it has already shown why the board could
    // not scan. That is no image, not a failure: the scan succeeds with none.
    uint16_t status = IK_OK;
    if (end == BatchEnd::Failed) status = run.failure;
    else if (end == BatchEnd::Cancelled) status = IK_ERR_CANCELLED;
    if (status == IK_OK && run.delivered > 0) run.reportBack();
    setStatus(status);
    return run.delivered;
}

}  // namespace q47::ik::scan

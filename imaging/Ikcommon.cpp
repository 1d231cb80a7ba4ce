// TVIkCommon: each operation checks its entry, clears ErrorStatus, calls the engine and
// takes the engine's status.
#include "imaging/Ikcommon.h"

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/Ikutils.h"


TVIkCommon::TVIkCommon(QObject* owner) : QObject(owner) { InitializeIK(); }

TVIkCommon::~TVIkCommon() {
    if (ImgHandle && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(ImgHandle);
    TerminateIK();
}

bool TVIkCommon::entryMissing(const void* entry) {
    if (entry) {
        ErrorStatus = 0;
        return false;
    }
    ErrorStatus = IK_ERR_ENTRY_MISSING;
    return true;
}

void TVIkCommon::takeEngineStatus() {
    ErrorStatus = Ikdllprocs::IKGetErrorStatus ? Ikdllprocs::IKGetErrorStatus() : uint16_t{IK_ERR_ENTRY_MISSING};
}

bool TVIkCommon::GetImageType() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetImageType))) return false;
    IKImageInfo info{};
    const bool ok = Ikdllprocs::IKGetImageType(ImgHandle, &info) != 0;
    takeEngineStatus();
    if (!ok) return false;
    Info = info;
    BitCount = info.bitCount;
    xdpi_ = info.xDpi;
    ydpi_ = info.yDpi;
    Width = info.width;
    Height = info.height;
    ImageKind = static_cast<TVIkImageKind>(info.kind & 0xFF);
    return true;
}

IKHANDLE TVIkCommon::CopyImage() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKCopyImage))) return 0;
    const IKHANDLE h = Ikdllprocs::IKCopyImage(ImgHandle, 0, 0, 0, 0);
    takeEngineStatus();
    return h;
}

bool TVIkCommon::CreateImage(int width, int height, int bitCount, int c1, int c2, int c3) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKCreateImage))) return false;
    // The previous image is not freed: whoever holds it keeps it.
    const IKHANDLE h = Ikdllprocs::IKCreateImage(width, height, static_cast<int16_t>(bitCount), static_cast<uint8_t>(c1),
                                     static_cast<uint8_t>(c2), static_cast<uint8_t>(c3), 0, 0, 0, 0);
    takeEngineStatus();
    if (!h) return false;
    ImgHandle = h;
    return true;
}

bool TVIkCommon::FreeMemory() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetImageType)) ||
        entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKFreeMemory)))
        return false;
    IKImageInfo info{};
    const bool described = Ikdllprocs::IKGetImageType(ImgHandle, &info) != 0;
    if (!described || (info.kind & 0xFF) == vikInvalidImage) {
        takeEngineStatus();
        return false;
    }
    const bool ok = Ikdllprocs::IKFreeMemory(ImgHandle) != 0;
    takeEngineStatus();
    ImgHandle = 0;
    return ok;
}

IKHANDLE TVIkCommon::BitmapFromDib() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKBitmapFromDib))) return 0;
    const IKHANDLE h = Ikdllprocs::IKBitmapFromDib(ImgHandle);
    takeEngineStatus();
    return h;
}

bool TVIkCommon::DibFromBitmap(IKHANDLE bitmap, IKHANDLE palette) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKDibFromBitmap))) return false;
    const IKHANDLE h = Ikdllprocs::IKDibFromBitmap(bitmap, palette);
    takeEngineStatus();
    if (!h) return false;
    ImgHandle = h;
    return true;
}

bool TVIkCommon::DeleteBitmapObject(IKHANDLE bitmap) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKDeleteBitmapObject))) return false;
    const bool ok = Ikdllprocs::IKDeleteBitmapObject(bitmap) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::GetDpi() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetDpi))) return false;
    int32_t x = xdpi_, y = ydpi_;
    const bool ok = Ikdllprocs::IKGetDpi(ImgHandle, &x, &y) != 0;
    takeEngineStatus();
    if (ok) xdpi_ = x, ydpi_ = y;
    return ok;
}

bool TVIkCommon::SetDpi() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKSetDpi))) return false;
    const bool ok = Ikdllprocs::IKSetDpi(ImgHandle, xdpi_, ydpi_) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::GetPalette(uint16_t* rgb, int rgbHigh, uint16_t* info, int infoHigh) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetPalette))) return false;
    const bool ok = Ikdllprocs::IKGetPalette(ImgHandle, rgb, rgbHigh, info, infoHigh) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::SetPalette(const uint16_t* rgb, int rgbHigh, const uint16_t* info, int infoHigh) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKSetPalette))) return false;
    const bool ok = Ikdllprocs::IKSetPalette(ImgHandle, rgb, rgbHigh, info, infoHigh) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::GetOneBitPalCount(int32_t& zeros, int32_t& ones) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetOneBitPalCount))) return false;
    const bool ok = Ikdllprocs::IKGetOneBitPalCount(ImgHandle, &zeros, &ones) != 0;
    takeEngineStatus();
    return ok;
}

int TVIkCommon::GetSystemPalette() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetSystemPalette))) return -1;
    const int v = Ikdllprocs::IKGetSystemPalette();
    takeEngineStatus();
    return v;
}

uint32_t TVIkCommon::GetMemorySize() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetMemorySize))) return 0;
    const uint32_t v = Ikdllprocs::IKGetMemorySize(ImgHandle);
    takeEngineStatus();
    return v;
}

bool TVIkCommon::SetToClipBrd() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKSetToClipBrd))) return false;
    const bool ok = Ikdllprocs::IKSetToClipBrd(Ikutils::windowOf(parent()), ImgHandle, 0, 0, 0, 0) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::GetFromClipBrd() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKGetFromClipBrd))) return false;
    const IKHANDLE h = Ikdllprocs::IKGetFromClipBrd(Ikutils::windowOf(parent()), 0, 0, 0, 0);
    takeEngineStatus();
    if (!h) return false;
    ImgHandle = h;
    return true;
}

int TVIkCommon::ClearClipBrd() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKClearClipBrd))) return 0;
    const int v = Ikdllprocs::IKClearClipBrd(Ikutils::windowOf(parent()));
    takeEngineStatus();
    return v;
}

bool TVIkCommon::IsClipBrdData() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKIsClipBrdData))) return false;
    const bool ok = Ikdllprocs::IKIsClipBrdData(Ikutils::windowOf(parent())) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::CreateVectImage(int a, int b, int c, int d) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKCreateVectImage))) return false;
    const IKHANDLE h = Ikdllprocs::IKCreateVectImage(a, b, c, d);
    takeEngineStatus();
    if (!h) return false;
    ImgHandle = h;
    return true;
}

bool TVIkCommon::CreateVectImageEx(TVIkCreateVectImage kind, int a, int b, int c, int d) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKCreateVectImageEx))) return false;
    const IKHANDLE h = Ikdllprocs::IKCreateVectImageEx(kind, a, b, c, d);
    takeEngineStatus();
    if (!h) return false;
    ImgHandle = h;
    return true;
}

bool TVIkCommon::DrawVectObject(IKDC dc, int a, int b, int c, int d, double scaleX, double scaleY, bool flag) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKDrawVectObject))) return false;
    const bool ok = Ikdllprocs::IKDrawVectObject(dc, ImgHandle, a, b, c, d, scaleX, scaleY, flag ? -1 : 0) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkCommon::VectToDib(IKHANDLE vector, int width, int height, int c1, int c2, int c3) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKVectToDib))) return false;
    const IKHANDLE h = Ikdllprocs::IKVectToDib(vector, width, height, static_cast<uint8_t>(c1), static_cast<uint8_t>(c2),
                                   static_cast<uint8_t>(c3));
    takeEngineStatus();
    if (!h) return false;
    ImgHandle = h;
    return true;
}

QImage TVIkCommon::GetPicture() {
    if (!Ikdllprocs::IKGetImageType || !Ikdllprocs::IKBitmapFromDib || !Ikdllprocs::IKLockImage || !Ikdllprocs::IKUnlockImage || !Ikdllprocs::IKDeleteBitmapObject)
        return picture_;
    if (ImgHandle == 0) return picture_;
    IKImageInfo info{};
    if (!Ikdllprocs::IKGetImageType(ImgHandle, &info) || (info.kind & 0xFF) != vikRasterImage) return picture_;
    uint32_t size = 0;
    if (!Ikdllprocs::IKLockImage(ImgHandle, &size)) return picture_;
    const IKHANDLE bitmap = Ikdllprocs::IKBitmapFromDib(ImgHandle);
    if (bitmap) {
        uint32_t bsize = 0;
        if (const void* bits = Ikdllprocs::IKLockImage(bitmap, &bsize)) {
            const QImage img = Ikutils::dibToQImage(static_cast<const uint8_t*>(bits), bsize);
            if (!img.isNull()) picture_ = img;
            Ikdllprocs::IKUnlockImage(bitmap);
        }
        Ikdllprocs::IKDeleteBitmapObject(bitmap);
    }
    Ikdllprocs::IKUnlockImage(ImgHandle);
    return picture_;
}

bool TVIkCommon::emptyForPicture() {
    if (!Ikdllprocs::IKDibFromBitmap || !Ikdllprocs::IKFreeMemory) return false;
    if (ImgHandle) Ikdllprocs::IKFreeMemory(ImgHandle);
    ImgHandle = 0;
    picture_ = QImage();
    return true;
}

void TVIkCommon::SetPicture(const QImage& picture) {
    if (!emptyForPicture()) return;
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) return;
    if (!Ikdllprocs::IKCreateBitmapObject || !Ikdllprocs::IKDeleteBitmapObject) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return;
    }
    // The picture becomes a bitmap object first, then a DIB, as a window-system bitmap
    // would; a picture the engine cannot take leaves the component empty.
    const std::vector<uint8_t> dib = Ikutils::qimageToDib(picture);
    if (dib.empty()) return;
    const IKHANDLE bitmap = Ikdllprocs::IKCreateBitmapObject(dib.data(), static_cast<uint32_t>(dib.size()));
    if (!bitmap) {
        takeEngineStatus();
        return;
    }
    ErrorStatus = 0;
    ImgHandle = Ikdllprocs::IKDibFromBitmap(bitmap, 0);
    takeEngineStatus();
    Ikdllprocs::IKDeleteBitmapObject(bitmap);
    if (ImgHandle) picture_ = picture.copy();
}

void TVIkCommon::SetPicture(const QPixmap& picture) { SetPicture(picture.toImage()); }

void TVIkCommon::SetPicture(const QPicture&) { emptyForPicture(); }

void TVIkCommon::SetPicture(const QIcon&) { emptyForPicture(); }

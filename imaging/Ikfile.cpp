// TVIkFile: load and save with events around them, dialogs, descriptions, network stubs.
#include "imaging/Ikfile.h"

#include <cstring>

#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/Ikutils.h"


namespace {
IKBOOL fileProgress(int16_t percent);
TVIkProgressSlot g_fileSlot{nullptr, fileProgress};
}  // namespace

TVIkProgressSlot& TVIkFile::progressSlot() { return g_fileSlot; }

// Exposed for the slot above; progressFor is a protected static of the base.
struct TVIkFileProgressAccess : TVIkNoUiControl {
    static IKBOOL call(int16_t percent) { return progressFor(g_fileSlot, percent); }
};

namespace {
IKBOOL fileProgress(int16_t percent) { return TVIkFileProgressAccess::call(percent); }
}  // namespace

TVIkFile::TVIkFile(QObject* owner) : TVIkNoUiControl(owner) { InitializeIK(); }

TVIkFile::~TVIkFile() {
    removeProgress(g_fileSlot);
    TerminateIK();
}

TCExif::~TCExif() {
    if (Thumbnail && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(Thumbnail);
}

bool TCExif::GetExifInfo() {
    if (Thumbnail && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(Thumbnail);
    Thumbnail = 0;
    if (!Ikdllprocs::IKJpegExifInfo) {
        owner_->ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    // The engine's record: texts of 64 bytes (maker, model, date), size, thumbnail.
    struct {
        char make[64], model[64], dateTime[64];
        int32_t width, height;
        IKHANDLE thumbnail;
    } record{};
    const QByteArray name = owner_->FileName().toLocal8Bit();
    const bool ok = Ikdllprocs::IKJpegExifInfo(name.constData(), &record) != 0;
    owner_->ErrorStatus = Ikdllprocs::IKGetErrorStatus ? Ikdllprocs::IKGetErrorStatus() : uint16_t{IK_ERR_ENTRY_MISSING};
    if (!ok) return false;
    record.make[63] = record.model[63] = record.dateTime[63] = 0;
    Make = QString::fromLocal8Bit(record.make);
    Model = QString::fromLocal8Bit(record.model);
    DateTime = QString::fromLocal8Bit(record.dateTime);
    Width = record.width, Height = record.height;
    Thumbnail = record.thumbnail;
    return true;
}

bool TVIkFile::LoadFile(TVIkLoadFile kind) {
    ImgHandle = 0;  // not freed: the previous image belongs to whoever took it
    if (!Ikdllprocs::IKFileLoad) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    if (OnStartLoad) OnStartLoad(this, fileName_);
    const IKProgressProc cb = installProgress(g_fileSlot);
    const QByteArray name = fileName_.toLocal8Bit(), c = caption8(), m = message8(), b = button8();
    const char* f = name.constData();
    IKHANDLE h = 0;
    bool called = true;
    auto run = [&](auto entry, auto&&... args) {
        if (!entry) called = false;
        else h = entry(f, args..., cb, c.constData(), m.constData(), b.constData());
    };
    switch (kind) {
        case vikLoad: run(Ikdllprocs::IKFileLoad, ExtendedMode ? 32767 : loadPage_, vectorWidth_, vectorHeight_); break;
        case vikLoadBMP: run(Ikdllprocs::IKBmpFileLoad); break;
        case vikLoadJPEG: run(Ikdllprocs::IKJpegFileLoad); break;
        case vikLoadGIF: run(Ikdllprocs::IKGifFileLoad); break;
        case vikLoadPCX: run(Ikdllprocs::IKPcxFileLoad); break;
        case vikLoadTIFF: run(Ikdllprocs::IKTiffFileLoad, static_cast<int16_t>(loadPage_)); break;
        case vikLoadFPX: run(Ikdllprocs::IKFpxFileLoad, static_cast<int16_t>(loadPage_)); break;
        case vikLoadPNG: run(Ikdllprocs::IKPngFileLoadEx, ExtendedMode ? 2 : 1); break;
        case vikLoadWMF: run(Ikdllprocs::IKWmfFileLoad, vectorWidth_, vectorHeight_); break;
        case vikLoadEMF: run(Ikdllprocs::IKEmfFileLoad, vectorWidth_, vectorHeight_); break;
        case vikLoadDXF: run(Ikdllprocs::IKDxfFileLoad, vectorWidth_, vectorHeight_); break;
        default: called = false; break;
    }
    // A missing entry reports 14 rather than whatever the thread's last engine call left.
    if (called) takeEngineStatus();
    else ErrorStatus = IK_ERR_ENTRY_MISSING;
    removeProgress(g_fileSlot);
    ImgHandle = h;
    if (OnEndLoad) OnEndLoad(this, fileName_);
    return h != 0;
}

bool TVIkFile::SaveFile(TVIkSaveFile kind) {
    if (!Ikdllprocs::IKBmpFileSave) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    if (OnStartSave) OnStartSave(this, fileName_);
    const IKProgressProc cb = installProgress(g_fileSlot);
    const QByteArray name = fileName_.toLocal8Bit(), comment = Comment.toLocal8Bit();
    const QByteArray c = caption8(), m = message8(), b = button8();
    const char* f = name.constData();
    IKBOOL ok = 0;
    bool called = true;
    auto run = [&](auto entry, auto&&... args) {
        if (!entry) called = false;
        else ok = entry(f, ImgHandle, args..., cb, c.constData(), m.constData(), b.constData());
    };
    auto flag = [](bool v) -> IKBOOL { return v ? -1 : 0; };
    const auto r = static_cast<uint8_t>(palRed_), g = static_cast<uint8_t>(palGreen_),
               bl = static_cast<uint8_t>(palBlue_);
    switch (kind) {
        case vikSaveBMP: run(Ikdllprocs::IKBmpFileSave, IKBOOL{0}); break;
        case vikSaveBMPRLE: run(Ikdllprocs::IKBmpFileSave, IKBOOL{-1}); break;
        case vikSaveJPEG:
        case vikSaveJPEGProgress:
            run(Ikdllprocs::IKJpegFileSave, static_cast<int16_t>(kind == vikSaveJPEGProgress ? 1 : 0),
                static_cast<int16_t>(jpegQuality_), static_cast<int32_t>(JpegSubsamp), comment.constData());
            break;
        case vikSaveGIF:
            run(Ikdllprocs::IKGifFileSave, flag(Interlace), flag(Transparent), r, g, bl, flag(GifAnime),
                static_cast<int16_t>(gifAnimeDelay_), comment.constData());
            break;
        case vikSaveTIFFNoncompressed: case vikSaveTIFFCcittrle: case vikSaveTIFFGroup3_1D:
        case vikSaveTIFFGroup3_2D: case vikSaveTIFFGroup4: case vikSaveTIFFPackbits: case vikSaveTIFFLZW:
            run(Ikdllprocs::IKTiffFileSave, static_cast<int16_t>(kind - vikSaveTIFFNoncompressed),
                static_cast<int32_t>(TiffColorSpace), flag(TiffAppend), comment.constData(), flag(TiffSaveOneStrip));
            break;
        case vikSavePNG:
            run(Ikdllprocs::IKPngFileSaveEx, flag(Interlace), flag(Transparent), r, g, bl, flag(ExtendedMode), comment.constData());
            break;
        case vikSaveFPXNoncompressed: run(Ikdllprocs::IKFpxFileSave, int16_t{0}, int16_t{0}, comment.constData()); break;
        case vikSaveFPXSingleColor: run(Ikdllprocs::IKFpxFileSave, int16_t{1}, int16_t{0}, comment.constData()); break;
        case vikSaveFPXJpeg:
            run(Ikdllprocs::IKFpxFileSave, int16_t{2}, static_cast<int16_t>(jpegQuality_), comment.constData());
            break;
        case vikSavePCX: run(Ikdllprocs::IKPcxFileSave); break;
        case vikSaveWMF: run(Ikdllprocs::IKWmfFileSave); break;
        case vikSaveEMF: run(Ikdllprocs::IKEmfFileSave); break;
        case vikSaveDXF: run(Ikdllprocs::IKDxfFileSave); break;
        default: called = false; break;
    }
    if (called) takeEngineStatus();
    else ErrorStatus = IK_ERR_ENTRY_MISSING;
    removeProgress(g_fileSlot);
    if (OnEndSave) OnEndSave(this, fileName_);
    return ok != 0;
}

bool TVIkFile::OpenFileDlg() {
    if (!Ikdllprocs::IKOpenFileDlg) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    char buffer[261] = {};
    const QByteArray name = fileName_.toLocal8Bit(), path = filePath_.toLocal8Bit(), ext = fileExt_.toLocal8Bit();
    std::strncpy(buffer, name.constData(), 260);
    const bool ok = Ikdllprocs::IKOpenFileDlg(Ikutils::windowOf(parent()), buffer, path.constData(), ext.constData(),
                                  Preview ? -1 : 0) != 0;
    takeEngineStatus();
    if (ok) fileName_ = QString::fromLocal8Bit(buffer);
    return ok;
}

bool TVIkFile::SaveFileDlg() {
    if (!Ikdllprocs::IKSaveFileDlgEx) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    char buffer[261] = {};
    const QByteArray name = fileName_.toLocal8Bit(), path = filePath_.toLocal8Bit(), ext = fileExt_.toLocal8Bit();
    std::strncpy(buffer, name.constData(), 260);
    int16_t type = SaveType;
    const bool ok = Ikdllprocs::IKSaveFileDlgEx(Ikutils::windowOf(parent()), buffer, path.constData(), ext.constData(),
                                    Preview ? -1 : 0, &type) != 0;
    takeEngineStatus();
    if (ok) {
        fileName_ = QString::fromLocal8Bit(buffer);
        SaveType = type;
    }
    return ok;
}

bool TVIkFile::GetImagefileType() {
    if (!Ikdllprocs::IKFileType) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    const QByteArray name = fileName_.toLocal8Bit();
    IKFileInfo info{};
    const bool ok = Ikdllprocs::IKFileType(name.constData(), static_cast<int16_t>(loadPage_), &info) != 0;
    takeEngineStatus();
    FileInfo = info;
    if (ok) {
        FileInfo.comment[sizeof FileInfo.comment - 1] = 0;
        Comment = QString::fromLocal8Bit(FileInfo.comment);
    }
    return ok;
}

bool TVIkFile::netCall(int which, const QStringList& texts, int port) {
    for (const QString& t : texts)
        if (!fits(t)) {
            ErrorStatus = IK_ERR_ARGUMENT;
            return false;
        }
    QList<QByteArray> t8;
    for (const QString& t : texts) t8.push_back(t.toLocal8Bit());
    const QByteArray name = fileName_.toLocal8Bit(), c = caption8(), m = message8(), b = button8();
    const void* entry = which == 0 ? reinterpret_cast<const void*>(Ikdllprocs::IKFTPGetFile)
                        : which == 1 ? reinterpret_cast<const void*>(Ikdllprocs::IKFTPPutFile)
                        : which == 2 ? reinterpret_cast<const void*>(Ikdllprocs::IKHTTPGetFile)
                        : which == 3 ? reinterpret_cast<const void*>(Ikdllprocs::IKHTTPPutFile)
                        : which == 4 ? reinterpret_cast<const void*>(Ikdllprocs::IKFTPDeleteFile)
                                     : reinterpret_cast<const void*>(Ikdllprocs::IKFTPRenameFile);
    if (!entry) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    const IKProgressProc cb = installProgress(g_fileSlot);
    IKBOOL ok = 0;
    const char* f = name.constData();
    switch (which) {
        case 0: ok = Ikdllprocs::IKFTPGetFile(t8[0], t8[1], t8[2], t8[3], port, f, cb, c, m, b); break;
        case 1: ok = Ikdllprocs::IKFTPPutFile(t8[0], t8[1], t8[2], t8[3], port, f, cb, c, m, b); break;
        case 2: ok = Ikdllprocs::IKHTTPGetFile(t8[0], t8[1], t8[2], t8[3], port, f, cb, c, m, b); break;
        case 3: ok = Ikdllprocs::IKHTTPPutFile(t8[0], t8[1], t8[2], t8[3], port, f, cb, c, m, b); break;
        case 4: ok = Ikdllprocs::IKFTPDeleteFile(t8[0], t8[1], t8[2], t8[3], f, cb, c, m, b); break;
        default: ok = Ikdllprocs::IKFTPRenameFile(t8[0], t8[1], t8[2], t8[3], t8[4], f, cb, c, m, b); break;
    }
    takeEngineStatus();
    removeProgress(g_fileSlot);
    return ok != 0;
}

bool TVIkFile::FTPGetFile(const QString& h, const QString& u, const QString& p, const QString& r, int port) {
    return netCall(0, {h, u, p, r}, port);
}
bool TVIkFile::FTPPutFile(const QString& h, const QString& u, const QString& p, const QString& r, int port) {
    return netCall(1, {h, u, p, r}, port);
}
bool TVIkFile::HTTPGetFile(const QString& h, const QString& u, const QString& p, const QString& r, int port) {
    return netCall(2, {h, u, p, r}, port);
}
bool TVIkFile::HTTPPutFile(const QString& h, const QString& u, const QString& p, const QString& r, int port) {
    return netCall(3, {h, u, p, r}, port);
}
bool TVIkFile::FTPDeleteFile(const QString& h, const QString& u, const QString& p, const QString& r) {
    return netCall(4, {h, u, p, r}, 0);
}
bool TVIkFile::FTPRenameFile(const QString& h, const QString& u, const QString& p, const QString& r,
                             const QString& n) {
    return netCall(5, {h, u, p, r, n}, 0);
}

// libIk6File entries: loading, saving, file descriptions and the file dialogs.
#include <cstring>
#include <string>
#include <vector>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/file/file_filters.h"
#include "imaging/engine/file/replacement_file.h"
#include "imaging/engine/ik_api.h"

using namespace q47::ik;

namespace {

constexpr size_t kMaxPath = 260;
constexpr int kDefaultJpegQuality = 75;

bool pathOk(const char* file) { return file && *file && std::strlen(file) < kMaxPath; }

// Reads and decodes one file; `expected` 0 takes whatever the content says.
IKHANDLE load(const char* file, int expected, int page, IKProgressProc progress,
              FileDetails* details = nullptr) {
    if (!pathOk(file)) return fail<IKHANDLE>(IK_ERR_ARGUMENT);
    std::vector<uint8_t> bytes;
    if (const uint16_t st = readWholeFile(file, &bytes)) return fail<IKHANDLE>(st);
    const int format = detectFormat(bytes.data(), bytes.size());
    if (expected && format != expected) return fail<IKHANDLE>(IK_ERR_FILE_FORMAT);
    ProgressSink sink(progress);
    DibImage img;
    uint16_t st;
    switch (format) {
        case IK_FMT_BMP: st = decodeBmp(bytes.data(), bytes.size(), &img, details, &sink); break;
        case IK_FMT_JPEG: st = decodeJpeg(bytes.data(), bytes.size(), &img, details, &sink); break;
        case IK_FMT_PNG: st = decodePng(bytes.data(), bytes.size(), &img, details, &sink); break;
        case IK_FMT_TIFF: st = decodeTiff(bytes.data(), bytes.size(), page, &img, details, &sink); break;
        case IK_FMT_GIF: st = decodeGif(bytes.data(), bytes.size(), &img, details, &sink); break;
        case IK_FMT_PCX: st = decodePcx(bytes.data(), bytes.size(), &img, details, &sink); break;
        case IK_FMT_FPX: st = IK_ERR_FLASHPIX; break;
        case IK_FMT_WMF: case IK_FMT_EMF: case IK_FMT_DXF: st = IK_ERR_VECTOR; break;
        default: st = IK_ERR_UNKNOWN_FORMAT; break;
    }
    if (details) {
        details->format = format;
        if (details->fileSize == 0) details->fileSize = bytes.size();
    }
    if (st) return fail<IKHANDLE>(st);
    return addRaster(std::move(img));
}

using Encoder = uint16_t (*)(const std::string&, const DibImage&, const SaveOptions&, ProgressSink*);

// Every writer goes through a temporary file: a save that fails part-way (full disk,
// write error, cancel) leaves the file it was to replace as it was, and nothing else.
IKBOOL save(const char* file, IKHANDLE image, const SaveOptions& o, IKProgressProc progress, Encoder enc) {
    if (!pathOk(file)) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    ObjectPtr obj = findRaster(image);
    if (!obj) return 0;
    ReplacementFile out(file, o.append);
    if (out.status()) return fail<IKBOOL>(out.status());
    ProgressSink sink(progress);
    uint16_t st = enc(out.path(), obj->image, o, &sink);
    if (!st) st = out.commit();
    return st ? fail<IKBOOL>(st) : 1;
}

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

extern "C" {

IKBOOL IKOpenFileDlg(IKWINDOW window, char* name, const char* folder, const char* extensions,
                     IKBOOL preview) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        int16_t type = 0;
        return runFileDialog(window, false, name, folder, extensions, preview, &type);
    });
}

IKBOOL IKSaveFileDlgEx(IKWINDOW window, char* name, const char* folder, const char* extensions,
                       IKBOOL preview, int16_t* saveType) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        return runFileDialog(window, true, name, folder, extensions, preview, saveType);
    });
}

IKBOOL IKFileType(const char* file, int16_t page, IKFileInfo* info) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (!info) return fail<IKBOOL>(IK_ERR_ARGUMENT);
        std::memset(info, 0, sizeof *info);
        FileDetails d;
        const IKHANDLE h = load(file, 0, page, nullptr, &d);
        const uint16_t st = status();
        info->format = static_cast<uint16_t>(d.format);
        if (!h) return fail<IKBOOL>(st);
        ObjectTable::instance().remove(h);
        info->bitCount = static_cast<uint16_t>(d.bitCount);
        info->pages = static_cast<uint16_t>(d.pages);
        info->width = d.width;
        info->height = d.height;
        info->xDpi = d.xDpi;
        info->yDpi = d.yDpi;
        info->compression = static_cast<uint16_t>(d.compression);
        info->interlace = d.interlaced ? 1 : 0;
        info->paletteSize = static_cast<uint16_t>(d.bitCount <= 8 ? 1 << d.bitCount : 0);
        info->fileSize = static_cast<uint32_t>(d.fileSize);
        std::strncpy(info->comment, d.comment.c_str(), sizeof info->comment - 1);
        setStatus(IK_OK);
        return 1;
    });
}

IKHANDLE IKFileLoad(const char* file, int32_t page, int32_t, int32_t, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, 0, page, progress); });
}
IKHANDLE IKBmpFileLoad(const char* file, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, IK_FMT_BMP, 0, progress); });
}
IKHANDLE IKJpegFileLoad(const char* file, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, IK_FMT_JPEG, 0, progress); });
}
IKHANDLE IKGifFileLoad(const char* file, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, IK_FMT_GIF, 0, progress); });
}
IKHANDLE IKPcxFileLoad(const char* file, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, IK_FMT_PCX, 0, progress); });
}
IKHANDLE IKTiffFileLoad(const char* file, int16_t page, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, IK_FMT_TIFF, page, progress); });
}
IKHANDLE IKPngFileLoadEx(const char* file, int32_t, IK_PROGRESS_PARAMS) {
    return guarded<IKHANDLE>(0, [&] { return load(file, IK_FMT_PNG, 0, progress); });
}
IKHANDLE IKFpxFileLoad(const char*, int16_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_FLASHPIX); }
IKHANDLE IKWmfFileLoad(const char*, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_VECTOR); }
IKHANDLE IKEmfFileLoad(const char*, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_VECTOR); }
IKHANDLE IKDxfFileLoad(const char*, int32_t, int32_t, IK_PROGRESS_PARAMS) { return fail<IKHANDLE>(IK_ERR_VECTOR); }

IKBOOL IKBmpFileSave(const char* file, IKHANDLE image, IKBOOL rle, IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&] {
        SaveOptions o;
        o.rle = rle != 0;
        return save(file, image, o, progress, encodeBmp);
    });
}

IKBOOL IKJpegFileSave(const char* file, IKHANDLE image, int16_t progressive, int16_t quality,
                      int32_t subsampling, const char* comment, IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (subsampling < 0 || subsampling > 2 || quality < 0 || quality > 100)
            return fail<IKBOOL>(IK_ERR_ARGUMENT);
        SaveOptions o;
        o.progressive = progressive != 0;
        // 0 is the file component's default, a quality nobody chose: the usual 75 rather
        // than the coarsest JPEG there is. 1 still asks for the coarsest.
        o.quality = quality == 0 ? kDefaultJpegQuality : quality;
        o.subsampling = subsampling;
        o.comment = text(comment);
        return save(file, image, o, progress, encodeJpeg);
    });
}

IKBOOL IKGifFileSave(const char* file, IKHANDLE image, IKBOOL interlace, IKBOOL transparent,
                     uint8_t red, uint8_t green, uint8_t blue, IKBOOL animation, int16_t delay,
                     const char* comment, IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&] {
        SaveOptions o;
        o.interlace = interlace != 0;
        o.transparent = transparent != 0;
        o.red = red, o.green = green, o.blue = blue;
        o.animation = animation != 0;
        o.delay = delay;
        o.comment = text(comment);
        return save(file, image, o, progress, encodeGif);
    });
}

IKBOOL IKTiffFileSave(const char* file, IKHANDLE image, int16_t compression, int32_t colorSpace,
                      IKBOOL append, const char* comment, IKBOOL oneStrip, IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&]() -> IKBOOL {
        if (compression < 0 || compression > 6 || colorSpace < 0 || colorSpace > 1)
            return fail<IKBOOL>(IK_ERR_ARGUMENT);
        SaveOptions o;
        o.tiffCompression = compression;
        o.cmyk = colorSpace == 1;
        o.append = append != 0;
        o.comment = text(comment);
        o.oneStrip = oneStrip != 0;
        return save(file, image, o, progress, encodeTiff);
    });
}

IKBOOL IKPngFileSaveEx(const char* file, IKHANDLE image, IKBOOL interlace, IKBOOL transparent,
                       uint8_t red, uint8_t green, uint8_t blue, IKBOOL, const char* comment,
                       IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&] {
        SaveOptions o;
        o.interlace = interlace != 0;
        o.transparent = transparent != 0;
        o.red = red, o.green = green, o.blue = blue;
        o.comment = text(comment);
        return save(file, image, o, progress, encodePng);
    });
}

IKBOOL IKPcxFileSave(const char* file, IKHANDLE image, IK_PROGRESS_PARAMS) {
    return guarded<IKBOOL>(0, [&] {
        return save(file, image, SaveOptions{}, progress,
                    [](const std::string& p, const DibImage& i, const SaveOptions&, ProgressSink* s) {
                        return encodePcx(p, i, s);
                    });
    });
}

IKBOOL IKFpxFileSave(const char*, IKHANDLE, int16_t, int16_t, const char*, IK_PROGRESS_PARAMS) {
    return fail<IKBOOL>(IK_ERR_FLASHPIX);
}
IKBOOL IKWmfFileSave(const char*, IKHANDLE, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_VECTOR); }
IKBOOL IKEmfFileSave(const char*, IKHANDLE, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_VECTOR); }
IKBOOL IKDxfFileSave(const char*, IKHANDLE, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_VECTOR); }
IKBOOL IKJpegExifInfo(const char*, void*) { return fail<IKBOOL>(IK_ERR_EXIF); }
IKBOOL IKFTPGetFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_NETWORK); }
IKBOOL IKFTPPutFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_NETWORK); }
IKBOOL IKHTTPGetFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_NETWORK); }
IKBOOL IKHTTPPutFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS) { return fail<IKBOOL>(IK_ERR_NETWORK); }
IKBOOL IKFTPDeleteFile(const char*, const char*, const char*, const char*, const char*, IK_PROGRESS_PARAMS) {
    return fail<IKBOOL>(IK_ERR_NETWORK);
}
IKBOOL IKFTPRenameFile(const char*, const char*, const char*, const char*, const char*, const char*,
                       IK_PROGRESS_PARAMS) {
    return fail<IKBOOL>(IK_ERR_NETWORK);
}

}  // extern "C"

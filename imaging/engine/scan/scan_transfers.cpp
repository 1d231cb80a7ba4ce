// Native, memory and file transfers from a source in TWAIN state 6.
#include "imaging/engine/scan/scan_transfers.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/scan/twain_manager.h"
#include "platform/dib.h"
#include "twain/strip_rows.h"

namespace q47::ik::scan {

namespace {

// Bytes of a packed DIB judged from its header alone (a native transfer hands over a
// handle without a length); 0 when the header is not one we can trust.
size_t packedDibSize(const dib::BitmapInfoHeader& h) {
    if (h.biSize < 40 || h.biSize > 124 || h.biCompression != 0 || h.biPlanes != 1) return 0;
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
    const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (h.biWidth <= 0 || h.biWidth > kMaxSide || height == 0 || height > kMaxSide) return 0;
    const size_t palette = dib::paletteEntries(h);
    if (palette > 256) return 0;
    const size_t pixels = dib::rowStride(h.biWidth, bits) * static_cast<size_t>(height);
    if (pixels > kMaxPixelBytes) return 0;
    return h.biSize + palette * 4 + pixels;
}

// A native transfer's memory comes without a length: the source sized it for the image
// it announced in DAT_IMAGEINFO. A header that disagrees with that announcement (width,
// height or depth, where announced) could send the copy past the memory's end, so it is
// refused before a byte is read.
bool matchesAnnouncement(const dib::BitmapInfoHeader& h, const TW_IMAGEINFO& info) {
    const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (info.ImageWidth > 0 && h.biWidth != info.ImageWidth) return false;
    if (info.ImageLength > 0 && height != info.ImageLength) return false;
    return info.BitsPerPixel <= 0 || h.biBitCount == info.BitsPerPixel;
}

void takeResolution(const TW_IMAGEINFO& info, DibImage* image) {
    const int x = static_cast<int>(fromFix32(info.XResolution));
    const int y = static_cast<int>(fromFix32(info.YResolution));
    if (x > 0 && y > 0 && image->xDpi() == 0) image->setDpi(x, y);
}

}  // namespace

TransferEnd transferNative(const SourceLink& link, const TW_IMAGEINFO& info, DibImage* out,
                           ProgressSink* progress) {
    TwainManager& dsm = TwainManager::instance();
    if (progress && !progress->step(0, 100)) return TransferEnd::Cancelled;
    TW_HANDLE handle = nullptr;
    const TW_UINT16 rc = link.call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    if (rc == TWRC_CANCEL) {
        dsm.release(handle);
        return TransferEnd::Cancelled;
    }
    if (rc != TWRC_XFERDONE || !handle) return TransferEnd::Failed;
    bool ok = false;
    if (auto* bytes = static_cast<const uint8_t*>(dsm.lock(handle))) {
        dib::BitmapInfoHeader header;
        std::memcpy(&header, bytes, sizeof header);
        if (const size_t size = packedDibSize(header); size && matchesAnnouncement(header, info))
            ok = DibImage::fromPacked(bytes, size, out);
        dsm.unlock(handle);
    }
    dsm.release(handle);  // after a native transfer the memory is ours to free
    if (!ok) return TransferEnd::Failed;
    takeResolution(info, out);
    if (progress && !progress->step(100, 100)) return TransferEnd::Cancelled;
    return TransferEnd::Done;
}

TransferEnd transferMemory(const SourceLink& link, const TW_IMAGEINFO& info, DibImage* out,
                           ProgressSink* progress) {
    const int bits = info.BitsPerPixel;
    const int width = info.ImageWidth, height = info.ImageLength;
    if ((bits != 1 && bits != 4 && bits != 8 && bits != 24) || width <= 0 || height <= 0 ||
        width > kMaxSide || height > kMaxSide || info.Compression != TWCP_NONE)
        return TransferEnd::Failed;
    DibImage image = DibImage::create(width, height, bits);
    if (image.empty()) return TransferEnd::Failed;
    if (bits <= 8) {
        image.setGreyPalette();
        if (info.PixelType == TWPT_PALETTE) {
            TW_PALETTE8 colours{};
            if (link.call(DG_IMAGE, DAT_PALETTE8, MSG_GET, &colours) != TWRC_SUCCESS)
                return TransferEnd::Failed;
            RgbQuad* palette = image.palette();
            for (int i = 0; i < std::min<int>(colours.NumColors, image.paletteCount()); ++i)
                palette[i] = {colours.Colors[i].Channel3, colours.Colors[i].Channel2,
                              colours.Colors[i].Channel1, 0};
        }
    }
    TW_SETUPMEMXFER setup{};
    if (link.call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS)
        return TransferEnd::Failed;
    TW_UINT32 size = setup.Preferred ? setup.Preferred : 65536;
    if (setup.MaxBufSize) size = std::min(size, setup.MaxBufSize);
    size = std::max(size, setup.MinBufSize);
    if (size == 0 || size > (1u << 28)) return TransferEnd::Failed;
    std::vector<uint8_t> buffer(size);

    int rowsDone = 0, emptyStrips = 0;
    if (progress && !progress->step(0, height)) return TransferEnd::Cancelled;
    for (;;) {
        TW_IMAGEMEMXFER strip;
        strip.Compression = TWON_DONTCARE16;
        strip.BytesPerRow = strip.Columns = strip.Rows = TWON_DONTCARE32;
        strip.XOffset = strip.YOffset = strip.BytesWritten = TWON_DONTCARE32;
        strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        strip.Memory.Length = size;
        strip.Memory.TheMem = buffer.data();
        const TW_UINT16 rc = link.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        if (rc == TWRC_CANCEL) return TransferEnd::Cancelled;
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return TransferEnd::Failed;
        // Offsets left as "don't care" mean the strips follow each other.
        const TW_UINT32 x = strip.XOffset == TWON_DONTCARE32 ? 0 : strip.XOffset;
        const TW_UINT32 y = strip.YOffset == TWON_DONTCARE32 ? rowsDone : strip.YOffset;
        const TW_UINT32 columns = strip.Columns == TWON_DONTCARE32 ? width : strip.Columns;
        const TW_UINT32 rows = strip.Rows == TWON_DONTCARE32 ? 0 : strip.Rows;
        const size_t rowBytes = (static_cast<size_t>(columns) * bits + 7) / 8;
        // Everything the source claims is checked against the announced image before a
        // byte is copied: a bad strip fails the transfer, never writes past the picture.
        if (strip.Compression != TWCP_NONE || x > static_cast<TW_UINT32>(width) ||
            columns > static_cast<TW_UINT32>(width) - x || (static_cast<size_t>(x) * bits) % 8 ||
            y > static_cast<TW_UINT32>(height) || rows > static_cast<TW_UINT32>(height) - y ||
            strip.BytesPerRow < rowBytes || static_cast<size_t>(strip.BytesPerRow) * rows > size)
            return TransferEnd::Failed;
        const uint8_t* from = buffer.data();
        for (TW_UINT32 r = 0; r < rows; ++r, from += strip.BytesPerRow) {
            uint8_t* to = image.row(static_cast<int>(y + r)) + static_cast<size_t>(x) * bits / 8;
            q47::twain::copyStripRow(to, from, columns, bits, rowBytes);
        }
        rowsDone = static_cast<int>(std::max<TW_UINT32>(rowsDone, y + rows));
        if (rc == TWRC_XFERDONE) break;
        if (progress && !progress->step(rowsDone, height)) return TransferEnd::Cancelled;
        if (rows == 0 && ++emptyStrips > 16) return TransferEnd::Failed;
    }
    takeResolution(info, &image);
    *out = std::move(image);
    if (progress && !progress->step(height, height)) return TransferEnd::Cancelled;
    return TransferEnd::Done;
}

TransferEnd transferFile(const SourceLink& link, const std::string& folder, bool sourceNaming,
                         DibImage* out, ProgressSink* progress) {
    if (progress && !progress->step(0, 100)) return TransferEnd::Cancelled;
    TW_SETUPFILEXFER setup{};
    std::string ours;
    if (!sourceNaming) {
        std::string dir = folder;
        if (dir.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            dir = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = dir + "/ik6scan-XXXXXX.bmp";
        if (pattern.size() >= sizeof(TW_STR255)) return TransferEnd::Failed;
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemps(name.data(), 4);  // a name no one else holds
        if (fd < 0) return TransferEnd::Failed;
        close(fd);
        ours = name.data();
        std::memcpy(setup.FileName, ours.c_str(), ours.size() + 1);
        setup.Format = TWFF_BMP;
        if (link.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) {
            std::remove(ours.c_str());
            return TransferEnd::Failed;
        }
    } else if (link.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup) != TWRC_SUCCESS) {
        return TransferEnd::Failed;
    }
    setup.FileName[sizeof(TW_STR255) - 1] = '\0';
    const std::string written = setup.FileName;
    const TW_UINT16 rc = link.call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    TransferEnd end = TransferEnd::Failed;
    if (rc == TWRC_CANCEL) {
        end = TransferEnd::Cancelled;
    } else if (rc == TWRC_XFERDONE) {
        std::vector<uint8_t> bytes;
        if (readWholeFile(written, &bytes) == IK_OK) {
            FileDetails details;
            uint16_t status = IK_ERR_UNKNOWN_FORMAT;
            switch (detectFormat(bytes.data(), bytes.size())) {
                case IK_FMT_BMP: status = decodeBmp(bytes.data(), bytes.size(), out, &details, nullptr); break;
                case IK_FMT_PNG: status = decodePng(bytes.data(), bytes.size(), out, &details, nullptr); break;
                case IK_FMT_TIFF: status = decodeTiff(bytes.data(), bytes.size(), 0, out, &details, nullptr); break;
                case IK_FMT_JPEG: status = decodeJpeg(bytes.data(), bytes.size(), out, &details, nullptr); break;
                default: break;
            }
            if (status == IK_OK) end = TransferEnd::Done;
        }
    }
    if (!ours.empty()) std::remove(ours.c_str());
    if (end == TransferEnd::Done && progress && !progress->step(100, 100)) return TransferEnd::Cancelled;
    return end;
}

}  // namespace q47::ik::scan

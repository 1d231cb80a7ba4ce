// Image information, palettes, and the native, memory and file transfers.
#include "twain_source/ds/image_transfers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace q47::twain_source {

namespace {

// The DIB block of the pending image, locked for as long as this object lives.
class LockedDib {
public:
    explicit LockedDib(const PendingImage& pending)
        : pending_(pending), bytes_(pending ? pending.memory()->lock(pending.handle()) : nullptr) {}
    ~LockedDib() {
        if (bytes_) pending_.memory()->unlock(pending_.handle());
    }
    LockedDib(const LockedDib&) = delete;
    LockedDib& operator=(const LockedDib&) = delete;
    uint8_t* bytes() const { return bytes_; }
    uint8_t* pixels() const { return bytes_ + kDibHeaderAndPalette; }

private:
    const PendingImage& pending_;
    uint8_t* bytes_;
};

// The geometry's pixel rows fit in the block that was allocated for them.
bool pixelAreaFits(const ImageBuffer& image) {
    return image.pendingImage.size() >= kDibHeaderAndPalette + image.geometry.pixelBytes();
}

constexpr uint8_t kLevels8[8] = {0x00, 0x20, 0x40, 0x60, 0x9F, 0xBF, 0xDF, 0xFF};
constexpr uint8_t kLevels4[4] = {0x00, 0x40, 0xBF, 0xFF};
constexpr uint8_t kDefaultBlue[4] = {0x00, 0x20, 0x40, 0x60};

void putLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void putLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

void fillImageInfo(const ImageBuffer& image, TW_FIX32 xResolution, TW_FIX32 yResolution,
                   TW_IMAGEINFO* info) {
    info->XResolution = xResolution;
    info->YResolution = yResolution;
    info->ImageWidth = static_cast<TW_INT32>(image.geometry.rowBytes);
    info->ImageLength = static_cast<TW_INT32>(image.geometry.height);
    info->SamplesPerPixel = 1;
    for (TW_INT16& bits : info->BitsPerSample) bits = 8;
    info->BitsPerPixel = 8;
    info->Planar = 0;
    info->PixelType = TWPT_PALETTE;
    info->Compression = TWCP_NONE;
}

void fillPalette8(bool colour, bool defaults, TW_PALETTE8* palette) {
    palette->NumColors = 256;
    palette->PaletteType = TWPA_RGB;
    for (int i = 0; i < 256; ++i) {
        TW_ELEMENT8& e = palette->Colors[i];
        e.Index = uint8_t(i);
        if (!colour) {
            e.Channel1 = e.Channel2 = e.Channel3 = uint8_t(i);
            continue;
        }
        e.Channel1 = kLevels8[(i >> 5) & 7];
        e.Channel2 = kLevels8[(i >> 2) & 7];
        e.Channel3 = defaults ? kDefaultBlue[i & 3] : kLevels4[i & 3];
    }
    if (colour) {  // black and white stay pure in both palettes
        palette->Colors[0].Channel1 = palette->Colors[0].Channel2 = palette->Colors[0].Channel3 = 0;
        palette->Colors[255].Channel1 = palette->Colors[255].Channel2 =
            palette->Colors[255].Channel3 = 255;
    }
}

Answer transferNative(ImageBuffer& image, TW_HANDLE* handle) {
    if (!image.pendingImage || !pixelAreaFits(image)) return failure(TWCC_SEQERROR);
    {
        LockedDib dib(image.pendingImage);
        if (!dib.bytes()) return failure(TWCC_LOWMEMORY);
        const size_t rowBytes = image.geometry.rowBytes;
        const size_t height = image.geometry.height;
        std::vector<uint8_t> spare(rowBytes);
        for (size_t r = 0; r < height / 2; ++r) {
            uint8_t* a = dib.pixels() + r * rowBytes;
            uint8_t* b = dib.pixels() + (height - 1 - r) * rowBytes;
            std::memcpy(spare.data(), a, rowBytes);
            std::memcpy(a, b, rowBytes);
            std::memcpy(b, spare.data(), rowBytes);
        }
    }
    *handle = image.pendingImage.handOver();  // the application frees it
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

Answer transferStrip(const ImageBuffer& image, uint32_t* nextRow, TW_IMAGEMEMXFER* strip,
                     const DsmLink& memory) {
    const TW_UINT32 length = strip->Memory.Length;
    const uint32_t rowBytes = image.geometry.rowBytes;
    const uint32_t height = image.geometry.height;
    if (!image.pendingImage || !pixelAreaFits(image) || length < kMinStripBuffer ||
        length > kMaxStripBuffer || rowBytes == 0 || length / rowBytes < 1)
        return failure(TWCC_BADVALUE);
    // A strip position left over from an earlier, taller image starts this one afresh.
    if (*nextRow >= height) *nextRow = 0;

    const uint32_t fit = length / rowBytes;
    const uint32_t rows = std::min(fit, height - *nextRow);
    const TW_UINT32 flags = strip->Memory.Flags;
    void* target = nullptr;
    if (flags & TWMF_POINTER) target = strip->Memory.TheMem;
    else if (flags & TWMF_HANDLE) target = memory.lock(strip->Memory.TheMem);
    // A buffer flag without a buffer is refused rather than written through.
    if ((flags & (TWMF_POINTER | TWMF_HANDLE)) && !target) return failure(TWCC_BADVALUE);

    strip->Compression = TWCP_NONE;
    strip->BytesPerRow = rowBytes;
    strip->Columns = rowBytes;
    strip->Rows = rows;
    strip->XOffset = 0;
    strip->YOffset = *nextRow;
    strip->BytesWritten = rowBytes * rows;
    if (target) {
        LockedDib dib(image.pendingImage);
        if (dib.bytes())
            std::memcpy(target, dib.pixels() + size_t(*nextRow) * rowBytes, size_t(rowBytes) * rows);
        if (!(flags & TWMF_POINTER)) memory.unlock(strip->Memory.TheMem);
    }
    if (*nextRow + fit < height) {
        *nextRow += rows;
        return {};
    }
    *nextRow = 0;
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

Answer transferFile(const ImageBuffer& image, const std::string& path) {
    if (!image.pendingImage || !pixelAreaFits(image)) return failure(TWCC_OPERATIONERROR);
    LockedDib dib(image.pendingImage);
    if (!dib.bytes()) return failure(TWCC_OPERATIONERROR);
    const size_t dibBytes = image.pendingImage.size();
    if (dibBytes + 14 > UINT32_MAX) return failure(TWCC_OPERATIONERROR);

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return failure(TWCC_OPERATIONERROR);
    uint8_t header[14] = {'B', 'M'};
    putLE32(header + 2, uint32_t(dibBytes + 14));
    putLE16(header + 6, 0);
    putLE16(header + 8, 0);
    putLE32(header + 10, kBmpPixelOffset);

    // Header, palette, the pixel rows in swapped order (upright, as the native transfer
    // delivers them; in the DIB's own order the file would show the sheet upside down),
    // then whatever the block holds beyond the pixel rows, unchanged.
    const size_t rowBytes = image.geometry.rowBytes;
    const size_t height = image.geometry.height;
    bool ok = std::fwrite(header, 1, sizeof header, file.get()) == sizeof header &&
              std::fwrite(dib.bytes(), 1, kDibHeaderAndPalette, file.get()) == kDibHeaderAndPalette;
    for (size_t r = 0; ok && r < height; ++r)
        ok = std::fwrite(dib.pixels() + (height - 1 - r) * rowBytes, 1, rowBytes, file.get()) ==
             rowBytes;
    const size_t tail = dibBytes - kDibHeaderAndPalette - rowBytes * height;
    if (ok && tail)
        ok = std::fwrite(dib.pixels() + rowBytes * height, 1, tail, file.get()) == tail;
    FILE* raw = file.release();
    ok = (std::fclose(raw) == 0) && ok;
    if (!ok) {
        std::remove(path.c_str());  // no half-written picture left behind
        return failure(TWCC_OPERATIONERROR);
    }
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

}  // namespace q47::twain_source

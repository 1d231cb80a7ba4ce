// Packed DIBs: geometry checks, building empty ones, and .bmp files in and out.
#include "platform/dib.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/file_bytes.h"

namespace q47::dib {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr size_t kFileHeaderSize = sizeof(BitmapFileHeader);
constexpr size_t kInfoHeaderSize = sizeof(BitmapInfoHeader);

bool knownBitCount(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Information header sizes of the Windows bitmap family that start with the 40-byte
// layout (plain, with masks, with alpha mask, V4, V5).
bool knownHeaderSize(uint32_t n) { return n == 40 || n == 52 || n == 56 || n == 108 || n == 124; }

template <typename T>
T readLe(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // the platform is little-endian, as the format
    return v;
}

bool setError(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

// Where the parts of a DIB lie, computed without overflow; false when the header
// describes no picture we take.
struct Layout {
    size_t headerSize = 0, paletteCount = 0, stride = 0, pixelBytes = 0;
    int width = 0, height = 0;
    bool bottomUp = true;
};

bool layoutOf(const BitmapInfoHeader& h, uint32_t headerSize, Layout* out, std::string* error) {
    if (!knownHeaderSize(headerSize)) return setError(error, "unknown bitmap header size");
    if (h.biPlanes != 1) return setError(error, "bitmap plane count is not 1");
    if (!knownBitCount(h.biBitCount)) return setError(error, "unsupported bits per pixel");
    if (h.biCompression != kBiRgb) return setError(error, "compressed bitmaps are not supported");
    if (h.biWidth <= 0) return setError(error, "bitmap width is not positive");
    if (h.biHeight == 0 || h.biHeight == std::numeric_limits<int32_t>::min())
        return setError(error, "bitmap height is invalid");
    const size_t palette = paletteEntries(h);
    const size_t maxPalette = h.biBitCount <= 8 ? (size_t{1} << h.biBitCount) : 256;
    if (palette > maxPalette) return setError(error, "bitmap colour table is too large");

    Layout l;
    l.headerSize = headerSize;
    l.paletteCount = palette;
    l.width = h.biWidth;
    l.bottomUp = h.biHeight > 0;
    l.height = l.bottomUp ? h.biHeight : -h.biHeight;
    l.stride = rowStride(l.width, h.biBitCount);  // width < 2^31: no overflow in 64 bits
    if (l.stride > std::numeric_limits<size_t>::max() / static_cast<size_t>(l.height))
        return setError(error, "bitmap is too large");
    l.pixelBytes = l.stride * static_cast<size_t>(l.height);
    *out = l;
    return true;
}

}  // namespace

size_t paletteEntries(const BitmapInfoHeader& h) {
    if (h.biClrUsed != 0) return h.biClrUsed;
    if (h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8) return size_t{1} << h.biBitCount;
    return 0;
}

int32_t dpiToPelsPerMeter(int dpi) {
    // Rounded to nearest: 200 dpi is 7874, 96 dpi 3780.
    const int64_t v = (static_cast<int64_t>(dpi) * 10000 + 127) / 254;
    return static_cast<int32_t>(v);
}

bool parse(const uint8_t* data, size_t size, View* out) {
    if (!data || size < kInfoHeaderSize) return false;
    const auto* h = reinterpret_cast<const BitmapInfoHeader*>(data);
    Layout l;
    if (!layoutOf(*h, h->biSize, &l, nullptr)) return false;
    if (l.headerSize > size) return false;
    const size_t room = size - l.headerSize;
    if (l.paletteCount > room / sizeof(RgbQuad)) return false;
    if (l.pixelBytes > room - l.paletteCount * sizeof(RgbQuad)) return false;

    View v;
    v.header = h;
    v.palette = reinterpret_cast<const RgbQuad*>(data + l.headerSize);
    v.paletteCount = l.paletteCount;
    v.pixels = data + l.headerSize + l.paletteCount * sizeof(RgbQuad);
    v.stride = l.stride;
    v.width = l.width;
    v.height = l.height;
    v.bottomUp = l.bottomUp;
    if (out) *out = v;
    return true;
}

std::vector<uint8_t> make(int width, int height, int bitsPerPixel, int paletteCount, int dpi) {
    if (width <= 0 || height == 0 || height == std::numeric_limits<int>::min() ||
        !knownBitCount(bitsPerPixel))
        return {};
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = static_cast<uint16_t>(bitsPerPixel);
    if (paletteCount >= 0) h.biClrUsed = static_cast<uint32_t>(paletteCount);
    h.biXPelsPerMeter = h.biYPelsPerMeter = dpi > 0 ? dpiToPelsPerMeter(dpi) : 0;
    Layout l;
    if (!layoutOf(h, kInfoHeaderSize, &l, nullptr)) return {};
    if (l.pixelBytes > std::numeric_limits<uint32_t>::max()) return {};
    h.biSizeImage = static_cast<uint32_t>(l.pixelBytes);

    std::vector<uint8_t> dib(kInfoHeaderSize + l.paletteCount * sizeof(RgbQuad) + l.pixelBytes, 0);
    std::memcpy(dib.data(), &h, sizeof h);
    return dib;
}

bool writeBmpFile(const std::string& path, const uint8_t* dib, size_t size) {
    View v;
    if (!parse(dib, size, &v)) return false;
    const size_t off = kFileHeaderSize + v.header->biSize + v.paletteCount * sizeof(RgbQuad);
    if (kFileHeaderSize + size > std::numeric_limits<uint32_t>::max()) return false;
    BitmapFileHeader fh;
    fh.bfSize = static_cast<uint32_t>(kFileHeaderSize + size);
    fh.bfOffBits = static_cast<uint32_t>(off);

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(&fh, 1, sizeof fh, f) == sizeof fh;
    ok = ok && std::fwrite(dib, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::remove(path.c_str());  // no half-written picture left behind
    return ok;
}

bool readBmpFile(const std::string& path, std::vector<uint8_t>* dib, std::string* error) {
    std::string bytes;
    if (!readFileBytes(path, &bytes)) return setError(error, "cannot read " + path);
    return bmpBytesToDib(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), dib, error);
}

// The file header's offset says where the pixels start; the colour table sits right
// after the information header. Sizes in the headers (bfSize, biSizeImage) are often
// wrong in files from other programs and are not trusted: the geometry decides.
// Bit-field bitmaps whose masks are the plain layout are taken as uncompressed.
bool bmpBytesToDib(const uint8_t* data, size_t size, std::vector<uint8_t>* dib,
                   std::string* error) {
    if (!data || size < kFileHeaderSize + 4) return setError(error, "file too short for a bitmap");
    if (data[0] != 'B' || data[1] != 'M') return setError(error, "not a bitmap file (no BM)");
    const uint32_t offBits = readLe<uint32_t>(data + 10);
    const uint32_t headerSize = readLe<uint32_t>(data + kFileHeaderSize);
    if (headerSize == 12) return setError(error, "OS/2 bitmaps are not supported");
    if (!knownHeaderSize(headerSize)) return setError(error, "unknown bitmap header size");
    if (size - kFileHeaderSize < headerSize) return setError(error, "bitmap header is cut short");

    BitmapInfoHeader h;
    std::memcpy(&h, data + kFileHeaderSize, sizeof h);
    size_t masksInTable = 0;  // bytes of masks stored after a 40-byte header
    if (h.biCompression == kBiBitfields && (h.biBitCount == 16 || h.biBitCount == 32)) {
        const uint8_t* masks = data + kFileHeaderSize + 40;
        if (headerSize == 40) {
            masksInTable = 12;
            if (size - kFileHeaderSize - 40 < 12) return setError(error, "bitmap masks cut short");
        }
        const uint32_t r = readLe<uint32_t>(masks), g = readLe<uint32_t>(masks + 4),
                       b = readLe<uint32_t>(masks + 8);
        const bool plain = h.biBitCount == 16
                               ? (r == 0x7C00 && g == 0x03E0 && b == 0x001F)
                               : (r == 0xFF0000 && g == 0x00FF00 && b == 0x0000FF);
        if (!plain) return setError(error, "bit-field bitmaps with other masks are not supported");
        h.biCompression = kBiRgb;
    }
    Layout l;
    if (!layoutOf(h, headerSize, &l, error)) return false;

    const size_t paletteAt = kFileHeaderSize + headerSize + masksInTable;
    const size_t paletteBytes = l.paletteCount * sizeof(RgbQuad);
    if (offBits < paletteAt + paletteBytes)
        return setError(error, "bitmap pixel offset overlaps its header or colour table");
    if (offBits > size || l.pixelBytes > size - offBits)
        return setError(error, "bitmap pixel data is cut short");

    h.biSize = static_cast<uint32_t>(kInfoHeaderSize);
    h.biSizeImage = l.pixelBytes <= std::numeric_limits<uint32_t>::max()
                        ? static_cast<uint32_t>(l.pixelBytes)
                        : 0;
    std::vector<uint8_t> out(kInfoHeaderSize + paletteBytes + l.pixelBytes);
    std::memcpy(out.data(), &h, sizeof h);
    std::memcpy(out.data() + kInfoHeaderSize, data + paletteAt, paletteBytes);
    std::memcpy(out.data() + kInfoHeaderSize + paletteBytes, data + offBits, l.pixelBytes);
    if (dib) *dib = std::move(out);
    return true;
}

}  // namespace q47::dib

// BMP files: uncompressed through the platform's DIB helpers, RLE4/RLE8 by our own code.
#include <cstdio>
#include <cstring>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

namespace {

constexpr uint32_t kRle8 = 1, kRle4 = 2;

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }

// Run-length data: runs, end of line, end of picture, jumps and literal spans; anything
// that would write outside the picture or read past the data is a corrupt file.
uint16_t decodeRle(const uint8_t* p, size_t n, bool four, DibImage* img, ProgressSink* progress) {
    const int w = img->width(), h = img->height();
    std::vector<uint8_t> line(static_cast<size_t>(w), 0);
    int x = 0, y = 0;  // y counts rows from the bottom, as the data does
    size_t i = 0;
    auto flush = [&]() {
        packIndices(line.data(), w, four ? 4 : 8, img->row(h - 1 - y));
        std::fill(line.begin(), line.end(), 0);
    };
    while (true) {
        if (i + 2 > n) return IK_ERR_FILE_FORMAT;
        const uint8_t a = p[i], b = p[i + 1];
        i += 2;
        if (a > 0) {  // run of a pixels
            for (int k = 0; k < a; ++k, ++x) {
                if (x >= w) break;  // runs past the row end are clipped, as readers do
                line[x] = four ? ((k & 1) ? (b & 15) : (b >> 4)) : b;
            }
            continue;
        }
        if (b == 0) {  // end of line
            if (y >= h) return IK_ERR_FILE_FORMAT;
            flush();
            x = 0;
            if (++y >= h) return IK_OK;
            if (progress && !progress->step(y, h)) return IK_ERR_CANCELLED;
        } else if (b == 1) {  // end of picture
            if (y < h) flush();
            return IK_OK;
        } else if (b == 2) {  // jump
            if (i + 2 > n) return IK_ERR_FILE_FORMAT;
            const int dx = p[i], dy = p[i + 1];
            i += 2;
            for (int k = 0; k < dy; ++k) {
                flush();
                if (++y >= h) return IK_OK;
            }
            x += dx;
        } else {  // literal span of b pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (b + 1) / 2 : b;
            if (i + bytes > n) return IK_ERR_FILE_FORMAT;
            for (int k = 0; k < b; ++k, ++x) {
                if (x >= w) continue;
                line[x] = four ? ((k & 1) ? (p[i + k / 2] & 15) : (p[i + k / 2] >> 4)) : p[i + k];
            }
            i += bytes + (bytes & 1);
        }
    }
}

// Greedy run-length coding of one row of indices: runs of two or more repeat, other
// stretches of three or more go literal, the rest as runs of one.
void encodeRleRow(const uint8_t* idx, int w, bool four, std::vector<uint8_t>* out) {
    int x = 0;
    auto same = [&](int a, int b) { return idx[a] == idx[b]; };
    while (x < w) {
        int run = 1;
        while (x + run < w && run < 255 && same(x, x + run)) ++run;
        if (run >= 2) {
            out->push_back(static_cast<uint8_t>(run));
            out->push_back(four ? static_cast<uint8_t>((idx[x] << 4) | idx[x]) : idx[x]);
            x += run;
            continue;
        }
        int lit = 1;
        while (x + lit < w && lit < 255 && !(x + lit + 1 < w && same(x + lit, x + lit + 1))) ++lit;
        if (lit < 3) {
            for (int k = 0; k < lit; ++k) {
                out->push_back(1);
                out->push_back(four ? static_cast<uint8_t>(idx[x + k] << 4) : idx[x + k]);
            }
        } else {
            out->push_back(0);
            out->push_back(static_cast<uint8_t>(lit));
            size_t bytes = 0;
            if (four) {
                for (int k = 0; k < lit; k += 2, ++bytes)
                    out->push_back(static_cast<uint8_t>((idx[x + k] << 4) | (k + 1 < lit ? idx[x + k + 1] : 0)));
            } else {
                out->insert(out->end(), idx + x, idx + x + lit);
                bytes = lit;
            }
            if (bytes & 1) out->push_back(0);
        }
        x += lit;
    }
    out->push_back(0);
    out->push_back(0);
}

}  // namespace

uint16_t decodeBmp(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress) {
    if (size < 14 + 40 || data[0] != 'B' || data[1] != 'M') return IK_ERR_FILE_FORMAT;
    const uint32_t headerSize = le32(data + 14);
    BitmapInfoHeader h;
    std::memcpy(&h, data + 14, sizeof h);
    DibImage img;
    if (h.biCompression == kRle8 || h.biCompression == kRle4) {
        const bool four = h.biCompression == kRle4;
        if (h.biBitCount != (four ? 4 : 8) || h.biHeight <= 0 || h.biWidth <= 0 || h.biPlanes != 1)
            return IK_ERR_FILE_FORMAT;
        if (headerSize < 40 || headerSize > size - 14) return IK_ERR_FILE_FORMAT;
        const size_t maxColours = four ? 16 : 256;
        const size_t colours = h.biClrUsed ? h.biClrUsed : maxColours;
        if (colours > maxColours) return IK_ERR_FILE_FORMAT;
        const size_t paletteAt = 14 + headerSize;
        const uint32_t offBits = le32(data + 10);
        if (paletteAt + colours * 4 > size || offBits > size || offBits < paletteAt + colours * 4)
            return IK_ERR_FILE_FORMAT;
        img = DibImage::create(h.biWidth, h.biHeight, four ? 4 : 8);
        if (img.empty()) return IK_ERR_FILE_FORMAT;
        std::memcpy(img.palette(), data + paletteAt, colours * 4);
        img.header().biXPelsPerMeter = h.biXPelsPerMeter;
        img.header().biYPelsPerMeter = h.biYPelsPerMeter;
        const uint16_t st = decodeRle(data + offBits, size - offBits, four, &img, progress);
        if (st) return st;
    } else {
        std::vector<uint8_t> dib;
        if (!q47::dib::bmpBytesToDib(data, size, &dib) ||
            !DibImage::fromPacked(dib.data(), dib.size(), &img))
            return IK_ERR_FILE_FORMAT;
    }
    if (details) {
        details->format = IK_FMT_BMP;
        details->bitCount = h.biBitCount;
        details->width = img.width();
        details->height = img.height();
        details->xDpi = img.xDpi();
        details->yDpi = img.yDpi();
        details->compression = static_cast<int>(h.biCompression);
    }
    *out = std::move(img);
    return IK_OK;
}

uint16_t encodeBmp(const std::string& path, const DibImage& img, const SaveOptions& o,
                   ProgressSink*) {
    const int bits = img.bitCount();
    // Run-length coding exists for 4- and 8-bit pictures only; others are written plain.
    if (!o.rle || (bits != 4 && bits != 8)) {
        if (!q47::dib::writeBmpFile(path, img.bytes().data(), img.bytes().size()))
            return IK_ERR_FILE_IO;
        return IK_OK;
    }
    const bool four = bits == 4;
    std::vector<uint8_t> rle, idx(static_cast<size_t>(img.width()));
    for (int y = img.height() - 1; y >= 0; --y) {  // bottom row first
        rowIndices(img, y, idx.data());
        encodeRleRow(idx.data(), img.width(), four, &rle);
    }
    rle.push_back(0);
    rle.push_back(1);
    BitmapInfoHeader h = img.header();
    h.biCompression = four ? kRle4 : kRle8;
    h.biSizeImage = static_cast<uint32_t>(rle.size());
    const size_t paletteBytes = static_cast<size_t>(img.paletteCount()) * 4;
    q47::dib::BitmapFileHeader fh;
    fh.bfOffBits = static_cast<uint32_t>(14 + 40 + paletteBytes);
    fh.bfSize = static_cast<uint32_t>(fh.bfOffBits + rle.size());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return IK_ERR_FILE_OPEN;
    bool ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&h, sizeof h, 1, f) == 1 &&
              std::fwrite(img.palette(), 1, paletteBytes, f) == paletteBytes &&
              std::fwrite(rle.data(), 1, rle.size(), f) == rle.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? IK_OK : IK_ERR_FILE_IO;
}

}  // namespace q47::ik

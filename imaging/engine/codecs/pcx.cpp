// PCX files: 1-bit, 16-colour (four planes), 256-colour and 24-bit (three planes).
#include <cstdio>
#include <cstring>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void put16(uint8_t* p, int v) { p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8); }

// The standard 16-colour table, used when a 16-colour file leaves its header table empty.
const uint8_t kEga[16][3] = {{0, 0, 0},       {0, 0, 170},     {0, 170, 0},    {0, 170, 170},
                             {170, 0, 0},     {170, 0, 170},   {170, 85, 0},   {170, 170, 170},
                             {85, 85, 85},    {85, 85, 255},   {85, 255, 85},  {85, 255, 255},
                             {255, 85, 85},   {255, 85, 255},  {255, 255, 85}, {255, 255, 255}};

}  // namespace

uint16_t decodePcx(const uint8_t* d, size_t n, DibImage* out, FileDetails* details,
                   ProgressSink* progress) {
    if (n < 128 || d[0] != 0x0A || d[2] != 1) return IK_ERR_FILE_FORMAT;
    const int bpp = d[3], planes = d[65];
    const int w = le16(d + 8) - le16(d + 4) + 1, h = le16(d + 10) - le16(d + 6) + 1;
    const int bytesPerLine = le16(d + 66);
    if (w <= 0 || h <= 0) return IK_ERR_FILE_FORMAT;
    int bits;
    if (bpp == 1 && planes == 1) bits = 1;
    else if ((bpp == 1 && planes == 4) || (bpp == 4 && planes == 1)) bits = 4;
    else if (bpp == 8 && planes == 1) bits = 8;
    else if (bpp == 8 && planes == 3) bits = 24;
    else return IK_ERR_FILE_FORMAT;
    if (bytesPerLine * 8 < w * bpp) return IK_ERR_FILE_FORMAT;
    DibImage img = DibImage::create(w, h, bits);
    if (img.empty()) return IK_ERR_FILE_FORMAT;
    img.setDpi(le16(d + 12), le16(d + 14));

    // Colour table: black and white, the header's 16 colours, or the 256 at the end.
    if (bits == 1) {
        img.palette()[1] = RgbQuad{255, 255, 255, 0};
    } else if (bits == 4) {
        bool blank = true;
        for (int i = 0; i < 48; ++i) blank = blank && d[16 + i] == 0;
        for (int i = 0; i < 16; ++i) {
            const uint8_t* c = blank ? kEga[i] : d + 16 + 3 * i;
            img.palette()[i] = RgbQuad{c[2], c[1], c[0], 0};
        }
    } else if (bits == 8) {
        if (n >= 128 + 769 && d[n - 769] == 0x0C) {
            const uint8_t* c = d + n - 768;
            for (int i = 0; i < 256; ++i) img.palette()[i] = RgbQuad{c[3 * i + 2], c[3 * i + 1], c[3 * i], 0};
        } else {
            img.setGreyPalette();
        }
    }

    const size_t lineBytes = static_cast<size_t>(bytesPerLine) * planes;
    std::vector<uint8_t> line(lineBytes), idx(static_cast<size_t>(w));
    size_t i = 128;
    const size_t end = (bits == 8 && n >= 128 + 769 && d[n - 769] == 0x0C) ? n - 769 : n;
    int pending = 0;  // a run may carry over into the next line
    uint8_t pendingValue = 0;
    for (int y = 0; y < h; ++y) {
        size_t k = 0;
        while (k < lineBytes) {
            if (pending) {
                line[k++] = pendingValue;
                --pending;
                continue;
            }
            if (i >= end) return IK_ERR_FILE_FORMAT;
            const uint8_t b = d[i++];
            if ((b & 0xC0) == 0xC0) {
                if (i >= end) return IK_ERR_FILE_FORMAT;
                pending = b & 0x3F;
                pendingValue = d[i++];
            } else {
                line[k++] = b;
            }
        }
        uint8_t* row = img.row(y);
        if (bits == 24) {
            for (int x = 0; x < w; ++x) {
                row[3 * x + 2] = line[x];
                row[3 * x + 1] = line[bytesPerLine + x];
                row[3 * x] = line[2 * bytesPerLine + x];
            }
        } else if (bits == 4 && planes == 4) {
            for (int x = 0; x < w; ++x) {
                int v = 0;
                for (int p = 0; p < 4; ++p)
                    v |= ((line[p * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1) << p;
                idx[x] = static_cast<uint8_t>(v);
            }
            packIndices(idx.data(), w, 4, row);
        } else {
            std::memcpy(row, line.data(), std::min(img.stride(), static_cast<size_t>(bytesPerLine)));
        }
        if (progress && !progress->step(y + 1, h)) return IK_ERR_CANCELLED;
    }
    if (details) {
        details->format = IK_FMT_PCX;
        details->bitCount = bits;
        details->width = w;
        details->height = h;
        details->xDpi = img.xDpi();
        details->yDpi = img.yDpi();
        details->compression = 1;
    }
    *out = std::move(img);
    return IK_OK;
}

uint16_t encodePcx(const std::string& path, const DibImage& img, ProgressSink* progress) {
    const int w = img.width(), h = img.height(), bits = img.bitCount();
    const int bpp = bits == 1 || bits == 4 ? 1 : 8;
    const int planes = bits == 4 ? 4 : bits == 24 ? 3 : 1;
    const int bytesPerLine = ((w * bpp + 7) / 8 + 1) & ~1;  // even, as the format asks
    uint8_t hdr[128] = {};
    hdr[0] = 0x0A, hdr[1] = 5, hdr[2] = 1, hdr[3] = static_cast<uint8_t>(bpp);
    put16(hdr + 8, w - 1), put16(hdr + 10, h - 1);
    put16(hdr + 12, img.xDpi()), put16(hdr + 14, img.yDpi());
    if (bits == 4)
        for (int i = 0; i < 16; ++i) {
            const RgbQuad& c = img.palette()[i];
            hdr[16 + 3 * i] = c.rgbRed, hdr[17 + 3 * i] = c.rgbGreen, hdr[18 + 3 * i] = c.rgbBlue;
        }
    hdr[65] = static_cast<uint8_t>(planes);
    put16(hdr + 66, bytesPerLine);
    put16(hdr + 68, 1);
    std::vector<uint8_t> body;
    std::vector<uint8_t> line(static_cast<size_t>(bytesPerLine) * planes), idx(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(line.begin(), line.end(), 0);
        const uint8_t* row = img.row(y);
        if (bits == 24) {
            for (int x = 0; x < w; ++x) {
                line[x] = row[3 * x + 2];
                line[bytesPerLine + x] = row[3 * x + 1];
                line[2 * bytesPerLine + x] = row[3 * x];
            }
        } else if (bits == 4) {
            rowIndices(img, y, idx.data());
            for (int x = 0; x < w; ++x)
                for (int p = 0; p < 4; ++p)
                    if ((idx[x] >> p) & 1) line[p * bytesPerLine + (x >> 3)] |= 0x80 >> (x & 7);
        } else {
            std::memcpy(line.data(), row, static_cast<size_t>((w * bpp + 7) / 8));
        }
        for (size_t k = 0; k < line.size();) {
            size_t run = 1;
            while (k + run < line.size() && run < 63 && line[k + run] == line[k]) ++run;
            if (run > 1 || (line[k] & 0xC0) == 0xC0) body.push_back(static_cast<uint8_t>(0xC0 | run));
            body.push_back(line[k]);
            k += run;
        }
        if (progress && !progress->step(y + 1, h)) return IK_ERR_CANCELLED;
    }
    if (bits == 8) {
        body.push_back(0x0C);
        for (int i = 0; i < 256; ++i) {
            const RgbQuad& c = img.palette()[i];
            body.push_back(c.rgbRed), body.push_back(c.rgbGreen), body.push_back(c.rgbBlue);
        }
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return IK_ERR_FILE_OPEN;
    bool ok = std::fwrite(hdr, 1, 128, f) == 128 && std::fwrite(body.data(), 1, body.size(), f) == body.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? IK_OK : IK_ERR_FILE_IO;
}

}  // namespace q47::ik

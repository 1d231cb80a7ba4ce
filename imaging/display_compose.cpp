// Display composition: layer conversion and the row loops that build the picture.
#include "imaging/display_compose.h"

#include <algorithm>
#include <cstring>

namespace q47::disp {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t word(unsigned r, unsigned g, unsigned b) { return kOpaque | (r << 16) | (g << 8) | b; }

// Colour table as opaque words; entries the table lacks are black.
void paletteWords(const q47::dib::View& v, uint32_t lut[256]) {
    for (int i = 0; i < 256; ++i) lut[i] = kOpaque;
    for (size_t i = 0; i < v.paletteCount && i < 256; ++i)
        lut[i] = word(v.palette[i].rgbRed, v.palette[i].rgbGreen, v.palette[i].rgbBlue);
}

// Row y of a DIB as words, columns `cols[0..n)` (every column when cols is null).
void fetchRow(const q47::dib::View& v, const uint32_t* lut, int y, const int* cols, int n, uint32_t* out) {
    const uint8_t* s = v.rowFromTop(y);
    switch (v.header->biBitCount) {
        case 24:
            if (cols) {
                for (int i = 0; i < n; ++i) {
                    const uint8_t* p = s + 3 * cols[i];
                    out[i] = word(p[2], p[1], p[0]);
                }
            } else {
                for (int i = 0; i < n; ++i) out[i] = word(s[3 * i + 2], s[3 * i + 1], s[3 * i]);
            }
            break;
        case 32:
            for (int i = 0; i < n; ++i) {
                const uint8_t* p = s + 4 * (cols ? cols[i] : i);
                out[i] = word(p[2], p[1], p[0]);
            }
            break;
        case 8:
            for (int i = 0; i < n; ++i) out[i] = lut[s[cols ? cols[i] : i]];
            break;
        case 4:
            for (int i = 0; i < n; ++i) {
                const int x = cols ? cols[i] : i;
                out[i] = lut[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
            }
            break;
        case 1:
            for (int i = 0; i < n; ++i) {
                const int x = cols ? cols[i] : i;
                out[i] = lut[(s[x >> 3] >> (7 - (x & 7))) & 1];
            }
            break;
    }
}

bool depthServed(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32; }

}  // namespace

bool BuildLayerPixels(const q47::dib::View& v, bool transparent, int r, int g, int b, LayerPixels* out) {
    if (!v.header || !depthServed(v.header->biBitCount) || v.width <= 0 || v.height <= 0) return false;
    uint32_t lut[256];
    paletteWords(v, lut);
    out->width = v.width;
    out->height = v.height;
    out->hasTransparent = false;
    out->pixels.assign(static_cast<size_t>(v.width) * v.height, 0);
    const bool keyed = transparent && r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255;
    const uint32_t key = keyed ? word(r, g, b) : 0;
    for (int y = 0; y < v.height; ++y) {
        uint32_t* row = out->pixels.data() + static_cast<size_t>(y) * v.width;
        fetchRow(v, lut, y, nullptr, v.width, row);
        if (!keyed) continue;
        uint32_t hits = 0;
        for (int x = 0; x < v.width; ++x) {
            const uint32_t m = row[x] == key ? kOpaque : 0u;
            row[x] ^= m;  // clears the alpha of the key colour only
            hits |= m;
        }
        out->hasTransparent = out->hasTransparent || hits != 0;
    }
    return true;
}

void Compose(const DispGeometry& g, const BaseSource& base, const ComposeLayer* layers, int layerCount,
             uint32_t* out, size_t stride) {
    if (!g.drawn || g.drawnWidth <= 0 || g.drawnHeight <= 0) return;
    const int RW = g.drawnWidth, RH = g.drawnHeight;
    // Image column and row of every screen column and row: the one mapping shared with
    // the mouse conversions.
    std::vector<int> xmap(RW), ymap(RH);
    for (int x = 0; x < RW; ++x) xmap[x] = g.clientToImageX(g.OriginX + x);
    for (int y = 0; y < RH; ++y) ymap[y] = g.clientToImageY(g.OriginY + y);

    uint32_t lut[256];
    std::vector<int> baseCols;
    const q47::dib::View* bv = base.image && depthServed(base.image->header->biBitCount) ? base.image : nullptr;
    if (bv) {
        paletteWords(*bv, lut);
        baseCols.resize(RW);
        for (int x = 0; x < RW; ++x)
            baseCols[x] = base.screenSized ? std::clamp(x + base.offsetX, 0, bv->width - 1)
                                           : std::min(xmap[x], bv->width - 1);
    }

    // Per layer: the screen columns it covers and the layer column of the first one.
    struct Span {
        const LayerPixels* px;
        int startX, startY, x0, x1;
    };
    std::vector<Span> spans;
    for (int i = 0; i < layerCount; ++i) {
        const LayerPixels* p = layers[i].pixels;
        if (!p || p->width <= 0 || p->height <= 0) continue;
        const int sx = layers[i].startX;
        const auto first = std::lower_bound(xmap.begin(), xmap.end(), sx);
        const auto last = std::lower_bound(xmap.begin(), xmap.end(), int64_t(sx) + p->width);
        if (first == last) continue;
        spans.push_back({p, sx, layers[i].startY, int(first - xmap.begin()), int(last - xmap.begin())});
    }

    for (int y = 0; y < RH; ++y) {
        uint32_t* row = out + stride * static_cast<size_t>(y);
        // Rows that show the same image row are the same picture row.
        if (y > 0 && ymap[y] == ymap[y - 1] && !(bv && base.screenSized)) {
            std::memcpy(row, row - stride, sizeof(uint32_t) * RW);
            continue;
        }
        if (bv) {
            const int by = base.screenSized ? std::clamp(y + base.offsetY, 0, bv->height - 1)
                                            : std::min(ymap[y], bv->height - 1);
            fetchRow(*bv, lut, by, baseCols.data(), RW, row);
        } else {
            std::fill(row, row + RW, base.fill | kOpaque);
        }
        const int Y = ymap[y];
        for (const Span& s : spans) {
            const int ly = Y - s.startY;
            if (ly < 0 || ly >= s.px->height) continue;
            const uint32_t* src = s.px->pixels.data() + static_cast<size_t>(ly) * s.px->width;
            const int* cols = xmap.data();
            const int sx = s.startX;
            if (s.px->hasTransparent) {
                for (int x = s.x0; x < s.x1; ++x) {
                    const uint32_t p = src[cols[x] - sx];
                    const uint32_t m = static_cast<uint32_t>(static_cast<int32_t>(p) >> 31);
                    row[x] = (p & m) | (row[x] & ~m);
                }
            } else {
                for (int x = s.x0; x < s.x1; ++x) row[x] = src[cols[x] - sx];
            }
        }
    }
}

}  // namespace q47::disp

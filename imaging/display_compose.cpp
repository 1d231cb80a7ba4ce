// Display composition: layer conversion and the row loops that build the picture.
#include "imaging/display_compose.h"

#include <algorithm>
#include <cstring>

namespace q47::disp {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t word(unsigned r, unsigned g, unsigned b) {
    return kOpaque | (r << 16) | (g << 8) | b;
}

// Colour table as opaque words; entries the table lacks are black.
void paletteWords(const q47::dib::View& v, uint32_t lut[256]) {
    for (int i = 0; i < 256; ++i) lut[i] = kOpaque;
    for (size_t i = 0; i < v.paletteCount && i < 256; ++i)
        lut[i] = word(v.palette[i].rgbRed, v.palette[i].rgbGreen, v.palette[i].rgbBlue);
}

// Row y of a DIB as words, columns `cols[0..n)` (every column when cols is null).
void fetchRow(const q47::dib::View& v, const uint32_t* lut, int y, const int* cols, int n,
              uint32_t* out) {
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

bool depthServed(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

}  // namespace

bool BuildLayerPixels(const q47::dib::View& v, bool transparent, int r, int g, int b,
                      LayerPixels* out) {
    if (!v.header || !depthServed(v.header->biBitCount) || v.width <= 0 || v.height <= 0)
        return false;
    uint32_t lut[256];
    paletteWords(v, lut);
    out->width = v.width;
    out->height = v.height;
    out->hasTransparent = false;
    out->pixels.assign(static_cast<size_t>(v.width) * v.height, 0);
    out->runs.clear();
    out->rowRuns.assign(1, 0);
    const bool keyed =
        transparent && r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255;
    const uint32_t key = keyed ? word(r, g, b) : 0;
    for (int y = 0; y < v.height; ++y) {
        uint32_t* row = out->pixels.data() + static_cast<size_t>(y) * v.width;
        fetchRow(v, lut, y, nullptr, v.width, row);
        if (!keyed) {
            out->runs.push_back(0);
            out->runs.push_back(v.width);
            out->rowRuns.push_back(static_cast<uint32_t>(out->runs.size() / 2));
            continue;
        }
        uint32_t hits = 0;
        for (int x = 0; x < v.width; ++x) {
            const uint32_t m = row[x] == key ? kOpaque : 0u;
            row[x] ^= m;  // clears the alpha of the key colour only
            hits |= m;
        }
        out->hasTransparent = out->hasTransparent || hits != 0;
        for (int x = 0; x < v.width;) {
            while (x < v.width && !(row[x] >> 24)) ++x;
            const int begin = x;
            while (x < v.width && (row[x] >> 24)) ++x;
            if (x > begin) {
                out->runs.push_back(begin);
                out->runs.push_back(x);
            }
        }
        out->rowRuns.push_back(static_cast<uint32_t>(out->runs.size() / 2));
    }
    return true;
}

void Compose(const DispGeometry& g, const BaseSource& base, const ComposeLayer* layers,
             int layerCount, uint32_t* out, size_t stride) {
    if (!g.drawn || g.drawnWidth <= 0 || g.drawnHeight <= 0) return;
    const int RW = g.drawnWidth, RH = g.drawnHeight;
    // Image column and row of every screen column and row: the one mapping shared with
    // the mouse conversions.
    std::vector<int> xmap(RW), ymap(RH);
    for (int x = 0; x < RW; ++x) xmap[x] = g.clientToImageX(g.OriginX + x);
    for (int y = 0; y < RH; ++y) ymap[y] = g.clientToImageY(g.OriginY + y);

    uint32_t lut[256];
    std::vector<int> baseCols;
    const q47::dib::View* bv =
        base.image && depthServed(base.image->header->biBitCount) ? base.image : nullptr;
    if (bv) {
        paletteWords(*bv, lut);
        baseCols.resize(RW);
        for (int x = 0; x < RW; ++x)
            baseCols[x] = base.screenSized ? std::clamp(x + base.offsetX, 0, bv->width - 1)
                                           : std::min(xmap[x], bv->width - 1);
    }

    // First screen column (relative to the origin) showing image column X, clamped to the
    // drawn width: the inverse of xmap in closed form.
    const int64_t fullW = g.fullWidth, imgW = g.imageWidth;
    auto firstColumn = [&](int64_t X) -> int {
        const int64_t k = X - g.ALeft;
        if (k <= 0) return 0;
        return static_cast<int>(std::min<int64_t>(RW, (k * fullW + imgW - 1) / imgW));
    };

    // Per layer: the screen columns it covers.
    struct Span {
        const LayerPixels* px;
        int startX, startY, x0, x1;
        bool solid;  // no see-through pixel: hides what is under its span
    };
    std::vector<Span> spans;
    for (int i = 0; i < layerCount; ++i) {
        const LayerPixels* p = layers[i].pixels;
        if (!p || p->width <= 0 || p->height <= 0 || p->rowRuns.size() != size_t(p->height) + 1)
            continue;
        const int sx = layers[i].startX;
        const int x0 = firstColumn(sx), x1 = firstColumn(int64_t(sx) + p->width);
        if (x0 >= x1) continue;
        spans.push_back({p, sx, layers[i].startY, x0, x1, !p->hasTransparent});
    }
    const int* cols = xmap.data();

    for (int y = 0; y < RH; ++y) {
        uint32_t* row = out + stride * static_cast<size_t>(y);
        // Rows that show the same image row are the same picture row.
        if (y > 0 && ymap[y] == ymap[y - 1] && !(bv && base.screenSized)) {
            std::memcpy(row, row - stride, sizeof(uint32_t) * RW);
            continue;
        }
        const int Y = ymap[y];
        // The base is not fetched under the highest solid layer on this row.
        int hideFrom = RW, hideTo = RW;
        for (auto s = spans.rbegin(); s != spans.rend(); ++s) {
            const int64_t ly = int64_t(Y) - s->startY;
            if (s->solid && ly >= 0 && ly < s->px->height) {
                hideFrom = s->x0;
                hideTo = s->x1;
                break;
            }
        }
        if (bv) {
            const int by = base.screenSized ? std::clamp(y + base.offsetY, 0, bv->height - 1)
                                            : std::min(ymap[y], bv->height - 1);
            fetchRow(*bv, lut, by, baseCols.data(), hideFrom, row);
            fetchRow(*bv, lut, by, baseCols.data() + hideTo, RW - hideTo, row + hideTo);
        } else {
            const uint32_t fill = base.fill | kOpaque;
            std::fill(row, row + hideFrom, fill);
            std::fill(row + hideTo, row + RW, fill);
        }
        for (const Span& s : spans) {
            const int64_t ly = int64_t(Y) - s.startY;
            if (ly < 0 || ly >= s.px->height) continue;
            const uint32_t* src = s.px->pixels.data() + static_cast<size_t>(ly) * s.px->width;
            const int sx = s.startX;
            const int32_t* run = s.px->runs.data() + 2 * size_t(s.px->rowRuns[ly]);
            const int32_t* runEnd = s.px->runs.data() + 2 * size_t(s.px->rowRuns[ly + 1]);
            for (; run != runEnd; run += 2) {
                const int a = std::max(s.x0, firstColumn(int64_t(sx) + run[0]));
                const int b = std::min(s.x1, firstColumn(int64_t(sx) + run[1]));
                for (int x = a; x < b; ++x) row[x] = src[cols[x] - sx];
            }
        }
    }
}

}  // namespace q47::disp

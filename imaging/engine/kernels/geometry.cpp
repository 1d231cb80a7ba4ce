// Geometry kernels: rectangle cuts, rotations, layering and area selection.
#include "imaging/engine/kernels/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/engine/kernels/convert.h"
#include "imaging/engine/kernels/filter.h"

namespace q47::ik {

DibImage cutRect(const DibImage& src, int left, int top, int right, int bottom) {
    left = std::max(left, 0), top = std::max(top, 0);
    right = std::min(right, src.width()), bottom = std::min(bottom, src.height());
    if (right <= left || bottom <= top) return DibImage();
    const int w = right - left, h = bottom - top, bits = src.bitCount();
    DibImage dst = DibImage::create(w, h, bits);
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    std::memcpy(dst.palette(), src.palette(), static_cast<size_t>(src.paletteCount()) * 4);
    std::vector<uint8_t> idx(bits < 8 ? static_cast<size_t>(src.width()) : 0);
    for (int y = 0; y < h; ++y) {
        if (bits >= 8) {
            const int bpp = bits / 8;
            std::memcpy(dst.row(y), src.row(top + y) + static_cast<size_t>(left) * bpp,
                        static_cast<size_t>(w) * bpp);
        } else {
            rowIndices(src, top + y, idx.data());
            packIndices(idx.data() + left, w, bits, dst.row(y));
        }
    }
    return dst;
}

namespace {

// Quarter turns: k = 1 (90 counter-clockwise), 2, 3.
DibImage quarterTurn(const DibImage& src, int k, ProgressSink* progress) {
    const int w = src.width(), h = src.height(), bits = src.bitCount();
    const int ow = (k == 2) ? w : h, oh = (k == 2) ? h : w;
    DibImage dst = DibImage::create(ow, oh, bits);
    if (dst.empty()) return dst;
    if (k == 2) dst.copyDpiFrom(src);
    else dst.setDpi(src.yDpi(), src.xDpi());
    std::memcpy(dst.palette(), src.palette(), static_cast<size_t>(src.paletteCount()) * 4);
    const int bpp = bits == 24 ? 3 : 1;
    // Work on one byte-or-index per pixel for packed depths.
    std::vector<uint8_t> in, out;
    std::vector<std::vector<uint8_t>> srcRows;
    if (bits < 8) {
        srcRows.resize(h);
        for (int y = 0; y < h; ++y) {
            srcRows[y].resize(w);
            rowIndices(src, y, srcRows[y].data());
        }
        out.resize(ow);
    }
    auto pixel = [&](int x, int y) -> const uint8_t* {
        return bits < 8 ? &srcRows[y][x] : src.row(y) + static_cast<size_t>(x) * bpp;
    };
    for (int oy = 0; oy < oh; ++oy) {
        uint8_t* d = bits < 8 ? out.data() : dst.row(oy);
        for (int ox = 0; ox < ow; ++ox) {
            int sx, sy;
            if (k == 1) sx = w - 1 - oy, sy = ox;           // (x,y) -> (y, w-1-x)
            else if (k == 2) sx = w - 1 - ox, sy = h - 1 - oy;
            else sx = oy, sy = h - 1 - ox;
            std::memcpy(d + static_cast<size_t>(ox) * bpp, pixel(sx, sy), bpp);
        }
        if (bits < 8) packIndices(out.data(), ow, bits, dst.row(oy));
        if (progress && (oy & 63) == 63 && !progress->step(oy + 1, oh)) return DibImage();
    }
    return dst;
}

}  // namespace

DibImage rotate(const DibImage& input, int angle, bool smooth, bool enlarge,
                const uint8_t background[3], ProgressSink* progress) {
    angle %= 36000;
    if (angle < 0) angle += 36000;
    if (angle == 0) return input;
    if (angle % 9000 == 0) return quarterTurn(input, angle / 9000, progress);

    const DibImage src = workingCopyForFilter(input);
    const int C = src.bitCount() == 24 ? 3 : 1;
    const double a = angle / 100.0 * M_PI / 180.0, ca = std::cos(a), sa = std::sin(a);
    const int w = src.width(), h = src.height();
    int ow = w, oh = h;
    if (enlarge) {
        ow = static_cast<int>(std::ceil(std::abs(w * ca) + std::abs(h * sa) - 1e-9));
        oh = static_cast<int>(std::ceil(std::abs(w * sa) + std::abs(h * ca) - 1e-9));
    }
    DibImage dst = DibImage::create(ow, oh, src.bitCount());
    if (dst.empty()) return dst;
    dst.copyDpiFrom(src);
    if (C == 1) std::memcpy(dst.palette(), src.palette(), 256 * 4);
    const uint8_t bg[3] = {background[0], background[1], background[2]};
    const uint8_t bgGrey = greyOf(bg[2], bg[1], bg[0]);
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, ocx = (ow - 1) / 2.0, ocy = (oh - 1) / 2.0;
    for (int oy = 0; oy < oh; ++oy) {
        uint8_t* d = dst.row(oy);
        // Counter-clockwise on screen (y down): source = R(-a) applied to the output point.
        const double dy = oy - ocy;
        for (int ox = 0; ox < ow; ++ox, d += C) {
            const double dx = ox - ocx;
            const double sx = cx + dx * ca - dy * sa, sy = cy + dx * sa + dy * ca;
            if (sx < -0.5 || sy < -0.5 || sx > w - 0.5 || sy > h - 0.5) {
                if (C == 3) std::memcpy(d, bg, 3);
                else d[0] = bgGrey;
                continue;
            }
            if (!smooth) {
                const int ix = std::clamp(static_cast<int>(std::lround(sx)), 0, w - 1);
                const int iy = std::clamp(static_cast<int>(std::lround(sy)), 0, h - 1);
                std::memcpy(d, src.row(iy) + static_cast<size_t>(ix) * C, C);
                continue;
            }
            const double fx = std::clamp(sx, 0.0, w - 1.0), fy = std::clamp(sy, 0.0, h - 1.0);
            const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
            const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
            const double tx = fx - x0, ty = fy - y0;
            const uint8_t* r0 = src.row(y0);
            const uint8_t* r1 = src.row(y1);
            for (int c = 0; c < C; ++c) {
                const double top = r0[x0 * C + c] * (1 - tx) + r0[x1 * C + c] * tx;
                const double bot = r1[x0 * C + c] * (1 - tx) + r1[x1 * C + c] * tx;
                d[c] = static_cast<uint8_t>(std::lround(top * (1 - ty) + bot * ty));
            }
        }
        if (progress && (oy & 31) == 31 && !progress->step(oy + 1, oh)) return DibImage();
    }
    return dst;
}

DibImage layer(const DibImage& baseIn, const DibImage& topIn, const LayerOptions& o,
               ProgressSink* progress) {
    DibImage dst = baseIn.bitCount() == 24 ? baseIn : convertTo24(baseIn);
    if (dst.empty()) return dst;
    const int bw = dst.width(), bh = dst.height(), tw = topIn.width(), th = topIn.height();
    const int opacity = (o.opacity <= 0 || o.opacity > 255) ? 255 : o.opacity;
    // Offsets may be anywhere in 32 bits: the overlap is worked out in 64.
    const int64_t ox = o.x, oy = o.y;
    const int x0 = static_cast<int>(std::clamp<int64_t>(ox, 0, bw));
    const int x1 = static_cast<int>(std::clamp<int64_t>(ox + tw, 0, bw));
    const int y0 = static_cast<int>(std::clamp<int64_t>(oy, 0, bh));
    const int y1 = static_cast<int>(std::clamp<int64_t>(oy + th, 0, bh));
    std::vector<uint8_t> topRow(static_cast<size_t>(tw) * 3);
    for (int y = y0; y < y1 && x0 < x1; ++y) {
        rowTo24(topIn, static_cast<int>(y - oy), topRow.data());
        uint8_t* d = dst.row(y) + static_cast<size_t>(x0) * 3;
        const uint8_t* s = topRow.data() + static_cast<size_t>(x0 - ox) * 3;
        for (int x = x0; x < x1; ++x, d += 3, s += 3) {
            if (o.useTransparent && s[0] >= o.low[0] && s[0] <= o.high[0] && s[1] >= o.low[1] &&
                s[1] <= o.high[1] && s[2] >= o.low[2] && s[2] <= o.high[2])
                continue;
            if (opacity == 255) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2];
            } else {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<uint8_t>((s[c] * opacity + d[c] * (255 - opacity) + 127) / 255);
            }
        }
        if (progress && (y & 63) == 63 && !progress->step(y + 1 - y0, y1 - y0)) return DibImage();
    }
    return dst;
}

namespace {
// A column worked out in doubles, clamped to [0, width] before it becomes an int: shapes
// may reach far beyond the picture, up to the ends of 32 bits.
int toColumn(double x, int width) { return static_cast<int>(std::clamp(x, 0.0, static_cast<double>(width))); }
}  // namespace

std::vector<uint8_t> ellipseArea(int width, int height, int left, int top, int right, int bottom) {
    std::vector<uint8_t> area(static_cast<size_t>(width) * height, 0);
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const double rx = (static_cast<double>(right) - left) / 2.0, ry = (static_cast<double>(bottom) - top) / 2.0;
    if (rx <= 0 || ry <= 0) return area;
    const double cx = left + rx, cy = top + ry;
    for (int y = std::max(0, top); y < std::min(height, bottom); ++y) {
        const double ny = (y + 0.5 - cy) / ry;
        if (ny * ny > 1) continue;
        const double half = rx * std::sqrt(1 - ny * ny);
        const int a = toColumn(std::ceil(cx - half - 0.5), width);
        const int b = toColumn(std::floor(cx + half - 0.5) + 1, width);
        if (b > a) std::memset(&area[static_cast<size_t>(y) * width + a], 1, b - a);
    }
    return area;
}

std::vector<uint8_t> polygonArea(int width, int height, const int* xy, int n) {
    std::vector<uint8_t> area(static_cast<size_t>(width) * height, 0);
    if (n < 3) return area;
    std::vector<double> cuts;
    for (int y = 0; y < height; ++y) {
        const double py = y + 0.5;
        cuts.clear();
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            const double y0 = xy[2 * i + 1], y1 = xy[2 * j + 1];
            if ((y0 <= py) == (y1 <= py)) continue;
            const double x0 = xy[2 * i], x1 = xy[2 * j];
            cuts.push_back(x0 + (py - y0) * (x1 - x0) / (y1 - y0));
        }
        std::sort(cuts.begin(), cuts.end());
        for (size_t k = 0; k + 1 < cuts.size(); k += 2) {
            const int a = toColumn(std::ceil(cuts[k] - 0.5), width);
            const int b = toColumn(std::ceil(cuts[k + 1] - 0.5), width);
            if (b > a) std::memset(&area[static_cast<size_t>(y) * width + a], 1, b - a);
        }
    }
    return area;
}

std::vector<uint8_t> maskArea(const DibImage& mask, int width, int height) {
    std::vector<uint8_t> area(static_cast<size_t>(width) * height, 0);
    std::vector<uint8_t> row(static_cast<size_t>(mask.width()) * 3);
    for (int y = 0; y < std::min(height, mask.height()); ++y) {
        rowTo24(mask, y, row.data());
        for (int x = 0; x < std::min(width, mask.width()); ++x)
            area[static_cast<size_t>(y) * width + x] =
                (row[3 * x] | row[3 * x + 1] | row[3 * x + 2]) ? 1 : 0;
    }
    return area;
}

DibImage applyArea(const DibImage& original, const DibImage& filtered,
                   const std::vector<uint8_t>& area, bool invert) {
    DibImage base = original.bitCount() == filtered.bitCount() ? original : convertTo24(original);
    if (base.empty() || base.width() != filtered.width() || base.height() != filtered.height())
        return DibImage();
    const int w = base.width(), C = base.bitCount() == 24 ? 3 : 1;
    const uint8_t take = invert ? 0 : 1;
    for (int y = 0; y < base.height(); ++y) {
        uint8_t* d = base.row(y);
        const uint8_t* f = filtered.row(y);
        const uint8_t* a = &area[static_cast<size_t>(y) * w];
        for (int x = 0; x < w; ++x)
            if (a[x] == take) std::memcpy(d + x * C, f + x * C, C);
    }
    return base;
}

}  // namespace q47::ik

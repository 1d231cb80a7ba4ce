// Drawing targets, picture conversions, pens and brushes, flood fill.
#include "imaging/engine/print/draw_target.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "imaging/engine/core/entry_guard.h"

namespace q47::ik::print {

bool DrawTarget::open(uintptr_t target, int32_t deviceMode) {
    if (deviceMode == IK_DEVICE_MEMORY) {
        if (target > UINT32_MAX || !(image_ = findRaster(static_cast<uint32_t>(target)))) return false;
        work_ = toPicture(image_->image);
        if (work_.isNull()) return fail<bool>(IK_ERR_BIT_DEPTH, false);
        picture_ = &work_;
    } else {
        dc_ = findDc(target);
        if (!dc_) return fail<bool>(IK_ERR_ARGUMENT, false);
        if (dc_->printer) {
            if (!dc_->painter || !dc_->inPage) return fail<bool>(IK_ERR_PRINT_JOB, false);
            painter_ = dc_->painter.get();
            painter_->save();
            return true;
        }
        picture_ = &dc_->picture;
    }
    own_ = std::make_unique<QPainter>(picture_);
    painter_ = own_.get();
    return true;
}

DrawTarget::~DrawTarget() {
    if (own_) own_->end();
    else if (painter_) painter_->restore();
    if (image_ && !work_.isNull()) writeBack(work_, &image_->image);
}

QImage toPicture(const DibImage& image) {
    if (image.empty()) return {};
    const int w = image.width(), h = image.height(), bits = image.bitCount();
    QImage out(w, h, QImage::Format_RGB32);
    const RgbQuad* pal = image.palette();
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = image.row(y);
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (bits == 24) {
            for (int x = 0; x < w; ++x) d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
        } else {
            for (int x = 0; x < w; ++x) {
                int i = 0;
                if (bits == 8) i = s[x];
                else if (bits == 4) i = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
                else i = (s[x >> 3] >> (7 - (x & 7))) & 1;
                const RgbQuad& q = pal[i < image.paletteCount() ? i : 0];
                d[x] = qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
            }
        }
    }
    const int dpi = image.xDpi();
    if (dpi > 0) {
        out.setDotsPerMeterX(qRound(image.xDpi() / 0.0254));
        out.setDotsPerMeterY(qRound(image.yDpi() / 0.0254));
    }
    return out;
}

void writeBack(const QImage& picture, DibImage* image) {
    const int w = image->width(), h = image->height(), bits = image->bitCount();
    const RgbQuad* pal = image->palette();
    const int n = image->paletteCount();
    std::unordered_map<QRgb, uint8_t> nearest;
    auto indexOf = [&](QRgb c) -> uint8_t {
        auto it = nearest.find(c);
        if (it != nearest.end()) return it->second;
        int best = 0, bestDist = INT32_MAX;
        for (int i = 0; i < n; ++i) {
            const int dr = qRed(c) - pal[i].rgbRed, dg = qGreen(c) - pal[i].rgbGreen, db = qBlue(c) - pal[i].rgbBlue;
            const int dist = dr * dr + dg * dg + db * db;
            if (dist < bestDist) bestDist = dist, best = i;
        }
        return nearest[c] = static_cast<uint8_t>(best);
    };
    for (int y = 0; y < h; ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        uint8_t* d = image->row(y);
        if (bits == 24) {
            for (int x = 0; x < w; ++x) d[3 * x] = qBlue(s[x]), d[3 * x + 1] = qGreen(s[x]), d[3 * x + 2] = qRed(s[x]);
        } else if (bits == 8) {
            for (int x = 0; x < w; ++x) d[x] = indexOf(s[x]);
        } else if (bits == 4) {
            for (int x = 0; x < w; ++x) {
                const uint8_t i = indexOf(s[x]);
                d[x >> 1] = (x & 1) ? static_cast<uint8_t>((d[x >> 1] & 0xF0) | i) : static_cast<uint8_t>((d[x >> 1] & 0x0F) | (i << 4));
            }
        } else {
            for (int x = 0; x < w; ++x) {
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
                if (indexOf(s[x])) d[x >> 3] |= bit;
                else d[x >> 3] &= static_cast<uint8_t>(~bit);
            }
        }
    }
}

QColor colourOf(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
uint32_t colorrefOf(QRgb rgb) {
    return static_cast<uint32_t>(qRed(rgb)) | static_cast<uint32_t>(qGreen(rgb)) << 8 |
           static_cast<uint32_t>(qBlue(rgb)) << 16;
}

void applyDrawInfo(const IKPRINT_DRAWINFO& draw, DrawTarget& target) {
    QPainter& p = target.painter();
    QPen pen(colourOf(draw.penColor));
    pen.setWidth(draw.penWidth > 0 ? draw.penWidth : 1);
    static const Qt::PenStyle kPens[] = {Qt::NoPen,       Qt::SolidLine,      Qt::DashLine, Qt::DotLine,
                                         Qt::DashDotLine, Qt::DashDotDotLine, Qt::SolidLine};
    pen.setStyle(draw.penStyle < 7 ? kPens[draw.penStyle] : Qt::SolidLine);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    static const Qt::BrushStyle kBrushes[] = {Qt::NoBrush,         Qt::SolidPattern, Qt::BDiagPattern,
                                              Qt::CrossPattern,    Qt::DiagCrossPattern, Qt::FDiagPattern,
                                              Qt::HorPattern,      Qt::VerPattern};
    QBrush brush(colourOf(draw.brushColor), draw.brushStyle < 8 ? kBrushes[draw.brushStyle] : Qt::SolidPattern);
    p.setBackgroundMode((draw.flags & 1) ? Qt::TransparentMode : Qt::OpaqueMode);
    p.setBackground(Qt::white);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (target.isPicture()) {
        switch (draw.drawMode) {
            case 7: p.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
            case 6: p.setCompositionMode(QPainter::RasterOp_NotDestination); break;
            case 1: pen.setColor(Qt::black), brush.setColor(Qt::black); break;
            case 16: pen.setColor(Qt::white), brush.setColor(Qt::white); break;
            default: break;  // 13, copy pen, and the rest draw as copy pen
        }
    }
    p.setPen(pen);
    p.setBrush(brush);
}

QFont fontOf(const IKPRINT_TEXTINFO& info) {
    QFont font(QString::fromLocal8Bit(info.fontName, static_cast<int>(strnlen(info.fontName, sizeof info.fontName))));
    font.setPointSize(info.fontSize > 0 ? info.fontSize : 10);
    font.setBold(info.bold != 0);
    font.setItalic(info.italic != 0);
    font.setUnderline(info.underline != 0);
    font.setStrikeOut(info.strikeOut != 0);
    return font;
}

QRect outline(const int32_t* r) { return QRect(QPoint(r[0], r[1]), QPoint(r[2] - 1, r[3] - 1)).normalized(); }

bool floodFill(QImage* picture, int x, int y, QRgb limit, bool surface, QRgb colour) {
    const int w = picture->width(), h = picture->height();
    if (x < 0 || y < 0 || x >= w || y >= h) return false;
    limit &= 0xFFFFFF, colour &= 0xFFFFFF;
    auto px = [&](int cx, int cy) { return reinterpret_cast<QRgb*>(picture->scanLine(cy)) + cx; };
    // Inside: surface mode, the pixels of the surface colour; border mode, all but the border.
    auto inside = [&](int cx, int cy) {
        const QRgb c = *px(cx, cy) & 0xFFFFFF;
        return surface ? c == limit : c != limit;
    };
    if (!inside(x, y) || (*px(x, y) & 0xFFFFFF) == colour) return true;
    std::vector<bool> done(static_cast<size_t>(w) * h, false);
    std::vector<QPoint> stack{{x, y}};
    // Row spans: fill left and right from a seed, then seed the rows above and below.
    while (!stack.empty()) {
        const QPoint s = stack.back();
        stack.pop_back();
        int l = s.x(), r = s.x();
        const int cy = s.y();
        if (done[size_t(cy) * w + l] || !inside(l, cy)) continue;
        while (l > 0 && !done[size_t(cy) * w + l - 1] && inside(l - 1, cy)) --l;
        while (r < w - 1 && !done[size_t(cy) * w + r + 1] && inside(r + 1, cy)) ++r;
        for (int i = l; i <= r; ++i) done[size_t(cy) * w + i] = true;
        for (int ny : {cy - 1, cy + 1}) {
            if (ny < 0 || ny >= h) continue;
            bool run = false;
            for (int i = l; i <= r; ++i) {
                const bool in = !done[size_t(ny) * w + i] && inside(i, ny);
                if (in && !run) stack.push_back({i, ny});
                run = in;
            }
        }
    }
    for (int cy = 0; cy < h; ++cy) {
        QRgb* row = px(0, cy);
        for (int cx = 0; cx < w; ++cx)
            if (done[size_t(cy) * w + cx]) row[cx] = 0xFF000000u | colour;
    }
    return true;
}

}  // namespace q47::ik::print

// The drawing family on a printer's page, a preview picture or an engine image.
#include <QFontMetrics>
#include <QPolygon>
#include <cmath>

#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/print/draw_target.h"

using namespace q47::ik;
using namespace q47::ik::print;

namespace {

// Runs a figure on a target with its drawing record; every entry's argument checks
// happen before anything is drawn.
template <typename F>
int32_t drawFigure(uintptr_t target, const IKPRINT_DRAWINFO* draw, int32_t mode, F&& body) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!draw) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        DrawTarget t;
        if (!t.open(target, mode)) return 0;
        applyDrawInfo(*draw, t);
        return body(t) ? 1 : 0;
    });
}

// The figure's outline through the middle of its edge pixels: a one-dot pen then
// covers exactly the first and the last column and row of the rectangle. A pen drawn
// "inside frame" stays within the rectangle.
QRectF framed(const int32_t* ltrb, const IKPRINT_DRAWINFO* draw = nullptr) {
    const QRect r = outline(ltrb);
    QRectF f(r.left() + 0.5, r.top() + 0.5, r.width() - 1.0, r.height() - 1.0);
    if (draw && draw->penStyle == 6 && draw->penWidth > 1) {
        const double in = (draw->penWidth - 1) / 2.0;
        f.adjust(in, in, -in, -in);
    }
    return f;
}

// Angle in 1/16 degree of a point seen from the centre of r, counter-clockwise from
// three o'clock, as the arc figures measure it.
int angle16(const QRect& r, int x, int y) {
    const double cx = r.left() + r.width() / 2.0, cy = r.top() + r.height() / 2.0;
    const double a = std::atan2(-(y - cy), x - cx) * 180.0 / M_PI;
    return static_cast<int>(std::lround(a * 16.0));
}

// Start angle and counter-clockwise span from the start point's ray to the end point's.
std::pair<int, int> arcAngles(const int32_t* v) {
    const QRect r = outline(v);
    const int start = angle16(r, v[4], v[5]);
    int span = angle16(r, v[6], v[7]) - start;
    while (span <= 0) span += 360 * 16;  // the same ray both times is the whole ellipse
    return {start, span};
}

QPolygon polygonOf(const int32_t* points, int32_t count) {
    QPolygon poly;
    for (int32_t i = 0; i < count; ++i) poly << QPoint(points[2 * i], points[2 * i + 1]);
    return poly;
}

void setTextLook(const IKPRINT_TEXTINFO& info, DrawTarget& t) {
    QPainter& p = t.painter();
    p.setFont(fontOf(info));
    p.setPen(colourOf(info.textColor));
    p.setBackgroundMode((info.flags & 1) ? Qt::TransparentMode : Qt::OpaqueMode);
    p.setBackground(colourOf(info.backColor));
}

}  // namespace

extern "C" {

int32_t IKSetPixel(uintptr_t target, int32_t x, int32_t y, uint32_t colour, int32_t mode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DrawTarget t;
        if (!t.open(target, mode)) return 0;
        if (QImage* pic = t.picture()) {
            if (x < 0 || y < 0 || x >= pic->width() || y >= pic->height()) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
            pic->setPixel(x, y, colourOf(colour).rgb());
            return 1;
        }
        t.painter().setPen(QPen(colourOf(colour), 1));
        t.painter().drawPoint(x, y);
        return 1;
    });
}

uint32_t IKGetPixel(uintptr_t target, int32_t x, int32_t y, int32_t mode) {
    return guarded<uint32_t>(0xFFFFFFFFu, [&]() -> uint32_t {
        DrawTarget t;
        if (!t.open(target, mode)) return 0xFFFFFFFFu;
        QImage* pic = t.picture();
        if (!pic) return fail<uint32_t>(IK_ERR_PRINT_READBACK, 0xFFFFFFFFu);
        if (x < 0 || y < 0 || x >= pic->width() || y >= pic->height())
            return fail<uint32_t>(IK_ERR_ARGUMENT, 0xFFFFFFFFu);
        return colorrefOf(pic->pixel(x, y));
    });
}

int32_t IKLine(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        t.painter().drawLine(v[0], v[1], v[2], v[3]);
        return true;
    });
}

int32_t IKRectangle(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        t.painter().drawRect(framed(v, draw));
        return true;
    });
}

int32_t IKEllipse(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        t.painter().drawEllipse(framed(v, draw));
        return true;
    });
}

int32_t IKFillRect(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        // The brush alone, over the whole rectangle, right and bottom edge excluded.
        t.painter().fillRect(QRect(QPoint(v[0], v[1]), QPoint(v[2] - 1, v[3] - 1)).normalized(), t.painter().brush());
        return true;
    });
}

int32_t IKRoundRect(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        t.painter().drawRoundedRect(framed(v, draw), v[4] / 2.0, v[5] / 2.0);
        return true;
    });
}

int32_t IKArc(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        const auto [start, span] = arcAngles(v);
        t.painter().drawArc(framed(v), start, span);
        return true;
    });
}

int32_t IKPie(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        const auto [start, span] = arcAngles(v);
        t.painter().drawPie(framed(v), start, span);
        return true;
    });
}

int32_t IKChord(uintptr_t target, const int32_t* v, const IKPRINT_DRAWINFO* draw, int32_t mode) {
    if (!v) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        const auto [start, span] = arcAngles(v);
        t.painter().drawChord(framed(v), start, span);
        return true;
    });
}

int32_t IKPolygon(uintptr_t target, const int32_t* points, int32_t count, const IKPRINT_DRAWINFO* draw,
                  int32_t mode) {
    if (!points || count < 2 || count > 1000000) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        t.painter().drawPolygon(polygonOf(points, count), Qt::OddEvenFill);
        return true;
    });
}

int32_t IKPolyline(uintptr_t target, const int32_t* points, int32_t count, const IKPRINT_DRAWINFO* draw,
                   int32_t mode) {
    if (!points || count < 2 || count > 1000000) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
    return drawFigure(target, draw, mode, [&](DrawTarget& t) {
        t.painter().drawPolyline(polygonOf(points, count));
        return true;
    });
}

int32_t IKPaint(uintptr_t target, int32_t x, int32_t y, uint32_t colour, int32_t paintMode,
                const IKPRINT_DRAWINFO* draw, int32_t mode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!draw || (paintMode != 0 && paintMode != 1)) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        DrawTarget t;
        if (!t.open(target, mode)) return 0;
        QImage* pic = t.picture();
        if (!pic) return fail<int32_t>(IK_ERR_PRINT_READBACK, 0);
        if (!floodFill(pic, x, y, colourOf(colour).rgb(), paintMode == 1, colourOf(draw->brushColor).rgb()))
            return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        return 1;
    });
}

int32_t IKDrawText(uintptr_t target, const int32_t* v, const char* text, const IKPRINT_TEXTINFO* info,
                   int32_t format, int32_t clip, int32_t mode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!v || !text || !info) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        if (!haveGuiApplication()) return fail<int32_t>(IK_ERR_NO_HOST, 0);
        DrawTarget t;
        if (!t.open(target, mode)) return 0;
        setTextLook(*info, t);
        int flags = Qt::AlignLeft | Qt::AlignTop;
        if (format & IK_DT_CENTER) flags = (flags & ~Qt::AlignLeft) | Qt::AlignHCenter;
        if (format & IK_DT_RIGHT) flags = (flags & ~Qt::AlignLeft) | Qt::AlignRight;
        if (format & IK_DT_VCENTER) flags = (flags & ~Qt::AlignTop) | Qt::AlignVCenter;
        if (format & IK_DT_BOTTOM) flags = (flags & ~Qt::AlignTop) | Qt::AlignBottom;
        if (format & IK_DT_WORDBREAK) flags |= Qt::TextWordWrap;
        if (format & IK_DT_SINGLELINE) flags |= Qt::TextSingleLine;
        const QRect r(QPoint(v[0], v[1]), QPoint(v[2] - 1, v[3] - 1));
        if (clip) t.painter().setClipRect(r);
        t.painter().drawText(r, flags, QString::fromLocal8Bit(text));
        return 1;
    });
}

int32_t IKTextOut(uintptr_t target, int32_t x, int32_t y, const char* text, const IKPRINT_TEXTINFO* info,
                  int32_t mode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!text || !info) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        if (!haveGuiApplication()) return fail<int32_t>(IK_ERR_NO_HOST, 0);
        DrawTarget t;
        if (!t.open(target, mode)) return 0;
        setTextLook(*info, t);
        QPainter& p = t.painter();
        // (x, y) is the text's top-left corner; an escapement turns it about that point.
        p.translate(x, y);
        if (info->escapement > 0) p.rotate(-info->escapement / 10.0);
        const QFontMetrics metrics(p.font(), t.device());
        p.drawText(0, metrics.ascent(), QString::fromLocal8Bit(text));
        return 1;
    });
}

int32_t IKGetTextExtent(uintptr_t target, const char* text, const IKPRINT_TEXTINFO* info, int32_t* width,
                        int32_t* height, int32_t mode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!text || !info || !width || !height) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        if (!haveGuiApplication()) return fail<int32_t>(IK_ERR_NO_HOST, 0);
        DrawTarget t;
        if (!t.open(target, mode)) return 0;
        const QFontMetrics metrics(fontOf(*info), t.device());
        *width = metrics.horizontalAdvance(QString::fromLocal8Bit(text));
        *height = metrics.height();
        return 1;
    });
}

}  // extern "C"

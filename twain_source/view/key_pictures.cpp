// Drawing of the key, lamp and cursor pictures with QPainter (no image files to ship).
#include "twain_source/view/key_pictures.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace q47::twain_source {

namespace {

const QColor kDialogBack(236, 233, 216);

struct FacePalette {
    QColor rim, key, keyLight, keyShadow, field, mark, sheet;
    QColor ink{50, 50, 50};  // outlines, arrows and the filled half of DENSITY
};

FacePalette paletteFor(KeyFace face) {
    FacePalette p;
    p.key = QColor(196, 196, 196);
    p.keyLight = QColor(232, 232, 232);
    p.keyShadow = QColor(128, 128, 128);
    p.field = QColor(40, 168, 72);
    p.mark = QColor(255, 255, 255);
    p.sheet = QColor(255, 255, 255);
    switch (face) {
        case KeyFace::Up: p.rim = QColor(200, 30, 30); break;
        case KeyFace::Focused: p.rim = QColor(255, 140, 0); break;
        case KeyFace::Down:
            // The pressed key is darker all over, its light and shadow swapped.
            p.rim = QColor(140, 20, 20);
            p.key = QColor(150, 150, 150);
            p.keyLight = QColor(104, 104, 104);
            p.keyShadow = QColor(200, 200, 200);
            p.field = QColor(28, 118, 50);
            p.mark = QColor(210, 210, 210);
            p.sheet = QColor(210, 210, 210);
            break;
        case KeyFace::Disabled:
            p.rim = QColor(150, 150, 150);
            p.key = QColor(200, 200, 200);
            p.field = QColor(168, 168, 168);
            p.mark = QColor(226, 226, 226);
            p.sheet = QColor(226, 226, 226);
            p.ink = QColor(140, 140, 140);
            break;
    }
    return p;
}

void drawArrow(QPainter& g, QPointF from, QPointF to, const QColor& c) {
    g.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(from, to);
    const QPointF d = (to - from) / std::max(1.0, std::hypot(to.x() - from.x(), to.y() - from.y()));
    const QPointF n(-d.y(), d.x());
    QPolygonF head;
    head << to + d * 1.5 << to - d * 4 + n * 3.5 << to - d * 4 - n * 3.5;
    g.setPen(Qt::NoPen);
    g.setBrush(c);
    g.drawPolygon(head);
}

void drawSymbol(QPainter& g, KeySymbol key, const FacePalette& p, const QRectF& face) {
    const QPointF c = face.center();
    switch (key) {
        case KeySymbol::PcScan: {
            g.setPen(Qt::NoPen);
            g.setBrush(p.field);
            g.drawRoundedRect(face.adjusted(6, 8, -6, -8), 3, 3);
            g.setPen(QPen(p.mark, 3));
            g.setBrush(Qt::NoBrush);
            g.drawEllipse(c, 8, 8);
            break;
        }
        case KeySymbol::Comp: {
            g.setPen(Qt::NoPen);
            g.setBrush(p.field);
            g.drawRoundedRect(face.adjusted(4, 8, -4, -8), 3, 3);
            g.setPen(QPen(p.mark, 2));
            g.setBrush(Qt::NoBrush);
            g.drawEllipse(c, 5, 8);  // the narrowed oval
            drawArrow(g, QPointF(face.left() + 6, c.y()), QPointF(c.x() - 8, c.y()), p.mark);
            drawArrow(g, QPointF(face.right() - 6, c.y()), QPointF(c.x() + 8, c.y()), p.mark);
            break;
        }
        case KeySymbol::Density: {
            const QRectF circle(c.x() - 10, c.y() - 10, 20, 20);
            g.setPen(QPen(p.ink, 2));
            g.setBrush(p.mark);
            g.drawEllipse(circle);
            g.setPen(Qt::NoPen);
            g.setBrush(p.ink);
            g.drawPie(circle, 90 * 16, 180 * 16);  // the left half filled
            break;
        }
        case KeySymbol::Color: {
            const QRectF left(face.left() + 5, c.y() - 8, 12, 16);
            const QRectF right(face.right() - 17, c.y() - 8, 12, 16);
            g.setPen(QPen(p.ink, 1));
            g.setBrush(p.sheet);
            g.drawRect(left);
            g.setBrush(p.field);
            g.drawRect(right);
            drawArrow(g, QPointF(left.right() + 3, c.y()), QPointF(right.left() - 4, c.y()),
                      p.ink);
            break;
        }
        case KeySymbol::Stop: {
            g.setPen(QPen(p.ink, 1));
            g.setBrush(p.mark);
            g.drawRect(QRectF(c.x() - 8, c.y() - 8, 16, 16));
            break;
        }
    }
}

// Pictures carry 8 bits per pixel like the key bitmaps they stand for.
QImage toIndexed(const QImage& rgb) {
    return rgb.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

}  // namespace

const char* keyName(KeySymbol key) {
    switch (key) {
        case KeySymbol::PcScan: return "PCSCAN";
        case KeySymbol::Comp: return "COMP";
        case KeySymbol::Density: return "DENSITY";
        case KeySymbol::Color: return "COLOR";
        case KeySymbol::Stop: return "STOP";
    }
    return "";
}

QImage keyPicture(KeySymbol key, KeyFace face) {
    const FacePalette p = paletteFor(face);
    QImage img(kKeyWidth, kKeyHeight, QImage::Format_RGB32);
    img.fill(kDialogBack);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(1.5, 1.5, kKeyWidth - 3, kKeyHeight - 3);
    g.setPen(QPen(p.rim, 3));
    g.setBrush(p.key);
    g.drawRoundedRect(outer, 9, 9);
    // Bevel: light upper left, shadow lower right.
    const QRectF bevel = outer.adjusted(3, 3, -3, -3);
    g.setPen(QPen(p.keyLight, 2));
    g.drawArc(bevel, 90 * 16, 90 * 16);
    g.drawLine(QPointF(bevel.left() + 6, bevel.top()), QPointF(bevel.right() - 6, bevel.top()));
    g.drawLine(QPointF(bevel.left(), bevel.top() + 6), QPointF(bevel.left(), bevel.bottom() - 6));
    g.setPen(QPen(p.keyShadow, 2));
    g.drawLine(QPointF(bevel.left() + 6, bevel.bottom()), QPointF(bevel.right() - 6, bevel.bottom()));
    g.drawLine(QPointF(bevel.right(), bevel.top() + 6), QPointF(bevel.right(), bevel.bottom() - 6));
    QRectF faceRect = outer.adjusted(5, 5, -5, -5);
    if (face == KeyFace::Down) faceRect.translate(1, 1);  // the pressed face sinks
    drawSymbol(g, key, p, faceRect);
    g.end();
    return toIndexed(img);
}

QImage lampPicture(bool on) {
    QImage img(kLampWidth, kLampHeight, QImage::Format_RGB32);
    img.fill(kDialogBack);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(64, 64, 64), 1));
    g.setBrush(on ? QColor(0, 220, 0) : QColor(150, 150, 150));
    g.drawEllipse(QRectF(1.5, 1, 9, 9));
    g.setPen(Qt::NoPen);
    g.setBrush(on ? QColor(190, 255, 190) : QColor(210, 210, 210));
    g.drawEllipse(QRectF(3.5, 2.5, 3, 3));  // highlight
    g.end();
    return toIndexed(img);
}

QCursor handCursor() {
    // A pointing hand whose fingertip is the hot spot (13, 6).
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter g(&pm);
    g.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    hand.addRoundedRect(QRectF(11, 5, 5, 14), 2.5, 2.5);   // index finger
    hand.addRoundedRect(QRectF(16, 11, 4, 9), 2, 2);       // middle
    hand.addRoundedRect(QRectF(20, 12, 4, 8), 2, 2);       // ring
    hand.addRoundedRect(QRectF(24, 13, 3.5, 7), 1.75, 1.75);  // little
    hand.addRoundedRect(QRectF(6, 15, 7, 4), 2, 2);        // thumb
    hand.addRoundedRect(QRectF(10, 17, 17.5, 10), 3, 3);   // palm
    g.setPen(QPen(Qt::black, 1));
    g.setBrush(Qt::white);
    g.drawPath(hand.simplified());
    g.end();
    return QCursor(pm, 13, 6);
}

}  // namespace q47::twain_source

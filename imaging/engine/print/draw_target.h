// What a drawing entry draws on: a printer's page, a preview picture, or an engine image
// (painted as a picture and written back into the DIB when the drawing ends).
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <memory>

#include "imaging/engine/core/object_table.h"
#include "imaging/engine/print/ik_print_api.h"
#include "imaging/engine/print/print_objects.h"

namespace q47::ik::print {

class DrawTarget {
public:
    // False with the engine status set when the target is not one of ours, or a
    // printer's context is not inside a page.
    bool open(uintptr_t target, int32_t deviceMode);
    ~DrawTarget();
    QPainter& painter() { return *painter_; }
    // The picture drawn on, for reading pixels; null for a printer.
    QImage* picture() { return picture_; }
    // The device the painter works on (for font metrics).
    QPaintDevice* device() { return painter_->device(); }
    // Pictures take raster operations; printers only copy.
    bool isPicture() const { return picture_ != nullptr; }

private:
    DcPtr dc_;
    ObjectPtr image_;
    QImage work_;            // an engine image while it is drawn on
    QImage* picture_ = nullptr;
    std::unique_ptr<QPainter> own_;  // for pictures
    QPainter* painter_ = nullptr;
};

// Engine DIB <-> picture. Palette images return with each pixel the nearest entry of
// their own table, so the colour table never changes under its users.
QImage toPicture(const DibImage& image);
void writeBack(const QImage& picture, DibImage* image);

QColor colourOf(uint32_t colorref);
uint32_t colorrefOf(QRgb rgb);
// Pen, brush and drawing mode of a drawing record on that target.
void applyDrawInfo(const IKPRINT_DRAWINFO& draw, DrawTarget& target);
QFont fontOf(const IKPRINT_TEXTINFO& info);
// A rectangle of the record (right and bottom excluded) as the figure's outline.
QRect outline(const int32_t* ltrb);

// Flood fill on a picture from (x, y) with colour: up to `limit` (border mode) or over
// the area of `limit` (surface mode). False when the start is outside.
bool floodFill(QImage* picture, int x, int y, QRgb limit, bool surface, QRgb colour);

}  // namespace q47::ik::print

// The home-made tips: size and placement around the hovered button, drawing with an etched edge.
#include "twain_source/view/tip_window.h"

#include <QFont>
#include <QPainter>

#include <algorithm>

namespace q47::twain_source {

namespace {
constexpr int kFontHeight = 14;
constexpr int kShrunkFontHeight = 12;
constexpr int kTextLeft = 8;
constexpr int kTextTop = 5;
}  // namespace

// Edges are taken as a window rectangle has them: right and bottom lie just outside.
TipGeometry tipGeometry(const QRect& dialog, const QRect& button, int lines, int longestLine) {
    const int dLeft = dialog.x(), dRight = dialog.x() + dialog.width();
    const int dBottom = dialog.y() + dialog.height();
    const int cLeft = button.x(), cRight = button.x() + button.width();
    const int cTop = button.y(), cBottom = button.y() + button.height();

    TipGeometry g;
    g.fontHeight = kFontHeight;
    int height = lines * (kFontHeight - 1) + 12;
    int width = int(10 + 7.5 * longestLine);  // fraction dropped

    int top = cBottom - (cBottom - cTop) / 2;
    if (top + height > dBottom) {
        if (height > dialog.height()) {
            g.fontHeight = kShrunkFontHeight;
            height = lines * (kShrunkFontHeight - 1) + 12;
            width = 7 * longestLine + 10;
        }
        top = dBottom - 1 - height;
    }
    const int middle = cRight - (cRight - cLeft) / 2;
    int left = middle;
    if (left + width > dRight) {
        left = middle - width;  // ends at the button's middle instead
        if (left < dLeft) left = dLeft + 1;
    }
    g.rect = QRect(left, top, width, height);
    return g;
}

void TipWindow::add(int id, const QStringList& lines, const QColor& background, const QColor& text) {
    remove(id);
    entries_.push_back({id, lines, background, text});
}

void TipWindow::remove(int id) {
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

const TipWindow::Entry* TipWindow::entry(int id) const {
    for (const auto& e : entries_)
        if (e.id == id) return &e;
    return nullptr;
}

QRect TipWindow::show(int id, const QRect& dialog, const QRect& button) {
    QRect dirty = hide();
    const Entry* e = entry(id);
    if (!e) return dirty;
    int longest = 0;
    for (const auto& line : e->lines) longest = std::max(longest, int(line.size()));
    const TipGeometry g = tipGeometry(dialog, button, int(e->lines.size()), longest);
    shown_ = id;
    rect_ = g.rect;
    fontHeight_ = g.fontHeight;
    return dirty.united(rect_);
}

QRect TipWindow::hide() {
    const QRect dirty = rect_;
    shown_ = 0;
    rect_ = QRect();
    return dirty;
}

void TipWindow::paint(QPainter& p) const {
    const Entry* e = shown_ ? entry(shown_) : nullptr;
    if (!e || rect_.isEmpty()) return;
    p.save();
    p.setBackgroundMode(Qt::TransparentMode);
    p.fillRect(rect_, e->background);
    // Etched edge: a sunken line with a raised one inside it.
    const QRect r = rect_.adjusted(0, 0, -1, -1);
    const QColor shadow(160, 160, 160), light(Qt::white);
    p.setPen(shadow);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(light);
    p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
    p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());

    QFont font("Courier New");
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(fontHeight_);
    font.setWeight(QFont::Normal);
    p.setFont(font);
    p.setPen(e->text);
    const int ascent = p.fontMetrics().ascent();
    int y = rect_.top() + kTextTop;
    for (const auto& line : e->lines) {
        p.drawText(rect_.left() + kTextLeft, y + ascent, line);
        y += fontHeight_ - 1;
    }
    p.restore();
}

}  // namespace q47::twain_source

// The home-made tips over the panel's buttons: entries, geometry, and drawing on the dialog.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;

namespace q47::twain_source {

// Where a tip goes, in the dialog's client coordinates. dialog is the dialog's window
// rectangle, button the button's rectangle; both in client coordinates.
struct TipGeometry {
    QRect rect;
    int fontHeight = 14;  // 12 after shrinking
};
TipGeometry tipGeometry(const QRect& dialog, const QRect& button, int lines, int longestLine);

class TipWindow {
public:
    struct Entry {
        int id;
        QStringList lines;
        QColor background, text;
    };

    void add(int id, const QStringList& lines, const QColor& background, const QColor& text);
    void remove(int id);
    const Entry* entry(int id) const;

    // Shows the tip of id for button in dialog (nothing when id has no entry); the dialog
    // repaints the returned rectangle. Returns the rectangle to repaint (old and new).
    QRect show(int id, const QRect& dialog, const QRect& button);
    // Hides the tip on screen; returns the rectangle to repaint.
    QRect hide();
    // Draws the tip on screen, if any (called from the dialog's paint event).
    void paint(QPainter& p) const;

    int shownId() const { return shown_; }
    const QRect& shownRect() const { return rect_; }
    int fontHeight() const { return fontHeight_; }

private:
    std::vector<Entry> entries_;
    int shown_ = 0;
    QRect rect_;
    int fontHeight_ = 14;
};

}  // namespace q47::twain_source

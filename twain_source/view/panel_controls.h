// The window's own controls: ColorLabel (coloured static text) and the four-picture PictureButton.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QPixmap>

#include <array>
#include <functional>

#include "twain_source/view/key_pictures.h"

namespace q47::twain_source {

// Static text with its own text colour (blue unless told), the dialog's background and
// a font it owns.
class ColorLabel : public QLabel {
public:
    explicit ColorLabel(QWidget* parent);
    void setTextColour(const QColor& c);
    QColor textColour() const { return text_; }
    // A point font of that face whose weight is replaced by weight (100..900 as the
    // settings give it; 0 means normal).
    void setFont(int pointSize, const QString& face, int weight);

private:
    QColor text_{0, 0, 255};
};

// A button drawn from four pictures: up, down (pressed), focused and disabled, sized
// to them. Hovering gives it the focus and reports it (the window shows the tip).
class PictureButton : public QAbstractButton {
public:
    PictureButton(KeySymbol key, QWidget* parent);
    KeySymbol key() const { return key_; }
    // The picture currently drawn.
    KeyFace currentFace() const;
    const QImage& picture(KeyFace face) const { return pictures_[size_t(face)]; }
    std::function<void()> onHover;

    QSize sizeHint() const override { return QSize(kKeyWidth, kKeyHeight); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    KeySymbol key_;
    std::array<QImage, 4> pictures_;
};

// Weight of the settings (Windows' 0..1000 scale, 0 = don't care) as a Qt weight.
QFont::Weight fontWeight(int weight);

}  // namespace q47::twain_source

// ColorLabel and PictureButton.
#include "twain_source/view/panel_controls.h"

#include <QMouseEvent>
#include <QPainter>

namespace q47::twain_source {

namespace {
const QColor kDialogBack(236, 233, 216);
}

QFont::Weight fontWeight(int weight) {
    if (weight <= 0) return QFont::Normal;  // "don't care"
    if (weight > 1000) weight = 1000;
    return QFont::Weight(weight);
}

ColorLabel::ColorLabel(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kDialogBack);
    pal.setColor(QPalette::WindowText, text_);
    setPalette(pal);
}

void ColorLabel::setTextColour(const QColor& c) {
    text_ = c;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, c);
    setPalette(pal);
}

void ColorLabel::setFont(int pointSize, const QString& face, int weight) {
    QFont f(face);
    // A size of 0 or less (an unreadable value) keeps the default size, as a font
    // request of height 0 does.
    if (pointSize > 0) f.setPointSize(pointSize);
    f.setWeight(fontWeight(weight));
    QLabel::setFont(f);
}

PictureButton::PictureButton(KeySymbol key, QWidget* parent) : QAbstractButton(parent), key_(key) {
    for (KeyFace f : {KeyFace::Up, KeyFace::Down, KeyFace::Focused, KeyFace::Disabled})
        pictures_[size_t(f)] = keyPicture(key, f);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(handCursor());  // the hand over the button, whatever moves the mouse there
    resize(pictures_[0].size());  // the pictures decide the size
}

KeyFace PictureButton::currentFace() const {
    if (!isEnabled()) return KeyFace::Disabled;
    if (isDown()) return KeyFace::Down;
    if (hasFocus()) return KeyFace::Focused;
    return KeyFace::Up;
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, pictures_[size_t(currentFace())]);
}

void PictureButton::mouseMoveEvent(QMouseEvent* e) {
    if (isEnabled()) setFocus(Qt::MouseFocusReason);
    if (onHover) onHover();
    QAbstractButton::mouseMoveEvent(e);
    e->accept();  // the dialog must not see this move: it would take the tip away again
}

}  // namespace q47::twain_source

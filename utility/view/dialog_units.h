// Dialog units: control positions in the units of the dialog font, as dialog templates give them.
#pragma once

#include <QFont>
#include <QRect>

namespace q47::utility {

// A horizontal dialog unit is a quarter of the font's average character width (the
// width of the 52 letters A-Z and a-z over 52, rounded), a vertical one an eighth of
// its height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseWidth, int baseHeight) : baseX_(baseWidth), baseY_(baseHeight) {}
    int x(int du) const { return (du * baseX_ + 2) / 4; }
    int y(int du) const { return (du * baseY_ + 4) / 8; }
    QRect rect(int x0, int y0, int w, int h) const { return QRect(x(x0), y(y0), x(w), y(h)); }
    int baseWidth() const { return baseX_; }
    int baseHeight() const { return baseY_; }

  private:
    int baseX_ = 6, baseY_ = 13;
};

// layoutButtons' arithmetic: the x of button i (0 Reset, 1 OK, 2 Cancel, 3 Apply) in a
// client area cw wide for buttons bw wide.
int bottomButtonX(int index, int cw, int bw);

}  // namespace q47::utility

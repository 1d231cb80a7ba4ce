// Dialog-unit conversion and the bottom button row.
#include "utility/view/dialog_units.h"

#include <QFontMetrics>

namespace q47::utility {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int letters =
        fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = fm.height();
}

int bottomButtonX(int index, int cw, int bw) {
    const int gap = (cw - 4 * bw - bw / 3) / 3;
    switch (index) {
        case 0:
            return bw / 6;
        case 1:
            return bw + bw / 6 + gap;
        case 2:
            return bw / 6 + 2 * (bw + gap);
        default:
            return 3 * bw + 3 * gap + bw / 6;
    }
}

}  // namespace q47::utility

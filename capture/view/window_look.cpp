// Font, hint delay and centring shared by the capture program's windows.
#include "capture/view/window_look.h"

#include <QApplication>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleHintReturn>

namespace q47::capture {

namespace {

int hintDelay = 500;

// Qt reads the tooltip wake-up delay from the style; this style answers with ours.
class HintDelayStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return hintDelay;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

}  // namespace

QFont SettingsFont(const AppSettings& s) {
    QFont f(QString::fromStdString(s.Mode_Font));
    if (s.Mode_Font_Size > 0) f.setPointSize(s.Mode_Font_Size);
    return f;
}

void SetHintDelay(int ms) {
    hintDelay = ms;
    if (qApp && !dynamic_cast<HintDelayStyle*>(qApp->style())) qApp->setStyle(new HintDelayStyle);
}

int HintDelay() {
    return hintDelay;
}

void CentreOnScreen(QWidget& w) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    w.move(area.left() + (area.width() - w.width()) / 2, area.top() + (area.height() - w.height()) / 2);
}

}  // namespace q47::capture

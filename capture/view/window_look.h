// What the capture program's windows share: the settings font, the hint delay, centring.
#pragma once

#include <QFont>
#include <QWidget>

#include "capture/settings.h"

namespace q47::capture {

// Mode_Font at Mode_Font_Size points.
QFont SettingsFont(const AppSettings& settings);
// How long the pointer rests before a hint shows, in ms.
void SetHintDelay(int ms);
int HintDelay();
// Centres the window on the screen that holds it (the primary screen when none).
void CentreOnScreen(QWidget& window);

}  // namespace q47::capture

// The panel's pictures, drawn at start-up: the five keys in four faces, the lamps, the hand cursor.
#pragma once

#include <QCursor>
#include <QImage>
#include <QPixmap>

namespace q47::twain_source {

enum class KeySymbol { PcScan, Comp, Density, Color, Stop };
// U (up), D (down), F (focused), X (disabled): the pictures' name suffixes.
enum class KeyFace { Up, Down, Focused, Disabled };

constexpr int kKeyWidth = 54;
constexpr int kKeyHeight = 58;
constexpr int kLampWidth = 12;
constexpr int kLampHeight = 11;

// "PCSCAN", "COMP", "DENSITY", "COLOR", "STOP".
const char* keyName(KeySymbol key);
// A 54 x 58 key picture with 8 bits per pixel (indexed colours).
QImage keyPicture(KeySymbol key, KeyFace face);
// LED_ON (green) or LED_OFF (grey), 12 x 11.
QImage lampPicture(bool on);
// The hand shown over the buttons: 32 x 32, hot spot at 13, 6.
QCursor handCursor();

}  // namespace q47::twain_source

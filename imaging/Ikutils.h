// Helpers shared by the components: DIB <-> QImage, colour tables, the host services the
// engine borrows (clipboard, file dialogs) and the shared clip record.
#pragma once

#include <QImage>
#include <QList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "imaging/engine/ik_api.h"
#include "platform/dib.h"

// The shared clip record: an image handle the display keeps for cut and paste; the last
// TerminateIK frees it.
struct TClipRecord {
    IKHANDLE Handle = 0;
    int Left = 0, Top = 0;
};
extern TClipRecord g_Clip;

namespace Ikutils {

// The colour table of a packed DIB header (and the table right after it) as Qt colours.
QList<QRgb> CreateBIPalette(const q47::dib::BitmapInfoHeader* header, size_t size);
// A packed DIB (any depth q47::dib::parse takes) as a QImage; null on bad bytes.
QImage dibToQImage(const uint8_t* dib, size_t size);
// A QImage as a packed DIB: 1- and 8-bit indexed pictures keep their table, everything
// else becomes 24 bits; empty for a null image.
std::vector<uint8_t> qimageToDib(const QImage& image);

// The window the engine passes back to the host: a widget pointer, or 0 for the
// application's main window.
IKWINDOW windowOf(QObject* owner);

void installHostServices();
void removeHostServices();
void releaseClip();

}  // namespace Ikutils

// Saving the composite and the scanned sheet: SaveImage, SaveComposite, the save commands.
#include "capture/image_window.h"

namespace q47::capture {

int TfrmImg::SaveImage(const QString&, IKHANDLE, int) { return 8; }
int TfrmImg::SaveComposite(const QString&, int) { return -1; }
void TfrmImg::SpeedButton1Click() {}
void TfrmImg::Save1Click() {}
void TfrmImg::OverWrite1Click() {}

}  // namespace q47::capture

// Printing the composite: Print1Click and PrintImage through the print component.
#include "capture/image_window.h"

namespace q47::capture {

void TfrmImg::Print1Click() {}
int TfrmImg::PrintImage(IKHANDLE) { return 0; }

}  // namespace q47::capture

// Ikdisp: the display component's unit name; TVIkDisp, TCRaster and TCVector are in
// display_widget.h (Qt view) over display_geometry and display_compose (no Qt).
#pragma once

#include "imaging/display_widget.h"

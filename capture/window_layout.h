// Where the image window goes and how large its display is: placement after a new
// sheet, the layout on resize, and the monitor the window opens on.
#pragma once

#include <cstdint>
#include <vector>

#include "capture/composition_geometry.h"

namespace q47::capture {

// The window around a display of the largest size: 20 wider, 110 higher.
Size WindowForDisplay(Size display);

// The window's place after a new sheet: top = monitor top + 16, left centred on the
// primary display's width and moved by the monitor's left.
Point WindowPlace(Size window, int32_t screenWidth, Point monitorOrigin);

// The display inside a client area of the given size: at (4, 44), the aspect kept (2:3
// taken as 0.666, 1:2 as 0.5) inside the client less 10 across and 44 down, never larger
// than `largest`; a maximised window takes `largest`.
Size DisplayInClient(Size client, SheetAspect aspect, Size largest, bool maximised);

// The smallest window the layout allows.
constexpr Size kMinimumWindow{130, 90};

// The origin of the last monitor (in the given order) whose left and top are not greater
// than the bar's; (0, 0) when none is.
struct MonitorRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
Point RememberedMonitorOrigin(const std::vector<MonitorRect>& monitors, Point bar);

}  // namespace q47::capture

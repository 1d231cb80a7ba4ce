// Image window placement and layout rules.
#include "capture/window_layout.h"

#include <algorithm>

namespace q47::capture {

Size WindowForDisplay(Size display) { return {display.width + 20, display.height + 110}; }

Point WindowPlace(Size window, int32_t screenWidth, Point monitorOrigin) {
    return {(screenWidth - window.width) / 2 + monitorOrigin.x, monitorOrigin.y + 16};
}

Size DisplayInClient(Size client, SheetAspect aspect, Size largest, bool maximised) {
    if (maximised) return largest;
    const double ratio = aspect == SheetAspect::TwoThirds ? 0.666 : 0.5;
    int32_t width = std::max(0, client.width - 10);
    const int32_t room = std::max(0, client.height - 44);
    int32_t height = static_cast<int32_t>(width * ratio);
    if (height > room) {
        height = room;
        width = static_cast<int32_t>(room / ratio);
    }
    if (largest.width > 0 && width > largest.width) {
        width = largest.width;
        height = largest.height;
    }
    return {width, height};
}

Point RememberedMonitorOrigin(const std::vector<MonitorRect>& monitors, Point bar) {
    Point origin{0, 0};
    for (const MonitorRect& m : monitors)
        if (m.left <= bar.x && m.top <= bar.y) origin = {m.left, m.top};
    return origin;
}

}  // namespace q47::capture

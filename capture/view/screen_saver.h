// Whether the desktop's screen saver is running (Timer1 then leaves the windows alone).
#pragma once

namespace q47::capture {

// The X11 screen saver extension's state on an X display; false elsewhere or without it.
bool ScreenSaverRunning();

}  // namespace q47::capture

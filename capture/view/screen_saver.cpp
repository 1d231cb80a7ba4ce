// The screen saver query through the X11 screen saver extension.
#include "capture/view/screen_saver.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace q47::capture {

bool ScreenSaverRunning() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return false;
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(display, &event, &error)) return false;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return false;
    bool on = false;
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info)) on = info->state == ScreenSaverOn;
    XFree(info);
    return on;
}

}  // namespace q47::capture

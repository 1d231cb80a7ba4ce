// Where DS_Entry's work runs: the thread that owns the Qt application.
//
// A host with a QApplication has its GUI thread do the work; a call from another thread
// of that host is handed over and waited for. A host without one (a console TWAIN
// application waiting on its callback) gets a thread of the source's own, started at
// the first call that needs a window: it creates the QApplication, runs its event loop
// for the rest of the process, and every DS_Entry call from then on is handed to it.
// A host with a QCoreApplication or QGuiApplication (where no widgets can exist) gets
// an own thread as well, running a bare event loop for the source's timers.
// Before that, calls run on the caller's thread: nothing else runs in the source yet.
#pragma once

#include <functional>

namespace q47::twain_source {

class GuiThread {
public:
    // Runs work on the Qt thread and waits for it. needsQt starts the source's own Qt
    // thread when the host has no application; without needsQt, and when no Qt thread
    // can be had, work runs here. False, with work not run, once the process has
    // passed the exit step (the own thread runs no event loop any more).
    static bool run(const std::function<void()>& work, bool needsQt);
    // True on the thread that owns the Qt application (false when there is none).
    static bool onQtThread();
    // Registered to run at exit once the own thread runs: cleanup runs on the Qt
    // thread (ending windows), then its event loop stops, and exit waits (bounded)
    // until the thread has left every nested loop.
    static void setExitCleanup(std::function<void()> cleanup);
    // Registers the exit step again, so that it runs before the exit handlers of the
    // Qt objects made since (the pixmap cache, fonts) destroy them from the wrong thread.
    // Called when a window ends: a handful of times per session, never per strip.
    static void renewExitStep();
};

}  // namespace q47::twain_source

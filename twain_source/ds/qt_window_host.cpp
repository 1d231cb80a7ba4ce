// Creating and ending the AcquireWindow for DS_Entry.
#include "twain_source/ds/qt_window_host.h"

#include <QApplication>

#include <cstdio>

#include "platform/paths.h"
#include "twain_source/ds/headless_window.h"
#include "twain_source/view/acquire_window.h"


namespace q47::twain_source {

QtWindowHost::~QtWindowHost() {
    if (exists_) destroy();
}

bool QtWindowHost::create(WindowMode mode, TwainSide& twain, SourceGlobals& globals) {
    const SettingsFile settings = SettingsFile::inSettingsFolder(
        paths::moduleFolder(reinterpret_cast<const void*>(&DS_Entry)));
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // Qt allows one application object per process, and this host's has no widgets.
        if (mode == WindowMode::Full) {
            std::fprintf(stderr,
                         "Q47tw: this application has no QApplication, so the data source "
                         "cannot show its panel; enable it with ShowUI FALSE\n");
            return false;
        }
        headless_ = new HeadlessWindow(mode, twain, globals, settings, "");
        exists_ = true;
        headless_->start();
        return true;
    }
    window_ = new AcquireWindow(mode, twain, globals, settings, "");
    exists_ = true;
    // Initialisation may already ask the application to close (no board), and the
    // application may disable the source from inside that callback.
    window_->start();
    return true;
}

void QtWindowHost::destroy() {
    exists_ = false;
    if (headless_) {
        headless_->end();
        headless_ = nullptr;
    }
    if (!window_) return;
    // This may run inside one of the window's own calls (a timer, a box, a wait for
    // the board): the window goes once they have all returned.
    window_->end();
    window_ = nullptr;
}

}  // namespace q47::twain_source

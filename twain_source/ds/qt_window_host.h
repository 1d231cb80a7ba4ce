// The data source's window in the module: an AcquireWindow per MSG_ENABLEDS, in any of the three modes.
#pragma once

#include <QPointer>

#include "twain_source/ds/data_source.h"

namespace q47::twain_source {

class AcquireWindow;
class HeadlessWindow;

// Runs on the thread of the Qt application (the host's GUI thread or the source's own).
class QtWindowHost : public WindowHost {
public:
    ~QtWindowHost() override;
    // Hidden mode gets an AcquireWindow as well: it is laid out but never shown, and its
    // Qt timers drive the board link. A host without a QApplication (a QCoreApplication
    // or QGuiApplication) can have no widgets: progress-only and hidden modes then run
    // on a HeadlessWindow, and the full panel is refused (false, the reason on stderr).
    bool create(WindowMode mode, TwainSide& twain, SourceGlobals& globals) override;
    // The core stops at once and an open box closes; the QDialog deletes itself once
    // none of its calls runs any more (this may run inside one of them).
    void destroy() override;
    bool exists() const override { return exists_; }

private:
    QPointer<AcquireWindow> window_;
    QPointer<HeadlessWindow> headless_;
    bool exists_ = false;
};

}  // namespace q47::twain_source

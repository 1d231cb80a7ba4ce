// The data source's "window" in a host that has a QCoreApplication or QGuiApplication:
// no widgets can exist there (one application object per process), so the acquisition
// runs without any, on Qt timers of the source's own thread.
#pragma once

#include <QObject>

#include <memory>

#include "twain_source/acquire_dialog.h"
#include "twain_source/view/qt_platform.h"

namespace q47::twain_source {

// What the window would show goes nowhere; what a box would say goes to standard error.
class HeadlessWindow : public QObject, private AcquireView, private Notifier {
public:
    HeadlessWindow(WindowMode mode, TwainSide& twain, SourceGlobals& globals,
                   SettingsFile settings, std::string deviceSpec);
    ~HeadlessWindow() override;

    AcquireDialog& core() { return *core_; }
    void start();
    // As AcquireWindow::end: the core stops now; the object goes once none of its calls
    // (a wait for the board, the image loop) is running any more.
    void end();

private:
    // AcquireView: nothing to show.
    void showStatus(const std::string&) override {}
    void setPanelReady(bool, const PanelButtons&) override {}
    void enableStopClose(bool) override {}
    void setProgressBarVisible(bool) override {}
    void showProgress(int) override {}
    void refreshPanel(const PanelContent&) override {}
    void layoutWindow(WindowMode) override {}
    void hideWindow() override {}
    // Notifier: standard error, answered as OK.
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon,
                         MsgButtons buttons) override;

    QtTimerHost timers_;
    QtPump pump_;
    std::unique_ptr<AcquireDialog> core_;
    int running_ = 0;
    bool endRequested_ = false;
};

}  // namespace q47::twain_source

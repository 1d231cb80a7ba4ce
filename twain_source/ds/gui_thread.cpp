// The source's own Qt thread, and handing DS_Entry calls to whichever thread runs Qt.
#include "twain_source/ds/gui_thread.h"
#include "twain_source/view/qt_platform.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QPixmapCache>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

namespace q47::twain_source {

namespace {

std::mutex startMutex;
// Created by the own thread and never deleted; published after ownThreadId is set.
std::atomic<QApplication*> ownApp{nullptr};
// The object whose thread runs the source's own event loop: ownApp, or in a host with
// a QCoreApplication or QGuiApplication (no widgets possible) a plain object of the
// own thread, which then runs a bare event loop (ownLoop).
std::atomic<QObject*> ownContext{nullptr};
QEventLoop* ownLoop = nullptr;
std::thread::id ownThreadId;
std::function<void()> exitCleanup;

// QApplication keeps references to argc and argv for its whole life.
int ownArgc = 1;
char ownName[] = "Q47tw";
char platformOption[] = "-platform";
char offscreenName[] = "offscreen";
char* ownArgv[] = {ownName, nullptr, nullptr, nullptr};

// Without any display a QApplication would abort the host; the windows of a console
// application's scan then live off screen (progress-only and hidden modes still work).
void chooseOffscreenWithoutDisplay() {
    if (std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))
        return;
    ownArgv[1] = platformOption;
    ownArgv[2] = offscreenName;
    ownArgc = 3;
    setMessageBoxesUnseen(true);
}

// The console is the host application's: Qt's debug and info lines stay out of it, and
// so do the warnings that only say the source runs outside a desktop session (no
// runtime folder, an off-screen platform that cannot pass size hints on).
QtMessageHandler hostHandler = nullptr;
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    if (type == QtWarningMsg && (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set") ||
                                 message.contains("does not support propagateSizeHints()")))
        return;
    if (hostHandler) {
        hostHandler(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

std::atomic<bool> stopped{false};
// Set by the own thread once its event loop has returned: no call of the source is on
// its stack any more (a box, a wait for the board), so exit may tear things down.
std::mutex parkMutex;
std::condition_variable parkedChanged;
bool parked = false;
// How long exit waits for the own thread to leave its nested loops.
constexpr auto kExitWait = std::chrono::seconds(10);

// At exit, on the Qt thread: the windows end (closing the board), the objects still
// waiting for deletion go, the pixmap cache stops its timer, and the event loop stops.
// The Qt objects that live on past this belong to a thread that no longer runs.
void stopOwnThread() {
    QObject* context = ownContext.load();
    if (!context || std::this_thread::get_id() == ownThreadId || stopped.exchange(true)) return;
    QMetaObject::invokeMethod(
        context,
        [] {
            if (exitCleanup) exitCleanup();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if (QApplication* app = ownApp.load()) {
                QPixmapCache::clear();
                app->quit();
            } else if (ownLoop) {
                ownLoop->quit();
            }
        },
        Qt::BlockingQueuedConnection);
    // The step above may have run inside a nested loop of the thread (a box the
    // cleanup has just closed, a wait for the board): the thread is still unwinding
    // it. The exit handlers must not destroy what it is using meanwhile.
    std::unique_lock lock(parkMutex);
    parkedChanged.wait_for(lock, kExitWait, [] { return parked; });
}

void park() {
    {
        std::lock_guard lock(parkMutex);
        parked = true;
    }
    parkedChanged.notify_all();
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
}

// The own thread: creates the application, reports it, runs the event loop. When the
// loop ends at exit the thread stays parked: its Qt objects must not be torn down
// while the rest of the process is exiting around them.
void ownThreadMain(std::promise<QApplication*>* ready) {
    chooseOffscreenWithoutDisplay();
    hostHandler = qInstallMessageHandler(quietMessages);
    auto* app = new QApplication(ownArgc, ownArgv);
    // The last window closing (a progress window hidden after an error) must not end
    // the source's event loop.
    app->setQuitOnLastWindowClosed(false);
    ready->set_value(app);
    app->exec();
    park();
}

// The own thread in a host whose application has no widgets: a bare event loop runs
// the source's timers; the host's application object stays the only one.
void plainThreadMain(std::promise<QObject*>* ready) {
    QEventLoop loop;
    ownLoop = &loop;
    ready->set_value(new QObject);
    loop.exec();
    park();
}

QObject* startPlainThread() {
    std::lock_guard lock(startMutex);
    if (QObject* context = ownContext.load()) return context;
    std::promise<QObject*> ready;
    std::future<QObject*> started = ready.get_future();
    std::thread thread(plainThreadMain, &ready);
    ownThreadId = thread.get_id();
    thread.detach();
    QObject* context = started.get();
    ownContext.store(context);
    // The host's application may go before the exit handlers run (an object in main):
    // the source's timers must stop while it is still there.
    qAddPostRoutine(stopOwnThread);
    std::atexit(stopOwnThread);
    return context;
}

QCoreApplication* startOwnThread() {
    std::lock_guard lock(startMutex);
    if (QCoreApplication* app = QCoreApplication::instance()) return app;
    std::promise<QApplication*> ready;
    std::future<QApplication*> started = ready.get_future();
    std::thread thread(ownThreadMain, &ready);
    ownThreadId = thread.get_id();
    thread.detach();
    QApplication* app = started.get();
    ownApp.store(app);
    ownContext.store(app);
    // Registered after Qt's own start-up, so it runs before Qt's exit handlers.
    std::atexit(stopOwnThread);
    return app;
}

}  // namespace

bool GuiThread::onQtThread() {
    if (ownContext.load()) return std::this_thread::get_id() == ownThreadId;
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void GuiThread::renewExitStep() {
    if (ownContext.load() && !stopped.load()) std::atexit(stopOwnThread);
}

void GuiThread::setExitCleanup(std::function<void()> cleanup) { exitCleanup = std::move(cleanup); }

bool GuiThread::run(const std::function<void()>& work, bool needsQt) {
    // After the exit step the own thread runs no event loop any more: a call handed to
    // it would wait for ever (a host cleaning up from atexit or a static destructor).
    if (stopped.load()) return false;
    QCoreApplication* app = QCoreApplication::instance();
    QObject* context = ownContext.load();
    if (!context && needsQt)
        context = !app ? startOwnThread()
                  : !qobject_cast<QApplication*>(app) ? startPlainThread()
                                                       : nullptr;
    // The host's GUI thread runs a QApplication host's source; anything else without
    // an own thread yet (identity queries of a plain host) runs on the caller's thread.
    if (!context) context = qobject_cast<QApplication*>(app);
    if (!context || onQtThread()) {
        work();
        return true;
    }
    QMetaObject::invokeMethod(context, work, Qt::BlockingQueuedConnection);
    return true;
}

}  // namespace q47::twain_source

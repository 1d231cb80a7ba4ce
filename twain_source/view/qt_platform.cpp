// Window timers on QObject timers, the pump on processEvents, message boxes on QMessageBox.
#include "twain_source/view/qt_platform.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <QTimerEvent>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace q47::twain_source {

namespace {
constexpr int kShortestPeriodMs = 10;  // a window timer never runs faster
// -1: decided by the platform in use; 0: shown; 1: to standard error.
std::atomic<int> unseenBoxes{-1};

// A platform plugin that puts nothing on any screen, or no display to show on.
bool platformShowsNothing() {
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") return true;
    return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
}
}  // namespace

void setMessageBoxesUnseen(bool unseen) { unseenBoxes = unseen ? 1 : 0; }
void setMessageBoxesByPlatform() { unseenBoxes = -1; }
bool messageBoxesUnseen() {
    const int set = unseenBoxes;
    return set < 0 ? platformShowsNothing() : set != 0;
}


QtTimerHost::~QtTimerHost() { stopAll(); }

void QtTimerHost::start(int id, int ms) {
    stop(id);
    const int period = ms < kShortestPeriodMs ? kShortestPeriodMs : ms;
    running_[id] = {startTimer(period, Qt::PreciseTimer), period};
}

void QtTimerHost::stop(int id) {
    auto it = running_.find(id);
    if (it == running_.end()) return;
    killTimer(it->second.qtId);
    running_.erase(it);
}

void QtTimerHost::stopAll() {
    for (auto& [id, t] : running_) killTimer(t.qtId);
    running_.clear();
}

void QtTimerHost::timerEvent(QTimerEvent* e) {
    for (auto& [id, t] : running_) {
        if (t.qtId != e->timerId()) continue;
        // Qt never delivers a timer again while its own handler runs, but a window timer
        // does: the core's waits dispatch messages from inside a tick and may need the
        // very timer that is running. Re-arming under a fresh Qt id keeps the period and
        // lets the nested dispatch see it.
        const int fixedId = id;
        killTimer(t.qtId);
        t.qtId = startTimer(t.period, Qt::PreciseTimer);
        fire(fixedId);  // may start or stop any timer, this one included
        return;
    }
    killTimer(e->timerId());  // a stale timer of an id that was stopped meanwhile
}

void QtPump::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtPump::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

QtNotifier::~QtNotifier() { closeOpenBox(); }

void QtNotifier::closeOpenBox() {
    if (auto* box = qobject_cast<QMessageBox*>(open_)) box->done(QMessageBox::Ok);
}

MsgResult QtNotifier::messageBox(const std::string& text, const std::string& caption,
                                 MsgIcon icon, MsgButtons buttons) {
    if (messageBoxesUnseen()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
        case MsgIcon::None: qicon = QMessageBox::NoIcon; break;
        case MsgIcon::Information: qicon = QMessageBox::Information; break;
        case MsgIcon::Exclamation: qicon = QMessageBox::Warning; break;
        case MsgIcon::Question: qicon = QMessageBox::Question; break;
        case MsgIcon::Error: qicon = QMessageBox::Critical; break;
    }
    QMessageBox::StandardButtons qbuttons = QMessageBox::Ok;
    switch (buttons) {
        case MsgButtons::Ok: qbuttons = QMessageBox::Ok; break;
        case MsgButtons::OkCancel: qbuttons = QMessageBox::Ok | QMessageBox::Cancel; break;
        case MsgButtons::YesNo: qbuttons = QMessageBox::Yes | QMessageBox::No; break;
        case MsgButtons::YesNoCancel:
            qbuttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
    }
    // A hidden window (progress-only mode hides itself first) is no owner for the box.
    QWidget* owner = parent_ && parent_->isVisible() ? parent_ : nullptr;
    QMessageBox box(qicon, QString::fromStdString(caption), QString::fromStdString(text), qbuttons,
                    owner);
    box.setObjectName("Q47twMessageBox");
    open_ = &box;
    const int answer = box.exec();
    open_ = nullptr;
    switch (answer) {
        case QMessageBox::Cancel: return MsgResult::Cancel;
        case QMessageBox::Yes: return MsgResult::Yes;
        case QMessageBox::No: return MsgResult::No;
        default: return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
}

}  // namespace q47::twain_source

// Qt stand-ins for the core's platform interfaces: window timers, message pump, message boxes.
#pragma once

#include <QObject>
#include <QWidget>

#include <map>

#include "platform/notifier.h"
#include "platform/pump.h"
#include "platform/timer_host.h"

namespace q47::twain_source {

// Fixed timer ids on QObject::startTimer. Qt hands out its own ids, so each fixed id
// maps to the Qt timer running for it; starting a running id restarts it.
class QtTimerHost : public QObject, public TimerHost {
public:
    explicit QtTimerHost(QObject* parent = nullptr) : QObject(parent) {}
    ~QtTimerHost() override;
    void start(int id, int ms) override;
    void stop(int id) override;
    bool isRunning(int id) const override { return running_.count(id) != 0; }
    void stopAll();

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    struct Running {
        int qtId;
        int period;
    };
    std::map<int, Running> running_;  // by fixed id
};

// Dispatches pending events (timers included) of the calling thread; sleeps plainly.
class QtPump : public Pump {
public:
    void processEvents() override;
    void sleepMs(int ms) override;
};

// QMessageBox with the icon and buttons asked for, parented to the window.
// When nobody can see a message box (a platform that shows nothing: offscreen, minimal,
// or no display at all), a modal box would wait for ever and hold up the host. Such
// boxes go to standard error instead and answer as if OK was pressed.
// setMessageBoxesUnseen decides it for the whole process instead (the source's own
// application off screen; tests that drive real boxes on the offscreen platform).
void setMessageBoxesUnseen(bool unseen);
void setMessageBoxesByPlatform();  // back to the default
bool messageBoxesUnseen();

class QtNotifier : public Notifier {
public:
    explicit QtNotifier(QWidget* parent = nullptr) : parent_(parent) {}
    ~QtNotifier() override;
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void setParent(QWidget* parent) { parent_ = parent; }
    // Ends the box that is open, if any, as if it had been closed: its event loop
    // returns once control gets back to it. A box never outlives its window.
    void closeOpenBox();
    bool boxOpen() const { return open_ != nullptr; }

private:
    QWidget* parent_;
    QWidget* open_ = nullptr;  // the QMessageBox while its exec() runs
};

}  // namespace q47::twain_source

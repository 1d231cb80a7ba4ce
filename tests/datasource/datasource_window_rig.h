// The data source window on the real board path: a QApplication, the simulator on a temporary
// socket, the "sim:" channel, real Qt timers, and a TWAIN side that records what it is told.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>
#include <memory>
#include <string>

#include "simulator/simulator.h"
#include "tests/datasource/test_support.h"
#include "twain_source/view/acquire_window.h"

namespace q47::test {

using namespace q47::twain_source;

// One QApplication for the whole test program, made before the first test.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "datasource_window_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

// Dispatches events (Qt timers included) until pred holds or ms pass.
inline bool waitUntil(const std::function<bool()>& pred, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

class RecordingTwainSide : public TwainSide {
public:
    void notifyTransferReady() override { ++ready; }
    void requestClose() override {
        ++closes;
        if (onClose) onClose();
    }
    int ready = 0, closes = 0;
    std::function<void()> onClose;
};

inline sim::Config quickBoard(char letter = 'W') {
    sim::Config c;
    c.modelLetter = letter;
    c.modelName = letter == 'S' ? "Q-47S" : "Q-47W";
    c.firmware = "Ver 1.00";
    c.scanLines = 4096;  // a full W sheet: a scan without the panel keeps it
    c.linePixels = 64;
    c.scanPolls = 2;
    return c;
}

class WindowRig {
public:
    explicit WindowRig(WindowMode mode, sim::Config config = quickBoard()) : simulator(config) {
        socket = (dir / "board.sock").string();
        EXPECT_TRUE(simulator.listen(socket));
        window = std::make_unique<AcquireWindow>(mode, twain, globals, SettingsFile(dir / "Q47Tw.ini"),
                                                 "sim:" + socket);
        // The application answers a close request by disabling the source.
        twain.onClose = [this] { window->core().destroy(); };
    }
    ~WindowRig() {
        window.reset();
        simulator.stop();
    }
    // Starts the window and waits for the first standby status (panel ready).
    bool openReady() {
        window->start();
        return waitUntil([&] { return window->core().scan().standby; });
    }
    template <class W = QWidget>
    W* control(int id) const {
        return qobject_cast<W*>(window->control(id));
    }

    TempDir dir;
    std::string socket;
    sim::Simulator simulator;
    RecordingTwainSide twain;
    SourceGlobals globals;
    std::unique_ptr<AcquireWindow> window;
};

}  // namespace q47::test

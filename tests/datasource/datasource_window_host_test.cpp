// The window as DS_Entry makes and ends it (QtWindowHost): an application that disables,
// closes or exits while the window is inside a message box, a wait for the board or an
// image never pulls the window out from under it; boxes nobody can see go to stderr.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <functional>
#include <memory>

#include "tests/datasource/datasource_window_rig.h"
#include "twain/twain.h"
#include "twain_source/ds/qt_window_host.h"
#include "twain_source/view/acquire_window.h"

// The host looks for its settings beside the module that exports DS_Entry; here that
// is this test program (Q47_HOME points the settings elsewhere anyway).
extern "C" TW_UINT16 DS_Entry(pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
    return TWRC_FAILURE;
}

namespace q47::test {
namespace {

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

QPointer<AcquireWindow> theWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* a = qobject_cast<AcquireWindow*>(w); a && !a->ending()) return a;
    return nullptr;
}

// A source's window host with the board on a temporary socket.
class HostRig {
public:
    explicit HostRig(bool withBoard = true, sim::Config config = quickBoard())
        : simulator(config) {
        setenv("Q47_HOME", dir.path().c_str(), 1);
        const std::string socket = (dir / "board.sock").string();
        setenv("Q47_DEVICE", ("sim:" + socket).c_str(), 1);
        if (withBoard) EXPECT_TRUE(simulator.listen(socket));
    }
    ~HostRig() {
        if (host.exists()) host.destroy();
        // Whatever was ended goes with the events that follow.
        QTest::qWait(50);
        simulator.stop();
        unsetenv("Q47_DEVICE");
        unsetenv("Q47_HOME");
    }
    TempDir dir;
    sim::Simulator simulator;
    RecordingTwainSide twain;
    SourceGlobals globals;
    QtWindowHost host;
};

// Shows the source's boxes on the offscreen platform, where they would otherwise go
// to standard error, for as long as it lives.
struct ShownBoxes {
    ShownBoxes() { setMessageBoxesUnseen(false); }
    ~ShownBoxes() { setMessageBoxesByPlatform(); }
};

// Calls what MSG_DISABLEDS (or MSG_CLOSEDS, or the exit step) does the moment a box of
// the source is open; a box that is still open on the next look is answered by hand
// and counted, so that a box left open fails the test instead of hanging it.
class EndWhileBoxOpen {
public:
    explicit EndWhileBoxOpen(QtWindowHost& host) {
        QObject::connect(&poll_, &QTimer::timeout, [this, &host] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (!ended) {
                ended = true;
                boxText = box->text().toStdString();
                host.destroy();
            } else {
                ++leftOpen;
                box->accept();
            }
        });
        poll_.start(10);
    }
    bool ended = false;
    int leftOpen = 0;
    std::string boxText;

private:
    QTimer poll_;
};

class BoxOpen : public ::testing::TestWithParam<WindowMode> {};

TEST_P(BoxOpen, DisablingWhileTheNoBoardBoxIsOpenClosesTheBoxAndEndsTheWindowAfterIt) {
    ShownBoxes shown;
    HostRig rig(/*withBoard=*/false);
    EndWhileBoxOpen ender(rig.host);
    // MSG_ENABLEDS: the window's start opens the board, fails and shows its box.
    ASSERT_TRUE(rig.host.create(GetParam(), rig.twain, rig.globals));
    EXPECT_TRUE(ender.ended);
    EXPECT_EQ(ender.boxText, "USB could not be opened !");
    EXPECT_EQ(ender.leftOpen, 0) << "the box stayed open after the window was ended";
    EXPECT_FALSE(rig.host.exists());
    ASSERT_TRUE(waitUntil([] { return theWindow() == nullptr; }, 2000));
    // The ended window sends nothing more.
    QTest::qWait(100);
    EXPECT_EQ(rig.twain.closes, 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, BoxOpen,
                         ::testing::Values(WindowMode::Full, WindowMode::ProgressOnly),
                         [](const auto& info) {
                             return info.param == WindowMode::Full ? "Full" : "ProgressOnly";
                         });

TEST(BoxOpen, ABoardErrorBoxOfAProgressWindowEndedFromItsOwnCloseRequestIsSafe) {
    ShownBoxes shown;
    HostRig rig;
    rig.simulator.setError(1);
    // The application answers the close request by disabling: while the box is open,
    // its event loop runs the closing link tick.
    rig.twain.onClose = [&] { rig.host.destroy(); };
    int boxes = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->accept();
        }
    });
    answer.start(10);
    ASSERT_TRUE(rig.host.create(WindowMode::ProgressOnly, rig.twain, rig.globals));
    ASSERT_TRUE(waitUntil([&] { return rig.twain.closes > 0; }, 10000));
    ASSERT_TRUE(waitUntil([] { return theWindow() == nullptr; }, 2000));
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(rig.twain.closes, 1);
}

TEST(NestedLoops, DisablingWhileCancelWaitsForTheBoardEndsTheWindowAfterTheWait) {
    HostRig rig;
    rig.simulator.setScanPolls(100000);
    ASSERT_TRUE(rig.host.create(WindowMode::ProgressOnly, rig.twain, rig.globals));
    QPointer<AcquireWindow> w = theWindow();
    ASSERT_TRUE(w);
    ASSERT_TRUE(waitUntil([&] { return w->core().scan().lastState == board::StateScanPC; }));
    // Close waits up to two seconds for the board's standby, dispatching events; the
    // application disables the source from one of them.
    bool endedInside = false;
    QTimer::singleShot(0, [&] {
        endedInside = w && w->core().scan().lastState == board::StateScanPC;
        rig.host.destroy();
        // The application turns its own event loop for a moment, deferred deletions
        // included, as an application waiting for something does.
        QTest::qWait(10);
    });
    auto* close = qobject_cast<QAbstractButton*>(w->control(IdClose));
    ASSERT_TRUE(close && close->isEnabled());
    close->click();
    EXPECT_TRUE(endedInside);
    ASSERT_TRUE(waitUntil([&] { return w.isNull(); }, 2000));
    EXPECT_EQ(rig.twain.ready, 0);
}

TEST(NestedLoops, DisablingDuringTheImageEndsTheWindowAfterTheImageLoopAndKeepsNothing) {
    sim::Config config = quickBoard();
    config.linePixels = 2000;  // 8 MB: the image loop dispatches events many times
    HostRig rig(true, config);
    ASSERT_TRUE(rig.host.create(WindowMode::Hidden, rig.twain, rig.globals));
    QPointer<AcquireWindow> w = theWindow();
    ASSERT_TRUE(w);
    // Looked at on every dispatch: once the image is being read, the application
    // disables the source.
    bool endedInImage = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!w || !rig.host.exists()) return;
        auto* bar = qobject_cast<QProgressBar*>(w->control(IdProgress));
        if (w->core().statusText() == "Image transfer is in progress..." && bar->value() > 5) {
            endedInImage = true;
            // The application runs a modal loop of its own (its progress dialog, say)
            // and disables the source from inside it.
            QEventLoop own;
            QTimer::singleShot(0, [&] { rig.host.destroy(); });
            QTimer::singleShot(50, &own, &QEventLoop::quit);
            own.exec();
        }
    });
    watch.start(0);
    ASSERT_TRUE(waitUntil([&] { return !rig.host.exists() || rig.twain.ready > 0; }, 60000));
    EXPECT_TRUE(endedInImage);
    ASSERT_TRUE(waitUntil([&] { return w.isNull(); }, 5000));
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_FALSE(rig.globals.imageBuffer.pendingImage);
}

// --- boxes nobody can see ---

TEST(UnseenBoxes, OnAnOffscreenPlatformTheNoBoardBoxGoesToStandardErrorAndEnablingReturns) {
    setMessageBoxesByPlatform();
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    HostRig rig(/*withBoard=*/false);
    int modal = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++modal;
            box->accept();
        }
    });
    answer.start(10);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(rig.host.create(WindowMode::ProgressOnly, rig.twain, rig.globals));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(modal, 0) << "a modal box ran on a screen nobody sees";
    EXPECT_NE(err.find("Q47tw: USB could not be opened !"), std::string::npos) << err;
    ASSERT_TRUE(waitUntil([&] { return rig.twain.closes > 0; }, 2000));
}

}  // namespace
}  // namespace q47::test

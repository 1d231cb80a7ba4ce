// The window on a thread of its own: a console host with no event loop gets its image while the
// source's thread runs the QApplication, the window, its timers and the board link.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <atomic>
#include <thread>

#include "simulator/simulator.h"
#include "tests/datasource/datasource_window_rig.h"

namespace q47::test {
namespace {

// Quits the source's event loop once the image is ready, as the TWAIN side of a host
// that only waits for its callback would hand the work back.
class QuittingTwainSide : public TwainSide {
public:
    void notifyTransferReady() override {
        ++ready;
        onMainThread = std::this_thread::get_id() == mainThread;
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    void requestClose() override { ++closes; }
    std::atomic<int> ready{0}, closes{0};
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMainThread = true;
};

// One application per process, as a loaded source makes it: progress-only mode, which
// shows a real window from that thread.
TEST(WindowOnItsOwnThread, AcquiresWhileTheHostThreadOnlyWaits) {
    {
        const WindowMode mode = WindowMode::ProgressOnly;
        TempDir dir;
        sim::Simulator simulator(quickBoard());
        const std::string socket = (dir / "board.sock").string();
        ASSERT_TRUE(simulator.listen(socket));
        QuittingTwainSide twain;
        SourceGlobals globals;
        bool hadImage = false, wasShown = false;

        std::thread source([&] {
            static int argc = 1;
            static char name[] = "datasource_window_thread";
            static char* argv[] = {name, nullptr};
            QApplication app(argc, argv);
            {
                AcquireWindow window(mode, twain, globals, SettingsFile(dir / "Q47Tw.ini"),
                                     "sim:" + socket);
                QTimer::singleShot(30000, &app, &QCoreApplication::quit);  // a hung link
                QTimer watch;
                QObject::connect(&watch, &QTimer::timeout, [&] { wasShown |= window.isVisible(); });
                watch.start(5);
                window.start();
                app.exec();
                hadImage = bool(globals.imageBuffer.pendingImage);
            }  // the window stops its timers and closes the device on its own thread
        });
        source.join();  // the host thread dispatches nothing meanwhile

        EXPECT_EQ(twain.ready, 1);
        EXPECT_FALSE(twain.onMainThread);
        EXPECT_TRUE(hadImage);
        EXPECT_EQ(wasShown, mode == WindowMode::ProgressOnly);
        EXPECT_EQ(twain.closes, 0);
    }
}

}  // namespace
}  // namespace q47::test

// Q47tw.ds in a host that has its own QApplication: the work runs on the host's GUI thread, other threads are forwarded to it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "ds_test_support.h"
#include "simulator/simulator.h"
#include "twain/twain.h"
#include "twain_test_support.h"

namespace {

using namespace q47::dstest;

struct Heard {
    std::atomic<int> xferReady{0}, closeRequest{0};
    std::atomic<bool> onGuiThread{true};
};
Heard heard;

TW_UINT16 callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
    if (QThread::currentThread() != qApp->thread()) heard.onGuiThread = false;
    if (msg == MSG_XFERREADY) ++heard.xferReady;
    if (msg == MSG_CLOSEDSREQ) ++heard.closeRequest;
    return TWRC_SUCCESS;
}

// Runs the host's event loop until done() holds or the time is up.
bool pumpUntil(const std::function<bool()>& done, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

class QtHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "ds_qt_host";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }
    void SetUp() override {
        mkdir(dir.file("home").c_str(), 0700);
        mkdir(dir.file("runtime").c_str(), 0700);
        setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        setenv("Q47_DEVICE", ("sim:" + dir.file("board.sock")).c_str(), 1);
        setenv("Q47_HOME", dir.file("home").c_str(), 1);
        q47::sim::Config config;
        config.colourLamp = true;
        config.scanMs = 300;
        config.linePixels = 200;
        sim_ = std::make_unique<q47::sim::Simulator>(config);
        ASSERT_TRUE(sim_->listen(dir.file("board.sock")));
        expected_ = q47::sim::Board(config).imageData(true);
    }
    TW_UINT16 dsm(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, bool toSource = true) {
        return DSM_Entry(&app, toSource ? &source : nullptr, dg, dat, msg, data);
    }

    static QApplication* app_;
    TempDir dir;
    std::unique_ptr<q47::sim::Simulator> sim_;
    std::vector<uint8_t> expected_;
    TW_IDENTITY app = q47::twaintest::applicationIdentity("Qt Host");
    TW_IDENTITY source{};
};
QApplication* QtHost::app_ = nullptr;

TEST_F(QtHost, ScansOnTheGuiThreadAndServesCallsFromOtherThreads) {
    ASSERT_EQ(dsm(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, false), TWRC_SUCCESS);
    std::strcpy(source.ProductName, "ZELT Slatewise Q-47 Series");
    ASSERT_EQ(dsm(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source, false), TWRC_SUCCESS);
    TW_CALLBACK2 cb{reinterpret_cast<TW_MEMREF>(&callback), 0, 0};
    ASSERT_EQ(dsm(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &cb), TWRC_SUCCESS);
    TW_ONEVALUE off{TWTY_BOOL, 0};
    TW_CAPABILITY indicators{CAP_INDICATORS, TWON_ONEVALUE, &off};
    ASSERT_EQ(dsm(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &indicators), TWRC_SUCCESS);

    TW_USERINTERFACE ui{0, 0, nullptr};
    ASSERT_EQ(dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_TRUE(pumpUntil([] { return heard.xferReady > 0 || heard.closeRequest > 0; }, 60));
    ASSERT_EQ(heard.xferReady, 1);
    EXPECT_TRUE(heard.onGuiThread) << "notifications come from the thread that runs the window";

    // A transfer asked for on a worker thread is carried out by the GUI thread, which
    // keeps running its event loop meanwhile.
    TW_HANDLE dib = nullptr;
    std::atomic<bool> done{false};
    TW_UINT16 rc = TWRC_FAILURE;
    std::thread worker([&] {
        rc = dsm(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        done = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }, 30));
    worker.join();
    ASSERT_EQ(rc, TWRC_XFERDONE);
    ASSERT_NE(dib, nullptr);

    // The handed-over DIB is upright: its bottom row is the bottom of the sheet, the
    // first byte of every scan line.
    const auto* bytes = static_cast<const uint8_t*>(dib);
    const size_t H = 200, rowBytes = 4096;
    for (size_t r = 0; r < H; r += 37)
        for (size_t x = 0; x < rowBytes; x += 97)
            ASSERT_EQ(bytes[1064 + r * rowBytes + x], expected_[x * H + r]) << r << "," << x;

    TW_PENDINGXFERS pending{};
    EXPECT_EQ(dsm(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(dsm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source, false), TWRC_SUCCESS);
    TW_ENTRYPOINT points{};
    points.Size = sizeof points;
    DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points);
    points.DSM_MemFree(dib);  // the application's to free, through the manager
    EXPECT_EQ(dsm(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, false), TWRC_SUCCESS);
    // The window goes with the next turn of the event loop; the board is free again.
    pumpUntil([] { return false; }, 1);
}

}  // namespace

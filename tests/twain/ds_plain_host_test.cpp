// Q47tw.ds in a Qt host whose application has no widgets (a console QCoreApplication, or
// a QGuiApplication as QML programs have): the image still comes, without a window, on
// the source's own thread; only the panel (ShowUI TRUE) is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "ds_test_support.h"
#include "simulator/simulator.h"
#include "twain/twain.h"
#include "twain_test_support.h"

namespace {

using namespace q47::dstest;

std::atomic<int> xferReady{0}, closeRequest{0};
std::atomic<bool> onHostThread{false};

TW_UINT16 callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) onHostThread = true;
    if (msg == MSG_XFERREADY) ++xferReady;
    if (msg == MSG_CLOSEDSREQ) ++closeRequest;
    return TWRC_SUCCESS;
}

class PlainQtHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "ds_plain_host";
        static char* argv[] = {name, nullptr};
        app_ = new HOST_APPLICATION(argc, argv);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }
    void SetUp() override {
        mkdir(dir.file("home").c_str(), 0700);
        setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        setenv("Q47_DEVICE", ("sim:" + dir.file("board.sock")).c_str(), 1);
        setenv("Q47_HOME", dir.file("home").c_str(), 1);
        q47::sim::Config config;
        config.scanMs = 200;
        config.linePixels = 100;
        sim_ = std::make_unique<q47::sim::Simulator>(config);
        ASSERT_TRUE(sim_->listen(dir.file("board.sock")));
        ASSERT_EQ(dsm(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, false), TWRC_SUCCESS);
        std::strcpy(source.ProductName, "ZELT Slatewise Q-47 Series");
        ASSERT_EQ(dsm(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source, false), TWRC_SUCCESS);
        TW_CALLBACK2 cb{reinterpret_cast<TW_MEMREF>(&callback), 0, 0};
        ASSERT_EQ(dsm(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &cb), TWRC_SUCCESS);
        xferReady = 0, closeRequest = 0;
    }
    void TearDown() override {
        TW_USERINTERFACE ui{0, 0, nullptr};
        dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        dsm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source, false);
        dsm(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, false);
    }
    TW_UINT16 dsm(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, bool toSource = true) {
        return DSM_Entry(&app, toSource ? &source : nullptr, dg, dat, msg, data);
    }
    TW_UINT16 condition() {
        TW_STATUS status{};
        dsm(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }
    void setIndicators(bool on) {
        TW_ONEVALUE value{TWTY_BOOL, on ? 1u : 0u};
        TW_CAPABILITY cap{CAP_INDICATORS, TWON_ONEVALUE, &value};
        ASSERT_EQ(dsm(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    }

    static QCoreApplication* app_;
    TempDir dir;
    std::unique_ptr<q47::sim::Simulator> sim_;
    TW_IDENTITY app = q47::twaintest::applicationIdentity("Plain Qt Host");
    TW_IDENTITY source{};
};
QCoreApplication* PlainQtHost::app_ = nullptr;

TEST_F(PlainQtHost, TheImageComesWithoutAWindowInHiddenAndProgressModes) {
    for (bool indicators : {false, true}) {
        SCOPED_TRACE(indicators ? "progress-only" : "hidden");
        xferReady = 0, closeRequest = 0;
        setIndicators(indicators);
        TW_USERINTERFACE ui{0, 0, nullptr};
        ASSERT_EQ(dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS)
            << "condition " << condition();
        // The host only waits; the source's own thread runs the acquisition.
        for (int i = 0; i < 3000 && xferReady == 0 && closeRequest == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(xferReady, 1);
        EXPECT_EQ(closeRequest, 0);
        EXPECT_FALSE(onHostThread) << "the acquisition ran on the host's thread";
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(dsm(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        ASSERT_NE(dib, nullptr);
        const auto* header = static_cast<const uint8_t*>(dib);
        int32_t width = 0, height = 0;
        std::memcpy(&width, header + 4, 4);
        std::memcpy(&height, header + 8, 4);
        EXPECT_EQ(width, 4096);
        EXPECT_EQ(height, 100);
        TW_PENDINGXFERS pending{};
        dsm(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        ASSERT_EQ(dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
        TW_ENTRYPOINT points{};
        points.Size = sizeof points;
        DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points);
        points.DSM_MemFree(dib);
    }
}

TEST_F(PlainQtHost, OnlyThePanelIsRefusedWithTheReasonOnStandardError) {
    TW_USERINTERFACE ui{1, 0, nullptr};
    testing::internal::CaptureStderr();
    EXPECT_EQ(dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(condition(), TWCC_OPERATIONERROR);
    EXPECT_NE(err.find("ShowUI FALSE"), std::string::npos) << err;
    // Without the panel it works in the same session.
    ui.ShowUI = 0;
    setIndicators(false);
    ASSERT_EQ(dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    for (int i = 0; i < 3000 && xferReady == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(xferReady, 1);
    TW_PENDINGXFERS pending{};
    dsm(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

}  // namespace

// Screenshots of the data source window under Xvfb: full panel ready (with a tip) and busy, and
// the progress-only window, as PNG files in <build>/screenshots for a person to look at.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/datasource/datasource_window_rig.h"

#include "tests/common/xvfb_screens.h"

namespace q47::test {
namespace {

const auto* const xvfb =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment("datasource_window_screenshots"));

QImage shoot(QWidget& w) { return shootWithCaption(w); }

bool save(const QImage& img, const char* name) {
    return saveScreenshot(img, Q47_SCREENSHOT_DIR, name);
}

// How many pixels of img have colour c: a blank grab would have none of the panel's.
int count(const QImage& img, const QColor& c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += QColor(img.pixel(x, y)) == c;
    return n;
}

#define SKIP_WITHOUT_XVFB()                                              \
    if (!XvfbEnvironment::skipReason.empty()) GTEST_SKIP() << XvfbEnvironment::skipReason

TEST(Screenshots, FullPanelReadyWithATip) {
    SKIP_WITHOUT_XVFB();
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    ASSERT_TRUE(waitUntil([&] { return rig.window->control(IdPcScan)->isEnabled(); }));
    rig.window->move(40, 40);
    rig.window->hoverButton(IdColor);
    const QImage img = shoot(*rig.window);
    EXPECT_GT(count(img, QColor(236, 233, 216)), 20000) << "the panel's background";
    EXPECT_GT(count(img, QColor(255, 255, 220)), 500) << "the tip";
    EXPECT_TRUE(save(img, "datasource-panel-ready.png"));
}

TEST(Screenshots, FullPanelBusyScanning) {
    SKIP_WITHOUT_XVFB();
    sim::Config slow = quickBoard();
    slow.scanPolls = 4;
    WindowRig rig(WindowMode::Full, slow);
    rig.twain.onClose = nullptr;
    ASSERT_TRUE(rig.openReady());
    rig.simulator.setLamps(true, true);
    ASSERT_TRUE(waitUntil([&] { return rig.window->lampOn(IdColor); }));
    rig.window->move(40, 40);
    QTest::mouseClick(rig.window->control(IdPcScan), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] {
        auto* status = rig.control<QLabel>(IdStatus);
        return status->text().contains("50%");
    }, 20000));
    const QImage img = shoot(*rig.window);
    EXPECT_GT(count(img, QColor(236, 233, 216)), 20000);
    EXPECT_TRUE(save(img, "datasource-panel-busy.png"));
}

TEST(Screenshots, ProgressOnlyWindowDuringTheScan) {
    SKIP_WITHOUT_XVFB();
    sim::Config slow = quickBoard();
    slow.scanPolls = 4;
    WindowRig rig(WindowMode::ProgressOnly, slow);
    rig.twain.onClose = nullptr;
    rig.window->start();
    ASSERT_TRUE(waitUntil([&] { return rig.window->windowTitle().contains("50%"); }, 20000));
    const QImage img = shoot(*rig.window);
    EXPECT_EQ(img.width(), 462);
    EXPECT_TRUE(save(img, "datasource-progress-only.png"));
}

}  // namespace
}  // namespace q47::test

// Screenshots of the utility under Xvfb: the dialog without and with the maintenance area, and
// the test image window, as PNG files in <build>/screenshots for a person to look at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/utility/utility_rig.h"
#include "utility/view/test_image_window.h"
#include "utility/view/utility_window.h"

#include "tests/common/xvfb_screens.h"

namespace q47::test {
namespace {

const auto* const xvfb =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment("utility_screenshots"));

QImage shoot(QWidget& w) { return shootWithCaption(w); }

bool save(const QImage& img, const char* name) {
    return saveScreenshot(img, Q47_SCREENSHOT_DIR, name);
}

#define SKIP_WITHOUT_XVFB() \
    if (!XvfbEnvironment::skipReason.empty()) GTEST_SKIP() << XvfbEnvironment::skipReason

class UtilityShots : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.listen((dir / "board.sock").string()));
        window = std::make_unique<UtilityWindow>(
            UtilityFiles{dir.path(), "sim:" + (dir / "board.sock").string()}, UtilityTexts());
        window->initialise();
        window->move(40, 40);
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->control(IdOk)->isEnabled(); }, 10000));
    }
    TempDir dir;
    sim::Simulator simulator{utilityBoard()};
    std::unique_ptr<UtilityWindow> window;
};

TEST_F(UtilityShots, DialogWithoutTheMaintenanceArea) {
    SKIP_WITHOUT_XVFB();
    const QImage img = shoot(*window);
    EXPECT_GT(detail(img), 3000);
    EXPECT_TRUE(save(img, "utility-dialog.png"));
}

TEST_F(UtilityShots, DialogWithTheMaintenanceAreaDuringAnUpdate) {
    SKIP_WITHOUT_XVFB();
    window->toggleMaintenance();
    std::string text;
    for (int i = 0; i < 400; ++i) text += "S1130000000102030405060708090A0B0C0D0E0F00\n";
    writeFile(dir / "Q47_W_110.mot", text);
    window->controlAs<QLineEdit>(IdFileName)
        ->setText(QString::fromStdString((dir / "Q47_W_110.mot").string()));
    QTest::mouseClick(window->control(IdUpdate), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->core().progressPercent() >= 40; }, 20000));
    const QImage img = shoot(*window);
    EXPECT_GT(detail(img), 3000);
    EXPECT_TRUE(save(img, "utility-dialog-maintenance.png"));
}

TEST_F(UtilityShots, TestImageWindow) {
    SKIP_WITHOUT_XVFB();
    bool shot = false;
    window->testImageShower = [&](TestImage& image) {
        RecordingNotifier n;
        TestImageWindow w(image, "save?", "t", n, window.get());
        w.move(80, 80);
        w.show();
        const QImage img = shoot(w);
        EXPECT_GT(detail(img), 3000);
        EXPECT_TRUE(save(img, "utility-test-image.png"));
        shot = true;
    };
    simulator.injectNext(sim::Injection::TestImage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shot; }, 60000));
}

}  // namespace
}  // namespace q47::test

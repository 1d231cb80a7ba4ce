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

namespace q47::test {
namespace {

// Starts an X server of its own (Xvfb picks a free display and names it through
// -displayfd) and the QApplication on it; skips when Xvfb is not installed.
class XvfbEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) {
            skipReason = "Xvfb is not installed (Debian package xvfb): no screenshots";
            return;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            skipReason = "no pipe for Xvfb";
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            const std::string fd = std::to_string(fds[1]);
            ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
                    "1280x1024x24", "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string display;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
        ::close(fds[0]);
        if (display.empty()) {
            skipReason = "Xvfb did not start";
            return;
        }
        ::setenv("DISPLAY", (":" + display).c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "utility_screenshots";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    static inline std::string skipReason;

  private:
    std::unique_ptr<QApplication> app_;
    pid_t pid_ = -1;
};

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

QString outputDir() {
    QDir().mkpath(Q47_SCREENSHOT_DIR);
    return Q47_SCREENSHOT_DIR;
}

// The window's pixels as the X server has them. No window manager runs under Xvfb, so
// the caption bar (which carries the status in progress-only mode) is drawn above them
// from the window's title.
QImage shoot(QWidget& w) {
    QTest::qWait(300);  // let the server paint
    const QImage client = w.screen()->grabWindow(w.winId()).toImage();
    constexpr int kCaption = 22;
    QImage out(client.width() + 2, client.height() + kCaption + 1, QImage::Format_RGB32);
    out.fill(QColor(0, 84, 227));
    QPainter p(&out);
    p.drawImage(1, kCaption, client);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(12);
    p.setFont(f);
    p.drawText(QRect(6, 0, out.width() - 12, kCaption), Qt::AlignVCenter | Qt::AlignLeft,
               w.windowTitle());
    if (w.windowFlags() & Qt::WindowCloseButtonHint) {
        const QRect box(out.width() - 21, 3, 17, 16);
        p.fillRect(box, QColor(224, 67, 22));
        p.drawText(box, Qt::AlignCenter, "x");
    }
    p.end();
    return out;
}

bool save(const QImage& img, const char* name) {
    const QString path = outputDir() + "/" + name;
    const bool ok = img.save(path, "PNG");
    std::printf("screenshot %s\n", qPrintable(path));
    return ok;
}

// Pixels of img that are not the most common colour: a blank grab has next to none.
int detail(const QImage& img) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) ++counts[img.pixel(x, y)];
    int most = 0;
    for (auto& [c, n] : counts) most = std::max(most, n);
    return img.width() * img.height() - most;
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

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
        static char name[] = "datasource_window_screenshots";
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

// Screenshot tests share one way of getting a real X server: an Xvfb of their own, on a
// display it picks itself, with a QApplication on it. Windows drawn there are what a person
// would see; the offscreen platform draws nothing through the X server's eyes.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "tests/common/xvfb_server.h"

namespace q47::test {

// Starts an X server of its own (Xvfb picks a free display and names it through
// -displayfd) and the QApplication on it; when Xvfb is missing or fails, skipReason says
// why and the tests skip.
class XvfbEnvironment : public ::testing::Environment {
  public:
    explicit XvfbEnvironment(const char* appName) : appName_(appName) {}

    void SetUp() override {
        const std::string display = startXvfb("1280x1024x24", &pid_, &skipReason);
        if (display.empty()) return;
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char* argv[] = {const_cast<char*>(appName_), nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        stopXvfb(pid_);
    }
    static inline std::string skipReason;

  private:
    const char* appName_;
    std::unique_ptr<QApplication> app_;
    pid_t pid_ = -1;
};

// The window's pixels as the X server has them. No window manager runs under Xvfb, so
// the caption bar (which carries the status in progress-only mode) is drawn above them
// from the window's title.
inline QImage shootWithCaption(QWidget& w) {
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

// Writes img as dir/name (PNG) and says where, for a person to look at.
inline bool saveScreenshot(const QImage& img, const QString& dir, const char* name) {
    QDir().mkpath(dir);
    const QString path = dir + "/" + name;
    const bool ok = img.save(path, "PNG");
    std::printf("screenshot %s\n", qPrintable(path));
    return ok;
}

// Pixels of img that are not the most common colour: a blank grab has next to none.
inline int detail(const QImage& img) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) ++counts[img.pixel(x, y)];
    int most = 0;
    for (auto& [c, n] : counts) most = std::max(most, n);
    return img.width() * img.height() - most;
}

}  // namespace q47::test

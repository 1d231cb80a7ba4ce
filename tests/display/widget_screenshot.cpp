// A screenshot of the display control under Xvfb as the capture program's image window
// shows it: a written sheet (white see-through) over a screen picture, with the eight
// handles, in vikStretch. Saved as PNG in <build>/screenshots for a person to look at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTest>
#include <memory>
#include <string>

#include "imaging/Ikutils.h"
#include "tests/display/display_rig.h"

#include "tests/common/xvfb_screens.h"

namespace q47::test {
namespace {

const auto* const xvfb =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment("display_screenshot"));

// A projected desktop: a window with a title bar, text lines and a bar chart.
QImage screenPicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(40, 90, 160));
    sky.setColorAt(1, QColor(20, 50, 110));
    p.fillRect(img.rect(), sky);
    const QRect win(w / 10, h / 10, w * 8 / 10, h * 7 / 10);
    p.fillRect(win, QColor(245, 245, 240));
    p.fillRect(QRect(win.left(), win.top(), win.width(), 40), QColor(60, 60, 70));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(24);
    p.setFont(f);
    p.drawText(win.left() + 14, win.top() + 29, "Quarterly review");
    p.setPen(QColor(50, 50, 50));
    f.setPixelSize(20);
    p.setFont(f);
    for (int i = 0; i < 5; ++i)
        p.drawText(win.left() + 30, win.top() + 90 + i * 36,
                   QString("Point %1: results and next steps").arg(i + 1));
    const QColor bars[] = {QColor(200, 60, 50), QColor(240, 170, 40), QColor(60, 160, 80),
                           QColor(70, 110, 200)};
    for (int i = 0; i < 4; ++i) {
        const int bh = 60 + i * 45;
        p.fillRect(QRect(win.right() - 330 + i * 75, win.bottom() - 30 - bh, 55, bh), bars[i]);
    }
    p.fillRect(QRect(0, h - 36, w, 36), QColor(30, 30, 35));
    return img;
}

// The board's sheet: white with a few handwritten strokes and the four coloured marks.
QImage sheetPicture(int w, int h, const QRect& picture) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);  // exact white stays exact white
    p.setPen(QPen(QColor(20, 40, 160), 6, Qt::SolidLine, Qt::RoundCap));
    QPainterPath arrow;
    arrow.moveTo(picture.right() - 260, picture.top() + 120);
    arrow.cubicTo(picture.right() - 180, picture.top() + 40, picture.right() - 80,
                  picture.top() + 220, picture.right() - 150, picture.top() + 330);
    p.drawPath(arrow);
    p.drawEllipse(QPoint(picture.left() + 300, picture.top() + 330), 230, 70);
    p.setPen(QPen(QColor(180, 20, 20), 7, Qt::SolidLine, Qt::RoundCap));
    QFont f = p.font();
    f.setPixelSize(70);
    p.setFont(f);
    p.drawText(picture.left() + 40, picture.bottom() + 80, "Check with team!");
    const QColor marks[] = {Qt::red, Qt::green, Qt::blue, QColor(255, 200, 0)};
    const QPoint corners[] = {picture.topLeft(), picture.topRight(), picture.bottomRight(),
                              picture.bottomLeft()};
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(marks[i], 8));
        p.drawLine(corners[i] + QPoint(-22, -22), corners[i] + QPoint(22, 22));
        p.drawLine(corners[i] + QPoint(-22, 22), corners[i] + QPoint(22, -22));
    }
    return img;
}

IKHANDLE importImage(EngineImages& images, const QImage& img) {
    return images.adopt(Ikutils::qimageToDib(img));
}

TEST(DisplayScreenshot, SheetOverScreenPictureWithEightHandles) {
    if (!XvfbEnvironment::skipReason.empty()) GTEST_SKIP() << XvfbEnvironment::skipReason;
    EngineImages images;
    QWidget window;
    window.setWindowTitle("FrameDisplay");
    window.resize(920, 620);
    auto* disp = new TVIkDisp(&window);
    disp->setGeometry(10, 10, 900, 600);
    disp->BorderVisible = true;
    disp->ShowInDisp = false;

    const int sheetW = 1500, sheetH = 1000;
    const QRect picture(150, 100, 1200, 750);  // the default 10 % offset
    disp->SetImgHandle(importImage(images, sheetPicture(sheetW, sheetH, picture)));
    TCRaster* capture = disp->GetRaster(0);
    capture->setImgHandle(importImage(images, screenPicture(picture.width(), picture.height())));
    capture->setStartX(picture.left());
    capture->setStartY(picture.top());
    TCRaster* sheet = disp->GetRaster(1);
    sheet->setTransColor(255, 255, 255);
    sheet->setImgHandle(importImage(images, sheetPicture(sheetW, sheetH, picture)));

    // Handles: black squares in a white frame, white see-through, at the picture's corners
    // and edge midpoints (2 top-left, 3 top, 4 top-right, 5 right, 6 bottom-right, 7 bottom,
    // 8 bottom-left, 9 left).
    QImage handle(14, 14, QImage::Format_RGB32);
    handle.fill(Qt::white);
    QPainter(&handle).fillRect(QRect(2, 2, 10, 10), Qt::black);
    const int l = picture.left(), t = picture.top(), r = picture.right() + 1 - 14,
              b = picture.bottom() + 1 - 14;
    const int cx = l + (picture.width() - 14) / 2, cy = t + (picture.height() - 14) / 2;
    const QPoint at[8] = {{l, t}, {cx, t}, {r, t}, {r, cy}, {r, b}, {cx, b}, {l, b}, {l, cy}};
    for (int i = 0; i < 8; ++i) {
        TCRaster* h = disp->GetRaster(2 + i);
        h->setTransColor(255, 255, 255);
        h->setImgHandle(importImage(images, handle));
        h->setStartX(at[i].x());
        h->setStartY(at[i].y());
    }
    ASSERT_TRUE(disp->Display(vikStretch));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);

    const QImage shot =
        window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(shot.isNull());
    const QDir dir(Q47_SCREENSHOT_DIR);
    ASSERT_TRUE(dir.mkpath("."));
    ASSERT_TRUE(shot.save(dir.filePath("display-control.png")));

    // What a person should see, checked where it must be: a handle's black centre at the
    // picture's top-left, the picture's dark task bar, the sheet's white (Color) outside.
    auto screenOf = [&](int X, int Y) { return disp->ImageToClient(QPoint(X, Y)) + disp->pos(); };
    EXPECT_EQ(shot.pixel(screenOf(l + 7, t + 7)), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(screenOf(l + 300, t + 740)), qRgb(30, 30, 35));
    EXPECT_EQ(shot.pixel(screenOf(60, 950)), qRgb(255, 255, 255));
}

}  // namespace
}  // namespace q47::test

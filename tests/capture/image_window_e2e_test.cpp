// A composite capture end to end under a two-monitor Xvfb: a known picture on the second
// monitor is photographed, the simulated board's sheet is scanned through the
// acquisition component, our source manager and Q47tw.ds, its red marks are found, and
// the merged composite shows the picture inside the marks. Screenshots of the window
// and of full screen go to <build>/screenshots.
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QToolButton>

#include "capture/full_screen_window.h"
#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "imaging/Ikscan.h"
#include "imaging/display_widget.h"
#include "platform/notifier.h"
#include "simulator/simulator.h"
#include "tests/capture/image_window_rig.h"

using namespace q47::capture;
using namespace q47::capture::testing;

namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new TwoMonitorXvfb);

// The board at its full geometry (4096 by 2000) with its drawn sheet in colour.
class Board {
public:
    Board() {
        setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        setenv("Q47_DEVICE", ("sim:" + dir.path + "/board.sock").c_str(), 1);
        std::filesystem::create_directories(dir.path + "/home");
        setenv("Q47_HOME", (dir.path + "/home").c_str(), 1);
        q47::sim::Config config;
        config.colourLamp = true;
        config.scanMs = 200;
        board = std::make_unique<q47::sim::Simulator>(config);
        std::string error;
        if (!board->listen(dir.path + "/board.sock", &error)) throw std::runtime_error(error);
    }
    TempFolder dir;
    std::unique_ptr<q47::sim::Simulator> board;
};

// A borderless window filling a monitor with a picture (what the projector shows).
class Projected : public QWidget {
public:
    Projected(QRect monitor, QImage picture) : QWidget(nullptr, Qt::FramelessWindowHint), picture_(std::move(picture)) {
        setGeometry(monitor);
        show();
        (void)QTest::qWaitForWindowExposed(this);
        repaint();
        QCoreApplication::processEvents();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(rect(), picture_); }

private:
    QImage picture_;
};

QString shotDir() {
    QDir().mkpath(Q47_SCREENSHOT_DIR);
    return Q47_SCREENSHOT_DIR;
}

TEST(CompositeCapture, TheProjectedPictureIsLaidInsideTheScannedSheetsMarks) {
    SKIP_WITHOUT_XVFB();
    Board board;
    TheCaptureState() = CaptureState{};
    TheMarkDetection() = MarkDetection{};
    q47::RecordingNotifier notifier;
    TfrmImg frm;
    frm.SetNotifier(&notifier);

    // The monitor table: two monitors in the framework's order.
    ASSERT_EQ(frm.EnumerateMonitors(), 0);
    ASSERT_EQ(frm.MonitorCount, 2);
    EXPECT_EQ(frm.Monitors[0].deviceName, "\\\\.\\DISPLAY1");
    EXPECT_EQ(frm.Monitors[1].deviceName, "\\\\.\\DISPLAY2");
    EXPECT_EQ(frm.Monitors[1].number, 2);
    EXPECT_EQ(frm.Monitors[1].left, 1280);
    EXPECT_EQ(frm.Monitors[1].right, 2304);
    EXPECT_EQ(frm.Monitors[1].bottom, 768);
    EXPECT_EQ(frm.Monitors[0].flags, 1u);

    // The photograph of monitor 2 holds its picture and nothing of monitor 1.
    {
        Projected left(QRect(0, 0, 1280, 1024), WhiteSheet(64, 64));
        Projected right(QRect(1280, 0, 1024, 768), QuadrantPicture(1024, 768));
        ASSERT_EQ(frm.CaptureMonitor(1), 0);
    }
    EXPECT_EQ(frm.CaptureMonitor(2), 1);
    EXPECT_EQ(frm.CaptureMonitor(-1), 1);
    const QImage screen = PictureOf(frm.VIkCapCommon->ImgHandle);
    ASSERT_EQ(screen.size(), QSize(1024, 768));
    EXPECT_TRUE(Near(screen.pixel(100, 100), QColor(0, 160, 0)));
    EXPECT_TRUE(Near(screen.pixel(900, 700), QColor(120, 0, 160)));

    // The scan through the source manager and the data source.
    ASSERT_EQ(frm.OpenAcquisition(), 0) << frm.ErrorStatus;
    ASSERT_EQ(frm.ScanSheet(), 0) << frm.ErrorStatus;
    EXPECT_FALSE(frm.scanBusy);
    EXPECT_EQ(frm.VIkScan1->XResolution, 72);
    EXPECT_EQ(frm.VIkScan1->PixelType, vikScanPixelPalette);
    ASSERT_NE(frm.ScannedImage(), 0u);
    frm.ReleaseAllImages();
    frm.TakeSheetImage(true);
    EXPECT_EQ(frm.ScannedImage(), 0u);
    ASSERT_NE(frm.SheetImage(), 0u);
    frm.ShowIn(true);
    frm.SizeAndPlace();
    ASSERT_EQ(DetectMarks(frm.SheetImage(), MarkRed, TheMarkDetection()), 0);
    ASSERT_TRUE(TheMarkDetection().found());
    frm.ComposeImages();
    (void)QTest::qWaitForWindowExposed(&frm);
    EXPECT_TRUE(TheCaptureState().largeSheet);
    EXPECT_EQ(frm.Aspect(), SheetAspect::Half);

    // The composite, merged and saved as the user would: a wide sheet at 2000 by 1000.
    const std::string file = board.dir.path + "/composite.png";
    ASSERT_EQ(frm.SaveComposite(QString::fromStdString(file), kSavePng), 0) << frm.ErrorStatus;
    const QImage merged(QString::fromStdString(file));
    ASSERT_EQ(merged.size(), QSize(2000, 1000));
    const int32_t* m = TheMarkDetection().MarkCorners;
    const double sx = 2000.0 / 2048;
    const int left = m[XTopLeft], right = m[XTopRight], top = m[YTopLeft], bottom = m[YBottomLeft];
    auto at = [&](double fx, double fy) {
        return QPoint(int((left + fx * (right - left)) * sx), int(top + fy * (bottom - top)));
    };
    // Each quadrant of the projected picture shows in its quarter of the marked area
    // (the sheet's own strokes may cover a little of it).
    EXPECT_GT(ShareNear(merged, at(0.2, 0.2).x(), at(0.2, 0.2).y(), 8, QColor(0, 160, 0)), 0.5);
    EXPECT_GT(ShareNear(merged, at(0.8, 0.2).x(), at(0.8, 0.2).y(), 8, QColor(0, 0, 200)), 0.5);
    EXPECT_GT(ShareNear(merged, at(0.2, 0.8).x(), at(0.2, 0.8).y(), 8, QColor(230, 150, 0)), 0.5);
    EXPECT_GT(ShareNear(merged, at(0.8, 0.8).x(), at(0.8, 0.8).y(), 8, QColor(120, 0, 160)), 0.5);
    // Outside the marks the sheet stays as scanned: none of the picture's colours.
    for (const QColor c : {QColor(0, 160, 0), QColor(0, 0, 200), QColor(230, 150, 0), QColor(120, 0, 160)})
        EXPECT_LT(ShareNear(merged, int((left / 2) * sx), 500, 8, c), 0.05);
    EXPECT_TRUE(notifier.boxes.empty());

    // Screenshots for a person: the window with its handles, then full screen.
    frm.move(0, 0);
    QTest::qWait(300);
    QCoreApplication::processEvents();
    const QImage window = frm.screen()->grabWindow(frm.winId()).toImage();
    EXPECT_TRUE(window.save(shotDir() + "/image_window_composite.png"));
    TfrmFull full;
    frm.SetFullScreenWindow(&full);
    frm.SpeedButton3Click();
    (void)QTest::qWaitForWindowExposed(&full);
    QTest::qWait(300);
    const QImage fullShot = full.screen()->grabWindow(full.winId()).toImage();
    EXPECT_TRUE(fullShot.save(shotDir() + "/full_screen.png"));
    EXPECT_TRUE(Near(fullShot.pixel(5, 5), Qt::black));
    full.close();
}

}  // namespace

namespace {

TEST(CompositeCapture, WithoutTheBoardsSourceTheScanIsResult4AndNothingIsScanned) {
    SKIP_WITHOUT_XVFB();
    TempFolder empty;  // a source folder without Q47tw.ds
    const std::string kept = getenv("TWAIN_DS_DIR") ? getenv("TWAIN_DS_DIR") : "";
    setenv("TWAIN_DS_DIR", empty.path.c_str(), 1);
    {
        TfrmImg frm;
        ASSERT_EQ(frm.OpenAcquisition(), 0) << frm.ErrorStatus;
        EXPECT_EQ(frm.ScanSheet(), 4);
        EXPECT_FALSE(frm.scanBusy);
        EXPECT_EQ(frm.ScannedImage(), 0u);
        EXPECT_TRUE(frm.SpeedButton1->isEnabled());
    }
    if (kept.empty()) unsetenv("TWAIN_DS_DIR");
    else setenv("TWAIN_DS_DIR", kept.c_str(), 1);
}

}  // namespace

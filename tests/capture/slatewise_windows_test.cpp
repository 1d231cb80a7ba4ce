// The bar, the marker rings and the two dialogs on a real X server with two monitors
// (LEFT primary, RIGHT the projector): placement, shapes and colours checked in screen
// copies, the dialogs driven as a user would, display changes through xrandr, and the
// screenshots for the README.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/file_names.h"
#include "capture/image_window.h"
#include "capture/marker_geometry.h"
#include "capture/view/bar_window.h"
#include "capture/view/marker_windows.h"
#include "capture/view/question_dialog.h"
#include "capture/view/setup_dialog.h"
#include "capture/view/window_look.h"
#include "tests/capture/xvfb_two_monitors.h"

namespace q47::capture {
namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new test::TwoMonitorXvfb);

#define NEED_X()                                                                  \
    if (!test::TwoMonitorXvfb::skipReason.empty()) GTEST_SKIP() << test::TwoMonitorXvfb::skipReason

// The image window as the flow sees it: records what is asked, answers as told.
struct RecordingImages : CaptureImages {
    int captures = 0, opens = 0, scans = 0;
    int captureResult = 1;
    bool visible() const override { return false; }
    bool compositeUnsaved() const override { return false; }
    void resetProgress() override {}
    void setProgress(int) override {}
    void progressToMaximum() override {}
    int CaptureMonitor(int) override { return ++captures, captureResult; }
    int OpenAcquisition() override { return ++opens, 3; }
    int ScanSheet() override { return ++scans, 4; }
    bool scanBusy() const override { return false; }
    void closeFullScreenIfVisible() override {}
    void redisplay() override {}
    void ReleaseAllImages() override {}
    void TakeSheetImage(bool) override {}
    void showComposite() override {}
    int DetectMarks(int) override { return -1; }
    void restoreFromMinimised() override {}
    void ComposeImages() override {}
    int SaveImage(const std::string&, int) override { return 8; }
};

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Lets the X server map, stack and paint what was asked.
void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(30);
    }
}

QScreen* Screen(int i) {
    return QGuiApplication::screens().value(i, nullptr);
}

// One pixel of the desktop as 0xBBGGRR, in desktop coordinates.
uint32_t DesktopPixel(QPoint at) {
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().contains(at)) {
            const QPoint p = at - s->geometry().topLeft();
            const QImage img = s->grabWindow(0, p.x(), p.y(), 1, 1).toImage();
            const QRgb c = img.pixel(0, 0);
            return ColourOf(qRed(c), qGreen(c), qBlue(c));
        }
    return 0xFFFFFFFFu;
}

struct Windows {
    std::filesystem::path dir, ini;
    AppSettings settings;
    CaptureState state;
    RecordingNotifier notifier;
    RecordingImages images;
    std::unique_ptr<TfrmMain> bar;
    std::unique_ptr<TfrmSetUp> setUp;
    std::unique_ptr<TfrmMsg> msg;
    std::unique_ptr<TfrmMakerManager> markers;

    explicit Windows(int selectMonitor = 1, int selectMark = 1) {
        dir = std::filesystem::temp_directory_path() /
              ("q47_sw_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(dir);
        ini = dir / "SlateWise.ini";
        std::filesystem::copy_file(std::filesystem::path(Q47_SOURCE_DIR) / "capture/Loc/ENG/SlateWise.ini", ini);
        settings = ReadSettings(ini);
        settings.SelectMonitor = selectMonitor;
        settings.SelectMark = selectMark;
        WriteSelections(settings, ini);
        state.saveFolder = dir.string();
        bar = std::make_unique<TfrmMain>(settings, state, ini);
        bar->notifier = &notifier;
        bar->screenSaverRunning = [] { return false; };
        bar->exitProgram = [this](int code) { exitCode = code; };
        setUp = std::make_unique<TfrmSetUp>(settings, ini);
        msg = std::make_unique<TfrmMsg>(settings);
        markers = std::make_unique<TfrmMakerManager>(settings);
        bar->SetWindows(setUp.get(), msg.get(), nullptr, markers.get(), &images);
        bar->show();
        Settle();
    }
    ~Windows() {
        bar.reset();
        markers.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // Ring i's colour band and its see-through middle, in desktop coordinates.
    QPoint band(int i) const {
        const TfrmMarker* m = markers->marker(i);
        const MarkerLayout l = MarkerLayoutFor(0, 0, monitorWidth(), 1000);
        return m->pos() + QPoint(m->width() / 2, l.ringWidth / 2 + 1);
    }
    QPoint middle(int i) const {
        const TfrmMarker* m = markers->marker(i);
        return m->pos() + QPoint(m->width() / 2, m->height() / 2);
    }
    int monitorWidth() const { return markers->monitorRect().width(); }
    bool ringsShown() const {
        for (int i = 0; i < 4; ++i)
            if (!markers->marker(i) || !markers->marker(i)->isVisible()) return false;
        return true;
    }
    int exitCode = -1;
    static inline int counter = 0;
};

TEST(Bar, StartsNearTheTopRightOfThePrimaryMonitorWithItsRegionTitleAndHints) {
    NEED_X();
    Windows w;
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w.bar->pos(), QPoint(primary.width() - static_cast<int>(std::lround(208 + primary.width() * 0.05)),
                                   static_cast<int>(std::lround(primary.height() * 0.05))));
    EXPECT_EQ(w.bar->mask().boundingRect(), QRect(0, 0, 206, 74));
    EXPECT_EQ(w.bar->Label1->text().toStdString(), w.settings.UtilityTitle + " " + w.settings.Version);
    EXPECT_EQ(w.bar->windowTitle(), w.bar->Label1->text());
    EXPECT_EQ(w.bar->SpeedButton1->toolTip().toStdString(), w.settings.HintScan);
    EXPECT_EQ(w.bar->SpeedButton2->toolTip().toStdString(), w.settings.HintMark);
    EXPECT_EQ(w.bar->SpeedButton3->toolTip().toStdString(), w.settings.HintSet);
    EXPECT_EQ(w.bar->SpeedButton4->toolTip().toStdString(), w.settings.HintClose);
    EXPECT_EQ(w.bar->SpeedButton5->toolTip().toStdString(), w.settings.HintMin);
    EXPECT_EQ(w.bar->SpeedButton6->toolTip().toStdString(), w.settings.HintHelp);
    EXPECT_TRUE(w.bar->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.bar->windowFlags() & Qt::FramelessWindowHint);
    // On the screen: the key pixel at the corner, and nothing of the bar outside the region.
    EXPECT_EQ(DesktopPixel(w.bar->pos()), w.bar->barKeyColour);
    const QRgb outside = w.bar->Image1.pixel(207, 40);
    EXPECT_NE(DesktopPixel(w.bar->pos() + QPoint(207, 40)), ColourOf(qRed(outside), qGreen(outside), qBlue(outside)));
    EXPECT_TRUE(w.bar->Timer1->isActive());
    EXPECT_EQ(w.bar->Timer1->interval(), 1000);
}

TEST(Bar, DraggingTheTitleBandMovesItAndTheButtonsDoNot) {
    NEED_X();
    Windows w;
    const QPoint start = w.bar->pos();
    QTest::mousePress(w.bar.get(), Qt::LeftButton, {}, QPoint(100, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 50), w.bar->mapToGlobal(QPointF(60, 50)), Qt::NoButton,
                     Qt::LeftButton, {});
    QCoreApplication::sendEvent(w.bar.get(), &move);
    QTest::mouseRelease(w.bar.get(), Qt::LeftButton, {}, QPoint(60, 50));
    EXPECT_EQ(w.bar->pos(), start + QPoint(-40, 40));
    // A press below the title band does not start a drag.
    const QPoint now = w.bar->pos();
    QTest::mousePress(w.bar.get(), Qt::LeftButton, {}, QPoint(100, 30));
    QMouseEvent move2(QEvent::MouseMove, QPointF(10, 70), w.bar->mapToGlobal(QPointF(10, 70)), Qt::NoButton,
                      Qt::LeftButton, {});
    QCoreApplication::sendEvent(w.bar.get(), &move2);
    QTest::mouseRelease(w.bar.get(), Qt::LeftButton, {}, QPoint(10, 70));
    EXPECT_EQ(w.bar->pos(), now);
}

TEST(Rings, ShowOnTheProjectorMonitorInTheChosenColourAndTheMarkButtonTogglesThem) {
    NEED_X();
    Windows w(1, 1);  // projector = RIGHT, red
    ASSERT_TRUE(w.ringsShown());
    const QRect right = Screen(1)->geometry();
    EXPECT_EQ(w.markers->monitorRect(), right);
    const MarkerLayout l = MarkerLayoutFor(right.left(), right.top(), right.width(), right.height());
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(w.markers->marker(i)->pos(), QPoint(l.windows[i].x, l.windows[i].y));
        EXPECT_EQ(DesktopPixel(w.band(i)), kMarkerRed);
        // The yellow inside is see-through: the desktop behind shows.
        EXPECT_EQ(DesktopPixel(w.middle(i)), DesktopPixel(right.center()));
        EXPECT_NE(DesktopPixel(w.middle(i)), kMarkerYellow);
    }
    w.bar->SpeedButton2->click();
    Settle();
    EXPECT_TRUE(w.bar->markersHidden);
    EXPECT_FALSE(w.ringsShown());
    EXPECT_NE(DesktopPixel(w.band(0)), kMarkerRed);
    w.bar->SpeedButton2->click();
    Settle();
    EXPECT_TRUE(w.ringsShown());
    EXPECT_EQ(DesktopPixel(w.band(2)), kMarkerRed);
}

TEST(Rings, ABlackRingHasAWhiteOutlineAndGreenABlackOne) {
    NEED_X();
    for (const auto& [mark, colour] : {std::pair{4, kMarkerBlack}, std::pair{2, kMarkerGreen}}) {
        Windows w(1, mark);
        ASSERT_TRUE(w.ringsShown());
        EXPECT_EQ(DesktopPixel(w.band(0)), colour);
        const TfrmMarker* m = w.markers->marker(0);
        EXPECT_EQ(DesktopPixel(m->pos() + QPoint(m->width() / 2, 0)), MarkerOutlineFor(colour));
    }
}

TEST(Rings, ASelectMonitorBeyondTheMonitorsBecomesTheFirst) {
    NEED_X();
    Windows w(3, 1);
    EXPECT_EQ(w.settings.SelectMonitor, 0);
    EXPECT_EQ(w.markers->monitorRect(), Screen(0)->geometry());
    EXPECT_EQ(DesktopPixel(w.band(0)), kMarkerRed);
}

TEST(Bar, DetachedButtonsDoNothingUntilAttachedAgain) {
    NEED_X();
    Windows w;
    w.bar->EnableBarButtons(false);
    w.bar->SpeedButton2->click();
    w.bar->SpeedButton4->click();
    EXPECT_FALSE(w.bar->markersHidden);
    EXPECT_EQ(w.exitCode, -1);
    w.bar->EnableBarButtons(true);
    w.bar->SpeedButton2->click();
    EXPECT_TRUE(w.bar->markersHidden);
    w.bar->SpeedButton4->click();  // no unsaved composite: ends at once with 0
    EXPECT_EQ(w.exitCode, 0);
}

TEST(Bar, MinimiseAndRestoreKeepTheRingsState) {
    NEED_X();
    for (bool hidden : {false, true}) {
        Windows w;
        if (hidden) w.bar->SpeedButton2->click();
        w.bar->Minimize();
        Settle();
        EXPECT_FALSE(w.ringsShown());
        w.bar->Restore();
        Settle();
        EXPECT_EQ(w.bar->markersHidden, hidden);
        EXPECT_EQ(w.ringsShown(), !hidden);
    }
}

TEST(Bar, HelpOpensTheInstalledPageAndDoesNothingWithoutOne) {
    NEED_X();
    Windows w;
    QUrl opened;
    w.bar->openHelp = [&](const QUrl& u) { opened = u; };
    const auto data = w.dir / "data";
    ::setenv("Q47_DATA_DIR", data.c_str(), 1);
    w.bar->SpeedButton6->click();
    EXPECT_TRUE(opened.isEmpty());
    std::filesystem::create_directories(data / "help" / "slatewise");
    std::ofstream(data / "help" / "slatewise" / "index.html") << "<html></html>";
    w.bar->SpeedButton6->click();
    EXPECT_EQ(opened.toLocalFile().toStdString(), (data / "help" / "slatewise" / "index.html").string());
    ::unsetenv("Q47_DATA_DIR");
}

TEST(SetupDialog, CancelChangesNothingAndOkShowsTheNewColourAtOnceAndWritesIt) {
    NEED_X();
    Windows w(1, 1);
    const std::string before = ReadFile(w.ini);
    ASSERT_EQ(w.setUp->ComboBox1->count(), 2);
    EXPECT_EQ(w.setUp->ComboBox1->itemText(0).toStdString(), w.settings.ComboDisplay[0]);
    EXPECT_EQ(w.setUp->ComboBox1->itemText(1).toStdString(), w.settings.ComboDisplay[1]);
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(w.setUp->isVisible());
        EXPECT_EQ(w.setUp->ComboBox1->currentIndex(), 1);
        EXPECT_EQ(w.setUp->ComboBox2->currentIndex(), 1);
        w.setUp->ComboBox2->setCurrentIndex(3);
        w.setUp->Button2->click();
    });
    w.bar->SpeedButton3->click();
    EXPECT_EQ(ReadFile(w.ini), before);
    EXPECT_EQ(w.settings.SelectMark, 1);
    EXPECT_EQ(DesktopPixel(w.band(0)), kMarkerRed);

    QTimer::singleShot(0, [&] {
        w.setUp->ComboBox2->setCurrentIndex(3);
        w.setUp->Button1->click();
    });
    w.bar->SpeedButton3->click();
    Settle();
    EXPECT_EQ(w.settings.SelectMark, 3);
    EXPECT_EQ(ReadSettings(w.ini).SelectMark, 3);
    EXPECT_EQ(ReadSettings(w.ini).SelectMonitor, 1);
    ASSERT_TRUE(w.ringsShown());
    EXPECT_EQ(DesktopPixel(w.band(0)), kMarkerBlue);

    // Monitor 1 (LEFT): the rings move there.
    QTimer::singleShot(0, [&] {
        w.setUp->ComboBox1->setCurrentIndex(0);
        w.setUp->Button1->click();
    });
    w.bar->SpeedButton3->click();
    Settle();
    EXPECT_EQ(ReadSettings(w.ini).SelectMonitor, 0);
    EXPECT_EQ(w.markers->monitorRect(), Screen(0)->geometry());
}

TEST(QuestionDialog, ItsCloseBoxStartsNoCaptureAndTheBarComesBack) {
    NEED_X();
    Windows w;
    int delayWhileShown = 0;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(w.msg->isVisible());
        EXPECT_TRUE(w.msg->answerPending);
        EXPECT_FALSE(w.bar->Timer1->isActive());
        EXPECT_FALSE(w.bar->barButtonsAttached());
        delayWhileShown = HintDelay();
        w.msg->close();
    });
    w.bar->SpeedButton1->click();
    EXPECT_EQ(delayWhileShown, 100);
    EXPECT_EQ(HintDelay(), 500);
    EXPECT_TRUE(w.msg->answerPending);
    EXPECT_EQ(w.images.captures + w.images.opens + w.images.scans, 0);
    EXPECT_TRUE(w.notifier.boxes.empty());
    EXPECT_TRUE(w.bar->Timer1->isActive());
    EXPECT_TRUE(w.bar->barButtonsAttached());
    EXPECT_TRUE(w.bar->isVisible());
}

TEST(QuestionDialog, YesWithAScreenCopyThatFailsShowsMsgCaptureErrAndGivesTheBarBack) {
    NEED_X();
    Windows w;
    w.settings.CaptureWait = 50;
    bool hiddenDuringCopy = false;
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(w.msg->Button1->toolTip().toStdString(), w.settings.HintYes);
        EXPECT_EQ(w.msg->Button2->toolTip().toStdString(), w.settings.HintNo);
        w.msg->Button1->click();
    });
    struct Spy : RecordingImages {
        TfrmMain* bar = nullptr;
        bool* hidden = nullptr;
        int CaptureMonitor(int i) override {
            *hidden = !bar->isVisible();
            return RecordingImages::CaptureMonitor(i);
        }
    };
    Spy spy;
    spy.bar = w.bar.get();
    spy.hidden = &hiddenDuringCopy;
    w.bar->SetWindows(w.setUp.get(), w.msg.get(), nullptr, w.markers.get(), &spy);
    w.bar->SpeedButton1->click();
    EXPECT_TRUE(hiddenDuringCopy);
    EXPECT_TRUE(w.ringsShown());  // the rings stay while the bar is away
    ASSERT_EQ(w.notifier.boxes.size(), 1u);
    EXPECT_EQ(w.notifier.boxes[0].text, w.settings.MsgCaptureErr);
    EXPECT_EQ(w.notifier.boxes[0].caption, w.settings.MsgConfirmation);
    EXPECT_TRUE(w.bar->isVisible());
    EXPECT_TRUE(w.bar->Timer1->isActive());
    // Every button works again.
    w.bar->SpeedButton2->click();
    EXPECT_TRUE(w.bar->markersHidden);
}

TEST(Timer1, RaisesTheBarAboveAnOrdinaryWindowThatCoversIt) {
    NEED_X();
    Windows w;
    QWidget cover(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    cover.setStyleSheet("background: rgb(10, 200, 30);");
    cover.setGeometry(QRect(w.bar->pos() - QPoint(5, 5), QSize(260, 110)));
    cover.show();
    cover.raise();
    Settle();
    EXPECT_NE(DesktopPixel(w.bar->pos()), w.bar->barKeyColour);
    w.bar->Timer1Timer();
    Settle();
    EXPECT_EQ(DesktopPixel(w.bar->pos()), w.bar->barKeyColour);
    // Once on top, the screen shows the bar as drawn: no repaint.
    w.bar->repaintsByTimer = 0;
    w.bar->Timer1Timer();
    EXPECT_EQ(w.bar->repaintsByTimer, 0);
    // A screen pixel that differs from the key asks for a repaint.
    const uint32_t key = w.bar->barKeyColour;
    w.bar->barKeyColour = key ^ 0x102030;
    w.bar->Timer1Timer();
    EXPECT_EQ(w.bar->repaintsByTimer, 1);
    w.bar->barKeyColour = key;
    // While the screen saver runs the timer leaves everything alone.
    cover.raise();
    Settle();
    w.bar->screenSaverRunning = [] { return true; };
    w.bar->Timer1Timer();
    Settle();
    EXPECT_NE(DesktopPixel(w.bar->pos()), w.bar->barKeyColour);
}

// The sheet-only save dialog is the image window's file component dialog: it starts in the
// folder with the generated name, offers the types in the order given, and reports the
// chosen type as the file component numbers it.
TEST(SaveDialog, StartsWithTheGeneratedNameAndReportsTheChosenType) {
    NEED_X();
    Windows w;
    TfrmImg img;
    w.bar->SetWindows(w.setUp.get(), w.msg.get(), &img, w.markers.get(), &w.images);
    const std::string name = MakeFileName(w.dir, kSaveJpeg);
    QStringList filters;
    QString startName;
    QTimer::singleShot(50, w.bar.get(), [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        filters = dlg->nameFilters();
        startName = dlg->selectedFiles().value(0);
        for (const QString& f : filters)
            if (f.contains("png", Qt::CaseInsensitive)) dlg->selectNameFilter(f);
        dlg->selectFile(QString::fromStdString((w.dir / "sheet.PNG").string()));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    const SaveChoice choice = w.bar->saveDialog(w.dir.string(), name, SaveExtensionsFor(kSaveJpeg));
    ASSERT_GE(filters.size(), 2);
    EXPECT_TRUE(filters[0].contains("jpg", Qt::CaseInsensitive));  // JPEG first after a JPEG save
    EXPECT_EQ(startName.toStdString(), (w.dir / name).string());
    EXPECT_TRUE(choice.confirmed);
    // The folder and the type are the user's choice; the name may carry the suffix the
    // dialog gives for the chosen filter.
    EXPECT_EQ(std::filesystem::path(choice.fileName).parent_path(), w.dir);
    EXPECT_EQ(QString::fromStdString(std::filesystem::path(choice.fileName).extension().string()).toLower(), ".png");
    EXPECT_EQ(choice.saveType, kSavePng);

    // Cancelled: nothing chosen.
    QTimer::singleShot(50, w.bar.get(), [] {
        if (auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            QMetaObject::invokeMethod(dlg, "reject");
    });
    EXPECT_FALSE(w.bar->saveDialog(w.dir.string(), name, SaveExtensionsFor(kSavePng)).confirmed);
    w.bar->SetWindows(w.setUp.get(), w.msg.get(), nullptr, w.markers.get(), &w.images);
}

// xrandr takes a monitor away and gives it back; Qt reports the screens asynchronously.
bool WaitForScreens(int count) {
    return QTest::qWaitFor([count] { return QGuiApplication::screens().size() == count; }, 10000);
}

TEST(DisplayChange, AMonitorRemovedAndAddedKeepsTheRingsStateAndPlacesThemAgain) {
    NEED_X();
    for (bool hidden : {false, true}) {
        SCOPED_TRACE(hidden);
        Windows w(1, 1);
        if (hidden) w.bar->SpeedButton2->click();
        ASSERT_EQ(test::RunCommand("xrandr --delmonitor RIGHT >/dev/null 2>&1"), 0);
        ASSERT_TRUE(WaitForScreens(1));
        Settle();
        EXPECT_EQ(w.bar->markersHidden, hidden);
        EXPECT_EQ(w.ringsShown(), !hidden);
        EXPECT_EQ(w.settings.SelectMonitor, 0);  // the projector is gone: the first monitor
        EXPECT_EQ(w.markers->monitorRect(), Screen(0)->geometry());
        ASSERT_EQ(test::RunCommand("xrandr --setmonitor RIGHT 1280/338x1024/270+1280+0 none >/dev/null 2>&1"), 0);
        ASSERT_TRUE(WaitForScreens(2));
        Settle();
        EXPECT_EQ(w.bar->markersHidden, hidden);
        EXPECT_EQ(w.ringsShown(), !hidden);
        EXPECT_TRUE(w.bar->isVisible());
        EXPECT_EQ(w.setUp->ComboBox1->count(), 2);
    }
}

// ---- Screenshots for the README (written to <build>/screenshots).

QString ShotDir() {
    QDir().mkpath(Q47_SCREENSHOT_DIR);
    return Q47_SCREENSHOT_DIR;
}

// A dialog's client pixels under a drawn caption (no window manager runs under Xvfb).
QImage WithCaption(QWidget& w) {
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
    p.drawText(QRect(6, 0, out.width() - 30, kCaption), Qt::AlignVCenter | Qt::AlignLeft, w.windowTitle());
    const QRect box(out.width() - 21, 3, 17, 16);
    p.fillRect(box, QColor(224, 67, 22));
    p.drawText(box, Qt::AlignCenter, "x");
    return out;
}

TEST(Screenshots, BarDialogsAndRingsOnTheProjector) {
    NEED_X();
    // A projected picture behind the rings, so that the see-through shows.
    QWidget slide(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    slide.setGeometry(Screen(1)->geometry());
    slide.setStyleSheet("background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #f4f1e8, stop:1 #c9d8ee);"
                        "font-size: 48px; color: #203050;");
    QLabel text("Projected picture", &slide);
    text.setGeometry(0, 0, slide.width(), slide.height());
    text.setAlignment(Qt::AlignCenter);
    slide.show();
    Settle();
    Windows w(1, 1);
    const QRect primary = Screen(0)->geometry();
    const QImage bar = Screen(0)->grabWindow(0, w.bar->x() - 8, w.bar->y() - 8, 206 + 16, 74 + 16).toImage();
    EXPECT_TRUE(bar.save(ShotDir() + "/slatewise-bar.png"));
    // The projector monitor with its four rings, halved.
    // The projector monitor with its four rings, halved, and the top-left ring four times
    // its size in the middle.
    const QImage projector = Screen(1)->grabWindow(0).toImage();
    QImage shot = projector.scaled(projector.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        const QPoint ring = w.markers->marker(0)->pos() - Screen(1)->geometry().topLeft();
        const int s = w.markers->marker(0)->width();
        const QRect around = QRect(ring - QPoint(8, 8), QSize(s + 16, s + 16)) & projector.rect();
        const QImage zoom = projector.copy(around).scaled(around.size() * 4);
        QPainter p(&shot);
        const QPoint at(shot.width() / 2 - zoom.width() / 2, shot.height() / 2 + 40);
        p.drawImage(at, zoom);
        p.setPen(QPen(QColor(60, 60, 60), 2));
        p.drawRect(QRect(at, zoom.size()));
    }
    EXPECT_TRUE(shot.save(ShotDir() + "/slatewise-rings.png"));
    QTimer::singleShot(200, [&] {
        EXPECT_TRUE(WithCaption(*w.setUp).save(ShotDir() + "/slatewise-setup.png"));
        w.setUp->Button2->click();
    });
    w.bar->SpeedButton3->click();
    QTimer::singleShot(200, [&] {
        EXPECT_TRUE(WithCaption(*w.msg).save(ShotDir() + "/slatewise-question.png"));
        w.msg->close();
    });
    w.bar->SpeedButton1->click();
    EXPECT_FALSE(primary.isEmpty());
}

}  // namespace
}  // namespace q47::capture

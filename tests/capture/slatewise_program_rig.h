// The slatewise program's windows wired as main wires them, on the simulated board, for
// the end-to-end and long-run tests (on the two-monitor X server of xvfb_two_monitors.h).
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "capture/file_names.h"
#include "capture/full_screen_window.h"
#include "capture/image_window.h"
#include "capture/mark_detection.h"
#include "capture/marker_geometry.h"
#include "capture/view/bar_window.h"
#include "capture/view/image_window_adapter.h"
#include "capture/view/marker_windows.h"
#include "capture/view/question_dialog.h"
#include "capture/view/setup_dialog.h"
#include "imaging/Ikcommon.h"
#include "simulator/simulator.h"
#include "tests/capture/engine_images.h"
#include "tests/capture/xvfb_two_monitors.h"

namespace q47::capture {

namespace fs = std::filesystem;

inline void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

inline uint32_t DesktopPixel(QPoint at) {
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().contains(at)) {
            const QPoint p = at - s->geometry().topLeft();
            const QRgb c = s->grabWindow(0, p.x(), p.y(), 1, 1).toImage().pixel(0, 0);
            return ColourOf(qRed(c), qGreen(c), qBlue(c));
        }
    return 0xFFFFFFFFu;
}

inline uint32_t PixelOf(const RgbImage& img, QPoint at) {
    const uint8_t* p = img.row(at.y()) + 3 * at.x();
    return ColourOf(p[2], p[1], p[0]);
}

// The simulated board, the data source folder and a folder for the test's files.
struct Board {
    fs::path dir;
    std::unique_ptr<sim::Simulator> board;
    explicit Board(bool plugged = true) {
        std::string pattern = (fs::temp_directory_path() / "q47flow-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        fs::create_directories(dir / "out");
        fs::create_directories(dir / "no-sources");
        ::setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        ::setenv("Q47_DEVICE", ("sim:" + (dir / "board.sock").string()).c_str(), 1);
        ::setenv("Q47_HOME", (dir / "home").c_str(), 1);
        if (!plugged) return;
        sim::Config config;
        config.colourLamp = true;
        config.scanMs = 100;
        board = std::make_unique<sim::Simulator>(config);
        std::string error;
        if (!board->listen((dir / "board.sock").string(), &error)) throw std::runtime_error(error);
    }
    ~Board() {
        board.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

// The program's windows, as main creates them, with the bar's boxes recorded.
struct Program {
    AppSettings settings;
    CaptureState state;
    RecordingNotifier notifier;
    std::unique_ptr<TfrmMain> frmMain;
    std::unique_ptr<TfrmSetUp> frmSetUp;
    std::unique_ptr<TfrmMsg> frmMsg;
    std::unique_ptr<TfrmImg> frmImg;
    std::unique_ptr<TfrmFull> frmFull;
    std::unique_ptr<TfrmMakerManager> frmMakerManager;
    std::unique_ptr<ImageWindowAdapter> images;

    explicit Program(const fs::path& dir) {
        const fs::path ini = dir / "SlateWise.ini";
        fs::copy_file(fs::path(Q47_SOURCE_DIR) / "capture/Loc/ENG/SlateWise.ini", ini,
                      fs::copy_options::overwrite_existing);
        settings = ReadSettings(ini);
        settings.SelectMonitor = 1;
        settings.SelectMark = 1;  // red, as the simulated sheet's marks
        settings.CaptureWait = 100;
        state.saveFolder = (dir / "out").string();
        frmMain = std::make_unique<TfrmMain>(settings, state, ini);
        frmMain->notifier = &notifier;
        frmMain->screenSaverRunning = [] { return false; };
        frmMain->exitProgram = [](int) {};
        frmSetUp = std::make_unique<TfrmSetUp>(settings, ini);
        frmMsg = std::make_unique<TfrmMsg>(settings);
        frmImg = std::make_unique<TfrmImg>();
        frmImg->SetSettings(settings);
        frmImg->SetNotifier(&notifier);
        frmFull = std::make_unique<TfrmFull>();
        frmImg->SetFullScreenWindow(frmFull.get());
        frmMakerManager = std::make_unique<TfrmMakerManager>(settings);
        images = std::make_unique<ImageWindowAdapter>(*frmImg, *frmFull);
        frmMain->SetWindows(frmSetUp.get(), frmMsg.get(), frmImg.get(), frmMakerManager.get(), images.get());
        frmImg->OnEnableBarButtons = [this](bool on) { frmMain->EnableBarButtons(on); };
        frmMain->show();
        Settle();
    }
    ~Program() {
        frmImg->savedFileName = "kept";  // no close question at the end of a test
        frmImg->hide();
        frmMain.reset();
    }

    // Presses Yes or No in the question when it comes up, then runs the flow.
    CaptureOutcome capture(bool composite) {
        QTimer::singleShot(0, frmMsg.get(), [this, composite] {
            (composite ? frmMsg->Button1 : frmMsg->Button2)->click();
        });
        return frmMain->flow().SpeedButton1Click();
    }

    // The bar is usable again: Timer1 runs and the mark button toggles the rings.
    void expectBarBack() {
        EXPECT_TRUE(frmMain->Timer1->isActive());
        EXPECT_TRUE(frmMain->barButtonsAttached());
        EXPECT_TRUE(frmMain->isVisible());
        const bool hidden = frmMain->markersHidden;
        frmMain->SpeedButton2->click();
        EXPECT_NE(frmMain->markersHidden, hidden);
        frmMain->SpeedButton2->click();
        EXPECT_EQ(frmMain->markersHidden, hidden);
    }
};

// Accepts the next file dialog with `name` (a full path) and the filter holding `type`.
// Answers the next file dialog, whenever it comes up (the scan before it takes a while),
// with `name` (a full path) and the filter holding `type`. The watch belongs to
// `context`, so a dialog that never came cannot be answered in a later test.
inline void AcceptFileDialog(QObject* context, const std::string& name, const QString& type) {
    auto* watch = new QTimer(context);
    watch->setInterval(20);
    QObject::connect(watch, &QTimer::timeout, context, [watch, name, type] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg) return;
        watch->stop();
        watch->deleteLater();
        for (const QString& f : dlg->nameFilters())
            if (f.contains(type, Qt::CaseInsensitive)) dlg->selectNameFilter(f);
        dlg->selectFile(QString::fromStdString(name));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    watch->start();
}

// Presses OK in every message box that comes up while `context` lives (the data source
// tells the user about a missing board in a box of its own) and keeps the texts.
inline void DismissBoxes(QObject* context, QStringList* texts) {
    auto* watch = new QTimer(context);
    watch->setInterval(20);
    QObject::connect(watch, &QTimer::timeout, context, [texts] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts->push_back(box->text());
            box->done(QMessageBox::Ok);
        }
    });
    watch->start();
}

inline std::string Today(const char* ext) {
    char day[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(day, sizeof day, "%y%m%d", std::localtime(&now));
    return std::string("Q47_") + day + "_01." + ext;
}

}  // namespace q47::capture

// slatewise: the capture program. One per user; creates its windows once and runs them.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/capture_state.h"
#include "capture/full_screen_window.h"
#include "capture/image_window.h"
#include "capture/settings.h"
#include "capture/view/bar_window.h"
#include "capture/view/image_window_adapter.h"
#include "capture/view/marker_windows.h"
#include "capture/view/question_dialog.h"
#include "capture/view/setup_dialog.h"
#include "platform/paths.h"
#include "twain_source/view/qt_platform.h"

using namespace q47;
using namespace q47::capture;

namespace {

constexpr const char* kUsage =
    "Usage: slatewise [--language ENG|JPN|CHS] [--capture-to DIR] [--help]\n"
    "\n"
    "The Q-47 capture bar: photographs the projector monitor, scans the board's sheet\n"
    "through its TWAIN source and lays them over each other, or saves the sheet alone.\n"
    "\n"
    "  --language CODE  copy the language file CODE over SlateWise.ini in the settings\n"
    "                   folder before starting (the first start takes ENG when the\n"
    "                   settings folder holds no SlateWise.ini yet)\n"
    "  --capture-to DIR one unattended capture, then end: the projector monitor and the\n"
    "                   sheet composed into DIR/composite.JPG, then the sheet alone\n"
    "                   into DIR/sheet.PNG; messages go to standard error; exit code 0\n"
    "                   when both were saved\n"
    "  --help           show this text\n"
    "\n"
    "Settings: $Q47_HOME, else ~/.config/q47 (SlateWise.ini). Board: $Q47_DEVICE.\n";

// The single-instance name: per user, as the named mutex was per session, and per
// settings folder, so that separate settings folders ($Q47_HOME) run separately.
QString InstanceName() {
    const QByteArray folder = QByteArray::fromStdString(SettingsPath().parent_path().string());
    return QString("SlateWiseProgram-%1-%2").arg(::getuid()).arg(qHash(folder), 0, 16);
}

bool FirstInstanceRuns() {
    QLocalSocket s;
    s.connectToServer(InstanceName());
    return s.waitForConnected(500);
}

// The language file CODE becomes the settings file; false when CODE has none.
bool UseLanguage(const std::string& code) {
    const auto settings = SettingsPath();
    const auto source = paths::languageFolder(settings.parent_path(), code) / "SlateWise.ini";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec)) return false;
    std::filesystem::copy_file(source, settings, std::filesystem::copy_options::overwrite_existing, ec);
    return !ec;
}

// SIGTERM and SIGINT (a session ending, Ctrl+C) end the run as the close button does,
// through the event loop, so the windows are taken down in order.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

void EndOnSignals(QObject* context) {
    if (::pipe(signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] { QCoreApplication::exit(0); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

// --capture-to: a composite capture saved as JPEG, then a sheet-only capture saved as PNG.
bool UnattendedCapture(TfrmMain& bar, TfrmImg& img, const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string composite = (std::filesystem::path(dir) / "composite.JPG").string();
    const std::string sheet = (std::filesystem::path(dir) / "sheet.PNG").string();
    bar.captureKindOverride = [] { return CaptureKind::Composite; };
    const CaptureOutcome first = bar.flow().SpeedButton1Click();
    bool ok = first == CaptureOutcome::Composed &&
              img.SaveComposite(QString::fromStdString(composite), kSaveJpeg) == 0;
    std::printf("slatewise: composite %s\n", ok ? composite.c_str() : "failed");
    img.savedFileName = QString::fromStdString(composite);
    bar.captureKindOverride = [] { return CaptureKind::SheetOnly; };
    bar.saveDialogOverride = [&](const std::string&, const std::string&, const std::string&) {
        return SaveChoice{true, sheet, kSavePng};
    };
    const bool sheetOk = bar.flow().SpeedButton1Click() == CaptureOutcome::Saved;
    std::printf("slatewise: sheet %s\n", sheetOk ? sheet.c_str() : "failed");
    bar.captureKindOverride = nullptr;
    bar.saveDialogOverride = nullptr;
    return ok && sheetOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::string language, captureTo;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--language") && i + 1 < argc) {
            language = argv[++i];
        } else if (!std::strcmp(argv[i], "--capture-to") && i + 1 < argc) {
            captureTo = argv[++i];
        } else {
            std::fprintf(stderr, "slatewise: unknown argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    QApplication app(argc, argv);
    app.setApplicationName("slatewise");
    // Nobody sees an off-screen box: its text goes to standard error instead of waiting.
    if (QGuiApplication::platformName() == "offscreen" || !captureTo.empty())
        twain_source::setMessageBoxesUnseen(true);
    twain_source::QtNotifier plainBoxes;

    if (FirstInstanceRuns()) {
        const AppSettings local = ReadSettings();
        plainBoxes.messageBox(local.MsgExecuted, "", MsgIcon::None, MsgButtons::Ok);
        return 0;
    }
    QLocalServer instance;
    QLocalServer::removeServer(InstanceName());
    instance.listen(InstanceName());

    if (!language.empty() && !UseLanguage(language))
        std::fprintf(stderr, "slatewise: no language file for %s; settings kept\n", language.c_str());
    if (language.empty() && !std::filesystem::exists(SettingsPath())) UseLanguage("ENG");

    // The windows, once, in this order; the bar is the main window.
    app.setQuitOnLastWindowClosed(false);
    AppSettings settings = ReadSettings();
    CaptureState& state = TheCaptureState();
    TfrmMain frmMain(settings, state, SettingsPath());
    TfrmSetUp frmSetUp(settings, SettingsPath());
    TfrmMsg frmMsg(settings);
    TfrmImg frmImg;
    frmImg.SetSettings(settings);
    frmImg.SetNotifier(frmMain.notifier);
    frmImg.OnEnableBarButtons = [&frmMain](bool on) { frmMain.EnableBarButtons(on); };
    TfrmFull frmFull;
    frmImg.SetFullScreenWindow(&frmFull);
    TfrmMakerManager frmMakerManager(settings);
    ImageWindowAdapter images(frmImg, frmFull);
    frmMain.SetWindows(&frmSetUp, &frmMsg, &frmImg, &frmMakerManager, &images);
    EndOnSignals(&frmMain);
    frmMain.show();
    int code = 0;
    if (!captureTo.empty())
        QTimer::singleShot(0, &frmMain, [&] {
            code = UnattendedCapture(frmMain, frmImg, captureTo) ? 0 : 1;
            QCoreApplication::exit(code);
        });
    app.exec();
    instance.close();
    return code;
}

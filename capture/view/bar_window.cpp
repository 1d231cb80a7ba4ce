// The bar window: pictures, buttons, Timer1, drag, minimise and restore, help, close,
// display changes, and the bar's part of the capture flow.
#include "capture/view/bar_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <cmath>

#include "capture/image_window.h"
#include "capture/marker_geometry.h"
#include "capture/view/marker_windows.h"
#include "capture/view/question_dialog.h"
#include "capture/view/screen_saver.h"
#include "capture/view/setup_dialog.h"
#include "capture/view/window_look.h"
#include "imaging/Ikfile.h"
#include "platform/paths.h"
#include "twain_source/view/qt_platform.h"

namespace q47::capture {

namespace {

constexpr int kBarWidth = 208, kBarHeight = 77;  // Image1
constexpr int kRegionWidth = 206, kRegionHeight = 74;

QColor FromBgr(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Bar background: a dark blue body, a lighter title band that the user drags by, and a
// frame line; the colour of pixel (0, 0) is the key the repaint check looks for.
QImage DrawBackground() {
    QImage img(kBarWidth, kBarHeight, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient body(0, 23, 0, kBarHeight);
    body.setColorAt(0, QColor(36, 62, 112));
    body.setColorAt(1, QColor(18, 34, 66));
    p.fillRect(img.rect(), body);
    p.fillRect(QRect(0, 0, kBarWidth, 23), QColor(54, 96, 168));
    p.setPen(QColor(120, 160, 220));
    p.drawLine(0, 23, kRegionWidth, 23);
    p.setPen(QColor(12, 22, 44));
    p.drawRect(0, 0, kRegionWidth - 1, kRegionHeight - 1);
    // Program icon (Image2) at 3, 4: a small board with a sheet on it.
    p.fillRect(QRect(3, 4, 16, 16), QColor(230, 236, 245));
    p.fillRect(QRect(5, 6, 12, 9), Qt::white);
    p.setPen(QColor(200, 40, 40));
    p.drawLine(6, 8, 14, 8);
    p.setPen(QColor(40, 40, 40));
    p.drawLine(6, 11, 12, 11);
    p.fillRect(QRect(4, 17, 14, 2), QColor(90, 90, 90));
    return img;
}

// A big button's picture (50 by 40): hover lifts it with a light frame.
QImage BigButton(bool hover, const std::function<void(QPainter&)>& glyph) {
    QImage img(50, 40, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(hover ? QColor(190, 215, 255) : QColor(70, 100, 150));
    p.setBrush(hover ? QColor(70, 110, 180) : QColor(40, 68, 120));
    p.drawRoundedRect(QRectF(0.5, 0.5, 49, 39), 5, 5);
    glyph(p);
    return img;
}

QImage ScanGlyph(bool hover) {
    return BigButton(hover, [](QPainter& p) {
        p.setPen(QPen(QColor(30, 30, 30), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(13, 7, 24, 26));
        p.setPen(QPen(QColor(220, 40, 40), 2));
        p.drawLine(QPointF(10, 20), QPointF(40, 20));
    });
}

QImage MarkGlyph(bool hover, int selectMark) {
    return BigButton(hover, [selectMark](QPainter& p) {
        if (selectMark < 0 || selectMark > 4) {
            p.setPen(QPen(QColor(150, 150, 150), 2, Qt::DashLine));
            p.setBrush(Qt::NoBrush);
        } else {
            const uint32_t c = MarkerColourFor(selectMark);
            p.setPen(QPen(FromBgr(MarkerOutlineFor(c)), 1));
            p.setBrush(FromBgr(c));
        }
        QPainterPath ring;
        ring.addEllipse(QRectF(9.5, 4.5, 31, 31));
        ring.addEllipse(QRectF(15.5, 10.5, 19, 19));
        p.drawPath(ring);
    });
}

QImage SetGlyph(bool hover) {
    return BigButton(hover, [](QPainter& p) {
        p.setPen(QPen(QColor(235, 235, 235), 3));
        for (int i = 0; i < 3; ++i) p.drawLine(12, 12 + 8 * i, 38, 12 + 8 * i);
        p.setBrush(QColor(250, 200, 60));
        p.setPen(QPen(QColor(30, 30, 30), 1));
        p.drawEllipse(QPointF(18, 12), 3.5, 3.5);
        p.drawEllipse(QPointF(32, 20), 3.5, 3.5);
        p.drawEllipse(QPointF(22, 28), 3.5, 3.5);
    });
}

// A small title-band button (18 by 16): help "?", minimise "_", close "x".
QImage SmallGlyph(bool hover, char kind) {
    QImage img(18, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor face = kind == 'x' ? (hover ? QColor(232, 72, 60) : QColor(180, 60, 50))
                                    : (hover ? QColor(110, 150, 220) : QColor(70, 110, 180));
    p.setPen(QColor(20, 30, 60));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(0.5, 0.5, 17, 15), 3, 3);
    p.setPen(QPen(Qt::white, 2));
    if (kind == '_') p.drawLine(5, 11, 13, 11);
    if (kind == 'x') {
        p.drawLine(6, 4, 12, 11);
        p.drawLine(12, 4, 6, 11);
    }
    if (kind == '?') {
        QFont f = p.font();
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, 18, 16), Qt::AlignCenter, "?");
    }
    return img;
}

// The capture flow without an image window: nothing can be photographed or scanned.
class MissingImageWindow : public CaptureImages {
public:
    bool visible() const override { return false; }
    bool compositeUnsaved() const override { return false; }
    void resetProgress() override {}
    void setProgress(int) override {}
    void progressToMaximum() override {}
    int CaptureMonitor(int) override { return 1; }
    int OpenAcquisition() override { return 3; }
    int ScanSheet() override { return 4; }
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

}  // namespace

BarButton::BarButton(QWidget* parent, const char* name, QRect place) : QAbstractButton(parent) {
    setObjectName(name);
    setGeometry(place);
    setMouseTracking(true);
}

void BarButton::setPictures(QImage normal, QImage hover) {
    normal_ = std::move(normal);
    hover_pic_ = std::move(hover);
    update();
}

void BarButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, hover_ ? hover_pic_ : normal_);
}

void BarButton::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void BarButton::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

TfrmMain::TfrmMain(AppSettings& settings, CaptureState& state, std::filesystem::path settingsFile)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      settings_(settings),
      state_(state),
      settingsFile_(std::move(settingsFile)) {
    setObjectName("frmMain");
    ownNotifier_ = std::make_unique<twain_source::QtNotifier>(this);
    notifier = ownNotifier_.get();
    screenSaverRunning = [] { return ScreenSaverRunning(); };
    openHelp = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    exitProgram = [](int code) { QCoreApplication::exit(code); };

    // Construction: a projector monitor that is gone falls back to the first one.
    const MonitorChoice choice =
        ResolveMonitor(settings_.SelectMonitor, static_cast<int>(QGuiApplication::screens().size()));
    if (choice.reset) settings_.SelectMonitor = 0;
    state_.largeSheet = false;
    readPrimaryScreen();

    // FormCreate.
    setFont(SettingsFont(settings_));
    setFixedSize(kBarWidth, kBarHeight);
    setWindowTitle(QString::fromStdString(settings_.barTitle()));
    Image1 = DrawBackground();
    Label1 = new QLabel(QString::fromStdString(settings_.barTitle()), this);
    Label1->setObjectName("Label1");
    Label1->setStyleSheet("color: white; background: transparent;");
    Label1->move(22, 5);
    Label1->adjustSize();
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);  // presses drag the bar
    SpeedButton1 = new BarButton(this, "SpeedButton1", {8, 32, 50, 40});
    SpeedButton2 = new BarButton(this, "SpeedButton2", {80, 32, 50, 40});
    SpeedButton3 = new BarButton(this, "SpeedButton3", {152, 32, 50, 40});
    SpeedButton6 = new BarButton(this, "SpeedButton6", {142, 4, 18, 16});
    SpeedButton5 = new BarButton(this, "SpeedButton5", {164, 4, 18, 16});
    SpeedButton4 = new BarButton(this, "SpeedButton4", {186, 4, 18, 16});
    SpeedButton1->setToolTip(QString::fromStdString(settings_.HintScan));
    SpeedButton2->setToolTip(QString::fromStdString(settings_.HintMark));
    SpeedButton3->setToolTip(QString::fromStdString(settings_.HintSet));
    SpeedButton4->setToolTip(QString::fromStdString(settings_.HintClose));
    SpeedButton5->setToolTip(QString::fromStdString(settings_.HintMin));
    SpeedButton6->setToolTip(QString::fromStdString(settings_.HintHelp));
    SpeedButton1->setPictures(ScanGlyph(false), ScanGlyph(true));
    ShowMarkGlyph();
    SpeedButton3->setPictures(SetGlyph(false), SetGlyph(true));
    SpeedButton6->setPictures(SmallGlyph(false, '?'), SmallGlyph(true, '?'));
    SpeedButton5->setPictures(SmallGlyph(false, '_'), SmallGlyph(true, '_'));
    SpeedButton4->setPictures(SmallGlyph(false, 'x'), SmallGlyph(true, 'x'));
    // Detached buttons ignore clicks (EnableBarButtons); each click checks at the time.
    const std::pair<BarButton*, void (TfrmMain::*)()> clicks[] = {
        {SpeedButton1, &TfrmMain::SpeedButton1Click}, {SpeedButton2, &TfrmMain::SpeedButton2Click},
        {SpeedButton3, &TfrmMain::SpeedButton3Click}, {SpeedButton4, &TfrmMain::SpeedButton4Click},
        {SpeedButton5, &TfrmMain::SpeedButton5Click}, {SpeedButton6, &TfrmMain::SpeedButton6Click}};
    for (const auto& [button, handler] : clicks)
        connect(button, &QAbstractButton::clicked, this, [this, handler = handler] {
            if (attached_) (this->*handler)();
        });
    showHandlerArmed = true;
    if (state_.saveFolder.empty()) {
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        state_.saveFolder = docs.toStdString();
    }
    state_.lastSaveType = kSaveJpeg;
    // The region: everything outside 206 by 74 is not part of the window.
    setMask(QRegion(QPolygon({{0, 0}, {kRegionWidth, 0}, {kRegionWidth, kRegionHeight}, {0, kRegionHeight}})));
    move(screenWidth - static_cast<int>(std::lround(kBarWidth + screenWidth * 0.05)),
         static_cast<int>(std::lround(screenHeight * 0.05)));
    const QRgb key = Image1.pixel(0, 0);
    barKeyColour = ColourOf(qRed(key), qGreen(key), qBlue(key));

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();

    // Display changes: a screen added or removed, or one resized.
    auto watch = [this](QScreen* s) {
        connect(s, &QScreen::geometryChanged, this, [this] { DisplayChanged(); });
    };
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* s) {
        watch(s);
        DisplayChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] {
        // The list still holds the leaving screen while this signal runs.
        QTimer::singleShot(0, this, [this] { DisplayChanged(); });
    });
    noImages_ = std::make_unique<MissingImageWindow>();
    flow_ = std::make_unique<CaptureFlow>(settings_, state_, *this, *noImages_, *notifier);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::SetWindows(TfrmSetUp* setUp, TfrmMsg* msg, TfrmImg* img, TfrmMakerManager* markers,
                          CaptureImages* images) {
    setUp_ = setUp;
    msg_ = msg;
    img_ = img;
    markers_ = markers;
    images_ = images ? images : noImages_.get();
    flow_ = std::make_unique<CaptureFlow>(settings_, state_, *this, *images_, *notifier);
    auto raiseOrder = [this](QWidget* dialog) {
        raise();
        dialog->raise();
        if (markers_) markers_->raiseMarkers();
        raise();
    };
    if (setUp_) {
        setUp_->raiseOrder = [this, raiseOrder] { raiseOrder(setUp_); };
        setUp_->onChosen = [this] {
            ShowMarkGlyph();
            markersHidden = true;
            SpeedButton2Click();
        };
    }
    if (msg_) msg_->raiseOrder = [this, raiseOrder] { raiseOrder(msg_); };
    if (markers_)
        markers_->onMonitorReset = [this] {
            if (setUp_) setUp_->RefillMonitors();
        };
}

void TfrmMain::readPrimaryScreen() {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        screenWidth = s->geometry().width();
        screenHeight = s->geometry().height();
        screenBits = s->depth();
    }
    state_.screenWidth = screenWidth;
    state_.screenHeight = screenHeight;
}

void TfrmMain::ShowMarkGlyph() {
    SpeedButton2->setPictures(MarkGlyph(false, settings_.SelectMark), MarkGlyph(true, settings_.SelectMark));
}

void TfrmMain::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Image1);
}

void TfrmMain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TfrmMain::FormShow() {
    if (img_) {
        img_->EnumerateMonitors();
        if (img_->File()) img_->File()->setFilePath(QString::fromStdString(state_.saveFolder));
    }
    if (setUp_) setUp_->RefillMonitors();
    ShowMarkGlyph();
    SpeedButton2Click();
    raise();
}

void TfrmMain::Minimize() {
    // The rings go with the bar; Restore rebuilds them in the state they had.
    if (markers_) markers_->ShowMarkers(false, markerColour);
}

void TfrmMain::Restore() {
    markersHidden = !markersHidden;
    FormShow();
}

void TfrmMain::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange) {
        const auto old = static_cast<QWindowStateChangeEvent*>(e)->oldState();
        if (isMinimized() && !(old & Qt::WindowMinimized)) Minimize();
        else if (!isMinimized() && (old & Qt::WindowMinimized)) Restore();
    }
    QWidget::changeEvent(e);
}

void TfrmMain::DisplayChanged() {
    readPrimaryScreen();
    const bool wasVisible = isVisible();
    hide();
    markersHidden = !markersHidden;
    if (wasVisible) show();  // FormShow toggles back: same state, new layout
    else markersHidden = !markersHidden;
}

void TfrmMain::SpeedButton1Click() {
    flow_->SpeedButton1Click();
}

void TfrmMain::SpeedButton2Click() {
    if (!showHandlerArmed) return;
    if (markersHidden) {
        markerVisible = true;
        switch (settings_.SelectMark) {
            case 0: markerColour = 0xFFFFFF; break;
            case 1: markerColour = 0x0000FF; break;
            case 2: markerColour = 0x00FF00; break;
            case 3: markerColour = 0xFF0000; break;
            case 4: markerColour = 0x000000; break;
            default: markerVisible = false; break;
        }
        markersHidden = false;
    } else {
        markerVisible = false;
        markersHidden = true;
    }
    if (markers_) markers_->ShowMarkers(markerVisible, markerColour);
    raise();
}

void TfrmMain::SpeedButton3Click() {
    if (setUp_) setUp_->exec();
}

void TfrmMain::SpeedButton5Click() {
    showMinimized();
}

std::filesystem::path TfrmMain::HelpPage() {
    return paths::dataFolder() / "help" / "slatewise" / "index.html";
}

void TfrmMain::SpeedButton6Click() {
    const auto page = HelpPage();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(page, ec)) return;  // no help installed
    if (openHelp) openHelp(QUrl::fromLocalFile(QString::fromStdString(page.string())));
}

bool TfrmMain::imageWindowVisible() const {
    return images_ && images_->visible();
}

bool TfrmMain::compositeUnsaved() const {
    return images_ && images_->compositeUnsaved();
}

bool TfrmMain::askLeaveUnsaved() {
    Timer1->stop();
    const MsgResult r = notifier->messageBox(settings_.MsgFileNotSaveApp, settings_.MsgConfirmation,
                                             MsgIcon::None, MsgButtons::YesNo);
    Timer1->start();
    return r == MsgResult::Yes;
}

void TfrmMain::SpeedButton4Click() {
    if (imageWindowVisible() && compositeUnsaved() && !askLeaveUnsaved()) return;
    if (exitProgram) exitProgram(0);
}

bool TfrmMain::FormCloseQuery() {
    if (QApplication::overrideCursor()) {  // a scan or save is running
        Timer1->start();
        return false;
    }
    if (imageWindowVisible() && compositeUnsaved()) return askLeaveUnsaved();
    return true;
}

void TfrmMain::closeEvent(QCloseEvent* e) {
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    e->accept();
    if (exitProgram) exitProgram(0);
}

void TfrmMain::Timer1Timer() {
    if (screenSaverRunning && screenSaverRunning()) return;
    const bool dialogUp = (img_ && img_->isVisible()) || (msg_ && msg_->isVisible()) ||
                          (setUp_ && setUp_->isVisible());
    if (QApplication::activeWindow() != this && !dialogUp && !isMinimized()) {
        if (markers_) markers_->raiseMarkers();
        raise();
    }
    // Repaint check: the bar's key pixel as the screen shows it.
    QScreen* screen = nullptr;
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().contains(pos())) {
            screen = s;
            break;
        }
    if (!screen || !isVisible()) return;
    const QPoint at = pos() - screen->geometry().topLeft();
    const QImage shot = screen->grabWindow(0, at.x(), at.y(), 1, 1).toImage();
    if (shot.isNull()) return;
    const QRgb c = shot.pixel(0, 0);
    if (ColourOf(qRed(c), qGreen(c), qBlue(c)) != barKeyColour) {
        ++repaintsByTimer;
        repaint();
    }
}

void TfrmMain::EnableBarButtons(bool on) {
    attached_ = on;
}

void TfrmMain::mousePressEvent(QMouseEvent* e) {
    // The title band (Image1 up to y 22, Label1, Image2) moves the borderless bar.
    if (e->button() == Qt::LeftButton && e->position().y() <= 22) {
        dragging_ = true;
        dragOffset_ = e->globalPosition().toPoint() - pos();
    }
}

void TfrmMain::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) move(e->globalPosition().toPoint() - dragOffset_);
}

void TfrmMain::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

// ---- The bar's part of the capture flow.

void TfrmMain::stopTimer1() {
    Timer1->stop();
}

void TfrmMain::startTimer1() {
    Timer1->start();
}

CaptureKind TfrmMain::askCaptureKind() {
    if (captureKindOverride) return captureKindOverride();
    if (!msg_) return CaptureKind::NoAnswer;
    const int result = msg_->exec();
    if (msg_->answerPending) return CaptureKind::NoAnswer;
    return result == QMessageBox::Yes ? CaptureKind::Composite : CaptureKind::SheetOnly;
}

void TfrmMain::showBar(bool shown) {
    showHandlerArmed = false;  // the rings stay as they are
    setVisible(shown);
    showHandlerArmed = true;
}

void TfrmMain::rememberBarPosition() {
    remembered_ = pos();
    state_.barLeft = remembered_.x();
    state_.barTop = remembered_.y();
}

void TfrmMain::restoreBarPosition() {
    move(remembered_);
}

void TfrmMain::processEvents() {
    QCoreApplication::processEvents();
}

void TfrmMain::waitMilliseconds(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

void TfrmMain::cycleTopmost() {
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    show();
    QCoreApplication::processEvents();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    show();
    QCoreApplication::processEvents();
}

SaveChoice TfrmMain::saveDialog(const std::string& folder, const std::string& fileName,
                                const std::string& ext) {
    if (saveDialogOverride) return saveDialogOverride(folder, fileName, ext);
    SaveChoice choice;
    TVIkFile* file = img_ ? img_->File() : nullptr;
    if (!file) return choice;
    file->setFilePath(QString::fromStdString(folder));
    file->setFileName(QString::fromStdString(fileName));
    file->setFileExt(QString::fromStdString(ext));
    file->SaveType = state_.lastSaveType;
    choice.confirmed = file->SaveFileDlg();
    choice.fileName = file->FileName().toStdString();
    choice.saveType = file->SaveType;
    return choice;
}

void TfrmMain::restoreApplication() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
}

}  // namespace q47::capture

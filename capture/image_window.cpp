// TfrmImg: controls of the image window, monitors, acquisition, composition and editing.
#include "capture/image_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <cmath>

#include "capture/full_screen_window.h"
#include "capture/image_window_impl.h"
#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "capture/warp_image.h"
#include "capture/window_layout.h"
#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"
#include "imaging/Ikfile.h"
#include "imaging/Ikprint.h"
#include "imaging/Ikscan.h"
#include "imaging/display_widget.h"

namespace q47::capture {

namespace {

constexpr int kHandleSize = 14;

void freeImage(IKHANDLE& image) {
    if (image && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(image);
    image = 0;
}

IKHANDLE copyOf(IKHANDLE image) {
    return image && Ikdllprocs::IKCopyImage ? Ikdllprocs::IKCopyImage(image, 0, 0, 0, 0) : 0;
}

// A handle: a dark frame around a blue square; 14 by 14 so it is easy to hit.
IKHANDLE makeHandlePicture() {
    QImage picture(kHandleSize, kHandleSize, QImage::Format_RGB888);
    picture.fill(QColor(20, 20, 20));
    QPainter p(&picture);
    p.fillRect(2, 2, kHandleSize - 4, kHandleSize - 4, QColor(0, 110, 220));
    p.end();
    TVIkCommon holder;
    holder.SetPicture(picture);
    const IKHANDLE h = holder.ImgHandle;
    holder.ImgHandle = 0;
    return h;
}

Qt::CursorShape cursorFor(int layer) {
    switch (layer) {
        case 2: case 6: return Qt::SizeFDiagCursor;
        case 4: case 8: return Qt::SizeBDiagCursor;
        case 3: case 7: return Qt::SizeVerCursor;
        case 5: case 9: return Qt::SizeHorCursor;
        default: return Qt::ArrowCursor;
    }
}

}  // namespace

Qt::CursorShape HandleCursor(int layer) { return cursorFor(layer); }

// ---- Construction.

TfrmImg::TfrmImg(QWidget* parent) : QMainWindow(parent), d_(std::make_unique<Impl>()) {
    setObjectName("frmImg");
    VIkScan1 = new TVIkScan(this);
    VIkFile1 = new TVIkFile(this);
    VIkPrint1 = new TVIkPrint(this);
    VIkEffect1 = new TVIkEffect(this);
    VIkCapCommon = new TVIkCommon(this);
    VIkCommon7 = new TVIkCommon(this);
    VIkScan1->setObjectName("VIkScan1");
    VIkFile1->setObjectName("VIkFile1");
    VIkPrint1->setObjectName("VIkPrint1");
    // Linux desktops print to PDF files as often as to paper: the dialog offers it.
    VIkPrint1->Options = poPrintToFile;
    VIkScan1->OnAfterScan = [this](QObject*, uint32_t dib, uint32_t, int32_t, int16_t) { VIkScan1AfterScan(dib); };

    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setMouseTracking(true);
    Panel1->installEventFilter(this);
    setCentralWidget(Panel1);
    setMouseTracking(true);
    auto button = [this](const char* name, int left) {
        auto* b = new QToolButton(Panel1);
        b->setObjectName(name);
        b->setGeometry(left, 0, 36, 36);
        b->setIconSize(QSize(28, 28));
        return b;
    };
    SpeedButton1 = button("SpeedButton1", 0);
    SpeedButton2 = button("SpeedButton2", 38);
    SpeedButton3 = button("SpeedButton3", 76);
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SpeedButton2->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    SpeedButton3->setIcon(style()->standardIcon(QStyle::SP_TitleBarMaxButton));

    VIkDisp1 = new TVIkDisp(Panel1);
    VIkDisp1->setObjectName("VIkDisp1");
    VIkDisp1->BorderVisible = true;
    VIkDisp1->ShowInDisp = false;
    VIkDisp1->Pen = QPen(Qt::red, 1);
    VIkDisp1->move(4, 44);
    VIkDisp1->setMouseTracking(true);
    VIkDisp2 = new TVIkDisp(Panel1);
    VIkDisp2->setObjectName("VIkDisp2");
    VIkDisp2->hide();
    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 10);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    FileF1 = menuBar()->addMenu(QString());
    FileF1->setObjectName("FileF1");
    OverWrite1 = FileF1->addAction(QString());
    OverWrite1->setObjectName("OverWrite1");
    Save1 = FileF1->addAction(QString());
    Save1->setObjectName("Save1");
    FileF1->addSeparator();
    Print1 = FileF1->addAction(QString());
    Print1->setObjectName("Print1");
    attachCommands(true);

    for (IKHANDLE& h : d_->handlePictures) h = makeHandlePicture();
    setMinimumSize(kMinimumWindow.width, kMinimumWindow.height);
    SetSettings(settings_);
}

TfrmImg::~TfrmImg() {
    ReleaseAllImages();
    VIkCapCommon->FreeMemory();
    VIkCommon7->FreeMemory();
    for (IKHANDLE& h : d_->handlePictures) freeImage(h);
}

void TfrmImg::SetSettings(const AppSettings& settings) {
    settings_ = settings;
    setWindowTitle(QString::fromStdString(settings_.FrameDisplay));
    SpeedButton1->setToolTip(QString::fromStdString(settings_.HintSave));
    SpeedButton2->setToolTip(QString::fromStdString(settings_.HintAspect));
    SpeedButton3->setToolTip(QString::fromStdString(settings_.HintActualSize));
    FileF1->setTitle(QString::fromStdString(settings_.MenuFile));
    OverWrite1->setText(QString::fromStdString(settings_.SubMenuOverWrite));
    Save1->setText(QString::fromStdString(settings_.SubMenuSave));
    Print1->setText(QString::fromStdString(settings_.SubMenuPrint));
}

void TfrmImg::attachCommands(bool on) {
    for (QToolButton* b : {SpeedButton1, SpeedButton2, SpeedButton3}) b->disconnect();
    for (QAction* a : {OverWrite1, Save1, Print1}) a->disconnect();
    if (!on) return;
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(OverWrite1, &QAction::triggered, this, [this] { OverWrite1Click(); });
    connect(Save1, &QAction::triggered, this, [this] { Save1Click(); });
    connect(Print1, &QAction::triggered, this, [this] { Print1Click(); });
}

MsgResult TfrmImg::ask(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    if (notifier_) return notifier_->messageBox(text, settings_.MsgConfirmation, icon, buttons);
    const QString caption = QString::fromStdString(settings_.MsgConfirmation);
    const QString body = QString::fromStdString(text);
    if (buttons == MsgButtons::YesNo)
        return QMessageBox::question(this, caption, body, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
                   ? MsgResult::Yes
                   : MsgResult::No;
    QMessageBox::warning(this, caption, body);
    return MsgResult::Ok;
}

void TfrmImg::enableBar(bool on) {
    if (OnEnableBarButtons) OnEnableBarButtons(on);
}

// ---- Monitors.

int TfrmImg::EnumerateMonitors() {
    MonitorCount = 0;
    for (MonitorRecord& m : Monitors) m = MonitorRecord{};
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    for (QScreen* screen : screens) {
        if (!screen) {
            MonitorCount = -1;
            return 2;
        }
        if (MonitorCount >= kMaxMonitors) break;  // entries beyond the tenth are not kept
        MonitorRecord& m = Monitors[MonitorCount];
        m.number = ++MonitorCount;
        m.deviceName = QStringLiteral("\\\\.\\DISPLAY%1").arg(m.number);
        const QRect g = screen->geometry();
        m.left = g.left();
        m.top = g.top();
        m.right = g.left() + g.width();
        m.bottom = g.top() + g.height();
        m.handle = reinterpret_cast<uintptr_t>(screen);
        m.flags = screen == primary ? 1 : 0;
        m.context = 0;
    }
    return 0;
}

int TfrmImg::CaptureMonitor(int index) {
    if (index < 0 || index >= kMaxMonitors || index >= MonitorCount || Monitors[index].number == 0) return 1;
    const MonitorRecord& m = Monitors[index];
    // The framework may have dropped the monitor since the enumeration.
    QScreen* screen = nullptr;
    for (QScreen* s : QGuiApplication::screens())
        if (reinterpret_cast<uintptr_t>(s) == m.handle) screen = s;
    if (!screen) return 1;
    QImage picture = screen->grabWindow(0).toImage();
    if (picture.isNull()) return 1;
    // Cut to the monitor: on some platforms the copy holds the whole virtual desktop.
    const QSize size(m.right - m.left, m.bottom - m.top);
    if (picture.size() != size) {
        const QRect g = screen->geometry();
        const QRect desktop = screen->virtualGeometry();
        if (picture.size() == desktop.size()) picture = picture.copy(g.translated(-desktop.topLeft()));
        picture = picture.copy(0, 0, size.width(), size.height());
    }
    VIkCapCommon->FreeMemory();
    VIkCapCommon->SetPicture(picture.convertToFormat(QImage::Format_RGB888));
    return VIkCapCommon->ImgHandle ? 0 : 1;
}

// ---- Acquisition.

int TfrmImg::OpenAcquisition() {
    if (!d_->acquisitionOpen)
        d_->acquisitionOpen = VIkScan1->ScanInitialize(1, 0, "SlateWise", "Zelt Orbita Corp.", "Slatewise",
                                                       "ZELT Slatewise Q-47 Sereis");
    if (!d_->acquisitionOpen) ErrorStatus = VIkScan1->ErrorStatus;
    return d_->acquisitionOpen ? 0 : 3;
}

int TfrmImg::ScanSheet() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool listed = VIkScan1->ScanList();
    QApplication::restoreOverrideCursor();
    if (!listed) {
        ErrorStatus = VIkScan1->ErrorStatus;
        return 4;
    }
    QString source;
    for (const QString& name : VIkScan1->DSList)
        if (name.contains("ZELT Slatewise Q-47")) {
            source = name;
            break;
        }
    if (source.isEmpty()) return 4;
    VIkScan1->DSName = source;
    VIkScan1->UiMode = vikScanNONUI;
    VIkScan1->TransferMode = vikScanNative;
    VIkScan1->Compression = 0;
    if (!VIkScan1->IsOpenDS()) {
        if (!VIkScan1->ScanOpenDS()) {
            ErrorStatus = VIkScan1->ErrorStatus;
            return 5;
        }
        VIkScan1->PixelType = vikScanPixelPalette;
        VIkScan1->XResolution = VIkScan1->YResolution = 72;
        VIkScan1->ScanMode = vikScanDOC;
        VIkScan1->RectLeft = VIkScan1->RectTop = 0;
        VIkScan1->BitOrder = 1;
        VIkScan1->Value68 = 0;
        VIkScan1->XScaling = VIkScan1->YScaling = 1.0f;
        VIkScan1->setBitDepth(8);
        VIkScan1->Brightness = VIkScan1->Contrast = 0;
        VIkScan1->Gamma = 2.2f;
        VIkScan1->Highlight = 255;
        VIkScan1->Shadow = 0;
        VIkScan1->Threshold = 128;
        VIkScan1->Indicator = true;
        VIkScan1->XferCount = -1;
        VIkScan1->Orientation = vikScanRotate0;
        VIkScan1->Value80 = 0;
        VIkScan1->RecordText.clear();
    }
    scanBusy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (QAction* a : {OverWrite1, Save1, Print1}) a->setEnabled(false);
    attachCommands(false);
    const bool scanned = VIkScan1->ScanExec();
    QApplication::restoreOverrideCursor();
    if (!scanned) ErrorStatus = VIkScan1->ErrorStatus;
    VIkScan1->ScanCloseDS();
    for (QAction* a : {OverWrite1, Save1, Print1}) a->setEnabled(true);
    attachCommands(true);
    return scanned ? 0 : 6;
}

void TfrmImg::VIkScan1AfterScan(IKHANDLE dib) {
    uint16_t status = 0;
    const IKHANDLE sheet = PrepareScannedSheet(dib, &status);  // takes the handle over
    if (!sheet) {
        ErrorStatus = status;
        return;  // scanBusy stays set: the flow only redisplays
    }
    VIkCommon7->FreeMemory();
    VIkCommon7->ImgHandle = sheet;
    scanBusy = false;
}

void TfrmImg::TakeSheetImage(bool keep) {
    if (keep) {
        VIkDisp1->SetImgHandle(0);
        freeImage(d_->sheet);
        if (VIkCommon7->ImgHandle) {
            WhitenSheet(VIkCommon7->ImgHandle);
            d_->sheet = copyOf(VIkCommon7->ImgHandle);
        }
        VIkDisp1->SetImgHandle(d_->sheet);
    }
    VIkCommon7->FreeMemory();
}

IKHANDLE TfrmImg::ScannedImage() const { return VIkCommon7->ImgHandle; }

IKHANDLE TfrmImg::SheetImage() const { return d_->sheet; }

IKHANDLE TfrmImg::LayerImage(int index) const {
    return index >= 0 && index < 10 ? d_->layers[index] : 0;
}

IKHANDLE TfrmImg::MergedImage() const { return d_->merged; }
Handles TfrmImg::HandlePositions() const { return d_->handles; }
Quad TfrmImg::CaptureCorners() const { return QuadFromHandles(d_->handles, d_->handleW, d_->handleH); }

// The sheet layer over the capture layer, white see-through; without a capture layer a
// copy of the sheet.
IKHANDLE TfrmImg::mergeLayers() {
    const IKHANDLE sheet = d_->layers[1] ? d_->layers[1] : d_->sheet;
    const IKHANDLE capture = composite_ ? d_->layers[0] : 0;
    const TCRaster* layer = VIkDisp1->GetRaster(0);
    uint16_t status = 0;
    const IKHANDLE merged = MergeComposite(sheet, capture, {layer->StartX(), layer->StartY()}, &status);
    if (!merged) ErrorStatus = status;
    return merged;
}

void TfrmImg::setLayer(int index, IKHANDLE image) {
    TCRaster* r = VIkDisp1->GetRaster(index);
    r->setImgHandle(image);
    if (d_->layers[index] != image) freeImage(d_->layers[index]);
    d_->layers[index] = image;
}

void TfrmImg::ReleaseAllImages() {
    VIkDisp1->SetImgHandle(0);
    for (int i = 0; i < 10; ++i) setLayer(i, 0);
    freeImage(d_->sheet);
    VIkDisp2->SetImgHandle(0);
    freeImage(d_->merged);
    freeImage(d_->captureCopy);
    freeImage(d_->sheetCopy);
    VIkFile1->ImgHandle = 0;
}

// ---- Showing and layout.

void TfrmImg::ShowIn(bool composite) {
    std::vector<MonitorRect> rects;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        rects.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
    }
    const CaptureState& state = TheCaptureState();
    d_->monitorOrigin = RememberedMonitorOrigin(rects, {state.barLeft, state.barTop});
    composite_ = composite;
    attachMouse(composite);
    Redisplay();
    show();
    FormShow();
}

void TfrmImg::FormShow() {
    VIkDisp2->hide();
    VIkDisp1->Pen = QPen(Qt::red, 1);
    VIkDisp1->setToolTip(QString());
    move(pos() + QPoint(d_->monitorOrigin.x, d_->monitorOrigin.y) - QPoint(d_->movedBy.x, d_->movedBy.y));
    d_->movedBy = d_->monitorOrigin;
}

void TfrmImg::SizeAndPlace() {
    int32_t w = 0, h = 0;
    SheetSize(d_->sheet, &w, &h);
    const SheetSizing sizing = SheetSizingFor(w);
    aspect_ = sizing.aspect;
    TheCaptureState().largeSheet = sizing.largeSheet;
    const CaptureState& state = TheCaptureState();
    largest_ = LargestDisplay(state.screenWidth, state.screenHeight, aspect_);
    VIkDisp1->resize(largest_.width, largest_.height);
    const Size window = WindowForDisplay(largest_);
    d_->laying = true;
    resize(window.width, window.height);
    d_->laying = false;
    const Point at = WindowPlace(window, state.screenWidth, d_->monitorOrigin);
    move(at.x, at.y);
    d_->movedBy = d_->monitorOrigin;
    VIkDisp1->Display(vikStretch);
}

void TfrmImg::layOut() {
    const QSize client = Panel1->size();
    const Size disp = DisplayInClient({client.width(), client.height() - ProgressBar1->height()}, aspect_, largest_,
                                      isMaximized());
    VIkDisp1->setGeometry(4, 44, disp.width, disp.height);
    ProgressBar1->setGeometry(0, client.height() - ProgressBar1->sizeHint().height(), client.width(),
                              ProgressBar1->sizeHint().height());
}

void TfrmImg::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    if (!d_->laying) layOut();
    else ProgressBar1->setGeometry(0, Panel1->height() - ProgressBar1->sizeHint().height(), Panel1->width(),
                                   ProgressBar1->sizeHint().height());
}

void TfrmImg::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isVisible()) {
        layOut();
        VIkDisp1->Refresh();
    }
}

void TfrmImg::Redisplay() {
    if (d_->sheet) VIkDisp1->Display(vikStretch);
    else VIkDisp1->Refresh();
}

void TfrmImg::SpeedButton2Click() {
    if (!TheCaptureState().largeSheet) return;
    aspect_ = aspect_ == SheetAspect::Half ? SheetAspect::TwoThirds : SheetAspect::Half;
    const CaptureState& state = TheCaptureState();
    largest_ = LargestDisplay(state.screenWidth, state.screenHeight, aspect_);
    layOut();
    VIkDisp1->Refresh();
}

void TfrmImg::SpeedButton3Click() {
    if (!d_->sheet) return;
    if (!frmFull_) {
        d_->ownFull = std::make_unique<TfrmFull>();
        frmFull_ = d_->ownFull.get();
    }
    IKHANDLE merged = mergeLayers();
    if (!merged) return;
    VIkDisp2->SetImgHandle(0);
    freeImage(d_->merged);
    d_->merged = merged;
    VIkDisp2->SetImgHandle(d_->merged);
    frmFull_->ShowPicture(composite_ ? d_->merged : d_->sheet, aspect_, TheCaptureState().screenWidth);
}

void TfrmImg::SetProgressMinimum(int minimum) { ProgressBar1->setMinimum(minimum); }
void TfrmImg::SetProgressPosition(int position) { ProgressBar1->setValue(position); }
int TfrmImg::ProgressPosition() const { return ProgressBar1->value(); }

// ---- Composition.

IKHANDLE TfrmImg::smoothed(IKHANDLE layer) {
    int32_t w = 0, h = 0;
    SheetSize(VIkCapCommon->ImgHandle ? VIkCapCommon->ImgHandle : d_->captureCopy, &w, &h);
    const IKHANDLE out = SmoothCaptureLayer(layer, CaptureFilterFor(settings_, w, h));
    return out;
}

void TfrmImg::ComposeImages() {
    for (int i = 0; i < 10; ++i) setLayer(i, 0);
    SpeedButton2->setEnabled(TheCaptureState().largeSheet);
    VIkFile1->setFileName(QString());
    savedFileName.clear();
    if (!d_->sheet) return;

    TCRaster* sheetLayer = VIkDisp1->GetRaster(1);
    sheetLayer->setTransColor(255, 255, 255);
    sheetLayer->setEnableTrans(true);
    sheetLayer->setStartX(0);
    sheetLayer->setStartY(0);
    setLayer(1, copyOf(d_->sheet));

    int32_t sheetW = 0, sheetH = 0;
    SheetSize(d_->sheet, &sheetW, &sheetH);
    if (composite_) {
        freeImage(d_->captureCopy);
        freeImage(d_->sheetCopy);
        d_->captureCopy = copyOf(VIkCapCommon->ImgHandle);
        d_->sheetCopy = copyOf(d_->sheet);
        const SheetSizing sizing = SheetSizingFor(sheetW);
        aspect_ = sizing.aspect;
        TheCaptureState().largeSheet = sizing.largeSheet;
        SpeedButton2->setEnabled(sizing.largeSheet);
    }

    for (int i = 2; i <= 9; ++i) {
        TCRaster* r = VIkDisp1->GetRaster(i);
        r->setTransColor(255, 255, 255);
        r->setEnableTrans(true);
        r->setShowInDisp(composite_);
        setLayer(i, composite_ ? copyOf(d_->handlePictures[i - 2]) : 0);
    }
    d_->handleW = d_->handleH = kHandleSize;

    if (composite_ && d_->captureCopy) {
        int32_t capW = 0, capH = 0;
        SheetSize(d_->captureCopy, &capW, &capH);
        const Point offset{static_cast<int32_t>(std::lround(sheetW * 0.1)),
                           static_cast<int32_t>(std::lround(sheetH * 0.1))};
        const Placement placement = PlaceCaptureLayer(TheMarkDetection().MarkCorners, sheetH, capW, capH, offset);
        d_->corners = placement.corners;
        d_->layerStart = placement.layerStart;
        const IKHANDLE warped = warp(d_->corners);
        TCRaster* capture = VIkDisp1->GetRaster(0);
        capture->setEnableTrans(false);
        capture->setShowInDisp(true);
        int32_t w = 0, h = 0;
        SheetSize(warped, &w, &h);
        d_->composed = {w, h};
        d_->handles = HandlesForQuad(d_->corners, d_->handleW, d_->handleH);
        d_->handlesShown = true;
        placeHandles();
        setLayer(0, warped);
        const IKHANDLE filtered = smoothed(warped);
        if (filtered) setLayer(0, filtered);
        capture->setStartX(d_->layerStart.x);
        capture->setStartY(d_->layerStart.y);
    }
    VIkDisp1->GetRaster(1)->setShowInDisp(true);
    VIkDisp1->Display(vikStretch);
    QCoreApplication::processEvents();
}

IKHANDLE TfrmImg::warp(const Quad& corners) {
    ProgressBar1->setValue(0);
    const IKHANDLE out = WarpScreenPicture(d_->captureCopy, corners, [this](int v) {
        ProgressBar1->setValue(v);
    });
    ProgressBar1->setValue(ProgressBar1->maximum());
    return out;
}

void TfrmImg::placeHandles() {
    for (int i = 0; i < 8; ++i) {
        TCRaster* r = VIkDisp1->GetRaster(i + 2);
        r->setStartX(d_->handles[i].x);
        r->setStartY(d_->handles[i].y);
        r->setShowInDisp(d_->handlesShown);
    }
}

Size TfrmImg::visibleArea() const {
    int32_t w = 0, h = 0;
    SheetSize(d_->sheet, &w, &h);
    return {w, h};
}

// ---- Mouse editing.

void TfrmImg::attachMouse(bool on) {
    if (!on) {
        VIkDisp1->OnMouseDownImage = nullptr;
        VIkDisp1->OnMouseUpImage = nullptr;
        VIkDisp1->OnMouseMoveImage = nullptr;
        VIkDisp1->OnMouseDownSelectRasterImage = nullptr;
        return;
    }
    VIkDisp1->OnMouseDownSelectRasterImage = [this](QObject*, int16_t index, int, int) {
        if (index < 2 || index > 9 || !composite_) return;
        d_->drag = Impl::Drag::Handle;
        d_->dragLayer = index;
        setCursor(cursorFor(index));
        VIkDisp1->setCursor(cursorFor(index));
    };
    VIkDisp1->OnMouseDownImage = [this](QObject*, TMouseButton button, int, int, int, int, int, int, double, double,
                                        int X, int Y) { mouseDown(button, X, Y); };
    VIkDisp1->OnMouseMoveImage = [this](QObject*, int, int, int, int, int, int, double, double, int X, int Y) {
        mouseMove(X, Y);
    };
    VIkDisp1->OnMouseUpImage = [this](QObject*, TMouseButton button, int, int, int, int, int, int, double, double,
                                      int X, int Y) { mouseUp(button, X, Y); };
}

void TfrmImg::mouseDown(int button, int X, int Y) {
    if (!composite_ || d_->drag == Impl::Drag::Handle) {
        if (d_->drag == Impl::Drag::Handle) drawOutline(X, Y);
        return;
    }
    const TCRaster* capture = VIkDisp1->GetRaster(0);
    if (!capture->ImgHandle()) return;
    const bool inside = X >= capture->StartX() && X <= capture->StartX() + capture->Width() &&
                        Y >= capture->StartY() && Y <= capture->StartY() + capture->Height();
    if (!inside) return;
    if (button == mbRight) {
        d_->handlesShown = false;
        placeHandles();
        VIkDisp1->Refresh();
        return;
    }
    if (button != mbLeft) return;
    d_->drag = Impl::Drag::Move;
    d_->pressOffset = {capture->StartX() - X, capture->StartY() - Y};
    d_->handlesShown = true;
    placeHandles();
    VIkDisp1->Refresh();
}

void TfrmImg::mouseMove(int X, int Y) {
    if (d_->drag == Impl::Drag::Move) {
        TCRaster* capture = VIkDisp1->GetRaster(0);
        const Point old{capture->StartX(), capture->StartY()};
        const Point to = KeepInsideVisible({X + d_->pressOffset.x, Y + d_->pressOffset.y},
                                           {capture->Width(), capture->Height()}, visibleArea());
        moveLayerTo(to, old);
        VIkDisp1->Refresh();
    } else if (d_->drag == Impl::Drag::Handle) {
        drawOutline(X, Y);
    } else if (composite_) {
        // The handle under the mouse decides the cursor.
        int over = 0;
        for (int i = 0; i < 8 && d_->handlesShown; ++i) {
            const Point& p = d_->handles[i];
            if (X >= p.x && X < p.x + d_->handleW && Y >= p.y && Y < p.y + d_->handleH) over = i + 2;
        }
        VIkDisp1->setCursor(cursorFor(over));
    }
}

void TfrmImg::moveLayerTo(Point to, Point old) {
    TCRaster* capture = VIkDisp1->GetRaster(0);
    capture->setStartX(to.x);
    capture->setStartY(to.y);
    const int dx = to.x - old.x, dy = to.y - old.y;
    for (Point& p : d_->handles) p.x += dx, p.y += dy;
    d_->layerStart = to;
    placeHandles();
}

Quad TfrmImg::draggedOutline(int X, int Y) const {
    Quad q = QuadFromHandles(d_->handles, d_->handleW, d_->handleH);
    switch (d_->dragLayer) {
        case 2: q.topLeft = {X, Y}; break;
        case 4: q.topRight = {X, Y}; break;
        case 6: q.bottomRight = {X, Y}; break;
        case 8: q.bottomLeft = {X, Y}; break;
        case 3: q.topLeft.y = q.topRight.y = Y; break;
        case 7: q.bottomLeft.y = q.bottomRight.y = Y; break;
        case 9: q.topLeft.x = q.bottomLeft.x = X; break;
        case 5: q.topRight.x = q.bottomRight.x = X; break;
        default: break;
    }
    return q;
}

void TfrmImg::drawOutline(int X, int Y) {
    const Quad q = draggedOutline(X, Y);
    QPolygon poly;
    for (const Point& p : {q.topLeft, q.topRight, q.bottomRight, q.bottomLeft, q.topLeft})
        poly << VIkDisp1->ImageToClient(QPoint(p.x, p.y));
    VIkDisp1->SetOutline(poly);
}

void TfrmImg::endDrag() {
    const bool was = d_->drag != Impl::Drag::None;
    d_->drag = Impl::Drag::None;
    d_->dragLayer = 0;
    VIkDisp1->ClearOutline();
    VIkDisp1->setCursor(Qt::ArrowCursor);
    unsetCursor();
    if (was) VIkDisp1->Refresh();
}

void TfrmImg::mouseUp(int, int X, int Y) {
    if (d_->drag != Impl::Drag::Handle) {
        endDrag();
        return;
    }
    const int layer = d_->dragLayer;
    endDrag();
    ReleaseHandle(layer, {X, Y});
}

bool TfrmImg::ReleaseHandle(int layer, Point at) {
    if (layer < 2 || layer > 9 || !d_->captureCopy) return false;
    const Handle which = static_cast<Handle>(layer - 2);
    Handles moved = d_->handles;
    const Quad before = QuadFromHandles(moved, d_->handleW, d_->handleH);
    bool ok = false;
    if (layer % 2 == 0)
        ok = MoveCornerHandle(moved, which, at, d_->handleW, d_->handleH, d_->composed.width, d_->composed.height);
    else
        ok = MoveEdgeHandle(moved, which, at, d_->handleW, d_->handleH, 1.0, d_->composed.width,
                            d_->composed.height);
    const Quad after = QuadFromHandles(moved, d_->handleW, d_->handleH);
    if (!ok || after == before) {
        VIkDisp1->Refresh();
        return false;
    }
    IKHANDLE warped = warp(after);
    if (!warped) {
        VIkDisp1->Refresh();
        return false;
    }
    d_->handles = moved;
    d_->corners = after;
    TCRaster* capture = VIkDisp1->GetRaster(0);
    Point start = LayerStartAfterMove(moved, which, {capture->StartX(), capture->StartY()});
    int32_t w = 0, h = 0;
    SheetSize(warped, &w, &h);
    const IKHANDLE filtered = smoothed(warped);
    if (filtered) {
        freeImage(warped);
        setLayer(0, filtered);
    } else {
        setLayer(0, warped);
    }
    const Point kept = KeepInsideVisible(start, {w, h}, visibleArea());
    capture->setStartX(kept.x);
    capture->setStartY(kept.y);
    if (kept.x != start.x || kept.y != start.y) {
        const int dx = kept.x - start.x, dy = kept.y - start.y;
        for (Point& p : d_->handles) p.x += dx, p.y += dy;
    }
    d_->layerStart = kept;
    placeHandles();
    VIkDisp1->Display(vikStretch);
    return true;
}

bool TfrmImg::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Panel1 && e->type() == QEvent::MouseMove) {
        if (d_->drag != Impl::Drag::None) endDrag();
        else unsetCursor();
    }
    return QMainWindow::eventFilter(watched, e);
}

// ---- Closing.

bool TfrmImg::FormCloseQuery() {
    if (!isVisible()) return true;
    if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() != Qt::ArrowCursor) return false;
    if (!savedFileName.isEmpty()) return true;
    if (!d_->sheet) return true;
    if (ask(settings_.MsgFileNotSave, MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes) return false;
    ReleaseAllImages();
    VIkCapCommon->FreeMemory();
    return true;
}

void TfrmImg::closeEvent(QCloseEvent* e) {
    if (FormCloseQuery()) e->accept();
    else e->ignore();
}

}  // namespace q47::capture

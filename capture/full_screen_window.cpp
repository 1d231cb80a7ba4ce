// TfrmFull: full-screen presentation of the merged picture.
#include "capture/full_screen_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <cmath>

#include "imaging/Ikcommon.h"
#include "imaging/display_widget.h"

namespace q47::capture {

Size FullScreenDisplaySize(int32_t screenWidth, SheetAspect aspect) {
    const double ratio = aspect == SheetAspect::TwoThirds ? 0.66666 : 0.5;
    return {screenWidth, static_cast<int32_t>(std::lround(screenWidth * ratio))};
}

TfrmFull::TfrmFull(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint) {
    setObjectName("frmFull");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    VIkDisp1 = new TVIkDisp(this);
    VIkDisp1->setObjectName("VIkDisp1");
    VIkDisp1->Color = 0;  // black background
    VIkDisp1->InvalidHatchPattern = false;
    VIkDisp1->OnClick = [this](QObject*) {
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        close();
    };
    VIkCommon1 = new TVIkCommon(this);
}

TfrmFull::~TfrmFull() { VIkCommon1->FreeMemory(); }

void TfrmFull::ShowPicture(IKHANDLE picture, SheetAspect aspect, int32_t screenWidth) {
    VIkCommon1->FreeMemory();
    TVIkCommon source;
    source.ImgHandle = picture;
    VIkCommon1->ImgHandle = source.CopyImage();
    source.ImgHandle = 0;
    displaySize_ = FullScreenDisplaySize(screenWidth, aspect);
    VIkDisp1->resize(displaySize_.width, displaySize_.height);
    VIkDisp1->SetImgHandle(VIkCommon1->ImgHandle);
    VIkDisp1->Display(vikStretch);
    FormShow();
}

void TfrmFull::FormShow() {
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The whole primary display, also where no window manager grants full screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
    showFullScreen();
    placeDisplay();
    raise();
}

void TfrmFull::placeDisplay() {
    VIkDisp1->setGeometry(0, (height() - displaySize_.height) / 2, displaySize_.width, displaySize_.height);
}

bool TfrmFull::FormCloseQuery() {
    VIkDisp1->SetImgHandle(0);
    VIkCommon1->FreeMemory();
    return true;
}

void TfrmFull::mousePressEvent(QMouseEvent* e) {
    e->accept();
    close();
}

void TfrmFull::closeEvent(QCloseEvent* e) {
    if (FormCloseQuery()) e->accept();
    else e->ignore();
}

void TfrmFull::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    placeDisplay();
}

void TfrmFull::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    placeDisplay();
}

}  // namespace q47::capture

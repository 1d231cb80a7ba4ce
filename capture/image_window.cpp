// TfrmImg: controls and operations of the image window.
#include "capture/image_window.h"

#include <QProgressBar>

#include "capture/full_screen_window.h"
#include "imaging/Ikcommon.h"
#include "imaging/Ikeffect.h"
#include "imaging/Ikfile.h"
#include "imaging/Ikprint.h"
#include "imaging/Ikscan.h"
#include "imaging/display_widget.h"

namespace q47::capture {

struct TfrmImg::Impl {};

TfrmImg::TfrmImg(QWidget* parent) : QMainWindow(parent), d_(std::make_unique<Impl>()) {
    setObjectName("frmImg");
    VIkScan1 = new TVIkScan(this);
    VIkFile1 = new TVIkFile(this);
    VIkPrint1 = new TVIkPrint(this);
    VIkEffect1 = new TVIkEffect(this);
    VIkCapCommon = new TVIkCommon(this);
    VIkCommon7 = new TVIkCommon(this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 10);
}

TfrmImg::~TfrmImg() = default;

void TfrmImg::SetSettings(const AppSettings& settings) { settings_ = settings; }
int TfrmImg::EnumerateMonitors() { return 2; }
int TfrmImg::CaptureMonitor(int) { return 1; }
int TfrmImg::OpenAcquisition() { return 3; }
int TfrmImg::ScanSheet() { return 4; }
void TfrmImg::VIkScan1AfterScan(IKHANDLE) {}
void TfrmImg::TakeSheetImage(bool) {}
IKHANDLE TfrmImg::ScannedImage() const { return VIkCommon7->ImgHandle; }
void TfrmImg::ReleaseAllImages() {}
void TfrmImg::ShowIn(bool composite) { composite_ = composite; }
void TfrmImg::FormShow() {}
void TfrmImg::SizeAndPlace() {}
void TfrmImg::ComposeImages() {}
void TfrmImg::Redisplay() {}
void TfrmImg::SetProgressMinimum(int minimum) { ProgressBar1->setMinimum(minimum); }
void TfrmImg::SetProgressPosition(int position) { ProgressBar1->setValue(position); }
int TfrmImg::ProgressPosition() const { return ProgressBar1->value(); }
void TfrmImg::SpeedButton2Click() {}
void TfrmImg::SpeedButton3Click() {}
bool TfrmImg::FormCloseQuery() { return true; }

}  // namespace q47::capture

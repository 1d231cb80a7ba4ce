// The image window's operations as the capture flow calls them.
#include "capture/view/image_window_adapter.h"

#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "imaging/display_widget.h"

namespace q47::capture {

bool ImageWindowAdapter::visible() const {
    return img_.isVisible();
}

bool ImageWindowAdapter::compositeUnsaved() const {
    return img_.savedFileName.isEmpty();
}

void ImageWindowAdapter::resetProgress() {
    img_.SetProgressMinimum(-1);
    img_.SetProgressPosition(-1);
}

void ImageWindowAdapter::setProgress(int position) {
    img_.SetProgressPosition(position);
}

void ImageWindowAdapter::progressToMaximum() {
    img_.SetProgressPosition(10);
}

int ImageWindowAdapter::CaptureMonitor(int index) {
    return img_.CaptureMonitor(index);
}

int ImageWindowAdapter::OpenAcquisition() {
    return img_.OpenAcquisition();
}

int ImageWindowAdapter::ScanSheet() {
    return img_.ScanSheet();
}

bool ImageWindowAdapter::scanBusy() const {
    return img_.scanBusy;
}

void ImageWindowAdapter::closeFullScreenIfVisible() {
    if (!full_.isVisible()) return;
    // As its click does: off the top first, then closed.
    full_.setWindowFlag(Qt::WindowStaysOnTopHint, false);
    full_.close();
}

void ImageWindowAdapter::redisplay() {
    img_.Redisplay();
}

void ImageWindowAdapter::ReleaseAllImages() {
    img_.ReleaseAllImages();
}

void ImageWindowAdapter::TakeSheetImage(bool keep) {
    img_.TakeSheetImage(keep);
}

void ImageWindowAdapter::showComposite() {
    img_.ShowIn(true);
    img_.SizeAndPlace();
}

int ImageWindowAdapter::DetectMarks(int selectMark) {
    // Detection reads the sheet the display now holds (TakeSheetImage put it there).
    const IKHANDLE sheet = img_.VIkDisp1 ? img_.VIkDisp1->ImgHandle() : 0;
    return q47::capture::DetectMarks(sheet, selectMark, TheMarkDetection());
}

void ImageWindowAdapter::restoreFromMinimised() {
    if (img_.isMinimized()) img_.setWindowState(img_.windowState() & ~Qt::WindowMinimized);
}

void ImageWindowAdapter::ComposeImages() {
    img_.ComposeImages();
}

int ImageWindowAdapter::SaveImage(const std::string& fileName, int saveType) {
    return img_.SaveImage(QString::fromStdString(fileName), img_.ScannedImage(), saveType);
}

}  // namespace q47::capture

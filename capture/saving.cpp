// Saving the composite and the scanned sheet: SaveImage, SaveComposite, the save button,
// save as and overwrite.
#include "capture/image_window.h"

#include "capture/capture_state.h"
#include "capture/file_names.h"
#include "capture/image_window_impl.h"
#include "capture/sheet_image.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikfile.h"
#include "imaging/display_widget.h"

namespace q47::capture {

namespace {

// The saved size of a wide sheet's composite by the aspect state.
Size WideSheetSaveSize(SheetAspect aspect) {
    return aspect == SheetAspect::TwoThirds ? Size{1500, 1000} : Size{2000, 1000};
}

}  // namespace

int TfrmImg::SaveImage(const QString& fileName, IKHANDLE image, int format) {
    VIkFile1->setFileName(fileName);
    IKHANDLE converted = 0;
    IKImageInfo info{};
    if (image && Ikdllprocs::IKGetImageType && Ikdllprocs::IKGetImageType(image, &info) && info.bitCount != 24) {
        uint16_t status = 0;
        converted = MergeComposite(image, 0, {}, &status);  // a 24-bit copy
        if (!converted) {
            ErrorStatus = status;
            return 8;
        }
    }
    VIkFile1->ImgHandle = converted ? converted : image;
    VIkFile1->setFileExt(QString::fromStdString(SaveExtensionsFor(TheCaptureState().lastSaveType)));
    VIkFile1->setJpegQuality(75);
    VIkFile1->JpegSubsamp = vik411;
    VIkFile1->Comment.clear();
    bool ok = false;
    if (format == kSaveJpeg) ok = VIkFile1->SaveFile(vikSaveJPEG);
    else if (format == kSavePng) ok = VIkFile1->SaveFile(vikSavePNG);
    else VIkFile1->ErrorStatus = IK_ERR_ARGUMENT;  // nothing is written for other formats
    if (!ok) ErrorStatus = VIkFile1->ErrorStatus;
    if (converted) Ikdllprocs::IKFreeMemory(converted);
    VIkFile1->ImgHandle = 0;
    return ok ? 0 : 8;
}

int TfrmImg::SaveComposite(const QString& fileName, int format) {
    VIkDisp2->SetImgHandle(0);
    if (d_->merged) Ikdllprocs::IKFreeMemory(d_->merged);
    d_->merged = 0;
    IKHANDLE merged = mergeLayers();
    if (!merged) {
        ask(settings_.MsgFileSaveErr, MsgButtons::Ok, MsgIcon::Exclamation);
        return -1;
    }
    if (composite_ && TheCaptureState().largeSheet) {
        const Size size = WideSheetSaveSize(aspect_);
        uint16_t status = 0;
        const IKHANDLE resized = ResizedCopy(merged, size.width, size.height, &status);
        Ikdllprocs::IKFreeMemory(merged);
        merged = resized;
        if (!merged) {
            ErrorStatus = status;
            ask(settings_.MsgFileSaveErr, MsgButtons::Ok, MsgIcon::Exclamation);
            return 8;
        }
    }
    const int result = SaveImage(fileName, merged, format);
    if (result != 0) ask(settings_.MsgFileSaveErr, MsgButtons::Ok, MsgIcon::Exclamation);
    Ikdllprocs::IKFreeMemory(merged);
    return result;
}

// The save dialog and the save after it. newName: a generated name is offered even
// when the component still holds the last one (the save button).
int TfrmImg::saveWithDialog(bool newName, bool folderFirst) {
    CaptureState& state = TheCaptureState();
    VIkFile1->setFilePath(QString::fromStdString(state.saveFolder));
    if (newName || VIkFile1->FileName().isEmpty())
        VIkFile1->setFileName(QString::fromStdString(MakeFileName(state.saveFolder, state.lastSaveType)));
    VIkFile1->setFileExt(QString::fromStdString(SaveExtensionsFor(state.lastSaveType)));
    VIkFile1->SaveType = state.lastSaveType;
    if (!VIkFile1->SaveFileDlg()) return 1;
    state.lastSaveType = VIkFile1->SaveType;
    savedFileType = VIkFile1->SaveType;
    savedFileName = VIkFile1->FileName();
    if (folderFirst) UpdateSaveFolder(state, savedFileName.toStdString());
    const QString chosen = savedFileName;
    const int result = SaveComposite(savedFileName, savedFileType);
    if (result != 0) {
        savedFileName.clear();
    } else {
        VIkFile1->ImgHandle = 0;
        if (!folderFirst) UpdateSaveFolder(state, chosen.toStdString());
    }
    return result;
}

void TfrmImg::SpeedButton1Click() {
    if (!d_->sheet) return;
    enableBar(false);
    CaptureState& state = TheCaptureState();
    VIkFile1->setFilePath(QString::fromStdString(state.saveFolder));
    if (savedFileName.isEmpty()) {
        saveWithDialog(true, true);
    } else {
        if (SaveComposite(savedFileName, savedFileType) != 0) savedFileName.clear();
        UpdateSaveFolder(state, VIkFile1->FileName().toStdString());
    }
    enableBar(true);
}

void TfrmImg::Save1Click() {
    if (!d_->sheet) return;
    enableBar(false);
    saveWithDialog(false, false);
    enableBar(true);
}

void TfrmImg::OverWrite1Click() {
    if (!d_->sheet) return;
    if (savedFileName.isEmpty()) {
        Save1Click();
        return;
    }
    enableBar(false);
    if (SaveComposite(savedFileName, savedFileType) != 0) savedFileName.clear();
    enableBar(true);
}

}  // namespace q47::capture

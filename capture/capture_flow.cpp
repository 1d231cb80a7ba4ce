// The capture flow of the bar's scan button, step by step.
#include "capture/capture_flow.h"

namespace q47::capture {

void CaptureFlow::message(const std::string& text) {
    notifier_.messageBox(text, settings_.MsgConfirmation, MsgIcon::None, MsgButtons::Ok);
}

CaptureOutcome CaptureFlow::SpeedButton1Click() {
    // Step 1: nothing on the bar may start a second flow while this one processes events.
    bar_.stopTimer1();
    bar_.rememberBarPosition();
    images_.resetProgress();
    bar_.enableBarButtons(false);

    CaptureOutcome outcome;
    switch (bar_.askCaptureKind()) {  // step 2
        case CaptureKind::NoAnswer:
            bar_.enableBarButtons(true);
            outcome = CaptureOutcome::NoAnswer;
            break;
        case CaptureKind::Composite:
            outcome = composite();
            break;
        case CaptureKind::SheetOnly:
        default:
            outcome = sheetOnly();
            break;
    }
    bar_.startTimer1();  // step 12
    return outcome;
}

CaptureOutcome CaptureFlow::composite() {
    // Step 3: a new composite replaces an unsaved one only when the user agrees.
    if (images_.visible() && images_.compositeUnsaved()) {
        const MsgResult r = notifier_.messageBox(settings_.MsgFileNotSave, settings_.MsgConfirmation,
                                                 MsgIcon::None, MsgButtons::YesNo);
        if (r != MsgResult::Yes) {
            bar_.enableBarButtons(true);
            return CaptureOutcome::KeptUnsaved;
        }
    }
    bar_.showBar(false);
    bar_.processEvents();
    bar_.waitMilliseconds(settings_.CaptureWait);  // the bar must be off the screen first
    if (images_.CaptureMonitor(settings_.SelectMonitor) != 0) {
        message(settings_.MsgCaptureErr);
        // The bar comes back whatever the monitor: a hidden bar with no window left
        // would leave the user without a way to reach the program.
        bar_.showBar(true);
        bar_.enableBarButtons(true);
        return CaptureOutcome::CaptureFailed;
    }
    if (auto ended = scan()) return *ended;
    images_.ReleaseAllImages();  // step 8
    images_.TakeSheetImage(true);
    bar_.restoreApplication();
    bar_.processEvents();
    if (!images_.visible()) {
        images_.showComposite();
        bar_.processEvents();
    }
    const int detected = images_.DetectMarks(settings_.SelectMark);  // step 9
    images_.setProgress(0);
    if (detected == 0) {
        images_.restoreFromMinimised();
        images_.ComposeImages();
    }
    bar_.enableBarButtons(true);
    images_.progressToMaximum();
    return CaptureOutcome::Composed;
}

std::optional<CaptureOutcome> CaptureFlow::scan() {
    bar_.showBar(true);  // step 4
    bar_.processEvents();
    bar_.restoreBarPosition();
    if (images_.OpenAcquisition() != 0) {  // step 5
        message(settings_.MsgInitScanErr);
        bar_.enableBarButtons(true);
        return CaptureOutcome::InitFailed;
    }
    const int scanned = images_.ScanSheet();  // step 6
    images_.closeFullScreenIfVisible();
    if (scanned != 0) {
        message(settings_.MsgExecScanErr);
        bar_.enableBarButtons(true);
        return CaptureOutcome::ScanFailed;
    }
    if (images_.scanBusy()) {  // step 7
        if (images_.visible()) images_.redisplay();
        bar_.enableBarButtons(true);
        return CaptureOutcome::NoImage;
    }
    return std::nullopt;
}

CaptureOutcome CaptureFlow::sheetOnly() {
    if (auto ended = scan()) return *ended;
    // Step 10: the save dialog must come up above the always-on-top bar.
    bar_.cycleTopmost();
    const std::string name = MakeFileName(state_.saveFolder, state_.lastSaveType);
    const SaveChoice choice =
        bar_.saveDialog(state_.saveFolder, name, SaveExtensionsFor(state_.lastSaveType));
    CaptureOutcome outcome = CaptureOutcome::SaveCancelled;
    if (choice.confirmed) {  // step 11
        UpdateSaveFolder(state_, choice.fileName);
        state_.lastSaveType = static_cast<int16_t>(choice.saveType);
        const int saved = images_.SaveImage(choice.fileName, choice.saveType);
        images_.TakeSheetImage(false);
        outcome = CaptureOutcome::Saved;
        if (saved != 0) {
            message(settings_.MsgFileSaveErr);
            outcome = CaptureOutcome::SaveFailed;
        }
    } else {
        images_.TakeSheetImage(false);
    }
    bar_.enableBarButtons(true);
    images_.redisplay();
    return outcome;
}

}  // namespace q47::capture

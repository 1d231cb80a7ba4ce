// The capture flow behind the bar's scan button: ask, photograph the projector monitor,
// scan the sheet, then lay them over each other or save the sheet alone.
//
// The flow is plain code over two interfaces so that every step and every exit path can
// be driven without a display: CaptureBar is what the bar window does (its buttons,
// Timer1, hiding and showing, the question and save dialogs), CaptureImages is what the
// image window does (TfrmImg's operations with their result numbers). Messages go through
// the notifier with the caption MsgConfirmation and an OK button.
#pragma once

#include <optional>
#include <string>

#include "capture/capture_state.h"
#include "capture/file_names.h"
#include "capture/settings.h"
#include "platform/notifier.h"

namespace q47::capture {

// Answers of the capture-kind question (frmMsg).
enum class CaptureKind { Composite, SheetOnly, NoAnswer };

// What the save dialog returned.
struct SaveChoice {
    bool confirmed = false;
    std::string fileName;  // full path of the chosen file
    int saveType = kSaveJpeg;
};

class CaptureBar {
public:
    virtual ~CaptureBar() = default;
    virtual void stopTimer1() = 0;
    virtual void startTimer1() = 0;
    virtual void enableBarButtons(bool on) = 0;
    virtual CaptureKind askCaptureKind() = 0;
    // Hides or shows the bar without toggling the markers (showHandlerArmed false around it).
    virtual void showBar(bool shown) = 0;
    virtual void rememberBarPosition() = 0;
    virtual void restoreBarPosition() = 0;
    virtual void processEvents() = 0;
    virtual void waitMilliseconds(int ms) = 0;
    // Step 10: not topmost, then topmost and shown again, so the save dialog comes on top.
    virtual void cycleTopmost() = 0;
    // The file component's save dialog, starting in folder with fileName and the type
    // list ext ("*;JPG;PNG;" or "*;PNG;JPG;").
    virtual SaveChoice saveDialog(const std::string& folder, const std::string& fileName,
                                  const std::string& ext) = 0;
    // Restores the application from the minimised state.
    virtual void restoreApplication() = 0;
};

class CaptureImages {
public:
    virtual ~CaptureImages() = default;
    virtual bool visible() const = 0;
    virtual bool compositeUnsaved() const = 0;  // savedFileName empty
    virtual void resetProgress() = 0;           // minimum -1, position at the minimum
    virtual void setProgress(int position) = 0;
    virtual void progressToMaximum() = 0;
    virtual int CaptureMonitor(int index) = 0;  // 0 or 1
    virtual int OpenAcquisition() = 0;          // 0 or 3
    virtual int ScanSheet() = 0;                // 0, 4, 5 or 6
    virtual bool scanBusy() const = 0;
    virtual void closeFullScreenIfVisible() = 0;
    virtual void redisplay() = 0;
    virtual void ReleaseAllImages() = 0;
    virtual void TakeSheetImage(bool keep) = 0;
    // Shows the window in composite mode, sized and placed for the new sheet.
    virtual void showComposite() = 0;
    virtual int DetectMarks(int selectMark) = 0;  // 0 = corners found
    virtual void restoreFromMinimised() = 0;
    virtual void ComposeImages() = 0;
    virtual int SaveImage(const std::string& fileName, int saveType) = 0;  // 0 or 8
};

// How a flow ended, for the caller's and the tests' sake.
enum class CaptureOutcome {
    NoAnswer,         // question closed with its close box
    KeptUnsaved,      // No to MsgFileNotSave
    CaptureFailed,    // MsgCaptureErr
    InitFailed,       // MsgInitScanErr
    ScanFailed,       // MsgExecScanErr
    NoImage,          // the scan ended without an image
    Composed,         // composite shown
    Saved,            // sheet saved
    SaveFailed,       // MsgFileSaveErr
    SaveCancelled,    // save dialog cancelled
};

class CaptureFlow {
public:
    CaptureFlow(AppSettings& settings, CaptureState& state, CaptureBar& bar,
                CaptureImages& images, Notifier& notifier)
        : settings_(settings), state_(state), bar_(bar), images_(images), notifier_(notifier) {}

    // SpeedButton1Click: the twelve steps. Timer1 and the buttons are back on every path.
    CaptureOutcome SpeedButton1Click();

private:
    CaptureOutcome composite();
    CaptureOutcome sheetOnly();
    // Steps 4 to 7, shared by both kinds; an outcome when the flow ends there.
    std::optional<CaptureOutcome> scan();
    void message(const std::string& text);

    AppSettings& settings_;
    CaptureState& state_;  // saveFolder and lastSaveType
    CaptureBar& bar_;
    CaptureImages& images_;
    Notifier& notifier_;
};

}  // namespace q47::capture

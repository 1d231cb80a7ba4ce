// TfrmImg, the image window: monitors, screen copy, scan, composition, editing, saving.
//
// The capture flow (the bar) calls the public operations in order; their results are the
// small numbers the bar turns into messages: CaptureMonitor 1, OpenAcquisition 3,
// ScanSheet 4/5/6, SaveImage 8. The rules behind sizing, placement, editing and file
// names live in the Qt-free core (composition_geometry.h, file_names.h, sheet_image.h,
// warp_image.h); this window holds the images and the controls.
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/capture_state.h"
#include "capture/composition_geometry.h"
#include "capture/settings.h"
#include "imaging/engine/ik_api.h"
#include "platform/notifier.h"

class QAction;
class QMenu;
class QProgressBar;
class QToolButton;
class QWidget;
class TVIkCommon;
class TVIkDisp;
class TVIkEffect;
class TVIkFile;
class TVIkPrint;
class TVIkScan;

namespace q47::capture {

class TfrmFull;

// One monitor as the enumeration found it; number 0 marks an empty entry.
struct MonitorRecord {
    int32_t number = 0;      // 1-based order of enumeration
    QString deviceName;      // "\\.\DISPLAY<n>"
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    uintptr_t handle = 0;    // the framework's screen (QScreen*)
    uint32_t flags = 0;      // 1 for the primary monitor
    uintptr_t context = 0;   // the value passed with the enumeration (0)
};
constexpr int kMaxMonitors = 10;

class TfrmImg : public QMainWindow {
public:
    explicit TfrmImg(QWidget* parent = nullptr);
    ~TfrmImg() override;

    // Texts, filters and selections (ReadSettings). Captions, hints and menus follow.
    void SetSettings(const AppSettings& settings);
    const AppSettings& Settings() const { return settings_; }
    // Where message boxes go (MsgFileSaveErr, MsgPrintErr, MsgFileNotSave). Not owned;
    // null: Qt message boxes.
    void SetNotifier(q47::Notifier* notifier) { notifier_ = notifier; }
    // Called with false before and true after the window's own long work that must not
    // overlap the bar's buttons (saving). The bar sets it to its EnableBarButtons.
    std::function<void(bool on)> OnEnableBarButtons;
    // The full-screen window used by SpeedButton3; null: the window makes its own.
    void SetFullScreenWindow(TfrmFull* full) { frmFull_ = full; }

    // Monitors. 0 when all monitors were recorded, 2 when reading one failed.
    int EnumerateMonitors();
    MonitorRecord Monitors[kMaxMonitors];
    int32_t MonitorCount = 0;
    // Photographs monitor `index` into VIkCapCommon: 0, or 1 for a bad index, an empty
    // entry or a failed copy.
    int CaptureMonitor(int index);

    // Acquisition. OpenAcquisition: 0, or 3 when the component cannot be initialised.
    int OpenAcquisition();
    // 0 scanned, 4 no source list or no "ZELT Slatewise Q-47" source, 5 the source
    // cannot be opened, 6 the scan failed (ErrorStatus holds the component's status).
    int ScanSheet();
    // Set while a scan runs; still set after ScanSheet when no image arrived.
    bool scanBusy = false;
    // The acquisition component's OnAfterScan: prepares the sheet into VIkCommon7.
    void VIkScan1AfterScan(IKHANDLE dib);
    // keep: the whitened scanned sheet becomes the displayed picture. Always frees the
    // scanned picture afterwards.
    void TakeSheetImage(bool keep);
    // The scanned picture (VIkCommon7) for a sheet-only save; 0 when none.
    IKHANDLE ScannedImage() const;
    void ReleaseAllImages();

    // Showing and layout.
    void ShowIn(bool composite);
    void FormShow();
    void SizeAndPlace();
    void ComposeImages();
    // Draws the current picture again (after a scan that brought no image).
    void Redisplay();
    bool CompositeMode() const { return composite_; }
    SheetAspect Aspect() const { return aspect_; }
    Size LargestDisplaySize() const { return largest_; }
    // The progress bar (0 to 10): the bar sets its minimum and position around a capture.
    void SetProgressMinimum(int minimum);
    void SetProgressPosition(int position);
    int ProgressPosition() const;

    // Saving. The name and format of the file that holds the current composite; empty
    // name: not saved.
    QString savedFileName;
    int16_t savedFileType = kSaveJpeg;
    // Writes `image` as JPEG (format 2) or PNG (5) under `fileName`: 0, or 8 (nothing
    // written for any other format; ErrorStatus holds the file component's status).
    int SaveImage(const QString& fileName, IKHANDLE image, int format);
    // Merges the layers and saves them: 0, 8, or -1 when the merge failed.
    int SaveComposite(const QString& fileName, int format);
    // The file component (FilePath, FileName, FileExt, SaveFileDlg, SaveType).
    TVIkFile* File() const { return VIkFile1; }
    uint16_t ErrorStatus = 0;

    // Commands: save button, aspect, full screen, save as, overwrite, print.
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void Save1Click();
    void OverWrite1Click();
    void Print1Click();
    // Result of PrintImage: 0, or 7 when the document or page could not be started.
    int PrintImage(IKHANDLE image);
    // The close query: false refuses closing.
    bool FormCloseQuery();

    // Controls, named as on the form.
    QWidget* Panel1 = nullptr;
    QToolButton *SpeedButton1 = nullptr, *SpeedButton2 = nullptr, *SpeedButton3 = nullptr;
    TVIkDisp* VIkDisp1 = nullptr;
    TVIkDisp* VIkDisp2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QMenu* FileF1 = nullptr;
    QAction *OverWrite1 = nullptr, *Save1 = nullptr, *Print1 = nullptr;
    TVIkScan* VIkScan1 = nullptr;
    TVIkFile* VIkFile1 = nullptr;
    TVIkPrint* VIkPrint1 = nullptr;
    TVIkEffect* VIkEffect1 = nullptr;
    TVIkCommon* VIkCapCommon = nullptr;  // the photographed screen
    TVIkCommon* VIkCommon7 = nullptr;    // the freshly scanned sheet

    // State for views and tests: the displayed sheet, a layer's image (0 to 9), the
    // merged picture of the last full-screen show, the handle positions and the capture
    // layer's corners (sheet pixels).
    IKHANDLE SheetImage() const;
    IKHANDLE LayerImage(int index) const;
    IKHANDLE MergedImage() const;
    Handles HandlePositions() const;
    Quad CaptureCorners() const;
    // A handle (layer 2 to 9) released at `at` (sheet pixels): the corner or edge rule,
    // then the re-warp. False when the release changed nothing.
    bool ReleaseHandle(int layer, Point at);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void attachCommands(bool on);
    void attachMouse(bool on);
    q47::MsgResult ask(const std::string& text, q47::MsgButtons buttons, q47::MsgIcon icon);
    void enableBar(bool on);
    void setLayer(int index, IKHANDLE image);
    IKHANDLE smoothed(IKHANDLE layer);
    IKHANDLE warp(const Quad& corners);
    IKHANDLE mergeLayers();
    void placeHandles();
    Size visibleArea() const;
    void layOut();
    void mouseDown(int button, int X, int Y);
    void mouseMove(int X, int Y);
    void mouseUp(int button, int X, int Y);
    void moveLayerTo(Point to, Point old);
    Quad draggedOutline(int X, int Y) const;
    void drawOutline(int X, int Y);
    void endDrag();
    int saveWithDialog(bool newNameAlways, bool folderFirst);

    struct Impl;
    std::unique_ptr<Impl> d_;
    AppSettings settings_;
    q47::Notifier* notifier_ = nullptr;
    TfrmFull* frmFull_ = nullptr;
    bool composite_ = false;
    SheetAspect aspect_ = SheetAspect::TwoThirds;
    Size largest_{};
};

}  // namespace q47::capture

// The data source's window: a QDialog that implements AcquireView and owns its AcquireDialog core.
//
// Use (DS_Entry, on the thread that owns the QApplication, whether the host's GUI
// thread or the source's own thread):
//   auto* w = new AcquireWindow(mode, twainSide, globals, SettingsFile(path), deviceSpec);
//   w->start();           // texts, board opened; the window shows itself once the
//                         // board's firmware version arrives (never in hidden mode)
//   ...                   // Qt timers drive the core; buttons, Esc, close box, menu
//   w->core().destroy();  // MSG_DISABLEDS, allowed inside a TwainSide callback
//   w->deleteLater();     // delete only after the current timer callback returned
//
// Object names: the dialog is "AcquireDialog"; every control is "IDC_<id>" by its
// resource id (IDC_1005 is PCSCAN, IDC_2 is Close, IDC_1008 the status line); the two
// lamps are "LED_DENSITY" and "LED_COLOR"; the language menu is "IDR_1028".
#pragma once

#include <QDialog>

#include <map>
#include <memory>
#include <string>

#include "twain_source/acquire_dialog.h"
#include "twain_source/view/qt_platform.h"
#include "twain_source/view/tip_window.h"

class QMenu;
class QAction;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QLabel;

namespace q47::twain_source {

class ColorLabel;
class PictureButton;
class TipOverlay;

// Control ids of the window (resource ids of the original template and run-time controls).
enum ControlId : int {
    IdClose = 2,
    IdAcquire = 1000,
    IdComp = 1002,
    IdDensity = 1003,
    IdColor = 1004,
    IdPcScan = 1005,
    IdStop = 1006,
    IdHeader = 1007,
    IdStatus = 1008,
    IdDeviceType = 1009,
    IdRadioRes1 = 1010,
    IdFirmVersion = 1011,
    IdGroupRes = 1012,
    IdLabelComp = 1013,
    IdLabelDensity = 1014,
    IdLabelColor = 1015,
    IdLabelPcScan = 1016,
    IdLabelStop = 1017,
    IdProgress = 1018,
    IdRadioRes2 = 1019,
    IdLabelAspect = 1021,
};
// Items of the language menu.
enum MenuId : int { IdMenuEnglish = 32771, IdMenuJapanese = 32772, IdMenuChinese = 32773 };

class AcquireWindow : public QDialog, public AcquireView {
    Q_OBJECT
public:
    AcquireWindow(WindowMode mode, TwainSide& twain, SourceGlobals& globals, SettingsFile settings,
                  std::string deviceSpec, QWidget* parent = nullptr);
    ~AcquireWindow() override;  // stops the timers and closes the device (core().destroy())

    AcquireDialog& core() { return *core_; }
    const AcquireDialog& core() const { return *core_; }
    // Window initialisation: dialog font, run-time controls, then core().initialise().
    void start();
    // The host is done with the window (MSG_DISABLEDS, MSG_CLOSEDS, exit): the core stops
    // at once, an open message box closes, the window hides, and the object deletes
    // itself once every call of the window that is still running (a box, a wait for
    // the board, an image being read, each with its event loop) has returned.
    void end();
    bool ending() const { return endRequested_; }

    // AcquireView.
    void showStatus(const std::string& text) override;
    void setPanelReady(bool ready, const PanelButtons& buttons) override;
    void enableStopClose(bool enabled) override;
    void setProgressBarVisible(bool visible) override;
    void showProgress(int percent) override;
    void refreshPanel(const PanelContent& content) override;
    void layoutWindow(WindowMode mode) override;
    void hideWindow() override;

    // For the host and tests.
    QWidget* control(int id) const;        // nullptr for an unknown id
    bool lampOn(int buttonId) const;       // IdDensity or IdColor
    QMenu* languageMenu() const { return menu_; }
    QAction* menuAction(int menuId) const;
    const TipWindow& tips() const { return tips_; }
    // The hover path of a picture button (focus, hand cursor, tip); also used by tests.
    void hoverButton(int id);
    void showTipFor(int id);
    void hideTip();
    QtNotifier& notifier() { return notifier_; }

protected:
    void closeEvent(QCloseEvent* e) override;  // the caption's close box: cancel
    void reject() override;                    // Esc: cancel
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void createControls();
    void applyDialogFont();
    void chooseLanguage(Language lang);
    void buttonClicked(int id);

    // Held by every call from Qt into the core; the last to return deletes an ended window.
    class Running {
    public:
        explicit Running(AcquireWindow* w) : w_(w) { ++w_->running_; }
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        AcquireWindow* w_;
    };

    WindowMode mode_;
    QtTimerHost timers_;
    QtPump pump_;
    QtNotifier notifier_;
    std::unique_ptr<AcquireDialog> core_;
    TipWindow tips_;
    TipOverlay* overlay_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::map<int, PictureButton*> buttons_;
    std::map<int, ColorLabel*> labels_;
    QLabel* densityLamp_ = nullptr;
    QLabel* colourLamp_ = nullptr;
    bool densityOn_ = false, colourOn_ = false;
    QProgressBar* progress_ = nullptr;
    QMenu* menu_ = nullptr;
    std::map<int, QAction*> menuActions_;
    bool started_ = false;
    int running_ = 0;
    bool endRequested_ = false;
};

}  // namespace q47::twain_source

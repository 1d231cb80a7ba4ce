// The bar (TfrmMain): the small always-on-top window from which the user captures,
// switches the marker rings, opens the setup, help, minimises and ends the program.
//
// It is the capture flow's CaptureBar: the flow stops Timer1, detaches the buttons, asks
// the capture-kind question, hides and shows the bar and opens the save dialog through it.
// Message boxes go through `notifier` and the help page, the program's end and the screen
// saver query through replaceable functions, so tests answer every one of them.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "capture/capture_flow.h"
#include "capture/capture_state.h"
#include "capture/settings.h"
#include "platform/notifier.h"

namespace q47::capture {

class TfrmImg;
class TfrmMakerManager;
class TfrmMsg;
class TfrmSetUp;

// A flat bar button with a normal and a hover picture; a detached button ignores clicks.
class BarButton : public QAbstractButton {
public:
    BarButton(QWidget* parent, const char* name, QRect place);
    void setPictures(QImage normal, QImage hover);
    bool hovered() const { return hover_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QImage normal_, hover_pic_;
    bool hover_ = false;
};

class TfrmMain : public QWidget, public CaptureBar {
public:
    TfrmMain(AppSettings& settings, CaptureState& state, std::filesystem::path settingsFile);
    ~TfrmMain() override;

    // The other windows, created after the bar; images may be null (no image window).
    void SetWindows(TfrmSetUp* setUp, TfrmMsg* msg, TfrmImg* img, TfrmMakerManager* markers,
                    CaptureImages* images);
    CaptureFlow& flow() { return *flow_; }

    // Replaceable for tests and headless runs.
    Notifier* notifier;
    std::function<bool()> screenSaverRunning;
    std::function<void(const QUrl&)> openHelp;
    std::function<void(int code)> exitProgram;
    std::function<SaveChoice(const std::string&, const std::string&, const std::string&)> saveDialogOverride;
    // Answers the capture-kind question instead of frmMsg (unattended captures).
    std::function<CaptureKind()> captureKindOverride;

    // Events, named as on the form.
    void FormShow();
    void Minimize();
    void Restore();
    void DisplayChanged();
    void SpeedButton1Click();  // scan
    void SpeedButton2Click();  // mark
    void SpeedButton3Click();  // setup
    void SpeedButton4Click();  // close
    void SpeedButton5Click();  // minimise
    void SpeedButton6Click();  // help
    bool FormCloseQuery();
    void Timer1Timer();
    void EnableBarButtons(bool on);
    bool barButtonsAttached() const { return attached_; }
    // The mark button's picture for SelectMark.
    void ShowMarkGlyph();
    // The page the help button opens.
    static std::filesystem::path HelpPage();

    // State named as in the design.
    int32_t screenWidth = 0, screenHeight = 0, screenBits = 0;
    bool markersHidden = true, markerVisible = false, showHandlerArmed = true;
    uint32_t markerColour = 0xFFFFFF;
    uint32_t barKeyColour = 0;  // 0xBBGGRR of the background's pixel (0, 0)
    int repaintsByTimer = 0;    // bar repaints the repaint check asked for

    QLabel* Label1;
    BarButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4, *SpeedButton5, *SpeedButton6;
    QTimer* Timer1;
    QImage Image1;  // the background picture, 208 by 77

    // CaptureBar
    void stopTimer1() override;
    void startTimer1() override;
    void enableBarButtons(bool on) override { EnableBarButtons(on); }
    CaptureKind askCaptureKind() override;
    void showBar(bool shown) override;
    void rememberBarPosition() override;
    void restoreBarPosition() override;
    void processEvents() override;
    void waitMilliseconds(int ms) override;
    void cycleTopmost() override;
    SaveChoice saveDialog(const std::string& folder, const std::string& fileName,
                          const std::string& ext) override;
    void restoreApplication() override;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void changeEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void readPrimaryScreen();
    bool imageWindowVisible() const;
    bool compositeUnsaved() const;
    bool askLeaveUnsaved();

    AppSettings& settings_;
    CaptureState& state_;
    std::filesystem::path settingsFile_;
    std::unique_ptr<Notifier> ownNotifier_;
    std::unique_ptr<CaptureFlow> flow_;
    std::unique_ptr<CaptureImages> noImages_;
    TfrmSetUp* setUp_ = nullptr;
    TfrmMsg* msg_ = nullptr;
    TfrmImg* img_ = nullptr;
    TfrmMakerManager* markers_ = nullptr;
    CaptureImages* images_ = nullptr;
    bool attached_ = true;
    bool dragging_ = false;
    QPoint dragOffset_;
    QPoint remembered_;
};

}  // namespace q47::capture

// AcquireDialog core: the data source's window logic without the window.
//
// One AcquireDialog exists per enabled source. It owns the board link and the scan
// state, is driven by four window timers through a TimerHost, draws through an
// AcquireView, asks questions through a Notifier and tells the TWAIN layer about a
// finished image or the wish to close through TwainSide. Everything runs on one thread;
// the only waits are the pump loops (colour lamp, standby, image reception), which
// dispatch timers re-entrantly as a window's message loop would.
//
// Driving it (the Qt window and DS_Entry do exactly this):
//   SourceGlobals globals;                       // one per loaded data source
//   AcquireDialog dlg(WindowMode::Full, {timers, pump, notifier, view, twain, globals,
//                                        SettingsFile(path), deviceSpec});
//   dlg.initialise();                            // WM_INITDIALOG: texts, open, DeviceInfo
//   ... timers fire dlg.onTimer(id) (set up by the constructor through
//       TimerHost::setCallback); buttons call startPcScan(), startCompressedScan(),
//       pressKey(), cancel(); the language menu calls switchLanguage() ...
//   dlg.destroy();                               // DestroyWindow: timers off, device closed
#pragma once

#include <cstdint>
#include <string>

#include "board/packet.h"
#include "platform/notifier.h"
#include "platform/pump.h"
#include "platform/timer_host.h"
#include "twain_source/board_link.h"
#include "twain_source/image_buffer.h"
#include "twain_source/settings.h"

namespace q47::twain_source {

// Fixed window-timer IDs.
enum TimerId : int {
    kLinkTick = 1,         // write the next request and read its reply
    kConnectionCheck = 2,  // reopen the device when its handle is gone
    kStatusAfterKey = 3,   // one shot: replace whatever is queued by a Status request
    kAutoScan = 4,         // one shot: start a PC scan
    kPostedClose = 5,      // one shot: a close request made while the window was being made
};

// Chosen when the application enables the source: ShowUI TRUE is Full; ShowUI FALSE is
// ProgressOnly when CAP_INDICATORS is TRUE, else Hidden.
enum class WindowMode { Full, ProgressOnly, Hidden };
WindowMode windowModeFor(bool showUI, bool indicators);

// Enabled states of the panel's controls, decided by the core for setPanelReady.
struct PanelButtons {
    bool pcScan = false, comp = false, density = false, colour = false;
    bool stop = false, close = false;
    bool progressBarVisible = false;  // the bar is also set to 0
};

// What refreshPanel redraws: every text and both lamps.
struct PanelContent {
    const Texts* texts = nullptr;
    WindowMode mode = WindowMode::Full;
    std::string modelName, firmwareVersion;
    std::string statusText;  // the status line shows a blank and this text
    bool densityLamp = false, colourLamp = false;
};

// The window. The core calls these on its own thread; none of them may call back
// into the core synchronously.
class AcquireView {
public:
    virtual ~AcquireView() = default;
    // Full and hidden modes: the status line shows a blank followed by text.
    // Progress-only mode: the caption (dialog title) becomes text.
    virtual void showStatus(const std::string& text) = 0;
    // Progress bar value 0, controls enabled as given, bar shown or hidden.
    virtual void setPanelReady(bool ready, const PanelButtons& buttons) = 0;
    // STOP and Close enabled or disabled together (board error, image transfer).
    virtual void enableStopClose(bool enabled) = 0;
    virtual void setProgressBarVisible(bool visible) = 0;
    // The progress bar takes percent (0..255 as the board sent it).
    virtual void showProgress(int percent) = 0;
    // Redraw caption, menu items, labels, fonts, colours, lamps and tips from content.
    virtual void refreshPanel(const PanelContent& content) = 0;
    // Size, place and show the window for mode (Full: 370 x 211 panel; ProgressOnly:
    // 460 x 100 centred, no system menu; Hidden: laid out like ProgressOnly, not shown).
    // The core follows it with refreshPanel, setPanelReady(false), enableStopClose(false),
    // setProgressBarVisible(false) and showStatus("").
    virtual void layoutWindow(WindowMode mode) = 0;
    virtual void hideWindow() = 0;
};

// The TWAIN layer's side (MSG_XFERREADY and MSG_CLOSEDSREQ to the source manager).
// Both are called from inside the core's timer handlers: an implementation may call
// AcquireDialog::destroy() right away but must delete the object only later (after
// the current timer callback has returned), as a window deletes itself after its last
// message.
class TwainSide {
public:
    virtual ~TwainSide() = default;
    // A DIB is pending in SourceGlobals::imageBuffer.pendingImage.
    virtual void notifyTransferReady() = 0;
    virtual void requestClose() = 0;
};

// Process-wide state of the loaded data source, owned by the TWAIN layer.
struct SourceGlobals {
    ImageBuffer imageBuffer;
    // Set when a board error or busy state ends an acquisition without the panel
    // (progress-only: after its box; hidden: at once); the next link tick then closes
    // the device and asks to be closed. Never cleared while the source stays open.
    bool closeRequested = false;
};

struct AcquireEnvironment {
    TimerHost& timers;
    Pump& pump;
    Notifier& notifier;
    AcquireView& view;
    TwainSide& twain;
    SourceGlobals& globals;
    SettingsFile settings;
    std::string deviceSpec;  // openDeviceChannel form; "" = $Q47_DEVICE or the default
};

// Scan state of one window.
struct ScanState {
    char modelLetter = 0;
    std::string modelName;
    std::string firmwareVersion;
    uint16_t imageWidth = 0, imageHeight = 0;
    bool busy = false;             // states 2-6, 16, 17: scan and key buttons blocked, STOP not
    bool progressVisible = false;  // states 16, 17 and the image reply
    bool standby = false;          // the last status had state 1
    bool colourMode = false;       // COLOR lamp
    bool densityHigh = false;      // DENSITY lamp
    uint8_t lastState = 101;       // no real state: the first status always redraws
    uint8_t lastError = 0;
    bool firstImageReady = true;   // cleared at the first state 17 in progress-only mode
    bool autoScanUsed = false;     // the one automatic scan of this window has been started
    bool lampsSeen = false;        // a status reply has set the palette flag for this window
};

// Caption of the data source's message boxes.
constexpr const char* kMessageCaption = "Q47tw";

class AcquireDialog {
public:
    AcquireDialog(WindowMode mode, AcquireEnvironment env);
    ~AcquireDialog();
    AcquireDialog(const AcquireDialog&) = delete;
    AcquireDialog& operator=(const AcquireDialog&) = delete;

    // Window initialisation: loads the texts, resets link and scan state, opens the
    // board and queues DeviceInfo (link tick at 10 ms). A failed open shows its
    // message box and asks to be closed.
    void initialise();
    // Window destruction: every timer stops and the device closes. After it the core
    // makes no further calls to the view, the notifier or TwainSide.
    void destroy();
    bool destroyed() const { return destroyed_; }

    // The window's timer message.
    void onTimer(int id);

    // Panel actions.
    void startPcScan();          // PCSCAN button, timer 4, board state 100
    void startCompressedScan();  // COMP button
    void pressKey(uint8_t key);  // DENSITY (3), COLOR (4), STOP (0)
    void cancel();               // Close button, Esc, the caption's close box
    void switchLanguage(Language lang);
    // The hidden Acquire button: hands over whatever image is pending.
    void acquireButton();

    WindowMode mode() const { return mode_; }
    const ScanState& scan() const { return scan_; }
    const Texts& texts() const { return texts_; }
    const DialogFont& dialogFont() const { return dialogFont_; }
    const std::string& statusText() const { return statusText_; }
    const BoardLink& link() const { return link_; }
    PanelContent panelContent() const;
    // The COMP button exists for the models that can compress (W and w).
    bool compAvailable() const { return scan_.modelLetter == 'W' || scan_.modelLetter == 'w'; }

private:
    // Link (acquire_link.cpp).
    void openAtStart();
    void onLinkTick();
    bool sendNext();
    void receiveReply();
    void onConnectionCheck();
    void onStatusAfterKey();
    void linkDown();  // the failure ending: timers off, box, close request
    // Ends the acquisition: timers off, device closed, the window hidden in progress-only
    // mode, text in a box where the mode shows boxes, then the close request.
    void endAcquisition(const std::string& text);
    void stopAllTimers();
    // Replies (acquire_replies.cpp).
    void handleReply(const uint8_t* block);
    void handleStatus(const board::StatusReply& s);
    void reactToState(const board::StatusReply& s);
    void layout();
    // Image (acquire_image.cpp).
    void receiveImage(const board::Block& first);
    bool waitFor(const bool& flag);
    void failAcquisition();

    // Helpers (acquire_dialog.cpp).
    void queue(uint8_t code, uint8_t key, int tickMs);
    void startTimer(int id, int ms);
    void stopTimer(int id);
    void showStatus(const std::string& text);
    void showProgress(uint8_t percent);
    void setPanelReady(bool ready);
    void enableStopClose(bool enabled);
    void refreshPanel();
    void hideWindow();
    void messageBox(const std::string& text);
    void requestClose();
    const std::string& text(const char* key) const { return texts_.text(key); }

    WindowMode mode_;
    AcquireEnvironment env_;
    ImageBuffer& image_;
    BoardLink link_;
    ScanState scan_;
    Texts texts_;
    DialogFont dialogFont_;
    std::string statusText_;
    bool destroyed_ = false;
    bool receivingImage_ = false;
    bool initialising_ = false;       // inside initialise(): the application is inside MSG_ENABLEDS
    bool laidOut_ = false;            // the firmware version arrived and the window was laid out
    bool boxOpen_ = false;            // a message box of this window is open
    bool cancelAfterImage_ = false;   // cancel() came while the image reply was being read
};

}  // namespace q47::twain_source

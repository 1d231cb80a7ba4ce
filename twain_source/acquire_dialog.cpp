// AcquireDialog: construction, timer dispatch, panel actions and the calls out to view and TWAIN.
#include "twain_source/acquire_dialog.h"

namespace q47::twain_source {

WindowMode windowModeFor(bool showUI, bool indicators) {
    if (showUI) return WindowMode::Full;
    return indicators ? WindowMode::ProgressOnly : WindowMode::Hidden;
}

AcquireDialog::AcquireDialog(WindowMode mode, AcquireEnvironment env)
    : mode_(mode), env_(std::move(env)), image_(env_.globals.imageBuffer), link_(env_.deviceSpec) {
    env_.timers.setCallback([this](int id) { onTimer(id); });
}

AcquireDialog::~AcquireDialog() {
    destroy();
    env_.timers.setCallback({});
}

void AcquireDialog::initialise() {
    texts_ = env_.settings.loadTexts();
    dialogFont_ = env_.settings.readDialogFont();
    statusText_ = text("LabelStatus");
    scan_ = ScanState{};
    laidOut_ = false;
    cancelAfterImage_ = false;
    // A close request made now would reach the application inside MSG_ENABLEDS, where
    // it may not yet disable the source; it is posted instead (requestClose).
    initialising_ = true;
    openAtStart();
    initialising_ = false;
}

void AcquireDialog::destroy() {
    if (destroyed_) return;
    // A destroyed window has no timers any more, and its device is closed.
    stopAllTimers();
    link_.closeDevice();
    link_.deviceOpen = false;
    destroyed_ = true;
}

void AcquireDialog::onTimer(int id) {
    if (destroyed_) return;
    switch (id) {
        case kLinkTick: onLinkTick(); break;
        case kConnectionCheck: onConnectionCheck(); break;
        case kStatusAfterKey: onStatusAfterKey(); break;
        case kAutoScan:
            stopTimer(kAutoScan);  // one shot
            startPcScan();
            break;
        case kPostedClose:
            stopTimer(kPostedClose);  // one shot
            env_.twain.requestClose();
            break;
        default: break;
    }
}

void AcquireDialog::startCompressedScan() {
    if (destroyed_ || scan_.busy) return;
    image_.compress = true;
    link_.dropQueue();
    queue(board::PcScan, 0, 10);
    startTimer(kStatusAfterKey, 250);
}

void AcquireDialog::pressKey(uint8_t key) {
    if (destroyed_) return;
    // STOP is always accepted; the lamp keys wait until the board is idle.
    if ((key == board::KeyDensity || key == board::KeyColor) && scan_.busy) return;
    link_.dropQueue();
    queue(board::PanelKey, key, 10);
    // The board needs a status poll after every key.
    startTimer(kStatusAfterKey, 250);
}

void AcquireDialog::switchLanguage(Language lang) {
    if (destroyed_) return;
    env_.settings.switchLanguage(lang, &texts_);
    refreshPanel();
}

void AcquireDialog::acquireButton() {
    if (destroyed_) return;
    if (image_.pendingImage) env_.twain.notifyTransferReady();
}

PanelContent AcquireDialog::panelContent() const {
    PanelContent c;
    c.texts = &texts_;
    c.mode = mode_;
    c.modelName = scan_.modelName;
    c.firmwareVersion = scan_.firmwareVersion;
    c.statusText = statusText_;
    c.densityLamp = scan_.densityHigh;
    c.colourLamp = scan_.colourMode;
    return c;
}

// --- helpers ---

void AcquireDialog::queue(uint8_t code, uint8_t key, int tickMs) {
    link_.queueRequest(code, key);
    startTimer(kLinkTick, tickMs);
}

void AcquireDialog::startTimer(int id, int ms) {
    if (!destroyed_) env_.timers.start(id, ms);
}

void AcquireDialog::stopTimer(int id) { env_.timers.stop(id); }

void AcquireDialog::stopAllTimers() {
    for (int id : {kLinkTick, kConnectionCheck, kStatusAfterKey, kAutoScan, kPostedClose})
        env_.timers.stop(id);
}

void AcquireDialog::showStatus(const std::string& t) {
    statusText_ = t;
    if (!destroyed_) env_.view.showStatus(t);
}

void AcquireDialog::showProgress(uint8_t percent) {
    if (!scan_.progressVisible || destroyed_) return;
    env_.view.showProgress(percent);
    // The stored status text stays as it is: only the display carries the percentage.
    env_.view.showStatus(statusText_ + "  " + std::to_string(percent) + "% " + text("MsgComplete"));
}

void AcquireDialog::setPanelReady(bool ready) {
    if (destroyed_) return;
    PanelButtons b;
    b.pcScan = b.density = b.colour = ready;
    b.comp = ready && compAvailable();
    b.stop = !ready;
    // In progress-only mode Close is the way to cancel a running scan.
    b.close = mode_ == WindowMode::ProgressOnly ? !ready : ready;
    b.progressBarVisible = !ready;
    env_.view.setPanelReady(ready, b);
}

void AcquireDialog::enableStopClose(bool enabled) {
    if (!destroyed_) env_.view.enableStopClose(enabled);
}

void AcquireDialog::refreshPanel() {
    if (!destroyed_) env_.view.refreshPanel(panelContent());
}

void AcquireDialog::hideWindow() {
    if (!destroyed_) env_.view.hideWindow();
}

void AcquireDialog::messageBox(const std::string& t) {
    // A box runs its own event loop; whatever runs in it must not stack a second box of
    // this window on the first (the text is in the status line already).
    if (destroyed_ || boxOpen_) return;
    boxOpen_ = true;
    env_.notifier.messageBox(t, kMessageCaption, MsgIcon::Exclamation, MsgButtons::Ok);
    boxOpen_ = false;
}

void AcquireDialog::requestClose() {
    if (destroyed_) return;
    if (initialising_) {
        startTimer(kPostedClose, 10);
        return;
    }
    env_.twain.requestClose();
}

}  // namespace q47::twain_source

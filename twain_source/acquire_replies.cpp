// Reactions to the board's complete replies: device info, firmware version, status.
#include "twain_source/acquire_dialog.h"

namespace q47::twain_source {

namespace {

// Poll period of a busy state: a print or scan to the board's own memory takes long.
int busyPollMs(uint8_t state) {
    return state == board::StateScanPrint || state == board::StateScanMemory ? 20000 : 1000;
}

}  // namespace

void AcquireDialog::handleReply(const uint8_t* block) {
    scan_.progressVisible = false;
    switch (block[4]) {
        case board::ReplyAck:
        case board::ReplyNak:
            queue(board::Status, 0, 250);
            break;
        case board::ReplyDeviceInfo: {
            stopTimer(kLinkTick);
            const board::DeviceInfoReply info = board::parseDeviceInfo(block);
            scan_.modelLetter = info.modelLetter;
            scan_.modelName = info.modelName;
            queue(board::FirmwareVersion, 0, 10);
            break;
        }
        case board::ReplyImage: {
            scan_.progressVisible = true;
            const board::ImageHeader h = board::parseImageHeader(block);
            // W x H of zero: no image is ready yet.
            if (uint32_t(h.width) * h.height == 0) queue(board::Status, 0, 10);
            break;
        }
        case board::ReplyFirmwareVersion:
            stopTimer(kLinkTick);
            scan_.firmwareVersion = board::parseFirmwareVersion(block);
            layout();
            queue(board::Status, 0, 1000);
            break;
        case board::ReplyStatus:
            handleStatus(board::parseStatus(block));
            break;
        default:
            break;  // unknown replies are ignored
    }
}

void AcquireDialog::layout() {
    laidOut_ = true;
    env_.view.layoutWindow(mode_);
    refreshPanel();
    setPanelReady(false);
    enableStopClose(false);
    if (!destroyed_) env_.view.setProgressBarVisible(false);
    showStatus("");
    startTimer(kConnectionCheck, 10);
}

void AcquireDialog::handleStatus(const board::StatusReply& s) {
    stopTimer(kLinkTick);
    scan_.busy = false;

    // Lamps. An image header may have set colourMode alone; the palette then keeps
    // its value until the lamp bit differs from colourMode again.
    // The palette flag is process-wide; the first status of each window sets it from
    // this window's lamp, so a grey scan never gets an earlier window's colour palette.
    bool colourChanged = false, densityChanged = false;
    if (s.colour() != scan_.colourMode || !scan_.lampsSeen) {
        colourChanged = s.colour() != scan_.colourMode;
        scan_.colourMode = image_.colour = s.colour();
        scan_.lampsSeen = true;
    }
    if (s.density() != scan_.densityHigh) {
        scan_.densityHigh = s.density();
        densityChanged = true;
    }

    // Without a user interface the first standby starts the scan by itself: once per
    // window, never again after an image, a cancel or an error.
    if (!scan_.standby && s.state == board::StateStandby && mode_ != WindowMode::Full &&
        !scan_.autoScanUsed) {
        scan_.autoScanUsed = true;
        startTimer(kAutoScan, 100);
    }
    scan_.standby = s.state == board::StateStandby;

    const bool expectedState = s.state == board::StateZero || s.state == board::StateStandby ||
                               s.state == board::StateScanPC || s.state == board::StateTransImage;
    if ((s.error != 0 || !expectedState) && mode_ != WindowMode::Full) {
        // The acquisition ends: the user sees why, and the next tick closes the link.
        // Nothing may poll, scan or press a key underneath the box (its event loop
        // dispatches the window's timers); the closing tick starts once it is gone.
        // A hidden window shows nothing, but the application still hears the end.
        env_.globals.closeRequested = true;
        for (int id : {kConnectionCheck, kStatusAfterKey, kAutoScan}) stopTimer(id);
        if (mode_ == WindowMode::ProgressOnly) hideWindow();
        if (const char* key = board::stateTextKey(s.state)) showStatus(text(key));
        if (const char* key = board::errorTextKey(s.error)) showStatus(text(key));
        if (mode_ == WindowMode::ProgressOnly) messageBox(statusText_);
        startTimer(kLinkTick, 1000);
        return;
    }

    reactToState(s);

    if (s.error != 0) {
        enableStopClose(false);
        if (const char* key = board::errorTextKey(s.error)) showStatus(text(key));
    }
    // Redraw only what changed: an identical status leaves the panel alone.
    if (s.state != scan_.lastState || s.error != scan_.lastError || colourChanged ||
        densityChanged) {
        scan_.lastState = s.state;
        scan_.lastError = s.error;
        refreshPanel();
    }
    showProgress(s.progress);
}

void AcquireDialog::reactToState(const board::StatusReply& s) {
    switch (s.state) {
        case board::StateZero:
            queue(board::PanelKey, board::KeyStop, 10);
            startTimer(kStatusAfterKey, 250);
            break;
        case board::StateStandby:
            setPanelReady(true);
            queue(board::Status, 0, 1000);
            showStatus(text("MsgStatusStandby"));
            break;
        case board::StateScanPrint:
        case board::StateScanMemory:
        case board::StatePrint:
        case board::StateMemory:
        case board::StateFeed:
            setPanelReady(false);
            queue(board::Status, 0, busyPollMs(s.state));
            showStatus(text(board::stateTextKey(s.state)));
            scan_.busy = true;
            break;
        case board::StateScanPC:
            setPanelReady(false);
            queue(board::Status, 0, 1000);
            showStatus(text("MsgStatusScanPC"));
            scan_.busy = true;
            scan_.progressVisible = true;
            break;
        case board::StateTransImage:
            if (mode_ == WindowMode::ProgressOnly && scan_.firstImageReady) {
                // A progress-only window confirms the finished scan once with key 2.
                scan_.firstImageReady = false;
                queue(board::PanelKey, board::KeyImageSeen, 10);
                startTimer(kStatusAfterKey, 250);
            } else {
                scan_.progressVisible = true;
                if (statusText_ != text("MsgStatusTransImage")) {
                    setPanelReady(false);
                    enableStopClose(false);
                    queue(board::ImageTransfer, 0, 1000);
                    showStatus(text("MsgStatusTransImage"));
                    scan_.busy = true;
                } else {
                    // The image was already asked for. Without a poll here the link
                    // tick, stopped above, would never run again and the window would
                    // hang in state 17; keep asking for status instead, without
                    // fetching the image a second time.
                    queue(board::Status, 0, 1000);
                }
            }
            break;
        case board::StateAskPcScan:
            startPcScan();
            break;
        case board::StateWait14:
        default:
            queue(board::Status, 0, 1000);
            break;
    }
}

}  // namespace q47::twain_source

// The link tick, the connection check and every failure of the board link.
#include "twain_source/acquire_dialog.h"

#include <cstdio>

namespace q47::twain_source {

void AcquireDialog::openAtStart() {
    link_.closeDevice();
    link_.deviceOpen = false;
    stopTimer(kLinkTick);
    // Stays on screen only while the open is tried; the first status replaces it.
    showStatus(text("MsgUSBOpenError"));
    bool opened = link_.openDevice();
    startTimer(kLinkTick, 10);
    link_.queueRequest(board::DeviceInfo);
    if (!opened) linkDown();
}

// Open, write or reopen failed: the window can do nothing more without the board.
void AcquireDialog::linkDown() {
    // The box keeps the board's own text; which device failed and why goes beside it.
    std::fprintf(stderr, "%s: %s\n", kMessageCaption, link_.failureText().c_str());
    endAcquisition(text("MsgUSBOpenError"));
}

// Every timer stops before the box: a box's own event loop dispatches the window's
// timers, which would otherwise poll, scan or open further boxes underneath it. A
// hidden window shows no box; the close request alone tells the application.
void AcquireDialog::endAcquisition(const std::string& why) {
    stopAllTimers();
    if (mode_ == WindowMode::ProgressOnly) hideWindow();
    link_.closeDevice();
    link_.deviceOpen = false;
    link_.awaitingReply = false;
    if (mode_ != WindowMode::Hidden) messageBox(why);
    requestClose();
}

void AcquireDialog::onLinkTick() {
    // The image loop reads the board itself; a tick that fires while it dispatches
    // messages (a key pressed meanwhile) must not write into the middle of the image
    // reply. The tick keeps running and does its work once the image is in.
    if (receivingImage_) return;
    if (env_.globals.closeRequested) {
        link_.closeDevice();
        link_.deviceOpen = false;
        stopTimer(kLinkTick);
        stopTimer(kConnectionCheck);
        stopTimer(kStatusAfterKey);
        requestClose();
        return;
    }
    if (!link_.queueEmpty() && !link_.awaitingReply && link_.deviceOpen && link_.handleValid()) {
        if (!sendNext()) return;
    }
    // A request written just now is read back in the same tick.
    if (link_.deviceOpen && link_.awaitingReply && link_.handleValid()) receiveReply();
}

bool AcquireDialog::sendNext() {
    if (link_.sendNext()) return true;
    link_.dropQueue();
    showStatus(text("MsgUSBOpenError"));
    link_.deviceOpen = false;
    linkDown();
    return false;
}

void AcquireDialog::receiveReply() {
    long n = link_.receive();
    // Before the firmware version has come, nothing watches the connection yet; and a
    // window without its panel (progress-only, hidden) has no button that would queue
    // the next request after a bad packet. Either way the link cannot go on.
    if (n < 0 && !laidOut_) {
        showStatus(text("MsgReceivePktError"));
        endAcquisition(text("MsgReceivePktError"));
        return;
    }
    if (n < 0) {
        // The handle goes, deviceOpen stays: the connection check reopens the board.
        link_.closeDevice();
        link_.awaitingReply = false;
        showStatus(text("MsgReceivePktError"));
        return;
    }
    const board::Block block = board::classifyBlock(link_.rxBuffer(), size_t(n));
    if (block.kind == board::Block::BadPacket && (!laidOut_ || mode_ != WindowMode::Full)) {
        showStatus(text("MsgReceiveBadPkt"));
        endAcquisition(text("MsgReceiveBadPkt"));
        return;
    }
    if (block.kind == board::Block::BadPacket) {
        // Nothing is asked again: the link idles until the next queued request.
        link_.awaitingReply = false;
        showStatus(text("MsgReceiveBadPkt"));
        return;
    }
    if (block.kind == board::Block::ImageStart) {
        receiveImage(block);
        return;
    }
    handleReply(link_.rxBuffer());
    link_.awaitingReply = false;
}

void AcquireDialog::onConnectionCheck() {
    if (link_.deviceOpen && link_.handleValid()) return;
    link_.closeDevice();
    link_.deviceOpen = false;
    stopTimer(kLinkTick);
    showStatus(text("MsgUSBOpenError"));
    if (link_.openDevice()) {
        startTimer(kLinkTick, 10);
        startTimer(kConnectionCheck, 1000);
        showStatus(text("MsgStatusStandby"));
        link_.queueRequest(board::Status);
    } else {
        linkDown();
    }
}

void AcquireDialog::onStatusAfterKey() {
    link_.dropQueue();
    link_.queueRequest(board::Status);
    stopTimer(kStatusAfterKey);
}

}  // namespace q47::twain_source

// Starting scans, receiving the image reply, building its DIB, and cancelling.
#include "twain_source/acquire_dialog.h"

#include <cstdio>

namespace q47::twain_source {

namespace {

// Full sheets of the two board sizes, in scan lines: narrower scans without a user
// interface are taken as cancelled.
constexpr uint16_t kFullSheetW = 4077;
constexpr uint16_t kFullSheetS = 2961;
constexpr int kWaitRounds = 20;
constexpr int kWaitSleepMs = 100;
constexpr int kBlocksPerDispatch = 10;

}  // namespace

// Up to 20 rounds of dispatching messages until flag holds, 100 ms apart.
bool AcquireDialog::waitFor(const bool& flag) {
    for (int round = 0; round < kWaitRounds && !destroyed_; ++round) {
        env_.pump.processEvents();
        if (flag) return true;
        env_.pump.sleepMs(kWaitSleepMs);
    }
    return flag;
}

void AcquireDialog::failAcquisition() { endAcquisition(text("MsgErrorOTHER")); }

void AcquireDialog::startPcScan() {
    if (destroyed_ || scan_.busy) return;
    if (mode_ == WindowMode::ProgressOnly) {
        // Only the board's own models ("Q-...") are scanned without the panel, and
        // always in colour: press COLOR and wait for the lamp.
        if (scan_.modelName.find("Q-") == std::string::npos) {
            failAcquisition();
            return;
        }
        if (!scan_.colourMode) {
            pressKey(board::KeyColor);
            if (!waitFor(scan_.colourMode)) {
                failAcquisition();
                return;
            }
        }
    }
    image_.compress = false;
    link_.dropQueue();
    queue(board::PcScan, 0, 10);
    startTimer(kStatusAfterKey, 250);
}

void AcquireDialog::receiveImage(const board::Block& first) {
    const board::ImageHeader& h = first.image;
    scan_.imageWidth = h.width;
    scan_.imageHeight = h.height;
    // The header's colour flag is the lamp state; the palette (image_.colour) follows
    // only the status replies.
    scan_.colourMode = h.colour;
    image_.geometry = dibGeometry(h.width, h.height, image_.compress);

    // Out of memory the image cannot be kept, but its blocks are still read to the
    // end below: left unread they would be taken for the replies to later requests.
    const bool stored = image_.allocateRaw();
    stopTimer(kLinkTick);
    const bool accept =
        mode_ == WindowMode::Full ||
        !((scan_.modelLetter == 'W' && h.width < kFullSheetW) ||
          (scan_.modelLetter == 'S' && h.width < kFullSheetS));

    uint32_t outstanding = first.expected - 6;
    int blocks = 0;
    long n = 0;
    receivingImage_ = true;
    do {
        n = link_.receive();
        if (n < 0) {
            receivingImage_ = false;
            link_.closeDevice();  // the connection check reopens
            link_.awaitingReply = false;
            image_.releaseRaw();
            showStatus(text("MsgReceivePktError"));
            if (cancelAfterImage_) {
                // No key can reach the board now; the user's cancel still closes.
                cancelAfterImage_ = false;
                requestClose();
            }
            return;
        }
        image_.appendRaw(link_.rxBuffer(), size_t(n));
        outstanding -= uint32_t(n);
        if (accept) showProgress(uint8_t(board::imageProgressPercent(first.expected, outstanding)));
        // The window stays responsive only through this dispatch.
        if (++blocks % kBlocksPerDispatch == 0) env_.pump.processEvents();
    } while (n == long(board::kBlockSize) && !destroyed_);
    receivingImage_ = false;
    // Ended before its last block (the window went, or the user cancelled meanwhile):
    // a part of an image is never pending.
    const bool whole = n != long(board::kBlockSize);
    link_.awaitingReply = false;
    scan_.progressVisible = false;

    const bool cancelled = cancelAfterImage_;
    cancelAfterImage_ = false;
    if (cancelled && mode_ != WindowMode::Full) {
        // The reply has been read to its end, so the cancel key can go out now; nothing
        // is delivered.
        image_.releaseRaw();
        setPanelReady(true);
        cancel();
        return;
    }
    if (cancelled) {
        requestClose();  // the panel's cancel; nothing is delivered, polling goes on
    } else if (!accept) {
        // By design, but a user without the window would never learn why nothing came.
        std::fprintf(stderr,
                     "%s: scan cancelled: the board sent %u scan lines, fewer than the full "
                     "sheet of model %c (%u); narrower scans are taken only in the full window\n",
                     kMessageCaption, unsigned(h.width), scan_.modelLetter,
                     unsigned(scan_.modelLetter == 'W' ? kFullSheetW : kFullSheetS));
        cancel();
    } else if (whole && !destroyed_ && stored && buildDib(image_) && image_.pendingImage) {
        env_.twain.notifyTransferReady();
    }

    image_.releaseRaw();
    startTimer(kLinkTick, 1000);
    link_.queueRequest(board::Status);
    setPanelReady(true);
}

void AcquireDialog::cancel() {
    if (destroyed_) return;
    if (receivingImage_) {
        // Inside the image loop's dispatch: a key written now would land in the middle
        // of the image reply, and the image would still be delivered after the close
        // request. The image loop cancels once the reply has been read.
        cancelAfterImage_ = true;
        return;
    }
    if (mode_ == WindowMode::Full) {
        requestClose();
        return;
    }
    // Tell the board the scan is abandoned, then give it up to two seconds to be
    // back in standby before the source closes.
    link_.dropQueue();
    queue(board::PanelKey, board::KeyCancelScan, 10);
    startTimer(kStatusAfterKey, 250);
    waitFor(scan_.standby);
    requestClose();
}

}  // namespace q47::twain_source

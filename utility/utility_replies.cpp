// UtilityDialog: reading the board's replies, the reply table and the status handling.
#include <algorithm>
#include <cstring>

#include "board/packet.h"
#include "utility/utility_dialog.h"

namespace q47::utility {

namespace {
// The body of a reply read in one piece: the bytes after the length field.
constexpr size_t kMaxBody = kReceiveSize - 4;
}  // namespace

bool UtilityDialog::receiveReply() {
    const long n = link_.receive();
    const uint8_t* rx = link_.rxBuffer();
    if (n < 0) {
        link_.closeDevice();
        link_.awaitingReply = false;
        if (link_.lastCommand == FirmwareUpdate) {
            // The board restarts after taking a firmware update: the expected end.
            view_.setProgressVisible(false);
            timers_.start(kReconnectTimer, kRestartWaitMs);
            return false;
        }
        packetStart_ = true;
        if (link_.queueEmpty()) {
            linkState_ = 2;
            setLinkTimer(kIdlePeriodMs);
        }
        message("MsgReceivePktError");
        return false;
    }
    if (packetStart_) {
        const uint32_t length = n > 4 ? board::le32(rx) : 0;
        // A length field of 0 carries no reply code: as bad as a short read.
        if (n <= 4 || length == 0) {
            link_.awaitingReply = false;
            message("MsgReceiveBadPkt");
            return false;
        }
        if (length > kMaxBody) {
            if (!testImage_.storeTestImage(rx + 5, rx + 10, kReceiveSize - 10, length)) {
                link_.awaitingReply = false;
                message("MsgReceiveBadPkt");
                return false;
            }
            packetStart_ = false;
            // The rest arrives one read per tick; at the idle period that would take
            // minutes.
            setLinkTimer(kBusyPeriodMs);
            return true;  // still awaiting: the next tick reads on
        }
        uint8_t body[kMaxBody] = {};
        std::memcpy(body, rx + 4, length);
        packetStart_ = true;
        const bool matched = handleReply(body, length);
        link_.awaitingReply = false;
        if (!matched) {
            ++mismatches_;
            return false;
        }
        if (link_.queueEmpty()) {
            linkState_ = 2;
            setLinkTimer(kIdlePeriodMs);
        }
        return true;
    }
    // A continuation read of the test image: taken as 1024 bytes of payload, the last
    // one as the remainder, whatever the read returned.
    const size_t outstanding = testImage_.outstanding();
    if (outstanding > kReceiveSize) {
        testImage_.append(rx, kReceiveSize);
        return true;
    }
    testImage_.append(rx, outstanding);
    packetStart_ = true;
    link_.awaitingReply = false;
    if (link_.queueEmpty()) {
        linkState_ = 2;
        setLinkTimer(kIdlePeriodMs);
    }
    testImage_.decodeTestImage((workFolder_ / kRawDataFileName).string());
    ++testImages_;
    // The image took the place of a reply, often the status poll's: without a new query
    // the board's state would go unwatched until the user acts.
    if (link_.queueEmpty() && !updating_) queueCommand(board::Status, 0);
    setLinkTimer(kBusyPeriodMs);
    view_.showTestImage(testImage_);
    return true;
}

bool UtilityDialog::handleReply(const uint8_t* body, size_t count) {
    const uint8_t code = body[0];
    const uint8_t command = link_.lastCommand;
    const bool matched = code == command || code == board::ReplyAck || code == kReplyIgnored ||
                         code == board::ReplyNak;
    // Fields a reply is too short to carry leave everything as it was.
    const bool hasValue = count >= 2;
    switch (code) {
        case board::ReplyAck: {
            const int setting = settingIndex(command);
            if (command == BoardClock) {
                if (closeAfterClock_) {
                    timers_.stop(kLinkTimer);
                    ended_ = true;
                    view_.endDialog();
                }
            } else if (setting >= 0) {
                committedValues_[setting] = dialogValues_[setting];
            } else if (command == FirmwareUpdate && !lastBlockSent_) {
                sendNextFirmwareBlock();
            }
            break;
        }
        case board::ReplyDeviceInfo:
            if (hasValue) {
                modelLetter_ = char(body[1]);
                wideModel_ = modelLetter_ == 'W' || modelLetter_ == 'w';
            }
            break;
        case board::ReplyStatus:
            handleStatus(body, count);
            break;
        case PrintImageMode:
        case SaveImageMode:
        case PaperSize:
        case BindingMargin:
        case TimeStamp:
            // The radios know 0 and 1 only; any other value is no setting to show.
            if (hasValue && body[1] <= 1) {
                const int setting = settingIndex(code);
                dialogValues_[setting] = committedValues_[setting] = body[1];
                view_.showSettings(dialogValues_);
            }
            break;
        case board::ReplyFirmwareVersion: {
            const uint8_t* end = std::find(body + 1, body + std::max<size_t>(count, 1), uint8_t(0));
            firmwareVersionText_.assign(reinterpret_cast<const char*>(body + 1),
                                        reinterpret_cast<const char*>(end));
            view_.showFirmwareVersion(firmwareVersionText_);
            break;
        }
        case FirmwareUpdate:
            sendNextFirmwareBlock();
            break;
        case board::ReplyNak:
            ++refusals_;
            if (command == FirmwareUpdate) sendNextFirmwareBlock();
            break;
        default:
            break;
    }
    return matched;
}

void UtilityDialog::handleStatus(const uint8_t* body, size_t count) {
    timers_.stop(kLinkTimer);
    if (count >= 2) {
        const uint8_t state = body[1];
        lastState_ = state;
        lastBoardError_ = count >= 10 ? body[9] : 0;
        if (state == board::StateZero) {
            queueCommand(board::PanelKey, board::KeyStop);
            setLinkTimer(kBusyPeriodMs);
        } else if (state == board::StateStandby) {
            setControlsEnabled(true);
        } else if (board::isBusyState(state) || state == 15 || state == board::StateScanPC) {
            setControlsEnabled(false);
        }
    }
    if (updating_) {
        setLinkTimer(kBusyPeriodMs);
        return;
    }
    const bool wasEmpty = link_.queueEmpty();
    queueCommand(board::Status, 0);
    setLinkTimer(wasEmpty ? kIdlePeriodMs : kBusyPeriodMs);
}

}  // namespace q47::utility

// Reading the firmware file in blocks of lines, and the update sequence of UtilityDialog.
#include "utility/firmware_update.h"

#include <sys/stat.h>

#include "utility/utility_dialog.h"

namespace q47::utility {

bool FirmwareFile::open(const std::string& path) {
    close();
    if (path.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    struct stat st {};
    if (::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        std::fclose(f);
        return false;
    }
    file_ = f;
    length_ = uint64_t(st.st_size);
    position_ = 0;
    blockText_.clear();
    return true;
}

void FirmwareFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

void FirmwareFile::readFirmwareBlock() {
    blockText_.clear();
    int lines = 0;
    bool inLine = false;  // a line has begun in this block and not yet ended
    while (file_ && position_ < length_ && lines < kLinesPerBlock) {
        // Room for this byte and the "\n" that may have to close the block's last line.
        if (blockText_.size() + 2 > kMaxBlockText) break;
        const int c = std::getc(file_);
        if (c == EOF) {
            position_ = length_;  // the file shrank under us: what was read is all
            break;
        }
        ++position_;
        if (c == '\r') {
            const int next = std::getc(file_);
            if (next == '\n') {
                ++position_;
                blockText_ += '\n';
                ++lines;
                inLine = false;
                continue;
            }
            if (next != EOF) std::ungetc(next, file_);
        }
        if (c == '\n') {
            blockText_ += '\n';
            ++lines;
            inLine = false;
            continue;
        }
        blockText_ += char(c);
        inLine = true;
    }
    // The file's last line without a line end still gets one.
    if (inLine && position_ >= length_) blockText_ += '\n';
    if (blockText_.empty()) blockText_ = "\n";
}

// --- the update, as UtilityDialog runs it ---

void UtilityDialog::setFirmwarePath(const std::string& path) {
    firmwarePath_ = path;
    refreshControls();
}

bool UtilityDialog::startFirmwareUpdate() {
    timers_.stop(kLinkTimer);
    fileBoxDisabled_ = true;
    refreshControls();
    std::vector<uint8_t> start = buildCommand(FirmwareUpdate, 1);
    if (!firmware_.open(firmwarePath_) || start.size() > kSendQueueSize - 1 - link_.queuedBytes()) {
        firmware_.close();
        message("MsgFileOpenError", firmwarePath_);
        setLinkTimer(kBusyPeriodMs);
        return false;
    }
    updating_ = true;
    lastBlockSent_ = false;
    setControlsEnabled(false);
    link_.queuePacket(start);
    packetStart_ = true;
    linkState_ = 1;
    view_.setProgressVisible(true);
    progress_ = 0;
    view_.showProgress(0, "");
    view_.showProgress(0,
                       texts_.text("MsgUpgradeInProgress") + " 0% " + texts_.text("MsgComplete"));
    setLinkTimer(kBusyPeriodMs);
    firmware_.readFirmwareBlock();
    return true;
}

void UtilityDialog::sendNextFirmwareBlock() {
    if (!updating_ || !firmware_.isOpen()) return;
    progress_ = firmware_.percent();
    view_.showProgress(progress_, texts_.text("MsgUpgradeInProgress") + " " +
                                      std::to_string(progress_) + "% " +
                                      texts_.text("MsgComplete"));
    if (progress_ > 99) view_.setCancelCaption("Close");
    if (firmware_.atEnd()) lastBlockSent_ = true;
    queueCommand(FirmwareUpdate, 0);
    setLinkTimer(kBusyPeriodMs);
    firmware_.readFirmwareBlock();
}

}  // namespace q47::utility

// The request ring and the single writes and reads of the board link.
#include "twain_source/board_link.h"

#include <algorithm>
#include <cstdlib>

namespace q47::twain_source {

bool BoardLink::openDevice() {
    channel_ = openDeviceChannel(deviceSpec_, &lastError_);
    deviceOpen = channel_ != nullptr;
    return deviceOpen;
}

std::string BoardLink::failureText() const {
    const char* env = std::getenv("Q47_DEVICE");
    const bool defaulted = deviceSpec_.empty() && !(env && *env);
    return "device \"" + deviceName(deviceSpec_) + "\"" +
           (defaulted ? " (Q47_DEVICE is not set)" : "") + ": " +
           (lastError_.empty() ? "failed" : lastError_);
}

void BoardLink::closeDevice() {
    if (channel_) channel_->close();
    channel_.reset();
}

bool BoardLink::queueRequest(uint8_t code, uint8_t key) {
    const std::vector<uint8_t> bytes = board::encodeRequest(code, key);
    if (bytes.empty()) return false;
    // One byte stays free: equal indices mean an empty ring.
    if (queuedBytes() + bytes.size() > kSendQueueSize - 1) return false;
    for (uint8_t b : bytes) {
        queue_[writeIndex_] = b;
        writeIndex_ = (writeIndex_ + 1) % kSendQueueSize;
    }
    awaitingReply = false;
    return true;
}

bool BoardLink::sendNext() {
    if (queueEmpty() || !channel_) return false;
    uint8_t packet[kSendQueueSize];
    for (size_t i = 0; i < 4; ++i) packet[i] = queue_[(readIndex_ + i) % kSendQueueSize];
    // The ring only ever holds whole requests of encodeRequest, so L is 1 or 2; the
    // bound keeps a damaged ring from sending more than it holds.
    const size_t total = std::min<size_t>(board::le32(packet) + 4, queuedBytes());
    for (size_t i = 4; i < total; ++i) packet[i] = queue_[(readIndex_ + i) % kSendQueueSize];
    long sent = channel_->write(packet, total);
    if (sent != static_cast<long>(total)) {
        lastError_ = channel_->lastError();
        return false;
    }
    readIndex_ = (readIndex_ + total) % kSendQueueSize;
    awaitingReply = true;
    return true;
}

long BoardLink::receive() {
    if (!channel_) return -1;
    long n = channel_->read(rx_.data(), rx_.size());
    if (n < 0) lastError_ = channel_->lastError();
    return n;
}

}  // namespace q47::twain_source

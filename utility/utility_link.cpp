// The utility's send ring and its single writes and reads.
#include "utility/utility_link.h"

#include <algorithm>

#include "board/packet.h"

namespace q47::utility {

bool UtilityLink::openDevice() {
    closeDevice();
    channel_ = opener_ ? opener_(&lastError_) : openDeviceChannel(deviceSpec_, &lastError_);
    deviceOpen = channel_ != nullptr;
    return deviceOpen;
}

void UtilityLink::closeDevice() {
    if (channel_) channel_->close();
    channel_.reset();
}

bool UtilityLink::boardBusy() const {
    return lastError_.find("in use") != std::string::npos;
}

bool UtilityLink::queuePacket(const std::vector<uint8_t>& packet) {
    // One byte stays free: equal indexes mean an empty ring.
    if (packet.size() < 5 || queuedBytes() + packet.size() > kSendQueueSize - 1) return false;
    for (uint8_t b : packet) {
        queue_[writeIndex_] = b;
        writeIndex_ = (writeIndex_ + 1) % kSendQueueSize;
    }
    return true;
}

bool UtilityLink::sendNextPacket() {
    if (queueEmpty() || !channel_) return false;
    uint8_t packet[kSendQueueSize];
    for (size_t i = 0; i < 4; ++i) packet[i] = queue_[(readIndex_ + i) % kSendQueueSize];
    // The ring holds whole packets only; the bound keeps a damaged one from sending
    // more than is queued.
    const size_t total = std::min<size_t>(size_t(board::le32(packet)) + 4, queuedBytes());
    for (size_t i = 4; i < total; ++i) packet[i] = queue_[(readIndex_ + i) % kSendQueueSize];
    const long sent = channel_->write(packet, total);
    if (sent != static_cast<long>(total)) {
        lastError_ = channel_->lastError();
        return false;
    }
    readIndex_ = (readIndex_ + total) % kSendQueueSize;
    awaitingReply = true;
    lastCommand = total > 4 ? packet[4] : 0;
    return true;
}

long UtilityLink::receive() {
    if (!channel_) return -1;
    const long n = channel_->read(rx_.data(), rx_.size());
    if (n < 0) lastError_ = channel_->lastError();
    return n;
}

}  // namespace q47::utility

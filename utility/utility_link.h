// UtilityLink: the utility's device channel, its 1024-byte send ring and receive buffer.
//
// The utility shares only the packet frame with the data source: its ring is larger
// (a firmware block is up to 903 bytes) and its reads are 1024 bytes, so a test image
// arrives in 1024-byte pieces. UtilityDialog drives this from its link timer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_channel.h"

namespace q47::utility {

constexpr size_t kSendQueueSize = 1024;
constexpr size_t kReceiveSize = 1024;

// Opens the board's channel; null (and *error) on failure. Tests and fuzzers put a
// scripted board here; programs leave it empty for openDeviceChannel(deviceSpec).
using ChannelOpener = std::function<std::unique_ptr<DeviceChannel>(std::string* error)>;

class UtilityLink {
  public:
    explicit UtilityLink(std::string deviceSpec = "", ChannelOpener opener = {})
        : deviceSpec_(std::move(deviceSpec)), opener_(std::move(opener)) {}

    // Set by a successful open or write; cleared by a failed write or a failed reopen.
    bool deviceOpen = false;
    // A packet was written and its reply has not been read in full.
    bool awaitingReply = false;
    // Command byte of the last packet written.
    uint8_t lastCommand = 0;

    // Opens the board exclusively (dropping any earlier handle); deviceOpen follows.
    bool openDevice();
    void closeDevice();
    bool handleValid() const { return channel_ && channel_->isOpen(); }
    const std::string& lastError() const { return lastError_; }
    // The open failed because another program holds the board.
    bool boardBusy() const;

    // Appends one whole packet to the ring, wrapping at 1024. A packet that does not fit
    // in the free bytes is refused (false): overrunning the ring would corrupt the
    // packets waiting before it.
    bool queuePacket(const std::vector<uint8_t>& packet);
    void resetQueue() { readIndex_ = writeIndex_ = 0; }
    bool queueEmpty() const { return readIndex_ == writeIndex_; }
    size_t queuedBytes() const {
        return (writeIndex_ + kSendQueueSize - readIndex_) % kSendQueueSize;
    }
    size_t readIndex() const { return readIndex_; }
    size_t writeIndex() const { return writeIndex_; }

    // Writes the packet at the head of the ring in one transfer. Success moves past it,
    // sets awaitingReply and lastCommand; failure leaves it queued for a later retry.
    bool sendNextPacket();
    // One read of up to 1024 bytes into rxBuffer: the count, or -1 on failure.
    long receive();
    const uint8_t* rxBuffer() const { return rx_.data(); }

  private:
    std::string deviceSpec_;
    ChannelOpener opener_;
    std::unique_ptr<DeviceChannel> channel_;
    std::string lastError_;
    std::array<uint8_t, kSendQueueSize> queue_{};
    size_t readIndex_ = 0, writeIndex_ = 0;
    std::array<uint8_t, kReceiveSize> rx_{};
};

}  // namespace q47::utility

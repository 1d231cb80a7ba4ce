// BoardLink: the data source's device channel to the board, its request ring and receive buffer.
//
// The link has no thread and no timers of its own: AcquireDialog drives it from its
// link tick (one write and the read of its reply per tick) and decides what every
// failure means. This class holds the state those steps share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "board/packet.h"
#include "platform/device_channel.h"

namespace q47::twain_source {

constexpr size_t kSendQueueSize = 64;

class BoardLink {
public:
    // deviceSpec as openDeviceChannel takes it: "" for $Q47_DEVICE or the default device.
    explicit BoardLink(std::string deviceSpec = "") : deviceSpec_(std::move(deviceSpec)) {}

    // Set by a successful open; cleared by a failed open, a failed write and the close
    // paths. A failed read leaves it set and only drops the handle, which is how the
    // connection check knows to reopen.
    bool deviceOpen = false;
    // A request was written and its reply has not been handled yet.
    bool awaitingReply = false;

    // Opens the board exclusively; deviceOpen = whether that worked.
    bool openDevice();
    // Drops the handle (deviceOpen is the caller's business).
    void closeDevice();
    bool handleValid() const { return channel_ && channel_->isOpen(); }
    const std::string& deviceSpec() const { return deviceSpec_; }
    // Why the last open, write or read failed.
    const std::string& lastError() const { return lastError_; }
    // The device tried and lastError, for a person: device "NAME": WHY, with a note when
    // NAME is only the default because $Q47_DEVICE is not set.
    std::string failureText() const;

    // Appends the request's bytes to the ring (wrapping from 63 to 0) and abandons any
    // reply still outstanding. A request that would not fit in the 63 free bytes is
    // not queued (false): overrunning the ring would corrupt the requests before it.
    // An unknown code queues nothing.
    bool queueRequest(uint8_t code, uint8_t key = 0);
    // Forgets everything queued.
    void dropQueue() { readIndex_ = writeIndex_; }
    bool queueEmpty() const { return readIndex_ == writeIndex_; }
    size_t queuedBytes() const { return (writeIndex_ + kSendQueueSize - readIndex_) % kSendQueueSize; }
    size_t readIndex() const { return readIndex_; }
    size_t writeIndex() const { return writeIndex_; }

    // Writes the packet at the head of the ring in one transfer. Success moves past it
    // and sets awaitingReply; failure leaves the ring as it was (the caller drops it).
    bool sendNext();
    // One read of up to 4096 bytes into rxBuffer: the count, or -1 on failure.
    long receive();
    const uint8_t* rxBuffer() const { return rx_.data(); }

private:
    std::string deviceSpec_;
    std::unique_ptr<DeviceChannel> channel_;
    std::string lastError_;
    std::array<uint8_t, kSendQueueSize> queue_{};
    size_t readIndex_ = 0, writeIndex_ = 0;
    std::array<uint8_t, board::kBlockSize> rx_{};
};

}  // namespace q47::twain_source

// The board's device channel: one bulk-out transfer per write, one bulk-in transfer per read.
//
// Contract, the same for every backend:
//  - open is exclusive: a second open of the same board fails while one is held;
//  - write sends one transfer of at most kMaxTransfer bytes (more is cut) and
//    returns the count sent, or -1;
//  - read takes at most n bytes of the board's current transfer; the rest of that
//    transfer stays for the next read; a zero-length transfer reads as 0 bytes;
//  - a read that gets nothing within the time-out fails (-1);
//  - no device control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace q47 {

constexpr size_t kMaxTransfer = 4096;
constexpr int kDefaultIoTimeoutMs = 10000;
constexpr const char* kDefaultDevicePath = "/dev/zwbd_c_series0";

class DeviceChannel {
public:
    virtual ~DeviceChannel() = default;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual long write(const uint8_t* data, size_t n) = 0;
    virtual long read(uint8_t* buf, size_t n) = 0;
    // Why the last call failed, for logs and error texts.
    virtual std::string lastError() const = 0;
};

// Opens the board named by device: "" means $Q47_DEVICE, falling back to
// kDefaultDevicePath. Forms: a path; "usb" or "usb:VVVV:PPPP"; "sim:/path.sock".
// Returns null on failure, with the reason in *error when given.
std::unique_ptr<DeviceChannel> openDeviceChannel(const std::string& device = "",
                                                 std::string* error = nullptr);

// The name openDeviceChannel(device) opens: device, else $Q47_DEVICE, else
// kDefaultDevicePath.
std::string deviceName(const std::string& device = "");

// $Q47_IO_TIMEOUT_MS, or kDefaultIoTimeoutMs.
int ioTimeoutMs();

}  // namespace q47

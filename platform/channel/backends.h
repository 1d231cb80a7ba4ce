// The device channel's three backends, chosen by openDeviceChannel from the device name.
#pragma once

#include <memory>
#include <string>

#include "platform/device_channel.h"

namespace q47::channel {

// A device node such as /dev/zwbd_c_series0: one read() is one bulk-in transfer.
std::unique_ptr<DeviceChannel> openPath(const std::string& path, int timeoutMs,
                                        std::string* error);
// The board through libusb; vendor and product 0 = the first device whose interface 0
// of configuration 1 has bulk-out 0x01 and bulk-in 0x82.
std::unique_ptr<DeviceChannel> openUsb(uint16_t vendor, uint16_t product, int timeoutMs,
                                       std::string* error);
// The simulator's socket.
std::unique_ptr<DeviceChannel> openSim(const std::string& socketPath, int timeoutMs,
                                       std::string* error);

}  // namespace q47::channel

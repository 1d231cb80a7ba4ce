// Picks the device channel's backend from the device name ($Q47_DEVICE by default).
#include <cstdlib>
#include <cstring>

#include "platform/channel/backends.h"

namespace q47 {

int ioTimeoutMs() {
    const char* v = std::getenv("Q47_IO_TIMEOUT_MS");
    if (!v || !*v) return kDefaultIoTimeoutMs;
    char* end = nullptr;
    long ms = std::strtol(v, &end, 10);
    // A value that is not a positive number keeps the default rather than turning
    // every read into an instant failure or an endless wait.
    if (*end || ms <= 0 || ms > 24L * 3600 * 1000) return kDefaultIoTimeoutMs;
    return int(ms);
}

namespace {

bool parseHex16(const std::string& s, uint16_t* out) {
    if (s.empty() || s.size() > 4) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(s.c_str(), &end, 16);
    if (*end) return false;
    *out = uint16_t(v);
    return true;
}

}  // namespace

std::string deviceName(const std::string& device) {
    if (!device.empty()) return device;
    const char* env = std::getenv("Q47_DEVICE");
    return env && *env ? env : kDefaultDevicePath;
}

std::unique_ptr<DeviceChannel> openDeviceChannel(const std::string& device, std::string* error) {
    const std::string name = deviceName(device);
    const int timeout = ioTimeoutMs();
    std::string why;
    std::unique_ptr<DeviceChannel> channel;
    if (name.rfind("sim:", 0) == 0) {
        channel = channel::openSim(name.substr(4), timeout, &why);
    } else if (name == "usb") {
        channel = channel::openUsb(0, 0, timeout, &why);
    } else if (name.rfind("usb:", 0) == 0) {
        const std::string ids = name.substr(4);
        const size_t colon = ids.find(':');
        uint16_t vendor = 0, product = 0;
        if (colon == std::string::npos || !parseHex16(ids.substr(0, colon), &vendor) ||
            !parseHex16(ids.substr(colon + 1), &product))
            why = "bad USB device name \"" + name + "\" (want usb or usb:VVVV:PPPP)";
        else
            channel = channel::openUsb(vendor, product, timeout, &why);
    } else {
        channel = channel::openPath(name, timeout, &why);
    }
    if (!channel && error) *error = why;
    return channel;
}

}  // namespace q47

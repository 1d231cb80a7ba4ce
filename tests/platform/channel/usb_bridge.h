// An emulated USB board for the libusb backend: umockdev presents the device in sysfs and
// /dev/bus/usb, and an ioctl handler answers its usbfs requests, carrying the bulk
// endpoints 0x01 and 0x82 to a simulated board.
#pragma once

#include <umockdev.h>

#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "simulator/board.h"

namespace q47::test {

class UsbBridge {
public:
    static constexpr uint16_t kVendor = 0x1234, kProduct = 0x5678;
    explicit UsbBridge(sim::Config config);
    ~UsbBridge();
    // Creates the testbed and the device; false with the reason outside umockdev.
    bool start(std::string* error);

    template <class F>
    auto withBoard(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(board_);
    }
    // The board stops answering (every request fails as for a vanished device) for ms.
    void unplug(int ms);

    // Called from umockdev's worker thread.
    gboolean onIoctl(UMockdevIoctlClient* client);
    void onVanished(UMockdevIoctlClient* client);

private:
    struct Urb {
        UMockdevIoctlData* urb = nullptr;     // the client's usbdevfs_urb
        UMockdevIoctlData* buffer = nullptr;  // its data buffer
        bool done = false;
        int status = 0, actual = 0;
    };
    bool unpluggedLocked() const;
    void fillInUrbs();
    void finish(Urb& u);

    sim::Board board_;
    std::mutex mutex_;
    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    std::deque<std::vector<uint8_t>> transfers_;  // the board's replies not yet taken
    std::deque<Urb> urbs_;                        // submitted, not yet reaped
    std::deque<Urb> discarded_;
    std::set<UMockdevIoctlClient*> claimed_;      // who holds interface 0
    int64_t unplugUntil_ = 0;
};

}  // namespace q47::test

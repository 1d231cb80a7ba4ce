// The usbfs side of the emulated board: claim, submit, reap and discard of bulk URBs.
#include "usb_bridge.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace q47::test {

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Device descriptor, then configuration 1: interface 0 with bulk-out 0x01 and bulk-in
// 0x82 of 512-byte packets, as sysfs's "descriptors" file holds them.
const char kDevice[] =
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-1\n"
    "N: bus/usb/001/002\n"
    "E: DEVNAME=/dev/bus/usb/001/002\n"
    "E: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\n"
    "E: SUBSYSTEM=usb\n"
    "E: BUSNUM=001\n"
    "E: DEVNUM=002\n"
    "E: PRODUCT=1234/5678/100\n"
    "A: busnum=1\n"
    "A: devnum=2\n"
    "A: idVendor=1234\n"
    "A: idProduct=5678\n"
    "A: speed=480\n"
    "A: bConfigurationValue=1\n"
    "A: bNumConfigurations=1\n"
    "H: descriptors=12010002FF00004034127856000100000001"
    "090220000101008032" "0904000002FF000000" "07050102000200" "07058202000200\n";

gboolean ioctlThunk(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    return static_cast<UsbBridge*>(self)->onIoctl(client);
}
void vanishedThunk(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<UsbBridge*>(self)->onVanished(client);
}

}  // namespace

UsbBridge::UsbBridge(sim::Config config) : board_(std::move(config)) {}

UsbBridge::~UsbBridge() {
    for (auto* list : {&urbs_, &discarded_}) {
        for (Urb& u : *list) {
            if (u.buffer) g_object_unref(u.buffer);
            if (u.urb) g_object_unref(u.urb);
        }
    }
    if (testbed_) g_object_unref(testbed_);
    if (handler_) g_object_unref(handler_);
}

bool UsbBridge::start(std::string* error) {
    const char* preload = getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) {
        *error = "not running under umockdev-wrapper";
        return false;
    }
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(ioctlThunk), this);
    g_signal_connect(handler_, "client-vanished", G_CALLBACK(vanishedThunk), this);
    GError* err = nullptr;
    // The handler must be in place before the device node appears.
    if (!umockdev_testbed_attach_ioctl(testbed_, "/dev/bus/usb/001/002", handler_, &err) ||
        !umockdev_testbed_add_from_string(testbed_, kDevice, &err)) {
        *error = err ? err->message : "umockdev refused the device";
        if (err) g_error_free(err);
        return false;
    }
    return true;
}

void UsbBridge::unplug(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugUntil_ = nowMs() + ms;
    claimed_.clear();
    transfers_.clear();
    // URBs in flight end as on a vanished device.
    for (Urb& u : urbs_)
        if (!u.done) u.done = true, u.status = -ENODEV, u.actual = 0;
}

bool UsbBridge::unpluggedLocked() const { return unplugUntil_ != 0 && nowMs() < unplugUntil_; }

void UsbBridge::onVanished(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> lock(mutex_);
    claimed_.erase(client);
}

// Bulk-in URBs waiting for the board take what it has sent: at most their length of
// its current transfer; the rest stays for the next URB.
void UsbBridge::fillInUrbs() {
    for (Urb& u : urbs_) {
        if (u.done || transfers_.empty()) continue;
        auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
        if (!(urb->endpoint & 0x80)) continue;
        std::vector<uint8_t>& t = transfers_.front();
        const size_t take = std::min<size_t>(size_t(urb->buffer_length), t.size());
        if (take) umockdev_ioctl_data_update(u.buffer, 0, t.data(), gint(take));
        t.erase(t.begin(), t.begin() + long(take));
        // A zero-length packet, or the transfer used up, ends the URB.
        if (t.empty()) transfers_.pop_front();
        u.done = true;
        u.status = 0;
        u.actual = int(take);
    }
}

void UsbBridge::finish(Urb& u) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
    usbdevfs_urb copy = *urb;
    copy.status = u.status;
    copy.actual_length = u.actual;
    umockdev_ioctl_data_update(u.urb, 0, reinterpret_cast<guint8*>(&copy), gint(offsetof(usbdevfs_urb, iso_frame_desc)));
}

gboolean UsbBridge::onIoctl(UMockdevIoctlClient* client) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const gsize size = (request >> _IOC_SIZESHIFT) & ((1 << _IOC_SIZEBITS) - 1);
    GError* err = nullptr;
    UMockdevIoctlData* data = size ? umockdev_ioctl_data_resolve(arg, 0, size, &err) : nullptr;
    if (err) {
        g_error_free(err);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto done = [&](long res, int e) {
        umockdev_ioctl_client_complete(client, res, e);
        if (data) g_object_unref(data);
        return TRUE;
    };
    if (unpluggedLocked() && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB &&
        request != USBDEVFS_DISCARDURB && request != USBDEVFS_RELEASEINTERFACE)
        return done(-1, ENODEV);

    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            const uint32_t caps = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            umockdev_ioctl_data_update(data, 0, (guint8*)&caps, sizeof caps);
            return done(0, 0);
        }
        case USBDEVFS_CLAIMINTERFACE: {
            const int itf = *reinterpret_cast<int*>(data->data);
            if (itf != 0) return done(-1, EINVAL);
            // usbfs gives an interface to one file at a time.
            if (!claimed_.empty() && !claimed_.count(client)) return done(-1, EBUSY);
            claimed_.insert(client);
            return done(0, 0);
        }
        case USBDEVFS_RELEASEINTERFACE:
            claimed_.erase(client);
            return done(0, 0);
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
            return done(0, 0);
        case USBDEVFS_SUBMITURB: {
            auto* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
            if (urb->type != USBDEVFS_URB_TYPE_BULK || (urb->endpoint != 0x01 && urb->endpoint != 0x82))
                return done(-1, EINVAL);
            if (!claimed_.count(client)) return done(-1, EINVAL);
            Urb u;
            u.urb = data;
            g_object_ref(data);
            u.buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                   gsize(urb->buffer_length), &err);
            if (err) {
                g_error_free(err);
                g_object_unref(data);
                return done(-1, EFAULT);
            }
            if (urb->endpoint == 0x01) {
                // One bulk-out transfer: the board takes the request and answers.
                sim::Transfers out = board_.handle(u.buffer->data, size_t(urb->buffer_length));
                for (auto& t : out) transfers_.push_back(std::move(t));
                if (board_.takeRestart()) unplugUntil_ = nowMs() + 1000;
                u.done = true;
                u.actual = urb->buffer_length;
            }
            urbs_.push_back(u);
            fillInUrbs();
            return done(0, 0);
        }
        case USBDEVFS_DISCARDURB: {
            const gulong addr = *reinterpret_cast<gulong*>(arg->data);  // the URB's address
            for (size_t i = 0; i < urbs_.size(); ++i) {
                if (urbs_[i].urb->client_addr != addr) continue;
                Urb u = urbs_[i];
                urbs_.erase(urbs_.begin() + long(i));
                u.done = true, u.status = -ENOENT, u.actual = 0;
                discarded_.push_back(u);
                return done(0, 0);
            }
            return done(-1, EINVAL);
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            std::deque<Urb>* from = !discarded_.empty() ? &discarded_ : &urbs_;
            size_t i = 0;
            while (i < from->size() && !(*from)[i].done) ++i;
            if (i == from->size()) return done(-1, unpluggedLocked() ? ENODEV : EAGAIN);
            Urb u = (*from)[i];
            from->erase(from->begin() + long(i));
            finish(u);
            umockdev_ioctl_data_set_ptr(data, 0, u.urb);
            done(0, 0);
            g_object_unref(u.buffer);
            g_object_unref(u.urb);
            return TRUE;
        }
        default:
            return done(-1, ENOTTY);
    }
}

}  // namespace q47::test

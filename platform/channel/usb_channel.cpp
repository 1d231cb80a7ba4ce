// The device channel through libusb: interface 0 of configuration 1, bulk-out 0x01,
// bulk-in 0x82, no kernel module needed.
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/channel/backends.h"

namespace q47::channel {

namespace {

constexpr uint8_t kEndpointOut = 0x01, kEndpointIn = 0x82;
constexpr int kConfiguration = 1, kInterface = 0;

std::string usbError(int code) { return libusb_strerror(libusb_error(code)); }

// Whether configuration 1 of the device has interface 0 with both bulk endpoints.
bool hasBoardEndpoints(libusb_device* dev) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_config_descriptor_by_value(dev, kConfiguration, &config) != 0) return false;
    bool out = false, in = false;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = itf.altsetting[a];
            if (alt.bInterfaceNumber != kInterface || alt.bAlternateSetting != 0) continue;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & 3) != LIBUSB_TRANSFER_TYPE_BULK) continue;
                out |= ep.bEndpointAddress == kEndpointOut;
                in |= ep.bEndpointAddress == kEndpointIn;
            }
        }
    }
    libusb_free_config_descriptor(config);
    return out && in;
}

class UsbChannel : public DeviceChannel {
public:
    UsbChannel(libusb_context* ctx, libusb_device_handle* handle, int timeoutMs)
        : ctx_(ctx), handle_(handle), timeoutMs_(timeoutMs) {}
    ~UsbChannel() override { close(); }

    bool isOpen() const override { return handle_ != nullptr; }
    void close() override {
        if (handle_) {
            libusb_release_interface(handle_, kInterface);
            libusb_close(handle_);
            handle_ = nullptr;
        }
        if (ctx_) libusb_exit(ctx_);
        ctx_ = nullptr;
        pending_.clear();
        at_ = 0;
    }
    std::string lastError() const override { return error_; }

    long write(const uint8_t* data, size_t n) override {
        if (!handle_) return fail("not open");
        n = std::min(n, kMaxTransfer);
        if (n == 0) return 0;  // as the kernel node: nothing to send, no transfer
        int sent = 0;
        int rc = libusb_bulk_transfer(handle_, kEndpointOut, const_cast<uint8_t*>(data), int(n),
                                      &sent, unsigned(timeoutMs_));
        if (rc != 0) return fail(rc);
        return sent;
    }

    // Each bulk-in transfer is taken whole into a 4096-byte buffer (a smaller request
    // could overflow on the board's packet size); reads hand it out piece by piece.
    long read(uint8_t* buf, size_t n) override {
        if (!handle_) return fail("not open");
        n = std::min(n, kMaxTransfer);
        if (n == 0) return 0;
        if (at_ >= pending_.size()) {
            pending_.resize(kMaxTransfer);
            int got = 0;
            int rc = libusb_bulk_transfer(handle_, kEndpointIn, pending_.data(), int(kMaxTransfer),
                                          &got, unsigned(timeoutMs_));
            if (rc != 0) {
                pending_.clear();
                return fail(rc);
            }
            pending_.resize(size_t(got));
            at_ = 0;
            if (got == 0) return 0;  // a zero-length packet
        }
        const size_t take = std::min(n, pending_.size() - at_);
        std::memcpy(buf, pending_.data() + at_, take);
        at_ += take;
        return long(take);
    }

private:
    long fail(const std::string& why) {
        error_ = "USB board: " + why;
        return -1;
    }
    long fail(int rc) {
        return fail(rc == LIBUSB_ERROR_TIMEOUT
                        ? "no answer within " + std::to_string(timeoutMs_) + " ms"
                        : usbError(rc));
    }

    libusb_context* ctx_;
    libusb_device_handle* handle_;
    int timeoutMs_;
    std::string error_;
    std::vector<uint8_t> pending_;
    size_t at_ = 0;
};

}  // namespace

std::unique_ptr<DeviceChannel> openUsb(uint16_t vendor, uint16_t product, int timeoutMs,
                                       std::string* error) {
    libusb_context* ctx = nullptr;
    int rc = libusb_init(&ctx);
    if (rc != 0) {
        *error = "USB: " + usbError(rc);
        return nullptr;
    }
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(ctx, &list);
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count && !found; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
        const bool wanted = vendor || product ? d.idVendor == vendor && d.idProduct == product
                                              : hasBoardEndpoints(list[i]);
        if (wanted) found = libusb_ref_device(list[i]);
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    if (!found) {
        *error = vendor || product ? std::string("USB: no device ") + ids : "USB: no Q-47 board found";
        libusb_exit(ctx);
        return nullptr;
    }
    libusb_device_handle* handle = nullptr;
    rc = libusb_open(found, &handle);
    libusb_unref_device(found);
    auto giveUp = [&](const std::string& why) -> std::unique_ptr<DeviceChannel> {
        *error = "USB: " + why;
        if (handle) libusb_close(handle);
        libusb_exit(ctx);
        return nullptr;
    };
    if (rc != 0) return giveUp("cannot open the board: " + usbError(rc));
    int active = 0;
    if (libusb_get_configuration(handle, &active) == 0 && active != kConfiguration) {
        rc = libusb_set_configuration(handle, kConfiguration);
        if (rc != 0) return giveUp("cannot select configuration 1: " + usbError(rc));
    }
    // Claiming is exclusive: a second program, or the kernel module bound to the
    // board, makes it fail. The module's node is then the way to the board.
    rc = libusb_claim_interface(handle, kInterface);
    if (rc == LIBUSB_ERROR_BUSY) return giveUp("the board is in use");
    if (rc != 0) return giveUp("cannot claim interface 0: " + usbError(rc));
    return std::make_unique<UsbChannel>(ctx, handle, timeoutMs);
}

}  // namespace q47::channel

// FunctionFS descriptor blobs of the board's USB function and of the endpoint filler.
#include "ffs_descriptors.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <cstring>

namespace q47::guest {
namespace {

// Appends the raw bytes of a descriptor structure.
template <typename T>
void put(std::vector<uint8_t>& out, const T& value) {
    auto p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + sizeof value);
}

void putLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void setLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

usb_interface_descriptor vendorInterface(uint8_t endpoints) {
    usb_interface_descriptor d{};
    d.bLength = sizeof d;
    d.bDescriptorType = USB_DT_INTERFACE;
    d.bNumEndpoints = endpoints;
    d.bInterfaceClass = USB_CLASS_VENDOR_SPEC;
    return d;
}

usb_endpoint_descriptor_no_audio bulk(uint8_t address, uint16_t maxPacket) {
    usb_endpoint_descriptor_no_audio d{};
    d.bLength = sizeof d;
    d.bDescriptorType = USB_DT_ENDPOINT;
    d.bEndpointAddress = address;
    d.bmAttributes = USB_ENDPOINT_XFER_BULK;
    d.wMaxPacketSize = maxPacket;  // little-endian host
    return d;
}

usb_ss_ep_comp_descriptor companion() {
    usb_ss_ep_comp_descriptor d{};
    d.bLength = sizeof d;
    d.bDescriptorType = USB_DT_SS_ENDPOINT_COMP;
    return d;
}

// The v2 header with its counts; the total length is patched in at the end.
std::vector<uint8_t> header(uint32_t flags, std::initializer_list<uint32_t> counts) {
    std::vector<uint8_t> out;
    putLe32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    putLe32(out, 0);
    putLe32(out, flags);
    for (uint32_t c : counts) putLe32(out, c);
    return out;
}

}  // namespace

std::vector<uint8_t> boardDescriptors() {
    auto out = header(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC, {3, 3});
    for (uint16_t maxPacket : {uint16_t(64), uint16_t(512)}) {
        put(out, vendorInterface(2));
        put(out, bulk(1 | USB_DIR_OUT, maxPacket));
        put(out, bulk(2 | USB_DIR_IN, maxPacket));
    }
    setLe32(out, 4, uint32_t(out.size()));
    return out;
}

std::vector<uint8_t> fillerDescriptors() {
    auto out = header(FUNCTIONFS_HAS_SS_DESC, {12});
    for (uint8_t i = 1; i <= 3; ++i) {
        put(out, bulk(i | USB_DIR_IN, 1024));
        put(out, companion());
    }
    for (uint8_t i = 4; i <= 6; ++i) {
        put(out, bulk(i | USB_DIR_OUT, 1024));
        put(out, companion());
    }
    setLe32(out, 4, uint32_t(out.size()));
    return out;
}

std::vector<uint8_t> emptyStrings() {
    std::vector<uint8_t> out;
    putLe32(out, FUNCTIONFS_STRINGS_MAGIC);
    putLe32(out, 16);
    putLe32(out, 0);  // str_count
    putLe32(out, 0);  // lang_count
    return out;
}

}  // namespace q47::guest

// The capability table and the containers built from it.
#include "twain_source/ds/capabilities.h"

#include <cstddef>
#include <cstring>

namespace q47::twain_source {

namespace {

// What MSG_GET answers with.
enum class GetShape { OneValue, XferMechEnumeration, ResolutionEnumeration, SupportedArray };
// What MSG_SET does with a one-value container.
enum class SetRule { Store, Refuse, OnlyDefault, StoreBool };
// What MSG_RESET does.
enum class ResetRule { ToDefault, Refuse, ReportDefault };

struct CapEntry {
    TW_UINT16 cap;
    TW_UINT16 itemType;
    TW_UINT32 defaultValue;
    GetShape get;
    SetRule set;
    ResetRule reset;
};

constexpr CapEntry kTable[kCapabilityCount] = {
    {CAP_XFERCOUNT, TWTY_UINT16, 1, GetShape::OneValue, SetRule::Store, ResetRule::ToDefault},
    {ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE, GetShape::OneValue, SetRule::Refuse, ResetRule::Refuse},
    {ICAP_PIXELTYPE, TWTY_UINT16, TWPT_PALETTE, GetShape::OneValue, SetRule::OnlyDefault,
     ResetRule::ToDefault},
    {ICAP_UNITS, TWTY_UINT16, TWUN_INCHES, GetShape::OneValue, SetRule::Store, ResetRule::ToDefault},
    {ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE, GetShape::XferMechEnumeration, SetRule::Store,
     ResetRule::ToDefault},
    {CAP_SUPPORTEDCAPS, TWTY_UINT16, 0, GetShape::SupportedArray, SetRule::Refuse, ResetRule::Refuse},
    // Storing the value is a repair: the application's wish for no progress display
    // must reach MSG_ENABLEDS, or a source without any window can never be asked for.
    {CAP_INDICATORS, TWTY_BOOL, 1, GetShape::OneValue, SetRule::StoreBool, ResetRule::Refuse},
    {CAP_UICONTROLLABLE, TWTY_BOOL, 0, GetShape::OneValue, SetRule::Refuse, ResetRule::Refuse},
    {CAP_ENABLEDSUIONLY, TWTY_BOOL, 1, GetShape::OneValue, SetRule::Refuse, ResetRule::Refuse},
    {ICAP_PHYSICALWIDTH, TWTY_FIX32, kFix32_200, GetShape::OneValue, SetRule::Refuse, ResetRule::Refuse},
    {ICAP_PHYSICALHEIGHT, TWTY_FIX32, kFix32_200, GetShape::OneValue, SetRule::Refuse,
     ResetRule::Refuse},
    {ICAP_XRESOLUTION, TWTY_FIX32, kFix32_200, GetShape::ResolutionEnumeration, SetRule::Store,
     ResetRule::ToDefault},
    {ICAP_YRESOLUTION, TWTY_FIX32, kFix32_200, GetShape::ResolutionEnumeration, SetRule::Store,
     ResetRule::ToDefault},
    {ICAP_BITORDER, TWTY_UINT16, TWBO_MSBFIRST, GetShape::OneValue, SetRule::Store, ResetRule::ToDefault},
    {ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_CHOCOLATE, GetShape::OneValue, SetRule::Store,
     ResetRule::ToDefault},
    {ICAP_PLANARCHUNKY, TWTY_UINT16, TWPC_CHUNKY, GetShape::OneValue, SetRule::Refuse, ResetRule::Refuse},
    {ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A4, GetShape::OneValue, SetRule::OnlyDefault,
     ResetRule::ReportDefault},
    {ICAP_BITDEPTH, TWTY_UINT16, 8, GetShape::OneValue, SetRule::Store, ResetRule::ToDefault},
};

constexpr std::array<TW_UINT16, kCapabilityCount> kSupportedOrder = {
    CAP_XFERCOUNT,      CAP_SUPPORTEDCAPS,   CAP_UICONTROLLABLE, ICAP_COMPRESSION,
    ICAP_PLANARCHUNKY,  ICAP_PHYSICALHEIGHT, ICAP_PHYSICALWIDTH, ICAP_PIXELFLAVOR,
    ICAP_BITDEPTH,      ICAP_BITORDER,       ICAP_PIXELTYPE,     ICAP_UNITS,
    ICAP_XFERMECH,      ICAP_XRESOLUTION,    ICAP_YRESOLUTION,   CAP_ENABLEDSUIONLY,
    CAP_INDICATORS,     ICAP_SUPPORTEDSIZES,
};

int indexOf(TW_UINT16 cap) {
    for (size_t i = 0; i < kCapabilityCount; ++i)
        if (kTable[i].cap == cap) return static_cast<int>(i);
    return -1;
}

// A UINT16 or BOOL item is the low half of the 32-bit item; FIX32 uses all 32 bits.
TW_UINT32 itemValue(const CapEntry& e, TW_UINT32 item) {
    return e.itemType == TWTY_FIX32 ? item : (item & 0xFFFFu);
}

TW_FIX32 fix32(TW_UINT32 bits) {
    TW_FIX32 f;
    f.Whole = static_cast<TW_INT16>(bits & 0xFFFFu);
    f.Frac = static_cast<TW_UINT16>(bits >> 16);
    return f;
}

// Allocates a container of bytes, lets fill write it, and puts it into cap.
template <class Fill>
Answer handOut(TW_CAPABILITY& cap, TW_UINT16 conType, size_t bytes,
                         const DsmLink& memory, Fill fill) {
    TW_HANDLE h = memory.allocate(bytes);
    auto* p = static_cast<uint8_t*>(h ? memory.lock(h) : nullptr);
    if (!p) {
        memory.release(h);
        return failure(TWCC_LOWMEMORY);
    }
    fill(p);
    memory.unlock(h);
    cap.ConType = conType;
    cap.hContainer = h;
    return {};
}

Answer oneValue(TW_CAPABILITY& cap, TW_UINT16 itemType, TW_UINT32 value,
                          const DsmLink& memory) {
    return handOut(cap, TWON_ONEVALUE, sizeof(TW_ONEVALUE), memory, [&](uint8_t* p) {
        auto* c = reinterpret_cast<TW_ONEVALUE*>(p);
        c->ItemType = itemType;
        c->Item = value;
    });
}

// Enumeration of n items; the default is item 0 and the current index is where the
// current value stands (an application reads a value it set back through MSG_GET), or
// the default's when a stored value is not among the items.
template <class T>
Answer enumeration(TW_CAPABILITY& cap, TW_UINT16 itemType, const T* items, size_t n,
                   TW_UINT32 current, const DsmLink& memory) {
    TW_UINT32 currentIndex = 0;
    for (size_t k = 0; k < n; ++k) {
        TW_UINT32 bits = 0;
        std::memcpy(&bits, &items[k], sizeof(T) < sizeof bits ? sizeof(T) : sizeof bits);
        if (bits == current) currentIndex = static_cast<TW_UINT32>(k);
    }
    const size_t bytes = offsetof(TW_ENUMERATION, ItemList) + n * sizeof(T);
    return handOut(cap, TWON_ENUMERATION, bytes, memory, [&](uint8_t* p) {
        auto* c = reinterpret_cast<TW_ENUMERATION*>(p);
        c->ItemType = itemType;
        c->NumItems = static_cast<TW_UINT32>(n);
        c->CurrentIndex = currentIndex;
        c->DefaultIndex = 0;
        std::memcpy(p + offsetof(TW_ENUMERATION, ItemList), items, n * sizeof(T));
    });
}

}  // namespace

static_assert(offsetof(TW_ENUMERATION, ItemList) == 14 && offsetof(TW_ARRAY, ItemList) == 6,
              "container headers as the manager and applications lay them out");

const std::array<TW_UINT16, kCapabilityCount>& Capabilities::supported() { return kSupportedOrder; }

void Capabilities::resetAll() {
    for (size_t i = 0; i < kCapabilityCount; ++i) current_[i] = kTable[i].defaultValue;
}

TW_UINT32 Capabilities::current(TW_UINT16 cap) const {
    const int i = indexOf(cap);
    return i < 0 ? 0 : current_[size_t(i)];
}

bool Capabilities::indicators() const { return current(CAP_INDICATORS) != 0; }
TW_FIX32 Capabilities::xResolution() const { return fix32(current(ICAP_XRESOLUTION)); }
TW_FIX32 Capabilities::yResolution() const { return fix32(current(ICAP_YRESOLUTION)); }

Answer Capabilities::handle(TW_UINT16 msg, TW_CAPABILITY& cap, const DsmLink& memory) {
    if (msg == MSG_SET) {
        // The container is checked before the capability: a wrong one is reported
        // through the condition code while the call itself succeeds.
        const auto* c = static_cast<const TW_ONEVALUE*>(
            cap.ConType == TWON_ONEVALUE ? memory.lock(cap.hContainer) : nullptr);
        if (!c) return {TWRC_SUCCESS, TWCC_BADVALUE};
        const TW_UINT32 item = c->Item;
        memory.unlock(cap.hContainer);

        const int i = indexOf(cap.Cap);
        if (i < 0) return failure(TWCC_BADCAP);
        const CapEntry& e = kTable[i];
        const TW_UINT32 value = itemValue(e, item);
        switch (e.set) {
        case SetRule::Refuse:
            return failure(TWCC_BADCAP);
        case SetRule::OnlyDefault:
            if (value != e.defaultValue) return failure(TWCC_CAPBADOPERATION);
            current_[size_t(i)] = value;
            return {};
        case SetRule::StoreBool:
            current_[size_t(i)] = value != 0 ? 1 : 0;
            return {};
        case SetRule::Store:
            current_[size_t(i)] = value;
            return {};
        }
        return failure(TWCC_BADCAP);
    }

    const int i = indexOf(cap.Cap);
    if (i < 0) return failure(TWCC_BADCAP);
    const CapEntry& e = kTable[i];
    const bool isSupportedList = e.get == GetShape::SupportedArray;
    switch (msg) {
    case MSG_GET:
        switch (e.get) {
        case GetShape::OneValue:
            return oneValue(cap, e.itemType, current_[size_t(i)], memory);
        case GetShape::XferMechEnumeration: {
            const TW_UINT16 mechs[] = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
            return enumeration(cap, TWTY_UINT16, mechs, 3, current_[size_t(i)], memory);
        }
        case GetShape::ResolutionEnumeration: {
            const TW_FIX32 only = fix32(kFix32_200);
            return enumeration(cap, TWTY_FIX32, &only, 1, current_[size_t(i)], memory);
        }
        case GetShape::SupportedArray: {
            const size_t bytes = offsetof(TW_ARRAY, ItemList) + sizeof(kSupportedOrder);
            return handOut(cap, TWON_ARRAY, bytes, memory, [](uint8_t* p) {
                auto* c = reinterpret_cast<TW_ARRAY*>(p);
                c->ItemType = TWTY_UINT16;
                c->NumItems = kCapabilityCount;
                std::memcpy(p + offsetof(TW_ARRAY, ItemList), kSupportedOrder.data(),
                            sizeof(kSupportedOrder));
            });
        }
        }
        return failure(TWCC_BADCAP);
    case MSG_GETCURRENT:
        if (isSupportedList) return failure(TWCC_BADCAP);
        return oneValue(cap, e.itemType, current_[size_t(i)], memory);
    case MSG_GETDEFAULT:
        if (isSupportedList) return failure(TWCC_BADCAP);
        return oneValue(cap, e.itemType, e.defaultValue, memory);
    case MSG_RESET:
        switch (e.reset) {
        case ResetRule::ToDefault:
            current_[size_t(i)] = e.defaultValue;
            return oneValue(cap, e.itemType, e.defaultValue, memory);
        case ResetRule::ReportDefault:
            return oneValue(cap, e.itemType, e.defaultValue, memory);
        case ResetRule::Refuse:
            return failure(TWCC_BADCAP);
        }
        return failure(TWCC_BADCAP);
    default:
        return failure(TWCC_BADCAP);
    }
}

}  // namespace q47::twain_source

// Reading and setting capabilities through the source manager's containers.
#include "imaging/engine/scan/capability_io.h"

#include <cmath>
#include <cstring>

#include "imaging/engine/scan/twain_manager.h"

namespace q47::ik::scan {

namespace {

// Bytes of one item of a TWAIN type; 0 for types we do not read.
size_t itemSize(TW_UINT16 type) {
    switch (type) {
        case TWTY_INT8: case TWTY_UINT8: return 1;
        case TWTY_INT16: case TWTY_UINT16: case TWTY_BOOL: return 2;
        case TWTY_INT32: case TWTY_UINT32: case TWTY_FIX32: return 4;
        case TWTY_FRAME: return 16;
        case TWTY_STR32: return 34;
        case TWTY_STR64: return 66;
        case TWTY_STR128: return 130;
        case TWTY_STR255: return 256;
        default: return 0;
    }
}

bool isText(TW_UINT16 type) { return type >= TWTY_STR32 && type <= TWTY_STR255; }

double numberAt(const uint8_t* p, TW_UINT16 type) {
    switch (type) {
        case TWTY_INT8: return static_cast<int8_t>(*p);
        case TWTY_UINT8: return *p;
        case TWTY_INT16: { int16_t v; std::memcpy(&v, p, 2); return v; }
        case TWTY_UINT16: case TWTY_BOOL: { uint16_t v; std::memcpy(&v, p, 2); return v; }
        case TWTY_INT32: { int32_t v; std::memcpy(&v, p, 4); return v; }
        case TWTY_UINT32: { uint32_t v; std::memcpy(&v, p, 4); return v; }
        case TWTY_FIX32: { TW_FIX32 v; std::memcpy(&v, p, 4); return fromFix32(v); }
        default: return 0;
    }
}

// A range item is a TW_UINT32 holding the value in the item type's form.
double rangeNumber(TW_UINT32 raw, TW_UINT16 type) {
    uint8_t bytes[4];
    std::memcpy(bytes, &raw, 4);
    return numberAt(bytes, type);
}

std::string textAt(const uint8_t* p, size_t size) {
    return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), size));
}

// Sources hand over lists; a count beyond this is taken as a broken container.
constexpr TW_UINT32 kMaxItems = 65536;

}  // namespace

TW_UINT16 SourceLink::call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) const {
    return TwainManager::instance().call(app, source, dg, dat, msg, data);
}

TW_FIX32 toFix32(double value) {
    const long v = std::lround(value * 65536.0);
    TW_FIX32 f;
    f.Whole = static_cast<TW_INT16>(v >> 16);
    f.Frac = static_cast<TW_UINT16>(v & 0xffff);
    return f;
}

double fromFix32(TW_FIX32 value) { return value.Whole + value.Frac / 65536.0; }

TW_UINT32 fix32Bits(double value) {
    const TW_FIX32 f = toFix32(value);
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &f, 4);
    return bits;
}

bool readCapability(const SourceLink& link, TW_UINT16 cap, TW_UINT16 msg, CapValues* out) {
    TwainManager& dsm = TwainManager::instance();
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_DONTCARE16;
    if (link.call(DG_CONTROL, DAT_CAPABILITY, msg, &capability) != TWRC_SUCCESS ||
        !capability.hContainer)
        return false;
    bool ok = false;
    *out = CapValues{};
    out->conType = capability.ConType;
    if (auto* base = static_cast<const uint8_t*>(dsm.lock(capability.hContainer))) {
        TW_UINT16 type;
        std::memcpy(&type, base, 2);
        out->itemType = type;
        const size_t size = itemSize(type);
        auto take = [&](const uint8_t* p) {
            if (isText(type)) out->names.push_back(textAt(p, size));
            else out->numbers.push_back(numberAt(p, type));
        };
        switch (capability.ConType) {
            case TWON_ONEVALUE:
                if (size) {
                    take(base + 2);
                    ok = true;
                }
                break;
            case TWON_ENUMERATION: {
                TW_ENUMERATION e;
                std::memcpy(&e, base, offsetof(TW_ENUMERATION, ItemList));
                if (!size || e.NumItems > kMaxItems) break;
                for (TW_UINT32 i = 0; i < e.NumItems; ++i)
                    take(base + offsetof(TW_ENUMERATION, ItemList) + i * size);
                out->current = static_cast<int>(e.CurrentIndex);
                out->defaultIndex = static_cast<int>(e.DefaultIndex);
                ok = true;
                break;
            }
            case TWON_ARRAY: {
                TW_ARRAY a;
                std::memcpy(&a, base, offsetof(TW_ARRAY, ItemList));
                if (!size || a.NumItems > kMaxItems) break;
                for (TW_UINT32 i = 0; i < a.NumItems; ++i)
                    take(base + offsetof(TW_ARRAY, ItemList) + i * size);
                ok = true;
                break;
            }
            case TWON_RANGE: {
                TW_RANGE r;
                std::memcpy(&r, base, sizeof r);
                const TW_UINT32 raw[5] = {r.MinValue, r.MaxValue, r.StepSize, r.DefaultValue,
                                          r.CurrentValue};
                for (int i = 0; i < 5; ++i) out->range[i] = rangeNumber(raw[i], type);
                out->numbers.push_back(out->range[4]);
                ok = size != 0 && !isText(type);
                break;
            }
            default: break;
        }
        dsm.unlock(capability.hContainer);
    }
    dsm.release(capability.hContainer);
    return ok;
}

bool setOneValue(const SourceLink& link, TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
    TwainManager& dsm = TwainManager::instance();
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = dsm.allocate(sizeof(TW_ONEVALUE));
    if (!capability.hContainer) return false;
    TW_HANDLE container = capability.hContainer;
    if (auto* one = static_cast<pTW_ONEVALUE>(dsm.lock(container))) {
        one->ItemType = itemType;
        one->Item = value;
        dsm.unlock(container);
    }
    const TW_UINT16 rc = link.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    dsm.release(container);
    return rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;
}

std::set<TW_UINT16> supportedCaps(const SourceLink& link) {
    std::set<TW_UINT16> caps;
    CapValues values;
    if (readCapability(link, CAP_SUPPORTEDCAPS, MSG_GET, &values))
        for (double v : values.numbers) caps.insert(static_cast<TW_UINT16>(v));
    return caps;
}

TW_INT32 querySupport(const SourceLink& link, TW_UINT16 cap) {
    TwainManager& dsm = TwainManager::instance();
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_DONTCARE16;
    if (link.call(DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, &capability) == TWRC_SUCCESS &&
        capability.hContainer) {
        TW_INT32 flags = -1;
        if (auto* one = static_cast<pTW_ONEVALUE>(dsm.lock(capability.hContainer))) {
            if (capability.ConType == TWON_ONEVALUE) flags = static_cast<TW_INT32>(one->Item);
            dsm.unlock(capability.hContainer);
        }
        dsm.release(capability.hContainer);
        if (flags >= 0) return flags;
    }
    const std::set<TW_UINT16> caps = supportedCaps(link);
    return caps.count(cap) ? TWQC_GET | TWQC_SET | TWQC_GETDEFAULT | TWQC_GETCURRENT | TWQC_RESET : 0;
}

}  // namespace q47::ik::scan

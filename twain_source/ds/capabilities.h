// The source's 18 capabilities: their values and the containers DAT_CAPABILITY answers with.
#pragma once

#include <array>
#include <cstdint>

#include "twain/twain.h"
#include "twain_source/ds/answer.h"
#include "twain_source/ds/dsm_link.h"

namespace q47::twain_source {

constexpr size_t kCapabilityCount = 18;
// TW_FIX32 200.0 as the 32 bits of a one-value item (whole part low, fraction high).
constexpr TW_UINT32 kFix32_200 = 200;

class Capabilities {
public:
    Capabilities() { resetAll(); }
    // Every capability back to its default (the source being loaded).
    void resetAll();

    // DAT_CAPABILITY with msg (GET, GETCURRENT, GETDEFAULT, RESET, SET) on cap.
    // Containers handed out come from the source manager's memory.
    Answer handle(TW_UINT16 msg, TW_CAPABILITY& cap, const DsmLink& memory);

    // Current values the rest of the source reads.
    bool indicators() const;
    TW_FIX32 xResolution() const;
    TW_FIX32 yResolution() const;
    TW_UINT32 current(TW_UINT16 cap) const;  // 0 for an unknown capability

    // CAP_SUPPORTEDCAPS in the order it lists them.
    static const std::array<TW_UINT16, kCapabilityCount>& supported();

private:
    std::array<TW_UINT32, kCapabilityCount> current_{};
};

}  // namespace q47::twain_source

// Capability questions and settings on an open source: one-value sets and reading any
// container into plain values.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "twain/twain.h"

namespace q47::ik::scan {

// An application and one of its open sources, as every triplet needs them.
struct SourceLink {
    TW_IDENTITY* app = nullptr;
    TW_IDENTITY* source = nullptr;
    TW_UINT16 call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) const;
};

// A capability's answer: the values of its container, numbers or names.
struct CapValues {
    TW_UINT16 itemType = 0;
    TW_UINT16 conType = 0;
    std::vector<double> numbers;  // fixed-point values as such
    std::vector<std::string> names;
    int current = 0, defaultIndex = 0;
    double range[5] = {0, 0, 0, 0, 0};  // minimum, maximum, step, default, current
};

bool readCapability(const SourceLink& link, TW_UINT16 cap, TW_UINT16 msg, CapValues* out);
bool setOneValue(const SourceLink& link, TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);
// TWQC_* flags from MSG_QUERYSUPPORT, else derived from CAP_SUPPORTEDCAPS (get and set).
TW_INT32 querySupport(const SourceLink& link, TW_UINT16 cap);
// The capabilities the source lists; empty when it lists none.
std::set<TW_UINT16> supportedCaps(const SourceLink& link);

TW_FIX32 toFix32(double value);
double fromFix32(TW_FIX32 value);
TW_UINT32 fix32Bits(double value);

}  // namespace q47::ik::scan

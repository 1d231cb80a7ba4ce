// What a DS_Entry handler answers: a TWAIN result code and the condition code it leaves.
#pragma once

#include "twain/twain.h"

namespace q47::twain_source {

struct Answer {
    TW_UINT16 rc = TWRC_SUCCESS;
    // The condition code DAT_STATUS reports afterwards; TWCC_SUCCESS leaves the one
    // from before in place (a successful call does not clear it).
    TW_UINT16 condition = TWCC_SUCCESS;
};

inline Answer failure(TW_UINT16 condition) { return {TWRC_FAILURE, condition}; }

}  // namespace q47::twain_source

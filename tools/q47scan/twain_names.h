// Readable names of TWAIN result and condition codes, for q47scan's messages.
#pragma once

#include <string>

#include "twain/twain.h"

namespace q47::scan {

std::string resultName(TW_UINT16 rc);     // "TWRC_FAILURE (1)"
std::string conditionName(TW_UINT16 cc);  // "TWCC_BADVALUE (10)"

}  // namespace q47::scan

// FunctionFS descriptor blobs of the board's USB function and of the endpoint filler.
//
// The guest's dummy_hcd hands out its endpoints in list order, so a lone function
// would show the host bulk-out 0x02 and bulk-in 0x81. A filler function, linked first
// and described only at SuperSpeed (never shown on the high-speed link), takes the
// three bulk-in and three bulk-out endpoints ahead of ep1out/ep2in; the board's
// function then gets exactly 0x01 out and 0x82 in.
#pragma once

#include <cstdint>
#include <vector>

namespace q47::guest {

// Interface (vendor class) with bulk-out then bulk-in: ep1 is OUT, ep2 is IN in the
// function's folder. Full and high speed.
std::vector<uint8_t> boardDescriptors();
// Three bulk-out and three bulk-in endpoints, SuperSpeed only, no interface.
std::vector<uint8_t> fillerDescriptors();
// No strings.
std::vector<uint8_t> emptyStrings();

}  // namespace q47::guest

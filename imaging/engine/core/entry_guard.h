// Runs an entry's body so that no C++ exception crosses the C interface.
#pragma once

#include <new>

#include "imaging/engine/core/object_table.h"
#include "imaging/engine/ik_api.h"

namespace q47::ik {

// Status is cleared first; out of memory becomes status 2, anything else status 1.
template <typename R, typename F>
R guarded(R failValue, F&& body) {
    setStatus(IK_OK);
    try {
        return body();
    } catch (const std::bad_alloc&) {
        setStatus(IK_ERR_MEMORY);
    } catch (...) {
        setStatus(IK_ERR_FAILED);
    }
    return failValue;
}

// Fails the calling entry with a status: answers the failure value.
template <typename R>
R fail(uint16_t status, R value = R{}) {
    setStatus(status);
    return value;
}

// The host services the component layer lent the engine (IKSetHostServices), or null.
const IKHostServices* hostServices();

}  // namespace q47::ik

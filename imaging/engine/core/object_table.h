// The engine's process-wide table of images and bitmap objects behind 32-bit handles.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/engine/kernels/dib_image.h"

namespace q47::ik {

// What a handle names. Raster images are what the IK* image entries take; bitmap objects
// stand in for the window system's bitmaps (IKBitmapFromDib) and are only converted,
// locked or deleted; vector objects are placeholders the engine reports but cannot draw.
enum class ObjectKind { Raster, Bitmap, VectorWMF, VectorEMF, VectorDXF };

struct ImageObject {
    ObjectKind kind = ObjectKind::Raster;
    DibImage image;  // empty for vector objects
};
using ObjectPtr = std::shared_ptr<ImageObject>;

// Handles count up from 1 and are not reused while the counter has not wrapped, so a
// stale handle names nothing rather than someone else's image. All calls are safe from
// any thread; an object reached through a handle is shared, not locked: two threads
// changing the same image at once is the callers' race, as with any shared memory.
class ObjectTable {
public:
    static ObjectTable& instance();
    uint32_t add(ObjectPtr object);  // 0 when the table is full
    ObjectPtr find(uint32_t handle) const;
    bool remove(uint32_t handle);
    size_t size() const;
    // Lock: the object stays alive (even if freed meanwhile) until the last unlock.
    ObjectPtr lock(uint32_t handle);
    bool unlock(uint32_t handle);

private:
    ObjectTable() = default;
    struct State;
    State& state() const;
};

// Status of the calling thread's last engine call.
void setStatus(uint16_t status);
uint16_t status();

// Convenience for entries: the raster image behind a handle, or null with status 7.
ObjectPtr findRaster(uint32_t handle);
// Stores a new raster image and answers its handle (status 0), or 0 with status 2.
uint32_t addRaster(DibImage&& image);

}  // namespace q47::ik

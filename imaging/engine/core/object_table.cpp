// Handle table and per-thread status shared by all engine libraries (lives in libIk6Com).
#include "imaging/engine/core/object_table.h"

#include <mutex>
#include <unordered_map>

#include "imaging/engine/ik_api.h"

namespace q47::ik {

namespace {
thread_local uint16_t t_status = 0;
}

struct ObjectTable::State {
    mutable std::mutex mutex;
    std::unordered_map<uint32_t, ObjectPtr> objects;
    struct Pin {
        ObjectPtr object;
        int count = 0;
    };
    std::unordered_map<uint32_t, Pin> pins;
    uint32_t next = 1;
};

ObjectTable& ObjectTable::instance() {
    static ObjectTable table;
    return table;
}

ObjectTable::State& ObjectTable::state() const {
    static State s;
    return s;
}

uint32_t ObjectTable::add(ObjectPtr object) {
    if (!object) return 0;
    State& s = state();
    std::lock_guard lock(s.mutex);
    // Skip 0 and handles still in use or pinned after the counter wrapped.
    for (uint64_t tries = 0; tries < 0x100000000ull; ++tries) {
        const uint32_t h = s.next++;
        if (h == 0 || s.objects.count(h) || s.pins.count(h)) continue;
        s.objects.emplace(h, std::move(object));
        return h;
    }
    return 0;
}

ObjectPtr ObjectTable::find(uint32_t handle) const {
    if (handle == 0) return nullptr;
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.objects.find(handle);
    return it == s.objects.end() ? nullptr : it->second;
}

bool ObjectTable::remove(uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.objects.erase(handle) > 0;
}

size_t ObjectTable::size() const {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.objects.size();
}

ObjectPtr ObjectTable::lock(uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.objects.find(handle);
    if (it == s.objects.end()) return nullptr;
    auto& pin = s.pins[handle];
    pin.object = it->second;
    ++pin.count;
    return it->second;
}

bool ObjectTable::unlock(uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.pins.find(handle);
    if (it == s.pins.end()) return false;
    if (--it->second.count <= 0) s.pins.erase(it);
    return true;
}

void setStatus(uint16_t status) { t_status = status; }
uint16_t status() { return t_status; }

ObjectPtr findRaster(uint32_t handle) {
    ObjectPtr o = ObjectTable::instance().find(handle);
    if (!o || o->kind != ObjectKind::Raster || o->image.empty()) {
        setStatus(IK_ERR_IMAGE);
        return nullptr;
    }
    return o;
}

uint32_t addRaster(DibImage&& image) {
    if (image.empty()) {
        setStatus(IK_ERR_MEMORY);
        return 0;
    }
    auto o = std::make_shared<ImageObject>();
    o->image = std::move(image);
    const uint32_t h = ObjectTable::instance().add(std::move(o));
    setStatus(h ? IK_OK : IK_ERR_MEMORY);
    return h;
}

}  // namespace q47::ik

// Handle tables of applications and sources, the source manager callback and the wait.
#include "imaging/engine/scan/scan_sessions.h"

#include <chrono>
#include <cstring>

namespace q47::ik::scan {

ScanSessions& ScanSessions::instance() {
    static ScanSessions sessions;
    return sessions;
}

IKSCANAPP ScanSessions::addApp(AppPtr app) {
    std::lock_guard lock(mutex_);
    // Handles count up and are not reused, so a stale one names nothing.
    if (++lastHandle_ == 0) ++lastHandle_;
    apps_.push_back({lastHandle_, std::move(app)});
    return lastHandle_;
}

AppPtr ScanSessions::app(IKSCANAPP handle) const {
    std::lock_guard lock(mutex_);
    for (const AppEntry& e : apps_)
        if (e.handle == handle && handle) return e.app;
    return nullptr;
}

AppPtr ScanSessions::removeApp(IKSCANAPP handle) {
    std::lock_guard lock(mutex_);
    for (auto it = apps_.begin(); it != apps_.end(); ++it)
        if (it->handle == handle && handle) {
            AppPtr app = it->app;
            apps_.erase(it);
            return app;
        }
    return nullptr;
}

IKSCANSOURCE ScanSessions::addSource(IKSCANAPP app, SourcePtr source) {
    std::lock_guard lock(mutex_);
    if (++lastHandle_ == 0) ++lastHandle_;
    sources_.push_back({lastHandle_, app, std::move(source)});
    for (AppEntry& e : apps_)
        if (e.handle == app) e.app->sources.push_back(lastHandle_);
    return lastHandle_;
}

SourcePtr ScanSessions::source(IKSCANAPP app, IKSCANSOURCE handle) const {
    std::lock_guard lock(mutex_);
    for (const SourceEntry& e : sources_)
        if (e.handle == handle && e.app == app && handle) return e.source;
    return nullptr;
}

SourcePtr ScanSessions::removeSource(IKSCANAPP app, IKSCANSOURCE handle) {
    std::lock_guard lock(mutex_);
    for (auto it = sources_.begin(); it != sources_.end(); ++it)
        if (it->handle == handle && it->app == app && handle) {
            SourcePtr source = it->source;
            sources_.erase(it);
            for (AppEntry& e : apps_)
                if (e.handle == app) std::erase(e.app->sources, handle);
            return source;
        }
    return nullptr;
}

TW_UINT16 ScanSessions::callback(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32, TW_UINT16,
                                 TW_UINT16 msg, TW_MEMREF) {
    if (!origin) return TWRC_FAILURE;
    if (msg != MSG_XFERREADY && msg != MSG_CLOSEDSREQ && msg != MSG_CLOSEDSOK) return TWRC_SUCCESS;
    ScanSessions& self = instance();
    SourcePtr found;
    {
        std::lock_guard lock(self.mutex_);
        for (const SourceEntry& e : self.sources_) {
            if (e.source->identity.Id != origin->Id) continue;
            // Two applications may each have a source with the same Id from their own
            // manager session; the destination tells them apart.
            if (dest) {
                bool mine = false;
                for (const AppEntry& a : self.apps_)
                    if (a.handle == e.app && a.app->identity.Id == dest->Id) mine = true;
                if (!mine) continue;
            }
            found = e.source;
            break;
        }
    }
    if (!found) return TWRC_FAILURE;
    std::lock_guard lock(found->mutex);
    // A close request outranks a transfer that has not been taken yet.
    if (found->event != MSG_CLOSEDSREQ) found->event = msg;
    found->changed.notify_all();
    return TWRC_SUCCESS;
}

void ScanSessions::setPump(IKScanPumpProc pump) {
    std::lock_guard lock(mutex_);
    pump_ = pump;
}

TW_UINT16 ScanSessions::waitForEvent(ScanSource& source) {
    IKScanPumpProc pump;
    {
        std::lock_guard lock(mutex_);
        pump = pump_;
    }
    std::unique_lock lock(source.mutex);
    while (source.event == 0) {
        if (pump) {
            lock.unlock();
            pump();
            lock.lock();
            if (source.event) break;
            source.changed.wait_for(lock, std::chrono::milliseconds(2));
        } else {
            source.changed.wait_for(lock, std::chrono::milliseconds(50));
        }
    }
    const TW_UINT16 event = source.event;
    source.event = 0;
    return event;
}

void copyName(char* field, size_t size, const char* text) {
    if (!size) return;
    std::strncpy(field, text ? text : "", size - 1);
    field[size - 1] = '\0';
}

}  // namespace q47::ik::scan

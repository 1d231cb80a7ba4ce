// DS_Entry, the one export of Q47tw.ds: the loaded source, run on the Qt thread.
#include <mutex>

#include "twain/twain.h"
#include "twain_source/ds/data_source.h"
#include "twain_source/ds/gui_thread.h"
#include "twain_source/ds/qt_window_host.h"

namespace q47::twain_source {

namespace {

struct LoadedSource {
    QtWindowHost windows;
    DataSource source{windows};
    // Serialises callers that arrive before any Qt thread runs; recursive because the
    // application may call DS_Entry again from inside a notification.
    std::recursive_mutex mutex;
};

// Made on the first call and kept for the life of the process: the module is never
// unloaded (it is linked with -z nodelete, since its Qt thread must outlive dlclose).
LoadedSource& loadedSource() {
    static LoadedSource* loaded = [] {
        auto* s = new LoadedSource;
        GuiThread::setExitCleanup([s] {
            std::lock_guard lock(s->mutex);
            if (s->windows.exists()) s->windows.destroy();
        });
        return s;
    }();
    return *loaded;
}

}  // namespace

}  // namespace q47::twain_source

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY pOrigin,
                                                                     TW_UINT32 DG, TW_UINT16 DAT,
                                                                     TW_UINT16 MSG,
                                                                     TW_MEMREF pData) {
    using namespace q47::twain_source;
    TW_UINT16 rc = TWRC_FAILURE;
    try {
        LoadedSource& loaded = loadedSource();
        // Only a window needs Qt; identity queries while the manager looks for
        // sources start nothing.
        const bool needsQt = DG == DG_CONTROL && DAT == DAT_USERINTERFACE && MSG == MSG_ENABLEDS;
        const bool ran = GuiThread::run(
            [&] {
                std::lock_guard lock(loaded.mutex);
                rc = loaded.source.entry(pOrigin, DG, DAT, MSG, pData);
            },
            needsQt);
        if (!ran) return TWRC_FAILURE;  // the process is past its exit step
        // A new window (ENABLEDS) makes Qt objects whose exit handlers come after ours.
        if (DG == DG_CONTROL && (MSG == MSG_ENABLEDS || MSG == MSG_DISABLEDS || MSG == MSG_CLOSEDS))
            GuiThread::renewExitStep();
    } catch (...) {
        rc = TWRC_FAILURE;  // nothing unwinds into the C caller
    }
    return rc;
}

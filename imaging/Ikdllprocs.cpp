// Resolving the engine's entries by name into the Ikdllprocs variables.
#include "imaging/Ikdllprocs.h"

#include <dlfcn.h>

namespace Ikdllprocs {

const char* libraryFileName(Library lib) {
    static const char* const kNames[LibraryCount] = {"libIk6Com.so", "libIk6Effect.so", "libIk6File.so",
                                                     "libIk6Print.so", "libIk6Scan.so"};
    return lib >= 0 && lib < LibraryCount ? kNames[lib] : "";
}

void clearEntries(Library lib) {
#define IK_ENTRY(l, name) \
    if (lib == l) name = nullptr;
#include "imaging/engine/ik_entries.def"
#undef IK_ENTRY
}

void resolveEntries(Library lib, void* handle) {
    if (!handle) return clearEntries(lib);
#define IK_ENTRY(l, name) \
    if (lib == l) name = reinterpret_cast<decltype(name)>(dlsym(handle, #name));
#include "imaging/engine/ik_entries.def"
#undef IK_ENTRY
}

}  // namespace Ikdllprocs

// One variable per engine entry, named as the exported entry; null until resolved.
#pragma once

#include "imaging/engine/ik_api.h"

namespace Ikdllprocs {

// The engine libraries in load order.
enum Library { Ik6Com = 0, Ik6Effect, Ik6File, Ik6Print, Ik6Scan, LibraryCount };
// File names on this platform ("libIk6Com.so", ...).
const char* libraryFileName(Library lib);

#define IK_ENTRY(lib, name) inline decltype(&::name) name = nullptr;
#include "imaging/engine/ik_entries.def"
#undef IK_ENTRY

// Sets every entry of a library to null, or resolves each by name in an open library
// handle (a missing entry stays null).
void clearEntries(Library lib);
void resolveEntries(Library lib, void* handle);

}  // namespace Ikdllprocs

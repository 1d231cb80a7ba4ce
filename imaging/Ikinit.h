// Loading and freeing the engine libraries, counted across all components.
#pragma once

#include <string>

// The first call loads the five engine libraries and resolves their entries; later
// calls only count. Nothing is reported: a library or entry that is not found leaves
// its variables null, and the components answer ErrorStatus 14.
void InitializeIK();
// The last call frees the shared clip image and unloads the libraries.
void TerminateIK();

namespace Ikinit {
// Folders searched for the engine, in order:
//   $Q47_ENGINE_DIR when set (tests point it at a partial engine);
//   the folder of the shared library holding these components, when they live in one;
//   the program's folder, then <program folder>/../lib (the build tree) and
//   <program folder>/../lib/q47 (the installed tree).
std::string engineFolders();  // the list joined by ':' (for messages and tests)
int loadCount();              // current InitializeIK count
bool libraryLoaded(int library);
}  // namespace Ikinit

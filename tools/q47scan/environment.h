// What q47scan finds around it: the folder sources are looked for in, a display.
#pragma once

#include <string>

namespace q47::scan {

// The folder the source manager searches: $TWAIN_DS_DIR when set, else /usr/local/lib/twain.
std::string sourceFolder();

// Run from a build tree (q47scan in <build>/bin, the build's sources in <build>/lib/twain)
// with $TWAIN_DS_DIR unset: points $TWAIN_DS_DIR at the build's sources, so that a
// freshly built q47scan uses the freshly built source. Returns that folder, or "".
std::string useBuildTreeSources();

// Whether a window can be shown to anyone: an X or Wayland display, or a Qt platform
// chosen by the user that is not an invisible one.
bool displayReachable();

}  // namespace q47::scan

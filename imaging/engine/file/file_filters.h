// The file dialogs' filter list built from an extension list, and running the dialog.
#pragma once

#include <string>
#include <vector>

#include "imaging/engine/ik_api.h"

namespace q47::ik {

struct FileFilter {
    std::string label;                    // "JPEG (*.jpg *.jpeg)"
    std::vector<std::string> extensions;  // lower case, without the dot
    int format = 0;                       // IKFileFormat, 0 for an extension we do not know
};

// One filter per listed extension ("BMP;JPG;..."), in the list's order, duplicates and
// empty items dropped; the open dialog adds "All files (*)" last.
std::vector<FileFilter> buildFileFilters(const std::string& extensions, bool save);
// Qt's filter string: labels joined by ";;".
std::string joinFilters(const std::vector<FileFilter>& filters);

// Shows the host's dialog. `name` is a 261-byte buffer holding the preset name and
// receiving the chosen path; *saveType preselects (save) and receives the format of the
// chosen filter. False when cancelled (status 0), without a host dialog (status 13) or
// when the chosen path does not fit (status 5).
IKBOOL runFileDialog(IKWINDOW window, bool save, char* name, const char* folder,
                     const char* extensions, IKBOOL preview, int16_t* saveType);

}  // namespace q47::ik

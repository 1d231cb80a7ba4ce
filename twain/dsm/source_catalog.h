// Finding TWAIN data sources on disk: *.ds libraries below one folder, asked for their identity.
#pragma once

#include <string>
#include <vector>

#include "twain/twain.h"

namespace q47::twain {

// One data source found on disk, with the identity it reported (Id still 0).
struct FoundSource {
    std::string path;
    TW_IDENTITY identity{};
};

// The folder searched: $TWAIN_DS_DIR when set and not empty, else <install prefix>/lib/twain
// (/usr/local/lib/twain unless installed elsewhere).
std::string sourceFolder();

// Every loadable, acceptable data source below folder, sorted by path. Each library is
// loaded, asked DG_CONTROL/DAT_IDENTITY/MSG_GET on behalf of app, and unloaded again.
std::vector<FoundSource> findSources(const std::string& folder, const TW_IDENTITY& app);

// Whether a reported identity is one we serve: image sources speaking TWAIN 1.5 to 2.x.
bool isAcceptableSource(const TW_IDENTITY& identity);

// Diagnostics on stderr when $Q47_TWAIN_LOG is set: why a source was skipped, and so on.
void logNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace q47::twain

// Where each program keeps its settings, language files and working files.
#pragma once

#include <filesystem>
#include <string>

namespace q47::paths {

// The settings folder: $Q47_HOME when set; else programDir when iniName already lies
// there (a portable install); else $XDG_CONFIG_HOME/q47 (default ~/.config/q47).
// The folder is created when missing.
std::filesystem::path settingsFolder(const std::filesystem::path& programDir,
                                     const std::string& iniName);

// Folder of the running program (readlink /proc/self/exe), or of the library that
// holds `anchor` when called from a loaded module.
std::filesystem::path programFolder();
std::filesystem::path moduleFolder(const void* anchor);

// Language folder for code "ENG", "JPN" or "CHS": <settings>/Loc/<code> when present,
// else <installed data dir>/Loc/<code> (may not exist).
std::filesystem::path languageFolder(const std::filesystem::path& settings,
                                     const std::string& code);

// Installed data folder (<prefix>/share/q47), or $Q47_DATA_DIR when set.
std::filesystem::path dataFolder();

}  // namespace q47::paths

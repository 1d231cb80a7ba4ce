// Generated names for saved captures: Q47_<yymmdd>_<NN>.JPG or .PNG.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace q47::capture {

// Save formats, numbered as the file component's SaveType.
constexpr int kSaveJpeg = 2;
constexpr int kSavePng = 5;

// The first free name of the day in `folder`: "Q47_%s%02d.JPG" for format 2, ".PNG" for
// any other format, %s the date as "yymmdd_" and the counter from 1 (three digits and
// more from 100 on, without limit). `day` is the local date to use (tests pass one;
// the program passes the current time).
std::string MakeFileName(const std::filesystem::path& folder, int format, std::time_t day);
std::string MakeFileName(const std::filesystem::path& folder, int format);

// True when `folder` holds a file (not a folder) with the format's extension (.JPG for
// 2, .PNG otherwise) whose name equals `name`. On Linux names are compared without
// regard to case, as on the file systems the names were designed for: "q47_261206_01.jpg"
// takes "Q47_261206_01.JPG". A folder that cannot be listed holds nothing.
bool FileNameTaken(const std::filesystem::path& folder, const std::string& name, int format);

}  // namespace q47::capture

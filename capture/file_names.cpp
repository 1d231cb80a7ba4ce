// Generated capture file names and the check against the files already in a folder.
#include "capture/file_names.h"

#include <cstdio>
#include <strings.h>

namespace q47::capture {

namespace {

std::string nameFor(const std::string& date, int counter, int format) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format == kSaveJpeg ? "Q47_%s%02d.JPG" : "Q47_%s%02d.PNG", date.c_str(), counter);
    return buf;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

std::string MakeFileName(const std::filesystem::path& folder, int format, std::time_t day) {
    std::tm local{};
    localtime_r(&day, &local);
    char date[16];
    std::strftime(date, sizeof date, "%y%m%d_", &local);
    int counter = 1;
    std::string name = nameFor(date, counter, format);
    while (FileNameTaken(folder, name, format)) name = nameFor(date, ++counter, format);
    return name;
}

std::string MakeFileName(const std::filesystem::path& folder, int format) {
    return MakeFileName(folder, format, std::time(nullptr));
}

bool FileNameTaken(const std::filesystem::path& folder, const std::string& name, int format) {
    const std::string ext = format == kSaveJpeg ? ".JPG" : ".PNG";
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec)) continue;
        const std::string entry = it->path().filename().string();
        if (!equalNoCase(it->path().extension().string(), ext)) continue;
        if (equalNoCase(entry, name)) return true;
    }
    return false;
}

}  // namespace q47::capture

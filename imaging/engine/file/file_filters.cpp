// File dialog filters: extension list -> labelled filters -> host dialog -> name and type.
#include "imaging/engine/file/file_filters.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "imaging/engine/core/entry_guard.h"

namespace q47::ik {

namespace {

struct Known {
    const char* ext;
    int format;
    const char* label;
    const char* more;  // further extensions of the same format, or null
};
const Known kKnown[] = {
    {"bmp", IK_FMT_BMP, "Windows bitmap", "dib"}, {"jpg", IK_FMT_JPEG, "JPEG", "jpeg"},
    {"jpeg", IK_FMT_JPEG, "JPEG", "jpg"},        {"gif", IK_FMT_GIF, "GIF", nullptr},
    {"tif", IK_FMT_TIFF, "TIFF", "tiff"},        {"tiff", IK_FMT_TIFF, "TIFF", "tif"},
    {"png", IK_FMT_PNG, "PNG", nullptr},         {"fpx", IK_FMT_FPX, "FlashPix", nullptr},
    {"pcx", IK_FMT_PCX, "PCX", nullptr},         {"wmf", IK_FMT_WMF, "Windows metafile", nullptr},
    {"emf", IK_FMT_EMF, "Enhanced metafile", nullptr}, {"dxf", IK_FMT_DXF, "DXF drawing", nullptr},
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t.*");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

}  // namespace

std::vector<FileFilter> buildFileFilters(const std::string& extensions, bool save) {
    std::vector<FileFilter> out;
    size_t start = 0;
    while (start <= extensions.size()) {
        const size_t end = std::min(extensions.find(';', start), extensions.size());
        const std::string ext = lower(trim(extensions.substr(start, end - start)));
        start = end + 1;
        if (ext.empty()) continue;
        if (std::any_of(out.begin(), out.end(), [&](const FileFilter& f) { return f.extensions[0] == ext; }))
            continue;
        FileFilter f;
        f.extensions.push_back(ext);
        std::string label = ext;
        for (const Known& k : kKnown)
            if (ext == k.ext) {
                f.format = k.format;
                label = k.label;
                if (k.more) f.extensions.push_back(k.more);
            }
        std::string patterns;
        for (const auto& e : f.extensions) patterns += (patterns.empty() ? "*." : " *.") + e;
        f.label = label + " (" + patterns + ")";
        out.push_back(std::move(f));
    }
    if (!save) out.push_back(FileFilter{"All files (*)", {}, 0});
    return out;
}

std::string joinFilters(const std::vector<FileFilter>& filters) {
    std::string s;
    for (const auto& f : filters) s += (s.empty() ? "" : ";;") + f.label;
    return s;
}

IKBOOL runFileDialog(IKWINDOW window, bool save, char* name, const char* folder,
                     const char* extensions, IKBOOL preview, int16_t* saveType) {
    if (!name || !saveType) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    const IKHostServices* host = hostServices();
    if (!host || !host->fileDialog) return fail<IKBOOL>(IK_ERR_NO_HOST);
    const auto filters = buildFileFilters(extensions ? extensions : "", save);
    int32_t selected = 0;
    for (size_t i = 0; save && i < filters.size(); ++i)
        if (filters[i].format != 0 && filters[i].format == *saveType) {
            selected = static_cast<int32_t>(i);
            break;
        }
    // The preset name goes in; the host overwrites the buffer only on acceptance.
    char path[1024];
    std::strncpy(path, name, sizeof path - 1);
    path[sizeof path - 1] = 0;
    if (!host->fileDialog(window, save, folder ? folder : "", joinFilters(filters).c_str(), &selected,
                          preview, path, sizeof path))
        return fail<IKBOOL>(IK_OK);
    std::string chosen = path;
    const FileFilter* f = selected >= 0 && static_cast<size_t>(selected) < filters.size()
                              ? &filters[static_cast<size_t>(selected)] : nullptr;
    if (save && f && !f->extensions.empty()) {
        // A name typed without an extension gets the chosen filter's.
        const auto slash = chosen.find_last_of('/');
        const auto dot = chosen.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
            chosen += "." + f->extensions[0];
    }
    if (chosen.size() >= 261) return fail<IKBOOL>(IK_ERR_ARGUMENT);
    std::memcpy(name, chosen.c_str(), chosen.size() + 1);
    if (save) *saveType = static_cast<int16_t>(f ? f->format : 0);
    return 1;
}

}  // namespace q47::ik

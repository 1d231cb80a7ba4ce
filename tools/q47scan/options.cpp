// q47scan's command line: what to scan from which source, and where the image goes.
#include "tools/q47scan/options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "twain/twain.h"

namespace q47::scan {

const char* usageText() {
    return "Usage: q47scan [options] --out FILE\n"
           "       q47scan --list\n"
           "Acquires one image from a TWAIN data source through the Q-47 source manager.\n"
           "\n"
           "  --list               list the data sources and exit\n"
           "  --source NAME        open the source whose product name contains NAME\n"
           "                       (default: \"ZELT Slatewise Q-47\")\n"
           "  --ui none|progress|full\n"
           "                       none: no window; progress: a progress window only;\n"
           "                       full: the source's own window (default: progress)\n"
           "  --xfer native|memory|file\n"
           "                       how the image is handed over (default: native)\n"
           "  --out FILE           write the image to FILE, as PNG (.png) or BMP (.bmp);\n"
           "                       with --xfer file the source's BMP file is kept as it is\n"
           "  --pixel-type bw|gray|rgb|palette\n"
           "                       ask the source for this pixel type\n"
           "  --timeout SEC        give up when no image is ready after SEC seconds\n"
           "                       (default 300; 0 waits for ever)\n"
           "  --help               show this text\n"
           "\n"
           "The folder of --out is checked before the scan; a file already at --out is\n"
           "replaced only once the new image is completely written.\n"
           "--ui full needs a display (DISPLAY or WAYLAND_DISPLAY).\n"
           "\n"
           "Sources are looked for below $TWAIN_DS_DIR; when it is not set, below the build\n"
           "tree's lib/twain when q47scan runs from a build tree, else /usr/local/lib/twain.\n"
           "Exit status: 0 image written, 1 failure, 2 wrong usage.\n";
}

static std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

static bool formatFromName(const std::string& path, OutputFormat* format) {
    const std::string name = lower(path);
    auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return name.size() > t.size() && name.compare(name.size() - t.size(), t.size(), t) == 0;
    };
    if (endsWith(".png")) *format = OutputFormat::Png;
    else if (endsWith(".bmp")) *format = OutputFormat::Bmp;
    else return false;
    return true;
}

bool parseOptions(int argc, char** argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--list") {
            options->list = true;
        } else if (arg == "--source") {
            if (!takeValue()) return false;
            if (value.empty()) {
                *error = "--source needs a non-empty name";
                return false;
            }
            options->source = value;
        } else if (arg == "--ui") {
            if (!takeValue()) return false;
            if (value == "none") options->ui = UiMode::None;
            else if (value == "progress") options->ui = UiMode::Progress;
            else if (value == "full") options->ui = UiMode::Full;
            else {
                *error = "--ui takes none, progress or full, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--xfer") {
            if (!takeValue()) return false;
            if (value == "native") options->xfer = XferMode::Native;
            else if (value == "memory") options->xfer = XferMode::Memory;
            else if (value == "file") options->xfer = XferMode::File;
            else {
                *error = "--xfer takes native, memory or file, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--out") {
            if (!takeValue()) return false;
            options->out = value;
        } else if (arg == "--pixel-type") {
            if (!takeValue()) return false;
            if (value == "bw") options->pixelType = TWPT_BW;
            else if (value == "gray" || value == "grey") options->pixelType = TWPT_GRAY;
            else if (value == "rgb") options->pixelType = TWPT_RGB;
            else if (value == "palette") options->pixelType = TWPT_PALETTE;
            else {
                *error = "--pixel-type takes bw, gray, rgb or palette, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--timeout") {
            if (!takeValue()) return false;
            char* end = nullptr;
            double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e6) {
                *error = "--timeout takes a number of seconds, not \"" + value + "\"";
                return false;
            }
            options->timeoutSeconds = seconds;
        } else {
            *error = "unknown argument \"" + std::string(argv[i]) + "\"";
            return false;
        }
    }
    if (options->help || options->list) return true;
    if (options->out.empty()) {
        *error = "--out FILE is needed (or --list)";
        return false;
    }
    if (!formatFromName(options->out, &options->format)) {
        *error = "--out must name a .png or .bmp file, not \"" + options->out + "\"";
        return false;
    }
    // A file transfer keeps the source's own file, which is a BMP: no silent conversion.
    if (options->xfer == XferMode::File && options->format != OutputFormat::Bmp) {
        *error = "--xfer file keeps the source's BMP file as it is; name --out *.bmp";
        return false;
    }
    return true;
}

}  // namespace q47::scan

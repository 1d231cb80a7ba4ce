// q47scan's command line: what to scan from which source, and where the image goes.
#pragma once

#include <string>

namespace q47::scan {

enum class UiMode { None, Progress, Full };
enum class XferMode { Native, Memory, File };
enum class OutputFormat { Png, Bmp };

struct Options {
    bool help = false;
    bool list = false;
    std::string source = "ZELT Slatewise Q-47";  // matched as a part of ProductName
    UiMode ui = UiMode::Progress;
    XferMode xfer = XferMode::Native;
    std::string out;
    OutputFormat format = OutputFormat::Png;
    int pixelType = -1;  // a TWPT_ value, or -1 to leave the source's choice
    double timeoutSeconds = 300;  // 0: wait as long as it takes
};

// Parses argv; false with a one-line reason in *error for a usage mistake.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

const char* usageText();

}  // namespace q47::scan

// q47scan: acquires one image from a TWAIN data source on our source manager into PNG or BMP.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/q47scan/environment.h"
#include "tools/q47scan/image_writer.h"
#include "tools/q47scan/options.h"
#include "tools/q47scan/output_file.h"
#include "tools/q47scan/twain_session.h"

using namespace q47::scan;

namespace {

// Progress goes to stderr: one line at a time on a terminal (overwritten), else plain lines.
class ProgressLine {
public:
    ProgressLine() : terminal_(isatty(STDERR_FILENO)) {}
    ~ProgressLine() { finish(); }
    void show(const std::string& text) {
        lastDecile_ = -1;
        if (terminal_) {
            std::fprintf(stderr, "\r\033[Kq47scan: %s", text.c_str());
            open_ = true;
        } else {
            std::fprintf(stderr, "q47scan: %s\n", text.c_str());
        }
        std::fflush(stderr);
    }
    // A bar on a terminal; in a log, a line each time another tenth is done, so a long
    // transfer does not fill it with one line per strip.
    void percent(const std::string& what, int done) {
        done = std::clamp(done, 0, 100);
        if (terminal_) {
            const int filled = done * kBarWidth / 100;
            std::fprintf(stderr, "\r\033[Kq47scan: %s [%s%s] %3d%%", what.c_str(),
                         std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(kBarWidth - filled), '.').c_str(), done);
            open_ = true;
            std::fflush(stderr);
            return;
        }
        if (done / 10 == lastDecile_) return;
        lastDecile_ = done / 10;
        std::fprintf(stderr, "q47scan: %s: %d%%\n", what.c_str(), done);
        std::fflush(stderr);
    }
    void finish() {
        if (open_) std::fputc('\n', stderr);
        open_ = false;
    }

private:
    static constexpr int kBarWidth = 30;
    bool terminal_;
    bool open_ = false;
    int lastDecile_ = -1;
};

ProgressLine progress;

int fail(const std::string& message) {
    progress.finish();
    std::fprintf(stderr, "q47scan: error: %s\n", message.c_str());
    return 1;
}

// Seconds as a person writes them: "300 s", "0.3 s".
std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g s", value);
    return text;
}

int listSources(TwainSession& session) {
    std::string defaultName;
    const std::vector<TW_IDENTITY> list = session.sources(&defaultName);
    if (list.empty()) return fail("no TWAIN data sources found below " + sourceFolder());
    for (const TW_IDENTITY& s : list) {
        std::printf("%s\t%s\t%s\tversion %u.%u\tTWAIN %u.%u%s\n", s.ProductName, s.Manufacturer,
                    s.ProductFamily, s.Version.MajorNum, s.Version.MinorNum, s.ProtocolMajor,
                    s.ProtocolMinor, defaultName == s.ProductName ? "\tdefault" : "");
    }
    return 0;
}

int scan(TwainSession& session, const Options& options) {
    std::string error;
    if (!session.openSource(options.source, &error)) return fail(error);

    const TW_UINT16 mech = options.xfer == XferMode::Native   ? TWSX_NATIVE
                           : options.xfer == XferMode::Memory ? TWSX_MEMORY
                                                              : TWSX_FILE;
    if (!session.setCapability(ICAP_XFERMECH, TWTY_UINT16, mech, &error)) return fail(error);
    TW_UINT32 current = 0;
    if (session.currentCapability(ICAP_XFERMECH, &current) && current != mech)
        return fail("the source accepted transfer mechanism " + std::to_string(mech) +
                    " but keeps " + std::to_string(current));

    // No window at all needs the progress indicator off as well as ShowUI FALSE.
    const bool indicators = options.ui != UiMode::None;
    if (!session.setCapability(CAP_INDICATORS, TWTY_BOOL, indicators ? 1 : 0, &error))
        progress.show("warning: " + error);

    if (options.pixelType >= 0 &&
        !session.setCapability(ICAP_PIXELTYPE, TWTY_UINT16,
                               static_cast<TW_UINT32>(options.pixelType), &error))
        return fail(error);

    if (!session.enable(options.ui == UiMode::Full, &error)) return fail(error);
    progress.show("waiting for the image from \"" + std::string(session.source().ProductName) +
                  "\"");
    switch (session.waitForSource(options.timeoutSeconds)) {
    case SourceEvent::XferReady:
        break;
    case SourceEvent::CloseRequested:
        return fail("the source closed without an image (cancelled, or the device failed)");
    case SourceEvent::None:
        return fail("no image from the source within " + seconds(options.timeoutSeconds));
    }

    std::vector<uint8_t> dib;
    bool ok = false;
    switch (options.xfer) {
    case XferMode::Native:
        ok = session.transferNative(&dib, &error);
        break;
    case XferMode::Memory:
        ok = session.transferMemory(&dib, &error);
        break;
    case XferMode::File:
        ok = session.transferFile(options.out, &error);
        break;
    }
    session.endTransfers();
    if (!ok && options.xfer == XferMode::File) {
        // The source says only that it failed; what stands in the way is found here.
        const std::string cause = checkOutputTarget(options.out);
        if (!cause.empty()) error = cause + " (" + error + ")";
    }
    if (!ok) return fail(error);
    if (options.xfer != XferMode::File) {
        ok = options.format == OutputFormat::Png ? writePng(dib, options.out, &error)
                                                 : writeBmp(dib, options.out, &error);
        if (!ok) return fail(error);
    }
    progress.show("wrote " + options.out);
    progress.finish();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "q47scan: %s\nTry 'q47scan --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (!options.list) {
        // Found now rather than after the board has scanned for seconds.
        if (const std::string cause = checkOutputTarget(options.out); !cause.empty())
            return fail(cause);
        if (options.ui == UiMode::Full && !displayReachable())
            return fail("--ui full shows the source's window, but there is no display "
                        "(DISPLAY and WAYLAND_DISPLAY are not set); use --ui progress or --ui none");
    }
    if (const std::string folder = useBuildTreeSources(); !folder.empty())
        progress.show("using the data sources of the build tree below " + folder);
    TwainSession session([](const std::string& text) { progress.show(text); });
    session.setPercentShown([](const std::string& what, int done) { progress.percent(what, done); });
    if (!session.openManager(&error)) return fail(error);
    return options.list ? listSources(session) : scan(session, options);
}

// q47scan: acquires one image from a TWAIN data source on our source manager into PNG or BMP.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/q47scan/image_writer.h"
#include "tools/q47scan/options.h"
#include "tools/q47scan/twain_session.h"

using namespace q47::scan;

namespace {

// Progress goes to stderr: one line at a time on a terminal (overwritten), else plain lines.
class ProgressLine {
public:
    ProgressLine() : terminal_(isatty(STDERR_FILENO)) {}
    ~ProgressLine() { finish(); }
    void show(const std::string& text) {
        if (terminal_) {
            std::fprintf(stderr, "\r\033[Kq47scan: %s", text.c_str());
            open_ = true;
        } else {
            std::fprintf(stderr, "q47scan: %s\n", text.c_str());
        }
        std::fflush(stderr);
    }
    void finish() {
        if (open_) std::fputc('\n', stderr);
        open_ = false;
    }

private:
    bool terminal_;
    bool open_ = false;
};

ProgressLine progress;

int fail(const std::string& message) {
    progress.finish();
    std::fprintf(stderr, "q47scan: error: %s\n", message.c_str());
    return 1;
}

int listSources(TwainSession& session) {
    std::string defaultName;
    const std::vector<TW_IDENTITY> list = session.sources(&defaultName);
    if (list.empty()) std::fprintf(stderr, "q47scan: no TWAIN data sources found\n");
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
        return fail("no image from the source within " + std::to_string(options.timeoutSeconds) +
                    " s");
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
    TwainSession session([](const std::string& text) { progress.show(text); });
    if (!session.openManager(&error)) return fail(error);
    return options.list ? listSources(session) : scan(session, options);
}

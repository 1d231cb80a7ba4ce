// libsane-q47: the SANE 1.0 entry points, the option table and the scan job with its reader thread.
//
// One scan is one job. sane_start hands the job to a thread of its own, which opens the
// board, runs the PC scan through BoardSession on a RealTimeLoop and, once the image is
// in, releases the board and writes the frame's rows into a pipe. sane_read reads that
// pipe (blocking or not), and sane_get_select_fd gives its read end. sane_cancel only
// raises a flag and wakes the thread, so a frontend may call it from a signal handler;
// the thread presses STOP when the board is scanning and waits for standby.
#include <fcntl.h>
#include <poll.h>
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dib.h"
#include "platform/paths.h"
#include "sane/board_session.h"
#include "sane/device_config.h"
#include "sane/frame_rows.h"
#include "sane/real_time_loop.h"
#include "twain_source/image_buffer.h"

using namespace q47;
using namespace q47::sane;

namespace {

constexpr int kBuild = 1;
constexpr SANE_Int kResolution = 200;
constexpr const char* kVendor = "ZELT";
constexpr const char* kType = "whiteboard scanner";

// --- messages: SANE_DEBUG_Q47 like every backend; errors (level 1) by default ---

int debugLevel() {
    const char* v = std::getenv("SANE_DEBUG_Q47");
    return v && *v ? std::atoi(v) : 1;
}

void say(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void say(int level, const char* fmt, ...) {
    if (level > debugLevel()) return;
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "[q47] %s\n", line);
}

SANE_Status statusOf(Outcome o) {
    switch (o) {
        case Outcome::Good: return SANE_STATUS_GOOD;
        case Outcome::NoBoard: return SANE_STATUS_IO_ERROR;
        case Outcome::Busy: return SANE_STATUS_DEVICE_BUSY;
        case Outcome::BoardError: return SANE_STATUS_IO_ERROR;
        case Outcome::Jammed: return SANE_STATUS_JAMMED;
        case Outcome::Cancelled: return SANE_STATUS_CANCELLED;
        case Outcome::IoError: return SANE_STATUS_IO_ERROR;
    }
    return SANE_STATUS_IO_ERROR;
}

// The data source's texts and language: its own Q47Tw.ini in the settings folder.
twain_source::SettingsFile settingsFile() {
    static const int anchor = 0;
    return twain_source::SettingsFile::inSettingsFolder(paths::moduleFolder(&anchor));
}

// --- probing ---

struct Probe {
    Result result;
    BoardIdentity identity;
};

Probe probe(const std::string& channel) {
    RealTimeLoop loop;
    SessionClock clock{loop, loop, [&](const std::function<bool()>& p, int64_t ms) {
                           return loop.runUntil(p, ms);
                       }};
    SessionLimits limits;
    limits.openMs = 3000;
    BoardSession session(clock, channel, settingsFile(), nullptr, limits);
    Probe p;
    p.result = session.open();
    p.identity = session.identity();
    return p;
}

// --- devices ---

struct Device {
    std::string name, model;
    SANE_Device sane{};
};
std::vector<std::unique_ptr<Device>> g_devices;
std::vector<const SANE_Device*> g_deviceList;

// --- the option table ---

enum OptionIndex {
    kOptCount,
    kOptModeGroup,
    kOptMode,
    kOptResolution,
    kOptGeometryGroup,
    kOptTlX,
    kOptTlY,
    kOptBrX,
    kOptBrY,
    kOptionCount
};

const SANE_String_Const kModes[] = {SANE_VALUE_SCAN_MODE_COLOR, SANE_VALUE_SCAN_MODE_GRAY, nullptr};
const SANE_Word kResolutions[] = {1, kResolution};

// Millimetres of n pixels at 200 dpi, as SANE_Fixed.
SANE_Fixed pixelsToMm(int n) { return SANE_FIX(double(n) * 25.4 / kResolution); }

// --- a scan job ---

struct Job {
    enum Phase { Scanning, Ready, Failed };
    std::mutex mutex;
    std::condition_variable changed;
    Phase phase = Scanning;
    Result result;
    bool colour = true;
    SANE_Parameters params{};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> complete{false};  // every row was written
    RealTimeLoop loop;
    int readFd = -1, writeFd = -1;
    std::thread thread;

    ~Job() {
        cancel = true;
        loop.wake();
        if (thread.joinable()) thread.join();
        if (readFd >= 0) close(readFd);
        if (writeFd >= 0) close(writeFd);
    }
};

// Writes all of data to the pipe, giving up when the job is cancelled.
bool writeAll(Job& job, const uint8_t* data, size_t n) {
    while (n > 0) {
        if (job.cancel) return false;
        pollfd pf{job.writeFd, POLLOUT, 0};
        // The reader may stop reading without cancelling at once: look at the flag often.
        if (poll(&pf, 1, 100) <= 0) continue;
        const ssize_t k = write(job.writeFd, data, n);
        if (k < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        data += k, n -= size_t(k);
    }
    return true;
}

void runJob(Job* job, std::string channel) {
    std::vector<uint8_t> dibBytes;
    Result r;
    {
        SessionClock clock{job->loop, job->loop, [job](const std::function<bool()>& p, int64_t ms) {
                               return job->loop.runUntil(p, ms);
                           }};
        BoardSession session(clock, channel, settingsFile(), &job->cancel);
        r = session.open();
        if (r.ok()) r = session.scan(job->colour, &dibBytes);
        // The board is released before the rows go out: the data source and the
        // utility can open it while the frontend is still reading.
    }
    dib::View view;
    if (r.ok() && !dib::parse(dibBytes.data(), dibBytes.size(), &view))
        r = {Outcome::IoError, "the board's image is not a valid bitmap"};
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->result = r;
        if (r.ok()) {
            job->params.format = job->colour ? SANE_FRAME_RGB : SANE_FRAME_GRAY;
            job->params.last_frame = SANE_TRUE;
            job->params.depth = 8;
            job->params.pixels_per_line = view.width;
            job->params.lines = view.height;
            job->params.bytes_per_line = SANE_Int(frameRowBytes(view, job->colour));
        }
        job->phase = r.ok() ? Job::Ready : Job::Failed;
    }
    job->changed.notify_all();
    if (r.ok()) {
        std::vector<uint8_t> row(frameRowBytes(view, job->colour));
        bool all = true;
        for (int y = 0; y < view.height && all; ++y) {
            frameRow(view, y, job->colour, row.data());
            all = writeAll(*job, row.data(), row.size());
        }
        job->complete = all;
    }
    close(job->writeFd);
    job->writeFd = -1;
    job->finished = true;
}

// --- a handle ---

struct Handle {
    std::string channel;
    BoardIdentity identity;
    SANE_Option_Descriptor options[kOptionCount]{};
    bool colour = true;
    SANE_Int pixelsPerLine = 0, lines = 0;  // the sheet: estimated, then as last scanned
    SANE_Range xRange{}, yRange{};
    bool nonBlocking = false;
    std::unique_ptr<Job> job;
    // The running job as sane_cancel sees it: it may come from another thread or a
    // signal handler while sane_start is still setting the job up.
    std::atomic<Job*> active{nullptr};

    void buildOptions() {
        SANE_Option_Descriptor* o = options;
        o[kOptCount] = {SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS,
                        SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
                        SANE_CONSTRAINT_NONE, {nullptr}};
        o[kOptModeGroup] = {"mode-group", SANE_I18N("Scan Mode"), "", SANE_TYPE_GROUP,
                            SANE_UNIT_NONE, 0, 0, SANE_CONSTRAINT_NONE, {nullptr}};
        size_t longest = 0;
        for (const SANE_String_Const* m = kModes; *m; ++m) longest = std::max(longest, std::strlen(*m) + 1);
        o[kOptMode] = {SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE,
                       SANE_I18N("Color: the board's COLOR lamp is lit for the scan (3-3-2 "
                                 "colours as RGB); Gray: it is dark (256 grey levels)"),
                       SANE_TYPE_STRING, SANE_UNIT_NONE, SANE_Int(longest),
                       SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_STRING_LIST,
                       {nullptr}};
        o[kOptMode].constraint.string_list = kModes;
        o[kOptResolution] = {SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION,
                             SANE_DESC_SCAN_RESOLUTION, SANE_TYPE_INT, SANE_UNIT_DPI,
                             sizeof(SANE_Word), SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
                             SANE_CONSTRAINT_WORD_LIST, {nullptr}};
        o[kOptResolution].constraint.word_list = kResolutions;
        o[kOptGeometryGroup] = {"geometry-group", SANE_I18N("Geometry"), "", SANE_TYPE_GROUP,
                                SANE_UNIT_NONE, 0, 0, SANE_CONSTRAINT_NONE, {nullptr}};
        struct Axis {
            int index;
            const char *name, *title, *desc;
            const SANE_Range* range;
        };
        const Axis axes[] = {
            {kOptTlX, SANE_NAME_SCAN_TL_X, SANE_TITLE_SCAN_TL_X, SANE_DESC_SCAN_TL_X, &xRange},
            {kOptTlY, SANE_NAME_SCAN_TL_Y, SANE_TITLE_SCAN_TL_Y, SANE_DESC_SCAN_TL_Y, &yRange},
            {kOptBrX, SANE_NAME_SCAN_BR_X, SANE_TITLE_SCAN_BR_X, SANE_DESC_SCAN_BR_X, &xRange},
            {kOptBrY, SANE_NAME_SCAN_BR_Y, SANE_TITLE_SCAN_BR_Y, SANE_DESC_SCAN_BR_Y, &yRange}};
        // The board always scans its whole sheet. Frontends (scanimage among them) set
        // the area whether or not it is settable, so a set is taken and answered with
        // the whole sheet (SANE_INFO_INEXACT) instead of failing.
        for (const Axis& a : axes) {
            o[a.index] = {a.name, a.title, a.desc, SANE_TYPE_FIXED, SANE_UNIT_MM,
                          sizeof(SANE_Word), SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
                          SANE_CONSTRAINT_RANGE, {nullptr}};
            o[a.index].constraint.range = a.range;
        }
        updateRanges();
    }
    void updateRanges() {
        xRange = {0, pixelsToMm(pixelsPerLine), 0};
        yRange = {0, pixelsToMm(lines), 0};
    }
    // Ends the job (cancelling and joining a thread still running) and drops it.
    void endJob() {
        active = nullptr;
        job.reset();
    }
};

std::vector<Handle*> g_handles;

// The sheet's size before the first scan, from device info (scan lines across, pixels
// per scan line down); a board that leaves them 0 gets the wide model's full sheet.
void estimateSheet(Handle* h) {
    uint16_t w = h->identity.scanLines ? h->identity.scanLines : 4096;
    uint16_t hgt = h->identity.linePixels ? h->identity.linePixels : 2000;
    h->pixelsPerLine = SANE_Int(twain_source::dibGeometry(w, hgt, false).rowBytes);
    h->lines = hgt;
}

}  // namespace

extern "C" {

SANE_Status sane_q47_init(SANE_Int* version_code, SANE_Auth_Callback) {
    if (version_code) *version_code = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, 0, kBuild);
    say(3, "init, build %d", kBuild);
    return SANE_STATUS_GOOD;
}

void sane_q47_close(SANE_Handle handle);

void sane_q47_exit(void) {
    while (!g_handles.empty()) sane_q47_close(g_handles.back());
    g_devices.clear();
    g_deviceList.clear();
}

SANE_Status sane_q47_get_devices(const SANE_Device*** device_list, SANE_Bool) {
    if (!device_list) return SANE_STATUS_INVAL;
    std::vector<std::unique_ptr<Device>> found;
    for (const std::string& channel : candidateChannels(readConfig())) {
        std::string model;
        // A board this process has open is there even though it cannot be probed now.
        for (Handle* h : g_handles)
            if (h->channel == channel) model = h->identity.modelName;
        if (model.empty()) {
            const Probe p = probe(channel);
            if (!p.result.ok()) {
                say(4, "%s: %s", channel.c_str(), p.result.message.c_str());
                continue;
            }
            model = p.identity.modelName;
        }
        auto d = std::make_unique<Device>();
        d->name = channel;
        d->model = model.empty() ? "Q-47" : model;
        d->sane = {d->name.c_str(), kVendor, d->model.c_str(), kType};
        found.push_back(std::move(d));
    }
    g_devices = std::move(found);
    g_deviceList.clear();
    for (const auto& d : g_devices) g_deviceList.push_back(&d->sane);
    g_deviceList.push_back(nullptr);
    *device_list = g_deviceList.data();
    return SANE_STATUS_GOOD;
}

SANE_Status sane_q47_open(SANE_String_Const name, SANE_Handle* handle) {
    if (!handle) return SANE_STATUS_INVAL;
    std::string channel = name ? name : "";
    if (channel.empty()) {
        // The frontend's "first device".
        const SANE_Device** list = nullptr;
        sane_q47_get_devices(&list, SANE_FALSE);
        if (!list || !list[0]) {
            say(1, "no Q-47 board found");
            return SANE_STATUS_INVAL;
        }
        channel = list[0]->name;
    }
    for (Handle* h : g_handles)
        if (h->channel == channel) return SANE_STATUS_DEVICE_BUSY;
    const Probe p = probe(channel);
    if (!p.result.ok()) {
        say(1, "%s: %s", channel.c_str(), p.result.message.c_str());
        return statusOf(p.result.outcome);
    }
    auto h = std::make_unique<Handle>();
    h->channel = channel;
    h->identity = p.identity;
    estimateSheet(h.get());
    h->buildOptions();
    say(3, "opened %s: %s, firmware %s", channel.c_str(), p.identity.modelName.c_str(),
        p.identity.firmwareVersion.c_str());
    g_handles.push_back(h.get());
    *handle = h.release();
    return SANE_STATUS_GOOD;
}

void sane_q47_close(SANE_Handle handle) {
    auto* h = static_cast<Handle*>(handle);
    for (auto it = g_handles.begin(); it != g_handles.end(); ++it) {
        if (*it != h) continue;
        g_handles.erase(it);
        delete h;  // a running job is cancelled and joined
        return;
    }
}

const SANE_Option_Descriptor* sane_q47_get_option_descriptor(SANE_Handle handle, SANE_Int option) {
    auto* h = static_cast<Handle*>(handle);
    if (!h || option < 0 || option >= kOptionCount) return nullptr;
    return &h->options[option];
}

SANE_Status sane_q47_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action,
                                    void* value, SANE_Int* info) {
    auto* h = static_cast<Handle*>(handle);
    if (info) *info = 0;
    if (!h || option < 0 || option >= kOptionCount) return SANE_STATUS_INVAL;
    const SANE_Option_Descriptor& d = h->options[option];
    if (d.type == SANE_TYPE_GROUP) return SANE_STATUS_INVAL;
    if (action == SANE_ACTION_GET_VALUE) {
        if (!value) return SANE_STATUS_INVAL;
        auto* word = static_cast<SANE_Word*>(value);
        switch (option) {
            case kOptCount: *word = kOptionCount; break;
            case kOptMode:
                std::strcpy(static_cast<char*>(value),
                            h->colour ? SANE_VALUE_SCAN_MODE_COLOR : SANE_VALUE_SCAN_MODE_GRAY);
                break;
            case kOptResolution: *word = kResolution; break;
            case kOptTlX:
            case kOptTlY: *word = 0; break;
            case kOptBrX: *word = pixelsToMm(h->pixelsPerLine); break;
            case kOptBrY: *word = pixelsToMm(h->lines); break;
            default: return SANE_STATUS_INVAL;
        }
        return SANE_STATUS_GOOD;
    }
    if (action == SANE_ACTION_SET_AUTO) return SANE_STATUS_INVAL;  // nothing is automatic
    if (action != SANE_ACTION_SET_VALUE || !value) return SANE_STATUS_INVAL;
    if (!SANE_OPTION_IS_SETTABLE(d.cap)) return SANE_STATUS_INVAL;
    if (h->job && !h->job->finished) return SANE_STATUS_DEVICE_BUSY;
    if (option == kOptMode) {
        const std::string v(static_cast<const char*>(value));
        bool colour;
        if (v == SANE_VALUE_SCAN_MODE_COLOR) colour = true;
        else if (v == SANE_VALUE_SCAN_MODE_GRAY) colour = false;
        else return SANE_STATUS_INVAL;
        if (colour != h->colour && info) *info |= SANE_INFO_RELOAD_PARAMS;
        h->colour = colour;
        return SANE_STATUS_GOOD;
    }
    if (option == kOptResolution)
        return *static_cast<SANE_Word*>(value) == kResolution ? SANE_STATUS_GOOD : SANE_STATUS_INVAL;
    // Geometry: a value outside the sheet is refused; any other leaves the sheet whole.
    const SANE_Word asked = *static_cast<SANE_Word*>(value);
    const SANE_Range* range = d.constraint.range;
    if (asked < range->min || asked > range->max) return SANE_STATUS_INVAL;
    const SANE_Word fixed = option == kOptBrX   ? pixelsToMm(h->pixelsPerLine)
                            : option == kOptBrY ? pixelsToMm(h->lines)
                                                : 0;
    if (asked != fixed && info) *info |= SANE_INFO_INEXACT;
    *static_cast<SANE_Word*>(value) = fixed;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_q47_get_parameters(SANE_Handle handle, SANE_Parameters* params) {
    auto* h = static_cast<Handle*>(handle);
    if (!h || !params) return SANE_STATUS_INVAL;
    if (h->job) {
        std::lock_guard<std::mutex> lock(h->job->mutex);
        if (h->job->phase == Job::Ready) {
            *params = h->job->params;
            return SANE_STATUS_GOOD;
        }
    }
    params->format = h->colour ? SANE_FRAME_RGB : SANE_FRAME_GRAY;
    params->last_frame = SANE_TRUE;
    params->depth = 8;
    params->pixels_per_line = h->pixelsPerLine;
    params->lines = h->lines;
    params->bytes_per_line = h->pixelsPerLine * (h->colour ? 3 : 1);
    return SANE_STATUS_GOOD;
}

SANE_Status sane_q47_start(SANE_Handle handle) {
    auto* h = static_cast<Handle*>(handle);
    if (!h) return SANE_STATUS_INVAL;
    h->endJob();  // the previous scan, read to its end or cancelled
    auto job = std::make_unique<Job>();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return SANE_STATUS_NO_MEM;
    job->readFd = fds[0];
    job->writeFd = fds[1];
    job->colour = h->colour;
    h->nonBlocking = false;
    Job* j = job.get();
    try {
        j->thread = std::thread(runJob, j, h->channel);
    } catch (const std::system_error&) {
        return SANE_STATUS_NO_MEM;
    }
    h->job = std::move(job);
    h->active = j;
    std::unique_lock<std::mutex> lock(j->mutex);
    j->changed.wait(lock, [&] { return j->phase != Job::Scanning; });
    if (j->phase == Job::Failed) {
        const Result r = j->result;
        lock.unlock();
        h->endJob();
        if (r.outcome != Outcome::Cancelled) say(1, "%s", r.message.c_str());
        return statusOf(r.outcome);
    }
    h->pixelsPerLine = j->params.pixels_per_line;
    h->lines = j->params.lines;
    h->updateRanges();
    return SANE_STATUS_GOOD;
}

SANE_Status sane_q47_read(SANE_Handle handle, SANE_Byte* data, SANE_Int max_length,
                          SANE_Int* length) {
    auto* h = static_cast<Handle*>(handle);
    if (length) *length = 0;
    if (!h || !data || !length || max_length < 0) return SANE_STATUS_INVAL;
    if (!h->job) return SANE_STATUS_EOF;
    Job& j = *h->job;
    if (j.cancel) {
        h->endJob();
        return SANE_STATUS_CANCELLED;
    }
    for (;;) {
        const ssize_t n = read(j.readFd, data, size_t(max_length));
        if (n > 0) {
            *length = SANE_Int(n);
            return SANE_STATUS_GOOD;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return SANE_STATUS_GOOD;  // non-blocking, nothing yet
        if (n < 0) return SANE_STATUS_IO_ERROR;
        // The writer closed its end: the frame is whole, or the job was cancelled.
        const bool whole = j.complete && !j.cancel;
        h->endJob();
        return whole ? SANE_STATUS_EOF : SANE_STATUS_CANCELLED;
    }
}

void sane_q47_cancel(SANE_Handle handle) {
    auto* h = static_cast<Handle*>(handle);
    if (!h) return;
    // Only async-signal-safe work here: a flag and a write to the loop's pipe.
    if (Job* j = h->active.load()) {
        j->cancel = true;
        j->loop.wake();
    }
}

SANE_Status sane_q47_set_io_mode(SANE_Handle handle, SANE_Bool non_blocking) {
    auto* h = static_cast<Handle*>(handle);
    if (!h || !h->job) return SANE_STATUS_INVAL;
    const int flags = fcntl(h->job->readFd, F_GETFL);
    if (flags < 0 ||
        fcntl(h->job->readFd, F_SETFL, non_blocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) != 0)
        return SANE_STATUS_IO_ERROR;
    h->nonBlocking = non_blocking;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_q47_get_select_fd(SANE_Handle handle, SANE_Int* fd) {
    auto* h = static_cast<Handle*>(handle);
    if (!h || !fd || !h->job) return SANE_STATUS_INVAL;
    *fd = h->job->readFd;
    return SANE_STATUS_GOOD;
}

}  // extern "C"

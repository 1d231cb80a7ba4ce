// Shared pieces of the data source tests: the recording source manager and test images.
#include "ds_test_support.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace q47::dstest {

namespace {

TW_UINT16 recordingDsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                            TW_UINT16 msg, TW_MEMREF data) {
    RecordingManager& m = RecordingManager::instance();
    RecordingManager::Notification n{};
    if (origin) n.origin = *origin;
    if (dest) n.dest = *dest;
    n.dg = dg;
    n.dat = dat;
    n.msg = msg;
    n.data = data;
    m.notifications.push_back(n);
    return m.answer;
}

TW_HANDLE recordingAllocate(TW_UINT32 size) {
    RecordingManager& m = RecordingManager::instance();
    if (m.failAllocations) return nullptr;
    // Deliberately not zeroed: the source must not count on it.
    void* h = std::malloc(size ? size : 1);
    std::memset(h, 0xA5, size);
    m.live.insert(h);
    ++m.allocations;
    return h;
}

void recordingFree(TW_HANDLE h) {
    RecordingManager& m = RecordingManager::instance();
    if (m.live.erase(h)) std::free(h);
    else ++m.foreignFrees;
}

TW_MEMREF recordingLock(TW_HANDLE h) { return h; }
void recordingUnlock(TW_HANDLE) {}

}  // namespace

RecordingManager& RecordingManager::instance() {
    static RecordingManager manager;
    return manager;
}

TW_ENTRYPOINT RecordingManager::entryPoints() {
    TW_ENTRYPOINT points{};
    points.Size = sizeof points;
    points.DSM_Entry = recordingDsmEntry;
    points.DSM_MemAllocate = recordingAllocate;
    points.DSM_MemFree = recordingFree;
    points.DSM_MemLock = recordingLock;
    points.DSM_MemUnlock = recordingUnlock;
    return points;
}

void RecordingManager::clear() {
    for (TW_HANDLE h : live) std::free(h);
    live.clear();
    notifications.clear();
    allocations = 0;
    foreignFrees = 0;
    failAllocations = false;
    answer = TWRC_SUCCESS;
}

void managerFree(TW_HANDLE h) { recordingFree(h); }

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q47ds-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

OpenSource::OpenSource(bool withEntryPoints) {
    RecordingManager::instance().clear();
    app.Id = 7;
    app.ProtocolMajor = 2;
    app.ProtocolMinor = 4;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
    std::strcpy(app.ProductName, "Test App");
    TW_IDENTITY appCopy = app;
    if (withEntryPoints) {
        TW_ENTRYPOINT points = RecordingManager::entryPoints();
        source.entry(&appCopy, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &points);
    }
    TW_IDENTITY self{};
    source.entry(&appCopy, DG_CONTROL, DAT_IDENTITY, MSG_GET, &self);
    self.Id = 3;  // as the manager assigns it
    source.entry(&appCopy, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self);
}

OpenSource::~OpenSource() {
    // The pending image goes back through the manager's memory before it is cleared.
    TW_PENDINGXFERS pending{};
    call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

TW_UINT16 OpenSource::call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    TW_IDENTITY appCopy = app;  // as a manager passes it: a copy of its own
    return source.entry(&appCopy, dg, dat, msg, data);
}

TW_UINT16 OpenSource::condition() {
    TW_STATUS status{};
    call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

uint8_t scanPixel(uint32_t x, uint32_t k) { return uint8_t((x * 7 + k * 3 + (x * k) / 13) & 0xFF); }

void makePendingImage(DataSource& source, uint16_t scanLines, uint16_t height, bool compress,
                      bool colour) {
    ImageBuffer& image = source.globals().imageBuffer;
    image.compress = compress;
    image.colour = colour;
    image.geometry = dibGeometry(scanLines, height, compress);
    ASSERT_TRUE(image.allocateRaw());
    image.rawCount = 0;
    std::vector<uint8_t> line(height);
    for (uint32_t x = 0; x < scanLines; ++x) {
        for (uint32_t k = 0; k < height; ++k) line[k] = scanPixel(x, k);
        image.appendRaw(line.data(), line.size());
    }
    ASSERT_TRUE(buildDib(image));
    image.releaseRaw();
}

std::vector<uint8_t> uprightPicture(uint16_t scanLines, uint16_t height) {
    const DibGeometry g = dibGeometry(scanLines, height, false);
    std::vector<uint8_t> picture(size_t(g.rowBytes) * height, 0xFF);
    // Scan line x is column x, read from the bottom of the sheet to its top.
    for (uint32_t t = 0; t < height; ++t)
        for (uint32_t x = 0; x < scanLines; ++x)
            picture[size_t(t) * g.rowBytes + x] = scanPixel(x, height - 1 - t);
    return picture;
}

}  // namespace q47::dstest

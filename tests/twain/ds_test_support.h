// Shared pieces of the data source tests: a stand-in window host, a recording source manager, images.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "twain/twain.h"
#include "twain_source/ds/data_source.h"

namespace q47::dstest {

using namespace q47::twain_source;

// Records the windows DS_Entry asks for; no Qt, no board.
class FakeWindowHost : public WindowHost {
public:
    bool create(WindowMode mode, TwainSide&, SourceGlobals&) override {
        if (refuse) return false;
        modes.push_back(mode);
        exists_ = true;
        return true;
    }
    void destroy() override {
        exists_ = false;
        ++destroyed;
    }
    bool exists() const override { return exists_; }

    std::vector<WindowMode> modes;
    int destroyed = 0;
    bool refuse = false;

private:
    bool exists_ = false;
};

// The source manager's side as a source sees it: DSM_Entry records the notifications,
// the memory functions keep count of what they handed out.
struct RecordingManager {
    struct Notification {
        TW_IDENTITY origin, dest;
        TW_UINT32 dg;
        TW_UINT16 dat, msg;
        TW_MEMREF data;
    };
    static RecordingManager& instance();
    static TW_ENTRYPOINT entryPoints();

    void clear();
    bool owns(TW_HANDLE h) const { return live.count(h) != 0; }

    std::vector<Notification> notifications;
    std::set<TW_HANDLE> live;  // allocated through DSM_MemAllocate and not yet freed
    int allocations = 0;
    int foreignFrees = 0;  // DSM_MemFree of memory DSM_MemAllocate never gave
    bool failAllocations = false;
    TW_UINT16 answer = TWRC_SUCCESS;
};

// A fresh folder under the temporary directory, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Frees a handle as an application does, through the manager's DSM_MemFree.
void managerFree(TW_HANDLE h);

// A data source with its window host, opened by "Test App" through the recording manager.
class OpenSource {
public:
    explicit OpenSource(bool withEntryPoints = true);
    ~OpenSource();
    TW_UINT16 call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 condition();  // DAT_STATUS

    FakeWindowHost windows;
    DataSource source{windows};
    TW_IDENTITY app{};
};

// A received image of W scan lines of H bytes, byte k of scan line x being
// pixel(x, k), made into the pending DIB as the window does after a scan.
uint8_t scanPixel(uint32_t x, uint32_t k);
void makePendingImage(DataSource& source, uint16_t scanLines, uint16_t height, bool compress,
                      bool colour = false);
// The picture as the sheet shows it, top row first, rowBytes per row (not compressed).
std::vector<uint8_t> uprightPicture(uint16_t scanLines, uint16_t height);

}  // namespace q47::dstest

// One TWAIN application session on the source manager: open, negotiate, wait, transfer, close.
#include "tools/q47scan/twain_session.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/dib.h"
#include "twain/strip_rows.h"
#include "tools/q47scan/twain_names.h"

namespace q47::scan {

namespace {

// The callback has no room for a context pointer we could rely on with every source
// manager, so the one session of this process is found here.
std::atomic<TwainSession*> activeSession{nullptr};

TW_UINT16 sessionCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF) {
    if (dat != DAT_NULL) return TWRC_FAILURE;
    if (TwainSession* session = activeSession.load()) session->notify(msg);
    return TWRC_SUCCESS;
}

void copyName(char* field, const char* text) {
    std::strncpy(field, text, sizeof(TW_STR32) - 1);
    field[sizeof(TW_STR32) - 1] = '\0';
}

std::string lower(const char* text) {
    std::string s(text);
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

TW_HANDLE plainAllocate(TW_UINT32 size) { return std::calloc(size ? size : 1, 1); }
void plainFree(TW_HANDLE handle) { std::free(handle); }
TW_MEMREF plainLock(TW_HANDLE handle) { return handle; }
void plainUnlock(TW_HANDLE) {}

// Bytes of a packed DIB judged from its header alone (a native transfer hands over a
// handle without a length); 0 when the header is not one we can trust.
size_t packedDibSize(const dib::BitmapInfoHeader& h) {
    if (h.biSize < 40 || h.biSize > 124) return 0;
    if (h.biCompression != 0 || h.biPlanes != 1) return 0;
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
    const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (h.biWidth <= 0 || h.biWidth > 1000000 || height == 0 || height > 1000000) return 0;
    const size_t palette = dib::paletteEntries(h);
    if (palette > 256) return 0;
    const size_t pixels = dib::rowStride(h.biWidth, bits) * static_cast<size_t>(height);
    if (pixels > (size_t{1} << 31)) return 0;
    return h.biSize + palette * 4 + pixels;
}

bool moveFile(const std::string& from, const std::string& to, std::string* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) {
        *error = "cannot move " + from + " to " + to + ": " + std::strerror(errno);
        return false;
    }
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        *error = "cannot copy " + from + " to " + to + ": " + ec.message();
        return false;
    }
    std::filesystem::remove(from, ec);
    return true;
}

}  // namespace

TwainSession::TwainSession(std::function<void(const std::string&)> progress)
    : progress_(std::move(progress)) {
    app_.Version.MajorNum = 1;
    app_.Version.MinorNum = 0;
    app_.Version.Language = TWLG_USA;
    app_.Version.Country = TWCY_USA;
    copyName(app_.Version.Info, "q47scan 1.0");
    app_.ProtocolMajor = 2;
    app_.ProtocolMinor = 4;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
    copyName(app_.Manufacturer, "ZELT Orbita Corp.");
    copyName(app_.ProductFamily, "Slatewise");
    copyName(app_.ProductName, "q47scan");
    entry_.DSM_MemAllocate = plainAllocate;
    entry_.DSM_MemFree = plainFree;
    entry_.DSM_MemLock = plainLock;
    entry_.DSM_MemUnlock = plainUnlock;
    activeSession.store(this);
}

// Down the TWAIN states in order: end transfers (7/6), disable (5), close (4), leave (3).
TwainSession::~TwainSession() {
    if (transferring_) endTransfers();
    if (enabled_) {
        TW_USERINTERFACE ui{};
        call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }
    if (sourceOpen_) {
        TW_IDENTITY source = source_;
        DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
    }
    if (managerOpen_) DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr);
    activeSession.store(nullptr);
}

TW_UINT16 TwainSession::call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return DSM_Entry(&app_, &source_, dg, dat, msg, data);
}

std::string TwainSession::failure(const char* what, TW_UINT16 rc) {
    TW_STATUS status{};
    TW_UINT16 got = DSM_Entry(&app_, sourceOpen_ ? &source_ : nullptr, DG_CONTROL, DAT_STATUS,
                              MSG_GET, &status);
    std::string text = std::string(what) + ": " + resultName(rc);
    if (got == TWRC_SUCCESS) text += ", " + conditionName(status.ConditionCode);
    return text;
}

TW_HANDLE TwainSession::allocate(TW_UINT32 size) { return entry_.DSM_MemAllocate(size); }
void TwainSession::release(TW_HANDLE handle) {
    if (handle) entry_.DSM_MemFree(handle);
}
TW_MEMREF TwainSession::lock(TW_HANDLE handle) { return entry_.DSM_MemLock(handle); }
void TwainSession::unlock(TW_HANDLE handle) { entry_.DSM_MemUnlock(handle); }

bool TwainSession::openManager(std::string* error) {
    TW_UINT16 rc = DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr);
    if (rc != TWRC_SUCCESS) {
        *error = failure("cannot open the TWAIN source manager", rc);
        return false;
    }
    managerOpen_ = true;
    // A TWAIN 2 manager hands out its own memory functions; use them for what we free.
    if (app_.SupportedGroups & DF_DSM2) {
        TW_ENTRYPOINT points{};
        points.Size = sizeof points;
        if (DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points) ==
                TWRC_SUCCESS &&
            points.DSM_MemAllocate && points.DSM_MemFree && points.DSM_MemLock &&
            points.DSM_MemUnlock)
            entry_ = points;
    }
    return true;
}

std::vector<TW_IDENTITY> TwainSession::sources(std::string* defaultName) {
    std::vector<TW_IDENTITY> list;
    TW_IDENTITY identity{};
    TW_UINT16 rc = DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &identity);
    while (rc == TWRC_SUCCESS && list.size() < 10000) {
        identity.ProductName[sizeof(TW_STR32) - 1] = '\0';
        identity.Manufacturer[sizeof(TW_STR32) - 1] = '\0';
        identity.ProductFamily[sizeof(TW_STR32) - 1] = '\0';
        list.push_back(identity);
        identity = TW_IDENTITY{};
        rc = DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &identity);
    }
    if (defaultName) {
        defaultName->clear();
        TW_IDENTITY def{};
        if (DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &def) ==
            TWRC_SUCCESS) {
            def.ProductName[sizeof(TW_STR32) - 1] = '\0';
            *defaultName = def.ProductName;
        }
    }
    return list;
}

bool TwainSession::openSource(const std::string& nameContains, std::string* error) {
    const std::vector<TW_IDENTITY> list = sources(nullptr);
    const TW_IDENTITY* chosen = nullptr;
    const std::string wanted = lower(nameContains.c_str());
    for (const TW_IDENTITY& identity : list)
        if (!chosen && lower(identity.ProductName).find(wanted) != std::string::npos)
            chosen = &identity;
    if (!chosen) {
        const char* dir = std::getenv("TWAIN_DS_DIR");
        std::string where = dir && *dir ? dir : "/usr/local/lib/twain";
        if (list.empty()) {
            *error = "no TWAIN data sources found below " + where;
        } else {
            *error = "no TWAIN data source named like \"" + nameContains + "\"; found:";
            for (const TW_IDENTITY& identity : list)
                *error += std::string(" \"") + identity.ProductName + "\"";
        }
        return false;
    }
    source_ = *chosen;
    TW_UINT16 rc = DSM_Entry(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
    if (rc != TWRC_SUCCESS) {
        *error = failure((std::string("cannot open \"") + chosen->ProductName + "\"").c_str(), rc);
        return false;
    }
    sourceOpen_ = true;
    progress_(std::string("opened \"") + source_.ProductName + "\"");

    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&sessionCallback);
    rc = call(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
    if (rc != TWRC_SUCCESS) {
        TW_CALLBACK2 callback2{};
        callback2.CallBackProc = callback.CallBackProc;
        rc = call(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &callback2);
    }
    if (rc != TWRC_SUCCESS) {
        *error = failure("the source manager refused our callback", rc);
        return false;
    }
    return true;
}

bool TwainSession::setCapability(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value,
                                 std::string* error) {
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = allocate(sizeof(TW_ONEVALUE));
    if (!capability.hContainer) {
        *error = "out of memory";
        return false;
    }
    auto* one = static_cast<pTW_ONEVALUE>(lock(capability.hContainer));
    one->ItemType = itemType;
    one->Item = value;
    unlock(capability.hContainer);
    TW_HANDLE container = capability.hContainer;
    TW_UINT16 rc = call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    release(container);
    if (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS) return true;
    char what[64];
    std::snprintf(what, sizeof what, "the source refused capability 0x%04x = %u", cap, value);
    *error = failure(what, rc);
    return false;
}

bool TwainSession::currentCapability(TW_UINT16 cap, TW_UINT32* value) {
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_DONTCARE16;
    if (call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability) != TWRC_SUCCESS ||
        !capability.hContainer)
        return false;
    bool ok = false;
    if (auto* container = lock(capability.hContainer)) {
        if (capability.ConType == TWON_ONEVALUE) {
            auto* one = static_cast<pTW_ONEVALUE>(container);
            *value = one->ItemType == TWTY_UINT16 || one->ItemType == TWTY_BOOL ? one->Item & 0xffff
                                                                                : one->Item;
            ok = true;
        }
        unlock(capability.hContainer);
    }
    release(capability.hContainer);
    return ok;
}

bool TwainSession::enable(bool showUi, std::string* error) {
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUi ? 1 : 0;
    ui.ModalUI = 0;
    ui.hParent = nullptr;
    TW_UINT16 rc = call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) {
        *error = failure("the source could not be enabled", rc);
        return false;
    }
    enabled_ = true;
    return true;
}

void TwainSession::notify(TW_UINT16 msg) {
    std::lock_guard guard(mutex_);
    if (msg == MSG_XFERREADY)
        event_ = SourceEvent::XferReady;
    else if (msg == MSG_CLOSEDSREQ)
        event_ = SourceEvent::CloseRequested;
    else
        return;
    changed_.notify_all();
}

SourceEvent TwainSession::waitForSource(double timeoutSeconds) {
    std::unique_lock guard(mutex_);
    auto happened = [this] { return event_ != SourceEvent::None; };
    if (timeoutSeconds <= 0)
        changed_.wait(guard, happened);
    else
        changed_.wait_for(guard, std::chrono::duration<double>(timeoutSeconds), happened);
    if (event_ == SourceEvent::XferReady) transferring_ = true;
    return event_;
}

bool TwainSession::transferNative(std::vector<uint8_t>* dibOut, std::string* error) {
    progress_("receiving the image (native transfer)");
    TW_HANDLE handle = nullptr;
    TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    if (rc == TWRC_CANCEL) {
        *error = "the source cancelled the transfer";
        return false;
    }
    if (rc != TWRC_XFERDONE) {
        *error = failure("native transfer failed", rc);
        return false;
    }
    if (!handle) {
        *error = "native transfer reported done but handed over no image";
        return false;
    }
    bool ok = false;
    if (auto* bytes = static_cast<const uint8_t*>(lock(handle))) {
        dib::BitmapInfoHeader header;
        std::memcpy(&header, bytes, sizeof header);
        if (size_t size = packedDibSize(header)) {
            dibOut->assign(bytes, bytes + size);
            ok = true;
        }
        unlock(handle);
    }
    release(handle);  // the image is ours after a native transfer
    if (!ok) *error = "the native transfer handed over no bitmap we can read";
    return ok;
}

bool TwainSession::transferMemory(std::vector<uint8_t>* dibOut, std::string* error) {
    TW_IMAGEINFO info{};
    TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    if (rc != TWRC_SUCCESS) {
        *error = failure("the source gave no image information", rc);
        return false;
    }
    const int bits = info.BitsPerPixel;
    const int width = info.ImageWidth, height = info.ImageLength;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        *error = "memory transfer of " + std::to_string(bits) + "-bit images is not supported";
        return false;
    }
    if (width <= 0 || height <= 0 || width > 1000000 || height > 1000000) {
        *error = "the source announced an image of " + std::to_string(width) + " x " +
                 std::to_string(height) + " pixels; memory transfer needs a known size";
        return false;
    }
    if (info.Compression != TWCP_NONE) {
        *error = "the source announced a compressed memory transfer";
        return false;
    }

    // Colour table: the source's palette, else the grey ramp its pixel type implies.
    const int paletteCount = bits <= 8 ? 1 << bits : 0;
    std::vector<uint8_t> image = dib::make(width, height, bits, paletteCount,
                                           info.XResolution.Whole > 0 ? info.XResolution.Whole : 0);
    if (image.empty()) {
        *error = "the image is too large";
        return false;
    }
    auto* palette = reinterpret_cast<dib::RgbQuad*>(image.data() + sizeof(dib::BitmapInfoHeader));
    for (int i = 0; i < paletteCount; ++i) {
        auto grey = static_cast<uint8_t>(i * 255 / (paletteCount - 1));
        palette[i] = {grey, grey, grey, 0};
    }
    if (bits <= 8 && info.PixelType == TWPT_PALETTE) {
        TW_PALETTE8 colours{};
        rc = call(DG_IMAGE, DAT_PALETTE8, MSG_GET, &colours);
        if (rc != TWRC_SUCCESS) {
            *error = failure("the source gave no palette for its palette image", rc);
            return false;
        }
        for (int i = 0; i < std::min<int>(colours.NumColors, paletteCount); ++i) {
            const TW_ELEMENT8& e = colours.Colors[i];
            palette[i] = {e.Channel3, e.Channel2, e.Channel1, 0};
        }
    }
    uint8_t* pixels = image.data() + sizeof(dib::BitmapInfoHeader) + paletteCount * 4;
    const size_t stride = dib::rowStride(width, bits);

    TW_SETUPMEMXFER setup{};
    rc = call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (rc != TWRC_SUCCESS) {
        *error = failure("the source gave no memory transfer sizes", rc);
        return false;
    }
    TW_UINT32 size = setup.Preferred ? setup.Preferred : 65536;
    if (setup.MaxBufSize) size = std::min(size, setup.MaxBufSize);
    size = std::max(size, setup.MinBufSize);
    if (size == 0 || size > (1u << 30)) {
        *error = "the source asks for an unusable buffer size of " + std::to_string(size);
        return false;
    }
    std::vector<uint8_t> buffer(size);

    int rowsDone = 0, emptyStrips = 0;
    for (;;) {
        TW_IMAGEMEMXFER strip;
        strip.Compression = TWON_DONTCARE16;
        strip.BytesPerRow = strip.Columns = strip.Rows = TWON_DONTCARE32;
        strip.XOffset = strip.YOffset = strip.BytesWritten = TWON_DONTCARE32;
        strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        strip.Memory.Length = size;
        strip.Memory.TheMem = buffer.data();
        rc = call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        if (rc == TWRC_CANCEL) {
            *error = "the source cancelled the transfer";
            return false;
        }
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
            *error = failure("memory transfer failed", rc);
            return false;
        }
        // A source may leave the offsets as "don't care": then strips follow each other.
        const TW_UINT32 x = strip.XOffset == TWON_DONTCARE32 ? 0 : strip.XOffset;
        const TW_UINT32 y = strip.YOffset == TWON_DONTCARE32 ? rowsDone : strip.YOffset;
        const TW_UINT32 columns = strip.Columns == TWON_DONTCARE32 ? width : strip.Columns;
        const TW_UINT32 rows = strip.Rows == TWON_DONTCARE32 ? 0 : strip.Rows;
        const size_t rowBytes = (static_cast<size_t>(columns) * bits + 7) / 8;
        if (strip.Compression != TWCP_NONE || x > static_cast<TW_UINT32>(width) ||
            columns > static_cast<TW_UINT32>(width) - x || (static_cast<size_t>(x) * bits) % 8 ||
            y > static_cast<TW_UINT32>(height) || rows > static_cast<TW_UINT32>(height) - y ||
            strip.BytesPerRow < rowBytes ||
            static_cast<size_t>(strip.BytesPerRow) * rows > size) {
            *error = "the source sent a strip that does not fit the announced image";
            return false;
        }
        const uint8_t* from = buffer.data();
        for (TW_UINT32 r = 0; r < rows; ++r, from += strip.BytesPerRow) {
            // Strips run from the top of the picture; the DIB stores it bottom-up.
            uint8_t* to = pixels + stride * (height - 1 - (y + r)) + static_cast<size_t>(x) * bits / 8;
            q47::twain::copyStripRow(to, from, columns, bits, rowBytes);
        }
        rowsDone = static_cast<int>(std::max<TW_UINT32>(rowsDone, y + rows));
        const int done = int(int64_t(rowsDone) * 100 / height);
        if (percent_)
            percent_("receiving the image (memory transfer)", done);
        else
            progress_("received " + std::to_string(rowsDone) + " of " + std::to_string(height) +
                      " rows (" + std::to_string(done) + "%)");
        if (rc == TWRC_XFERDONE) break;
        if (rows == 0 && ++emptyStrips > 16) {
            *error = "the source keeps sending empty strips";
            return false;
        }
    }
    *dibOut = std::move(image);
    return true;
}

bool TwainSession::transferFile(const std::string& target, std::string* error) {
    // Ask the source to write beside the target, so that the final move is a rename.
    std::string wanted = target + ".part-" + std::to_string(getpid()) + ".bmp";
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(wanted, ec);
    if (!ec) wanted = absolute.string();
    TW_SETUPFILEXFER setup{};
    bool ours = wanted.size() < sizeof(TW_STR255);
    if (ours) {
        std::memcpy(setup.FileName, wanted.c_str(), wanted.size() + 1);
        setup.Format = TWFF_BMP;
        ours = call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) == TWRC_SUCCESS;
    }
    if (!ours) {  // keep the source's own file name and fetch the file from there
        setup = TW_SETUPFILEXFER{};
        setup.Format = TWFF_BMP;
        TW_UINT16 rc = call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup);
        if (rc != TWRC_SUCCESS) {
            *error = failure("the source did not say where it writes its file", rc);
            return false;
        }
    }
    setup.FileName[sizeof(TW_STR255) - 1] = '\0';
    if (setup.Format != TWFF_BMP) {
        *error = "the source writes file format " + std::to_string(setup.Format) + ", not BMP";
        return false;
    }
    const std::string written = setup.FileName;
    progress_("receiving the image (file transfer to " + written + ")");
    TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    if (rc != TWRC_XFERDONE) {
        if (ours) std::remove(written.c_str());  // never a file we did not name
        *error = rc == TWRC_CANCEL ? "the source cancelled the transfer"
                                   : failure(("the source could not write " + written).c_str(), rc);
        return false;
    }
    char magic[2] = {0, 0};
    std::ifstream check(written, std::ios::binary);
    if (!check.read(magic, 2) || magic[0] != 'B' || magic[1] != 'M') {
        *error = "the source reported its file written, but " + written + " is no BMP file";
        if (ours) std::remove(written.c_str());
        return false;
    }
    check.close();
    return moveFile(written, target, error);
}

void TwainSession::endTransfers() {
    TW_PENDINGXFERS pending{};
    if (call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) == TWRC_SUCCESS &&
        pending.Count != 0) {
        // One image is all we write; let the source drop the others.
        pending = TW_PENDINGXFERS{};
        call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    }
    transferring_ = false;
}

}  // namespace q47::scan

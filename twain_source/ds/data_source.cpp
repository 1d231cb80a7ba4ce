// The data source's triplet table, its identity, and the control-side handlers.
#include "twain_source/ds/data_source.h"

#include <cstring>
#include <new>

#include "twain_source/ds/image_transfers.h"

namespace q47::twain_source {

namespace {

void copyText(char* to, size_t size, const char* from) {
    std::strncpy(to, from, size - 1);
    to[size - 1] = '\0';
}

}  // namespace

TW_IDENTITY sourceIdentityAtLoad() {
    TW_IDENTITY id{};
    id.Id = 0;  // the manager assigns it
    id.Version.MajorNum = 1;
    id.Version.MinorNum = 0;
    id.Version.Language = TWLG_USA;
    id.Version.Country = TWCY_USA;
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 9;
    id.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
    copyText(id.Manufacturer, sizeof id.Manufacturer, "ZELT Orbita Corp.");
    copyText(id.ProductFamily, sizeof id.ProductFamily, "Slatewise");
    copyText(id.ProductName, sizeof id.ProductName, "ZELT Slatewise Q-47 Series");
    return id;
}

// Looked up by exact DG, DAT and MSG. DAT_ENTRYPOINT is how a source on Linux learns
// the manager's DSM_Entry and memory functions.
const DataSource::Triplet DataSource::kTriplets[] = {
    {DG_CONTROL, DAT_IDENTITY, MSG_GET, &DataSource::identityGet},
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &DataSource::identityOpen},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &DataSource::identityClose},
    {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &DataSource::entryPointSet},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &DataSource::enable},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &DataSource::disable},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &DataSource::nothing},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET, &DataSource::capability},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &DataSource::capability},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, &DataSource::capability},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &DataSource::capability},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, &DataSource::capability},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &DataSource::pendingXfers},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &DataSource::pendingXfers},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &DataSource::pendingXfers},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &DataSource::setupMemXfer},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &DataSource::setupFileXfer},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, &DataSource::setupFileXfer},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &DataSource::setupFileXfer},
    {DG_CONTROL, DAT_STATUS, MSG_GET, &DataSource::status},
    {DG_CONTROL, DAT_XFERGROUP, MSG_GET, &DataSource::xferGroup},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &DataSource::imageInfo},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &DataSource::imageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, &DataSource::imageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, &DataSource::imageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &DataSource::nothing},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &DataSource::nativeXfer},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &DataSource::memoryXfer},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, &DataSource::fileXfer},
    {DG_IMAGE, DAT_PALETTE8, MSG_GET, &DataSource::palette},
    {DG_IMAGE, DAT_PALETTE8, MSG_GETDEFAULT, &DataSource::palette},
    {DG_IMAGE, DAT_PALETTE8, MSG_RESET, &DataSource::nothing},
};

DataSource::DataSource(WindowHost& windows)
    : windows_(windows), sourceIdentity_(sourceIdentityAtLoad()) {
    globals_.imageBuffer.memory = &dsm_.dibMemory();
}

DataSource::~DataSource() {
    if (windows_.exists()) windows_.destroy();
}

TW_UINT16 DataSource::entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data) {
    // Nothing may unwind into the source manager: it is C.
    try {
        return dispatch(origin, dg, dat, msg, data);
    } catch (const std::bad_alloc&) {
        conditionCode_ = TWCC_LOWMEMORY;
    } catch (...) {
        conditionCode_ = TWCC_BUMMER;
    }
    return TWRC_FAILURE;
}

TW_UINT16 DataSource::dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                               TW_MEMREF data) {
    // No window events are routed to a source on Linux; its window gets its own.
    if (msg == MSG_PROCESSEVENT) return TWRC_NOTDSEVENT;
    for (const Triplet& t : kTriplets) {
        if (t.dg != dg || t.dat != dat || t.msg != msg) continue;
        const Answer a = (this->*t.handler)(origin, msg, data);
        if (a.condition != TWCC_SUCCESS) conditionCode_ = a.condition;
        return a.rc;
    }
    return TWRC_FAILURE;  // unknown triplet: the condition code stays as it was
}

// The state a freshly loaded source starts with. The source stays loaded once loaded
// (a Qt thread may be running in it), so each MSG_OPENDS of a closed source starts
// from here, as the next load would.
void DataSource::startSession() {
    caps_.resetAll();
    fileName_ = kDefaultFileName;
    fileFormat_ = TWFF_BMP;
    nextRow_ = 0;
    conditionCode_ = TWCC_SUCCESS;
    globals_.closeRequested = false;
    ImageBuffer& image = globals_.imageBuffer;
    image.pendingImage.release();
    image.releaseRaw();
    image.compress = false;
    image.colour = false;
    image.geometry = DibGeometry{};
}

// What unloading does; the source managers unload a source as soon as it is closed.
// An application that closes without disabling first thereby loses its window too,
// and the board is closed instead of being held by a window nobody can reach.
void DataSource::endSession() {
    if (windows_.exists()) windows_.destroy();
    globals_.imageBuffer.pendingImage.release();
    dsm_.reset();
}

TW_UINT16 DataSource::notify(TW_UINT16 msg) {
    DSMENTRYPROC entry = dsm_.entry();
    if (!entry) return TWRC_FAILURE;
    // Copies: the manager gets our identities, never a way to change them.
    TW_IDENTITY self = sourceIdentity_;
    TW_IDENTITY app = appIdentity_;
    return entry(&self, &app, DG_CONTROL, DAT_NULL, msg, nullptr);
}

void DataSource::notifyTransferReady() {
    if (!globals_.imageBuffer.pendingImage) return;
    nextRow_ = 0;  // memory strips of a new image start at its first row
    notify(MSG_XFERREADY);
}

void DataSource::requestClose() { notify(MSG_CLOSEDSREQ); }

// ---------------------------------------------------------------- identity and entry points

Answer DataSource::identityGet(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    *static_cast<TW_IDENTITY*>(data) = sourceIdentity_;
    return {};
}

Answer DataSource::identityOpen(pTW_IDENTITY origin, TW_UINT16, TW_MEMREF data) {
    if (!origin || !data) return failure(TWCC_BADVALUE);
    if (!sourceOpen_) startSession();
    sourceOpen_ = true;
    // pOrigin points at the manager's temporary copy: keep a copy, not the pointer.
    appIdentity_ = *origin;
    sourceIdentity_ = *static_cast<TW_IDENTITY*>(data);
    return {};
}

Answer DataSource::identityClose(pTW_IDENTITY, TW_UINT16, TW_MEMREF) {
    sourceOpen_ = false;
    endSession();
    return {};
}

Answer DataSource::entryPointSet(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    const auto* points = static_cast<const TW_ENTRYPOINT*>(data);
    if (!points || (points->Size != 0 && points->Size < sizeof(TW_ENTRYPOINT)))
        return failure(TWCC_BADVALUE);
    dsm_.setEntryPoints(*points);
    return {};
}

// ---------------------------------------------------------------- user interface

Answer DataSource::enable(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    const auto* ui = static_cast<const TW_USERINTERFACE*>(data);
    if (!ui) return failure(TWCC_BADVALUE);
    if (!sourceOpen_ || windows_.exists()) return failure(TWCC_SEQERROR);
    const WindowMode mode = windowModeFor(ui->ShowUI != 0, caps_.indicators());
    if (!windows_.create(mode, *this, globals_)) return failure(TWCC_OPERATIONERROR);
    return {};
}

Answer DataSource::disable(pTW_IDENTITY, TW_UINT16, TW_MEMREF) {
    if (windows_.exists()) windows_.destroy();
    return {};
}

Answer DataSource::nothing(pTW_IDENTITY, TW_UINT16, TW_MEMREF) { return {}; }

// ---------------------------------------------------------------- negotiation

Answer DataSource::capability(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    return caps_.handle(msg, *static_cast<TW_CAPABILITY*>(data), dsm_);
}

Answer DataSource::pendingXfers(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data) {
    auto* pending = static_cast<TW_PENDINGXFERS*>(data);
    if (!pending) return failure(TWCC_BADVALUE);
    if (msg == MSG_GET) {
        pending->Count = globals_.imageBuffer.pendingImage ? 1 : 0;
        return {};
    }
    pending->Count = 0;
    if (msg == MSG_RESET) {
        globals_.imageBuffer.pendingImage.release();
        nextRow_ = 0;
    }
    return {};
}

Answer DataSource::setupMemXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    auto* setup = static_cast<TW_SETUPMEMXFER*>(data);
    if (!setup) return failure(TWCC_BADVALUE);
    setup->MinBufSize = kMinStripBuffer;
    setup->MaxBufSize = kMaxStripBuffer;
    setup->Preferred = kPreferredStripBuffer;
    return {};
}

Answer DataSource::setupFileXfer(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data) {
    auto* setup = static_cast<TW_SETUPFILEXFER*>(data);
    if (!setup) return failure(TWCC_BADVALUE);
    switch (msg) {
    case MSG_GET:
        // Only an application that already asks for BMP learns the target.
        if (setup->Format != TWFF_BMP) return failure(TWCC_BADVALUE);
        copyText(setup->FileName, sizeof setup->FileName, fileName_.c_str());
        setup->Format = fileFormat_;
        return {};
    case MSG_GETDEFAULT:
        copyText(setup->FileName, sizeof setup->FileName, kDefaultFileName);
        setup->Format = TWFF_BMP;
        return {};
    default:  // MSG_SET; a name without its terminating zero ends at the field's end
        fileName_.assign(setup->FileName, strnlen(setup->FileName, sizeof setup->FileName - 1));
        fileFormat_ = setup->Format;
        return {};
    }
}

Answer DataSource::status(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    auto* s = static_cast<TW_STATUS*>(data);
    if (!s) return failure(TWCC_BADVALUE);
    s->ConditionCode = conditionCode_;
    s->Data = 0;
    return {};
}

Answer DataSource::xferGroup(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    const TW_UINT32 group = DG_IMAGE;
    std::memcpy(data, &group, sizeof group);
    return {};
}

// ---------------------------------------------------------------- image

Answer DataSource::imageInfo(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    fillImageInfo(globals_.imageBuffer, caps_.xResolution(), caps_.yResolution(),
                  static_cast<TW_IMAGEINFO*>(data));
    return {};
}

Answer DataSource::imageLayout(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    auto* layout = static_cast<TW_IMAGELAYOUT*>(data);
    if (!layout) return failure(TWCC_BADVALUE);
    layout->DocumentNumber = 1;
    layout->PageNumber = 1;
    layout->FrameNumber = 1;
    return {};
}

Answer DataSource::nativeXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    TW_HANDLE handle = nullptr;
    const Answer a = transferNative(globals_.imageBuffer, &handle);
    if (a.rc == TWRC_XFERDONE) std::memcpy(data, &handle, sizeof handle);
    return a;
}

Answer DataSource::memoryXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    return transferStrip(globals_.imageBuffer, &nextRow_, static_cast<TW_IMAGEMEMXFER*>(data), dsm_);
}

Answer DataSource::fileXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF) {
    return transferFile(globals_.imageBuffer, fileName_);
}

Answer DataSource::palette(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data) {
    if (!data) return failure(TWCC_BADVALUE);
    fillPalette8(globals_.imageBuffer.colour, msg == MSG_GETDEFAULT, static_cast<TW_PALETTE8*>(data));
    return {};
}

}  // namespace q47::twain_source

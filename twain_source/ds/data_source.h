// The loaded data source: its process-wide state and the triplets DS_Entry answers.
//
// Plain C++ with no Qt: the window comes from a WindowHost, and the Qt glue
// (ds_entry.cpp) decides on which thread entry() runs. Everything here runs on that
// one thread: entry(), the window's timers and the TwainSide notifications.
#pragma once

#include <cstdint>
#include <string>

#include "twain/twain.h"
#include "twain_source/acquire_dialog.h"
#include "twain_source/ds/answer.h"
#include "twain_source/ds/capabilities.h"
#include "twain_source/ds/dsm_link.h"

namespace q47::twain_source {

// Makes and ends the data source's window (AcquireWindow in the module, a stand-in in tests).
class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Creates the window in mode and runs its initialisation (which may already call
    // back into twain, and through the application into DS_Entry). False when no
    // window can be made here.
    virtual bool create(WindowMode mode, TwainSide& twain, SourceGlobals& globals) = 0;
    // Ends the window at once (timers off, device closed); the object may go later.
    virtual void destroy() = 0;
    virtual bool exists() const = 0;
};

// The identity the source reports, before the manager assigns its Id. On Linux
// SupportedGroups carries DF_DS2 as well: it is how a source gets DAT_ENTRYPOINT.
TW_IDENTITY sourceIdentityAtLoad();

// File transfer target at load.
constexpr const char* kDefaultFileName = "Q47Img.bmp";

class DataSource : public TwainSide {
public:
    explicit DataSource(WindowHost& windows);
    ~DataSource() override;
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // DS_Entry. Never throws.
    TW_UINT16 entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);

    // TwainSide: MSG_XFERREADY and MSG_CLOSEDSREQ to the application through DSM_Entry.
    void notifyTransferReady() override;
    void requestClose() override;

    // For tests and the glue.
    SourceGlobals& globals() { return globals_; }
    const DsmLink& dsm() const { return dsm_; }
    const Capabilities& capabilities() const { return caps_; }
    bool sourceOpen() const { return sourceOpen_; }
    TW_UINT16 conditionCode() const { return conditionCode_; }
    uint32_t nextRow() const { return nextRow_; }
    const TW_IDENTITY& sourceIdentity() const { return sourceIdentity_; }
    const TW_IDENTITY& appIdentity() const { return appIdentity_; }
    const std::string& fileName() const { return fileName_; }

private:
    using Handler = Answer (DataSource::*)(pTW_IDENTITY origin, TW_UINT16 msg, TW_MEMREF data);
    struct Triplet {
        TW_UINT32 dg;
        TW_UINT16 dat;
        TW_UINT16 msg;
        Handler handler;
    };
    static const Triplet kTriplets[];

    TW_UINT16 dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       TW_MEMREF data);
    void startSession();
    void endSession();
    TW_UINT16 notify(TW_UINT16 msg);

    Answer identityGet(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer identityOpen(pTW_IDENTITY origin, TW_UINT16, TW_MEMREF data);
    Answer identityClose(pTW_IDENTITY, TW_UINT16, TW_MEMREF);
    Answer entryPointSet(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer enable(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer disable(pTW_IDENTITY, TW_UINT16, TW_MEMREF);
    Answer nothing(pTW_IDENTITY, TW_UINT16, TW_MEMREF);
    Answer capability(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data);
    Answer pendingXfers(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data);
    Answer setupMemXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer setupFileXfer(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data);
    Answer status(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer xferGroup(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer imageInfo(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer imageLayout(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data);
    Answer nativeXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer memoryXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF data);
    Answer fileXfer(pTW_IDENTITY, TW_UINT16, TW_MEMREF);
    Answer palette(pTW_IDENTITY, TW_UINT16 msg, TW_MEMREF data);

    WindowHost& windows_;
    DsmLink dsm_;
    SourceGlobals globals_;
    Capabilities caps_;
    TW_IDENTITY sourceIdentity_;
    TW_IDENTITY appIdentity_{};
    bool sourceOpen_ = false;
    uint32_t nextRow_ = 0;
    TW_UINT16 conditionCode_ = TWCC_SUCCESS;
    std::string fileName_ = kDefaultFileName;
    TW_UINT16 fileFormat_ = TWFF_BMP;
};

}  // namespace q47::twain_source

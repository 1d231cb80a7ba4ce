// One TWAIN application session on the source manager: open, negotiate, wait, transfer, close.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "twain/twain.h"

namespace q47::scan {

// What the source told us through the callback while we waited.
enum class SourceEvent { None, XferReady, CloseRequested };

class TwainSession {
public:
    // progress receives one line of text (no newline) for the user.
    explicit TwainSession(std::function<void(const std::string&)> progress);
    ~TwainSession();  // takes the session back down from whatever state it reached
    TwainSession(const TwainSession&) = delete;
    TwainSession& operator=(const TwainSession&) = delete;

    // Memory transfers report how much has arrived here, in percent (else as text lines).
    void setPercentShown(std::function<void(const std::string& what, int percent)> shown) {
        percent_ = std::move(shown);
    }

    bool openManager(std::string* error);
    // Every source the manager offers; *defaultName gets the default's product name.
    std::vector<TW_IDENTITY> sources(std::string* defaultName);
    // Opens the first source whose ProductName contains nameContains and registers the callback.
    bool openSource(const std::string& nameContains, std::string* error);
    const TW_IDENTITY& source() const { return source_; }

    // MSG_SET of a one-value capability; the source's answer and condition go to *error.
    bool setCapability(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, std::string* error);
    // MSG_GETCURRENT of a one-value capability.
    bool currentCapability(TW_UINT16 cap, TW_UINT32* value);

    bool enable(bool showUi, std::string* error);
    // Waits for MSG_XFERREADY or MSG_CLOSEDSREQ; None after timeoutSeconds (0: no limit).
    SourceEvent waitForSource(double timeoutSeconds);

    // The three transfers; each delivers a packed DIB, or leaves the source's file at target.
    bool transferNative(std::vector<uint8_t>* dib, std::string* error);
    bool transferMemory(std::vector<uint8_t>* dib, std::string* error);
    bool transferFile(const std::string& target, std::string* error);
    // MSG_ENDXFER, and MSG_RESET when the source still holds further images.
    void endTransfers();

    // Called by the source manager's callback, possibly on another thread.
    void notify(TW_UINT16 msg);

private:
    TW_UINT16 call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    std::string failure(const char* what, TW_UINT16 rc);  // text with the condition code
    TW_HANDLE allocate(TW_UINT32 size);
    void release(TW_HANDLE handle);
    TW_MEMREF lock(TW_HANDLE handle);
    void unlock(TW_HANDLE handle);

    std::function<void(const std::string&)> progress_;
    std::function<void(const std::string&, int)> percent_;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    TW_ENTRYPOINT entry_{};
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
    bool enabled_ = false;
    bool transferring_ = false;  // between MSG_XFERREADY and the end of the transfers

    std::mutex mutex_;
    std::condition_variable changed_;
    SourceEvent event_ = SourceEvent::None;
};

}  // namespace q47::scan

// TVIkNoUiControl: progress slot handling shared by TVIkFile and TVIkEffect.
#include "imaging/Iknouicontrol.h"

#include "imaging/Ikdllprocs.h"

TVIkNoUiControl::TVIkNoUiControl(QObject* owner) : QObject(owner) {}

TVIkNoUiControl::~TVIkNoUiControl() {
    // A component destroyed from inside its own progress event must not stay active.
    if (installedIn_) removeProgress(*installedIn_);
}

IKProgressProc TVIkNoUiControl::installProgress(TVIkProgressSlot& slot) {
    if (!Caption.isEmpty() || !Message.isEmpty() || !ButtonName.isEmpty()) return nullptr;
    if (slot.active && slot.active != this) return nullptr;
    slot.active = this;
    installedIn_ = &slot;
    Cancel = false;
    lastPercent_ = -1;
    return slot.proc;
}

void TVIkNoUiControl::removeProgress(TVIkProgressSlot& slot) {
    if (slot.active == this) slot.active = nullptr;
    if (installedIn_ == &slot) installedIn_ = nullptr;
}

IKBOOL TVIkNoUiControl::progressFor(TVIkProgressSlot& slot, int16_t percent) {
    TVIkNoUiControl* c = slot.active;
    if (!c) return 0;
    if (percent != c->lastPercent_) {
        c->lastPercent_ = percent;
        if (c->OnProgress) c->OnProgress(c, percent);
    }
    // The event may have ended the component's turn (or the component itself).
    if (slot.active != c) return 0;
    return c->Cancel ? 0 : -1;
}

void TVIkNoUiControl::takeEngineStatus() {
    ErrorStatus = Ikdllprocs::IKGetErrorStatus ? Ikdllprocs::IKGetErrorStatus() : uint16_t{IK_ERR_ENTRY_MISSING};
}

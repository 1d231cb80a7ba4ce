// TVIkNoUiControl: base of the non-visual file and effect components, with the
// progress-callback slot each component family shares process-wide.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "imaging/engine/ik_api.h"

class TVIkNoUiControl;
using TVIkProgressEvent = std::function<void(QObject* sender, int16_t percent)>;

// One per component family (file, effect): the component whose operation currently
// receives the engine's progress calls, and the C callback bound to it.
struct TVIkProgressSlot {
    TVIkNoUiControl* active = nullptr;
    IKProgressProc proc = nullptr;
};

class TVIkNoUiControl : public QObject {
public:
    explicit TVIkNoUiControl(QObject* owner = nullptr);
    ~TVIkNoUiControl() override;

    // Texts for the engine's own progress display; any of them set means the engine
    // shows progress itself and this component gets no callback.
    QString Caption, Message, ButtonName;
    TVIkProgressEvent OnProgress;
    uint16_t ErrorStatus = 0;
    bool Cancel = false;  // read by the progress callback: true stops the operation
    int Tag = 0;

protected:
    // Installs the callback when the three texts are empty and no other component of
    // the family is active (clearing Cancel and the last percent); answers what to pass
    // to the engine: the callback or null.
    IKProgressProc installProgress(TVIkProgressSlot& slot);
    void removeProgress(TVIkProgressSlot& slot);
    // What the engine's callback does for the family's active component.
    static IKBOOL progressFor(TVIkProgressSlot& slot, int16_t percent);
    // The three texts in the engine's text form, kept alive for one call.
    QByteArray caption8() const { return Caption.toLocal8Bit(); }
    QByteArray message8() const { return Message.toLocal8Bit(); }
    QByteArray button8() const { return ButtonName.toLocal8Bit(); }
    // ErrorStatus := IKGetErrorStatus(), or 14 without that entry.
    void takeEngineStatus();

private:
    int lastPercent_ = -1;
    TVIkProgressSlot* installedIn_ = nullptr;
};

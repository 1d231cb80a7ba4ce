// TfrmFull: the merged picture of the image window over the whole screen, on black.
#pragma once

#include <QWidget>

#include "capture/composition_geometry.h"
#include "imaging/engine/ik_api.h"

class TVIkCommon;
class TVIkDisp;

namespace q47::capture {

// Display size on a screen `screenWidth` wide: the full width, and the height by the
// aspect (0.66666 for 2:3, 0.5 for 1:2) rounded to the nearest integer.
Size FullScreenDisplaySize(int32_t screenWidth, SheetAspect aspect);

class TfrmFull : public QWidget {
public:
    explicit TfrmFull(QWidget* parent = nullptr);
    ~TfrmFull() override;

    // Shows a copy of `picture` (never freed here) at the width of the screen.
    void ShowPicture(IKHANDLE picture, SheetAspect aspect, int32_t screenWidth);
    // Maximised, the display centred vertically, topmost.
    void FormShow();
    // Frees the display's copy; always allows closing.
    bool FormCloseQuery();

    TVIkDisp* VIkDisp1 = nullptr;
    TVIkCommon* VIkCommon1 = nullptr;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void placeDisplay();
    Size displaySize_{};
};

}  // namespace q47::capture

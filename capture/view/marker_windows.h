// The four marker rings on the projector monitor (TfrmMarker) and their owner
// (TfrmMakerManager), which draws, places, shows and hides them.
#pragma once

#include <QRect>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "capture/marker_geometry.h"
#include "capture/settings.h"

namespace q47::capture {

// One ring: a borderless, always-on-top window whose shape is the ring itself, so the
// desktop shows through everywhere else without a compositor.
class TfrmMarker : public QWidget {
public:
    TfrmMarker(int32_t size, int32_t ringWidth, uint32_t colour);
    const RgbImage& ring() const { return ring_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    RgbImage ring_;
    QImage picture_;
};

class TfrmMakerManager : public QObject {
public:
    explicit TfrmMakerManager(AppSettings& settings) : settings_(settings) {}
    ~TfrmMakerManager() override;

    // New windows in the colour (0xBBGGRR), placed on the SelectMonitor screen; shown when
    // visible. A SelectMonitor beyond the screens becomes 0 and onMonitorReset runs.
    void ShowMarkers(bool visible, uint32_t colour);
    // Raises the four windows above other windows without activating them.
    void raiseMarkers();

    // Top-left, top-right, bottom-right, bottom-left; null before the first ShowMarkers.
    TfrmMarker* marker(int i) const { return markers_[i].get(); }
    // The selected monitor's rectangle as last placed.
    QRect monitorRect() const { return monitor_; }
    std::function<void()> onMonitorReset;

private:
    AppSettings& settings_;
    std::array<std::unique_ptr<TfrmMarker>, 4> markers_;
    QRect monitor_;
};

}  // namespace q47::capture

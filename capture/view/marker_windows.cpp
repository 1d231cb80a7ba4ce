// Marker ring windows and the manager that places them on the projector monitor.
#include "capture/view/marker_windows.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace q47::capture {

namespace {

// The ring picture as a Qt image (RgbImage rows are blue, green, red).
QImage ToImage(const RgbImage& ring) {
    QImage img(ring.width, ring.height, QImage::Format_RGB32);
    for (int y = 0; y < ring.height; ++y) {
        const uint8_t* s = ring.row(y);
        auto* d = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < ring.width; ++x) d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
    }
    return img;
}

// The window's shape: every pixel of the ring that is not the yellow key.
QRegion RingRegion(const RgbImage& ring) {
    const std::vector<uint8_t> shape = MarkerRingShape(ring);
    QRegion region;
    for (int y = 0; y < ring.height; ++y) {
        int x = 0;
        while (x < ring.width) {
            while (x < ring.width && !shape[static_cast<size_t>(y) * ring.width + x]) ++x;
            const int start = x;
            while (x < ring.width && shape[static_cast<size_t>(y) * ring.width + x]) ++x;
            if (x > start) region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

}  // namespace

TfrmMarker::TfrmMarker(int32_t size, int32_t ringWidth, uint32_t colour)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint),
      ring_(DrawMarkerRing(size, ringWidth, colour)),
      picture_(ToImage(ring_)) {
    setObjectName("frmMarker");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(size, size);
    setMask(RingRegion(ring_));
}

void TfrmMarker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void TfrmMarker::showEvent(QShowEvent*) {
    raise();
}

TfrmMakerManager::~TfrmMakerManager() = default;

void TfrmMakerManager::ShowMarkers(bool visible, uint32_t colour) {
    for (auto& m : markers_) m.reset();
    const QList<QScreen*> screens = QGuiApplication::screens();
    const MonitorChoice choice = ResolveMonitor(settings_.SelectMonitor, static_cast<int>(screens.size()));
    if (choice.reset) {
        settings_.SelectMonitor = 0;
        if (onMonitorReset) onMonitorReset();
    }
    if (screens.isEmpty()) return;
    monitor_ = screens[choice.index]->geometry();
    const MarkerLayout layout =
        MarkerLayoutFor(monitor_.left(), monitor_.top(), monitor_.width(), monitor_.height());
    for (int i = 0; i < 4; ++i) {
        markers_[i] = std::make_unique<TfrmMarker>(layout.size, layout.ringWidth, colour);
        markers_[i]->move(layout.windows[i].x, layout.windows[i].y);
        if (visible) markers_[i]->show();
    }
}

void TfrmMakerManager::raiseMarkers() {
    for (auto& m : markers_)
        if (m && m->isVisible()) m->raise();
}

}  // namespace q47::capture

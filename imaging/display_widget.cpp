// TVIkDisp: properties, engine handles, painting and Qt's input turned into the
// control's events; the rules themselves are in display_geometry and display_compose.
#include "imaging/display_widget.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"

using q47::disp::BaseSource;
using q47::disp::ComposeLayer;
using q47::disp::DispInput;

namespace {

QColor qcolor(TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

bool describe(IKHANDLE h, IKImageInfo* info) {
    return h && Ikdllprocs::IKGetImageType && Ikdllprocs::IKGetImageType(h, info);
}

// An engine image locked for as long as this lives, seen as a DIB.
class LockedImage {
public:
    explicit LockedImage(IKHANDLE h) : handle_(h) {
        if (!h || !Ikdllprocs::IKLockImage || !Ikdllprocs::IKUnlockImage) return;
        uint32_t size = 0;
        const void* p = Ikdllprocs::IKLockImage(h, &size);
        if (!p) return;
        locked_ = true;
        parsed_ = q47::dib::parse(static_cast<const uint8_t*>(p), size, &view_);
    }
    ~LockedImage() {
        if (locked_) Ikdllprocs::IKUnlockImage(handle_);
    }
    LockedImage(const LockedImage&) = delete;
    LockedImage& operator=(const LockedImage&) = delete;
    bool locked() const { return locked_; }
    bool ok() const { return locked_ && parsed_; }
    const q47::dib::View& view() const { return view_; }

private:
    IKHANDLE handle_;
    bool locked_ = false, parsed_ = false;
    q47::dib::View view_;
};

// A handle that can be locked and describes itself as a raster image.
bool validRaster(IKHANDLE h, IKImageInfo* info) {
    LockedImage lock(h);
    return lock.ok() && describe(h, info) && (info->kind & 0xFF) == IK_RASTER && info->width > 0 &&
           info->height > 0;
}

TMouseButton buttonOf(Qt::MouseButton b) {
    return b == Qt::RightButton ? mbRight : b == Qt::MiddleButton ? mbMiddle : mbLeft;
}

TShiftState shiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons b) {
    TShiftState s = 0;
    if (m & Qt::ShiftModifier) s |= ssShift;
    if (m & Qt::AltModifier) s |= ssAlt;
    if (m & Qt::ControlModifier) s |= ssCtrl;
    if (b & Qt::LeftButton) s |= ssLeft;
    if (b & Qt::RightButton) s |= ssRight;
    if (b & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

int blinkMs(TVIkBlinkSpeed s) {
    return s == vikSlow ? 1000 : s == vikFast ? 250 : 500;
}

}  // namespace

// ---- TCRaster

bool TCRaster::ownerHasImage() const {
    return !owner_ || owner_->handle_ != 0;
}

void TCRaster::setImgHandle(IKHANDLE handle) {
    IKImageInfo info{};
    handle_ = validRaster(handle, &info) ? handle : 0;
    width_ = handle_ ? info.width : 0;
    height_ = handle_ ? info.height : 0;
    if (owner_ && handle_ && !owner_->handle_) {
        // Without a base image the layers set the resolution the rulers and tooltip use.
        owner_->xdpi_ = info.xDpi > 0 ? info.xDpi : 72;
        owner_->ydpi_ = info.yDpi > 0 ? info.yDpi : 72;
        owner_->relayout();
    }
    rebuild();
    if (owner_) owner_->update();
}

void TCRaster::setShowInDisp(bool show) {
    show_ = show;
    if (owner_) owner_->Refresh();
}

void TCRaster::setEnableTrans(bool on) {
    trans_ = on;
    rebuild();
    if (owner_) owner_->update();
}

void TCRaster::setTransColor(uint16_t red, uint16_t green, uint16_t blue) {
    const bool changed = red != red_ || green != green_ || blue != blue_;
    red_ = red;
    green_ = green;
    blue_ = blue;
    if (changed && trans_) {
        rebuild();
        if (owner_) owner_->update();
    }
}

void TCRaster::setStartX(int v) {
    if (ownerHasImage()) startX_ = v;
}

void TCRaster::setStartY(int v) {
    if (ownerHasImage()) startY_ = v;
}

void TCRaster::Assign(const TCRaster& from) {
    ShowInPanWindow = from.ShowInPanWindow;
    show_ = from.show_;
    trans_ = from.trans_;
    red_ = from.red_;
    green_ = from.green_;
    blue_ = from.blue_;
    setImgHandle(from.handle_);
    setStartX(from.startX_);
    setStartY(from.startY_);
}

void TCRaster::rebuild() {
    pixels_ = {};
    if (!handle_) return;
    LockedImage lock(handle_);
    if (!lock.ok() ||
        !q47::disp::BuildLayerPixels(lock.view(), trans_, red_, green_, blue_, &pixels_))
        pixels_ = {};
}

// ---- TCVector

void TCVector::setImgHandle(IKHANDLE handle) {
    IKImageInfo info{};
    const int kind = describe(handle, &info) ? (info.kind & 0xFF) : IK_INVALID;
    const bool vector = kind == IK_VECTOR_WMF || kind == IK_VECTOR_EMF || kind == IK_VECTOR_DXF;
    handle_ = vector ? handle : 0;
    width_ = vector ? std::max(0, info.width) : 0;
    height_ = vector ? std::max(0, info.height) : 0;
}

void TCVector::Assign(const TCVector& from) {
    ShowInDisp = from.ShowInDisp;
    ShowInPanWindow = from.ShowInPanWindow;
    StartX = from.StartX;
    StartY = from.StartY;
    setImgHandle(from.handle_);
}

// ---- TVIkDisp

TVIkDisp::TVIkDisp(QWidget* parent) : QWidget(parent) {
    InitializeIK();
    for (TCRaster& r : rasters_) r.owner_ = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    resize(100, 100);
    blink_ = new QTimer(this);
    QObject::connect(blink_, &QTimer::timeout, this, [this] {
        blinkPhase_ = !blinkPhase_;
        update();
    });
}

TVIkDisp::~TVIkDisp() {
    releaseSmoothed();
    TerminateIK();
}

void TVIkDisp::SetImgHandle(IKHANDLE handle) {
    geom_ = {};
    hideScrollBars();
    releaseSmoothed();
    IKImageInfo info{};
    handle_ = validRaster(handle, &info) ? handle : 0;
    imageWidth_ = handle_ ? info.width : 0;
    imageHeight_ = handle_ ? info.height : 0;
    imageBits_ = handle_ ? info.bitCount : 0;
    if (handle_) {
        int32_t x = 0, y = 0;
        if (!Ikdllprocs::IKGetDpi || !Ikdllprocs::IKGetDpi(handle_, &x, &y)) x = y = 0;
        xdpi_ = x > 0 ? x : 72;
        ydpi_ = y > 0 ? y : 72;
        relayout();
    }
    update();
}

void TVIkDisp::setRefine1BitImageScale(double v) {
    if (v >= 0 && v < 1) refineScale_ = v;
    if (refineScale_ == 0) releaseSmoothed();
}

QPoint TVIkDisp::ClientToImage(QPoint c) const {
    if (!geom_.drawn) return {};
    return {geom_.clientToImageX(c.x()), geom_.clientToImageY(c.y())};
}

QPoint TVIkDisp::ImageToClient(QPoint i) const {
    if (!geom_.drawn) return {};
    return {geom_.imageToClientX(i.x()), geom_.imageToClientY(i.y())};
}

void TVIkDisp::SetOutline(const QPolygon& clientPoints) {
    outline_ = clientPoints;
    update();
}

void TVIkDisp::setRectDraw(bool on) {
    rectDraw_ = on;
    if (on)
        blink_->start(blinkMs(blinkSpeed_));
    else
        blink_->stop();
    update();
}

void TVIkDisp::setBlinkSpeed(TVIkBlinkSpeed speed) {
    blinkSpeed_ = speed;
    if (rectDraw_) blink_->start(blinkMs(speed));
}

bool TVIkDisp::Display(TVIkDispMode mode) {
    ErrorStatus = 0;
    if (mode < vikClear || mode > vikActualSize) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    mode_ = mode;
    relayout();
    update();
    if (mode == vikClear) return true;
    if (!handle_) {
        ErrorStatus = IK_ERR_IMAGE;
        return false;
    }
    if (!LockedImage(handle_).locked()) {
        ErrorStatus = 3;
        return false;
    }
    if (!geom_.drawn) {
        ErrorStatus = 2;
        return false;
    }
    return true;
}

void TVIkDisp::Refresh() {
    relayout();
    update();
}

bool TVIkDisp::Modify() {
    ErrorStatus = IK_ERR_ARGUMENT;
    return false;
}

TCRaster* TVIkDisp::GetRaster(int index) {
    return &rasters_[index >= 0 && index < kLayers ? index : 0];
}

void TVIkDisp::SetRaster(int index, const TCRaster& raster) {
    if (index < 0 || index >= kLayers || &raster == &rasters_[index]) return;
    rasters_[index].Assign(raster);
}

TCVector* TVIkDisp::GetVector(int index) {
    return &vectors_[index >= 0 && index < kLayers ? index : 0];
}

void TVIkDisp::SetVector(int index, const TCVector& vector) {
    if (index < 0 || index >= kLayers || &vector == &vectors_[index]) return;
    vectors_[index].Assign(vector);
}

bool TVIkDisp::Zoom(int left, int top, int right, int bottom) {
    ErrorStatus = 0;
    if (!handle_) {
        ErrorStatus = IK_ERR_IMAGE;
        return false;
    }
    q47::disp::DispGeometry area;
    DispInput in;
    in.clientWidth = width();
    in.clientHeight = height();
    in.rulers = Grad != vikNone;
    in.border = BorderVisible;
    in.appearance = Appearance;
    q47::disp::ComputeArea(in, &area);
    const auto z = q47::disp::ComputeZoom(imageWidth_, imageHeight_, area.areaWidth(),
                                          area.areaHeight(), left, top, right, bottom);
    if (!z) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    DispCenterX = z->centerX;
    DispCenterY = z->centerY;
    setDispScale(z->scale);
    return Display(vikActualSize);
}

bool TVIkDisp::ScrollImage(TVIkScrollDir direction) {
    ErrorStatus = 0;
    if (mode_ != vikActualSize) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    q47::disp::ScrollOrigin(direction, ScrollWidth, ScrollHeight, &StartX, &StartY);
    Refresh();
    return true;
}

void TVIkDisp::SetToolTip(TVIkUnit unit) {
    toolTip_ = unit;
    if (unit == vikNone) QToolTip::hideText();
}

QString TVIkDisp::ToolTipText(int X, int Y) const {
    switch (toolTip_) {
        case vikPixel:
            return QString::asprintf(" %d %d pixel", X, Y);
        case vikmm:
            return QString::asprintf(" %7.1f %7.1f mm", X * 25.4 / xdpi_, Y * 25.4 / ydpi_);
        case vikInch:
            return QString::asprintf(" %7.1f %7.1f inch", double(X) / xdpi_, double(Y) / ydpi_);
        case vikNone:
            break;
    }
    return {};
}

bool TVIkDisp::ShowPanWindow(bool show) {
    ErrorStatus = 0;
    if (show) {
        if (!handle_) {
            ErrorStatus = IK_ERR_IMAGE;
            return false;
        }
        if (mode_ != vikActualSize) {
            ErrorStatus = 2;
            return false;
        }
    }
    if (OnPanWindow) OnPanWindow(this, show);
    return true;
}

// ---- geometry and scroll bars

void TVIkDisp::relayout() {
    DispInput in;
    in.clientWidth = width();
    in.clientHeight = height();
    in.rulers = Grad != vikNone;
    in.border = BorderVisible;
    in.appearance = Appearance;
    in.mode = handle_ ? mode_ : vikClear;
    in.imageWidth = imageWidth_;
    in.imageHeight = imageHeight_;
    in.dispScale = dispScale_;
    in.startX = StartX;
    in.startY = StartY;
    in.centerX = DispCenterX;
    in.centerY = DispCenterY;
    geom_ = q47::disp::ComputeGeometryWithBars(in, ScrollBar,
                                               style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    if (geom_.drawn) {
        StartX = geom_.ALeft;
        StartY = geom_.ATop;
    }
    DispCenterX = DispCenterY = 0;
    placeScrollBars();
}

void TVIkDisp::hideScrollBars() {
    if (hbar_) hbar_->hide();
    if (vbar_) vbar_->hide();
}

void TVIkDisp::placeScrollBars() {
    const int thick = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    auto place = [&](QScrollBar*& bar, Qt::Orientation o, const q47::disp::ScrollBarState& s,
                     int step) {
        if (!s.visible) {
            if (bar) bar->hide();
            return;
        }
        if (!bar) {
            bar = new QScrollBar(o, this);
            QScrollBar* b = bar;
            QObject::connect(bar, &QAbstractSlider::actionTriggered, this,
                             [this, b](int a) { onScrollAction(b, a); });
        }
        const QSignalBlocker quiet(bar);
        bar->setRange(0, std::max(0, s.max + 1 - s.page));
        bar->setPageStep(s.page);
        bar->setSingleStep(step);
        bar->setValue(s.pos);
        bar->show();
    };
    place(hbar_, Qt::Horizontal, geom_.hbar, ScrollWidth);
    place(vbar_, Qt::Vertical, geom_.vbar, ScrollHeight);
    const bool h = geom_.hbar.visible, v = geom_.vbar.visible;
    if (h) hbar_->setGeometry(0, height() - thick, width() - (v ? thick : 0), thick);
    if (v) vbar_->setGeometry(width() - thick, 0, thick, height() - (h ? thick : 0));
}

void TVIkDisp::onScrollAction(QScrollBar* bar, int action) {
    TScrollCode code;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            code = scLineUp;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            code = scLineDown;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = scPageUp;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = scPageDown;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = scTop;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = scBottom;
            break;
        case QAbstractSlider::SliderMove:
            code = scTrack;
            break;
        default:
            return;
    }
    const bool horizontal = bar == hbar_;
    scrollBy(code, horizontal, bar->sliderPosition());
    // The bar applies the position we leave here, not its own step.
    bar->setSliderPosition(horizontal ? StartX : StartY);
}

void TVIkDisp::scrollBy(TScrollCode code, bool horizontal, int thumb) {
    int32_t& origin = horizontal ? StartX : StartY;
    if (mode_ == vikActualSize && handle_) {
        origin = q47::disp::ScrollBarOrigin(code, origin, horizontal ? ScrollWidth : ScrollHeight,
                                            horizontal ? geom_.visibleWidth : geom_.visibleHeight,
                                            (horizontal ? imageWidth_ : imageHeight_) - 1, thumb);
        relayout();
        update();
    }
    if (OnScrollDispImage)
        OnScrollDispImage(this, code, static_cast<int16_t>(origin),
                          horizontal ? vikHorizontal : vikVertical);
}

// ---- painting

void TVIkDisp::releaseSmoothed() {
    if (smoothed_ && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(smoothed_);
    smoothed_ = smoothedFrom_ = 0;
    smoothedWidth_ = smoothedHeight_ = 0;
}

IKHANDLE TVIkDisp::smoothedBase(BaseSource* base) {
    const auto hasVector = std::any_of(vectors_.begin(), vectors_.end(),
                                       [](const TCVector& v) { return v.ImgHandle(); });
    if (!Refine1BitImage || EditEnable || imageBits_ != 1 || hasVector) return 0;
    bool reduce = false;
    if (mode_ == vikActualSize)
        reduce = refineScale_ > 0 && refineScale_ < 1 && dispScale_ < refineScale_;
    else
        reduce = geom_.areaWidth() < imageWidth_ || geom_.areaHeight() < imageHeight_;
    if (!reduce) return 0;
    const int w = geom_.fullWidth, h = geom_.fullHeight;
    if (smoothedFrom_ != handle_ || smoothedWidth_ != w || smoothedHeight_ != h) {
        releaseSmoothed();
        if (!Ikdllprocs::IKConvertColor || !Ikdllprocs::IKResizeEx || !Ikdllprocs::IKFreeMemory)
            return 0;
        const IKHANDLE grey =
            Ikdllprocs::IKConvertColor(handle_, 8, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        if (!grey) return 0;
        const IKHANDLE in[2] = {grey, 0};
        IKHANDLE out[2] = {0, 0};
        if (Ikdllprocs::IKResizeEx(in, out, w, h, 1, nullptr, nullptr, nullptr, nullptr))
            smoothed_ = out[0];
        Ikdllprocs::IKFreeMemory(grey);
        if (!smoothed_) return 0;
        smoothedFrom_ = handle_;
        smoothedWidth_ = w;
        smoothedHeight_ = h;
    }
    // The copy holds the whole image at the drawn scale; skip what is scrolled out.
    base->screenSized = true;
    base->offsetX = static_cast<int>((int64_t(geom_.ALeft) * w + imageWidth_ - 1) / imageWidth_);
    base->offsetY = static_cast<int>((int64_t(geom_.ATop) * h + imageHeight_ - 1) / imageHeight_);
    return smoothed_;
}

void TVIkDisp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintPicture(p);
}

void TVIkDisp::paintPicture(QPainter& p) {
    const int thick = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QRect client(0, 0, width() - (geom_.vbar.visible ? thick : 0),
                       height() - (geom_.hbar.visible ? thick : 0));
    const QRect area(geom_.areaLeft, geom_.areaTop, geom_.areaWidth(), geom_.areaHeight());
    const QRect image(geom_.OriginX, geom_.OriginY, geom_.drawnWidth, geom_.drawnHeight);
    bool drawn = geom_.drawn && handle_ && mode_ != vikClear;

    if (drawn) {
        BaseSource base;
        base.fill =
            0xFF000000u | ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
        IKHANDLE source = 0;
        if (ShowInDisp) {
            source = smoothedBase(&base);
            if (!source) source = handle_;
        }
        LockedImage lock(source);
        if (source && !lock.ok()) {
            ErrorStatus = 3;
            drawn = false;
        } else {
            if (source) base.image = &lock.view();
            std::vector<ComposeLayer> layers;
            IKImageInfo info{};
            for (const TCRaster& r : rasters_) {
                // A layer image freed by its owner since it was set is no longer drawn.
                if (r.show_ && r.handle_ && !r.pixels_.pixels.empty() && describe(r.handle_, &info))
                    layers.push_back({&r.pixels_, r.startX_, r.startY_});
            }
            if (frame_.width() != image.width() || frame_.height() != image.height())
                frame_ = QImage(image.size(), QImage::Format_RGB32);
            q47::disp::Compose(geom_, base, layers.data(), static_cast<int>(layers.size()),
                               reinterpret_cast<uint32_t*>(frame_.bits()),
                               frame_.bytesPerLine() / 4);
            p.drawImage(image.topLeft(), frame_);
        }
    }

    // Around the image: Color, with the hatch over the rest of the image area.
    const QRegion outside = QRegion(client) - (drawn ? QRegion(image) : QRegion());
    if (!outside.isEmpty()) {
        p.save();
        p.setClipRegion(outside);
        p.fillRect(client, qcolor(Color));
        if (drawn && InvalidHatchPattern)
            p.fillRect(area, QBrush(qcolor(InvalidHatchColor), Qt::DiagCrossPattern));
        p.restore();
    }
    if (drawn) {
        paintGrid(p);
        paintRect(p);
    }
    if (Grad != vikNone) paintRulers(p);
    if (BorderVisible) {
        if (Appearance == vikFlat) {
            p.setPen(qcolor(BorderColor));
            p.setBrush(Qt::NoBrush);
            p.drawRect(client.adjusted(0, 0, -1, -1));
        } else {
            qDrawShadePanel(&p, client, palette(), Appearance == vikLowered, 2);
        }
    }
    if (!outline_.isEmpty()) {
        p.setPen(Pen);
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(outline_);
    }
    if (drawn && OnEndDispImage)
        OnEndDispImage(this, geom_.OriginX, geom_.OriginY, geom_.ALeft, geom_.ATop, geom_.ARight,
                       geom_.ABottom, geom_.ScaleWidth(), geom_.ScaleHeight());
}

namespace {

// Image pixels per unit step of rulers and grid.
double pixelsPerUnit(TVIkUnit unit, int dpi) {
    switch (unit) {
        case vikmm:
            return dpi / 25.4;
        case vikInch:
            return dpi;
        default:
            return 1.0;
    }
}

}  // namespace

void TVIkDisp::paintRulers(QPainter& p) {
    using q47::disp::kRulerBand;
    p.fillRect(0, 0, width(), kRulerBand, qcolor(GradBackColor));
    p.fillRect(0, 0, kRulerBand, height(), qcolor(GradBackColor));
    p.setPen(qcolor(GradColor));
    if (!geom_.drawn || mode_ == vikClear) return;
    QFont f = p.font();
    f.setPixelSize(8);
    p.setFont(f);
    // Ticks every 1, 2, 5, 10 ... units, at least 6 screen pixels apart; labels every 5th.
    auto axis = [&](bool horizontal) {
        const double ppu = pixelsPerUnit(Grad, horizontal ? xdpi_ : ydpi_);
        const double scale = horizontal ? geom_.ScaleWidth() : geom_.ScaleHeight();
        double step = 1;
        for (int i = 0; step * ppu * scale < 6 && i < 30; ++i) step *= (i % 3 == 1) ? 2.5 : 2;
        const int first = horizontal ? geom_.ALeft : geom_.ATop;
        const int last = horizontal ? geom_.ARight : geom_.ABottom;
        const long k0 = static_cast<long>(std::ceil(first / ppu / step));
        for (long k = k0; k * step * ppu <= last + 1; ++k) {
            const int px = static_cast<int>(std::lround(k * step * ppu));
            const int c = horizontal ? geom_.imageToClientX(px) : geom_.imageToClientY(px);
            const int len = k % 5 == 0 ? 10 : 4;
            if (horizontal) {
                p.drawLine(c, kRulerBand - len, c, kRulerBand - 1);
                if (k % 5 == 0) p.drawText(c + 2, 9, QString::number(k * step));
            } else {
                p.drawLine(kRulerBand - len, c, kRulerBand - 1, c);
                if (k % 5 == 0) p.drawText(1, c + 9, QString::number(k * step));
            }
        }
    };
    axis(true);
    axis(false);
}

void TVIkDisp::paintGrid(QPainter& p) {
    if (Grid == vikNone || GridSpace <= 0) return;
    const double sx = GridSpace * pixelsPerUnit(Grid, xdpi_),
                 sy = GridSpace * pixelsPerUnit(Grid, ydpi_);
    if (sx * geom_.ScaleWidth() < 3 || sy * geom_.ScaleHeight() < 3)
        return;  // would grey the picture
    const QRect image(geom_.OriginX, geom_.OriginY, geom_.drawnWidth, geom_.drawnHeight);
    p.save();
    p.setClipRect(image);
    p.setPen(qcolor(GridColor));
    for (double x = std::ceil(geom_.ALeft / sx) * sx; x <= geom_.ARight; x += sx) {
        const int c = geom_.imageToClientX(static_cast<int>(std::lround(x)));
        p.drawLine(c, image.top(), c, image.bottom());
    }
    for (double y = std::ceil(geom_.ATop / sy) * sy; y <= geom_.ABottom; y += sy) {
        const int c = geom_.imageToClientY(static_cast<int>(std::lround(y)));
        p.drawLine(image.left(), c, image.right(), c);
    }
    p.restore();
}

void TVIkDisp::paintRect(QPainter& p) {
    if (!rectDraw_) return;
    // Clamped to the image (one pixel beyond it at most) so any values draw sanely.
    auto cx = [&](int32_t v) { return std::clamp(v, -1, imageWidth_); };
    auto cy = [&](int32_t v) { return std::clamp(v, -1, imageHeight_); };
    const int l = geom_.imageToClientX(cx(std::min(RectLeft, RectRight)));
    const int t = geom_.imageToClientY(cy(std::min(RectTop, RectBottom)));
    const int r = geom_.imageToClientX(cx(std::max(RectLeft, RectRight)) + 1) - 1;
    const int b = geom_.imageToClientY(cy(std::max(RectTop, RectBottom)) + 1) - 1;
    const QRect rc(QPoint(l, t), QPoint(std::max(l, r), std::max(t, b)));
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(qcolor(blinkPhase_ ? RectColor2 : RectColor1), 1));
    p.drawRect(rc);
    p.setPen(QPen(qcolor(blinkPhase_ ? RectColor1 : RectColor2), 1, Qt::DashLine));
    p.drawRect(rc);
    p.restore();
}

void TVIkDisp::resizeEvent(QResizeEvent*) {
    relayout();
    update();
}

// ---- mouse

void TVIkDisp::selectLayers(bool down, int X, int Y) {
    std::array<q47::disp::LayerBox, kLayers> boxes;
    for (int i = 0; i < kLayers; ++i) {
        const TCVector& v = vectors_[i];
        boxes[i] = {v.ShowInDisp && v.ImgHandle() != 0, v.StartX, v.StartY, v.Width(), v.Height()};
    }
    if (const auto hit = q47::disp::HitTestLayers(boxes.data(), kLayers, X, Y)) {
        const auto& ev = down ? OnMouseDownSelectVectorImage : OnMouseUpSelectVectorImage;
        if (ev) ev(this, static_cast<int16_t>(hit->index), hit->x, hit->y);
    }
    for (int i = 0; i < kLayers; ++i) {
        const TCRaster& r = rasters_[i];
        boxes[i] = {r.show_ && r.handle_ != 0, r.startX_, r.startY_, r.width_, r.height_};
    }
    if (const auto hit = q47::disp::HitTestLayers(boxes.data(), kLayers, X, Y)) {
        const auto& ev = down ? OnMouseDownSelectRasterImage : OnMouseUpSelectRasterImage;
        if (ev) ev(this, static_cast<int16_t>(hit->index), hit->x, hit->y);
    }
}

void TVIkDisp::mousePressEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    const TMouseButton button = buttonOf(e->button());
    if (OnMouseDown)
        OnMouseDown(this, button, shiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y());
    if (e->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        grabMouse();
        pressedInside_ = true;
        if (ScrollDrag && mode_ == vikActualSize) {
            dragging_ = true;
            dragFrom_ = pt;
            dragStartX_ = StartX;
            dragStartY_ = StartY;
        }
    }
    if (!geom_.contains(pt.x(), pt.y())) return;
    const int X = geom_.clientToImageX(pt.x()), Y = geom_.clientToImageY(pt.y());
    if (e->button() == Qt::LeftButton) selectLayers(true, X, Y);
    if (OnMouseDownImage)
        OnMouseDownImage(this, button, geom_.OriginX, geom_.OriginY, geom_.ALeft, geom_.ATop,
                         geom_.ARight, geom_.ABottom, geom_.ScaleWidth(), geom_.ScaleHeight(), X,
                         Y);
}

void TVIkDisp::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    if (OnMouseMove) OnMouseMove(this, shiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y());
    if (dragging_ && geom_.drawn) {
        StartX = dragStartX_ - static_cast<int>((pt.x() - dragFrom_.x()) / geom_.ScaleWidth());
        StartY = dragStartY_ - static_cast<int>((pt.y() - dragFrom_.y()) / geom_.ScaleHeight());
        Refresh();
    }
    if (!geom_.contains(pt.x(), pt.y())) return;
    const int X = geom_.clientToImageX(pt.x()), Y = geom_.clientToImageY(pt.y());
    if (toolTip_ != vikNone) {
        QPalette tip = QToolTip::palette();
        tip.setColor(QPalette::ToolTipBase, qcolor(ToolTipColor));
        QToolTip::setPalette(tip);
        QToolTip::showText(mapToGlobal(pt + QPoint(ToolTipXfromMouse, ToolTipYfromMouse)),
                           ToolTipText(X, Y), this, QRect(), ToolTipTimeSecond * 1000);
    }
    if (OnMouseMoveImage)
        OnMouseMoveImage(this, geom_.OriginX, geom_.OriginY, geom_.ALeft, geom_.ATop, geom_.ARight,
                         geom_.ABottom, geom_.ScaleWidth(), geom_.ScaleHeight(), X, Y);
}

void TVIkDisp::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    const TMouseButton button = buttonOf(e->button());
    if (OnMouseUp) OnMouseUp(this, button, shiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y());
    if (geom_.contains(pt.x(), pt.y())) {
        const int X = geom_.clientToImageX(pt.x()), Y = geom_.clientToImageY(pt.y());
        if (e->button() == Qt::LeftButton) selectLayers(false, X, Y);
        if (OnMouseUpImage)
            OnMouseUpImage(this, button, geom_.OriginX, geom_.OriginY, geom_.ALeft, geom_.ATop,
                           geom_.ARight, geom_.ABottom, geom_.ScaleWidth(), geom_.ScaleHeight(), X,
                           Y);
    }
    if (e->button() == Qt::LeftButton) {
        dragging_ = false;
        const bool click = pressedInside_ && rect().contains(pt);
        pressedInside_ = false;
        if (click && OnClick) OnClick(this);
    }
    // The mouse stays with the control until every button is up.
    if (e->buttons() == Qt::NoButton && QWidget::mouseGrabber() == this) releaseMouse();
}

void TVIkDisp::mouseDoubleClickEvent(QMouseEvent* e) {
    if (OnDblClick) OnDblClick(this);
    mousePressEvent(e);
}

void TVIkDisp::wheelEvent(QWheelEvent* e) {
    e->accept();
    const int lines = WheelScrollLines >= 0 ? WheelScrollLines : QApplication::wheelScrollLines();
    if (lines <= 0) return;
    const QPoint d = e->angleDelta();
    const int steps = wheel_.feed(d.y() != 0 ? d.y() : d.x(), lines);
    if (MouseWheel != vikDisable)
        for (int i = 0; i < std::abs(steps); ++i)
            scrollBy(steps > 0 ? scLineUp : scLineDown, MouseWheel == vikHorizontal, 0);
    const TShiftState shift = shiftOf(e->modifiers(), e->buttons());
    const auto& ev = steps > 0 ? OnMouseWheelUpImage : OnMouseWheelDownImage;
    if (ev) ev(this, shift, MouseWheel);
}

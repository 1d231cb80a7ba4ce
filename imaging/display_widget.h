// TVIkDisp: the display control. A Qt widget that shows one engine image (the base) and
// above it up to 100 raster layers (TCRaster), in one of four display modes, and reports
// the mouse in image pixels. Geometry, hit test and composition live in the Qt-free
// display_geometry and display_compose; this class holds the properties and the engine
// handles and turns Qt's events into the control's events.
//
// How the capture program's image window uses it:
//
//   auto* disp = new TVIkDisp(form);             // white Color, flat, no border
//   disp->BorderVisible = true;
//   disp->ShowInDisp = false;                    // the base only sets the size
//   disp->SetImgHandle(sheet);                   // never freed by the control
//   TCRaster* sheetLayer = disp->GetRaster(1);
//   sheetLayer->setTransColor(255, 255, 255);    // white sheet is see-through
//   sheetLayer->setImgHandle(sheetCopy);         // converted once, here
//   disp->GetRaster(0)->setImgHandle(screen);    // opaque:
//   disp->GetRaster(0)->setEnableTrans(false) disp->GetRaster(0)->setStartX(120);          //
//   positions: base-image pixels disp->OnMouseDownSelectRasterImage = [](QObject*, int16_t index,
//   int x, int y) { ... }; disp->OnMouseMoveImage = [](QObject*, int ox, int oy, int l, int t, int
//   r, int b,
//                               double sw, double sh, int X, int Y) { ... };
//   disp->Display(vikStretch);
//
// Drawing happens in paintEvent; Display, Refresh, Zoom and ScrollImage compute the
// geometry at once (so StartX/StartY, Geometry() and the conversions are current when
// they return) and schedule the paint. After changing a plain property (colours, border,
// rulers, ShowInDisp ...) call Refresh(). After changing a layer image's pixels in place
// assign its handle again: layer pixels are converted when the handle, the transparent
// colour or EnableTrans is set, never while painting.
//
// OnEndDispImage is raised from the paint: a handler that calls Refresh() there asks for
// the next paint, and so on without end; draw overlays with SetOutline instead.
//
// The control never frees the images it is given and never shows a message: failures
// set ErrorStatus (0 ok, 2 nothing can be drawn, 3 image memory cannot be locked, 5 bad
// argument or wrong mode, 7 no image) and return false.
#pragma once

#include <QImage>
#include <QPen>
#include <QPolygon>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "imaging/display_compose.h"
#include "imaging/display_geometry.h"
#include "imaging/engine/ik_api.h"

class QScrollBar;
class QTimer;
class TVIkDisp;

// Colours as the framework gives them: 0xBBGGRR.
using TColor = uint32_t;
enum TMouseButton { mbLeft = 0, mbRight, mbMiddle };
// Shift state bits.
using TShiftState = unsigned;
enum : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };

// Events. Coordinates of image events: OriginX/OriginY = client position of the drawn
// image's top-left; ALeft..ABottom = the visible image pixels (inclusive); ScaleWidth,
// ScaleHeight = screen pixels per image pixel; X, Y = the mouse in image pixels.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent =
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
using TVIkDispEndDispImageEvent =
    std::function<void(QObject* Sender, int OriginX, int OriginY, int ALeft, int ATop, int ARight,
                       int ABottom, double ScaleWidth, double ScaleHeight)>;
using TVIkDispMouseEvent = std::function<void(
    QObject* Sender, TMouseButton Button, int OriginX, int OriginY, int ALeft, int ATop, int ARight,
    int ABottom, double ScaleWidth, double ScaleHeight, int X, int Y)>;
using TVIkDispMouseMoveEvent =
    std::function<void(QObject* Sender, int OriginX, int OriginY, int ALeft, int ATop, int ARight,
                       int ABottom, double ScaleWidth, double ScaleHeight, int X, int Y)>;
// Index of the layer, the point relative to the layer's top-left corner (image pixels).
using TVIkDispMouseSelectEvent = std::function<void(QObject* Sender, int16_t Index, int X, int Y)>;
using TVIkDispScrollEvent = std::function<void(QObject* Sender, TScrollCode ScrollCode, int16_t Pos,
                                               TVIkMouseWheel Direction)>;
using TVIkDispMouseWheelEvent =
    std::function<void(QObject* Sender, TShiftState Shift, TVIkMouseWheel Direction)>;
using TVIkDispPanWindowEvent = std::function<void(QObject* Sender, bool Show)>;

// One raster layer: an engine image (not owned) placed at StartX/StartY base-image pixels.
// Layers of a control are reached through GetRaster; a free-standing TCRaster only
// carries fields into SetRaster.
class TCRaster {
public:
    TCRaster() = default;

    IKHANDLE ImgHandle() const { return handle_; }
    // A handle that cannot be locked or is not a raster image becomes 0. Converts the
    // layer's pixels (and its transparent colour) for painting.
    void setImgHandle(IKHANDLE handle);
    bool ShowInDisp() const { return show_; }
    void setShowInDisp(bool show);  // redraws the control at once
    bool ShowInPanWindow = true;
    bool EnableTrans() const { return trans_; }
    void setEnableTrans(bool on);
    uint16_t TransRed() const { return red_; }
    uint16_t TransGreen() const { return green_; }
    uint16_t TransBlue() const { return blue_; }
    void setTransRed(uint16_t v) { setTransColor(v, green_, blue_); }
    void setTransGreen(uint16_t v) { setTransColor(red_, v, blue_); }
    void setTransBlue(uint16_t v) { setTransColor(red_, green_, v); }
    void setTransColor(uint16_t red, uint16_t green, uint16_t blue);
    int StartX() const { return startX_; }
    int StartY() const { return startY_; }
    // Taken only while the control shows a base image; no redraw (call Refresh).
    void setStartX(int v);
    void setStartY(int v);
    // Size of the layer's image, 0 without one.
    int Width() const { return width_; }
    int Height() const { return height_; }

    // SetRaster's assignment: every field through its setter.
    void Assign(const TCRaster& from);

private:
    friend class TVIkDisp;
    bool ownerHasImage() const;
    void rebuild();

    TVIkDisp* owner_ = nullptr;
    IKHANDLE handle_ = 0;
    bool show_ = true, trans_ = true;
    uint16_t red_ = 0, green_ = 0, blue_ = 0;
    int startX_ = 0, startY_ = 0;
    int width_ = 0, height_ = 0;
    q47::disp::LayerPixels pixels_;
};

// One vector layer: hit-tested (before the raster layers) but not drawn.
class TCVector {
public:
    TCVector() = default;
    IKHANDLE ImgHandle() const { return handle_; }
    void setImgHandle(IKHANDLE handle);  // anything but a vector image becomes 0
    bool ShowInDisp = true;
    bool ShowInPanWindow = true;
    int StartX = 0, StartY = 0;
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Assign(const TCVector& from);

private:
    IKHANDLE handle_ = 0;
    int width_ = 0, height_ = 0;
};

class TVIkDisp : public QWidget {
public:
    static constexpr int kLayers = 100;

    explicit TVIkDisp(QWidget* parent = nullptr);
    ~TVIkDisp() override;

    // ---- Published properties (defaults as listed). Plain fields take effect at the
    // next Display or Refresh.
    TVIkAppearance Appearance = vikFlat;
    bool BorderVisible = false;
    TColor BorderColor = 0;
    int16_t ScrollWidth = 10, ScrollHeight = 10;  // scroll steps in image pixels
    bool ScrollBar = false;                       // scroll bars in vikActualSize
    int32_t StartX = 0, StartY = 0;               // after each drawing: the origin used
    double DispScale() const { return dispScale_; }
    void setDispScale(double v) {
        if (v > 0) dispScale_ = v;
    }                                          // <= 0 ignored
    int32_t DispCenterX = 0, DispCenterY = 0;  // > 0: centre the next drawing here
    bool ShowInDisp = true;                    // false: Color where the base would be
    bool ShowInPanWindow = true;
    bool Refine1BitImage = true;  // smooth reduced display of 1-bit bases
    bool InvalidHatchPattern = true;
    TColor InvalidHatchColor = 12632256;
    TVIkUnit Grad = vikNone;
    TColor GradColor = 0, GradBackColor = 16777215;
    TVIkUnit Grid = vikNone;
    TColor GridColor = 12632256;
    double GridSpace = 10.0;
    TVIkUnit ToolTip() const { return toolTip_; }
    int ToolTipXfromMouse = 20, ToolTipYfromMouse = 10;
    TColor ToolTipColor = 14811135;
    int ToolTipTimeSecond = 3;
    TVIkMouseWheel MouseWheel = vikVertical;
    // Lines per wheel notch: negative takes the desktop's setting; 0 turns wheel handling off.
    int WheelScrollLines = -1;
    bool ScrollDrag = false;
    bool RectDraw() const { return rectDraw_; }
    void setRectDraw(bool on);  // starts or stops the blinking
    int32_t RectLeft = 0, RectTop = 0, RectRight = 0, RectBottom = 0;  // image pixels
    TColor RectColor1 = 16777215, RectColor2 = 0;
    TVIkBlinkSpeed BlinkSpeed() const { return blinkSpeed_; }
    void setBlinkSpeed(TVIkBlinkSpeed speed);
    bool EditEnable = false;  // editing tools are not part of this control
    int PanWindowLeft = 0, PanWindowTop = 0, PanWindowSize = 200;
    TColor Color = 16777215;
    // Outline drawn over the picture in client coordinates with Pen (the capture
    // program's drag outline); empty = none.
    QPen Pen{Qt::black, 1};
    void SetOutline(const QPolygon& clientPoints);
    void ClearOutline() { SetOutline({}); }

    // ---- Events.
    TNotifyEvent OnClick, OnDblClick;
    TMouseEvent OnMouseDown, OnMouseUp;  // client coordinates
    TMouseMoveEvent OnMouseMove;
    TVIkDispEndDispImageEvent OnEndDispImage;
    TVIkDispMouseEvent OnMouseDownImage, OnMouseUpImage;
    TVIkDispMouseMoveEvent OnMouseMoveImage;
    TVIkDispMouseSelectEvent OnMouseDownSelectRasterImage, OnMouseUpSelectRasterImage;
    TVIkDispMouseSelectEvent OnMouseDownSelectVectorImage, OnMouseUpSelectVectorImage;
    TVIkDispScrollEvent OnScrollDispImage;
    TVIkDispMouseWheelEvent OnMouseWheelUpImage, OnMouseWheelDownImage;
    TVIkDispPanWindowEvent OnPanWindow;

    // ---- Public state.
    uint16_t ErrorStatus = 0;
    IKHANDLE ImgHandle() const { return handle_; }
    // Resets the scales, hides the scroll bars, drops the smoothed copy; a handle that
    // cannot be locked or is not a raster image becomes 0. Redraws when shown.
    void SetImgHandle(IKHANDLE handle);
    int ImageWidth() const { return imageWidth_; }
    int ImageHeight() const { return imageHeight_; }
    int Xdpi() const { return xdpi_; }
    int Ydpi() const { return ydpi_; }
    double Refine1BitImageScale() const { return refineScale_; }
    void setRefine1BitImageScale(double v);  // taken when 0 <= v < 1
    TVIkDispMode DispMode() const { return mode_; }
    // The geometry of the last drawing: origin, visible rectangle, scales, conversions.
    const q47::disp::DispGeometry& Geometry() const { return geom_; }
    double ScaleWidth() const { return geom_.ScaleWidth(); }
    double ScaleHeight() const { return geom_.ScaleHeight(); }
    // Client point <-> image pixel with the last drawing's geometry: a client point on
    // the image maps to the pixel shown there; an image pixel maps to the first client
    // pixel showing it.
    QPoint ClientToImage(QPoint client) const;
    QPoint ImageToClient(QPoint image) const;

    // ---- Methods.
    bool Display(TVIkDispMode mode);
    void Refresh();
    bool Modify();                                      // editing memory is not kept: false
    TCRaster* GetRaster(int index);                     // outside 0..99: layer 0
    void SetRaster(int index, const TCRaster& raster);  // outside 0..99: ignored
    TCVector* GetVector(int index);
    void SetVector(int index, const TCVector& vector);
    bool Zoom(int left, int top, int right, int bottom);  // shows the rectangle in vikActualSize
    bool ScrollImage(TVIkScrollDir direction);
    void SetToolTip(TVIkUnit unit);
    // The text the coordinate tooltip shows for an image point in the current unit.
    QString ToolTipText(int X, int Y) const;
    bool ShowPanWindow(bool show);  // rules and OnPanWindow; no pan window is drawn

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    friend class TCRaster;
    void relayout();
    void placeScrollBars();
    void hideScrollBars();
    void scrollBy(TScrollCode code, bool horizontal, int thumb);
    void onScrollAction(QScrollBar* bar, int action);
    void releaseSmoothed();
    IKHANDLE smoothedBase(q47::disp::BaseSource* base);
    void paintPicture(QPainter& p);
    void paintRulers(QPainter& p);
    void paintGrid(QPainter& p);
    void paintRect(QPainter& p);
    void selectLayers(bool down, int X, int Y);
    void imageMouse(int kind, QMouseEvent* e);

    IKHANDLE handle_ = 0;
    int imageWidth_ = 0, imageHeight_ = 0, imageBits_ = 0;
    int xdpi_ = 72, ydpi_ = 72;
    double dispScale_ = 1.0, refineScale_ = 0.0;
    TVIkDispMode mode_ = vikClear;
    TVIkUnit toolTip_ = vikNone;
    bool rectDraw_ = false, blinkPhase_ = false;
    TVIkBlinkSpeed blinkSpeed_ = vikMedium;
    q47::disp::DispGeometry geom_;
    std::array<TCRaster, kLayers> rasters_;
    std::array<TCVector, kLayers> vectors_;
    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    QTimer* blink_ = nullptr;
    QImage frame_;
    QPolygon outline_;
    q47::disp::WheelAccumulator wheel_;
    // The smoothed reduction of a 1-bit base and what it was made for.
    IKHANDLE smoothed_ = 0;
    IKHANDLE smoothedFrom_ = 0;
    int smoothedWidth_ = 0, smoothedHeight_ = 0;
    // Scroll-drag state.
    bool dragging_ = false;
    QPoint dragFrom_;
    int dragStartX_ = 0, dragStartY_ = 0;
    bool pressedInside_ = false;
};

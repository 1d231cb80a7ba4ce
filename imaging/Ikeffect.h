// TVIkEffect: filters, colour and tone changes, geometry, compositing and pixel access
// through libIk6Effect. Results go to ResultHandle (ResultHandle2), which the caller takes.
#pragma once

#include <vector>

#include "imaging/Iknouicontrol.h"

enum TVIkAreaSelectMode { vikEffectMask = 0, vikEffectAll, vikEffectPolygon, vikEffectEllipse };
enum TVIkInOutSelectMode { vikOutside = 0, vikInside };

class TVIkEffect : public TVIkNoUiControl {
public:
    explicit TVIkEffect(QObject* owner = nullptr);
    ~TVIkEffect() override;

    TVIkAreaSelectMode SelectMode = vikEffectMask;
    TVIkInOutSelectMode InOut = vikOutside;
    int32_t RectLeft = 0, RectTop = 0, RectRight = 0, RectBottom = 0;

    IKHANDLE ImgHandle = 0;      // source image, never changed or freed here
    IKHANDLE MaskHandle = 0;     // second source of the area-selecting operations
    IKHANDLE ResultHandle = 0;   // new image of the last operation (0 after a failure)
    IKHANDLE ResultHandle2 = 0;  // second result of Resize
    bool LayerFlag = false;      // the public truth value passed to Layer

    static constexpr int kSlots = 10;
    struct AccessSlot {
        IKHANDLE image = 0;
        IKDibAccess record{};
    };
    AccessSlot Slots[kSlots];

    // Filter family: the form with points takes a polygon (points[0..high]); the form
    // without refuses SelectMode = vikEffectPolygon with ErrorStatus 5.
    bool AntiAlias();
    bool AntiAlias(const IKPoint* points, int high);
    bool Blur(int level);
    bool Blur(const IKPoint* points, int high, int level);
    bool Sharp(int level);
    bool Sharp(const IKPoint* points, int high, int level);
    bool Canvas(int a, int b);
    bool Canvas(const IKPoint* points, int high, int a, int b);
    bool OilPaint(int a, int b);
    bool OilPaint(const IKPoint* points, int high, int a, int b);
    bool RemoveNoise(int a, int b);
    bool RemoveNoise(const IKPoint* points, int high, int a, int b);
    bool Emboss(int a, int b, int c);
    bool Emboss(const IKPoint* points, int high, int a, int b, int c);
    bool Outline(int a, int b, int c);
    bool Outline(const IKPoint* points, int high, int a, int b, int c);
    bool SelectImage(int a, int b, int c);
    bool SelectImage(const IKPoint* points, int high, int a, int b, int c);
    bool AutoSelectImage(int a, int b, int c, int d, int e);
    bool AutoSelectImage(const IKPoint* points, int high, int a, int b, int c, int d, int e);
    bool Chroma(int a);
    bool Chroma(const IKPoint* points, int high, int a);
    bool Mosaic(int width, int height);
    bool Mosaic(const IKPoint* points, int high, int width, int height);
    bool GlassTile(int a, int b);
    bool GlassTile(const IKPoint* points, int high, int a, int b);
    bool MotionBlur(int a, int b, int c);
    bool MotionBlur(const IKPoint* points, int high, int a, int b, int c);
    bool CustomFilter(const int32_t* matrix, int matrixHigh, int divisor, int bias, bool red, bool green, bool blue);
    bool CustomFilter(const IKPoint* points, int high, const int32_t* matrix, int matrixHigh, int divisor,
                      int bias, bool red, bool green, bool blue);
    bool Lens(double a, bool b, int c, int d, int e);
    bool Lens(const IKPoint* points, int high, double a, bool b, int c, int d, int e);
    bool Ripple(double a, double b, double c, bool d, bool e, int f, int g, int h);
    bool Ripple(const IKPoint* points, int high, double a, double b, double c, bool d, bool e, int f, int g, int h);
    bool WhirlPinch(double a, double b, double c, int d, int e, int f);
    bool WhirlPinch(const IKPoint* points, int high, double a, double b, double c, int d, int e, int f);
    bool Waves(int a, int b, int c, int d, double e, int f, int g, int h, int i);
    bool Waves(const IKPoint* points, int high, int a, int b, int c, int d, double e, int f, int g, int h, int i);
    bool UnifyColor(int a, int b, int c, int d);
    bool UnifyColor(const IKPoint* points, int high, int a, int b, int c, int d);
    bool RedEyeRemoval(int a, int b, int c, int d);
    bool RedEyeRemoval(const IKPoint* points, int high, int a, int b, int c, int d);
    bool RGBLevel(int red, int green, int blue);
    bool RGBLevel(const IKPoint* points, int high, int red, int green, int blue);
    bool YCCLevel(int a, int b, int c);
    bool YCCLevel(const IKPoint* points, int high, int a, int b, int c);
    bool RGBGamma(double red, double green, double blue);
    bool RGBGamma(const IKPoint* points, int high, double red, double green, double blue);
    bool YCCGamma(double a, double b, double c);
    bool YCCGamma(const IKPoint* points, int high, double a, double b, double c);
    bool RGBRev(bool red, bool green, bool blue);
    bool RGBRev(const IKPoint* points, int high, bool red, bool green, bool blue);
    bool YCCRev(bool a, bool b, bool c);
    bool YCCRev(const IKPoint* points, int high, bool a, bool b, bool c);
    bool RGBSpline(const IKPoint* curve, int curveHigh, bool red, bool green, bool blue);
    bool RGBSpline(const IKPoint* points, int high, const IKPoint* curve, int curveHigh, bool red, bool green,
                   bool blue);
    bool YCCSpline(const IKPoint* curve, int curveHigh, bool a, bool b, bool c);
    bool YCCSpline(const IKPoint* points, int high, const IKPoint* curve, int curveHigh, bool a, bool b, bool c);

    // Whole-image operations.
    bool ConvertColor(int bitCount, int first, int second, int value);
    bool Resize(int width, int height, bool flag);
    bool Rotation(int angle, bool smooth, bool enlarge, bool b3, int red, int green, int blue, bool b4);
    bool SetGray();
    bool CutRectImage();
    bool Layer(IKHANDLE image1, IKHANDLE image2, int opacity, bool useTransparent, int lowRed, int lowGreen,
               int lowBlue, int highRed, int highGreen, int highBlue, int x, int y, bool flag);
    bool PasteImage(IKHANDLE image2, int x, int y);
    bool Panorama(IKHANDLE image2, int a, int b);
    bool Affine(int a, int b, int c, int d, int e, int f, int g, int h);
    bool MakeRGBAImage();
    bool SplitRGBAImage();
    bool SetSecretImage(IKHANDLE image2, int key);
    bool CheckSecretImage(IKHANDLE image1, IKHANDLE image2, int key);

    // Pixel access: ten slots; see the description of each rule in Ikeffect.cpp.
    bool StartDibAccess(IKHANDLE image, int& slot);
    bool GetDibPixel(int slot, int x, int y, uint8_t& b1, uint8_t& b2, uint8_t& b3, uint8_t& b4);
    bool SetDibPixel(int slot, int x, int y, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
    bool EndDibAccess(int slot);

    static TVIkProgressSlot& progressSlot();

private:
    template <typename Entry, typename... Args>
    bool area(Entry entry, bool withPoints, const IKPoint* points, int high, Args... args);
    template <typename Entry, typename... Args>
    bool whole(Entry entry, Args... args);
    bool slotOk(int slot);
};

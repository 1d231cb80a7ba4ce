// TVIkEffect: area handling, progress slot and result bookkeeping around the entries.
#include "imaging/Ikeffect.h"

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"


namespace {
IKBOOL effectProgress(int16_t percent);
TVIkProgressSlot g_effectSlot{nullptr, effectProgress};
IKBOOL flag(bool v) { return v ? -1 : 0; }
}  // namespace

struct TVIkEffectProgressAccess : TVIkNoUiControl {
    static IKBOOL call(int16_t percent) { return progressFor(g_effectSlot, percent); }
};

namespace {
IKBOOL effectProgress(int16_t percent) { return TVIkEffectProgressAccess::call(percent); }
}  // namespace

TVIkProgressSlot& TVIkEffect::progressSlot() { return g_effectSlot; }

TVIkEffect::TVIkEffect(QObject* owner) : TVIkNoUiControl(owner) { InitializeIK(); }

TVIkEffect::~TVIkEffect() {
    // Nothing is freed: results and open pixel-access slots are the caller's.
    removeProgress(g_effectSlot);
    TerminateIK();
}

template <typename Entry, typename... Args>
bool TVIkEffect::area(Entry entry, bool withPoints, const IKPoint* points, int high, Args... args) {
    ResultHandle = 0;
    if (!entry) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    IKRect rect{};
    const IKPoint* pts = nullptr;
    int count = 0;
    if (SelectMode == vikEffectPolygon) {
        // The form without points cannot name a polygon; the form with points needs some.
        if (!withPoints || !points || high < 0) {
            ErrorStatus = IK_ERR_ARGUMENT;
            return false;
        }
        pts = points;
        count = high + 1;
    } else if (SelectMode == vikEffectEllipse) {
        rect = IKRect{RectLeft, RectTop, RectRight, RectBottom};
    }
    ErrorStatus = 0;
    const IKProgressProc cb = installProgress(g_effectSlot);
    const IKHANDLE images[2] = {ImgHandle, MaskHandle};
    const QByteArray c = caption8(), m = message8(), b = button8();
    ResultHandle = entry(images, SelectMode, pts, count, &rect, InOut, args..., cb, c.constData(), m.constData(),
                         b.constData());
    removeProgress(g_effectSlot);
    takeEngineStatus();
    return ResultHandle != 0;
}

template <typename Entry, typename... Args>
bool TVIkEffect::whole(Entry entry, Args... args) {
    ResultHandle = 0;
    if (!entry) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    const IKProgressProc cb = installProgress(g_effectSlot);
    const QByteArray c = caption8(), m = message8(), b = button8();
    ResultHandle = entry(args..., cb, c.constData(), m.constData(), b.constData());
    removeProgress(g_effectSlot);
    takeEngineStatus();
    return ResultHandle != 0;
}

using S = int16_t;

bool TVIkEffect::AntiAlias() { return area(Ikdllprocs::IKAntiAlias, false, nullptr, -1); }
bool TVIkEffect::AntiAlias(const IKPoint* p, int h) { return area(Ikdllprocs::IKAntiAlias, true, p, h); }
bool TVIkEffect::Blur(int level) { return area(Ikdllprocs::IKBlur, false, nullptr, -1, static_cast<uint8_t>(level)); }
bool TVIkEffect::Blur(const IKPoint* p, int h, int level) { return area(Ikdllprocs::IKBlur, true, p, h, static_cast<uint8_t>(level)); }
bool TVIkEffect::Sharp(int level) { return area(Ikdllprocs::IKSharp, false, nullptr, -1, static_cast<uint8_t>(level)); }
bool TVIkEffect::Sharp(const IKPoint* p, int h, int level) { return area(Ikdllprocs::IKSharp, true, p, h, static_cast<uint8_t>(level)); }
bool TVIkEffect::Canvas(int a, int b) { return area(Ikdllprocs::IKCanvas, false, nullptr, -1, S(a), S(b)); }
bool TVIkEffect::Canvas(const IKPoint* p, int h, int a, int b) { return area(Ikdllprocs::IKCanvas, true, p, h, S(a), S(b)); }
bool TVIkEffect::OilPaint(int a, int b) { return area(Ikdllprocs::IKOilPaint, false, nullptr, -1, S(a), S(b)); }
bool TVIkEffect::OilPaint(const IKPoint* p, int h, int a, int b) { return area(Ikdllprocs::IKOilPaint, true, p, h, S(a), S(b)); }
bool TVIkEffect::RemoveNoise(int a, int b) { return area(Ikdllprocs::IKRemoveNoise, false, nullptr, -1, S(a), S(b)); }
bool TVIkEffect::RemoveNoise(const IKPoint* p, int h, int a, int b) { return area(Ikdllprocs::IKRemoveNoise, true, p, h, S(a), S(b)); }
bool TVIkEffect::Emboss(int a, int b, int c) { return area(Ikdllprocs::IKEmboss, false, nullptr, -1, S(a), S(b), S(c)); }
bool TVIkEffect::Emboss(const IKPoint* p, int h, int a, int b, int c) { return area(Ikdllprocs::IKEmboss, true, p, h, S(a), S(b), S(c)); }
bool TVIkEffect::Outline(int a, int b, int c) { return area(Ikdllprocs::IKOutline, false, nullptr, -1, S(a), S(b), S(c)); }
bool TVIkEffect::Outline(const IKPoint* p, int h, int a, int b, int c) { return area(Ikdllprocs::IKOutline, true, p, h, S(a), S(b), S(c)); }
bool TVIkEffect::SelectImage(int a, int b, int c) { return area(Ikdllprocs::IKSelectImageEx, false, nullptr, -1, S(a), S(b), S(c)); }
bool TVIkEffect::SelectImage(const IKPoint* p, int h, int a, int b, int c) {
    return area(Ikdllprocs::IKSelectImageEx, true, p, h, S(a), S(b), S(c));
}
bool TVIkEffect::AutoSelectImage(int a, int b, int c, int d, int e) {
    return area(Ikdllprocs::IKAutoSelectImageEx, false, nullptr, -1, S(a), S(b), S(c), S(d), S(e));
}
bool TVIkEffect::AutoSelectImage(const IKPoint* p, int h, int a, int b, int c, int d, int e) {
    return area(Ikdllprocs::IKAutoSelectImageEx, true, p, h, S(a), S(b), S(c), S(d), S(e));
}
bool TVIkEffect::Chroma(int a) { return area(Ikdllprocs::IKChroma, false, nullptr, -1, int32_t(a)); }
bool TVIkEffect::Chroma(const IKPoint* p, int h, int a) { return area(Ikdllprocs::IKChroma, true, p, h, int32_t(a)); }
bool TVIkEffect::Mosaic(int w, int hh) { return area(Ikdllprocs::IKMosaic, false, nullptr, -1, int32_t(w), int32_t(hh)); }
bool TVIkEffect::Mosaic(const IKPoint* p, int h, int w, int hh) { return area(Ikdllprocs::IKMosaic, true, p, h, int32_t(w), int32_t(hh)); }
bool TVIkEffect::GlassTile(int a, int b) { return area(Ikdllprocs::IKGlassTile, false, nullptr, -1, int32_t(a), int32_t(b)); }
bool TVIkEffect::GlassTile(const IKPoint* p, int h, int a, int b) { return area(Ikdllprocs::IKGlassTile, true, p, h, int32_t(a), int32_t(b)); }
bool TVIkEffect::MotionBlur(int a, int b, int c) { return area(Ikdllprocs::IKMotionBlur, false, nullptr, -1, S(a), S(b), int32_t(c)); }
bool TVIkEffect::MotionBlur(const IKPoint* p, int h, int a, int b, int c) {
    return area(Ikdllprocs::IKMotionBlur, true, p, h, S(a), S(b), int32_t(c));
}
bool TVIkEffect::CustomFilter(const int32_t* m, int mh, int div, int bias, bool r, bool g, bool b) {
    return area(Ikdllprocs::IKCustomFilter, false, nullptr, -1, m, int32_t(mh), S(div), S(bias), flag(r), flag(g), flag(b));
}
bool TVIkEffect::CustomFilter(const IKPoint* p, int h, const int32_t* m, int mh, int div, int bias, bool r, bool g,
                              bool b) {
    return area(Ikdllprocs::IKCustomFilter, true, p, h, m, int32_t(mh), S(div), S(bias), flag(r), flag(g), flag(b));
}
bool TVIkEffect::Lens(double a, bool b, int c, int d, int e) { return area(Ikdllprocs::IKLens, false, nullptr, -1, a, flag(b), S(c), S(d), S(e)); }
bool TVIkEffect::Lens(const IKPoint* p, int h, double a, bool b, int c, int d, int e) {
    return area(Ikdllprocs::IKLens, true, p, h, a, flag(b), S(c), S(d), S(e));
}
bool TVIkEffect::Ripple(double a, double b, double c, bool d, bool e, int f, int g, int hh) {
    return area(Ikdllprocs::IKRipple, false, nullptr, -1, a, b, c, flag(d), flag(e), S(f), S(g), S(hh));
}
bool TVIkEffect::Ripple(const IKPoint* p, int h, double a, double b, double c, bool d, bool e, int f, int g, int hh) {
    return area(Ikdllprocs::IKRipple, true, p, h, a, b, c, flag(d), flag(e), S(f), S(g), S(hh));
}
bool TVIkEffect::WhirlPinch(double a, double b, double c, int d, int e, int f) {
    return area(Ikdllprocs::IKWhirlPinch, false, nullptr, -1, a, b, c, S(d), S(e), S(f));
}
bool TVIkEffect::WhirlPinch(const IKPoint* p, int h, double a, double b, double c, int d, int e, int f) {
    return area(Ikdllprocs::IKWhirlPinch, true, p, h, a, b, c, S(d), S(e), S(f));
}
bool TVIkEffect::Waves(int a, int b, int c, int d, double e, int f, int g, int hh, int i) {
    return area(Ikdllprocs::IKWaves, false, nullptr, -1, S(a), S(b), int32_t(c), int32_t(d), e, S(f), S(g), S(hh), S(i));
}
bool TVIkEffect::Waves(const IKPoint* p, int h, int a, int b, int c, int d, double e, int f, int g, int hh, int i) {
    return area(Ikdllprocs::IKWaves, true, p, h, S(a), S(b), int32_t(c), int32_t(d), e, S(f), S(g), S(hh), S(i));
}
bool TVIkEffect::UnifyColor(int a, int b, int c, int d) { return area(Ikdllprocs::IKUnifyColor, false, nullptr, -1, S(a), S(b), S(c), S(d)); }
bool TVIkEffect::UnifyColor(const IKPoint* p, int h, int a, int b, int c, int d) {
    return area(Ikdllprocs::IKUnifyColor, true, p, h, S(a), S(b), S(c), S(d));
}
bool TVIkEffect::RedEyeRemoval(int a, int b, int c, int d) {
    return area(Ikdllprocs::IKRedEyeRemoval, false, nullptr, -1, S(a), S(b), S(c), S(d));
}
bool TVIkEffect::RedEyeRemoval(const IKPoint* p, int h, int a, int b, int c, int d) {
    return area(Ikdllprocs::IKRedEyeRemoval, true, p, h, S(a), S(b), S(c), S(d));
}
bool TVIkEffect::RGBLevel(int r, int g, int b) { return area(Ikdllprocs::IKRGBLevel, false, nullptr, -1, int32_t(r), int32_t(g), int32_t(b)); }
bool TVIkEffect::RGBLevel(const IKPoint* p, int h, int r, int g, int b) {
    return area(Ikdllprocs::IKRGBLevel, true, p, h, int32_t(r), int32_t(g), int32_t(b));
}
bool TVIkEffect::YCCLevel(int a, int b, int c) { return area(Ikdllprocs::IKYCCLevel, false, nullptr, -1, int32_t(a), int32_t(b), int32_t(c)); }
bool TVIkEffect::YCCLevel(const IKPoint* p, int h, int a, int b, int c) {
    return area(Ikdllprocs::IKYCCLevel, true, p, h, int32_t(a), int32_t(b), int32_t(c));
}
bool TVIkEffect::RGBGamma(double r, double g, double b) { return area(Ikdllprocs::IKRGBGamma, false, nullptr, -1, r, g, b); }
bool TVIkEffect::RGBGamma(const IKPoint* p, int h, double r, double g, double b) { return area(Ikdllprocs::IKRGBGamma, true, p, h, r, g, b); }
bool TVIkEffect::YCCGamma(double a, double b, double c) { return area(Ikdllprocs::IKYCCGamma, false, nullptr, -1, a, b, c); }
bool TVIkEffect::YCCGamma(const IKPoint* p, int h, double a, double b, double c) { return area(Ikdllprocs::IKYCCGamma, true, p, h, a, b, c); }
bool TVIkEffect::RGBRev(bool r, bool g, bool b) { return area(Ikdllprocs::IKRGBRev, false, nullptr, -1, flag(r), flag(g), flag(b)); }
bool TVIkEffect::RGBRev(const IKPoint* p, int h, bool r, bool g, bool b) {
    return area(Ikdllprocs::IKRGBRev, true, p, h, flag(r), flag(g), flag(b));
}
bool TVIkEffect::YCCRev(bool a, bool b, bool c) { return area(Ikdllprocs::IKYCCRev, false, nullptr, -1, flag(a), flag(b), flag(c)); }
bool TVIkEffect::YCCRev(const IKPoint* p, int h, bool a, bool b, bool c) {
    return area(Ikdllprocs::IKYCCRev, true, p, h, flag(a), flag(b), flag(c));
}
bool TVIkEffect::RGBSpline(const IKPoint* cv, int ch, bool r, bool g, bool b) {
    return area(Ikdllprocs::IKRGBSpline, false, nullptr, -1, cv, int32_t(ch), flag(r), flag(g), flag(b));
}
bool TVIkEffect::RGBSpline(const IKPoint* p, int h, const IKPoint* cv, int ch, bool r, bool g, bool b) {
    return area(Ikdllprocs::IKRGBSpline, true, p, h, cv, int32_t(ch), flag(r), flag(g), flag(b));
}
bool TVIkEffect::YCCSpline(const IKPoint* cv, int ch, bool a, bool b, bool c) {
    return area(Ikdllprocs::IKYCCSpline, false, nullptr, -1, cv, int32_t(ch), flag(a), flag(b), flag(c));
}
bool TVIkEffect::YCCSpline(const IKPoint* p, int h, const IKPoint* cv, int ch, bool a, bool b, bool c) {
    return area(Ikdllprocs::IKYCCSpline, true, p, h, cv, int32_t(ch), flag(a), flag(b), flag(c));
}

bool TVIkEffect::ConvertColor(int bitCount, int first, int second, int value) {
    return whole(Ikdllprocs::IKConvertColor, ImgHandle, S(bitCount), S(first), S(second), static_cast<uint8_t>(value));
}

bool TVIkEffect::Resize(int width, int height, bool f) {
    ResultHandle = ResultHandle2 = 0;
    if (!Ikdllprocs::IKResizeEx) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    const IKProgressProc cb = installProgress(g_effectSlot);
    const QByteArray c = caption8(), m = message8(), b = button8();
    const IKHANDLE images[2] = {ImgHandle, MaskHandle};
    IKHANDLE results[2] = {0, 0};
    const bool ok = Ikdllprocs::IKResizeEx(images, results, width, height, flag(f), cb, c.constData(), m.constData(),
                               b.constData()) != 0;
    removeProgress(g_effectSlot);
    takeEngineStatus();
    ResultHandle = results[0];
    ResultHandle2 = results[1];
    return ok && ResultHandle != 0;
}

bool TVIkEffect::Rotation(int angle, bool smooth, bool enlarge, bool b3, int red, int green, int blue, bool b4) {
    return whole(Ikdllprocs::IKRotationEx, ImgHandle, int32_t(angle), flag(smooth), flag(enlarge), flag(b3), S(red), S(green),
                 S(blue), flag(b4));
}

bool TVIkEffect::SetGray() { return whole(Ikdllprocs::IKSetGray, ImgHandle); }

bool TVIkEffect::CutRectImage() {
    const IKRect rect{RectLeft, RectTop, RectRight, RectBottom};
    return whole(Ikdllprocs::IKCutRectImage, ImgHandle, &rect);
}

bool TVIkEffect::Layer(IKHANDLE image1, IKHANDLE image2, int opacity, bool useTransparent, int lr, int lg, int lb,
                       int hr, int hg, int hb, int x, int y, bool f) {
    auto byte = [](int v) { return static_cast<uint8_t>(v); };
    return whole(Ikdllprocs::IKLayer, image1, image2, byte(opacity), flag(useTransparent), byte(lr), byte(lg), byte(lb),
                 byte(hr), byte(hg), byte(hb), int32_t(x), int32_t(y), flag(f), flag(LayerFlag));
}

bool TVIkEffect::PasteImage(IKHANDLE image2, int x, int y) { return whole(Ikdllprocs::IKPasteImage, ImgHandle, image2, int32_t(x), int32_t(y)); }
bool TVIkEffect::Panorama(IKHANDLE image2, int a, int b) { return whole(Ikdllprocs::IKPanorama, ImgHandle, image2, int32_t(a), int32_t(b)); }
bool TVIkEffect::Affine(int a, int b, int c, int d, int e, int f, int g, int h) {
    return whole(Ikdllprocs::IKAffine, ImgHandle, int32_t(a), int32_t(b), int32_t(c), int32_t(d), int32_t(e), int32_t(f),
                 int32_t(g), int32_t(h));
}
bool TVIkEffect::MakeRGBAImage() { return whole(Ikdllprocs::IKMakeRGBAImage, ImgHandle, MaskHandle); }
bool TVIkEffect::SetSecretImage(IKHANDLE image2, int key) { return whole(Ikdllprocs::IKSetSecretImage, ImgHandle, image2, int32_t(key)); }

bool TVIkEffect::SplitRGBAImage() {
    ResultHandle = ResultHandle2 = 0;
    if (!Ikdllprocs::IKSplitRGBAImage) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    const IKProgressProc cb = installProgress(g_effectSlot);
    const QByteArray c = caption8(), m = message8(), b = button8();
    IKHANDLE results[2] = {0, 0};
    const bool ok = Ikdllprocs::IKSplitRGBAImage(ImgHandle, results, cb, c.constData(), m.constData(), b.constData()) != 0;
    removeProgress(g_effectSlot);
    takeEngineStatus();
    ResultHandle = results[0];
    ResultHandle2 = results[1];
    return ok;
}

bool TVIkEffect::CheckSecretImage(IKHANDLE image1, IKHANDLE image2, int key) {
    if (!Ikdllprocs::IKCheckSecretImage) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    ErrorStatus = 0;
    const IKProgressProc cb = installProgress(g_effectSlot);
    const QByteArray c = caption8(), m = message8(), b = button8();
    const bool ok = Ikdllprocs::IKCheckSecretImage(image1, image2, key, cb, c.constData(), m.constData(), b.constData()) != 0;
    removeProgress(g_effectSlot);
    takeEngineStatus();
    return ok;
}

bool TVIkEffect::slotOk(int slot) {
    if (slot < 0 || slot >= kSlots || Slots[slot].image == 0) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    return true;
}

// A null image is 7; an image already open here, or no free slot of the ten, is 5.
bool TVIkEffect::StartDibAccess(IKHANDLE image, int& slot) {
    if (!Ikdllprocs::IKStartDibAccess) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    if (image == 0) {
        ErrorStatus = IK_ERR_IMAGE;
        return false;
    }
    int free = -1;
    for (int i = 0; i < kSlots; ++i) {
        if (Slots[i].image == image) {
            ErrorStatus = IK_ERR_ARGUMENT;
            return false;
        }
        if (free < 0 && Slots[i].image == 0) free = i;
    }
    if (free < 0) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    ErrorStatus = 0;
    const bool ok = Ikdllprocs::IKStartDibAccess(image, &Slots[free].record) != 0;
    takeEngineStatus();
    if (!ok) return false;
    Slots[free].image = image;
    slot = free;
    return true;
}

bool TVIkEffect::GetDibPixel(int slot, int x, int y, uint8_t& b1, uint8_t& b2, uint8_t& b3, uint8_t& b4) {
    if (!Ikdllprocs::IKGetDibPixel) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    if (!slotOk(slot)) return false;
    IKDibAccess& r = Slots[slot].record;
    const bool ok = Ikdllprocs::IKGetDibPixel(&r, x, y) != 0;
    takeEngineStatus();
    b1 = r.pixel[0], b2 = r.pixel[1], b3 = r.pixel[2], b4 = r.pixel[3];
    return ok;
}

bool TVIkEffect::SetDibPixel(int slot, int x, int y, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    if (!Ikdllprocs::IKSetDibPixel) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    if (!slotOk(slot)) return false;
    IKDibAccess& r = Slots[slot].record;
    r.pixel[0] = b1, r.pixel[1] = b2, r.pixel[2] = b3, r.pixel[3] = b4;
    const bool ok = Ikdllprocs::IKSetDibPixel(&r, x, y) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkEffect::EndDibAccess(int slot) {
    if (!Ikdllprocs::IKEndDibAccess) {
        ErrorStatus = IK_ERR_ENTRY_MISSING;
        return false;
    }
    if (!slotOk(slot)) return false;
    ErrorStatus = 0;
    const bool ok = Ikdllprocs::IKEndDibAccess(Slots[slot].image, &Slots[slot].record) != 0;
    takeEngineStatus();
    Slots[slot] = AccessSlot{};
    return ok;
}

// TVIkPrint: each operation checks its entry, calls the print library and takes the
// engine's status.
#include "imaging/Ikprint.h"

#include <QPalette>
#include <QWidget>
#include <cstring>
#include <vector>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/Ikutils.h"

#define ENTRY(name) reinterpret_cast<const void*>(Ikdllprocs::name)

TVIkPrint::TVIkPrint(QObject* owner) : QObject(owner) {
    // Both records start at zero (no pen, no brush, black) except the copy-pen drawing
    // mode and the text record's first value; callers choose their pen.
    DrawInfo.drawMode = 13;  // copy pen
    TextInfo.escapement = -1;
    InitializeIK();
}

TVIkPrint::~TVIkPrint() {
    if (DevModeHandle && Ikdllprocs::IKReleaseDevModeHandle) Ikdllprocs::IKReleaseDevModeHandle(DevModeHandle);
    if (PrinterDC && Ikdllprocs::IKPrintDeleteDC) Ikdllprocs::IKPrintDeleteDC(PrinterDC);
    TerminateIK();
}

bool TVIkPrint::entryMissing(const void* entry) {
    if (entry) {
        ErrorStatus = 0;
        return false;
    }
    ErrorStatus = IK_ERR_ENTRY_MISSING;
    return true;
}

void TVIkPrint::takeEngineStatus() {
    ErrorStatus = Ikdllprocs::IKGetErrorStatus ? Ikdllprocs::IKGetErrorStatus() : uint16_t{IK_ERR_ENTRY_MISSING};
}

QString TVIkPrint::FontName() const {
    return QString::fromLocal8Bit(TextInfo.fontName, static_cast<int>(strnlen(TextInfo.fontName, sizeof TextInfo.fontName)));
}

void TVIkPrint::setFontName(const QString& v) {
    const QByteArray bytes = v.toLocal8Bit();
    if (v.size() >= 32 || bytes.size() >= 32) return;
    std::memset(TextInfo.fontName, 0, sizeof TextInfo.fontName);
    std::memcpy(TextInfo.fontName, bytes.constData(), static_cast<size_t>(bytes.size()));
}

IKPrintSettings TVIkPrint::settings() const {
    IKPrintSettings s{};
    s.orientation = Orientation == poPortrait ? 1 : 2;
    s.paperSize = PaperSize, s.zoom = Zoom, s.copies = copies_, s.paperBin = PaperBin;
    s.printQuality = PrintQuality, s.colorMode = colorMode_, s.duplex = duplex_;
    s.collate = Collate ? 1 : 0;
    return s;
}

void TVIkPrint::takeSettings(const IKPrintSettings& s) {
    Orientation = s.orientation == 1 ? poPortrait : poLandscape;
    PaperSize = s.paperSize, Zoom = s.zoom, PaperBin = s.paperBin, PrintQuality = s.printQuality;
    setCopies(s.copies);
    setColorMode(s.colorMode);
    setDuplex(s.duplex);
    Collate = s.collate != 0;
}

uint32_t TVIkPrint::dialogFlags() const {
    uint32_t f = 0;
    if (!(Options & poPrintToFile)) f |= IK_PD_HIDEPRINTTOFILE;
    if (!(Options & poPageNums)) f |= IK_PD_NOPAGENUMS;
    if (!(Options & poSelection)) f |= IK_PD_NOSELECTION;
    if (Options & poDisablePrintToFile) f |= IK_PD_DISABLEPRINTTOFILE;
    if (Options & poHelp) f |= IK_PD_SHOWHELP;
    if (!(Options & poWarning)) f |= IK_PD_NOWARNING;
    return f;
}

bool TVIkPrint::EnumPrinters() {
    if (entryMissing(ENTRY(IKEnumPrinters))) return false;
    PrinterList.clear();
    char buffer[2048] = {};
    int32_t def = -1;
    const bool ok = Ikdllprocs::IKEnumPrinters(buffer, &def) != 0;
    takeEngineStatus();
    if (!ok) return false;
    buffer[sizeof buffer - 1] = '\0';
    DefaultPrinterIndex = def;
    const QString all = QString::fromLocal8Bit(buffer);
    qsizetype start = 0;
    for (qsizetype comma = all.indexOf(','); comma >= 0; comma = all.indexOf(',', start)) {
        PrinterList << all.mid(start, comma - start);
        start = comma + 1;
    }
    return true;
}

bool TVIkPrint::GetPrinterPort() {
    if (entryMissing(ENTRY(IKGetPrinterPort))) return false;
    char buffer[2048] = {};
    const bool ok = Ikdllprocs::IKGetPrinterPort(printerName_.toLocal8Bit().constData(), buffer) != 0;
    takeEngineStatus();
    buffer[sizeof buffer - 1] = '\0';
    if (ok) PrinterPort = QString::fromLocal8Bit(buffer);
    return ok;
}

bool TVIkPrint::GetDevModeHandle() {
    if (entryMissing(ENTRY(IKGetDevModeHandle))) return false;
    if (DevModeHandle && Ikdllprocs::IKReleaseDevModeHandle) Ikdllprocs::IKReleaseDevModeHandle(DevModeHandle);
    DevModeHandle = Ikdllprocs::IKGetDevModeHandle(printerName_.toLocal8Bit().constData(),
                                                   printFileName_.toLocal8Bit().constData());
    takeEngineStatus();
    return DevModeHandle != 0;
}

bool TVIkPrint::ReleaseDevModeHandle() {
    if (entryMissing(ENTRY(IKReleaseDevModeHandle))) return false;
    const bool ok = Ikdllprocs::IKReleaseDevModeHandle(DevModeHandle) != 0;
    takeEngineStatus();
    if (ok) DevModeHandle = 0;
    return ok;
}

bool TVIkPrint::GetDevModeInfo() {
    if (entryMissing(ENTRY(IKGetDevModeInfo))) return false;
    IKPrintSettings s{};
    const bool ok = Ikdllprocs::IKGetDevModeInfo(DevModeHandle, &s) != 0;
    takeEngineStatus();
    if (ok) takeSettings(s);
    return ok;
}

bool TVIkPrint::SetDevModeInfo() {
    if (entryMissing(ENTRY(IKSetDevModeInfo))) return false;
    const IKPrintSettings s = settings();
    const bool ok = Ikdllprocs::IKSetDevModeInfo(DevModeHandle, &s) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::PrintDlg() {
    if (entryMissing(ENTRY(IKPrintDlg))) return false;
    // The old context goes first, whatever the user then answers.
    if (PrinterDC && Ikdllprocs::IKPrintDeleteDC) Ikdllprocs::IKPrintDeleteDC(PrinterDC);
    PrinterDC = 0;
    IKPrintDialogRecord r{};
    r.collate = Collate ? 1 : 0;
    r.copies = copies_, r.fromPage = fromPage_, r.toPage = toPage_, r.maxPage = maxPage_, r.minPage = minPage_;
    r.flags = dialogFlags();
    r.printRange = static_cast<int16_t>(PrintRange);
    r.printToFile = PrintToFile ? 1 : 0;
    PrinterDC = Ikdllprocs::IKPrintDlg(Ikutils::windowOf(parent()), DevModeHandle, &r);
    takeEngineStatus();
    if (!PrinterDC) return false;
    Collate = r.collate != 0;
    setCopies(r.copies);
    setFromPage(r.fromPage), setToPage(r.toPage);
    PrintRange = r.printRange == 1 ? prSelection : r.printRange == 2 ? prPageNums : prAllPages;
    PrintToFile = r.printToFile != 0;
    IKPrintSettings s{};
    if (DevModeHandle && Ikdllprocs::IKGetDevModeInfo && Ikdllprocs::IKGetDevModeInfo(DevModeHandle, &s)) takeSettings(s);
    return true;
}

bool TVIkPrint::PrintCreateDC(TVIkPrintMode mode) {
    if (entryMissing(ENTRY(IKPrintCreateDC))) return false;
    if (PrinterDC && Ikdllprocs::IKPrintDeleteDC) Ikdllprocs::IKPrintDeleteDC(PrinterDC);
    PrinterDC = Ikdllprocs::IKPrintCreateDC(printerName_.toLocal8Bit().constData(),
                                            printFileName_.toLocal8Bit().constData(), DevModeHandle, mode);
    takeEngineStatus();
    return PrinterDC != 0;
}

bool TVIkPrint::PrintDeleteDC() {
    if (entryMissing(ENTRY(IKPrintDeleteDC))) return false;
    const bool ok = PrinterDC && Ikdllprocs::IKPrintDeleteDC(PrinterDC) != 0;
    takeEngineStatus();
    PrinterDC = 0;
    return ok;
}

bool TVIkPrint::SetPrint() {
    if (entryMissing(ENTRY(IKSetPrint))) return false;
    const bool ok = Ikdllprocs::IKSetPrint(Ikutils::windowOf(parent()), printFileName_.toLocal8Bit().constData()) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::PrintStartDoc() {
    if (entryMissing(ENTRY(IKPrintStartDoc))) return false;
    const bool ok = Ikdllprocs::IKPrintStartDoc(PrinterDC, Ikutils::windowOf(parent()), Caption.toLocal8Bit().constData(),
                                                Message.toLocal8Bit().constData(), ButtonName.toLocal8Bit().constData(),
                                                DocName.toLocal8Bit().constData()) != 0;
    takeEngineStatus();
    return ok;
}

#define JOB_CALL(method, entry)                                 \
    bool TVIkPrint::method() {                                  \
        if (entryMissing(ENTRY(entry))) return false;           \
        const bool ok = Ikdllprocs::entry(PrinterDC) != 0;      \
        takeEngineStatus();                                     \
        return ok;                                              \
    }
JOB_CALL(PrintStartPage, IKPrintStartPage)
JOB_CALL(PrintEndPage, IKPrintEndPage)
JOB_CALL(PrintEndDoc, IKPrintEndDoc)
JOB_CALL(PrintAbortDoc, IKPrintAbortDoc)
#undef JOB_CALL

bool TVIkPrint::GetPaperSize(uintptr_t dc, int32_t& a, int32_t& b, int32_t& c, int32_t& d, int32_t& e, int32_t& f,
                             int unit) {
    if (entryMissing(ENTRY(IKGetPaperSize))) return false;
    int32_t four[4] = {0, 0, 0, 0};
    const bool ok = Ikdllprocs::IKGetPaperSize(dc, four, &e, &f, static_cast<uint8_t>(unit)) != 0;
    takeEngineStatus();
    if (ok) a = four[0], b = four[1], c = four[2], d = four[3];
    return ok;
}

bool TVIkPrint::ImageOut(uintptr_t dc, IKHANDLE image, int left, int top, int right, int bottom, bool first,
                         bool second, TVIkOutPutDeviceMode deviceMode) {
    if (entryMissing(ENTRY(IKImageOut)) || entryMissing(ENTRY(IKGetImageType))) return false;
    IKImageInfo info{};
    if (!Ikdllprocs::IKGetImageType(image, &info) || (info.kind & 0xFF) != IK_RASTER) {
        ErrorStatus = IK_ERR_IMAGE;
        return false;
    }
    const int32_t rect[4] = {left, top, right, bottom};
    const bool ok = Ikdllprocs::IKImageOut(dc, image, rect, first ? -1 : 0, second ? -1 : 0, deviceMode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::ImageOutToHwnd(QObject* window, IKHANDLE image, uint32_t colour, bool first, bool second) {
    // Every entry the window's picture passes through, tested before any is called: a
    // partial engine fails here with 14 instead of calling through a null entry halfway.
    for (const void* entry : {ENTRY(IKImageOutToHwnd), ENTRY(IKImageOut), ENTRY(IKPreviewInit),
                              ENTRY(IKGetImageFromHdc), ENTRY(IKFillRect), ENTRY(IKLockImage),
                              ENTRY(IKUnlockImage), ENTRY(IKFreeMemory), ENTRY(IKPrintDeleteDC)})
        if (entryMissing(entry)) return false;
    auto* widget = qobject_cast<QWidget*>(window);
    if (!widget || widget->width() <= 0 || widget->height() <= 0) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    const int w = widget->width(), h = widget->height();
    const uintptr_t dc = Ikdllprocs::IKPreviewInit(w, h);
    if (!dc) {
        takeEngineStatus();
        return false;
    }
    IKPRINT_DRAWINFO fill{};
    fill.brushStyle = vikBrushSolid;
    fill.brushColor = colour;
    fill.drawMode = 13;
    const int32_t client[4] = {0, 0, w, h};
    Ikdllprocs::IKFillRect(dc, client, &fill, vikScreen);
    const bool ok = Ikdllprocs::IKImageOut(dc, image, client, first ? -1 : 0, second ? -1 : 0, vikScreen) != 0;
    takeEngineStatus();
    if (ok) {
        const IKHANDLE shot = Ikdllprocs::IKGetImageFromHdc(dc, 0, 0, 0, 0);
        uint32_t size = 0;
        if (const void* bytes = shot ? Ikdllprocs::IKLockImage(shot, &size) : nullptr) {
            QPalette palette = widget->palette();
            palette.setBrush(QPalette::Window, QPixmap::fromImage(Ikutils::dibToQImage(static_cast<const uint8_t*>(bytes), size)));
            widget->setPalette(palette);
            widget->setAutoFillBackground(true);
            Ikdllprocs::IKUnlockImage(shot);
        }
        if (shot) Ikdllprocs::IKFreeMemory(shot);
    }
    Ikdllprocs::IKPrintDeleteDC(dc);
    return ok;
}

IKHANDLE TVIkPrint::GetImageFromHdc(uintptr_t dc, int left, int top, int right, int bottom) {
    if (entryMissing(ENTRY(IKGetImageFromHdc))) return 0;
    const IKHANDLE h = Ikdllprocs::IKGetImageFromHdc(dc, left, top, right, bottom);
    takeEngineStatus();
    return h;
}

uintptr_t TVIkPrint::PreviewInit(int width, int height) {
    if (entryMissing(ENTRY(IKPreviewInit))) return 0;
    const uintptr_t dc = Ikdllprocs::IKPreviewInit(width, height);
    takeEngineStatus();
    return dc;
}

template <typename F, typename... A>
bool TVIkPrint::figure(F entry, uintptr_t target, TVIkOutPutDeviceMode mode, std::initializer_list<int32_t> v) {
    if (entryMissing(reinterpret_cast<const void*>(entry))) return false;
    const std::vector<int32_t> values(v);
    const bool ok = entry(target, values.data(), &DrawInfo, mode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::SetPixel(uintptr_t target, int x, int y, uint32_t colour, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKSetPixel))) return false;
    const bool ok = Ikdllprocs::IKSetPixel(target, x, y, colour, mode) != 0;
    takeEngineStatus();
    return ok;
}

uint32_t TVIkPrint::GetPixel(uintptr_t target, int x, int y, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKGetPixel))) return 0xFFFFFFFFu;
    const uint32_t c = Ikdllprocs::IKGetPixel(target, x, y, mode);
    takeEngineStatus();
    return c;
}

bool TVIkPrint::Line(uintptr_t t, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKLine, t, m, {x1, y1, x2, y2});
}
bool TVIkPrint::Rectangle(uintptr_t t, int l, int tp, int r, int b, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKRectangle, t, m, {l, tp, r, b});
}
bool TVIkPrint::Ellipse(uintptr_t t, int l, int tp, int r, int b, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKEllipse, t, m, {l, tp, r, b});
}
bool TVIkPrint::FillRect(uintptr_t t, int l, int tp, int r, int b, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKFillRect, t, m, {l, tp, r, b});
}
bool TVIkPrint::RoundRect(uintptr_t t, int l, int tp, int r, int b, int w, int h, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKRoundRect, t, m, {l, tp, r, b, w, h});
}
bool TVIkPrint::Arc(uintptr_t t, int l, int tp, int r, int b, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKArc, t, m, {l, tp, r, b, x1, y1, x2, y2});
}
bool TVIkPrint::Pie(uintptr_t t, int l, int tp, int r, int b, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKPie, t, m, {l, tp, r, b, x1, y1, x2, y2});
}
bool TVIkPrint::Chord(uintptr_t t, int l, int tp, int r, int b, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode m) {
    return figure(Ikdllprocs::IKChord, t, m, {l, tp, r, b, x1, y1, x2, y2});
}

bool TVIkPrint::Polygon(uintptr_t target, const int32_t* points, int count, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKPolygon))) return false;
    const bool ok = Ikdllprocs::IKPolygon(target, points, count, &DrawInfo, mode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::Polyline(uintptr_t target, const int32_t* points, int count, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKPolyline))) return false;
    const bool ok = Ikdllprocs::IKPolyline(target, points, count, &DrawInfo, mode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::Paint(uintptr_t target, int x, int y, uint32_t colour, TVIkPaintMode paintMode, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKPaint))) return false;
    const bool ok = Ikdllprocs::IKPaint(target, x, y, colour, paintMode, &DrawInfo, mode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::DrawText(uintptr_t target, int left, int top, int right, int bottom, int format, bool clip,
                         TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKDrawText))) return false;
    const int32_t rect[4] = {left, top, right, bottom};
    const bool ok = Ikdllprocs::IKDrawText(target, rect, Text.toLocal8Bit().constData(), &TextInfo, format,
                                           clip ? -1 : 0, mode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::TextOut(uintptr_t target, int x, int y, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKTextOut))) return false;
    const bool ok = Ikdllprocs::IKTextOut(target, x, y, Text.toLocal8Bit().constData(), &TextInfo, mode) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkPrint::GetTextExtent(uintptr_t target, int32_t& width, int32_t& height, TVIkOutPutDeviceMode mode) {
    if (entryMissing(ENTRY(IKGetTextExtent))) return false;
    const bool ok = Ikdllprocs::IKGetTextExtent(target, Text.toLocal8Bit().constData(), &TextInfo, &width, &height, mode) != 0;
    takeEngineStatus();
    return ok;
}

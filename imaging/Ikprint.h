// TVIkPrint: the print component. Chooses and configures a printer, runs a print job,
// and draws images and figures on a device context or into an engine image, through
// the print library.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "imaging/engine/ik_api.h"

enum TPrinterOrientation { poPortrait = 0, poLandscape };
enum TPrintRange { prAllPages = 0, prSelection, prPageNums };
// TPrintDialogOptions: a set of these flags.
enum TPrintDialogOption {
    poPrintToFile = 0x1, poPageNums = 0x2, poSelection = 0x4, poWarning = 0x8, poHelp = 0x10,
    poDisablePrintToFile = 0x20
};
using TPrintDialogOptions = int;
enum TVIkPrintMode { vikPrinterName = 0, vikPrintFileName, vikDevMode };
enum TVIkOutPutDeviceMode { vikScreen = 0, vikPrinter, vikMemoryHandle };
enum TVIkPaintMode { vikBorder = 0, vikSurface };
enum TVIkPenStyle { vikPenNull = 0, vikPenSolid, vikPenDash, vikPenDot, vikPenDashDot, vikPenDashDotDot, vikPenInsideFrame };
enum TVIkBrushStyle {
    vikBrushNull = 0, vikBrushSolid, vikBrushHatchBdiagonal, vikBrushHatchCross, vikBrushHatchDiagcross,
    vikBrushHatchFdiagonal, vikBrushHatchHorizontal, vikBrushHatchVertical
};

class TVIkPrint : public QObject {
public:
    explicit TVIkPrint(QObject* owner = nullptr);
    // Frees the settings and deletes the device context.
    ~TVIkPrint() override;

    // Published properties (setters clamp as the component always has).
    QString DocName, Caption, Message, ButtonName;
    const QString& PrintFileName() const { return printFileName_; }
    void setPrintFileName(const QString& v) { if (v.size() < 256) printFileName_ = v; }
    TPrinterOrientation Orientation = poPortrait;
    int16_t PaperSize = 9;
    int16_t PaperBin = 7;
    int16_t Zoom = 100;
    int Copies() const { return copies_; }
    void setCopies(int v) { copies_ = static_cast<int16_t>(v < 0 ? 0 : v); }
    int16_t PrintQuality = 0;
    int ColorMode() const { return colorMode_; }
    void setColorMode(int v) { colorMode_ = static_cast<int16_t>(v < 1 ? 1 : v > 2 ? 2 : v); }
    int Duplex() const { return duplex_; }
    void setDuplex(int v) { duplex_ = static_cast<int16_t>(v < 1 ? 1 : v > 3 ? 3 : v); }
    bool Collate = false;
    int FromPage() const { return fromPage_; }
    void setFromPage(int v) { fromPage_ = static_cast<int16_t>(v < 0 ? 0 : v); }
    int ToPage() const { return toPage_; }
    void setToPage(int v) { toPage_ = static_cast<int16_t>(v < 0 ? 0 : v); }
    int MinPage() const { return minPage_; }
    void setMinPage(int v) { minPage_ = static_cast<int16_t>(v < 0 ? 0 : v); }
    int MaxPage() const { return maxPage_; }
    void setMaxPage(int v) { maxPage_ = static_cast<int16_t>(v < 0 ? 0 : v); }
    TPrintDialogOptions Options = 0;
    TPrintRange PrintRange = prAllPages;
    bool PrintToFile = false;

    // Public state.
    const QString& PrinterName() const { return printerName_; }
    void setPrinterName(const QString& v) { if (v.size() < 256) printerName_ = v; }
    QStringList PrinterList;
    int32_t DefaultPrinterIndex = -1;
    QString PrinterPort;
    uintptr_t PrinterDC = 0;
    IKDEVMODE DevModeHandle = 0;
    uint16_t ErrorStatus = 0;
    IKPRINT_DRAWINFO DrawInfo{};
    IKPRINT_TEXTINFO TextInfo{};
    QString Text;
    int Tag = 0;
    QString FontName() const;
    void setFontName(const QString& v);  // 32 characters or more are ignored

    bool EnumPrinters();
    bool GetPrinterPort();
    bool GetDevModeHandle();
    bool ReleaseDevModeHandle();
    bool GetDevModeInfo();
    bool SetDevModeInfo();
    bool PrintDlg();
    bool PrintCreateDC(TVIkPrintMode mode);
    bool PrintDeleteDC();
    bool SetPrint();
    bool PrintStartDoc();
    bool PrintStartPage();
    bool PrintEndPage();
    bool PrintEndDoc();
    bool PrintAbortDoc();
    bool GetPaperSize(uintptr_t dc, int32_t& a, int32_t& b, int32_t& c, int32_t& d, int32_t& e, int32_t& f, int unit);
    bool ImageOut(uintptr_t dc, IKHANDLE image, int left, int top, int right, int bottom, bool first, bool second,
                  TVIkOutPutDeviceMode deviceMode);
    // Fills the widget with colour and shows the image in it (drawn through a preview
    // context, then set as the widget's background).
    bool ImageOutToHwnd(QObject* window, IKHANDLE image, uint32_t colour, bool first, bool second);
    IKHANDLE GetImageFromHdc(uintptr_t dc, int left, int top, int right, int bottom);
    uintptr_t PreviewInit(int width, int height);

    // The drawing family: target is a device context or, with vikMemoryHandle, an
    // engine image handle.
    bool SetPixel(uintptr_t target, int x, int y, uint32_t colour, TVIkOutPutDeviceMode mode);
    uint32_t GetPixel(uintptr_t target, int x, int y, TVIkOutPutDeviceMode mode);
    bool Line(uintptr_t target, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode mode);
    bool Rectangle(uintptr_t target, int left, int top, int right, int bottom, TVIkOutPutDeviceMode mode);
    bool Ellipse(uintptr_t target, int left, int top, int right, int bottom, TVIkOutPutDeviceMode mode);
    bool FillRect(uintptr_t target, int left, int top, int right, int bottom, TVIkOutPutDeviceMode mode);
    bool RoundRect(uintptr_t target, int left, int top, int right, int bottom, int w, int h, TVIkOutPutDeviceMode mode);
    bool Arc(uintptr_t target, int l, int t, int r, int b, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode mode);
    bool Pie(uintptr_t target, int l, int t, int r, int b, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode mode);
    bool Chord(uintptr_t target, int l, int t, int r, int b, int x1, int y1, int x2, int y2, TVIkOutPutDeviceMode mode);
    bool Polygon(uintptr_t target, const int32_t* points, int count, TVIkOutPutDeviceMode mode);
    bool Polyline(uintptr_t target, const int32_t* points, int count, TVIkOutPutDeviceMode mode);
    bool Paint(uintptr_t target, int x, int y, uint32_t colour, TVIkPaintMode paintMode, TVIkOutPutDeviceMode mode);
    bool DrawText(uintptr_t target, int left, int top, int right, int bottom, int format, bool clip,
                  TVIkOutPutDeviceMode mode);
    bool TextOut(uintptr_t target, int x, int y, TVIkOutPutDeviceMode mode);
    bool GetTextExtent(uintptr_t target, int32_t& width, int32_t& height, TVIkOutPutDeviceMode mode);

    // The print dialog's flag word for the current Options.
    uint32_t dialogFlags() const;

private:
    bool entryMissing(const void* entry);
    void takeEngineStatus();
    IKPrintSettings settings() const;
    void takeSettings(const IKPrintSettings& s);
    template <typename F, typename... A>
    bool figure(F entry, uintptr_t target, TVIkOutPutDeviceMode mode, std::initializer_list<int32_t> v);

    QString printFileName_, printerName_;
    int16_t copies_ = 1, colorMode_ = 1, duplex_ = 1;
    int16_t fromPage_ = 0, toPage_ = 0, minPage_ = 0, maxPage_ = 0;
};

// libIk6Print.so's C interface: printers, printer settings, print jobs, image output and
// drawing on a device context or into an engine image.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Device contexts (IKDC) of this library are numbers of its own table: a printer's job
// context (IKPrintCreateDC, IKPrintDlg) or a preview context drawing into a picture
// (IKPreviewInit). Settings handles (IKGetDevModeHandle) are numbers of a second table.
// A stale or foreign number is refused with status 5.
typedef uint32_t IKDEVMODE;

// What a drawing entry's target is (the component's TVIkOutPutDeviceMode).
enum IKOutputDevice { IK_DEVICE_SCREEN = 0, IK_DEVICE_PRINTER = 1, IK_DEVICE_MEMORY = 2 };
// How IKPrintCreateDC finds its printer (TVIkPrintMode).
enum IKPrintMode { IK_PRINT_BY_NAME = 0, IK_PRINT_TO_FILE = 1, IK_PRINT_BY_SETTINGS = 2 };
// IKGetPaperSize's units.
enum IKPaperUnit {
    IK_PAPER_TENTH_MM = 0,  // 0.1 mm
    IK_PAPER_DOTS = 1,      // the context's own drawing units (printer dots at 100 % zoom)
    IK_PAPER_HUNDREDTH_INCH = 2,
    IK_PAPER_POINTS = 3     // 1/72 inch
};
// Statuses of this library besides the shared ones (5 argument, 7 image, 9 cancelled,
// 13 no host).
enum IKPrintStatus {
    IK_ERR_PRINT_NO_PRINTER = 40,  // no printer of that name, or none installed
    IK_ERR_PRINT_JOB = 41,         // the job cannot start, or an order of job calls broken
    IK_ERR_PRINT_READBACK = 42,    // a printer context cannot be read (GetPixel, Paint)
    IK_ERR_PRINT_NO_WINDOW = 43    // output straight into a window is not served
};

#pragma pack(push, 1)
// The printer settings (GetDevModeInfo / SetDevModeInfo).
typedef struct IKPrintSettings {
    int16_t orientation;   // 1 portrait, 2 landscape
    int16_t paperSize;     // paper code: 1 Letter, 3 Tabloid, 4 Ledger, 5 Legal, 6 Statement,
                           // 7 Executive, 8 A3, 9 A4, 11 A5, 12 B4 (JIS), 13 B5 (JIS),
                           // 20 envelope #10, 27 DL, 28 C5, 70 A6; 256 the printer's own
                           // size; any other code keeps the printer's paper
    int16_t zoom;          // percent (1 to 1000)
    int16_t copies;
    int16_t paperBin;      // 1 upper ... 7 automatic ... 15 form source
    int16_t printQuality;  // > 0 dots per inch; -1 draft 150, -2 low 300, -3 medium 600,
                           // -4 high 1200; 0 = 600
    int16_t colorMode;     // 1 monochrome, 2 colour
    int16_t duplex;        // 1 simplex, 2 long edge, 3 short edge
    int32_t collate;       // truth value
} IKPrintSettings;

// The print dialog's record: in, what the dialog offers; out, what the user chose.
typedef struct IKPrintDialogRecord {
    uint8_t collate;
    int16_t copies, fromPage, toPage, maxPage, minPage;
    uint32_t flags;        // the dialog flags below
    int16_t printRange;    // 0 all pages, 1 selection, 2 page numbers
    int16_t printToFile;   // truth value
} IKPrintDialogRecord;

// Flags of the dialog record.
#define IK_PD_NOSELECTION 0x4
#define IK_PD_NOPAGENUMS 0x8
#define IK_PD_NOWARNING 0x80
#define IK_PD_SHOWHELP 0x800
#define IK_PD_DISABLEPRINTTOFILE 0x80000
#define IK_PD_HIDEPRINTTOFILE 0x100000

// Drawing settings. Colours are 0x00BBGGRR.
typedef struct IKPRINT_DRAWINFO {
    int32_t penWidth;      // 0 = 1 dot
    uint8_t penStyle;      // 0 null, 1 solid, 2 dash, 3 dot, 4 dash-dot, 5 dash-dot-dot, 6 inside frame
    uint8_t drawMode;      // 13 copy pen; 7 xor pen, 6 invert, 1 black, 16 white
    uint8_t reserved6[2];
    uint32_t penColor;
    uint8_t brushStyle;    // 0 null, 1 solid, 2 to 7 hatches (bdiagonal, cross, diagcross,
                           // fdiagonal, horizontal, vertical)
    uint8_t reserved13[3];
    uint32_t brushColor;
    uint8_t flags;         // 1 = transparent background behind hatches and text
    uint8_t reserved21[3];
} IKPRINT_DRAWINFO;

// Text settings.
typedef struct IKPRINT_TEXTINFO {
    int16_t escapement;    // 0: angle in tenths of a degree, counter-clockwise; -1 = 0
    char fontName[32];     // 2
    int16_t fontSize;      // 34: points
    uint8_t bold, italic, underline, strikeOut;  // 36..39
    uint8_t flags;         // 40: 1 = transparent background
    uint8_t reserved41;
    int16_t reserved42;
    int32_t reserved44;
    uint8_t reserved48[4];
    uint32_t textColor;    // 52
    uint32_t backColor;    // 56
} IKPRINT_TEXTINFO;
#pragma pack(pop)

// DrawText's first flag word: where the text goes in its rectangle.
#define IK_DT_CENTER 0x1
#define IK_DT_RIGHT 0x2
#define IK_DT_VCENTER 0x4
#define IK_DT_BOTTOM 0x8
#define IK_DT_WORDBREAK 0x10
#define IK_DT_SINGLELINE 0x20

// Printers: every name followed by a comma (2048 bytes), *defaultIndex the default's
// place or -1.
int32_t IKEnumPrinters(char* buffer, int32_t* defaultIndex);
// The printer's device address (its CUPS device URI) into a 2048-byte buffer.
int32_t IKGetPrinterPort(const char* printer, char* buffer);
// Settings of that printer (empty: the default printer); with no printer at all and a
// file name, settings for printing into that PDF file.
IKDEVMODE IKGetDevModeHandle(const char* printer, const char* fileName);
int32_t IKReleaseDevModeHandle(IKDEVMODE devMode);
int32_t IKGetDevModeInfo(IKDEVMODE devMode, IKPrintSettings* settings);
int32_t IKSetDevModeInfo(IKDEVMODE devMode, const IKPrintSettings* settings);
// Shows the print dialog; on OK the chosen values return into the record and the
// settings, and a printer context comes back. Cancel: 0 with status 9.
uintptr_t IKPrintDlg(uintptr_t window, IKDEVMODE devMode, IKPrintDialogRecord* record);
uintptr_t IKPrintCreateDC(const char* printer, const char* fileName, IKDEVMODE devMode,
                          int32_t mode);
int32_t IKPrintDeleteDC(uintptr_t dc);  // any context of this library
// The file name a print dialog offers when the user prints to a file.
int32_t IKSetPrint(uintptr_t window, const char* fileName);
int32_t IKPrintStartDoc(uintptr_t dc, uintptr_t window, const char* caption, const char* message,
                        const char* button, const char* docName);
int32_t IKPrintStartPage(uintptr_t dc);
int32_t IKPrintEndPage(uintptr_t dc);
int32_t IKPrintEndDoc(uintptr_t dc);
int32_t IKPrintAbortDoc(uintptr_t dc);
// area: left and top margin of the printable area, its width and height; paper width
// and height into *paperWidth, *paperHeight; all in `unit` (IKPaperUnit).
int32_t IKGetPaperSize(uintptr_t dc, int32_t* area, int32_t* paperWidth, int32_t* paperHeight,
                       uint8_t unit);
// The image into rect (target coordinates, right and bottom excluded). keepAspect: the
// picture keeps its proportions, centred in the rectangle; smooth: filtered scaling.
int32_t IKImageOut(uintptr_t target, uint32_t image, const int32_t* rect, int32_t keepAspect,
                   int32_t smooth, int32_t deviceMode);
int32_t IKImageOutToHwnd(uintptr_t window, uint32_t image, uint32_t colour, int32_t keepAspect,
                         int32_t smooth);  // not served: status 43
// A new engine image of a preview context's rectangle (all 0: the whole picture).
uint32_t IKGetImageFromHdc(uintptr_t dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
// A preview context of width by height dots, white.
uintptr_t IKPreviewInit(int32_t width, int32_t height);

// The drawing family. target: a context of this library, or an engine image handle
// with IK_DEVICE_MEMORY. Rectangles exclude their right and bottom edge.
int32_t IKSetPixel(uintptr_t target, int32_t x, int32_t y, uint32_t colour, int32_t deviceMode);
uint32_t IKGetPixel(uintptr_t target, int32_t x, int32_t y, int32_t deviceMode);  // 0xFFFFFFFF: failed
int32_t IKLine(uintptr_t target, const int32_t* xyxy, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
int32_t IKRectangle(uintptr_t target, const int32_t* ltrb, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
int32_t IKEllipse(uintptr_t target, const int32_t* ltrb, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
int32_t IKFillRect(uintptr_t target, const int32_t* ltrb, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
// ltrb and the corner ellipse's width and height.
int32_t IKRoundRect(uintptr_t target, const int32_t* ltrbwh, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
// ltrb, then the start and end points whose rays from the centre bound the figure
// (counter-clockwise from start to end).
int32_t IKArc(uintptr_t target, const int32_t* ltrbPoints, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
int32_t IKPie(uintptr_t target, const int32_t* ltrbPoints, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
int32_t IKChord(uintptr_t target, const int32_t* ltrbPoints, const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
// points: x, y pairs.
int32_t IKPolygon(uintptr_t target, const int32_t* points, int32_t count, const IKPRINT_DRAWINFO* draw,
                  int32_t deviceMode);
int32_t IKPolyline(uintptr_t target, const int32_t* points, int32_t count, const IKPRINT_DRAWINFO* draw,
                   int32_t deviceMode);
// Flood fill with the brush colour: paintMode 0 fills up to the border colour, 1 fills
// the area of the surface colour. Pictures only (images and preview contexts).
int32_t IKPaint(uintptr_t target, int32_t x, int32_t y, uint32_t colour, int32_t paintMode,
                const IKPRINT_DRAWINFO* draw, int32_t deviceMode);
int32_t IKDrawText(uintptr_t target, const int32_t* ltrb, const char* text, const IKPRINT_TEXTINFO* info,
                   int32_t format, int32_t clip, int32_t deviceMode);
int32_t IKTextOut(uintptr_t target, int32_t x, int32_t y, const char* text, const IKPRINT_TEXTINFO* info,
                  int32_t deviceMode);
int32_t IKGetTextExtent(uintptr_t target, const char* text, const IKPRINT_TEXTINFO* info, int32_t* width,
                        int32_t* height, int32_t deviceMode);

#ifdef __cplusplus
}
#endif

// The imaging engine's C interface: types, status codes, records and every IK* entry.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Images and bitmap objects cross as 32-bit handles into the engine's process-wide table;
// 0 = none. Truth values are 32-bit, non-zero = true (components pass -1 for true).
typedef uint32_t IKHANDLE;
typedef int32_t IKBOOL;
// A window or device context of the host (a QWidget's winId, a QPainter*); the engine
// only hands it on to the host services.
typedef uintptr_t IKWINDOW;
typedef uintptr_t IKDC;

// Progress callback: called with a changed percent; answers non-zero to go on, 0 to stop.
typedef IKBOOL (*IKProgressProc)(int16_t percent);

// Status of the calling thread's last engine call (IKGetErrorStatus). 5, 7 and 14 are the
// components' shared meanings; the rest are the engine's own.
enum IKStatus {
    IK_OK = 0,
    IK_ERR_FAILED = 1,          // the operation failed for a reason not listed below
    IK_ERR_MEMORY = 2,          // out of memory, or the image would exceed 1 GiB
    IK_ERR_FILE_OPEN = 3,       // the file cannot be opened or created
    IK_ERR_FILE_IO = 4,         // reading or writing the file failed
    IK_ERR_ARGUMENT = 5,        // bad argument or wrong mode
    IK_ERR_FILE_FORMAT = 6,     // the file is corrupt, truncated or not of the expected format
    IK_ERR_IMAGE = 7,           // no image, unknown or freed handle, or not a raster image
    IK_ERR_BIT_DEPTH = 8,       // the operation does not serve this bit depth
    IK_ERR_CANCELLED = 9,       // the progress callback asked to stop
    IK_ERR_UNKNOWN_FORMAT = 10, // vikLoad could not tell the file's format from its content
    IK_ERR_PAGE = 11,           // the file has no page of that number
    IK_ERR_CLIPBOARD = 12,      // the clipboard holds no image or no host clipboard is set
    IK_ERR_NO_HOST = 13,        // a dialog entry was called with no host dialog service set
    IK_ERR_ENTRY_MISSING = 14,  // set by the components when an entry did not resolve
    IK_ERR_FLASHPIX = 20,       // FlashPix files are not served by this engine version
    IK_ERR_VECTOR = 21,         // vector images and WMF/EMF/DXF files are not served
    IK_ERR_NETWORK = 22,        // FTP and HTTP transfers are not served
    IK_ERR_EXIF = 23,           // Exif reading is not served
    IK_ERR_FILTER = 24,         // this filter or compositing entry is not served
    IK_ERR_PRINT_SCAN = 25      // reserved for the print and acquisition libraries
};

// Image kinds as IKGetImageType reports them (the component's TVIkImageKind).
enum IKImageKind { IK_INVALID = 0, IK_RASTER = 1, IK_VECTOR_WMF = 2, IK_VECTOR_EMF = 3, IK_VECTOR_DXF = 4 };

// File format codes (the component's TVIkLoadFile numbering, also SaveType).
enum IKFileFormat {
    IK_FMT_UNKNOWN = 0, IK_FMT_BMP = 1, IK_FMT_JPEG = 2, IK_FMT_GIF = 3, IK_FMT_TIFF = 4,
    IK_FMT_PNG = 5, IK_FMT_FPX = 6, IK_FMT_PCX = 7, IK_FMT_WMF = 8, IK_FMT_EMF = 9, IK_FMT_DXF = 10
};

#pragma pack(push, 1)
// The 40-byte description IKGetImageType fills.
typedef struct IKImageInfo {
    uint16_t bitCount;     // 0
    uint16_t planes;       // 2: always 1
    uint16_t paletteSize;  // 4: colour-table entries
    uint16_t reserved6;
    int32_t xDpi;          // 8
    int32_t yDpi;          // 12
    int32_t width;         // 16
    int32_t height;        // 20
    uint32_t imageSize;    // 24: bytes of the packed DIB
    IKBOOL grey;           // 28: true when the colour table is a grey ramp
    uint32_t stride;       // 32: bytes per pixel row
    uint16_t kind;         // 36: IKImageKind in the low byte
    uint16_t reserved38;
} IKImageInfo;

// The 1064-byte file description IKFileType fills.
typedef struct IKFileInfo {
    uint16_t format;       // 0: IKFileFormat
    uint16_t reserved2;
    uint16_t bitCount;     // 4
    uint16_t reserved6;
    uint16_t pages;        // 8
    uint16_t reserved10;
    int32_t width;         // 12
    int32_t height;        // 16
    int32_t xDpi;          // 20
    int32_t yDpi;          // 24
    uint16_t compression;  // 28: format-specific compression code
    uint8_t interlace;     // 30: 1 = interlaced or progressive
    uint8_t reserved31;
    uint16_t paletteSize;  // 32
    uint16_t reserved34;
    uint32_t fileSize;     // 36
    char comment[1024];    // 40: zero-terminated
} IKFileInfo;

// The 132-byte pixel-access record. The first four bytes carry the pixel: red, green,
// blue and 0 for 24-bit images; the palette colour and the index for palette images.
typedef struct IKDibAccess {
    uint8_t pixel[4];
    uint32_t magic;        // set by IKStartDibAccess
    uint32_t slot;         // engine access slot
    uint32_t generation;   // guards against a stale or forged record
    IKHANDLE image;
    int32_t width, height, bitCount;
    uint8_t reserved[100];
} IKDibAccess;

typedef struct IKPoint { int32_t x, y; } IKPoint;
typedef struct IKRect { int32_t left, top, right, bottom; } IKRect;
#pragma pack(pop)

// What the host (the component layer) lends the engine: the clipboard and the file
// dialogs, which need the window system the engine itself keeps out of. Any member may
// be null. Packed DIB bytes pass in and out; `take` frees what `getImage` returned.
typedef struct IKHostServices {
    IKBOOL (*setClipboardImage)(IKWINDOW window, const void* dib, uint32_t size);
    void* (*getClipboardImage)(IKWINDOW window, uint32_t* size);
    void (*freeClipboardImage)(void* dib);
    IKBOOL (*clearClipboard)(IKWINDOW window);
    IKBOOL (*clipboardHasImage)(IKWINDOW window);
    // filters: "Name (*.ext1 *.ext2);;..." as Qt writes them; *selected: in the index
    // of the filter to preselect, out the index chosen. Writes the chosen path (at most
    // pathCapacity bytes with the terminator) and answers true, or false when cancelled.
    IKBOOL (*fileDialog)(IKWINDOW window, IKBOOL save, const char* folder, const char* filters,
                         int32_t* selected, IKBOOL preview, char* path, uint32_t pathCapacity);
} IKHostServices;

// ---- libIk6Com.so: image objects, dpi, palette, clipboard, vector objects ----
uint16_t IKGetErrorStatus(void);
IKBOOL IKGetImageType(IKHANDLE image, IKImageInfo* info);
IKHANDLE IKCopyImage(IKHANDLE image, int32_t left, int32_t top, int32_t right, int32_t bottom);
IKHANDLE IKCreateImage(int32_t width, int32_t height, int16_t bitCount, uint8_t red,
                       uint8_t green, uint8_t blue, int32_t r1, int32_t r2, int32_t r3,
                       int32_t r4);
IKBOOL IKFreeMemory(IKHANDLE image);
IKHANDLE IKBitmapFromDib(IKHANDLE image);
IKHANDLE IKDibFromBitmap(IKHANDLE bitmap, IKHANDLE palette);
IKBOOL IKDeleteBitmapObject(IKHANDLE bitmap);
IKBOOL IKGetDpi(IKHANDLE image, int32_t* xDpi, int32_t* yDpi);
IKBOOL IKSetDpi(IKHANDLE image, int32_t xDpi, int32_t yDpi);
IKBOOL IKGetPalette(IKHANDLE image, uint16_t* rgb, int32_t rgbHigh, uint16_t* info,
                    int32_t infoHigh);
IKBOOL IKSetPalette(IKHANDLE image, const uint16_t* rgb, int32_t rgbHigh, const uint16_t* info,
                    int32_t infoHigh);
IKBOOL IKGetOneBitPalCount(IKHANDLE image, int32_t* zeros, int32_t* ones);
int32_t IKGetSystemPalette(void);
uint32_t IKGetMemorySize(IKHANDLE image);
IKBOOL IKSetToClipBrd(IKWINDOW window, IKHANDLE image, int32_t r1, int32_t r2, int32_t r3,
                      int32_t r4);
IKHANDLE IKGetFromClipBrd(IKWINDOW window, int32_t r1, int32_t r2, int32_t r3, int32_t r4);
IKBOOL IKClearClipBrd(IKWINDOW window);
IKBOOL IKIsClipBrdData(IKWINDOW window);
IKHANDLE IKCreateVectImage(int32_t a, int32_t b, int32_t c, int32_t d);
IKHANDLE IKCreateVectImageEx(int32_t kind, int32_t a, int32_t b, int32_t c, int32_t d);
IKBOOL IKDrawVectObject(IKDC dc, IKHANDLE image, int32_t a, int32_t b, int32_t c, int32_t d,
                        double scaleX, double scaleY, IKBOOL flag);
IKHANDLE IKVectToDib(IKHANDLE image, int32_t width, int32_t height, uint8_t red, uint8_t green,
                     uint8_t blue);
// Our additions for the component layer and the later libraries.
IKHANDLE IKImportDib(const void* dib, uint32_t size);  // copies a packed DIB in
IKHANDLE IKCreateBitmapObject(const void* dib, uint32_t size);  // DIB bytes, any row order
void* IKLockImage(IKHANDLE image, uint32_t* size);  // memory stays valid until unlocked
IKBOOL IKUnlockImage(IKHANDLE image);
IKBOOL IKSetHostServices(const IKHostServices* services);  // null = none
uint32_t IKGetObjectCount(void);  // live table entries, for leak checks

// ---- libIk6Effect.so: filters, conversion, resize, compositing, pixel access ----
#define IK_AREA_PARAMS                                                                     \
    const IKHANDLE *images, int32_t selectMode, const IKPoint *points, int32_t pointCount, \
        const IKRect *rect, int32_t inOut
#define IK_PROGRESS_PARAMS \
    IKProgressProc progress, const char *caption, const char *message, const char *button

IKHANDLE IKAntiAlias(IK_AREA_PARAMS, IK_PROGRESS_PARAMS);
IKHANDLE IKBlur(IK_AREA_PARAMS, uint8_t level, IK_PROGRESS_PARAMS);
IKHANDLE IKSharp(IK_AREA_PARAMS, uint8_t level, IK_PROGRESS_PARAMS);
IKHANDLE IKCanvas(IK_AREA_PARAMS, int16_t a, int16_t b, IK_PROGRESS_PARAMS);
IKHANDLE IKOilPaint(IK_AREA_PARAMS, int16_t a, int16_t b, IK_PROGRESS_PARAMS);
IKHANDLE IKRemoveNoise(IK_AREA_PARAMS, int16_t a, int16_t b, IK_PROGRESS_PARAMS);
IKHANDLE IKEmboss(IK_AREA_PARAMS, int16_t a, int16_t b, int16_t c, IK_PROGRESS_PARAMS);
IKHANDLE IKOutline(IK_AREA_PARAMS, int16_t a, int16_t b, int16_t c, IK_PROGRESS_PARAMS);
IKHANDLE IKSelectImageEx(IK_AREA_PARAMS, int16_t a, int16_t b, int16_t c, IK_PROGRESS_PARAMS);
IKHANDLE IKAutoSelectImageEx(IK_AREA_PARAMS, int16_t a, int16_t b, int16_t c, int16_t d,
                             int16_t e, IK_PROGRESS_PARAMS);
IKHANDLE IKChroma(IK_AREA_PARAMS, int32_t a, IK_PROGRESS_PARAMS);
IKHANDLE IKMosaic(IK_AREA_PARAMS, int32_t cellWidth, int32_t cellHeight, IK_PROGRESS_PARAMS);
IKHANDLE IKGlassTile(IK_AREA_PARAMS, int32_t a, int32_t b, IK_PROGRESS_PARAMS);
IKHANDLE IKMotionBlur(IK_AREA_PARAMS, int16_t a, int16_t b, int32_t c, IK_PROGRESS_PARAMS);
IKHANDLE IKCustomFilter(IK_AREA_PARAMS, const int32_t* matrix, int32_t matrixHigh,
                        int16_t divisor, int16_t bias, IKBOOL red, IKBOOL green, IKBOOL blue,
                        IK_PROGRESS_PARAMS);
IKHANDLE IKLens(IK_AREA_PARAMS, double a, IKBOOL b, int16_t c, int16_t d, int16_t e,
                IK_PROGRESS_PARAMS);
IKHANDLE IKRipple(IK_AREA_PARAMS, double a, double b, double c, IKBOOL d, IKBOOL e, int16_t f,
                  int16_t g, int16_t h, IK_PROGRESS_PARAMS);
IKHANDLE IKWhirlPinch(IK_AREA_PARAMS, double a, double b, double c, int16_t d, int16_t e,
                      int16_t f, IK_PROGRESS_PARAMS);
IKHANDLE IKWaves(IK_AREA_PARAMS, int16_t a, int16_t b, int32_t c, int32_t d, double e,
                 int16_t f, int16_t g, int16_t h, int16_t i, IK_PROGRESS_PARAMS);
IKHANDLE IKUnifyColor(IK_AREA_PARAMS, int16_t a, int16_t b, int16_t c, int16_t d,
                      IK_PROGRESS_PARAMS);
IKHANDLE IKRedEyeRemoval(IK_AREA_PARAMS, int16_t a, int16_t b, int16_t c, int16_t d,
                         IK_PROGRESS_PARAMS);
IKHANDLE IKRGBLevel(IK_AREA_PARAMS, int32_t red, int32_t green, int32_t blue,
                    IK_PROGRESS_PARAMS);
IKHANDLE IKYCCLevel(IK_AREA_PARAMS, int32_t a, int32_t b, int32_t c, IK_PROGRESS_PARAMS);
IKHANDLE IKRGBGamma(IK_AREA_PARAMS, double red, double green, double blue, IK_PROGRESS_PARAMS);
IKHANDLE IKYCCGamma(IK_AREA_PARAMS, double a, double b, double c, IK_PROGRESS_PARAMS);
IKHANDLE IKRGBRev(IK_AREA_PARAMS, IKBOOL red, IKBOOL green, IKBOOL blue, IK_PROGRESS_PARAMS);
IKHANDLE IKYCCRev(IK_AREA_PARAMS, IKBOOL a, IKBOOL b, IKBOOL c, IK_PROGRESS_PARAMS);
IKHANDLE IKRGBSpline(IK_AREA_PARAMS, const IKPoint* curve, int32_t curveHigh, IKBOOL red,
                     IKBOOL green, IKBOOL blue, IK_PROGRESS_PARAMS);
IKHANDLE IKYCCSpline(IK_AREA_PARAMS, const IKPoint* curve, int32_t curveHigh, IKBOOL a,
                     IKBOOL b, IKBOOL c, IK_PROGRESS_PARAMS);

IKHANDLE IKConvertColor(IKHANDLE image, int16_t bitCount, int16_t first, int16_t second,
                        uint8_t value, IK_PROGRESS_PARAMS);
IKBOOL IKResizeEx(const IKHANDLE* images, IKHANDLE* results, int32_t width, int32_t height,
                  IKBOOL smooth, IK_PROGRESS_PARAMS);
IKHANDLE IKRotationEx(IKHANDLE image, int32_t angle, IKBOOL smooth, IKBOOL enlarge,
                      IKBOOL reserved1, int16_t red, int16_t green, int16_t blue,
                      IKBOOL reserved2, IK_PROGRESS_PARAMS);
IKHANDLE IKSetGray(IKHANDLE image, IK_PROGRESS_PARAMS);
IKHANDLE IKCutRectImage(IKHANDLE image, const IKRect* rect, IK_PROGRESS_PARAMS);
IKHANDLE IKLayer(IKHANDLE image1, IKHANDLE image2, uint8_t opacity, IKBOOL useTransparent,
                 uint8_t lowRed, uint8_t lowGreen, uint8_t lowBlue, uint8_t highRed,
                 uint8_t highGreen, uint8_t highBlue, int32_t x, int32_t y, IKBOOL reserved,
                 IKBOOL publicFlag, IK_PROGRESS_PARAMS);
IKHANDLE IKPasteImage(IKHANDLE image1, IKHANDLE image2, int32_t x, int32_t y,
                      IK_PROGRESS_PARAMS);
IKHANDLE IKPanorama(IKHANDLE image1, IKHANDLE image2, int32_t a, int32_t b, IK_PROGRESS_PARAMS);
IKHANDLE IKAffine(IKHANDLE image, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e,
                  int32_t f, int32_t g, int32_t h, IK_PROGRESS_PARAMS);
IKHANDLE IKMakeRGBAImage(IKHANDLE image, IKHANDLE mask, IK_PROGRESS_PARAMS);
IKBOOL IKSplitRGBAImage(IKHANDLE image, IKHANDLE* results, IK_PROGRESS_PARAMS);
IKHANDLE IKSetSecretImage(IKHANDLE image1, IKHANDLE image2, int32_t key, IK_PROGRESS_PARAMS);
IKBOOL IKCheckSecretImage(IKHANDLE image1, IKHANDLE image2, int32_t key, IK_PROGRESS_PARAMS);

IKBOOL IKStartDibAccess(IKHANDLE image, IKDibAccess* record);
IKBOOL IKGetDibPixel(IKDibAccess* record, int32_t x, int32_t y);
IKBOOL IKSetDibPixel(IKDibAccess* record, int32_t x, int32_t y);
IKBOOL IKEndDibAccess(IKHANDLE image, IKDibAccess* record);

// ---- libIk6File.so: dialogs, type detection, load and save ----
IKBOOL IKOpenFileDlg(IKWINDOW window, char* name, const char* folder, const char* extensions,
                     IKBOOL preview);
IKBOOL IKSaveFileDlgEx(IKWINDOW window, char* name, const char* folder, const char* extensions,
                       IKBOOL preview, int16_t* saveType);
IKBOOL IKFileType(const char* file, int16_t page, IKFileInfo* info);
IKHANDLE IKFileLoad(const char* file, int32_t page, int32_t vectorWidth, int32_t vectorHeight,
                    IK_PROGRESS_PARAMS);
IKHANDLE IKBmpFileLoad(const char* file, IK_PROGRESS_PARAMS);
IKHANDLE IKJpegFileLoad(const char* file, IK_PROGRESS_PARAMS);
IKHANDLE IKGifFileLoad(const char* file, IK_PROGRESS_PARAMS);
IKHANDLE IKPcxFileLoad(const char* file, IK_PROGRESS_PARAMS);
IKHANDLE IKTiffFileLoad(const char* file, int16_t page, IK_PROGRESS_PARAMS);
IKHANDLE IKFpxFileLoad(const char* file, int16_t page, IK_PROGRESS_PARAMS);
IKHANDLE IKPngFileLoadEx(const char* file, int32_t mode, IK_PROGRESS_PARAMS);
IKHANDLE IKWmfFileLoad(const char* file, int32_t width, int32_t height, IK_PROGRESS_PARAMS);
IKHANDLE IKEmfFileLoad(const char* file, int32_t width, int32_t height, IK_PROGRESS_PARAMS);
IKHANDLE IKDxfFileLoad(const char* file, int32_t width, int32_t height, IK_PROGRESS_PARAMS);
IKBOOL IKBmpFileSave(const char* file, IKHANDLE image, IKBOOL rle, IK_PROGRESS_PARAMS);
IKBOOL IKJpegFileSave(const char* file, IKHANDLE image, int16_t progressive, int16_t quality,
                      int32_t subsampling, const char* comment, IK_PROGRESS_PARAMS);
IKBOOL IKGifFileSave(const char* file, IKHANDLE image, IKBOOL interlace, IKBOOL transparent,
                     uint8_t red, uint8_t green, uint8_t blue, IKBOOL animation,
                     int16_t delay, const char* comment, IK_PROGRESS_PARAMS);
IKBOOL IKTiffFileSave(const char* file, IKHANDLE image, int16_t compression,
                      int32_t colorSpace, IKBOOL append, const char* comment, IKBOOL oneStrip,
                      IK_PROGRESS_PARAMS);
IKBOOL IKPngFileSaveEx(const char* file, IKHANDLE image, IKBOOL interlace, IKBOOL transparent,
                       uint8_t red, uint8_t green, uint8_t blue, IKBOOL publicFlag,
                       const char* comment, IK_PROGRESS_PARAMS);
IKBOOL IKFpxFileSave(const char* file, IKHANDLE image, int16_t mode, int16_t quality,
                     const char* comment, IK_PROGRESS_PARAMS);
IKBOOL IKPcxFileSave(const char* file, IKHANDLE image, IK_PROGRESS_PARAMS);
IKBOOL IKWmfFileSave(const char* file, IKHANDLE image, IK_PROGRESS_PARAMS);
IKBOOL IKEmfFileSave(const char* file, IKHANDLE image, IK_PROGRESS_PARAMS);
IKBOOL IKDxfFileSave(const char* file, IKHANDLE image, IK_PROGRESS_PARAMS);
IKBOOL IKJpegExifInfo(const char* file, void* record);
#define IK_NET_PARAMS                                                                 \
    const char *host, const char *user, const char *password, const char *remote, \
        int32_t port, const char *localFile
IKBOOL IKFTPGetFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS);
IKBOOL IKFTPPutFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS);
IKBOOL IKHTTPGetFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS);
IKBOOL IKHTTPPutFile(IK_NET_PARAMS, IK_PROGRESS_PARAMS);
IKBOOL IKFTPDeleteFile(const char* host, const char* user, const char* password,
                       const char* remote, const char* localFile, IK_PROGRESS_PARAMS);
IKBOOL IKFTPRenameFile(const char* host, const char* user, const char* password,
                       const char* remote, const char* newName, const char* localFile,
                       IK_PROGRESS_PARAMS);

#ifdef __cplusplus
}
#endif

// The acquisition and print libraries' interfaces.
#include "imaging/engine/scan/ik_scan_api.h"
#include "imaging/engine/print/ik_print_api.h"

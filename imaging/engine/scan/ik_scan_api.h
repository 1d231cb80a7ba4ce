// libIk6Scan.so's C interface: TWAIN acquisition through the source manager.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Application and source handles are 32-bit numbers of the scan library's own tables;
// 0 = none. A stale or foreign number is refused with status 5, never followed.
typedef uint32_t IKSCANAPP;
typedef uint32_t IKSCANSOURCE;

// Statuses of the scan library besides the shared ones (5 argument, 9 cancelled).
enum IKScanStatus {
    IK_ERR_SCAN_MANAGER = 30,   // no TWAIN source manager could be loaded or opened
    IK_ERR_SCAN_NO_SOURCE = 31, // no source of that name, or none installed
    IK_ERR_SCAN_SOURCE = 32,    // the source refused an operation (open, enable, a capability)
    IK_ERR_SCAN_TRANSFER = 33,  // an image transfer failed or handed over no usable image
    IK_ERR_SCAN_CLOSED = 34     // kept for callers; a source closing without an image is no failure
};

// Transfer mechanisms of the record (the component's TVIkScanTransfer).
enum IKScanTransfer { IK_SCAN_NATIVE = 0, IK_SCAN_FILE = 1, IK_SCAN_MEMORY = 2, IK_SCAN_FILE2 = 3 };
// User-interface modes (TVIkScanUIMode).
enum IKScanUiMode { IK_SCAN_UI = 0, IK_SCAN_UICLOSE = 1, IK_SCAN_NONUI = 2 };
// Scan modes (TVIkScanMode); the two array modes transfer only the images listed.
enum IKScanMode {
    IK_SCAN_DOC = 0, IK_SCAN_ADF1, IK_SCAN_ADF2, IK_SCAN_CAM, IK_SCAN_CAM_ARRAY,
    IK_SCAN_CAM_THUMB, IK_SCAN_CAM_THUMB_ARRAY
};

#pragma pack(push, 1)
// The scan parameter record. Offsets 0 to 87 are the component's record; the two texts
// that sat in 4-byte pointer slots at 60 and 84 do not fit there on a 64-bit system, so
// those slots stay 0 and the pointers follow the record at 88 and 96.
typedef struct IKScanRecord {
    int16_t pixelType;        // 0: TWPT_* (0 BW, 1 grey, 2 RGB, 3 palette)
    int16_t reserved2;
    float rectLeft;           // 4: scan area in unitMode units; all 0 = the whole area
    float rectTop;            // 8
    float rectRight;          // 12
    float rectBottom;         // 16
    int32_t xResolution;      // 20: dots per unit; 0 = the source's own
    int32_t yResolution;      // 24
    float xScaling;           // 28: 1.0 = none; 0 = leave the source's
    float yScaling;           // 32
    int16_t bitDepth;         // 36: 0 = the source's own
    int16_t brightness;       // 38
    int16_t contrast;         // 40
    int16_t reserved42;
    float gamma;              // 44: 0 = leave the source's
    int16_t highlight;        // 48
    int16_t threshold;        // 50
    int16_t shadow;           // 52
    int16_t indicator;        // 54: -1 the source shows its progress indicator, 0 not
    int16_t scanMode;         // 56: IKScanMode
    int16_t reserved58;
    uint32_t dsNameSlot;      // 60: 0 (see dsName)
    int16_t uiMode;           // 64: IKScanUiMode
    int16_t unitMode;         // 66: TWUN_* (0 inch, 1 cm, 2 pica, 3 point, 4 twip, 5 pixel)
    int16_t value68;          // 68: 1 = leave brightness, contrast, highlight, threshold
                              //     and shadow to the source (the capture program passes 0)
    int16_t xferCount;        // 70: images wanted, -1 = all
    int16_t orientation;      // 72: 0, 1, 2, 3 = 0, 90, 180, 270 degrees
    int16_t transferMode;     // 74: IKScanTransfer
    int16_t compression;      // 76: TWCP_*
    int16_t bitOrder;         // 78: 0 LSB first, 1 MSB first
    int16_t value80;          // 80: unused by this engine, kept 0
    int16_t reserved82;
    uint32_t textSlot;        // 84: 0 (see text)
    const char* dsName;       // 88: the source to use when no source handle is given
    const char* text;         // 96: folder for file transfers; null or empty = $TMPDIR
} IKScanRecord;

// What the before-scan callback is shown of the coming image.
typedef struct IKScanImageDescription {
    float xResolution;        // 0
    float yResolution;        // 4
    int32_t width;            // 8: -1 when the source does not know yet
    int32_t height;           // 12
    int16_t bitDepth;         // 16
    uint8_t pixelType;        // 18
    uint8_t reserved19;
    int16_t compression;      // 20
    int16_t reserved22;
} IKScanImageDescription;

// A source's identity: four numbers and four names (the third is the product name
// under which the source is listed).
typedef struct IKScanIdentity {
    uint16_t versionMajor, versionMinor, protocolMajor, protocolMinor;
    char manufacturer[34];
    char productFamily[34];
    char productName[34];
    char versionInfo[34];
} IKScanIdentity;
#pragma pack(pop)

// The callbacks answer -1 to go on, 0 to stop.
typedef int32_t (*IKScanBeforeProc)(const IKScanImageDescription* image, int32_t imageNumber);
typedef int32_t (*IKScanProgressProc)(int16_t percent);
// dib: a new engine image the receiver owns; org: 0 (no second image is kept).
typedef int32_t (*IKScanAfterProc)(uint32_t dib, uint32_t org, int32_t imageNumber,
                                   int16_t bitOrder);
// Runs the host's pending events once, without waiting long; the engine calls it while
// a source works on the host's own thread.
typedef void (*IKScanPumpProc)(void);

IKSCANAPP IKScanInitialize(uintptr_t window, int16_t major, int16_t minor,
                           const char* versionInfo, const char* manufacturer,
                           const char* productFamily, const char* productName);
// buffer: the default source's name and then every source's name, each followed by a
// comma. *length: in, the buffer's size; out, the text's length. Names that do not fit
// whole are left out.
int32_t IKScanList(IKSCANAPP app, char* buffer, int32_t* length);
int32_t IKScanSelect(IKSCANAPP app, IKScanIdentity* identity);
int32_t IKScanGetDSInfo(IKSCANAPP app, const char* dsName, IKScanIdentity* identity);
// dsName empty or null: the default source.
IKSCANSOURCE IKScanOpenDS(IKSCANAPP app, const char* dsName);
// The scan; answers the number of images handed to `after`. See scan_exec.cpp.
int32_t IKScanExec(IKSCANAPP app, IKSCANSOURCE source, IKScanRecord* record,
                   IKScanBeforeProc before, IKScanProgressProc progress, IKScanAfterProc after,
                   const int32_t* array);
int32_t IKScanCloseDS(IKSCANAPP app, IKSCANSOURCE source);
int32_t IKScanTerminate(IKSCANAPP app);
int32_t IKScanSetPump(IKScanPumpProc pump);  // null = none

// Capability queries. With source 0 the named source is opened for the question and
// closed again.
int32_t IKScanGetPixelType(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                           int16_t* list, int32_t count);
int32_t IKScanGetBitDepth(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                          int16_t pixelType, int16_t* list, int32_t count);
int32_t IKScanGetPhysicalSize(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                              int16_t scanMode, int16_t unit, float* width, float* height);
int32_t IKScanGetMinimumSize(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                             int16_t scanMode, int16_t unit, float* width, float* height);
// *support: the TWQC_* operations the source allows on cap, 0 when unsupported.
int32_t IKScanIsCapSupported(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                             uint16_t cap, int32_t* support);
// range: minimum, maximum, step, default, current (fixed-point values as whole numbers).
int32_t IKScanGetCapRange(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, uint16_t cap,
                          int16_t* itemType, int32_t* range);
// Answers the number of values the source offers; copies up to count of them into
// values (numbers) or into text (names, each followed by a comma, 2048 bytes), and the
// current and default index into *current and *defaultIndex.
int32_t IKScanGetCapEnum(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, uint16_t cap,
                         int16_t* itemType, float* values, char* text, int32_t* current,
                         int32_t* defaultIndex, int32_t count);

#ifdef __cplusplus
}
#endif

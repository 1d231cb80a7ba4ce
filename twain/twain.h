/* TWAIN 2.x names, values and structures as this system uses them on Linux x86-64 (C and C++). */
#ifndef Q47_TWAIN_H
#define Q47_TWAIN_H

/*
 * Written from the public TWAIN standard. Every structure is packed to 2 bytes, and
 * the integer widths are the ones TWAIN applications, sources and source managers on
 * 64-bit Linux agree on: TW_INT32 is int, TW_UINT32 unsigned int, handles are plain
 * pointers. The size and offset checks at the end of this file hold us to that layout,
 * because a source and an application that share one wrong header would agree with each
 * other and with nobody else.
 */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- basic types */

typedef char TW_INT8;
typedef short TW_INT16;
typedef int TW_INT32;
typedef unsigned char TW_UINT8;
typedef unsigned short TW_UINT16;
typedef unsigned int TW_UINT32;
typedef unsigned short TW_BOOL;
typedef void* TW_HANDLE;
typedef void* TW_MEMREF;
typedef unsigned long long TW_UINTPTR;

typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];

typedef TW_UINT8* pTW_UINT8;
typedef TW_UINT16* pTW_UINT16;
typedef TW_UINT32* pTW_UINT32;
typedef TW_BOOL* pTW_BOOL;

#pragma pack(push, 2)

/* ---------------------------------------------------------------- structures */

typedef struct {
    TW_INT16 Whole;
    TW_UINT16 Frac;
} TW_FIX32, *pTW_FIX32;

typedef struct {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
} TW_FRAME, *pTW_FRAME;

typedef struct {
    TW_UINT8 Index;
    TW_UINT8 Channel1;
    TW_UINT8 Channel2;
    TW_UINT8 Channel3;
} TW_ELEMENT8, *pTW_ELEMENT8;

typedef struct {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
} TW_VERSION, *pTW_VERSION;

typedef struct {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
} TW_IDENTITY, *pTW_IDENTITY;

/* Capability containers. The item list follows the header; ItemList[1] marks where. */
typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
} TW_ONEVALUE, *pTW_ONEVALUE;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
} TW_ENUMERATION, *pTW_ENUMERATION;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
} TW_ARRAY, *pTW_ARRAY;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
} TW_RANGE, *pTW_RANGE;

typedef struct {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
} TW_CAPABILITY, *pTW_CAPABILITY;

typedef struct {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
} TW_EVENT, *pTW_EVENT;

typedef struct {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
} TW_USERINTERFACE, *pTW_USERINTERFACE;

typedef struct {
    TW_UINT16 Count;
    union {
        TW_UINT32 EOJ;
        TW_UINT32 Reserved;
    };
} TW_PENDINGXFERS, *pTW_PENDINGXFERS;

typedef struct {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
} TW_SETUPMEMXFER, *pTW_SETUPMEMXFER;

typedef struct {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
} TW_SETUPFILEXFER, *pTW_SETUPFILEXFER;

typedef struct {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
} TW_MEMORY, *pTW_MEMORY;

typedef struct {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
} TW_IMAGEMEMXFER, *pTW_IMAGEMEMXFER;

typedef struct {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
} TW_IMAGEINFO, *pTW_IMAGEINFO;

typedef struct {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
} TW_IMAGELAYOUT, *pTW_IMAGELAYOUT;

typedef struct {
    TW_UINT16 NumColors;
    TW_UINT16 PaletteType;
    TW_ELEMENT8 Colors[256];
} TW_PALETTE8, *pTW_PALETTE8;

typedef struct {
    TW_UINT16 ConditionCode;
    union {
        TW_UINT16 Data;
        TW_UINT16 Reserved;
    };
} TW_STATUS, *pTW_STATUS;

typedef struct {
    TW_STATUS Status;
    TW_UINT32 Size;
    TW_HANDLE UTF8string;
} TW_STATUSUTF8, *pTW_STATUSUTF8;

typedef struct {
    TW_UINT32 InfoLength;
    TW_HANDLE hData;
} TW_CUSTOMDSDATA, *pTW_CUSTOMDSDATA;

typedef struct {
    TW_UINT32 Event;
    TW_STR255 DeviceName;
    TW_UINT32 BatteryMinutes;
    TW_INT16 BatteryPercentage;
    TW_INT32 PowerSupply;
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_UINT32 FlashUsed2;
    TW_UINT32 AutomaticCapture;
    TW_UINT32 TimeBeforeFirstCapture;
    TW_UINT32 TimeBetweenCaptures;
} TW_DEVICEEVENT, *pTW_DEVICEEVENT;

typedef struct {
    TW_UINT16 InfoID;
    TW_UINT16 ItemType;
    TW_UINT16 NumItems;
    union {
        TW_UINT16 ReturnCode;
        TW_UINT16 CondCode;
    };
    TW_UINTPTR Item;
} TW_INFO, *pTW_INFO;

typedef struct {
    TW_UINT32 NumInfos;
    TW_INFO Info[1];
} TW_EXTIMAGEINFO, *pTW_EXTIMAGEINFO;

/* The callback an application registers to hear MSG_XFERREADY and friends. */
typedef struct {
    TW_MEMREF CallBackProc;
    TW_UINT32 RefCon;
    TW_INT16 Message;
} TW_CALLBACK, *pTW_CALLBACK;

typedef struct {
    TW_MEMREF CallBackProc;
    TW_UINTPTR RefCon;
    TW_INT16 Message;
} TW_CALLBACK2, *pTW_CALLBACK2;

/* ---------------------------------------------------------------- entry points */

typedef TW_UINT16 (*DSMENTRYPROC)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                                  TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
typedef TW_UINT16 (*DSENTRYPROC)(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                 TW_UINT16 MSG, TW_MEMREF pData);
/* Same shape as DSM_Entry: pOrigin is the source, pDest the application. */
typedef TW_UINT16 (*TWAINCALLBACKPROC)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                                       TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
typedef TW_HANDLE (*DSM_MEMALLOCATE)(TW_UINT32 size);
typedef void (*DSM_MEMFREE)(TW_HANDLE handle);
typedef TW_MEMREF (*DSM_MEMLOCK)(TW_HANDLE handle);
typedef void (*DSM_MEMUNLOCK)(TW_HANDLE handle);

typedef struct {
    TW_UINT32 Size;
    DSMENTRYPROC DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
} TW_ENTRYPOINT, *pTW_ENTRYPOINT;

#pragma pack(pop)

TW_UINT16 DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT,
                    TW_UINT16 MSG, TW_MEMREF pData);
TW_UINT16 DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                   TW_MEMREF pData);

/* ---------------------------------------------------------------- groups and flags */

#define DG_CONTROL 0x0001UL
#define DG_IMAGE 0x0002UL
#define DG_AUDIO 0x0004UL
#define DF_DSM2 0x10000000UL
#define DF_APP2 0x20000000UL
#define DF_DS2 0x40000000UL
#define DG_MASK 0xFFFFUL

/* ---------------------------------------------------------------- data argument types */

#define DAT_NULL 0x0000
#define DAT_CUSTOMBASE 0x8000
#define DAT_CAPABILITY 0x0001
#define DAT_EVENT 0x0002
#define DAT_IDENTITY 0x0003
#define DAT_PARENT 0x0004
#define DAT_PENDINGXFERS 0x0005
#define DAT_SETUPMEMXFER 0x0006
#define DAT_SETUPFILEXFER 0x0007
#define DAT_STATUS 0x0008
#define DAT_USERINTERFACE 0x0009
#define DAT_XFERGROUP 0x000a
#define DAT_CUSTOMDSDATA 0x000c
#define DAT_DEVICEEVENT 0x000d
#define DAT_FILESYSTEM 0x000e
#define DAT_PASSTHRU 0x000f
#define DAT_CALLBACK 0x0010
#define DAT_STATUSUTF8 0x0011
#define DAT_CALLBACK2 0x0012
#define DAT_METRICS 0x0013
#define DAT_TWAINDIRECT 0x0014
#define DAT_IMAGEINFO 0x0101
#define DAT_IMAGELAYOUT 0x0102
#define DAT_IMAGEMEMXFER 0x0103
#define DAT_IMAGENATIVEXFER 0x0104
#define DAT_IMAGEFILEXFER 0x0105
#define DAT_CIECOLOR 0x0106
#define DAT_GRAYRESPONSE 0x0107
#define DAT_RGBRESPONSE 0x0108
#define DAT_JPEGCOMPRESSION 0x0109
#define DAT_PALETTE8 0x010a
#define DAT_EXTIMAGEINFO 0x010b
#define DAT_FILTER 0x010c
#define DAT_AUDIOFILEXFER 0x0201
#define DAT_AUDIOINFO 0x0202
#define DAT_AUDIONATIVEXFER 0x0203
#define DAT_ICCPROFILE 0x0401
#define DAT_IMAGEMEMFILEXFER 0x0402
#define DAT_ENTRYPOINT 0x0403

/* ---------------------------------------------------------------- messages */

#define MSG_NULL 0x0000
#define MSG_CUSTOMBASE 0x8000
#define MSG_GET 0x0001
#define MSG_GETCURRENT 0x0002
#define MSG_GETDEFAULT 0x0003
#define MSG_GETFIRST 0x0004
#define MSG_GETNEXT 0x0005
#define MSG_SET 0x0006
#define MSG_RESET 0x0007
#define MSG_QUERYSUPPORT 0x0008
#define MSG_GETHELP 0x0009
#define MSG_GETLABEL 0x000a
#define MSG_GETLABELENUM 0x000b
#define MSG_SETCONSTRAINT 0x000c
#define MSG_XFERREADY 0x0101
#define MSG_CLOSEDSREQ 0x0102
#define MSG_CLOSEDSOK 0x0103
#define MSG_DEVICEEVENT 0x0104
#define MSG_OPENDSM 0x0301
#define MSG_CLOSEDSM 0x0302
#define MSG_OPENDS 0x0401
#define MSG_CLOSEDS 0x0402
#define MSG_USERSELECT 0x0403
#define MSG_DISABLEDS 0x0501
#define MSG_ENABLEDS 0x0502
#define MSG_ENABLEDSUIONLY 0x0503
#define MSG_PROCESSEVENT 0x0601
#define MSG_ENDXFER 0x0701
#define MSG_STOPFEEDER 0x0702
#define MSG_PASSTHRU 0x0901
#define MSG_REGISTER_CALLBACK 0x0902
#define MSG_RESETALL 0x0a01

/* ---------------------------------------------------------------- capabilities */

#define CAP_CUSTOMBASE 0x8000
#define CAP_XFERCOUNT 0x0001
#define ICAP_COMPRESSION 0x0100
#define ICAP_PIXELTYPE 0x0101
#define ICAP_UNITS 0x0102
#define ICAP_XFERMECH 0x0103
#define CAP_AUTHOR 0x1000
#define CAP_CAPTION 0x1001
#define CAP_FEEDERENABLED 0x1002
#define CAP_FEEDERLOADED 0x1003
#define CAP_TIMEDATE 0x1004
#define CAP_SUPPORTEDCAPS 0x1005
#define CAP_EXTENDEDCAPS 0x1006
#define CAP_AUTOFEED 0x1007
#define CAP_CLEARPAGE 0x1008
#define CAP_FEEDPAGE 0x1009
#define CAP_REWINDPAGE 0x100a
#define CAP_INDICATORS 0x100b
#define CAP_PAPERDETECTABLE 0x100d
#define CAP_UICONTROLLABLE 0x100e
#define CAP_DEVICEONLINE 0x100f
#define CAP_AUTOSCAN 0x1010
#define CAP_THUMBNAILSENABLED 0x1011
#define CAP_DUPLEX 0x1012
#define CAP_DUPLEXENABLED 0x1013
#define CAP_ENABLEDSUIONLY 0x1014
#define CAP_CUSTOMDSDATA 0x1015
#define CAP_ENDORSER 0x1016
#define CAP_JOBCONTROL 0x1017
#define CAP_ALARMS 0x1018
#define CAP_DEVICEEVENT 0x1022
#define CAP_SERIALNUMBER 0x1024
#define CAP_LANGUAGE 0x102c
#define CAP_SUPPORTEDDATS 0x103e
#define CAP_INDICATORSMODE 0x1044
#define ICAP_AUTOBRIGHT 0x1100
#define ICAP_BRIGHTNESS 0x1101
#define ICAP_CONTRAST 0x1103
#define ICAP_CUSTHALFTONE 0x1104
#define ICAP_EXPOSURETIME 0x1105
#define ICAP_FILTER 0x1106
#define ICAP_FLASHUSED 0x1107
#define ICAP_GAMMA 0x1108
#define ICAP_HALFTONES 0x1109
#define ICAP_HIGHLIGHT 0x110a
#define ICAP_IMAGEFILEFORMAT 0x110c
#define ICAP_LAMPSTATE 0x110d
#define ICAP_LIGHTSOURCE 0x110e
#define ICAP_ORIENTATION 0x1110
#define ICAP_PHYSICALWIDTH 0x1111
#define ICAP_PHYSICALHEIGHT 0x1112
#define ICAP_SHADOW 0x1113
#define ICAP_FRAMES 0x1114
#define ICAP_XNATIVERESOLUTION 0x1116
#define ICAP_YNATIVERESOLUTION 0x1117
#define ICAP_XRESOLUTION 0x1118
#define ICAP_YRESOLUTION 0x1119
#define ICAP_MAXFRAMES 0x111a
#define ICAP_TILES 0x111b
#define ICAP_BITORDER 0x111c
#define ICAP_CCITTKFACTOR 0x111d
#define ICAP_LIGHTPATH 0x111e
#define ICAP_PIXELFLAVOR 0x111f
#define ICAP_PLANARCHUNKY 0x1120
#define ICAP_ROTATION 0x1121
#define ICAP_SUPPORTEDSIZES 0x1122
#define ICAP_THRESHOLD 0x1123
#define ICAP_XSCALING 0x1124
#define ICAP_YSCALING 0x1125
#define ICAP_BITORDERCODES 0x1126
#define ICAP_PIXELFLAVORCODES 0x1127
#define ICAP_JPEGPIXELTYPE 0x1128
#define ICAP_TIMEFILL 0x112a
#define ICAP_BITDEPTH 0x112b
#define ICAP_BITDEPTHREDUCTION 0x112c
#define ICAP_UNDEFINEDIMAGESIZE 0x112d
#define ICAP_IMAGEDATASET 0x112e
#define ICAP_EXTIMAGEINFO 0x112f
#define ICAP_MINIMUMHEIGHT 0x1130
#define ICAP_MINIMUMWIDTH 0x1131

/* ---------------------------------------------------------------- container and item types */

#define TWON_ARRAY 3
#define TWON_ENUMERATION 4
#define TWON_ONEVALUE 5
#define TWON_RANGE 6
#define TWON_DONTCARE8 0xff
#define TWON_DONTCARE16 0xffff
#define TWON_DONTCARE32 0xffffffffU

#define TWTY_INT8 0x0000
#define TWTY_INT16 0x0001
#define TWTY_INT32 0x0002
#define TWTY_UINT8 0x0003
#define TWTY_UINT16 0x0004
#define TWTY_UINT32 0x0005
#define TWTY_BOOL 0x0006
#define TWTY_FIX32 0x0007
#define TWTY_FRAME 0x0008
#define TWTY_STR32 0x0009
#define TWTY_STR64 0x000a
#define TWTY_STR128 0x000b
#define TWTY_STR255 0x000c
#define TWTY_HANDLE 0x000f

/* ---------------------------------------------------------------- capability values */

/* ICAP_XFERMECH */
#define TWSX_NATIVE 0
#define TWSX_FILE 1
#define TWSX_MEMORY 2
#define TWSX_MEMFILE 4

/* ICAP_PIXELTYPE */
#define TWPT_BW 0
#define TWPT_GRAY 1
#define TWPT_RGB 2
#define TWPT_PALETTE 3
#define TWPT_CMY 4
#define TWPT_CMYK 5
#define TWPT_YUV 6
#define TWPT_YUVK 7
#define TWPT_CIEXYZ 8
#define TWPT_LAB 9
#define TWPT_SRGB 10
#define TWPT_SCRGB 11
#define TWPT_INFRARED 16

/* ICAP_COMPRESSION */
#define TWCP_NONE 0
#define TWCP_PACKBITS 1
#define TWCP_GROUP31D 2
#define TWCP_GROUP31DEOL 3
#define TWCP_GROUP32D 4
#define TWCP_GROUP4 5
#define TWCP_JPEG 6
#define TWCP_LZW 7
#define TWCP_JBIG 8
#define TWCP_PNG 9
#define TWCP_RLE4 10
#define TWCP_RLE8 11
#define TWCP_BITFIELDS 12
#define TWCP_ZIP 13
#define TWCP_JPEG2000 14

/* ICAP_UNITS */
#define TWUN_INCHES 0
#define TWUN_CENTIMETERS 1
#define TWUN_PICAS 2
#define TWUN_POINTS 3
#define TWUN_TWIPS 4
#define TWUN_PIXELS 5
#define TWUN_MILLIMETERS 6

/* ICAP_BITORDER, ICAP_PIXELFLAVOR, ICAP_PLANARCHUNKY */
#define TWBO_LSBFIRST 0
#define TWBO_MSBFIRST 1
#define TWPF_CHOCOLATE 0
#define TWPF_VANILLA 1
#define TWPC_CHUNKY 0
#define TWPC_PLANAR 1

/* ICAP_SUPPORTEDSIZES */
#define TWSS_NONE 0
#define TWSS_A4 1
#define TWSS_JISB5 2
#define TWSS_USLETTER 3
#define TWSS_USLEGAL 4

/* DAT_PALETTE8 PaletteType */
#define TWPA_RGB 0
#define TWPA_GRAY 1
#define TWPA_CMY 2

/* ICAP_IMAGEFILEFORMAT and TW_SETUPFILEXFER Format */
#define TWFF_TIFF 0
#define TWFF_PICT 1
#define TWFF_BMP 2
#define TWFF_XBM 3
#define TWFF_JFIF 4
#define TWFF_FPX 5
#define TWFF_TIFFMULTI 6
#define TWFF_PNG 7
#define TWFF_SPIFF 8
#define TWFF_EXIF 9
#define TWFF_PDF 10
#define TWFF_JP2 11
#define TWFF_JPX 13
#define TWFF_DEJAVU 14
#define TWFF_PDFA 15
#define TWFF_PDFA2 16

/* TW_MEMORY Flags */
#define TWMF_APPOWNS 0x0001
#define TWMF_DSMOWNS 0x0002
#define TWMF_DSOWNS 0x0004
#define TWMF_POINTER 0x0008
#define TWMF_HANDLE 0x0010

/* MSG_QUERYSUPPORT answers */
#define TWQC_GET 0x0001
#define TWQC_SET 0x0002
#define TWQC_GETDEFAULT 0x0004
#define TWQC_GETCURRENT 0x0008
#define TWQC_RESET 0x0010

/* TW_VERSION Language and Country (the few this system names) */
#define TWLG_USERLOCALE 0xffff
#define TWLG_DANISH 0
#define TWLG_DUTCH 1
#define TWLG_ENGLISH 2
#define TWLG_FRENCH 6
#define TWLG_GERMAN 7
#define TWLG_ITALIAN 9
#define TWLG_SPANISH 12
#define TWLG_USA 13
#define TWLG_JAPANESE 30
#define TWCY_USA 1
#define TWCY_GERMANY 49
#define TWCY_JAPAN 81

/* ---------------------------------------------------------------- result and condition codes */

#define TWRC_CUSTOMBASE 0x8000
#define TWRC_SUCCESS 0
#define TWRC_FAILURE 1
#define TWRC_CHECKSTATUS 2
#define TWRC_CANCEL 3
#define TWRC_DSEVENT 4
#define TWRC_NOTDSEVENT 5
#define TWRC_XFERDONE 6
#define TWRC_ENDOFLIST 7
#define TWRC_INFONOTSUPPORTED 8
#define TWRC_DATANOTAVAILABLE 9
#define TWRC_BUSY 10
#define TWRC_SCANNERLOCKED 11

#define TWCC_CUSTOMBASE 0x8000
#define TWCC_SUCCESS 0
#define TWCC_BUMMER 1
#define TWCC_LOWMEMORY 2
#define TWCC_NODS 3
#define TWCC_MAXCONNECTIONS 4
#define TWCC_OPERATIONERROR 5
#define TWCC_BADCAP 6
#define TWCC_BADPROTOCOL 9
#define TWCC_BADVALUE 10
#define TWCC_SEQERROR 11
#define TWCC_BADDEST 12
#define TWCC_CAPUNSUPPORTED 13
#define TWCC_CAPBADOPERATION 14
#define TWCC_CAPSEQERROR 15
#define TWCC_DENIED 16
#define TWCC_FILEEXISTS 17
#define TWCC_FILENOTFOUND 18
#define TWCC_NOTEMPTY 19
#define TWCC_PAPERJAM 20
#define TWCC_PAPERDOUBLEFEED 21
#define TWCC_FILEWRITEERROR 22
#define TWCC_CHECKDEVICEONLINE 23
#define TWCC_INTERLOCK 24
#define TWCC_DAMAGEDCORNER 25
#define TWCC_FOCUSERROR 26
#define TWCC_DOCTOOLIGHT 27
#define TWCC_DOCTOODARK 28
#define TWCC_NOMEDIA 29

#ifdef __cplusplus
}
#endif

/* ---------------------------------------------------------------- layout checks */

#ifdef __cplusplus
#define Q47_TW_ASSERT(cond, what) static_assert(cond, what)
#else
#define Q47_TW_ASSERT(cond, what) _Static_assert(cond, what)
#endif

Q47_TW_ASSERT(sizeof(TW_INT32) == 4 && sizeof(TW_UINT32) == 4, "32-bit TWAIN integers");
Q47_TW_ASSERT(sizeof(TW_HANDLE) == 8 && sizeof(TW_UINTPTR) == 8, "64-bit handles");
Q47_TW_ASSERT(sizeof(TW_FIX32) == 4, "TW_FIX32");
Q47_TW_ASSERT(sizeof(TW_VERSION) == 42, "TW_VERSION");
Q47_TW_ASSERT(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY");
Q47_TW_ASSERT(offsetof(TW_IDENTITY, Version) == 4, "TW_IDENTITY.Version");
Q47_TW_ASSERT(offsetof(TW_IDENTITY, ProtocolMajor) == 46, "TW_IDENTITY.ProtocolMajor");
Q47_TW_ASSERT(offsetof(TW_IDENTITY, SupportedGroups) == 50, "TW_IDENTITY.SupportedGroups");
Q47_TW_ASSERT(offsetof(TW_IDENTITY, Manufacturer) == 54, "TW_IDENTITY.Manufacturer");
Q47_TW_ASSERT(offsetof(TW_IDENTITY, ProductFamily) == 88, "TW_IDENTITY.ProductFamily");
Q47_TW_ASSERT(offsetof(TW_IDENTITY, ProductName) == 122, "TW_IDENTITY.ProductName");
Q47_TW_ASSERT(sizeof(TW_CAPABILITY) == 12, "TW_CAPABILITY");
Q47_TW_ASSERT(offsetof(TW_CAPABILITY, hContainer) == 4, "TW_CAPABILITY.hContainer");
Q47_TW_ASSERT(sizeof(TW_USERINTERFACE) == 12, "TW_USERINTERFACE");
Q47_TW_ASSERT(sizeof(TW_IMAGEINFO) == 42, "TW_IMAGEINFO");
Q47_TW_ASSERT(sizeof(TW_MEMORY) == 16, "TW_MEMORY");
Q47_TW_ASSERT(sizeof(TW_IMAGEMEMXFER) == 42, "TW_IMAGEMEMXFER");
Q47_TW_ASSERT(offsetof(TW_IMAGEMEMXFER, Memory) == 26, "TW_IMAGEMEMXFER.Memory");
Q47_TW_ASSERT(sizeof(TW_SETUPMEMXFER) == 12, "TW_SETUPMEMXFER");
Q47_TW_ASSERT(sizeof(TW_SETUPFILEXFER) == 260, "TW_SETUPFILEXFER");
Q47_TW_ASSERT(offsetof(TW_SETUPFILEXFER, Format) == 256, "TW_SETUPFILEXFER.Format");
Q47_TW_ASSERT(sizeof(TW_PENDINGXFERS) == 6, "TW_PENDINGXFERS");
Q47_TW_ASSERT(sizeof(TW_PALETTE8) == 1028, "TW_PALETTE8");
Q47_TW_ASSERT(sizeof(TW_STATUS) == 4, "TW_STATUS");
Q47_TW_ASSERT(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE");
Q47_TW_ASSERT(offsetof(TW_ENUMERATION, ItemList) == 14, "TW_ENUMERATION header");
Q47_TW_ASSERT(offsetof(TW_ARRAY, ItemList) == 6, "TW_ARRAY header");
Q47_TW_ASSERT(sizeof(TW_RANGE) == 22, "TW_RANGE");
Q47_TW_ASSERT(sizeof(TW_IMAGELAYOUT) == 28, "TW_IMAGELAYOUT");
Q47_TW_ASSERT(sizeof(TW_EVENT) == 10, "TW_EVENT");
Q47_TW_ASSERT(sizeof(TW_ENTRYPOINT) == 44, "TW_ENTRYPOINT");
Q47_TW_ASSERT(offsetof(TW_ENTRYPOINT, DSM_Entry) == 4, "TW_ENTRYPOINT.DSM_Entry");
Q47_TW_ASSERT(sizeof(TW_CALLBACK) == 14, "TW_CALLBACK");
Q47_TW_ASSERT(sizeof(TW_CALLBACK2) == 18, "TW_CALLBACK2");

#endif /* Q47_TWAIN_H */

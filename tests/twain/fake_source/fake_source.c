/* Test fixture: a small conforming TWAIN data source that delivers the picture of fake_image.h. */
/*
 * Built several times with different identities (FAKE_PRODUCT_NAME, FAKE_GROUPS,
 * FAKE_PROTOCOL_MAJOR/MINOR) so the tests can see which libraries the source manager
 * accepts. Run-time knobs, for the tests only:
 *   FAKE_DS_TRACE      file that gets one line per notable event
 *   FAKE_DS_BEHAVIOUR  "cancel" (asks to close instead of offering the image), "silent"
 *                      (never calls back), "sync" (offers the image from inside
 *                      MSG_ENABLEDS), "refuse-open" (MSG_OPENDS fails with TWCC_BUMMER)
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "fake_image.h"
#include "twain/twain.h"

#define EXPORT __attribute__((visibility("default")))

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static TW_IDENTITY self, app;
static DSMENTRYPROC dsm;
static TW_ENTRYPOINT points;
static int havePoints, isOpen, isEnabled, pending, nextRow;
static TW_UINT16 mech = TWSX_NATIVE, pixelType = TWPT_PALETTE, indicators = 1, condition;
static TW_SETUPFILEXFER fileSetup = {"fake_image.bmp", TWFF_BMP, 0};
static pthread_t notifier;
static int notifierRunning;

static void trace(const char* format, ...) {
    const char* path = getenv("FAKE_DS_TRACE");
    if (!path) return;
    FILE* f = fopen(path, "a");
    if (!f) return;
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fputc('\n', f);
    fclose(f);
}

static int behaviour(const char* name) {
    const char* b = getenv("FAKE_DS_BEHAVIOUR");
    return b && strcmp(b, name) == 0;
}

static TW_UINT16 failWith(TW_UINT16 cc) {
    condition = cc;
    return TWRC_FAILURE;
}

static TW_HANDLE allocate(TW_UINT32 size) {
    return havePoints ? points.DSM_MemAllocate(size) : calloc(1, size);
}

static int bitsPerPixel(void) { return pixelType == TWPT_RGB ? 24 : 8; }
static int stride(void) { return ((FAKE_WIDTH * bitsPerPixel() + 31) / 32) * 4; }

/* Row y (from the top) as TWAIN sends it: palette indices, or R, G, B. */
static void fillRow(int y, unsigned char* row, int rgbOrder) {
    for (int x = 0; x < FAKE_WIDTH; ++x) {
        if (pixelType == TWPT_RGB) {
            unsigned char c[3];
            fakeRgb(x, y, c);
            row[3 * x] = c[rgbOrder ? 0 : 2];
            row[3 * x + 1] = c[1];
            row[3 * x + 2] = c[rgbOrder ? 2 : 0];
        } else {
            row[x] = fakeIndex(x, y);
        }
    }
}

/* A packed bottom-up DIB of the picture; size in *size. */
static unsigned char* buildDib(TW_UINT32* size, int useDsmMemory) {
    const int palette = pixelType == TWPT_RGB ? 0 : 256;
    *size = 40 + palette * 4 + stride() * FAKE_HEIGHT;
    unsigned char* dib = useDsmMemory ? allocate(*size) : calloc(1, *size);
    if (!dib) return NULL;
    int header[10] = {40, FAKE_WIDTH, FAKE_HEIGHT, 0, 0, stride() * FAKE_HEIGHT, 3937, 3937,
                      palette, 0};
    memcpy(dib, header, 40);
    dib[12] = 1;  /* planes */
    dib[14] = (unsigned char)bitsPerPixel();
    for (int i = 0; i < palette; ++i) {
        unsigned char c[3];
        fakePaletteColour(i, c);
        dib[40 + 4 * i] = c[2];
        dib[40 + 4 * i + 1] = c[1];
        dib[40 + 4 * i + 2] = c[0];
    }
    unsigned char* pixels = dib + 40 + palette * 4;
    for (int y = 0; y < FAKE_HEIGHT; ++y) fillRow(y, pixels + stride() * (FAKE_HEIGHT - 1 - y), 0);
    return dib;
}

static void notifyApp(TW_UINT16 msg) {
    if (!dsm) {
        trace("notify 0x%x without a DSM entry", msg);
        return;
    }
    TW_UINT16 rc = dsm(&self, &app, DG_CONTROL, DAT_NULL, msg, NULL);
    trace("notify 0x%x rc=%u", msg, rc);
}

/* Offers the image from another thread, as a real source with its own device thread does. */
static void* offerImage(void* unused) {
    (void)unused;
    usleep(20000);
    if (behaviour("silent")) return NULL;
    if (behaviour("cancel")) {
        notifyApp(MSG_CLOSEDSREQ);
        return NULL;
    }
    pthread_mutex_lock(&lock);
    pending = 1;
    nextRow = 0;
    pthread_mutex_unlock(&lock);
    notifyApp(MSG_XFERREADY);
    return NULL;
}

static void stopNotifier(void) {
    if (notifierRunning) pthread_join(notifier, NULL);
    notifierRunning = 0;
}

static TW_UINT16 oneValue(pTW_CAPABILITY cap, TW_UINT16 type, TW_UINT32 value) {
    cap->ConType = TWON_ONEVALUE;
    cap->hContainer = allocate(sizeof(TW_ONEVALUE));
    if (!cap->hContainer) return failWith(TWCC_LOWMEMORY);
    pTW_ONEVALUE one = (pTW_ONEVALUE)cap->hContainer;
    one->ItemType = type;
    one->Item = value;
    return TWRC_SUCCESS;
}

static TW_UINT16 capability(TW_UINT16 msg, pTW_CAPABILITY cap) {
    if (msg == MSG_GET || msg == MSG_GETCURRENT) {
        switch (cap->Cap) {
        case ICAP_XFERMECH: return oneValue(cap, TWTY_UINT16, mech);
        case ICAP_PIXELTYPE: return oneValue(cap, TWTY_UINT16, pixelType);
        case CAP_INDICATORS: return oneValue(cap, TWTY_BOOL, indicators);
        case CAP_XFERCOUNT: return oneValue(cap, TWTY_INT16, 1);
        default: return failWith(TWCC_CAPUNSUPPORTED);
        }
    }
    if (msg != MSG_SET) return failWith(TWCC_CAPBADOPERATION);
    if (cap->ConType != TWON_ONEVALUE || !cap->hContainer) return failWith(TWCC_BADVALUE);
    TW_UINT32 value = ((pTW_ONEVALUE)cap->hContainer)->Item;
    trace("set 0x%04x = %u", cap->Cap, value);
    switch (cap->Cap) {
    case ICAP_XFERMECH:
        if (value > TWSX_MEMORY) return failWith(TWCC_BADVALUE);
        mech = (TW_UINT16)value;
        return TWRC_SUCCESS;
    case ICAP_PIXELTYPE:
        if (value != TWPT_PALETTE && value != TWPT_RGB) return failWith(TWCC_CAPBADOPERATION);
        pixelType = (TW_UINT16)value;
        return TWRC_SUCCESS;
    case CAP_INDICATORS:
        indicators = (TW_UINT16)(value & 0xffff) ? 1 : 0;
        return TWRC_SUCCESS;
    default:
        return failWith(TWCC_CAPUNSUPPORTED);
    }
}

static TW_UINT16 memoryStrip(pTW_IMAGEMEMXFER strip) {
    const TW_UINT32 rowBytes = (TW_UINT32)stride();
    if (!pending) return failWith(TWCC_SEQERROR);
    if (strip->Memory.Length < rowBytes || !strip->Memory.TheMem) return failWith(TWCC_BADVALUE);
    int rows = (int)(strip->Memory.Length / rowBytes);
    if (rows > FAKE_HEIGHT - nextRow) rows = FAKE_HEIGHT - nextRow;
    unsigned char* to = strip->Memory.TheMem;
    if ((strip->Memory.Flags & TWMF_HANDLE) && havePoints) to = points.DSM_MemLock(to);
    for (int r = 0; r < rows; ++r) fillRow(nextRow + r, to + (size_t)r * rowBytes, 1);
    strip->Compression = TWCP_NONE;
    strip->BytesPerRow = rowBytes;
    strip->Columns = FAKE_WIDTH;
    strip->Rows = (TW_UINT32)rows;
    strip->XOffset = 0;
    strip->YOffset = (TW_UINT32)nextRow;
    strip->BytesWritten = rowBytes * (TW_UINT32)rows;
    nextRow += rows;
    if (nextRow < FAKE_HEIGHT) return TWRC_SUCCESS;
    nextRow = 0;
    return TWRC_XFERDONE;
}

static TW_UINT16 writeFile(void) {
    if (!pending) return failWith(TWCC_SEQERROR);
    TW_UINT32 size;
    unsigned char* dib = buildDib(&size, 0);
    FILE* f = dib ? fopen(fileSetup.FileName, "wb") : NULL;
    if (!f) {
        free(dib);
        return failWith(TWCC_FILEWRITEERROR);
    }
    unsigned char header[14] = {'B', 'M'};
    TW_UINT32 total = size + 14, offset = 14 + 40 + (pixelType == TWPT_RGB ? 0 : 1024);
    memcpy(header + 2, &total, 4);
    memcpy(header + 10, &offset, 4);
    int ok = fwrite(header, 1, 14, f) == 14 && fwrite(dib, 1, size, f) == size;
    ok = fclose(f) == 0 && ok;
    free(dib);
    return ok ? TWRC_XFERDONE : failWith(TWCC_FILEWRITEERROR);
}

static TW_UINT16 control(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, pTW_IDENTITY origin) {
    if (dat == DAT_IDENTITY && msg == MSG_GET) {
        *(pTW_IDENTITY)data = self;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_IDENTITY && msg == MSG_OPENDS) {
        if (behaviour("refuse-open")) return failWith(TWCC_BUMMER);
        app = *origin;
        self = *(pTW_IDENTITY)data;
        if (!havePoints) dsm = (DSMENTRYPROC)dlsym(RTLD_DEFAULT, "DSM_Entry");
        isOpen = 1;
        trace("open id=%u app=%u entrypoint=%d", self.Id, app.Id, havePoints);
        return TWRC_SUCCESS;
    }
    if (dat == DAT_IDENTITY && msg == MSG_CLOSEDS) {
        if (isEnabled) return failWith(TWCC_SEQERROR);
        isOpen = 0;
        trace("close");
        return TWRC_SUCCESS;
    }
    if (dat == DAT_ENTRYPOINT && msg == MSG_SET) {
        points = *(pTW_ENTRYPOINT)data;
        dsm = points.DSM_Entry;
        havePoints = 1;
        trace("entrypoint");
        return TWRC_SUCCESS;
    }
    if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS) {
        if (!isOpen || isEnabled) return failWith(TWCC_SEQERROR);
        pTW_USERINTERFACE ui = data;
        isEnabled = 1;
        trace("enable showui=%u indicators=%u mech=%u pixeltype=%u", ui->ShowUI, indicators, mech,
              pixelType);
        if (behaviour("sync")) {
            pending = 1;
            nextRow = 0;
            notifyApp(MSG_XFERREADY);
        } else {
            notifierRunning = pthread_create(&notifier, NULL, offerImage, NULL) == 0;
        }
        return TWRC_SUCCESS;
    }
    if (dat == DAT_USERINTERFACE && msg == MSG_DISABLEDS) {
        stopNotifier();
        isEnabled = 0;
        trace("disable");
        return TWRC_SUCCESS;
    }
    if (dat == DAT_CAPABILITY) return capability(msg, data);
    if (dat == DAT_PENDINGXFERS) {
        pTW_PENDINGXFERS p = data;
        if (msg == MSG_ENDXFER || msg == MSG_RESET) {
            pending = 0;
            trace(msg == MSG_ENDXFER ? "endxfer" : "reset");
        }
        p->Count = (TW_UINT16)pending;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_SETUPMEMXFER && msg == MSG_GET) {
        pTW_SETUPMEMXFER s = data;
        s->MinBufSize = 256;
        s->MaxBufSize = 4096;
        s->Preferred = 512; /* a few rows a strip, so the image comes in several */
        return TWRC_SUCCESS;
    }
    if (dat == DAT_SETUPFILEXFER) {
        pTW_SETUPFILEXFER s = data;
        if (msg == MSG_GET || msg == MSG_GETDEFAULT) {
            *s = fileSetup;
            return TWRC_SUCCESS;
        }
        if (msg == MSG_SET) {
            if (s->Format != TWFF_BMP) return failWith(TWCC_BADVALUE);
            fileSetup = *s;
            fileSetup.FileName[sizeof(TW_STR255) - 1] = '\0';
            return TWRC_SUCCESS;
        }
    }
    if (dat == DAT_STATUS && msg == MSG_GET) {
        ((pTW_STATUS)data)->ConditionCode = condition;
        condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT) return TWRC_NOTDSEVENT;
    return failWith(TWCC_BADPROTOCOL);
}

static TW_UINT16 image(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dat == DAT_IMAGEINFO && msg == MSG_GET) {
        pTW_IMAGEINFO info = data;
        memset(info, 0, sizeof *info);
        info->XResolution.Whole = info->YResolution.Whole = FAKE_DPI;
        info->ImageWidth = FAKE_WIDTH;
        info->ImageLength = FAKE_HEIGHT;
        info->SamplesPerPixel = pixelType == TWPT_RGB ? 3 : 1;
        for (int i = 0; i < info->SamplesPerPixel; ++i) info->BitsPerSample[i] = 8;
        info->BitsPerPixel = (TW_INT16)bitsPerPixel();
        info->PixelType = (TW_INT16)pixelType;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_PALETTE8 && msg == MSG_GET) {
        pTW_PALETTE8 p = data;
        p->NumColors = 256;
        p->PaletteType = TWPA_RGB;
        for (int i = 0; i < 256; ++i) {
            unsigned char c[3];
            fakePaletteColour(i, c);
            p->Colors[i] = (TW_ELEMENT8){(TW_UINT8)i, c[0], c[1], c[2]};
        }
        return TWRC_SUCCESS;
    }
    if (dat == DAT_IMAGENATIVEXFER && msg == MSG_GET) {
        if (!pending) return failWith(TWCC_SEQERROR);
        TW_UINT32 size;
        unsigned char* dib = buildDib(&size, 1);
        if (!dib) return failWith(TWCC_LOWMEMORY);
        *(TW_HANDLE*)data = dib; /* the application owns it now */
        return TWRC_XFERDONE;
    }
    if (dat == DAT_IMAGEMEMXFER && msg == MSG_GET) return memoryStrip(data);
    if (dat == DAT_IMAGEFILEXFER && msg == MSG_GET) return writeFile();
    return failWith(TWCC_BADPROTOCOL);
}

EXPORT TW_UINT16 DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data) {
    if (!data && !(dg == DG_IMAGE && dat == DAT_IMAGEFILEXFER)) return failWith(TWCC_BADVALUE);
    if (dg == DG_CONTROL) return control(dat, msg, data, origin);
    if (dg == DG_IMAGE) return image(dat, msg, data);
    return failWith(TWCC_BADPROTOCOL);
}

__attribute__((constructor)) static void describeSelf(void) {
    self.Version.MajorNum = 1;
    self.Version.MinorNum = 2;
    self.Version.Language = TWLG_USA;
    self.Version.Country = TWCY_USA;
    strcpy(self.Version.Info, "test fixture");
    self.ProtocolMajor = FAKE_PROTOCOL_MAJOR;
    self.ProtocolMinor = FAKE_PROTOCOL_MINOR;
    self.SupportedGroups = FAKE_GROUPS;
    strcpy(self.Manufacturer, "Q-47 tests");
    strcpy(self.ProductFamily, "Fakes");
    strcpy(self.ProductName, FAKE_PRODUCT_NAME);
}

__attribute__((destructor)) static void unload(void) { stopNotifier(); }

// TVIkScan: each operation checks its entry, calls the acquisition library and takes
// the engine's status; ScanExec adds the active-component slot, the callbacks and the
// floating-point control word.
#include "imaging/Ikscan.h"

#include <QCoreApplication>
#include <cstring>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/Ikutils.h"

namespace {

// One process-wide slot: the callbacks find the scanning component through it.
TVIkScan* g_activeScan = nullptr;

// While a source works on this thread (a host with a Qt application), its timers and
// windows only run when the engine's wait serves them.
void pumpEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The x87 control word and the SSE control register, masked for the scan when
// FpuException asks for it (some sources trap on denormals or division by zero).
struct FpuState {
#if defined(__x86_64__) || defined(__i386__)
    uint16_t control = 0;
    uint32_t mxcsr = 0;
    void save() {
        __asm__ volatile("fnstcw %0" : "=m"(control));
        __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    }
    static void mask() {
        const uint16_t cw = 0x133F;  // all exceptions masked, 64-bit precision
        __asm__ volatile("fldcw %0" : : "m"(cw));
        uint32_t m = 0;
        __asm__ volatile("stmxcsr %0" : "=m"(m));
        m |= 0x1F80;
        __asm__ volatile("ldmxcsr %0" : : "m"(m));
    }
    void restore() const {
        __asm__ volatile("fldcw %0" : : "m"(control));
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    }
#else
    void save() {}
    static void mask() {}
    void restore() const {}
#endif
};

QString fromName(const char* field, size_t size) {
    return QString::fromLocal8Bit(field, static_cast<int>(strnlen(field, size)));
}

// Comma-terminated names; text after the last comma is not a name.
QStringList commaTerminated(const char* text) {
    QStringList names;
    const QString all = QString::fromLocal8Bit(text);
    qsizetype start = 0;
    for (qsizetype comma = all.indexOf(','); comma >= 0; comma = all.indexOf(',', start)) {
        names << all.mid(start, comma - start);
        start = comma + 1;
    }
    return names;
}

}  // namespace

TVIkScan::TVIkScan(QObject* owner) : QObject(owner) { InitializeIK(); }

TVIkScan::~TVIkScan() {
    if (g_activeScan == this) g_activeScan = nullptr;
    if (app_ && source_ && Ikdllprocs::IKScanCloseDS) Ikdllprocs::IKScanCloseDS(app_, source_);
    if (app_ && Ikdllprocs::IKScanTerminate) Ikdllprocs::IKScanTerminate(app_);
    TerminateIK();
}

TVIkScan* TVIkScan::activeScan() { return g_activeScan; }

bool TVIkScan::entryMissing(const void* entry) {
    if (entry) {
        ErrorStatus = 0;
        return false;
    }
    ErrorStatus = IK_ERR_ENTRY_MISSING;
    return true;
}

void TVIkScan::takeEngineStatus() {
    ErrorStatus = Ikdllprocs::IKGetErrorStatus ? Ikdllprocs::IKGetErrorStatus() : uint16_t{IK_ERR_ENTRY_MISSING};
}

void TVIkScan::takeIdentity(const IKScanIdentity& id) {
    Identity.VersionMajor = id.versionMajor;
    Identity.VersionMinor = id.versionMinor;
    Identity.ProtocolMajor = id.protocolMajor;
    Identity.ProtocolMinor = id.protocolMinor;
    Identity.Manufacturer = fromName(id.manufacturer, sizeof id.manufacturer);
    Identity.ProductFamily = fromName(id.productFamily, sizeof id.productFamily);
    Identity.ProductName = fromName(id.productName, sizeof id.productName);
    Identity.VersionInfo = fromName(id.versionInfo, sizeof id.versionInfo);
}

bool TVIkScan::ScanInitialize(int major, int minor, const QString& versionInfo, const QString& manufacturer,
                              const QString& productFamily, const QString& productName) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanInitialize))) return false;
    if (!app_) {
        app_ = Ikdllprocs::IKScanInitialize(Ikutils::windowOf(parent()), static_cast<int16_t>(major),
                                            static_cast<int16_t>(minor), versionInfo.toLocal8Bit().constData(),
                                            manufacturer.toLocal8Bit().constData(),
                                            productFamily.toLocal8Bit().constData(),
                                            productName.toLocal8Bit().constData());
        takeEngineStatus();
    }
    return app_ != 0;
}

bool TVIkScan::ScanList() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanList))) return false;
    DSList.clear();
    DSIndex = -1;
    char buffer[2048] = {};
    int32_t length = sizeof buffer;
    const bool ok = Ikdllprocs::IKScanList(app_, buffer, &length) != 0;
    takeEngineStatus();
    if (!ok) return false;
    buffer[sizeof buffer - 1] = '\0';
    // The first name is the default; the rest are the installed sources.
    const QStringList names = commaTerminated(buffer);
    if (names.isEmpty()) return true;
    for (qsizetype i = 1; i < names.size(); ++i) DSList << names[i];
    DSIndex = static_cast<int32_t>(DSList.indexOf(names.front()));
    return true;
}

bool TVIkScan::ScanSelect() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanSelect))) return false;
    IKScanIdentity id{};
    const bool ok = Ikdllprocs::IKScanSelect(app_, &id) != 0;
    takeEngineStatus();
    if (!ok) return false;
    takeIdentity(id);
    DSIndex = static_cast<int32_t>(DSList.indexOf(Identity.ProductName));
    return true;
}

bool TVIkScan::ScanGetDSInfo() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetDSInfo))) return false;
    IKScanIdentity id{};
    const bool ok = Ikdllprocs::IKScanGetDSInfo(app_, DSName.toLocal8Bit().constData(), &id) != 0;
    takeEngineStatus();
    if (ok) takeIdentity(id);
    return ok;
}

bool TVIkScan::ScanOpenDS() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanOpenDS))) return false;
    if (!source_) {
        source_ = Ikdllprocs::IKScanOpenDS(app_, DSName.toLocal8Bit().constData());
        takeEngineStatus();
    }
    return source_ != 0;
}

bool TVIkScan::IsOpenDS() {
    ErrorStatus = 0;
    return source_ != 0;
}

IKScanRecord TVIkScan::fillRecord() {
    IKScanRecord r;
    std::memset(&r, 0, sizeof r);
    dsName8_ = DSName.toLocal8Bit();
    text8_ = RecordText.toLocal8Bit();
    r.pixelType = static_cast<int16_t>(PixelType);
    r.rectLeft = RectLeft, r.rectTop = RectTop, r.rectRight = RectRight, r.rectBottom = RectBottom;
    r.xResolution = XResolution, r.yResolution = YResolution;
    r.xScaling = XScaling, r.yScaling = YScaling;
    r.bitDepth = bitDepth_;
    r.brightness = Brightness, r.contrast = Contrast;
    r.gamma = Gamma;
    r.highlight = Highlight, r.threshold = Threshold, r.shadow = Shadow;
    r.indicator = Indicator ? -1 : 0;
    r.scanMode = static_cast<int16_t>(ScanMode);
    r.dsName = dsName8_.constData();
    r.uiMode = static_cast<int16_t>(UiMode);
    r.unitMode = static_cast<int16_t>(UnitMode);
    r.value68 = Value68;
    r.xferCount = XferCount;
    r.orientation = static_cast<int16_t>(Orientation);
    r.transferMode = static_cast<int16_t>(TransferMode);
    r.compression = Compression;
    r.bitOrder = BitOrder;
    r.value80 = Value80;
    r.text = text8_.constData();
    return r;
}

bool TVIkScan::ScanExec() {
    if (ScanMode == vikScanCAMArray || ScanMode == vikScanCAMThumbArray) {
        ErrorStatus = IK_ERR_ARGUMENT;
        return false;
    }
    return ScanExec(nullptr, 0);
}

bool TVIkScan::ScanExec(const int32_t* array, int high) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanExec))) return false;
    ScanCancel = false;
    IKScanRecord record = fillRecord();
    if (ScanMode == vikScanCAMArray || ScanMode == vikScanCAMThumbArray) {
        if (!array) {
            ErrorStatus = IK_ERR_ARGUMENT;
            return false;
        }
        record.xferCount = static_cast<int16_t>(high + 1);
    }
    if (!g_activeScan) g_activeScan = this;
    if (Ikdllprocs::IKScanSetPump) Ikdllprocs::IKScanSetPump(&pumpEvents);
    FpuState fpu;
    if (FpuException) {
        fpu.save();
        FpuState::mask();
    }
    ImageCount = Ikdllprocs::IKScanExec(app_, source_, &record, &beforeProc, &progressProc, &afterProc, array);
    if (FpuException) fpu.restore();
    takeEngineStatus();
    const bool ok = ErrorStatus == 0;
    if (ok) {
        PixelType = static_cast<TVIkScanPixelType>(record.pixelType);
        RectLeft = record.rectLeft, RectTop = record.rectTop;
        RectRight = record.rectRight, RectBottom = record.rectBottom;
        XResolution = record.xResolution, YResolution = record.yResolution;
        setBitDepth(record.bitDepth);
        UnitMode = static_cast<TVIkScanUnit>(record.unitMode);
    }
    // Cleared even when another component's scan holds it: one scan at a time.
    g_activeScan = nullptr;
    return ok;
}

int32_t TVIkScan::beforeProc(const IKScanImageDescription* image, int32_t imageNumber) {
    TVIkScan* c = g_activeScan;
    if (!c || !image) return 0;
    if (c->OnBeforeScan) c->OnBeforeScan(c, image->width, image->height, imageNumber);
    if (g_activeScan != c || c->ScanCancel) return 0;
    c->XResolution = static_cast<int32_t>(image->xResolution);
    c->YResolution = static_cast<int32_t>(image->yResolution);
    c->setBitDepth(image->bitDepth);
    c->PixelType = static_cast<TVIkScanPixelType>(image->pixelType);
    c->Compression = image->compression;
    return -1;
}

int32_t TVIkScan::progressProc(int16_t percent) {
    TVIkScan* c = g_activeScan;
    if (!c) return 0;
    if (c->OnScanning) c->OnScanning(c, percent);
    if (g_activeScan != c || c->ScanCancel) return 0;
    return -1;
}

int32_t TVIkScan::afterProc(uint32_t dib, uint32_t org, int32_t imageNumber, int16_t bitOrder) {
    TVIkScan* c = g_activeScan;
    if (!c) {
        // Nobody can take the image over any more: freed here rather than lost.
        if (Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(dib);
        return 0;
    }
    if (c->OnAfterScan)
        c->OnAfterScan(c, dib, org, imageNumber, bitOrder);
    else if (Ikdllprocs::IKFreeMemory)
        Ikdllprocs::IKFreeMemory(dib);  // no handler to take it over
    if (g_activeScan != c || c->ScanCancel) return 0;
    return -1;
}

bool TVIkScan::ScanCloseDS() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanCloseDS))) return false;
    bool ok = false;
    if (app_ && source_) {
        ok = Ikdllprocs::IKScanCloseDS(app_, source_) != 0;
        takeEngineStatus();
    }
    source_ = 0;
    return ok;
}

bool TVIkScan::ScanTerminate() {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanTerminate))) return false;
    bool ok = false;
    if (app_) {
        ok = Ikdllprocs::IKScanTerminate(app_) != 0;
        takeEngineStatus();
    }
    app_ = 0;
    // The engine closed any source with the application.
    source_ = 0;
    return ok;
}

int TVIkScan::ScanGetPixelType(int16_t* list, int high) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetPixelType))) return 0;
    const int n = Ikdllprocs::IKScanGetPixelType(app_, source_, DSName.toLocal8Bit().constData(), list,
                                                 list ? high + 1 : 0);
    takeEngineStatus();
    return n;
}

int TVIkScan::ScanGetBitDepth(int16_t* list, int high) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetBitDepth))) return 0;
    const int n = Ikdllprocs::IKScanGetBitDepth(app_, source_, DSName.toLocal8Bit().constData(),
                                                static_cast<int16_t>(PixelType), list, list ? high + 1 : 0);
    takeEngineStatus();
    return n;
}

bool TVIkScan::ScanGetPhysicalSize(float& width, float& height) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetPhysicalSize))) return false;
    const bool ok = Ikdllprocs::IKScanGetPhysicalSize(app_, source_, DSName.toLocal8Bit().constData(),
                                                      static_cast<int16_t>(ScanMode), static_cast<int16_t>(UnitMode),
                                                      &width, &height) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkScan::ScanGetMinimumSize(float& width, float& height) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetMinimumSize))) return false;
    const bool ok = Ikdllprocs::IKScanGetMinimumSize(app_, source_, DSName.toLocal8Bit().constData(),
                                                     static_cast<int16_t>(ScanMode), static_cast<int16_t>(UnitMode),
                                                     &width, &height) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkScan::ScanIsCapSupported(int cap, int32_t& support) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanIsCapSupported))) return false;
    const bool ok = Ikdllprocs::IKScanIsCapSupported(app_, source_, DSName.toLocal8Bit().constData(),
                                                     static_cast<uint16_t>(cap), &support) != 0;
    takeEngineStatus();
    return ok;
}

bool TVIkScan::ScanGetCapRange(int cap, int16_t& itemType) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetCapRange))) return false;
    int32_t range[5] = {0, 0, 0, 0, 0};
    const bool ok = Ikdllprocs::IKScanGetCapRange(app_, source_, DSName.toLocal8Bit().constData(),
                                                  static_cast<uint16_t>(cap), &itemType, range) != 0;
    takeEngineStatus();
    if (ok) std::memcpy(CapRange, range, sizeof range);
    return ok;
}

int TVIkScan::ScanGetCapEnum(int cap, int16_t& itemType, float* values, int high, int32_t& first, int32_t& second) {
    if (entryMissing(reinterpret_cast<const void*>(Ikdllprocs::IKScanGetCapEnum))) return 0;
    constexpr int kHalftones = 4361;  // ICAP_HALFTONES: names, not numbers
    if (cap == kHalftones) CapEnumList.clear();
    char text[2048] = {};
    const int n = Ikdllprocs::IKScanGetCapEnum(app_, source_, DSName.toLocal8Bit().constData(),
                                               static_cast<uint16_t>(cap), &itemType, values, text, &first,
                                               &second, values ? high + 1 : 0);
    takeEngineStatus();
    text[sizeof text - 1] = '\0';
    if (cap == kHalftones) CapEnumList = commaTerminated(text);
    return n;
}

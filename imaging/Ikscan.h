// TVIkScan: the acquisition component. Keeps the engine's application and source
// handles, the list of sources, the scan parameters and three events, and hands the
// work to the acquisition library.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "imaging/engine/ik_api.h"

enum TVIkScanMode {
    vikScanDOC = 0, vikScanADF1, vikScanADF2, vikScanCAM, vikScanCAMArray, vikScanCAMThumb,
    vikScanCAMThumbArray
};
enum TVIkScanPixelType { vikScanPixelBW = 0, vikScanPixelGray, vikScanPixelRGB, vikScanPixelPalette };
enum TVIkScanUnit { vikScanInch = 0, vikScanCM, vikScanPica, vikScanPoint, vikScanTwip, vikScanPixel };
enum TVIkScanOrientation { vikScanRotate0 = 0, vikScanRotate90, vikScanRotate180, vikScanRotate270 };
enum TVIkScanTransfer { vikScanNative = 0, vikScanFile, vikScanMemory, vikScanFile2 };
enum TVIkScanUIMode { vikScanUI = 0, vikScanUICLOSE, vikScanNONUI };

using TVIkScanBeforeEvent = std::function<void(QObject* sender, int32_t width, int32_t height, int32_t imageCount)>;
using TVIkScanProgressEvent = std::function<void(QObject* sender, int16_t percent)>;
// The handler takes over dibHandle and frees it when done.
using TVIkScanAfterEvent = std::function<void(QObject* sender, uint32_t dibHandle, uint32_t orgHandle,
                                              int32_t imageCount, int16_t bitOrder)>;

// The source identity read by ScanSelect / ScanGetDSInfo.
struct TVIkScanIdentity {
    uint16_t VersionMajor = 0, VersionMinor = 0, ProtocolMajor = 0, ProtocolMinor = 0;
    QString Manufacturer, ProductFamily, ProductName, VersionInfo;
};

class TVIkScan : public QObject {
public:
    explicit TVIkScan(QObject* owner = nullptr);
    // Closes the source and terminates when the handles exist.
    ~TVIkScan() override;

    // Published properties.
    TVIkScanMode ScanMode = vikScanDOC;
    TVIkScanPixelType PixelType = vikScanPixelRGB;
    int BitDepth() const { return bitDepth_; }
    void setBitDepth(int v) { bitDepth_ = static_cast<int16_t>(v < 0 ? 0 : v); }  // negative: 0
    TVIkScanUnit UnitMode = vikScanInch;
    float RectLeft = 0, RectTop = 0, RectRight = 0, RectBottom = 0;
    int32_t XResolution = 0, YResolution = 0;
    TVIkScanOrientation Orientation = vikScanRotate0;
    TVIkScanTransfer TransferMode = vikScanNative;
    TVIkScanUIMode UiMode = vikScanUI;
    int16_t Compression = 0;
    bool Indicator = true;
    bool FpuException = false;
    TVIkScanBeforeEvent OnBeforeScan;
    TVIkScanProgressEvent OnScanning;
    TVIkScanAfterEvent OnAfterScan;

    // Public state.
    QString DSName;
    QStringList DSList;
    int32_t DSIndex = -1;
    TVIkScanIdentity Identity;
    QStringList CapEnumList;
    int32_t CapRange[5] = {0, 0, 0, 0, 0};
    int32_t ImageCount = 0;
    uint16_t ErrorStatus = 0;
    bool ScanCancel = false;
    float XScaling = 1.0f, YScaling = 1.0f;
    int16_t Brightness = 0, Contrast = 0;
    float Gamma = 0;
    int16_t Highlight = 0, Threshold = 0, Shadow = 0;
    int16_t XferCount = -1;  // -1 = all images
    int16_t BitOrder = 0;
    int16_t Value68 = 0, Value80 = 0;
    QString RecordText;
    int Tag = 0;
    IKSCANAPP AppHandle() const { return app_; }
    IKSCANSOURCE SourceHandle() const { return source_; }

    bool ScanInitialize(int major, int minor, const QString& versionInfo, const QString& manufacturer,
                        const QString& productFamily, const QString& productName);
    bool ScanList();
    bool ScanSelect();
    bool ScanGetDSInfo();
    bool ScanOpenDS();
    bool IsOpenDS();
    bool ScanExec();
    bool ScanExec(const int32_t* array, int high);
    bool ScanCloseDS();
    bool ScanTerminate();

    int ScanGetPixelType(int16_t* list, int high);
    int ScanGetBitDepth(int16_t* list, int high);
    bool ScanGetPhysicalSize(float& width, float& height);
    bool ScanGetMinimumSize(float& width, float& height);
    bool ScanIsCapSupported(int cap, int32_t& support);
    bool ScanGetCapRange(int cap, int16_t& itemType);
    int ScanGetCapEnum(int cap, int16_t& itemType, float* values, int high, int32_t& first, int32_t& second);

    // The component whose scan currently receives the engine's callbacks, or null.
    static TVIkScan* activeScan();
    // The record IKScanExec gets, filled from the properties (texts kept alive by the
    // component until the next fill).
    IKScanRecord fillRecord();

private:
    bool entryMissing(const void* entry);
    void takeEngineStatus();
    void takeIdentity(const IKScanIdentity& id);
    static int32_t beforeProc(const IKScanImageDescription* image, int32_t imageNumber);
    static int32_t progressProc(int16_t percent);
    static int32_t afterProc(uint32_t dib, uint32_t org, int32_t imageNumber, int16_t bitOrder);

    int16_t bitDepth_ = 0;
    IKSCANAPP app_ = 0;
    IKSCANSOURCE source_ = 0;
    QByteArray dsName8_, text8_;
};

// TVIkCommon: holds one engine image handle and the operations on it that need no
// other component (description, copy, create, pictures, dpi, palette, clipboard, free).
#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPicture>
#include <QPixmap>
#include <cstdint>

#include "imaging/engine/ik_api.h"

enum TVIkImageKind { vikInvalidImage = 0, vikRasterImage, vikVectorWMF, vikVectorEMF, vikVectorDXF };
enum TVIkCreateVectImage { vikCreateWMF = 0, vikCreateEMF, vikCreateDXF };

class TVIkCommon : public QObject {
public:
    explicit TVIkCommon(QObject* owner = nullptr);
    // Frees ImgHandle when non-zero.
    ~TVIkCommon() override;

    // Not owned when assigned directly: assignment moves no ownership and frees nothing.
    IKHANDLE ImgHandle = 0;
    uint16_t ErrorStatus = 0;
    uint16_t BitCount = 0;
    int32_t Width = 0, Height = 0;
    TVIkImageKind ImageKind = vikInvalidImage;
    int Tag = 0;
    // The rest of the description record, copied as the engine fills it.
    IKImageInfo Info{};

    int Xdpi() const { return xdpi_; }
    int Ydpi() const { return ydpi_; }
    void setXdpi(int v) { if (v >= 0) xdpi_ = v; }  // negatives ignored
    void setYdpi(int v) { if (v >= 0) ydpi_ = v; }

    bool GetImageType();
    IKHANDLE CopyImage();  // the caller owns the copy
    bool CreateImage(int width, int height, int bitCount, int c1, int c2, int c3);
    bool FreeMemory();
    IKHANDLE BitmapFromDib();  // the caller frees it with DeleteBitmapObject
    bool DibFromBitmap(IKHANDLE bitmap, IKHANDLE palette);
    bool DeleteBitmapObject(IKHANDLE bitmap);
    bool GetDpi();
    bool SetDpi();
    bool GetPalette(uint16_t* rgb, int rgbHigh, uint16_t* info, int infoHigh);
    bool SetPalette(const uint16_t* rgb, int rgbHigh, const uint16_t* info, int infoHigh);
    bool GetOneBitPalCount(int32_t& zeros, int32_t& ones);
    int GetSystemPalette();
    uint32_t GetMemorySize();
    bool SetToClipBrd();
    bool GetFromClipBrd();
    int ClearClipBrd();
    bool IsClipBrdData();
    bool CreateVectImage(int a, int b, int c, int d);
    bool CreateVectImageEx(TVIkCreateVectImage kind, int a, int b, int c, int d);
    bool DrawVectObject(IKDC dc, int a, int b, int c, int d, double scaleX, double scaleY, bool flag);
    bool VectToDib(IKHANDLE vector, int width, int height, int c1, int c2, int c3);

    // Picture: the framework picture view of the image. GetPicture refreshes the stored
    // picture from a raster ImgHandle (else returns it unchanged); SetPicture frees the
    // current image and takes the picture in. A metafile (QPicture) or an icon (QIcon)
    // is refused and leaves the component empty.
    QImage GetPicture();
    void SetPicture(const QImage& picture);
    void SetPicture(const QPixmap& picture);
    void SetPicture(const QPicture& metafile);
    void SetPicture(const QIcon& icon);

private:
    bool entryMissing(const void* entry);
    void takeEngineStatus();
    bool emptyForPicture();  // frees and clears; false when the entries are missing
    int xdpi_ = 0, ydpi_ = 0;
    QImage picture_;
};

// TVIkFile: loads images from files, saves them in twenty variants, shows the file
// dialogs and reads file descriptions, all through libIk6File.
#pragma once

#include <QString>
#include <functional>

#include "imaging/Iknouicontrol.h"

enum TVIkLoadFile {
    vikLoad = 0, vikLoadBMP, vikLoadJPEG, vikLoadGIF, vikLoadTIFF, vikLoadPNG, vikLoadFPX,
    vikLoadPCX, vikLoadWMF, vikLoadEMF, vikLoadDXF
};
enum TVIkSaveFile {
    vikSaveBMP = 0, vikSaveBMPRLE, vikSaveJPEG, vikSaveJPEGProgress, vikSaveGIF,
    vikSaveTIFFNoncompressed, vikSaveTIFFCcittrle, vikSaveTIFFGroup3_1D, vikSaveTIFFGroup3_2D,
    vikSaveTIFFGroup4, vikSaveTIFFPackbits, vikSaveTIFFLZW, vikSavePNG, vikSaveFPXNoncompressed,
    vikSaveFPXSingleColor, vikSaveFPXJpeg, vikSavePCX, vikSaveWMF, vikSaveEMF, vikSaveDXF
};
enum TVIkJpegSubsamp { vik411 = 0, vik422, vik444 };
enum TVIkTiffColorSpace { vikRGB = 0, vikCMYK };

using TVIkFileEvent = std::function<void(QObject* sender, const QString& fileName)>;

class TVIkFile;

// Exif data of a JPEG file; owns its thumbnail image.
class TCExif {
public:
    explicit TCExif(TVIkFile* owner) : owner_(owner) {}
    ~TCExif();
    bool GetExifInfo();
    QString Make, Model, DateTime;
    int32_t Width = 0, Height = 0;
    IKHANDLE Thumbnail = 0;

private:
    TVIkFile* owner_;
};

class TVIkFile : public TVIkNoUiControl {
public:
    explicit TVIkFile(QObject* owner = nullptr);
    ~TVIkFile() override;

    // Texts of 260 characters (bytes in the file system's encoding) or more are ignored.
    QString FileName() const { return fileName_; }
    void setFileName(const QString& v) { if (fits(v)) fileName_ = v; }
    QString FilePath() const { return filePath_; }
    void setFilePath(const QString& v) { if (fits(v)) filePath_ = v; }
    QString FileExt() const { return fileExt_; }
    void setFileExt(const QString& v) { if (fits(v)) fileExt_ = v; }

    int LoadPage() const { return loadPage_; }
    void setLoadPage(int v) { loadPage_ = v < 0 ? 0 : v; }
    int JpegQuality() const { return jpegQuality_; }
    void setJpegQuality(int v) { jpegQuality_ = v < 0 ? 0 : v > 100 ? 100 : v; }
    int PalRed() const { return palRed_; }
    void setPalRed(int v) { palRed_ = clampByte(v); }
    int PalGreen() const { return palGreen_; }
    void setPalGreen(int v) { palGreen_ = clampByte(v); }
    int PalBlue() const { return palBlue_; }
    void setPalBlue(int v) { palBlue_ = clampByte(v); }
    int GifAnimeDelay() const { return gifAnimeDelay_; }
    void setGifAnimeDelay(int v) { gifAnimeDelay_ = v < 0 ? 0 : v; }
    int VectorWidth() const { return vectorWidth_; }
    void setVectorWidth(int v) { vectorWidth_ = v < 0 ? 0 : v; }
    int VectorHeight() const { return vectorHeight_; }
    void setVectorHeight(int v) { vectorHeight_ = v < 0 ? 0 : v; }

    TVIkJpegSubsamp JpegSubsamp = vik411;
    bool Interlace = false, Transparent = false, GifAnime = false;
    bool TiffAppend = false, TiffSaveOneStrip = false;
    TVIkTiffColorSpace TiffColorSpace = vikRGB;
    QString Comment;
    bool Preview = false;
    // Never set by the capture program: generic load asks for page 32767, PNG load uses
    // mode 2, and PNG saving receives it.
    bool ExtendedMode = false;
    TVIkFileEvent OnStartLoad, OnEndLoad, OnStartSave, OnEndSave;

    IKHANDLE ImgHandle = 0;  // image to save; after LoadFile the loaded image (caller owns it)
    int16_t SaveType = 0;    // TVIkLoadFile numbering: 1 BMP ... 10 DXF
    IKFileInfo FileInfo{};   // filled by GetImagefileType
    TCExif Exif{this};

    bool LoadFile(TVIkLoadFile kind);
    bool SaveFile(TVIkSaveFile kind);
    bool OpenFileDlg();
    bool SaveFileDlg();
    bool GetImagefileType();
    bool FTPGetFile(const QString& host, const QString& user, const QString& password, const QString& remote, int port);
    bool FTPPutFile(const QString& host, const QString& user, const QString& password, const QString& remote, int port);
    bool HTTPGetFile(const QString& host, const QString& user, const QString& password, const QString& remote, int port);
    bool HTTPPutFile(const QString& host, const QString& user, const QString& password, const QString& remote, int port);
    bool FTPDeleteFile(const QString& host, const QString& user, const QString& password, const QString& remote);
    bool FTPRenameFile(const QString& host, const QString& user, const QString& password, const QString& remote,
                       const QString& newName);

    // The process-wide progress slot of the file components.
    static TVIkProgressSlot& progressSlot();

private:
    static bool fits(const QString& v) { return v.toLocal8Bit().size() < 260; }
    static int clampByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
    bool netCall(int which, const QStringList& texts, int port);
    QString fileName_, filePath_, fileExt_ = "BMP;JPG;TIF;PCX;FPX;PNG;WMF;EMF;DXF;GIF";
    int loadPage_ = 0, jpegQuality_ = 0, palRed_ = 0, palGreen_ = 0, palBlue_ = 0;
    int gifAnimeDelay_ = 0, vectorWidth_ = 0, vectorHeight_ = 0;
};

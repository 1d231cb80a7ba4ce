// TVIkFile over the real engine: clamps, events around load and save, the progress slot,
// descriptions and the Qt save dialog.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikfile.h"

namespace {

std::string tempDir() {
    const auto d = std::filesystem::temp_directory_path() / ("q47_ikfile_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d.string();
}

// A picture big enough for many progress steps.
IKHANDLE bigPicture() {
    return Ikdllprocs::IKCreateImage(600, 900, 24, 10, 200, 30, 0, 0, 0, 0);
}

}  // namespace

TEST(FileComponent, PropertiesClampAsDescribed) {
    TVIkFile f;
    f.setJpegQuality(150);
    EXPECT_EQ(f.JpegQuality(), 100);
    f.setJpegQuality(-5);
    EXPECT_EQ(f.JpegQuality(), 0);
    f.setPalRed(300);
    EXPECT_EQ(f.PalRed(), 255);
    f.setPalBlue(-2);
    EXPECT_EQ(f.PalBlue(), 0);
    f.setLoadPage(-3);
    EXPECT_EQ(f.LoadPage(), 0);
    f.setGifAnimeDelay(-1);
    EXPECT_EQ(f.GifAnimeDelay(), 0);
    f.setVectorWidth(-9);
    EXPECT_EQ(f.VectorWidth(), 0);
    EXPECT_EQ(f.FileExt(), "BMP;JPG;TIF;PCX;FPX;PNG;WMF;EMF;DXF;GIF");
    EXPECT_EQ(f.JpegSubsamp, vik411);
}

TEST(FileComponent, NamesOf260CharactersAreRefused) {
    TVIkFile f;
    f.setFileName("keep.png");
    f.setFileName(QString(260, 'a'));
    EXPECT_EQ(f.FileName(), "keep.png");
    f.setFileName(QString(259, 'b'));
    EXPECT_EQ(f.FileName().size(), 259);
    f.setFilePath(QString(300, 'c'));
    EXPECT_TRUE(f.FilePath().isEmpty());
    EXPECT_FALSE(f.FTPGetFile(QString(260, 'h'), "u", "p", "r", 21));
    EXPECT_EQ(f.ErrorStatus, IK_ERR_ARGUMENT);
    EXPECT_FALSE(f.FTPGetFile("h", "u", "p", "r", 21));
    EXPECT_EQ(f.ErrorStatus, IK_ERR_NETWORK);
}

TEST(FileComponent, EventsSurroundLoadAndSaveEvenAfterFailure) {
    TVIkFile f;
    QStringList log;
    f.OnStartSave = [&](QObject*, const QString& n) { log << "start save " + n; };
    f.OnEndSave = [&](QObject*, const QString& n) { log << "end save " + n; };
    f.OnStartLoad = [&](QObject*, const QString& n) { log << "start load " + n; };
    f.OnEndLoad = [&](QObject*, const QString& n) { log << "end load " + n; };
    const QString name = QString::fromStdString(tempDir() + "/ev.jpg");
    f.setFileName(name);
    f.ImgHandle = Ikdllprocs::IKCreateImage(16, 16, 24, 1, 2, 3, 0, 0, 0, 0);
    f.setJpegQuality(75);
    ASSERT_TRUE(f.SaveFile(vikSaveJPEG));
    EXPECT_EQ(f.ErrorStatus, 0);
    Ikdllprocs::IKFreeMemory(f.ImgHandle);
    ASSERT_TRUE(f.LoadFile(vikLoad));
    EXPECT_NE(f.ImgHandle, 0u);
    Ikdllprocs::IKFreeMemory(f.ImgHandle);
    f.setFileName("/nonexistent/x.png");
    EXPECT_FALSE(f.LoadFile(vikLoadPNG));
    EXPECT_EQ(f.ErrorStatus, IK_ERR_FILE_OPEN);
    EXPECT_EQ(f.ImgHandle, 0u);
    EXPECT_EQ(log, (QStringList{"start save " + name, "end save " + name, "start load " + name,
                                "end load " + name, "start load /nonexistent/x.png", "end load /nonexistent/x.png"}));
    EXPECT_FALSE(f.LoadFile(vikLoadFPX));
    EXPECT_EQ(f.ErrorStatus, IK_ERR_FLASHPIX);
}

TEST(FileComponent, ProgressIsRaisedOncePerChangedPercentAndCancelStops) {
    TVIkFile f;
    f.setFileName(QString::fromStdString(tempDir() + "/progress.png"));
    f.ImgHandle = bigPicture();
    std::vector<int> seen;
    f.OnProgress = [&](QObject* sender, int16_t pct) {
        EXPECT_EQ(sender, &f);
        seen.push_back(pct);
        // The engine's callback again with the same percent: not a second event.
        EXPECT_EQ(TVIkFile::progressSlot().proc(pct), -1);
    };
    ASSERT_TRUE(f.SaveFile(vikSavePNG));
    ASSERT_GT(seen.size(), 5u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]);
    EXPECT_EQ(TVIkFile::progressSlot().active, nullptr);  // removed after the call

    seen.clear();
    f.OnProgress = [&](QObject*, int16_t pct) {
        seen.push_back(pct);
        if (pct >= 20) f.Cancel = true;
    };
    bool ended = false;
    f.OnEndSave = [&](QObject*, const QString&) { ended = true; };
    const auto bytesOf = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string file = f.FileName().toStdString(), earlier = bytesOf(file);
    ASSERT_FALSE(earlier.empty());
    EXPECT_FALSE(f.SaveFile(vikSavePNG));
    EXPECT_EQ(f.ErrorStatus, IK_ERR_CANCELLED);
    EXPECT_TRUE(ended);
    // The cancelled overwrite leaves the file of the first save as it was, and no
    // temporary file of its own beside it.
    EXPECT_EQ(bytesOf(file), earlier);
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()))
        EXPECT_NE(e.path().filename().string().rfind(".progress.png", 0), 0u) << e.path();
    Ikdllprocs::IKFreeMemory(f.ImgHandle);
}

TEST(FileComponent, ACaptionOrAnotherActiveComponentMeansNoCallback) {
    TVIkFile f;
    f.setFileName(QString::fromStdString(tempDir() + "/caption.bmp"));
    f.ImgHandle = bigPicture();
    int events = 0;
    f.OnProgress = [&](QObject*, int16_t) { ++events; };
    f.Caption = "Saving";
    ASSERT_TRUE(f.SaveFile(vikSaveBMPRLE));
    ASSERT_TRUE(f.SaveFile(vikSaveTIFFLZW));
    EXPECT_EQ(events, 0);

    // While one file component is in its operation, a second one gets no callback.
    TVIkFile first, second;
    first.setFileName(QString::fromStdString(tempDir() + "/first.png"));
    second.setFileName(QString::fromStdString(tempDir() + "/second.png"));
    first.ImgHandle = second.ImgHandle = f.ImgHandle;
    int secondEvents = 0;
    bool nested = false;
    second.OnProgress = [&](QObject*, int16_t) { ++secondEvents; };
    first.OnProgress = [&](QObject*, int16_t) {
        if (!nested) {
            nested = true;
            EXPECT_TRUE(second.SaveFile(vikSavePNG));
        }
    };
    ASSERT_TRUE(first.SaveFile(vikSavePNG));
    EXPECT_TRUE(nested);
    EXPECT_EQ(secondEvents, 0);
    Ikdllprocs::IKFreeMemory(f.ImgHandle);
}

TEST(FileComponent, DescriptionGivesFormatInterlaceAndComment) {
    TVIkFile f;
    f.setFileName(QString::fromStdString(tempDir() + "/desc.gif"));
    f.ImgHandle = Ikdllprocs::IKCreateImage(20, 20, 8, 9, 9, 9, 0, 0, 0, 0);
    f.Interlace = true;
    f.Comment = "from the board";
    ASSERT_TRUE(f.SaveFile(vikSaveGIF));
    f.Comment.clear();
    ASSERT_TRUE(f.GetImagefileType());
    EXPECT_EQ(f.FileInfo.format, IK_FMT_GIF);
    EXPECT_EQ(f.FileInfo.interlace, 1);
    EXPECT_EQ(f.Comment, "from the board");
    Ikdllprocs::IKFreeMemory(f.ImgHandle);
}

TEST(FileComponent, SaveDialogOffersTheListsFirstTypeAndReturnsNameAndType) {
    TVIkFile f;
    f.setFileExt("PNG;JPG;BMP");
    f.setFilePath(QString::fromStdString(tempDir()));
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        filters = dlg->nameFilters();
        EXPECT_EQ(dlg->selectedNameFilter(), filters.value(0));
        dlg->findChild<QLineEdit*>()->setText("capture");
        QMetaObject::invokeMethod(dlg, "accept");
    });
    ASSERT_TRUE(f.SaveFileDlg()) << f.ErrorStatus;
    EXPECT_EQ(filters, (QStringList{"PNG (*.png)", "JPEG (*.jpg *.jpeg)", "Windows bitmap (*.bmp *.dib)"}));
    EXPECT_EQ(f.SaveType, 5);
    EXPECT_TRUE(f.FileName().endsWith("/capture.png")) << f.FileName().toStdString();

    f.SaveType = 2;  // preselects JPEG
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->selectedNameFilter(), "JPEG (*.jpg *.jpeg)");
        dlg->reject();
    });
    EXPECT_FALSE(f.SaveFileDlg());
    EXPECT_EQ(f.SaveType, 2);
    EXPECT_TRUE(f.FileName().endsWith("/capture.png"));
}

// A folder holding a regular file whose read never returns (here the kernel log, which
// blocks until the kernel writes): listing it must not open the file to guess its type, or
// the dialog, and with it the whole program, stops for good.
TEST(FileComponent, ADialogOnAFolderWithAFileThatNeverAnswersStillOpens) {
    if (::access("/proc/kmsg", R_OK) != 0) GTEST_SKIP() << "/proc/kmsg is not readable here";
    TVIkFile f;
    f.setFileExt("PNG;JPG");
    f.setFilePath("/proc");
    bool shown = false;
    QTimer::singleShot(300, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        shown = true;
        QMetaObject::invokeMethod(dlg, "reject");
    });
    EXPECT_FALSE(f.SaveFileDlg());
    EXPECT_TRUE(shown);
}

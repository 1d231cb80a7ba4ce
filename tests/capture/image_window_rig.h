// The image window's test world: a private Xvfb with two monitors of different sizes
// (LEFT 1280 x 1024 at 0,0 and RIGHT 1024 x 768 at 1280,0), the QApplication on it, and
// helpers for engine images and answering modal dialogs, the composite window the tests
// work on, and the checks of its printed page (shared by the PDF and the CUPS tests).
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QRect>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "capture/capture_state.h"
#include "capture/image_window.h"
#include "capture/mark_detection.h"
#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/display_widget.h"
#include "platform/notifier.h"
#include "tests/common/xvfb_server.h"

namespace q47::capture::testing {

// Starts Xvfb on a display it picks itself (-displayfd), splits its screen into two
// monitors with xrandr, and creates the QApplication there; stops both at the end.
class TwoMonitorXvfb : public ::testing::Environment {
public:
    void SetUp() override {
        if (::access("/usr/bin/Xvfb", X_OK) != 0 || ::access("/usr/bin/xrandr", X_OK) != 0) {
            skipReason = "Xvfb or xrandr is not installed (Debian packages xvfb, x11-xserver-utils)";
            return;
        }
        const std::string display = q47::test::startXvfb("2304x1024x24", &pid_, &skipReason);
        if (display.empty()) return;
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // The file dialog keeps its history in the user's Qt settings: a private
        // configuration folder keeps the tests from reading or changing the user's.
        std::string config = (std::filesystem::temp_directory_path() / "q47imgwin-config-XXXXXX").string();
        if (mkdtemp(config.data())) {
            configDir_ = config;
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        }
        if (std::system("xrandr --setmonitor '*LEFT' 1280/338x1024/270+0+0 screen >/dev/null 2>&1") != 0 ||
            std::system("xrandr --setmonitor RIGHT 1024/270x768/203+1280+0 none >/dev/null 2>&1") != 0) {
            skipReason = "xrandr could not set the monitors";
            return;
        }
        static int argc = 1;
        static char name[] = "image_window_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        q47::test::stopXvfb(pid_);
        std::error_code ec;
        if (!configDir_.empty()) std::filesystem::remove_all(configDir_, ec);
    }
    static inline std::string skipReason;

private:
    std::string configDir_;
    std::unique_ptr<QApplication> app_;
    pid_t pid_ = -1;
};

#define SKIP_WITHOUT_XVFB() \
    if (!TwoMonitorXvfb::skipReason.empty()) GTEST_SKIP() << TwoMonitorXvfb::skipReason

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "q47imgwin-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

// An engine image of a picture (the caller frees it).
inline IKHANDLE EngineImage(const QImage& picture) {
    TVIkCommon holder;
    holder.SetPicture(picture.convertToFormat(QImage::Format_RGB888));
    const IKHANDLE h = holder.ImgHandle;
    holder.ImgHandle = 0;
    return h;
}

// A picture of an engine image.
inline QImage PictureOf(IKHANDLE image) {
    TVIkCommon holder;
    holder.ImgHandle = image;
    QImage picture = holder.GetPicture().convertToFormat(QImage::Format_RGB32);
    holder.ImgHandle = 0;
    return picture;
}

// A white sheet of the given size, as a scan would bring it.
inline QImage WhiteSheet(int width, int height) {
    QImage sheet(width, height, QImage::Format_RGB888);
    sheet.fill(Qt::white);
    return sheet;
}

// Four quadrants of distinct colours, none of them white or near red.
inline QImage QuadrantPicture(int width, int height) {
    QImage p(width, height, QImage::Format_RGB888);
    const int hw = width / 2, hh = height / 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.setPixelColor(x, y, y < hh ? (x < hw ? QColor(0, 160, 0) : QColor(0, 0, 200))
                                         : (x < hw ? QColor(230, 150, 0) : QColor(120, 0, 160)));
    return p;
}

// Gives the window a sheet (through the scanned-picture slot and TakeSheetImage, as a
// scan would) and a photographed screen.
inline void LoadSheetAndScreen(TfrmImg& frm, const QImage& sheet, const QImage& screen) {
    frm.VIkCommon7->FreeMemory();
    frm.VIkCommon7->ImgHandle = EngineImage(sheet);
    frm.TakeSheetImage(true);
    frm.VIkCapCommon->FreeMemory();
    frm.VIkCapCommon->SetPicture(screen.convertToFormat(QImage::Format_RGB888));
}

// Closes whatever modal window is still up: a dialog the test meant to answer that did
// not go away must fail the test, never block it.
inline void RejectLeftovers(int rounds = 20) {
    if (QWidget* w = QApplication::activeModalWidget()) {
        ADD_FAILURE() << "a modal window stayed open: " << w->metaObject()->className();
        if (auto* d = qobject_cast<QDialog*>(w)) d->done(QDialog::Rejected);
        else w->close();
        if (rounds > 0) QTimer::singleShot(50, [rounds] { RejectLeftovers(rounds - 1); });
    }
}

// Answers the next modal dialog once it is up: f gets it and accepts or rejects it (use
// Accept/Reject below). Five seconds later anything modal still up is closed.
inline void AnswerModal(std::function<void(QWidget*)> f, int tries = 250) {
    QTimer::singleShot(20, [f, tries] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            f(dialog);
            QTimer::singleShot(5000, [] { RejectLeftovers(); });
        } else if (tries > 0) {
            AnswerModal(f, tries - 1);
        }
    });
}

// Ends a dialog as by its OK button, without the file dialog's own checks (they would
// wait for the folder listing or ask about overwriting).
inline void Accept(QWidget* dialog) {
    if (auto* d = qobject_cast<QDialog*>(dialog)) {
        if (qobject_cast<QFileDialog*>(d)) d->done(QDialog::Accepted);
        else QMetaObject::invokeMethod(d, "accept");
    }
}
inline void Reject(QWidget* dialog) {
    if (auto* d = qobject_cast<QDialog*>(dialog)) d->done(QDialog::Rejected);
}

inline bool Near(QRgb c, QColor want, int tolerance = 40) {
    return std::abs(qRed(c) - want.red()) < tolerance && std::abs(qGreen(c) - want.green()) < tolerance &&
           std::abs(qBlue(c) - want.blue()) < tolerance;
}

// Share of the pixels in a box around (x, y) that are near the colour.
inline double ShareNear(const QImage& img, int x, int y, int half, QColor want) {
    int n = 0, hit = 0;
    for (int j = y - half; j <= y + half; ++j)
        for (int i = x - half; i <= x + half; ++i) {
            if (i < 0 || j < 0 || i >= img.width() || j >= img.height()) continue;
            ++n;
            hit += Near(img.pixel(i, j), want);
        }
    return n ? double(hit) / n : 0.0;
}

// A window showing a composite of a white sheet and the quadrant picture, with the
// marks of detection as given (all 0: nothing found).
struct Composite {
    explicit Composite(int sheetWidth, int sheetHeight, const int32_t* marks = nullptr, QSize screen = {1024, 768}) {
        TheCaptureState() = CaptureState{};
        TheCaptureState().screenWidth = 1280;
        TheCaptureState().screenHeight = 1024;
        TheMarkDetection() = MarkDetection{};
        if (marks) std::copy(marks, marks + 8, TheMarkDetection().MarkCorners);
        frm.SetNotifier(&notifier);
        LoadSheetAndScreen(frm, WhiteSheet(sheetWidth, sheetHeight), QuadrantPicture(screen.width(), screen.height()));
        frm.ShowIn(true);
        frm.SizeAndPlace();
        frm.ComposeImages();
        (void)QTest::qWaitForWindowExposed(&frm);
        QCoreApplication::processEvents();
    }
    TCRaster* layer(int i) { return frm.VIkDisp1->GetRaster(i); }
    QPoint client(Point p) { return frm.VIkDisp1->ImageToClient(QPoint(p.x, p.y)); }
    q47::RecordingNotifier notifier;
    TfrmImg frm;
};


// ---- Printing.

// The pages are rendered at 30 dpi: small enough to scan quickly, fine enough that the
// 100-unit margins (about 1.3 pixels) still show.
inline QImage renderPdf(const std::string& pdf, const std::string& folder) {
    const std::string cmd = "pdftoppm -r 30 -png -singlefile '" + pdf + "' '" + folder + "/page' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return QImage(QString::fromStdString(folder + "/page.png")).convertToFormat(QImage::Format_RGB32);
}

inline QRect inkBox(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            if (qRed(c) < 200 || qGreen(c) < 200 || qBlue(c) < 200) box |= QRect(x, y, 1, 1);
        }
    return box;
}

// Marks placing the screen picture at 300..1300 x 100..800 on an 1800 x 900 sheet.
inline constexpr int32_t kPrintMarks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};

// The page of Composite(1800, 900, kPrintMarks) as printed by Print1Click: landscape, the
// picture inside the margins, the screen picture's quadrants inside its outline.
inline void ExpectTheMarkedCompositeOnALandscapePage(const QImage& page) {
    ASSERT_FALSE(page.isNull()) << "nothing printed";
    EXPECT_GT(page.width(), page.height()) << "landscape";
    const QRect box = inkBox(page);
    ASSERT_FALSE(box.isEmpty());
    // 100 device units at 600 dpi are about 1.3 pixels at 30 dpi: the picture keeps
    // off the paper's edge and, being 2:1 on a wider-than-2:1 area, fills the height.
    EXPECT_GE(box.left(), 1);
    EXPECT_GE(box.top(), 1);
    EXPECT_LE(box.right(), page.width() - 2);
    EXPECT_LE(box.bottom(), page.height() - 2);
    EXPECT_GT(box.width(), page.width() / 2);
    // The screen picture's quadrants are printed inside the outline.
    const int x0 = box.left() + box.width() * 300 / 1800, y0 = box.top() + box.height() * 100 / 900;
    const int w = box.width() * 1000 / 1800, h = box.height() * 700 / 900;
    EXPECT_GT(ShareNear(page, x0 + w / 4, y0 + h / 4, 1, QColor(0, 160, 0)), 0.5);
    EXPECT_GT(ShareNear(page, x0 + 3 * w / 4, y0 + 3 * h / 4, 1, QColor(120, 0, 160)), 0.5);
}

}  // namespace q47::capture::testing

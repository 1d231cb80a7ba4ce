// Printing through a real CUPS queue: the test starts its own scheduler under a
// temporary configuration, with one raw queue whose backend (a small script in the
// scheduler's own program folder) writes each job into a file; it prints the capture
// program's job through TVIkPrint and renders the file back. Skipped, with the reason,
// when no scheduler can be started here.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikprint.h"

namespace {

const char* const kQueue = "Q47PDF";
std::string g_dir;         // the scheduler's world
std::string g_skip;        // why the tests cannot run, when they cannot
pid_t g_cupsd = -1;

void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

bool run(const std::string& cmd) { return std::system((cmd + " >>'" + g_dir + "/log/commands' 2>&1").c_str()) == 0; }

// Starts cupsd in the foreground of a child process; answers why not, or "".
std::string startScheduler() {
    if (access("/usr/sbin/cupsd", X_OK) != 0) return "cupsd is not installed (Debian package cups-daemon)";
    if (access("/usr/sbin/lpadmin", X_OK) != 0) return "lpadmin is not installed (Debian package cups-client)";
    std::string pattern = (std::filesystem::temp_directory_path() / "q47cups-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "no temporary folder";
    g_dir = pattern;
    for (const char* sub : {"state", "cache", "spool", "tmp", "log", "out", "ppd", "bin/backend"})
        std::filesystem::create_directories(g_dir + "/" + sub);
    // The scheduler's programs are the system's, except one backend of ours: a raw
    // queue runs no filter, so the file: device would get nothing; this backend copies
    // the job (Qt sends PDF) into out/job.pdf.
    std::error_code ec;
    for (const char* sub : {"filter", "daemon", "cgi-bin", "notifier", "monitor"})
        std::filesystem::create_directory_symlink(std::string("/usr/lib/cups/") + sub, g_dir + "/bin/" + sub, ec);
    write(g_dir + "/bin/backend/q47file",
          "#!/bin/sh\n[ $# -eq 0 ] && exit 0\ncat \"${6:--}\" > \"" + g_dir + "/out/job.part\" && mv \"" + g_dir +
              "/out/job.part\" \"" + g_dir + "/out/job.pdf\"\n");
    // The scheduler's filters run as an unprivileged user: the folders must be open to it.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(g_dir)) chmod(entry.path().c_str(), 0777);
    // ...but the scheduler runs no program from a folder others may write.
    for (const std::string& path : {g_dir, g_dir + "/bin", g_dir + "/bin/backend", g_dir + "/bin/backend/q47file"})
        chmod(path.c_str(), 0755);
    const std::string sock = g_dir + "/cups.sock";
    write(g_dir + "/cupsd.conf",
          "Listen " + sock + "\nLogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
          "DefaultPolicy open\n<Policy open>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"
          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
    write(g_dir + "/cups-files.conf",
          "Sandboxing Relaxed\nServerBin " + g_dir + "/bin\nServerRoot " + g_dir + "\nStateDir " + g_dir + "/state\nCacheDir " +
              g_dir + "/cache\nRequestRoot " + g_dir + "/spool\nTempDir " + g_dir + "/tmp\nAccessLog " + g_dir +
              "/log/access_log\nErrorLog " + g_dir + "/log/error_log\nPageLog " + g_dir + "/log/page_log\n");
    g_cupsd = fork();
    if (g_cupsd == 0) {
        execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (g_dir + "/cupsd.conf").c_str(), "-s",
              (g_dir + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && access(sock.c_str(), F_OK) != 0; ++i) {
        if (waitpid(g_cupsd, nullptr, WNOHANG) == g_cupsd) {
            g_cupsd = -1;
            return "cupsd exited at start (see " + g_dir + "/log/error_log)";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (access(sock.c_str(), F_OK) != 0) return "cupsd did not open its socket";
    setenv("CUPS_SERVER", sock.c_str(), 1);
    const std::string admin = "/usr/sbin/lpadmin -h '" + sock + "' ";
    if (!run(admin + "-p " + kQueue + " -E -v 'q47file:/job' -m raw") ||
        !run(admin + "-d " + kQueue))
        return "lpadmin could not create the queue (see " + g_dir + "/log/commands)";
    return "";
}

void stopScheduler() {
    if (g_cupsd > 0) {
        kill(g_cupsd, SIGTERM);
        waitpid(g_cupsd, nullptr, 0);
    }
    if (!g_dir.empty() && !std::getenv("Q47_KEEP_CUPS_DIR")) {
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    }
}

TEST(PrintThroughCups, TheCaptureProgramsJobReachesTheQueueAsTheLandscapePicture) {
    if (!g_skip.empty()) GTEST_SKIP() << "CUPS cannot start here: " << g_skip;
    TVIkPrint print;
    const IKHANDLE image = Ikdllprocs::IKCreateImage(300, 150, 24, 255, 255, 255, 0, 0, 0, 0);
    print.DrawInfo.penStyle = vikPenNull;
    print.DrawInfo.brushStyle = vikBrushSolid;
    print.DrawInfo.brushColor = 0xFF0000;  // blue
    ASSERT_TRUE(print.FillRect(image, 0, 0, 300, 150, vikMemoryHandle));

    ASSERT_TRUE(print.EnumPrinters()) << "status " << print.ErrorStatus;
    ASSERT_TRUE(print.PrinterList.contains(kQueue)) << print.PrinterList.join(",").toStdString();
    ASSERT_GE(print.DefaultPrinterIndex, 0);
    EXPECT_EQ(print.PrinterList[print.DefaultPrinterIndex], kQueue);
    print.setPrinterName(print.PrinterList[print.DefaultPrinterIndex]);
    if (print.GetPrinterPort()) {
        EXPECT_TRUE(print.PrinterPort.startsWith("q47file:")) << print.PrinterPort.toStdString();
    }
    ASSERT_TRUE(print.GetDevModeHandle() && print.GetDevModeInfo()) << "status " << print.ErrorStatus;
    EXPECT_EQ(print.ColorMode(), 1) << "a raw queue says nothing of colour: monochrome";
    print.Orientation = poLandscape;
    print.setColorMode(2);  // so the blue must come through as blue
    ASSERT_TRUE(print.SetDevModeInfo());
    ASSERT_TRUE(print.PrintCreateDC(vikDevMode)) << "status " << print.ErrorStatus;
    print.DocName = "SlateWise";
    int32_t a, b, c, d, e, f;
    ASSERT_TRUE(print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 1));
    EXPECT_GT(c, d) << "landscape";
    ASSERT_TRUE(print.PrintStartDoc() && print.PrintStartPage());
    ASSERT_TRUE(print.ImageOut(print.PrinterDC, image, 100, 100, c - 100, d - 100, true, false, vikPrinter));
    ASSERT_TRUE(print.PrintEndPage() && print.PrintEndDoc()) << "status " << print.ErrorStatus;
    print.PrintDeleteDC();
    Ikdllprocs::IKFreeMemory(image);

    const std::string out = g_dir + "/out/job.pdf";
    for (int i = 0; i < 200 && (!std::filesystem::exists(out) || std::filesystem::file_size(out) == 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(std::filesystem::exists(out)) << "the queue wrote nothing; see " << g_dir << "/log";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the job's last bytes
    ASSERT_EQ(std::system(("pdftoppm -r 20 -png -singlefile '" + out + "' '" + g_dir + "/page'").c_str()), 0);
    const QImage page = QImage(QString::fromStdString(g_dir + "/page.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height());
    const QRgb middle = page.pixel(page.width() / 2, page.height() / 2);
    EXPECT_LT(qRed(middle), 80);
    EXPECT_GT(qBlue(middle), 180);
}

}  // namespace

int main(int argc, char** argv) {
    // The scheduler comes first: the print plugin asks CUPS_SERVER once.
    g_skip = startScheduler();
    int result;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    stopScheduler();
    return result;
}

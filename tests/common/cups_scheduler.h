// A private CUPS scheduler for tests that print through a real queue: cupsd under a
// temporary configuration, with one raw queue whose backend (a small script in the
// scheduler's own program folder) writes each job into out/job.pdf. The scheduler must
// start before the QApplication: Qt's print plugin reads CUPS_SERVER once.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace q47::test {

struct CupsScheduler {
    std::string dir;   // the scheduler's world; the job arrives in dir + "/out/job.pdf"
    std::string skip;  // why no scheduler runs here, or ""
    pid_t pid = -1;
    std::string jobFile() const { return dir + "/out/job.pdf"; }
};

namespace cups_detail {
inline void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
inline bool run(const std::string& dir, const std::string& cmd) {
    return std::system((cmd + " >>'" + dir + "/log/commands' 2>&1").c_str()) == 0;
}
}  // namespace cups_detail

// Starts cupsd in the foreground of a child process with the queue as the default
// destination and points CUPS_SERVER at it; skip says why not when it cannot start.
inline CupsScheduler startScheduler(const std::string& queue) {
    using cups_detail::write;
    CupsScheduler s;
    if (access("/usr/sbin/cupsd", X_OK) != 0) {
        s.skip = "cupsd is not installed (Debian package cups-daemon)";
        return s;
    }
    if (access("/usr/sbin/lpadmin", X_OK) != 0) {
        s.skip = "lpadmin is not installed (Debian package cups-client)";
        return s;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "q47cups-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        s.skip = "no temporary folder";
        return s;
    }
    s.dir = pattern;
    const std::string& dir = s.dir;
    for (const char* sub : {"state", "cache", "spool", "tmp", "log", "out", "ppd", "bin/backend"})
        std::filesystem::create_directories(dir + "/" + sub);
    // The scheduler's programs are the system's, except one backend of ours: a raw
    // queue runs no filter, so the file: device would get nothing; this backend copies
    // the job (Qt sends PDF) into out/job.pdf, renamed into place only when complete.
    std::error_code ec;
    for (const char* sub : {"filter", "daemon", "cgi-bin", "notifier", "monitor"})
        std::filesystem::create_directory_symlink(std::string("/usr/lib/cups/") + sub, dir + "/bin/" + sub, ec);
    write(dir + "/bin/backend/q47file", "#!/bin/sh\n[ $# -eq 0 ] && exit 0\ncat \"${6:--}\" > \"" + dir +
                                            "/out/job.incoming\" && mv \"" + dir + "/out/job.incoming\" \"" + dir +
                                            "/out/job.pdf\"\n");
    // The scheduler's filters run as an unprivileged user: the folders must be open to it.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) chmod(entry.path().c_str(), 0777);
    // ...but the scheduler runs no program from a folder others may write.
    for (const std::string& path : {dir, dir + "/bin", dir + "/bin/backend", dir + "/bin/backend/q47file"})
        chmod(path.c_str(), 0755);
    const std::string sock = dir + "/cups.sock";
    write(dir + "/cupsd.conf",
          "Listen " + sock + "\nLogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
          "DefaultPolicy open\n<Policy open>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"
          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
    write(dir + "/cups-files.conf",
          "Sandboxing Relaxed\nServerBin " + dir + "/bin\nServerRoot " + dir + "\nStateDir " + dir +
              "/state\nCacheDir " + dir + "/cache\nRequestRoot " + dir + "/spool\nTempDir " + dir +
              "/tmp\nAccessLog " + dir + "/log/access_log\nErrorLog " + dir + "/log/error_log\nPageLog " + dir +
              "/log/page_log\n");
    s.pid = fork();
    if (s.pid == 0) {
        execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (dir + "/cupsd.conf").c_str(), "-s",
              (dir + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && access(sock.c_str(), F_OK) != 0; ++i) {
        if (waitpid(s.pid, nullptr, WNOHANG) == s.pid) {
            s.pid = -1;
            s.skip = "cupsd exited at start (see " + dir + "/log/error_log)";
            return s;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (access(sock.c_str(), F_OK) != 0) {
        s.skip = "cupsd did not open its socket";
        return s;
    }
    setenv("CUPS_SERVER", sock.c_str(), 1);
    const std::string admin = "/usr/sbin/lpadmin -h '" + sock + "' ";
    if (!cups_detail::run(dir, admin + "-p " + queue + " -E -v 'q47file:/job' -m raw") ||
        !cups_detail::run(dir, admin + "-d " + queue))
        s.skip = "lpadmin could not create the queue (see " + dir + "/log/commands)";
    return s;
}

// Stops the scheduler and removes its world (kept when Q47_KEEP_CUPS_DIR is set).
inline void stopScheduler(CupsScheduler& s) {
    if (s.pid > 0) {
        kill(s.pid, SIGTERM);
        waitpid(s.pid, nullptr, 0);
        s.pid = -1;
    }
    if (!s.dir.empty() && !std::getenv("Q47_KEEP_CUPS_DIR")) {
        std::error_code ec;
        std::filesystem::remove_all(s.dir, ec);
    }
}

// Waits up to the given time for the queue's job file; answers whether it came. The
// backend renames the file into place once written, so a file seen is complete.
inline bool waitForJob(const CupsScheduler& s, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    const std::string out = s.jobFile();
    std::error_code ec;
    while (!std::filesystem::exists(out, ec) || std::filesystem::file_size(out, ec) == 0) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

}  // namespace q47::test

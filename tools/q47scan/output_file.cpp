// Where q47scan's image goes: checked before the scan, written beside it, renamed in place.
#include "tools/q47scan/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace q47::scan {

namespace {

namespace fs = std::filesystem;

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

// Follows symbolic links to the file a write through path would reach, so that a link
// is kept and the file it names is the one replaced.
std::string followLinks(const std::string& path) {
    std::error_code ec;
    fs::path p = path;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p.string();
}

// A new file of its own in folder (never one that exists), named after base; -1 and errno
// on failure. Made with mode 0666 less the umask, as a plain fopen would.
int createUnique(const std::string& folder, const std::string& base, std::string* made) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder + "/." + base + ".q47scan-" + std::to_string(getpid()) +
                                 "-" + std::to_string(counter++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *made = name;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

std::string cannotWrite(const std::string& path, const std::string& cause) {
    return "cannot write " + path + ": " + cause;
}

}  // namespace

std::string checkOutputTarget(const std::string& path) {
    const std::string real = followLinks(path);
    const std::string folder = folderOf(real);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        return cannotWrite(path, errno == ENOENT ? "the folder " + folder + " does not exist"
                                                 : folder + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return cannotWrite(path, folder + " is not a folder");
    if (stat(real.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return cannotWrite(path, "it is a folder");
        if (!S_ISREG(st.st_mode)) return "";  // a device or pipe: written directly
        // A file the user may not write is not replaced behind their back.
        if (access(real.c_str(), W_OK) != 0) return cannotWrite(path, std::strerror(errno));
    }
    std::string probe;
    const int fd = createUnique(folder, fs::path(real).filename().string(), &probe);
    if (fd < 0) return cannotWrite(path, folder + ": " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
    return "";
}

OutputFile::OutputFile(std::string target) : target_(std::move(target)) {}

OutputFile::~OutputFile() {
    if (temporary_ && !committed_ && !writePath_.empty()) unlink(writePath_.c_str());
}

bool OutputFile::open(std::string* error) {
    realTarget_ = followLinks(target_);
    struct stat st;
    if (stat(realTarget_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            writePath_ = realTarget_;
            return true;
        }
        keepMode_ = true;
        mode_ = st.st_mode & 07777;
    }
    const int fd = createUnique(folderOf(realTarget_), fs::path(realTarget_).filename().string(),
                                &writePath_);
    if (fd < 0) {
        *error = cannotWrite(target_, std::strerror(errno));
        return false;
    }
    close(fd);
    temporary_ = true;
    return true;
}

bool OutputFile::commit(std::string* error) {
    if (!temporary_) {
        committed_ = true;
        return true;
    }
    // The data are on disk before the name points at them: a crash never leaves a
    // target that is empty or cut short.
    const int fd = ::open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0 || (keepMode_ && fchmod(fd, mode_) != 0)) {
        *error = writeError(errno, "cannot sync the file");
        if (fd >= 0) close(fd);
        return false;
    }
    close(fd);
    if (std::rename(writePath_.c_str(), realTarget_.c_str()) != 0) {
        *error = writeError(errno, "cannot rename the finished file");
        return false;
    }
    committed_ = true;
    return true;
}

std::string OutputFile::writeError(int savedErrno, const char* fallback) const {
    return cannotWrite(target_, savedErrno ? std::strerror(savedErrno) : fallback);
}

}  // namespace q47::scan

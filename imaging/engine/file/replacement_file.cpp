// Saving over a file through a temporary file in the same folder and one rename.
#include "imaging/engine/file/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/engine/ik_api.h"

namespace q47::ik {

namespace {

// The file a name stands for: a link is followed, so the link stays and its file changes.
std::string resolved(const std::string& target) {
    char real[PATH_MAX];
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(target.c_str(), real))
        return real;
    return target;
}

// What a newly created file gets (0666 less the umask). The kernel tells the umask
// without changing it; setting and restoring it is the fallback for older kernels.
mode_t newFileMode() {
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return 0666 & ~static_cast<mode_t>(mask);
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k, n -= static_cast<size_t>(k);
    }
    return true;
}

bool copyInto(const std::string& from, int to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    std::vector<char> buf(1 << 16);
    bool ok = true;
    while (ok) {
        const ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(to, buf.data(), static_cast<size_t>(n));
    }
    close(in);
    return ok;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& target, bool keepOld)
    : target_(resolved(target)) {
    mode_t mode = newFileMode();
    struct stat st {};
    const bool exists = stat(target_.c_str(), &st) == 0;
    if (exists) {
        // Replacing must not do what writing in place could not: a file the user may not
        // write stays, and a folder or device of that name is no file to replace.
        if (!S_ISREG(st.st_mode) || access(target_.c_str(), W_OK) != 0) {
            status_ = IK_ERR_FILE_OPEN;
            return;
        }
        mode = st.st_mode & 07777;
    }
    const size_t slash = target_.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    // Hidden, and without the target's extension, so folder listings that look for
    // pictures (the next free capture number) never see it.
    std::string pattern = folder + "." + name + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        status_ = IK_ERR_FILE_OPEN;
        return;
    }
    temp_ = pattern;
    bool ok = fchmod(fd, mode) == 0;
    if (ok && keepOld && exists) ok = copyInto(target_, fd);
    if (close(fd) != 0) ok = false;
    if (!ok) status_ = IK_ERR_FILE_IO;
}

ReplacementFile::~ReplacementFile() {
    if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

uint16_t ReplacementFile::commit() {
    if (status_) return status_;
    // On disk before the rename: after a crash the name holds the old picture or the
    // whole new one, never an empty file.
    const int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!synced || rename(temp_.c_str(), target_.c_str()) != 0) return IK_ERR_FILE_IO;
    committed_ = true;
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target_.substr(0, slash);
    if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);  // the rename itself; a folder that cannot be synced loses nothing
        close(dir);
    }
    return IK_OK;
}

}  // namespace q47::ik

// The FUSE side of the stand-in device node: the few requests a device node needs.
#include "standin_node.h"

#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace q47::test {

namespace {

constexpr uint64_t kNodeId = 2;
constexpr const char* kNodeName = "zwbd_c_series0";

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

fuse_attr attrOf(uint64_t node) {
    fuse_attr a{};
    a.ino = node;
    a.mode = node == FUSE_ROOT_ID ? (S_IFDIR | 0755) : (S_IFREG | 0666);
    a.nlink = node == FUSE_ROOT_ID ? 2 : 1;
    a.uid = getuid();
    a.gid = getgid();
    a.blksize = 4096;
    return a;
}

}  // namespace

StandinNode::StandinNode(sim::Config config) : board_(std::move(config)) {}

StandinNode::~StandinNode() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    if (thread_.joinable()) {
        stopping_ = true;
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (fuseFd_ >= 0) close(fuseFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    if (!dir_.empty()) rmdir(dir_.c_str());
}

bool StandinNode::start(std::string* error) {
    char tmpl[] = "/tmp/q47-standin-XXXXXX";
    if (!mkdtemp(tmpl)) {
        *error = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    dir_ = tmpl;
    fuseFd_ = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuseFd_ < 0) {
        *error = std::string("/dev/fuse: ") + std::strerror(errno);
        return false;
    }
    const std::string options = "fd=" + std::to_string(fuseFd_) + ",rootmode=40000,user_id=" +
                                std::to_string(getuid()) + ",group_id=" + std::to_string(getgid());
    if (mount("q47standin", dir_.c_str(), "fuse.q47standin", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        *error = std::string("mounting FUSE: ") + std::strerror(errno);
        return false;
    }
    mounted_ = true;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void StandinNode::unplug(int ms) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unplugUntil_ = nowMs() + ms;
        unplugNow_ = true;
    }
    uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
}

bool StandinNode::unpluggedNow() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unplugUntil_ != 0 && nowMs() < unplugUntil_;
}

void StandinNode::serve() {
    std::vector<uint8_t> buf(FUSE_MIN_READ_BUFFER + 256 * 1024);
    for (;;) {
        pollfd fds[2] = {{fuseFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) {
            uint64_t v;
            (void)!read(wakeFd_, &v, sizeof v);
            if (stopping_) return;
            bool pull = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                pull = unplugNow_;
                unplugNow_ = false;
            }
            if (pull) {
                // The cable is pulled: the open file is dead and a waiting read fails.
                if (pendingRead_) reply(pendingRead_, -ENODEV);
                pendingRead_ = 0;
                opened_ = false;
                fh_ = 0;
                transfers_.clear();
                at_ = 0;
            }
        }
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents) return;  // unmounted
            continue;
        }
        ssize_t n = read(fuseFd_, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR || errno == ENOENT || errno == EAGAIN) continue;
            return;  // ENODEV: unmounted
        }
        handle(buf.data(), size_t(n));
    }
}

void StandinNode::reply(uint64_t unique, int error, const void* data, size_t size) {
    fuse_out_header h{};
    h.len = uint32_t(sizeof h + (error ? 0 : size));
    h.error = error;
    h.unique = unique;
    std::vector<uint8_t> out(h.len);
    std::memcpy(out.data(), &h, sizeof h);
    if (!error && size) std::memcpy(out.data() + sizeof h, data, size);
    (void)!write(fuseFd_, out.data(), out.size());
}

// The waiting read takes what the board has now: at most its size, of one transfer.
void StandinNode::answerPendingRead() {
    if (!pendingRead_ || transfers_.empty()) return;
    std::vector<uint8_t>& t = transfers_.front();
    const size_t take = std::min<size_t>(pendingSize_, t.size() - at_);
    reply(pendingRead_, 0, t.data() + at_, take);
    at_ += take;
    if (at_ >= t.size()) {
        transfers_.pop_front();
        at_ = 0;
    }
    pendingRead_ = 0;
}

void StandinNode::handle(const uint8_t* msg, size_t n) {
    if (n < sizeof(fuse_in_header)) return;
    fuse_in_header in;
    std::memcpy(&in, msg, sizeof in);
    const uint8_t* arg = msg + sizeof in;
    const uint64_t u = in.unique;
    switch (in.opcode) {
        case FUSE_INIT: {
            fuse_init_in init;
            std::memcpy(&init, arg, sizeof init);
            fuse_init_out out{};
            out.major = FUSE_KERNEL_VERSION;
            out.minor = std::min<uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
            out.max_readahead = init.max_readahead;
            out.max_write = 64 * 1024;
            out.time_gran = 1;
            reply(u, 0, &out, sizeof out);
            return;
        }
        case FUSE_LOOKUP: {
            const char* name = reinterpret_cast<const char*>(arg);
            if (in.nodeid != FUSE_ROOT_ID || std::strcmp(name, kNodeName) != 0 || unpluggedNow()) {
                reply(u, -ENOENT);
                return;
            }
            fuse_entry_out out{};
            out.nodeid = kNodeId;
            out.generation = 1;
            out.attr = attrOf(kNodeId);
            reply(u, 0, &out, sizeof out);
            return;
        }
        case FUSE_GETATTR:
        case FUSE_SETATTR: {
            fuse_attr_out out{};
            out.attr = attrOf(in.nodeid);
            reply(u, 0, &out, sizeof out);
            return;
        }
        case FUSE_OPEN: {
            if (unpluggedNow()) return reply(u, -ENODEV);
            if (opened_) return reply(u, -EBUSY);  // the node is exclusive
            opened_ = true;
            fuse_open_out out{};
            out.fh = fh_ = nextFh_++;  // never reused: a file from before an unplug stays dead
            out.open_flags = FOPEN_DIRECT_IO | FOPEN_NONSEEKABLE;
            reply(u, 0, &out, sizeof out);
            return;
        }
        case FUSE_OPENDIR: {
            fuse_open_out out{};
            reply(u, 0, &out, sizeof out);
            return;
        }
        case FUSE_READ: {
            fuse_read_in r;
            std::memcpy(&r, arg, sizeof r);
            if (r.fh != fh_ || !opened_ || unpluggedNow()) return reply(u, -ENODEV);
            if (in.nodeid == FUSE_ROOT_ID) return reply(u, 0);
            pendingRead_ = u;
            pendingSize_ = r.size;
            answerPendingRead();
            return;
        }
        case FUSE_WRITE: {
            fuse_write_in w;
            std::memcpy(&w, arg, sizeof w);
            if (w.fh != fh_ || !opened_ || unpluggedNow()) return reply(u, -ENODEV);
            const uint8_t* data = arg + sizeof w;
            sim::Transfers out;
            int restart = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                out = board_.handle(data, w.size);
                restart = board_.takeRestart();
            }
            for (auto& t : out) transfers_.push_back(std::move(t));
            fuse_write_out wo{};
            wo.size = w.size;
            reply(u, 0, &wo, sizeof wo);
            if (restart) unplug(restart);
            return;
        }
        case FUSE_INTERRUPT: {
            fuse_interrupt_in i;
            std::memcpy(&i, arg, sizeof i);
            // The interrupted read ends without data, as a killed bulk transfer does.
            if (pendingRead_ && pendingRead_ == i.unique) {
                reply(pendingRead_, -EINTR);
                pendingRead_ = 0;
            }
            return;  // an interrupt itself gets no answer
        }
        case FUSE_RELEASE: {
            fuse_release_in r;
            std::memcpy(&r, arg, sizeof r);
            if (r.fh == fh_) opened_ = false;
            reply(u, 0);
            return;
        }
        case FUSE_FLUSH:
        case FUSE_RELEASEDIR:
        case FUSE_ACCESS:
        case FUSE_FSYNC:
            reply(u, 0);
            return;
        case FUSE_READDIR:
            reply(u, 0);
            return;
        case FUSE_STATFS: {
            fuse_statfs_out out{};
            out.st.bsize = 4096;
            out.st.namelen = 255;
            reply(u, 0, &out, sizeof out);
            return;
        }
        case FUSE_FORGET:
        case FUSE_BATCH_FORGET:
            return;
        case FUSE_DESTROY:
            reply(u, 0);
            return;
        default:
            reply(u, -ENOSYS);
            return;
    }
}

}  // namespace q47::test

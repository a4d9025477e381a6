#include "file_lease.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace mervik {

namespace {

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

}  // namespace

bool canOpenExclusive(const std::string& path) {
    // O_NONBLOCK: a file under someone else's lease, or a FIFO, must not stall a poll.
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (f.fd < 0)
        return false;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (::fcntl(f.fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(f.fd, F_SETLEASE, F_UNLCK);
        return true;
    }
    // EAGAIN: another descriptor is open. Anything else: leases cannot be had
    // here (see the header), so the open for reading has to do.
    return errno != EAGAIN;
}

}  // namespace mervik

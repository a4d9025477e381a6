#include "platform/file_lease.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/unique_fd_posix.h"

namespace mervik {

bool canOpenExclusive(const std::string& path) {
    // O_NONBLOCK: a file under someone else's lease, or a FIFO, must not stall a poll.
    const posix::UniqueFd f = posix::openFile(path, O_RDONLY | O_NONBLOCK);
    if (!f.valid())
        return false;
    struct stat st {};
    if (::fstat(f.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (::fcntl(f.get(), F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(f.get(), F_SETLEASE, F_UNLCK);
        return true;
    }
    // EINVAL: this file system has no leases (see the header); the open for
    // reading and the caller's settle time have to do. Every other refusal,
    // EAGAIN (open elsewhere) and EACCES (not ours to lease) above all, means
    // the file may still be being written.
    return errno == EINVAL;
}

}  // namespace mervik

#include "file_lease.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "unique_fd_posix.h"

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
    // EAGAIN: another descriptor is open. Anything else: leases cannot be had
    // here (see the header), so the open for reading has to do.
    return errno != EAGAIN;
}

}  // namespace mervik

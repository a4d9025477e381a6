#include "platform/file_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/unique_fd_posix.h"

namespace mervik {

namespace {

constexpr std::size_t kBlock = 1 << 20;

bool allZero(const char* data, std::size_t n) {
    static const std::vector<char> zeros(kBlock, 0);
    return std::memcmp(data, zeros.data(), n) == 0;
}

bool writeAll(int fd, const char* data, std::size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, data, n, at);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        at += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Copies the bytes [from, to) of in to the same place in out, in blocks;
// blocks of zeros are left as holes.
bool copyRange(int in, int out, off_t from, off_t to, std::vector<char>& block) {
    while (from < to) {
        const auto want = static_cast<std::size_t>(std::min<off_t>(to - from, kBlock));
        const ssize_t n = ::pread(in, block.data(), want, from);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;  // the file got shorter: what is there is copied
        const auto size = static_cast<std::size_t>(n);
        if (!allZero(block.data(), size) && !writeAll(out, block.data(), size, from))
            return false;
        from += n;
    }
    return true;
}

bool copyInBlocks(const std::string& from, const std::string& to) {
    const posix::UniqueFd in = posix::openFile(from, O_RDONLY);
    struct stat st {};
    if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const posix::UniqueFd out =
        posix::openFile(to, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 07777);
    if (!out.valid())
        return false;
    std::vector<char> block(kBlock);
    const off_t size = st.st_size;
    bool ok = true;
    // Only the data regions are read: the holes of a sparse file cost nothing.
    for (off_t pos = 0; ok && pos < size;) {
        off_t data = ::lseek(in.get(), pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break;   // nothing but a hole up to the end
            data = pos;  // no hole search here: copy everything
        }
        off_t hole = ::lseek(in.get(), data, SEEK_HOLE);
        if (hole < 0 || hole <= data)
            hole = size;
        ok = copyRange(in.get(), out.get(), data, std::min(hole, size), block);
        pos = hole;
    }
    ok = ok && ::ftruncate(out.get(), size) == 0 && ::fsync(out.get()) == 0;
    if (!ok)
        ::unlink(to.c_str());
    return ok;
}

}  // namespace

bool moveFileTo(const std::string& from, const std::string& to) {
    // link() + unlink() never replaces an existing target, unlike rename().
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0)
            return true;
        ::unlink(to.c_str());
        return false;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EXDEV) {
        // No hard links here (or not allowed): a rename does it on one file system.
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0)
            return false;
        if (::rename(from.c_str(), to.c_str()) == 0)
            return true;
        if (errno != EXDEV)
            return false;
    }
    if (!copyInBlocks(from, to))
        return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

}  // namespace mervik

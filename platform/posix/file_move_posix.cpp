#include "file_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "unique_fd_posix.h"

namespace mervik {

namespace {

constexpr std::size_t kBlock = 1 << 20;

bool allZero(const char* data, std::size_t n) {
    return std::all_of(data, data + n, [](char c) { return c == 0; });
}

bool writeAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
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
    off_t length = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in.get(), block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        const auto size = static_cast<std::size_t>(n);
        // Zero blocks are skipped, which keeps a sparse file sparse.
        if (allZero(block.data(), size)) {
            if (::lseek(out.get(), static_cast<off_t>(size), SEEK_CUR) < 0) {
                ok = false;
                break;
            }
        } else if (!writeAll(out.get(), block.data(), size)) {
            ok = false;
            break;
        }
        length += static_cast<off_t>(size);
    }
    ok = ok && ::ftruncate(out.get(), length) == 0 && ::fsync(out.get()) == 0;
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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_replace.h"

namespace mervik {

namespace {

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

ReplaceResult replaceFile(const std::string& path, std::string_view content) {
    struct stat old {};
    const bool hadOld = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".new";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return ReplaceResult::cannotCreate;
        }
    }
    if (fd < 0) {
        return ReplaceResult::cannotCreate;
    }

    bool ok = writeAll(fd, content);
    if (ok && hadOld) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return ReplaceResult::writeFailed;
    }
    // The rename itself is durable only once the folder is synced.
    const int dirFd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return ReplaceResult::ok;
}

}  // namespace mervik

#include "byte_file.h"

#include <fcntl.h>
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

bool readFileBytes(const std::string& path, std::string& content) {
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (f.fd < 0)
        return false;
    content.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.append(buf, static_cast<std::size_t>(n));
    }
}

bool writeFileBytes(const std::string& path, std::string_view content, bool append) {
    const int mode = append ? O_APPEND : O_TRUNC;
    Fd f(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | mode, 0666));
    if (f.fd < 0)
        return false;
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(f.fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace mervik

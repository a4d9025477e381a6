#include "platform/byte_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/unique_fd_posix.h"

namespace mervik {

bool readFileBytes(const std::string& path, std::string& content) {
    const posix::UniqueFd f = posix::openFile(path, O_RDONLY);
    if (!f.valid())
        return false;
    content.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(f.get(), buf, sizeof buf);
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
    const posix::UniqueFd f = posix::openFile(path, O_WRONLY | O_CREAT | mode, 0666);
    if (!f.valid())
        return false;
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(f.get(), content.data() + done, content.size() - done);
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

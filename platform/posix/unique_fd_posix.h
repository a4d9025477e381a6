// A descriptor owned by a scope, for the posix implementation files only.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace mervik::posix {

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

// Close-on-exec so that no sibling program we start inherits it, and never
// taken as our controlling terminal.
inline UniqueFd openFile(const std::string& path, int flags, mode_t mode = 0) {
    return UniqueFd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode));
}

}  // namespace mervik::posix

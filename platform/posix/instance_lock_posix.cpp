#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/instance_lock.h"

namespace mervik {

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parentOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::string instanceLockPath(const std::string& name, const std::string& dataFolder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && isFolder(runtime)) {
        return std::string(runtime) + "/" + name + ".lock";
    }
    const std::string parent = parentOf(dataFolder);
    if (!parent.empty() && parent != "/" && isFolder(parent)) {
        return parent + "/" + name + ".lock";
    }
    // /tmp is shared by all users; the named lock is per user.
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

InstanceLock::~InstanceLock() {
    release();
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

InstanceLockResult InstanceLock::acquire(const std::string& lockPath) {
    release();
    // O_CLOEXEC keeps the sibling programs we start from inheriting the lock.
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return InstanceLockResult::unavailable;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        fd_ = fd;
        return InstanceLockResult::acquired;
    }
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? InstanceLockResult::heldByOther : InstanceLockResult::unavailable;
}

// The file stays: removing it would race with a second instance that has it
// open and is about to lock it.
void InstanceLock::release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace mervik

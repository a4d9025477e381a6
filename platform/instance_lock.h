// The single-instance lock: one running program per user and session.
// The lock goes with the process, however it ends.
#pragma once

#include <cstdint>
#include <string>

namespace mervik {

enum class InstanceLockResult : std::uint8_t {
    acquired,     // we are the only instance
    heldByOther,  // another running process holds it: end silently
    unavailable,  // no lock could be made: start normally
};

// The file that stands for the lock called name: in $XDG_RUNTIME_DIR, else in
// the parent of dataFolder, else in /tmp (with the user id in its name).
std::string instanceLockPath(const std::string& name, const std::string& dataFolder);

class InstanceLock {
  public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock file at lockPath (see instanceLockPath); keeps it until
    // release() or destruction when acquired.
    InstanceLockResult acquire(const std::string& lockPath);
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace mervik

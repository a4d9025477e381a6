#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/instance_lock.h"
#include "tests/platform/support/temp_root.h"

namespace mervik {
namespace {

// Runs body in a forked child and returns its exit status.
template <typename Body>
int inChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int tryLock(const std::string& path) {
    InstanceLock lock;
    return static_cast<int>(lock.acquire(path));
}

TEST(InstanceLock, SecondProcessSeesTheLockHeld) {
    test::TempRoot root;
    const std::string path = root / "hMervikInst.lock";
    InstanceLock lock;
    ASSERT_EQ(lock.acquire(path), InstanceLockResult::acquired);
    EXPECT_EQ(inChild([&] { return tryLock(path); }),
              static_cast<int>(InstanceLockResult::heldByOther));
    lock.release();
    EXPECT_EQ(inChild([&] { return tryLock(path); }),
              static_cast<int>(InstanceLockResult::acquired));
}

TEST(InstanceLock, LockGoesWithAKilledProcess) {
    test::TempRoot root;
    const std::string path = root / "hMervikInst.lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        InstanceLock lock;
        const char ok = lock.acquire(path) == InstanceLockResult::acquired ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    InstanceLock mine;
    EXPECT_EQ(mine.acquire(path), InstanceLockResult::heldByOther);
    EXPECT_FALSE(mine.held());
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(mine.acquire(path), InstanceLockResult::acquired);
    EXPECT_TRUE(mine.held());
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(InstanceLock, UnmakeableLockFileMeansStartNormally) {
    test::TempRoot root;
    InstanceLock lock;
    EXPECT_EQ(lock.acquire(root / "missing/hMervikInst.lock"), InstanceLockResult::unavailable);
    EXPECT_FALSE(lock.held());
}

TEST(InstanceLock, MovedLockStaysHeld) {
    test::TempRoot root;
    const std::string path = root / "l";
    InstanceLock first;
    ASSERT_EQ(first.acquire(path), InstanceLockResult::acquired);
    InstanceLock second = std::move(first);
    EXPECT_FALSE(first.held());
    EXPECT_TRUE(second.held());
    EXPECT_EQ(inChild([&] { return tryLock(path); }),
              static_cast<int>(InstanceLockResult::heldByOther));
}

TEST(InstanceLock, LockFolderChoice) {
    test::TempRoot root;
    const std::string data = root / "share/Corvanta/Mervik";
    // Neither a runtime folder nor the data folder's parent: /tmp, per user.
    EXPECT_EQ(instanceLockPath("hMervikInst", data),
              "/tmp/hMervikInst-" + std::to_string(::getuid()) + ".lock");
    std::filesystem::create_directories(root / "share/Corvanta");
    EXPECT_EQ(instanceLockPath("hMervikInst", data), root / "share/Corvanta/hMervikInst.lock");
    std::filesystem::create_directories(root / "run");
    root.env.set("XDG_RUNTIME_DIR", root / "run");
    EXPECT_EQ(instanceLockPath("hMervikInst", data), root / "run/hMervikInst.lock");
}

}  // namespace
}  // namespace mervik

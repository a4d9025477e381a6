#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file_replace.h"
#include "tests/platform/support/temp_root.h"

namespace mervik {
namespace {

std::size_t entriesIn(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

TEST(ReplaceFile, ReplacesAndKeepsPermissionBits) {
    test::TempRoot root;
    const std::string path = root / "f.par";
    EXPECT_EQ(replaceFile(path, "one"), ReplaceResult::ok);
    EXPECT_EQ(test::readFile(path), "one");
    ::chmod(path.c_str(), 0640);
    EXPECT_EQ(replaceFile(path, "two\r\n"), ReplaceResult::ok);
    EXPECT_EQ(test::readFile(path), "two\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entriesIn(root.path()), 2u);  // home/ and f.par, no leftovers
}

TEST(ReplaceFile, MissingFolderCannotCreate) {
    test::TempRoot root;
    EXPECT_EQ(replaceFile(root / "none/f.par", "x"), ReplaceResult::cannotCreate);
}

// A file-size limit makes the kernel fail the write half-way, as a full disk
// would.
TEST(ReplaceFile, FailedWriteKeepsTheOldFile) {
    test::TempRoot root;
    const std::string path = root / "f.par";
    test::writeFile(path, "old content");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(static_cast<int>(replaceFile(path, std::string(100000, 'x'))));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ReplaceResult::writeFailed));
    EXPECT_EQ(test::readFile(path), "old content");
    EXPECT_EQ(entriesIn(root.path()), 2u);
}

}  // namespace
}  // namespace mervik

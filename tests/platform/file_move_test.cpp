#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_identity.h"
#include "platform/file_move.h"

namespace mervik {
namespace {

namespace fs = std::filesystem;

std::string makeTempFolder(const std::string& under) {
    std::string tmpl = under + "/mervik-move-XXXXXX";
    return ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string();
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Data at the start, after a hole in the middle, and a hole at the end.
std::string writeSparse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::pwrite(fd, "head", 4, 0), 4);
    EXPECT_EQ(::pwrite(fd, "middle", 6, 5 << 20), 6);
    EXPECT_EQ(::ftruncate(fd, 9 << 20), 0);
    ::close(fd);
    std::string expected(9 << 20, '\0');
    expected.replace(0, 4, "head");
    expected.replace(5 << 20, 6, "middle");
    return expected;
}

class FileMove : public ::testing::Test {
  protected:
    void SetUp() override {
        here = makeTempFolder("/tmp");
        ASSERT_FALSE(here.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(here, ec);
        if (!there.empty())
            fs::remove_all(there, ec);
    }
    std::string here, there;
};

TEST_F(FileMove, OnOneFileSystemKeepsTheFileAndNeverReplacesOne) {
    const std::string from = here + "/a.pdf", to = here + "/b.pdf";
    std::ofstream(from) << "drawing";
    const auto before = fileStamp(from);
    ASSERT_TRUE(moveFileTo(from, to));
    EXPECT_FALSE(fs::exists(from));
    ASSERT_TRUE(fileStamp(to).has_value());
    EXPECT_TRUE(fileStamp(to)->sameObject(*before));

    std::ofstream(from) << "another";
    EXPECT_FALSE(moveFileTo(from, to));
    EXPECT_EQ(contentOf(to), "drawing");
    EXPECT_EQ(contentOf(from), "another");
    EXPECT_FALSE(moveFileTo(here + "/missing", here + "/c.pdf"));
}

TEST_F(FileMove, AcrossFileSystemsCopiesEveryByteAndKeepsHoles) {
    there = makeTempFolder("/dev/shm");
    struct stat a {
    }, b{};
    if (there.empty() || ::stat(here.c_str(), &a) != 0 || ::stat(there.c_str(), &b) != 0 ||
        a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system (/dev/shm) beside /tmp";
    for (const auto& [from, to] : {std::pair{there + "/s.hgl", here + "/s.hgl"},
                                   std::pair{here + "/t.hgl", there + "/t.hgl"}}) {
        const std::string expected = writeSparse(from);
        ASSERT_TRUE(moveFileTo(from, to)) << from;
        EXPECT_FALSE(fs::exists(from));
        EXPECT_EQ(contentOf(to), expected);
        struct stat st {};
        ASSERT_EQ(::stat(to.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_LT(st.st_blocks * 512, 4 << 20) << "the holes were written out";
    }
    // An existing target stays, and so does the source.
    std::ofstream(there + "/u.hgl") << "new";
    std::ofstream(here + "/u.hgl") << "old";
    EXPECT_FALSE(moveFileTo(there + "/u.hgl", here + "/u.hgl"));
    EXPECT_EQ(contentOf(here + "/u.hgl"), "old");
    EXPECT_EQ(contentOf(there + "/u.hgl"), "new");
}

}  // namespace
}  // namespace mervik

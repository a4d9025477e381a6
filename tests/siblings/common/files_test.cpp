#include "common/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "text_file.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readText;
using testsupport::writeText;

class SiblingFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "sibling-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::string path(const std::string& name) const { return root_ + "/" + name; }

    // Everything in the folder, temporary files included.
    std::size_t entries() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(root_)) {
            ++n;
        }
        return n;
    }

    std::string root_;
};

TEST_F(SiblingFilesTest, PathPartsSplitAtTheLastSlash) {
    EXPECT_EQ(siblings::folderOf("a/b/c.hgl"), "a/b/");
    EXPECT_EQ(siblings::nameOf("a/b/c.hgl"), "c.hgl");
    EXPECT_EQ(siblings::folderOf("c.hgl"), "");
    EXPECT_EQ(siblings::nameOf("c.hgl"), "c.hgl");
    EXPECT_EQ(siblings::folderOf("a/"), "a/");
    EXPECT_EQ(siblings::nameOf("a/"), "");
    EXPECT_EQ(siblings::baseNameOf("a/b/c.page.hgl"), "c.page");
    EXPECT_EQ(siblings::baseNameOf("a.d/c"), "c");
}

TEST_F(SiblingFilesTest, LowerAsciiLeavesOtherBytesAlone) {
    EXPECT_EQ(siblings::lowerAscii("AZaz@[`{09"), "azaz@[`{09");
    EXPECT_EQ(siblings::lowerAscii("\xC3\x89T\xC9"), "\xC3\x89t\xC9");
}

TEST_F(SiblingFilesTest, TempFileCommitReplacesTheTargetAndLeavesNothingBehind) {
    const std::string target = path("out.tif");
    writeText(target, "old");
    {
        siblings::TempFile temp(target);
        EXPECT_EQ(siblings::folderOf(temp.path()), siblings::folderOf(target));
        EXPECT_NE(temp.path(), target);
        writeText(temp.path(), "new");
        EXPECT_EQ(readText(target), "old");
        std::string error;
        ASSERT_TRUE(temp.commit(error)) << error;
        EXPECT_TRUE(error.empty());
    }
    EXPECT_EQ(readText(target), "new");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SiblingFilesTest, TempFileWithoutCommitIsRemovedAndTheTargetKept) {
    const std::string target = path("out.tif");
    writeText(target, "old");
    std::string tempPath;
    {
        siblings::TempFile temp(target);
        tempPath = temp.path();
        writeText(tempPath, "half");
    }
    EXPECT_FALSE(fs::exists(tempPath));
    EXPECT_EQ(readText(target), "old");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SiblingFilesTest, TempFileCommitFailsWhenNothingWasWritten) {
    for (const auto durability : {siblings::Durability::Durable, siblings::Durability::Scratch}) {
        siblings::TempFile temp(path("out.tif"));
        std::string error;
        EXPECT_FALSE(temp.commit(error, durability));
        EXPECT_NE(error.find(temp.path()), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(path("out.tif")));
    }
}

// Scratch files skip only the flush to disk: they are as atomic as the
// durable ones.
TEST_F(SiblingFilesTest, WriteFileAtomicallyKeepsTheOldFileWhenTheWriterFails) {
    for (const auto durability : {siblings::Durability::Durable, siblings::Durability::Scratch}) {
        SCOPED_TRACE(durability == siblings::Durability::Durable ? "durable" : "scratch");
        const std::string target = path("page.hgl");
        writeText(target, "old");
        std::string error;
        EXPECT_FALSE(siblings::writeFileAtomically(
            target,
            [](std::ostream& out) {
                out << "partial";
                return false;
            },
            error, durability));
        EXPECT_EQ(error, "cannot write " + target);
        EXPECT_EQ(readText(target), "old");
        EXPECT_EQ(entries(), 1u);

        error.clear();
        EXPECT_TRUE(siblings::writeFileAtomically(
            target,
            [](std::ostream& out) {
                out << "whole";
                return true;
            },
            error, durability))
            << error;
        EXPECT_EQ(readText(target), "whole");
        EXPECT_EQ(entries(), 1u);
    }
}

TEST_F(SiblingFilesTest, WriteFileAtomicallyReportsAFolderThatIsNotThere) {
    std::string error;
    EXPECT_FALSE(siblings::writeFileAtomically(
        path("missing/page.hgl"), [](std::ostream&) { return true; }, error));
    EXPECT_EQ(error.rfind("cannot create ", 0), 0u) << error;
}

}  // namespace

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/dir_search.h"
#include "tests/platform/support/temp_root.h"

namespace mervik {
namespace {

TEST(MatchesPattern, WildcardsAndLiterals) {
    EXPECT_TRUE(matchesPattern("*.pdf", "plan.pdf"));
    EXPECT_TRUE(matchesPattern("*.pdf", "PLAN.PDF"));
    EXPECT_FALSE(matchesPattern("*.pdf", "plan.pdf.bak"));
    EXPECT_FALSE(matchesPattern("*.hgl", "plan.hg"));
    EXPECT_TRUE(matchesPattern("p?an.*", "plan.x"));
    EXPECT_FALSE(matchesPattern("p?an", "pan"));
    EXPECT_TRUE(matchesPattern("[ab].txt", "[ab].txt"));
    EXPECT_FALSE(matchesPattern("[ab].txt", "a.txt"));
    EXPECT_TRUE(matchesPattern("*a*b*c*", "xxaxxbxxcxx"));
    EXPECT_FALSE(matchesPattern("*a*b*c*d", std::string(200, 'a') + "bc"));
    // Only ASCII letters fold.
    EXPECT_FALSE(matchesPattern("\xC4", "\xE4"));
}

TEST(MatchesPattern, TrailingDotStarAlsoMatchesNamesWithoutDot) {
    EXPECT_TRUE(matchesPattern("*.*", "README"));
    EXPECT_TRUE(matchesPattern("*.*", "a.b.c"));
    EXPECT_TRUE(matchesPattern("*.*", "."));
    EXPECT_TRUE(matchesPattern("*.*", ".."));
    EXPECT_TRUE(matchesPattern("plan.*", "plan"));
    EXPECT_FALSE(matchesPattern("plan.*", "plans"));
}

std::set<std::pair<std::string, bool>> collect(DirSearch& search) {
    std::set<std::pair<std::string, bool>> seen;
    DirEntry e;
    while (search.next(e)) {
        seen.emplace(e.name, e.isFolder);
    }
    return seen;
}

TEST(DirSearch, YieldsMatchingEntriesWithKind) {
    test::TempRoot root;
    const std::string dir = root / "in";
    std::filesystem::create_directories(dir + "/Sub.PDF");
    test::writeFile(dir + "/a.pdf", "x");
    test::writeFile(dir + "/b.PDF", "x");
    test::writeFile(dir + "/c.hgl", "x");
    std::filesystem::create_directory_symlink(dir + "/Sub.PDF", dir + "/link.pdf");

    DirSearch pdf(dir + "/*.pdf");
    ASSERT_TRUE(pdf.isOpen());
    const std::set<std::pair<std::string, bool>> expected = {
        {"a.pdf", false}, {"b.PDF", false}, {"Sub.PDF", true}, {"link.pdf", true}};
    EXPECT_EQ(collect(pdf), expected);

    DirSearch all(dir + "/*.*");
    const auto everything = collect(all);
    EXPECT_EQ(everything.size(), 7u);
    EXPECT_TRUE(everything.count({".", true}));
    EXPECT_TRUE(everything.count({"..", true}));
}

TEST(DirSearch, MissingFolderAndRelativePattern) {
    test::TempRoot root;
    DirSearch missing(root / "nothing/*.*");
    EXPECT_FALSE(missing.isOpen());
    DirEntry e;
    EXPECT_FALSE(missing.next(e));

    test::writeFile(root / "only.txt", "");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(root.path());
    DirSearch here("*.TXT");
    const auto seen = collect(here);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(seen, (std::set<std::pair<std::string, bool>>{{"only.txt", false}}));
}

}  // namespace
}  // namespace mervik

// The label fonts' list kept between runs: read back it is the list
// fontconfig gives, and whatever makes it doubtful (a damaged file, a font
// file changed or gone, a font folder made) has it resolved anew.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/render/label_font_list.h"
#include "drawing/render/label_fonts.h"
#include "hpgl_test_util.h"

namespace drawing {
namespace {

namespace fs = std::filesystem;
using test::TempRoot;

// This program caches its label fonts as tolvane and sandrel do (in the
// temporary folders the tests give it).
const auto* const kCacheOn = ::testing::AddGlobalTestEnvironment([] {
    struct On : ::testing::Environment {
        void SetUp() override { enableLabelFontCache(); }
    };
    return new On;
}());

std::string unparse(const FcPattern* p) {
    FcChar8* s = FcNameUnparse(const_cast<FcPattern*>(p));
    std::string out = s != nullptr ? reinterpret_cast<const char*>(s) : "";
    FcStrFree(s);
    return out;
}

// Each font of the list as fontconfig writes a pattern, character set and all.
std::vector<std::string> describe(LabelFontList list) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_NE(list.charset(i), nullptr) << i;
        out.push_back(unparse(list.pattern(i)));
    }
    return out;
}

std::string fileOf(const FcPattern* p) {
    FcChar8* file = nullptr;
    return FcPatternGetString(p, FC_FILE, 0, &file) == FcResultMatch
               ? reinterpret_cast<const char*>(file)
               : "";
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void spill(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) {
        out += l + "\n";
    }
    return out;
}

// What the cache file says of a file or folder as it is now.
std::string stampLine(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return "stamp f " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + " " +
           std::to_string(st.st_mtim.tv_nsec) + " " + path.string();
}

class LabelFontCache : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_CACHE_HOME", (root_.path() / "cache").c_str(), 1);
        cache_ = root_.path() / "cache" / "Corvanta" / "Test" / "label-fonts";
        fresh_ = describe(loadLabelFontList(""));
        ASSERT_FALSE(fresh_.empty()) << "no fonts installed";
    }

    // Loads through the cache file; says whether the list came from it.
    bool load(std::vector<std::string>* fonts = nullptr) {
        LabelFontList list = loadLabelFontList(cache_.string());
        const bool cached = list.fromCache;
        const std::vector<std::string> got = describe(std::move(list));
        if (fonts != nullptr) {
            *fonts = got;
        } else {
            EXPECT_EQ(got, fresh_);
        }
        return cached;
    }

    TempRoot root_;
    fs::path cache_;
    std::vector<std::string> fresh_;
};

TEST_F(LabelFontCache, AWarmCacheGivesTheListFontconfigGives) {
    EXPECT_FALSE(load());
    ASSERT_TRUE(fs::exists(cache_));
    EXPECT_TRUE(load());
    EXPECT_TRUE(load());
    // Small, and nothing left beside it.
    EXPECT_LT(fs::file_size(cache_), 4u << 20);
    EXPECT_EQ(std::distance(fs::directory_iterator(cache_.parent_path()), {}), 1);
}

TEST_F(LabelFontCache, DamagedOrForeignCachesAreIgnoredAndRewritten) {
    ASSERT_FALSE(load());
    const std::string good = slurp(cache_);
    const std::vector<std::string> lines = linesOf(good);
    const auto edited = [&](const std::function<void(std::vector<std::string>&)>& edit) {
        std::vector<std::string> l = lines;
        edit(l);
        return joined(l);
    };
    const auto index = [&](const std::string& prefix, int nth = 0) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(prefix, 0) == 0 && nth-- == 0) {
                return i;
            }
        }
        ADD_FAILURE() << "no line " << prefix;
        return std::size_t{0};
    };
    const std::size_t firstChars = index("chars ");
    const std::size_t secondFont = index("font ", 1);
    const std::string damaged[] = {
        "",
        good.substr(0, good.size() / 2),
        good.substr(0, good.size() - 1),  // the last line cut
        good + "font :file=/dev/null\n",
        std::string(good.size(), '\xff'),
        edited([](auto& l) { l[0] = "label-fonts 2"; }),
        edited([](auto& l) { l[1] += ":prgname=other"; }),
        edited([](auto& l) { l.back() = "end 1000"; }),
        // Ranges that go back, leave Unicode, have no end or are no numbers.
        edited([&](auto& l) { l[firstChars] = "chars 20-7e 30-40"; }),
        edited([&](auto& l) { l[firstChars] = "chars 20-7e 110000"; }),
        edited([&](auto& l) { l[firstChars] = "chars 20-7e ffffffffffffffff"; }),
        edited([&](auto& l) { l[firstChars] = "chars 20-"; }),
        edited([&](auto& l) { l[firstChars] = "chars 20-7e "; }),
        edited([&](auto& l) { l[firstChars] = "chars zz"; }),
        edited([&](auto& l) { l[firstChars] = "chars"; }),
        // A font whose file the cache does not vouch for; one without its
        // character set line; a stamp of a file that is not as it says.
        edited([&](auto& l) { l[secondFont] = "font :file=/etc/hostname:index=0"; }),
        edited([&](auto& l) { l.erase(l.begin() + static_cast<long>(firstChars)); }),
        edited([](auto& l) { l[2] = "stamp f 1 2 3 /etc/fonts/fonts.conf"; }),
        edited([](auto& l) { l[2] = "stamp f 1 2 " + std::string(5000, '9') + " /etc"; }),
        edited([](auto& l) { l[2] = "stamp x 0 0 0 /etc"; }),
    };
    for (std::size_t i = 0; i < std::size(damaged); ++i) {
        SCOPED_TRACE(i);
        spill(cache_, damaged[i]);
        EXPECT_FALSE(load());
        EXPECT_TRUE(load()) << "not rewritten";
    }
}

TEST_F(LabelFontCache, AFontFileChangedOrGoneIsResolvedAnew) {
    ASSERT_FALSE(load());
    const std::vector<std::string> lines = linesOf(slurp(cache_));
    // The first font moved to a copy of its file, as if it had been there.
    std::size_t font = 0;
    while (font < lines.size() && lines[font].rfind("font ", 0) != 0) {
        ++font;
    }
    ASSERT_LT(font, lines.size());
    FcPattern* first = FcNameParse(reinterpret_cast<const FcChar8*>(lines[font].c_str() + 5));
    ASSERT_NE(first, nullptr);
    const fs::path original = fileOf(first);
    const fs::path copy = root_.path() / "copy.ttf";
    FcPatternDel(first, FC_FILE);
    FcPatternAddString(first, FC_FILE, reinterpret_cast<const FcChar8*>(copy.c_str()));
    const std::string moved = "font " + unparse(first);
    FcPatternDestroy(first);

    const auto useCopy = [&] {
        fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
        std::vector<std::string> l = lines;
        l[font] = moved;
        l.insert(l.begin() + 2, stampLine(copy));
        spill(cache_, joined(l));
        std::vector<std::string> fonts;
        EXPECT_TRUE(load(&fonts));
        LabelFontList list = loadLabelFontList(cache_.string());
        ASSERT_TRUE(list.fromCache);
        EXPECT_EQ(fileOf(list.pattern(0)), copy.string());
    };
    const auto resolvedAnew = [&] {
        LabelFontList list = loadLabelFontList(cache_.string());
        EXPECT_FALSE(list.fromCache);
        EXPECT_EQ(fileOf(list.pattern(0)), original.string());
        EXPECT_EQ(describe(std::move(list)), fresh_);
        EXPECT_TRUE(load());
    };

    useCopy();
    std::ofstream(copy, std::ios::binary | std::ios::app) << '\0';
    resolvedAnew();

    useCopy();
    fs::last_write_time(copy, fs::last_write_time(copy) + std::chrono::seconds(5));
    resolvedAnew();

    useCopy();
    fs::remove(copy);
    resolvedAnew();
}

TEST_F(LabelFontCache, AFontFolderMadeForTheUserIsNoticed) {
    ASSERT_FALSE(load());
    ASSERT_TRUE(load());
    fs::create_directories(root_.path() / "home" / ".local" / "share" / "fonts");
    EXPECT_FALSE(load());
    EXPECT_TRUE(load());
    fs::create_directories(root_.path() / "home" / ".fonts");
    EXPECT_FALSE(load());
    EXPECT_TRUE(load());
}

TEST_F(LabelFontCache, WithoutAFolderToKeepItInTheListIsResolvedEachTime) {
    // A file where the folder would be: no folder can be made there, not even
    // by a user who may write anywhere.
    fs::create_directories(root_.path() / "cache");
    spill(root_.path() / "cache" / "Corvanta", "");
    ASSERT_TRUE(fs::is_regular_file(root_.path() / "cache" / "Corvanta"));
    EXPECT_FALSE(load());
    EXPECT_FALSE(load());
    EXPECT_TRUE(fs::is_regular_file(root_.path() / "cache" / "Corvanta"));
}

TEST(LabelFontCacheFile, LivesInTheUsersCacheFolderUnlessFontconfigIsPointedElsewhere) {
    TempRoot root;
    const std::string home = (root.path() / "home").string();
    const std::string tail = "/Corvanta/" + [] {
        std::string name = program_invocation_short_name;
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        return name;
    }() + "/label-fonts";
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(labelFontCacheFile(), home + "/.cache" + tail);
    setenv("XDG_CACHE_HOME", "relative/cache", 1);
    EXPECT_EQ(labelFontCacheFile(), home + "/.cache" + tail);
    setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
    EXPECT_EQ(labelFontCacheFile(), "/somewhere/cache" + tail);
    for (const char* other : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT"}) {
        setenv(other, "/etc/fonts", 1);
        EXPECT_EQ(labelFontCacheFile(), "") << other;
        unsetenv(other);
    }
    unsetenv("XDG_CACHE_HOME");
    unsetenv("HOME");
    EXPECT_EQ(labelFontCacheFile(), "");
}

// The glyphs labels are drawn with are the same whether the table was
// resolved or read back.
TEST(LabelFontTable, DrawsTheSameGlyphsFromACacheAsFromFontconfig) {
    TempRoot root;
    setenv("XDG_CACHE_HOME", (root.path() / "cache").c_str(), 1);
    const std::vector<unsigned> chars = {'A',    'g',    0x00E9, 0x914D,
                                         0x56F3, 0x30FC, 0x3002, 0x10FFFD};
    struct Seen {
        std::vector<std::string> glyphs;
        std::vector<std::string> files;
        double capHeight = 0;
        double advance = 0;
        bool operator==(const Seen&) const = default;
    };
    const auto look = [&] {
        Seen s;
        for (const unsigned cp : chars) {
            for (const LabelGlyph& g : {labelGlyph(cp), labelVerticalGlyph(cp)}) {
                std::ostringstream o;
                o.precision(17);
                o << cp << ": " << g.font << " " << g.index << " " << g.advance << " " << g.inkTop
                  << " " << g.inkHeight << " " << g.emTop << " " << g.emHeight;
                s.glyphs.push_back(o.str());
                const LabelFontFile f = labelFontFile(g.font);
                s.files.push_back(f.path + "#" + std::to_string(f.faceIndex));
            }
        }
        labelFontMetrics(s.capHeight, s.advance);
        releaseLabelFonts();
        return s;
    };
    releaseLabelFonts();
    const Seen resolved = look();
    ASSERT_FALSE(labelFontCacheFile().empty());
    ASSERT_TRUE(fs::exists(labelFontCacheFile()));
    const Seen cached = look();
    EXPECT_EQ(cached, resolved);
    // A Japanese character comes from another font than a Latin letter.
    EXPECT_NE(resolved.files[0], resolved.files[6]);
}

}  // namespace
}  // namespace drawing

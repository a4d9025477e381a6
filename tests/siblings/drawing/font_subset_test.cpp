// The TrueType subsets the PDF writer embeds, loaded by FreeType as a PDF
// reader would: the glyphs kept draw as in the font they come from, parts
// of composites included, under their own indices; nothing else is drawn;
// and tables that do not hold together are refused, not read past.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <gtest/gtest.h>
#include <hb.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "drawing/render/font_subset.h"
#include "drawing/render/label_fonts.h"

namespace drawing {
namespace {

// Every table of a font face, copied, so that tests may damage them.
std::map<std::uint32_t, std::string> tablesOf(const LabelFontFile& file) {
    std::map<std::uint32_t, std::string> out;
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.path.c_str());
    if (blob == nullptr) {
        return out;
    }
    hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(file.faceIndex));
    hb_tag_t tags[64];
    unsigned count = 64;
    hb_face_get_table_tags(face, 0, &count, tags);
    for (unsigned i = 0; i < count; ++i) {
        hb_blob_t* table = hb_face_reference_table(face, tags[i]);
        unsigned length = 0;
        const char* data = hb_blob_get_data(table, &length);
        out[tags[i]] = std::string(data != nullptr ? data : "", length);
        hb_blob_destroy(table);
    }
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return out;
}

bool subset(const std::map<std::uint32_t, std::string>& tables, const std::vector<unsigned>& glyphs,
            std::string& out) {
    return subsetTrueType(
        [&](std::uint32_t tag) {
            const auto it = tables.find(tag);
            return it != tables.end() ? std::string_view(it->second) : std::string_view();
        },
        glyphs, out);
}

struct Library {
    FT_Library ft = nullptr;
    Library() { FT_Init_FreeType(&ft); }
    ~Library() { FT_Done_FreeType(ft); }
};

struct Face {
    FT_Face face = nullptr;
    Face(FT_Library ft, const std::string& data) {
        FT_New_Memory_Face(ft, reinterpret_cast<const FT_Byte*>(data.data()),
                           static_cast<FT_Long>(data.size()), 0, &face);
    }
    Face(FT_Library ft, const LabelFontFile& file) {
        FT_New_Face(ft, file.path.c_str(), file.faceIndex, &face);
    }
    ~Face() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
    }
};

// A glyph's outline in font units: its points, their kinds, its contours.
struct Outline {
    bool loaded = false;
    std::vector<long> xy;
    std::vector<char> tags;
    std::vector<short> contours;
    friend bool operator==(const Outline&, const Outline&) = default;
};

Outline outlineOf(FT_Face face, unsigned glyph) {
    Outline o;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        return o;
    }
    o.loaded = true;
    const FT_Outline& out = face->glyph->outline;
    for (int i = 0; i < out.n_points; ++i) {
        o.xy.push_back(out.points[i].x);
        o.xy.push_back(out.points[i].y);
        o.tags.push_back(static_cast<char>(out.tags[i] & 3));
    }
    o.contours.assign(out.contours, out.contours + out.n_contours);
    return o;
}

// A glyph built of others, and those others.
bool isComposite(FT_Face face, unsigned glyph, std::vector<unsigned>& parts) {
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_RECURSE) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_COMPOSITE) {
        return false;
    }
    for (FT_UInt i = 0; i < face->glyph->num_subglyphs; ++i) {
        FT_Int index = 0, x = 0, y = 0;
        FT_UInt flags = 0;
        FT_Matrix m;
        FT_Get_SubGlyph_Info(face->glyph, i, &index, &flags, &x, &y, &m);
        parts.push_back(static_cast<unsigned>(index));
    }
    return true;
}

TEST(FontSubset, KeptGlyphsDrawAsInTheirFontAndNoOtherIsDrawn) {
    Library lib;
    // The label font with accented capitals (often built of parts), and
    // the Japanese font labels fall back to.
    const std::vector<std::vector<unsigned>> scripts = {
        {'A', 'g', '8', 0xC5, 0xC9, 0xD1, 0xDC, 0x1EA0, 0x1EC6},
        {0x914D, 0x7BA1, 0x56F3, 0x3042, 0x30A2, 'A'}};
    int composites = 0;
    for (const auto& chars : scripts) {
        const LabelGlyph first = labelGlyph(chars[0]);
        const LabelFontFile file = labelFontFile(first.font);
        ASSERT_FALSE(file.path.empty()) << std::hex << chars[0];
        std::vector<unsigned> asked;
        for (const unsigned c : chars) {
            const LabelGlyph g = labelGlyph(c);
            if (g.font == first.font && g.index != 0) {
                asked.push_back(static_cast<unsigned>(g.index));
            }
        }
        ASSERT_GE(asked.size(), 4u) << file.path;
        std::string font;
        ASSERT_TRUE(subset(tablesOf(file), asked, font)) << file.path;

        Face original(lib.ft, file);
        Face cut(lib.ft, font);
        ASSERT_NE(original.face, nullptr);
        ASSERT_NE(cut.face, nullptr) << file.path << ": the subset does not load";
        ASSERT_EQ(cut.face->num_glyphs, original.face->num_glyphs);

        std::vector<unsigned> drawn = asked;
        drawn.push_back(0);
        for (const unsigned g : asked) {
            std::vector<unsigned> parts;
            if (isComposite(original.face, g, parts)) {
                ++composites;
                drawn.insert(drawn.end(), parts.begin(), parts.end());
            }
        }
        for (const unsigned g : drawn) {
            const Outline want = outlineOf(original.face, g);
            ASSERT_TRUE(want.loaded) << file.path << " glyph " << g;
            EXPECT_EQ(outlineOf(cut.face, g), want) << file.path << " glyph " << g;
            // Hinted, as a viewer draws it: the instructions are gone, and
            // nothing calls for what is no longer there.
            FT_Set_Pixel_Sizes(cut.face, 0, 17);
            EXPECT_EQ(FT_Load_Glyph(cut.face, g, FT_LOAD_DEFAULT), 0) << g;
        }
        // Every other glyph is there, empty, with the same advance.
        FT_Load_Glyph(cut.face, 0, FT_LOAD_NO_SCALE);
        const FT_Pos advance = cut.face->glyph->advance.x;
        EXPECT_GT(advance, 0);
        for (unsigned g = 0; g < static_cast<unsigned>(cut.face->num_glyphs); g += 7) {
            ASSERT_EQ(FT_Load_Glyph(cut.face, g, FT_LOAD_NO_SCALE), 0) << g;
            EXPECT_EQ(cut.face->glyph->advance.x, advance) << g;
            if (std::find(drawn.begin(), drawn.end(), g) == drawn.end()) {
                EXPECT_EQ(cut.face->glyph->outline.n_points, 0) << g;
            }
        }
        EXPECT_LT(font.size(), tablesOf(file)[fontTag('g', 'l', 'y', 'f')].size() / 4);
    }
    // Else the parts of composites were never put to the test.
    EXPECT_GT(composites, 0);
}

TEST(FontSubset, TablesThatDoNotHoldTogetherAreRefused) {
    const LabelFontFile file = labelFontFile(labelGlyph('A').font);
    const auto tables = tablesOf(file);
    const std::vector<unsigned> asked = {static_cast<unsigned>(labelGlyph('A').index),
                                         static_cast<unsigned>(labelGlyph(0xC5).index)};
    std::string out = "untouched";
    const auto refused = [&](std::map<std::uint32_t, std::string> damaged) {
        out = "untouched";
        return !subset(damaged, asked, out) && out == "untouched";
    };
    auto t = tables;
    t.erase(fontTag('g', 'l', 'y', 'f'));
    EXPECT_TRUE(refused(t)) << "no outlines";
    t = tables;
    t[fontTag('l', 'o', 'c', 'a')].resize(t[fontTag('l', 'o', 'c', 'a')].size() / 2);
    EXPECT_TRUE(refused(t)) << "glyph offsets cut short";
    t = tables;
    t[fontTag('g', 'l', 'y', 'f')].resize(16);
    EXPECT_TRUE(refused(t)) << "glyphs beyond the outlines";
    t = tables;
    t[fontTag('h', 'm', 't', 'x')].resize(8);
    EXPECT_TRUE(refused(t)) << "metrics cut short";
    t = tables;
    t[fontTag('h', 'e', 'a', 'd')].resize(20);
    EXPECT_TRUE(refused(t)) << "header cut short";

    // Bytes changed anywhere in the tables: refused, or a font FreeType
    // opens; never a read past a table (the sanitizers watch).
    Library lib;
    std::mt19937 random(18);
    const std::vector<std::uint32_t> names = {
        fontTag('h', 'e', 'a', 'd'), fontTag('h', 'h', 'e', 'a'), fontTag('m', 'a', 'x', 'p'),
        fontTag('l', 'o', 'c', 'a'), fontTag('h', 'm', 't', 'x'), fontTag('n', 'a', 'm', 'e')};
    int made = 0;
    for (int round = 0; round < 300; ++round) {
        t = tables;
        std::string& table = t[names[round % names.size()]];
        if (table.empty()) {
            continue;
        }
        const bool glyf = round % 3 == 0;
        std::string& target = glyf ? t[fontTag('g', 'l', 'y', 'f')] : table;
        const std::size_t at =
            glyf ? random() % std::min<std::size_t>(target.size(), 4096) : random() % target.size();
        target[at] = static_cast<char>(random());
        std::string font;
        if (subset(t, asked, font)) {
            ++made;
            Face cut(lib.ft, font);
            if (cut.face != nullptr) {
                FT_Load_Glyph(cut.face, asked[0], FT_LOAD_NO_SCALE);
            }
        }
    }
    EXPECT_GT(made, 0);
}

}  // namespace
}  // namespace drawing

// Cutting a TrueType font down to the glyphs a PDF's text layer shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace drawing {

// A table of one font face by its tag, empty when the face has none. What
// it returns must stay valid until the subset is made.
using FontTables = std::function<std::string_view(std::uint32_t tag)>;

constexpr std::uint32_t fontTag(char a, char b, char c, char d) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

// A font of TrueType outlines (a glyf table) holding only the glyphs asked
// for, the missing glyph, and the glyphs composites are built of; every
// glyph keeps its index, so that character codes that are glyph indices
// stay valid. All glyphs share the missing glyph's advance. Hinting, the
// layout tables and the glyph names go, and the character map is an empty
// one, as a reader of the PDF finds glyphs by their index.
// False, with `out` untouched, when the face has no TrueType outlines or
// its tables do not hold together.
bool subsetTrueType(const FontTables& tables, const std::vector<unsigned>& glyphs,
                    std::string& out);

}  // namespace drawing

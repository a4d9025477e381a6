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

// Big-endian numbers of a font's data; 0 beyond its end.
unsigned fontU16(std::string_view s, std::size_t at);
std::uint32_t fontU32(std::string_view s, std::size_t at);

// A font file mapped into memory, each table of one of its faces found by
// its tag. A face of TrueType outlines (the label fonts mostly are) is
// subset and measured from these alone, so that a join need not load
// harfbuzz, with the libraries it pulls in 2-5 ms.
class FontFile {
  public:
    // A face of another index than 0 of a file that is no collection (a
    // named instance) has no tables here.
    FontFile(const std::string& path, unsigned face);
    ~FontFile();
    FontFile(const FontFile&) = delete;
    FontFile& operator=(const FontFile&) = delete;

    // The table, cut short where the file ends; empty when the face has
    // none.
    std::string_view table(std::uint32_t tag) const;

  private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    std::string_view data_;
    std::size_t directory_ = kNone;
};

// The face's PostScript name (name 6), as harfbuzz gives it: the
// characters of its record in English (Macintosh or Windows), or of the
// first that is readable; empty when it has none.
std::string fontPostScriptName(const FontTables& tables);

// The face's measures per 1000 em, as harfbuzz reckons them: ascent and
// descent the typographic ones of OS/2 where the font asks for them, else
// those of hhea; the capitals' height from OS/2 of version 2 on. What the
// face lacks is left as it was.
void fontMeasures(const FontTables& tables, double& ascent, double& descent, double& capHeight);

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

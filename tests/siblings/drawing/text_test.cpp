// Labels in any script, from the file to the result: the page files
// between the programs keep their characters and their direction, every
// character is drawn with a font that has it, PDF output embeds those fonts
// and gives the characters back, and PDFs of other programs read right.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "drawing/pdf/pdf_reader.h"
#include "drawing/render/pdf_writer.h"
#include "drawing/render/render.h"
#include "drawing/render/tiff_io.h"
#include "drawing/utf8.h"

#include "hpgl_test_util.h"
#include "read_all.h"

namespace drawing {
namespace {

using test::readString;
using test::TempRoot;

constexpr double kMm = kUnitsPerMm;
// 配管図 (piping drawing), 改訂 (revision), 縦書き (vertical writing)
const std::string kPiping = "\xE9\x85\x8D\xE7\xAE\xA1\xE5\x9B\xB3";
const std::string kRevised = "\xE6\x94\xB9\xE8\xA8\x82";
const std::string kVertical = "\xE7\xB8\xA6\xE6\x9B\xB8\xE3\x81\x8D";

Text label(const std::string& s, Point at, double w = 3 * kMm, double h = 4 * kMm) {
    Text t;
    t.origin = at;
    t.text = s;
    t.charWidth = w;
    t.charHeight = h;
    return t;
}

std::string hpglOf(const Page& page) {
    std::ostringstream out;
    HpglWriter writer(out);
    writer.writePage(page);
    writer.finish();
    return out.str();
}

std::string run(const std::string& cmd) {
    std::unique_ptr<FILE, decltype(&pclose)> p(popen(cmd.c_str(), "r"), pclose);
    std::string out;
    char buf[4096];
    std::size_t n = 0;
    while (p && (n = std::fread(buf, 1, sizeof buf, p.get())) > 0) {
        out.append(buf, n);
    }
    return out;
}

void writePdf(const std::string& path, const Page& page) {
    std::ofstream out(path, std::ios::binary);
    PdfWriter writer(out);
    std::string error;
    ASSERT_TRUE(writer.addPage(page, error)) << error;
    ASSERT_TRUE(writer.close(error)) << error;
}

std::vector<Page> readPdf(const std::string& path) {
    test::Read r = test::readAll(
        [&](auto&& sink, ReadError& error) { return readPdfFile(path, sink, error); });
    EXPECT_TRUE(r.ok) << r.error.message;
    return std::move(r.pages);
}

// The ink of a rendered page: how many dark pixels, and their box.
struct Ink {
    int pixels = 0;
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
    std::vector<std::uint8_t> px;
};

// The page as TIFF output draws it, read back.
Ink inkOf(const Page& page, const TempRoot& root, double dpi = 200) {
    const std::string path = (root.path() / "ink.tif").string();
    std::string error;
    {
        TiffWriter writer;
        TiffOptions opts;
        opts.dpi = dpi;
        EXPECT_TRUE(writer.open(path, error) && writer.addPage(page, opts, error) &&
                    writer.close(error))
            << error;
    }
    std::vector<TiffPage> pages;
    EXPECT_TRUE(readTiff(path, pages, error)) << error;
    Ink ink;
    if (pages.size() != 1) {
        ADD_FAILURE() << "pages: " << pages.size();
        return ink;
    }
    const Image& img = pages[0].image;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const std::uint8_t v = img.row(y)[x * img.channels];
            ink.px.push_back(v);
            if (v < 128) {
                ++ink.pixels;
                ink.minX = std::min(ink.minX, x);
                ink.maxX = std::max(ink.maxX, x);
                ink.minY = std::min(ink.minY, y);
                ink.maxY = std::max(ink.maxY, y);
            }
        }
    }
    return ink;
}

Page sheet() {
    Page page;
    page.width = 120 * kMm;
    page.height = 60 * kMm;
    return page;
}

TEST(Utf8, MalformedBytesAreTheirOwnCharactersAndCutsKeepSequencesWhole) {
    EXPECT_TRUE(isValidUtf8(kPiping + "A"));
    EXPECT_FALSE(isValidUtf8("\xE9\x85"));          // cut short
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_EQ(utf8Length(kPiping + "A"), 4u);
    EXPECT_EQ(validUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8OrLatin1("R\xE9sum\xE9"), "R\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(utf8OrLatin1("R\xC3\xA9sum\xC3\xA9"), "R\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(utf8Prefix(kPiping, 2), kPiping.substr(0, 6));
    EXPECT_EQ(utf8Prefix("ab", 5), "ab");
    EXPECT_EQ(utf8Head(kPiping, 5), kPiping.substr(0, 3));  // not into the second
    EXPECT_EQ(utf8Head(kPiping, 6), kPiping.substr(0, 6));
    EXPECT_EQ(utf8Head("ab", 5), "ab");
}

// The one-page HP-GL files between the programs carry any script and the
// direction of vertical labels, and say where the pen stands after them.
TEST(HpglText, JapaneseAndVerticalLabelsComeBackAsWritten) {
    Page page = sheet();
    page.texts.push_back(label(kPiping + " Plant " + kRevised + "A", {10 * kMm, 40 * kMm}));
    Text column = label(kVertical, {100 * kMm, 50 * kMm});
    column.vertical = true;
    page.texts.push_back(column);
    page.texts.push_back(label("plain", {10 * kMm, 10 * kMm}));
    // Every control character below the blank but the line breaks, and
    // the usual terminators among them: the writer finds another one.
    std::string controls;
    for (char c = 1; c < 0x20; ++c) {
        if (c != '\r' && c != '\n' && c != 0x1B) {
            controls += c;
        }
    }
    page.texts.push_back(label(controls + kRevised, {10 * kMm, 20 * kMm}));

    const auto back = readString(hpglOf(page));
    ASSERT_TRUE(back.ok) << back.error.message;
    ASSERT_EQ(back.pages.size(), 1u);
    ASSERT_EQ(back.pages[0].texts.size(), page.texts.size());
    for (std::size_t i = 0; i < page.texts.size(); ++i) {
        const Text& want = page.texts[i];
        const Text& got = back.pages[0].texts[i];
        EXPECT_EQ(got.text, want.text) << i;
        EXPECT_EQ(got.vertical, want.vertical) << i;
        EXPECT_NEAR(got.origin.x, want.origin.x, 0.5) << i;
        EXPECT_NEAR(got.origin.y, want.origin.y, 0.5) << i;
    }

    // A label that is not UTF-8 (8-bit text) goes out as what it shows,
    // its bytes read as Latin-1.
    Page old = sheet();
    old.texts.push_back(label(kRevised + "\xFF", {10 * kMm, 10 * kMm}));
    const auto latin = readString(hpglOf(old));
    ASSERT_TRUE(latin.ok);
    ASSERT_EQ(latin.pages[0].texts.size(), 1u);
    EXPECT_EQ(latin.pages[0].texts[0].text, utf8OrLatin1(kRevised + "\xFF"));
    EXPECT_TRUE(isValidUtf8(latin.pages[0].texts[0].text));
}

TEST(HpglText, EightBitLabelsReadAsLatin1AndThePenStepsByCharacters) {
    const auto old = readString("IN;SP1;PA0,0;DT\x03;LBR\xE9sum\xE9\x03;");
    ASSERT_TRUE(old.ok);
    ASSERT_EQ(old.pages.size(), 1u);
    ASSERT_EQ(old.pages[0].texts.size(), 1u);
    EXPECT_EQ(old.pages[0].texts[0].text, "R\xC3\xA9sum\xC3\xA9");

    // Two labels in a row: the second starts where three characters of the
    // first end, though they took nine bytes. In a column the pen steps
    // down instead.
    for (const bool vertical : {false, true}) {
        const auto r = readString(std::string("IN;SP1;SI0.3,0.4;PA1000,4000;") +
                                  (vertical ? "DV1;" : "") + "LB" + kPiping + "\x03LBX\x03;");
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.pages[0].texts.size(), 2u);
        const Text& first = r.pages[0].texts[0];
        const Text& second = r.pages[0].texts[1];
        EXPECT_EQ(first.vertical, vertical);
        const double step = 3 * 1.5 * first.charWidth;
        EXPECT_NEAR(second.origin.x - first.origin.x, vertical ? 0 : step, 0.5) << vertical;
        EXPECT_NEAR(second.origin.y - first.origin.y, vertical ? -step : 0, 0.5) << vertical;
    }
}

// A character the label font lacks is drawn (here in TIFF output) from a
// font that has it, not as the missing-glyph box: two different characters draw differently, and
// unlike a character that no font has.
TEST(LabelGlyphs, JapaneseCharactersAreDrawnWithTheirOwnGlyphs) {
    TempRoot root;
    auto one = [&](const std::string& s) {
        Page page = sheet();
        page.texts.push_back(label(s, {20 * kMm, 20 * kMm}, 6 * kMm, 8 * kMm));
        return inkOf(page, root);
    };
    const Ink a = one("\xE9\x85\x8D");         // 配
    const Ink b = one("\xE5\x9B\xB3");         // 図
    const Ink none = one("\xF4\x8F\xBF\xBD");  // U+10FFFD, a private character
    EXPECT_GT(a.pixels, 200);
    EXPECT_GT(b.pixels, 200);
    EXPECT_NE(a.px, b.px);
    EXPECT_NE(a.px, none.px);
    EXPECT_NE(b.px, none.px);
}

TEST(LabelGlyphs, AVerticalLabelStandsInAColumnOfUprightCharacters) {
    TempRoot root;
    Page across = sheet();
    across.texts.push_back(label(kVertical, {20 * kMm, 40 * kMm}));
    Page down = across;
    down.texts[0].vertical = true;
    const Ink wide = inkOf(across, root);
    const Ink tall = inkOf(down, root);
    ASSERT_GT(wide.pixels, 100);
    ASSERT_GT(tall.pixels, 100);
    EXPECT_GT(wide.maxX - wide.minX, 2 * (wide.maxY - wide.minY));
    EXPECT_GT(tall.maxY - tall.minY, 2 * (tall.maxX - tall.minX));
    // The first character stands where the label starts, the rest below.
    EXPECT_NEAR(tall.minX, wide.minX, 200 / 25.4 * 3);
    EXPECT_LT(tall.minY, wide.maxY);
    // The same characters, upright, only made to fit their cells.
    EXPECT_GT(tall.pixels, wide.pixels / 2);

    // The long vowel mark runs along the text: across a line, down a column.
    Page mark = sheet();
    mark.texts.push_back(label("\xE3\x83\xBC", {20 * kMm, 40 * kMm}, 8 * kMm, 8 * kMm));
    const Ink lying = inkOf(mark, root);
    mark.texts[0].vertical = true;
    const Ink standing = inkOf(mark, root);
    ASSERT_GT(lying.pixels, 20);
    ASSERT_GT(standing.pixels, 20);
    EXPECT_GT(lying.maxX - lying.minX, 3 * (lying.maxY - lying.minY));
    EXPECT_GT(standing.maxY - standing.minY, 3 * (standing.maxX - standing.minX));
}

// What the result PDF holds: the glyphs drawn, the fonts they come from
// embedded as subsets, and the characters to be found and copied.
TEST(PdfText, JapaneseLabelsAreEmbeddedSubsetsAndExtractAsWritten) {
    TempRoot root;
    Page page = sheet();
    page.texts.push_back(label(kPiping + " Plant " + kRevised + "A", {10 * kMm, 40 * kMm}));
    page.texts.push_back(label("R\xC3\xA9sum\xC3\xA9", {10 * kMm, 20 * kMm}));
    const std::string pdf = (root.path() / "japanese.pdf").string();
    writePdf(pdf, page);

    const std::string fonts = run("pdffonts '" + pdf + "' 2>&1");
    std::istringstream lines(fonts);
    std::string line;
    int embedded = 0;
    while (std::getline(lines, line)) {
        if (line.find('+') == 6 && line.find("Identity-H") != std::string::npos) {
            // emb, sub and uni all "yes"
            EXPECT_NE(line.find("yes yes yes"), std::string::npos) << line;
            ++embedded;
        }
    }
    EXPECT_EQ(embedded, 2) << "the label font and a Japanese one:\n" << fonts;

    const std::string text = run("pdftotext '" + pdf + "' - 2>/dev/null");
    EXPECT_NE(text.find(kPiping + " Plant " + kRevised + "A"), std::string::npos) << text;
    EXPECT_NE(text.find("R\xC3\xA9sum\xC3\xA9"), std::string::npos) << text;

    // Read back by our own reader, the labels are labels again.
    const auto pages = readPdf(pdf);
    ASSERT_EQ(pages.size(), 1u);
    std::vector<std::string> got;
    std::string all;
    for (const auto& t : pages[0].texts) {
        got.push_back(t.text);
        all += t.text + "|";
    }
    EXPECT_NE(std::find(got.begin(), got.end(), kPiping + " Plant " + kRevised + "A"), got.end())
        << all;
    EXPECT_TRUE(pages[0].paths.empty())
        << pages[0].paths.size() << " glyph shapes left beside their labels";
}

// Japanese text of another program's PDF, in a CID-keyed font with a
// ToUnicode map, reads as its characters.
TEST(PdfText, CidFontsOfAnotherProgramReadAsTheirCharacters) {
    TempRoot root;
    const auto pages = readPdf(std::string(MERVIK_JAPANESE_DIR) + "/cid-fonts.pdf");
    ASSERT_EQ(pages.size(), 1u);
    std::string all;
    for (const auto& t : pages[0].texts) {
        EXPECT_TRUE(isValidUtf8(t.text)) << t.text;
        all += t.text + "|";
    }
    EXPECT_NE(all.find(kPiping + "|"), std::string::npos) << all;
    EXPECT_NE(all.find(kRevised), std::string::npos) << all;
    // 東京都千代田区
    EXPECT_NE(all.find("\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE5\x8D\x83\xE4\xBB\xA3\xE7\x94\xB0"
                       "\xE5\x8C\xBA"),
              std::string::npos)
        << all;
    // The rectangle stays a path; no character became a shape.
    EXPECT_EQ(pages[0].paths.size(), 1u);
}

}  // namespace
}  // namespace drawing

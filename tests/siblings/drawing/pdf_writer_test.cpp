// The PDF writer, checked through poppler's tools as a reader would see the
// file: what is drawn (rendered), what can be found as text, what lies on
// the marks layer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "drawing/pdf/pdf_reader.h"
#include "drawing/render/pdf_writer.h"
#include "drawing/render/render.h"

#include "read_all.h"

namespace drawing {
namespace {

namespace fs = std::filesystem;
constexpr double kMm = kUnitsPerMm;

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/pdf-writer-test-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writePdf(const std::string& path, const std::vector<Page>& pages) {
    std::ofstream out(path, std::ios::binary);
    PdfWriter writer(out);
    std::string error;
    for (const auto& page : pages) {
        ASSERT_TRUE(writer.addPage(page, error)) << error;
    }
    ASSERT_TRUE(writer.close(error)) << error;
}

// The pages of a PDF as our own reader reads them; a failure to read fails
// the test (and gives no pages).
std::vector<Page> readBack(const std::string& pdf) {
    test::Read r =
        test::readAll([&](auto&& sink, ReadError& error) { return readPdfFile(pdf, sink, error); });
    EXPECT_TRUE(r.ok) << r.error.message;
    return std::move(r.pages);
}

// A grey-level picture of the first page, rows from the top.
struct Gray {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> px;
    int at(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
};

Gray renderGray(const std::string& pdf, int dpi) {
    const std::string pgm =
        run("pdftoppm -gray -r " + std::to_string(dpi) + " -f 1 -l 1 '" + pdf + "' 2>/dev/null");
    Gray g;
    std::istringstream in(pgm);
    std::string magic;
    int max = 0;
    in >> magic >> g.width >> g.height >> max;
    in.get();
    g.px.resize(static_cast<std::size_t>(g.width) * g.height);
    in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size()));
    if (magic != "P5" || !in) {
        g = Gray();
    }
    return g;
}

Text label(const std::string& s, Point at) {
    Text t;
    t.origin = at;
    t.text = s;
    t.charWidth = 2 * kMm;
    t.charHeight = 3 * kMm;
    return t;
}

TEST(PdfWriter, StrokesOnThePageEdgesAreKept) {
    TempDir dir;
    // A sheet whose size is no whole number of points, framed by a square
    // drawn exactly on its edges.
    Page page;
    page.width = 100.3 * kMm;
    page.height = 70.7 * kMm;
    Path square;
    square.closed = true;
    square.stroke.widthMm = 1;
    square.points = {{0, 0}, {page.width, 0}, {page.width, page.height}, {0, page.height}};
    page.paths.push_back(square);
    const std::string pdf = (dir.path / "edges.pdf").string();
    writePdf(pdf, {page});
    const Gray g = renderGray(pdf, 72);
    ASSERT_GT(g.width, 100);
    ASSERT_GT(g.height, 100);
    // Half of each line lies on the page: the outermost pixels are ink on
    // all four sides, the middle of the page is not.
    const int mx = g.width / 2, my = g.height / 2;
    EXPECT_LT(g.at(0, my), 128) << "left";
    EXPECT_LT(g.at(g.width - 1, my), 128) << "right";
    EXPECT_LT(g.at(mx, 0), 128) << "top";
    EXPECT_LT(g.at(mx, g.height - 1), 128) << "bottom";
    EXPECT_GT(g.at(mx, my), 200);
}

// A letter's hairline edge read without points of its own (HpglReadOptions::
// foldFillEdges) is drawn on its fill's: the file is the same to the byte.
// An empty outline after anything else draws nothing.
TEST(PdfWriter, AnEdgeWithoutPointsOfItsOwnIsDrawnOnItsFill) {
    TempDir dir;
    Page page;
    page.width = 50 * kMm;
    page.height = 30 * kMm;
    Path fill;
    fill.filled = true;
    fill.closed = true;
    fill.stroke.widthMm = 0;
    fill.stroke.color = 0x0000FF;
    fill.points = {{100, 100}, {500, 100}, {500, 700}, {100, 700},
                   {200, 200}, {400, 200}, {300, 500}};
    fill.subpathStarts = {4};
    Path edge = fill;
    edge.filled = false;
    Path other = fill;
    for (Point& p : other.points) {
        p.x += 800;
    }
    Path otherEdge = other;
    otherEdge.filled = false;
    page.paths = {fill, edge, other, otherEdge};
    Page folded = page;
    for (const std::size_t i : {1, 3}) {
        folded.paths[i].points.clear();
        folded.paths[i].subpathStarts.clear();
    }
    const auto bytes = [&](const Page& p) {
        const std::string pdf = (dir.path / "page.pdf").string();
        writePdf(pdf, {p});
        return readFile(pdf);
    };
    EXPECT_EQ(bytes(folded), bytes(page));
    Page lone = page;
    lone.paths = {edge, folded.paths[1]};
    lone.paths[0].points.resize(4);
    lone.paths[0].subpathStarts.clear();
    const std::string withEmpty = bytes(lone);
    lone.paths.pop_back();
    EXPECT_EQ(withEmpty, bytes(lone));
}

// Widths and dash patterns read back as they were written, the thinnest
// lines raised to a hairline of 0.1 mm, and so do the places of the lines.
TEST(PdfWriter, WidthsAndDashesReadBackInMillimetres) {
    TempDir dir;
    Page page;
    page.width = 120 * kMm;
    page.height = 80 * kMm;
    struct Case {
        double widthMm;
        std::vector<double> dashMm;
        double readWidthMm;
    };
    const std::vector<Case> cases = {
        {0.02, {}, 0.1}, {0.5, {}, 0.5}, {2, {}, 2}, {0.35, {3, 1.5}, 0.35}, {1, {6, 1, 1, 1}, 1}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Path line;
        line.stroke.widthMm = cases[i].widthMm;
        line.stroke.dashMm = cases[i].dashMm;
        line.stroke.color = static_cast<Rgb>(0x100000 * (i + 1));
        const double y = (10 + 12 * static_cast<double>(i)) * kMm;
        line.points = {{10 * kMm, y}, {110 * kMm, y}};
        page.paths.push_back(line);
    }
    const std::string pdf = (dir.path / "widths.pdf").string();
    writePdf(pdf, {page});
    const std::vector<Page> back = readBack(pdf);
    ASSERT_EQ(back.size(), 1u);
    ASSERT_EQ(back[0].paths.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Path& got = back[0].paths[i];
        EXPECT_NEAR(got.stroke.widthMm, cases[i].readWidthMm, 0.005) << "line " << i;
        ASSERT_EQ(got.stroke.dashMm.size(), cases[i].dashMm.size()) << "line " << i;
        for (std::size_t k = 0; k < cases[i].dashMm.size(); ++k) {
            EXPECT_NEAR(got.stroke.dashMm[k], cases[i].dashMm[k], 0.005) << "line " << i;
        }
        ASSERT_EQ(got.points.size(), 2u) << "line " << i;
        EXPECT_NEAR(got.points[0].x, page.paths[i].points[0].x, 0.05) << "line " << i;
        EXPECT_NEAR(got.points[1].y, page.paths[i].points[1].y, 0.05) << "line " << i;
    }
}

TEST(PdfWriter, LabelsAreDrawnAndCanBeFoundAsText) {
    TempDir dir;
    Page page;
    page.width = 200 * kMm;
    page.height = 50 * kMm;
    page.texts.push_back(label("Plant layout rev B", {10 * kMm, 30 * kMm}));
    page.texts.push_back(label("Plan \xE9 (1)", {10 * kMm, 10 * kMm}));  // a Latin-1 byte
    Text turned = label("R12", {150 * kMm, 10 * kMm});
    turned.angleDeg = 90;
    page.texts.push_back(turned);
    const std::string pdf = (dir.path / "text.pdf").string();
    writePdf(pdf, {page});
    const std::string text = run("pdftotext '" + pdf + "' - 2>/dev/null");
    EXPECT_NE(text.find("Plant layout rev B"), std::string::npos) << text;
    EXPECT_NE(text.find("Plan \xC3\xA9 (1)"), std::string::npos) << text;
    EXPECT_NE(text.find("R12"), std::string::npos) << text;
    // The glyphs themselves are drawn, not only the invisible text.
    const Gray g = renderGray(pdf, 72);
    int dark = 0;
    for (const auto v : g.px) {
        dark += v < 128 ? 1 : 0;
    }
    EXPECT_GT(dark, 100);
}

// Our labels are glyph shapes with their characters invisibly over them;
// read back, they are labels again, so that a PDF made from a plot
// compares text as text. Shapes under no text, and shapes too large for
// the text over them, stay shapes.
// Long labels, level and turned: every glyph of the PDF stands where our
// own renderer draws it, to the last one of each label.
TEST(PdfWriter, GlyphsOfLongLabelsStandWhereTheRendererDrawsThem) {
    TempDir dir;
    Page page;
    page.width = 300 * kMm;
    page.height = 200 * kMm;
    const std::string line = "HIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHIHI";
    page.texts.push_back(label(line, {5 * kMm, 180 * kMm}));
    Text turned = label(line.substr(0, 40), {20 * kMm, 20 * kMm});
    turned.angleDeg = 30;
    page.texts.push_back(turned);
    Text up = label(line.substr(0, 30), {280 * kMm, 10 * kMm});
    up.angleDeg = 90;
    up.charWidth = 3 * kMm;
    up.charHeight = 4.5 * kMm;
    page.texts.push_back(up);
    const std::string pdf = (dir.path / "long.pdf").string();
    writePdf(pdf, {page});
    constexpr int kDpi = 100;
    const Gray g = renderGray(pdf, kDpi);
    RasterOptions opts;
    opts.dpi = kDpi;
    opts.channels = 1;
    Image ours;
    std::string error;
    ASSERT_TRUE(renderPage(page, opts, ours, error)) << error;
    ASSERT_EQ(g.width, ours.width);
    ASSERT_EQ(g.height, ours.height);
    int ink = 0, apart = 0;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const int a = g.at(x, y), b = ours.row(y)[x];
            ink += a < 128 ? 1 : 0;
            // Ink in one picture where the other has paper.
            apart += (a < 96 && b > 224) || (b < 96 && a > 224) ? 1 : 0;
        }
    }
    EXPECT_GT(ink, 3000);
    EXPECT_LT(apart, ink / 50) << apart << " of " << ink;
}

TEST(PdfWriter, LabelsReadBackAsLabelsInPlaceOfTheirGlyphs) {
    TempDir dir;
    Page page;
    page.width = 200 * kMm;
    page.height = 100 * kMm;
    Text title = label("Plant layout rev B", {10 * kMm, 30 * kMm});
    title.stroke.color = 0x0000FF;
    page.texts.push_back(title);
    Text turned = label("R12", {150 * kMm, 10 * kMm});
    turned.angleDeg = 90;
    page.texts.push_back(turned);
    Path plate;  // a filled plate under a label: not a glyph
    plate.points = {
        {5 * kMm, 60 * kMm}, {120 * kMm, 60 * kMm}, {120 * kMm, 90 * kMm}, {5 * kMm, 90 * kMm}};
    plate.closed = plate.filled = true;
    plate.stroke.color = 0x00FF00;
    page.paths.push_back(plate);
    page.texts.push_back(label("On a plate", {10 * kMm, 70 * kMm}));
    Path dot;  // a filled dot of the drawing within the title's box: no glyph
    dot.points = {{30 * kMm, 31 * kMm}, {31 * kMm, 31 * kMm}, {31 * kMm, 32 * kMm}};
    dot.closed = dot.filled = true;
    dot.stroke.color = 0xFF0000;
    page.paths.push_back(dot);
    Path wire;
    wire.points = {{10 * kMm, 50 * kMm}, {190 * kMm, 50 * kMm}};
    page.paths.push_back(wire);
    const std::string pdf = (dir.path / "labels.pdf").string();
    writePdf(pdf, {page});

    const std::vector<Page> pages = readBack(pdf);
    ASSERT_EQ(pages.size(), 1u);
    const Page& back = pages[0];
    ASSERT_EQ(back.texts.size(), 3u);
    ASSERT_EQ(back.paths.size(), 3u) << "the plate, the dot and the wire";
    EXPECT_EQ(back.paths[0].stroke.color, 0x00FF00u);
    EXPECT_EQ(back.paths[1].stroke.color, 0xFF0000u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(page.texts[i].text);
        const Text& want = page.texts[i];
        const auto got = std::find_if(back.texts.begin(), back.texts.end(),
                                      [&](const Text& t) { return t.text == want.text; });
        ASSERT_NE(got, back.texts.end());
        EXPECT_NEAR(got->origin.x, want.origin.x, 1);
        EXPECT_NEAR(got->origin.y, want.origin.y, 1);
        EXPECT_NEAR(got->charWidth, want.charWidth, 0.5);
        EXPECT_NEAR(got->charHeight, want.charHeight, 0.5);
        EXPECT_NEAR(got->angleDeg, want.angleDeg, 1e-6);
        EXPECT_EQ(got->stroke.color, want.stroke.color);
    }
}

TEST(PdfWriter, MarksLieOnALayerOfTheirOwn) {
    TempDir dir;
    Page page;
    page.width = 100 * kMm;
    page.height = 100 * kMm;
    Path line;
    line.points = {{10 * kMm, 10 * kMm}, {90 * kMm, 10 * kMm}};
    page.paths.push_back(line);
    Path box = line;
    box.points = {{20 * kMm, 20 * kMm}, {80 * kMm, 20 * kMm}, {80 * kMm, 80 * kMm}};
    box.stroke.layer = Layer::marks;
    page.paths.push_back(box);
    Text note = label("1", {50 * kMm, 50 * kMm});
    note.stroke.layer = Layer::marks;
    page.texts.push_back(note);
    const std::string pdf = (dir.path / "marks.pdf").string();
    Page plain;
    plain.paths.push_back(line);
    writePdf(pdf, {page, plain});
    const std::string raw = run("cat '" + pdf + "'");
    EXPECT_NE(raw.find("/OCProperties"), std::string::npos);
    EXPECT_NE(raw.find("/Type /OCG"), std::string::npos);
    // Only the page that has marks refers to the layer.
    std::size_t refs = 0;
    for (auto at = raw.find("/Properties"); at != std::string::npos;
         at = raw.find("/Properties", at + 1)) {
        ++refs;
    }
    EXPECT_EQ(refs, 1u);
    EXPECT_NE(run("pdftotext '" + pdf + "' - 2>/dev/null").find('1'), std::string::npos);
}

TEST(PdfWriter, RasterImagesStandWhereTheyArePlacedTopRowFirst) {
    TempDir dir;
    Page page;
    page.width = 100 * kMm;
    page.height = 100 * kMm;
    // A 2 x 2 grey image, 1 inch a pixel, its upper left corner 10 mm from
    // the left and 10 mm below the top: black, white over white, black.
    Raster r;
    r.origin = {10 * kMm, 90 * kMm};
    r.dpi = 1;
    r.width = 2;
    r.height = 2;
    r.channels = 1;
    r.pixels = {0, 255, 255, 0};
    page.rasters.push_back(r);
    const std::string pdf = (dir.path / "raster.pdf").string();
    writePdf(pdf, {page});
    const Gray g = renderGray(pdf, 25);  // about one pixel a millimetre
    ASSERT_GT(g.width, 90);
    const auto at = [&](double xMm, double yFromTopMm) {
        return g.at(static_cast<int>(xMm * g.width / 100),
                    static_cast<int>(yFromTopMm * g.height / 100));
    };
    EXPECT_LT(at(20, 20), 64);   // top left pixel
    EXPECT_GT(at(50, 20), 192);  // top right
    EXPECT_GT(at(20, 50), 192);  // bottom left
    EXPECT_LT(at(50, 50), 64);   // bottom right
    EXPECT_GT(at(5, 5), 192);    // outside the image
}

TEST(PdfWriter, TheMarksLayerSurvivesHpgl) {
    Page page;
    Path line;
    line.points = {{0, 0}, {400, 0}};
    page.paths.push_back(line);
    Path mark = line;
    mark.points = {{0, 100}, {400, 100}};
    mark.stroke.pen = 4;
    mark.stroke.layer = Layer::marks;
    page.paths.push_back(mark);
    Text note = label("1", {0, 200});
    note.stroke.pen = 4;
    note.stroke.layer = Layer::marks;
    page.texts.push_back(note);
    std::ostringstream out;
    {
        HpglWriter writer(out);
        writer.writePage(page);
        writer.writePage(page);
        writer.finish();
    }
    std::istringstream in(out.str());
    std::vector<Page> pages;
    ReadError error;
    ASSERT_TRUE(readHpgl(
        in, [&](Page&& p) { return pages.push_back(std::move(p)), true; }, error))
        << error.message;
    ASSERT_EQ(pages.size(), 2u);
    for (const auto& p : pages) {
        ASSERT_EQ(p.paths.size(), 2u);
        EXPECT_EQ(p.paths[0].stroke.layer, Layer::drawing);
        EXPECT_EQ(p.paths[1].stroke.layer, Layer::marks);
        ASSERT_EQ(p.texts.size(), 1u);
        EXPECT_EQ(p.texts[0].stroke.layer, Layer::marks);
    }
}

// A page whose content runs to megabytes is compressed piece by piece, a
// piece while the next is written: every fill reads back, in order, where
// it was put, on each of two pages, and so does every label, whose glyphs
// become objects of their own while pieces are being compressed.
TEST(PdfWriter, LargePagesReadBackWhole) {
    TempDir dir;
    const std::string pdf = (dir.path / "large.pdf").string();
    constexpr int kFills = 40000;
    constexpr int kLabels = 600;
    const auto corner = [](int i, int page) {
        return Point{(i % 200) * 2 * kMm + page * kMm, (i / 200) * 1 * kMm};
    };
    std::vector<Page> pages(2);
    for (int n = 0; n < 2; ++n) {
        pages[n].width = 420 * kMm;
        pages[n].height = 297 * kMm;
        for (int i = 0; i < kFills; ++i) {
            const Point at = corner(i, n);
            Path fill;
            fill.filled = true;
            fill.points = {at, {at.x + kMm, at.y}, {at.x + kMm, at.y + 0.5 * kMm}};
            fill.stroke.color = static_cast<Rgb>(i % 2 == 0 ? 0x336699 : 0x993366);
            pages[n].paths.push_back(fill);
        }
        for (int i = 0; i < kLabels; ++i) {
            pages[n].texts.push_back(label("L" + std::to_string(i),
                                           {(10 + i % 20 * 20) * kMm, (205 + i / 20 * 3) * kMm}));
        }
        pages[n].texts.push_back(label("END", {10 * kMm, 295 * kMm}));
    }
    writePdf(pdf, pages);
    // Each page's operators are far more than one compressed piece: its
    // content is an array of streams, which must read back as one.
    std::ifstream in(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t arrays = 0;
    for (auto at = bytes.find("/Contents ["); at != std::string::npos;
         at = bytes.find("/Contents [", at + 1)) {
        ++arrays;
    }
    ASSERT_EQ(arrays, 2u);
    const std::vector<Page> back = readBack(pdf);
    ASSERT_EQ(back.size(), 2u);
    for (int n = 0; n < 2; ++n) {
        // The labels' glyphs read back as black fills of their own.
        std::vector<const Path*> fills;
        for (const auto& p : back[n].paths) {
            if (p.filled && p.stroke.color != 0) {
                fills.push_back(&p);
            }
        }
        ASSERT_EQ(fills.size(), static_cast<std::size_t>(kFills)) << "page " << n + 1;
        for (int i = 0; i < kFills; i += 997) {
            ASSERT_FALSE(fills[i]->points.empty());
            EXPECT_NEAR(fills[i]->points[0].x, corner(i, n).x, 0.5) << "fill " << i;
            EXPECT_NEAR(fills[i]->points[0].y, corner(i, n).y, 0.5) << "fill " << i;
            EXPECT_EQ(fills[i]->stroke.color, pages[n].paths[i].stroke.color) << "fill " << i;
        }
        ASSERT_EQ(back[n].texts.size(), kLabels + 1u);
        std::multiset<std::string> read;
        std::multiset<std::string> written;
        for (std::size_t i = 0; i < back[n].texts.size(); ++i) {
            read.insert(back[n].texts[i].text);
            written.insert(pages[n].texts[i].text);
        }
        EXPECT_EQ(read, written) << "page " << n + 1;
    }
}

}  // namespace
// Images of few colours are written as indexes (a result page's paper, ink
// and marks; a black and white scan): every pixel must read back as it
// was, whatever the count of colours, a row's length or where a colour
// first shows. A seventeenth colour, or a grey between black and white,
// keeps the image as it was.
TEST(PdfWriter, ImagesOfFewColoursReadBackPixelForPixel) {
    struct Case {
        const char* name;
        int channels;
        int width;
        std::vector<std::uint32_t> colours;
    };
    const std::vector<Case> cases = {
        {"rgb, two colours, paper first", 3, 13, {0xFFFFFF, 0x000000}},
        {"rgb, three colours", 3, 21, {0xFFFFFF, 0xE00000, 0x00A000}},
        {"rgb, five colours, ink first", 3, 16, {0x000000, 0xFFFFFF, 0x0000FF, 0xFF00FF, 0x808080}},
        {"rgb, sixteen colours", 3, 19, {}},
        {"rgb, seventeen colours", 3, 17, {}},
        {"grey, white first", 1, 11, {255, 0}},
        {"grey, black first", 1, 24, {0, 255}},
        {"grey, a grey between", 1, 9, {255, 0, 128}},
        // Rows long enough for runs of the first colour over many bytes,
        // each length leaving the last byte differently filled.
        {"rgb, four colours, long rows", 3, 83, {0xFFFFFF, 0x000000, 0xE00000, 0x00A000}},
        {"rgb, three colours, long rows", 3, 66, {0xFFFFFF, 0xE00000, 0x00A000}},
        {"grey, white first, long rows", 1, 77, {255, 0}},
        {"grey, black first, long rows", 1, 68, {0, 255}},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        if (c.colours.empty()) {
            const int count = c.width == 19 ? 16 : 17;
            for (int i = 0; i < count; ++i) {
                c.colours.push_back(static_cast<std::uint32_t>(i * 0x0F0F0F));
            }
        }
        Raster r;
        r.origin = {10 * kMm, 90 * kMm};
        r.dpi = 100;
        r.width = c.width;
        r.height = 7;
        r.channels = c.channels;
        // Runs of a colour longer than eight pixels, and single pixels;
        // on long rows, runs of the first colour to their end.
        for (int y = 0; y < r.height; ++y) {
            for (int x = 0; x < r.width; ++x) {
                const bool first =
                    (x < 10 && y < 3) || (x >= 20 && y % 2 == 0) || (x >= 40 && y % 3 == 0);
                // And a run of the second colour over sixteen pixels.
                const bool second = y == 5 && x >= 16 && x < 32;
                const std::size_t k =
                    first    ? 0
                    : second ? 1
                             : static_cast<std::size_t>(x * 7 + y * 3) % c.colours.size();
                for (int ch = c.channels - 1; ch >= 0; --ch) {
                    r.pixels.push_back(static_cast<std::uint8_t>(c.colours[k] >> (8 * ch)));
                }
            }
        }
        Page page;
        page.width = 100 * kMm;
        page.height = 100 * kMm;
        page.rasters.push_back(r);
        TempDir dir;
        const std::string pdf = (dir.path / "few.pdf").string();
        writePdf(pdf, {page});
        // As indexes of as few bits as the colours need (a grey between
        // black and white keeps the image as it was).
        {
            std::ifstream in(pdf, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            const std::size_t n = c.colours.size();
            const bool kept = n > 16 || (c.channels == 1 && n > 2);
            const int bits = kept ? 8 : n <= 2 ? 1 : n <= 4 ? 2 : 4;
            EXPECT_NE(bytes.find("/BitsPerComponent " + std::to_string(bits) + " "),
                      std::string::npos)
                << bits << " bits";
        }
        const std::vector<Page> back = readBack(pdf);
        ASSERT_EQ(back.size(), 1u);
        ASSERT_EQ(back[0].rasters.size(), 1u);
        const Raster& got = back[0].rasters[0];
        ASSERT_EQ(got.width, r.width);
        ASSERT_EQ(got.height, r.height);
        // A grey image of black and white stays grey.
        EXPECT_EQ(got.channels, r.channels);
        for (std::size_t i = 0; i < static_cast<std::size_t>(r.width) * r.height; ++i) {
            for (int ch = 0; ch < r.channels; ++ch) {
                ASSERT_EQ(got.pixels[i * got.channels + ch], r.pixels[i * r.channels + ch])
                    << "pixel " << i;
            }
        }
    }
}

}  // namespace drawing

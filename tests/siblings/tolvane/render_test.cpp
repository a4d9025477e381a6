#include <cairo.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "drawing/render/lzw.h"
#include "drawing/render/pdf_writer.h"
#include "drawing/render/png_io.h"
#include "drawing/render/render.h"
#include "drawing/render/tiff_io.h"
#include "test_util.h"

namespace {

using namespace drawing;
using tolvane::test::pdfPages;
using tolvane::test::TempDir;

constexpr double kMm = kUnitsPerMm;

class FontCaches : public ::testing::Environment {
  public:
    void TearDown() override { releaseFontCaches(); }
};
const auto* const kFontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

Path line(Point a, Point b, Rgb color = kBlack, double widthMm = 1) {
    Path p;
    p.points = {a, b};
    p.stroke.color = color;
    p.stroke.widthMm = widthMm;
    return p;
}

Path square(double x, double y, double side, Rgb color = kBlack) {
    Path p;
    p.points = {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
    p.closed = true;
    p.filled = true;
    p.stroke.color = color;
    return p;
}

// A 100 mm square sheet.
Page sheet() {
    Page page;
    page.width = 100 * kMm;
    page.height = 100 * kMm;
    return page;
}

std::uint8_t grey(const Image& img, double xMm, double yMmFromTop) {
    const int x = static_cast<int>(xMm / 25.4 * img.dpi);
    const int y = static_cast<int>(yMmFromTop / 25.4 * img.dpi);
    return img.row(y)[x * img.channels];
}

Image render(const Page& page, double dpi = 100, int channels = 1) {
    RasterOptions o;
    o.dpi = dpi;
    o.channels = channels;
    Image img;
    std::string error;
    EXPECT_TRUE(renderPage(page, o, img, error)) << error;
    return img;
}

TEST(Raster, PlotCoordinatesRunUpwardsFromTheLowerLeftCorner) {
    Page page = sheet();
    page.paths.push_back(square(10 * kMm, 80 * kMm, 10 * kMm));  // near the top left
    const Image img = render(page);
    ASSERT_EQ(img.width, 394);  // 100 mm at 100 dpi, rounded up
    ASSERT_EQ(img.height, 394);
    EXPECT_EQ(grey(img, 15, 15), 0);
    EXPECT_EQ(grey(img, 15, 85), 255);
    EXPECT_EQ(grey(img, 85, 15), 255);
}

TEST(Raster, StrokesHaveTheirWidthAndRoundCaps) {
    Page page = sheet();
    page.paths.push_back(line({20 * kMm, 50 * kMm}, {80 * kMm, 50 * kMm}, kBlack, 4));
    const Image img = render(page, 200);
    EXPECT_EQ(grey(img, 50, 50), 0);
    EXPECT_EQ(grey(img, 50, 48.5), 0);      // inside the 4 mm width
    EXPECT_EQ(grey(img, 50, 47), 255);      // outside it
    EXPECT_EQ(grey(img, 18.8, 50), 0);      // the round cap reaches past the end
    EXPECT_EQ(grey(img, 18.8, 48.2), 255);  // but not at the corner a square cap would fill
}

TEST(Raster, HairlinesStayVisibleAndDotsAreDrawn) {
    Page page = sheet();
    page.paths.push_back(line({10 * kMm, 30 * kMm}, {90 * kMm, 30 * kMm}, kBlack, 0));
    Path dot;
    dot.points = {{50 * kMm, 60 * kMm}};
    dot.stroke.widthMm = 2;
    page.paths.push_back(dot);
    const Image img = render(page);
    int dark = 0;
    for (int y = 0; y < img.height; ++y) {
        dark += img.row(y)[img.width / 4] < 200;
    }
    EXPECT_GE(dark, 1);
    EXPECT_EQ(grey(img, 50, 40), 0);
}

TEST(Raster, FillRuleDecidesWhetherAnInnerLoopIsAHole) {
    Page page = sheet();
    Path p;
    // Two loops of the same direction: a hole only under the even-odd rule.
    p.points = {{10 * kMm, 10 * kMm}, {90 * kMm, 10 * kMm}, {90 * kMm, 90 * kMm},
                {10 * kMm, 90 * kMm}, {30 * kMm, 30 * kMm}, {70 * kMm, 30 * kMm},
                {70 * kMm, 70 * kMm}, {30 * kMm, 70 * kMm}};
    p.subpathStarts = {4};
    p.closed = p.filled = true;
    p.evenOdd = true;
    page.paths.push_back(p);
    Image img = render(page);
    EXPECT_EQ(grey(img, 20, 50), 0);
    EXPECT_EQ(grey(img, 50, 50), 255);
    page.paths[0].evenOdd = false;
    img = render(page);
    EXPECT_EQ(grey(img, 50, 50), 0);
}

// An edge read without points of its own (HpglReadOptions::foldFillEdges)
// is drawn on its fill's points: the same pixels as the edge with the
// points, band by band too, where the edge is on a band's list only through
// its fill's box.
TEST(Raster, AnEdgeWithoutPointsIsDrawnOnItsFill) {
    Page page = sheet();
    Page fills = sheet();
    for (int k = 0; k < 6; ++k) {
        Path letter =
            square((10 + 14 * k) * kMm, (20 + 11 * k) * kMm, 6 * kMm, k % 2 ? 0xCC2200 : kBlack);
        letter.closed = k % 3 != 0;  // a fill is closed as a fill either way
        Path edge = letter;
        edge.filled = false;
        edge.closed = true;
        edge.stroke.widthMm = 0;
        page.paths.push_back(letter);
        page.paths.push_back(edge);
        fills.paths.push_back(letter);
    }
    Page folded = page;
    for (std::size_t i = 1; i < folded.paths.size(); i += 2) {
        folded.paths[i].points.clear();
    }
    for (const int channels : {1, 3}) {
        const Image want = render(page, 100, channels);
        EXPECT_NE(want.pixels, render(fills, 100, channels).pixels) << channels;
        EXPECT_EQ(render(folded, 100, channels).pixels, want.pixels) << channels;
    }
    const auto bands = [](const Page& p) {
        RasterOptions o;
        o.dpi = 100;
        std::vector<std::uint8_t> rows;
        std::string error;
        EXPECT_TRUE(renderPageBands(
            p, o,
            [&](const Image& band, int) {
                for (int y = 0; y < band.height; ++y) {
                    rows.insert(rows.end(), band.row(y), band.row(y) + band.width * band.channels);
                }
                return true;
            },
            error))
            << error;
        return rows;
    };
    EXPECT_EQ(bands(folded), bands(page));
}

TEST(Raster, DrawsColourDashesRastersAndText) {
    Page page = sheet();
    page.paths.push_back(line({10 * kMm, 90 * kMm}, {90 * kMm, 90 * kMm}, 0xFF0000, 2));
    Path dashed = line({10 * kMm, 70 * kMm}, {90 * kMm, 70 * kMm}, kBlack, 2);
    dashed.stroke.dashMm = {10, 10};
    page.paths.push_back(dashed);
    Raster r;
    r.origin = {10 * kMm, 50 * kMm};
    r.dpi = 25.4;  // one pixel per millimetre
    r.width = r.height = 10;
    r.pixels.assign(100, 0);
    page.rasters.push_back(r);
    Text t;
    t.origin = {10 * kMm, 20 * kMm};
    t.text = "HHHH";
    t.charWidth = 4 * kMm;
    t.charHeight = 6 * kMm;
    page.texts.push_back(t);

    const Image img = render(page, 100, 3);
    const std::uint8_t* red = img.row(static_cast<int>(10 / 25.4 * 100)) + 3 * 200;
    EXPECT_EQ(red[0], 255);
    EXPECT_EQ(red[1], 0);
    EXPECT_EQ(red[2], 0);
    EXPECT_EQ(grey(img, 15, 30), 0);    // first dash
    EXPECT_EQ(grey(img, 25, 30), 255);  // first gap
    EXPECT_EQ(grey(img, 15, 55), 0);    // raster, placed by its upper left corner
    EXPECT_EQ(grey(img, 15, 45), 255);
    // Ink of the label lies in its cells, 1.5 character widths apart.
    int ink = 0, outside = 0;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const double xMm = x * 25.4 / 100, yMm = 100 - y * 25.4 / 100;
            if (img.row(y)[3 * x] < 128 && yMm < 35) {
                (xMm >= 9 && xMm <= 33 && yMm >= 19 && yMm <= 27 ? ink : outside)++;
            }
        }
    }
    EXPECT_GT(ink, 200);
    EXPECT_EQ(outside, 0);
}

TEST(Raster, GlyphsKeepToTheirCharacterWidth) {
    // W is the widest glyph of the font; between one character width and
    // the next cell lies the spacing, where no ink may fall.
    Page page = sheet();
    Text t;
    t.origin = {10 * kMm, 40 * kMm};
    t.text = "WMWM";
    t.charWidth = 10 * kMm;
    t.charHeight = 10 * kMm;
    page.texts.push_back(t);
    const Image img = render(page, 200);
    int ink = 0, spacing = 0;
    for (int i = 0; i < 4; ++i) {
        const double cell = 10 + i * 15;
        for (double x = cell; x < cell + 15; x += 0.1) {
            for (double y = 50; y < 60; y += 0.5) {
                if (grey(img, x, y) < 128) {
                    (x > cell + 10.2 && x < cell + 14.8 ? spacing : ink)++;
                }
            }
        }
    }
    EXPECT_GT(ink, 500);
    EXPECT_EQ(spacing, 0);
}

TEST(Raster, PageWithoutMediaTakesItsContentExtent) {
    Page page;
    page.paths.push_back(line({1000, 2000}, {1000 + 50 * kMm, 2000 + 20 * kMm}, kBlack, 0.5));
    const Frame f = pageFrame(page);
    EXPECT_NEAR(f.x0, 1000 - 10, 1e-9);  // half the line width
    EXPECT_NEAR(f.width, 50 * kMm + 20, 1e-9);
    EXPECT_NEAR(f.height, 20 * kMm + 20, 1e-9);
    const Frame a4 = pageFrame(Page());
    EXPECT_EQ(a4.width, 210 * kMm);
}

TEST(Raster, BandsAddUpToTheWholePage) {
    Page page = sheet();
    page.width = 2000 * kMm;  // wide enough for several bands at 150 dpi
    page.height = 400 * kMm;
    page.paths.push_back(line({0, 0}, {2000 * kMm, 400 * kMm}, kBlack, 3));
    RasterOptions o;
    o.dpi = 150;
    o.channels = 1;
    int bands = 0, rows = 0;
    std::string error;
    ASSERT_TRUE(renderPageBands(
        page, o,
        [&](const Image& band, int first) {
            EXPECT_EQ(first, rows);
            rows += band.height;
            ++bands;
            return true;
        },
        error))
        << error;
    EXPECT_GT(bands, 1);
    EXPECT_EQ(rows, 2363);
    Page huge = sheet();
    huge.width = 10000 * kMm;
    EXPECT_FALSE(renderPageBands(
        huge, o, [](const Image&, int) { return true; }, error));
    EXPECT_NE(error.find("too large"), std::string::npos);
}

// A scanned page drawn band by band: every band shows its own rows of the
// image, the rows at band edges included.
TEST(Raster, ImagesStayWholeAcrossBands) {
    Raster scan;
    scan.dpi = 200;
    scan.width = 1000;
    scan.height = 800;
    scan.channels = 1;
    scan.origin = {0, scan.height * kUnitsPerInch / scan.dpi};
    scan.pixels.resize(static_cast<std::size_t>(scan.width) * scan.height);
    for (int y = 0; y < scan.height; ++y) {
        for (int x = 0; x < scan.width; ++x) {
            scan.pixels[static_cast<std::size_t>(y) * scan.width + x] =
                static_cast<std::uint8_t>((x * 7 + y * 13) % 251);
        }
    }
    Page page;
    page.width = scan.width * kUnitsPerInch / scan.dpi;
    page.height = scan.height * kUnitsPerInch / scan.dpi;
    page.rasters.push_back(scan);
    RasterOptions o;
    o.dpi = 400;  // two pixels a side for each of the image's
    o.channels = 1;
    o.antialias = false;
    Image img;
    std::string error;
    int bands = 0;
    ASSERT_TRUE(renderPageBands(
        page, o,
        [&](const Image& band, int first) {
            ++bands;
            img.width = band.width;
            img.channels = 1;
            for (int y = 0; y < band.height; ++y) {
                EXPECT_EQ(first + y, img.height);
                img.pixels.insert(img.pixels.end(), band.row(y), band.row(y) + band.width);
                ++img.height;
            }
            return true;
        },
        error))
        << error;
    EXPECT_GT(bands, 2);
    ASSERT_EQ(img.width, 2 * scan.width);
    ASSERT_EQ(img.height, 2 * scan.height);
    long wrong = 0;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            wrong +=
                img.row(y)[x] != scan.pixels[static_cast<std::size_t>(y / 2) * scan.width + x / 2];
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(Raster, BlackAndWhiteDetection) {
    Page page = sheet();
    page.paths.push_back(square(0, 0, 10));
    page.paths.push_back(square(0, 0, 10, kWhite));
    EXPECT_TRUE(pageIsBlackAndWhite(page));
    Raster r;
    r.width = r.height = 1;
    r.channels = 3;
    r.pixels = {255, 255, 255};
    page.rasters.push_back(r);
    EXPECT_TRUE(pageIsBlackAndWhite(page));
    page.rasters[0].pixels = {255, 254, 255};
    EXPECT_FALSE(pageIsBlackAndWhite(page));
    page.rasters.clear();
    page.paths.push_back(line({0, 0}, {1, 1}, 0x808080));
    EXPECT_FALSE(pageIsBlackAndWhite(page));
}

TEST(Tiff, BlackAndWhitePagesAreGroup4AndColourPagesLzwOrDeflate) {
    TempDir dir;
    Page bw = sheet();
    bw.paths.push_back(square(10 * kMm, 10 * kMm, 30 * kMm));
    Page colour = sheet();
    colour.paths.push_back(square(10 * kMm, 10 * kMm, 30 * kMm, 0x0000FF));
    for (auto compression : {TiffColorCompression::Lzw, TiffColorCompression::Deflate}) {
        const std::string path = dir / "out.tif";
        TiffWriter w;
        std::string error;
        TiffOptions o;
        o.dpi = 150;
        o.color = compression;
        ASSERT_TRUE(w.open(path, error)) << error;
        ASSERT_TRUE(w.addPage(bw, o, error)) << error;
        ASSERT_TRUE(w.addPage(colour, o, error)) << error;
        ASSERT_TRUE(w.addPage(bw, o, error)) << error;
        ASSERT_TRUE(w.close(error)) << error;

        std::vector<TiffPage> pages;
        ASSERT_TRUE(readTiff(path, pages, error)) << error;
        ASSERT_EQ(pages.size(), 3u);
        EXPECT_EQ(pages[0].compression, 4);
        EXPECT_EQ(pages[0].bitsPerSample, 1);
        EXPECT_EQ(pages[1].compression, compression == TiffColorCompression::Lzw ? 5 : 8);
        EXPECT_EQ(pages[1].image.channels, 3);
        EXPECT_EQ(pages[1].xDpi, 150);
        EXPECT_EQ(pages[1].yDpi, 150);
        EXPECT_EQ(pages[0].image.width, 591);
        // The pixels survive the trip: black square, white around it.
        EXPECT_EQ(grey(pages[0].image, 25, 75), 0);
        EXPECT_EQ(grey(pages[0].image, 75, 25), 255);
        EXPECT_EQ(pages[1].photometric, 3);    // a pen plot fits a palette
        EXPECT_EQ(pages[1].bitsPerSample, 4);  // of two colours: four bits a pixel
        for (const int x : {148, 149}) {       // both halves of a byte
            const std::uint8_t* blue = pages[1].image.row(443) + 3 * x;
            EXPECT_EQ(blue[0], 0);
            EXPECT_EQ(blue[2], 255);
        }
        EXPECT_EQ(pages[1].image.row(443)[3 * 10], 255);
    }
}

// A raster page goes in a palette when its pixels have few colours (a
// comparison's raster result has four), else in full colour; either way
// its pixels come back as they were, marks drawn over them included.
TEST(Tiff, RasterPagesTakeAPaletteWhenTheirColoursFit) {
    TempDir dir;
    for (const int colours : {4, 400}) {
        SCOPED_TRACE(std::to_string(colours) + " colours");
        Page page = sheet();
        Raster r;
        r.origin = {0, 100 * kMm};
        r.dpi = 25.4;  // a pixel a millimetre
        r.width = r.height = 40;
        r.channels = 3;
        for (int i = 0; i < r.width * r.height; ++i) {
            const int c = i % colours;
            r.pixels.insert(r.pixels.end(), {static_cast<std::uint8_t>(c % 256),
                                             static_cast<std::uint8_t>(c / 256 * 60), 30});
        }
        page.rasters.push_back(r);
        page.paths.push_back(line({60 * kMm, 80 * kMm}, {90 * kMm, 80 * kMm}, 0xFF9900, 2));
        const std::string path = dir / "raster.tif";
        TiffWriter w;
        std::string error;
        TiffOptions o;
        o.dpi = 100;
        ASSERT_TRUE(w.open(path, error)) << error;
        ASSERT_TRUE(w.addPage(page, o, error)) << error;
        ASSERT_TRUE(w.close(error)) << error;
        std::vector<TiffPage> pages;
        ASSERT_TRUE(readTiff(path, pages, error)) << error;
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].photometric, colours <= 16 ? 3 : 2);
        // The middle of image pixel (x, y) is at ((x + 0.5) mm, (y + 0.5) mm).
        for (const int x : {0, 1, 2, 3, 17, 39}) {
            for (const int y : {0, 5, 39}) {
                const int px = static_cast<int>((x + 0.5) / 25.4 * 100);
                const int py = static_cast<int>((y + 0.5) / 25.4 * 100);
                const std::uint8_t* got = pages[0].image.row(py) + 3 * px;
                const std::uint8_t* want = r.pixels.data() + 3 * (y * r.width + x);
                EXPECT_EQ(got[0], want[0]) << x << "," << y;
                EXPECT_EQ(got[1], want[1]) << x << "," << y;
                EXPECT_EQ(got[2], want[2]) << x << "," << y;
            }
        }
        const std::uint8_t* mark = pages[0].image.row(static_cast<int>(20 / 25.4 * 100)) +
                                   3 * static_cast<int>(75 / 25.4 * 100);
        EXPECT_EQ(mark[0], 0xFF);
        EXPECT_EQ(mark[1], 0x99);
        EXPECT_EQ(mark[2], 0x00);
    }
}

// A page of every kind of ink, in `colours` pen colours: fills by both
// rules, overlapping strokes, dashes, dots and labels, on an odd width.
Page pageOfColours(int colours) {
    Page page;
    page.width = 101 * kMm;
    page.height = 100 * kMm;
    const auto colour = [&](int i) {
        return i % colours == 0 ? kBlack : static_cast<Rgb>(0x050A0F * (i % colours) + 0x0F0F0F);
    };
    for (int i = 0; i < 40; ++i) {
        const double x = (5 + (i * 37) % 85) * kMm, y = (5 + (i * 53) % 85) * kMm;
        Path ring = square(x, y, 12 * kMm, colour(i));
        ring.points.insert(ring.points.end(), {{x + 3 * kMm, y + 3 * kMm},
                                               {x + 9 * kMm, y + 3 * kMm},
                                               {x + 9 * kMm, y + 9 * kMm},
                                               {x + 3 * kMm, y + 9 * kMm}});
        ring.evenOdd = i % 2 == 0;
        page.paths.push_back(ring);
        Path wire = line({x, y}, {x + 30 * kMm, y + 7 * kMm}, colour(i + 1), 0.2 + (i % 5) * 0.3);
        if (i % 3 == 0) {
            wire.stroke.dashMm = {2, 1};
        }
        page.paths.push_back(wire);
        Path dot;
        dot.points = {{y, x}};
        dot.stroke.color = colour(i + 2);
        dot.stroke.widthMm = 1;
        page.paths.push_back(dot);
        Text t;
        t.origin = {y, x};
        t.text = "R" + std::to_string(i) + " 1nF";
        t.charWidth = 1.5 * kMm;
        t.charHeight = 2.5 * kMm;
        t.angleDeg = i * 15;
        t.stroke.color = colour(i + 3);
        page.texts.push_back(t);
    }
    return page;
}

TEST(Tiff, PaletteIndicesDrawExactlyThePixelsOfColourDrawing) {
    for (const int colours : {5, 16, 40}) {
        const Page page = pageOfColours(colours);
        std::vector<Rgb> palette{kWhite};
        for (int i = 0; i < colours; ++i) {
            palette.push_back(i == 0 ? kBlack : static_cast<Rgb>(0x050A0F * i + 0x0F0F0F));
        }
        RasterOptions o;
        o.dpi = 150;
        o.antialias = false;
        o.channels = 3;
        Image colour, indices;
        std::string error;
        ASSERT_TRUE(renderPage(page, o, colour, error)) << error;
        o.palette = &palette;
        ASSERT_TRUE(renderPage(page, o, indices, error)) << error;
        ASSERT_EQ(indices.width, colour.width);
        ASSERT_EQ(indices.height, colour.height);
        ASSERT_EQ(indices.channels, 1);
        long differ = 0, ink = 0;
        for (int y = 0; y < colour.height; ++y) {
            for (int x = 0; x < colour.width; ++x) {
                const std::uint8_t* c = colour.row(y) + 3 * x;
                const Rgb rgb = (Rgb{c[0]} << 16) | (Rgb{c[1]} << 8) | c[2];
                const std::uint8_t i = indices.row(y)[x];
                differ += i >= palette.size() || palette[i] != rgb;
                ink += rgb != kWhite;
            }
        }
        EXPECT_EQ(differ, 0) << colours << " colours";
        EXPECT_GT(ink, 10000);
    }
}

TEST(Tiff, ColourPagesReadBackAsDrawnWithEitherCompression) {
    TempDir dir;
    for (const int colours : {5, 40}) {  // four and eight bits a pixel
        const Page page = pageOfColours(colours);
        RasterOptions ro;
        ro.dpi = 150;
        ro.antialias = false;
        Image expected;
        std::string error;
        ASSERT_TRUE(renderPage(page, ro, expected, error)) << error;
        for (auto compression : {TiffColorCompression::Lzw, TiffColorCompression::Deflate}) {
            const std::string path = dir / "colours.tif";
            TiffWriter w;
            TiffOptions o;
            o.dpi = 150;
            o.color = compression;
            ASSERT_TRUE(w.open(path, error)) << error;
            ASSERT_TRUE(w.addPage(page, o, error)) << error;
            ASSERT_TRUE(w.addPage(page, o, error)) << error;
            ASSERT_TRUE(w.close(error)) << error;
            std::vector<TiffPage> pages;
            ASSERT_TRUE(readTiff(path, pages, error)) << error;
            ASSERT_EQ(pages.size(), 2u);
            for (const auto& p : pages) {
                EXPECT_EQ(p.photometric, 3);
                EXPECT_EQ(p.bitsPerSample, colours <= 15 ? 4 : 8);
                EXPECT_EQ(p.image.pixels, expected.pixels) << colours << " colours";
            }
        }
    }
}

// Our LZW strips, decoded by libtiff: every kind of input a page gives,
// and runs of zeros longer than any table string, across table resets.
TEST(Tiff, LzwStripsDecodeToTheirBytes) {
    std::mt19937 random(7);
    std::vector<std::vector<std::uint8_t>> inputs;
    inputs.push_back({});
    inputs.push_back({0});
    inputs.push_back({42});
    inputs.push_back(std::vector<std::uint8_t>(100000, 0));
    inputs.push_back(std::vector<std::uint8_t>(100000, 0x11));
    std::vector<std::uint8_t> noise(300000);
    for (auto& b : noise) {
        b = static_cast<std::uint8_t>(random());
    }
    inputs.push_back(noise);
    // Paper with short strokes of ink: what a drawing's rows look like.
    std::vector<std::uint8_t> paper(400000, 0);
    for (std::size_t i = 0; i < paper.size(); i += 1 + random() % 3000) {
        const std::size_t n = 1 + random() % 40;
        for (std::size_t k = i; k < std::min(paper.size(), i + n); ++k) {
            paper[k] = static_cast<std::uint8_t>(random() % 3 == 0 ? random() : 0x22);
        }
    }
    inputs.push_back(paper);
    // Zero runs that grow one by one: the table's longest run is met and
    // passed at every length.
    std::vector<std::uint8_t> growing;
    for (int n = 1; growing.size() < 2000000; ++n) {
        growing.insert(growing.end(), static_cast<std::size_t>(n), 0);
        growing.push_back(static_cast<std::uint8_t>(1 + n % 200));
    }
    inputs.push_back(growing);

    TempDir dir;
    const std::string path = dir / "lzw.tif";
    for (const auto& input : inputs) {
        std::vector<std::uint8_t> coded;
        lzwEncode(input.data(), input.size(), coded);
        const uint32_t width = input.empty() ? 1 : static_cast<uint32_t>(input.size());
        {
            TIFF* t = TIFFOpen(path.c_str(), "w");
            ASSERT_NE(t, nullptr);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
            ASSERT_GE(TIFFWriteRawStrip(t, 0, coded.data(), static_cast<tmsize_t>(coded.size())),
                      0);
            TIFFClose(t);
        }
        TIFF* t = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(t, nullptr);
        std::vector<std::uint8_t> decoded(width + 16, 0xEE);
        const tmsize_t got =
            TIFFReadEncodedStrip(t, 0, decoded.data(), static_cast<tmsize_t>(width));
        TIFFClose(t);
        if (input.empty()) {
            EXPECT_LE(got, 1);
            continue;
        }
        ASSERT_EQ(got, static_cast<tmsize_t>(input.size())) << input.size() << " bytes";
        decoded.resize(input.size());
        EXPECT_TRUE(decoded == input) << input.size() << " bytes";
    }
    // Long runs cost few codes: a white strip compresses to almost nothing.
    std::vector<std::uint8_t> coded;
    lzwEncode(inputs[3].data(), inputs[3].size(), coded);
    EXPECT_LT(coded.size(), 1000u);
}

TEST(Tiff, WriterRefusesAnEmptyFileAndAnUnwritablePath) {
    TempDir dir;
    TiffWriter w;
    std::string error;
    EXPECT_FALSE(w.open(dir / "missing/out.tif", error));
    EXPECT_NE(error.find("missing/out.tif"), std::string::npos);
    ASSERT_TRUE(w.open(dir / "empty.tif", error));
    EXPECT_FALSE(w.close(error));
}

TEST(Pdf, WritesOnePdfPagePerPageWithItsOwnSize) {
    TempDir dir;
    const std::string path = dir / "out.pdf";
    {
        std::ofstream out(path, std::ios::binary);
        PdfWriter w(out);
        std::string error;
        Page page = sheet();
        page.paths.push_back(line({0, 0}, {100 * kMm, 100 * kMm}));
        Text t;
        t.origin = {10 * kMm, 10 * kMm};
        t.text = "Plan \xE9";  // Latin-1 byte
        t.charWidth = t.charHeight = 3 * kMm;
        page.texts.push_back(t);
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(w.addPage(page, error)) << error;
        }
        Page wide;
        wide.paths.push_back(line({0, 0}, {400 * kMm, 0}));
        ASSERT_TRUE(w.addPage(wide, error)) << error;
        ASSERT_TRUE(w.close(error)) << error;
    }
    EXPECT_EQ(pdfPages(path), 6);
    // The label is drawn and can also be found as text.
    const std::string cmd = "pdftotext -f 1 -l 1 '" + path + "' - 2>/dev/null";
    std::unique_ptr<FILE, decltype(&pclose)> p(popen(cmd.c_str(), "r"), pclose);
    std::string text;
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p.get()) != nullptr) {
        text += buf;
    }
    EXPECT_NE(text.find("Plan \xC3\xA9"), std::string::npos) << text;
}

TEST(Pdf, CloseWithoutPagesFails) {
    std::ostringstream out;
    PdfWriter w(out);
    std::string error;
    EXPECT_FALSE(w.close(error));
}

TEST(Png, WritesAnImageThatReadsBack) {
    TempDir dir;
    Page page = sheet();
    page.paths.push_back(square(0, 0, 50 * kMm, 0x00FF00));
    const Image img = render(page, 50, 3);
    const std::string path = dir / "out.png";
    {
        std::ofstream out(path, std::ios::binary);
        std::string error;
        ASSERT_TRUE(writePng(out, img, error)) << error;
    }
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
        cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(s.get()), img.width);
    const auto* px = reinterpret_cast<const std::uint32_t*>(
        cairo_image_surface_get_data(s.get()) +
        static_cast<std::size_t>(img.height - 5) * cairo_image_surface_get_stride(s.get()));
    EXPECT_EQ(px[5] & 0xFFFFFF, 0x00FF00u);
    std::ostringstream none;
    std::string error;
    EXPECT_FALSE(writePng(none, Image(), error));
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "drawing/page.h"
#include "sandrel/bitmask.h"
#include "sandrel/ink.h"

namespace sandrel {
namespace {

// An image of random pixels: white, black, and greys and colours on both
// sides of what counts as ink.
drawing::Raster randomRaster(std::mt19937& rng, int w, int h, int channels, double dpi) {
    drawing::Raster r;
    r.width = w;
    r.height = h;
    r.channels = channels;
    r.dpi = dpi;
    const std::uint8_t levels[] = {0, 0, 255, 255, 255, 190, 191, 192, 193, 128, 250};
    std::uniform_int_distribution<int> pick(0, sizeof levels - 1);
    r.pixels.resize(static_cast<std::size_t>(w) * h * channels);
    for (auto& p : r.pixels) {
        p = levels[pick(rng)];
    }
    return r;
}

class GridRasterTest : public ::testing::Test {
  protected:
    GridRasterTest() {
        grid.dpi = 200;
        grid.left = 317.25;
        grid.top = 9001.5;
        grid.width = 150;
        grid.height = 90;
    }
    // Places r with its upper left pixel on grid pixel (x, y).
    drawing::Raster& place(drawing::Page& page, drawing::Raster r, double x, double y) {
        const double unit = grid.unitsPerPixel();
        r.origin = {grid.left + x * unit, grid.top - y * unit};
        page.rasters.push_back(std::move(r));
        return page.rasters.back();
    }
    // Read straight from the pixels, and the same rendered.
    void expectSameAsRendered(const drawing::Page& page) {
        std::vector<std::uint8_t> read;
        ASSERT_TRUE(inkOfGridRasters(page, grid, read));
        std::vector<std::uint8_t> drawn;
        std::string error;
        ASSERT_TRUE(renderInkMask(page, grid, drawn, error)) << error;
        ASSERT_EQ(read.size(), drawn.size());
        std::size_t ink = 0;
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < read.size(); ++i) {
            ink += drawn[i];
            wrong += read[i] != drawn[i] ? 1 : 0;
        }
        EXPECT_GT(ink, 0u);
        EXPECT_EQ(wrong, 0u);
        // Read straight into bits, the same.
        BitMask bits;
        ASSERT_TRUE(inkBitsOfGridRasters(page, grid, bits));
        EXPECT_EQ(bits.bits, packMask(read, grid.width, grid.height).bits);
    }
    PixelGrid grid;
    std::mt19937 rng{5};
};

TEST_F(GridRasterTest, ScanOnTheGridReadsAsItRenders) {
    drawing::Page whole;
    place(whole, randomRaster(rng, grid.width, grid.height, 1, grid.dpi), 0, 0);
    expectSameAsRendered(whole);

    // Moved by whole pixels, partly beyond the grid on each side.
    for (const auto& [x, y] : {std::pair{7, 3}, std::pair{-11, 5}, std::pair{20, -9}}) {
        drawing::Page moved;
        place(moved, randomRaster(rng, 140, 80, 1, grid.dpi), x, y);
        expectSameAsRendered(moved);
    }
}

TEST_F(GridRasterTest, LaterImagesCoverEarlierOnesColoursIncluded) {
    drawing::Page page;
    place(page, randomRaster(rng, 120, 70, 3, grid.dpi), 2, 4);
    // All white over part of the first: what it covers is no longer ink.
    drawing::Raster blank;
    blank.width = 30;
    blank.height = 20;
    blank.channels = 1;
    blank.dpi = grid.dpi;
    blank.pixels.assign(600, 255);
    place(page, blank, 10, 10);
    place(page, randomRaster(rng, 40, 40, 1, grid.dpi), 100, 60);
    expectSameAsRendered(page);
    std::vector<std::uint8_t> read;
    ASSERT_TRUE(inkOfGridRasters(page, grid, read));
    for (int y = 10; y < 30; ++y) {
        for (int x = 10; x < 40; ++x) {
            ASSERT_EQ(read[static_cast<std::size_t>(y) * grid.width + x], 0) << x << "," << y;
        }
    }
}

// Read into bits, images start at every place within a word and end at
// many, and later ones cover earlier ones: the bits are the bytes packed.
TEST_F(GridRasterTest, BitsAreTheMaskPacked) {
    for (int x = -3; x < 70; ++x) {
        for (const int width : {60 + x % 23, 60, 64, 71}) {
            drawing::Page page;
            const int channels = x % 5 == 0 ? 3 : 1;
            place(page, randomRaster(rng, width, 40, channels, grid.dpi), x, x % 9);
            // A plain white image over part of the first, and one of ink.
            drawing::Raster white;
            white.width = 17 + x % 40;
            white.height = 6;
            white.channels = 1;
            white.dpi = grid.dpi;
            white.pixels.assign(static_cast<std::size_t>(white.width) * white.height, 255);
            drawing::Raster black = white;
            std::fill(black.pixels.begin(), black.pixels.end(), 0);
            place(page, black, (x * 7) % 90, 30);
            place(page, white, x + 5, 3);
            std::vector<std::uint8_t> bytes;
            ASSERT_TRUE(inkOfGridRasters(page, grid, bytes));
            BitMask bits;
            ASSERT_TRUE(inkBitsOfGridRasters(page, grid, bits));
            ASSERT_EQ(bits.bits, packMask(bytes, grid.width, grid.height).bits)
                << "at " << x << ", " << width << " wide";
        }
    }
}

TEST_F(GridRasterTest, AnythingElseIsLeftToTheRenderer) {
    std::vector<std::uint8_t> mask;
    drawing::Page half;
    place(half, randomRaster(rng, 50, 50, 1, grid.dpi), 3.5, 0);
    EXPECT_FALSE(inkOfGridRasters(half, grid, mask));
    drawing::Page finer;
    place(finer, randomRaster(rng, 50, 50, 1, 300), 0, 0);
    EXPECT_FALSE(inkOfGridRasters(finer, grid, mask));
    drawing::Page drawn;
    place(drawn, randomRaster(rng, 50, 50, 1, grid.dpi), 0, 0);
    drawing::Path line;
    line.points = {{grid.left, grid.top - 100}, {grid.left + 300, grid.top - 100}};
    drawn.paths.push_back(line);
    EXPECT_FALSE(inkOfGridRasters(drawn, grid, mask));
    BitMask bits;
    EXPECT_FALSE(inkBitsOfGridRasters(half, grid, bits));
    EXPECT_FALSE(inkBitsOfGridRasters(drawn, grid, bits));
    // A blank page is white.
    drawing::Page blank;
    ASSERT_TRUE(inkOfGridRasters(blank, grid, mask));
    EXPECT_EQ(mask, std::vector<std::uint8_t>(grid.size(), 0));
}

}  // namespace
}  // namespace sandrel

// A raster page larger than the reader takes as one image, as a comparison
// of a large scan at a fine resolution makes, is written in bands that read
// back as the same pixels in the same places.
#include <gtest/gtest.h>

#include <sstream>

#include "drawing/hpgl/hpgl.h"
#include "drawing/hpgl/rtl.h"
#include "drawing/page.h"
#include "read_all.h"

namespace {

using namespace drawing;

TEST(HpglRasterBands, AnImageAboveTheReadersLimitReadsBackWholeInBands) {
    for (const int channels : {1, 3}) {
        SCOPED_TRACE(channels);
        Raster r;
        r.dpi = 300;
        r.origin = {1000, 90000};
        r.channels = channels;
        // Just over two bands' worth of rows, so there is a short third one.
        r.width = 4096 / channels;
        const std::size_t rowBytes = static_cast<std::size_t>(r.width) * channels;
        r.height = static_cast<int>(2 * (rtl::kMaxRasterBytes / 4) / rowBytes + 7);
        r.pixels.assign(rowBytes * r.height, 255);
        for (int y = 0; y < r.height; ++y) {
            // Black and white, a diagonal and the band edges' neighbours.
            r.pixels[static_cast<std::size_t>(y) * rowBytes + (y % r.width) * channels] = 0;
        }
        if (channels == 3) {
            r.pixels[5] = 0x80;  // a colour that is no grey
        }
        const std::string hpgl = test::writeRasterPage(r, 40000, 100000);
        const auto read = test::readAll([&](const PageSink& sink, ReadError& error) {
            std::istringstream in(hpgl);
            return readHpgl(in, sink, error);
        });
        ASSERT_TRUE(read.ok) << read.error.message;
        ASSERT_EQ(read.pages.size(), 1u);
        const auto& bands = read.pages[0].rasters;
        ASSERT_EQ(bands.size(), 3u);
        std::vector<std::uint8_t> pixels;
        double top = r.origin.y;
        for (const auto& band : bands) {
            EXPECT_EQ(band.width, r.width);
            EXPECT_EQ(band.channels, channels);
            EXPECT_NEAR(band.origin.x, r.origin.x, 1e-9);
            // Each band starts where the one above ended.
            EXPECT_NEAR(band.origin.y, top, 1e-3);
            top -= band.height * kUnitsPerInch / r.dpi;
            pixels.insert(pixels.end(), band.pixels.begin(), band.pixels.end());
        }
        EXPECT_TRUE(pixels == r.pixels);
    }
}

}  // namespace

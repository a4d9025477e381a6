// Raster rows as the writer packs them: black and white at a bit a pixel,
// runs of equal bytes as PackBits pieces of at most 128. The writer takes
// paper in whole words, so the cases here put ink at the edges of words,
// of 64-pixel blocks and of rows, and runs just around 128 bytes.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "drawing/page.h"
#include "read_all.h"

namespace {

using namespace drawing;

std::string write(const Raster& r) {
    return test::writeRasterPage(r, 40000, 40000);
}

Raster readBack(const std::string& hpgl) {
    const auto read = test::readAll([&](const PageSink& sink, ReadError& error) {
        std::istringstream in(hpgl);
        return readHpgl(in, sink, error);
    });
    EXPECT_TRUE(read.ok) << read.error.message;
    if (read.pages.size() != 1 || read.pages[0].rasters.size() != 1) {
        ADD_FAILURE() << "expected one page with one image";
        return {};
    }
    return read.pages[0].rasters[0];
}

Raster image(int width, int height, int channels, std::uint8_t paper) {
    Raster r;
    r.origin = {500, 30000};
    r.dpi = 200;
    r.width = width;
    r.height = height;
    r.channels = channels;
    r.pixels.assign(static_cast<std::size_t>(width) * height * channels, paper);
    return r;
}

void expectSamePixels(const Raster& written, const Raster& read) {
    EXPECT_EQ(read.width, written.width);
    EXPECT_EQ(read.height, written.height);
    EXPECT_EQ(read.channels, written.channels);
    ASSERT_EQ(read.pixels.size(), written.pixels.size());
    for (std::size_t i = 0; i < read.pixels.size(); ++i) {
        if (read.pixels[i] != written.pixels[i]) {
            ADD_FAILURE() << "first difference at byte " << i << " (row "
                          << i / (static_cast<std::size_t>(written.width) * written.channels)
                          << "): " << int(read.pixels[i]) << " for " << int(written.pixels[i]);
            return;
        }
    }
}

// The rows that follow a row's packed bytes: "ESC*b<n>W" and its n bytes.
std::vector<std::string> packedRows(const std::string& hpgl) {
    std::vector<std::string> rows;
    for (std::size_t at = hpgl.find("\x1b*b"); at != std::string::npos;
         at = hpgl.find("\x1b*b", at + 1)) {
        std::size_t end = at + 3;
        while (end < hpgl.size() && std::isdigit(static_cast<unsigned char>(hpgl[end]))) {
            ++end;
        }
        if (end == at + 3 || end >= hpgl.size() || hpgl[end] != 'W') {
            continue;  // the compression mode, "ESC*b2M"
        }
        const std::size_t n = std::stoul(hpgl.substr(at + 3, end - at - 3));
        rows.push_back(hpgl.substr(end + 1, n));
        at = end + n;
    }
    return rows;
}

TEST(HpglRasterRows, BlackAndWhiteRowsOfAnyWidthKeepEveryPixel) {
    // Widths below, at and above whole bytes and whole 64-pixel blocks.
    for (const int width : {1, 5, 7, 8, 9, 63, 64, 65, 71, 127, 128, 129, 200, 1031}) {
        SCOPED_TRACE(width);
        Raster r = image(width, 9, 1, 255);
        auto ink = [&](int y, int x) {
            if (x >= 0 && x < width) {
                r.pixels[static_cast<std::size_t>(y) * width + x] = 0;
            }
        };
        // Row 0 is paper; row 1 all ink; then single dots at the first and
        // last pixel, at the ends of bytes and blocks, and a stroke across
        // a block's edge, every other pixel of a row, and a row of paper
        // with ink only in its last partial byte.
        for (int x = 0; x < width; ++x) {
            ink(1, x);
        }
        ink(2, 0);
        ink(2, width - 1);
        for (const int x : {7, 8, 56, 63, 64, 127, 128}) {
            ink(3, x);
        }
        for (int x = 60; x < 70; ++x) {
            ink(4, x);
        }
        for (int x = 0; x < width; x += 2) {
            ink(5, x);
        }
        ink(6, width / 8 * 8);
        ink(7, width - 2);
        ink(8, width / 64 * 64 - 1);
        const std::string hpgl = write(r);
        EXPECT_NE(hpgl.find("\x1b*r1U"), std::string::npos) << "written at a bit a pixel";
        expectSamePixels(r, readBack(hpgl));
    }
}

TEST(HpglRasterRows, OneGreyPixelAnywhereKeepsTheImageGrey) {
    // A value that is neither black nor white, in a word of paper, among
    // ink, or in the bytes after the last whole word.
    const int width = 83;
    for (const std::uint8_t grey : {1, 127, 128, 254}) {
        for (const int at : {0, 31, 32, 40, 64, 79, 80, 82, 3 * width - 1}) {
            SCOPED_TRACE(::testing::Message() << int(grey) << " at " << at);
            Raster r = image(width, 3, 1, 255);
            r.pixels[5] = 0;
            r.pixels[static_cast<std::size_t>(at)] = grey;
            const std::string hpgl = write(r);
            EXPECT_EQ(hpgl.find("\x1b*r1U"), std::string::npos);
            expectSamePixels(r, readBack(hpgl));
        }
    }
}

TEST(HpglRasterRows, RunsAroundTheLongestPieceReadBack) {
    // Runs of one value just below, at and above the 128 bytes a piece
    // holds, starting at every offset within a word, ending the row or
    // followed by a single other byte.
    for (const int channels : {1, 3}) {
        for (const int run :
             {1, 2, 3, 15, 16, 17, 31, 32, 33, 127, 128, 129, 130, 255, 256, 257, 385}) {
            for (int offset = 0; offset < 8; ++offset) {
                SCOPED_TRACE(::testing::Message()
                             << channels << " channels, run " << run << " at " << offset);
                const int bytes = offset + run + 1;
                const int width = (bytes + channels - 1) / channels;
                Raster r = image(width, 2, channels, 255);
                const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
                for (std::size_t i = 0; i < rowBytes; ++i) {
                    // Row 0: different bytes, the run, one other byte and
                    // the rest. Row 1: the run reaches the row's end.
                    const auto x = static_cast<int>(i);
                    r.pixels[i] = x < offset         ? static_cast<std::uint8_t>(10 + x)
                                  : x < offset + run ? 200
                                                     : static_cast<std::uint8_t>(50 + x % 3);
                    r.pixels[rowBytes + i] = x < static_cast<int>(rowBytes) - run
                                                 ? static_cast<std::uint8_t>(x % 7)
                                                 : 90;
                }
                expectSamePixels(r, readBack(write(r)));
            }
        }
    }
}

TEST(HpglRasterRows, RunsGoOutWholeInPiecesOf128) {
    // A run of any length up to a piece and a half, then one other byte:
    // the run whole (in pieces of 128), the other byte as a literal.
    for (int run = 2; run <= 200; ++run) {
        SCOPED_TRACE(run);
        Raster r = image(run + 1, 1, 1, 200);
        r.pixels[static_cast<std::size_t>(run)] = 7;
        std::string expected;
        int left = run;
        if (left > 128) {
            expected += "\x81\xc8";
            left -= 128;
        }
        if (left >= 2) {
            expected += {static_cast<char>(1 - left), '\xc8', '\0', '\x07'};
        } else {
            expected += {'\x01', '\xc8', '\x07'};
        }
        const std::vector<std::string> rows = packedRows(write(r));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], expected);
    }
    // A row of 900 bytes of paper: seven pieces of 128 and one of 4.
    {
        const std::vector<std::string> rows = packedRows(write(image(300, 1, 3, 255)));
        ASSERT_EQ(rows.size(), 1u);
        std::string expected;
        for (int i = 0; i < 7; ++i) {
            expected += "\x81\xff";
        }
        expected += "\xfd\xff";
        EXPECT_EQ(rows[0], expected);
    }
    // 129 bytes of one value: a piece of 128, and the byte left over as a
    // literal of its own, which then takes the bytes that follow until the
    // next pair.
    {
        Raster r = image(133, 1, 1, 200);
        r.pixels[129] = 1;
        r.pixels[130] = 2;
        r.pixels[131] = 3;
        r.pixels[132] = 3;
        const std::vector<std::string> rows = packedRows(write(r));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], std::string("\x81\xc8\x02\xc8\x01\x02\xff\x03", 8));
    }
    // Black and white: a row of 1040 pixels of paper but for the last
    // is 129 zero bytes and the last pixel's bit.
    {
        Raster r = image(1040, 1, 1, 255);
        r.pixels[1039] = 0;
        const std::vector<std::string> rows = packedRows(write(r));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], std::string("\x81\x00\x01\x00\x01", 5));
    }
}

}  // namespace

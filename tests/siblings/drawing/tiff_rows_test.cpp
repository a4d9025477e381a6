// Grey and RGB strips are decoded row by row by the reader itself: each kind
// must give exactly the pixels libtiff's own RGBA interface gives, in one
// strip or many, at widths that do not fill the last byte.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing/tiff/tiff_reader.h"
#include "read_all.h"

namespace {

using namespace drawing;

struct Kind {
    const char* name;
    uint16_t photometric;
    uint16_t bits;
    uint16_t samples;
    uint16_t compression;
};

// A pattern that uses every value a sample can take, different per row.
void writeImage(const std::string& path, const Kind& k, uint32_t w, uint32_t h,
                uint32_t rowsPerStrip) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, k.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, k.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, k.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, k.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    std::vector<uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tif)));
    const unsigned values = 1u << k.bits;
    for (uint32_t y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (uint32_t x = 0; x < w * k.samples; ++x) {
            const unsigned v = (x * 7 + y * 3 + x / 5) % values;
            const std::size_t bit = static_cast<std::size_t>(x) * k.bits;
            if (k.bits == 8) {
                row[x] = static_cast<uint8_t>(v);
            } else {
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - k.bits - bit % 8));
            }
        }
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    }
    TIFFClose(tif);
}

// What libtiff's RGBA interface makes of the file, as grey or RGB bytes.
std::vector<uint8_t> viaRgba(const std::string& path, int channels) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint32_t w = 0;
    uint32_t h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> rgba(static_cast<std::size_t>(w) * h);
    EXPECT_EQ(TIFFReadRGBAImageOriented(tif, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
    TIFFClose(tif);
    std::vector<uint8_t> out;
    for (const uint32_t p : rgba) {
        out.push_back(static_cast<uint8_t>(TIFFGetR(p)));
        if (channels == 3) {
            out.push_back(static_cast<uint8_t>(TIFFGetG(p)));
            out.push_back(static_cast<uint8_t>(TIFFGetB(p)));
        }
    }
    return out;
}

TEST(TiffRows, EveryGreyAndRgbKindReadsAsLibtiffDecodesIt) {
    const std::vector<Kind> kinds = {
        {"bilevel min-is-white G4", PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTFAX4},
        {"bilevel min-is-black", PHOTOMETRIC_MINISBLACK, 1, 1, COMPRESSION_NONE},
        {"2-bit grey", PHOTOMETRIC_MINISBLACK, 2, 1, COMPRESSION_LZW},
        {"4-bit min-is-white", PHOTOMETRIC_MINISWHITE, 4, 1, COMPRESSION_PACKBITS},
        {"8-bit grey LZW", PHOTOMETRIC_MINISBLACK, 8, 1, COMPRESSION_LZW},
        {"8-bit min-is-white", PHOTOMETRIC_MINISWHITE, 8, 1, COMPRESSION_ADOBE_DEFLATE},
        {"RGB LZW", PHOTOMETRIC_RGB, 8, 3, COMPRESSION_LZW},
    };
    const auto dir =
        std::filesystem::temp_directory_path() / ("tiff-rows-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const auto& k : kinds) {
        for (const uint32_t rowsPerStrip : {5u, 300u}) {
            SCOPED_TRACE(std::string(k.name) + ", " + std::to_string(rowsPerStrip) +
                         " rows a strip");
            const uint32_t w = 77;
            const uint32_t h = 61;
            const std::string path = (dir / "image.tif").string();
            writeImage(path, k, w, h, rowsPerStrip);
            const auto r = test::readAll([&](const PageSink& sink, ReadError& error) {
                return readTiffFile(path, sink, error);
            });
            ASSERT_TRUE(r.ok) << r.error.message;
            ASSERT_EQ(r.pages.size(), 1u);
            const Raster& raster = r.pages[0].rasters.at(0);
            ASSERT_EQ(raster.width, static_cast<int>(w));
            ASSERT_EQ(raster.height, static_cast<int>(h));
            const std::vector<uint8_t> expected = viaRgba(path, raster.channels);
            EXPECT_EQ(raster.channels, k.samples == 3 ? 3 : 1);
            EXPECT_TRUE(raster.pixels == expected);
        }
    }
    std::filesystem::remove_all(dir);
}

// A strip whose code stops making sense halfway is an error, not a page
// with rows of nothing.
TEST(TiffRows, ADamagedStripIsRefused) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("tiff-rows-cut-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "damaged.tif").string();
    writeImage(path, {"grey", PHOTOMETRIC_MINISBLACK, 8, 1, COMPRESSION_LZW}, 400, 400, 400);
    {
        // The strip follows the 8-byte header; the directory comes after it.
        std::FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 8 + 300, SEEK_SET);
        const std::vector<uint8_t> junk(200, 0xFF);
        std::fwrite(junk.data(), 1, junk.size(), f);
        std::fclose(f);
    }
    const auto r = test::readAll(
        [&](const PageSink& sink, ReadError& error) { return readTiffFile(path, sink, error); });
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.message.find("page 1: "), std::string::npos) << r.error.message;
    std::filesystem::remove_all(dir);
}

}  // namespace

// The TIFF reader on images written here with libtiff in every colour kind
// and compression, and on broken and absurd files.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "drawing/tiff/tiff_reader.h"
#include "read_all.h"

namespace {

using namespace drawing;

using test::Read;
using test::readAll;

Read readPath(const std::string& path) {
    return readAll(
        [&](const PageSink& sink, ReadError& error) { return readTiffFile(path, sink, error); });
}

Read readBytes(const std::string& bytes) {
    return readAll([&](const PageSink& sink, ReadError& error) {
        return readTiffBytes(bytes.data(), bytes.size(), sink, error);
    });
}

struct Spec {
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t bits = 8;
    uint16_t samples = 1;
    float xdpi = 100;
    float ydpi = 100;
};

// A w x h image whose left half is dark and right half light, or for
// bi-level images black and white.
void writeDirectory(TIFF* tif, const Spec& s, uint32_t w, uint32_t h) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, s.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, s.xdpi);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, s.ydpi);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    std::vector<uint16_t> map(256);
    if (s.photometric == PHOTOMETRIC_PALETTE) {
        for (int i = 0; i < 256; ++i) {
            map[i] = static_cast<uint16_t>(i * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    if (s.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
    }
    const tmsize_t rowBytes = TIFFScanlineSize(tif);
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const bool left = x < w / 2;
            if (s.bits == 1) {
                // Ink on the left: 1 is black for min-is-white.
                const bool bit = s.photometric == PHOTOMETRIC_MINISWHITE ? left : !left;
                if (x % 8 == 0) {
                    row[x / 8] = 0;
                }
                row[x / 8] |= bit ? 0x80 >> (x % 8) : 0;
            } else {
                for (int c = 0; c < s.samples; ++c) {
                    row[x * s.samples + c] = left ? 30 : 220;
                }
            }
        }
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    }
    ASSERT_EQ(TIFFWriteDirectory(tif), 1);
}

class TiffReader : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tiff-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::vector<Spec>& pages, uint32_t w = 64,
                      uint32_t h = 32) {
        const std::string p = path(name);
        TIFF* tif = TIFFOpen(p.c_str(), "w");
        EXPECT_NE(tif, nullptr);
        for (const auto& s : pages) {
            writeDirectory(tif, s, w, h);
        }
        TIFFClose(tif);
        return p;
    }
    std::filesystem::path dir_;
};

TEST_F(TiffReader, EveryColourKindAndCompressionReadsAsOnePageEach) {
    const std::vector<std::pair<const char*, Spec>> kinds = {
        {"bilevel G4", {PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 1, 1}},
        {"bilevel G3", {PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 1, 1}},
        {"bilevel packbits", {PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, 1, 1}},
        {"grey LZW", {PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 8, 1}},
        {"grey deflate", {PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE, 8, 1}},
        {"palette", {PHOTOMETRIC_PALETTE, COMPRESSION_LZW, 8, 1}},
        {"rgb", {PHOTOMETRIC_RGB, COMPRESSION_NONE, 8, 3}},
        {"rgb JPEG", {PHOTOMETRIC_RGB, COMPRESSION_JPEG, 8, 3}},
    };
    std::vector<Spec> all;
    for (const auto& k : kinds) {
        all.push_back(k.second);
    }
    const Read r = readPath(write("all.tif", all));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const Page& p = r.pages[i];
        const bool grey = i < 5;
        SCOPED_TRACE(kinds[i].first);
        ASSERT_EQ(p.rasters.size(), 1u);
        const Raster& ra = p.rasters[0];
        EXPECT_EQ(ra.width, 64);
        EXPECT_EQ(ra.height, 32);
        EXPECT_EQ(ra.channels, grey ? 1 : 3);
        EXPECT_NEAR(ra.dpi, 100, 1e-3);
        EXPECT_NEAR(p.width, 64 / 100.0 * kUnitsPerInch, 1e-6);
        EXPECT_NEAR(p.height, 32 / 100.0 * kUnitsPerInch, 1e-6);
        EXPECT_EQ(ra.origin, (PrecisePoint{0, p.height}));
        // Dark left, light right, whatever the coding.
        const std::size_t mid = (16 * 64) * ra.channels;
        EXPECT_LT(ra.pixels[mid + 2 * ra.channels], 60);
        EXPECT_GT(ra.pixels[mid + 60 * ra.channels], 190);
    }
}

TEST_F(TiffReader, BilevelRowsEndingInPartOfAByteReadPixelForPixel) {
    // 21 pixels a row: two whole bytes and five bits of a third, ink on the
    // left ten, under either meaning of a set bit.
    for (uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
        SCOPED_TRACE(photometric);
        const Read r =
            readPath(write("bilevel.tif", {{photometric, COMPRESSION_PACKBITS, 1, 1}}, 21, 3));
        ASSERT_TRUE(r.ok) << r.error.message;
        ASSERT_EQ(r.pages.size(), 1u);
        const Raster& ra = r.pages[0].rasters[0];
        ASSERT_EQ(ra.width, 21);
        ASSERT_EQ(ra.pixels.size(), 21u * 3u);
        std::string rows;
        for (std::size_t i = 0; i < ra.pixels.size(); ++i) {
            rows += ra.pixels[i] == 0 ? '#' : ra.pixels[i] == 255 ? '.' : '?';
        }
        const std::string row = "##########...........";
        EXPECT_EQ(rows, row + row + row);
    }
}

TEST_F(TiffReader, FaxResolutionIsMadeSquare) {
    Spec fax{PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 1, 1, 204, 98};
    const Read r = readPath(write("fax.tif", {fax}, 64, 49));
    ASSERT_TRUE(r.ok) << r.error.message;
    const Raster& ra = r.pages[0].rasters[0];
    EXPECT_NEAR(ra.dpi, 204, 1e-3);
    EXPECT_EQ(ra.height, 102);  // 49 rows at 98 dpi, at 204 dpi
    EXPECT_NEAR(r.pages[0].height, 49 / 98.0 * kUnitsPerInch, 0.5 / 204 * kUnitsPerInch);
}

TEST_F(TiffReader, BrokenAndAbsurdFilesAreRefused) {
    const std::string good = [&] {
        std::ifstream in(
            write("g.tif", {Spec{PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 8, 1}}, 200, 100),
            std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    EXPECT_TRUE(readBytes(good).ok);
    EXPECT_FALSE(readBytes("").ok);
    EXPECT_FALSE(readBytes("II*\0garbage").ok);
    EXPECT_FALSE(readBytes("%PDF-1.4 not a tiff").ok);
    // Strips cut short: the data runs out inside the image.
    const Read cut = readBytes(good.substr(0, good.size() / 2));
    EXPECT_FALSE(cut.ok);
    EXPECT_FALSE(cut.error.message.empty());

    // A compression nobody knows.
    {
        TIFF* tif = TIFFOpen(path("odd.tif").c_str(), "w");
        writeDirectory(tif, Spec{PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 8, 1}, 16, 16);
        TIFFClose(tif);
        std::string bytes;
        {
            std::ifstream in(path("odd.tif"), std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            bytes = s.str();
        }
        // Patch the compression tag (259) of the little-endian directory.
        const std::string tag("\x03\x01\x03\x00\x01\x00\x00\x00\x01\x00", 10);
        const auto at = bytes.find(tag);
        ASSERT_NE(at, std::string::npos);
        bytes[at + 8] = '\x40';
        bytes[at + 9] = '\x9C';  // 40000
        const Read odd = readBytes(bytes);
        EXPECT_FALSE(odd.ok);
        EXPECT_NE(odd.error.message.find("compression"), std::string::npos)
            << "[" << odd.error.message << "]";
    }

    // 100,000 x 100,000 pixels declared: refused before any allocation.
    {
        TIFF* tif = TIFFOpen(path("huge.tif").c_str(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 100000u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 100000u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 100000u);
        std::vector<uint8_t> row(12500, 0);
        TIFFWriteScanline(tif, row.data(), 0, 0);
        TIFFWriteDirectory(tif);
        TIFFClose(tif);
        const Read huge = readPath(path("huge.tif"));
        EXPECT_FALSE(huge.ok);
        EXPECT_NE(huge.error.message.find("too large"), std::string::npos) << huge.error.message;
    }
    EXPECT_FALSE(readPath(path("missing.tif")).ok);
}

}  // namespace

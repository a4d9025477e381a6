// An A0 scan pair at 400 dpi, compared at 300 dpi: the comparison's result
// page is larger than the converter reads as one raster image, and the
// whole run must still end in a result. Minutes under load: its own program
// with the CTest label "soak", in the normal build only. Its time limit
// guards against a hang, not a speed.
#include <tiffio.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/integration/real_sandbox.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {

// A0 at 400 dpi, black and white, G4: a frame, a 1-inch grid and a box that
// the second scan has lower down.
void writeScan(const std::string& path, int boxTop) {
    constexpr uint32_t kWidth = 13244;
    constexpr uint32_t kHeight = 18724;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 400.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 400.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uint8_t> row((kWidth + 7) / 8);
    const auto ink = [&](uint32_t x) { row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); };
    for (uint32_t y = 0; y < kHeight; ++y) {
        std::fill(row.begin(), row.end(), 0);
        if (y < 16 || y >= kHeight - 16 || y % 400 == 0) {
            std::fill(row.begin(), row.end(), 0xFF);
        } else {
            for (uint32_t x = 0; x < kWidth; x += 400) {
                ink(x);
            }
            ink(kWidth - 1);
            if (static_cast<int>(y) >= boxTop && static_cast<int>(y) < boxTop + 400) {
                for (uint32_t x = 5000; x < 5400; ++x) {
                    ink(x);
                }
            }
        }
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    }
    TIFFClose(tif);
}

}  // namespace

TEST(LargeScan, AnA0PairAt400DpiComparedAt300DpiEndsInAResult) {
    RealSiblingsSandbox s;
    s.writePar(s.parLines("*.tif"));
    // Finer than the default, as an office that compares fine scans sets it.
    std::string par = readText(s.sandrelPar).value_or("");
    const auto at = par.find("Resolution = ");
    ASSERT_NE(at, std::string::npos);
    par.replace(at, par.find('\n', at) - at, "Resolution = 300");
    writeText(s.sandrelPar, par);
    writeScan(s.in1 + "/sheet.tif", 3000);
    writeScan(s.in2 + "/sheet.tif", 3200);
    // About three minutes on a loaded machine.
    const Result r = s.runCli({"--once", "/a", "/op"}, 1500s);
    // The box moved: the drawings differ.
    EXPECT_EQ(r.exitCode, 10) << r.err;
    EXPECT_EQ(r.err, "mervik-cli: pairs run 1, complete 1, failed 0\n");
    const std::string result = s.out + "/sheet.pdf";
    ASSERT_TRUE(exists(result));
    const std::string info = commandOutput("pdfinfo " + shellQuoted(result) + " 2>/dev/null");
    EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
}

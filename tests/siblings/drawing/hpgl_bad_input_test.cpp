// Inputs that are not plots, or broken ones: each must end quickly with a
// message and the offset, and never crash.
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "hpgl_test_util.h"

namespace drawing::test {
namespace {

void expectError(const std::string& data, std::size_t minOffset, std::size_t maxOffset) {
    const ReadResult r = readString(data);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.message.empty());
    EXPECT_EQ(r.error.message.find('\n'), std::string::npos);
    EXPECT_GE(r.error.offset, minOffset) << r.error.message;
    EXPECT_LE(r.error.offset, maxOffset) << r.error.message;
}

TEST(HpglBadInput, InputsThatAreNoPlot) {
    expectError("", 0, 0);
    expectError("%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n", 0, 0);
    expectError("Hello world, this is a letter.\n", 0, 0);
    expectError("\xFF\xD8\xFF\xE0 JFIF", 0, 0);
    expectError("   \r\n\t;;", 0, 8);  // blanks alone hold no instruction
    expectError("In the beginning the plotter drew a line.\n", 0, 100);
    std::mt19937 random(7);
    for (int run = 0; run < 20; ++run) {
        std::string bytes(4096, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() & 0xFF);
        }
        const ReadResult r = readString(bytes);
        EXPECT_FALSE(r.ok) << run;
    }
}

TEST(HpglBadInput, TruncatedAndCorruptPlots) {
    expectError("IN;SP1;PA0,0;LBno terminator here", 19, 34);
    expectError("IN;PA0,0;PD100,100;\xC3\xA9\xFF garbage", 19, 19);
    const std::string raster = "IN;" + esc("%1A") + esc("*r1A") + esc("*b10W") + "abc";
    expectError(raster, raster.size(), raster.size());
    expectError("IN;" + esc("*b99999999999W"), 3, 20);
    expectError("IN;" + esc("*r2000000S"), 3, 20);
    expectError("IN;" + esc(""), 3, 4);
    // An encoded polyline cut inside a number, and one with an endless number.
    expectError("IN;PE<=\x47", 8, 8);
    expectError("IN;PE" + std::string(100, '\x50') + "\xC0;", 5, 20);
}

TEST(HpglBadInput, EndlessLabelStopsAtItsLimit) {
    const std::string data = "IN;LB" + std::string(1 << 20, 'x');
    const ReadResult r = readString(data);
    EXPECT_FALSE(r.ok);
    EXPECT_LT(r.error.offset, data.size());
}

TEST(HpglBadInput, RasterTooLargeForMemory) {
    // 1,000,000 x 1,000,000 declared: refused when the image is built.
    const std::string data = "IN;" + esc("%0A") + esc("*r1000000s1000000T") + esc("*r0A") +
                             esc("*b1W") + "\x80" + esc("*rC");
    const ReadResult r = readString(data);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.message.find("large"), std::string::npos);
}

TEST(HpglBadInput, OddRasterDataGivesImagesThatSurviveTheWriter) {
    // Found by fuzzing: RTL whose raster ends up 0 pixels wide, and RTL that
    // changes the raster width while rows come in. Every image read must hold
    // exactly its pixels, and no page may vanish when written and read again.
    const std::vector<std::string> inputs = {
        std::string("\x49\x4e\x7a\x50\x41\x30\x2c\x5a\x00\x30\x30\x3b\x3b\x25\x31\x41"
                    "\x1b\x2a\x74\x31\x30\x30\x52\x1b\x2a\x72\x31\x36\x53\x1b\x2a\x72"
                    "\x31\x41\x1b\x2a\x62\x32\x4d\x1b\x2a\x62\x33\x57\x01\xf0\x0f\x1b"
                    "\x2a\x9d\xcc\xb2\xe4\xd5\x9d\xcd\xa8\x01\xff\x1b\x2a\x72\x53\x1b"
                    "\x25\x30\x42\x1b\x2a\x72\x33\x55\x1b\x2a\x72\x41\x1b\x2a\x62\x31"
                    "\x56\x80\x1b\x2a\x62\x31\x56\x40\x2b\x00\x62\x31\x57\x20\x1b\x2a"
                    "\x72\x43\x0c",
                    99),
        std::string("\x49\x4e\x3b\x50\x41\x30\x2c\x31\x30\x30\x30\x3b\x1b\x25\x31\x41"
                    "\x1b\x2a\x74\x31\x30\x30\x52\x1b\x2a\x72\x31\x34\x53\x1b\x2a\x72"
                    "\x31\x41\x1b\x2a\x62\x32\x4d\x1b\x2a\x28\x62\x33\x57\x01\xf0\x0f"
                    "\x1b\x72\x43\x1b\x21\x30\x42\x1b\x2a\x72\x55\x33\x1b\x2a\x72\x41"
                    "\x1b\x2a\x62\x31\x56\x80\x1b\x2a\x62\x31\x31\x41\x1b\x2a\x74\x31"
                    "\x30\x30\x52\x1b\x2a\x72\x31\x36\x53\x1b\x2a\x72\x31\x41\xff\xff"
                    "\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xf8\xff"
                    "\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"
                    "\xff\xfe\xff\x1b\x2a\x62\x32\x4d\x1b\x2a\x62\x33\x57\x01\xf0\x0f"
                    "\x1b\x2a\x62\x32\x4d\x1b\x2a\x62\x1b\x25\x30\x42\x1b\x2a\x72\x33"
                    "\x55\x1b\x2a\x72\x41\x1b\x2a\x62\x31\x56\x56\x40\x1b\x2a\x62\x1b"
                    "\x25\x30\x42\x1b\x2a\x72\x33\x55\x1b\x2a\x72\x41\x1b\x2a\x62\x31"
                    "\x56\x56\x40\x1b\x2a\x62\x31\x57\x20\x1b\x2a\x72\x43\x0c",
                    206),
    };
    for (const auto& data : inputs) {
        const ReadResult r = readString(data);
        ASSERT_TRUE(r.ok) << r.error.message;
        std::ostringstream out;
        HpglWriter writer(out);
        for (const auto& page : r.pages) {
            for (const auto& raster : page.rasters) {
                EXPECT_GT(raster.width, 0);
                EXPECT_GT(raster.height, 0);
                EXPECT_EQ(raster.pixels.size(),
                          static_cast<std::size_t>(raster.width) * raster.height * raster.channels);
            }
            writer.writePage(page);
        }
        writer.finish();
        EXPECT_EQ(readString(out.str()).pages.size(), r.pages.size());
    }
}

TEST(HpglBadInput, AbsurdNumbersAreReadWithoutHarm) {
    const std::string huge(400, '9');
    const ReadResult r = readString("IN;SC0,0,0,0;PA" + huge + "," + huge + ";PD-" + huge +
                                    ",1;PAnan,inf;PD1e999,5;SI-3,-4;LBx\x03"
                                    "CI" +
                                    huge + ",0;AA0,0," + huge + ",-0;WG" + huge +
                                    ",nan;"
                                    "SP-999999;PW-5;LT999999,-1;PS-1,-1;IP" +
                                    huge + ";");
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    for (const Path& p : r.pages[0].paths) {
        for (const Point& pt : p.points) {
            EXPECT_TRUE(std::isfinite(pt.x) && std::isfinite(pt.y));
            EXPECT_LE(std::fabs(pt.x), 1e9);
        }
        EXPECT_LE(p.points.size(), 1000u);
    }
    EXPECT_DOUBLE_EQ(r.pages[0].texts.at(0).charWidth, -1200);  // SI may mirror
}

TEST(HpglBadInput, HatchingFarFromTheOriginEnds) {
    const ReadResult r = readString(
        "IN;PA900000000,900000000;FT3,0.000000000001,0;RR1,0;"
        "FT4,0.0001,33;RR100000,100000;");
    EXPECT_TRUE(r.ok) << r.error.message;
}

TEST(HpglBadInput, ManyCirclesAreBoundedPerByte) {
    // Each "CI30000,.5;" yields 720 points (a circle that large needs its
    // half-degree chords); the page limit stops the rest.
    std::string data = "IN;";
    for (int i = 0; i < 20000; ++i) {
        data += "CI30000,.5;";
    }
    const ReadResult r = readString(data);
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.error.message.find("too many"), std::string::npos);
}

TEST(HpglBadInput, UnknownInstructionsAreSkipped) {
    const ReadResult r = readString("IN;ZZ1,2,\"quoted;PD\";QQ;XY 3 4;PA0,0;PD5,5;");
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].paths.at(0).points, (std::vector<Point>{{0, 0}, {5, 5}}));
}

}  // namespace
}  // namespace drawing::test

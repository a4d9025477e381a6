// Small files that ask for unbounded work: the converter refuses them in one
// line and bounded memory, or does their work in time and memory that grow
// with the input, not faster.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"
#include "tests/siblings/drawing/pdf_make.h"
#include "tests/support/process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using drawing::test::pdfOfObjects;

namespace {

// Only a hang reaches this.
constexpr auto kHangGuard = 600s;

// Memory bounds are for the normal build; the address sanitizer adds its
// shadow, red zones and a quarantine of freed blocks.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemorySlack = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kMemorySlack = 4;
#else
constexpr long kMemorySlack = 1;
#endif
#else
constexpr long kMemorySlack = 1;
#endif

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int status = -1;   // exit status; -1 when killed or not started
    long peakKiB = 0;  // the child's peak resident memory
    std::string err;   // its standard error
};

// The converter in a home of its own.
class Converter {
  public:
    Converter() {
        std::string tmpl = "/tmp/mervik-hostile-XXXXXX";
        root = mkdtemp(tmpl.data());
        env = testsupport::environmentWithout({"HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME="});
        env.push_back("HOME=" + root);
        env.push_back("XDG_DATA_HOME=" + root + "/share");
        env.push_back("XDG_CACHE_HOME=" + root + "/cache");
        EXPECT_EQ(run({"--init"}).status, 0);
    }
    ~Converter() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // Runs program (the converter unless said) with args; a run past kHangGuard is
    // killed and fails.
    Outcome run(const std::vector<std::string>& args,
                const std::string& program = TOLVANE_PATH) const {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        auto cargv = testsupport::cStringArray(argv);
        auto cenv = testsupport::cStringArray(env);
        const std::string errPath = root + "/err.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        Outcome out;
        const int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            return out;
        }
        const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
        int status = 0;
        rusage usage{};
        while (wait4(pid, &status, WNOHANG, &usage) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "still running after " << kHangGuard.count() << " s";
                kill(pid, SIGKILL);
                wait4(pid, &status, 0, &usage);
                return out;
            }
            std::this_thread::sleep_for(20ms);
        }
        out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        out.peakKiB = usage.ru_maxrss;
        out.err = readFile(errPath);
        return out;
    }

    std::string root;
    std::vector<std::string> env;
};

// A PDF whose page draws form 1, and form k draws form k+1 twice, down to
// a last form that draws one line: 2^(depth-1) lines from a few kilobytes.
std::string fanOutPdf(int depth) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
        "/Resources << /XObject << /F 5 0 R >> >> /Contents 4 0 R >>",
        "<< /Length 5 >>\nstream\n/F Do\nendstream",
    };
    for (int i = 0; i < depth; ++i) {
        const int self = 5 + i;
        const bool last = i == depth - 1;
        const std::string content = last ? "0 0 m 10 10 l S" : "/F Do /F Do";
        std::string resources =
            last ? "" : " /Resources << /XObject << /F " + std::to_string(self + 1) + " 0 R >> >>";
        objects.push_back("<< /Type /XObject /Subtype /Form /BBox [0 0 595 842]" + resources +
                          " /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                          "\nendstream");
    }
    return pdfOfObjects(objects);
}

// An A0 page that draws one RGB image of side x side black pixels times
// times: the image, compressed once, is a few hundred kilobytes; each
// drawing of it is a raster of its own on the page.
std::string repeatedImagePdf(int side, int times) {
    // Compressed a megabyte at a time: the test's own memory stays small, as
    // a child started from it inherits the test's peak until it runs.
    std::string data;
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    std::vector<unsigned char> zeros(1 << 20, 0);
    std::vector<unsigned char> out(1 << 16);
    std::size_t left = static_cast<std::size_t>(side) * side * 3;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        const std::size_t n = std::min(left, zeros.size());
        z.next_in = zeros.data();
        z.avail_in = static_cast<uInt>(n);
        left -= n;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
            data.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    std::string content;
    for (int k = 0; k < times; ++k) {
        content += "q 200 0 0 200 " + std::to_string(20 + k % 10 * 220) + " " +
                   std::to_string(20 + k / 10 * 220) + " cm /I Do Q\n";
    }
    return pdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 2384 3370] "
        "/Resources << /XObject << /I 5 0 R >> >> /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /XObject /Subtype /Image /Width " + std::to_string(side) + " /Height " +
            std::to_string(side) +
            " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode /Length " +
            std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream",
    });
}

// An SXF sheet whose figure 0 holds one text of chars letters 16 times,
// and figure n places figure n - 1 twice, levels deep, the last placed on
// the sheet: 16 * 2^levels texts from a few kilobytes.
std::string placedTextsSxf(int levels, int chars) {
    const auto figure = [](int n, const std::string& items) {
        const std::string rep = std::to_string(1000 + 10 * n);
        return "#" + rep + "=DRAUGHTING_SUBFIGURE_REPRESENTATION('F" + std::to_string(n) + "',(" +
               items + "),$);\n#" + std::to_string(1000 + 10 * n + 1) +
               "=SYMBOL_REPRESENTATION_MAP(#3,#" + rep + ");\n";
    };
    const auto placement = [](int id, int of) {
        const std::string i = std::to_string(id);
        return "#" + i + "=SYMBOL_TARGET('',#3,1.,1.);\n#" + std::to_string(id + 1) +
               "=MAPPED_ITEM('',#" + std::to_string(1000 + 10 * of + 1) + ",#" + i + ");\n#" +
               std::to_string(id + 2) + "=(ANNOTATION_OCCURRENCE()STYLED_ITEM((),#" +
               std::to_string(id + 1) + "));\n";
    };
    std::string body =
        "#7=AXIS2_PLACEMENT_2D('',#1,#2);\n#8=PLANAR_EXTENT('',10.,3.);\n"
        "#9=TEXT_LITERAL_WITH_EXTENT('','" +
        std::string(static_cast<std::size_t>(chars), 'A') +
        "',#7,'baseline left',.RIGHT.,$,#8);\n"
        "#10=(ANNOTATION_TEXT_OCCURRENCE()STYLED_ITEM((),#9));\n" +
        figure(0, "#10,#10,#10,#10,#10,#10,#10,#10,#10,#10,#10,#10,#10,#10,#10,#10");
    for (int n = 1; n <= levels; ++n) {
        const int a = 100000 + 10 * n;
        body += figure(n, "#" + std::to_string(a + 2) + ",#" + std::to_string(a + 5)) +
                placement(a, n - 1) + placement(a + 3, n - 1);
    }
    body += placement(200, levels);
    return "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=CARTESIAN_POINT('',(0.,0.));\n"
           "#2=DIRECTION('',(1.,0.));\n#3=AXIS2_PLACEMENT_2D('',#1,#2);\n" +
           body + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// An HP-GL page of two 16,000 x 16,000 raster images, each one row of
// data and then rows skipped: 512 MB of pixels from 4 KB, within the
// reader's limit on one image and on a page's rasters.
std::string twoRastersHpgl() {
    const std::string esc = "\x1b";
    const std::string image = esc + "*t300R" + esc + "*r16000S" + esc + "*r16000T" + esc + "*r1A" +
                              esc + "*b0M" + esc + "*b2000W" + std::string(2000, '\0') + esc +
                              "*b15999Y" + esc + "*rC";
    return "IN;" + esc + "%0A" + image + esc + "*p0X" + image + esc + "%0B" + "PU0,0;PD400,400;PG;";
}

// The converter's refusal of a page over its memory budget: one line that
// names the budget, no output, and a peak near the budget.
void expectRefusedAtTheBudget(const Outcome& o, const std::string& outFolder) {
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("a page needs more than 384 MiB of memory"), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_TRUE(fs::is_empty(outFolder));
    // The budget, and what the reader holds besides the page (the file,
    // the interpreter's own state, one element being built).
    EXPECT_LT(o.peakKiB, kMemorySlack * 512 * 1024);
}

}  // namespace

TEST(HostileInput, ASmallPdfDrawingABigImageOverAndOverIsRefusedAtItsMemoryBudget) {
    Converter c;
    // 8 drawings of a 201 MB image from 200 KB; before the budget the
    // split held them all, 1.7 GiB.
    const std::string pdf = repeatedImagePdf(8192, 8);
    ASSERT_LT(pdf.size(), 250'000u);
    std::ofstream(c.root + "/images.pdf", std::ios::binary) << pdf;
    fs::create_directory(c.root + "/out");
    expectRefusedAtTheBudget(c.run({"/h", c.root + "/images.pdf", c.root + "/out/images.hgl"}),
                             c.root + "/out");
    // Drawn once, the same image is an ordinary page within the budget.
    std::ofstream(c.root + "/once.pdf", std::ios::binary) << repeatedImagePdf(2048, 1);
    const Outcome once = c.run({"--convert", "/h", c.root + "/once.pdf", c.root + "/once.hgl"});
    EXPECT_EQ(once.status, 0) << once.err;
    EXPECT_TRUE(fs::exists(c.root + "/once.hgl"));
}

TEST(HostileInput, ASmallSxfPlacingATextHundredsOfThousandsOfTimesIsRefusedAtItsMemoryBudget) {
    Converter c;
    // 131,072 texts of 4,000 letters: 0.5 GB of texts from 9.5 KB, within
    // the limit on figure expansions. Before the budget the split held them
    // all (530 MB) and wrote a page file of half a gigabyte.
    const std::string sxf = placedTextsSxf(13, 4000);
    ASSERT_LT(sxf.size(), 10'000u);
    std::ofstream(c.root + "/texts.p21", std::ios::binary) << sxf;
    fs::create_directory(c.root + "/out");
    expectRefusedAtTheBudget(c.run({"/h", c.root + "/texts.p21", c.root + "/out/texts.hgl"}),
                             c.root + "/out");
    // Fewer levels make an ordinary sheet.
    std::ofstream(c.root + "/few.p21", std::ios::binary) << placedTextsSxf(4, 20);
    const Outcome few = c.run({"--convert", "/h", c.root + "/few.p21", c.root + "/few.hgl"});
    EXPECT_EQ(few.status, 0) << few.err;
    EXPECT_TRUE(fs::exists(c.root + "/few.hgl"));
}

TEST(HostileInput, ATinyPageFileOfTwoHugeRastersIsRefusedAtItsBudgetByBothPrograms) {
    Converter c;
    const std::string hpgl = twoRastersHpgl();
    ASSERT_LT(hpgl.size(), 5000u);
    fs::create_directories(c.root + "/a");
    fs::create_directories(c.root + "/b");
    fs::create_directories(c.root + "/out");
    std::ofstream(c.root + "/a/p.hgl", std::ios::binary) << hpgl;
    std::ofstream(c.root + "/b/p.hgl", std::ios::binary) << hpgl;
    expectRefusedAtTheBudget(c.run({"/h", c.root + "/a/p.hgl", c.root + "/out/p.hgl"}),
                             c.root + "/out");
    // The comparison program reads its page files with the same budget;
    // before it, it held both pages, a gigabyte, before it gave up.
    const Outcome o =
        c.run({"/h", "/oh", c.root + "/a/*.hgl", c.root + "/b/", c.root + "/out/"}, SANDREL_PATH);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("a page needs more than 384 MiB of memory"), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_TRUE(fs::is_empty(c.root + "/out"));
    EXPECT_LT(o.peakKiB, kMemorySlack * 512 * 1024);
}

// Through the whole run: the refusal is the step's reason in the run log
// and the error log, and the pair is kept in the Failed folder.
TEST(HostileInput, APairRefusedAtItsMemoryBudgetFailsWithTheReasonInBothLogs) {
    e2e::Sandbox s;
    ASSERT_EQ(unlink(s.tolvane.c_str()), 0);
    ASSERT_EQ(symlink(TOLVANE_PATH, s.tolvane.c_str()), 0);
    ASSERT_EQ(unlink(s.tolvanePar.c_str()), 0);
    ASSERT_EQ(testsupport::runAndWait({s.tolvane, "--init"}, s.env(), s.root + "/init.out",
                                      s.root + "/init.err"),
              0);
    s.writePar(s.parLines("*.p21"));
    const std::string sxf = placedTextsSxf(13, 4000);
    s.pair("texts.p21", sxf, sxf);
    const e2e::Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    const std::string why =
        ": a page needs more than 384 MiB of memory, its budget (64 times the "
        "file's size, at least 384 MiB)";
    int logged = 0;
    for (const auto& line : e2e::splitLines(r.out)) {
        if (line.rfind(
                "  *** tolvane exited with status 1: tolvane: " + s.in1 + "/texts.p21: at byte ",
                0) == 0 &&
            line.size() > why.size() &&
            line.compare(line.size() - why.size(), why.size(), why) == 0) {
            ++logged;
        }
    }
    EXPECT_EQ(logged, 1) << r.out;
    int entries = 0;
    for (const auto& e : s.errorEntries()) {
        entries += e.find(why) != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(entries, 2);  // the split of each file
    const auto runs = e2e::listFolder(s.data + "/Failed");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(e2e::exists(s.data + "/Failed/" + runs[0] + "/1/texts.p21"));
    EXPECT_TRUE(e2e::exists(s.data + "/Failed/" + runs[0] + "/2/texts.p21"));
}

TEST(HostileInput, FormsThatDrawEachOtherTwiceAreRefusedInOneLineAndBoundedMemory) {
    Converter c;
    const std::string pdf = fanOutPdf(30);
    ASSERT_LT(pdf.size(), 8000u);
    std::ofstream(c.root + "/fan.pdf", std::ios::binary) << pdf;
    const Outcome o = c.run({"--convert", "/h", c.root + "/fan.pdf", c.root + "/fan.hgl"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("drawn objects"), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_FALSE(fs::exists(c.root + "/fan.hgl"));
    // Before the budget it grew past 280 MB within a minute and kept going.
    EXPECT_LT(o.peakKiB, kMemorySlack * 400 * 1024);
    // A few levels less is an ordinary page, read whole.
    std::ofstream(c.root + "/small.pdf", std::ios::binary) << fanOutPdf(12);
    const Outcome small = c.run({"--convert", "/h", c.root + "/small.pdf", c.root + "/small.hgl"});
    EXPECT_EQ(small.status, 0) << small.err;
    EXPECT_TRUE(fs::exists(c.root + "/small.hgl"));
}

// A large scan stored as one LZW strip, as some scanners write it: each row
// is decoded once, so the page comes through whole in memory near the
// size of its own pixels.
TEST(HostileInput, AOneStripLzwScanConvertsWholeInMemoryNearItsOwnSize) {
    Converter c;
    constexpr uint32_t kSide = 8000;
    const std::string in = c.root + "/scan.tif";
    {
        TIFF* tif = TIFFOpen(in.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kSide);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kSide);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kSide);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        std::vector<uint8_t> row(kSide);
        for (uint32_t y = 0; y < kSide; ++y) {
            std::fill(row.begin(), row.end(), 255);
            row[y] = 0;  // a diagonal line
            ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
        }
        TIFFClose(tif);
    }
    const std::string out = c.root + "/out.tif";
    // At the resolution the converter writes, so that pixels map one to one.
    const Outcome o = c.run({"--convert", "/t", in, out});
    ASSERT_EQ(o.status, 0) << o.err;
    // The page's own pixels are 61 MiB; a few times that is bounded.
    EXPECT_LT(o.peakKiB, kMemorySlack * 4L * kSide * kSide / 1024);
    TIFF* tif = TIFFOpen(out.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint32_t w = 0;
    uint32_t h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    // The frame may round up to a whole pixel more.
    EXPECT_NEAR(w, kSide, 1);
    EXPECT_NEAR(h, kSide, 1);
    // The diagonal is there at the bottom of the page too.
    std::vector<uint32_t> rgba(static_cast<std::size_t>(w) * 8);
    TIFFRGBAImage img{};
    char emsg[1024] = {};
    ASSERT_EQ(TIFFRGBAImageBegin(&img, tif, 0, emsg), 1) << emsg;
    img.req_orientation = ORIENTATION_TOPLEFT;
    img.row_offset = static_cast<int>(kSide - 8);
    ASSERT_EQ(TIFFRGBAImageGet(&img, rgba.data(), w, 8), 1);
    TIFFRGBAImageEnd(&img);
    TIFFClose(tif);
    const auto darkNear = [&](uint32_t row, uint32_t x) {
        for (uint32_t k = x - 2; k <= x + 2 && k < w; ++k) {
            if (TIFFGetR(rgba[static_cast<std::size_t>(row) * w + k]) < 128) {
                return true;
            }
        }
        return false;
    };
    for (uint32_t row = 0; row < 8; ++row) {
        EXPECT_TRUE(darkNear(row, kSide - 8 + row)) << row;
        EXPECT_FALSE(darkNear(row, kSide - 108 + row)) << row;
    }
}

// The PDF reader on hand-made pages whose content is known exactly, on the
// sample pairs, and on damaged, encrypted and empty files.
#include <gtest/gtest.h>

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

// The JPEG library's header needs FILE and size_t declared first.
#include <jpeglib.h>

#include "drawing/pdf/pdf_reader.h"
#include "pdf_make.h"
#include "read_all.h"

namespace {

using namespace drawing;
using drawing::test::makePdf;
using drawing::test::Read;
using drawing::test::readAll;

constexpr double kPt = kUnitsPerInch / 72.0;  // plotter units per point

Read readBytes(const std::string& pdf) {
    return readAll([&](const PageSink& sink, ReadError& error) {
        return readPdfBytes(pdf.data(), pdf.size(), sink, error);
    });
}

Read readPath(const std::string& path) {
    return readAll(
        [&](const PageSink& sink, ReadError& error) { return readPdfFile(path, sink, error); });
}

std::string sample(const std::string& name) {
    return std::string(MERVIK_SAMPLES_DIR) + "/pdf/diff-pdf-visually/" + name;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> words(const Page& page) {
    std::vector<std::string> w;
    for (const auto& t : page.texts) {
        w.push_back(t.text);
    }
    return w;
}

// Graphics states by reference in resources that two pages share: every
// gs on either page takes its state, an unused broken reference harms
// nothing, and a state that hides what it strokes hides it.
TEST(PdfReader, GraphicsStatesByReferenceApplyOnEveryPageThatSharesThem) {
    const std::string page1 =
        "/Thick gs 0 0 1 RG 10 10 m 200 10 l S\n"
        "/Hidden gs 10 50 m 200 50 l S\n"
        "/Thin gs 10 90 m 200 90 l S\n";
    const std::string page2 = "/Thin gs 10 10 m 100 10 l S /Thick gs 10 30 m 100 30 l S\n";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 >>",
        "<< /ExtGState << /Thick 8 0 R /Thin 9 0 R /Hidden 10 0 R /Unused 99 0 R >> >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources 3 0 R /Contents 6 0 R >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources 3 0 R /Contents 7 0 R >>",
        "<< /Length " + std::to_string(page1.size()) + " >>\nstream\n" + page1 + "\nendstream",
        "<< /Length " + std::to_string(page2.size()) + " >>\nstream\n" + page2 + "\nendstream",
        "<< /Type /ExtGState /LW 4 /LC 1 >>",
        "<< /Type /ExtGState /LW 0.5 /CA 1 >>",
        "<< /Type /ExtGState /CA 0 >>",
    };
    const Read r = readBytes(drawing::test::pdfOfObjects(objects));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 2u);
    const auto widths = [](const Page& p) {
        std::vector<double> w;
        for (const auto& path : p.paths) {
            w.push_back(path.stroke.widthMm * 72 / 25.4);
        }
        return w;
    };
    const std::vector<double> first = widths(r.pages[0]), second = widths(r.pages[1]);
    ASSERT_EQ(first.size(), 2u);  // the line under /Hidden is not drawn
    EXPECT_NEAR(first[0], 4, 1e-6);
    EXPECT_NEAR(first[1], 0.5, 1e-6);
    EXPECT_NEAR(r.pages[0].paths[1].points[0].y, 90 * kPt, 1e-6);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_NEAR(second[0], 0.5, 1e-6);
    EXPECT_NEAR(second[1], 4, 1e-6);
}

// Pages that each bring their own copy of a standard font (as pages put
// together from several files do) read as each page reads alone, and a
// page whose font differs keeps its own.
TEST(PdfReader, PagesWithTheirOwnCopiesOfAFontReadAsEachAlone) {
    const std::vector<std::string> contents = {
        "BT /F1 24 Tf 72 700 Td (HELLO WORLD) Tj ET 72 600 m 300 600 l S",
        "BT /F1 24 Tf 72 650 Td (HELLO AGAIN) Tj ET",
        "BT /F1 24 Tf 72 650 Td (HELLO MONO) Tj ET",
    };
    const std::vector<std::string> fonts = {
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>",
    };
    // Objects: catalog, pages, then page, content and font of each page.
    const auto document = [&](const std::vector<std::size_t>& which) {
        std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
        std::string kids;
        for (std::size_t k = 0; k < which.size(); ++k) {
            const std::size_t page = 3 + 3 * k;
            const std::string& content = contents[which[k]];
            kids += std::to_string(page) + " 0 R ";
            objects.push_back(
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources "
                "<< /Font << /F1 " +
                std::to_string(page + 2) + " 0 R >> >> /Contents " + std::to_string(page + 1) +
                " 0 R >>");
            objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                              content + "\nendstream");
            objects.push_back(fonts[which[k]]);
        }
        objects[1] =
            "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(which.size()) + " >>";
        return drawing::test::pdfOfObjects(objects);
    };
    const Read all = readBytes(document({0, 1, 2}));
    ASSERT_TRUE(all.ok) << all.error.message;
    ASSERT_EQ(all.pages.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        const Read alone = readBytes(document({k}));
        ASSERT_TRUE(alone.ok) << alone.error.message;
        ASSERT_EQ(alone.pages.size(), 1u);
        EXPECT_EQ(words(all.pages[k]), words(alone.pages[0])) << "page " << k + 1;
        EXPECT_EQ(all.pages[k].texts, alone.pages[0].texts) << "page " << k + 1;
        EXPECT_EQ(all.pages[k].paths.size(), alone.pages[0].paths.size()) << "page " << k + 1;
    }
    // The monospaced font's label is not the proportional one's.
    ASSERT_FALSE(all.pages[2].texts.empty());
    ASSERT_FALSE(all.pages[1].texts.empty());
    EXPECT_NE(all.pages[2].texts[0].charWidth, all.pages[1].texts[0].charWidth);
}

TEST(PdfReader, PathsKeepTheirGeometryColourWidthAndDashes) {
    const Read r = readBytes(makePdf({
        "2 w 1 0 0 RG 100 100 m 200 100 l 200 150 l S\n"              // red open polyline
        "0.5 w [6 3] 0 d 0 0 1 RG 100 300 m 300 300 l S\n"            // blue dashed line
        "[] 0 d 0 g 0 0 200 200 re 50 50 100 100 re f*\n"             // square with a hole
        "0 1 0 rg 300 500 m 400 500 l 350 600 l h f\n"                // green triangle
        "1 w 0 G 400 100 m 400 155.2285 444.7715 200 500 200 c S\n",  // quarter circle
    }));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    const Page& p = r.pages[0];
    EXPECT_NEAR(p.width, 612 * kPt, 0.01);
    EXPECT_NEAR(p.height, 792 * kPt, 0.01);
    ASSERT_EQ(p.paths.size(), 5u);

    const Path& red = p.paths[0];
    EXPECT_FALSE(red.filled);
    EXPECT_EQ(red.stroke.color, 0xFF0000u);
    EXPECT_NEAR(red.stroke.widthMm, 2 * 25.4 / 72, 1e-6);
    ASSERT_EQ(red.points.size(), 3u);
    EXPECT_NEAR(red.points[2].x, 200 * kPt, test::kFloatReach);
    EXPECT_NEAR(red.points[2].y, 150 * kPt, test::kFloatReach);  // y up, as on the page

    const Path& dashed = p.paths[1];
    EXPECT_EQ(dashed.stroke.color, 0x0000FFu);
    ASSERT_EQ(dashed.stroke.dashMm.size(), 2u);
    EXPECT_NEAR(dashed.stroke.dashMm[0], 6 * 25.4 / 72, 1e-6);
    EXPECT_NEAR(dashed.stroke.dashMm[1], 3 * 25.4 / 72, 1e-6);

    const Path& holed = p.paths[2];
    EXPECT_TRUE(holed.filled && holed.closed && holed.evenOdd);
    EXPECT_EQ(holed.stroke.color, 0x000000u);
    EXPECT_EQ(holed.subpathStarts, std::vector<std::size_t>{4});

    const Path& triangle = p.paths[3];
    EXPECT_TRUE(triangle.filled);
    EXPECT_FALSE(triangle.evenOdd);  // f is the non-zero rule
    EXPECT_EQ(triangle.stroke.color, 0x00FF00u);

    // The curve is flattened within the stated tolerance of the circle.
    const Path& arc = p.paths[4];
    EXPECT_GT(arc.points.size(), 8u);
    const Point centre{500 * kPt, 100 * kPt};
    for (const auto& pt : arc.points) {
        EXPECT_NEAR(std::hypot(pt.x - centre.x, pt.y - centre.y), 100 * kPt,
                    kPdfFlatnessMm * kUnitsPerMm + 0.05 * kPt);
    }
}

TEST(PdfReader, ClippingHidesWhatLiesOutside) {
    const Read r = readBytes(makePdf({
        "q 100 100 100 100 re W n\n"
        "0 G 50 150 m 250 150 l S\n"  // crosses the clip: cut at its edges
        "300 300 m 400 400 l S\n"     // wholly outside: gone
        "0 g 50 50 100 100 re f\n"    // a fill cut to the clip
        "Q 300 300 m 400 300 l S\n",  // after the clip ends: whole
    }));
    ASSERT_TRUE(r.ok) << r.error.message;
    const Page& p = r.pages[0];
    ASSERT_EQ(p.paths.size(), 3u);
    ASSERT_EQ(p.paths[0].points.size(), 2u);
    EXPECT_NEAR(p.paths[0].points[0].x, 100 * kPt, test::kFloatReach);
    EXPECT_NEAR(p.paths[0].points[1].x, 200 * kPt, test::kFloatReach);
    for (const auto& pt : p.paths[1].points) {
        EXPECT_GE(pt.x, 100 * kPt - test::kFloatReach);
        EXPECT_GE(pt.y, 100 * kPt - test::kFloatReach);
    }
    EXPECT_NEAR(p.paths[2].points[1].x, 400 * kPt, test::kFloatReach);
}

TEST(PdfReader, TextBecomesWordsWhereTheCharactersAreKnown) {
    const Read r = readBytes(makePdf({
        "BT /F1 12 Tf 72 700 Td (Hello drawing world) Tj ET\n"
        "BT /F1 10 Tf 0 1 -1 0 300 300 Tm (Up) Tj ET\n"
        // Mirrored text has no label form: it stays as outlines.
        "BT /F1 12 Tf -1 0 0 1 300 100 Tm (Mirror) Tj ET\n"
        // Invisible text (render mode 3) is no content.
        "BT 3 Tr /F1 12 Tf 72 50 Td (hidden) Tj ET\n",
    }));
    ASSERT_TRUE(r.ok) << r.error.message;
    const Page& p = r.pages[0];
    EXPECT_EQ(words(p), (std::vector<std::string>{"Hello", "drawing", "world", "Up"}));
    const Text& hello = p.texts[0];
    EXPECT_NEAR(hello.origin.x, 72 * kPt, 0.5);
    EXPECT_NEAR(hello.origin.y, 700 * kPt, 0.5);
    EXPECT_EQ(hello.labelOrigin, 1);
    EXPECT_NEAR(hello.angleDeg, 0, 1e-9);
    // Sized to span what the font spans: the next word starts after it.
    const double span = 1.5 * 5 * hello.charWidth - 0.5 * hello.charWidth;
    EXPECT_LT(hello.origin.x + span, p.texts[1].origin.x);
    EXPECT_GT(hello.origin.x + span, p.texts[1].origin.x - 12 * kPt * 0.5);
    EXPECT_NEAR(hello.charHeight, 0.7 * 12 * kPt, 0.1);
    EXPECT_NEAR(p.texts[3].angleDeg, 90, 1e-9);
    // "Mirror": six glyph outlines, and nothing of "hidden".
    EXPECT_GE(p.paths.size(), 6u);
    for (const auto& path : p.paths) {
        EXPECT_TRUE(path.filled);
        EXPECT_LT(path.points.front().x, 300 * kPt + 1);
    }
}

TEST(PdfReader, ImagesBecomeRastersAtTheirOwnResolution) {
    // A 4 x 2 grey image on 40 x 20 points: 7.2 dpi, upper left at (100, 120).
    std::string image = "BI /W 4 /H 2 /CS /G /BPC 8 ID ";
    image += std::string("\x00\x40\x80\xFF\xFF\x80\x40\x00", 8);
    image += "\nEI";
    const Read r = readBytes(makePdf({
        "q 40 0 0 20 100 100 cm " + image +
            " Q\n"
            // Turned by 90 degrees: resampled upright, same pixel size.
            "q 0 40 -20 0 300 300 cm " +
            image + " Q\n",
    }));
    ASSERT_TRUE(r.ok) << r.error.message;
    const Page& p = r.pages[0];
    ASSERT_EQ(p.rasters.size(), 2u);
    const Raster& upright = p.rasters[0];
    EXPECT_EQ(upright.width, 4);
    EXPECT_EQ(upright.height, 2);
    EXPECT_EQ(upright.channels, 1);
    EXPECT_NEAR(upright.dpi, 7.2, 1e-6);
    EXPECT_NEAR(upright.origin.x, 100 * kPt, 1e-6);
    EXPECT_NEAR(upright.origin.y, 120 * kPt, 1e-6);
    EXPECT_EQ(upright.pixels,
              (std::vector<std::uint8_t>{0, 0x40, 0x80, 0xFF, 0xFF, 0x80, 0x40, 0}));
    const Raster& turned = p.rasters[1];
    EXPECT_EQ(turned.width, 2);
    EXPECT_EQ(turned.height, 4);
    EXPECT_NEAR(turned.dpi, 7.2, 1e-6);
    EXPECT_EQ(turned.pixels.size(), 8u);
    // The first row of the image now runs up its left... its first pixel
    // (black) ends at the bottom: the upper left shows the row's last one.
    std::multiset<int> a(upright.pixels.begin(), upright.pixels.end());
    std::multiset<int> b(turned.pixels.begin(), turned.pixels.end());
    EXPECT_EQ(a, b);
}

// A grey image of width x height as a JPEG file's bytes.
std::string jpegOf(const std::vector<std::uint8_t>& grey, int width, int height) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(grey.data() + c.next_scanline * width);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::free(data);
    return bytes;
}

// JPEG images are decoded by a library loaded only when a page has one.
TEST(PdfReader, JpegImagesAreDecoded) {
    constexpr int kWidth = 16, kHeight = 8;
    std::vector<std::uint8_t> grey;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            grey.push_back(static_cast<std::uint8_t>(x * 16 + y));
        }
    }
    const std::string image =
        "BI /W 16 /H 8 /CS /G /BPC 8 /F /DCT ID " + jpegOf(grey, kWidth, kHeight) + "\nEI";
    const Read r = readBytes(makePdf({"q 160 0 0 80 100 100 cm " + image + " Q\n"}));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    ASSERT_EQ(r.pages[0].rasters.size(), 1u);
    const Raster& raster = r.pages[0].rasters[0];
    ASSERT_EQ(raster.width, kWidth);
    ASSERT_EQ(raster.height, kHeight);
    ASSERT_EQ(raster.pixels.size(), grey.size());
    for (std::size_t i = 0; i < grey.size(); ++i) {
        EXPECT_NEAR(raster.pixels[i], grey[i], 4) << i;
    }
}

TEST(PdfReader, SamplePagesSizesWordsAndImages) {
    Read base = readPath(sample("base.pdf"));
    ASSERT_TRUE(base.ok) << base.error.message;
    ASSERT_EQ(base.pages.size(), 1u);
    EXPECT_NEAR(base.pages[0].width, 612 * kPt, 0.01);  // US letter
    EXPECT_EQ(words(base.pages[0]),
              (std::vector<std::string>{"Hello", "world!", "Hope", "you\u2019re", "having", "a",
                                        "great", "day.", "1"}));
    EXPECT_TRUE(base.pages[0].paths.empty());  // every glyph had a known character

    const Read twice = readPath(sample("base_twice.pdf"));
    ASSERT_TRUE(twice.ok) << twice.error.message;
    ASSERT_EQ(twice.pages.size(), 2u);
    EXPECT_NEAR(twice.pages[1].height, 841.89 * kPt, 0.1);  // ISO A4
    EXPECT_EQ(words(twice.pages[0]), words(twice.pages[1]));

    const Read complex = readPath(sample("complex_1.pdf"));
    ASSERT_TRUE(complex.ok) << complex.error.message;
    ASSERT_EQ(complex.pages.size(), 2u);
    for (const auto& page : complex.pages) {
        ASSERT_EQ(page.rasters.size(), 1u);
        EXPECT_EQ(page.rasters[0].width, 320);
        EXPECT_EQ(page.rasters[0].height, 240);
        EXPECT_EQ(page.rasters[0].channels, 3);
        EXPECT_NEAR(page.rasters[0].dpi, 50, 0.01);
    }
}

TEST(PdfReader, SinkThatStopsEndsTheReading) {
    int seen = 0;
    ReadError error;
    EXPECT_TRUE(readPdfFile(
        sample("base_twice.pdf"),
        [&](Page&&) {
            ++seen;
            return false;
        },
        error));
    EXPECT_EQ(seen, 1);
}

// Writes pdf encrypted with the given passwords, through MuPDF's writer.
bool encrypt(const std::string& pdf, const std::string& out, const char* user, const char* owner) {
    fz_context* ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    fz_buffer* buf = nullptr;
    fz_stream* stm = nullptr;
    pdf_document* doc = nullptr;
    bool ok = true;
    fz_var(buf);
    fz_var(stm);
    fz_var(doc);
    fz_var(ok);
    fz_try(ctx) {
        buf = fz_new_buffer_from_copied_data(
            ctx, reinterpret_cast<const unsigned char*>(pdf.data()), pdf.size());
        stm = fz_open_buffer(ctx, buf);
        doc = pdf_open_document_with_stream(ctx, stm);
        pdf_write_options opts = pdf_default_write_options;
        opts.do_encrypt = PDF_ENCRYPT_AES_128;
        opts.permissions = -1;
        std::snprintf(opts.upwd_utf8, sizeof opts.upwd_utf8, "%s", user);
        std::snprintf(opts.opwd_utf8, sizeof opts.opwd_utf8, "%s", owner);
        pdf_save_document(ctx, doc, out.c_str(), &opts);
    }
    fz_always(ctx) {
        pdf_drop_document(ctx, doc);
        fz_drop_stream(ctx, stm);
        fz_drop_buffer(ctx, buf);
    }
    fz_catch(ctx) {
        ok = false;
    }
    fz_drop_context(ctx);
    return ok;
}

class PdfBadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("pdf-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(PdfBadInput, EncryptedFilesOpenOnlyWithoutAPassword) {
    const std::string pdf = makePdf({"0 G 100 100 m 200 200 l S"});
    ASSERT_TRUE(encrypt(pdf, path("owner.pdf"), "", "owner"));
    ASSERT_TRUE(encrypt(pdf, path("user.pdf"), "user", "owner"));
    // Encrypted, but opening needs no password: read like any other.
    const Read open = readPath(path("owner.pdf"));
    ASSERT_TRUE(open.ok) << open.error.message;
    ASSERT_EQ(open.pages.size(), 1u);
    EXPECT_EQ(open.pages[0].paths.size(), 1u);
    const Read locked = readPath(path("user.pdf"));
    EXPECT_FALSE(locked.ok);
    EXPECT_NE(locked.error.message.find("password"), std::string::npos) << locked.error.message;
    EXPECT_TRUE(locked.pages.empty());
}

TEST_F(PdfBadInput, DamagedEmptyAndForeignFilesAreRefused) {
    const std::string good = fileBytes(sample("base_twice.pdf"));
    ASSERT_FALSE(good.empty());
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"empty", ""},
        {"text", "just some text, no PDF at all\n"},
        {"header only", "%PDF-1.7\n"},
        {"no pages", makePdf({})},
        {"truncated", good.substr(0, good.size() / 3)},
        {"binary", std::string(4096, '\xA5')},
    };
    for (const auto& [what, bytes] : bad) {
        const Read r = readBytes(bytes);
        EXPECT_FALSE(r.ok) << what;
        EXPECT_FALSE(r.error.message.empty()) << what;
        EXPECT_EQ(r.error.message.find('\n'), std::string::npos) << what;
    }
    EXPECT_NE(readBytes(makePdf({})).error.message.find("no pages"), std::string::npos);
    EXPECT_FALSE(readPath(path("missing.pdf")).ok);
}

TEST_F(PdfBadInput, AbsurdImageIsRefusedWithoutAllocatingIt) {
    // 100,000 x 100,000 pixels declared, a few bytes given.
    const Read r =
        readBytes(makePdf({"q 100 0 0 100 0 0 cm BI /W 100000 /H 100000 /CS /G /BPC 8 "
                           "ID \x01\x02\x03\nEI Q"}));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.message.find("image"), std::string::npos) << r.error.message;
}

}  // namespace

// The memory budget of a page: what it admits and refuses, and how far
// below it the pages of real drawings stay.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include "drawing/memory_budget.h"
#include "drawing/pdf/pdf_reader.h"
#include "drawing/sxf/sxf.h"
#include "drawing/tiff/tiff_reader.h"
#include "read_all.h"

namespace {

using namespace drawing;
namespace fs = std::filesystem;

TEST(MemoryBudget, ChargesUpToItsLimitAndRefusesBeyondItUntilTheNextPage) {
    PageBudget b(1000);
    EXPECT_TRUE(b.charge(600));
    EXPECT_TRUE(b.charge(400));
    EXPECT_FALSE(b.over());
    EXPECT_FALSE(b.charge(1));
    EXPECT_TRUE(b.over());
    EXPECT_EQ(b.used(), 1000u);  // the refused charge is not added
    b.release(300);
    EXPECT_TRUE(b.charge(300));
    EXPECT_FALSE(b.charge(std::numeric_limits<std::size_t>::max()));
    b.startPage();
    EXPECT_FALSE(b.over());
    EXPECT_EQ(b.used(), 0u);
    EXPECT_TRUE(b.charge(1000));
}

TEST(MemoryBudget, AMultipleOfTheFileWithAFloorAndOneLineOfRefusal) {
    EXPECT_EQ(pageBudgetFor(0), kPageBudgetFloor);
    EXPECT_EQ(pageBudgetFor(5000), kPageBudgetFloor);
    EXPECT_EQ(pageBudgetFor(std::uintmax_t(100) << 20), kPageBudgetPerFileByte * (100u << 20));
    EXPECT_EQ(pageBudgetFor(std::numeric_limits<std::uintmax_t>::max()),
              std::numeric_limits<std::size_t>::max());
    const std::string why = PageBudget(pageBudgetFor(std::uintmax_t(10) << 20)).refusal();
    EXPECT_EQ(why,
              "a page needs more than 640 MiB of memory, its budget (64 times the file's size, "
              "at least 384 MiB)");
    // Every page the TIFF reader takes, an A0 scan at 400 dpi in grey
    // among them, fits its budget whatever the file's size.
    EXPECT_LT(kTiffMaxPageBytes + kTiffMaxPageBytes / 4, kPageBudgetFloor);
    EXPECT_LT(13244.0 * 18724.0, static_cast<double>(kTiffMaxPageBytes));
}

// Each sample page with what it built: the largest page and the largest
// multiple of its file's size are printed, and every page stays below an
// eighth of its budget.
TEST(MemoryBudget, PagesOfRealDrawingsStayFarBelowTheirBudget) {
    std::size_t largest = 0;
    double ratio = 0;
    std::string largestName;
    std::string ratioName;
    int pages = 0;
    const auto measure = [&](const fs::path& file, const test::Read& r) {
        ASSERT_TRUE(r.ok) << file << ": " << r.error.message;
        const auto size = fs::file_size(file);
        for (const auto& page : r.pages) {
            ++pages;
            const std::size_t bytes = bytesOf(page);
            EXPECT_LT(bytes, pageBudgetFor(size) / 8) << file;
            if (bytes > largest) {
                largest = bytes;
                largestName = file.filename().string();
            }
            if (static_cast<double>(bytes) / size > ratio) {
                ratio = static_cast<double>(bytes) / size;
                ratioName = file.filename().string();
            }
        }
    };
    for (const auto& e : fs::recursive_directory_iterator(MERVIK_SAMPLES_DIR)) {
        const std::string ext = e.path().extension().string();
        const std::string path = e.path().string();
        if (ext == ".pdf") {
            measure(e.path(), test::readAll([&](const PageSink& sink, ReadError& error) {
                        return readPdfFile(path, sink, error);
                    }));
        } else if (ext == ".hp" || ext == ".hpg" || ext == ".hpgl" || ext == ".plt") {
            measure(e.path(), test::readAll([&](const PageSink& sink, ReadError& error) {
                        return readHpglFile(path, sink, error);
                    }));
        }
    }
    for (const auto& e : fs::directory_iterator(MERVIK_SXF_CORPUS_DIR)) {
        const std::string ext = e.path().extension().string();
        const std::string path = e.path().string();
        if (ext == ".p21" || ext == ".sfc") {
            measure(e.path(), test::readAll([&](const PageSink& sink, ReadError& error) {
                        return readSxfFile(path, sink, error);
                    }));
        }
    }
    EXPECT_GT(pages, 50);
    std::printf(
        "%d sample pages; the largest builds %.1f MB (%s); the most per byte of its "
        "file %.1f (%s)\n",
        pages, largest / 1e6, largestName.c_str(), ratio, ratioName.c_str());
}

}  // namespace

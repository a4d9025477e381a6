#include "tolvane/parameters.h"

#include <gtest/gtest.h>

#include "drawing/hpgl/hpgl.h"
#include "test_util.h"
#include "tolvane/convert.h"

namespace {

using namespace tolvane;

TEST(Parameters, DefaultsRoundTrip) {
    const Parameters p = parseParameters(defaultParameterText());
    const Parameters d;
    EXPECT_EQ(p.dpi, d.dpi);
    EXPECT_EQ(p.deflate, d.deflate);
    EXPECT_EQ(p.hpglExtensions, d.hpglExtensions);
    EXPECT_EQ(p.mode, Mode::ByArguments);
    EXPECT_FALSE(p.fitSheet || p.blackOnly);
}

TEST(Parameters, ValuesAndFallbacks) {
    Parameters p = parseParameters("x\n150\ndeflate\nplt;;HPG\n0\n0\n0\n1\n1\n1\n");
    EXPECT_EQ(p.dpi, 150);
    EXPECT_TRUE(p.deflate);
    EXPECT_TRUE(p.fitSheet && p.blackOnly);
    EXPECT_EQ(p.mode, Mode::Split);
    EXPECT_TRUE(extensionInList("hpg", p.hpglExtensions));
    EXPECT_TRUE(extensionInList("", p.hpglExtensions));  // the empty entry
    EXPECT_FALSE(extensionInList("hgl", p.hpglExtensions));

    // Out-of-range or unreadable values and missing lines take the defaults.
    p = parseParameters("x\r\n5000\r\nzip\r\n\r\n0\r\n0\r\n0\r\nyes\r\n1\r\n");
    EXPECT_EQ(p.dpi, 300);
    EXPECT_FALSE(p.deflate);
    EXPECT_TRUE(extensionInList("plt", p.hpglExtensions));
    EXPECT_FALSE(p.fitSheet);
    EXPECT_EQ(p.mode, Mode::Split);
    EXPECT_FALSE(p.blackOnly);
    EXPECT_EQ(parseParameters("").mode, Mode::ByArguments);
    EXPECT_EQ(parseParameters("x\n\n\n\n\n\n\n\n0\n").mode, Mode::Join);
    EXPECT_EQ(parseParameters("x\n\n\n\n\n\n\n\n2\n").mode, Mode::ByArguments);
}

TEST(Parameters, WithoutALine9TheArgumentsChooseTheMode) {
    Parameters p;
    EXPECT_EQ(effectiveMode(p, "/w/Temp3/plan*.hgl"), Mode::Join);
    EXPECT_EQ(effectiveMode(p, "/w/Temp3/plan_00000?.hgl"), Mode::Join);
    EXPECT_EQ(effectiveMode(p, "/w/in/plan.pdf"), Mode::Split);
    // A wildcard in a folder name is no pattern: the file is plain.
    EXPECT_EQ(effectiveMode(p, "/w/what?/plan.pdf"), Mode::Split);
    // The file's own line wins over the arguments.
    p.mode = Mode::Join;
    EXPECT_EQ(effectiveMode(p, "/w/in/plan.pdf"), Mode::Join);
    p.mode = Mode::Split;
    EXPECT_EQ(effectiveMode(p, "/w/Temp3/plan*.hgl"), Mode::Split);
}

TEST(PageNames, SortByNameInPageOrder) {
    EXPECT_EQ(pageFileName("/t/Temp1/plan.a.hgl", 7), "/t/Temp1/plan.a_000007.hgl");
    EXPECT_EQ(pageFileName("plan", 1), "plan_000001.hgl");
    EXPECT_LT(pageFileName("p.hgl", 99999), pageFileName("p.hgl", 100000));
    EXPECT_LT(pageFileName("p.hgl", 9), pageFileName("p.hgl", 10));
}

// The split counts a large plot's pages before it writes one only when its
// bytes allow too many: the bound must never fall short of the pages the
// reader finds, however they end, a page end split across the bound's
// reads included.
TEST(PageNames, APlotHoldsNoMorePagesThanItsBytesAllow) {
    const tolvane::test::TempDir dir;
    const std::string esc = "\x1B";
    const std::string line = "PU0,0;PD100,100;";
    // A page end across the bound's reads of a MiB each.
    const std::string head = "IN;" + line;
    const std::string across = head + std::string((1 << 20) - 1 - head.size(), ';') + "PG;" + line;
    const std::string plots[] = {
        "IN;" + line + "PG;" + line + "pg;" + line + "Pg" + line,
        "IN;" + line + esc + "E" + line + esc + "%-12345X" + esc + "E" + line + "PG;",
        // In PCL context a form feed ends the page.
        esc + "E" + esc + "%1B" + line + esc + "%0A" + "\f" + esc + "%1B" + line,
        "IN;" + line + "LBPGPG\x03PG;" + line,
        across,
    };
    ASSERT_EQ(across[(1 << 20) - 1], 'P');
    for (const std::string& plot : plots) {
        const std::string file = dir / "plot.hgl";
        tolvane::test::writeText(file, plot);
        long long pages = 0;
        drawing::ReadError error;
        ASSERT_TRUE(drawing::readHpglFile(
            file,
            [&](drawing::Page&&) {
                ++pages;
                return true;
            },
            error))
            << error.message;
        EXPECT_GE(pages, 2);
        EXPECT_GE(pageEndsAtMost(file), pages) << plot.substr(0, 60);
    }
    EXPECT_EQ(pageEndsAtMost(dir / "missing.hgl"), -1);
}

// The bound counts exactly the escapes, form feeds and P-G pairs of
// either case, wherever they fall: at the start, in the last bytes, across
// the eight bytes it takes at a time and across its reads of a MiB.
TEST(PageNames, EveryPageEndOfAPlotIsCountedOnce) {
    const tolvane::test::TempDir dir;
    const std::string alphabet = "PpGg\x1B\f;x";
    unsigned state = 12345;
    const auto next = [&](unsigned range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    const auto expected = [](const std::string& plot) {
        long long ends = 1;
        for (std::size_t i = 0; i < plot.size(); ++i) {
            const char c = plot[i];
            const bool pg =
                i > 0 && (plot[i - 1] == 'P' || plot[i - 1] == 'p') && (c == 'G' || c == 'g');
            ends += c == '\x1B' || c == '\f' || pg ? 1 : 0;
        }
        return ends;
    };
    std::vector<std::string> plots = {"", "G", "PG", "pgPGpG", "gP", std::string(9, 'P') + "G"};
    for (int k = 0; k < 300; ++k) {
        std::string plot;
        const unsigned size = next(40);
        for (unsigned i = 0; i < size; ++i) {
            plot += alphabet[next(static_cast<unsigned>(alphabet.size()))];
        }
        plots.push_back(plot);
    }
    std::string large;
    for (unsigned i = 0; i < (1u << 20) + 21; ++i) {
        large += alphabet[next(static_cast<unsigned>(alphabet.size()))];
    }
    plots.push_back(large);
    for (const std::string& plot : plots) {
        const std::string file = dir / "plot.hgl";
        tolvane::test::writeText(file, plot);
        ASSERT_EQ(pageEndsAtMost(file), expected(plot)) << plot.substr(0, 60);
    }
}

TEST(OutputSwitches, KnownSwitchesOnly) {
    OutputKind k{};
    EXPECT_TRUE(outputKindFromSwitch("/p", k));
    EXPECT_EQ(k, OutputKind::Pdf);
    EXPECT_TRUE(outputKindFromSwitch("/T", k));
    EXPECT_EQ(k, OutputKind::Tiff);
    EXPECT_FALSE(outputKindFromSwitch("/x", k));
    EXPECT_FALSE(outputKindFromSwitch("p", k));
    EXPECT_FALSE(outputKindFromSwitch("", k));
}

}  // namespace

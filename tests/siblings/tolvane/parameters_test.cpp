#include "tolvane/parameters.h"

#include <gtest/gtest.h>

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

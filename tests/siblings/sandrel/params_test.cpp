#include <gtest/gtest.h>

#include "sandrel/params.h"

namespace sandrel {
namespace {

TEST(SandrelParameters, DefaultTextGivesTheDefaults) {
    Options options;
    options.toleranceMm = 9;
    options.dpi = 9;
    options.compareStyle = true;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(parseParameters(defaultParameterText(), options, warnings, error)) << error;
    const Options defaults;
    EXPECT_EQ(options.toleranceMm, defaults.toleranceMm);
    EXPECT_EQ(options.dpi, defaults.dpi);
    EXPECT_EQ(options.unchangedColor, defaults.unchangedColor);
    EXPECT_EQ(options.removedColor, defaults.removedColor);
    EXPECT_EQ(options.addedColor, defaults.addedColor);
    EXPECT_FALSE(options.compareStyle);
    EXPECT_TRUE(warnings.empty());
}

TEST(SandrelParameters, ValuesCaseAndLineEnds) {
    Options options;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(
        parseParameters("tolerance=0.5\r\n  ADDEDCOLOR = #00aa11 \r\nResolution=300\r\n"
                        "CompareStyle = 1\r\nFuture = x\r\n",
                        options, warnings, error))
        << error;
    EXPECT_EQ(options.toleranceMm, 0.5);
    EXPECT_EQ(options.addedColor, 0x00AA11u);
    EXPECT_EQ(options.dpi, 300);
    EXPECT_TRUE(options.compareStyle);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("line 5"), std::string::npos);
}

TEST(SandrelParameters, BadValuesNameTheirLine) {
    for (const char* text :
         {"Tolerance = -1", "Tolerance = 0.2mm", "Resolution = 0", "Resolution = 99999",
          "RemovedColor = red", "RemovedColor = FF00", "CompareStyle = yes", "CompareWidth = 2",
          "WidthTolerance = -5", "AlignScans = on", "just words"}) {
        Options options;
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_FALSE(parseParameters(std::string("# comment\n") + text, options, warnings, error))
            << text;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    }
}

// A file written by an earlier version knows nothing of widths or scans:
// it loads without a warning and leaves them at their defaults, on.
TEST(SandrelParameters, EarlierFileLoadsWithTheNewDefaults) {
    const std::string earlier =
        "Tolerance = 0.2\nUnchangedColor = B4B4B4\nRemovedColor = FF0000\n"
        "AddedColor = 0000FF\nMarkColor = FF9900\nRegionGap = 5\nResolution = 200\n"
        "CompareStyle = 0\n";
    Options options;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(parseParameters(earlier, options, warnings, error)) << error;
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(options.compareWidth);
    EXPECT_TRUE(options.alignScans);
    ASSERT_TRUE(
        parseParameters("comparewidth = 0\nWidthTolerance = 40\nWidthToleranceMm = 0.3\n"
                        "AlignScans = 0\n",
                        options, warnings, error))
        << error;
    EXPECT_FALSE(options.compareWidth);
    EXPECT_EQ(options.widthTolerancePercent, 40);
    EXPECT_EQ(options.widthToleranceMm, 0.3);
    EXPECT_FALSE(options.alignScans);
}

}  // namespace
}  // namespace sandrel

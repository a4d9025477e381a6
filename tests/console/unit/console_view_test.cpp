#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/console_view.h"

namespace mervik {
namespace {

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

TEST(ConsoleView, LogLinesOnlyWhenNotATerminal) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        ConsoleView view(f, false);
        view.setStatus("Waiting!  Waiting time=0Hour0Minute2Second");
        view.addLogLine("* Start Input file : a b.pdf");
        view.addLogLine("4.Tolvane  Temp3\\1PageMultiFiles ==> OutDir\\MultiPage1File ");
        EXPECT_EQ(view.logLineCount(), 2);
        view.clearLog();
        EXPECT_EQ(view.logLineCount(), 0);
    }
    EXPECT_EQ(contents(f),
              "* Start Input file : a b.pdf\n"
              "4.Tolvane  Temp3\\1PageMultiFiles ==> OutDir\\MultiPage1File \n");
    std::fclose(f);
}

TEST(ConsoleView, StatusInPlaceIsClearedBeforeALogLine) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        ConsoleView view(f, true);
        view.setStatus("W2");
        view.setStatus("W0");
        view.addLogLine("line");
        view.setStatus("Outputting !");
    }
    EXPECT_EQ(contents(f), "\r\033[KW2\r\033[KW0\r\033[Kline\n\r\033[KOutputting !\n");
    std::fclose(f);
}

TEST(ConsoleView, WarningLinesBreakAtCr) {
    EXPECT_EQ(warningForConsole("File does not exist!\r/x/tolvane\rRegister comparison with the "
                                "Set Button"),
              "File does not exist!\n/x/tolvane\nRegister comparison with the Set Button");
}

}  // namespace
}  // namespace mervik

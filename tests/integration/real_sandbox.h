// A sandbox whose sibling programs are our own tolvane and sandrel, shared by
// the end-to-end tests that run mervik-cli with them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/console/e2e/harness.h"

namespace e2e {

inline std::string commandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    pclose(pipe);
    return out;
}

inline std::string shellQuoted(const std::string& path) {
    return "'" + path + "'";
}

// A sandbox whose sibling programs are ours, each with its parameter file
// as an installer leaves it; without installing, tolvane has none yet (a
// fresh machine where nobody ran "tolvane --init").
struct RealSiblingsSandbox : e2e::Sandbox {
    explicit RealSiblingsSandbox(bool installTolvane = true) {
        unlink(tolvane.c_str());
        unlink(sandrel.c_str());
        EXPECT_EQ(symlink(TOLVANE_PATH, tolvane.c_str()), 0);
        EXPECT_EQ(symlink(SANDREL_PATH, sandrel.c_str()), 0);
        unlink(tolvanePar.c_str());
        unlink(sandrelPar.c_str());
        const std::string env = "HOME=" + shellQuoted(home) + " XDG_DATA_HOME=" + shellQuoted(xdg) +
                                " XDG_CACHE_HOME=" + shellQuoted(home + "/.cache") + " ";
        if (installTolvane) {
            EXPECT_EQ(std::system((env + shellQuoted(tolvane) + " --init >/dev/null").c_str()), 0);
            installedTolvanePar = readText(tolvanePar).value_or("");
            EXPECT_FALSE(installedTolvanePar.empty());
        }
        EXPECT_EQ(std::system((env + shellQuoted(sandrel) + " --init >/dev/null").c_str()), 0);
        writePar();
    }
    std::string installedTolvanePar;
};

// The demo pair (HP-GL) of the given number of pages.
inline void makeDemoPair(const std::string& first, const std::string& second, int pages) {
    const std::string make = std::string("bash ") + DEMO_PAIR_SCRIPT + " " + shellQuoted(first) +
                             " " + shellQuoted(second) + " " + std::to_string(pages);
    EXPECT_EQ(std::system(make.c_str()), 0);
}

}  // namespace e2e

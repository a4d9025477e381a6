#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "automation/mervik_core.h"
#include "automation/run_view.h"
#include "automation/sibling_runner.h"
#include "platform/process_spawn.h"
#include "settings/Tolvane1.h"

namespace mervik::test {

namespace fs = std::filesystem;

inline void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Sets or clears the immutable flag, which stops even root from deleting the file.
inline bool setImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

// Sets the file's times to a minute ago: complete, as far as the settle time can tell.
inline void backdateForTest(const std::string& path) {
    std::error_code ec;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(1), ec);
}

// The folders of failed runs under dataDir/Failed, sorted, with a trailing "/".
inline std::vector<std::string> failedRuns(const std::string& dataDir) {
    std::vector<std::string> runs;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dataDir + "/Failed", ec))
        runs.push_back(e.path().string() + "/");
    std::sort(runs.begin(), runs.end());
    return runs;
}

// Records everything the core shows; the timer is a flag the test drives.
class FakeView : public RunView {
  public:
    void setStatus(const std::string& text) override { status = text; }
    void addLogLine(const std::string& line) override { log.push_back(line); }
    int logLineCount() const override { return static_cast<int>(log.size()); }
    void clearLog() override { log.clear(); }
    void processPendingMessages() override { ++pumps; }
    void setControlsEnabled(bool enabled) override { controlsEnabled = enabled; }
    void setTimerEnabled(bool enabled) override { timer = enabled; }
    bool isTimerEnabled() const override { return timer; }

    std::string status;
    std::vector<std::string> log;
    int pumps = 0;
    bool controlsEnabled = true;
    bool timer = false;
};

// Plays the siblings: the split writes splitPages[0] / [1] pages, the comparison
// comparePages result pages, the join writes its output file when joinWrites.
class ScriptedRunner : public SiblingRunner {
  public:
    void run(const std::string& commandLine) override {
        lines.push_back(commandLine);
        environments.push_back(environment());
        const std::vector<std::string> args = splitCommandLine(commandLine);
        const bool join = args.size() == 4 && args[2].find('*') != std::string::npos;
        const std::size_t step = args.size() == 6 ? 3
                                 : join           ? 4
                                 : args.size() == 4 && args[3].find("/Temp1/") != std::string::npos
                                     ? 1
                                     : 2;
        if (step <= 2 && args.size() == 4) {
            const fs::path page(args[3]);
            for (int i = 0; i < splitPages[step - 1]; ++i)
                writeFile((page.parent_path() /
                           (page.stem().string() + "_" + std::to_string(i + 1) + ".hgl"))
                              .string(),
                          "page");
        } else if (step == 3) {
            for (int i = 0; i < comparePages; ++i)
                writeFile(args[5] + "r" + std::to_string(i + 1) + ".hgl", "result");
        } else if (step == 4 && joinWrites) {
            writeFile(args[3], "joined");
        }
    }

    void startAhead(const std::string& commandLine) override {
        ahead.push_back(commandLine);
        aheadEnvironments.push_back(environment());
    }
    void dropAhead() override { ++dropped; }

    std::vector<std::string> lines;
    std::vector<std::vector<std::string>> environments;  // what each step was given
    std::vector<std::string> ahead;  // command lines started ahead of their step
    std::vector<std::vector<std::string>> aheadEnvironments;
    int dropped = 0;
    int splitPages[2] = {2, 2};
    int comparePages = 2;
    bool joinWrites = true;
};

// A temporary home with folders 1 and 2, an output folder and a data folder.
class CoreFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path().toStdString();
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/share").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        Settings = TSettings{};
        settings = TSettings{};
        setWarningHook([this](const std::string& t) { warnings.push_back(t); });
        in1 = root + "/in1/";
        in2 = root + "/in2/";
        out = root + "/out/";
        for (const std::string& d : {in1, in2, out})
            fs::create_directories(d);
        local = root + "/share";
        writeFile(root + "/bin/sandrel", "");
        writeFile(root + "/bin/tolvane", "");
        settings.sSandrelExe = root + "/bin/sandrel";
        settings.sTolvaneExe = root + "/bin/tolvane";
        settings.sChgAreaDir1 = in1 + "*.pdf";
        settings.sChgAreaDir2 = in2;
        settings.sOutDir = out;
        settings.iWaitTime = 2;
        setDataFolder(settings, local);
        fs::create_directories(settings.sDataDir);
        env.localAppData = local;
        env.initFolder = root + "/Init";
        env.timestamp = [] { return std::string("8 Dec 2026 09:05:03"); };
        // The inputs of these tests are complete as soon as they are written.
        env.settleTime = std::chrono::milliseconds(0);
    }
    void TearDown() override { setWarningHook({}); }

    MervikCore makeCore() { return MervikCore(settings, view, runner, env); }
    std::string errorLog() { return readFile(settings.sDataDir + "/Error.txt"); }
    void pair(const std::string& name) {
        writeFile(in1 + name, "one");
        writeFile(in2 + name, "two");
    }

    QTemporaryDir tmp;
    std::string root, in1, in2, out, local;
    TSettings settings;
    FakeView view;
    ScriptedRunner runner;
    CoreEnvironment env;
    std::vector<std::string> warnings;
};

}  // namespace mervik::test

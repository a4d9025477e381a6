// The core's own costs: the folder searches of a poll and the start-and-wait
// of a sibling program, beside the usual ways of starting a program.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "automation/mervik_core.h"
#include "automation/run_view.h"
#include "automation/sibling_runner.h"

namespace fs = std::filesystem;

namespace {

class NullView : public mervik::RunView {
  public:
    void setStatus(const std::string&) override {}
    void addLogLine(const std::string&) override {}
    int logLineCount() const override { return 0; }
    void clearLog() override {}
    void processPendingMessages() override {}
    void setControlsEnabled(bool) override {}
    void setTimerEnabled(bool e) override { timer_ = e; }
    bool isTimerEnabled() const override { return timer_; }

  private:
    bool timer_ = false;
};

void touch(const std::string& path) {
    std::ofstream(path) << "x";
}

// Folders of n entries, made once per size and kept for the whole program.
struct Fixture {
    std::string root, in1, in2;
};

std::map<int, Fixture> made;

const Fixture& folders(int n) {
    auto it = made.find(n);
    if (it != made.end()) {
        return it->second;
    }
    char tmpl[] = "/tmp/mervik-bench-XXXXXX";
    Fixture f{mkdtemp(tmpl), {}, {}};
    f.in1 = f.root + "/in1/";
    f.in2 = f.root + "/in2/";
    fs::create_directories(f.in1);
    fs::create_directories(f.in2);
    // Folder 1: n - 1 other files and one input; folder 2: n files, the partner among them.
    for (int i = 0; i < n - 1; ++i) {
        const std::string name = "page" + std::to_string(i);
        touch(f.in1 + name + ".txt");
        touch(f.in2 + name + ".hgl");
    }
    touch(f.in1 + "plan.hgl");
    touch(f.in2 + "plan.hgl");
    return made.emplace(n, f).first->second;
}

struct Core {
    mervik::TSettings settings;
    NullView view;
    mervik::ProcessRunner runner;
    std::unique_ptr<mervik::MervikCore> core;
    Core() {
        core = std::make_unique<mervik::MervikCore>(
            settings, view, runner,
            mervik::CoreEnvironment{"/tmp", "/tmp", [] { return std::string("now"); }});
    }
};

// A poll that has to read all of folder 1 to find its one input, then folder 2.
void BM_FindInputFile(benchmark::State& state) {
    const Fixture& f = folders(static_cast<int>(state.range(0)));
    Core c;
    c.settings.sChgAreaDir1 = f.in1 + "*.hgl";
    c.settings.sChgAreaDir2 = f.in2;
    for (auto _ : state) {
        const std::string name = c.core->FindInputFile();
        if (name != "plan.hgl") {
            state.SkipWithError("no pair found");
        }
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_FindInputFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_CountFolderEntries(benchmark::State& state) {
    const Fixture& f = folders(static_cast<int>(state.range(0)));
    Core c;
    for (auto _ : state) {
        const int n = c.core->CountFolderEntries(f.in2);
        if (n != state.range(0)) {
            state.SkipWithError("wrong count");
        }
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_CountFolderEntries)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ExecCommandLine(benchmark::State& state) {
    Core c;
    for (auto _ : state) {
        c.core->ExecCommandLine("\"/bin/true\" \"/h\" \"x\"");
    }
}
BENCHMARK(BM_ExecCommandLine)->Unit(benchmark::kMicrosecond);

void BM_QProcessExecute(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(QProcess::execute(QStringLiteral("/bin/true"),
                                                   {QStringLiteral("/h"), QStringLiteral("x")}));
    }
}
BENCHMARK(BM_QProcessExecute)->Unit(benchmark::kMicrosecond);

void BM_StdSystem(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::system("\"/bin/true\" \"/h\" \"x\""));
    }
}
BENCHMARK(BM_StdSystem)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [n, f] : made) {
        std::error_code ec;
        fs::remove_all(f.root, ec);
    }
    return 0;
}

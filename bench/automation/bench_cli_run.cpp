// The cost of one pass of mervik-cli --once, start to end, with sibling
// programs that do the least they can, beside the cost of those siblings alone.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace fs = std::filesystem;

namespace {

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int spawnWait(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return testsupport::runAndWait(args, env, "/dev/null", "");
}

// A home of its own with a parameter file naming the fake siblings.
struct Home {
    std::string root, data, in1, in2, out, tolvane, sandrel, control;
    std::vector<std::string> env;

    explicit Home(const std::string& controlText) {
        char tmpl[] = "/tmp/mervik-bench-run-XXXXXX";
        root = mkdtemp(tmpl);
        const std::string xdg = root + "/share";
        data = xdg + "/Corvanta/Mervik";
        in1 = root + "/in1/";
        in2 = root + "/in2/";
        out = root + "/out/";
        for (const auto& f : {data, in1, in2, out, root + "/bin", xdg + "/Corvanta/Tolvane",
                              xdg + "/Corvanta/Sandrel"}) {
            fs::create_directories(f);
        }
        tolvane = root + "/bin/tolvane";
        sandrel = root + "/bin/sandrel";
        fs::create_symlink(FAKE_SIBLING_PATH, tolvane);
        fs::create_symlink(FAKE_SIBLING_PATH, sandrel);
        write(xdg + "/Corvanta/Tolvane/Tolvane.par",
              "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n0\r\n0\r\n0\r\n");
        write(xdg + "/Corvanta/Sandrel/Sandrel.par", "s\r\n");
        control = root + "/control.txt";
        write(control, controlText);
        const std::vector<std::string> lines = {
            "Version 11.00", "hgl",   "tif",   "pdf", "emf", "dxf",         "dwg", "igs",
            "gbr",           sandrel, tolvane, out,   "2",   in1 + "*.hgl", in2,   "4"};
        std::string par;
        for (const auto& l : lines) {
            par += l + "\r\n";
        }
        write(data + "/Mervik.par", par);
        env = testsupport::environmentWithout({"HOME=", "XDG_"});
        env.push_back("HOME=" + root);
        env.push_back("XDG_DATA_HOME=" + xdg);
        env.push_back("XDG_RUNTIME_DIR=" + root);
        env.push_back("FAKE_SIBLING_CONTROL=" + control);
    }
    ~Home() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void pair() {
        write(in1 + "plan.hgl", "pages=1\n");
        write(in2 + "plan.hgl", "pages=1\n");
    }
};

// Start-up, start checks, one poll that finds nothing, the end.
void BM_CliNoPair(benchmark::State& state) {
    Home h("");
    for (auto _ : state) {
        if (spawnWait({MERVIK_CLI_PATH, "--once"}, h.env) != 0) {
            state.SkipWithError("mervik-cli failed");
        }
    }
}
BENCHMARK(BM_CliNoPair)->Unit(benchmark::kMillisecond)->UseRealTime();

// One complete pass: four sibling calls writing one page each.
void BM_CliOnePass(benchmark::State& state) {
    Home h("");
    for (auto _ : state) {
        state.PauseTiming();
        h.pair();
        state.ResumeTiming();
        if (spawnWait({MERVIK_CLI_PATH, "--once"}, h.env) != 0 || fs::exists(h.in1 + "plan.hgl")) {
            state.SkipWithError("the pass did not complete");
        }
    }
}
BENCHMARK(BM_CliOnePass)->Unit(benchmark::kMillisecond)->UseRealTime();

// Siblings that exit at once: two steps, the counts, the failed pair moved aside.
void BM_CliSiblingsExitAtOnce(benchmark::State& state) {
    Home h("split.mode=exit\ncompare.mode=exit\njoin.mode=exit\n");
    for (auto _ : state) {
        state.PauseTiming();
        h.pair();
        std::error_code ec;
        fs::remove_all(h.data + "/Failed", ec);
        state.ResumeTiming();
        spawnWait({MERVIK_CLI_PATH, "--once"}, h.env);
    }
}
BENCHMARK(BM_CliSiblingsExitAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// The siblings' share of BM_CliOnePass: the same four calls without mervik-cli.
void BM_FakeSiblingsAlone(benchmark::State& state) {
    Home h("");
    const std::string t = h.root + "/t/";
    fs::create_directories(t + "1");
    fs::create_directories(t + "2");
    fs::create_directories(t + "3");
    for (auto _ : state) {
        state.PauseTiming();
        h.pair();
        state.ResumeTiming();
        spawnWait({h.tolvane, "/h", h.in1 + "plan.hgl", t + "1/plan.hgl"}, h.env);
        spawnWait({h.tolvane, "/h", h.in2 + "plan.hgl", t + "2/plan.hgl"}, h.env);
        spawnWait({h.sandrel, "/h", "/oh", t + "1/plan*.hgl", t + "2/", t + "3/"}, h.env);
        spawnWait({h.tolvane, "/h", t + "3/plan*.hgl", h.out + "plan.hgl"}, h.env);
    }
}
BENCHMARK(BM_FakeSiblingsAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

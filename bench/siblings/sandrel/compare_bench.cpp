// Time and peak memory of comparing two generated pages.
//
//   build/bin/sandrel_bench
//
// peak_MB is the most heap the comparison held at once, beyond the two
// input pages, counted by the allocation functions below.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "sandrel/compare.h"
#include "sandrel/testgen.h"

namespace {

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t now = live += malloc_usable_size(p);
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}

void release(void* p) {
    if (p != nullptr) {
        live -= malloc_usable_size(p);
        std::free(p);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}

namespace {

void comparePair(benchmark::State& state, bool raster) {
    const sandrel::Options options;
    const auto pair =
        sandrel::makePair(static_cast<std::size_t>(state.range(0)), options.toleranceMm, 1);
    std::size_t worst = 0;
    std::size_t changed = 0;
    for (auto _ : state) {
        const std::size_t before = live.load();
        peak = before;
        sandrel::Result result;
        if (raster) {
            std::string error;
            benchmark::DoNotOptimize(
                sandrel::compareRasters(pair.base, pair.variant, options, result, error));
        } else {
            result = sandrel::compareVectors(pair.base, pair.variant, options);
        }
        changed = static_cast<std::size_t>(result.lines.removed + result.pixels.removed);
        worst = std::max(worst, peak.load() - before);
        benchmark::DoNotOptimize(result);
    }
    state.counters["peak_MB"] = static_cast<double>(worst) / 1e6;
    state.counters["segments"] = static_cast<double>(state.range(0));
    state.counters["removed"] = static_cast<double>(changed);
}

void vectorPages(benchmark::State& state) {
    comparePair(state, false);
}

// A dense A0 sheet of the shape CAD exports have, in memory: the cost of
// the comparison alone, regions included.
void denseSheets(benchmark::State& state) {
    const sandrel::Options options;
    const auto pair = sandrel::makeDensePair(static_cast<std::size_t>(state.range(0)), 1);
    std::size_t worst = 0;
    std::size_t regions = 0;
    for (auto _ : state) {
        const std::size_t before = live.load();
        peak = before;
        sandrel::Result result;
        std::string error;
        benchmark::DoNotOptimize(
            sandrel::comparePages(pair.base, pair.variant, options, result, error));
        regions = result.regions.size();
        worst = std::max(worst, peak.load() - before);
        benchmark::DoNotOptimize(result);
    }
    state.counters["peak_MB"] = static_cast<double>(worst) / 1e6;
    state.counters["segments"] = static_cast<double>(state.range(0));
    state.counters["regions"] = static_cast<double>(regions);
}
void rasterPages(benchmark::State& state) {
    comparePair(state, true);
}

}  // namespace

BENCHMARK(vectorPages)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(denseSheets)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Drawings of 2,500 segments fill 0.5 m square, about A2: rendered and
// compared pixel by pixel at 200 dpi.
BENCHMARK(rasterPages)->Arg(2500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Reading speed of the HP-GL reader, and its peak memory over plots of
// growing page count: the plot is generated as it is read, so the process's
// peak resident size shows what the reader itself keeps.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "drawing/hpgl/hpgl.h"

namespace {

// Produces `pages` pages of `lines` polylines each, page by page.
class PlotSource : public std::streambuf {
  public:
    PlotSource(int pages, int lines) : pages_(pages), lines_(lines) {}
    std::size_t produced() const { return produced_; }

  protected:
    int_type underflow() override {
        if (page_ >= pages_) {
            return traits_type::eof();
        }
        chunk_ = page_ == 0 ? "IN;SP1;" : "";
        for (int i = 0; i < lines_; ++i) {
            chunk_ += "PU" + std::to_string(i * 7 % 10000) + "," + std::to_string(page_) + ";PD" +
                      std::to_string(i * 13 % 10000) + ",5000," + std::to_string(i % 8000) + "," +
                      std::to_string(i * 3 % 9000) + ";";
        }
        chunk_ += "LBpage " + std::to_string(page_) + "\x03;PG;\n";
        ++page_;
        produced_ += chunk_.size();
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type(chunk_[0]);
    }

  private:
    int pages_, lines_;
    int page_ = 0;
    std::string chunk_;
    std::size_t produced_ = 0;
};

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void readPages(benchmark::State& state) {
    const int pages = static_cast<int>(state.range(0));
    std::size_t bytes = 0;
    std::size_t handed = 0;
    for (auto _ : state) {
        PlotSource source(pages, 2000);
        std::istream in(&source);
        drawing::ReadError error;
        const bool ok = drawing::readHpgl(
            in,
            [&](drawing::Page&& page) {
                benchmark::DoNotOptimize(page.paths.data());
                ++handed;
                return true;
            },
            error);
        if (!ok) {
            state.SkipWithError(error.message.c_str());
            return;
        }
        bytes += source.produced();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(handed), benchmark::Counter::kIsRate);
    state.counters["peak_rss_MB"] = static_cast<double>(peakRssKb()) / 1024;
}
// Ascending page counts: a flat peak_rss_MB means memory does not grow with the file.
BENCHMARK(readPages)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void writeAndReadBack(benchmark::State& state) {
    drawing::Page page;
    for (int i = 0; i < 5000; ++i) {
        drawing::Path path;
        path.points = {{double(i), 0}, {double(i), 1000}, {double(i + 5), 2000}};
        path.stroke.pen = 1 + i % 8;
        path.stroke.color = static_cast<drawing::Rgb>(i * 2654435761u) & 0xFFFFFF;
        page.paths.push_back(path);
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out;
        drawing::HpglWriter writer(out);
        writer.writePage(page);
        writer.finish();
        std::istringstream in(out.str());
        drawing::ReadError error;
        drawing::readHpgl(
            in,
            [](drawing::Page&& p) {
                benchmark::DoNotOptimize(p.paths.data());
                return true;
            },
            error);
        bytes += out.str().size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(writeAndReadBack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

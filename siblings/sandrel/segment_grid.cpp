#include "sandrel/segment_grid.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <utility>

#include "sandrel/segment_set.h"

namespace sandrel {
namespace {

constexpr int kMaxCellsPerSide = 4096;
// The extent and typical length are estimated from at most this many
// segments: a sample sizes the grid as well as all of them would.
constexpr std::size_t kSample = 65536;
// Bits of the table that picks the segments that may repeat another, per
// segment: one in so many of the others shares a bit with it.
constexpr std::size_t kBitsPerSegment = 8;

// Leaves in `unique` only the first of equal segments. Most segments of a
// page have no equal: a count of hashes, two bits each in a table small
// enough to stay in cache, picks the few that may have one, and only those
// go into a set, which misses the cache on nearly every entry.
template <class S>
void dropRepeats(const std::vector<S>& segments, std::vector<std::uint32_t>& unique) {
    // Bit b of word 2 * (b / 64) is set once a hash falls on b, of the word
    // after it once a second one does: both in one cache line.
    const std::size_t bits =
        std::bit_ceil(std::max<std::size_t>(kBitsPerSegment * unique.size(), 64));
    std::vector<std::uint64_t> table(2 * (bits / 64), 0);
    const auto bitOf = [&](std::uint32_t i) {
        return (BasicSegmentSet<S>::hash(segments[i]) >> 24) & (bits - 1);
    };
    // Each sweep works out the slots a few places ahead and fetches them
    // while it reads or writes this one: on a page of a million segments
    // the table is larger than the nearest caches.
    constexpr std::size_t kAhead = 16;
    std::size_t ahead[kAhead];
    const std::size_t n = unique.size();
    const auto sweep = [&](auto&& use) {
        for (std::size_t k = 0; k < n && k < kAhead; ++k) {
            ahead[k] = bitOf(unique[k]);
            __builtin_prefetch(&table[2 * (ahead[k] >> 6)]);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t b = ahead[k % kAhead];
            if (k + kAhead < n) {
                ahead[k % kAhead] = bitOf(unique[k + kAhead]);
                __builtin_prefetch(&table[2 * (ahead[k % kAhead] >> 6)]);
            }
            use(unique[k], &table[2 * (b >> 6)], std::uint64_t{1} << (b & 63));
        }
    };
    sweep([](std::uint32_t, std::uint64_t* pair, std::uint64_t bit) {
        pair[1] |= pair[0] & bit;
        pair[0] |= bit;
    });
    std::vector<std::uint32_t> suspects;
    sweep([&](std::uint32_t i, const std::uint64_t* pair, std::uint64_t bit) {
        if ((pair[1] & bit) != 0) {
            suspects.push_back(i);
        }
    });
    std::vector<std::uint64_t>().swap(table);
    if (suspects.empty()) {
        return;
    }
    // Both lists ascend: the repeats found among the suspects are struck
    // from unique in one sweep.
    std::vector<std::uint32_t> repeats;
    {
        BasicSegmentSet<S> seen(segments, suspects.size());
        seen.insertAll(
            suspects.size(), [&](std::size_t k) { return suspects[k]; },
            [&](std::uint32_t i, bool fresh) {
                if (!fresh) {
                    repeats.push_back(i);
                }
            });
    }
    if (repeats.empty()) {
        return;
    }
    auto repeat = repeats.begin();
    std::erase_if(unique, [&](std::uint32_t i) {
        if (repeat != repeats.end() && *repeat == i) {
            ++repeat;
            return true;
        }
        return false;
    });
}

}  // namespace

template <class S>
BasicSegmentGrid<S>::BasicSegmentGrid(const std::vector<S>& segments, double reach)
    : stamp_(segments.size(), 0) {
    std::vector<std::uint32_t> all(segments.size());
    std::iota(all.begin(), all.end(), 0u);
    build(segments, std::move(all), reach, false);
}

template <class S>
BasicSegmentGrid<S>::BasicSegmentGrid(const std::vector<S>& segments,
                                      std::vector<std::uint32_t> keep, double reach,
                                      bool repeatsDropped)
    : stamp_(segments.size(), 0) {
    build(segments, std::move(keep), reach, repeatsDropped);
}

template <class S>
void BasicSegmentGrid<S>::build(const std::vector<S>& segments, std::vector<std::uint32_t> unique,
                                double reach, bool repeatsDropped) {
    // A line drawn many times over would make every query near it visit
    // every copy; one copy covers as much as all of them.
    if (!repeatsDropped) {
        dropRepeats(segments, unique);
    }
    const std::size_t n = unique.size();
    double width = 1;
    double height = 1;
    double typical = 0;
    if (n > 0) {
        // The sample is given back before the cells are filled: it is
        // megabytes on a page of letters, at the comparison's peak.
        const std::size_t step = std::max<std::size_t>(1, n / kSample);
        std::vector<double> xs;
        std::vector<double> ys;
        std::vector<double> lengths;
        xs.reserve(2 * (n / step + 1));
        ys.reserve(2 * (n / step + 1));
        lengths.reserve(n / step + 1);
        for (std::size_t k = 0; k < n; k += step) {
            const drawing::PrecisePoint a = segments[unique[k]].a();
            const drawing::PrecisePoint b = segments[unique[k]].b();
            xs.push_back(a.x);
            xs.push_back(b.x);
            ys.push_back(a.y);
            ys.push_back(b.y);
            lengths.push_back(std::hypot(b.x - a.x, b.y - a.y));
        }
        // The grid spans all but the outermost thousandth on each side.
        const auto quantile = [](std::vector<double>& v, double q) {
            const auto k = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1));
            std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
            return v[k];
        };
        const double cut = n < 1000 ? 0.0 : 0.001;
        x0_ = quantile(xs, cut);
        y0_ = quantile(ys, cut);
        width = std::max(quantile(xs, 1 - cut) - x0_, 1.0);
        height = std::max(quantile(ys, 1 - cut) - y0_, 1.0);
        typical = quantile(lengths, 0.5);
    }
    const double count = static_cast<double>(std::max<std::size_t>(n, 1));
    // About one segment per cell, but cells no smaller than half the median
    // segment, so long lines do not fill thousands of cells each.
    cell_ = std::max({std::sqrt(width * height / count), typical / 2, 2 * reach, 1e-3});
    cell_ = std::max({cell_, width / kMaxCellsPerSide, height / kMaxCellsPerSide});
    nx_ = std::clamp(static_cast<int>(width / cell_) + 1, 1, kMaxCellsPerSide + 1);
    ny_ = std::clamp(static_cast<int>(height / cell_) + 1, 1, kMaxCellsPerSide + 1);

    const std::size_t cells = static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_);
    start_.assign(cells + 1, 0);
    for (const auto i : unique) {
        forCells(segments[i].a(), segments[i].b(), reach, [&](std::size_t c) { ++start_[c + 1]; });
    }
    for (std::size_t c = 0; c < cells; ++c) {
        start_[c + 1] += start_[c];
    }
    items_.resize(start_[cells]);
    // Each cell's start serves as its cursor, and ends at the next cell's
    // start: moved up one place, they are the starts again. (A copy of
    // them to fill by was a megabyte and more at the comparison's peak.)
    for (const auto i : unique) {
        forCells(segments[i].a(), segments[i].b(), reach,
                 [&](std::size_t c) { items_[start_[c]++] = i; });
    }
    std::copy_backward(start_.begin(), start_.end() - 2, start_.end() - 1);
    start_[0] = 0;
}

template class BasicSegmentGrid<Segment>;

}  // namespace sandrel

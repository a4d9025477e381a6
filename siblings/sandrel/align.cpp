#include "sandrel/align.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sandrel {
namespace {

constexpr double kPi = std::numbers::pi;
// Beyond what the search must find (2 degrees, 1%), so that the best fit
// is not cut off at the edge of the range.
constexpr double kMaxAngleRad = 2.2 * kPi / 180;
constexpr double kMaxScale = 0.012;
constexpr double kMaxShiftShare = 0.03;
constexpr double kMinMaxShift = 40;
constexpr double kMaxShiftCap = 0.1;
// Cells of the finest level at most (memory: four bytes each), cells per
// side of the coarsest, and points scored in the last, sharp steps and in
// the others (which only bring the fit within a cell of the next).
constexpr std::size_t kMaxFineCells = 4'000'000;
constexpr int kCoarseSide = 100;
constexpr std::size_t kMaxPoints = 100'000;
constexpr std::size_t kMaxCoarsePoints = 25'000;

// Ink density of square cells of f pixels a side.
struct Level {
    int f = 1;
    int width = 0;
    int height = 0;
    std::vector<float> density;
    float at(int x, int y) const {
        return density[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(x)];
    }
};

// Only levels of two pixels a cell or more are held: one-pixel cells are
// worked straight from the bits (targetOfPixels, inkPointsOfPixels).
Level densityOf(const BitMask& mask, int f) {
    Level level;
    level.f = f;
    level.width = (mask.width + f - 1) / f;
    level.height = (mask.height + f - 1) / f;
    level.density.assign(static_cast<std::size_t>(level.width) * level.height, 0);
    int shift = 0;
    while ((1 << shift) < f) {
        ++shift;
    }
    const float unit = 1.0f / static_cast<float>(f * f);
    if (f == 2) {
        // Cells of two by two, the usual finest level of a large page: the
        // ink of each pair of bits counted across a whole word, the two
        // rows' counts added in fields of four bits (even pairs and odd
        // pairs apart), then each cell's value read from a table.
        constexpr std::uint64_t kFives = 0x5555555555555555ull;
        constexpr std::uint64_t kThrees = 0x3333333333333333ull;
        std::array<float, 16> value{};
        for (std::size_t n = 0; n < value.size(); ++n) {
            value[n] = static_cast<float>(static_cast<std::int32_t>(n)) * unit;
        }
        const auto cellsWide = static_cast<std::size_t>(level.width);
        for (int band = 0; band < level.height; ++band) {
            const std::uint64_t* top = mask.row(2 * band);
            const std::uint64_t* low =
                2 * band + 1 < mask.height ? mask.row(2 * band + 1) : nullptr;
            float* cells = level.density.data() + static_cast<std::size_t>(band) * cellsWide;
            for (std::size_t k = 0; k < mask.words; ++k) {
                const std::uint64_t a = top[k];
                const std::uint64_t b = low != nullptr ? low[k] : 0;
                if ((a | b) == 0) {
                    continue;
                }
                const std::uint64_t pa = a - ((a >> 1) & kFives);
                const std::uint64_t pb = b - ((b >> 1) & kFives);
                const std::uint64_t even = (pa & kThrees) + (pb & kThrees);
                const std::uint64_t odd = ((pa >> 2) & kThrees) + ((pb >> 2) & kThrees);
                const std::size_t first = 32 * k;
                const std::size_t count = std::min<std::size_t>(32, cellsWide - first);
                if (count == 32) {
                    for (std::size_t i = 0; i < 16; ++i) {
                        cells[first + 2 * i] = value[(even >> (4 * i)) & 15u];
                        cells[first + 2 * i + 1] = value[(odd >> (4 * i)) & 15u];
                    }
                    continue;
                }
                for (std::size_t j = 0; j < count; ++j) {
                    const std::uint64_t fields = j % 2 == 0 ? even : odd;
                    cells[first + j] = value[(fields >> (4 * (j / 2))) & 15u];
                }
            }
        }
        return level;
    }
    // Counted in whole numbers a band of f rows at a time (f is a power of
    // two), then scaled; only the bytes with ink are visited, each cell's
    // share of a byte counted at once. Room is kept for the cells of a
    // row's last word beyond the width, which get nothing.
    std::vector<std::uint32_t> counts(
        std::max(static_cast<std::size_t>(level.width), (mask.words * 64) >> shift));
    // The ink of a byte's nibbles (low half of the entry: nibble 0) and of
    // its pairs of bits (two bits an entry, pair 0 lowest).
    static constexpr auto kNibbleInk = [] {
        std::array<std::uint8_t, 256> table{};
        for (unsigned v = 0; v < 256; ++v) {
            table[v] =
                static_cast<std::uint8_t>(std::popcount(v & 15u) | std::popcount(v >> 4) << 4);
        }
        return table;
    }();
    static constexpr auto kPairInk = [] {
        std::array<std::uint8_t, 256> table{};
        for (unsigned v = 0; v < 256; ++v) {
            unsigned pairs = 0;
            for (unsigned i = 0; i < 4; ++i) {
                pairs |= static_cast<unsigned>(std::popcount(v >> (2 * i) & 3u)) << (2 * i);
            }
            table[v] = static_cast<std::uint8_t>(pairs);
        }
        return table;
    }();
    // Which words of the band's rows hold ink: only their cells are taken.
    std::vector<std::uint8_t> inked(mask.words);
    const std::size_t wordCells = std::max<std::size_t>(1, 64 >> shift);
    for (int band = 0; band < level.height; ++band) {
        for (int y = band * f; y < std::min(mask.height, (band + 1) * f); ++y) {
            const std::uint64_t* row = mask.row(y);
            for (std::size_t k = 0; k < mask.words; ++k) {
                const std::uint64_t word = row[k];
                if (word == 0) {
                    continue;
                }
                inked[k] = 1;
                for (std::size_t j = 0; j < 8; ++j) {
                    const auto byte = static_cast<unsigned>(word >> (8 * j)) & 0xFFu;
                    if (byte == 0) {
                        continue;
                    }
                    const std::size_t x = 64 * k + 8 * j;
                    if (f >= 8) {
                        counts[x >> shift] += kNibbleInk[byte] & 15u;
                        counts[x >> shift] += kNibbleInk[byte] >> 4;
                    } else if (f == 4) {
                        counts[x >> 2] += kNibbleInk[byte] & 15u;
                        counts[(x >> 2) + 1] += kNibbleInk[byte] >> 4;
                    } else if (f == 2) {
                        const unsigned pairs = kPairInk[byte];
                        std::uint32_t* cell = counts.data() + (x >> 1);
                        cell[0] += pairs & 3u;
                        cell[1] += pairs >> 2 & 3u;
                        cell[2] += pairs >> 4 & 3u;
                        cell[3] += pairs >> 6;
                    } else {
                        for (std::size_t c = 0; c < 8; ++c) {
                            counts[x + c] += byte >> c & 1u;
                        }
                    }
                }
            }
        }
        float* cells = level.density.data() + static_cast<std::size_t>(band) * level.width;
        // Each count is taken (the rest of the level is 0 already) and
        // cleared for the next band, once: a cell wider than a word comes
        // up again for its next words.
        std::size_t next = 0;
        for (std::size_t k = 0; k < mask.words; ++k) {
            if (inked[k] == 0) {
                continue;
            }
            inked[k] = 0;
            const std::size_t from = std::max(next, (64 * k) >> shift);
            const std::size_t to =
                std::min(((64 * k) >> shift) + wordCells, static_cast<std::size_t>(level.width));
            for (std::size_t cell = from; cell < to; ++cell) {
                cells[cell] = static_cast<float>(static_cast<std::int32_t>(counts[cell])) * unit;
                counts[cell] = 0;
            }
            next = std::max(next, to);
        }
    }
    return level;
}

Level halved(const Level& fine) {
    Level level;
    level.f = fine.f * 2;
    level.width = (fine.width + 1) / 2;
    level.height = (fine.height + 1) / 2;
    level.density.assign(static_cast<std::size_t>(level.width) * level.height, 0);
    // Each cell a quarter of each of its (up to) four, added in the order of
    // the rows and columns.
    for (int y = 0; y < level.height; ++y) {
        float* out = level.density.data() + static_cast<std::size_t>(y) * level.width;
        for (int v = 2 * y; v < std::min(fine.height, 2 * y + 2); ++v) {
            const float* in = fine.density.data() + static_cast<std::size_t>(v) * fine.width;
            int x = 0;
            // Four cells at a time, each as on its own: the eight below
            // them parted into the left and right of each pair.
            using Four = float __attribute__((vector_size(16)));
            const Four quarter = {4.0f, 4.0f, 4.0f, 4.0f};
            for (; 2 * x + 7 < fine.width; x += 4) {
                Four left;
                Four right;
                Four sum;
                float pairs[8];
                std::memcpy(pairs, in + 2 * x, sizeof pairs);
                for (int k = 0; k < 4; ++k) {
                    left[k] = pairs[2 * k];
                    right[k] = pairs[2 * k + 1];
                }
                std::memcpy(&sum, out + x, sizeof sum);
                sum += left / quarter;
                sum += right / quarter;
                std::memcpy(out + x, &sum, sizeof sum);
            }
            for (; 2 * x + 1 < fine.width; ++x) {
                out[x] += in[2 * x] / 4;
                out[x] += in[2 * x + 1] / 4;
            }
            if (2 * x < fine.width) {
                out[x] += in[2 * x] / 4;
            }
        }
    }
    return level;
}

// What the second page's ink is scored against: the first page's density,
// or a 3 by 3 average of it when blurred (a stroke then scores a little
// even a cell beside it, which gives the search a slope to climb). Kept
// with a border of one empty cell all round, so that sampling between
// cells needs no test of the edges.
struct Target {
    int f = 1;
    int width = 0;   // cells of the level; the rows below are two cells wider
    int height = 0;  // and two higher
    std::unique_ptr<float[]> cells;

    // All cells 0, or (filled) only the border: the caller writes every
    // cell within it.
    Target(int f, int width, int height, bool filled)
        : f(f),
          width(width),
          height(height),
          cells(std::make_unique_for_overwrite<float[]>((static_cast<std::size_t>(width) + 2) *
                                                        (static_cast<std::size_t>(height) + 2))) {
        const std::size_t rows = static_cast<std::size_t>(height) + 2;
        if (!filled) {
            std::fill_n(cells.get(), rows * stride(), 0.0f);
            return;
        }
        std::fill_n(cells.get(), stride(), 0.0f);
        std::fill_n(cells.get() + (rows - 1) * stride(), stride(), 0.0f);
        for (std::size_t r = 1; r + 1 < rows; ++r) {
            cells[r * stride()] = 0.0f;
            cells[r * stride() + stride() - 1] = 0.0f;
        }
    }
    std::size_t stride() const { return static_cast<std::size_t>(width) + 2; }
    float* row(int y) { return cells.get() + (static_cast<std::size_t>(y) + 1) * stride() + 1; }

    // In place, a row at a time. Each row's sums of three across are taken
    // before it is written over; a cell is the sum of three such sums. The
    // empty border adds nothing, so every cell is the sum of its neighbours
    // that exist. Densities are whole multiples of 1/f^2, and sums of a few
    // of them exact, so the order of the additions does not change a bit.
    void blur() {
        const std::size_t w = static_cast<std::size_t>(width);
        // Each row's sums, and the rows of cells, are worked four cells at
        // a time (each as it would be on its own), then the rest one by
        // one.
        using Four = float __attribute__((vector_size(16)));
        const auto load = [](const float* p) {
            Four v;
            std::memcpy(&v, p, sizeof v);
            return v;
        };
        const auto store = [](float* p, Four v) { std::memcpy(p, &v, sizeof v); };
        std::vector<float> above(w, 0.0f);
        std::vector<float> at(w, 0.0f);
        std::vector<float> below(w, 0.0f);
        const auto across = [&](const float* row, std::vector<float>& out) {
            float* o = out.data();
            std::size_t x = 0;
            for (; x + 4 <= w; x += 4) {
                store(o + x, load(row + x - 1) + load(row + x) + load(row + x + 1));
            }
            for (; x < w; ++x) {
                o[x] = row[x - 1] + row[x] + row[x + 1];
            }
        };
        if (height > 0) {
            across(row(0), below);
        }
        const Four nine = {9.0f, 9.0f, 9.0f, 9.0f};
        for (int y = 0; y < height; ++y) {
            std::swap(above, at);
            std::swap(at, below);
            if (y + 1 < height) {
                across(row(y + 1), below);
            } else {
                std::fill(below.begin(), below.end(), 0.0f);
            }
            float* out = row(y);
            const float* a = above.data();
            const float* m = at.data();
            const float* b = below.data();
            std::size_t x = 0;
            for (; x + 4 <= w; x += 4) {
                store(out + x, (load(a + x) + load(m + x) + load(b + x)) / nine);
            }
            for (; x < w; ++x) {
                out[x] = (a[x] + m[x] + b[x]) / 9;
            }
        }
    }
};

// Fills every cell of t (made for the level) from the level.
void fillTarget(Target& t, const Level& level, bool blur) {
    const auto w = static_cast<std::size_t>(level.width);
    for (int y = 0; y < level.height; ++y) {
        std::copy_n(level.density.data() + static_cast<std::size_t>(y) * w, w, t.row(y));
    }
    if (blur) {
        t.blur();
    }
}

Target targetOf(const Level& level, bool blur) {
    Target t(level.f, level.width, level.height, true);
    fillTarget(t, level, blur);
    return t;
}

// The same for cells of one pixel, straight from the bits: such a level
// (millions of cells on a page of A4 at 200 dpi) is never held as
// densities beside it.
void fillTargetOfPixels(Target& t, const BitMask& mask, bool blur) {
    const auto w = static_cast<std::size_t>(mask.width);
    for (int y = 0; y < mask.height; ++y) {
        const std::uint64_t* bits = mask.row(y);
        float* cells = t.row(y);
        std::fill_n(cells, w, 0.0f);
        for (std::size_t k = 0; k < mask.words; ++k) {
            for (std::uint64_t b = bits[k]; b != 0; b &= b - 1) {
                cells[64 * k + static_cast<std::size_t>(std::countr_zero(b))] = 1.0f;
            }
        }
    }
    if (blur) {
        t.blur();
    }
}

Target targetOfPixels(const BitMask& mask, bool blur) {
    Target t(1, mask.width, mask.height, true);
    fillTargetOfPixels(t, mask, blur);
    return t;
}

struct InkPoint {
    float x;  // pixels of the full image from its middle
    float y;
    float weight;
};

std::vector<InkPoint> inkPoints(const Level& level, double cx, double cy, std::size_t most) {
    // Four cells at a time: a cell's comparison is all ones when it holds
    // ink, and the ones are taken away from the counts.
    using Four = float __attribute__((vector_size(16)));
    using FourInts = std::int32_t __attribute__((vector_size(16)));
    const std::size_t cells = level.density.size();
    const float* density = level.density.data();
    std::size_t count = 0;
    std::size_t i = 0;
    FourInts counts = {0, 0, 0, 0};
    const Four none = {0.0f, 0.0f, 0.0f, 0.0f};
    for (; i + 4 <= cells; i += 4) {
        Four d;
        std::memcpy(&d, density + i, sizeof d);
        counts -= d > none;
    }
    for (int k = 0; k < 4; ++k) {
        count += static_cast<std::size_t>(counts[k]);
    }
    for (; i < cells; ++i) {
        count += static_cast<std::size_t>(density[i] > 0);
    }
    const std::size_t stride = std::max<std::size_t>(1, (count + most - 1) / most);
    std::vector<InkPoint> points;
    points.reserve(count / stride + 1);
    // Every stride-th cell with ink, the first included. Densities are 0 or
    // above, so four cells without ink are four words of zero bits.
    std::size_t skip = 0;
    for (int y = 0; y < level.height; ++y) {
        const float* row = level.density.data() + static_cast<std::size_t>(y) * level.width;
        for (int x = 0; x < level.width; ++x) {
            if (x % 4 == 0 && x + 4 <= level.width) {
                std::uint64_t two[2];
                std::memcpy(two, row + x, sizeof two);
                if ((two[0] | two[1]) == 0) {
                    x += 3;
                    continue;
                }
            }
            const float d = row[x];
            if (d > 0 && skip-- == 0) {
                skip = stride - 1;
                points.push_back({static_cast<float>((x + 0.5) * level.f - cx),
                                  static_cast<float>((y + 0.5) * level.f - cy), d});
            }
        }
    }
    return points;
}

// inkPoints of the level of one-pixel cells, straight from the bits.
std::vector<InkPoint> inkPointsOfPixels(const BitMask& mask, double cx, double cy,
                                        std::size_t most) {
    std::size_t count = 0;
    for (const std::uint64_t word : mask.bits) {
        count += static_cast<std::size_t>(bitCount(word));
    }
    const std::size_t stride = std::max<std::size_t>(1, (count + most - 1) / most);
    std::vector<InkPoint> points;
    points.reserve(count / stride + 1);
    std::size_t skip = 0;
    for (int y = 0; y < mask.height; ++y) {
        const std::uint64_t* bits = mask.row(y);
        for (std::size_t k = 0; k < mask.words; ++k) {
            for (std::uint64_t b = bits[k]; b != 0; b &= b - 1) {
                if (skip-- == 0) {
                    skip = stride - 1;
                    const std::size_t x = 64 * k + static_cast<std::size_t>(std::countr_zero(b));
                    points.push_back({static_cast<float>((x + 0.5) - cx),
                                      static_cast<float>((y + 0.5) - cy), 1.0f});
                }
            }
        }
    }
    return points;
}

// Every k-th point, the first included, so that at most `most` are left.
std::vector<InkPoint> thinned(const std::vector<InkPoint>& points, std::size_t most) {
    const std::size_t stride = std::max<std::size_t>(1, (points.size() + most - 1) / most);
    std::vector<InkPoint> out;
    out.reserve(points.size() / stride + 1);
    for (std::size_t k = 0; k < points.size(); k += stride) {
        out.push_back(points[k]);
    }
    return out;
}

// Four floats or ints side by side, worked on as one.
using Floats = float __attribute__((vector_size(16)));
using Ints = std::int32_t __attribute__((vector_size(16)));

class Scorer {
  public:
    Scorer(Target target, const std::vector<InkPoint>& points, double cx, double cy)
        : target_(std::move(target)), f_(target_.f), cx_(cx), cy_(cy) {
        // Kept as columns, four points to a group; the last group is filled
        // up with points of no weight.
        const std::size_t groups = (points.size() + 3) / 4;
        xs_.assign(groups, Floats{});
        ys_.assign(groups, Floats{});
        weights_.assign(groups, Floats{});
        for (std::size_t i = 0; i < points.size(); ++i) {
            xs_[i / 4][i % 4] = points[i].x;
            ys_[i / 4][i % 4] = points[i].y;
            weights_[i / 4][i % 4] = points[i].weight;
            total_ += points[i].weight;
        }
        // The box about all points, the filling ones (in the middle)
        // included.
        for (std::size_t g = 0; g < groups; ++g) {
            for (int k = 0; k < 4; ++k) {
                left_ = std::min(left_, xs_[g][k]);
                right_ = std::max(right_, xs_[g][k]);
                top_ = std::min(top_, ys_[g][k]);
                bottom_ = std::max(bottom_, ys_[g][k]);
            }
        }
    }

    // How well the second page's ink lands on the first's, per unit of ink.
    // Four points are placed and sampled at once, each as it would be on
    // its own, and their shares added one after the other.
    double score(const PixelTransform& t) const {
        // q = c + scale R (p - c) + shift, in cells of the level, less half
        // a cell (cell centres lie at whole numbers), plus the border.
        const double inv = 1.0 / f_;
        const auto c = static_cast<float>(t.scale * std::cos(t.angleRad) * inv);
        const auto s = static_cast<float>(t.scale * std::sin(t.angleRad) * inv);
        const auto ox = static_cast<float>((cx_ + t.dx) * inv + 0.5);
        const auto oy = static_cast<float>((cy_ + t.dy) * inv + 0.5);
        // Samples are taken where 0 <= q < size + 1 (the border included).
        const auto right = static_cast<float>(target_.width + 1);
        const auto bottom = static_cast<float>(target_.height + 1);
        const std::size_t stride = static_cast<std::size_t>(target_.width) + 2;
        [[maybe_unused]] const auto strideF = static_cast<float>(stride);
        const float* cells = target_.cells.get();
        // When the corners of the points' box land a cell or more within
        // the target, every point does (the transform keeps straight lines
        // straight, and the rounding of a point's place is far below a
        // cell): then no point is tested against the edges, which would
        // leave every one of them as it is.
        bool within = true;
        for (const float x : {left_, right_}) {
            for (const float y : {top_, bottom_}) {
                const double qx = double(c) * x - double(s) * y + ox;
                const double qy = double(s) * x + double(c) * y + oy;
                within = within && qx >= 1 && qy >= 1 && qx < right - 1 && qy < bottom - 1;
            }
        }
        const auto sum = [&](auto edges) {
            double total = 0;
            for (std::size_t g = 0; g < xs_.size(); ++g) {
                const Floats x = xs_[g];
                const Floats y = ys_[g];
                Floats qx = c * x - s * y + ox;
                Floats qy = s * x + c * y + oy;
                Ints inside = {-1, -1, -1, -1};
                if constexpr (decltype(edges)::value) {
                    inside = (qx >= 0) & (qy >= 0) & (qx < right) & (qy < bottom);
                    // Points outside sample cell (0, 0) and count for nothing.
                    qx = reinterpret_cast<Floats>(reinterpret_cast<Ints>(qx) & inside);
                    qy = reinterpret_cast<Floats>(reinterpret_cast<Ints>(qy) & inside);
                }
                const Ints x0 = __builtin_convertvector(qx, Ints);
                const Ints y0 = __builtin_convertvector(qy, Ints);
                const Floats wholeX = __builtin_convertvector(x0, Floats);
                const Floats wholeY = __builtin_convertvector(y0, Floats);
                const Floats ax = qx - wholeX;
                const Floats ay = qy - wholeY;
                Floats topLeft;
                Floats topRight;
                Floats lowLeft;
                Floats lowRight;
#if defined(__SSE2__)
                // Each cell's place worked out as a float, which holds it
                // exactly (a level has a few million cells), and each point's
                // two cells of a row loaded side by side, then sorted into
                // left and right: all in registers.
                alignas(16) std::int32_t at[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(at),
                                _mm_cvttps_epi32(wholeY * strideF + wholeX));
                const float* const p0 = cells + static_cast<std::size_t>(at[0]);
                const float* const p1 = cells + static_cast<std::size_t>(at[1]);
                const float* const p2 = cells + static_cast<std::size_t>(at[2]);
                const float* const p3 = cells + static_cast<std::size_t>(at[3]);
                const auto two = [](const float* p) {
                    // (Eight bytes that need not lie on eight.)
                    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
                };
                const auto pairs = [&](std::size_t offset, Floats& left, Floats& right) {
                    const __m128 low = _mm_unpacklo_ps(two(p0 + offset), two(p1 + offset));
                    const __m128 high = _mm_unpacklo_ps(two(p2 + offset), two(p3 + offset));
                    left = _mm_movelh_ps(low, high);
                    right = _mm_movehl_ps(high, low);
                };
                pairs(0, topLeft, topRight);
                pairs(stride, lowLeft, lowRight);
#else
                for (int k = 0; k < 4; ++k) {
                    const float* row = cells + static_cast<std::size_t>(y0[k]) * stride +
                                       static_cast<std::size_t>(x0[k]);
                    topLeft[k] = row[0];
                    topRight[k] = row[1];
                    lowLeft[k] = row[stride];
                    lowRight[k] = row[stride + 1];
                }
#endif
                const Floats top = topLeft + ax * (topRight - topLeft);
                const Floats low = lowLeft + ax * (lowRight - lowLeft);
                Floats share = weights_[g] * (top + ay * (low - top));
                if constexpr (decltype(edges)::value) {
                    share = reinterpret_cast<Floats>(reinterpret_cast<Ints>(share) & inside);
                }
                for (int k = 0; k < 4; ++k) {
                    total += share[k];
                }
            }
            return total;
        };
        const double ink = within ? sum(std::false_type{}) : sum(std::true_type{});
        return total_ > 0 ? ink / total_ : 0;
    }

    // The target, for another scorer on the same level.
    Target release() && {
        return std::move(target_);
    }

  private:
    Target target_;
    std::vector<Floats> xs_;
    std::vector<Floats> ys_;
    std::vector<Floats> weights_;
    int f_;
    double cx_;
    double cy_;
    double total_ = 0;
    float left_ = 0;
    float right_ = 0;
    float top_ = 0;
    float bottom_ = 0;
};

// Every turn and scale of the range in steps that move the corners by
// about a cell (the blur still scores a fit half a cell off), and every
// shift by whole cells. A scale that moves the corners by less than a cell
// is left to the refinement.
PixelTransform coarseSearch(const Scorer& scorer, int f, double radius, double maxShift) {
    const double step = f / radius;
    const int turns = static_cast<int>(std::ceil(kMaxAngleRad / step));
    const int scales = static_cast<int>(std::floor(kMaxScale / step));
    const int shifts = static_cast<int>(std::ceil(maxShift / f));
    PixelTransform best;
    double bestScore = scorer.score(best);
    for (int a = -turns; a <= turns; ++a) {
        for (int k = -scales; k <= scales; ++k) {
            for (int sy = -shifts; sy <= shifts; ++sy) {
                for (int sx = -shifts; sx <= shifts; ++sx) {
                    const PixelTransform t{a * step, 1 + k * step, double(sx) * f, double(sy) * f};
                    const double score = scorer.score(t);
                    if (score > bestScore) {
                        bestScore = score;
                        best = t;
                    }
                }
            }
        }
    }
    return best;
}

// Climbs from start by single moves of each parameter, halving the moves
// when none helps, until a shift move is below a quarter of a cell. The
// climb is not held to the range of the coarse search: a sheet printed a
// few percent smaller or larger is still found.
PixelTransform refine(const Scorer& scorer, PixelTransform start, int f, double radius) {
    double angleStep = 0.5 * f / radius;
    double shiftStep = f;
    // A step back after a step taken lands where the climb just was (shifts
    // move by exact binary fractions): such places are not scored again.
    struct Scored {
        PixelTransform t;
        double score;
    };
    std::array<Scored, 16> recent{};
    std::size_t filled = 0;
    const auto scoreOf = [&](const PixelTransform& t) {
        for (std::size_t k = 0; k < std::min(filled, recent.size()); ++k) {
            const PixelTransform& u = recent[k].t;
            if (u.angleRad == t.angleRad && u.scale == t.scale && u.dx == t.dx && u.dy == t.dy) {
                return recent[k].score;
            }
        }
        const double score = scorer.score(t);
        recent[filled++ % recent.size()] = {t, score};
        return score;
    };
    double bestScore = scoreOf(start);
    while (shiftStep >= f / 4.0) {
        bool moved = false;
        for (int m = 0; m < 8; ++m) {
            PixelTransform t = start;
            const double sign = m % 2 == 0 ? 1 : -1;
            switch (m / 2) {
                case 0:
                    t.angleRad += sign * angleStep;
                    break;
                case 1:
                    t.scale += sign * angleStep;
                    break;
                case 2:
                    t.dx += sign * shiftStep;
                    break;
                default:
                    t.dy += sign * shiftStep;
                    break;
            }
            const double score = scoreOf(t);
            if (score > bestScore + 1e-9) {
                bestScore = score;
                start = t;
                moved = true;
            }
        }
        if (!moved) {
            angleStep /= 2;
            shiftStep /= 2;
        }
    }
    return start;
}

}  // namespace

bool estimateAlignment(const std::vector<std::uint8_t>& first,
                       const std::vector<std::uint8_t>& second, int width, int height,
                       PixelTransform& out) {
    return estimateAlignment(packMask(first, width, height), packMask(second, width, height), out);
}

bool estimateAlignment(const BitMask& first, const BitMask& second, PixelTransform& out) {
    out = PixelTransform{};
    const int width = first.width;
    const int height = first.height;
    if (width <= 0 || height <= 0 || second.width != width || second.height != height) {
        return false;
    }
    int fine = 1;
    while (static_cast<std::size_t>((width + fine - 1) / fine) *
               static_cast<std::size_t>((height + fine - 1) / fine) >
           kMaxFineCells) {
        fine *= 2;
    }
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    // Levels of cells of f = fine, 2 fine, 4 fine ... pixels a side, up to
    // one of at most kCoarseSide cells a side. The first page's levels are
    // scored against; of the second's only the points are kept. A level of
    // one-pixel cells is worked from the bits and not held.
    std::vector<int> sides{fine};
    while (std::max((width + sides.back() - 1) / sides.back(),
                    (height + sides.back() - 1) / sides.back()) > kCoarseSide) {
        sides.push_back(sides.back() * 2);
    }
    const std::size_t firstHeld = fine == 1 ? 1 : 0;
    std::vector<Level> firstLevels(sides.size());
    std::vector<std::vector<InkPoint>> secondPoints(sides.size());
    if (fine == 1) {
        secondPoints[0] = inkPointsOfPixels(second, cx, cy, kMaxPoints);
    }
    if (firstHeld < sides.size()) {
        // A cell of a coarser level is the average of the four below it,
        // the same number as its ink counted afresh.
        firstLevels[firstHeld] = densityOf(first, sides[firstHeld]);
        Level level = densityOf(second, sides[firstHeld]);
        for (std::size_t i = firstHeld;; ++i) {
            secondPoints[i] = inkPoints(level, cx, cy, i == 0 ? kMaxPoints : kMaxCoarsePoints);
            if (i + 1 == sides.size()) {
                break;
            }
            firstLevels[i + 1] = halved(firstLevels[i]);
            level = halved(level);
        }
    }
    if (secondPoints[0].empty()) {
        return false;
    }
    const auto target = [&](std::size_t i, bool blur) {
        return i < firstHeld ? targetOfPixels(first, blur) : targetOf(firstLevels[i], blur);
    };
    const double radius = std::max(1.0, std::hypot(cx, cy));
    const double longer = std::max(width, height);
    const double maxShift =
        std::min(std::max(kMinMaxShift, kMaxShiftShare * longer), kMaxShiftCap * longer);
    PixelTransform best;
    std::optional<Target> finest;
    for (std::size_t i = sides.size(); i-- > 0;) {
        // On the finest level too the blurred steps only bring the fit
        // within a cell: the last steps score all its points.
        Scorer scorer(target(i, true),
                      i == 0 ? thinned(secondPoints[0], kMaxCoarsePoints) : secondPoints[i], cx,
                      cy);
        if (i + 1 == sides.size()) {
            best = coarseSearch(scorer, sides[i], radius, maxShift);
        }
        best = refine(scorer, best, sides[i], radius);
        if (i == 0) {
            finest.emplace(std::move(scorer).release());
        }
    }
    // The blur that gave the search its slope also flattens the top of a
    // thin stroke: the last steps score against the sharp image, written
    // over the blurred one's cells (megabytes on a large page).
    if (firstHeld == 0) {
        fillTarget(*finest, firstLevels[0], false);
    } else {
        fillTargetOfPixels(*finest, first, false);
    }
    best = refine(Scorer(std::move(*finest), secondPoints[0], cx, cy), best, fine, radius);
    out = best;
    return true;
}

std::vector<float> cellDensity(const BitMask& mask, int f) {
    return densityOf(mask, f).density;
}

std::vector<std::uint8_t> transformMask(const std::vector<std::uint8_t>& mask, int width,
                                        int height, const PixelTransform& t) {
    std::vector<std::uint8_t> out(mask.size(), 0);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    // The inverse: p = c + R(-angle) (q - c - shift) / scale.
    const double c = std::cos(t.angleRad) / t.scale;
    const double s = std::sin(t.angleRad) / t.scale;
    for (int y = 0; y < height; ++y) {
        const double vy = y + 0.5 - cy - t.dy;
        std::uint8_t* row = out.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const double vx = x + 0.5 - cx - t.dx;
            const double px = cx + c * vx + s * vy;
            const double py = cy - s * vx + c * vy;
            if (!(px >= 0 && py >= 0 && px < width && py < height)) {
                continue;
            }
            row[x] = mask[static_cast<std::size_t>(py) * width + static_cast<std::size_t>(px)];
        }
    }
    return out;
}

BitMask transformBits(const BitMask& mask, const PixelTransform& t) {
    const int width = mask.width;
    const int height = mask.height;
    BitMask out(width, height);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    // The inverse as transformMask computes it, term for term, so that each
    // pixel takes the same source pixel. Of px = cx + c vx + s vy, the part
    // cx + c vx depends on the column alone and s vy on the row alone, and
    // so for py: the columns' parts are worked out once, and each pixel
    // costs two additions.
    const double c = std::cos(t.angleRad) / t.scale;
    const double s = std::sin(t.angleRad) / t.scale;
    std::vector<double> columnX(static_cast<std::size_t>(width));
    std::vector<double> columnY(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double vx = x + 0.5 - cx - t.dx;
        columnX[static_cast<std::size_t>(x)] = cx + c * vx;
        columnY[static_cast<std::size_t>(x)] = cy - s * vx;
    }
    // Whether any pixel of mask in columns [x0, x1] and rows [y0, y1] is
    // set (all within the mask).
    const auto anySet = [&](int x0, int x1, int y0, int y1) {
        const int first = x0 >> 6;
        const int last = x1 >> 6;
        const std::uint64_t head = ~std::uint64_t{0} << (x0 & 63);
        const std::uint64_t tail = ~std::uint64_t{0} >> (63 - (x1 & 63));
        for (int y = y0; y <= y1; ++y) {
            const std::uint64_t* row = mask.row(y);
            for (int k = first; k <= last; ++k) {
                std::uint64_t word = row[k];
                if (k == first) {
                    word &= head;
                }
                if (k == last) {
                    word &= tail;
                }
                if (word != 0) {
                    return true;
                }
            }
        }
        return false;
    };
    // std::floor, without a call into the library for the numbers a page
    // has.
    const auto floorOf = [](double v) {
        if (!(std::abs(v) < 1e15)) {
            return std::floor(v);
        }
        const auto whole = static_cast<double>(static_cast<long long>(v));
        return whole > v ? whole - 1 : whole;
    };
    const auto sourceBit = [&](double px, double py) {
        const std::uint64_t* from = mask.row(static_cast<int>(py));
        const auto sx = static_cast<std::size_t>(px);
        return from[sx >> 6] >> (sx & 63) & 1u;
    };
    // Along a row the sources advance by c columns a pixel: when c is not
    // 1, their columns (whole numbers, rounded down) all advance by at most
    // one, or all by at least one (the sums' rounding is far below the
    // margin). When c is 1 or nearly, a stretch's columns advance by one a
    // pixel as long as its first source is not within a millionth of a
    // column's edge: over 64 pixels the sources drift by far less. A
    // stretch of the row whose ends lie on one source row and whose
    // sources' columns advance by its length then takes them one by one,
    // and is copied as a run of bits. Any other is parted where the
    // sources should next skip or repeat a column or change rows, or else
    // in the middle, down to a few pixels taken one at a time. All of it
    // lies within the mask.
    const bool runs = std::abs(c - 1) > 1e-9;
    const auto copyRuns = [&](double rowX, double rowY, int a, int b, std::uint64_t& word) {
        const auto stretch = [&](const auto& self, int from, int to) -> void {
            const double pa = columnX[static_cast<std::size_t>(from)] + rowX;
            const double pb = columnX[static_cast<std::size_t>(to)] + rowX;
            const double qa = columnY[static_cast<std::size_t>(from)] + rowY;
            const double qb = columnY[static_cast<std::size_t>(to)] + rowY;
            const auto sx = static_cast<std::size_t>(pa);
            const auto n = static_cast<unsigned>(to - from + 1);
            // (Both are at least 0 here: rounding towards 0 rounds down.)
            const double columnPart = pa - static_cast<double>(sx);
            const double rowPart = qa - static_cast<double>(static_cast<long>(qa));
            if (static_cast<long>(qa) == static_cast<long>(qb) &&
                static_cast<std::size_t>(pb) - sx == n - 1 &&
                (runs || (columnPart >= 1e-6 && columnPart <= 1 - 1e-6))) {
                const std::uint64_t* source = mask.row(static_cast<int>(qa));
                const unsigned shift = sx & 63;
                std::uint64_t v = source[sx >> 6] >> shift;
                if (shift + n > 64) {
                    v |= source[(sx >> 6) + 1] << (64 - shift);
                }
                if (n < 64) {
                    v &= (std::uint64_t{1} << n) - 1;
                }
                word |= v << (from & 63);
                return;
            }
            if (to - from < 4) {
                for (int x = from; x <= to; ++x) {
                    word |= sourceBit(columnX[static_cast<std::size_t>(x)] + rowX,
                                      columnY[static_cast<std::size_t>(x)] + rowY)
                            << (x & 63);
                }
                return;
            }
            // Pixels from the first to the last before the sources should
            // skip or repeat a column, or change rows (as a number, not
            // rounded down).
            double before = to - from;
            if (c > 1 + 1e-9) {
                before = std::min(before, (1 - columnPart) / (c - 1));
            } else if (c < 1 - 1e-9) {
                before = std::min(before, columnPart / (1 - c));
            }
            if (s > 1e-9) {
                before = std::min(before, rowPart / s);
            } else if (s < -1e-9) {
                before = std::min(before, (1 - rowPart) / -s);
            }
            int last = from + static_cast<int>(before);
            if (!(last >= from && last < to)) {
                last = from + (to - from) / 2;
            }
            self(self, from, last);
            self(self, last + 1, to);
        };
        stretch(stretch, a, b);
    };
    for (int y = 0; y < height; ++y) {
        const double vy = y + 0.5 - cy - t.dy;
        const double rowX = s * vy;
        const double rowY = c * vy;
        std::uint64_t* to = out.row(y);
        // A block of 64 pixels takes its sources from along a short line:
        // where the box about that line (a pixel wider all round than the
        // ends) holds no ink, the block stays empty.
        for (int x0 = 0; x0 < width; x0 += 64) {
            const int x1 = std::min(width, x0 + 64) - 1;
            const double ax = columnX[static_cast<std::size_t>(x0)] + rowX;
            const double ay = columnY[static_cast<std::size_t>(x0)] + rowY;
            const double bx = columnX[static_cast<std::size_t>(x1)] + rowX;
            const double by = columnY[static_cast<std::size_t>(x1)] + rowY;
            const double left = floorOf(std::min(ax, bx)) - 1;
            const double right = floorOf(std::max(ax, bx)) + 1;
            const double top = floorOf(std::min(ay, by)) - 1;
            const double bottom = floorOf(std::max(ay, by)) + 1;
            if (!(right >= 0 && bottom >= 0 && left < width && top < height) ||
                !anySet(static_cast<int>(std::max(0.0, left)),
                        static_cast<int>(std::min<double>(width - 1, right)),
                        static_cast<int>(std::max(0.0, top)),
                        static_cast<int>(std::min<double>(height - 1, bottom)))) {
                continue;
            }
            // Each rounding step keeps order, so the sources run monotonely
            // along the block: when both ends lie within the mask, every
            // pixel's does.
            const bool within = std::min(ax, bx) >= 0 && std::min(ay, by) >= 0 &&
                                std::max(ax, bx) < width && std::max(ay, by) < height;
            std::uint64_t word = 0;
            if (within && runs) {
                copyRuns(rowX, rowY, x0, x1, word);
            } else {
                for (int x = x0; x <= x1; ++x) {
                    const double px = columnX[static_cast<std::size_t>(x)] + rowX;
                    const double py = columnY[static_cast<std::size_t>(x)] + rowY;
                    if (!within && !(px >= 0 && py >= 0 && px < width && py < height)) {
                        continue;
                    }
                    word |= sourceBit(px, py) << (x & 63);
                }
            }
            to[x0 >> 6] = word;
        }
    }
    return out;
}

}  // namespace sandrel

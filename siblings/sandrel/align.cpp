#include "sandrel/align.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

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
// side of the coarsest, and points scored per level.
constexpr std::size_t kMaxFineCells = 4'000'000;
constexpr int kCoarseSide = 100;
constexpr std::size_t kMaxPoints = 100'000;

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

Level densityOf(const std::vector<std::uint8_t>& mask, int width, int height, int f) {
    Level level;
    level.f = f;
    level.width = (width + f - 1) / f;
    level.height = (height + f - 1) / f;
    level.density.assign(static_cast<std::size_t>(level.width) * level.height, 0);
    const float unit = 1.0f / static_cast<float>(f * f);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = mask.data() + static_cast<std::size_t>(y) * width;
        float* cells = level.density.data() + static_cast<std::size_t>(y / f) * level.width;
        for (int x = 0; x < width; ++x) {
            if (row[x] != 0) {
                cells[x / f] += unit;
            }
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
    for (int y = 0; y < fine.height; ++y) {
        for (int x = 0; x < fine.width; ++x) {
            level.density[static_cast<std::size_t>(y / 2) * level.width + x / 2] +=
                fine.at(x, y) / 4;
        }
    }
    return level;
}

// A 3 by 3 average: a stroke scores a little even a cell beside it, which
// gives the search a slope to climb.
Level blurred(const Level& level) {
    Level out = level;
    for (int y = 0; y < level.height; ++y) {
        for (int x = 0; x < level.width; ++x) {
            float sum = 0;
            for (int v = std::max(0, y - 1); v <= std::min(level.height - 1, y + 1); ++v) {
                for (int u = std::max(0, x - 1); u <= std::min(level.width - 1, x + 1); ++u) {
                    sum += level.at(u, v);
                }
            }
            out.density[static_cast<std::size_t>(y) * level.width + x] = sum / 9;
        }
    }
    return out;
}

struct WeightedPoint {
    double x;  // pixels of the full image
    double y;
    float weight;
};

std::vector<WeightedPoint> inkPoints(const Level& level) {
    std::size_t count = 0;
    for (const float d : level.density) {
        count += d > 0 ? 1 : 0;
    }
    const std::size_t stride = std::max<std::size_t>(1, (count + kMaxPoints - 1) / kMaxPoints);
    std::vector<WeightedPoint> points;
    points.reserve(count / stride + 1);
    std::size_t seen = 0;
    for (int y = 0; y < level.height; ++y) {
        for (int x = 0; x < level.width; ++x) {
            const float d = level.at(x, y);
            if (d > 0 && seen++ % stride == 0) {
                points.push_back({(x + 0.5) * level.f, (y + 0.5) * level.f, d});
            }
        }
    }
    return points;
}

class Scorer {
  public:
    Scorer(const Level& first, const Level& second, double cx, double cy, bool blur)
        : target_(blur ? blurred(first) : first), points_(inkPoints(second)), cx_(cx), cy_(cy) {
        for (const auto& p : points_) {
            total_ += p.weight;
        }
    }

    // The share of the second page's ink that lands on the first's.
    double score(const PixelTransform& t) const {
        const double c = t.scale * std::cos(t.angleRad);
        const double s = t.scale * std::sin(t.angleRad);
        const double f = target_.f;
        double sum = 0;
        for (const auto& p : points_) {
            const double vx = p.x - cx_;
            const double vy = p.y - cy_;
            const double qx = (cx_ + c * vx - s * vy + t.dx) / f - 0.5;
            const double qy = (cy_ + s * vx + c * vy + t.dy) / f - 0.5;
            sum += p.weight * sample(qx, qy);
        }
        return total_ > 0 ? sum / total_ : 0;
    }
    bool empty() const { return points_.empty(); }

  private:
    double sample(double x, double y) const {
        const double fx = std::floor(x);
        const double fy = std::floor(y);
        const int x0 = static_cast<int>(fx);
        const int y0 = static_cast<int>(fy);
        if (x0 < -1 || y0 < -1 || x0 >= target_.width || y0 >= target_.height) {
            return 0;
        }
        const double ax = x - fx;
        const double ay = y - fy;
        const auto at = [&](int u, int v) -> double {
            return u < 0 || v < 0 || u >= target_.width || v >= target_.height ? 0.0
                                                                               : target_.at(u, v);
        };
        return (1 - ay) * ((1 - ax) * at(x0, y0) + ax * at(x0 + 1, y0)) +
               ay * ((1 - ax) * at(x0, y0 + 1) + ax * at(x0 + 1, y0 + 1));
    }

    Level target_;
    std::vector<WeightedPoint> points_;
    double cx_;
    double cy_;
    double total_ = 0;
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
// when none helps, until a shift move is below a quarter of a cell.
PixelTransform refine(const Scorer& scorer, PixelTransform start, int f, double radius) {
    double angleStep = 0.5 * f / radius;
    double shiftStep = f;
    double bestScore = scorer.score(start);
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
            const double score = scorer.score(t);
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
    out = PixelTransform{};
    if (width <= 0 || height <= 0) {
        return false;
    }
    int fine = 1;
    while (static_cast<std::size_t>((width + fine - 1) / fine) *
               static_cast<std::size_t>((height + fine - 1) / fine) >
           kMaxFineCells) {
        fine *= 2;
    }
    std::vector<Level> firstLevels{densityOf(first, width, height, fine)};
    std::vector<Level> secondLevels{densityOf(second, width, height, fine)};
    while (std::max(firstLevels.back().width, firstLevels.back().height) > kCoarseSide) {
        firstLevels.push_back(halved(firstLevels.back()));
        secondLevels.push_back(halved(secondLevels.back()));
    }
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    const double radius = std::max(1.0, std::hypot(cx, cy));
    const double longer = std::max(width, height);
    const double maxShift =
        std::min(std::max(kMinMaxShift, kMaxShiftShare * longer), kMaxShiftCap * longer);
    PixelTransform best;
    for (std::size_t i = firstLevels.size(); i-- > 0;) {
        const Scorer scorer(firstLevels[i], secondLevels[i], cx, cy, true);
        if (scorer.empty()) {
            return false;
        }
        if (i + 1 == firstLevels.size()) {
            best = coarseSearch(scorer, firstLevels[i].f, radius, maxShift);
        }
        best = refine(scorer, best, firstLevels[i].f, radius);
    }
    // The blur that gave the search its slope also flattens the top of a
    // thin stroke: the last steps score against the sharp image.
    best = refine(Scorer(firstLevels[0], secondLevels[0], cx, cy, false), best, firstLevels[0].f,
                  radius);
    out = best;
    return true;
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
            if (px < 0 || py < 0 || px >= width || py >= height) {
                continue;
            }
            row[x] = mask[static_cast<std::size_t>(py) * width + static_cast<std::size_t>(px)];
        }
    }
    return out;
}

}  // namespace sandrel

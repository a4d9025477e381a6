#include "testgen.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace sandrel {
namespace {

using drawing::Path;
using drawing::Point;

constexpr double kCell = 10 * drawing::kUnitsPerMm;
constexpr double kInset = 1 * drawing::kUnitsPerMm;
constexpr double kMinLength = 3 * drawing::kUnitsPerMm;

Path line(Point a, Point b) {
    Path path;
    path.points = {a, b};
    return path;
}

}  // namespace

GeneratedPair makePair(std::size_t segments, double toleranceMm, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> within(kInset, kCell - kInset);
    const std::size_t changes = std::max<std::size_t>(1, segments / 100);
    // Cells for the base's paths and for the added ones.
    const auto side =
        static_cast<std::size_t>(std::ceil(std::sqrt(double(segments + changes + 8))));
    const auto cellOrigin = [&](std::size_t cell) {
        return Point{double(cell % side) * kCell, double(cell / side) * kCell};
    };
    const auto randomPoint = [&](std::size_t cell) {
        const Point o = cellOrigin(cell);
        return Point{o.x + within(random), o.y + within(random)};
    };
    const auto randomLine = [&](std::size_t cell) {
        while (true) {
            const Point a = randomPoint(cell);
            const Point b = randomPoint(cell);
            if (std::hypot(b.x - a.x, b.y - a.y) >= kMinLength) {
                return Line{a, b};
            }
        }
    };

    GeneratedPair pair;
    pair.base.width = pair.variant.width = double(side) * kCell;
    pair.base.height = pair.variant.height = double(side) * kCell;
    std::vector<std::size_t> singles;  // indexes of one-segment paths in base
    std::size_t count = 0;
    std::size_t cell = 0;
    while (count < segments) {
        Path path;
        if (cell % 4 == 3 && segments - count >= 3) {
            // A zigzag polyline of three segments.
            for (int k = 0; k < 4; ++k) {
                path.points.push_back(randomPoint(cell));
            }
            count += 3;
        } else {
            const Line l = randomLine(cell);
            path = line(l.a, l.b);
            singles.push_back(pair.base.paths.size());
            count += 1;
        }
        path.stroke.pen = 1 + int(cell % 4);
        pair.base.paths.push_back(std::move(path));
        ++cell;
    }

    std::shuffle(singles.begin(), singles.end(), random);
    const double tolerance = toleranceMm * drawing::kUnitsPerMm;
    std::vector<Path> variant;
    std::vector<bool> handled(pair.base.paths.size(), false);
    const auto take = [&](std::size_t k) {
        handled[singles[k]] = true;
        const Path& p = pair.base.paths[singles[k]];
        return Line{p.points[0], p.points[1]};
    };
    std::size_t next = 0;
    for (std::size_t k = 0; k < changes && next < singles.size(); ++k) {
        pair.removed.push_back(take(next++));
    }
    if (next + 3 <= singles.size()) {
        pair.partial = take(next++);
        const Line& l = pair.partial;
        pair.split = {l.a.x + 0.6 * (l.b.x - l.a.x), l.a.y + 0.6 * (l.b.y - l.a.y)};
        const double length = std::hypot(l.b.x - l.a.x, l.b.y - l.a.y);
        // The bend leaves the line at a right angle, 2 mm long.
        const Point off{pair.split.x - (l.b.y - l.a.y) / length * 2 * drawing::kUnitsPerMm,
                        pair.split.y + (l.b.x - l.a.x) / length * 2 * drawing::kUnitsPerMm};
        Path bent;
        bent.points = {l.a, pair.split, off};
        variant.push_back(std::move(bent));
        pair.added.push_back({pair.split, off});

        pair.collinear = take(next++);
        const Line& c = pair.collinear;
        const auto at = [&](double f) {
            return Point{c.a.x + f * (c.b.x - c.a.x), c.a.y + f * (c.b.y - c.a.y)};
        };
        variant.push_back(line(at(0), at(0.3)));
        variant.push_back(line(at(0.7), at(1)));  // the pieces in another order
        variant.push_back(line(at(0.3), at(0.7)));

        pair.shifted = take(next++);
        const Line& s = pair.shifted;
        const double sLength = std::hypot(s.b.x - s.a.x, s.b.y - s.a.y);
        const Point by{-(s.b.y - s.a.y) / sLength * tolerance / 2,
                       (s.b.x - s.a.x) / sLength * tolerance / 2};
        variant.push_back(line({s.a.x + by.x, s.a.y + by.y}, {s.b.x + by.x, s.b.y + by.y}));
    }
    for (std::size_t k = 0; k < pair.base.paths.size(); ++k) {
        if (!handled[k]) {
            Path copy = pair.base.paths[k];
            if (k % 2 == 1) {
                std::reverse(copy.points.begin(), copy.points.end());
            }
            variant.push_back(std::move(copy));
        }
    }
    for (std::size_t k = 0; k < changes; ++k) {
        const Line l = randomLine(cell++);
        pair.added.push_back(l);
        variant.push_back(line(l.a, l.b));
    }
    std::reverse(variant.begin(), variant.end());
    pair.variant.paths = std::move(variant);
    return pair;
}

}  // namespace sandrel

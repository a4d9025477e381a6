#include "sandrel/testgen.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace sandrel {
namespace {

using drawing::Page;
using drawing::Path;
using drawing::Point;

constexpr double kCell = 10 * drawing::kUnitsPerMm;
constexpr double kInset = 1 * drawing::kUnitsPerMm;
constexpr double kMinLength = 3 * drawing::kUnitsPerMm;

double kInf() {
    return std::numeric_limits<double>::infinity();
}

Box grow(Box box, Point p) {
    return {std::min<double>(box.x0, p.x), std::min<double>(box.y0, p.y),
            std::max<double>(box.x1, p.x), std::max<double>(box.y1, p.y)};
}

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

namespace {

constexpr double kSheetWidth = 1189 * drawing::kUnitsPerMm;
constexpr double kSheetHeight = 841 * drawing::kUnitsPerMm;
constexpr double kMargin = 10 * drawing::kUnitsPerMm;
constexpr double kGlyphWidth = 2 * drawing::kUnitsPerMm;
constexpr double kGlyphHeight = 2.8 * drawing::kUnitsPerMm;
constexpr double kGlyphPitch = 3 * drawing::kUnitsPerMm;
constexpr double kRowPitch = 5 * drawing::kUnitsPerMm;
constexpr int kFontSize = 40;

// A glyph outline in a unit cell: a closed star-like polygon, sometimes
// with a hole, as exporting programs write text.
struct Glyph {
    std::vector<Point> points;
    std::size_t holeStart = 0;  // 0: no hole
};

std::vector<Glyph> makeFont(std::mt19937& random) {
    std::vector<Glyph> font;
    std::uniform_int_distribution<int> corners(8, 40);
    std::uniform_real_distribution<double> radius(0.55, 1.0);
    for (int g = 0; g < kFontSize; ++g) {
        Glyph glyph;
        const int n = corners(random);
        for (int k = 0; k < n; ++k) {
            const double a = 2 * 3.14159265358979 * k / n;
            const double r = radius(random) * 0.5;
            glyph.points.push_back({0.5 + r * std::cos(a), 0.5 + r * std::sin(a)});
        }
        if (g % 3 == 0) {
            glyph.holeStart = glyph.points.size();
            for (int k = 0; k < 8; ++k) {
                const double a = -2 * 3.14159265358979 * k / 8;
                glyph.points.push_back({0.5 + 0.12 * std::cos(a), 0.5 + 0.12 * std::sin(a)});
            }
        }
        font.push_back(std::move(glyph));
    }
    return font;
}

std::size_t segmentsOf(const Path& path) {
    const std::size_t n = path.points.size();
    return path.closed || path.filled ? n : (n > 0 ? n - 1 : 0);
}

Path placeGlyph(const Glyph& glyph, Point at) {
    Path path;
    path.filled = true;
    path.closed = true;
    path.evenOdd = false;
    path.points.reserve(glyph.points.size());
    for (const auto& p : glyph.points) {
        path.points.push_back({at.x + p.x * kGlyphWidth, at.y + p.y * kGlyphHeight});
    }
    if (glyph.holeStart > 0) {
        path.subpathStarts.push_back(glyph.holeStart);
    }
    return path;
}

}  // namespace

DensePair makeDensePair(std::size_t segments, unsigned seed) {
    std::mt19937 random(seed);
    const auto font = makeFont(random);
    std::uniform_int_distribution<int> anyGlyph(0, kFontSize - 1);
    std::uniform_real_distribution<double> unit(0, 1);
    DensePair pair;
    Page& base = pair.base;
    Page& variant = pair.variant;
    base.width = variant.width = kSheetWidth;
    base.height = variant.height = kSheetHeight;
    std::size_t count = 0;
    const auto both = [&](const Path& path) {
        count += segmentsOf(path);
        base.paths.push_back(path);
        variant.paths.push_back(path);
    };

    Path frame;
    frame.closed = true;
    frame.stroke.widthMm = 0.7;
    frame.points = {{kMargin / 2, kMargin / 2},
                    {kSheetWidth - kMargin / 2, kMargin / 2},
                    {kSheetWidth - kMargin / 2, kSheetHeight - kMargin / 2},
                    {kMargin / 2, kSheetHeight - kMargin / 2}};
    both(frame);

    // A twelfth of the budget goes to wires and arcs, a twentieth to pads,
    // the rest to text as outlines.
    const std::size_t wireBudget = segments / 12;
    const std::size_t padBudget = segments / 20;
    const double usableW = kSheetWidth - 2 * kMargin;
    const double usableH = kSheetHeight - 2 * kMargin;
    bool movedWire = false;
    while (count < wireBudget) {
        Path wire;
        wire.stroke.pen = 2;
        wire.stroke.widthMm = 0.25;
        const Point start{kMargin + unit(random) * usableW, kMargin + unit(random) * usableH};
        if (unit(random) < 0.3) {
            // An arc of 30 to 90 chords.
            const int chords = 30 + static_cast<int>(unit(random) * 60);
            const double r = (5 + unit(random) * 40) * drawing::kUnitsPerMm;
            for (int k = 0; k <= chords; ++k) {
                const double a = 3.14159265358979 * k / chords;
                wire.points.push_back({start.x + r * std::cos(a), start.y + r * std::sin(a)});
            }
        } else {
            Point p = start;
            wire.points.push_back(p);
            const int bends = 1 + static_cast<int>(unit(random) * 5);
            for (int k = 0; k < bends; ++k) {
                const double run = (20 + unit(random) * 180) * drawing::kUnitsPerMm;
                if (k % 2 == 0) {
                    p.x = std::clamp(p.x + (unit(random) < 0.5 ? -run : run), kMargin,
                                     kSheetWidth - kMargin);
                } else {
                    p.y = std::clamp(p.y + (unit(random) < 0.5 ? -run : run), kMargin,
                                     kSheetHeight - kMargin);
                }
                wire.points.push_back(p);
            }
        }
        count += segmentsOf(wire);
        base.paths.push_back(wire);
        if (!movedWire && wire.points.size() > 2 && wire.points.size() < 8) {
            // Moved by 2 mm: removed in one place, added in the other.
            movedWire = true;
            Box box{kInf(), kInf(), -kInf(), -kInf()};
            for (auto& p : wire.points) {
                box = grow(box, p);
                p.y += 2 * drawing::kUnitsPerMm;
                box = grow(box, p);
            }
            pair.changes.push_back(box);
        } else {
            std::reverse(wire.points.begin(), wire.points.end());
        }
        variant.paths.push_back(std::move(wire));
    }
    while (count < wireBudget + padBudget) {
        Path pad;
        pad.filled = true;
        pad.closed = true;
        pad.stroke.pen = 3;
        const Point c{kMargin + unit(random) * usableW, kMargin + unit(random) * usableH};
        const int n = 100 + static_cast<int>(unit(random) * 300);
        const double r = (1 + unit(random) * 3) * drawing::kUnitsPerMm;
        for (int k = 0; k < n; ++k) {
            const double a = 2 * 3.14159265358979 * k / n;
            pad.points.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
        }
        both(pad);
    }

    // Text rows from the top, in words of 3 to 9 glyphs.
    double x = kMargin;
    double y = kSheetHeight - kMargin - kRowPitch;
    int word = 0;
    bool removedWord = false;
    while (count < segments && y > kMargin) {
        const int letters = 3 + static_cast<int>(unit(random) * 7);
        if (x + letters * kGlyphPitch > kSheetWidth - kMargin) {
            x = kMargin;
            y -= kRowPitch;
            continue;
        }
        const bool removeThis = !removedWord && word == 7;
        Box wordBox{x, y, x + letters * kGlyphPitch, y + kGlyphHeight};
        for (int k = 0; k < letters; ++k) {
            const int g = anyGlyph(random);
            const Point at{x + k * kGlyphPitch, y};
            Path glyph = placeGlyph(font[static_cast<std::size_t>(g)], at);
            count += segmentsOf(glyph);
            if (!removeThis && unit(random) < 0.005) {
                // Another glyph in the same place: "C" becomes "D".
                const auto other = static_cast<std::size_t>(
                    (g + 1 + anyGlyph(random) % (kFontSize - 1)) % kFontSize);
                variant.paths.push_back(placeGlyph(font[other], at));
                ++pair.replacedGlyphs;
                pair.changes.push_back({at.x, at.y, at.x + kGlyphWidth, at.y + kGlyphHeight});
            } else if (!removeThis) {
                variant.paths.push_back(glyph);
            }
            base.paths.push_back(std::move(glyph));
        }
        if (removeThis) {
            removedWord = true;
            pair.changes.push_back(wordBox);
        }
        x += (letters + 1) * kGlyphPitch;
        ++word;
    }
    // An added word in the bottom margin band, clear of everything.
    {
        const Point at{kSheetWidth / 2, kMargin / 2 + 2 * drawing::kUnitsPerMm};
        for (int k = 0; k < 4; ++k) {
            variant.paths.push_back(
                placeGlyph(font[static_cast<std::size_t>(k)], {at.x + k * kGlyphPitch, at.y}));
        }
        pair.changes.push_back({at.x, at.y, at.x + 4 * kGlyphPitch, at.y + kGlyphHeight});
    }
    // Labels in the top margin band.
    for (int k = 0; k < 5; ++k) {
        drawing::Text label;
        label.origin = {kMargin + k * 100 * drawing::kUnitsPerMm, kSheetHeight - kMargin + 1};
        label.text = "Sheet part " + std::to_string(k + 1);
        label.charWidth = 1.5 * drawing::kUnitsPerMm;
        label.charHeight = 2.5 * drawing::kUnitsPerMm;
        base.texts.push_back(label);
        if (k == 2) {
            label.text = "Sheet part X";
            pair.changes.push_back({label.origin.x, label.origin.y,
                                    label.origin.x + 12 * 1.5 * label.charWidth,
                                    label.origin.y + label.charHeight});
        }
        variant.texts.push_back(label);
    }
    return pair;
}

}  // namespace sandrel

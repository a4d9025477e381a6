#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <numbers>
#include <numeric>
#include <thread>
#include <unordered_map>
#include <vector>

#include "drawing/render/render.h"
#include "sandrel/compare.h"
#include "sandrel/segment_grid.h"

namespace sandrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Cells per side at most: far-flung changes make coarser cells, not more.
constexpr double kMaxCellsPerSide = 4096;
// Up to this many cells (4 MB) the grouping keeps its cells in an array.
constexpr std::size_t kDenseCells = std::size_t{1} << 20;
// Overlapping boxes are merged pairwise, which is quadratic: beyond this
// many regions the page is one mass of changes anyway.
constexpr std::size_t kMaxMerged = 500;
// Below this many points of changed elements a second thread costs more
// than it saves.
constexpr std::size_t kThreadFromPoints = 100000;
constexpr std::uint32_t kNoElement = 0xFFFFFFFFu;
// The cells of an element kept to pass over its strokes that add none.
constexpr std::size_t kFewCells = 16;
// A segment's cells are looked up over its box widened by this share of a
// cell more than the half gap, so that no rounding puts one outside it.
constexpr double kSpanMargin = 1e-6;

struct Element {
    double x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;
    bool added = false;
    const std::string* text = nullptr;
    const drawing::Path* path = nullptr;
    // The points of path: a fill's edge read without points of its own
    // stands for its fill's (drawing::drawnOn).
    const std::vector<drawing::Point>* points = nullptr;
    void add(double x, double y) {
        if (std::isfinite(x) && std::isfinite(y)) {
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
        }
    }
    bool empty() const { return !(x0 <= x1 && y0 <= y1); }
};

std::uint32_t root(std::vector<std::uint32_t>& parent, std::uint32_t i) {
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// One region per set of the union-find forest over n items; add(region,
// i) puts item i into its region.
template <typename Add>
std::vector<Region> gather(std::vector<std::uint32_t>& parent, std::size_t n, Add&& add) {
    std::unordered_map<std::uint32_t, std::size_t> regionOf;
    std::vector<Region> regions;
    for (std::uint32_t i = 0; i < n; ++i) {
        const auto [it, fresh] = regionOf.try_emplace(root(parent, i), regions.size());
        if (fresh) {
            regions.emplace_back();
            Region& r = regions.back();
            r.x0 = r.y0 = kInf;
            r.x1 = r.y1 = -kInf;
        }
        add(regions[it->second], i);
    }
    return regions;
}

// Takes width (mm, below 0 for none) into the range low..high.
void widen(double& low, double& high, double width) {
    if (width < 0) {
        return;
    }
    low = low < 0 ? width : std::min(low, width);
    high = std::max(high, width);
}

// Merges regions whose boxes meet (a box around a box reads as one change)
// and puts them in reading order.
void arrange(std::vector<Region>& regions, double gap) {
    // A region inside or over another's box is one with it: a box around
    // a box reads as one change.
    if (regions.size() <= kMaxMerged) {
        for (bool merged = true; merged;) {
            merged = false;
            for (std::size_t i = 0; i < regions.size(); ++i) {
                for (std::size_t j = i + 1; j < regions.size();) {
                    Region& a = regions[i];
                    const Region& b = regions[j];
                    if (!(a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1)) {
                        ++j;
                        continue;
                    }
                    a.x0 = std::min(a.x0, b.x0);
                    a.y0 = std::min(a.y0, b.y0);
                    a.x1 = std::max(a.x1, b.x1);
                    a.y1 = std::max(a.y1, b.y1);
                    a.removed += b.removed;
                    a.added += b.added;
                    a.removedTexts.insert(a.removedTexts.end(), b.removedTexts.begin(),
                                          b.removedTexts.end());
                    a.addedTexts.insert(a.addedTexts.end(), b.addedTexts.begin(),
                                        b.addedTexts.end());
                    widen(a.removedWidthLow, a.removedWidthHigh, b.removedWidthLow);
                    widen(a.removedWidthLow, a.removedWidthHigh, b.removedWidthHigh);
                    widen(a.addedWidthLow, a.addedWidthHigh, b.addedWidthLow);
                    widen(a.addedWidthLow, a.addedWidthHigh, b.addedWidthHigh);
                    regions.erase(regions.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
            }
        }
    }
    // Reading order: bands of a few gaps from the top, left to right in each.
    const double band = 4 * std::max(gap, 1.0);
    std::sort(regions.begin(), regions.end(), [&](const Region& a, const Region& b) {
        const double ba = std::floor(-a.y1 / band);
        const double bb = std::floor(-b.y1 / band);
        return ba != bb ? ba < bb : a.x0 < b.x0;
    });
}

}  // namespace

RegionKind regionKind(const Region& region, const Options& options) {
    if (!region.removedTexts.empty() || !region.addedTexts.empty()) {
        return RegionKind::text;
    }
    // Lines of one width removed and lines of another added: what a
    // checker wants to read first is the change of width.
    const bool oneWidthEach = region.removedWidthLow >= 0 && region.addedWidthLow >= 0 &&
                              region.removedWidthLow == region.removedWidthHigh &&
                              region.addedWidthLow == region.addedWidthHigh;
    if (oneWidthEach && region.removed > 0 && region.added > 0 &&
        !sameWidth(region.removedWidthLow, region.addedWidthLow, options)) {
        return RegionKind::width;
    }
    return RegionKind::geometry;
}

const char* regionKindName(RegionKind kind) {
    switch (kind) {
        case RegionKind::width:
            return "width";
        case RegionKind::text:
            return "text";
        case RegionKind::geometry:
            break;
    }
    return "geometry";
}

namespace {

// Whether the comparison drew what has this stroke as removed or added.
bool isChange(const drawing::Stroke& stroke) {
    return stroke.layer == drawing::Layer::drawing &&
           (stroke.pen == kRemovedPen || stroke.pen == kAddedPen);
}

}  // namespace

std::vector<Region> findRegions(const drawing::Page& page, double gap) {
    // On a sheet of changed glyph outlines the elements take a hundred bytes
    // and more a letter, megabytes, at a moment when the comparison has just
    // given back as much in pieces. Kept in blocks of their own, they fill
    // those pieces; one list would not fit into any and grow the heap by its
    // whole size (or, grown by doubling, by half as much again).
    std::deque<Element> elements;
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        const drawing::Path& path = page.paths[i];
        if (!isChange(path.stroke)) {
            continue;
        }
        Element e;
        e.added = path.stroke.pen == kAddedPen;
        e.path = &path;
        e.points = &drawing::drawnOn(page.paths, i).points;
        for (const auto& p : *e.points) {
            e.add(p.x, p.y);
        }
        if (!e.empty()) {
            elements.push_back(e);
        }
    }
    for (const auto& t : page.texts) {
        if (!isChange(t.stroke)) {
            continue;
        }
        Element e;
        e.added = t.stroke.pen == kAddedPen;
        e.text = &t.text;
        drawing::PrecisePoint start;
        std::size_t chars = 0;
        drawing::labelStart(t, start, chars);
        const double a = t.angleDeg * std::numbers::pi / 180;
        const double length = static_cast<double>(chars) * 1.5 * t.charWidth;
        for (const double along : {0.0, length}) {
            for (const double up : {0.0, t.charHeight}) {
                e.add(start.x + along * std::cos(a) - up * std::sin(a),
                      start.y + along * std::sin(a) + up * std::cos(a));
            }
        }
        if (!e.empty()) {
            elements.push_back(e);
        }
    }
    if (elements.empty()) {
        return {};
    }
    // Elements whose strokes, widened by half the gap, pass through one
    // cell of the gap's size belong together. Strokes rather than boxes: a
    // removed sheet frame must not swallow every change inside it.
    double x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;
    for (const auto& e : elements) {
        x0 = std::min(x0, e.x0);
        y0 = std::min(y0, e.y0);
        x1 = std::max(x1, e.x1);
        y1 = std::max(y1, e.y1);
    }
    const double cell =
        std::max({gap, 1.0, (x1 - x0) / kMaxCellsPerSide, (y1 - y0) / kMaxCellsPerSide});
    const int nx = static_cast<int>((x1 - x0) / cell) + 1;
    const int ny = static_cast<int>((y1 - y0) / cell) + 1;
    std::vector<std::uint32_t> parent(elements.size());
    std::iota(parent.begin(), parent.end(), 0u);
    const std::size_t cells = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
    const bool dense = cells <= kDenseCells;
    std::unordered_map<std::size_t, std::uint32_t> firstInCell;
    // Enters elements from .. to - 1 into the cells, each joined with the
    // first element of its range in each cell it passes: firstIn holds
    // those. Ranges of their own touch only their own entries of parent.
    const auto enterRange = [&](std::uint32_t from, std::uint32_t to,
                                std::vector<std::uint32_t>& firstIn) {
        // Element i passes cell c: it joins the first element there.
        const auto visitCell = [&](std::uint32_t i, std::size_t c) {
            std::uint32_t first = i;
            if (dense) {
                std::uint32_t& slot = firstIn[c];
                // Most cells a stroke passes it has entered itself, a
                // segment before: nothing to join.
                if (slot == kNoElement || slot == i) {
                    slot = i;
                    return;
                }
                first = slot;
            } else {
                const auto [it, fresh] = firstInCell.try_emplace(c, i);
                if (fresh || it->second == i) {
                    return;
                }
                first = it->second;
            }
            parent[root(parent, i)] = root(parent, first);
        };
        const auto enter = [&](std::uint32_t i, drawing::PrecisePoint a, drawing::PrecisePoint b) {
            forEachCell(a, b, gap / 2, x0, y0, cell, nx, ny,
                        [&](std::size_t c) { visitCell(i, c); });
        };
        // The cells an element has entered so far, while they are few: a
        // segment whose widened box lies in cells all entered already can
        // join nothing more. A glyph outline's hundred strokes pass the
        // same few cells.
        std::array<std::size_t, kFewCells> entered{};
        std::size_t enteredCount = 0;
        bool few = true;
        const auto inEntered = [&](std::size_t c) {
            return std::find(entered.begin(), entered.begin() + enteredCount, c) !=
                   entered.begin() + enteredCount;
        };
        // The rows and columns of cells the box from (left, bottom) to
        // (right, top) widened by the half gap spans: forEachCell visits no
        // cell outside a segment's such box, and the margin keeps rounding
        // inside it.
        const double grow = gap / 2 + kSpanMargin * cell;
        struct Span {
            int r0, r1, c0, c1;
            std::size_t cells() const {
                return static_cast<std::size_t>(r1 - r0 + 1) *
                       static_cast<std::size_t>(c1 - c0 + 1);
            }
        };
        const auto spanOf = [&](double left, double bottom, double right, double top) {
            return Span{cellIndex(bottom - grow - y0, cell, ny),
                        cellIndex(top + grow - y0, cell, ny), cellIndex(left - grow - x0, cell, nx),
                        cellIndex(right + grow - x0, cell, nx)};
        };
        const auto allEntered = [&](drawing::PrecisePoint a, drawing::PrecisePoint b) {
            const Span span = spanOf(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                                     std::max(a.y, b.y));
            if (span.cells() > enteredCount) {
                return false;
            }
            for (int r = span.r0; r <= span.r1; ++r) {
                for (int c = span.c0; c <= span.c1; ++c) {
                    if (!inEntered(static_cast<std::size_t>(r) * static_cast<std::size_t>(nx) +
                                   static_cast<std::size_t>(c))) {
                        return false;
                    }
                }
            }
            return true;
        };
        for (std::uint32_t i = from; i < to; ++i) {
            const Element& e = elements[i];
            if (e.path != nullptr) {
                enteredCount = 0;
                few = true;
                // Every cell its strokes can reach lies in its own box's
                // cells: once it has entered them all, the rest of its
                // strokes can join nothing.
                const std::size_t reachable = spanOf(e.x0, e.y0, e.x1, e.y1).cells();
                const auto enterNoting = [&](drawing::PrecisePoint a, drawing::PrecisePoint b) {
                    forEachCell(a, b, gap / 2, x0, y0, cell, nx, ny, [&](std::size_t c) {
                        visitCell(i, c);
                        if (few && !inEntered(c)) {
                            few = enteredCount < kFewCells;
                            if (few) {
                                entered[enteredCount++] = c;
                            }
                        }
                    });
                };
                const auto& pts = *e.points;
                for (std::size_t k = 0; k < pts.size(); ++k) {
                    const drawing::Point& a = pts[k];
                    const drawing::Point& b = k + 1 < pts.size() ? pts[k + 1] : pts[k];
                    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
                        !std::isfinite(b.y)) {
                        continue;
                    }
                    if (!few) {
                        enter(i, a, b);
                    } else if (!allEntered(a, b)) {
                        enterNoting(a, b);
                        if (few && enteredCount == reachable) {
                            break;
                        }
                    }
                }
            } else {
                enter(i, {e.x0, e.y0}, {e.x1, e.y0});
                enter(i, {e.x1, e.y0}, {e.x1, e.y1});
                enter(i, {e.x1, e.y1}, {e.x0, e.y1});
                enter(i, {e.x0, e.y1}, {e.x0, e.y0});
            }
        }
    };
    const auto count = static_cast<std::uint32_t>(elements.size());
    std::size_t points = 0;
    for (const auto& e : elements) {
        points += e.path != nullptr ? e.points->size() : 4;
    }
    // The first element in each cell: in a plain array when the cells are
    // few enough (a page's worth at the usual gaps), else in a map of the
    // cells that hold any. A page of changed glyph outlines has millions of
    // strokes: two threads take half the elements each, and where both
    // halves reach a cell their firsts are joined. Elements sharing a cell
    // end up together either way.
    std::vector<std::uint32_t> firstIn(dense ? cells : 0, kNoElement);
    if (dense && points >= kThreadFromPoints) {
        std::size_t half = 0;
        std::uint32_t middle = 0;
        while (middle < count && half < points / 2) {
            const Element& e = elements[middle++];
            half += e.path != nullptr ? e.points->size() : 4;
        }
        std::vector<std::uint32_t> secondFirstIn(cells, kNoElement);
        std::thread second([&] { enterRange(middle, count, secondFirstIn); });
        enterRange(0, middle, firstIn);
        second.join();
        for (std::size_t c = 0; c < cells; ++c) {
            if (firstIn[c] != kNoElement && secondFirstIn[c] != kNoElement) {
                parent[root(parent, secondFirstIn[c])] = root(parent, firstIn[c]);
            }
        }
    } else {
        enterRange(0, count, firstIn);
    }
    std::vector<Region> regions = gather(parent, elements.size(), [&](Region& r, std::uint32_t i) {
        const Element& e = elements[i];
        r.x0 = std::min(r.x0, e.x0);
        r.y0 = std::min(r.y0, e.y0);
        r.x1 = std::max(r.x1, e.x1);
        r.y1 = std::max(r.y1, e.y1);
        ++(e.added ? r.added : r.removed);
        if (e.text != nullptr) {
            (e.added ? r.addedTexts : r.removedTexts).push_back(*e.text);
        }
        if (e.path != nullptr && !e.path->filled) {
            if (e.added) {
                widen(r.addedWidthLow, r.addedWidthHigh, e.path->stroke.widthMm);
            } else {
                widen(r.removedWidthLow, r.removedWidthHigh, e.path->stroke.widthMm);
            }
        }
    });
    arrange(regions, gap);
    return regions;
}

std::vector<Region> findPixelRegions(const std::vector<std::uint8_t>& change, int width, int height,
                                     int gapPixels, const PixelPlace& place) {
    BitMask removed(width, height);
    BitMask added(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = change.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (row[x] != 0) {
                (row[x] == kPixelAdded ? added : removed).row(y)[x >> 6] |= std::uint64_t{1}
                                                                            << (x & 63);
            }
        }
    }
    return findPixelRegions(removed, added, gapPixels, place);
}

std::vector<Region> findPixelRegions(const BitMask& removed, const BitMask& added, int gapPixels,
                                     const PixelPlace& place) {
    // Changed pixels gather in cells of the gap's size; cells that touch
    // (side or corner) are one region.
    const int width = removed.width;
    const int height = removed.height;
    const int cell = std::max(1, gapPixels);
    const int nx = (width + cell - 1) / cell;
    const int ny = (height + cell - 1) / cell;
    struct Cell {
        int x0 = std::numeric_limits<int>::max(), y0 = std::numeric_limits<int>::max();
        int x1 = -1, y1 = -1;
        int removed = 0, added = 0;
    };
    std::unordered_map<std::size_t, Cell> cells;
    for (int y = 0; y < height; ++y) {
        const std::size_t rowKey = static_cast<std::size_t>(y / cell) * nx;
        for (const bool isAdded : {false, true}) {
            const std::uint64_t* row = (isAdded ? added : removed).row(y);
            // Neighbouring pixels mostly share a cell: it is looked up
            // again only when the next pixel leaves it.
            std::size_t key = std::numeric_limits<std::size_t>::max();
            Cell* c = nullptr;
            for (std::size_t k = 0; k < removed.words; ++k) {
                for (std::uint64_t bits = row[k]; bits != 0; bits &= bits - 1) {
                    const int x = static_cast<int>(64 * k) + std::countr_zero(bits);
                    const std::size_t at = rowKey + static_cast<std::size_t>(x / cell);
                    if (at != key) {
                        key = at;
                        c = &cells[key];
                    }
                    c->x0 = std::min(c->x0, x);
                    c->y0 = std::min(c->y0, y);
                    c->x1 = std::max(c->x1, x);
                    c->y1 = std::max(c->y1, y);
                    ++(isAdded ? c->added : c->removed);
                }
            }
        }
    }
    if (cells.empty()) {
        return {};
    }
    std::vector<std::size_t> keys;
    keys.reserve(cells.size());
    for (const auto& [key, c] : cells) {
        keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    std::unordered_map<std::size_t, std::uint32_t> indexOf;
    for (std::uint32_t i = 0; i < keys.size(); ++i) {
        indexOf.emplace(keys[i], i);
    }
    std::vector<std::uint32_t> parent(keys.size());
    std::iota(parent.begin(), parent.end(), 0u);
    for (std::uint32_t i = 0; i < keys.size(); ++i) {
        const int cx = static_cast<int>(keys[i] % static_cast<std::size_t>(nx));
        const int cy = static_cast<int>(keys[i] / static_cast<std::size_t>(nx));
        for (int dy = 0; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if ((dy == 0 && dx <= 0) || cx + dx < 0 || cx + dx >= nx || cy + dy >= ny) {
                    continue;
                }
                const auto it = indexOf.find(static_cast<std::size_t>(cy + dy) * nx + cx + dx);
                if (it != indexOf.end()) {
                    parent[root(parent, i)] = root(parent, it->second);
                }
            }
        }
    }
    std::vector<Region> regions = gather(parent, keys.size(), [&](Region& r, std::uint32_t i) {
        const Cell& c = cells[keys[i]];
        // Pixel rows run downwards from the top; a pixel covers one unit.
        r.x0 = std::min(r.x0, place.left + c.x0 * place.unit);
        r.x1 = std::max(r.x1, place.left + (c.x1 + 1) * place.unit);
        r.y0 = std::min(r.y0, place.top - (c.y1 + 1) * place.unit);
        r.y1 = std::max(r.y1, place.top - c.y0 * place.unit);
        r.removed += c.removed;
        r.added += c.added;
    });
    arrange(regions, cell * place.unit);
    return regions;
}

}  // namespace sandrel

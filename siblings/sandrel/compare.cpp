#include "sandrel/compare.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "drawing/hpgl/hpgl.h"
#include "drawing/render/render.h"
#include "sandrel/geometry.h"
#include "sandrel/segment_grid.h"
#include "sandrel/segment_set.h"

namespace sandrel {
namespace {

using drawing::Page;
using drawing::Path;
using drawing::Point;
using drawing::PrecisePoint;

constexpr double kInf = std::numeric_limits<double>::infinity();
// Steeper crossings than this do not cover each other: a line crossing
// another is not "the same line" over the few tenths of a millimetre where
// the two are within tolerance.
const double kMinCosine = std::cos(25.0 * std::numbers::pi / 180.0);
// Its square, a trifle smaller: a squared cosine below it is below the
// threshold whatever the rounding of the squares and of the cosine itself.
const double kSteepSquared = kMinCosine * kMinCosine * (1 - 1e-9);
// Gaps and pieces shorter than this (plotter units) are rounding noise.
constexpr double kNoise = 1e-6;
// Plotter units: how much farther than reach a segment's box must lie from
// another's before the two are known not to meet without computing more.
constexpr double kBoxMargin = 1e-3;
constexpr double kTextAngleDeg = 0.5;
constexpr double kTextSlant = 0.01;
// Paths a result page has room for beyond its own: the marks of this many
// regions and the legend.
constexpr std::size_t kRoomForMarks = 256;
// The pen of the marks layer in the removed colour (the legend's sample).
constexpr int kStrikePen = 6;

// Below this many segments a thread costs more than it saves.
constexpr std::size_t kThreadFrom = 20000;
// How far ahead the exact-copy look-ups fetch their slots.
constexpr std::size_t kLookAhead = 16;
// How many of a page's segments tell whether a set of exact copies pays,
// and the share of them (one in so many) that must be copies.
constexpr std::size_t kCopySample = 8192;
constexpr std::size_t kCopyShare = 4;

enum class Status { unchanged, removed, added };

// Hands what a pass of `segments` segments has freed back to the system
// before the next pass allocates its own: the allocator keeps freed memory
// of each thread's arena for reuse, and the next pass's segments, grids and
// result lists do not all fit where the last ones lay, so on a large page
// the two would add up (14 MB of the A3 glyph-outline sheet's 242). On a
// smaller one the freed pages are worth more kept: each one given back is
// a fault when it is used again, and the trim cost a board of four layers
// a tenth of its compare for less than a megabyte.
constexpr std::size_t kTrimFrom = std::size_t{1} << 20;
void releaseFreedMemory(std::size_t segments) {
#if defined(__GLIBC__)
    if (segments >= kTrimFrom) {
        malloc_trim(0);
    }
#else
    (void)segments;
#endif
}

template <class S>
struct Decomposed {
    std::vector<S> segments;
    // Per path: its first segment in segments, and how many it has.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
};

// Layers: outlines and fill boundaries never cover each other, and with
// compareStyle each distinct look gets its own layer. With compareWidth,
// each width and line type gets its own layer, and layers that differ only
// by a width within the tolerance still meet.
class Layers {
  public:
    explicit Layers(const Options& options) : options_(options) {}
    std::uint32_t of(const Path& path) {
        const bool byStyle = options_.compareStyle;
        if (!byStyle && !options_.compareWidth) {
            return path.filled ? 1 : 0;
        }
        const bool outline = !path.filled;
        Key key{path.filled, byStyle ? path.stroke.color : 0, outline ? path.stroke.widthMm : 0.0,
                outline ? path.stroke.lineType : 0,
                outline ? std::vector<double>(path.stroke.dashMm) : std::vector<double>{}};
        const auto [it, fresh] =
            layers_.try_emplace(key, static_cast<std::uint32_t>(widths_.size()));
        if (fresh) {
            std::get<2>(key) = 0;
            const auto group =
                groups_.try_emplace(std::move(key), static_cast<std::uint32_t>(groups_.size()));
            widths_.push_back(outline ? path.stroke.widthMm : 0.0);
            groupOf_.push_back(group.first->second);
        }
        return it->second;
    }
    // Whether segments of layers a and b may cover each other.
    bool meet(std::uint32_t a, std::uint32_t b) const {
        if (a == b) {
            return true;
        }
        if (options_.compareStyle || a >= groupOf_.size() || b >= groupOf_.size()) {
            return false;
        }
        return groupOf_[a] == groupOf_[b] && sameWidth(widths_[a], widths_[b], options_);
    }

  private:
    using Key = std::tuple<bool, drawing::Rgb, double, int, std::vector<double>>;
    const Options& options_;
    std::map<Key, std::uint32_t> layers_;
    std::map<Key, std::uint32_t> groups_;
    std::vector<double> widths_;
    std::vector<std::uint32_t> groupOf_;
};

void subpathBounds(const Path& path, std::size_t k, std::size_t& begin, std::size_t& end) {
    begin = k == 0 ? 0 : path.subpathStarts[k - 1];
    end = k < path.subpathStarts.size() ? path.subpathStarts[k] : path.points.size();
    begin = std::min(begin, path.points.size());
    end = std::clamp(end, begin, path.points.size());
}

// How many segments decompose makes of a path at most (points without a
// place make none).
std::size_t segmentsOf(const Path& path) {
    std::size_t n = 0;
    for (std::size_t k = 0; k <= path.subpathStarts.size(); ++k) {
        std::size_t begin = 0;
        std::size_t end = 0;
        subpathBounds(path, k, begin, end);
        const std::size_t points = end - begin;
        n += points == 1 ? 1 : points == 0 ? 0 : points - 1;
        n += (path.closed || path.filled) && points > 2 ? 1 : 0;
    }
    return n;
}

// The length of a path's lines as its segments would have it (closing
// sides included, points without a place left out).
double lengthOf(const Path& path) {
    double length = 0;
    for (std::size_t k = 0; k <= path.subpathStarts.size(); ++k) {
        std::size_t begin = 0;
        std::size_t end = 0;
        subpathBounds(path, k, begin, end);
        const auto add = [&](PrecisePoint a, PrecisePoint b) {
            const double d = std::hypot(b.x - a.x, b.y - a.y);
            length += std::isfinite(d) ? d : 0;
        };
        for (std::size_t j = begin + 1; j < end; ++j) {
            add(path.points[j - 1], path.points[j]);
        }
        if ((path.closed || path.filled) && end - begin > 2) {
            add(path.points[end - 1], path.points[begin]);
        }
    }
    return length;
}

// The edges without points of their own (read with HpglReadOptions::
// foldFillEdges) taken off a page the comparison owns: on a plot of text
// as glyph outlines, every other path. Such an edge goes with its fill
// whatever the comparison finds (paintSide), so the fill carries the look
// of its edge through the comparison, and the result gets the edge back
// just after its fill (Painter::takeInto).
struct TakenEdges {
    // Per path of the page as compared: 0, or 1 + the index in looks of
    // the edge that followed it.
    std::vector<std::uint16_t> after;
    std::vector<Path> looks;
    const Path* of(std::size_t path) const {
        return path < after.size() && after[path] != 0 ? &looks[after[path] - 1] : nullptr;
    }
};

// Which closed outlines only trace the fill drawn just before them, at the
// thinnest width in the same colour: a plot of text as glyph outlines
// edges every letter it fills (FP then EP), and such an edge shows
// nothing its fill does not. It goes with its fill, whole, instead of
// doubling the segments to compare. Read with HpglReadOptions::
// foldFillEdges, such an edge has no points of its own: its fill's stand
// for them. On a page whose edges were taken off (takeEdges), a path
// after a fill that had one followed that edge, not the fill: no edge.
std::vector<char> edgesOfFills(const Page& page, const TakenEdges& taken) {
    std::vector<char> out(page.paths.size(), 0);
    for (std::size_t i = 1; i < page.paths.size(); ++i) {
        if (taken.of(i - 1) != nullptr) {
            continue;
        }
        const Path& edge = page.paths[i];
        const Path& fill = page.paths[i - 1];
        out[i] = edge.points.empty() ? drawing::looksLikeEdgeOf(edge, fill)
                                     : drawing::tracesFill(edge, fill);
    }
    return out;
}

// Edges of more looks than this stay on the page (edgesOfFills finds them
// there): a plot has a handful.
constexpr std::size_t kMostEdgeLooks = 64;
// Painter entries keep two bits of their own above the path index.
constexpr std::size_t kMostTakenPaths = std::size_t{1} << 30;

TakenEdges takeEdges(Page& page) {
    TakenEdges out;
    std::vector<Path>& paths = page.paths;
    if (paths.size() >= kMostTakenPaths) {
        return out;
    }
    std::vector<std::uint16_t> after(paths.size(), 0);
    std::size_t kept = 0;
    bool previousKept = false;
    std::size_t lastLook = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Path& path = paths[i];
        // What drawing::drawnOn reads as an edge without points: the fill
        // before it in the page's order is still the last path kept.
        if (previousKept && path.points.empty() &&
            drawing::looksLikeEdgeOf(path, paths[kept - 1])) {
            std::size_t look = lastLook;
            if (look >= out.looks.size() || !(out.looks[look] == path)) {
                look = static_cast<std::size_t>(
                    std::find(out.looks.begin(), out.looks.end(), path) - out.looks.begin());
            }
            if (look == out.looks.size() && out.looks.size() < kMostEdgeLooks) {
                out.looks.push_back(path);
            }
            if (look < out.looks.size()) {
                after[kept - 1] = static_cast<std::uint16_t>(look + 1);
                lastLook = look;
                previousKept = false;
                continue;
            }
        }
        if (kept != i) {
            paths[kept] = std::move(path);
        }
        ++kept;
        previousKept = true;
    }
    if (kept == paths.size()) {
        return out;
    }
    // The room of the edges given back: on such a plot, a page's paths
    // take half as much.
    paths.resize(kept);
    paths.shrink_to_fit();
    after.resize(kept);
    after.shrink_to_fit();
    out.after = std::move(after);
    return out;
}

// Each path's layer, in the order of the paths.
std::vector<std::uint32_t> layersOf(const Page& page, Layers& layers) {
    std::vector<std::uint32_t> out;
    out.reserve(page.paths.size());
    // Paths mostly come in runs of one look: a path drawn as the one
    // before it is in its layer, without a look-up.
    const Path* last = nullptr;
    for (const Path& path : page.paths) {
        if (last != nullptr && path.filled == last->filled && path.stroke == last->stroke) {
            out.push_back(out.back());
            continue;
        }
        out.push_back(layers.of(path));
        last = &path;
    }
    return out;
}

// The segments of the page's fills (fills true) or of its outlines. Fills
// and outlines never cover each other, so each kind is compared on its own
// and its segments need not outlive its pass.
// Paths that leftOut marks (when given) make none.
template <class S>
Decomposed<S> decompose(const Page& page, const std::vector<std::uint32_t>& layerOf,
                        const std::vector<char>& edges, bool fills,
                        const std::vector<char>* leftOut = nullptr) {
    using P = decltype(S::pa);
    Decomposed<S> out;
    out.ranges.reserve(page.paths.size());
    // An edge of a fill is compared as its fill is.
    const auto compared = [&](std::size_t i) {
        return page.paths[i].filled == fills && edges[i] == 0 &&
               (leftOut == nullptr || (*leftOut)[i] == 0);
    };
    // Counted first: growing the list by doubling touched twice its final
    // size and held one and a half times it while it moved.
    std::size_t total = 0;
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        total += compared(i) ? segmentsOf(page.paths[i]) : 0;
    }
    out.segments.reserve(total);
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        const Path& path = page.paths[i];
        const auto first = static_cast<std::uint32_t>(out.segments.size());
        if (!compared(i)) {
            out.ranges.emplace_back(first, 0);
            continue;
        }
        const std::uint32_t layer = layerOf[i];
        const auto add = [&](PrecisePoint a, PrecisePoint b) {
            // A point without a place cannot be compared (nor drawn).
            if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
                !std::isfinite(b.y)) {
                return;
            }
            out.segments.push_back({P(a), P(b), layer});
        };
        for (std::size_t k = 0; k <= path.subpathStarts.size(); ++k) {
            std::size_t begin = 0;
            std::size_t end = 0;
            subpathBounds(path, k, begin, end);
            // A point repeated adds nothing to the lines beside it: no
            // segment of its own (glyph outlines flattened to whole units
            // repeat a quarter of their points). A subpath of one place
            // only is a dot.
            bool moves = false;
            for (std::size_t j = begin + 1; j < end; ++j) {
                if (!(path.points[j - 1] == path.points[j])) {
                    moves = true;
                    add(path.points[j - 1], path.points[j]);
                }
            }
            if (end > begin && !moves) {
                add(path.points[begin], path.points[begin]);  // a dot
            }
            const bool closing = (path.closed || path.filled) && end - begin > 2 &&
                                 !(path.points[end - 1] == path.points[begin]);
            if (closing) {
                add(path.points[end - 1], path.points[begin]);
            }
        }
        out.ranges.emplace_back(first, static_cast<std::uint32_t>(out.segments.size()) - first);
    }
    return out;
}

// The smallest float not below v, and the largest not above it.
float floatAtLeast(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) < v) {
        f = std::nextafter(f, std::numeric_limits<float>::infinity());
    }
    return f;
}
float floatAtMost(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) > v) {
        f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    }
    return f;
}

// Whether a segment lies wholly beside a box (left of, right of, below or
// above it): the first test each candidate of the grid meets. A segment's
// ends are in single precision, as a page's points are, and so is the box,
// its edges rounded outward: a float lies below a double edge exactly when it
// lies below the smallest float not below that edge, so the same segments
// are told apart without widening each candidate's four coordinates.
struct BoxTest {
    float x0, y0, x1, y1;
    BoxTest(double left, double bottom, double right, double top)
        : x0(floatAtLeast(left)),
          y0(floatAtLeast(bottom)),
          x1(floatAtMost(right)),
          y1(floatAtMost(top)) {}
    bool outside(const Segment& t) const {
        return std::max(t.pa.x, t.pb.x) < x0 || std::min(t.pa.x, t.pb.x) > x1 ||
               std::max(t.pa.y, t.pb.y) < y0 || std::min(t.pa.y, t.pb.y) > y1;
    }
};

// One stretch of a segment, in length along it.
struct Piece {
    double from;
    double to;
    bool covered;
};

// Splits each segment of `mine` into the stretches that segments of
// `theirs` cover and those they do not.
template <class S>
class Coverage {
  public:
    // unasked, when given, names the segments of mine (by a nonzero entry)
    // whose pieces will not be asked for: the grid need not reach them.
    Coverage(const std::vector<S>& mine, const std::vector<S>& theirs, double reach, bool shortcuts,
             const Layers& layers, const std::vector<char>* unasked = nullptr)
        : mine_(mine), theirs_(theirs), reach_(reach), layers_(layers) {
        if (!shortcuts) {
            grid_.emplace(theirs, reach);
            return;
        }
        // Between two revisions of a drawing nearly every segment is there
        // exactly as before, and an exact copy covers all of a segment.
        // Only the rest is looked up, in a grid of just the segments of
        // `theirs` that come near them.
        exact_.assign(mine.size(), 0);
        std::size_t open = 0;
        // The segments of theirs that repeat an earlier one, by index, each
        // with the first of its equals. The set learns them anyway, and the
        // grid need not hash them again.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> repeats;
        bool repeatsKnown = true;
        {
            // Revisions mostly list their segments in the same order: the
            // segment after the last one found is tried first, which saves
            // most look-ups in the set and so most cache misses.
            std::optional<BasicSegmentSet<S>> set;
            std::size_t next = 0;
            // Whether the set is worth building, asked at the first segment
            // not found in order.
            std::optional<bool> worthASet;
            for (std::uint32_t i = 0; i < mine.size(); ++i) {
                std::uint32_t found = BasicSegmentSet<S>::kNone;
                if (next < theirs.size() && BasicSegmentSet<S>::same(mine[i], theirs[next])) {
                    found = static_cast<std::uint32_t>(next);
                } else {
                    if (!worthASet) {
                        worthASet = manyCopies(mine, i, theirs);
                        if (!*worthASet) {
                            // The grid finds the copies there are, and
                            // leaves out the other page's repeats itself.
                            repeatsKnown = false;
                        }
                    }
                    if (!*worthASet) {
                        // Left to the grid.
                    } else if (!set) {
                        set.emplace(theirs, theirs.size());
                        set->insertAllFinding(
                            theirs.size(),
                            [](std::size_t k) { return static_cast<std::uint32_t>(k); },
                            [&](std::uint32_t k, std::uint32_t equal) {
                                if (equal != BasicSegmentSet<S>::kNone) {
                                    repeats.emplace_back(k, equal);
                                }
                            });
                    }
                    if (set) {
                        found = set->find(mine[i]);
                    }
                }
                // Without copies in order every segment is looked up: the
                // slot of one a few places on is fetched meanwhile.
                if (set && i + kLookAhead < mine.size()) {
                    set->prefetch(mine[i + kLookAhead]);
                }
                exact_[i] = found != BasicSegmentSet<S>::kNone ? 1 : 0;
                if (exact_[i] != 0) {
                    next = found + std::size_t{1};
                } else if (unasked == nullptr || (*unasked)[i] == 0) {
                    ++open;
                }
            }
        }
        // The set is gone before the grid's segments are picked: on a large
        // page it is as large as the grid.
        if (open > 0) {
            std::vector<std::uint32_t> keep = near(mine, exact_, unasked, theirs, reach);
            const bool dropped = repeatsKnown && dropRepeats(keep, repeats);
            decltype(repeats)().swap(repeats);
            grid_.emplace(theirs, std::move(keep), reach, dropped);
        }
    }

    // The stretches of segment `index` of mine in order, from 0 to its
    // length (std::hypot of its run and rise), which the last one ends at.
    void pieces(std::size_t index, std::vector<Piece>& out) {
        out.clear();
        const PrecisePoint sa = mine_[index].a();
        const PrecisePoint sb = mine_[index].b();
        const double length = std::hypot(sb.x - sa.x, sb.y - sa.y);
        if (!exact_.empty() && exact_[index] != 0) {
            out.push_back({0, length, true});
            return;
        }
        const PrecisePoint d = length > 0
                                   ? PrecisePoint{(sb.x - sa.x) / length, (sb.y - sa.y) / length}
                                   : PrecisePoint{1, 0};
        cuts_.clear();
        // Most candidates of the grid lie a cell or more away: their boxes
        // are kept apart by more than reach, so they cannot cut, and are
        // passed over before the costlier tests. The margin is far above
        // any rounding, so nothing that capsuleCut would take is dropped.
        const double grow = reach_ + kBoxMargin;
        const BoxTest box{std::min(sa.x, sb.x) - grow, std::min(sa.y, sb.y) - grow,
                          std::max(sa.x, sb.x) + grow, std::max(sa.y, sb.y) + grow};
        const std::uint32_t layer = mine_[index].layer;
        grid_->forCandidates(mine_[index], [&](std::uint32_t k) {
            const S& t = theirs_[k];
            if (box.outside(t)) {
                return true;
            }
            const PrecisePoint ta = t.a();
            const PrecisePoint tb = t.b();
            if (t.layer != layer && !layers_.meet(layer, t.layer)) {
                return true;
            }
            const double tx = tb.x - ta.x;
            const double ty = tb.y - ta.y;
            const double along = std::abs(d.x * tx + d.y * ty);
            // Most candidates cross at a steep angle: told by squares,
            // before the costly length, where they fall short of the
            // threshold by far more than any rounding of either test.
            if (length > 0 && along * along < kSteepSquared * (tx * tx + ty * ty)) {
                return true;
            }
            const double tLength = std::hypot(tx, ty);
            // A line covers only what runs along it, however short either
            // is: a small tick across a line neither hides nor is hidden by
            // it. Dots have no direction and meet anything.
            if (length > 0 && tLength > 0) {
                const double cosine = along / tLength;
                if (cosine < kMinCosine) {
                    return true;
                }
            }
            Interval cut{};
            if (capsuleCut(sa, d, length, ta, tb, tLength, reach_, cut)) {
                cuts_.push_back(cut);
                // Wholly covered: nothing more to learn.
                return cut.lo > kNoise || cut.hi < length - kNoise;
            }
            return true;
        });
        std::sort(cuts_.begin(), cuts_.end(),
                  [](const Interval& x, const Interval& y) { return x.lo < y.lo; });
        double at = 0;
        for (std::size_t k = 0; k < cuts_.size();) {
            // Overlapping or touching cuts make one covered stretch.
            Interval stretch = cuts_[k++];
            while (k < cuts_.size() && cuts_[k].lo <= stretch.hi + kNoise) {
                stretch.hi = std::max(stretch.hi, cuts_[k++].hi);
            }
            if (stretch.lo > at + kNoise) {
                out.push_back({at, stretch.lo, false});
                at = stretch.lo;
            }
            out.push_back({at, stretch.hi, true});
            at = stretch.hi;
        }
        if (at < length - kNoise || out.empty()) {
            out.push_back({at, length, false});
        } else {
            out.back().to = length;
        }
    }

  private:
    // Whether a sample of mine from `from` on finds many exact copies in
    // theirs: a set of all of theirs costs a cache miss for each of their
    // segments and each of mine, and only pays where it spares the grid
    // most of them. A revision drawn a little shifted has hardly a copy. The
    // sample is small enough to stay in cache while all of theirs are
    // looked up in it.
    static bool manyCopies(const std::vector<S>& mine, std::size_t from,
                           const std::vector<S>& theirs) {
        const std::size_t rest = mine.size() - from;
        const std::size_t step = std::max<std::size_t>(1, rest / kCopySample);
        BasicSegmentSet<S> sample(mine, rest / step + 1);
        std::size_t entered = 0;
        for (std::size_t i = from; i < mine.size(); i += step) {
            entered += sample.insert(static_cast<std::uint32_t>(i)) ? 1 : 0;
        }
        std::vector<char> hit(mine.size() / step + 1, 0);
        std::size_t copies = 0;
        for (const S& t : theirs) {
            const std::uint32_t found = sample.find(t);
            if (found != BasicSegmentSet<S>::kNone && hit[found / step] == 0) {
                hit[found / step] = 1;
                // The count only grows: once enough, the rest of theirs
                // cannot change the answer (a page of copies stops early).
                if (++copies * kCopyShare >= entered) {
                    return true;
                }
            }
        }
        return copies * kCopyShare >= entered;
    }

    // Leaves in `keep` (ascending) only the first of equal segments, as the
    // grid would, and says whether it could: equal segments lie in the same
    // cells, so near() keeps the first of all of them with any other, but a
    // copy drawn the other way round may round into one more cell.
    static bool dropRepeats(std::vector<std::uint32_t>& keep,
                            const std::vector<std::pair<std::uint32_t, std::uint32_t>>& repeats) {
        const auto kept = [&](std::uint32_t k) {
            return std::binary_search(keep.begin(), keep.end(), k);
        };
        for (const auto& [k, equal] : repeats) {
            if (kept(k) && !kept(equal)) {
                return false;
            }
        }
        // Both lists ascend.
        auto repeat = repeats.begin();
        std::erase_if(keep, [&](std::uint32_t k) {
            while (repeat != repeats.end() && repeat->first < k) {
                ++repeat;
            }
            return repeat != repeats.end() && repeat->first == k;
        });
        return true;
    }

    // The segments of theirs that come within reach of an open segment of
    // mine (one that `exact` does not mark), and maybe a few more: a coarse
    // mask of the cells the open segments pass through, against each of
    // theirs widened by reach.
    static std::vector<std::uint32_t> near(const std::vector<S>& mine,
                                           const std::vector<char>& exact,
                                           const std::vector<char>* unasked,
                                           const std::vector<S>& theirs, double reach) {
        // The segments of mine whose pieces may be asked for and are not
        // known already.
        const auto open = [&](std::size_t i) {
            return exact[i] == 0 && (unasked == nullptr || (*unasked)[i] == 0);
        };
        double x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;
        for (std::size_t i = 0; i < mine.size(); ++i) {
            if (!open(i)) {
                continue;
            }
            const PrecisePoint a = mine[i].a();
            const PrecisePoint b = mine[i].b();
            x0 = std::min<double>({x0, a.x, b.x});
            y0 = std::min<double>({y0, a.y, b.y});
            x1 = std::max<double>({x1, a.x, b.x});
            y1 = std::max<double>({y1, a.y, b.y});
        }
        constexpr double kMaskSide = 2048;
        const double cell = std::max(
            {2 * reach, drawing::kUnitsPerMm, (x1 - x0) / kMaskSide, (y1 - y0) / kMaskSide});
        const int nx = static_cast<int>((x1 - x0) / cell) + 1;
        const int ny = static_cast<int>((y1 - y0) / cell) + 1;
        // Cells beyond the mask's edge count as its outermost ones, so the
        // mask can only take in too much, never too little.
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny),
                                       0);
        for (std::size_t i = 0; i < mine.size(); ++i) {
            if (open(i)) {
                forEachCell(mine[i].a(), mine[i].b(), 0, x0, y0, cell, nx, ny,
                            [&](std::size_t c) { mask[c] = 1; });
            }
        }
        // A segment whose box, widened by reach, misses the box of all open
        // segments cannot come near any of them. Tested first: the mask
        // clamps what lies beyond its edge into its outermost cells, so on
        // a page with a few changes in one corner (a footprint moved on a
        // board) nearly every segment would otherwise land in a marked cell.
        const double grow = reach + kBoxMargin;
        // Marked first and listed after, so that the list is no longer than
        // it needs to be (grown by doubling it would take up to twice that).
        std::vector<char> hits(theirs.size(), 0);
        std::size_t count = 0;
        const BoxTest box{x0 - grow, y0 - grow, x1 + grow, y1 + grow};
        for (std::uint32_t i = 0; i < theirs.size(); ++i) {
            if (box.outside(theirs[i])) {
                continue;
            }
            const PrecisePoint ta = theirs[i].a();
            const PrecisePoint tb = theirs[i].b();
            // The cell of its first end is among those it reaches, and
            // where the pages overlap it is mostly marked: asked first.
            bool hit = mask[cellOf(ta, x0, y0, cell, nx, ny)] != 0;
            if (!hit) {
                forEachCell(ta, tb, reach, x0, y0, cell, nx, ny,
                            [&](std::size_t c) { hit = hit || mask[c] != 0; });
            }
            if (hit) {
                hits[i] = 1;
                ++count;
            }
        }
        std::vector<std::uint32_t> keep;
        keep.reserve(count);
        for (std::uint32_t i = 0; i < theirs.size(); ++i) {
            if (hits[i] != 0) {
                keep.push_back(i);
            }
        }
        return keep;
    }

    const std::vector<S>& mine_;
    const std::vector<S>& theirs_;
    double reach_;
    const Layers& layers_;
    std::vector<char> exact_;
    std::optional<BasicSegmentGrid<S>> grid_;
    std::vector<Interval> cuts_;
};

Point pointAt(PrecisePoint a, PrecisePoint b, double u, double length) {
    if (u <= 0 || length <= 0) {
        return a;
    }
    if (u >= length) {
        return b;
    }
    const double f = u / length;
    return {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f};
}

// What one side paints, in order, by list: whole paths of its page by
// their index, and the runs of partly changed ones, which are new paths.
// The paths themselves join the result only when both sides are done: a
// list of indexes is a few bytes a path where a list of paths is a hundred,
// while the segments and grids of the comparison still take their memory.
struct Painter {
    // A run: an open polyline in the look of the path it is part of.
    struct Run {
        std::uint32_t path;
        std::uint32_t count;
        std::size_t first;  // its first point in runPoints
    };

    const Options& options;
    const Page& page;
    // The same page when its paths may be taken, else null (they are copied).
    Page* owned;
    std::vector<std::uint32_t> unchanged;
    std::vector<std::uint32_t> removed;
    std::vector<std::uint32_t> added;
    // The points of all runs one after the other: a page of partly changed
    // glyph outlines makes hundreds of thousands of runs of a few points.
    // Deques, so that they never move to grow.
    std::deque<Point> runPoints;
    std::deque<Run> runs;

    // The edges taken off the page (takeEdges), or null.
    const TakenEdges* taken = nullptr;

    // Entries with this bit name a run, with kEdge the edge taken off the
    // page after a fill, the others a path of the page.
    static constexpr std::uint32_t kRun = 0x80000000u;
    static constexpr std::uint32_t kEdge = 0x40000000u;

    void paintWhole(std::size_t path, Status status) {
        list(status).push_back(static_cast<std::uint32_t>(path));
    }
    void paintEdge(std::size_t fill, Status status) {
        list(status).push_back(kEdge | static_cast<std::uint32_t>(fill));
    }
    // The points from first on, the last ones of runPoints, as a run of path.
    void paintRun(std::size_t path, std::size_t first, Status status) {
        list(status).push_back(kRun | static_cast<std::uint32_t>(runs.size()));
        runs.push_back({static_cast<std::uint32_t>(path),
                        static_cast<std::uint32_t>(runPoints.size() - first), first});
    }
    std::vector<std::uint32_t>& list(Status status) {
        switch (status) {
            case Status::unchanged:
                return unchanged;
            case Status::removed:
                return removed;
            case Status::added:
                break;
        }
        return added;
    }
    // Moves the paths of one list, in its colour and pen, onto the result.
    // An edge read without points of its own (edgesOfFills) stays so: it
    // goes where its fill goes, just after it in the same list, and stands
    // for the same points there.
    void takeInto(Status status, std::vector<Path>& into) {
        const auto [color, pen] = look(status);
        for (const std::uint32_t entry : list(status)) {
            Path path;
            if ((entry & kRun) != 0) {
                const Run& run = runs[entry & ~kRun];
                const auto from = runPoints.begin() + static_cast<std::ptrdiff_t>(run.first);
                path.points.assign(from, from + run.count);
                path.stroke = page.paths[run.path].stroke;
            } else if ((entry & kEdge) != 0) {
                path = *taken->of(entry & ~kEdge);
            } else {
                // Not one conditional expression: with a const path on one
                // side it is a const path, and the owned one is copied too.
                if (owned != nullptr) {
                    path = std::move(owned->paths[entry]);
                } else {
                    path = page.paths[entry];
                }
            }
            path.stroke.color = color;
            path.stroke.pen = pen;
            into.push_back(std::move(path));
        }
        std::vector<std::uint32_t>().swap(list(status));
    }
    std::pair<drawing::Rgb, int> look(Status status) const {
        switch (status) {
            case Status::unchanged:
                return {options.unchangedColor, kUnchangedPen};
            case Status::removed:
                return {options.removedColor, kRemovedPen};
            case Status::added:
                break;
        }
        return {options.addedColor, kAddedPen};
    }
};

// A filled shape no larger than this on either side (plotter units) is
// compared as a whole: text that arrives as outlines, pads, arrow heads.
constexpr double kGlyphSize = 10 * drawing::kUnitsPerMm;

// In single precision, as the points it bounds are: 20 bytes a letter.
struct ShapeBox {
    float x0, y0, x1, y1;
    std::uint32_t path;
};

// Boxes found by the cell their lower left corner lies in, the cells a
// little wider than the reach they are looked up with: a box within reach
// of another on every edge lies in one of the nine cells around that
// one's. (Kept by left edge alone, a column of equal letters made the
// look-up quadratic.)
class BoxIndex {
  public:
    BoxIndex() = default;
    BoxIndex(const std::vector<ShapeBox>& boxes, double reach)
        : side_(std::max(reach, 1.0) * kCellOverReach) {
        entries_.reserve(boxes.size());
        for (const ShapeBox& b : boxes) {
            entries_.push_back({cellOf(b), b});
        }
        std::sort(entries_.begin(), entries_.end(),
                  [](const Entry& x, const Entry& y) { return x.cell < y.cell; });
    }
    // Whether a box lies within reach (at most the index's) of box on
    // every edge.
    bool has(const ShapeBox& box, double reach) const {
        const Cell at = cellOf(box);
        // Sorted by column, then row: each column's three rows are one run.
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
            const Cell first{at.first + dx, at.second - 1};
            const Cell last{at.first + dx, at.second + 1};
            auto it = std::lower_bound(entries_.begin(), entries_.end(), first,
                                       [](const Entry& e, const Cell& c) { return e.cell < c; });
            for (; it != entries_.end() && !(last < it->cell); ++it) {
                const ShapeBox& b = it->box;
                // In double: two floats' difference is exact there.
                if (b.x0 >= box.x0 - reach && b.x0 <= box.x0 + reach &&
                    std::abs(double{b.x1} - box.x1) <= reach &&
                    std::abs(double{b.y0} - box.y0) <= reach &&
                    std::abs(double{b.y1} - box.y1) <= reach) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    using Cell = std::pair<std::int64_t, std::int64_t>;
    struct Entry {
        Cell cell;
        ShapeBox box;
    };
    // How much wider than the reach a cell is: two corners within reach
    // lie in neighbouring cells whatever the rounding of the division.
    static constexpr double kCellOverReach = 1.001;
    // Cells beyond this many on either side are one: far-flung boxes share it.
    static constexpr double kFarCells = 1e15;
    std::int64_t index(double v) const {
        return static_cast<std::int64_t>(std::floor(std::clamp(v / side_, -kFarCells, kFarCells)));
    }
    Cell cellOf(const ShapeBox& b) const { return {index(b.x0), index(b.y0)}; }
    double side_ = 1;
    std::vector<Entry> entries_;
};

// One page's side of the comparison: its segments looked up in the other
// page's, and what that found out about its fills.
template <class S>
struct Side {
    const Page& page;
    // The same page when the comparison may take its paths (moving them
    // into the result instead of copying), else null.
    Page* owned;
    // The segments of the kind being compared, fills or outlines.
    const Decomposed<S>* mine = nullptr;
    std::optional<Coverage<S>> coverage;
    // Per path: whether it is an outline that only edges the fill before
    // it (edgesOfFills).
    const std::vector<char>& edges;
    // The boxes of its glyph-sized fills, in the order of their paths
    // (glyphBoxes).
    std::vector<ShapeBox> glyphs;
    // Per path: a glyph-sized fill with no fill of the other page in its
    // box (partnerlessGlyphs): changed, whatever covers its boundary.
    std::vector<char> partnerless;
    // Per path: for a fill, whether its whole boundary is covered.
    std::vector<char> boundaryCovered;
    // Its glyph-sized fills whose boundary is covered.
    BoxIndex coveredGlyphs;
    // The box of path's fill when it is glyph-sized, else null.
    const ShapeBox* glyphOf(std::size_t path) const {
        const auto it =
            std::lower_bound(glyphs.begin(), glyphs.end(), path,
                             [](const ShapeBox& b, std::size_t p) { return b.path < p; });
        return it != glyphs.end() && it->path == path ? &*it : nullptr;
    }
};

bool boundaryOf(const Path& path, ShapeBox& box) {
    constexpr float kFar = std::numeric_limits<float>::infinity();
    box = {kFar, kFar, -kFar, -kFar, 0};
    for (const auto& p : path.points) {
        if (std::isfinite(p.x) && std::isfinite(p.y)) {
            box.x0 = std::min(box.x0, p.x);
            box.y0 = std::min(box.y0, p.y);
            box.x1 = std::max(box.x1, p.x);
            box.y1 = std::max(box.y1, p.y);
        }
    }
    return box.x0 <= box.x1 && double{box.x1} - box.x0 <= kGlyphSize &&
           double{box.y1} - box.y0 <= kGlyphSize;
}

// First pass: which fills have their whole boundary covered.
template <class S>
void coverFills(Side<S>& side, double reach) {
    std::vector<Piece> pieces;
    std::vector<ShapeBox> covered;
    side.boundaryCovered.assign(side.page.paths.size(), 0);
    for (std::size_t i = 0; i < side.page.paths.size(); ++i) {
        const Path& path = side.page.paths[i];
        if (!path.filled) {
            continue;
        }
        if (side.partnerless[i] != 0) {
            continue;  // neither unchanged nor anyone's partner
        }
        const auto [first, count] = side.mine->ranges[i];
        bool whole = true;
        for (std::uint32_t k = 0; whole && k < count; ++k) {
            side.coverage->pieces(first + k, pieces);
            whole = std::all_of(pieces.begin(), pieces.end(), [](auto& p) { return p.covered; });
        }
        side.boundaryCovered[i] = whole ? 1 : 0;
        const ShapeBox* glyph = side.glyphOf(i);
        if (whole && glyph != nullptr) {
            covered.push_back(*glyph);
        }
    }
    side.coveredGlyphs = BoxIndex(covered, reach);
}

// Whether the other side has a glyph-sized fill in the same box (within
// reach on every edge) whose own boundary is covered: "C" and "D" in one
// place cover much of each other's outline, but the "D" is not covered by
// the "C", so neither stays.
template <class S>
bool hasPartner(const ShapeBox& box, const Side<S>& other, double reach) {
    return other.coveredGlyphs.has(box, reach);
}

// The boxes of a page's glyph-sized fills, in the order of their paths.
std::vector<ShapeBox> glyphBoxes(const Page& page) {
    // Room for every fill: a list grown by doubling kept up to as much
    // again to spare on a sheet of tens of thousands of letters.
    std::vector<ShapeBox> out;
    out.reserve(static_cast<std::size_t>(std::count_if(page.paths.begin(), page.paths.end(),
                                                       [](const Path& p) { return p.filled; })));
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        ShapeBox box{};
        if (page.paths[i].filled && boundaryOf(page.paths[i], box)) {
            box.path = static_cast<std::uint32_t>(i);
            out.push_back(box);
        }
    }
    return out;
}

// Per path of the page whose glyph boxes are mine: whether it is a
// glyph-sized fill that no glyph-sized fill of the other page (theirs)
// matches in box, covered or not. Such a fill cannot stay (hasPartner
// fails), and as the match goes both ways, no fill of the other page can
// have it for its partner: its boundary need not be looked up at all. On
// two revisions printed at slightly different scales, nearly every
// letter. The reach is taken a little wider than hasPartner's, so that no
// rounding of the test either way calls a fill partnerless that has one.
std::vector<char> partnerlessGlyphs(std::size_t paths, const std::vector<ShapeBox>& mine,
                                    const std::vector<ShapeBox>& theirs, double reach) {
    const double wider = reach * (1 + 1e-9) + 1e-6;
    const BoxIndex index(theirs, wider);
    std::vector<char> out(paths, 0);
    for (const ShapeBox& box : mine) {
        out[box.path] = index.has(box, wider) ? 0 : 1;
    }
    return out;
}

// Per path of page: a partnerless fill (partnerless) none of whose
// segments can come within reach of a fill of the other page whose
// boundary is looked up (one that is not partnerless itself). Its own
// boundary is never looked up either, so it needs no segments at all: on
// two revisions of a sheet redrawn, nearly every letter. Told by a coarse
// mask of the cells that the other page's looked-up fills reach, which can
// only keep too many, never too few.
std::vector<char> partnerlessOutOfReach(const Page& page, const std::vector<char>& partnerless,
                                        const Page& other,
                                        const std::vector<char>& otherPartnerless, double reach) {
    struct Box {
        double x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;
        bool empty() const { return !(x0 <= x1 && y0 <= y1); }
        bool misses(const Box& b) const { return x1 < b.x0 || x0 > b.x1 || y1 < b.y0 || y0 > b.y1; }
    };
    const auto boxOf = [](const Path& path) {
        ShapeBox box{};
        boundaryOf(path, box);
        return Box{box.x0, box.y0, box.x1, box.y1};
    };
    const double grow = reach + kBoxMargin;
    std::vector<Box> asked;
    Box all;
    for (std::size_t j = 0; j < other.paths.size(); ++j) {
        if (!other.paths[j].filled || otherPartnerless[j] != 0) {
            continue;
        }
        const Box box = boxOf(other.paths[j]);
        if (!box.empty()) {
            asked.push_back({box.x0 - grow, box.y0 - grow, box.x1 + grow, box.y1 + grow});
            all = {std::min(all.x0, asked.back().x0), std::min(all.y0, asked.back().y0),
                   std::max(all.x1, asked.back().x1), std::max(all.y1, asked.back().y1)};
        }
    }
    std::vector<char> out(page.paths.size(), 0);
    if (asked.empty()) {
        std::copy(partnerless.begin(), partnerless.end(), out.begin());
        return out;
    }
    constexpr double kMaskSide = 512;
    const double cell = std::max({2 * reach, drawing::kUnitsPerMm, (all.x1 - all.x0) / kMaskSide,
                                  (all.y1 - all.y0) / kMaskSide});
    const int nx = static_cast<int>((all.x1 - all.x0) / cell) + 1;
    const int ny = static_cast<int>((all.y1 - all.y0) / cell) + 1;
    const auto column = [&](double x) {
        return std::clamp(static_cast<int>(std::floor((x - all.x0) / cell)), 0, nx - 1);
    };
    const auto row = [&](double y) {
        return std::clamp(static_cast<int>(std::floor((y - all.y0) / cell)), 0, ny - 1);
    };
    // Two tables of nx + 1 by ny + 1: how many looked-up boxes reach each
    // cell (differences at their corners, summed), then how many reached
    // cells lie in the rectangle below and left of each corner, so that a
    // box of any size asks in four look-ups whether it meets one.
    const auto at = [&](int x, int y) {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(nx + 1) +
               static_cast<std::size_t>(x);
    };
    const std::size_t size = static_cast<std::size_t>(nx + 1) * static_cast<std::size_t>(ny + 1);
    std::vector<std::int32_t> reached(size, 0);
    for (const Box& box : asked) {
        const int x0 = column(box.x0), x1 = column(box.x1) + 1;
        const int y0 = row(box.y0), y1 = row(box.y1) + 1;
        ++reached[at(x0, y0)];
        --reached[at(x1, y0)];
        --reached[at(x0, y1)];
        ++reached[at(x1, y1)];
    }
    for (int y = 0; y < ny; ++y) {
        for (int x = 1; x < nx; ++x) {
            reached[at(x, y)] += reached[at(x - 1, y)];
        }
    }
    for (int y = 1; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            reached[at(x, y)] += reached[at(x, y - 1)];
        }
    }
    std::vector<std::int32_t> below(size, 0);
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            below[at(x + 1, y + 1)] = (reached[at(x, y)] > 0 ? 1 : 0) + below[at(x, y + 1)] +
                                      below[at(x + 1, y)] - below[at(x, y)];
        }
    }
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        if (partnerless[i] == 0) {
            continue;
        }
        const Box box = boxOf(page.paths[i]);
        if (box.empty() || box.misses(all)) {
            out[i] = 1;
            continue;
        }
        const int x0 = column(box.x0), x1 = column(box.x1) + 1;
        const int y0 = row(box.y0), y1 = row(box.y1) + 1;
        out[i] = below[at(x1, y1)] - below[at(x0, y1)] - below[at(x1, y0)] + below[at(x0, y0)] == 0
                     ? 1
                     : 0;
    }
    return out;
}

// Second pass: paints one page's outlines and fills: what the other page
// does not cover as `uncovered`, the rest as unchanged when paintCovered
// (the first page paints what both have, so the second leaves it out).
template <class S>
void paintSide(Side<S>& side, const Side<S>& other, double reach, Status uncovered,
               bool paintCovered, Painter& painter, Tally& lines, Tally& fills) {
    const Page& page = side.page;
    const Decomposed<S>& mine = *side.mine;
    Coverage<S>& coverage = *side.coverage;
    // The pieces of the path's segments one after the other, segment k's
    // from pieceStart[k] on: a path of a few hundred thousand segments (a
    // polygon buffer of many outlines) would otherwise take a list and an
    // allocation for each.
    std::vector<Piece> pieces;
    std::vector<std::uint32_t> pieceStart;
    std::vector<Piece> scratch;
    auto& lineUncovered = uncovered == Status::removed ? lines.removed : lines.added;
    auto& fillUncovered = uncovered == Status::removed ? fills.removed : fills.added;
    // Whether the last fill stayed: its edge, if it has one, goes with it,
    // painted by paint in the fill's status and its length counted so.
    bool fillStayed = false;
    const auto edgeOfFill = [&](double length, auto&& paint) {
        if (!fillStayed) {
            lineUncovered += length;
            paint(uncovered);
        } else if (paintCovered) {
            lines.unchanged += length;
            paint(Status::unchanged);
        }
    };
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        const Path& path = page.paths[i];
        if (path.filled) {
            // A fill is one thing: unchanged only when its whole boundary
            // is, and a small one only when it has a partner of its shape.
            const ShapeBox* glyph = side.glyphOf(i);
            fillStayed = side.boundaryCovered[i] != 0 &&
                         (glyph == nullptr || hasPartner(*glyph, other, reach));
            if (!fillStayed) {
                ++fillUncovered;
                painter.paintWhole(i, uncovered);
            } else if (paintCovered) {
                ++fills.unchanged;
                painter.paintWhole(i, Status::unchanged);
            }
            // Its edge taken off the page, as the edge itself would be.
            if (painter.taken != nullptr && painter.taken->of(i) != nullptr) {
                edgeOfFill(lengthOf(path), [&](Status status) { painter.paintEdge(i, status); });
            }
            continue;
        }
        if (side.edges[i] != 0) {
            edgeOfFill(lengthOf(path.points.empty() ? page.paths[i - 1] : path),
                       [&](Status status) { painter.paintWhole(i, status); });
            continue;
        }
        const auto [first, count] = mine.ranges[i];
        pieces.clear();
        pieceStart.clear();
        double coveredLength = 0;
        double uncoveredLength = 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            coverage.pieces(first + k, scratch);
            pieceStart.push_back(static_cast<std::uint32_t>(pieces.size()));
            pieces.insert(pieces.end(), scratch.begin(), scratch.end());
            for (const auto& piece : scratch) {
                (piece.covered ? coveredLength : uncoveredLength) += piece.to - piece.from;
            }
        }
        const bool anyUncovered =
            std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return !p.covered; });
        lineUncovered += uncoveredLength;
        if (paintCovered) {
            lines.unchanged += coveredLength;
        }
        if (!anyUncovered) {
            if (paintCovered) {
                painter.paintWhole(i, Status::unchanged);
            }
            continue;
        }
        // Mixed: redraw as open polylines, one per run of equal status.
        // The run being drawn is the points of runPoints from runFirst on.
        auto& runPoints = painter.runPoints;
        std::size_t runFirst = runPoints.size();
        bool runCovered = false;
        const auto flush = [&] {
            if (runPoints.size() - runFirst >= 2 && (!runCovered || paintCovered)) {
                painter.paintRun(i, runFirst, runCovered ? Status::unchanged : uncovered);
            } else {
                runPoints.resize(runFirst);
            }
            runFirst = runPoints.size();
        };
        for (std::uint32_t k = 0; k < count; ++k) {
            const PrecisePoint sa = mine.segments[first + k].a();
            const PrecisePoint sb = mine.segments[first + k].b();
            const std::size_t end = k + 1 < count ? pieceStart[k + 1] : pieces.size();
            // The segment's pieces end at its length: worked out once.
            const double length = pieces[end - 1].to;
            for (std::size_t at = pieceStart[k]; at < end; ++at) {
                const Piece& piece = pieces[at];
                const Point from = pointAt(sa, sb, piece.from, length);
                const Point to = pointAt(sa, sb, piece.to, length);
                if (runPoints.size() == runFirst || piece.covered != runCovered ||
                    !(runPoints.back() == from)) {
                    flush();
                    runCovered = piece.covered;
                    runPoints.push_back(from);
                }
                runPoints.push_back(to);
            }
        }
        flush();
        if (side.owned != nullptr) {
            // Its runs stand for it now: a page of partly changed lines
            // would otherwise be held twice. Its look stays, for the runs.
            Path& gone = side.owned->paths[i];
            std::vector<Point>().swap(gone.points);
            gone.subpathStarts = {};
        }
    }
}

bool sameText(const drawing::Text& a, const drawing::Text& b, double reach, bool byStyle) {
    const double turn = std::remainder(a.angleDeg - b.angleDeg, 360.0);
    return a.text == b.text && std::abs(a.charWidth - b.charWidth) <= reach &&
           std::abs(a.charHeight - b.charHeight) <= reach && std::abs(turn) <= kTextAngleDeg &&
           std::abs(a.slant - b.slant) <= kTextSlant && a.labelOrigin == b.labelOrigin &&
           std::hypot(a.origin.x - b.origin.x, a.origin.y - b.origin.y) <= reach &&
           (!byStyle || a.stroke.color == b.stroke.color);
}

// Whether `now` stands where `old` stood: the same direction, and origins
// closer than the taller one's height.
bool replaces(const drawing::Text& old, const drawing::Text& now) {
    const double height = std::max(old.charHeight, now.charHeight);
    const double dx = old.origin.x - now.origin.x;
    const double dy = old.origin.y - now.origin.y;
    // Most pairs lie far apart: told by their run and rise alone, before
    // the costlier distance and angle (the distance is never below either).
    if (!(std::abs(dx) < height && std::abs(dy) < height)) {
        return false;
    }
    const double turn = std::remainder(old.angleDeg - now.angleDeg, 360.0);
    return std::abs(turn) <= kTextAngleDeg && old.vertical == now.vertical &&
           std::hypot(dx, dy) < height;
}

// Whether a label running from start along dir for `along`, and up for
// `height`, lies on a sheet of that size.
bool onSheet(PrecisePoint start, PrecisePoint dir, PrecisePoint up, double along, double height,
             const Page& page) {
    for (const double u : {0.0, along}) {
        for (const double v : {0.0, height}) {
            const double x = start.x + dir.x * u + up.x * v;
            const double y = start.y + dir.y * u + up.y * v;
            if (!(x >= 0 && x <= page.width && y >= 0 && y <= page.height)) {
                return false;
            }
        }
    }
    return true;
}

// Moves old up (along its own up direction) to clear now, and strikes it
// through on the marks layer, so that both read. Where above would put it,
// or its region's box, off the sheet (a title at its top edge) and below
// would not, it goes below.
void liftAbove(drawing::Text& old, const drawing::Text& now, const Options& options, Page& page) {
    const double a = now.angleDeg * std::numbers::pi / 180;
    const PrecisePoint up{-std::sin(a), std::cos(a)};
    const PrecisePoint dir{std::cos(a), std::sin(a)};
    const double lift = 1.4 * std::max(old.charHeight, now.charHeight);
    old.labelOrigin = now.labelOrigin;
    PrecisePoint start;
    std::size_t chars = 0;
    double along = 0;
    const auto place = [&](double by) {
        old.origin = {now.origin.x + up.x * by, now.origin.y + up.y * by};
        drawing::labelStart(old, start, chars);
        along = static_cast<double>(chars) * 1.5 * old.charWidth;
        // With a height's room above it, for its region's box and number.
        return onSheet(start, dir, up, along, 2 * old.charHeight, page);
    };
    if (!place(lift) && !old.vertical && page.width > 0 && page.height > 0 && !place(-lift)) {
        place(lift);
    }
    const double middle = old.charHeight / 2;
    if (options.regionGapMm <= 0) {
        return;  // no marks layer at all
    }
    Path strike;
    strike.points = {
        {start.x + up.x * middle, start.y + up.y * middle},
        {start.x + dir.x * along + up.x * middle, start.y + dir.y * along + up.y * middle}};
    strike.stroke.pen = kStrikePen;
    strike.stroke.color = options.removedColor;
    strike.stroke.widthMm = std::max(0.13, old.charHeight / drawing::kUnitsPerMm / 15);
    strike.stroke.layer = drawing::Layer::marks;
    page.paths.push_back(std::move(strike));
}

void compareTexts(const Page& a, const Page& b, double reach, const Options& options,
                  Result& result) {
    std::unordered_multimap<std::string, std::size_t> byString;
    for (std::size_t j = 0; j < b.texts.size(); ++j) {
        byString.emplace(b.texts[j].text, j);
    }
    std::vector<char> matched(b.texts.size(), 0);
    const auto paint = [&](drawing::Text text, drawing::Rgb color, int pen) {
        text.stroke.color = color;
        text.stroke.pen = pen;
        result.page.texts.push_back(std::move(text));
    };
    std::vector<drawing::Text> removed;
    for (const auto& text : a.texts) {
        auto [it, end] = byString.equal_range(text.text);
        std::size_t best = b.texts.size();
        double bestDistance = kInf;
        for (; it != end; ++it) {
            // A label used all over the sheet ("GND") has hundreds of
            // namesakes: those already taken or farther than reach on
            // either axis are passed over before the distance is worked out.
            const auto& other = b.texts[it->second];
            const double dx = text.origin.x - other.origin.x;
            const double dy = text.origin.y - other.origin.y;
            if (matched[it->second] != 0 || std::abs(dx) > reach || std::abs(dy) > reach) {
                continue;
            }
            const double distance = std::hypot(dx, dy);
            if (distance < bestDistance && sameText(text, other, reach, options.compareStyle)) {
                best = it->second;
                bestDistance = distance;
            }
        }
        if (best < b.texts.size()) {
            matched[best] = 1;
            ++result.texts.unchanged;
            paint(text, options.unchangedColor, kUnchangedPen);
        } else {
            removed.push_back(text);
        }
    }
    // A label changed in place would be drawn over by its new version: the
    // old one is set above it, struck through.
    std::vector<char> replaced(b.texts.size(), 0);
    // Only the second page's unmatched texts can stand in a removed one's
    // place, and only those closer along x than the taller one's height:
    // they are sorted by x, and each removed text looks at those within
    // its reach, taking the first in page order that stands in its place.
    // A revision that moved every label has thousands of each.
    std::vector<std::pair<double, std::size_t>> byX;
    double tallest = 0;
    for (std::size_t j = 0; j < b.texts.size(); ++j) {
        const auto& text = b.texts[j];
        // A text without a place stands in none.
        if (!matched[j] && std::isfinite(text.origin.x) && std::isfinite(text.origin.y)) {
            byX.emplace_back(text.origin.x, j);
            tallest = text.charHeight > tallest ? text.charHeight : tallest;
        }
    }
    std::sort(byX.begin(), byX.end());
    for (auto& text : removed) {
        ++result.texts.removed;
        // As replaces() takes it: a height that is not a number makes the
        // taller one not a number, and nothing stands in its place.
        const double reachX = std::max(text.charHeight, tallest);
        if (std::isfinite(text.origin.x) && !std::isnan(reachX)) {
            // Widened far beyond any rounding of the edges themselves.
            const double slack = (std::abs(text.origin.x) + reachX) * 1e-12;
            std::size_t best = b.texts.size();
            auto it = std::lower_bound(byX.begin(), byX.end(), text.origin.x - reachX - slack,
                                       [](const auto& e, double v) { return e.first < v; });
            for (; it != byX.end() && it->first <= text.origin.x + reachX + slack; ++it) {
                const std::size_t j = it->second;
                if (j < best && replaced[j] == 0 && replaces(text, b.texts[j])) {
                    best = j;
                }
            }
            if (best < b.texts.size()) {
                replaced[best] = 1;
                liftAbove(text, b.texts[best], options, result.page);
            }
        }
        paint(std::move(text), options.removedColor, kRemovedPen);
    }
    for (std::size_t j = 0; j < b.texts.size(); ++j) {
        if (!matched[j]) {
            ++result.texts.added;
            paint(b.texts[j], options.addedColor, kAddedPen);
        }
    }
}

// Compares a and b; ownA and ownB are the same pages when their paths may
// be taken into the result, else null.
// Compares a and b with segments of type S.
template <class S>
Result compareOwnedAs(const Page& a, const Page& b, Page* ownA, Page* ownB,
                      const Options& options) {
    Result result;
    result.page.width = std::max(a.width, b.width);
    result.page.height = std::max(a.height, b.height);
    const double reach = options.toleranceMm * drawing::kUnitsPerMm;
    // The two sides share nothing but the inputs and, between the two
    // passes, what each found about its fills: the second side runs on a
    // thread of its own, from the pages' set-up on.
    const auto both = [&](std::size_t segments, auto&& forFirst, auto&& forSecond) {
        std::thread worker;
        if (options.threads && segments > kThreadFrom) {
            worker = std::thread(forSecond);
        } else {
            forSecond();
        }
        forFirst();
        if (worker.joinable()) {
            worker.join();
        }
    };
    std::size_t points = 0;
    for (const Page* page : {&a, &b}) {
        for (const Path& path : page->paths) {
            points += path.points.size();
        }
    }
    TakenEdges takenA;
    TakenEdges takenB;
    std::vector<char> edgesA;
    std::vector<char> edgesB;
    both(
        points,
        [&] {
            if (ownA != nullptr) {
                takenA = takeEdges(*ownA);
            }
            edgesA = edgesOfFills(a, takenA);
        },
        [&] {
            if (ownB != nullptr) {
                takenB = takeEdges(*ownB);
            }
            edgesB = edgesOfFills(b, takenB);
        });

    Layers layers(options);
    const std::vector<std::uint32_t> layersA = layersOf(a, layers);
    const std::vector<std::uint32_t> layersB = layersOf(b, layers);
    Side<S> firstSide{a, ownA, nullptr, {}, edgesA, {}, {}, {}, {}};
    Side<S> secondSide{b, ownB, nullptr, {}, edgesB, {}, {}, {}, {}};
    Painter firstPainter{options, a, ownA, {}, {}, {}, {}, {}};
    Painter secondPainter{options, b, ownB, {}, {}, {}, {}, {}};
    firstPainter.taken = takenA.after.empty() ? nullptr : &takenA;
    secondPainter.taken = takenB.after.empty() ? nullptr : &takenB;
    Tally secondLines;
    Tally secondFills;
    both(
        points, [&] { firstSide.glyphs = glyphBoxes(a); },
        [&] { secondSide.glyphs = glyphBoxes(b); });
    both(
        points,
        [&] {
            firstSide.partnerless =
                partnerlessGlyphs(a.paths.size(), firstSide.glyphs, secondSide.glyphs, reach);
        },
        [&] {
            secondSide.partnerless =
                partnerlessGlyphs(b.paths.size(), secondSide.glyphs, firstSide.glyphs, reach);
        });
    // The segments of the partnerless fills, whose pieces coverFills does
    // not ask for.
    const auto unaskedOf = [](const Decomposed<S>& d, const std::vector<char>& partnerless) {
        std::vector<char> out(d.segments.size(), 0);
        for (std::size_t i = 0; i < d.ranges.size(); ++i) {
            if (partnerless[i] != 0) {
                const auto [first, count] = d.ranges[i];
                std::fill_n(out.begin() + first, count, 1);
            }
        }
        return out;
    };
    // The partnerless fills that need no segments.
    std::vector<char> leftOutA;
    std::vector<char> leftOutB;
    if (options.shortcuts) {
        both(
            points,
            [&] {
                leftOutA = partnerlessOutOfReach(a, firstSide.partnerless, b,
                                                 secondSide.partnerless, reach);
            },
            [&] {
                leftOutB = partnerlessOutOfReach(b, secondSide.partnerless, a,
                                                 firstSide.partnerless, reach);
            });
    }
    // One pass over one kind of path: both sides' segments of that kind,
    // each side's coverage of the other's, then what each side does with
    // it. Returns how many segments the pass compared.
    const auto pass = [&](bool fills, const auto& onFirst, const auto& onSecond) {
        Decomposed<S> first;
        Decomposed<S> second;
        const std::vector<char>* leftOutFirst = fills && !leftOutA.empty() ? &leftOutA : nullptr;
        const std::vector<char>* leftOutSecond = fills && !leftOutB.empty() ? &leftOutB : nullptr;
        both(
            points, [&] { first = decompose<S>(a, layersA, edgesA, fills, leftOutFirst); },
            [&] { second = decompose<S>(b, layersB, edgesB, fills, leftOutSecond); });
        firstSide.mine = &first;
        secondSide.mine = &second;
        both(
            first.segments.size() + second.segments.size(),
            [&] {
                const std::vector<char> unasked =
                    fills ? unaskedOf(first, firstSide.partnerless) : std::vector<char>{};
                firstSide.coverage.emplace(first.segments, second.segments, reach,
                                           options.shortcuts, layers, fills ? &unasked : nullptr);
                onFirst();
            },
            [&] {
                const std::vector<char> unasked =
                    fills ? unaskedOf(second, secondSide.partnerless) : std::vector<char>{};
                secondSide.coverage.emplace(second.segments, first.segments, reach,
                                            options.shortcuts, layers, fills ? &unasked : nullptr);
                onSecond();
            });
        firstSide.coverage.reset();
        secondSide.coverage.reset();
        return first.segments.size() + second.segments.size();
    };
    // First the fills (on drawings whose text arrives as outlines, most of
    // the segments), then the outlines: the fills' segments and grids are
    // gone before the outlines' are made.
    releaseFreedMemory(pass(
        true, [&] { coverFills(firstSide, reach); }, [&] { coverFills(secondSide, reach); }));
    releaseFreedMemory(pass(
        false,
        [&] {
            paintSide(firstSide, secondSide, reach, Status::removed, true, firstPainter,
                      result.lines, result.fills);
        },
        [&] {
            paintSide(secondSide, firstSide, reach, Status::added, false, secondPainter,
                      secondLines, secondFills);
        }));
    result.lines.added = secondLines.added;
    result.fills.added = secondFills.added;
    result.changed = !firstPainter.removed.empty() || !secondPainter.added.empty();
    // In this order, so that changes lie on top of what stayed. With room
    // for the marks of a few hundred regions and the legend, and for the
    // strokes through replaced labels (compareTexts: one at most for each
    // label of the page with fewer): a list sized to its paths alone would
    // move, at twice its size, for the first mark. On a schematic of a few
    // thousand labels, that move was a fifth of the comparison's memory.
    const std::size_t strikes =
        options.regionGapMm > 0 ? std::min(a.texts.size(), b.texts.size()) : 0;
    result.page.paths.reserve(firstPainter.unchanged.size() + firstPainter.removed.size() +
                              secondPainter.added.size() + kRoomForMarks + strikes);
    firstPainter.takeInto(Status::unchanged, result.page.paths);
    firstPainter.takeInto(Status::removed, result.page.paths);
    secondPainter.takeInto(Status::added, result.page.paths);
    for (Painter* painter : {&firstPainter, &secondPainter}) {
        std::deque<Point>().swap(painter->runPoints);
        std::deque<Painter::Run>().swap(painter->runs);
    }
    // What is left of pages that were ours is their paths' empty shells.
    for (Page* own : {ownA, ownB}) {
        if (own != nullptr) {
            std::vector<Path>().swap(own->paths);
        }
    }
    compareTexts(a, b, reach, options, result);
    result.changed = result.changed || result.texts.differ();
    return result;
}

Result compareOwned(const Page& a, const Page& b, Page* ownA, Page* ownB, const Options& options) {
    return compareOwnedAs<Segment>(a, b, ownA, ownB, options);
}

}  // namespace

bool sameWidth(double a, double b, const Options& options) {
    const double difference = std::abs(a - b);
    return difference <= options.widthToleranceMm ||
           difference <= options.widthTolerancePercent / 100 * std::min(a, b);
}

Result compareVectors(const Page& a, const Page& b, const Options& options) {
    return compareOwned(a, b, nullptr, nullptr, options);
}

Result compareVectors(Page&& a, Page&& b, const Options& options) {
    return compareOwned(a, b, &a, &b, options);
}

bool comparePages(Page&& a, Page&& b, const Options& options, Result& result, std::string& error) {
    if (!a.rasters.empty() || !b.rasters.empty()) {
        // Drawn as they are: each edge with its own points again.
        drawing::unfoldFillEdges(a);
        drawing::unfoldFillEdges(b);
        return compareRasters(std::move(a), std::move(b), options, result, error);
    }
    result = compareVectors(std::move(a), std::move(b), options);
    if (options.regionGapMm > 0) {
        result.regions = findRegions(result.page, options.regionGapMm * drawing::kUnitsPerMm);
    }
    return true;
}

bool comparePages(const Page& a, const Page& b, const Options& options, Result& result,
                  std::string& error) {
    if (!a.rasters.empty() || !b.rasters.empty()) {
        return compareRasters(a, b, options, result, error);
    }
    result = compareVectors(a, b, options);
    if (options.regionGapMm > 0) {
        result.regions = findRegions(result.page, options.regionGapMm * drawing::kUnitsPerMm);
    }
    return true;
}

}  // namespace sandrel

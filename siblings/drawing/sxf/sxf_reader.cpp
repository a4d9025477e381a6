// Both SXF forms read into the same builder, so that one drawing gives the
// same page from its .sfc and from its .p21. Features (.sfc) and entities
// (.p21) are read through tables from name to handler.
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>

#include "drawing/memory_budget.h"
#include "drawing/sxf/sxf.h"
#include "drawing/sxf/sxf_tables.h"
#include "drawing/utf8.h"

namespace drawing {
namespace {

constexpr std::size_t kMaxPoints = 10'000'000;
constexpr int kMaxDepth = 64;
// Elements and placements the expansion of (nested) figures may produce.
constexpr std::size_t kMaxFigureElements = 500'000;
constexpr double kChordMm = 0.05;  // arcs and splines become chords this close

struct Failure {
    std::string message;
    std::size_t offset;
};

[[noreturn]] void fail(const std::string& message, std::size_t offset) {
    throw Failure{message, offset};
}

double toRad(double deg) {
    return deg * std::numbers::pi / 180;
}

// ---- the page being built, in mm ----

struct Style {
    int pen = 1;
    bool marks = false;  // on the marks layer
    Rgb colour = kBlack;
    int lineType = 0;
    std::vector<double> dash;
    double widthMm = 0.35;
    double slantDeg = 0;  // of texts (.p21 keeps it in the text style)
    double boxWidth = 0;  // a .p21 text's character width, when its style says
};

// A layer's elements: "PEN<n>" (as we write them) are pen n, our marks
// layer is the marks of a comparison (pen 4, as it draws them), any other
// layer is its number as a pen.
void fromLayerName(const std::string& name, int number, Style& s) {
    if (name == kSxfMarksLayer) {
        s.pen = 4;
        s.marks = true;
        return;
    }
    s.pen = name.rfind("PEN", 0) == 0 && name.size() > 3 && name.size() < 8 &&
                    name.find_first_not_of("0123456789", 3) == std::string::npos
                ? std::atoi(name.c_str() + 3)
                : number;
}

// What elements become before they land on the sheet or in a figure.
struct Shape {
    bool isText = false;
    Path path;  // in mm until placed
    Text text;  // in mm until placed
    int layer = 0;
};

// A placement of a figure: x' = a x + c y + e, y' = b x + d y + f (mm).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    // Scaled by sx and sy, turned by angleDeg, then moved to (x, y).
    static Affine of(double x, double y, double angleDeg, double sx, double sy) {
        const double r = toRad(angleDeg), cs = std::cos(r), sn = std::sin(r);
        return {cs * sx, sn * sx, -sn * sy, cs * sy, x, y};
    }
    PrecisePoint apply(const PrecisePoint& p) const {
        return {a * p.x + c * p.y + e, b * p.x + d * p.y + f};
    }
    PrecisePoint linear(const PrecisePoint& v) const {
        return {a * v.x + c * v.y, b * v.x + d * v.y};
    }
    // This after inner.
    Affine after(const Affine& in) const {
        return {a * in.a + c * in.b, b * in.a + d * in.b,     a * in.c + c * in.d,
                b * in.c + d * in.d, a * in.e + c * in.f + e, b * in.e + d * in.f + f};
    }
    double det() const { return a * d - b * c; }
    bool identity() const { return a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0; }
    // Placements may scale by no more than this, in all and at any depth,
    // nor shrink below its inverse: beyond it coordinates overflow or vanish.
    bool sane() const {
        constexpr double kMax = 1e6;
        for (double v : {a, b, c, d}) {
            if (!std::isfinite(v) || std::abs(v) > kMax) {
                return false;
            }
        }
        return std::isfinite(e) && std::isfinite(f) && std::abs(e) < 1e9 && std::abs(f) < 1e9 &&
               std::abs(det()) > 1 / (kMax * kMax);
    }
};

class Builder {
  public:
    std::size_t points = 0;
    std::size_t expanded = 0;  // elements and placements figures gave
    PageBudget budget;

    // Charges an element the page will hold to the page's memory budget.
    void charge(const Shape& sh, std::size_t offset) {
        if (!budget.charge(sh.isText ? bytesOf(sh.text) : bytesOf(sh.path))) {
            fail(budget.refusal(), offset);
        }
    }

    // Figures placing figures multiply: a budget on what they may give keeps
    // a small file from growing without bound.
    void expand(std::size_t n, std::size_t offset) {
        expanded += n;
        if (expanded > kMaxFigureElements) {
            fail("figures expand to more than " + std::to_string(kMaxFigureElements) + " elements",
                 offset);
        }
    }

    void count(std::size_t n, std::size_t offset) {
        points += n;
        if (points > kMaxPoints) {
            fail("more than " + std::to_string(kMaxPoints) + " points", offset);
        }
    }

    Shape outline(const Style& s, std::vector<PrecisePoint> pts, std::size_t offset) {
        count(pts.size(), offset);
        Shape sh;
        // A polyline that returns to its start is a closed outline.
        const bool returns = pts.size() >= 4 && pts.front() == pts.back();
        sh.path.points.assign(pts.begin(), pts.end() - (returns ? 1 : 0));
        if (returns) {
            sh.path.closed = true;
        }
        sh.path.stroke = stroke(s);
        return sh;
    }

    static Stroke stroke(const Style& s) {
        Stroke st;
        st.pen = s.pen;
        st.layer = s.marks ? Layer::marks : Layer::drawing;
        st.color = s.colour;
        st.widthMm = s.widthMm;
        st.dashMm = s.dash;
        st.lineType = s.dash.empty() ? 0 : s.lineType;
        return st;
    }

    std::vector<PrecisePoint> arc(double cx, double cy, double rx, double ry, double rotDeg,
                                  double startDeg, double endDeg, bool clockwise, bool full,
                                  std::size_t offset) {
        if (!(rx > 0) || !(ry > 0) ||
            !std::isfinite(rx + ry + cx + cy + rotDeg + startDeg + endDeg)) {
            fail("an arc without a radius", offset);
        }
        double sweep = full        ? 360
                       : clockwise ? -(std::fmod(std::fmod(startDeg - endDeg, 360) + 360, 360))
                                   : std::fmod(std::fmod(endDeg - startDeg, 360) + 360, 360);
        if (!full && sweep == 0) {
            sweep = clockwise ? -360 : 360;
        }
        const double r = std::max(rx, ry);
        const double step =
            std::min(5.0, 2 * std::acos(std::max(0.0, 1 - kChordMm / r)) * 180 / std::numbers::pi);
        const int n =
            std::clamp(static_cast<int>(std::ceil(std::abs(sweep) / std::max(step, 0.5))), 1, 720);
        const double cr = std::cos(toRad(rotDeg)), sr = std::sin(toRad(rotDeg));
        std::vector<PrecisePoint> pts;
        for (int i = 0; i <= n; ++i) {
            const double a = toRad(startDeg + sweep * i / n);
            const double x = rx * std::cos(a), y = ry * std::sin(a);
            pts.push_back({cx + x * cr - y * sr, cy + x * sr + y * cr});
        }
        if (full) {
            pts.back() = pts.front();
        }
        return pts;
    }

    static std::vector<PrecisePoint> bezier(const std::vector<PrecisePoint>& c) {
        std::vector<PrecisePoint> pts{c.front()};
        for (std::size_t i = 0; i + 3 < c.size(); i += 3) {
            const PrecisePoint p0 = c[i], p1 = c[i + 1], p2 = c[i + 2], p3 = c[i + 3];
            const double dd = std::hypot(
                std::max(std::abs(p0.x - 2 * p1.x + p2.x), std::abs(p1.x - 2 * p2.x + p3.x)),
                std::max(std::abs(p0.y - 2 * p1.y + p2.y), std::abs(p1.y - 2 * p2.y + p3.y)));
            const int n =
                std::clamp(static_cast<int>(std::ceil(std::sqrt(0.75 * dd / kChordMm))), 1, 256);
            for (int k = 1; k <= n; ++k) {
                const double t = static_cast<double>(k) / n, u = 1 - t;
                pts.push_back({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x +
                                   t * t * t * p3.x,
                               u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y +
                                   t * t * t * p3.y});
            }
        }
        return pts;
    }

    // A clothoid (curvature growing with the length along it, s / A^2) from
    // its origin (x, y), where it runs at angleDeg with no curvature, over
    // the lengths s0 to s1; it turns counter-clockwise, or clockwise when cw.
    // Integrated in steps short enough for chords within kChordMm.
    std::vector<PrecisePoint> clothoid(double x, double y, double a, bool cw, double angleDeg,
                                       double s0, double s1, std::size_t offset) {
        if (!std::isfinite(x + y + a + angleDeg + s0 + s1) || !(std::abs(a) > 1e-6) ||
            std::abs(s0) > 1e6 || std::abs(s1) > 1e6) {
            fail("a clothoid without a sensible parameter or length", offset);
        }
        const double a2 = a * a, turn = cw ? -1 : 1, base = toRad(angleDeg);
        const double sMax = std::max(std::abs(s0), std::abs(s1));
        // A chord of length h on a curvature k strays k h^2 / 8 from the curve.
        const double k = sMax / a2;
        const double h = std::clamp(std::sqrt(8 * kChordMm / std::max(k, 1e-12)), 1e-3, 5.0);
        const auto steps = static_cast<std::size_t>(std::ceil(sMax / h));
        if (steps > 1'000'000) {
            fail("a clothoid too long for its parameter", offset);
        }
        auto heading = [&](double sv) { return base + turn * sv * sv / (2 * a2); };
        // From p at length sa to length sb, by Simpson's rule on one step.
        auto step = [&](PrecisePoint p, double sa, double sb) {
            const double sm = (sa + sb) / 2, l = sb - sa;
            return PrecisePoint{p.x + l / 6 *
                                          (std::cos(heading(sa)) + 4 * std::cos(heading(sm)) +
                                           std::cos(heading(sb))),
                                p.y + l / 6 *
                                          (std::sin(heading(sa)) + 4 * std::sin(heading(sm)) +
                                           std::sin(heading(sb)))};
        };
        PrecisePoint p{x, y};
        const auto toStart = static_cast<int>(std::ceil(std::abs(s0) / h));
        for (int i = 0; i < toStart; ++i) {
            p = step(p, s0 * i / toStart, s0 * (i + 1) / toStart);
        }
        const int n = std::max(1, static_cast<int>(std::ceil(std::abs(s1 - s0) / h)));
        std::vector<PrecisePoint> pts{p};
        for (int i = 0; i < n; ++i) {
            p = step(p, s0 + (s1 - s0) * i / n, s0 + (s1 - s0) * (i + 1) / n);
            pts.push_back(p);
        }
        count(pts.size(), offset);
        return pts;
    }

    // What stands for a symbol defined outside the file: a square of 2 mm
    // times its scale with its diagonals, centred on its point, turned by
    // its angle.
    static std::vector<std::vector<PrecisePoint>> standInSymbol(double x, double y, double angleDeg,
                                                                double scale) {
        const Affine m = Affine::of(x, y, angleDeg, std::abs(scale), std::abs(scale));
        const PrecisePoint c[4] = {m.apply({-1, -1}), m.apply({1, -1}), m.apply({1, 1}),
                                   m.apply({-1, 1})};
        return {{c[0], c[1], c[2], c[3], c[0]}, {c[0], c[2]}, {c[1], c[3]}};
    }

    // An arrowhead: an open arrow 3 mm long and 2 mm wide times its scale,
    // its tip at tip, pointing along (dx, dy).
    static std::vector<PrecisePoint> arrowhead(PrecisePoint tip, double dx, double dy,
                                               double scale) {
        const double len = std::hypot(dx, dy);
        if (!(len > 0)) {
            dx = 1, dy = 0;
        } else {
            dx /= len, dy /= len;
        }
        const Affine m{dx * scale, dy * scale, -dy * scale, dx * scale, tip.x, tip.y};
        return {m.apply({-3, 1}), tip, m.apply({-3, -1})};
    }

    // What stands for a hatch or tiling defined outside the file: lines at
    // 45 degrees, 3 mm apart, clipped to the area like any hatch.
    std::vector<Shape> standInHatch(const Style& s,
                                    const std::vector<std::vector<PrecisePoint>>& rings,
                                    std::size_t offset) {
        return hatch(s, rings, 0, 0, 3, 45, offset);
    }

    static Shape text(const Style& s, const std::string& utf8, double x, double y, double h,
                      double w, double spacing, double angleDeg, double slantDeg, int anchor,
                      bool vertical) {
        std::size_t n = 0;
        for (unsigned char c : utf8) {
            n += (c & 0xC0) != 0x80;
        }
        Shape sh;
        sh.isText = true;
        Text& t = sh.text;
        t.text = utf8;
        // Micrometres: what both forms agree on (see the writer).
        t.origin = {std::round(x * 1e6) / 1e6, std::round(y * 1e6) / 1e6};
        t.charHeight = h;
        if (n > 0) {
            const double dn = static_cast<double>(n);
            t.charWidth = std::max(0.0, (w - (dn - 1) * spacing) / dn);
            // Spacing of half a character (as written here): the same width
            // however the spacing was rounded, so both forms agree.
            if (std::abs(spacing - 0.5 * t.charWidth) < 2e-6) {
                t.charWidth = w / (1.5 * dn - 0.5);
            }
        }
        // Both forms round angles differently (degrees here, radians and
        // directions there): nanodegrees are what they agree on.
        auto nano = [](double deg) { return std::round(deg * 1e9) / 1e9 + 0.0; };
        t.angleDeg = nano(std::fmod(std::fmod(angleDeg, 360) + 360, 360));
        if (t.angleDeg >= 360) {
            t.angleDeg = 0;
        }
        t.slant = std::tan(toRad(std::clamp(nano(slantDeg), -85.0, 85.0)));
        t.labelOrigin = sxf::labelOriginOfAnchor(std::clamp(anchor, 1, 9));
        t.vertical = vertical;
        t.stroke = stroke(s);
        return sh;
    }

    // Hatch lines over the rings (even-odd), spacing mm apart at angle.
    std::vector<Shape> hatch(const Style& s, const std::vector<std::vector<PrecisePoint>>& rings,
                             double x0, double y0, double spacing, double angleDeg,
                             std::size_t offset) {
        std::vector<Shape> lines;
        if (!(spacing > 0) || rings.empty()) {
            return lines;
        }
        const double a = toRad(angleDeg), c = std::cos(a), sn = std::sin(a);
        // In a frame turned so that hatch lines run along u.
        auto v = [&](const PrecisePoint& p) { return -(p.x - x0) * sn + (p.y - y0) * c; };
        auto u = [&](const PrecisePoint& p) { return (p.x - x0) * c + (p.y - y0) * sn; };
        double vmin = 1e300, vmax = -1e300;
        for (const auto& r : rings) {
            for (const auto& p : r) {
                vmin = std::min(vmin, v(p));
                vmax = std::max(vmax, v(p));
            }
        }
        std::size_t edges = 0;
        for (const auto& r : rings) {
            edges += r.size();
        }
        // Every hatch line meets every edge: the work is their product.
        if ((vmax - vmin) / spacing > 1e5 ||
            (vmax - vmin) / spacing * static_cast<double>(edges) > 5e7) {
            fail("hatch lines too dense for their boundary", offset);
        }
        for (double k = std::ceil(vmin / spacing); k * spacing <= vmax; k += 1) {
            const double vv = k * spacing;
            std::vector<double> cuts;
            for (const auto& r : rings) {
                for (std::size_t i = 0; i < r.size(); ++i) {
                    const PrecisePoint& p = r[i];
                    const PrecisePoint& q = r[(i + 1) % r.size()];
                    const double vp = v(p), vq = v(q);
                    if ((vp <= vv) != (vq <= vv)) {
                        const double t = (vv - vp) / (vq - vp);
                        cuts.push_back(u(p) + t * (u(q) - u(p)));
                    }
                }
            }
            std::sort(cuts.begin(), cuts.end());
            for (std::size_t i = 0; i + 1 < cuts.size(); i += 2) {
                auto at = [&](double uu) {
                    return PrecisePoint{x0 + uu * c - vv * sn, y0 + uu * sn + vv * c};
                };
                lines.push_back(outline(s, {at(cuts[i]), at(cuts[i + 1])}, offset));
            }
        }
        return lines;
    }
};

// Moves a shape (mm) through a placement. A text's origin, size and angle
// follow the placement; under a mirroring placement its glyphs stay
// unmirrored and read along the mirrored text's up direction turned a
// quarter clockwise.
void transformShape(Shape& sh, const Affine& m) {
    if (m.identity()) {
        return;
    }
    if (!sh.isText) {
        for (auto& p : sh.path.points) {
            p = m.apply(p);
        }
        return;
    }
    Text& t = sh.text;
    t.origin = m.apply(t.origin);
    const double r = toRad(t.angleDeg);
    const PrecisePoint u = m.linear({std::cos(r), std::sin(r)});
    const PrecisePoint v = m.linear({-std::sin(r), std::cos(r)});
    t.charWidth *= std::hypot(u.x, u.y);
    t.charHeight *= std::hypot(v.x, v.y);
    const PrecisePoint base = m.det() >= 0 ? u : PrecisePoint{v.y, -v.x};
    double deg = std::atan2(base.y, base.x) * 180 / std::numbers::pi;
    deg = std::round(std::fmod(deg + 360, 360) * 1e9) / 1e9 + 0.0;
    t.angleDeg = deg >= 360 ? 0 : deg;
}

// Places a shape (mm) on the page (plotter units). Huge numbers that a
// placement scaled beyond what a page holds are refused: a coordinate beyond
// the range of a page's points, a size beyond a double's.
void place(Shape sh, const Affine& m, Page& page, std::size_t offset) {
    transformShape(sh, m);
    auto within = [&](double v, double largest) {
        if (!(std::fabs(v * kUnitsPerMm) <= largest)) {
            fail("coordinates out of range", offset);
        }
    };
    constexpr double kLargestCoordinate = std::numeric_limits<float>::max();
    constexpr double kLargestSize = std::numeric_limits<double>::max();
    for (const auto& p : sh.path.points) {
        within(p.x, kLargestCoordinate), within(p.y, kLargestCoordinate);
    }
    within(sh.text.origin.x, kLargestCoordinate), within(sh.text.origin.y, kLargestCoordinate);
    within(sh.text.charWidth, kLargestSize), within(sh.text.charHeight, kLargestSize);
    if (sh.isText) {
        Text& text = sh.text;
        text.origin = {text.origin.x * kUnitsPerMm, text.origin.y * kUnitsPerMm};
        text.charWidth *= kUnitsPerMm;
        text.charHeight *= kUnitsPerMm;
        page.texts.push_back(std::move(text));
        return;
    }
    for (auto& pt : sh.path.points) {
        pt = {pt.x * kUnitsPerMm, pt.y * kUnitsPerMm};
    }
    page.paths.push_back(std::move(sh.path));
}

// The line type number of a pattern written as "LT<n>", else fallback.
int lineTypeNumber(const std::string& name, int fallback) {
    if (name.size() < 3 || name.size() > 8 || name.compare(0, 2, "LT") != 0) {
        return fallback;
    }
    char* end = nullptr;
    const long n = std::strtol(name.c_str() + 2, &end, 10);
    return *end == '\0' ? static_cast<int>(n) : fallback;
}

// ---- numbers and strings ----

double number(const std::string& s, std::size_t offset) {
    const char* b = s.c_str();
    char* end = nullptr;
    const double v = std::strtod(b, &end);
    while (*end == ' ') {
        ++end;
    }
    if (end == b || *end != '\0' || !std::isfinite(v)) {
        fail("not a number: \"" + s.substr(0, 40) + "\"", offset);
    }
    return v;
}

int integer(const std::string& s, std::size_t offset) {
    const double v = number(s, offset);
    if (v < -1e9 || v > 1e9) {
        fail("number out of range: " + s.substr(0, 40), offset);
    }
    return static_cast<int>(std::lround(v));
}

// "(1.0,2.0,3.0)" -> numbers
std::vector<double> numberList(const std::string& s, std::size_t offset) {
    std::string body = s;
    body.erase(std::remove_if(body.begin(), body.end(), [](char c) { return c == ' '; }),
               body.end());
    if (body.size() < 2 || body.front() != '(' || body.back() != ')') {
        fail("not a list: \"" + s.substr(0, 40) + "\"", offset);
    }
    std::vector<double> out;
    body = body.substr(1, body.size() - 2);
    std::size_t start = 0;
    while (start < body.size()) {
        const auto comma = std::min(body.find(',', start), body.size());
        out.push_back(number(body.substr(start, comma - start), offset));
        start = comma + 1;
    }
    return out;
}

std::string convert(std::string_view in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(in);
    }
    std::string out;
    std::vector<char> buf(4 * in.size() + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        char* dst = buf.data();
        std::size_t room = buf.size();
        const std::size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf.data(), dst - buf.data());
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // A byte that does not decode becomes U+FFFD; a character code
            // page 932 lacks becomes "?".
            out += std::strcmp(to, "UTF-8") == 0 ? "\xEF\xBF\xBD" : "?";
            const auto lead = static_cast<unsigned char>(*src);
            std::size_t skip = 1;
            if (std::strcmp(from, "UTF-8") == 0) {
                skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            }
            skip = std::min(skip, left);
            src += skip;
            left -= skip;
        }
    }
    iconv_close(cd);
    return out;
}

// ================= .sfc =================

struct Feature {
    std::string name;
    std::vector<std::string> args;
    std::size_t offset;
};

// "#10 = name('a',\'text\',...)" with lines joined; text in UTF-8.
Feature parseFeature(const std::string& body, std::size_t offset) {
    std::size_t i = 0;
    auto skip = [&] {
        while (i < body.size() && (body[i] == ' ' || body[i] == '\t')) {
            ++i;
        }
    };
    skip();
    if (i < body.size() && body[i] == '#') {
        ++i;
        while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i]))) {
            ++i;
        }
        skip();
        if (i >= body.size() || body[i] != '=') {
            fail("a feature without \"=\"", offset);
        }
        ++i;
        skip();
    }
    Feature f;
    f.offset = offset;
    while (i < body.size() &&
           (std::isalnum(static_cast<unsigned char>(body[i])) || body[i] == '_')) {
        f.name += static_cast<char>(std::tolower(static_cast<unsigned char>(body[i++])));
    }
    skip();
    if (f.name.empty() || i >= body.size() || body[i] != '(') {
        fail("a feature without a name and \"(\"", offset);
    }
    ++i;
    skip();
    if (i < body.size() && body[i] == ')') {
        ++i;
    } else {
        for (;;) {
            skip();
            std::string arg;
            if (body.compare(i, 2, "\\'") == 0) {
                const auto end = body.find("\\'", i + 2);
                if (end == std::string::npos) {
                    fail("an unterminated text", offset);
                }
                arg = body.substr(i + 2, end - i - 2);
                i = end + 2;
            } else if (i < body.size() && body[i] == '\'') {
                const auto end = body.find('\'', i + 1);
                if (end == std::string::npos) {
                    fail("an unterminated string", offset);
                }
                arg = body.substr(i + 1, end - i - 1);
                i = end + 1;
            } else {
                fail("a parameter that is not quoted", offset);
            }
            if (arg.size() > sxf::kMaxString) {
                fail("a string over 64 KiB", offset);
            }
            f.args.push_back(std::move(arg));
            skip();
            if (i < body.size() && body[i] == ',') {
                ++i;
                continue;
            }
            if (i < body.size() && body[i] == ')') {
                ++i;
                break;
            }
            fail("\",\" or \")\" expected in " + f.name, offset);
        }
    }
    skip();
    if (i < body.size() && body[i] == ';') {
        ++i;
    }
    skip();
    if (i != body.size()) {
        fail("text after the feature " + f.name, offset);
    }
    return f;
}

class SfcReader {
  public:
    explicit SfcReader(std::string_view data) : data_(data) {
        builder_.budget = PageBudget(pageBudgetFor(data.size()));
    }

    Page read() {
        collect();
        // Tables first: they may stand anywhere in the file.
        for (const auto& f : features_) {
            auto it = tableHandlers().find(f.name);
            if (it != tableHandlers().end()) {
                it->second(*this, f);
            }
        }
        for (const auto& f : features_) {
            if (sheetDone_) {
                break;  // elements after the sheet belong to nothing
            }
            auto it = elementHandlers().find(f.name);
            if (it != elementHandlers().end()) {
                it->second(*this, f);
            }
        }
        if (!sheetDone_) {
            // No sheet feature: what is pending is the drawing.
            takeSheet(0, 0);
        }
        return std::move(page_);
    }

  private:
    using Handler = std::function<void(SfcReader&, const Feature&)>;

    void collect() {
        std::size_t pos = 0;
        bool any = false;
        while ((pos = data_.find("/*", pos)) != std::string_view::npos) {
            const std::size_t start = pos;
            std::size_t tagEnd = pos + 2;
            while (tagEnd < data_.size() && data_[tagEnd] != '\r' && data_[tagEnd] != '\n' &&
                   data_[tagEnd] != ' ' && data_[tagEnd] != '#') {
                ++tagEnd;
            }
            const std::string tag(data_.substr(pos + 2, tagEnd - pos - 2));
            std::string close = "*/";
            if (tag == "SXF" || tag == "SXF3" || tag == "SXF3.1") {
                close = tag + "*/";
            }
            const auto end = data_.find(close, tagEnd);
            if (end == std::string_view::npos) {
                fail("an unterminated comment block", start);
            }
            pos = end + close.size();
            if (close == "*/") {
                continue;  // a plain comment
            }
            std::string body;
            for (char c : data_.substr(tagEnd, end - tagEnd)) {
                if (c != '\r' && c != '\n') {
                    body += c;
                }
            }
            features_.push_back(parseFeature(cp932ToUtf8(body), start));
            any = true;
        }
        if (!any && data_.find("DATA;") == std::string_view::npos) {
            fail("no feature blocks and no DATA section", 0);
        }
    }

    const std::string& arg(const Feature& f, std::size_t i) {
        if (i >= f.args.size()) {
            fail(f.name + ": parameter " + std::to_string(i + 1) + " is missing", f.offset);
        }
        return f.args[i];
    }
    double num(const Feature& f, std::size_t i) { return number(arg(f, i), f.offset); }
    // Direction 2 sets a text in columns; files that leave it out mean rows.
    bool vertical(const Feature& f, std::size_t i) { return i < f.args.size() && code(f, i) == 2; }
    int code(const Feature& f, std::size_t i) { return integer(arg(f, i), f.offset); }

    Style style(const Feature& f, int layer, int colour, int lineType, int width) {
        Style s;
        if (layer > 0) {
            if (layer > static_cast<int>(layers_.size())) {
                fail(f.name + ": no layer " + std::to_string(layer), f.offset);
            }
            fromLayerName(layers_[layer - 1], layer, s);
        }
        if (colour > 0) {
            auto it = colours_.find(colour);
            if (it == colours_.end()) {
                fail(f.name + ": no colour " + std::to_string(colour), f.offset);
            }
            s.colour = it->second;
        }
        if (lineType > 0) {
            auto it = lineTypes_.find(lineType);
            if (it == lineTypes_.end()) {
                fail(f.name + ": no line type " + std::to_string(lineType), f.offset);
            }
            s.lineType = it->second.first;
            s.dash = it->second.second;
        }
        if (width > 0) {
            auto it = widths_.find(width);
            if (it == widths_.end()) {
                fail(f.name + ": no line width " + std::to_string(width), f.offset);
            }
            s.widthMm = it->second;
        }
        return s;
    }
    Style elementStyle(const Feature& f) {
        return style(f, code(f, 0), code(f, 1), code(f, 2), code(f, 3));
    }

    std::vector<PrecisePoint> xy(const Feature& f, std::size_t countAt) {
        const int n = code(f, countAt);
        const auto xs = numberList(arg(f, countAt + 1), f.offset);
        const auto ys = numberList(arg(f, countAt + 2), f.offset);
        if (n < 0 || static_cast<std::size_t>(n) != xs.size() || xs.size() != ys.size()) {
            fail(f.name + ": " + std::to_string(n) + " points announced, " +
                     std::to_string(xs.size()) + " and " + std::to_string(ys.size()) + " given",
                 f.offset);
        }
        std::vector<PrecisePoint> pts;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            pts.push_back({xs[i], ys[i]});
        }
        return pts;
    }

    // Elements of layer 0 may be segments of the next composite curve.
    void element(Shape sh, bool segment) {
        builder_.charge(sh, 0);
        sh.layer = segment ? 0 : 1;
        pending_.push_back(std::move(sh));
    }

    std::vector<std::vector<PrecisePoint>> rings(const Feature& f, std::size_t outerAt) {
        std::vector<int> ids{code(f, outerAt)};
        const int n = code(f, outerAt + 1);
        const auto holes = numberList(arg(f, outerAt + 2), f.offset);
        if (n < 0 || static_cast<std::size_t>(n) != holes.size()) {
            fail(f.name + ": hole count does not match its list", f.offset);
        }
        for (double h : holes) {
            ids.push_back(static_cast<int>(h));
        }
        std::vector<std::vector<PrecisePoint>> out;
        for (int id : ids) {
            if (id < 1 || id > static_cast<int>(curves_.size())) {
                fail(f.name + ": no composite curve " + std::to_string(id), f.offset);
            }
            out.push_back(curves_[id - 1]);
        }
        return out;
    }

    void takeSheet(double wMm, double hMm) {
        page_.width = wMm * kUnitsPerMm;
        page_.height = hMm * kUnitsPerMm;
        for (const auto& sh : pending_) {
            place(sh, Affine{}, page_, 0);
        }
        pending_.clear();
        sheetDone_ = true;
    }

    static const std::unordered_map<std::string, Handler>& tableHandlers() {
        static const std::unordered_map<std::string, Handler> table = {
            {"layer_feature",
             [](SfcReader& r, const Feature& f) { r.layers_.push_back(r.arg(f, 0)); }},
            {"pre_defined_colour_feature",
             [](SfcReader& r, const Feature& f) {
                 const std::string& name = r.arg(f, 0);
                 for (int i = 0; i < 16; ++i) {
                     if (name == sxf::kColours[i].name) {
                         r.colours_[i + 1] = sxf::kColours[i].rgb;
                         return;
                     }
                 }
                 fail("unknown colour \"" + name + "\"", f.offset);
             }},
            {"user_defined_colour_feature",
             [](SfcReader& r, const Feature& f) {
                 auto c = [&](int i) { return static_cast<Rgb>(std::clamp(r.code(f, i), 0, 255)); };
                 r.colours_[sxf::kFirstUserColour + r.userColours_++] =
                     c(0) << 16 | c(1) << 8 | c(2);
             }},
            {"pre_defined_font_feature",
             [](SfcReader& r, const Feature& f) {
                 const auto& types = sxf::lineTypes();
                 for (std::size_t i = 0; i < types.size(); ++i) {
                     if (r.arg(f, 0) == types[i].name) {
                         r.lineTypes_[static_cast<int>(i) + 1] = {
                             i == 0 ? 0 : static_cast<int>(i) + 1, types[i].pattern};
                         return;
                     }
                 }
                 fail("unknown line type \"" + r.arg(f, 0) + "\"", f.offset);
             }},
            {"user_defined_font_feature",
             [](SfcReader& r, const Feature& f) {
                 const std::string& name = r.arg(f, 0);
                 auto dash = numberList(r.arg(f, 2), f.offset);
                 if (r.code(f, 1) != static_cast<int>(dash.size()) || dash.size() % 2 == 1) {
                     fail("line type \"" + name + "\": its pattern does not match its count",
                          f.offset);
                 }
                 const int code = sxf::kFirstUserLineType + r.userLineTypes_++;
                 r.lineTypes_[code] = {lineTypeNumber(name, code), dash};
             }},
            {"width_feature",
             [](SfcReader& r, const Feature& f) {
                 const double mm = r.num(f, 0);
                 for (int i = 0; i < 9; ++i) {
                     if (std::abs(sxf::kWidths[i] - mm) < 1e-9) {
                         r.widths_[i + 1] = mm;
                         return;
                     }
                 }
                 r.widths_[sxf::kFirstUserWidth + r.userWidths_++] = mm;
             }},
            {"text_font_feature", [](SfcReader& r, const Feature&) { ++r.fonts_; }},
        };
        return table;
    }

    static const std::unordered_map<std::string, Handler>& elementHandlers() {
        static const std::unordered_map<std::string, Handler> table = [] {
            std::unordered_map<std::string, Handler> t;
            addCurveHandlers(t);
            addAreaHandlers(t);
            addFigureHandlers(t);
            return t;
        }();
        return table;
    }

    // Lines, arcs and curves.
    static void addCurveHandlers(std::unordered_map<std::string, Handler>& table) {
        const std::pair<const char*, Handler> entries[] = {
            {"line_feature",
             [](SfcReader& r, const Feature& f) {
                 r.element(r.builder_.outline(
                               r.elementStyle(f),
                               {{r.num(f, 4), r.num(f, 5)}, {r.num(f, 6), r.num(f, 7)}}, f.offset),
                           r.code(f, 0) == 0);
             }},
            {"polyline_feature",
             [](SfcReader& r, const Feature& f) {
                 r.element(r.builder_.outline(r.elementStyle(f), r.xy(f, 4), f.offset),
                           r.code(f, 0) == 0);
             }},
            {"circle_feature",
             [](SfcReader& r, const Feature& f) {
                 auto pts = r.builder_.arc(r.num(f, 4), r.num(f, 5), r.num(f, 6), r.num(f, 6), 0, 0,
                                           360, false, true, f.offset);
                 r.element(r.builder_.outline(r.elementStyle(f), std::move(pts), f.offset), false);
             }},
            {"arc_feature",
             [](SfcReader& r, const Feature& f) {
                 auto pts =
                     r.builder_.arc(r.num(f, 4), r.num(f, 5), r.num(f, 6), r.num(f, 6), 0,
                                    r.num(f, 8), r.num(f, 9), r.code(f, 7) == 1, false, f.offset);
                 r.element(r.builder_.outline(r.elementStyle(f), std::move(pts), f.offset),
                           r.code(f, 0) == 0);
             }},
            {"ellipse_feature",
             [](SfcReader& r, const Feature& f) {
                 auto pts = r.builder_.arc(r.num(f, 4), r.num(f, 5), r.num(f, 6), r.num(f, 7),
                                           r.num(f, 8), 0, 360, false, true, f.offset);
                 r.element(r.builder_.outline(r.elementStyle(f), std::move(pts), f.offset), false);
             }},
            {"ellipse_arc_feature",
             [](SfcReader& r, const Feature& f) {
                 auto pts =
                     r.builder_.arc(r.num(f, 4), r.num(f, 5), r.num(f, 6), r.num(f, 7), r.num(f, 9),
                                    r.num(f, 10), r.num(f, 11), r.code(f, 8) == 1, false, f.offset);
                 r.element(r.builder_.outline(r.elementStyle(f), std::move(pts), f.offset),
                           r.code(f, 0) == 0);
             }},
            {"spline_feature",
             [](SfcReader& r, const Feature& f) {
                 const auto ctrl = r.xy(f, 5);
                 if (ctrl.size() < 4 || (ctrl.size() - 1) % 3 != 0) {
                     fail("spline_feature: " + std::to_string(ctrl.size()) + " points is not 3k+1",
                          f.offset);
                 }
                 r.element(r.builder_.outline(r.elementStyle(f), Builder::bezier(ctrl), f.offset),
                           r.code(f, 0) == 0);
             }},
            {"clothoid_feature",
             [](SfcReader& r, const Feature& f) {
                 auto pts =
                     r.builder_.clothoid(r.num(f, 4), r.num(f, 5), r.num(f, 6), r.code(f, 7) == 1,
                                         r.num(f, 8), r.num(f, 9), r.num(f, 10), f.offset);
                 r.element(r.builder_.outline(r.elementStyle(f), std::move(pts), f.offset),
                           r.code(f, 0) == 0);
             }},
        };
        table.insert(std::begin(entries), std::end(entries));
    }

    // Symbols, hatches, fills, markers, text and composite curves.
    static void addAreaHandlers(std::unordered_map<std::string, Handler>& table) {
        const std::pair<const char*, Handler> entries[] = {
            {"externally_defined_symbol_feature",
             [](SfcReader& r, const Feature& f) { r.externalSymbol(f); }},
            {"symbol_externally_defined_feature",
             [](SfcReader& r, const Feature& f) { r.externalSymbol(f); }},
            {"externally_defined_hatch_feature",
             [](SfcReader& r, const Feature& f) {
                 const Style s = r.style(f, r.code(f, 0), 0, 0, 0);
                 for (auto& line : r.builder_.standInHatch(s, r.rings(f, 2), f.offset)) {
                     r.element(std::move(line), false);
                 }
             }},
            {"fill_area_style_tiles_feature", [](SfcReader& r, const Feature& f) { r.tiles(f); }},
            {"fill_area_style_tiles_hatching_feature",
             [](SfcReader& r, const Feature& f) { r.tiles(f); }},
            {"point_marker_feature",
             [](SfcReader& r, const Feature& f) {
                 // Every marker is drawn as a plus of 1 mm by its scale.
                 const Style s = r.style(f, r.code(f, 0), r.code(f, 1), 0, 0);
                 const double x = r.num(f, 2), y = r.num(f, 3), d = 0.5 * std::abs(r.num(f, 6));
                 r.element(r.builder_.outline(s, {{x - d, y}, {x + d, y}}, f.offset), false);
                 r.element(r.builder_.outline(s, {{x, y - d}, {x, y + d}}, f.offset), false);
             }},
            {"text_string_feature",
             [](SfcReader& r, const Feature& f) {
                 const Style s = r.style(f, r.code(f, 0), r.code(f, 1), 0, 0);
                 r.element(Builder::text(s, r.arg(f, 3), r.num(f, 4), r.num(f, 5), r.num(f, 6),
                                         r.num(f, 7), r.num(f, 8), r.num(f, 9), r.num(f, 10),
                                         r.code(f, 11), r.vertical(f, 12)),
                           false);
             }},
            {"composite_curve_org_feature",
             [](SfcReader& r, const Feature& f) { r.compositeCurve(f); }},
            {"composite_curve_feature",
             [](SfcReader& r, const Feature& f) { r.compositeCurve(f); }},
            {"fill_area_style_colour_feature",
             [](SfcReader& r, const Feature& f) { r.fillColour(f); }},
            {"fill_area_style_hatching_feature",
             [](SfcReader& r, const Feature& f) { r.fillHatching(f); }},
        };
        table.insert(std::begin(entries), std::end(entries));
    }

    // Figures, the sheet, dimensions, labels and balloons.
    static void addFigureHandlers(std::unordered_map<std::string, Handler>& table) {
        const std::pair<const char*, Handler> entries[] = {
            {"sfig_org_feature",
             [](SfcReader& r, const Feature& f) {
                 r.figures_[r.arg(f, 0)] = std::move(r.pending_);
                 r.pending_.clear();
             }},
            {"sfig_locate_feature", [](SfcReader& r, const Feature& f) { r.locateFigure(f); }},
            {"drawing_sheet_feature",
             [](SfcReader& r, const Feature& f) { r.takeSheet(r.num(f, 3), r.num(f, 4)); }},
            // Dimensions: the dimension line (or arc), extension lines and
            // text; arrowheads are not drawn.
            {"linear_dim_feature",
             [](SfcReader& r, const Feature& f) {
                 r.dimensionLine(f, 4);
                 r.extensionLine(f, 8);
                 r.extensionLine(f, 15);
                 r.lineArrow(f, 22, 4);
                 r.lineArrow(f, 27, 4);
                 r.dimensionText(f, 32);
             }},
            {"angular_dim_feature", [](SfcReader& r, const Feature& f) { r.angularDimension(f); }},
            {"curve_dim_feature", [](SfcReader& r, const Feature& f) { r.angularDimension(f); }},
            {"radius_dim_feature",
             [](SfcReader& r, const Feature& f) {
                 r.dimensionLine(f, 4);
                 r.lineArrow(f, 8, 4);
                 r.dimensionText(f, 13);
             }},
            {"diameter_dim_feature",
             [](SfcReader& r, const Feature& f) {
                 r.dimensionLine(f, 4);
                 r.lineArrow(f, 8, 4);
                 r.lineArrow(f, 13, 4);
                 r.dimensionText(f, 18);
             }},
            {"label_feature",
             [](SfcReader& r, const Feature& f) {
                 const auto leader = r.xy(f, 4);
                 r.element(r.builder_.outline(r.elementStyle(f), leader, f.offset), false);
                 r.leaderArrow(f, leader, 7);
                 r.dimensionText(f, 9);
             }},
            {"balloon_feature", [](SfcReader& r, const Feature& f) { r.balloon(f); }},
        };
        table.insert(std::begin(entries), std::end(entries));
    }

    // A filled area of one colour, its rings as subpaths.
    void fillColour(const Feature& f) {
        const Style s = style(f, code(f, 0), code(f, 1), 0, 0);
        Shape sh;
        sh.path.filled = true;
        sh.path.closed = true;
        sh.path.evenOdd = true;
        sh.path.stroke = Builder::stroke(s);
        for (const auto& ring : rings(f, 2)) {
            if (!sh.path.points.empty()) {
                sh.path.subpathStarts.push_back(sh.path.points.size());
            }
            sh.path.points.insert(sh.path.points.end(), ring.begin(), ring.end());
        }
        builder_.count(sh.path.points.size(), f.offset);
        element(std::move(sh), false);
    }

    // An area hatched by one to four patterns.
    void fillHatching(const Feature& f) {
        const int k = code(f, 1);
        if (k < 1 || k > 4) {
            fail("fill_area_style_hatching_feature: " + std::to_string(k) + " hatch patterns",
                 f.offset);
        }
        const auto areas = rings(f, 2 + static_cast<std::size_t>(k));
        for (int i = 0; i < k; ++i) {
            const auto h = numberList(arg(f, 2 + static_cast<std::size_t>(i)), f.offset);
            if (h.size() != 7) {
                fail("fill_area_style_hatching_feature: a hatch of " + std::to_string(h.size()) +
                         " values",
                     f.offset);
            }
            const Style s = style(f, code(f, 0), static_cast<int>(h[0]), static_cast<int>(h[1]),
                                  static_cast<int>(h[2]));
            for (auto& line : builder_.hatch(s, areas, h[3], h[4], h[5], h[6], f.offset)) {
                element(std::move(line), false);
            }
        }
    }

    // A figure defined before, placed, scaled and turned.
    void locateFigure(const Feature& f) {
        auto it = figures_.find(arg(f, 1));
        if (it == figures_.end()) {
            fail("sfig_locate_feature: no figure \"" + arg(f, 1) + "\"", f.offset);
        }
        const double sx = num(f, 5), sy = num(f, 6);
        const Affine m = Affine::of(num(f, 2), num(f, 3), num(f, 4), sx, sy);
        if (!m.sane()) {
            fail("sfig_locate_feature: a scale out of range (" + arg(f, 5) + ", " + arg(f, 6) + ")",
                 f.offset);
        }
        for (const auto& sh : it->second) {
            Shape placed = sh;
            transformShape(placed, m);
            builder_.count(placed.path.points.size() + 1, f.offset);
            builder_.expand(1, f.offset);
            builder_.charge(placed, f.offset);
            placed.layer = 1;
            pending_.push_back(std::move(placed));
        }
    }

    // A leader with an arrow, a circle and its text.
    void balloon(const Feature& f) {
        const Style s = elementStyle(f);
        const auto leader = xy(f, 4);
        element(builder_.outline(s, leader, f.offset), false);
        leaderArrow(f, leader, 10);
        const double radius = num(f, 9);
        if (radius > 0) {
            auto pts = builder_.arc(num(f, 7), num(f, 8), radius, radius, 0, 0, 360, false, true,
                                    f.offset);
            element(builder_.outline(s, std::move(pts), f.offset), false);
        }
        dimensionText(f, 12);
    }

    // L, 0 own colour / 1 colour C, C, name, x, y, angle, scale: the symbol
    // itself lives elsewhere, so a stand-in marks its place.
    void externalSymbol(const Feature& f) {
        const Style s = style(f, code(f, 0), code(f, 1) == 1 ? code(f, 2) : 0, 0, 0);
        for (auto& pts : Builder::standInSymbol(num(f, 4), num(f, 5), num(f, 6), num(f, 7))) {
            element(builder_.outline(s, std::move(pts), f.offset), false);
        }
    }
    // L, symbol, C, x, y, v1, v1 angle, v2, v2 angle, sx, sy, angle, outer,
    // n, holes: the tile symbol lives elsewhere; the area gets the stand-in
    // hatch in the tiles' colour.
    void tiles(const Feature& f) {
        const Style s = style(f, code(f, 0), code(f, 2), 0, 0);
        for (auto& line : builder_.standInHatch(s, rings(f, 12), f.offset)) {
            element(std::move(line), false);
        }
    }

    // ARR: symbol (0 none), 0 none / 1 outward / 2 inward, x, y, scale. An
    // outward arrow points away from the other end of its line, an inward
    // one towards it; every symbol is drawn as an open arrow.
    void lineArrow(const Feature& f, std::size_t at, std::size_t lineAt) {
        if (code(f, at) == 0 || code(f, at + 1) == 0) {
            return;
        }
        const PrecisePoint tip{num(f, at + 2), num(f, at + 3)};
        const PrecisePoint a{num(f, lineAt), num(f, lineAt + 1)};
        const PrecisePoint b{num(f, lineAt + 2), num(f, lineAt + 3)};
        const PrecisePoint other =
            std::hypot(tip.x - a.x, tip.y - a.y) < std::hypot(tip.x - b.x, tip.y - b.y) ? b : a;
        arrow(f, at, tip, tip.x - other.x, tip.y - other.y);
    }
    void arrow(const Feature& f, std::size_t at, PrecisePoint tip, double dx, double dy) {
        const double sign = code(f, at + 1) == 2 ? -1 : 1;
        const double scale = num(f, at + 4);
        if (!(std::abs(scale) <= 1e6)) {
            fail(f.name + ": an arrow scale out of range", f.offset);
        }
        element(builder_.outline(elementStyle(f),
                                 Builder::arrowhead(tip, sign * dx, sign * dy, std::abs(scale)),
                                 f.offset),
                false);
    }
    // A leader's arrow (symbol, scale at at) on its first point, pointing
    // away from the second.
    void leaderArrow(const Feature& f, const std::vector<PrecisePoint>& leader, std::size_t at) {
        if (code(f, at) == 0 || leader.size() < 2) {
            return;
        }
        const double scale = num(f, at + 1);
        if (!(std::abs(scale) <= 1e6)) {
            fail(f.name + ": an arrow scale out of range", f.offset);
        }
        element(builder_.outline(elementStyle(f),
                                 Builder::arrowhead(leader[0], leader[0].x - leader[1].x,
                                                    leader[0].y - leader[1].y, std::abs(scale)),
                                 f.offset),
                false);
    }
    void dimensionLine(const Feature& f, std::size_t at) {
        straight(f, elementStyle(f), {num(f, at), num(f, at + 1)},
                 {num(f, at + 2), num(f, at + 3)});
    }
    void straight(const Feature& f, const Style& s, PrecisePoint a, PrecisePoint b) {
        element(builder_.outline(s, {a, b}, f.offset), false);
    }
    // EXT: flag, base x, y, start x, y, end x, y; drawn from start to end.
    void extensionLine(const Feature& f, std::size_t at) {
        if (code(f, at) != 0) {
            straight(f, elementStyle(f), {num(f, at + 3), num(f, at + 4)},
                     {num(f, at + 5), num(f, at + 6)});
        }
    }
    // TXT: flag, font, text, x, y, height, width, spacing, angle, slant,
    // anchor, direction.
    void dimensionText(const Feature& f, std::size_t at) {
        if (code(f, at) == 0) {
            return;
        }
        const Style s = style(f, code(f, 0), code(f, 1), 0, 0);
        element(Builder::text(s, arg(f, at + 2), num(f, at + 3), num(f, at + 4), num(f, at + 5),
                              num(f, at + 6), num(f, at + 7), num(f, at + 8), num(f, at + 9),
                              code(f, at + 10), vertical(f, at + 11)),
                false);
    }
    // L, C, T, W, centre, radius, from and to angle, EXT, EXT, ARR, ARR, TXT.
    void angularDimension(const Feature& f) {
        auto pts = builder_.arc(num(f, 4), num(f, 5), num(f, 6), num(f, 6), 0, num(f, 7), num(f, 8),
                                false, false, f.offset);
        element(builder_.outline(elementStyle(f), std::move(pts), f.offset), false);
        extensionLine(f, 9);
        extensionLine(f, 16);
        // Arrows on an arc point along it: across the radius to their point.
        for (std::size_t at : {std::size_t{23}, std::size_t{28}}) {
            if (code(f, at) == 0 || code(f, at + 1) == 0) {
                continue;
            }
            const PrecisePoint tip{num(f, at + 2), num(f, at + 3)};
            const PrecisePoint c{num(f, 4), num(f, 5)};
            const double mid =
                toRad((num(f, 7) + num(f, 8)) / 2 + (num(f, 8) < num(f, 7) ? 180 : 0));
            const PrecisePoint m{c.x + std::cos(mid), c.y + std::sin(mid)};
            // The tangent at the tip, turned away from the arc's middle.
            double tx = -(tip.y - c.y), ty = tip.x - c.x;
            if (tx * (tip.x - m.x) + ty * (tip.y - m.y) < 0) {
                tx = -tx, ty = -ty;
            }
            arrow(f, at, tip, tx, ty);
        }
        dimensionText(f, 33);
    }

    void compositeCurve(const Feature& f) {
        // The segments are the layer-0 elements since the last composite curve.
        std::vector<Point> ring;
        auto it = pending_.end();
        while (it != pending_.begin() && !std::prev(it)->isText && std::prev(it)->layer == 0) {
            --it;
        }
        for (auto s = it; s != pending_.end(); ++s) {
            auto& pts = s->path.points;
            if (s->path.closed && !pts.empty()) {
                pts.push_back(pts.front());
            }
            ring.insert(ring.end(),
                        pts.begin() + (!ring.empty() && !pts.empty() && ring.back() == pts.front()),
                        pts.end());
        }
        pending_.erase(it, pending_.end());
        if (ring.size() >= 2 && ring.front() == ring.back()) {
            ring.pop_back();
        }
        curves_.emplace_back(ring.begin(), ring.end());
        if (code(f, 3) == 1 && ring.size() >= 2) {
            Shape sh;
            sh.path.points = ring;
            sh.path.closed = true;
            sh.path.stroke = Builder::stroke(style(f, 0, code(f, 0), code(f, 1), code(f, 2)));
            sh.layer = 1;
            pending_.push_back(std::move(sh));
        }
    }

    std::string_view data_;
    std::vector<Feature> features_;
    std::vector<std::string> layers_;
    std::map<int, Rgb> colours_;
    std::map<int, std::pair<int, std::vector<double>>> lineTypes_;
    std::map<int, double> widths_;
    int userColours_ = 0, userLineTypes_ = 0, userWidths_ = 0, fonts_ = 0;
    std::vector<Shape> pending_;
    std::vector<std::vector<PrecisePoint>> curves_;
    std::map<std::string, std::vector<Shape>> figures_;
    Builder builder_;
    Page page_;
    bool sheetDone_ = false;
};

// ================= .p21 =================

struct Value {
    enum Kind { Null, Number, String, Enum, Ref, List, Typed } kind = Null;
    double number = 0;
    std::string text;  // string, enum, or the type name of a typed value
    int ref = 0;
    std::vector<Value> items;  // list items or a typed value's parameters
};

struct Record {
    std::string name;  // upper case
    std::vector<Value> params;
};

struct Instance {
    std::vector<Record> records;  // one, or the partial records of a complex one
    std::size_t offset = 0;
    const Record* find(const std::string& name) const {
        for (const auto& r : records) {
            if (r.name == name) {
                return &r;
            }
        }
        return nullptr;
    }
};

class P21Parser {
  public:
    explicit P21Parser(std::string_view d) : d_(d) {}

    std::unordered_map<int, Instance> parse() {
        skipSpace();
        if (d_.compare(pos_, 13, "ISO-10303-21;") != 0) {
            fail("not an ISO 10303-21 file", pos_);
        }
        const auto data = d_.find("DATA;", pos_);
        if (data == std::string_view::npos) {
            fail("no DATA section", d_.size());
        }
        pos_ = data + 5;
        std::unordered_map<int, Instance> out;
        for (;;) {
            skipSpace();
            if (pos_ >= d_.size()) {
                fail("the DATA section has no ENDSEC", pos_);
            }
            if (d_.compare(pos_, 7, "ENDSEC;") == 0) {
                break;
            }
            const std::size_t at = pos_;
            if (d_[pos_] != '#') {
                fail("an instance must begin with #", pos_);
            }
            ++pos_;
            const int id = static_cast<int>(digits());
            skipSpace();
            expect('=');
            Instance inst;
            inst.offset = at;
            skipSpace();
            if (peek() == '(') {
                ++pos_;
                for (;;) {
                    skipSpace();
                    if (peek() == ')') {
                        ++pos_;
                        break;
                    }
                    inst.records.push_back(record());
                }
            } else {
                inst.records.push_back(record());
            }
            skipSpace();
            expect(';');
            if (!out.emplace(id, std::move(inst)).second) {
                fail("instance #" + std::to_string(id) + " is defined twice", at);
            }
        }
        return out;
    }

  private:
    char peek() const { return pos_ < d_.size() ? d_[pos_] : '\0'; }
    void expect(char c) {
        if (peek() != c) {
            fail(std::string("\"") + c + "\" expected", pos_);
        }
        ++pos_;
    }
    void skipSpace() {
        for (;;) {
            while (pos_ < d_.size() && std::isspace(static_cast<unsigned char>(d_[pos_]))) {
                ++pos_;
            }
            if (d_.compare(pos_, 2, "/*") == 0) {
                const auto end = d_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) {
                    fail("an unterminated comment", pos_);
                }
                pos_ = end + 2;
                continue;
            }
            return;
        }
    }
    long long digits() {
        const std::size_t start = pos_;
        long long v = 0;
        while (pos_ < d_.size() && std::isdigit(static_cast<unsigned char>(d_[pos_]))) {
            v = v * 10 + (d_[pos_++] - '0');
            if (v > 1'000'000'000) {
                fail("an instance number out of range", start);
            }
        }
        if (pos_ == start) {
            fail("digits expected", start);
        }
        return v;
    }
    std::string keyword() {
        std::string k;
        while (pos_ < d_.size() && (std::isalnum(static_cast<unsigned char>(d_[pos_])) ||
                                    d_[pos_] == '_' || d_[pos_] == '!')) {
            k += static_cast<char>(std::toupper(static_cast<unsigned char>(d_[pos_++])));
        }
        if (k.empty()) {
            fail("a name expected", pos_);
        }
        return k;
    }
    Record record() {
        Record r;
        r.name = keyword();
        skipSpace();
        r.params = list(0);
        return r;
    }
    std::vector<Value> list(int depth) {
        if (depth > kMaxDepth) {
            fail("lists nested deeper than 64", pos_);
        }
        expect('(');
        std::vector<Value> items;
        skipSpace();
        if (peek() == ')') {
            ++pos_;
            return items;
        }
        for (;;) {
            skipSpace();
            items.push_back(value(depth));
            skipSpace();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect(')');
            return items;
        }
    }
    Value value(int depth) {
        Value v;
        const char c = peek();
        if (c == '$' || c == '*') {
            ++pos_;
            return v;
        }
        if (c == '#') {
            ++pos_;
            v.kind = Value::Ref;
            v.ref = static_cast<int>(digits());
            return v;
        }
        if (c == '\'') {
            v.kind = Value::String;
            v.text = string();
            return v;
        }
        if (c == '.') {
            const auto end = d_.find('.', pos_ + 1);
            if (end == std::string_view::npos || end - pos_ > 64) {
                fail("an unterminated enumeration", pos_);
            }
            v.kind = Value::Enum;
            v.text = std::string(d_.substr(pos_ + 1, end - pos_ - 1));
            pos_ = end + 1;
            return v;
        }
        if (c == '(') {
            v.kind = Value::List;
            v.items = list(depth + 1);
            return v;
        }
        if (c == '"') {
            const auto end = d_.find('"', pos_ + 1);
            if (end == std::string_view::npos) {
                fail("an unterminated binary", pos_);
            }
            pos_ = end + 1;
            return v;
        }
        if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            const std::size_t start = pos_;
            ++pos_;
            while (pos_ < d_.size() && (std::isdigit(static_cast<unsigned char>(d_[pos_])) ||
                                        d_[pos_] == '.' || d_[pos_] == 'E' || d_[pos_] == 'e' ||
                                        ((d_[pos_] == '-' || d_[pos_] == '+') &&
                                         (d_[pos_ - 1] == 'E' || d_[pos_ - 1] == 'e')))) {
                ++pos_;
            }
            v.kind = Value::Number;
            v.number = number(std::string(d_.substr(start, pos_ - start)), start);
            return v;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            v.kind = Value::Typed;
            v.text = keyword();
            skipSpace();
            v.items = list(depth + 1);
            return v;
        }
        fail("a parameter expected", pos_);
    }
    // '' is an apostrophe, \\ a backslash, \X2\hhhh...\X0\ UTF-16, \X\hh Latin-1.
    std::string string() {
        const std::size_t start = pos_;
        ++pos_;
        std::string out;
        for (;;) {
            if (pos_ >= d_.size()) {
                fail("an unterminated string", start);
            }
            if (out.size() > sxf::kMaxString) {
                fail("a string over 64 KiB", start);
            }
            const char c = d_[pos_];
            if (c == '\'') {
                if (peekAt(pos_ + 1) == '\'') {
                    out += '\'';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return out;
            }
            if (c == '\\' && peekAt(pos_ + 1) == '\\') {
                out += '\\';
                pos_ += 2;
                continue;
            }
            if (d_.compare(pos_, 4, "\\X2\\") == 0) {
                pos_ += 4;
                // Four hex digits a UTF-16 unit; a unit that is not hex or a
                // surrogate without its partner becomes U+FFFD.
                auto unit = [&](std::size_t at) -> long {
                    if (at + 4 > d_.size()) {
                        return -1;
                    }
                    long v = 0;
                    for (std::size_t k = at; k < at + 4; ++k) {
                        const char h = d_[k];
                        const int digit = h >= '0' && h <= '9'   ? h - '0'
                                          : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                          : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                                                 : -1;
                        if (digit < 0) {
                            return -1;
                        }
                        v = v * 16 + digit;
                    }
                    return v;
                };
                while (pos_ + 4 <= d_.size() && d_[pos_] != '\\') {
                    long cp = unit(pos_);
                    pos_ += 4;
                    if (cp >= 0xD800 && cp < 0xDC00) {
                        const long lo = pos_ < d_.size() && d_[pos_] != '\\' ? unit(pos_) : -1;
                        if (lo >= 0xDC00 && lo < 0xE000) {
                            pos_ += 4;
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                        } else {
                            cp = -1;
                        }
                    } else if (cp >= 0xDC00 && cp < 0xE000) {
                        cp = -1;
                    }
                    appendUtf8(out, cp < 0 ? 0xFFFDu : static_cast<unsigned>(cp));
                }
                if (d_.compare(pos_, 4, "\\X0\\") != 0) {
                    fail("an unterminated \\X2\\ escape", start);
                }
                pos_ += 4;
                continue;
            }
            if (d_.compare(pos_, 3, "\\X\\") == 0 && pos_ + 5 <= d_.size()) {
                appendUtf8(out, static_cast<unsigned>(std::strtoul(
                                    std::string(d_.substr(pos_ + 3, 2)).c_str(), nullptr, 16)));
                pos_ += 5;
                continue;
            }
            out += c;
            ++pos_;
        }
    }
    char peekAt(std::size_t i) const { return i < d_.size() ? d_[i] : '\0'; }

    std::string_view d_;
    std::size_t pos_ = 0;
};

class P21Reader {
  public:
    explicit P21Reader(std::string_view data) : data_(data) {
        builder_.budget = PageBudget(pageBudgetFor(data.size()));
    }

    Page read() {
        inst_ = P21Parser(data_).parse();
        std::vector<int> ids;
        ids.reserve(inst_.size());
        for (const auto& [id, in] : inst_) {
            ids.push_back(id);
        }
        std::sort(ids.begin(), ids.end());
        int sheetBox = 0, anyBox = 0;
        std::vector<int> figures;  // representations that placements map
        for (int id : ids) {
            const Instance& in = inst_.at(id);
            if (const Record* r = in.find("PRESENTATION_LAYER_ASSIGNMENT");
                r && r->params.size() >= 3) {
                // Members of a figure on the dummy layer take the layer of
                // the placement that draws them.
                if (r->params[0].text.rfind("$$SXF_dummy", 0) != 0) {
                    Style layer;
                    fromLayerName(r->params[0].text, ++layers_, layer);
                    for (const auto& item : r->params[2].items) {
                        if (item.kind == Value::Ref) {
                            layerStyles_[item.ref] = layer;
                        }
                    }
                }
            }
            if (const Record* r = in.find("PLANAR_BOX");
                r && r->params.size() >= 3 && anyBox == 0) {
                anyBox = id;
            }
            if (const Record* r = in.find("DRAWING_SHEET_REVISION"); r && r->params.size() >= 2) {
                for (const auto& item : r->params[1].items) {
                    if (item.kind == Value::Ref && sheetBox == 0) {
                        if (auto it = inst_.find(item.ref);
                            it != inst_.end() && it->second.find("PLANAR_BOX")) {
                            sheetBox = item.ref;
                        }
                    }
                }
            }
            for (const auto& r : in.records) {
                if ((r.name == "SYMBOL_REPRESENTATION_MAP" || r.name == "REPRESENTATION_MAP") &&
                    r.params.size() >= 2 && r.params[1].kind == Value::Ref) {
                    figures.push_back(r.params[1].ref);
                }
            }
            if (const Record* r = styledRecord(in);
                r != nullptr && !r->params.empty() && r->params.back().kind == Value::Ref) {
                styledTargets_.insert(r->params.back().ref);
            }
        }
        // The sheet: the box among the sheet's items, else the first box.
        if (const int box = sheetBox != 0 ? sheetBox : anyBox; box != 0) {
            const Record& r = *inst_.at(box).find("PLANAR_BOX");
            page_.width = num(r.params[1], inst_.at(box).offset) * kUnitsPerMm;
            page_.height = num(r.params[2], inst_.at(box).offset) * kUnitsPerMm;
        }
        // What belongs to a figure is drawn where the figure is placed, not
        // on its own.
        for (int rep : figures) {
            if (auto it = inst_.find(rep);
                it != inst_.end() && it->second.records[0].params.size() >= 2) {
                for (const auto& item : it->second.records[0].params[1].items) {
                    if (item.kind == Value::Ref) {
                        own(item.ref, 0);
                    }
                }
            }
        }
        for (int id : ids) {
            if (owned_.count(id) == 0) {
                item(id, Affine{}, nullptr, 0);
            }
        }
        return std::move(page_);
    }

  private:
    const Instance& get(int id, std::size_t offset) const {
        auto it = inst_.find(id);
        if (it == inst_.end()) {
            fail("reference to a missing instance #" + std::to_string(id), offset);
        }
        return it->second;
    }
    static double num(const Value& v, std::size_t offset) {
        if (v.kind == Value::Number) {
            return v.number;
        }
        if (v.kind == Value::Typed && !v.items.empty()) {
            return num(v.items[0], offset);
        }
        fail("a number expected", offset);
    }
    // A number, typed or not, or a reference to a measure with its unit.
    double measure(const Value& v, std::size_t offset) const {
        if (v.kind == Value::Ref) {
            const Record& m = rec(v.ref, offset);
            if (m.name.find("MEASURE_WITH_UNIT") == std::string::npos || m.params.empty()) {
                fail("#" + std::to_string(v.ref) + " is not a measure", offset);
            }
            return num(m.params[0], offset);
        }
        return num(v, offset);
    }
    const Value& param(const Record& r, std::size_t i, std::size_t offset) const {
        if (i >= r.params.size()) {
            fail(r.name + ": parameter " + std::to_string(i + 1) + " is missing", offset);
        }
        return r.params[i];
    }
    const Record& rec(int id, std::size_t offset) const {
        const Instance& in = get(id, offset);
        return in.records.front();
    }
    int refOf(const Value& v, std::size_t offset) const {
        if (v.kind != Value::Ref) {
            fail("a reference expected", offset);
        }
        return v.ref;
    }

    PrecisePoint point(int id, std::size_t offset) const {
        const Instance& in = get(id, offset);
        const Record* r = in.find("CARTESIAN_POINT");
        if (r == nullptr || r->params.size() < 2 || r->params[1].items.size() < 2) {
            fail("#" + std::to_string(id) + " is not a 2D point", in.offset);
        }
        return {num(r->params[1].items[0], in.offset), num(r->params[1].items[1], in.offset)};
    }

    Rgb colour(int id, std::size_t offset) const {
        const Record& r = rec(id, offset);
        if (r.name == "DRAUGHTING_PRE_DEFINED_COLOUR" || r.name == "PRE_DEFINED_COLOUR") {
            for (const auto& c : sxf::kColours) {
                if (param(r, 0, offset).text == c.name) {
                    return c.rgb;
                }
            }
            return kBlack;
        }
        if (r.name == "COLOUR_RGB") {
            auto c = [&](std::size_t i) {
                return static_cast<Rgb>(
                    std::lround(std::clamp(num(param(r, i, offset), offset), 0.0, 1.0) * 255));
            };
            return c(1) << 16 | c(2) << 8 | c(3);
        }
        return kBlack;
    }

    // How an area is filled besides a colour: hatch lines (spacing mm apart
    // at angleDeg through x0, y0) in their own line style.
    struct Hatch {
        Style line;
        double x0 = 0, y0 = 0, spacing = 0, angleDeg = 0;
        bool standIn = false;  // a hatch or tiling defined elsewhere
    };

    // Style of an occurrence, through its presentation style assignments;
    // without a layer of its own it takes the layer it is placed with.
    Style style(const Value& styles, int itemId, const Style* placedWith, std::size_t offset,
                std::vector<Hatch>* hatches = nullptr, bool* coloured = nullptr) const {
        Style s;
        if (auto it = layerStyles_.find(itemId); it != layerStyles_.end()) {
            s.pen = it->second.pen;
            s.marks = it->second.marks;
        } else if (placedWith != nullptr) {
            s.pen = placedWith->pen;
            s.marks = placedWith->marks;
        }
        for (const auto& psaRef : styles.items) {
            const Record& psa = rec(refOf(psaRef, offset), offset);
            for (const auto& sr : param(psa, 0, offset).items) {
                if (sr.kind != Value::Ref) {
                    continue;
                }
                const Record& st = rec(sr.ref, offset);
                if (st.name == "CURVE_STYLE" && st.params.size() >= 4) {
                    curveStyle(st, s, offset);
                } else if (st.name == "FILL_AREA_STYLE" && st.params.size() >= 2) {
                    for (const auto& fr : st.params[1].items) {
                        if (fr.kind == Value::Ref) {
                            const Record& fc = rec(fr.ref, offset);
                            if (fc.name == "FILL_AREA_STYLE_COLOUR" && fc.params.size() >= 2) {
                                s.colour = colour(refOf(fc.params[1], offset), offset);
                                if (coloured != nullptr) {
                                    *coloured = true;
                                }
                            } else if (hatches != nullptr) {
                                hatchStyle(fc, s, *hatches, offset);
                            }
                        }
                    }
                } else if (st.name == "TEXT_STYLE_WITH_BOX_CHARACTERISTICS" ||
                           st.name == "TEXT_STYLE") {
                    const Value& font = param(st, 1, offset);
                    if (font.kind == Value::Ref) {
                        const Record& tf = rec(font.ref, offset);
                        if (tf.name == "TEXT_STYLE_FOR_DEFINED_FONT" && !tf.params.empty()) {
                            s.colour = colour(refOf(tf.params[0], offset), offset);
                        }
                    }
                    if (st.params.size() >= 3) {
                        for (const auto& c : st.params[2].items) {
                            if (c.kind == Value::Typed && c.text == "BOX_WIDTH") {
                                s.boxWidth = num(c, offset);
                            }
                            if (c.kind == Value::Typed && c.text == "BOX_SLANT_ANGLE") {
                                s.slantDeg = num(c, offset) * 180 / std::numbers::pi;
                            }
                        }
                    }
                }
            }
        }
        return s;
    }

    // FILL_AREA_STYLE_HATCHING: line style, the step to the next line,
    // the point a line passes through, the pattern's start, the angle.
    void hatchStyle(const Record& fc, const Style& base, std::vector<Hatch>& out,
                    std::size_t offset) const {
        if (fc.name == "FILL_AREA_STYLE_TILES" || fc.name == "EXTERNALLY_DEFINED_HATCH_STYLE" ||
            fc.name == "EXTERNALLY_DEFINED_TILE_STYLE") {
            Hatch h;
            h.line = base;
            h.standIn = true;
            out.push_back(h);
            return;
        }
        if (fc.name != "FILL_AREA_STYLE_HATCHING" || fc.params.size() < 6) {
            // A fill style we do not read: the stand-in, not a solid fill.
            Hatch h;
            h.line = base;
            h.standIn = true;
            out.push_back(h);
            return;
        }
        Hatch h;
        h.line = base;
        if (fc.params[1].kind == Value::Ref) {
            const Record& cs = rec(fc.params[1].ref, offset);
            if (cs.name == "CURVE_STYLE" && cs.params.size() >= 4) {
                curveStyle(cs, h.line, offset);
            }
        }
        h.angleDeg = measure(fc.params[5], offset) * 180 / std::numbers::pi;
        if (fc.params[3].kind == Value::Ref) {
            const PrecisePoint p = point(fc.params[3].ref, offset);
            h.x0 = p.x;
            h.y0 = p.y;
        }
        // The step from one line to the next: its part across the lines.
        const Record& repeat = rec(refOf(fc.params[2], offset), offset);
        const Record& vec = rec(refOf(param(repeat, 1, offset), offset), offset);
        const double magnitude = measure(param(vec, 2, offset), offset);
        const Record& dir = rec(refOf(param(vec, 1, offset), offset), offset);
        double dx = 1, dy = 0;
        if (dir.params.size() >= 2 && dir.params[1].items.size() >= 2) {
            dx = num(dir.params[1].items[0], offset);
            dy = num(dir.params[1].items[1], offset);
        }
        const double len = std::hypot(dx, dy);
        const double a = toRad(h.angleDeg);
        const double across =
            len > 0 ? std::abs(magnitude * (dx * std::sin(a) - dy * std::cos(a)) / len) : 0;
        h.spacing = across > 1e-9 ? across : std::abs(magnitude);
        out.push_back(h);
    }

    void curveStyle(const Record& st, Style& s, std::size_t offset) const {
        if (st.params[1].kind == Value::Ref) {
            const Record& font = rec(st.params[1].ref, offset);
            if (font.name == "CURVE_STYLE_FONT" && font.params.size() >= 2) {
                const std::string& name = font.params[0].text;
                s.lineType = lineTypeNumber(name, 1);
                for (const auto& pr : font.params[1].items) {
                    const Record& p = rec(refOf(pr, offset), offset);
                    s.dash.push_back(num(param(p, 0, offset), offset));
                    s.dash.push_back(num(param(p, 1, offset), offset));
                }
            } else if (font.name == "DRAUGHTING_PRE_DEFINED_CURVE_FONT" && !font.params.empty()) {
                const auto& types = sxf::lineTypes();
                for (std::size_t i = 0; i < types.size(); ++i) {
                    if (font.params[0].text == types[i].name) {
                        s.lineType = i == 0 ? 0 : static_cast<int>(i) + 1;
                        s.dash = types[i].pattern;
                    }
                }
            }
        }
        if (st.params[2].kind == Value::Ref) {
            const Record& w = rec(st.params[2].ref, offset);
            if (w.name == "LENGTH_MEASURE_WITH_UNIT" && !w.params.empty()) {
                s.widthMm = num(w.params[0], offset);
            }
        } else if (st.params[2].kind == Value::Typed || st.params[2].kind == Value::Number) {
            s.widthMm = num(st.params[2], offset);
        }
        if (st.params[3].kind == Value::Ref) {
            s.colour = colour(st.params[3].ref, offset);
        }
    }

    // A curve's points in mm; depth guards against reference loops.
    std::vector<PrecisePoint> curve(int id, int depth) {
        const Instance& in = get(id, 0);
        if (depth > kMaxDepth) {
            fail("curves nested deeper than 64", in.offset);
        }
        const Record& r = in.records.front();
        const std::size_t off = in.offset;
        if (r.name == "POLYLINE") {
            std::vector<PrecisePoint> pts;
            for (const auto& p : param(r, 1, off).items) {
                pts.push_back(point(refOf(p, off), off));
            }
            builder_.count(pts.size(), off);
            return pts;
        }
        if (r.name == "CIRCLE" || r.name == "ELLIPSE") {
            return conic(r, off, 0, 360, true, true);
        }
        if (r.name == "TRIMMED_CURVE") {
            const Record& basis = rec(refOf(param(r, 1, off), off), off);
            const Value& t1 = param(r, 2, off);
            const Value& t2 = param(r, 3, off);
            const bool sense = param(r, 4, off).text == "T";
            auto pointOrParam = [&](const Value& list, bool wantPoint, double& value,
                                    PrecisePoint& p) {
                for (const auto& v : list.items) {
                    if (v.kind == Value::Ref && wantPoint) {
                        p = point(v.ref, off);
                        return true;
                    }
                    if (v.kind == Value::Typed && !wantPoint) {
                        value = num(v, off);
                        return true;
                    }
                }
                return false;
            };
            if (basis.name == "LINE") {
                PrecisePoint a, b;
                double dummy = 0;
                if (!pointOrParam(t1, true, dummy, a) || !pointOrParam(t2, true, dummy, b)) {
                    fail("a trimmed line without its end points", off);
                }
                builder_.count(2, off);
                return {a, b};
            }
            if (basis.name == "CLOTHOID") {
                // Trimmed by lengths along it; a negative constant turns clockwise.
                double p1 = 0, p2 = 0;
                PrecisePoint dummy;
                if (!pointOrParam(t1, false, p1, dummy) || !pointOrParam(t2, false, p2, dummy)) {
                    fail("a trimmed clothoid without its lengths", off);
                }
                const Affine at = axis(refOf(param(basis, 1, off), off), off);
                const double a = num(param(basis, 2, off), off);
                return builder_.clothoid(at.e, at.f, std::abs(a), a < 0,
                                         std::atan2(at.b, at.a) * 180 / std::numbers::pi,
                                         sense ? p1 : p2, sense ? p2 : p1, off);
            }
            if (basis.name == "CIRCLE" || basis.name == "ELLIPSE") {
                double p1 = 0, p2 = 0;
                PrecisePoint dummy;
                if (!pointOrParam(t1, false, p1, dummy) || !pointOrParam(t2, false, p2, dummy)) {
                    fail("a trimmed arc without its parameter values", off);
                }
                const double k = 180 / std::numbers::pi;
                return conic(basis, off, sense ? p1 * k : p1 * k, sense ? p2 * k : p2 * k, !sense,
                             false);
            }
            return curve(refOf(param(r, 1, off), off), depth + 1);
        }
        if (in.find("B_SPLINE_CURVE_WITH_KNOTS") != nullptr) {
            return bspline(in);
        }
        if (r.name == "COMPOSITE_CURVE") {
            std::vector<PrecisePoint> pts;
            for (const auto& segRef : param(r, 1, off).items) {
                const Record& seg = rec(refOf(segRef, off), off);
                auto part = curve(refOf(param(seg, 2, off), off), depth + 1);
                if (seg.params.size() >= 2 && seg.params[1].text == "F") {
                    std::reverse(part.begin(), part.end());
                }
                pts.insert(
                    pts.end(),
                    part.begin() + (!pts.empty() && !part.empty() && pts.back() == part.front()),
                    part.end());
            }
            return pts;
        }
        return {};  // a curve kind we do not read
    }

    // A B-spline (rational when weighted) evaluated span by span, each
    // span in as many steps as its control points' bend asks for chords
    // within kChordMm.
    std::vector<PrecisePoint> bspline(const Instance& in) {
        const std::size_t off = in.offset;
        const Record& k = *in.find("B_SPLINE_CURVE_WITH_KNOTS");
        // A simple instance carries every attribute; a complex one splits them.
        const bool simple = in.records.size() == 1;
        const Record* b = simple ? &k : in.find("B_SPLINE_CURVE");
        if (b == nullptr) {
            fail("a B-spline without its degree and control points", off);
        }
        const std::size_t base = simple ? 1 : 0;
        const int degree = static_cast<int>(num(param(*b, base, off), off));
        std::vector<PrecisePoint> ctrl;
        for (const auto& v : param(*b, base + 1, off).items) {
            ctrl.push_back(point(refOf(v, off), off));
        }
        const std::size_t kb = simple ? 6 : 0;
        std::vector<double> knots;
        const auto& mults = param(k, kb, off).items;
        const auto& values = param(k, kb + 1, off).items;
        if (mults.size() != values.size()) {
            fail("a B-spline whose knots and multiplicities differ in number", off);
        }
        for (std::size_t i = 0; i < mults.size(); ++i) {
            const double m = num(mults[i], off), u = num(values[i], off);
            if (m < 1 || m > 64 || (!knots.empty() && u < knots.back())) {
                fail("a B-spline with a bad knot vector", off);
            }
            knots.insert(knots.end(), static_cast<std::size_t>(m), u);
        }
        std::vector<double> w(ctrl.size(), 1.0);
        if (const Record* rb = in.find("RATIONAL_B_SPLINE_CURVE")) {
            const auto& ws = param(*rb, 0, off).items;
            if (ws.size() != ctrl.size()) {
                fail("a rational B-spline with a weight count unlike its points", off);
            }
            for (std::size_t i = 0; i < ws.size(); ++i) {
                w[i] = num(ws[i], off);
                if (!(w[i] > 0)) {
                    fail("a rational B-spline with a weight not above 0", off);
                }
            }
        }
        const auto n = ctrl.size();
        const auto p = static_cast<std::size_t>(std::max(degree, 0));
        if (degree < 1 || degree > 25 || n <= p || knots.size() != n + p + 1) {
            fail("a B-spline whose degree, points and knots do not fit", off);
        }
        builder_.count(n, off);
        // de Boor at u in span s (knots[s] <= u < knots[s + 1]).
        auto at = [&](std::size_t sp, double u) {
            std::vector<double> x(p + 1), y(p + 1), ww(p + 1);
            for (std::size_t j = 0; j <= p; ++j) {
                const std::size_t i = sp - p + j;
                ww[j] = w[i];
                x[j] = ctrl[i].x * w[i];
                y[j] = ctrl[i].y * w[i];
            }
            for (std::size_t r = 1; r <= p; ++r) {
                for (std::size_t j = p; j >= r; --j) {
                    const std::size_t i = sp - p + j;
                    const double den = knots[i + p + 1 - r] - knots[i];
                    const double a = den > 0 ? (u - knots[i]) / den : 0;
                    x[j] = (1 - a) * x[j - 1] + a * x[j];
                    y[j] = (1 - a) * y[j - 1] + a * y[j];
                    ww[j] = (1 - a) * ww[j - 1] + a * ww[j];
                }
            }
            return PrecisePoint{x[p] / ww[p], y[p] / ww[p]};
        };
        std::vector<PrecisePoint> pts;
        for (std::size_t sp = p; sp < n; ++sp) {
            if (!(knots[sp + 1] > knots[sp])) {
                continue;
            }
            double bend = 0;
            for (std::size_t i = sp - p + 1; i < sp; ++i) {
                bend = std::max<double>(bend,
                                        std::hypot(ctrl[i - 1].x - 2 * ctrl[i].x + ctrl[i + 1].x,
                                                   ctrl[i - 1].y - 2 * ctrl[i].y + ctrl[i + 1].y));
            }
            const int steps = std::clamp(static_cast<int>(std::ceil(std::sqrt(
                                             static_cast<double>(p * p) * bend / (8 * kChordMm)))),
                                         1, 256);
            if (pts.empty()) {
                pts.push_back(at(sp, knots[sp]));
            }
            for (int i = 1; i <= steps; ++i) {
                const double u = knots[sp] + (knots[sp + 1] - knots[sp]) * i / steps;
                // The span's polynomial at its end meets the next span's.
                pts.push_back(at(sp, u));
            }
        }
        builder_.count(pts.size(), off);
        return pts;
    }

    std::vector<PrecisePoint> conic(const Record& r, std::size_t off, double startDeg,
                                    double endDeg, bool cw, bool full) {
        const Record& axis = rec(refOf(param(r, 1, off), off), off);
        const PrecisePoint c = point(refOf(param(axis, 1, off), off), off);
        double rot = 0;
        if (axis.params.size() >= 3 && axis.params[2].kind == Value::Ref) {
            const Record& dir = rec(axis.params[2].ref, off);
            if (dir.params.size() >= 2 && dir.params[1].items.size() >= 2) {
                rot =
                    std::atan2(num(dir.params[1].items[1], off), num(dir.params[1].items[0], off)) *
                    180 / std::numbers::pi;
            }
        }
        const double rx = num(param(r, 2, off), off);
        const double ry = r.name == "ELLIPSE" ? num(param(r, 3, off), off) : rx;
        auto pts = builder_.arc(c.x, c.y, rx, ry, rot, startDeg, endDeg, cw, full, off);
        builder_.count(pts.size(), off);
        return pts;
    }

    static bool isMapped(const std::string& name) {
        return name == "MAPPED_ITEM" || name == "ANNOTATION_SYMBOL" || name == "ANNOTATION_TEXT" ||
               name == "ANNOTATION_SUBFIGURE" || name == "CAMERA_IMAGE";
    }
    static const Record* mappedRecord(const Instance& in) {
        for (const auto& r : in.records) {
            if (isMapped(r.name)) {
                return &r;
            }
        }
        return nullptr;
    }
    static const Record* calloutRecord(const Instance& in) {
        for (const auto& r : in.records) {
            if (r.name.size() >= 7 && r.name.compare(r.name.size() - 7, 7, "CALLOUT") == 0 &&
                r.params.size() >= 2 && r.params[1].kind == Value::List) {
                return &r;
            }
        }
        return nullptr;
    }
    const Record* styledRecord(const Instance& in) const {
        if (const Record* r = in.find("STYLED_ITEM")) {
            return r;
        }
        if (in.records.size() == 1) {
            const std::string& n = in.records[0].name;
            if (n.rfind("ANNOTATION_", 0) == 0 && n.size() > 11 &&
                n.compare(n.size() - 11, 11, "_OCCURRENCE") == 0) {
                return &in.records[0];
            }
        }
        return nullptr;
    }

    // Marks what a figure holds (through callouts too), so that it is drawn
    // only where the figure is placed.
    void own(int id, int depth) {
        if (depth > kMaxDepth || !owned_.insert(id).second) {
            return;
        }
        auto it = inst_.find(id);
        if (it == inst_.end()) {
            return;
        }
        if (const Record* c = calloutRecord(it->second)) {
            for (const auto& v : c->params[1].items) {
                if (v.kind == Value::Ref) {
                    own(v.ref, depth + 1);
                }
            }
        }
    }

    // Draws one item through the placements above it (depth of them).
    void item(int id, const Affine& m, const Style* placedWith, int depth) {
        const Instance& in = get(id, 0);
        if (depth > 0) {
            builder_.expand(1, in.offset);
        }
        if (const Record* styled = styledRecord(in)) {
            occurrence(id, in, *styled, m, placedWith, depth);
            return;
        }
        if (const Record* mapped = mappedRecord(in); mapped && styledTargets_.count(id) == 0) {
            placement(*mapped, m, placedWith, depth, in.offset);
            return;
        }
        if (depth == 0) {
            return;
        }
        // A callout's contents are occurrences of their own on the sheet;
        // in a figure they are drawn with it.
        if (const Record* c = calloutRecord(in)) {
            for (const auto& v : c->params[1].items) {
                if (v.kind == Value::Ref) {
                    item(v.ref, m, placedWith, depth);
                }
            }
            return;
        }
        // Bare texts and curves of a figure take the style of its placement.
        const Record& r = in.records.front();
        const Style s = placedWith != nullptr ? *placedWith : Style{};
        if (r.name == "TEXT_LITERAL_WITH_EXTENT" || r.name == "TEXT_LITERAL") {
            text(r, s, in.offset, m, depth);
            return;
        }
        if (r.name == "POLYLINE" || r.name == "TRIMMED_CURVE" || r.name == "CIRCLE" ||
            r.name == "ELLIPSE" || r.name == "COMPOSITE_CURVE" ||
            in.find("B_SPLINE_CURVE_WITH_KNOTS") != nullptr) {
            auto pts = curve(id, 0);
            if (pts.size() >= 2) {
                emit(builder_.outline(s, std::move(pts), in.offset), m, depth, in.offset);
            }
        }
    }

    // An AXIS2_PLACEMENT_2D as the placement it makes.
    Affine axis(int id, std::size_t off) const {
        const Instance& in = get(id, off);
        const Record* r = in.find("AXIS2_PLACEMENT_2D");
        if (r == nullptr) {
            return {};
        }
        const PrecisePoint o = point(refOf(param(*r, 1, in.offset), in.offset), in.offset);
        double dx = 1, dy = 0;
        if (r->params.size() >= 3 && r->params[2].kind == Value::Ref) {
            const Record& dir = rec(r->params[2].ref, in.offset);
            if (dir.params.size() >= 2 && dir.params[1].items.size() >= 2) {
                dx = num(dir.params[1].items[0], in.offset);
                dy = num(dir.params[1].items[1], in.offset);
            }
        }
        const double len = std::hypot(dx, dy);
        if (!(len > 0) || !std::isfinite(len)) {
            dx = 1, dy = 0;
        } else {
            dx /= len, dy /= len;
        }
        return {dx, dy, -dy, dx, o.x, o.y};
    }

    // A MAPPED_ITEM: its map's representation drawn through the target
    // (a SYMBOL_TARGET's placement and scales, or a placement) from the
    // map's origin.
    void placement(const Record& mapped, const Affine& m, const Style* placedWith, int depth,
                   std::size_t off) {
        builder_.expand(1, off);
        if (depth >= kMaxDepth) {
            fail("subfigures nested deeper than " + std::to_string(kMaxDepth), off);
        }
        const Record& map = rec(refOf(param(mapped, 1, off), off), off);
        const int rep = refOf(param(map, 1, off), off);
        Affine origin = axis(refOf(param(map, 0, off), off), off);
        const Instance& target = get(refOf(param(mapped, 2, off), off), off);
        Affine to;
        if (const Record* st = target.find("SYMBOL_TARGET")) {
            const double sx = num(param(*st, 2, off), off), sy = num(param(*st, 3, off), off);
            to = axis(refOf(param(*st, 1, off), off), off).after(Affine{sx, 0, 0, sy, 0, 0});
        } else {
            to = axis(refOf(param(mapped, 2, off), off), off);
        }
        // The inverse of the origin's placement (a rotation and a move).
        const Affine back{origin.a,
                          origin.c,
                          origin.b,
                          origin.d,
                          -(origin.a * origin.e + origin.b * origin.f),
                          -(origin.c * origin.e + origin.d * origin.f)};
        const Affine local = to.after(back);
        const Affine total = m.after(local);
        if (!local.sane() || !total.sane()) {
            fail("a subfigure placed at a scale out of range", off);
        }
        if (std::find(placing_.begin(), placing_.end(), rep) != placing_.end()) {
            fail("a subfigure places itself (#" + std::to_string(rep) + ")", off);
        }
        const Record& figure = get(rep, off).records.front();
        placing_.push_back(rep);
        for (const auto& v : param(figure, 1, off).items) {
            if (v.kind == Value::Ref) {
                item(v.ref, total, placedWith, depth + 1);
            }
        }
        placing_.pop_back();
    }

    void emit(Shape sh, const Affine& m, int depth, std::size_t off) {
        if (depth > 0) {
            builder_.expand(1, off);
        }
        builder_.charge(sh, off);
        place(std::move(sh), m, page_, off);
    }

    void occurrence(int id, const Instance& in, const Record& styled, const Affine& m,
                    const Style* placedWith, int depth) {
        const std::size_t off = in.offset;
        const Value& styles = param(styled, styled.params.size() >= 3 ? 1 : 0, off);
        const int itemId = refOf(styled.params.back(), off);
        std::vector<Hatch> hatches;
        bool coloured = false;
        const Style s = style(styles, id, placedWith, off, &hatches, &coloured);
        const Instance& target = get(itemId, off);
        const Record& item = target.records.front();
        if (const Record* mapped = mappedRecord(target)) {
            placement(*mapped, m, &s, depth, off);
            return;
        }
        if (item.name == "DEFINED_SYMBOL") {
            definedSymbol(item, s, m, depth, off);
            return;
        }
        if (item.name == "TEXT_LITERAL_WITH_EXTENT" || item.name == "TEXT_LITERAL") {
            text(item, s, off, m, depth);
            return;
        }
        if (item.name == "ANNOTATION_FILL_AREA") {
            std::vector<std::vector<PrecisePoint>> rings;
            for (const auto& b : param(item, 1, off).items) {
                auto ring = curve(refOf(b, off), 0);
                if (ring.size() >= 2 && ring.front() == ring.back()) {
                    ring.pop_back();
                }
                if (ring.size() >= 3) {
                    rings.push_back(std::move(ring));
                }
            }
            if (rings.empty()) {
                return;
            }
            // Hatched areas are their hatch lines, never a solid fill; an
            // area with no style at all is filled, as before styles existed.
            if (coloured || hatches.empty()) {
                Shape sh;
                sh.path.filled = sh.path.closed = sh.path.evenOdd = true;
                sh.path.stroke = Builder::stroke(s);
                for (const auto& ring : rings) {
                    if (!sh.path.points.empty()) {
                        sh.path.subpathStarts.push_back(sh.path.points.size());
                    }
                    sh.path.points.insert(sh.path.points.end(), ring.begin(), ring.end());
                }
                emit(std::move(sh), m, depth, off);
            }
            for (const auto& h : hatches) {
                auto lines = h.standIn ? builder_.standInHatch(h.line, rings, off)
                                       : builder_.hatch(h.line, rings, h.x0, h.y0, h.spacing,
                                                        h.angleDeg, off);
                for (auto& line : lines) {
                    emit(std::move(line), m, depth, off);
                }
            }
            return;
        }
        auto pts = curve(itemId, 0);
        if (pts.size() >= 2) {
            emit(builder_.outline(s, std::move(pts), off), m, depth, off);
        }
    }

    // DEFINED_SYMBOL(name, definition, target): a terminator of a dimension
    // or callout is an arrowhead pointing along its target's x axis, 3 mm
    // long times its scale; any other symbol defined elsewhere gets the
    // stand-in square.
    void definedSymbol(const Record& item, const Style& s, const Affine& m, int depth,
                       std::size_t off) {
        const Record& def = rec(refOf(param(item, 1, off), off), off);
        const Instance& target = get(refOf(param(item, 2, off), off), off);
        Affine at;
        double sx = 1, sy = 1;
        if (const Record* st = target.find("SYMBOL_TARGET")) {
            at = axis(refOf(param(*st, 1, off), off), off);
            sx = num(param(*st, 2, off), off);
            sy = num(param(*st, 3, off), off);
        } else {
            at = axis(refOf(param(item, 2, off), off), off);
        }
        if (!(std::abs(sx) <= 1e6 && std::abs(sy) <= 1e6)) {
            fail("a symbol placed at a scale out of range", off);
        }
        std::vector<std::vector<PrecisePoint>> lines;
        if (def.name.find("TERMINATOR") != std::string::npos) {
            lines = {{{-3 * sx, sy}, {0, 0}, {-3 * sx, -sy}}};
        } else {
            lines = Builder::standInSymbol(0, 0, 0, sx);
        }
        for (auto& pts : lines) {
            for (auto& p : pts) {
                p = at.apply(p);
            }
            emit(builder_.outline(s, std::move(pts), off), m, depth, off);
        }
    }

    void text(const Record& t, const Style& s, std::size_t off, const Affine& m, int depth) {
        const std::string& literal = param(t, 1, off).text;
        const Record& axis = rec(refOf(param(t, 2, off), off), off);
        const PrecisePoint o = point(refOf(param(axis, 1, off), off), off);
        double angle = 0;
        if (axis.params.size() >= 3 && axis.params[2].kind == Value::Ref) {
            const Record& dir = rec(axis.params[2].ref, off);
            if (dir.params.size() >= 2 && dir.params[1].items.size() >= 2) {
                angle =
                    std::atan2(num(dir.params[1].items[1], off), num(dir.params[1].items[0], off)) *
                    180 / std::numbers::pi;
            }
        }
        const std::string& alignment = param(t, 3, off).text;
        int anchor = 1;
        for (int i = 0; i < 9; ++i) {
            if (alignment == sxf::kAlignments[i]) {
                anchor = i + 1;
            }
        }
        double w = 0, h = 0;
        if (t.name == "TEXT_LITERAL_WITH_EXTENT" && t.params.size() >= 7) {
            const Record& ext = rec(refOf(t.params[6], off), off);
            w = num(param(ext, 1, off), off);
            h = num(param(ext, 2, off), off);
        }
        std::size_t n = 0;
        for (unsigned char c : literal) {
            n += (c & 0xC0) != 0x80;
        }
        // The character width is the style's box width; without one the
        // spacing is half a character, as we write it. The axis stands on
        // the baseline.
        const double dn = static_cast<double>(n);
        const double cw = s.boxWidth > 0 ? s.boxWidth : n > 0 ? w / (1.5 * dn - 0.5) : 0;
        const double spacing = n > 1 ? (w - dn * cw) / (dn - 1) : 0.5 * cw;
        const int row = (anchor - 1) / 3;
        const double rise = row == 0 ? 0 : row == 1 ? h / 2 : h;
        const double a = angle * std::numbers::pi / 180;
        const PrecisePoint at{o.x - rise * std::sin(a), o.y + rise * std::cos(a)};
        const bool vertical = t.params.size() >= 5 && t.params[4].text == "DOWN";
        emit(Builder::text(s, literal, at.x, at.y, h, w, spacing, angle, s.slantDeg, anchor,
                           vertical),
             m, depth, off);
    }

    std::string_view data_;
    std::unordered_map<int, Instance> inst_;
    std::map<int, Style> layerStyles_;  // the pen and layer of each assigned item
    int layers_ = 0;
    std::set<int> owned_;          // drawn where their figure is placed
    std::set<int> styledTargets_;  // items of styled occurrences
    std::vector<int> placing_;     // the figures being placed, outermost first
    Builder builder_;
    Page page_;
};

}  // namespace

std::string cp932ToUtf8(std::string_view in) {
    return convert(in, "UTF-8", "CP932");
}

std::string utf8ToCp932(std::string_view in) {
    return convert(in, "CP932", "UTF-8");
}

bool readSxf(std::string_view data, const PageSink& sink, ReadError& error) {
    error = ReadError();
    try {
        std::size_t start = 0;
        while (start < data.size() && std::isspace(static_cast<unsigned char>(data[start]))) {
            ++start;
        }
        if (data.compare(start, 13, "ISO-10303-21;") != 0) {
            fail("not an SXF file (no \"ISO-10303-21;\")", start);
        }
        const bool sfc = data.find("/*SXF") != std::string_view::npos ||
                         data.find("feature_mode") != std::string_view::npos;
        Page page = sfc ? SfcReader(data).read() : P21Reader(data).read();
        if (!page.empty()) {
            sink(std::move(page));
        }
        return true;
    } catch (const Failure& f) {
        error.message = f.message;
        error.offset = f.offset;
    } catch (const std::bad_alloc&) {
        error.message = "out of memory";
    }
    return false;
}

bool readSxfFile(const std::string& path, const PageSink& sink, ReadError& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = ReadError{"cannot open the file", 0};
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    return readSxf(s.str(), sink, error);
}

}  // namespace drawing

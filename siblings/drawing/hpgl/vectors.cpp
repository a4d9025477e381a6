// Vector instructions: PU, PD, PA, PR, PE, CI, AA, AR, AT, RT, BZ, BR.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

#include "drawing/hpgl/plotter.h"

namespace drawing::hpgl {

namespace {

constexpr int kMaxArcSegments = 720;
// A chord strays at most this far from its arc (plotter units) when the
// chord angle asked for is finer than that needs. Pages are written in
// whole units, so finer chords show nothing more; at 5 degrees a board's
// pads and vias, circles a few units across, took 72 points each.
constexpr double kChordSag = 0.25;
// And a chord spans at most a quarter turn, so that a circle keeps four
// points however small.
constexpr double kWidestChordDeg = 90;
constexpr int kEsc = 0x1B;

}  // namespace

// PE's numbers: base-64 (or, after the 7 flag, base-32) digits, each
// number flagged as a pen number (:), the fraction bits of the coordinates
// (>), or a coordinate; a move flagged as pen up (<) or absolute (=).
class EncodedNumbers {
  public:
    enum class Want { Coordinate, Pen, Fraction };

    // Takes one byte; true when it completed a number (in value()).
    // Stray bytes inside a number are ignored.
    bool take(int raw) {
        // Mostly a digit of 7-bit mode, as our own plots have it.
        if (sevenBit_ && raw >= 63 && raw <= 126 && digits_ < 12) {
            const bool last = raw >= 95;
            value_ += static_cast<std::uint64_t>(raw - (last ? 95 : 63)) << (digits_ * 5);
            ++digits_;
            return last;
        }
        // In 7-bit mode the eighth bit means nothing.
        const int c = sevenBit_ ? raw & 0x7F : raw;
        const int base = sevenBit_ ? 32 : 64;
        int digit = -1;
        bool last = false;
        if (c >= 63 && c < 63 + base) {
            digit = c - 63;
        } else if (sevenBit_ ? (c >= 95 && c <= 126) : (c >= 191 && c <= 254)) {
            digit = c - (sevenBit_ ? 95 : 191);
            last = true;
        }
        if (digit < 0) {
            if (digits_ == 0) {
                flag(c & 0x7F);  // flags ignore the eighth bit
            }
            return false;
        }
        if (digits_ >= (sevenBit_ ? 12 : 10)) {
            tooLong_ = true;
            return false;
        }
        value_ += static_cast<std::uint64_t>(digit) << (digits_ * (sevenBit_ ? 5 : 6));
        ++digits_;
        return last;
    }
    // The number completed by take(); the digits start afresh.
    double value() {
        const double magnitude = static_cast<double>(value_ >> 1);
        const double n = (value_ & 1) ? -magnitude : magnitude;
        value_ = 0;
        digits_ = 0;
        return n;
    }
    Want want() const { return want_; }
    void setFractionBits(int bits) {
        scale_ = std::ldexp(1.0, bits);
        want_ = Want::Coordinate;
    }
    void penSelected() { want_ = Want::Coordinate; }
    // Adds a coordinate; true when it completes a pair, in x and y.
    bool coordinate(double n, double& x, double& y) {
        pair_[have_++] = n / scale_;
        if (have_ < 2) {
            return false;
        }
        have_ = 0;
        x = pair_[0];
        y = pair_[1];
        return true;
    }
    // The move's flags, which hold for one move.
    bool takePenUp() { return std::exchange(penUpNext_, false); }
    bool takeAbsolute() { return std::exchange(absoluteNext_, false); }
    bool tooLong() const { return tooLong_; }
    bool insideNumber() const { return digits_ > 0; }

  private:
    void flag(int c) {
        if (c == ':') {
            want_ = Want::Pen;
        } else if (c == '>') {
            want_ = Want::Fraction;
        } else if (c == '<') {
            penUpNext_ = true;
        } else if (c == '=') {
            absoluteNext_ = true;
        } else if (c == '7') {
            sevenBit_ = true;
        }
    }

    bool sevenBit_ = false;
    bool tooLong_ = false;
    Want want_ = Want::Coordinate;
    double scale_ = 1;  // 2 to the power of the fraction bits
    bool penUpNext_ = false;
    bool absoluteNext_ = false;
    double pair_[2] = {0, 0};
    int have_ = 0;
    std::uint64_t value_ = 0;
    int digits_ = 0;
};

bool Plotter::plotPairs(bool relative) {
    double xy[2];
    while (readNumber(in_, xy[0]) && readNumber(in_, xy[1])) {
        const PrecisePoint target =
            relative ? st_.fromPen(xy[0], xy[1]) : st_.toPlotter(xy[0], xy[1]);
        if (!moveTo(target)) {
            return false;
        }
        // Mostly one pair: the semicolon ends the numbers.
        if (*in_.cursor() == ';') {
            break;
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::penUp() {
    st_.penDown = false;
    if (!plotPairs(st_.relative)) {
        return false;
    }
    return polygonMode_ || flushPolyline();
}

bool Plotter::penDown() {
    st_.penDown = true;
    return plotPairs(st_.relative);
}

bool Plotter::plotAbsolute() {
    st_.relative = false;
    return plotPairs(false);
}

bool Plotter::plotRelative() {
    st_.relative = true;
    return plotPairs(true);
}

// PE: pen moves as numbers of base-64 (or 32) digits, each flagged as a
// pen number (:), a fraction of the coordinates (>), a pen-up move (<) or
// an absolute one (=).
bool Plotter::polylineEncoded() {
    EncodedNumbers numbers;
    for (;;) {
        // The bytes read in are taken one by one in place; the input learns
        // how far before each number is used, so that an error names the
        // offset it stands at.
        const char* p = in_.cursor();
        const char* const end = in_.end();
        if (p == end) {
            if (in_.peek() < 0) {
                return numbers.insideNumber() ? fail("encoded polyline ends inside a number")
                                              : true;
            }
            continue;
        }
        for (; p != end; ++p) {
            const int raw = static_cast<unsigned char>(*p);
            if (raw == ';' || raw == kEsc) {
                in_.takeUpTo(raw == ';' ? p + 1 : p);
                return true;
            }
            if ((raw >= 128 && raw <= 160) || raw == 255) {
                continue;
            }
            if (!numbers.take(raw)) {
                if (numbers.tooLong()) {
                    in_.takeUpTo(p + 1);
                    return fail("encoded number too long");
                }
                continue;
            }
            in_.takeUpTo(p + 1);
            if (!encodedNumber(numbers)) {
                return false;
            }
        }
        in_.takeUpTo(p);
    }
}

// A number of PE: a pen, the fraction bits, or a coordinate that may
// complete a move.
bool Plotter::encodedNumber(EncodedNumbers& numbers) {
    const double n = numbers.value();
    if (numbers.want() == EncodedNumbers::Want::Pen) {
        if (!flushPolyline()) {
            return false;
        }
        st_.penNo = toInt(n, 0, kPens - 1);
        numbers.penSelected();
        return true;
    }
    if (numbers.want() == EncodedNumbers::Want::Fraction) {
        numbers.setFractionBits(toInt(n, -26, 26));
        return true;
    }
    double x = 0, y = 0;
    if (!numbers.coordinate(n, x, y)) {
        return true;
    }
    const bool absolute = numbers.takeAbsolute();
    const PrecisePoint target = absolute ? st_.toPlotter(x, y) : st_.fromPen(x, y);
    st_.penDown = !numbers.takePenUp();
    return moveTo(target);
}

std::vector<PrecisePoint> Plotter::arcPoints(PrecisePoint center, PrecisePoint start,
                                             double sweepDeg, double chordDeg) const {
    std::vector<PrecisePoint> pts;
    if (!std::isfinite(sweepDeg)) {
        return pts;
    }
    sweepDeg = std::clamp(sweepDeg, -360.0, 360.0);
    chordDeg = std::fabs(chordDeg);
    if (!std::isfinite(chordDeg) || chordDeg < 0.5) {
        chordDeg = chordDeg == 0 ? 5 : 0.5;
    }
    const double r = std::hypot(start.x - center.x, start.y - center.y);
    const double sagDeg =
        r > kChordSag ? 2 * std::acos(1 - kChordSag / r) * 180 / std::numbers::pi : kWidestChordDeg;
    chordDeg = std::min(std::max(chordDeg, std::min(sagDeg, kWidestChordDeg)), 180.0);
    const int n =
        std::clamp(static_cast<int>(std::ceil(std::fabs(sweepDeg) / chordDeg)), 1, kMaxArcSegments);
    const double a0 = std::atan2(start.y - center.y, start.x - center.x);
    const double step = sweepDeg / n * std::numbers::pi / 180;
    for (int i = 1; i <= n; ++i) {
        const double a = a0 + step * i;
        pts.push_back({clampCoordinate(center.x + r * std::cos(a)),
                       clampCoordinate(center.y + r * std::sin(a))});
    }
    return pts;
}

// The chord angle for an arc of this radius (plotter units) from the
// tolerance its instruction gives, read as CT says; 5 degrees when it gives
// none, whatever CT says.
double Plotter::chordFor(bool given, double tolerance, double radius) const {
    if (!given) {
        return st_.chord;
    }
    if (!st_.chordByDistance) {
        return tolerance;
    }
    const double d = std::fabs(tolerance * st_.sx);
    if (!std::isfinite(d) || !std::isfinite(radius)) {
        return st_.chord;
    }
    if (d == 0) {
        return 0.5;  // the finest chords there are
    }
    if (d >= radius) {
        return 180;
    }
    return 2 * std::acos(1 - d / radius) * 180 / std::numbers::pi;
}

bool Plotter::arc(PrecisePoint center, double sweepDeg, double chordDeg) {
    for (const PrecisePoint& p : arcPoints(center, st_.pen, sweepDeg, chordDeg)) {
        if (!moveTo(p)) {
            return false;
        }
    }
    return true;
}

bool Plotter::circle(double radius, double chordDeg) {
    if (!std::isfinite(radius)) {
        return true;
    }
    const PrecisePoint pen = st_.pen;
    const double r = std::fabs(radius * st_.sx);
    const std::vector<PrecisePoint> around = arcPoints(pen, {pen.x + r, pen.y}, 360, chordDeg);
    std::vector<Point> pts;
    pts.reserve(around.size());
    pts.push_back(st_.toPage({clampCoordinate(pen.x + r), pen.y}));
    for (std::size_t i = 0; i + 1 < around.size(); ++i) {
        pts.push_back(st_.toPage(around[i]));
    }
    if (polygonMode_) {
        if (!addPoints(pts.size())) {
            return false;
        }
        subClosed_ = true;
        if (!pmStarts_.empty() && pmPoints_.size() - pmStarts_.back() == 1) {
            pmPoints_.pop_back();
            pmStarts_.pop_back();
        }
        pmStarts_.push_back(pmPoints_.size());
        pmPoints_.insert(pmPoints_.end(), pts.begin(), pts.end());
        return true;
    }
    if (!flushPolyline()) {
        return false;
    }
    return emitPath(std::move(pts), true, false, true);
}

bool Plotter::circleInstruction() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    if (n >= 1 && !circle(v[0], chordFor(n >= 2, v[1], std::fabs(v[0] * st_.sx)))) {
        return false;
    }
    endInstruction(in_);
    return true;
}

// AA and AR: an arc around a centre, absolute or relative to the pen.
bool Plotter::arcAround(bool relative) {
    double v[4] = {};
    const int n = readNumbers(in_, v, 4);
    if (n >= 3) {
        const PrecisePoint center = relative ? st_.fromPen(v[0], v[1]) : st_.toPlotter(v[0], v[1]);
        const double r = std::hypot(st_.pen.x - center.x, st_.pen.y - center.y);
        if (!arc(center, v[2], chordFor(n >= 4, v[3], r))) {
            return false;
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::arcAbsolute() {
    return arcAround(false);
}

bool Plotter::arcRelative() {
    return arcAround(true);
}

bool Plotter::arcThreePointAbsolute() {
    return arcThreePoint(false);
}

bool Plotter::arcThreePointRelative() {
    return arcThreePoint(true);
}

namespace {

// The counter-clockwise turn from one angle to another, in [0, 2π).
double ccw(double from, double to) {
    const double turn = to - from;
    return turn < 0 ? turn + 2 * std::numbers::pi : turn;
}

}  // namespace

// AT and RT: an arc from the pen through m to e; a straight line when the
// three points lie on one.
bool Plotter::arcThreePoint(bool relative) {
    double v[5] = {};
    const int n = readNumbers(in_, v, 5);
    if (n < 4) {
        endInstruction(in_);
        return true;
    }
    const PrecisePoint m = relative ? st_.fromPen(v[0], v[1]) : st_.toPlotter(v[0], v[1]);
    const PrecisePoint e = relative ? st_.fromPen(v[2], v[3]) : st_.toPlotter(v[2], v[3]);
    const PrecisePoint s = st_.pen;
    const double d = 2 * (s.x * (m.y - e.y) + m.x * (e.y - s.y) + e.x * (s.y - m.y));
    const double scale =
        std::max({std::fabs(s.x), std::fabs(s.y), std::fabs(m.x), std::fabs(m.y), 1.0});
    if (std::fabs(d) < 1e-9 * scale * scale) {
        if (!moveTo(e)) {
            return false;
        }
        endInstruction(in_);
        return true;
    }
    const double s2 = s.x * s.x + s.y * s.y, m2 = m.x * m.x + m.y * m.y, e2 = e.x * e.x + e.y * e.y;
    const PrecisePoint c = {(s2 * (m.y - e.y) + m2 * (e.y - s.y) + e2 * (s.y - m.y)) / d,
                            (s2 * (e.x - m.x) + m2 * (s.x - e.x) + e2 * (m.x - s.x)) / d};
    const double as = std::atan2(s.y - c.y, s.x - c.x);
    const double am = std::atan2(m.y - c.y, m.x - c.x);
    const double ae = std::atan2(e.y - c.y, e.x - c.x);
    double sweep = ccw(as, ae);
    if (ccw(as, am) > sweep) {
        sweep -= 2 * std::numbers::pi;
    }
    std::vector<PrecisePoint> pts =
        arcPoints(c, s, sweep * 180 / std::numbers::pi,
                  chordFor(n >= 5, v[4], std::hypot(s.x - c.x, s.y - c.y)));
    if (!pts.empty()) {
        pts.back() = e;
    }
    for (const PrecisePoint& p : pts) {
        if (!moveTo(p)) {
            return false;
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::bezierAbsolute() {
    return bezier(false);
}

bool Plotter::bezierRelative() {
    return bezier(true);
}

// BZ and BR: cubic curves from the pen, each of three control points, as
// sixteen segments.
bool Plotter::bezier(bool relative) {
    double c[6] = {};
    for (;;) {
        int n = 0;
        while (n < 6 && readNumber(in_, c[n])) {
            ++n;
        }
        if (n < 6) {
            break;
        }
        const PrecisePoint p0 = st_.pen;
        PrecisePoint q[3];
        for (std::size_t k = 0; k < 3; ++k) {
            q[k] = relative ? st_.fromPen(c[2 * k], c[2 * k + 1])
                            : st_.toPlotter(c[2 * k], c[2 * k + 1]);
        }
        constexpr int kSteps = 16;
        for (int i = 1; i <= kSteps; ++i) {
            const double t = double(i) / kSteps, u = 1 - t;
            const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
            const PrecisePoint pt =
                i == kSteps ? q[2]
                            : PrecisePoint{w0 * p0.x + w1 * q[0].x + w2 * q[1].x + w3 * q[2].x,
                                           w0 * p0.y + w1 * q[0].y + w2 * q[1].y + w3 * q[2].y};
            if (!moveTo(pt)) {
                return false;
            }
        }
    }
    endInstruction(in_);
    return true;
}

}  // namespace drawing::hpgl

#include "drawing/hpgl/plotter_state.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "drawing/hpgl/line_types.h"

namespace drawing::hpgl {

namespace {

// Media assumed when a plot sets none: ISO A4 landscape.
constexpr double kDefaultMediaWidth = 11880;
constexpr double kDefaultMediaHeight = 8400;
// The distance of the scaling points P1 and P2 of a desk plotter on A4 or
// letter paper.
constexpr double kDeskPlotterSpan = 10000;
constexpr double kDeskPlotterRise = 7200;

constexpr std::array<Rgb, 8> kDefaultColors = {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00,
                                               0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF};

}  // namespace

Rgb defaultColor(int pen) {
    return kDefaultColors[pen <= 0 ? 0 : static_cast<std::size_t>((pen - 1) % 7 + 1)];
}

int toInt(double v, int lo, int hi) {
    if (!std::isfinite(v)) {
        return lo;
    }
    return static_cast<int>(std::clamp(std::round(v), double(lo), double(hi)));
}

void PlotterState::resetMedia() {
    const double w = frameWidth(), h = frameHeight();
    if (mediaW > 0 && mediaH > 0) {
        // Media set by the plot: the scaling points are its corners.
        p1 = {0, 0};
        p2 = {w, h};
        return;
    }
    // A plot that sets no media was made for a desk plotter, whose scaling
    // points lie 10,000 by 7,200 units apart on an A4 or letter sheet.
    // Relative character sizes and user units follow from them, so that
    // labels keep the spacing they were written for. Centred on our sheet
    // (turned with it); absolute coordinates do not depend on them.
    const double across = rotation % 180 == 0 ? kDeskPlotterSpan : kDeskPlotterRise;
    const double up = rotation % 180 == 0 ? kDeskPlotterRise : kDeskPlotterSpan;
    p1 = {std::round((w - across) / 2), std::round((h - up) / 2)};
    p2 = {p1.x + across, p1.y + up};
}

double PlotterState::frameWidth() const {
    const double w = mediaW > 0 ? mediaW : kDefaultMediaWidth;
    const double h = mediaH > 0 ? mediaH : kDefaultMediaHeight;
    return rotation % 180 == 0 ? w : h;
}

double PlotterState::frameHeight() const {
    const double w = mediaW > 0 ? mediaW : kDefaultMediaWidth;
    const double h = mediaH > 0 ? mediaH : kDefaultMediaHeight;
    return rotation % 180 == 0 ? h : w;
}

void PlotterState::defaults() {
    sc = Scaling();
    updateScaling();
    relative = false;
    lineType = prevLineType = 0;
    dash.clear();
    prevDash.clear();
    userPatterns = {};
    window = false;
    fillType = 1;
    fillOption[0] = fillOption[1] = 0;
    chord = 5;
    chordByDistance = false;
    terminator = 3;
    relativeSize = false;
    charW = 76;
    charH = 108;
    run = 1;
    rise = 0;
    relativeDir = false;
    slant = 0;
    extraSpace = extraLine = 0;
    vertical = false;
    labelOrigin = 1;
    symbol = 0;
    relativeWidth = false;
}

void PlotterState::reset() {
    rotation = 0;
    resetMedia();
    defaults();
    penNo = 1;
    layer = Layer::drawing;
    penDown = false;
    pen = {};
    for (int i = 0; i < kPens; ++i) {
        colors[static_cast<std::size_t>(i)] = defaultColor(i);
    }
    setAllWidths(0.35);
    std::fill(std::begin(range), std::end(range), 0.0);
    range[1] = range[3] = range[5] = 255;
    carriage = {};
}

void PlotterState::updateScaling() {
    sx = sy = 1;
    ox = oy = 0;
    if (!sc.on) {
        return;
    }
    const double* a = sc.a;
    const double dx = p2.x - p1.x, dy = p2.y - p1.y;
    double fx = 0, fy = 0;
    if (sc.type == 2) {
        fx = a[1];
        fy = a[3];
        ox = p1.x - a[0] * fx;
        oy = p1.y - a[2] * fy;
    } else {
        fx = dx / (a[1] - a[0]);
        fy = dy / (a[3] - a[2]);
        if (sc.type == 1 && std::isfinite(fx) && std::isfinite(fy)) {
            const double s = std::min(std::fabs(fx), std::fabs(fy));
            fx = std::copysign(s, fx);
            fy = std::copysign(s, fy);
        }
        ox = p1.x - a[0] * fx;
        oy = p1.y - a[2] * fy;
        if (sc.type == 1) {
            ox += (dx - (a[1] - a[0]) * fx) * sc.left / 100;
            oy += (dy - (a[3] - a[2]) * fy) * sc.bottom / 100;
        }
    }
    if (!std::isfinite(fx) || !std::isfinite(fy) || !std::isfinite(ox) || !std::isfinite(oy) ||
        fx == 0 || fy == 0) {
        sc.on = false;
        sx = sy = 1;
        ox = oy = 0;
        return;
    }
    sx = fx;
    sy = fy;
}

PrecisePoint PlotterState::turnedToPage(PrecisePoint p) const {
    // The page keeps the media's own frame; RO turns the plot within it.
    const double w = mediaW > 0 ? mediaW : kDefaultMediaWidth;
    const double h = mediaH > 0 ? mediaH : kDefaultMediaHeight;
    switch (rotation) {
        case 90:
            return {w - p.y, p.x};
        case 180:
            return {w - p.x, h - p.y};
        case 270:
            return {p.y, h - p.x};
        default:
            return p;
    }
}

double PlotterState::diagonalMm() const {
    return std::hypot(p2.x - p1.x, p2.y - p1.y) / kUnitsPerMm;
}

Stroke PlotterState::currentStroke(bool lines) const {
    Stroke s;
    s.layer = layer;
    s.pen = penNo;
    s.color = colors[static_cast<std::size_t>(penNo)];
    s.widthMm = widths[static_cast<std::size_t>(penNo)];
    if (lines) {
        s.lineType = lineType;
        s.dashMm = dash;
    }
    return s;
}

void PlotterState::setLineType(int type, double length, int mode) {
    prevLineType = lineType;
    prevDash = dash;
    const int index = std::abs(type);
    if (index > 8) {
        lineType = 0;
        dash.clear();
        return;
    }
    double lengthMm = mode == 1 ? length : length / 100 * diagonalMm();
    if (!std::isfinite(lengthMm) || lengthMm <= 0) {
        lengthMm = 0.04 * diagonalMm();
    }
    lineType = type;
    dash.clear();
    const auto& user = userPatterns[static_cast<std::size_t>(index)];
    for (double part : user.empty() ? builtinLinePattern(index) : user) {
        dash.push_back(part / 100 * lengthMm);
    }
}

PrecisePoint PlotterState::charCell() const {
    double w = charW, h = charH;
    if (relativeSize) {
        w = relW / 100 * (p2.x - p1.x);
        h = relH / 100 * (p2.y - p1.y);
    }
    return {w, h};
}

double PlotterState::textAngle() const {
    double dx = run, dy = rise;
    if (relativeDir) {
        dx *= (p2.x - p1.x);
        dy *= (p2.y - p1.y);
    }
    if (dx == 0 && dy == 0) {
        return 0;
    }
    return std::atan2(dy, dx) * 180 / std::numbers::pi;
}

}  // namespace drawing::hpgl

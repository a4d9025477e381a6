// Set-up, pens and lines: IN, DF, IP, IR, SC, PS, RO, SP, LT, UL, PW, WU,
// NP, PC, CR, CT, PG, CO, IW, and the instructions that are read without
// effect on the page model.
#include <algorithm>
#include <cmath>

#include "drawing/hpgl/hpgl.h"
#include "drawing/hpgl/plotter.h"

namespace drawing::hpgl {

bool Plotter::initialize() {
    if (!flushPolyline()) {
        return false;
    }
    resetAll();
    endInstruction(in_);
    return true;
}

bool Plotter::defaultValues() {
    if (!flushPolyline()) {
        return false;
    }
    st_.defaults();
    polygonMode_ = false;
    endInstruction(in_);
    return true;
}

// IP: the scaling points in plotter units; one point moves P2 along.
bool Plotter::inputP1P2() {
    double v[4] = {};
    const int n = readNumbers(in_, v, 4);
    if (n >= 4) {
        st_.p1 = {v[0], v[1]};
        st_.p2 = {v[2], v[3]};
    } else if (n >= 2) {
        const PrecisePoint d = {st_.p2.x - st_.p1.x, st_.p2.y - st_.p1.y};
        st_.p1 = {v[0], v[1]};
        st_.p2 = {clampCoordinate(v[0] + d.x), clampCoordinate(v[1] + d.y)};
    } else {
        st_.resetMedia();
    }
    st_.updateScaling();
    endInstruction(in_);
    return true;
}

// IR: the scaling points in per cent of the frame.
bool Plotter::inputRelative() {
    double v[4] = {};
    const int n = readNumbers(in_, v, 4);
    const double w = st_.frameWidth(), h = st_.frameHeight();
    if (n >= 2) {
        const PrecisePoint d = {st_.p2.x - st_.p1.x, st_.p2.y - st_.p1.y};
        st_.p1 = {v[0] / 100 * w, v[1] / 100 * h};
        st_.p2 = n >= 4 ? PrecisePoint{v[2] / 100 * w, v[3] / 100 * h}
                        : PrecisePoint{st_.p1.x + d.x, st_.p1.y + d.y};
    } else {
        st_.resetMedia();
    }
    st_.updateScaling();
    endInstruction(in_);
    return true;
}

bool Plotter::scale() {
    double v[7] = {};
    const int n = readNumbers(in_, v, 7);
    st_.sc = Scaling();
    if (n >= 4) {
        st_.sc.on = true;
        std::copy_n(v, 4, st_.sc.a);
        st_.sc.type = n >= 5 ? toInt(v[4], 0, 2) : 0;
        if (st_.sc.type == 1 && n >= 7) {
            st_.sc.left = v[5];
            st_.sc.bottom = v[6];
        }
    }
    st_.updateScaling();
    endInstruction(in_);
    return true;
}

bool Plotter::plotSize() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    if (!flushPolyline()) {
        return false;
    }
    if (n >= 1 && v[0] > 0) {
        st_.mediaW = clampCoordinate(v[0]);
        st_.mediaH = n >= 2 && v[1] > 0 ? clampCoordinate(v[1]) : st_.mediaH;
    } else {
        st_.mediaW = st_.mediaH = 0;
    }
    st_.resetMedia();
    st_.updateScaling();
    endInstruction(in_);
    return true;
}

bool Plotter::rotate() {
    if (!flushPolyline()) {
        return false;
    }
    double v[1] = {};
    const int rotation =
        readNumbers(in_, v, 1) == 1 ? (toInt(v[0], -3600, 3600) % 360 + 360) % 360 : 0;
    st_.rotation = rotation / 90 * 90;
    st_.resetMedia();
    st_.updateScaling();
    endInstruction(in_);
    return true;
}

bool Plotter::selectPen() {
    if (!flushPolyline()) {
        return false;
    }
    double v[1] = {};
    st_.penNo = readNumbers(in_, v, 1) == 1 ? toInt(v[0], 0, kPens - 1) : 0;
    endInstruction(in_);
    return true;
}

// LT: solid without parameters, LT 99 back to the previous type.
bool Plotter::lineType() {
    double v[3] = {};
    const int n = readNumbers(in_, v, 3);
    if (!flushPolyline()) {
        return false;
    }
    if (n == 0) {
        st_.prevLineType = st_.lineType;
        st_.prevDash = st_.dash;
        st_.lineType = 0;
        st_.dash.clear();
    } else if (toInt(v[0], -1000, 1000) == 99) {
        std::swap(st_.lineType, st_.prevLineType);
        std::swap(st_.dash, st_.prevDash);
    } else {
        st_.setLineType(toInt(v[0], -1000, 1000), n >= 2 ? v[1] : 4,
                        n >= 3 ? toInt(v[2], 0, 1) : 0);
    }
    endInstruction(in_);
    return true;
}

// UL: a user pattern for types 1 to 8 as per cent of the pattern length.
bool Plotter::userLineType() {
    double u[21] = {};
    const int n = readNumbers(in_, u, 21);
    if (n == 0) {
        st_.userPatterns = {};
    } else {
        const int index = toInt(u[0], 0, 100);
        if (index >= 1 && index <= 8) {
            auto& pattern = st_.userPatterns[static_cast<std::size_t>(index)];
            pattern.clear();
            double sum = 0;
            for (int i = 1; i < n; ++i) {
                sum += std::max(u[i], 0.0);
            }
            for (int i = 1; i < n && sum > 0; ++i) {
                pattern.push_back(std::max(u[i], 0.0) / sum * 100);
            }
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::penWidth() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    if (!flushPolyline()) {
        return false;
    }
    double width = n >= 1 ? v[0] : 0.35;
    if (n >= 1 && st_.relativeWidth) {
        width = width / 100 * st_.diagonalMm();
    }
    width = std::isfinite(width) ? std::clamp(width, 0.0, 1000.0) : 0.35;
    if (n >= 2) {
        st_.setWidth(toInt(v[1], 0, kPens - 1), width);
    } else {
        st_.setAllWidths(width);
    }
    endInstruction(in_);
    return true;
}

bool Plotter::widthUnit() {
    double v[1] = {};
    st_.relativeWidth = readNumbers(in_, v, 1) == 1 && toInt(v[0], 0, 1) == 1;
    st_.setAllWidths(st_.relativeWidth ? 0.1 / 100 * st_.diagonalMm() : 0.35);
    endInstruction(in_);
    return true;
}

bool Plotter::numberOfPens() {
    double v[1] = {};
    readNumbers(in_, v, 1);
    if (!flushPolyline()) {
        return false;
    }
    for (int i = 0; i < kPens; ++i) {
        st_.colors[static_cast<std::size_t>(i)] = defaultColor(i);
    }
    endInstruction(in_);
    return true;
}

// PC pen,r,g,b with the components in the range CR set; the pen's default
// colour without components, every pen's without parameters.
bool Plotter::penColor() {
    double v[4] = {};
    const int n = readNumbers(in_, v, 4);
    if (!flushPolyline()) {
        return false;
    }
    if (n == 0) {
        for (int i = 0; i < kPens; ++i) {
            st_.colors[static_cast<std::size_t>(i)] = defaultColor(i);
        }
        endInstruction(in_);
        return true;
    }
    const int p = toInt(v[0], 0, kPens - 1);
    Rgb c = defaultColor(p);
    if (n >= 4) {
        c = 0;
        for (int k = 0; k < 3; ++k) {
            const double lo = st_.range[2 * k], hi = st_.range[2 * k + 1];
            double f = hi != lo ? (v[k + 1] - lo) / (hi - lo) : 0;
            f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0;
            c = c << 8 | static_cast<Rgb>(std::lround(f * 255));
        }
    }
    st_.colors[static_cast<std::size_t>(p)] = c;
    endInstruction(in_);
    return true;
}

bool Plotter::colorRange() {
    double v[6] = {};
    const int n = readNumbers(in_, v, 6);
    if (n == 6) {
        std::copy_n(v, 6, st_.range);
    } else {
        std::fill(std::begin(st_.range), std::end(st_.range), 0.0);
        st_.range[1] = st_.range[3] = st_.range[5] = 255;
    }
    endInstruction(in_);
    return true;
}

// CT: how the tolerance an arc, circle or wedge may give is read, as the
// angle between its chords (0, the default) or as the farthest a chord may
// stray from the arc, in current units (1).
bool Plotter::chordTolerance() {
    double v[1] = {};
    const int n = readNumbers(in_, v, 1);
    if (n == 0 || v[0] == 0 || v[0] == 1) {
        st_.chordByDistance = n == 1 && v[0] == 1;
    }
    endInstruction(in_);
    return true;
}

bool Plotter::pageAdvance() {
    double v[1] = {};
    readNumbers(in_, v, 1);
    endInstruction(in_);
    return endPage();
}

// Comments come quoted, or in older files bare up to the semicolon. Our own
// writer names the layer of what follows in a quoted one.
bool Plotter::comment() {
    while (in_.peek() == ' ') {
        in_.get();
    }
    if (in_.peek() != '"') {
        for (int c = in_.get(); c >= 0 && c != ';'; c = in_.get()) {
        }
        return true;
    }
    in_.get();
    std::string text;
    for (int c = in_.get(); c >= 0 && c != '"'; c = in_.get()) {
        if (text.size() < 32) {
            text += static_cast<char>(c);
        }
    }
    if (text == kMarksLayerComment) {
        st_.layer = Layer::marks;
    } else if (text == kDrawingLayerComment) {
        st_.layer = Layer::drawing;
    }
    endInstruction(in_);
    return true;
}

// IW: the window in user units; without parameters back to the hard-clip
// limits, the media when the plot set one.
bool Plotter::inputWindow() {
    if (!flushPolyline()) {
        return false;
    }
    double v[4] = {};
    if (readNumbers(in_, v, 4) == 4) {
        const PrecisePoint a = st_.toPage(st_.toPlotter(v[0], v[1]));
        const PrecisePoint c = st_.toPage(st_.toPlotter(v[2], v[3]));
        st_.window = true;
        st_.windowLo = {std::min(a.x, c.x), std::min(a.y, c.y)};
        st_.windowHi = {std::max(a.x, c.x), std::max(a.y, c.y)};
    } else {
        st_.window = st_.mediaW > 0 && st_.mediaH > 0;
        st_.windowLo = {0, 0};
        st_.windowHi = {st_.mediaW, st_.mediaH};
    }
    endInstruction(in_);
    return true;
}

bool Plotter::skipInstruction() {
    skipParameters(in_);
    return true;
}

}  // namespace drawing::hpgl

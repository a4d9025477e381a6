// Labels: LB, DT, DV, SM, SI, SR, DI, DR, SL, ES, LO, CP, and BL and WD,
// whose text is read and not drawn.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "drawing/hpgl/plotter.h"
#include "drawing/utf8.h"

namespace drawing::hpgl {

namespace {

constexpr std::size_t kMaxLabelBytes = 64 * 1024;
constexpr std::size_t kMaxPageTexts = 2'000'000;

}  // namespace

bool Plotter::emitText(const std::string& text, PrecisePoint at) {
    if (text.empty() || !inWindow(st_.toPage(at))) {
        return true;
    }
    if (page_.texts.size() >= kMaxPageTexts) {
        return fail("page holds too many labels");
    }
    const PrecisePoint size = st_.charCell();
    Text t;
    t.origin = st_.toPage(at);
    t.text = text;
    t.charWidth = clampCoordinate(size.x);
    t.charHeight = clampCoordinate(size.y);
    t.angleDeg = std::fmod(st_.textAngle() + st_.rotation, 360.0);
    if (t.angleDeg < 0) {
        t.angleDeg += 360;
    }
    t.slant = st_.slant;
    t.vertical = st_.vertical;
    t.labelOrigin = st_.labelOrigin;
    t.stroke = st_.currentStroke(false);
    return keep(page_.texts, std::move(t));
}

// SM: the symbol centred on each point plotted.
bool Plotter::symbol() {
    const std::string s = utf8OrLatin1(std::string(1, static_cast<char>(st_.symbol)));
    const int lo = st_.labelOrigin;
    st_.labelOrigin = 5;
    const bool ok = emitText(s, st_.pen);
    st_.labelOrigin = lo;
    return ok;
}

// LB: one Text per line of the label; the pen ends after the last
// character, carriage return and line feed move it as on a plotter.
bool Plotter::label() {
    if (!flushPolyline()) {
        return false;
    }
    const PrecisePoint cell = st_.charCell();
    const double a = st_.textAngle() * std::numbers::pi / 180;
    const double cosA = std::cos(a), sinA = std::sin(a);
    const double advance = cell.x * 1.5 * (1 + st_.extraSpace);
    const double lineStep = cell.y * 2 * (1 + st_.extraLine);
    // Along the text and from one line to the next: a vertical label runs
    // down its column, and its next column stands to the left.
    const PrecisePoint along = st_.vertical ? PrecisePoint{sinA, -cosA} : PrecisePoint{cosA, sinA};
    const PrecisePoint down = st_.vertical ? PrecisePoint{-cosA, -sinA} : PrecisePoint{sinA, -cosA};
    st_.carriage = st_.pen;
    std::string run;
    PrecisePoint runStart = st_.pen;
    std::size_t length = 0;
    auto flush = [&]() {
        // Bytes that are not UTF-8 are the 8-bit labels of older plots.
        std::string text = utf8OrLatin1(run);
        const auto chars = static_cast<double>(utf8Length(text));
        const bool ok = emitText(text, runStart);
        st_.pen = {clampCoordinate(runStart.x + along.x * advance * chars),
                   clampCoordinate(runStart.y + along.y * advance * chars)};
        run.clear();
        return ok;
    };
    for (;;) {
        const int c = in_.get();
        if (c < 0) {
            return fail("label without terminator");
        }
        if (c == st_.terminator) {
            return flush();
        }
        if (++length > kMaxLabelBytes) {
            return fail("label longer than 65536 bytes");
        }
        if (c == '\r' || c == '\n') {
            if (!flush()) {
                return false;
            }
            if (c == '\r') {
                st_.pen = st_.carriage;
            } else {
                st_.carriage = {clampCoordinate(st_.carriage.x + down.x * lineStep),
                                clampCoordinate(st_.carriage.y + down.y * lineStep)};
                st_.pen = {clampCoordinate(st_.pen.x + down.x * lineStep),
                           clampCoordinate(st_.pen.y + down.y * lineStep)};
            }
            runStart = st_.pen;
        } else {
            run.push_back(static_cast<char>(c));
        }
    }
}

// BL and WD: text up to the terminator, not drawn.
bool Plotter::skipLabel() {
    for (int c = in_.get(), n = 0; c >= 0 && c != st_.terminator; c = in_.get(), ++n) {
        if (n > static_cast<int>(kMaxLabelBytes)) {
            return fail("label longer than 65536 bytes");
        }
    }
    return true;
}

bool Plotter::defineTerminator() {
    const int c = in_.peek();
    if (c == ';' || c < 0) {
        st_.terminator = 3;
    } else {
        st_.terminator = in_.get();
        if (in_.peek() == ',') {
            in_.get();
            double mode[1] = {};
            readNumbers(in_, mode, 1);
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::directionVertical() {
    double v[2] = {};
    st_.vertical = readNumbers(in_, v, 2) >= 1 && v[0] == 1;
    endInstruction(in_);
    return true;
}

bool Plotter::symbolMode() {
    const int c = in_.peek();
    st_.symbol = 0;
    if (c > ' ' && c < 0x7F && c != ';') {
        st_.symbol = in_.get();
    }
    endInstruction(in_);
    return true;
}

bool Plotter::sizeAbsolute() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    st_.relativeSize = false;
    st_.charW = n >= 2 ? clampCoordinate(v[0] * 400) : 76;
    st_.charH = n >= 2 ? clampCoordinate(v[1] * 400) : 108;
    endInstruction(in_);
    return true;
}

bool Plotter::sizeRelative() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    st_.relativeSize = true;
    st_.relW = n >= 2 ? v[0] : 0.75;
    st_.relH = n >= 2 ? v[1] : 1.5;
    endInstruction(in_);
    return true;
}

bool Plotter::direction(bool relative) {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    st_.relativeDir = relative;
    st_.run = n >= 2 ? v[0] : 1;
    st_.rise = n >= 2 ? v[1] : 0;
    endInstruction(in_);
    return true;
}

bool Plotter::directionAbsolute() {
    return direction(false);
}

bool Plotter::directionRelative() {
    return direction(true);
}

bool Plotter::slant() {
    double v[1] = {};
    st_.slant = readNumbers(in_, v, 1) == 1 ? v[0] : 0;
    endInstruction(in_);
    return true;
}

bool Plotter::extraSpace() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    st_.extraSpace = n >= 1 ? std::clamp(v[0], -10.0, 10.0) : 0;
    st_.extraLine = n >= 2 ? std::clamp(v[1], -10.0, 10.0) : 0;
    endInstruction(in_);
    return true;
}

bool Plotter::labelOrigin() {
    double v[1] = {};
    st_.labelOrigin = readNumbers(in_, v, 1) == 1 ? toInt(v[0], 1, 21) : 1;
    endInstruction(in_);
    return true;
}

// CP: the pen moved by whole character cells; without parameters, to the
// start of the next line.
bool Plotter::characterPlot() {
    double v[2] = {};
    const int n = readNumbers(in_, v, 2);
    const PrecisePoint cell = st_.charCell();
    const double ang = st_.textAngle() * std::numbers::pi / 180;
    if (n == 0) {
        const double step = cell.y * 2 * (1 + st_.extraLine);
        st_.carriage = {st_.carriage.x + std::sin(ang) * step,
                        st_.carriage.y - std::cos(ang) * step};
        st_.pen = st_.carriage;
    } else {
        const double dx = v[0] * cell.x * 1.5 * (1 + st_.extraSpace);
        const double dy = (n >= 2 ? v[1] : 0) * cell.y * 2 * (1 + st_.extraLine);
        st_.pen = {clampCoordinate(st_.pen.x + std::cos(ang) * dx - std::sin(ang) * dy),
                   clampCoordinate(st_.pen.y + std::sin(ang) * dx + std::cos(ang) * dy)};
    }
    if (!flushPolyline()) {
        return false;
    }
    endInstruction(in_);
    return true;
}

}  // namespace drawing::hpgl

// What a plotter remembers between instructions: media and rotation, the
// scaling points and user units, pens, line and fill types, the window and
// the label settings. Each member is set by the instructions named beside it.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "drawing/page.h"

namespace drawing::hpgl {

inline constexpr int kPens = 256;
inline constexpr double kMaxCoordinate = 1e9;

// Coordinates beyond ±kMaxCoordinate (or not finite) are clamped.
inline double clampCoordinate(double v) {
    if (!std::isfinite(v)) {
        return v > 0 ? kMaxCoordinate : v < 0 ? -kMaxCoordinate : 0;
    }
    return std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
}

// v rounded and clamped to [lo, hi]; lo when v is not finite.
int toInt(double v, int lo, int hi);

// The colour a pen has until PC sets it: pens above 7 repeat pens 1 to 7.
Rgb defaultColor(int pen);

// SC: user units.
struct Scaling {
    bool on = false;
    double a[4] = {0, 0, 0, 0};  // xmin, xmax, ymin, ymax (type 2: xmin, xfactor, ymin, yfactor)
    int type = 0;                // 0 anisotropic, 1 isotropic, 2 point factor
    double left = 50, bottom = 50;
};

struct PlotterState {
    // Media and frame (PS, RO, IP, IR, SC).
    double mediaW = 0, mediaH = 0;  // 0: not set by PS
    int rotation = 0;
    PrecisePoint p1, p2;
    Scaling sc;
    double sx = 1, sy = 1, ox = 0, oy = 0;  // user units to plotter units

    // Pen (PU, PD, PA, PR, SP, PW, WU, PC, NP, CR).
    PrecisePoint pen;
    bool penDown = false;
    bool relative = false;
    int penNo = 1;
    Layer layer = Layer::drawing;
    std::array<Rgb, kPens> colors{};
    std::array<double, kPens> widths{};  // set through setWidth and setAllWidths
    bool relativeWidth = false;
    double range[6] = {0, 255, 0, 255, 0, 255};

    // Lines and fills (LT, UL, FT, CT/chord, IW).
    int lineType = 0;
    std::vector<double> dash;
    int prevLineType = 0;
    std::vector<double> prevDash;
    double chord = 5;              // degrees, where an arc gives no tolerance
    bool chordByDistance = false;  // CT1: an arc's tolerance is a distance
    int fillType = 1;
    double fillOption[2] = {0, 0};
    std::array<std::vector<double>, 9> userPatterns;
    bool window = false;  // IW, in page coordinates
    PrecisePoint windowLo, windowHi;

    // Labels (DT, SI, SR, DI, DR, SL, ES, DV, LO, SM, CP).
    int terminator = 3;
    bool relativeSize = false;
    double charW = 76, charH = 108;  // plotter units
    double relW = 0.75, relH = 1.5;  // per cent of P2-P1
    double run = 1, rise = 0;
    bool relativeDir = false;
    double slant = 0;
    double extraSpace = 0, extraLine = 0;
    bool vertical = false;  // DV 1: characters stand one below the other
    int labelOrigin = 1;
    PrecisePoint carriage;
    int symbol = 0;

    PlotterState() { reset(); }

    // IN: everything back to the power-on state.
    void reset();
    // DF: the instruction defaults; media, pens and the pen position stay.
    void defaults();
    // The scaling points for the media (after PS, RO, IP and IR without
    // parameters).
    void resetMedia();
    // sx, sy, ox, oy from sc and the scaling points.
    void updateScaling();

    // Width and height of the frame the plot is drawn in (the media, turned
    // by RO).
    double frameWidth() const;
    double frameHeight() const;
    // User units to plotter units.
    PrecisePoint toPlotter(double x, double y) const {
        return {clampCoordinate(ox + x * sx), clampCoordinate(oy + y * sy)};
    }
    // A point plotted relative to the pen by (dx, dy) user units.
    PrecisePoint fromPen(double dx, double dy) const {
        return {clampCoordinate(pen.x + dx * sx), clampCoordinate(pen.y + dy * sy)};
    }
    // Plotter units to the page, which keeps the media's own frame.
    PrecisePoint toPage(PrecisePoint p) const { return rotation == 0 ? p : turnedToPage(p); }
    // The pen's stroke; without the line type for fills and labels.
    Stroke currentStroke(bool lines = true) const;
    // The length of the diagonal from P1 to P2, in mm.
    double diagonalMm() const;
    // LT type,length,mode.
    void setLineType(int type, double length, int mode);

    // toPage under RO 90, 180 or 270.
    PrecisePoint turnedToPage(PrecisePoint p) const;

    // PW and WU: one pen's width, or every pen's (a plot of filled glyphs
    // says PW before each glyph: a width all pens have already is not set
    // anew).
    void setWidth(int pen, double width) {
        widths[static_cast<std::size_t>(pen)] = width;
        allWidths_ = std::nan("");
    }
    void setAllWidths(double width) {
        // Bit for bit: -0 is not 0 here, and NaN is never the same.
        if (std::bit_cast<std::uint64_t>(width) != std::bit_cast<std::uint64_t>(allWidths_) ||
            std::isnan(width)) {
            widths.fill(width);
            allWidths_ = width;
        }
    }

    // The character cell (SI or SR) and the label direction (DI or DR).
    PrecisePoint charCell() const;
    double textAngle() const;

  private:
    double allWidths_ = std::nan("");  // the width of every pen, when one was set for all
};

}  // namespace drawing::hpgl

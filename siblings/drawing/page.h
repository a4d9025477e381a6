// The page model shared by the converter and the comparison program.
//
// Coordinates are plotter units (1/40 mm, 0.025 mm), x to the right and
// y upwards, origin at the lower left corner of the page. Everything a page
// shows is one of three kinds of element: stroked or filled vector paths,
// text runs, and raster images placed on the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "small_list.h"

namespace drawing {

inline constexpr double kUnitsPerMm = 40.0;
inline constexpr double kUnitsPerInch = 1016.0;

// A point worked out in full precision: what moves by steps or goes through
// a transform before it is put on a page (a plotter's pen, say).
struct PrecisePoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const PrecisePoint&, const PrecisePoint&) = default;
};

// A point on a page. Points are the bulk of a page, so they are kept in
// single precision, which holds every whole plotter unit exactly up to 16.7
// million (419 m) and fractions to 1/512 unit (0.05 um) across an A0 sheet.
// Work out positions in double: a point made of doubles takes the nearest
// floats (a finite number beyond float's range, its largest; infinities and
// NaN stay what they are).
struct Point {
    float x = 0;
    float y = 0;
    constexpr Point() = default;
    constexpr Point(double px, double py) : x(narrowed(px)), y(narrowed(py)) {}
    constexpr Point(PrecisePoint p) : Point(p.x, p.y) {}
    constexpr operator PrecisePoint() const { return {x, y}; }
    friend bool operator==(const Point&, const Point&) = default;

  private:
    static constexpr float narrowed(double v) {
        constexpr double kLargest = std::numeric_limits<float>::max();
        constexpr double kInfinity = std::numeric_limits<double>::infinity();
        return static_cast<float>(v > kLargest && v < kInfinity     ? kLargest
                                  : v < -kLargest && v > -kInfinity ? -kLargest
                                                                    : v);
    }
};

// 0xRRGGBB
using Rgb = std::uint32_t;
inline constexpr Rgb kBlack = 0x000000;
inline constexpr Rgb kWhite = 0xFFFFFF;

// What an element belongs to: the drawing itself, or the marks a
// comparison puts over it (change regions, legend), which a viewer can hide
// as a layer of their own.
enum class Layer : std::uint8_t { drawing, marks };

// How an element is drawn: the plotter pen it came from, its colour and its
// line width in millimetres.
struct Stroke {
    int pen = 1;
    Rgb color = kBlack;
    double widthMm = 0.35;
    // Line type of an outline: the HP-GL LT number it came from and its
    // pattern as alternately drawn and skipped lengths in mm, starting with
    // a drawn one. An empty pattern is a solid line (lineType then 0).
    int lineType = 0;
    Layer layer = Layer::drawing;
    SmallList<double> dashMm = {};
    friend bool operator==(const Stroke&, const Stroke&) = default;
};

// A polyline, or a polygon when closed. A filled path is painted with
// stroke.color by the non-zero rule (evenOdd for the HP-GL/2 FP 0 rule);
// an outline path is stroked with stroke.widthMm.
struct Path {
    std::vector<Point> points;
    bool closed = false;
    bool filled = false;
    bool evenOdd = true;
    Stroke stroke;
    // Indexes into points where a further subpath begins (a polygon with
    // holes, or several outlines of one polygon buffer); empty for one path.
    // closed applies to every subpath.
    SmallList<std::size_t> subpathStarts = {};
    friend bool operator==(const Path&, const Path&) = default;
};

// Whether outline has the look of an edge of the fill drawn just before it:
// closed, at the thinnest width, undashed, in the fill's colour and layer.
inline bool looksLikeEdgeOf(const Path& outline, const Path& fill) {
    return !outline.filled && outline.closed && fill.filled && outline.stroke.widthMm == 0 &&
           outline.stroke.dashMm.empty() && outline.stroke.color == fill.stroke.color &&
           outline.stroke.layer == fill.stroke.layer;
}

// The path whose points paths[i] is drawn on: the fill before it when it
// is an edge read without points of its own (HpglReadOptions::
// foldFillEdges), else itself.
inline const Path& drawnOn(const std::vector<Path>& paths, std::size_t i) {
    const Path& path = paths[i];
    return path.points.empty() && i > 0 && looksLikeEdgeOf(path, paths[i - 1]) ? paths[i - 1]
                                                                               : path;
}

// Whether outline only traces the fill drawn just before it, in that look
// and on exactly its points. A plot of text as glyph outlines edges every
// letter it fills (FP, then EP on the same polygon), and such an edge shows
// nothing the fill does not.
inline bool tracesFill(const Path& outline, const Path& fill) {
    return looksLikeEdgeOf(outline, fill) && !outline.points.empty() &&
           outline.points == fill.points && outline.subpathStarts == fill.subpathStarts;
}

// A run of label text. origin is the point the label's origin code
// refers to; sizes are in plotter units; angle in degrees counter-clockwise.
// The text is UTF-8 whatever the file's own encoding: each reader decodes
// (an undecodable byte becomes U+FFFD) and each writer encodes again.
struct Text {
    PrecisePoint origin;
    std::string text;  // UTF-8
    double charWidth = 0;
    double charHeight = 0;
    double angleDeg = 0;
    double slant = 0;     // tangent of the slant angle (SL)
    int labelOrigin = 1;  // HP-GL LO code, 1..9 and 11..19
    Stroke stroke;
    // Set in columns: characters stand upright one below the other, the
    // column running along angleDeg - 90 (SXF direction 2, HP-GL DV 1).
    bool vertical = false;
    friend bool operator==(const Text&, const Text&) = default;
};

// A raster placed on the page. Pixels are 8-bit grey when channels == 1,
// RGB when channels == 3; rows run from the top of the image down.
// origin is the page position of the image's upper left corner.
struct Raster {
    PrecisePoint origin;
    double dpi = 300;
    int width = 0;
    int height = 0;
    int channels = 1;
    std::vector<std::uint8_t> pixels;  // width * height * channels
    friend bool operator==(const Raster&, const Raster&) = default;
};

// The three kinds are kept apart, so the drawing order is fixed by kind:
// renderers paint rasters first, then filled paths, outlines and text.
struct Page {
    // Media size in plotter units; 0 means "as large as the content".
    double width = 0;
    double height = 0;
    std::vector<Path> paths;
    std::vector<Text> texts;
    std::vector<Raster> rasters;
    bool empty() const { return paths.empty() && texts.empty() && rasters.empty(); }
    friend bool operator==(const Page&, const Page&) = default;
};

}  // namespace drawing

// The fixed tables both SXF forms share: the predefined colours, line types
// and line widths, each known by its name and its code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "drawing/page.h"

namespace drawing::sxf {

// The longest string either form reads, and so the longest the writer
// writes: a polyline's list of coordinates, a text, a name.
inline constexpr std::size_t kMaxString = 64 * 1024;

struct NamedColour {
    const char* name;
    Rgb rgb;
};
// Codes 1 to 16, by name whatever order a file declares them in.
inline constexpr NamedColour kColours[] = {
    {"black", 0x000000},     {"red", 0xFF0000},      {"green", 0x00FF00},
    {"blue", 0x0000FF},      {"yellow", 0xFFFF00},   {"magenta", 0xFF00FF},
    {"cyan", 0x00FFFF},      {"white", 0xFFFFFF},    {"deeppink", 0xC00080},
    {"brown", 0xC08040},     {"orange", 0xFF8000},   {"lightgreen", 0x80C080},
    {"lightblue", 0x0080FF}, {"lavender", 0x8040FF}, {"lightgray", 0xC0C0C0},
    {"darkgray", 0x808080},
};
inline constexpr int kFirstUserColour = 17;

// Line types 1 to 15. Only the dashed, dotted and chain pitches are known
// from drawings; the others are built from the same dash (6), dot (0.25),
// long dash (12) and gap (1.5) in mm.
struct NamedLineType {
    const char* name;
    std::vector<double> pattern;  // mm, drawn first; empty: solid
};
inline const std::vector<NamedLineType>& lineTypes() {
    static const std::vector<NamedLineType> types = {
        {"continuous", {}},
        {"dashed", {6, 1.5}},
        {"dashed spaced", {6, 3}},
        {"long dashed dotted", {12, 1.5, 0.25, 1.5}},
        {"long dashed double-dotted", {12, 1.5, 0.25, 1.5, 0.25, 1.5}},
        {"long dashed triplicate-dotted", {12, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
        {"dotted", {0.25, 1.5}},
        {"chain", {12, 1.5, 3.5, 1.5}},
        {"chain double dash", {12, 1.5, 3.5, 1.5, 3.5, 1.5}},
        {"dashed dotted", {6, 1.5, 0.25, 1.5}},
        {"double-dashed dotted", {6, 1.5, 6, 1.5, 0.25, 1.5}},
        {"dashed double-dotted", {6, 1.5, 0.25, 1.5, 0.25, 1.5}},
        {"double-dashed double-dotted", {6, 1.5, 6, 1.5, 0.25, 1.5, 0.25, 1.5}},
        {"dashed triplicate-dotted", {6, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
        {"double-dashed triplicate-dotted", {6, 1.5, 6, 1.5, 0.25, 1.5, 0.25, 1.5}},
    };
    return types;
}
inline constexpr int kFirstUserLineType = 17;
inline constexpr int kLastUserLineType = 32;

// Widths 1 to 9 in mm; others take 11 to 16.
inline constexpr double kWidths[] = {0.13, 0.18, 0.25, 0.35, 0.5, 0.7, 1.0, 1.4, 2.0};
inline constexpr int kFirstUserWidth = 11;
inline constexpr int kLastUserWidth = 16;

// Text anchors 1 to 9: bottom, middle, top rows of left, centre, right. The
// label origin codes of the model run down the columns instead.
inline int anchorOfLabelOrigin(int lo) {
    const int code = lo > 10 ? lo - 10 : lo;
    const int column = (code - 1) / 3;
    const int row = (code - 1) % 3;
    return row * 3 + column + 1;
}
inline int labelOriginOfAnchor(int anchor) {
    const int row = (anchor - 1) / 3;
    const int column = (anchor - 1) % 3;
    return column * 3 + row + 1;
}

// Alignment names of the .p21 form, by anchor.
inline constexpr const char* kAlignments[] = {
    "baseline left", "baseline centre", "baseline right", "middle left", "middle centre",
    "middle right",  "top left",        "top centre",     "top right",
};

}  // namespace drawing::sxf

// Writes features as they come, each table entry just before its first use,
// so that codes (positions in declaration order) are known at once and a
// drawing of many pages is written with the memory of one page and a list
// of instance numbers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <ostream>
#include <tuple>

#include "drawing/sxf/sxf.h"
#include "drawing/sxf/sxf_tables.h"
#include "drawing/utf8.h"

namespace drawing {
namespace {

constexpr double kGapMm = 10;  // between pages side by side

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", std::isfinite(v) ? v : 0.0);
    std::string s = buf;
    return s == "-0.000000" ? "0.000000" : s;
}

// Angles, directions and their sines: twelve decimals, which is within the
// fifteen digits SXF allows and keeps a turned text's angle to the nanodegree.
std::string fine(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12f", std::isfinite(v) ? v : 0.0);
    std::string s = buf;
    return s == "-0.000000000000" ? "0.000000000000" : s;
}

std::size_t utf8Length(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

// UTF-8 to the .p21 string form: ASCII as is ('' and \\ escaped), the rest
// as \X2\ UTF-16 hex \X0\.
// A reader takes a string of at most so many bytes of UTF-8: one longer is
// cut at a whole character, not dropped (.sfc likewise).
std::string p21String(const std::string& whole) {
    const std::string utf8 = utf8Head(whole, sxf::kMaxString);
    std::string out = "'";
    std::string wide;
    auto flush = [&] {
        if (!wide.empty()) {
            out += "\\X2\\" + wide + "\\X0\\";
            wide.clear();
        }
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned cp = c;
        std::size_t len = 1;
        if (c >= 0xF0 && i + 3 < utf8.size()) {
            cp = (c & 7u) << 18 | (utf8[i + 1] & 0x3Fu) << 12 | (utf8[i + 2] & 0x3Fu) << 6 |
                 (utf8[i + 3] & 0x3Fu);
            len = 4;
        } else if (c >= 0xE0 && i + 2 < utf8.size()) {
            cp = (c & 0xFu) << 12 | (utf8[i + 1] & 0x3Fu) << 6 | (utf8[i + 2] & 0x3Fu);
            len = 3;
        } else if (c >= 0xC0 && i + 1 < utf8.size()) {
            cp = (c & 0x1Fu) << 6 | (utf8[i + 1] & 0x3Fu);
            len = 2;
        }
        i += len;
        if (cp >= 0x20 && cp < 0x7F) {
            flush();
            out += static_cast<char>(cp);
            if (cp == '\'' || cp == '\\') {
                out += static_cast<char>(cp);
            }
            continue;
        }
        char hex[16];
        if (cp >= 0x10000) {
            cp -= 0x10000;
            std::snprintf(hex, sizeof hex, "%04X%04X", 0xD800 + (cp >> 10), 0xDC00 + (cp & 0x3FF));
        } else {
            std::snprintf(hex, sizeof hex, "%04X", cp < 0x20 ? 0x20 : cp);
        }
        wide += hex;
    }
    flush();
    return out + "'";
}

struct StyleKey {
    Rgb colour;
    std::vector<double> dash;
    int lineType;
    double width;
    friend bool operator<(const StyleKey& a, const StyleKey& b) {
        return std::tie(a.colour, a.dash, a.lineType, a.width) <
               std::tie(b.colour, b.dash, b.lineType, b.width);
    }
};

int sheetSizeCode(double wMm, double hMm) {
    static constexpr double kA[][2] = {{841, 1189}, {594, 841}, {420, 594}, {297, 420}, {210, 297}};
    for (int i = 0; i < 5; ++i) {
        const double s = std::min(wMm, hMm);
        const double l = std::max(wMm, hMm);
        if (std::abs(s - kA[i][0]) < 0.5 && std::abs(l - kA[i][1]) < 0.5) {
            return i;
        }
    }
    return 9;
}

}  // namespace

namespace {

// SXF has no images: a raster's non-white pixels become filled rectangles,
// runs of one colour in a row, and runs repeated in the rows below merged
// into one rectangle.
void rasterFills(SxfWriter::State& s, const Raster& r, double dxMm);

}  // namespace

struct SxfWriter::State {
    std::ostream& out;
    SxfForm form;
    std::string fileName;
    int pages = 0;
    double offsetMm = 0;  // where the next page starts
    double sheetW = 0;    // mm
    double sheetH = 0;
    int nextId = 0;  // .sfc: feature numbers 10, 20, ...; .p21: instance numbers
    bool headerDone = false;
    // Codes already declared (.sfc) or instances written (.p21).
    std::map<std::string, int> layers;
    std::map<Rgb, int> colours;
    std::map<std::pair<int, std::vector<double>>, int> lineTypes;
    std::map<double, int> widths;
    std::map<StyleKey, int> curveStyles;               // .p21: presentation style assignments
    std::map<Rgb, int> fillStyles;                     // .p21
    std::map<std::pair<Rgb, double>, int> textStyles;  // .p21
    int userColours = 0;
    int userLineTypes = 0;
    int userWidths = 0;
    int textFont = 0;
    int mmUnit = 0;
    int context = 0;
    std::map<std::string, std::vector<int>> layerItems;  // .p21
    std::vector<int> sheetItems;                         // .p21

    State(std::ostream& o, SxfForm f, std::string name)
        : out(o), form(f), fileName(std::move(name)) {}

    // ---- .sfc ----
    void feature(const std::string& body, const char* tag = "SXF") {
        nextId += 10;
        out << "/*" << tag << "\r\n#" << nextId << " = " << body << "\r\nSXF" << (tag + 3)
            << "*/\r\n";
    }
    static std::string q(const std::string& s) { return "'" + s + "'"; }
    // A quoted .sfc text. A backslash before an apostrophe would end the
    // text, and "SXF*/" the block: their backslash and asterisk are written
    // full width (＼, ＊), so that the file reads back.
    static std::string qs(std::string s) {
        for (const auto& [bad, good] :
             {std::pair<std::string, std::string>{"\\'", "＼'"}, {"SXF*/", "SXF＊/"}}) {
            for (auto at = s.find(bad); at != std::string::npos; at = s.find(bad, at + 1)) {
                s.replace(at, bad.size(), good);
            }
        }
        return "\\'" + utf8ToCp932(utf8Head(s, sxf::kMaxString)) + "\\'";
    }
    // A polyline's coordinates as the two quoted lists of .sfc, cut into
    // polylines whose lists a reader takes (a large circle or a clothoid
    // may be hundreds of thousands of points), each beginning where the
    // last ended. Calls emit(count, xs, ys) once for each.
    template <class Emit>
    static void sfcPieces(const std::vector<Point>& pts, Emit emit) {
        const std::size_t most = sxf::kMaxString - 2;  // the list's parentheses
        std::string xs, ys;
        int n = 0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const std::string x = num(pts[i].x), y = num(pts[i].y);
            if (n >= 2 && (xs.size() + 1 + x.size() > most || ys.size() + 1 + y.size() > most)) {
                emit(n, xs, ys);
                xs = num(pts[i - 1].x);
                ys = num(pts[i - 1].y);
                n = 1;
            }
            xs += (n == 0 ? "" : ",") + x;
            ys += (n == 0 ? "" : ",") + y;
            ++n;
        }
        emit(n, xs, ys);
    }
    static std::string qi(int v) { return "'" + std::to_string(v) + "'"; }
    static std::string qn(double v) { return "'" + num(v) + "'"; }

    // ---- .p21 ----
    int instance(const std::string& body) {
        ++nextId;
        out << '#' << nextId << '=' << body << ";\r\n";
        return nextId;
    }
    static std::string ref(int id) { return "#" + std::to_string(id); }
    int point(double x, double y) {
        return instance("CARTESIAN_POINT('',(" + num(x) + "," + num(y) + "))");
    }

    void header() {
        if (headerDone) {
            return;
        }
        headerDone = true;
        const bool sfc = form == SxfForm::Sfc;
        out << "ISO-10303-21;\r\nHEADER;\r\n"
            << "FILE_DESCRIPTION(('SCADEC level2 " << (sfc ? "feature_mode" : "AP202_mode")
            << "'),'2;1');\r\n"
            << "FILE_NAME(" << p21String(fileName)
            << ",'2000-1-1T00:00:00',(''),(''),'Tolvane_1.00$$2.0','Tolvane','');\r\n"
            << "FILE_SCHEMA(('ASSOCIATIVE_DRAUGHTING'));\r\nENDSEC;\r\nDATA;\r\n";
        if (sfc) {
            return;
        }
        mmUnit = instance("(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.))");
        const int rad = instance("(NAMED_UNIT(*)PLANE_ANGLE_UNIT()SI_UNIT($,.RADIAN.))");
        context = instance("(GEOMETRIC_REPRESENTATION_CONTEXT(2)GLOBAL_UNIT_ASSIGNED_CONTEXT((" +
                           ref(rad) + "," + ref(mmUnit) + "))REPRESENTATION_CONTEXT('ID1','2D'))");
    }

    // Layers are the pens, but for marks on a drawing (a comparison's boxes
    // and legend), which share one layer so that they can be hidden at once.
    static std::string layerName(const Stroke& s) {
        return s.layer == Layer::marks ? std::string(kSxfMarksLayer)
                                       : "PEN" + std::to_string(s.pen);
    }

    int layer(const Stroke& s) {
        const std::string name = layerName(s);
        if (form == SxfForm::P21) {
            return 0;  // .p21 layers are assignments written at the end
        }
        auto it = layers.find(name);
        if (it != layers.end()) {
            return it->second;
        }
        feature("layer_feature(" + qs(name) + ",'1')");
        const int code = static_cast<int>(layers.size()) + 1;
        layers[name] = code;
        return code;
    }

    // The colour's code (.sfc) or its instance (.p21).
    int colour(Rgb rgb) {
        auto it = colours.find(rgb);
        if (it != colours.end()) {
            return it->second;
        }
        int code = 0;
        for (int i = 0; i < 16; ++i) {
            if (sxf::kColours[i].rgb == rgb) {
                code = i + 1;
            }
        }
        // Codes past 8 are written as RGB in .p21, and so read back by value.
        const int r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
        if (form == SxfForm::Sfc) {
            if (code > 0) {
                feature("pre_defined_colour_feature(" + qs(sxf::kColours[code - 1].name) + ")");
            } else {
                feature("user_defined_colour_feature(" + qi(r) + "," + qi(g) + "," + qi(b) + ")");
                code = sxf::kFirstUserColour + userColours++;
            }
        } else if (code > 0 && code <= 8) {
            code = instance("DRAUGHTING_PRE_DEFINED_COLOUR('" +
                            std::string(sxf::kColours[code - 1].name) + "')");
        } else {
            code = instance("COLOUR_RGB(''," + num(r / 255.0) + "," + num(g / 255.0) + "," +
                            num(b / 255.0) + ")");
        }
        colours[rgb] = code;
        return code;
    }

    int lineType(const Stroke& s) {
        std::vector<double> dash = s.dashMm;
        if (dash.size() > 8) {
            dash.resize(8);  // SXF patterns hold at most eight lengths
        }
        if (dash.size() % 2 == 1) {
            dash.pop_back();
        }
        const int lt = dash.empty() ? 0 : s.lineType;
        const auto key = std::make_pair(lt, dash);
        auto it = lineTypes.find(key);
        if (it != lineTypes.end()) {
            return it->second;
        }
        // SXF has sixteen user line types; both forms stop at that, so that
        // they read back alike: further patterns are drawn solid.
        if (!dash.empty() && userLineTypes > sxf::kLastUserLineType - sxf::kFirstUserLineType) {
            return lineType(Stroke{});
        }
        int code = 0;
        const std::string name = dash.empty() ? "continuous" : "LT" + std::to_string(lt);
        if (form == SxfForm::Sfc) {
            if (dash.empty()) {
                feature("pre_defined_font_feature(" + qs(name) + ")");
                code = 1;
            } else {
                std::string list;
                for (double d : dash) {
                    list += (list.empty() ? "" : ",") + num(d);
                }
                feature("user_defined_font_feature(" + qs(name) + "," +
                        qi(static_cast<int>(dash.size())) + ",'(" + list + ")')");
                code = sxf::kFirstUserLineType + userLineTypes++;
            }
        } else if (dash.empty()) {
            code = instance("DRAUGHTING_PRE_DEFINED_CURVE_FONT('continuous')");
        } else {
            std::string patterns;
            for (std::size_t i = 0; i + 1 < dash.size(); i += 2) {
                patterns += (patterns.empty() ? "" : ",") +
                            ref(instance("CURVE_STYLE_FONT_PATTERN(" + num(dash[i]) + "," +
                                         num(dash[i + 1]) + ")"));
            }
            code = instance("CURVE_STYLE_FONT('" + name + "',(" + patterns + "))");
            ++userLineTypes;
        }
        lineTypes[key] = code;
        return code;
    }

    int width(double mm) {
        auto it = widths.find(mm);
        if (it != widths.end()) {
            return it->second;
        }
        int standard = 0;
        for (int i = 0; i < 9; ++i) {
            if (std::abs(sxf::kWidths[i] - mm) < 1e-9) {
                standard = i + 1;
            }
        }
        // Six user widths at most, in both forms alike; then the nearest standard one.
        if (standard == 0 && userWidths > sxf::kLastUserWidth - sxf::kFirstUserWidth) {
            int best = 0;
            for (int i = 1; i < 9; ++i) {
                if (std::abs(sxf::kWidths[i] - mm) < std::abs(sxf::kWidths[best] - mm)) {
                    best = i;
                }
            }
            return widths[mm] = width(sxf::kWidths[best]);
        }
        int code = 0;
        if (form == SxfForm::Sfc) {
            feature("width_feature(" + qn(mm) + ")");
            code = standard > 0 ? standard : sxf::kFirstUserWidth + userWidths;
        } else {
            code = instance("LENGTH_MEASURE_WITH_UNIT(POSITIVE_LENGTH_MEASURE(" + num(mm) + ")," +
                            ref(mmUnit) + ")");
        }
        if (standard == 0) {
            ++userWidths;
        }
        widths[mm] = code;
        return code;
    }

    int font() {
        if (textFont == 0) {
            if (form == SxfForm::Sfc) {
                feature("text_font_feature(" + qs("DejaVu Sans Mono") + ")");
                textFont = 1;
            } else {
                textFont = instance("DRAUGHTING_PRE_DEFINED_TEXT_FONT('DejaVu Sans Mono')");
            }
        }
        return textFont;
    }

    // ---- elements, in mm on the sheet ----

    void polyline(const Stroke& s, const std::vector<Point>& pts) {
        if (form == SxfForm::Sfc) {
            const int l = layer(s), c = colour(s.color), t = lineType(s), w = width(s.widthMm);
            sfcPieces(pts, [&](int n, const std::string& xs, const std::string& ys) {
                feature("polyline_feature(" + qi(l) + "," + qi(c) + "," + qi(t) + "," + qi(w) +
                        "," + qi(n) + ",'(" + xs + ")','(" + ys + ")')");
            });
            return;
        }
        const int style = curveStyle(s);
        const int line = polylineInstance(pts);
        occurrence("ANNOTATION_CURVE_OCCURRENCE", style, line, s);
    }

    int polylineInstance(const std::vector<Point>& pts) {
        std::string refs;
        for (const auto& p : pts) {
            refs += (refs.empty() ? "" : ",") + ref(point(p.x, p.y));
        }
        return instance("POLYLINE('',(" + refs + "))");
    }

    int curveStyle(const Stroke& s) {
        const StyleKey key{s.color, s.dashMm, s.dashMm.empty() ? 0 : s.lineType, s.widthMm};
        auto it = curveStyles.find(key);
        if (it != curveStyles.end()) {
            return it->second;
        }
        const int c = colour(s.color), t = lineType(s), w = width(s.widthMm);
        const int cs = instance("CURVE_STYLE(''," + ref(t) + "," + ref(w) + "," + ref(c) + ")");
        const int psa = instance("PRESENTATION_STYLE_ASSIGNMENT((" + ref(cs) + "))");
        curveStyles[key] = psa;
        return psa;
    }

    void occurrence(const char* kind, int style, int item, const Stroke& s) {
        const int id = instance(std::string("(") + kind +
                                "()ANNOTATION_OCCURRENCE()DRAUGHTING_ANNOTATION_OCCURRENCE()"
                                "GEOMETRIC_REPRESENTATION_ITEM()REPRESENTATION_ITEM('')"
                                "STYLED_ITEM((" +
                                ref(style) + ")," + ref(item) + "))");
        layerItems[layerName(s)].push_back(id);
        sheetItems.push_back(id);
    }

    void fill(const Stroke& s, const std::vector<std::vector<Point>>& rings) {
        if (form == SxfForm::Sfc) {
            const int l = layer(s), c = colour(s.color), t = lineType(Stroke{}),
                      w = width(Stroke{}.widthMm);
            std::vector<int> curves;
            for (const auto& ring : rings) {
                std::vector<Point> closed = ring;
                closed.push_back(ring.front());
                // The pieces of a long outline are one curve: the reader
                // joins the polylines before the composite curve.
                sfcPieces(closed, [&](int n, const std::string& xs, const std::string& ys) {
                    feature("polyline_feature('0','0','0','0'," + qi(n) + ",'(" + xs + ")','(" +
                            ys + ")')");
                });
                feature("composite_curve_org_feature(" + qi(c) + "," + qi(t) + "," + qi(w) +
                        ",'0')");
                curves.push_back(++compositeCurves);
            }
            std::string holes;
            for (std::size_t i = 1; i < curves.size(); ++i) {
                holes += (holes.empty() ? "" : ",") + std::to_string(curves[i]);
            }
            feature("fill_area_style_colour_feature(" + qi(l) + "," + qi(c) + "," + qi(curves[0]) +
                    "," + qi(static_cast<int>(curves.size() - 1)) + ",'(" + holes + ")')");
            return;
        }
        std::string boundaries;
        for (const auto& ring : rings) {
            std::vector<Point> closed = ring;
            closed.push_back(ring.front());
            const int line = polylineInstance(closed);
            const int seg = instance("COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.," + ref(line) + ")");
            const int cc = instance("COMPOSITE_CURVE('',(" + ref(seg) + "),.F.)");
            boundaries += (boundaries.empty() ? "" : ",") + ref(cc);
        }
        const int area = instance("ANNOTATION_FILL_AREA('',(" + boundaries + "))");
        int style = 0;
        auto it = fillStyles.find(s.color);
        if (it != fillStyles.end()) {
            style = it->second;
        } else {
            const int fasc = instance("FILL_AREA_STYLE_COLOUR(''," + ref(colour(s.color)) + ")");
            const int fas = instance("FILL_AREA_STYLE('',(" + ref(fasc) + "))");
            style = fillStyles[s.color] =
                instance("PRESENTATION_STYLE_ASSIGNMENT((" + ref(fas) + "))");
        }
        occurrence("ANNOTATION_FILL_AREA_OCCURRENCE", style, area, s);
    }

    void text(const Text& t, double dxMm) {
        const std::size_t n = utf8Length(t.text);
        if (n == 0) {
            return;
        }
        const double cw = t.charWidth / kUnitsPerMm;
        const double h = t.charHeight / kUnitsPerMm;
        const double spacing = 0.5 * cw;
        const double boxW = cw * static_cast<double>(n) + spacing * static_cast<double>(n - 1);
        const int anchor = sxf::anchorOfLabelOrigin(t.labelOrigin);
        // On a grid of nanodegrees, which the reader rounds to again.
        auto nano = [](double deg) { return std::round(deg * 1e9) / 1e9 + 0.0; };
        const double slantDeg = nano(std::atan(t.slant) * 180 / std::numbers::pi);
        const double angleDeg = nano(std::fmod(std::fmod(t.angleDeg, 360) + 360, 360));
        const double x = t.origin.x / kUnitsPerMm + dxMm;
        const double y = t.origin.y / kUnitsPerMm;
        if (form == SxfForm::Sfc) {
            const int l = layer(t.stroke), c = colour(t.stroke.color), f = font();
            feature("text_string_feature(" + qi(l) + "," + qi(c) + "," + qi(f) + "," + qs(t.text) +
                    "," + qn(x) + "," + qn(y) + "," + qn(h) + "," + qn(boxW) + "," + qn(spacing) +
                    "," + State::q(fine(angleDeg)) + "," + State::q(fine(slantDeg)) + "," +
                    qi(anchor) + (t.vertical ? ",'2')" : ",'1')"));
            return;
        }
        // The .p21 axis stands on the baseline: middle and top anchors move down.
        const int row = (anchor - 1) / 3;
        const double a = angleDeg * std::numbers::pi / 180;
        const double drop = row == 0 ? 0 : row == 1 ? h / 2 : h;
        // Twelve decimals, so that the reader's way back lands on the
        // micrometre the .sfc form would have written.
        const double xr = std::round(x * 1e6) / 1e6, yr = std::round(y * 1e6) / 1e6;
        const int origin = instance("CARTESIAN_POINT('',(" + fine(xr + drop * std::sin(a)) + "," +
                                    fine(yr - drop * std::cos(a)) + "))");
        const int dir =
            instance("DIRECTION('',(" + fine(std::cos(a)) + "," + fine(std::sin(a)) + "))");
        const int axis = instance("AXIS2_PLACEMENT_2D(''," + ref(origin) + "," + ref(dir) + ")");
        const int extent = instance("PLANAR_EXTENT(''," + num(boxW) + "," + num(h) + ")");
        const int literal =
            instance("TEXT_LITERAL_WITH_EXTENT(''," + p21String(t.text) + "," + ref(axis) + ",'" +
                     sxf::kAlignments[anchor - 1] + "'," + (t.vertical ? ".DOWN.," : ".RIGHT.,") +
                     ref(font()) + "," + ref(extent) + ")");
        int style = 0;
        const auto key = std::make_pair(t.stroke.color, slantDeg);
        auto it = textStyles.find(key);
        if (it != textStyles.end()) {
            style = it->second;
        } else {
            const int ts =
                instance("TEXT_STYLE_FOR_DEFINED_FONT(" + ref(colour(t.stroke.color)) + ")");
            const int box =
                instance("TEXT_STYLE_WITH_BOX_CHARACTERISTICS(''," + ref(ts) +
                         ",(BOX_SLANT_ANGLE(" + fine(slantDeg * std::numbers::pi / 180) + ")))");
            style = textStyles[key] = instance("PRESENTATION_STYLE_ASSIGNMENT((" + ref(box) + "))");
        }
        occurrence("ANNOTATION_TEXT_OCCURRENCE", style, literal, t.stroke);
    }

    int compositeCurves = 0;
};

namespace {

void rasterFills(SxfWriter::State& s, const Raster& r, double dxMm) {
    if (r.width <= 0 || r.height <= 0 || !(r.dpi > 0) || (r.channels != 1 && r.channels != 3) ||
        r.pixels.size() != static_cast<std::size_t>(r.width) * r.height * r.channels) {
        return;
    }
    const double px = kUnitsPerInch / r.dpi / kUnitsPerMm;  // mm a pixel
    const double left = r.origin.x / kUnitsPerMm + dxMm;
    const double top = r.origin.y / kUnitsPerMm;
    struct Run {
        int x0, x1;
        Rgb colour;
        int y0;  // first row
    };
    auto emit = [&](const Run& run, int y1) {
        Stroke st;
        st.color = run.colour;
        const double x0 = left + run.x0 * px, x1 = left + run.x1 * px;
        const double ya = top - run.y0 * px, yb = top - y1 * px;
        s.fill(st, {{{x0, yb}, {x1, yb}, {x1, ya}, {x0, ya}}});
    };
    std::vector<Run> open;
    for (int y = 0; y <= r.height; ++y) {
        std::vector<Run> row;
        for (int x = 0; y < r.height && x < r.width;) {
            const std::uint8_t* p =
                &r.pixels[(static_cast<std::size_t>(y) * r.width + x) * r.channels];
            const Rgb c =
                r.channels == 1 ? Rgb(p[0]) * 0x010101u : Rgb(p[0]) << 16 | Rgb(p[1]) << 8 | p[2];
            int end = x + 1;
            while (end < r.width) {
                const std::uint8_t* q =
                    &r.pixels[(static_cast<std::size_t>(y) * r.width + end) * r.channels];
                const Rgb d = r.channels == 1 ? Rgb(q[0]) * 0x010101u
                                              : Rgb(q[0]) << 16 | Rgb(q[1]) << 8 | q[2];
                if (d != c) {
                    break;
                }
                ++end;
            }
            if (c != kWhite) {
                row.push_back({x, end, c, y});
            }
            x = end;
        }
        // Runs that go on below keep their first row; the others end here.
        std::vector<Run> next;
        std::size_t k = 0;
        for (auto& run : row) {
            while (k < open.size() && open[k].x0 < run.x0) {
                emit(open[k++], y);
            }
            if (k < open.size() && open[k].x0 == run.x0 && open[k].x1 == run.x1 &&
                open[k].colour == run.colour) {
                run.y0 = open[k++].y0;
            }
            next.push_back(run);
        }
        while (k < open.size()) {
            emit(open[k++], y);
        }
        open = std::move(next);
    }
}

}  // namespace

SxfWriter::SxfWriter(std::ostream& out, SxfForm form, std::string fileName)
    : state_(std::make_unique<State>(out, form, std::move(fileName))) {}

SxfWriter::~SxfWriter() = default;

int SxfWriter::pages() const {
    return state_->pages;
}

void SxfWriter::addPage(const Page& page) {
    State& s = *state_;
    s.header();
    // The page's own size, else the extent of its content from the origin.
    double w = page.width, h = page.height;
    if (!(w > 0) || !(h > 0)) {
        for (const auto& p : page.paths) {
            for (const auto& pt : p.points) {
                w = std::max<double>(w, pt.x);
                h = std::max<double>(h, pt.y);
            }
        }
        for (const auto& t : page.texts) {
            w = std::max(w,
                         t.origin.x + t.charWidth * 1.5 * static_cast<double>(utf8Length(t.text)));
            h = std::max(h, t.origin.y + t.charHeight);
        }
    }
    const double dx = s.offsetMm;
    auto mm = [&](const Point& p) { return Point{p.x / kUnitsPerMm + dx, p.y / kUnitsPerMm}; };
    for (const auto& p : page.paths) {
        if (p.points.empty()) {
            continue;
        }
        std::vector<std::size_t> starts{0};
        starts.insert(starts.end(), p.subpathStarts.begin(), p.subpathStarts.end());
        starts.push_back(p.points.size());
        std::vector<std::vector<Point>> rings;
        for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
            std::vector<Point> pts;
            for (std::size_t i = starts[k]; i < std::min(starts[k + 1], p.points.size()); ++i) {
                pts.push_back(mm(p.points[i]));
            }
            if (pts.empty()) {
                continue;
            }
            if (p.filled) {
                if (pts.size() >= 3) {
                    rings.push_back(std::move(pts));
                }
                continue;
            }
            if (p.closed) {
                pts.push_back(pts.front());
            }
            if (pts.size() >= 2) {
                s.polyline(p.stroke, pts);
            }
        }
        if (!rings.empty()) {
            s.fill(p.stroke, rings);
        }
    }
    for (const auto& t : page.texts) {
        s.text(t, dx);
    }
    for (const auto& r : page.rasters) {
        rasterFills(s, r, dx);
    }
    const double wMm = std::ceil(w / kUnitsPerMm - 1e-6);
    const double hMm = std::ceil(h / kUnitsPerMm - 1e-6);
    s.sheetW = dx + wMm;
    s.sheetH = std::max(s.sheetH, hMm);
    s.offsetMm = s.sheetW + kGapMm;
    ++s.pages;
}

bool SxfWriter::finish(std::string& error) {
    State& s = *state_;
    if (s.pages == 0) {
        error = "no pages to write";
        return false;
    }
    const double w = std::max(1.0, s.sheetW);
    const double h = std::max(1.0, s.sheetH);
    const int size = s.pages == 1 ? sheetSizeCode(w, h) : 9;
    const bool landscape = w >= h;
    if (s.form == SxfForm::Sfc) {
        s.feature("drawing_sheet_feature(" + State::qs("Sheet") + "," + State::qi(size) + "," +
                  State::qi(landscape ? 1 : 0) + "," + State::qi(static_cast<int>(w)) + "," +
                  State::qi(static_cast<int>(h)) + ")");
    } else {
        const int def = s.instance("DRAWING_DEFINITION('','')");
        const int rev = s.instance("DRAUGHTING_DRAWING_REVISION('01'," + State::ref(def) + ",'')");
        s.instance("DRAUGHTING_TITLE((" + State::ref(rev) + "),'JAPANESE','Sheet')");
        const int o = s.point(0, 0);
        const int axis = s.instance("AXIS2_PLACEMENT_2D(''," + State::ref(o) + ",$)");
        const int box =
            s.instance("PLANAR_BOX(''," + num(w) + "," + num(h) + "," + State::ref(axis) + ")");
        std::string items;
        for (int id : s.sheetItems) {
            items += State::ref(id) + ",";
        }
        static const char* kSizes[] = {"A0", "A1", "A2", "A3", "A4"};
        const std::string sizeName =
            size == 9 ? "FREE"
                      : std::string(kSizes[size]) + (landscape ? "_horizontal" : "_vertical");
        const int sheet = s.instance("DRAWING_SHEET_REVISION('" + sizeName + "',(" + items +
                                     State::ref(box) + ")," + State::ref(s.context) + ",'01')");
        s.instance("DRAWING_SHEET_REVISION_USAGE(" + State::ref(sheet) + "," + State::ref(rev) +
                   ",'01')");
        s.instance("PRESENTATION_SIZE(" + State::ref(sheet) + "," + State::ref(box) + ")");
        for (const auto& [name, ids] : s.layerItems) {
            std::string list;
            for (int id : ids) {
                list += (list.empty() ? "" : ",") + State::ref(id);
            }
            const int la = s.instance("PRESENTATION_LAYER_ASSIGNMENT(" + p21String(name) + ",'',(" +
                                      list + "))");
            s.instance("PRESENTATION_LAYER_USAGE(" + State::ref(la) + "," + State::ref(sheet) +
                       ")");
        }
    }
    s.out << "ENDSEC;\r\nEND-ISO-10303-21;\r\n";
    s.out.flush();
    if (!s.out) {
        error = "write failed";
        return false;
    }
    return true;
}

}  // namespace drawing

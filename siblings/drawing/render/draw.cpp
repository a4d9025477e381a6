#include <dlfcn.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <unordered_map>

#include "drawing/render/label_fonts.h"
#include "drawing/render/render.h"
#include "drawing/utf8.h"

namespace drawing {
namespace {

constexpr double kA4WidthUnits = 210 * kUnitsPerMm;
constexpr double kA4HeightUnits = 297 * kUnitsPerMm;
constexpr std::size_t kMaxBatchPoints = 4096;

struct Box {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();
    bool empty() const { return !(minX <= maxX && minY <= maxY); }
    void add(double x, double y, double pad = 0) {
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return;
        }
        minX = std::min(minX, x - pad);
        minY = std::min(minY, y - pad);
        maxX = std::max(maxX, x + pad);
        maxY = std::max(maxY, y + pad);
    }
};

// Sets the source for ink of colour c: the colour itself, or, when drawing
// palette indices, the colour's index as the alpha of an A8 surface.
class Painter {
  public:
    explicit Painter(const std::vector<Rgb>* palette) : palette_(palette) {}
    void set(cairo_t* cr, Rgb c) const {
        if (palette_ == nullptr) {
            cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                                 (c & 0xFF) / 255.0);
            return;
        }
        cairo_set_source_rgba(cr, 0, 0, 0, static_cast<double>(index(c)) / 255.0);
    }
    bool indices() const { return palette_ != nullptr; }
    // The palette index of c (0, white, for a colour not in it).
    std::uint8_t index(Rgb c) const {
        const auto it = std::find(palette_->begin(), palette_->end(), c & 0xFFFFFF);
        return static_cast<std::uint8_t>(it == palette_->end() ? 0 : it - palette_->begin());
    }
    // Every palette colour's index, for looking up many pixels.
    std::unordered_map<Rgb, std::uint8_t> indexTable() const {
        std::unordered_map<Rgb, std::uint8_t> table;
        for (std::size_t i = palette_->size(); i-- > 0;) {
            table[(*palette_)[i] & 0xFFFFFF] = static_cast<std::uint8_t>(i);
        }
        return table;
    }

  private:
    const std::vector<Rgb>* palette_;
};

double textLength(const Text& t, std::size_t chars) {
    return chars == 0 ? 0 : (static_cast<double>(chars) - 1) * t.charWidth * 1.5 + t.charWidth;
}

// Code points of a label; a label that is not UTF-8 has come from 8-bit
// text and is read as Latin-1, as every writer reads it.
std::vector<unsigned> codePoints(const std::string& text) {
    std::vector<unsigned> out;
    forEachCodePoint(utf8OrLatin1(text), [&](unsigned cp, std::string_view) { out.push_back(cp); });
    return out;
}

// Offset of a label's first character (the left end of its baseline) from
// its origin point, along and across the text direction, for HP-GL label
// origin codes 1-9 and 11-19. A vertical label is a column one character
// wide whose characters step down by the cell of a horizontal one.
PrecisePoint labelOffset(const Text& t, std::size_t chars) {
    int code = t.labelOrigin;
    const bool offset = code > 10;
    code = code % 10;
    if (code < 1 || code > 9) {
        code = 1;
    }
    const int column = (code - 1) / 3;  // left, centre, right
    const int row = (code - 1) % 3;     // bottom, middle, top
    PrecisePoint d;
    if (t.vertical) {
        // The origin code places the first character; the rest follow
        // below it.
        d.x = column == 0 ? 0 : column == 1 ? -t.charWidth / 2 : -t.charWidth;
        d.y = row == 0 ? 0 : row == 1 ? -t.charHeight / 2 : -t.charHeight;
    } else {
        const double len = textLength(t, chars);
        d.x = column == 0 ? 0 : column == 1 ? -len / 2 : -len;
        d.y = row == 0 ? 0 : row == 1 ? -t.charHeight / 2 : -t.charHeight;
    }
    if (offset) {
        d.x += column == 0 ? t.charWidth / 2 : column == 2 ? -t.charWidth / 2 : 0;
        d.y += row == 0 ? t.charHeight / 2 : row == 2 ? -t.charHeight / 2 : 0;
    }
    return d;
}

bool finitePoint(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The label's box, with room for descenders, for slant and for wide
// characters.
void addTextBox(Box& box, const Text& t) {
    if (t.text.empty() || !finitePoint(t.origin) || !std::isfinite(t.angleDeg)) {
        return;
    }
    const std::size_t chars = utf8Length(utf8OrLatin1(t.text));
    const PrecisePoint d = labelOffset(t, chars);
    const double len = textLength(t, chars);
    const double a = t.angleDeg * std::numbers::pi / 180;
    const double c = std::cos(a), s = std::sin(a);
    const double lean = std::abs(t.slant) * t.charHeight;
    const double x0 = t.vertical ? d.x - t.charWidth / 2 : d.x;
    const double x1 = t.vertical ? d.x + 1.5 * t.charWidth : d.x + len;
    const double y0 = t.vertical ? d.y - (len - t.charWidth) - t.charWidth : d.y;
    for (double x : {x0 - lean, x1 + lean}) {
        for (double y : {y0 - t.charHeight / 2, d.y + t.charHeight}) {
            box.add(t.origin.x + x * c - y * s, t.origin.y + x * s + y * c);
        }
    }
}

// Whether anything of the path can fall inside the visible box; drawing a
// large sheet band by band skips most paths this way.
Box boxOf(const Path& path) {
    Box b;
    for (const auto& p : path.points) {
        b.add(p.x, p.y);
    }
    return b;
}

bool boxVisible(const Box& b, double pad, const Box& view) {
    return !b.empty() && b.minX - pad <= view.maxX && b.maxX + pad >= view.minX &&
           b.minY - pad <= view.maxY && b.maxY + pad >= view.minY;
}

bool boxesMeet(const Box& a, const Box& b) {
    return !a.empty() && a.minX <= b.maxX && a.maxX >= b.minX && a.minY <= b.maxY &&
           a.maxY >= b.minY;
}

// Appends the path's points to cr's current path, each subpath closed when
// closed says so.
void addPath(cairo_t* cr, const Path& path, bool closed) {
    std::size_t next = 0;
    bool open = false;
    for (std::size_t i = 0; i < path.points.size(); ++i) {
        const bool starts =
            i == 0 || (next < path.subpathStarts.size() && path.subpathStarts[next] == i);
        while (next < path.subpathStarts.size() && path.subpathStarts[next] <= i) {
            ++next;
        }
        const Point& p = path.points[i];
        if (!finitePoint(p)) {
            continue;
        }
        if (starts || !open) {
            if (open && closed) {
                cairo_close_path(cr);
            }
            cairo_move_to(cr, p.x, p.y);
            open = true;
        } else {
            cairo_line_to(cr, p.x, p.y);
        }
    }
    if (open && closed) {
        cairo_close_path(cr);
    }
}

void drawRaster(cairo_t* cr, const Raster& r, const Painter& paint) {
    if (r.width <= 0 || r.height <= 0 || r.width > kMaxRasterSide || r.height > kMaxRasterSide ||
        (r.channels != 1 && r.channels != 3) || !(r.dpi > 0) || !finitePoint(r.origin) ||
        r.pixels.size() != static_cast<std::size_t>(r.width) * r.height * r.channels) {
        return;
    }
    // Only the rows the clip lets through are converted (and a row more on
    // either side): a page drawn band by band converts its image once in
    // all, not once a band.
    const double k = kUnitsPerInch / r.dpi;
    int first = 0, last = r.height;
    {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
        const double top = std::floor((r.origin.y - std::max(y1, y2)) / k) - 1;
        const double bottom = std::ceil((r.origin.y - std::min(y1, y2)) / k) + 1;
        if (std::isfinite(top) && std::isfinite(bottom)) {
            first = static_cast<int>(std::clamp(top, 0.0, static_cast<double>(r.height)));
            last = static_cast<int>(std::clamp(bottom, 0.0, static_cast<double>(r.height)));
        }
    }
    if (first >= last) {
        return;
    }
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
        cairo_image_surface_create(paint.indices() ? CAIRO_FORMAT_A8 : CAIRO_FORMAT_RGB24, r.width,
                                   last - first),
        cairo_surface_destroy);
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
        return;
    }
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    // Each pixel's colour, or its palette index; images are mostly runs of
    // one colour.
    const auto table = paint.indices() ? paint.indexTable() : decltype(paint.indexTable())();
    Rgb lastColor = 0xFFFFFFFF;
    std::uint8_t lastIndex = 0;
    for (int y = first; y < last; ++y) {
        unsigned char* row = data + static_cast<std::size_t>(y - first) * stride;
        const std::uint8_t* in =
            r.pixels.data() + static_cast<std::size_t>(y) * r.width * r.channels;
        for (int x = 0; x < r.width; ++x) {
            const Rgb c = pixelColor(in + x * r.channels, r.channels);
            if (!paint.indices()) {
                reinterpret_cast<std::uint32_t*>(row)[x] = 0xFF000000u | c;
                continue;
            }
            if (c != lastColor) {
                lastColor = c;
                const auto it = table.find(c);
                lastIndex = it == table.end() ? 0 : it->second;
            }
            row[x] = lastIndex;
        }
    }
    cairo_surface_mark_dirty(image.get());
    cairo_save(cr);
    cairo_translate(cr, r.origin.x, r.origin.y);
    cairo_scale(cr, k, -k);
    cairo_set_source_surface(cr, image.get(), 0, first);
    // Plot rasters are mostly bi-level: keep their pixels crisp.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, first, r.width, last - first);
    cairo_fill(cr);
    cairo_restore(cr);
}

// A label's glyphs in its own frame (x along the text, y downwards, as
// glyph space runs), each with the font matrix it is drawn with.
struct LaidGlyph {
    LabelGlyph glyph;
    cairo_matrix_t font;  // glyph space to the label frame, origin included
};

// Sets cr up for the label (place and direction) and lays out its
// glyphs: each character from the first font that has it, in the plot's
// character cells. Glyphs wider than a cell (a Japanese character is a
// full em) are narrowed to fit it; in a column, where each character
// stands upright in a cell of its own, a glyph taller than the cell is
// made smaller, and its em box is centred in the cell.
bool layOutLabel(cairo_t* cr, const Text& t, const LabelFont& font, std::vector<LaidGlyph>& out) {
    out.clear();
    if (t.text.empty() || !finitePoint(t.origin) || !(t.charHeight > 0) || !(t.charWidth > 0) ||
        !std::isfinite(t.angleDeg) || !std::isfinite(t.slant)) {
        return false;
    }
    const std::vector<unsigned> cps = codePoints(t.text);
    const PrecisePoint d = labelOffset(t, cps.size());
    cairo_translate(cr, t.origin.x, t.origin.y);
    cairo_rotate(cr, t.angleDeg * std::numbers::pi / 180);
    cairo_translate(cr, d.x, d.y);
    cairo_scale(cr, 1, -1);  // glyph space runs downwards
    // A glyph with its bearings fills the character width, a cell is one
    // and a half of it: the half width left over keeps labels apart.
    const double sx = t.charWidth / font.advance;
    const double sy = t.charHeight / font.capHeight;
    const double lean = -std::clamp(t.slant, -10.0, 10.0) * sy;
    const double pitch = t.charWidth * 1.5;
    const double widest = t.charWidth * 1.4;
    out.reserve(cps.size());
    for (std::size_t i = 0; i < cps.size(); ++i) {
        LaidGlyph g;
        g.glyph = t.vertical ? labelVerticalGlyph(cps[i]) : labelGlyph(cps[i]);
        const double natural = g.glyph.advance * sx;
        double xs = natural > widest ? widest / natural : 1;
        if (!t.vertical) {
            cairo_matrix_init(&g.font, sx * xs, 0, lean, sy, static_cast<double>(i) * pitch, 0);
        } else {
            const double tall = g.glyph.inkHeight * sy;
            const double ys = tall > 0.9 * pitch ? 0.9 * pitch / tall : 1;
            xs = std::min(xs, ys);
            const double centre = -t.charHeight / 2 + static_cast<double>(i) * pitch;
            // The em box, not the ink, is centred: a vertical full stop
            // keeps its place at the upper right.
            const double y = centre - (g.glyph.emTop + g.glyph.emHeight / 2) * sy * ys;
            cairo_matrix_init(&g.font, sx * xs, 0, lean * ys, sy * ys,
                              (t.charWidth - natural * xs) / 2, y);
        }
        out.push_back(g);
    }
    return true;
}

void drawText(cairo_t* cr, const Text& t, const LabelFont& font, const Painter& paint,
              std::vector<LaidGlyph>& laid) {
    cairo_save(cr);
    if (layOutLabel(cr, t, font, laid)) {
        paint.set(cr, t.stroke.color);
        // Runs of one font and one width go out together.
        std::vector<cairo_glyph_t> run;
        for (std::size_t i = 0; i < laid.size();) {
            const LaidGlyph& first = laid[i];
            cairo_matrix_t m = first.font;
            m.x0 = m.y0 = 0;
            cairo_set_font_face(cr, labelFontFace(first.glyph.font));
            cairo_set_font_matrix(cr, &m);
            run.clear();
            for (; i < laid.size() && laid[i].glyph.font == first.glyph.font &&
                   laid[i].font.xx == first.font.xx;
                 ++i) {
                run.push_back({laid[i].glyph.index, laid[i].font.x0, laid[i].font.y0});
            }
            cairo_show_glyphs(cr, run.data(), static_cast<int>(run.size()));
        }
    }
    cairo_restore(cr);
}

}  // namespace

LabelFont setUpLabelFont(cairo_t* cr) {
    // Glyphs are scaled to the plot's character cells: hinted metrics
    // would snap them to device pixels and spoil the spacing.
    std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> fo(
        cairo_font_options_create(), cairo_font_options_destroy);
    cairo_get_font_options(cr, fo.get());
    cairo_font_options_set_hint_metrics(fo.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(fo.get(), CAIRO_HINT_STYLE_NONE);
    cairo_set_font_options(cr, fo.get());
    LabelFont font;
    labelFontMetrics(font.capHeight, font.advance);
    return font;
}

LabelOutlines::LabelOutlines()
    // Unbounded, so that no glyph falls outside it and is left out.
    : surface_(cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr)),
      cr_(cairo_create(surface_)) {
    font_ = setUpLabelFont(cr_);
}

LabelOutlines::~LabelOutlines() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

std::vector<LabelOutlines::Placed> LabelOutlines::glyphs(const Text& t) {
    std::vector<Placed> out;
    std::vector<LaidGlyph> laid;
    cairo_save(cr_);
    if (layOutLabel(cr_, t, font_, laid)) {
        cairo_matrix_t ctm;
        cairo_get_matrix(cr_, &ctm);
        std::size_t i = 0;
        forEachCodePoint(utf8OrLatin1(t.text), [&](unsigned, std::string_view chars) {
            const LaidGlyph& g = laid[i++];
            Placed p;
            p.font = g.glyph.font;
            p.index = g.glyph.index;
            p.chars = std::string(chars);
            cairo_matrix_init_scale(&p.toPage, 1 / kGlyphScale, 1 / kGlyphScale);
            cairo_matrix_multiply(&p.toPage, &p.toPage, &g.font);
            cairo_matrix_multiply(&p.toPage, &p.toPage, &ctm);
            out.push_back(p);
        });
    }
    cairo_restore(cr_);
    return out;
}

cairo_path_t* LabelOutlines::outline(int font, unsigned long index) {
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_font_face(cr_, labelFontFace(font));
    cairo_set_font_size(cr_, kGlyphScale);
    cairo_new_path(cr_);
    cairo_glyph_t glyph{index, 0, 0};
    cairo_glyph_path(cr_, &glyph, 1);
    cairo_path_t* path = cairo_copy_path(cr_);
    cairo_new_path(cr_);
    cairo_restore(cr_);
    return path;
}

void labelStart(const Text& t, PrecisePoint& start, std::size_t& chars) {
    chars = utf8Length(utf8OrLatin1(t.text));
    const PrecisePoint d = labelOffset(t, chars);
    const double a = t.angleDeg * std::numbers::pi / 180;
    start = {t.origin.x + d.x * std::cos(a) - d.y * std::sin(a),
             t.origin.y + d.x * std::sin(a) + d.y * std::cos(a)};
}

Frame pageFrame(const Page& page) {
    if (page.width > 0 && page.height > 0 && std::isfinite(page.width) &&
        std::isfinite(page.height)) {
        return {0, 0, page.width, page.height};
    }
    Box box;
    for (const auto& path : page.paths) {
        const double pad = path.filled ? 0 : path.stroke.widthMm * kUnitsPerMm / 2;
        for (const auto& p : path.points) {
            box.add(p.x, p.y, pad);
        }
    }
    for (const auto& t : page.texts) {
        addTextBox(box, t);
    }
    for (const auto& r : page.rasters) {
        if (r.dpi > 0) {
            box.add(r.origin.x, r.origin.y);
            box.add(r.origin.x + r.width * kUnitsPerInch / r.dpi,
                    r.origin.y - r.height * kUnitsPerInch / r.dpi);
        }
    }
    if (box.empty()) {
        return {0, 0, kA4WidthUnits, kA4HeightUnits};
    }
    // A point-like drawing still gets a sheet of a few millimetres.
    const double w = std::max(box.maxX - box.minX, 4 * kUnitsPerMm);
    const double h = std::max(box.maxY - box.minY, 4 * kUnitsPerMm);
    return {box.minX, box.minY, w, h};
}

std::vector<PathExtent> pathExtents(const Page& page) {
    std::vector<PathExtent> out;
    out.reserve(page.paths.size());
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        const Box b = boxOf(drawnOn(page.paths, i));
        out.push_back({b.minX, b.minY, b.maxX, b.maxY});
    }
    return out;
}

void drawPage(cairo_t* cr, const Page& page, const Frame& frame, double scale, double minLineDevice,
              const std::vector<PathExtent>* extents, const std::vector<Rgb>* paletteIndices) {
    if (extents != nullptr && extents->size() != page.paths.size()) {
        extents = nullptr;
    }
    const Painter paint(paletteIndices);
    // Whether anything of path i can fall inside the visible box; drawing a
    // large sheet band by band skips most paths this way.
    const auto visible = [&](std::size_t i, double pad, const Box& view) {
        if (extents == nullptr) {
            return boxVisible(boxOf(drawnOn(page.paths, i)), pad, view);
        }
        const PathExtent& e = (*extents)[i];
        Box b;
        b.minX = e.minX;
        b.minY = e.minY;
        b.maxX = e.maxX;
        b.maxY = e.maxY;
        return boxVisible(b, pad, view);
    };
    cairo_save(cr);
    if (paletteIndices != nullptr) {
        // An index replaces what lies below it, as opaque ink would.
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    }
    cairo_scale(cr, scale, -scale);
    cairo_translate(cr, -frame.x0, -(frame.y0 + frame.height));
    Box view;
    {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
        view.add(x1, y1);
        view.add(x2, y2);
    }

    for (const auto& r : page.rasters) {
        drawRaster(cr, r, paint);
    }
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        const Path& path = page.paths[i];
        if (!path.filled || path.points.size() < 3 || !visible(i, 0, view)) {
            continue;
        }
        cairo_new_path(cr);
        addPath(cr, path, true);
        cairo_set_fill_rule(cr, path.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        paint.set(cr, path.stroke.color);
        cairo_fill(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const double minWidth = minLineDevice / scale;
    // Outlines of one pen go out as one path: one stroke instead of many,
    // which is much of the cost of a large plot, above all in PDF (dash
    // patterns restart at each subpath either way).
    struct Style {
        Rgb color = 0;
        double width = 0;
        std::vector<double> dashes;
        bool operator==(const Style&) const = default;
    };
    Style current;
    bool pending = false;
    std::size_t batched = 0;
    auto flush = [&] {
        batched = 0;
        if (pending) {
            cairo_set_line_width(cr, current.width);
            cairo_set_dash(cr, current.dashes.empty() ? nullptr : current.dashes.data(),
                           static_cast<int>(current.dashes.size()), 0);
            paint.set(cr, current.color);
            cairo_stroke(cr);
            pending = false;
        }
    };
    cairo_new_path(cr);
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        const Path& path = page.paths[i];
        // An edge read without points of its own (HpglReadOptions::
        // foldFillEdges) is drawn on its fill's.
        const Path& shape = drawnOn(page.paths, i);
        const double w = path.stroke.widthMm * kUnitsPerMm;
        const double width = std::isfinite(w) ? std::max(w, minWidth) : minWidth;
        if (path.filled || shape.points.empty() || !visible(i, width, view)) {
            continue;
        }
        Style style{path.stroke.color, width, {}};
        double total = 0;
        for (double mm : path.stroke.dashMm) {
            if (!std::isfinite(mm) || mm < 0) {
                style.dashes.clear();
                total = 0;
                break;
            }
            style.dashes.push_back(mm * kUnitsPerMm);
            total += mm;
        }
        if (!(total > 0)) {
            style.dashes.clear();
        }
        // A bounded batch: one path of a whole black-only sheet would cost
        // more memory than the strokes it saves.
        if (pending && (!(style == current) || batched > kMaxBatchPoints)) {
            flush();
        }
        batched += shape.points.size();
        current = std::move(style);
        addPath(cr, shape, path.closed);
        if (shape.points.size() == 1) {
            // A dot: a zero-length segment, which round caps draw.
            cairo_rel_line_to(cr, 0, 0);
        }
        pending = true;
    }
    flush();
    cairo_set_dash(cr, nullptr, 0, 0);
    if (!page.texts.empty()) {
        const LabelFont font = setUpLabelFont(cr);
        std::vector<LaidGlyph> laid;
        for (const auto& t : page.texts) {
            Box b;
            addTextBox(b, t);
            // Glyphs may reach a little past their cells.
            b.add(b.minX, b.minY, t.charHeight);
            b.add(b.maxX, b.maxY, t.charHeight);
            if (boxesMeet(b, view)) {
                drawText(cr, t, font, paint, laid);
            }
        }
    }
    cairo_restore(cr);
}

bool pageIsBlackAndWhite(const Page& page) {
    auto bw = [](Rgb c) { return c == kBlack || c == kWhite; };
    for (const auto& p : page.paths) {
        if (!bw(p.stroke.color)) {
            return false;
        }
    }
    for (const auto& t : page.texts) {
        if (!bw(t.stroke.color)) {
            return false;
        }
    }
    for (const auto& r : page.rasters) {
        for (std::size_t i = 0; i < r.pixels.size(); i += r.channels == 3 ? 3 : 1) {
            const std::uint8_t v = r.pixels[i];
            if ((v != 0 && v != 255) || (r.channels == 3 && i + 2 < r.pixels.size() &&
                                         (r.pixels[i + 1] != v || r.pixels[i + 2] != v))) {
                return false;
            }
        }
    }
    return true;
}

namespace {

// Whether the loader holds the library, without loading it.
bool loaded(const char* soname) {
    void* handle = dlopen(soname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

}  // namespace

void releaseFontCaches() {
    releaseLabelFonts();
    // cairo and fontconfig are loaded on their first call: a run that drew
    // nothing (a split into HP-GL pages) never loaded them, and must not
    // load them now only to reset them.
    if (loaded(CAIRO_SONAME)) {
        cairo_debug_reset_static_data();
    }
    if (loaded(FONTCONFIG_SONAME)) {
        FcFini();
    }
}

}  // namespace drawing

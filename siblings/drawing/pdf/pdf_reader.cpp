// MuPDF interprets the PDF and calls a device of ours for every path, text
// span and image; the device turns them into the drawing model.
//
// MuPDF reports errors by longjmp. Nothing with a destructor may live in a
// frame that a longjmp crosses, so every call into MuPDF that can throw is
// made from a small function holding only plain data, and our callbacks
// never let a C++ exception out into MuPDF's C frames.
#include "drawing/pdf/pdf_reader.h"

#include "drawing/clip.h"
#include "drawing/memory_budget.h"
#include "drawing/utf8.h"

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <unordered_map>
#include <vector>

namespace drawing {
namespace {

constexpr double kUnitsPerPoint = kUnitsPerInch / 72.0;
// Invisible text over outlined labels is set so that a capital, the
// label's character height, is 0.6 of its font size (our converter's
// monospaced text layer).
constexpr double kInvisibleCapHeight = 0.6;
constexpr double kFlatness = kPdfFlatnessMm * kUnitsPerMm;
// One image of a page at most this many pixels after resampling.
constexpr double kMaxRasterPixels = 64.0 * 1024 * 1024;
// A page of more points than this is refused rather than held.
constexpr std::size_t kMaxPagePoints = 10'000'000;
// Drawn objects per page, hidden ones, clips and the clip of each form
// expansion included: a form that draws the next one twice, a few dozen
// levels deep, is an exponential amount of work in a few kilobytes. Real
// pages stay far below it.
constexpr std::size_t kMaxPageObjects = kPdfMaxPageObjects;

// Allocation through the page's memory budget, so that a decompression
// bomb or an absurd image ends in MuPDF's out-of-memory error, and a page
// that needs more than its budget is refused, instead of exhausting the
// machine. What MuPDF holds of the document counts as well as what the
// page builds.
struct Budget {
    PageBudget page;
};
constexpr std::size_t kHeader = 16;

void* budgetMalloc(void* user, std::size_t size) {
    auto* b = static_cast<Budget*>(user);
    if (!b->page.charge(size)) {
        return nullptr;
    }
    auto* p = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (p == nullptr) {
        b->page.release(size);
        return nullptr;
    }
    std::memcpy(p, &size, sizeof size);
    return p + kHeader;
}

void budgetFree(void* user, void* ptr) {
    if (ptr == nullptr) {
        return;
    }
    auto* b = static_cast<Budget*>(user);
    auto* p = static_cast<unsigned char*>(ptr) - kHeader;
    std::size_t size = 0;
    std::memcpy(&size, p, sizeof size);
    b->page.release(size);
    std::free(p);
}

void* budgetRealloc(void* user, void* old, std::size_t size) {
    if (old == nullptr) {
        return budgetMalloc(user, size);
    }
    if (size == 0) {
        budgetFree(user, old);
        return nullptr;
    }
    auto* b = static_cast<Budget*>(user);
    auto* p = static_cast<unsigned char*>(old) - kHeader;
    std::size_t oldSize = 0;
    std::memcpy(&oldSize, p, sizeof oldSize);
    if (size > oldSize && !b->page.charge(size - oldSize)) {
        return nullptr;
    }
    auto* q = static_cast<unsigned char*>(std::realloc(p, size + kHeader));
    if (q == nullptr) {
        if (size > oldSize) {
            b->page.release(size - oldSize);
        }
        return nullptr;
    }
    if (size < oldSize) {
        b->page.release(oldSize - size);
    }
    std::memcpy(q, &size, sizeof size);
    return q + kHeader;
}

// Warnings MuPDF gives while it reads; a damaged file is judged by them.
struct Messages {
    int warnings = 0;
    char first[200] = {};
};

void onWarning(void* user, const char* message) {
    auto* m = static_cast<Messages*>(user);
    if (m->warnings++ == 0) {
        std::snprintf(m->first, sizeof m->first, "%s", message);
    }
}

void onError(void*, const char*) {}

// ---- calls into MuPDF that may throw, each behind its own fz_try ----

bool toRgb(fz_context* ctx, fz_colorspace* cs, const float* color, Rgb& out) {
    if (cs == nullptr || color == nullptr) {
        return false;
    }
    float rgb[3] = {0, 0, 0};
    bool ok = true;
    fz_var(ok);
    fz_try(ctx) {
        fz_convert_color(ctx, cs, color, fz_device_rgb(ctx), rgb, nullptr, fz_default_color_params);
    }
    fz_catch(ctx) {
        ok = false;
    }
    if (!ok) {
        return false;
    }
    auto byte = [](float v) {
        return static_cast<Rgb>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
    };
    out = byte(rgb[0]) << 16 | byte(rgb[1]) << 8 | byte(rgb[2]);
    return true;
}

fz_path* outlineGlyph(fz_context* ctx, fz_font* font, int gid, fz_matrix m) {
    fz_path* path = nullptr;
    fz_var(path);
    fz_try(ctx) {
        path = fz_outline_glyph(ctx, font, gid, m);
    }
    fz_catch(ctx) {
        path = nullptr;
    }
    return path;
}

float glyphAdvance(fz_context* ctx, fz_font* font, int gid, int wmode) {
    float adv = 0;
    fz_var(adv);
    fz_try(ctx) {
        adv = fz_advance_glyph(ctx, font, gid, wmode);
    }
    fz_catch(ctx) {
        adv = 0;
    }
    return adv;
}

// The advances of the glyphs a page uses, in ems, as fz_advance_glyph gives
// them. MuPDF works its cache out 256 glyphs at a time, and on a font with
// no table of advances (the CFF stand-in for a base font that is not
// embedded, as circuit board plots use) that loads every glyph of the block:
// some 17 M instructions a board plot for the few dozen glyphs it uses.
// Here each glyph is asked for alone: the PDF's own widths where MuPDF
// stretches the font to them, else FreeType's unscaled advance.
class Advances {
  public:
    explicit Advances(fz_context* ctx) : ctx_(ctx) {}
    ~Advances() {
        for (const Font& f : fonts_) {
            fz_drop_font(ctx_, f.font);
        }
    }
    Advances(const Advances&) = delete;
    Advances& operator=(const Advances&) = delete;

    float of(fz_font* font, int gid) {
        if (font == nullptr || font->ft_face == nullptr || gid < 0 || gid >= font->glyph_count) {
            return glyphAdvance(ctx_, font, gid, 0);
        }
        if (font->flags.ft_stretch && font->width_table != nullptr) {
            const short w = gid < font->width_count ? font->width_table[gid] : font->width_default;
            return static_cast<float>(w) / 1000.0f;
        }
        Font& f = entry(font);
        const auto known = f.advances.find(gid);
        if (known != f.advances.end()) {
            return known->second;
        }
        auto* face = static_cast<FT_Face>(font->ft_face);
        // A context of ours is used by one thread only: FreeType needs no
        // lock here (and MuPDF's own lock helpers are debug-only symbols
        // where NDEBUG is not set).
        FT_Fixed adv = 0;
        FT_Get_Advance(face, static_cast<FT_UInt>(gid),
                       FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_IGNORE_TRANSFORM, &adv);
        const float a = static_cast<float>(adv) / face->units_per_EM;
        f.advances.emplace(gid, a);
        return a;
    }

  private:
    struct Font {
        fz_font* font;
        std::unordered_map<int, float> advances;
    };

    // Each font is held while its advances are known, so that no other font
    // can come to live at its address.
    Font& entry(fz_font* font) {
        if (last_ < fonts_.size() && fonts_[last_].font == font) {
            return fonts_[last_];
        }
        for (last_ = 0; last_ < fonts_.size(); ++last_) {
            if (fonts_[last_].font == font) {
                return fonts_[last_];
            }
        }
        fonts_.push_back({fz_keep_font(ctx_, font), {}});
        return fonts_.back();
    }

    fz_context* ctx_;
    std::vector<Font> fonts_;
    std::size_t last_ = 0;
};

// The image's pixels as grey (n == 1) or RGB, without alpha; null on failure.
fz_pixmap* imagePixels(fz_context* ctx, fz_image* image, bool grey) {
    fz_pixmap* pix = nullptr;
    fz_pixmap* converted = nullptr;
    fz_var(pix);
    fz_var(converted);
    fz_try(ctx) {
        pix = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
        fz_colorspace* target = grey ? fz_device_gray(ctx) : fz_device_rgb(ctx);
        if (fz_pixmap_colorspace(ctx, pix) != target || fz_pixmap_alpha(ctx, pix)) {
            if (fz_pixmap_colorspace(ctx, pix) == nullptr) {
                // A stencil: its single channel is coverage.
                converted = fz_keep_pixmap(ctx, pix);
            } else {
                converted = fz_convert_pixmap(ctx, pix, target, nullptr, nullptr,
                                              fz_default_color_params, 0);
            }
        } else {
            converted = fz_keep_pixmap(ctx, pix);
        }
    }
    fz_always(ctx) {
        fz_drop_pixmap(ctx, pix);
    }
    fz_catch(ctx) {
        converted = nullptr;
    }
    return converted;
}

// The bounds of a clip's shape, infinite when MuPDF cannot tell.
template <typename Bound>
fz_rect bounds(fz_context* ctx, Bound bound) {
    fz_rect r = fz_infinite_rect;
    fz_var(r);
    fz_try(ctx) {
        r = bound();
    }
    fz_catch(ctx) {
        r = fz_infinite_rect;
    }
    return r;
}

// ---- geometry ----

struct Rect {
    double x0, y0, x1, y1;  // page units, y up
    bool contains(const Point& p) const { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; }
};

struct Subpath {
    std::vector<Point> points;
    bool closed = false;
};

// Collects a path's subpaths in page units with curves flattened.
struct PathBuilder {
    fz_matrix ctm;
    fz_rect bounds;  // the page in device space
    std::vector<Subpath> subpaths;
    PrecisePoint current{};
    PrecisePoint start{};
    bool failed = false;

    PrecisePoint map(float x, float y) const {
        const fz_point p = fz_transform_point_xy(x, y, ctm);
        return {(p.x - bounds.x0) * kUnitsPerPoint, (bounds.y1 - p.y) * kUnitsPerPoint};
    }
    void add(const PrecisePoint& p) {
        if (subpaths.empty()) {
            subpaths.push_back({{current}, false});
        }
        subpaths.back().points.push_back(p);
        current = p;
    }
    void moveTo(const PrecisePoint& p) {
        if (!subpaths.empty() && subpaths.back().points.size() < 2) {
            subpaths.pop_back();
        }
        subpaths.push_back({{p}, false});
        current = start = p;
    }
    void cubic(const PrecisePoint& p1, const PrecisePoint& p2, const PrecisePoint& p3) {
        const PrecisePoint p0 = current;
        const double ddx =
            std::max(std::abs(p0.x - 2 * p1.x + p2.x), std::abs(p1.x - 2 * p2.x + p3.x));
        const double ddy =
            std::max(std::abs(p0.y - 2 * p1.y + p2.y), std::abs(p1.y - 2 * p2.y + p3.y));
        // The chord error of n steps is at most 3/4 of the second difference over n^2.
        const double dd = std::hypot(ddx, ddy);
        int n = static_cast<int>(std::ceil(std::sqrt(0.75 * dd / kFlatness)));
        n = std::clamp(std::isfinite(dd) ? n : 1, 1, 256);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n;
            const double u = 1 - t;
            add({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                 u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y +
                     t * t * t * p3.y});
        }
    }
};

void walkMove(fz_context*, void* arg, float x, float y) {
    auto* b = static_cast<PathBuilder*>(arg);
    try {
        b->moveTo(b->map(x, y));
    } catch (...) {
        b->failed = true;
    }
}

void walkLine(fz_context*, void* arg, float x, float y) {
    auto* b = static_cast<PathBuilder*>(arg);
    try {
        b->add(b->map(x, y));
    } catch (...) {
        b->failed = true;
    }
}

void walkCurve(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    auto* b = static_cast<PathBuilder*>(arg);
    try {
        b->cubic(b->map(x1, y1), b->map(x2, y2), b->map(x3, y3));
    } catch (...) {
        b->failed = true;
    }
}

void walkClose(fz_context*, void* arg) {
    auto* b = static_cast<PathBuilder*>(arg);
    if (!b->subpaths.empty()) {
        b->subpaths.back().closed = true;
        b->current = b->start;
    }
}

const fz_path_walker kWalker = {walkMove, walkLine, walkCurve, walkClose,
                                nullptr,  nullptr,  nullptr,   nullptr};

bool walkPath(fz_context* ctx, const fz_path* path, PathBuilder* builder) {
    bool ok = true;
    fz_var(ok);
    fz_try(ctx) {
        fz_walk_path(ctx, path, &kWalker, builder);
    }
    fz_catch(ctx) {
        ok = false;
    }
    return ok && !builder->failed;
}

// A text span's direction on the page (y up) and its size in points per
// em along the baseline; labelled when it reads upright, neither mirrored,
// skewed nor vertically, so that a label can stand for it.
struct SpanAxes {
    PrecisePoint dir;
    double size = 0;
    bool labelled = false;
    // Upright but perhaps stretched along the line (as our writer sets
    // its text layer): the size across the line.
    bool upright = false;
    double sizeUp = 0;
};

SpanAxes spanAxes(const fz_text_span* span, fz_matrix ctm) {
    const fz_matrix trm = fz_concat(span->trm, ctm);
    // The glyph's x axis and its y axis (up) in page space, y up.
    const double ax = trm.a, ay = -trm.b, bx = trm.c, by = -trm.d;
    SpanAxes out;
    out.size = std::hypot(ax, ay);
    const double det = ax * by - ay * bx;
    out.labelled = span->wmode == 0 && out.size > 0 && det > 0 &&
                   std::abs(ax * bx + ay * by) < 0.02 * out.size * out.size &&
                   std::abs(std::hypot(bx, by) - out.size) < 0.02 * out.size;
    out.sizeUp = std::hypot(bx, by);
    out.upright = span->wmode == 0 && out.size > 0 && out.sizeUp > 0 && det > 0 &&
                  std::abs(ax * bx + ay * by) < 0.02 * out.size * out.sizeUp;
    out.dir = {ax / out.size, ay / out.size};
    return out;
}

// ---- the device ----

class Collector {
  public:
    Collector(fz_context* ctx, fz_rect bounds, Budget& budget)
        : ctx_(ctx), bounds_(bounds), budget_(budget), advances_(ctx) {
        page_.width = (bounds.x1 - bounds.x0) * kUnitsPerPoint;
        page_.height = (bounds.y1 - bounds.y0) * kUnitsPerPoint;
        clips_.push_back({-1e300, -1e300, 1e300, 1e300});
    }

    Page& page() { return page_; }
    fz_context* context() const { return ctx_; }
    bool failed() const { return failed_; }
    const std::string& failure() const { return failure_; }
    void fail(const std::string& why) {
        if (!failed_) {
            failed_ = true;
            failure_ = why;
        }
    }
    bool drawing() const { return hidden_ == 0 && !failed_; }
    // What the page's elements were charged to the budget; the budget gets
    // it back when the page has been handed on.
    std::size_t charged() const { return charged_; }
    // Stops the page once it, or MuPDF for it, went over the budget (MuPDF
    // leaves out an image it could not allocate, as it does a damaged one).
    bool withinBudget() {
        if (budget_.page.over()) {
            fail(budget_.page.refusal());
        }
        return !failed_;
    }
    // Counts one device call; false once the page is over its budget.
    bool countObject() {
        if (++objects_ > kMaxPageObjects) {
            fail("a page of more than " + std::to_string(kMaxPageObjects) +
                 " drawn objects (nested forms included)");
        }
        return !failed_;
    }

    void fillPath(const fz_path* path, bool evenOdd, fz_matrix ctm, fz_colorspace* cs,
                  const float* color, float alpha) {
        Stroke stroke;
        if (!drawing() || alpha <= 0 || !toRgb(ctx_, cs, color, stroke.color)) {
            return;
        }
        PathBuilder b{ctm, bounds_, {}, {}, {}, false};
        if (!walkPath(ctx_, path, &b)) {
            return;
        }
        addFill(std::move(b.subpaths), evenOdd, stroke);
    }

    void strokePath(const fz_path* path, const fz_stroke_state* st, fz_matrix ctm,
                    fz_colorspace* cs, const float* color, float alpha) {
        Stroke stroke;
        if (!drawing() || alpha <= 0 || !toRgb(ctx_, cs, color, stroke.color)) {
            return;
        }
        PathBuilder b{ctm, bounds_, {}, {}, {}, false};
        if (!walkPath(ctx_, path, &b)) {
            return;
        }
        const double scale = fz_matrix_expansion(ctm) * 25.4 / 72.0;  // user units to mm
        stroke.widthMm = st != nullptr ? std::max(0.0, st->linewidth * scale) : 0;
        if (st != nullptr && st->dash_len > 0) {
            double total = 0;
            for (int i = 0; i < std::min(st->dash_len, 32); ++i) {
                stroke.dashMm.push_back(std::max(0.0, st->dash_list[i] * scale));
                total += stroke.dashMm.back();
            }
            if (stroke.dashMm.size() % 2 == 1) {
                // An odd pattern repeats with draw and skip swapped.
                const auto copy = stroke.dashMm;
                stroke.dashMm.insert(stroke.dashMm.end(), copy.begin(), copy.end());
            }
            if (!(total > 0)) {
                stroke.dashMm.clear();
            } else {
                stroke.lineType = 1;
            }
        }
        for (auto& s : b.subpaths) {
            if (s.points.size() < 2) {
                continue;
            }
            addOutline(std::move(s), stroke);
        }
    }

    void text(const fz_text* text, fz_matrix ctm, fz_colorspace* cs, const float* color,
              float alpha) {
        Stroke stroke;
        stroke.widthMm = 0.1;
        if (!drawing() || alpha <= 0 || !toRgb(ctx_, cs, color, stroke.color)) {
            return;
        }
        for (const fz_text_span* span = text->head; span != nullptr; span = span->next) {
            textSpan(span, ctm, stroke);
        }
    }

    // Text drawn invisibly (render mode 3) over its own glyphs drawn as
    // shapes is how a PDF keeps outlined text searchable; our converter
    // writes labels so. Each such line is noted here, and becomes a label
    // again in place of its glyph shapes when the page is done (see
    // finish). Invisible text over anything else (a scanned page) is left
    // out, as a viewer shows nothing of it either.
    void invisibleText(const fz_text* text, fz_matrix ctm) {
        if (!drawing()) {
            return;
        }
        // Its glyph shapes come just before it: the filled shapes that
        // follow the page's last other element.
        std::size_t shapes = page_.paths.size();
        while (shapes > 0 && page_.paths[shapes - 1].filled) {
            --shapes;
        }
        const std::size_t before = invisible_.size();
        OpenLine open;
        for (const fz_text_span* span = text->head; span != nullptr; span = span->next) {
            invisibleSpan(span, ctm, open);
        }
        flushHidden(open);
        for (std::size_t i = before; i < invisible_.size(); ++i) {
            invisible_[i].firstShape = shapes;
        }
    }

    // Puts labels in place of the glyph shapes that lie under invisible text.
    void finish() {
        if (invisible_.empty() || failed_) {
            return;
        }
        // Filled shapes by their left edge, for finding those in a line's box.
        struct Shape {
            double x0, y0, x1, y1;
            std::size_t index;
        };
        std::vector<Shape> shapes;
        for (std::size_t i = 0; i < page_.paths.size(); ++i) {
            const Path& p = page_.paths[i];
            if (!p.filled || p.points.empty()) {
                continue;
            }
            Shape s{1e300, 1e300, -1e300, -1e300, i};
            for (const Point& q : p.points) {
                s.x0 = std::min<double>(s.x0, q.x);
                s.y0 = std::min<double>(s.y0, q.y);
                s.x1 = std::max<double>(s.x1, q.x);
                s.y1 = std::max<double>(s.y1, q.y);
            }
            shapes.push_back(s);
        }
        std::sort(shapes.begin(), shapes.end(),
                  [](const Shape& a, const Shape& b) { return a.x0 < b.x0; });
        std::vector<bool> replaced(page_.paths.size(), false);
        for (auto& line : invisible_) {
            // The line's box in its own axes: along the baseline from the
            // first cell to the last, from below the descenders to above
            // the capitals.
            const PrecisePoint d = line.dir;
            const PrecisePoint n{-d.y, d.x};
            const double lo = -0.1 * line.em, hi = line.length + 0.1 * line.em;
            const double below = -0.4 * line.em, above = 1.1 * line.em;
            const auto inside = [&](const Point& q) {
                const double dx = q.x - line.text.origin.x, dy = q.y - line.text.origin.y;
                const double u = dx * d.x + dy * d.y, v = dx * n.x + dy * n.y;
                return u >= lo && u <= hi && v >= below && v <= above;
            };
            double bx0 = 1e300, bx1 = -1e300;
            for (const double u : {lo, hi}) {
                for (const double v : {below, above}) {
                    const double x = line.text.origin.x + u * d.x + v * n.x;
                    bx0 = std::min(bx0, x);
                    bx1 = std::max(bx1, x);
                }
            }
            std::vector<std::size_t> glyphs;
            auto it = std::lower_bound(shapes.begin(), shapes.end(), bx0,
                                       [](const Shape& s, double x) { return s.x0 < x; });
            for (; it != shapes.end() && it->x0 <= bx1; ++it) {
                const Path& p = page_.paths[it->index];
                if (it->index >= line.firstShape && !replaced[it->index] && it->x1 <= bx1 &&
                    std::all_of(p.points.begin(), p.points.end(), inside)) {
                    glyphs.push_back(it->index);
                }
            }
            // One shape a character at most: more means something else
            // lies in the box, and the line is better left as it was drawn.
            const auto blanks = std::count(line.text.text.begin(), line.text.text.end(), ' ');
            if (glyphs.empty() || glyphs.size() > line.chars - static_cast<std::size_t>(blanks)) {
                continue;
            }
            std::sort(glyphs.begin(), glyphs.end());
            for (const std::size_t g : glyphs) {
                replaced[g] = true;
            }
            line.text.stroke = page_.paths[glyphs.front()].stroke;
            line.text.stroke.widthMm = 0.1;
            keep(page_.texts, std::move(line.text));
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < page_.paths.size(); ++i) {
            if (!replaced[i]) {
                if (kept != i) {
                    page_.paths[kept] = std::move(page_.paths[i]);
                }
                ++kept;
            }
        }
        page_.paths.resize(kept);
        invisible_.clear();
    }

    void image(fz_image* img, fz_matrix ctm, float alpha, const float* maskColor,
               fz_colorspace* maskCs) {
        if (!drawing() || alpha <= 0 || img == nullptr || img->w <= 0 || img->h <= 0) {
            return;
        }
        if (static_cast<double>(img->w) * img->h > kMaxRasterPixels) {
            fail("an image of " + std::to_string(img->w) + " x " + std::to_string(img->h) +
                 " pixels is too large");
            return;
        }
        Rgb paint = kBlack;
        const bool stencil = maskCs != nullptr || img->imagemask;
        if (stencil && !toRgb(ctx_, maskCs, maskColor, paint)) {
            paint = kBlack;
        }
        const bool grey =
            stencil || (img->colorspace != nullptr && fz_colorspace_n(ctx_, img->colorspace) == 1 &&
                        !fz_colorspace_is_indexed(ctx_, img->colorspace));
        fz_pixmap* pix = imagePixels(ctx_, img, grey);
        if (pix == nullptr) {
            return;  // an image MuPDF cannot decode is left out, as viewers do
        }
        placeImage(pix, ctm, stencil, paint);
        fz_drop_pixmap(ctx_, pix);
    }

    void pushClip(fz_rect deviceRect) {
        Rect r = clips_.back();
        if (!fz_is_infinite_rect(deviceRect)) {
            const Rect c = toPage(deviceRect);
            r = {std::max(r.x0, c.x0), std::max(r.y0, c.y0), std::min(r.x1, c.x1),
                 std::min(r.y1, c.y1)};
        }
        clips_.push_back(r);
    }
    void popClip() {
        if (clips_.size() > 1) {
            clips_.pop_back();
        }
    }
    void hide() { ++hidden_; }
    void unhide() { hidden_ = std::max(0, hidden_ - 1); }

  private:
    Rect toPage(fz_rect r) const {
        return {(r.x0 - bounds_.x0) * kUnitsPerPoint, (bounds_.y1 - r.y1) * kUnitsPerPoint,
                (r.x1 - bounds_.x0) * kUnitsPerPoint, (bounds_.y1 - r.y0) * kUnitsPerPoint};
    }
    PrecisePoint toPage(fz_point p) const {
        return {(p.x - bounds_.x0) * kUnitsPerPoint, (bounds_.y1 - p.y) * kUnitsPerPoint};
    }

    // Adds an element to the page when it fits the page's memory budget.
    template <typename T>
    bool keep(std::vector<T>& into, T element) {
        const std::size_t n = bytesOf(element);
        if (!budget_.page.charge(n)) {
            fail(budget_.page.refusal());
            return false;
        }
        charged_ += n;
        into.push_back(std::move(element));
        return true;
    }

    bool countPoints(std::size_t n) {
        points_ += n;
        if (points_ > kMaxPagePoints) {
            fail("a page of more than " + std::to_string(kMaxPagePoints) + " points");
            return false;
        }
        return true;
    }

    void addFill(std::vector<Subpath> subpaths, bool evenOdd, const Stroke& stroke) {
        const Rect& clip = clips_.back();
        Path p;
        p.closed = true;
        p.filled = true;
        p.evenOdd = evenOdd;
        p.stroke = stroke;
        for (auto& s : subpaths) {
            if (s.points.size() < 3) {
                continue;
            }
            const bool inside = std::all_of(s.points.begin(), s.points.end(),
                                            [&](const Point& q) { return clip.contains(q); });
            std::vector<Point> pts =
                inside ? std::move(s.points)
                       : clipPolygon(s.points, {clip.x0, clip.y0}, {clip.x1, clip.y1});
            if (pts.size() < 3) {
                continue;
            }
            if (!p.points.empty()) {
                p.subpathStarts.push_back(p.points.size());
            }
            p.points.insert(p.points.end(), pts.begin(), pts.end());
        }
        if (!p.points.empty() && countPoints(p.points.size())) {
            keep(page_.paths, std::move(p));
        }
    }

    void addOutline(Subpath s, const Stroke& stroke) {
        const Rect& clip = clips_.back();
        const bool inside = std::all_of(s.points.begin(), s.points.end(),
                                        [&](const Point& q) { return clip.contains(q); });
        if (inside) {
            if (!countPoints(s.points.size())) {
                return;
            }
            Path p;
            p.points = std::move(s.points);
            p.closed = s.closed;
            p.stroke = stroke;
            keep(page_.paths, std::move(p));
            return;
        }
        if (s.closed) {
            s.points.push_back(s.points.front());
        }
        // The visible stretches, each a path of its own.
        Path piece;
        piece.stroke = stroke;
        auto flush = [&] {
            if (piece.points.size() >= 2 && countPoints(piece.points.size())) {
                keep(page_.paths, Path(piece));
            }
            piece.points.clear();
        };
        for (std::size_t i = 1; i < s.points.size(); ++i) {
            Point a = s.points[i - 1];
            Point b = s.points[i];
            if (!clipSegment(a, b, {clip.x0, clip.y0}, {clip.x1, clip.y1})) {
                flush();
                continue;
            }
            if (piece.points.empty() || !(piece.points.back() == a)) {
                flush();
                piece.points.push_back(a);
            }
            piece.points.push_back(b);
            if (!(b == s.points[i])) {
                flush();
            }
        }
        flush();
    }

    // Words become texts; what has no known character becomes outlines.
    void textSpan(const fz_text_span* span, fz_matrix ctm, const Stroke& stroke) {
        const SpanAxes axes = spanAxes(span, ctm);
        const double size = axes.size;
        const bool labelled = axes.labelled;
        const PrecisePoint dir = axes.dir;

        struct Word {
            std::string text;
            PrecisePoint origin;
            PrecisePoint end;
            std::size_t chars = 0;
        };
        Word word;
        PrecisePoint expected{};
        auto flushWord = [&] {
            if (word.chars > 0) {
                Text t;
                t.origin = word.origin;
                t.text = word.text;
                const double len =
                    std::hypot(word.end.x - word.origin.x, word.end.y - word.origin.y);
                const double cells = 1.5 * static_cast<double>(word.chars) - 0.5;
                // Tenths of a unit and of a degree: finer says nothing on paper.
                auto tenths = [](double v) { return std::round(v * 10) / 10 + 0.0; };
                t.charWidth = tenths(std::max(len, size * kUnitsPerPoint * 0.1) / cells);
                t.charHeight = tenths(0.7 * size * kUnitsPerPoint);
                t.angleDeg = tenths(std::atan2(dir.y, dir.x) * 180 / std::numbers::pi);
                t.labelOrigin = 1;
                t.stroke = stroke;
                keep(page_.texts, std::move(t));
            }
            word = Word();
        };

        for (int i = 0; i < span->len; ++i) {
            const fz_text_item& it = span->items[i];
            const fz_point at = fz_transform_point_xy(it.x, it.y, ctm);
            const PrecisePoint origin = toPage(at);
            if (it.gid < 0) {
                // A further character of the glyph before (a ligature).
                if (word.chars > 0 && it.ucs > 0x20) {
                    appendUtf8(word.text, static_cast<unsigned>(it.ucs));
                    ++word.chars;
                }
                continue;
            }
            const bool known = labelled && it.ucs > 0x20 && it.ucs != 0x7F && it.ucs != 0xFFFD &&
                               !(it.ucs >= 0x80 && it.ucs < 0xA0) && it.ucs <= 0x10FFFF;
            const double adv = advances_.of(span->font, it.gid) * size * kUnitsPerPoint;
            if (!known) {
                flushWord();
                if (it.ucs != 0x20 || !labelled) {
                    glyphOutline(span, ctm, it, stroke);
                }
                continue;
            }
            if (!clips_.back().contains(origin)) {
                flushWord();
                continue;
            }
            if (word.chars > 0) {
                // A gap or a step off the baseline starts a new word.
                const double dx = origin.x - expected.x;
                const double dy = origin.y - expected.y;
                const double along = dx * dir.x + dy * dir.y;
                const double across = -dx * dir.y + dy * dir.x;
                const double em = size * kUnitsPerPoint;
                if (along > 0.15 * em || along < -0.3 * em || std::abs(across) > 0.05 * em) {
                    flushWord();
                }
            }
            if (word.chars == 0) {
                word.origin = origin;
            }
            appendUtf8(word.text, static_cast<unsigned>(it.ucs));
            ++word.chars;
            expected = {origin.x + adv * dir.x, origin.y + adv * dir.y};
            word.end = expected;
        }
        flushWord();
    }

    // One line of invisible text: characters that follow each other on one
    // baseline, blanks included, make one label, its cells as wide as the
    // glyphs advance (a label cell is one and a half character widths). A
    // line goes on from one span into the next (another font for other
    // characters) while its characters follow each other.
    struct OpenLine;

    void flushHidden(OpenLine& open) {
        HiddenLine& line = open.line;
        // Blanks at either end are no part of the label.
        std::size_t end = line.text.text.find_last_not_of(' ');
        if (open.chars > 0 && end != std::string::npos && line.text.text[0] != ' ') {
            const std::size_t trailing = line.text.text.size() - (end + 1);
            line.text.text.resize(end + 1);
            line.chars = open.chars - trailing;
            line.length = std::hypot(open.expected.x - line.text.origin.x,
                                     open.expected.y - line.text.origin.y);
            line.text.charWidth = line.length / (1.5 * static_cast<double>(open.chars));
            line.text.charHeight = kInvisibleCapHeight * open.em;
            line.text.angleDeg = std::atan2(open.dir.y, open.dir.x) * 180 / std::numbers::pi;
            line.text.labelOrigin = 1;
            line.dir = open.dir;
            line.em = open.em;
            if (line.text.charWidth > 0) {
                invisible_.push_back(std::move(line));
            }
        }
        line = HiddenLine();
        open.chars = 0;
    }

    void invisibleSpan(const fz_text_span* span, fz_matrix ctm, OpenLine& open) {
        const SpanAxes axes = spanAxes(span, ctm);
        if (!axes.upright) {
            flushHidden(open);
            return;
        }
        const PrecisePoint dir = axes.dir;
        const double em = axes.sizeUp * kUnitsPerPoint;
        const double emAlong = axes.size * kUnitsPerPoint;
        if (open.chars > 0 && (std::abs(em - open.em) > 0.02 * em ||
                               std::abs(dir.x * open.dir.y - dir.y * open.dir.x) > 1e-3)) {
            flushHidden(open);
        }
        open.dir = dir;
        open.em = em;
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item& it = span->items[i];
            if (it.gid < 0 || it.ucs < 0x20 || it.ucs == 0x7F || it.ucs > 0x10FFFF) {
                continue;
            }
            const PrecisePoint origin = toPage(fz_transform_point_xy(it.x, it.y, ctm));
            if (open.chars > 0) {
                const double dx = origin.x - open.expected.x, dy = origin.y - open.expected.y;
                if (std::abs(dx * dir.x + dy * dir.y) > 0.15 * em ||
                    std::abs(-dx * dir.y + dy * dir.x) > 0.05 * em) {
                    flushHidden(open);
                }
            }
            if (open.chars == 0) {
                open.line.text.origin = origin;
            }
            appendUtf8(open.line.text.text, static_cast<unsigned>(it.ucs));
            ++open.chars;
            const double adv = advances_.of(span->font, it.gid) * emAlong;
            open.expected = {origin.x + adv * dir.x, origin.y + adv * dir.y};
        }
    }

    void glyphOutline(const fz_text_span* span, fz_matrix ctm, const fz_text_item& it,
                      const Stroke& stroke) {
        fz_matrix glyph = span->trm;
        glyph.e = it.x;
        glyph.f = it.y;
        fz_path* path = outlineGlyph(ctx_, span->font, it.gid, fz_concat(glyph, ctm));
        if (path == nullptr) {
            return;  // a glyph without an outline (Type 3) is not shown
        }
        PathBuilder b{fz_identity, bounds_, {}, {}, {}, false};
        const bool ok = walkPath(ctx_, path, &b);
        fz_drop_path(ctx_, path);
        if (ok) {
            addFill(std::move(b.subpaths), false, stroke);
        }
    }

    void placeImage(fz_pixmap* pix, fz_matrix ctm, bool stencil, Rgb paint) {
        const int w = fz_pixmap_width(ctx_, pix);
        const int h = fz_pixmap_height(ctx_, pix);
        const int n = fz_pixmap_components(ctx_, pix);
        const std::ptrdiff_t stride = fz_pixmap_stride(ctx_, pix);
        const unsigned char* samples = fz_pixmap_samples(ctx_, pix);
        if (w <= 0 || h <= 0 || samples == nullptr || (n != 1 && n != 3)) {
            return;
        }
        const int channels = stencil ? 3 : n;
        // The image's corners on the page: unit square (0,0) is its first pixel.
        const PrecisePoint p00 = toPage(fz_transform_point_xy(0, 0, ctm));
        const PrecisePoint p10 = toPage(fz_transform_point_xy(1, 0, ctm));
        const PrecisePoint p01 = toPage(fz_transform_point_xy(0, 1, ctm));
        const PrecisePoint p11 = toPage(fz_transform_point_xy(1, 1, ctm));
        const double uLen = std::hypot(p10.x - p00.x, p10.y - p00.y);
        const double vLen = std::hypot(p01.x - p00.x, p01.y - p00.y);
        if (!(uLen > 0) || !(vLen > 0) || !std::isfinite(uLen) || !std::isfinite(vLen)) {
            return;
        }
        Rect box{std::min({p00.x, p10.x, p01.x, p11.x}), std::min({p00.y, p10.y, p01.y, p11.y}),
                 std::max({p00.x, p10.x, p01.x, p11.x}), std::max({p00.y, p10.y, p01.y, p11.y})};
        const Rect& clip = clips_.back();
        if (box.x1 < clip.x0 || box.x0 > clip.x1 || box.y1 < clip.y0 || box.y0 > clip.y1) {
            return;
        }
        // Pixels per plotter unit along the image's own axes.
        const double du = w / uLen;
        const double dv = h / vLen;
        auto sample = [&](int x, int y, std::uint8_t* out) {
            const unsigned char* s = samples + y * stride + static_cast<std::ptrdiff_t>(x) * n;
            if (stencil) {
                const double cover = s[0] / 255.0;
                for (int c = 0; c < 3; ++c) {
                    const double ink = (paint >> (16 - 8 * c)) & 0xFF;
                    out[c] = static_cast<std::uint8_t>(std::lround(255 + (ink - 255) * cover));
                }
            } else {
                std::memcpy(out, s, n);
            }
        };
        Raster r;
        r.channels = channels;
        const bool upright = std::abs(p10.y - p00.y) < 1e-6 * uLen &&
                             std::abs(p01.x - p00.x) < 1e-6 * vLen && p10.x > p00.x &&
                             p01.y < p00.y && std::abs(du - dv) < 0.01 * std::max(du, dv);
        if (upright) {
            r.width = w;
            r.height = h;
            r.dpi = du * kUnitsPerInch;
            r.origin = p00;
            r.pixels.resize(static_cast<std::size_t>(w) * h * channels);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    sample(x, y, &r.pixels[(static_cast<std::size_t>(y) * w + x) * channels]);
                }
            }
        } else {
            // Resampled upright at the finer of its two resolutions.
            const double d = std::max(du, dv);
            const double bw = (box.x1 - box.x0) * d;
            const double bh = (box.y1 - box.y0) * d;
            if (!(bw * bh <= kMaxRasterPixels)) {
                fail("a turned image would need more than " +
                     std::to_string(static_cast<long long>(kMaxRasterPixels)) + " pixels");
                return;
            }
            r.width = std::max(1, static_cast<int>(std::ceil(bw)));
            r.height = std::max(1, static_cast<int>(std::ceil(bh)));
            r.dpi = d * kUnitsPerInch;
            r.origin = {box.x0, box.y1};
            r.pixels.assign(static_cast<std::size_t>(r.width) * r.height * channels, 255);
            // Page point to image pixel: solve p = p00 + u (p10 - p00) + v (p01 - p00).
            const double ux = p10.x - p00.x, uy = p10.y - p00.y;
            const double vx = p01.x - p00.x, vy = p01.y - p00.y;
            const double det = ux * vy - uy * vx;
            if (det == 0) {
                return;
            }
            for (int y = 0; y < r.height; ++y) {
                for (int x = 0; x < r.width; ++x) {
                    const double px = box.x0 + (x + 0.5) / d - p00.x;
                    const double py = box.y1 - (y + 0.5) / d - p00.y;
                    const double u = (px * vy - py * vx) / det;
                    const double v = (ux * py - uy * px) / det;
                    if (u < 0 || u >= 1 || v < 0 || v >= 1) {
                        continue;
                    }
                    sample(static_cast<int>(u * w), static_cast<int>(v * h),
                           &r.pixels[(static_cast<std::size_t>(y) * r.width + x) * channels]);
                }
            }
        }
        if (countPoints(static_cast<std::size_t>(r.width) * r.height / 64)) {
            keep(page_.rasters, std::move(r));
        }
    }

    struct HiddenLine {
        Text text;
        PrecisePoint dir;
        double length = 0;
        double em = 0;
        std::size_t chars = 0;       // characters, blanks included
        std::size_t firstShape = 0;  // the first path its glyphs may be
    };
    // The line being gathered, from span to span.
    struct OpenLine {
        HiddenLine line;
        std::size_t chars = 0;
        PrecisePoint expected{};
        PrecisePoint dir{};
        double em = 0;
    };

    fz_context* ctx_;
    fz_rect bounds_;
    Budget& budget_;
    std::size_t charged_ = 0;
    Page page_;
    std::vector<HiddenLine> invisible_;
    std::vector<Rect> clips_;
    Advances advances_;
    int hidden_ = 0;
    std::size_t points_ = 0;
    std::size_t objects_ = 0;
    bool failed_ = false;
    std::string failure_;
};

struct Device {
    fz_device base;
    Collector* collector;
};

Collector& of(fz_device* dev) {
    return *reinterpret_cast<Device*>(dev)->collector;
}

// Every callback keeps C++ exceptions on our side of MuPDF. A page that
// failed stops the interpreter at once: an abort is the one error MuPDF
// does not swallow and continue after, and nothing of ours with a
// destructor is alive when it unwinds.
template <typename F>
void guarded(fz_device* dev, F&& f) {
    bool stop = false;
    {
        Collector& c = of(dev);
        try {
            if (c.countObject()) {
                f(c);
                c.withinBudget();
            }
        } catch (...) {
            c.fail("out of memory");
        }
        stop = c.failed();
    }
    if (stop) {
        fz_throw(of(dev).context(), FZ_ERROR_ABORT, "%s", of(dev).failure().c_str());
    }
}

void devFillPath(fz_context*, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
                 fz_colorspace* cs, const float* color, float alpha, fz_color_params) {
    guarded(dev, [&](Collector& c) { c.fillPath(path, evenOdd != 0, ctm, cs, color, alpha); });
}

void devStrokePath(fz_context*, fz_device* dev, const fz_path* path, const fz_stroke_state* st,
                   fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                   fz_color_params) {
    guarded(dev, [&](Collector& c) { c.strokePath(path, st, ctm, cs, color, alpha); });
}

void devClipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int, fz_matrix ctm,
                 fz_rect) {
    const fz_rect r = bounds(ctx, [&] { return fz_bound_path(ctx, path, nullptr, ctm); });
    guarded(dev, [&](Collector& c) { c.pushClip(r); });
}

void devClipStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path,
                       const fz_stroke_state* st, fz_matrix ctm, fz_rect) {
    const fz_rect r = bounds(ctx, [&] { return fz_bound_path(ctx, path, st, ctm); });
    guarded(dev, [&](Collector& c) { c.pushClip(r); });
}

void devFillText(fz_context*, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
                 const float* color, float alpha, fz_color_params) {
    guarded(dev, [&](Collector& c) { c.text(text, ctm, cs, color, alpha); });
}

void devStrokeText(fz_context*, fz_device* dev, const fz_text* text, const fz_stroke_state*,
                   fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                   fz_color_params) {
    guarded(dev, [&](Collector& c) { c.text(text, ctm, cs, color, alpha); });
}

void devIgnoreText(fz_context*, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    guarded(dev, [&](Collector& c) { c.invisibleText(text, ctm); });
}

void devClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect) {
    const fz_rect r = bounds(ctx, [&] { return fz_bound_text(ctx, text, nullptr, ctm); });
    guarded(dev, [&](Collector& c) { c.pushClip(r); });
}

void devClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text,
                       const fz_stroke_state* st, fz_matrix ctm, fz_rect) {
    const fz_rect r = bounds(ctx, [&] { return fz_bound_text(ctx, text, st, ctm); });
    guarded(dev, [&](Collector& c) { c.pushClip(r); });
}

void devFillImage(fz_context*, fz_device* dev, fz_image* img, fz_matrix ctm, float alpha,
                  fz_color_params) {
    guarded(dev, [&](Collector& c) { c.image(img, ctm, alpha, nullptr, nullptr); });
}

void devFillImageMask(fz_context*, fz_device* dev, fz_image* img, fz_matrix ctm, fz_colorspace* cs,
                      const float* color, float alpha, fz_color_params) {
    guarded(dev, [&](Collector& c) { c.image(img, ctm, alpha, color, cs); });
}

void devClipImageMask(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, fz_rect) {
    const fz_rect r = fz_transform_rect(fz_unit_rect, ctm);
    guarded(dev, [&](Collector& c) { c.pushClip(r); });
}

void devPopClip(fz_context*, fz_device* dev) {
    guarded(dev, [&](Collector& c) { c.popClip(); });
}

// What is drawn into a soft mask only shapes the mask: it is not content.
void devBeginMask(fz_context*, fz_device* dev, fz_rect area, int, fz_colorspace*, const float*,
                  fz_color_params) {
    guarded(dev, [&](Collector& c) {
        c.pushClip(area);
        c.hide();
    });
}

void devEndMask(fz_context*, fz_device* dev) {
    guarded(dev, [&](Collector& c) { c.unhide(); });
}

int devBeginTile(fz_context*, fz_device* dev, fz_rect, fz_rect, float, float, fz_matrix, int) {
    guarded(dev, [&](Collector& c) { c.hide(); });
    return 0;
}

void devEndTile(fz_context*, fz_device* dev) {
    guarded(dev, [&](Collector& c) { c.unhide(); });
}

// Runs one page into the collector; false with MuPDF's message on failure.
bool runPage(fz_context* ctx, fz_page* page, Collector* collector, char* why, std::size_t len) {
    fz_device* dev = nullptr;
    bool ok = true;
    fz_var(ok);
    fz_var(dev);
    fz_try(ctx) {
        dev = fz_new_device_of_size(ctx, sizeof(Device));
        auto* d = reinterpret_cast<Device*>(dev);
        d->collector = collector;
        dev->fill_path = devFillPath;
        dev->stroke_path = devStrokePath;
        dev->clip_path = devClipPath;
        dev->clip_stroke_path = devClipStrokePath;
        dev->fill_text = devFillText;
        dev->stroke_text = devStrokeText;
        dev->clip_text = devClipText;
        dev->clip_stroke_text = devClipStrokeText;
        dev->ignore_text = devIgnoreText;
        dev->fill_image = devFillImage;
        dev->fill_image_mask = devFillImageMask;
        dev->clip_image_mask = devClipImageMask;
        dev->pop_clip = devPopClip;
        dev->begin_mask = devBeginMask;
        dev->end_mask = devEndMask;
        dev->begin_tile = devBeginTile;
        dev->end_tile = devEndTile;
        fz_run_page(ctx, page, dev, fz_identity, nullptr);
        fz_close_device(ctx, dev);
        try {
            collector->finish();
        } catch (...) {
            collector->fail("out of memory");
        }
    }
    fz_always(ctx) {
        fz_drop_device(ctx, dev);
    }
    fz_catch(ctx) {
        ok = false;
        std::snprintf(why, len, "%s", fz_caught_message(ctx));
    }
    return ok;
}

// The page's graphics state dictionaries (ExtGState) put in place of the
// references to them. The interpreter looks up every entry it knows of
// such a dictionary at each gs operator, and resolves the reference anew
// for each lookup: on a sheet that sets its state before every path, that
// was a sixth of the reading. Nothing changes but where the dictionaries
// are held; a page whose dictionaries cannot be had stays as it was.
void holdGraphicsStates(fz_context* ctx, fz_page* page) {
    fz_try(ctx) {
        if (pdf_page* pdf = pdf_page_from_fz_page(ctx, page)) {
            pdf_obj* states = pdf_dict_get(ctx, pdf_page_resources(ctx, pdf), PDF_NAME(ExtGState));
            const int n = pdf_dict_len(ctx, states);
            for (int i = 0; i < n; ++i) {
                pdf_obj* value = pdf_dict_get_val(ctx, states, i);
                if (!pdf_is_indirect(ctx, value)) {
                    continue;
                }
                pdf_obj* state = pdf_resolve_indirect(ctx, value);
                if (pdf_is_dict(ctx, state)) {
                    pdf_dict_put(ctx, states, pdf_dict_get_key(ctx, states, i), state);
                }
            }
        }
    }
    fz_catch(ctx) {}
}

// Whether obj, a font's dictionary, holds its whole meaning itself: no
// reference to another object (a font file, widths kept apart), so that
// two such dictionaries that compare equal are the same font. A small
// one only (at most `left` entries in all), so that comparing them
// stays cheap whatever a file holds.
bool selfContained(fz_context* ctx, pdf_obj* obj, int depth, int& left) {
    if (pdf_is_indirect(ctx, obj) || depth > 4 || --left < 0) {
        return false;
    }
    if (pdf_is_dict(ctx, obj)) {
        for (int i = 0, n = pdf_dict_len(ctx, obj); i < n; ++i) {
            if (!selfContained(ctx, pdf_dict_get_val(ctx, obj, i), depth + 1, left)) {
                return false;
            }
        }
    } else if (pdf_is_array(ctx, obj)) {
        for (int i = 0, n = pdf_array_len(ctx, obj); i < n; ++i) {
            if (!selfContained(ctx, pdf_array_get(ctx, obj, i), depth + 1, left)) {
                return false;
            }
        }
    }
    return true;
}

// Fonts of the document that hold their whole meaning in their own
// dictionary, the first object of each (kept references).
struct SharedFonts {
    std::vector<pdf_obj*> fonts;
};

// Points the page's fonts at the first object of an equal font, where one
// was seen before. Pages put together from several files each bring their
// own copy of a standard font; MuPDF loads a font once per object, and a
// standard font without widths costs it every glyph's advance through
// FreeType. Only self-contained fonts are taken, so nothing else changes.
void shareFonts(fz_context* ctx, fz_page* page, SharedFonts& shared) {
    constexpr std::size_t kMaxShared = 64;
    fz_try(ctx) {
        if (pdf_page* pdf = pdf_page_from_fz_page(ctx, page)) {
            pdf_obj* fonts = pdf_dict_get(ctx, pdf_page_resources(ctx, pdf), PDF_NAME(Font));
            for (int i = 0, n = pdf_dict_len(ctx, fonts); i < n; ++i) {
                pdf_obj* ref = pdf_dict_get_val(ctx, fonts, i);
                if (!pdf_is_indirect(ctx, ref)) {
                    continue;
                }
                pdf_obj* font = pdf_resolve_indirect(ctx, ref);
                int left = 64;
                if (!pdf_is_dict(ctx, font) || !selfContained(ctx, font, 0, left)) {
                    continue;
                }
                pdf_obj* same = nullptr;
                for (pdf_obj* known : shared.fonts) {
                    if (pdf_to_num(ctx, known) == pdf_to_num(ctx, ref) ||
                        pdf_objcmp(ctx, pdf_resolve_indirect(ctx, known), font) == 0) {
                        same = known;
                        break;
                    }
                }
                if (same == nullptr) {
                    if (shared.fonts.size() < kMaxShared) {
                        shared.fonts.push_back(pdf_keep_obj(ctx, ref));
                    }
                } else if (pdf_to_num(ctx, same) != pdf_to_num(ctx, ref)) {
                    pdf_dict_put(ctx, fonts, pdf_dict_get_key(ctx, fonts, i), same);
                }
            }
        }
    }
    fz_catch(ctx) {}
}

struct OpenResult {
    fz_document* doc = nullptr;
    int pages = 0;
    bool needsPassword = false;
    bool repaired = false;
};

bool openPdf(fz_context* ctx, const char* path, const unsigned char* data, std::size_t size,
             OpenResult* result, char* why, std::size_t len) {
    fz_stream* stm = nullptr;
    fz_document* doc = nullptr;
    bool ok = true;
    fz_var(ok);
    fz_var(stm);
    fz_var(doc);
    fz_try(ctx) {
        stm = path != nullptr ? fz_open_file(ctx, path) : fz_open_memory(ctx, data, size);
        doc = fz_open_document_with_stream(ctx, "application/pdf", stm);
        if (fz_needs_password(ctx, doc) && !fz_authenticate_password(ctx, doc, "")) {
            result->needsPassword = true;
        } else {
            result->pages = fz_count_pages(ctx, doc);
            pdf_document* pdf = pdf_specifics(ctx, doc);
            result->repaired = pdf != nullptr && pdf_was_repaired(ctx, pdf);
        }
        result->doc = fz_keep_document(ctx, doc);
    }
    fz_always(ctx) {
        fz_drop_document(ctx, doc);
        fz_drop_stream(ctx, stm);
    }
    fz_catch(ctx) {
        ok = false;
        std::snprintf(why, len, "%s", fz_caught_message(ctx));
    }
    return ok;
}

fz_page* loadPage(fz_context* ctx, fz_document* doc, int number, fz_rect* bounds, char* why,
                  std::size_t len) {
    fz_page* page = nullptr;
    fz_var(page);
    fz_try(ctx) {
        page = fz_load_page(ctx, doc, number);
        *bounds = fz_bound_page(ctx, page);
    }
    fz_catch(ctx) {
        fz_drop_page(ctx, page);
        page = nullptr;
        std::snprintf(why, len, "%s", fz_caught_message(ctx));
    }
    return page;
}

bool readPdf(const char* path, const unsigned char* data, std::size_t size, const PageSink& sink,
             ReadError& error) {
    error = ReadError();
    Budget budget{PageBudget(pageBudgetFor(path != nullptr ? fileBytesOf(path) : size))};
    fz_alloc_context alloc = {&budget, budgetMalloc, budgetRealloc, budgetFree};
    fz_context* ctx = fz_new_context(&alloc, nullptr, 64 << 20);
    if (ctx == nullptr) {
        error.message = "cannot start the PDF interpreter";
        return false;
    }
    Messages messages;
    fz_set_warning_callback(ctx, onWarning, &messages);
    fz_set_error_callback(ctx, onError, nullptr);
    char why[256] = {};
    bool ok = true;
    OpenResult opened;
    fz_register_document_handlers(ctx);
    if (!openPdf(ctx, path, data, size, &opened, why, sizeof why)) {
        error.message = std::string("not a readable PDF: ") + why;
        ok = false;
    } else if (opened.needsPassword) {
        error.message = "the PDF is encrypted and needs a password";
        ok = false;
    } else if (opened.pages <= 0) {
        error.message = "the PDF has no pages";
        ok = false;
    }
    SharedFonts sharedFonts;
    for (int i = 0; ok && i < opened.pages; ++i) {
        fz_rect bounds{};
        messages.warnings = 0;
        fz_page* page = loadPage(ctx, opened.doc, i, &bounds, why, sizeof why);
        if (page == nullptr) {
            error.message = "page " + std::to_string(i + 1) + ": " + why;
            ok = false;
            break;
        }
        if (fz_is_empty_rect(bounds) || fz_is_infinite_rect(bounds)) {
            fz_drop_page(ctx, page);
            error.message = "page " + std::to_string(i + 1) + " has no size";
            ok = false;
            break;
        }
        {
            // What MuPDF says while it reads the page is what judges it.
            const Messages before = messages;
            holdGraphicsStates(ctx, page);
            shareFonts(ctx, page, sharedFonts);
            messages = before;
        }
        Collector collector(ctx, bounds, budget);
        const bool ran = runPage(ctx, page, &collector, why, sizeof why);
        fz_drop_page(ctx, page);
        if (ran) {
            collector.withinBudget();
        }
        if (budget.page.over()) {
            // Whatever MuPDF made of its failed allocation, the reason is the budget.
            error.message = "page " + std::to_string(i + 1) + ": " + budget.page.refusal();
            ok = false;
        } else if (!ran || collector.failed()) {
            error.message =
                "page " + std::to_string(i + 1) + ": " + (ran ? collector.failure() : why);
            ok = false;
        } else if (opened.repaired && messages.warnings > 0) {
            // A damaged file that still reads cleanly is taken; one whose
            // pages stumble would be compared with content missing.
            error.message = "damaged PDF: page " + std::to_string(i + 1) + ": " + messages.first;
            ok = false;
        } else if (!sink(std::move(collector.page()))) {
            break;
        }
        budget.page.release(collector.charged());
    }
    for (pdf_obj* font : sharedFonts.fonts) {
        pdf_drop_obj(ctx, font);
    }
    if (opened.doc != nullptr) {
        fz_drop_document(ctx, opened.doc);
    }
    fz_drop_context(ctx);
    return ok;
}

}  // namespace

bool readPdfFile(const std::string& path, const PageSink& sink, ReadError& error) {
    return readPdf(path.c_str(), nullptr, 0, sink, error);
}

bool readPdfBytes(const void* data, std::size_t size, const PageSink& sink, ReadError& error) {
    return readPdf(nullptr, static_cast<const unsigned char*>(data), size, sink, error);
}

}  // namespace drawing

#include "drawing/render/label_fonts.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <hb.h>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "drawing/render/label_font_list.h"
#include "drawing/utf8.h"

namespace drawing {
namespace {

// What cairo draws with when there is no font at all.
constexpr const char* kFontFamily = "DejaVu Sans Mono";
constexpr double kMetricsSize = 1000;

class FontTable {
  public:
    FontTable() : list_(loadLabelFontList(labelFontCacheFile())) {
        fonts_.resize(list_.size());
        if (fonts_.empty()) {
            // No font at all: cairo's own choice draws what it can.
            Font f;
            f.face = cairo_toy_font_face_create(kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                                                CAIRO_FONT_WEIGHT_NORMAL);
            fonts_.push_back(f);
        }
        const LabelGlyph h = glyph('H');
        cairo_text_extents_t cap;
        cairo_glyph_t g{h.index, 0, 0};
        cairo_scaled_font_glyph_extents(scaled(h.font), &g, 1, &cap);
        capHeight_ = -cap.y_bearing > 0 ? -cap.y_bearing / kMetricsSize : 0.73;
        const double m = glyph('M').advance;
        advance_ = m > 0 ? m : 0.6;
    }

    ~FontTable() {
        for (Font& f : fonts_) {
            if (f.shaper != nullptr) {
                hb_font_destroy(f.shaper);
            }
            if (f.scaled != nullptr) {
                cairo_scaled_font_destroy(f.scaled);
            }
            if (f.face != nullptr) {
                cairo_font_face_destroy(f.face);
            }
        }
    }

    FontTable(const FontTable&) = delete;
    FontTable& operator=(const FontTable&) = delete;

    LabelGlyph glyph(unsigned cp) {
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
            cp = ' ';
        }
        const auto known = glyphs_.find(cp);
        if (known != glyphs_.end()) {
            return known->second;
        }
        int font = 0;
        for (std::size_t i = 0; i < list_.size(); ++i) {
            const FcCharSet* charset = list_.charset(i);
            if (charset != nullptr && FcCharSetHasChar(charset, cp)) {
                font = static_cast<int>(i);
                break;
            }
        }
        LabelGlyph g;
        g.font = font;
        std::string utf8;
        appendUtf8(utf8, cp);
        cairo_glyph_t* glyphs = nullptr;
        int count = 0;
        if (cairo_scaled_font_text_to_glyphs(scaled(font), 0, 0, utf8.data(),
                                             static_cast<int>(utf8.size()), &glyphs, &count,
                                             nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
            count > 0) {
            g.index = glyphs[0].index;
            measure(g);
        }
        cairo_glyph_free(glyphs);
        glyphs_.emplace(cp, g);
        return g;
    }

    // The glyph's form for a column where the font has one (the vertical
    // forms of OpenType: a long vowel mark running down, punctuation at the
    // upper right of its cell).
    LabelGlyph verticalGlyph(unsigned cp) {
        const auto known = vertical_.find(cp);
        if (known != vertical_.end()) {
            return known->second;
        }
        LabelGlyph g = glyph(cp);
        if (hb_font_t* font = shaper(g.font)) {
            hb_buffer_t* buffer = hb_buffer_create();
            const hb_codepoint_t c = cp;
            hb_buffer_add_codepoints(buffer, &c, 1, 0, 1);
            hb_buffer_guess_segment_properties(buffer);
            hb_buffer_set_direction(buffer, HB_DIRECTION_TTB);
            hb_shape(font, buffer, nullptr, 0);
            unsigned count = 0;
            const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
            if (count == 1 && info[0].codepoint != 0 && info[0].codepoint != g.index) {
                g.index = info[0].codepoint;
                measure(g);
            }
            hb_buffer_destroy(buffer);
        }
        vertical_.emplace(cp, g);
        return g;
    }

    cairo_font_face_t* face(int font) {
        Font& f = fonts_.at(static_cast<std::size_t>(font));
        if (f.face == nullptr) {
            // With its character set, as fontconfig prepared it.
            list_.charset(static_cast<std::size_t>(font));
            f.face = cairo_ft_font_face_create_for_pattern(
                list_.pattern(static_cast<std::size_t>(font)));
        }
        return f.face;
    }

    LabelFontFile file(int font) const {
        LabelFontFile out;
        if (static_cast<std::size_t>(font) >= list_.size()) {
            return out;
        }
        const FcPattern* pattern = list_.pattern(static_cast<std::size_t>(font));
        FcChar8* path = nullptr;
        if (FcPatternGetString(pattern, FC_FILE, 0, &path) == FcResultMatch) {
            out.path = reinterpret_cast<const char*>(path);
        }
        int index = 0;
        if (FcPatternGetInteger(pattern, FC_INDEX, 0, &index) == FcResultMatch) {
            out.faceIndex = index;
        }
        return out;
    }

    void measure(LabelGlyph& g) {
        cairo_glyph_t glyph{g.index, 0, 0};
        cairo_text_extents_t e;
        cairo_scaled_font_glyph_extents(scaled(g.font), &glyph, 1, &e);
        g.advance = e.x_advance / kMetricsSize;
        g.inkTop = e.y_bearing / kMetricsSize;
        g.inkHeight = e.height / kMetricsSize;
        cairo_font_extents_t fe;
        cairo_scaled_font_extents(scaled(g.font), &fe);
        g.emTop = -fe.ascent / kMetricsSize;
        g.emHeight = (fe.ascent + fe.descent) / kMetricsSize;
    }

    hb_font_t* shaper(int font) {
        Font& f = fonts_.at(static_cast<std::size_t>(font));
        if (!f.shaperTried) {
            f.shaperTried = true;
            const LabelFontFile source = file(font);
            if (hb_blob_t* blob = source.path.empty()
                                      ? nullptr
                                      : hb_blob_create_from_file_or_fail(source.path.c_str())) {
                hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(source.faceIndex));
                f.shaper = hb_font_create(face);
                hb_face_destroy(face);
                hb_blob_destroy(blob);
            }
        }
        return f.shaper;
    }

    double capHeight() const { return capHeight_; }
    double advance() const { return advance_; }

  private:
    // What is made of a font of the list as it is used.
    struct Font {
        cairo_font_face_t* face = nullptr;
        cairo_scaled_font_t* scaled = nullptr;
        hb_font_t* shaper = nullptr;
        bool shaperTried = false;
    };

    cairo_scaled_font_t* scaled(int font) {
        Font& f = fonts_.at(static_cast<std::size_t>(font));
        if (f.scaled == nullptr) {
            cairo_matrix_t size, identity;
            cairo_matrix_init_scale(&size, kMetricsSize, kMetricsSize);
            cairo_matrix_init_identity(&identity);
            cairo_font_options_t* options = cairo_font_options_create();
            cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
            cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
            f.scaled = cairo_scaled_font_create(face(font), &size, &identity, options);
            cairo_font_options_destroy(options);
        }
        return f.scaled;
    }

    LabelFontList list_;
    std::vector<Font> fonts_;
    std::unordered_map<unsigned, LabelGlyph> glyphs_;
    std::unordered_map<unsigned, LabelGlyph> vertical_;
    double capHeight_ = 0.73;
    double advance_ = 0.6;
};

std::mutex tableMutex;
std::unique_ptr<FontTable> table;

FontTable& theTable() {
    if (!table) {
        table = std::make_unique<FontTable>();
    }
    return *table;
}

}  // namespace

LabelGlyph labelGlyph(unsigned cp) {
    const std::lock_guard lock(tableMutex);
    return theTable().glyph(cp);
}

LabelGlyph labelVerticalGlyph(unsigned cp) {
    const std::lock_guard lock(tableMutex);
    return theTable().verticalGlyph(cp);
}

cairo_font_face_t* labelFontFace(int font) {
    const std::lock_guard lock(tableMutex);
    return theTable().face(font);
}

LabelFontFile labelFontFile(int font) {
    const std::lock_guard lock(tableMutex);
    return theTable().file(font);
}

void labelFontMetrics(double& capHeight, double& advance) {
    const std::lock_guard lock(tableMutex);
    capHeight = theTable().capHeight();
    advance = theTable().advance();
}

void releaseLabelFonts() {
    const std::lock_guard lock(tableMutex);
    table.reset();
}

}  // namespace drawing

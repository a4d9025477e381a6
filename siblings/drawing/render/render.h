// Rendering of pages: one drawing routine for every cairo surface (PDF,
// raster bands), and the raster side of it.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drawing/page.h"

namespace drawing {

// The part of the plane a page shows, in plotter units, y upwards.
struct Frame {
    double x0 = 0;
    double y0 = 0;
    double width = 0;
    double height = 0;
};

// The page's media when it has one, else the extent of its content; an
// empty page without media is an A4 portrait sheet.
Frame pageFrame(const Page& page);

// Draws the page onto cr, whose device space has the frame's upper left
// corner at (0, 0) and `scale` device units per plotter unit. Lines are
// never thinner than minLineDevice device units, so that hairlines
// (width 0) stay visible on every surface.
//
// boxes, when given, holds each path's extent (pathExtents of this page), so
// that drawing a page band by band measures its paths only once.
//
// paletteIndices, when given, holds every colour of the page (see
// RasterOptions::palette): cr is then an A8 surface without antialiasing,
// and each pixel gets the index of its colour as its alpha value.
struct PathExtent {
    double minX, minY, maxX, maxY;  // minX > maxX for a path with no place
};
std::vector<PathExtent> pathExtents(const Page& page);
void drawPage(cairo_t* cr, const Page& page, const Frame& frame, double scale, double minLineDevice,
              const std::vector<PathExtent>* extents = nullptr,
              const std::vector<Rgb>* paletteIndices = nullptr);

// Size of the label font's capital H and its advance, per unit of size.
struct LabelFont {
    double capHeight = 0.73;
    double advance = 0.6;
};

// Sets cr up for unhinted labels and measures the label font.
LabelFont setUpLabelFont(cairo_t* cr);

// The glyphs of labels, as drawPage draws them, for writers that draw text
// as shapes: each glyph's outline once, and where each label puts it.
class LabelOutlines {
  public:
    // Outlines come at this font size, in font space (y downwards).
    static constexpr double kGlyphScale = 1000;

    struct Placed {
        int font = 0;  // see label_fonts.h
        unsigned long index = 0;
        std::string chars;  // the character the glyph draws, UTF-8
        // From the glyph's outline to plotter units (y upwards).
        cairo_matrix_t toPage{};
    };

    LabelOutlines();
    ~LabelOutlines();
    LabelOutlines(const LabelOutlines&) = delete;
    LabelOutlines& operator=(const LabelOutlines&) = delete;
    // The label's glyphs and their places; empty for a label not drawn.
    std::vector<Placed> glyphs(const Text& t);
    // A glyph's outline; free it with cairo_path_destroy.
    cairo_path_t* outline(int font, unsigned long index);

  private:
    cairo_surface_t* surface_;
    cairo_t* cr_;
    LabelFont font_;
};

// Where the label's first character cell starts (its lower left corner,
// before turning), and how many characters it has.
void labelStart(const Text& t, PrecisePoint& start, std::size_t& chars);

// An 8-bit image, rows from the top down, tightly packed.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 1;  // 1 grey or palette index (see RasterOptions), 3 RGB
    double dpi = 0;
    std::size_t stride = 0;  // bytes from one row to the next; 0 for width * channels
    std::vector<std::uint8_t> pixels;
    const std::uint8_t* row(int y) const {
        return pixels.data() +
               static_cast<std::size_t>(y) *
                   (stride != 0 ? stride : static_cast<std::size_t>(width) * channels);
    }
};

struct RasterOptions {
    double dpi = 300;
    int channels = 3;       // 1 grey, 3 RGB
    bool antialias = true;  // off for black-and-white output, where grey has no place
    // Every colour of the page, white first: when given, bands hold one
    // byte a pixel, the index of its colour here (antialiasing off,
    // channels ignored), and rows may be padded (Image::stride). A quarter
    // of the memory traffic of drawing in colour, for palette images.
    const std::vector<Rgb>* palette = nullptr;
};

// Largest image side we render; beyond it the caller asks for a lower dpi.
inline constexpr int kMaxRasterSide = 32767;

// Pixel size of the page at opts.dpi; false with error when it is too large.
bool rasterSize(const Page& page, double dpi, int& width, int& height, std::string& error);

// Renders the page band by band from the top, handing each band (a few
// hundred rows of the full width) to sink with the index of its first row,
// so that a large sheet at a high resolution needs the memory of one band.
using BandSink = std::function<bool(const Image& band, int firstRow)>;
bool renderPageBands(const Page& page, const RasterOptions& opts, const BandSink& sink,
                     std::string& error);

// A raster image's pixel at px as a colour (grey pixels as grey).
inline Rgb pixelColor(const std::uint8_t* px, int channels) {
    return channels == 3 ? (Rgb{px[0]} << 16) | (Rgb{px[1]} << 8) | px[2] : Rgb{px[0]} * 0x010101u;
}

// The whole page in one image.
bool renderPage(const Page& page, const RasterOptions& opts, Image& out, std::string& error);

// True when everything the page shows is black or white, so that a
// bi-level image loses nothing of it.
bool pageIsBlackAndWhite(const Page& page);

// Frees the font caches of cairo and fontconfig; call once at the end of
// the program, after every surface is gone, so that leak checks stay quiet.
void releaseFontCaches();

}  // namespace drawing

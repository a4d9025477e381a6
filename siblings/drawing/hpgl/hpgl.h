// HP-GL and HP-GL/2 (with HP RTL raster data) reading and writing.
#pragma once

#include <iosfwd>
#include <string>

#include "drawing/page.h"
#include "drawing/reader.h"

namespace drawing {

// Comments (CO) by which our HP-GL files say which layer the elements that
// follow belong to; other readers skip them.
inline constexpr const char* kMarksLayerComment = "layer: marks";
inline constexpr const char* kDrawingLayerComment = "layer: drawing";

// Reads a plot and hands its pages, in order, to sink. Pages end at PG and
// at HP RTL page boundaries; an empty trailing page is not handed on.
// Returns false with error filled in when the input is not a readable plot.
//
// Pages: a page ends at PG, and in PCL/RTL context at a form feed, at a
// reset (ESC E) and at a job boundary (ESC%-12345X). A page with nothing on
// it is never handed on, wherever it stands: a plotter does not advance an
// empty page either. State (pens, scaling, media) carries over to the next
// page, as on a plotter.
//
// Geometry: arcs, circles, wedges and curves become polylines, at the chord
// angle given (0.5 to 180 degrees, default 5), or after CT 1 at the angle
// that keeps each chord within the distance given, at most 720 segments each.
// Where that angle is finer than keeps each chord within a quarter unit of
// its arc, as on small circles, the chords are as long as that allows (a
// quarter turn at most). RO turns the plot within the media given by PS (ISO
// A4 landscape when none is given); IW clips outlines, fills and labels.
// Labels become one Text per line of the label. Hatched fills (FT 3, 4)
// become hatch lines, shading (FT 10) a lighter solid fill, other fill types
// a solid fill. Raster images start at the HP-GL/2 pen position when entered
// with ESC%1A, else at the top of the page (or standing on the origin when
// the page size is unknown).
//
// What is an error: input that is empty; input whose first instruction is
// not a known HP-GL or HP-GL/2 mnemonic or a PCL/RTL escape (a PDF, an
// image, text, random bytes); binary bytes where an instruction should
// stand; input ending inside a label, an encoded number, an escape sequence
// or raster data; a label over 64 KiB; an encoded number over 60 bits; a
// raster image over 256 MiB or a data transfer over 64 MiB; a page of over
// ten million points. Unknown instructions are skipped up to the next
// mnemonic or semicolon; out-of-range numbers are clamped, so they are no
// error. A file that holds only known set-up instructions reads as a plot
// of no pages.
bool readHpgl(std::istream& in, const PageSink& sink, ReadError& error);
bool readHpglFile(const std::string& path, const PageSink& sink, ReadError& error);

// How a reader that knows what it does with the page may have it smaller.
struct HpglReadOptions {
    // An outline that traces the fill just before it (tracesFill) keeps no
    // points of its own: it stays in the page, closed, in its look, with
    // an empty list of points that stands for its fill's. On a plot of text
    // as glyph outlines that is half the page's points, never taken. The
    // reader must give each such outline its fill's points back
    // (unfoldFillEdges) before anything draws the page that does not know
    // them: the HP-GL and PDF writers do, and write the same file either
    // way (a path of fewer than two points is otherwise never read).
    bool foldFillEdges = false;
};
bool readHpgl(std::istream& in, const PageSink& sink, ReadError& error,
              const HpglReadOptions& options);
bool readHpglFile(const std::string& path, const PageSink& sink, ReadError& error,
                  const HpglReadOptions& options);
// Gives each outline read so its fill's points back.
void unfoldFillEdges(Page& page);

// Writes normalised HP-GL/2: one page per writePage, PG between pages.
// Coordinates are whole plotter units; numbers are written in full (no
// exponents). Points go out as 7-bit encoded polylines (PE): printable
// text, moves relative to the last point where the pen stands on a whole
// unit, and consecutive outlines of one stroke in one PE. Pens keep their
// numbers, colours go through PC, widths through PW, dash patterns through
// LT (and UL when not a built-in one), each only when it changes; closed
// and filled paths go through the polygon buffer (EP, FP) with their
// subpaths, and an outline of the polygon just written edges the buffer
// that still holds it (EP alone, as a fill's edge follows its fill in a
// plot of text as glyph outlines); labels get a terminator (DT) that does not occur in their text
// and go out as UTF-8 (the reader takes a label that is not well-formed
// UTF-8 as Latin-1, as older plots have it), vertical ones under DV 1.
// Rasters are embedded HP RTL (ESC%1A ... ESC%0B), PackBits rows: black and
// white at one bit a pixel, other grey as an 8-bit grey palette and colour
// as 24-bit direct colour; an image of more than a quarter of what the
// reader takes as one goes out as bands, each an image of its own. What the model
// holds but HP-GL cannot say is lost: empty pages, paths of one point,
// open paths with subpaths (they read back as separate paths), and line
// breaks inside a text (they read back as separate texts).

class HpglWriter {
  public:
    explicit HpglWriter(std::ostream& out);
    void writePage(const Page& page);
    void finish();  // ends the plot; call once after the last page

  private:
    std::ostream& out_;
    int pages_ = 0;
};

}  // namespace drawing

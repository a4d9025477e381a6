// PDF input: each page of a PDF becomes one page of the drawing model.
#pragma once

#include <cstddef>
#include <string>

#include "drawing/page.h"
#include "drawing/reader.h"

namespace drawing {

// Reads a PDF and hands its pages, in order, to sink (returning false from
// the sink stops the reading; readPdf then returns true).
//
// Paths stay vector: curves become polylines within kPdfFlatness, fills keep
// their fill rule, strokes their colour, width (in mm) and dash pattern.
// Text whose characters are known becomes one Text per word, sized so that
// it spans what the PDF's font spanned; glyphs without a known character
// (and text that is mirrored or skewed) become filled glyph outlines. Images
// become rasters at their own resolution (turned or skewed ones resampled
// upright at it). Clipping drops what it hides wholly and cuts strokes and
// fills at the clip's bounding box. Shadings, tiling patterns and the
// contents of soft masks are not read; invisible text is skipped.
//
// Errors (error.offset is always 0: a PDF has no meaningful read position):
// a file that is no PDF or too damaged to open, one that needs a password,
// one without pages, a page that cannot be interpreted, a damaged (repaired)
// file whose pages do not read cleanly, a page of more than
// kPdfMaxPageObjects drawn objects (form expansions counted), and a page
// that needs more memory than its budget (memory_budget.h): what the page
// builds and what the interpreter holds for the file and the page count.
inline constexpr double kPdfFlatnessMm = 0.05;
inline constexpr std::size_t kPdfMaxPageObjects = 1'000'000;

bool readPdfFile(const std::string& path, const PageSink& sink, ReadError& error);
bool readPdfBytes(const void* data, std::size_t size, const PageSink& sink, ReadError& error);

}  // namespace drawing

// The input formats the converter reads, told by the input's extension, each
// a page source behind the same interface: pages handed to a sink in order.
#pragma once

#include <string>

#include "drawing/reader.h"
#include "tolvane/parameters.h"

namespace tolvane {

enum class InputKind { Unknown, Hpgl, Pdf, Tiff, Sxf };

// HP-GL by the extensions of parameter line 4 first, then the fixed ones:
// pdf; tif, tiff; p21, sfc.
InputKind inputKindOf(const std::string& path, const Parameters& params);

// Reads path as kind and hands its pages to sink; false with one line in
// error naming the file (and the byte offset where the format has one).
// With foldFillEdges, HP-GL is read as drawing::HpglReadOptions says: only
// for pages that go to the HP-GL or PDF writer, which draw such an edge on
// its fill's polygon.
bool readInput(const std::string& path, InputKind kind, const drawing::PageSink& sink,
               std::string& error, bool foldFillEdges = false);

// The error for an input whose extension names no format we read.
std::string unknownInputError(const std::string& path, const Parameters& params);

}  // namespace tolvane

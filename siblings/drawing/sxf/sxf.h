// SXF drawings in both of their forms: .sfc (feature comment blocks in a
// Part 21 frame, Shift_JIS text) and .p21 (ISO 10303-21 instances of the
// associative draughting schema). docs/sxf.md says what is read and what is
// skipped.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/page.h"
#include "drawing/reader.h"

namespace drawing {

enum class SxfForm { P21, Sfc };

// The layer that elements of Layer::marks go to (other elements go to a
// layer per pen, "PEN1", "PEN2", ...); read back as marks again.
inline constexpr const char* kSxfMarksLayer = "MARKS";

// Reads an SXF file as one page (an SXF file holds one sheet). The form is
// told by the content: feature comment blocks make an .sfc, instances a .p21.
// Errors carry the byte offset: broken syntax, an unterminated comment block
// or string, a reference to a missing instance or table entry, absurd counts,
// nesting deeper than 64, a drawing of over ten million points, a figure
// placing itself, placements at absurd scales or expanding past their
// budget. Unknown features and entities are skipped; symbols and hatches
// defined outside the file are drawn as stand-ins (docs/sxf.md).
bool readSxf(std::string_view data, const PageSink& sink, ReadError& error);
bool readSxfFile(const std::string& path, const PageSink& sink, ReadError& error);

// Writes pages as one SXF sheet. Pages follow each other from left to right
// on a sheet of free size (one page keeps its own size, in whole mm; a
// standard A size keeps its code). Pens become layers named "PEN<n>", so that
// what is written reads back with its pens; colours, widths and dash
// patterns become the table entries SXF has for them. Filled paths become
// composite curves with a colour fill, texts text strings (.sfc text in
// code page 932, characters it lacks become "?"). Rasters become filled
// rectangles of their non-white pixels (runs of one colour, merged down the
// rows). Lost: the fill
// rule (fills read back even-odd), a closed outline's closing (it is
// written with its first point repeated and read back closed), labels'
// line widths, and label origins 11 to 19 (written as 1 to 9).
class SxfWriter {
  public:
    SxfWriter(std::ostream& out, SxfForm form, std::string fileName);
    ~SxfWriter();
    SxfWriter(const SxfWriter&) = delete;
    SxfWriter& operator=(const SxfWriter&) = delete;

    void addPage(const Page& page);
    // Ends the drawing with its sheet; false when nothing was added or the
    // stream failed.
    bool finish(std::string& error);
    int pages() const;

    struct State;  // the file's tables and numbering so far

  private:
    std::unique_ptr<State> state_;
};

// Shift_JIS (code page 932) to UTF-8 and back: a byte that does not decode
// becomes U+FFFD, a character code page 932 lacks "?".
std::string cp932ToUtf8(std::string_view in);
std::string utf8ToCp932(std::string_view in);

}  // namespace drawing

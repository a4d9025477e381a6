// HP-GL and HP-GL/2 (with HP RTL raster data) reading and writing.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>

#include "page.h"

namespace drawing {

struct ReadError {
    std::string message;     // one line, no file name
    std::size_t offset = 0;  // byte offset in the input where reading failed
};

// Receives each page as soon as it is complete, so that a file of any
// number of pages is read with the memory of one page. Returning false
// stops the reading (readHpgl then returns true).
using PageSink = std::function<bool(Page&& page)>;

// Reads a plot and hands its pages, in order, to sink. Pages end at PG and
// at HP RTL page boundaries; an empty trailing page is not handed on.
// Returns false with error filled in when the input is not a readable plot.
bool readHpgl(std::istream& in, const PageSink& sink, ReadError& error);
bool readHpglFile(const std::string& path, const PageSink& sink, ReadError& error);

// Writes normalised HP-GL/2: one page per writePage, PG between pages.
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

// Vector PDF output, one page at a time, so that joining many pages keeps
// the memory of one.
#pragma once

#include <cairo.h>

#include <iosfwd>
#include <memory>
#include <string>

#include "page.h"

namespace drawing {

class PdfWriter {
  public:
    explicit PdfWriter(std::ostream& out);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // Each page gets its own media box: the page's size, or its content.
    bool addPage(const Page& page, std::string& error);
    // Writes the trailer; the document is complete only after this.
    bool close(std::string& error);
    int pages() const { return pages_; }

  private:
    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length);
    bool check(std::string& error) const;

    std::ostream& out_;
    cairo_surface_t* surface_ = nullptr;  // owned; cairo handles have no RAII of their own
    cairo_t* cr_ = nullptr;
    int pages_ = 0;
    bool writeFailed_ = false;
};

}  // namespace drawing

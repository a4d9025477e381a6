#include "pdf_writer.h"

#include <cairo-pdf.h>

#include <ostream>

#include "render.h"

namespace drawing {
namespace {

constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;
// Thinnest line in the file: 0.1 mm, a hairline on any printer.
constexpr double kMinLinePoints = 0.1 * kUnitsPerMm * kPointsPerUnit;

}  // namespace

PdfWriter::PdfWriter(std::ostream& out) : out_(out) {
    // The first page sets its own size before anything is drawn.
    surface_ = cairo_pdf_surface_create_for_stream(&PdfWriter::write, this, 595, 842);
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "tolvane");
    cr_ = cairo_create(surface_);
}

PdfWriter::~PdfWriter() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

cairo_status_t PdfWriter::write(void* closure, const unsigned char* data, unsigned int length) {
    auto* self = static_cast<PdfWriter*>(closure);
    self->out_.write(reinterpret_cast<const char*>(data), length);
    if (!self->out_) {
        self->writeFailed_ = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

bool PdfWriter::check(std::string& error) const {
    if (writeFailed_) {
        error = "cannot write the PDF stream";
        return false;
    }
    cairo_status_t status = cairo_surface_status(surface_);
    if (status == CAIRO_STATUS_SUCCESS) {
        status = cairo_status(cr_);
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        error = std::string("PDF output failed: ") + cairo_status_to_string(status);
        return false;
    }
    return true;
}

bool PdfWriter::addPage(const Page& page, std::string& error) {
    if (!check(error)) {
        return false;
    }
    const Frame frame = pageFrame(page);
    cairo_pdf_surface_set_size(surface_, frame.width * kPointsPerUnit,
                               frame.height * kPointsPerUnit);
    drawPage(cr_, page, frame, kPointsPerUnit, kMinLinePoints);
    cairo_show_page(cr_);
    ++pages_;
    return check(error);
}

bool PdfWriter::close(std::string& error) {
    if (!check(error)) {
        return false;
    }
    if (pages_ == 0) {
        error = "no pages to write";
        return false;
    }
    cairo_surface_finish(surface_);
    if (!check(error)) {
        return false;
    }
    out_.flush();
    if (!out_) {
        error = "cannot write the PDF stream";
        return false;
    }
    return true;
}

}  // namespace drawing

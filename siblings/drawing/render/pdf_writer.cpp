#include "pdf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <set>

#include "render.h"

namespace drawing {
namespace {

constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;
// Thinnest line in the file: 0.1 mm, a hairline on any printer.
constexpr double kMinLinePoints = 0.1 * kUnitsPerMm * kPointsPerUnit;
// Outlines of one look go out as one path up to this many points: fewer
// operators, and a bounded batch keeps viewers quick.
constexpr std::size_t kMaxBatchPoints = 4096;
// Courier, the invisible text layer's font, has every character 0.6 em
// wide and capitals about 0.6 em high.
constexpr double kCourierAdvance = 0.6;
constexpr double kCourierHeight = 0.6;

bool finite(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Page content in PDF operators, coordinates in points from the frame's
// lower left corner.
class Content {
  public:
    Content(const Frame& frame) : frame_(frame) {}

    std::string& text() { return s_; }

    // A number with at most two decimals: a hundredth of a point is far
    // below what any device shows.
    void num(double v) {
        if (!std::isfinite(v)) {
            v = 0;
        }
        long long h = std::llround(std::clamp(v, -1e12, 1e12) * 100);
        if (h < 0) {
            s_ += '-';
            h = -h;
        }
        char buf[24];
        const auto end = std::to_chars(buf, buf + sizeof buf, h / 100).ptr;
        s_.append(buf, end);
        const auto f = static_cast<int>(h % 100);
        if (f != 0) {
            s_ += '.';
            s_ += static_cast<char>('0' + f / 10);
            if (f % 10 != 0) {
                s_ += static_cast<char>('0' + f % 10);
            }
        }
        s_ += ' ';
    }
    // A number with six decimals, for the entries of a matrix.
    void precise(double v) {
        if (!std::isfinite(v)) {
            v = 0;
        }
        char buf[48];
        const auto end = std::to_chars(buf, buf + sizeof buf, std::clamp(v, -1e9, 1e9),
                                       std::chars_format::fixed, 6)
                             .ptr;
        s_.append(buf, end);
        s_ += ' ';
    }
    void point(const Point& p) {
        num((p.x - frame_.x0) * kPointsPerUnit);
        num((p.y - frame_.y0) * kPointsPerUnit);
    }
    void op(const char* name) {
        s_ += name;
        s_ += '\n';
    }
    void color(Rgb c, const char* name) {
        num(((c >> 16) & 0xFF) / 255.0);
        num(((c >> 8) & 0xFF) / 255.0);
        num((c & 0xFF) / 255.0);
        op(name);
    }
    // The path's subpaths as m, l and h operators; false when it has no
    // point with a place.
    bool path(const Path& p) {
        std::size_t next = 0;
        bool open = false;
        const bool closes = p.closed || p.filled;
        for (std::size_t i = 0; i < p.points.size(); ++i) {
            const bool starts =
                i == 0 || (next < p.subpathStarts.size() && p.subpathStarts[next] == i);
            while (next < p.subpathStarts.size() && p.subpathStarts[next] <= i) {
                ++next;
            }
            if (!finite(p.points[i])) {
                continue;
            }
            if (starts || !open) {
                if (open && closes) {
                    op("h");
                }
                point(p.points[i]);
                op("m");
                open = true;
            } else {
                point(p.points[i]);
                op("l");
            }
        }
        if (open && closes) {
            op("h");
        }
        return open;
    }

  private:
    const Frame& frame_;
    std::string s_;
};

// The label's characters for a WinAnsi-encoded string: Latin-1 stays,
// anything beyond becomes "?".
std::string pdfString(const std::string& bytes) {
    const std::string utf8 = labelUtf8(bytes);
    std::string out = "(";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned code = c;
        std::size_t len = 1;
        if (c >= 0xC0) {
            len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            code = c & (0x7F >> len);
            for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k) {
                code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            }
        }
        i += len;
        const char byte = code <= 0xFF ? static_cast<char>(code) : '?';
        if (byte == '(' || byte == ')' || byte == '\\') {
            out += '\\';
        }
        out += byte;
    }
    out += ")";
    return out;
}

std::string deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_BEST_SPEED) != Z_OK) {
        return {};
    }
    out.resize(size);
    return out;
}

bool validRaster(const Raster& r) {
    return r.width > 0 && r.height > 0 && r.width <= kMaxRasterSide && r.height <= kMaxRasterSide &&
           (r.channels == 1 || r.channels == 3) && r.dpi > 0 && finite(r.origin) &&
           r.pixels.size() == static_cast<std::size_t>(r.width) * r.height * r.channels;
}

}  // namespace

PdfWriter::PdfWriter(std::ostream& out) : out_(out), labels_(std::make_unique<LabelOutlines>()) {
    const char header[] = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    out_.write(header, sizeof header - 1);
    written_ += sizeof header - 1;
    pagesObject_ = newObject();
    fontObject_ = newObject();
    beginObject(fontObject_);
    const std::string font =
        "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>\n"
        "endobj\n";
    out_ << font;
    written_ += static_cast<long long>(font.size());
    marksObject_ = newObject();
    beginObject(marksObject_);
    const std::string marks = "<< /Type /OCG /Name (Comparison marks) >>\nendobj\n";
    out_ << marks;
    written_ += static_cast<long long>(marks.size());
}

PdfWriter::~PdfWriter() = default;

int PdfWriter::newObject() {
    offsets_.push_back(-1);
    return static_cast<int>(offsets_.size());
}

void PdfWriter::beginObject(int object) {
    offsets_[static_cast<std::size_t>(object - 1)] = written_;
    const std::string head = std::to_string(object) + " 0 obj\n";
    out_ << head;
    written_ += static_cast<long long>(head.size());
    if (!out_) {
        failed_ = true;
    }
}

void PdfWriter::writeStream(int object, const std::string& dictionary, const std::string& data) {
    beginObject(object);
    const std::string head = "<< " + dictionary + " /Filter /FlateDecode /Length " +
                             std::to_string(data.size()) + " >>\nstream\n";
    out_ << head;
    out_.write(data.data(), static_cast<std::streamsize>(data.size()));
    const std::string tail = "\nendstream\nendobj\n";
    out_ << tail;
    written_ += static_cast<long long>(head.size() + data.size() + tail.size());
    if (!out_) {
        failed_ = true;
    }
}

int PdfWriter::glyphForm(unsigned long index) {
    const auto known = glyphForms_.find(index);
    if (known != glyphForms_.end()) {
        return known->second;
    }
    cairo_path_t* outline = labels_->outline(index);
    std::string path;
    if (outline != nullptr && outline->status == CAIRO_STATUS_SUCCESS) {
        Frame origin;
        Content c(origin);
        for (int i = 0; i < outline->num_data; i += outline->data[i].header.length) {
            const cairo_path_data_t* d = &outline->data[i];
            const auto at = [&](int k) {
                c.num(d[k].point.x);
                c.num(d[k].point.y);
            };
            switch (d->header.type) {
                case CAIRO_PATH_MOVE_TO:
                    at(1);
                    c.op("m");
                    break;
                case CAIRO_PATH_LINE_TO:
                    at(1);
                    c.op("l");
                    break;
                case CAIRO_PATH_CURVE_TO:
                    at(1);
                    at(2);
                    at(3);
                    c.op("c");
                    break;
                case CAIRO_PATH_CLOSE_PATH:
                    c.op("h");
                    break;
            }
        }
        path = std::move(c.text());
    }
    cairo_path_destroy(outline);
    // A blank has no outline: nothing to place.
    int form = 0;
    if (!path.empty()) {
        path += "f\n";
        form = newObject();
        const double big = 4 * LabelOutlines::kGlyphScale;
        Frame none;
        Content box(none);
        box.num(-big);
        box.num(-big);
        box.num(big);
        box.num(big);
        writeStream(form, "/Type /XObject /Subtype /Form /BBox [" + box.text() + "]",
                    deflate(path));
    }
    glyphForms_.emplace(index, form);
    return form;
}

bool PdfWriter::check(std::string& error) const {
    if (failed_ || !out_) {
        error = "cannot write the PDF stream";
        return false;
    }
    return true;
}

bool PdfWriter::addPage(const Page& page, std::string& error) {
    if (!check(error)) {
        return false;
    }
    const Frame frame = pageFrame(page);
    const int pageObject = newObject();
    Content c(frame);
    std::string xobjects;
    std::set<int> usedForms;
    for (const auto& r : page.rasters) {
        if (!validRaster(r)) {
            continue;
        }
        const int image = newObject();
        const std::string data(r.pixels.begin(), r.pixels.end());
        writeStream(image,
                    "/Type /XObject /Subtype /Image /Width " + std::to_string(r.width) +
                        " /Height " + std::to_string(r.height) + " /ColorSpace " +
                        (r.channels == 3 ? "/DeviceRGB" : "/DeviceGray") + " /BitsPerComponent 8",
                    deflate(data));
        const std::string name = "/Im" + std::to_string(image);
        xobjects += name + " " + std::to_string(image) + " 0 R ";
        const double w = r.width * kUnitsPerInch / r.dpi;
        const double h = r.height * kUnitsPerInch / r.dpi;
        c.op("q");
        c.num(w * kPointsPerUnit);
        c.num(0);
        c.num(0);
        c.num(h * kPointsPerUnit);
        c.point({r.origin.x, r.origin.y - h});
        c.op("cm");
        c.text() += name;
        c.op(" Do Q");
    }
    c.op("1 J 1 j");
    bool anyMarks = false;
    for (const Layer layer : {Layer::drawing, Layer::marks}) {
        const auto mine = [&](const Stroke& s) { return s.layer == layer; };
        const bool has = std::any_of(page.paths.begin(), page.paths.end(),
                                     [&](const Path& p) { return mine(p.stroke); }) ||
                         std::any_of(page.texts.begin(), page.texts.end(),
                                     [&](const Text& t) { return mine(t.stroke); });
        if (!has) {
            continue;
        }
        if (layer == Layer::marks) {
            anyMarks = true;
            c.op("/OC /Marks BDC");
        }
        // Fills first, then outlines, then labels: the order of every
        // other output.
        Rgb fillColor = 0xFFFFFFFF;
        for (const auto& p : page.paths) {
            if (!p.filled || p.points.size() < 3 || !mine(p.stroke)) {
                continue;
            }
            if (p.stroke.color != fillColor) {
                fillColor = p.stroke.color;
                c.color(fillColor, "rg");
            }
            if (c.path(p)) {
                c.op(p.evenOdd ? "f*" : "f");
            }
        }
        struct Style {
            Rgb color = 0xFFFFFFFF;
            double width = -1;
            std::vector<double> dashes;
            bool operator==(const Style&) const = default;
        };
        Style current;
        std::size_t batched = 0;
        bool pending = false;
        for (const auto& p : page.paths) {
            if (p.filled || p.points.empty() || !mine(p.stroke)) {
                continue;
            }
            const double w = p.stroke.widthMm * kUnitsPerMm * kPointsPerUnit;
            Style style{p.stroke.color,
                        std::isfinite(w) ? std::max(w, kMinLinePoints) : kMinLinePoints,
                        {}};
            double total = 0;
            for (double mm : p.stroke.dashMm) {
                if (!std::isfinite(mm) || mm < 0) {
                    style.dashes.clear();
                    total = 0;
                    break;
                }
                style.dashes.push_back(mm * kUnitsPerMm * kPointsPerUnit);
                total += mm;
            }
            if (!(total > 0)) {
                style.dashes.clear();
            }
            if (pending && (!(style == current) || batched > kMaxBatchPoints)) {
                c.op("S");
                pending = false;
                batched = 0;
            }
            if (!(style == current)) {
                if (style.color != current.color) {
                    c.color(style.color, "RG");
                }
                if (style.width != current.width) {
                    c.num(style.width);
                    c.op("w");
                }
                if (style.dashes != current.dashes) {
                    c.text() += '[';
                    for (double d : style.dashes) {
                        c.num(d);
                    }
                    c.op("] 0 d");
                }
                current = std::move(style);
            }
            if (p.points.size() == 1) {
                // A dot: a zero-length segment, which round caps draw.
                if (finite(p.points[0])) {
                    c.point(p.points[0]);
                    c.op("m");
                    c.point(p.points[0]);
                    c.op("l");
                    pending = true;
                }
            } else {
                pending = c.path(p) || pending;
            }
            batched += p.points.size();
        }
        if (pending) {
            c.op("S");
        }
        if (!current.dashes.empty()) {
            c.op("[] 0 d");
        }
        // Labels: their glyphs as shapes (each glyph's outline written
        // once, as a form, and placed where it stands), then their
        // characters invisibly over them, so that text can be searched and
        // copied.
        bool anyText = false;
        fillColor = 0xFFFFFFFF;
        for (const auto& t : page.texts) {
            if (!mine(t.stroke)) {
                continue;
            }
            const auto placed = labels_->glyphs(t);
            if (placed.empty()) {
                continue;
            }
            if (t.stroke.color != fillColor) {
                fillColor = t.stroke.color;
                c.color(fillColor, "rg");
            }
            for (const auto& g : placed) {
                const int form = glyphForm(g.index);
                if (form == 0) {
                    continue;
                }
                const cairo_matrix_t& m = g.toPage;
                c.op("q");
                c.precise(m.xx * kPointsPerUnit);
                c.precise(m.yx * kPointsPerUnit);
                c.precise(m.xy * kPointsPerUnit);
                c.precise(m.yy * kPointsPerUnit);
                c.point({m.x0, m.y0});
                c.text() += "cm /G" + std::to_string(form);
                c.op(" Do Q");
                usedForms.insert(form);
            }
            anyText = true;
        }
        if (anyText) {
            c.op("BT 3 Tr");
            for (const auto& t : page.texts) {
                if (!mine(t.stroke) || t.text.empty() || !finite(t.origin) || !(t.charHeight > 0) ||
                    !(t.charWidth > 0) || !std::isfinite(t.angleDeg)) {
                    continue;
                }
                Point start;
                std::size_t chars = 0;
                labelStart(t, start, chars);
                const double size = t.charHeight / kCourierHeight * kPointsPerUnit;
                const double stretch =
                    1.5 * t.charWidth * kPointsPerUnit / (kCourierAdvance * size);
                const double a = t.angleDeg * 3.14159265358979323846 / 180;
                c.text() += "/F1 1 Tf ";
                c.num(stretch * size * std::cos(a));
                c.num(stretch * size * std::sin(a));
                c.num(-size * std::sin(a));
                c.num(size * std::cos(a));
                c.point(start);
                c.op("Tm");
                c.text() += pdfString(t.text);
                c.op(" Tj");
            }
            c.op("ET");
        }
        if (layer == Layer::marks) {
            c.op("EMC");
        }
    }
    for (const int form : usedForms) {
        xobjects += "/G" + std::to_string(form) + " " + std::to_string(form) + " 0 R ";
    }
    const int contents = newObject();
    writeStream(contents, "", deflate(c.text()));
    beginObject(pageObject);
    const std::string dict =
        "<< /Type /Page /Parent " + std::to_string(pagesObject_) + " 0 R /MediaBox [0 0 " +
        [&] {
            Content box(frame);
            box.num(frame.width * kPointsPerUnit);
            box.num(frame.height * kPointsPerUnit);
            return box.text();
        }() +
        "] /Resources << /Font << /F1 " + std::to_string(fontObject_) + " 0 R >>" +
        (xobjects.empty() ? "" : " /XObject << " + xobjects + ">>") +
        (anyMarks ? " /Properties << /Marks " + std::to_string(marksObject_) + " 0 R >>" : "") +
        " >> /Contents " + std::to_string(contents) + " 0 R >>\nendobj\n";
    out_ << dict;
    written_ += static_cast<long long>(dict.size());
    pageObjects_.push_back(pageObject);
    return check(error);
}

bool PdfWriter::close(std::string& error) {
    if (!check(error)) {
        return false;
    }
    if (pageObjects_.empty()) {
        error = "no pages to write";
        return false;
    }
    beginObject(pagesObject_);
    std::string pages =
        "<< /Type /Pages /Count " + std::to_string(pageObjects_.size()) + " /Kids [";
    for (int p : pageObjects_) {
        pages += std::to_string(p) + " 0 R ";
    }
    pages += "] >>\nendobj\n";
    out_ << pages;
    written_ += static_cast<long long>(pages.size());
    const int info = newObject();
    beginObject(info);
    const std::string infoText = "<< /Creator (tolvane) /Producer (tolvane) >>\nendobj\n";
    out_ << infoText;
    written_ += static_cast<long long>(infoText.size());
    const int catalog = newObject();
    beginObject(catalog);
    const std::string m = std::to_string(marksObject_) + " 0 R";
    const std::string catalogText = "<< /Type /Catalog /Pages " + std::to_string(pagesObject_) +
                                    " 0 R /OCProperties << /OCGs [" + m + "] /D << /Order [" + m +
                                    "] /ON [" + m + "] >> >> >>\nendobj\n";
    out_ << catalogText;
    written_ += static_cast<long long>(catalogText.size());
    const long long xref = written_;
    std::string table =
        "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
    for (const long long offset : offsets_) {
        char line[32];
        std::snprintf(line, sizeof line, "%010lld 00000 n \n", std::max(offset, 0LL));
        table += line;
    }
    table += "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " +
             std::to_string(catalog) + " 0 R /Info " + std::to_string(info) +
             " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    out_ << table;
    out_.flush();
    if (!out_) {
        failed_ = true;
    }
    return check(error);
}

}  // namespace drawing

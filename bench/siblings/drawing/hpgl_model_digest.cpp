// Reads HP-GL files and prints, for each page, its element counts and a
// digest of everything the page model holds (every coordinate to the bit,
// strokes, fills, subpaths, texts, rasters), and the same for writing the
// page back out as HP-GL. Two builds of the reader or writer that print the
// same lines read and write the same models; with --full the paths and
// texts themselves are listed, to find where two builds part.
//
//   drawing_hpgl_model_digest [--full] [--repeat N] FILE...
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

#include "drawing/hpgl/hpgl.h"

namespace {

class Digest {
  public:
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) {
            h_ = (h_ ^ b[i]) * 0x100000001b3ULL;
        }
    }
    template <typename T>
    void value(const T& v) {
        bytes(&v, sizeof v);
    }
    void text(std::string_view s) {
        value(s.size());
        bytes(s.data(), s.size());
    }
    std::uint64_t result() const { return h_; }

  private:
    std::uint64_t h_ = 0xcbf29ce484222325ULL;
};

void stroke(Digest& d, const drawing::Stroke& s) {
    d.value(s.pen);
    d.value(s.color);
    d.value(s.widthMm);
    d.value(s.lineType);
    d.value(s.dashMm.size());
    for (double v : s.dashMm) {
        d.value(v);
    }
    d.value(s.layer);
}

std::uint64_t pageDigest(const drawing::Page& page) {
    Digest d;
    d.value(page.width);
    d.value(page.height);
    for (const auto& p : page.paths) {
        d.value(p.points.size());
        for (const auto& pt : p.points) {
            d.value(pt.x);
            d.value(pt.y);
        }
        d.value(p.closed);
        d.value(p.filled);
        d.value(p.evenOdd);
        stroke(d, p.stroke);
        d.value(p.subpathStarts.size());
        for (auto s : p.subpathStarts) {
            d.value(s);
        }
    }
    for (const auto& t : page.texts) {
        d.value(t.origin.x);
        d.value(t.origin.y);
        d.text(t.text);
        d.value(t.charWidth);
        d.value(t.charHeight);
        d.value(t.angleDeg);
        d.value(t.slant);
        d.value(t.labelOrigin);
        stroke(d, t.stroke);
        d.value(t.vertical);
    }
    for (const auto& r : page.rasters) {
        d.value(r.origin.x);
        d.value(r.origin.y);
        d.value(r.dpi);
        d.value(r.width);
        d.value(r.height);
        d.value(r.channels);
        d.bytes(r.pixels.data(), r.pixels.size());
    }
    return d.result();
}

void listPage(const drawing::Page& page) {
    for (const auto& p : page.paths) {
        std::printf(
            "  path n=%zu closed=%d filled=%d evenodd=%d pen=%d color=%06x w=%a lt=%d "
            "dashes=%zu subs=%zu\n",
            p.points.size(), p.closed, p.filled, p.evenOdd, p.stroke.pen, p.stroke.color,
            p.stroke.widthMm, p.stroke.lineType, p.stroke.dashMm.size(), p.subpathStarts.size());
        for (const auto& pt : p.points) {
            std::printf("   %a %a\n", pt.x, pt.y);
        }
    }
    for (const auto& t : page.texts) {
        std::printf("  text %a %a \"%s\" %a %a %a %a lo=%d pen=%d v=%d\n", t.origin.x, t.origin.y,
                    t.text.c_str(), t.charWidth, t.charHeight, t.angleDeg, t.slant, t.labelOrigin,
                    t.stroke.pen, t.vertical);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool full = false;
    int repeat = 1;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        if (std::strcmp(argv[first], "--full") == 0) {
            full = true;
        } else if (std::strcmp(argv[first], "--repeat") == 0 && first + 1 < argc) {
            repeat = std::atoi(argv[++first]);
        }
    }
    int status = 0;
    for (int f = first; f < argc; ++f) {
        for (int r = 0; r < repeat; ++r) {
            int pageNo = 0;
            drawing::ReadError error;
            const drawing::PageSink sink = [&](drawing::Page&& page) {
                ++pageNo;
                if (r + 1 < repeat) {
                    return true;
                }
                std::ostringstream written;
                drawing::HpglWriter writer(written);
                writer.writePage(page);
                writer.finish();
                Digest w;
                w.text(written.view());
                std::size_t points = 0;
                for (const auto& p : page.paths) {
                    points += p.points.size();
                }
                std::printf(
                    "%s page %d: %zu paths %zu points %zu texts %zu rasters model %016llx "
                    "written %zu bytes %016llx\n",
                    argv[f], pageNo, page.paths.size(), points, page.texts.size(),
                    page.rasters.size(), static_cast<unsigned long long>(pageDigest(page)),
                    written.view().size(), static_cast<unsigned long long>(w.result()));
                if (full) {
                    listPage(page);
                }
                return true;
            };
            if (!drawing::readHpglFile(argv[f], sink, error)) {
                std::printf("%s: error at %zu: %s\n", argv[f], error.offset, error.message.c_str());
                status = 1;
            }
        }
    }
    return status;
}

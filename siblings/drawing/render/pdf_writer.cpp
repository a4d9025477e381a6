#include "drawing/render/pdf_writer.h"

#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>
#include <libdeflate.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <set>

#include "drawing/render/font_subset.h"
#include "drawing/render/label_fonts.h"
#include "drawing/render/render.h"
#include "drawing/round_half_away.h"
#include "drawing/utf8.h"

namespace drawing {
namespace {

constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;
// A page's content is drawn in plotter units, from the frame's lower left
// corner: its first operator scales them to points. A coordinate is then
// mostly a whole number, shorter to write and to compress than points with
// their decimals, and kept to a hundredth of a unit rather than of a point.
constexpr std::string_view kUnitsToPoints = "0.0708661417 0 0 0.0708661417 0 0 cm";
// Thinnest line in the file: 0.1 mm, a hairline on any printer.
constexpr double kMinLineUnits = 0.1 * kUnitsPerMm;
// Outlines of one look go out as one path up to this many points: fewer
// operators, and a bounded batch keeps viewers quick.
constexpr std::size_t kMaxBatchPoints = 4096;
// Every glyph of the text layer's fonts advances 0.6 em, and their
// capitals count as 0.6 em high, the measures of a monospaced font, which
// our PDF reader expects of the text over a plot's glyphs.
constexpr double kTextAdvance = 0.6;
constexpr double kTextCapHeight = 0.6;

bool finite(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

}  // namespace

// Deflate in the zlib format (FlateDecode), a whole buffer at a time.
// libdeflate's fast level writes smaller streams than zlib's fastest, in
// a fraction of the time.
class PdfWriter::Compressor {
  public:
    Compressor() : c_(libdeflate_alloc_compressor(kLevel)) {}
    ~Compressor() {
        if (c_ != nullptr) {
            libdeflate_free_compressor(c_);
        }
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // The compressed data; false (and nothing) when it could not be had.
    bool compress(std::string_view data, std::string& out) {
        out.clear();
        if (c_ == nullptr) {
            return false;
        }
        // The buffer is left as it comes: of a large image's bound only the
        // pages the compressed data reaches are ever touched.
        const std::size_t room = bound(data.size());
        const auto buffer = std::make_unique_for_overwrite<char[]>(room);
        const std::size_t size = compress(data, buffer.get(), room);
        out.assign(buffer.get(), size);
        return size > 0;
    }
    // The most that size bytes can take compressed.
    std::size_t bound(std::size_t size) const {
        return c_ == nullptr ? 0 : libdeflate_zlib_compress_bound(c_, size);
    }
    // Compresses into room bytes at out, which bound() has sized: the
    // compressed size, 0 when it failed. Allocates nothing.
    std::size_t compress(std::string_view data, char* out, std::size_t room) {
        return c_ == nullptr ? 0
                             : libdeflate_zlib_compress(c_, data.data(), data.size(), out, room);
    }

  private:
    static constexpr int kLevel = 1;
    libdeflate_compressor* c_;
};

namespace {

// "00" to "99", two characters each.
constexpr auto kPairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[2 * i] = static_cast<char>('0' + i / 10);
        t[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return t;
}();

// Decimal digits of n, without sign, at p; returns the end.
char* digits(char* p, unsigned long long n) {
    int len = n < 10 ? 1 : n < 100 ? 2 : n < 1000 ? 3 : n < 10000 ? 4 : n < 100000 ? 5 : 6;
    for (unsigned long long t = n / 1000000; t != 0; t /= 10) {
        ++len;
    }
    char* const end = p + len;
    char* q = end;
    while (n >= 100) {
        q -= 2;
        q[0] = kPairs[2 * (n % 100)];
        q[1] = kPairs[2 * (n % 100) + 1];
        n /= 100;
    }
    if (n >= 10) {
        q[-2] = kPairs[2 * n];
        q[-1] = kPairs[2 * n + 1];
    } else {
        q[-1] = static_cast<char>('0' + n);
    }
    return end;
}

// A matrix entry in millionths, as precise() writes it: non-finite
// values as 0.
long long millionths(double v) {
    return std::isfinite(v) ? roundHalfAway(std::clamp(v, -1e9, 1e9) * 1e6) : 0;
}

// h / 10^Decimals in decimal, its fraction without trailing zeros, then a
// space; returns the end.
template <int Decimals>
char* fixedPoint(char* p, long long h) {
    constexpr long long kScale = [] {
        long long s = 1;
        for (int i = 0; i < Decimals; ++i) {
            s *= 10;
        }
        return s;
    }();
    unsigned long long u = static_cast<unsigned long long>(h);
    if (h < 0) {
        *p++ = '-';
        u = 0ULL - u;
    }
    p = digits(p, u / kScale);
    unsigned long long f = u % kScale;
    if constexpr (Decimals == 2) {
        if (f != 0) {
            *p++ = '.';
            *p++ = kPairs[2 * f];
            if (f % 10 != 0) {
                *p++ = kPairs[2 * f + 1];
            }
        }
    } else if (f != 0) {
        int n = Decimals;
        while (f % 10 == 0) {
            f /= 10;
            --n;
        }
        *p++ = '.';
        for (int i = n - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + f % 10);
            f /= 10;
        }
        p += n;
    }
    *p++ = ' ';
    return p;
}

}  // namespace

// Page content in PDF operators, coordinates in plotter units from the
// frame's lower left corner. Content with a compressor compresses its text in
// pieces as it grows, each piece ending after an operator, so that a page
// of millions of points never holds its operators whole, only their
// compressed form; the pieces become the page's content streams. Pieces
// are compressed on threads of their own, two at a time, each with a
// compressor of its own, while the next one is written: compressing a
// piece takes longer than writing it, and with one such thread the writing
// waited for it half of the time.
class PdfWriter::Content {
  public:
    // Each piece is named by reserve when its compression starts, and goes
    // to sink with that name, in order, once it is made (on the thread that
    // writes the content).
    using Reserve = std::function<int()>;
    using Sink = std::function<void(int name, std::string_view piece)>;
    // The compressor compresses the last piece; threadCompressor gives the
    // one for the pieces compressed on thread slot 0 or 1, made only for a
    // page of more than one piece.
    using ThreadCompressor = std::function<Compressor*(int slot)>;
    explicit Content(const Frame& frame, Compressor* compressor = nullptr,
                     ThreadCompressor threadCompressor = {}, Reserve reserve = {}, Sink sink = {})
        : frame_(frame),
          compressor_(compressor),
          threadCompressor_(std::move(threadCompressor)),
          reserve_(std::move(reserve)),
          sink_(std::move(sink)) {
        s_.resize(compressor_ != nullptr ? kSpill + 4096 : 256);
    }
    ~Content() {
        // The compressing threads use the buffers below: they end first.
        for (Slot& slot : slots_) {
            if (slot.running) {
                pthread_join(slot.thread, nullptr);
            }
        }
    }
    Content(const Content&) = delete;
    Content& operator=(const Content&) = delete;

    // The operators so far (a content without a compressor).
    std::string str() const { return std::string(s_.data(), len_); }
    void append(std::string_view text) {
        std::memcpy(room(text.size()), text.data(), text.size());
        len_ += text.size();
    }
    void append(char c) {
        *room(1) = c;
        ++len_;
    }

    // A number with at most two decimals: a hundredth of a point is far
    // below what any device shows.
    // Returns the number as written.
    double num(double v) {
        if (!std::isfinite(v)) {
            v = 0;
        }
        const long long h = roundHalfAway(std::clamp(v, -1e12, 1e12) * 100);
        len_ = static_cast<std::size_t>(fixedPoint<2>(room(32), h) - s_.data());
        return static_cast<double>(h) / 100;
    }
    // A number with up to six decimals, for the entries of a matrix.
    double precise(double v) {
        const long long h = millionths(v);
        len_ = static_cast<std::size_t>(fixedPoint<6>(room(32), h) - s_.data());
        return static_cast<double>(h) / 1e6;
    }
    void integer(long long v) {
        char* p = room(24);
        if (v < 0) {
            *p++ = '-';
        }
        len_ = static_cast<std::size_t>(digits(p, v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                                        : static_cast<unsigned long long>(v)) -
                                        s_.data());
    }
    // Four hex digits of a glyph index, as in <0041>.
    void hex4(unsigned v) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        char* p = room(4);
        p[0] = kHex[(v >> 12) & 0xF];
        p[1] = kHex[(v >> 8) & 0xF];
        p[2] = kHex[(v >> 4) & 0xF];
        p[3] = kHex[v & 0xF];
        len_ += 4;
    }
    // Where the glyphs of one label are placed: the matrix in force
    // inside its q, as written.
    struct Placement {
        bool open = false;
        double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    };
    // Draws a glyph's form with matrix m (outline units to plotter
    // units). The glyphs of a label share their scale and turn: after the
    // first, each is moved from the one before, in the units of its form,
    // a shorter operator; the move is reckoned from the matrix as written,
    // so that rounding never adds up along the label.
    void placeForm(const cairo_matrix_t& m, int form, Placement& at) {
        const double a = m.xx, b = m.yx;
        const double c = m.xy, d = m.yy;
        const double e = m.x0 - frame_.x0;
        const double f = m.y0 - frame_.y0;
        const double det = at.a * at.d - at.b * at.c;
        const auto rounded = [](double v) { return static_cast<double>(millionths(v)) / 1e6; };
        if (at.open && rounded(a) == at.a && rounded(b) == at.b && rounded(c) == at.c &&
            rounded(d) == at.d && std::isfinite(e) && std::isfinite(f) && std::abs(det) > 1e-12) {
            // (x, y) in the form's units moves the glyph by x*(a b) + y*(c d).
            const double de = e - at.e, df = f - at.f;
            append("1 0 0 1 ");
            const double x = num((de * at.d - df * at.c) / det);
            const double y = num((df * at.a - de * at.b) / det);
            at.e += x * at.a + y * at.c;
            at.f += x * at.b + y * at.d;
        } else {
            if (at.open) {
                op("Q");
            }
            op("q");
            at.open = true;
            at.a = precise(a);
            at.b = precise(b);
            at.c = precise(c);
            at.d = precise(d);
            at.e = num(e);
            at.f = num(f);
        }
        append("cm /G");
        integer(form);
        op(" Do");
    }
    void point(const Point& p) {
        num(p.x - frame_.x0);
        num(p.y - frame_.y0);
    }
    void op(std::string_view name) {
        char* p = room(name.size() + 1);
        std::memcpy(p, name.data(), name.size());
        p[name.size()] = '\n';
        len_ += name.size() + 1;
        if (compressor_ != nullptr && len_ >= kSpill) {
            spill();
        }
    }
    // Compresses what is left (a content with a compressor only); false
    // when compression failed.
    bool finish() {
        if (len_ != 0 || pieces_ == 0) {
            spill(true);
        }
        collectAll();
        std::string().swap(s_);
        for (Slot& slot : slots_) {
            std::string().swap(slot.in);
            std::string().swap(slot.out);
        }
        return !failed_;
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
    // Room for n more characters at the end: where they go.
    char* room(std::size_t n) {
        if (len_ + n > s_.size()) {
            s_.resize(std::max(2 * s_.size(), len_ + n));
        }
        return s_.data() + len_;
    }
    // Hands the operators so far to a compressing thread, in the slot of
    // the older piece once that piece has gone to the sink, and goes on in
    // that slot's other buffer. The last piece is compressed here, on this
    // thread, with the writer's own compressor, after the pieces before it:
    // nothing is written meanwhile, and most pages are one piece.
    void spill(bool last = false) {
        Slot& slot = slots_[next_];
        collect(slot);
        if (last) {
            collect(slots_[1 - next_]);
        }
        next_ = 1 - next_;
        std::swap(s_, slot.in);
        const std::size_t n = len_;
        len_ = 0;
        if (!last && s_.size() < kSpill + 4096) {
            s_.resize(kSpill + 4096);
        }
        // The threads neither allocate nor free: the first time a thread
        // does, the allocator gives it a heap of its own, megabytes of
        // fresh memory. (A std::thread frees its start-up state on the new
        // thread; a POSIX thread has none.)
        Compressor* const compressor = last ? compressor_ : threadCompressor_(&slot - slots_);
        slot.out.resize(std::max(slot.out.size(), compressor->bound(n)));
        slot.name = reserve_();
        slot.job = {compressor, std::string_view(slot.in.data(), n), slot.out.data(),
                    slot.out.size(), 0};
        slot.pending = true;
        ++pieces_;
        slot.running =
            !last && pthread_create(&slot.thread, nullptr, &Content::compressJob, &slot.job) == 0;
        if (!slot.running) {
            compressJob(&slot.job);  // the last piece, or no thread to be had
        }
    }
    struct Job {
        Compressor* compressor;
        std::string_view in;
        char* out;
        std::size_t room;
        std::size_t size;  // of the compressed piece; 0 when it failed
    };
    // A piece being compressed, or compressed and not yet sunk.
    struct Slot {
        std::string in;   // the piece's operators
        std::string out;  // its compressed form
        int name = 0;
        Job job{};
        bool pending = false;  // compressed or being compressed
        bool running = false;  // on thread
        pthread_t thread{};
    };
    // Waits for the slot's piece, if any, and sinks it.
    void collect(Slot& slot) {
        if (!slot.pending) {
            return;
        }
        if (slot.running) {
            pthread_join(slot.thread, nullptr);
            slot.running = false;
        }
        slot.pending = false;
        if (slot.job.size == 0) {
            failed_ = true;
        }
        sink_(slot.name, std::string_view(slot.out.data(), slot.job.size));
    }
    // Sinks every piece handed on, oldest first.
    void collectAll() {
        collect(slots_[next_]);
        collect(slots_[1 - next_]);
    }
    static void* compressJob(void* job) {
        auto* j = static_cast<Job*>(job);
        j->size = j->compressor->compress(j->in, j->out, j->room);
        return nullptr;
    }

    // Operators are compressed in pieces of about this size.
    static constexpr std::size_t kSpill = 1 << 18;
    const Frame& frame_;
    Compressor* compressor_;
    ThreadCompressor threadCompressor_;
    Reserve reserve_;
    Sink sink_;
    std::string s_;  // the first len_ characters are the content
    std::size_t len_ = 0;
    // Pieces go to the slots in turn; next_ is the one the next piece
    // takes, which holds the older of two pieces handed on.
    Slot slots_[2];
    int next_ = 0;
    int pieces_ = 0;  // pieces handed to the compressor
    bool failed_ = false;
};

// The labels of one layer with their glyphs, in order, as the text layer
// needs them: font and glyph only. (With each glyph's place and character
// kept too, the labels of a schematic took 4 MB until the page was done.)
struct PdfWriter::LayerLabels {
    struct Glyph {
        int font = 0;
        unsigned long index = 0;
    };
    std::vector<std::pair<const Text*, std::vector<Glyph>>> labels;
};

namespace {

std::string hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
    return buf;
}

// A character as UTF-16 hex digits, for a ToUnicode map.
std::string utf16Hex(const std::string& utf8) {
    std::string out;
    forEachCodePoint(utf8, [&](unsigned cp, std::string_view) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += hex4(0xD800 + (cp >> 10));
            out += hex4(0xDC00 + (cp & 0x3FF));
        } else {
            out += hex4(cp);
        }
    });
    return out;
}

// The glyphs a font file holds, cut down to those used; glyph indices are
// kept, so that the text layer's character codes are the glyph indices.
struct FontSubset {
    std::string data;
    bool cff = false;  // PostScript outlines rather than TrueType ones
    std::string name;
    double ascent = 800, descent = -200, capHeight = 700;  // per 1000 em
};

// Makes every glyph of an OpenType font advance kTextAdvance em, as the
// text layer places them, so that a reader that measures text by the
// font's own advances (rather than the PDF's widths) finds each label's
// characters one after the other.
void evenAdvances(std::string& font) {
    const auto u16 = [&](std::size_t at) -> unsigned {
        return at + 2 <= font.size() ? (static_cast<unsigned char>(font[at]) << 8) |
                                           static_cast<unsigned char>(font[at + 1])
                                     : 0;
    };
    const auto u32 = [&](std::size_t at) -> std::size_t { return (u16(at) << 16) | u16(at + 2); };
    const auto put16 = [&](std::size_t at, unsigned v) {
        if (at + 2 <= font.size()) {
            font[at] = static_cast<char>(v >> 8);
            font[at + 1] = static_cast<char>(v & 0xFF);
        }
    };
    std::size_t head = 0, hhea = 0, hmtx = 0, hmtxLength = 0;
    const unsigned tables = u16(4);
    for (unsigned i = 0; i < tables; ++i) {
        const std::size_t record = 12 + 16 * static_cast<std::size_t>(i);
        const std::string tag = record + 4 <= font.size() ? font.substr(record, 4) : "";
        const std::size_t offset = u32(record + 8);
        if (tag == "head") {
            head = offset;
        } else if (tag == "hhea") {
            hhea = offset;
        } else if (tag == "hmtx") {
            hmtx = offset;
            hmtxLength = u32(record + 12);
        }
    }
    if (head == 0 || hhea == 0 || hmtx == 0) {
        return;
    }
    const auto advance = static_cast<unsigned>(std::lround(u16(head + 18) * kTextAdvance));
    const unsigned metrics = u16(hhea + 34);
    put16(hhea + 10, advance);
    for (std::size_t i = 0; i < metrics && 4 * i + 4 <= hmtxLength; ++i) {
        put16(hmtx + 4 * i, advance);
    }
}

bool subsetFont(const LabelFontFile& file, const std::map<unsigned long, std::string>& glyphs,
                FontSubset& out) {
    if (file.path.empty()) {
        return false;
    }
    std::vector<unsigned> indexes;
    indexes.reserve(glyphs.size());
    for (const auto& [index, chars] : glyphs) {
        indexes.push_back(static_cast<unsigned>(index));
    }
    // TrueType outlines are cut down here: harfbuzz's subsetter works
    // through every table of the font, some 15 M instructions on a Japanese
    // font for a few glyphs, where this copies the glyphs.
    const auto trueType = [&](const FontTables& tables) {
        if (!subsetTrueType(tables, indexes, out.data)) {
            return false;
        }
        evenAdvances(out.data);
        return !out.data.empty();
    };
    const auto keepName = [&](std::string_view name) {
        for (const char c : name) {
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '-') {
                out.name += c;
            }
        }
    };
    {
        const FontFile font(file.path, static_cast<unsigned>(file.faceIndex));
        const FontTables tables = [&](std::uint32_t tag) { return font.table(tag); };
        if (trueType(tables)) {
            keepName(fontPostScriptName(tables));
            fontMeasures(tables, out.ascent, out.descent, out.capHeight);
            return true;
        }
    }
    // A face harfbuzz finds in the file where we do not, or of PostScript
    // outlines.
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.path.c_str());
    if (blob == nullptr) {
        return false;
    }
    hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(file.faceIndex));
    hb_blob_destroy(blob);
    bool ok = false;
    {
        std::vector<hb_blob_t*> held;
        ok = trueType([&](std::uint32_t tag) {
            held.push_back(hb_face_reference_table(face, tag));
            unsigned length = 0;
            const char* data = hb_blob_get_data(held.back(), &length);
            return data != nullptr ? std::string_view(data, length) : std::string_view();
        });
        for (hb_blob_t* b : held) {
            hb_blob_destroy(b);
        }
    }
    hb_subset_input_t* input = ok ? nullptr : hb_subset_input_create_or_fail();
    if (input != nullptr) {
        hb_set_t* set = hb_subset_input_glyph_set(input);
        hb_set_add(set, 0);
        for (const auto& [index, chars] : glyphs) {
            hb_set_add(set, static_cast<hb_codepoint_t>(index));
        }
        hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
        if (hb_face_t* subset = hb_subset_or_fail(face, input)) {
            hb_blob_t* result = hb_face_reference_blob(subset);
            unsigned length = 0;
            const char* data = hb_blob_get_data(result, &length);
            out.data.assign(data, length);
            evenAdvances(out.data);
            hb_blob_destroy(result);
            hb_blob_t* cff = hb_face_reference_table(subset, HB_TAG('C', 'F', 'F', ' '));
            out.cff = hb_blob_get_length(cff) > 0;
            hb_blob_destroy(cff);
            hb_face_destroy(subset);
            ok = !out.data.empty();
        }
        hb_subset_input_destroy(input);
    }
    char name[128] = {};
    unsigned size = sizeof name;
    hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, name);
    keepName(name);
    hb_font_t* font = hb_font_create(face);
    const double em = hb_face_get_upem(face);
    hb_font_extents_t extents;
    if (em > 0 && hb_font_get_h_extents(font, &extents)) {
        out.ascent = extents.ascender * 1000 / em;
        out.descent = extents.descender * 1000 / em;
    }
    hb_position_t cap = 0;
    if (em > 0 && hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_CAP_HEIGHT, &cap) && cap > 0) {
        out.capHeight = cap * 1000 / em;
    }
    hb_font_destroy(font);
    hb_face_destroy(face);
    return ok;
}

bool validRaster(const Raster& r) {
    return r.width > 0 && r.height > 0 && r.width <= kMaxRasterSide && r.height <= kMaxRasterSide &&
           (r.channels == 1 || r.channels == 3) && r.dpi > 0 && finite(r.origin) &&
           r.pixels.size() == static_cast<std::size_t>(r.width) * r.height * r.channels;
}

}  // namespace

PdfWriter::PdfWriter(std::ostream& out)
    : out_(out),
      labels_(std::make_unique<LabelOutlines>()),
      compressor_(std::make_unique<Compressor>()) {
    const char header[] = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    out_.write(header, sizeof header - 1);
    written_ += sizeof header - 1;
    pagesObject_ = newObject();
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

void PdfWriter::writeStream(int object, const std::string& dictionary, std::string_view data) {
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

std::string PdfWriter::deflate(std::string_view data) {
    std::string out;
    if (!compressor_->compress(data, out)) {
        failed_ = true;
    }
    return out;
}

int PdfWriter::glyphForm(int font, unsigned long index) {
    const auto known = glyphForms_.find({font, index});
    if (known != glyphForms_.end()) {
        return known->second;
    }
    cairo_path_t* outline = labels_->outline(font, index);
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
        path = c.str();
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
        writeStream(form, "/Type /XObject /Subtype /Form /BBox [" + box.str() + "]", deflate(path));
    }
    glyphForms_.emplace(std::pair{font, index}, form);
    return form;
}

std::string PdfWriter::fontResource(int font) {
    UsedFont& f = fonts_[font];
    if (f.object == 0) {
        f.object = newObject();
    }
    return "/F" + std::to_string(font);
}

void PdfWriter::writeFont(int font) {
    UsedFont& f = fonts_[font];
    FontSubset subset;
    const bool embedded = subsetFont(labelFontFile(font), f.chars, subset);
    // A subset is named after its glyphs: six capitals, then the font.
    unsigned long hash = 5381;
    for (const auto& [index, chars] : f.chars) {
        hash = hash * 33 + index;
    }
    std::string tag;
    for (int i = 0; i < 6; ++i) {
        tag += static_cast<char>('A' + hash % 26);
        hash /= 26;
    }
    const std::string name =
        "/" + tag + "+" + (subset.name.empty() ? "Font" + std::to_string(font) : subset.name);
    const int cidFont = newObject(), descriptor = newObject(), toUnicode = newObject();
    const int file = embedded ? newObject() : 0;
    const auto put = [&](int object, const std::string& text) {
        beginObject(object);
        out_ << text;
        written_ += static_cast<long long>(text.size());
    };
    put(f.object, "<< /Type /Font /Subtype /Type0 /BaseFont " + name +
                      " /Encoding /Identity-H /DescendantFonts [" + std::to_string(cidFont) +
                      " 0 R] /ToUnicode " + std::to_string(toUnicode) + " 0 R >>\nendobj\n");
    // Every glyph advances alike: the text matrix makes that one cell.
    put(cidFont, std::string("<< /Type /Font /Subtype ") +
                     (subset.cff ? "/CIDFontType0" : "/CIDFontType2") + " /BaseFont " + name +
                     " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                     " /FontDescriptor " +
                     std::to_string(descriptor) + " 0 R /DW " +
                     std::to_string(static_cast<int>(kTextAdvance * 1000)) +
                     (subset.cff ? "" : " /CIDToGIDMap /Identity") + " >>\nendobj\n");
    Frame none;
    Content d(none);
    d.append("<< /Type /FontDescriptor /FontName " + name + " /Flags 4 /FontBBox [0 ");
    d.num(subset.descent);
    d.append("1000 ");
    d.num(subset.ascent);
    d.append("] /ItalicAngle 0 /Ascent ");
    d.num(subset.ascent);
    d.append("/Descent ");
    d.num(subset.descent);
    d.append("/CapHeight ");
    d.num(subset.capHeight);
    d.append("/StemV 80");
    if (embedded) {
        d.append(std::string(subset.cff ? " /FontFile3 " : " /FontFile2 ") + std::to_string(file) +
                 " 0 R");
    }
    d.append(" >>\nendobj\n");
    put(descriptor, d.str());
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<unsigned long, std::string>> entries(f.chars.begin(), f.chars.end());
    for (std::size_t i = 0; i < entries.size(); i += 100) {
        const std::size_t n = std::min<std::size_t>(100, entries.size() - i);
        cmap += std::to_string(n) + " beginbfchar\n";
        for (std::size_t k = i; k < i + n; ++k) {
            cmap += "<" + hex4(static_cast<unsigned>(entries[k].first)) + "> <" +
                    utf16Hex(entries[k].second) + ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    writeStream(toUnicode, "", deflate(cmap));
    if (embedded) {
        writeStream(file,
                    subset.cff ? std::string("/Subtype /OpenType")
                               : "/Length1 " + std::to_string(subset.data.size()),
                    deflate(subset.data));
    }
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
    // The page's content streams are written as they are made, so that
    // only one piece of a page is held; a page of more than one has an
    // array of them, which a reader takes as one.
    std::vector<int> streams;
    Content c(
        frame, compressor_.get(),
        [&](int slot) {
            auto& compressor = threadCompressors_[slot];
            if (!compressor) {
                compressor = std::make_unique<Compressor>();
            }
            return compressor.get();
        },
        [&] {
            streams.push_back(newObject());
            return streams.back();
        },
        [&](int stream, std::string_view piece) { writeStream(stream, "", piece); });
    std::string xobjects;
    std::set<int> usedForms;
    c.op(kUnitsToPoints);
    writeImages(page, c, xobjects);
    c.op("1 J 1 j");
    bool anyMarks = false;
    for (const Layer layer : {Layer::drawing, Layer::marks}) {
        const bool has = writeLayer(page, layer, c, usedForms);
        anyMarks = anyMarks || (has && layer == Layer::marks);
    }
    for (const int form : usedForms) {
        xobjects += "/G" + std::to_string(form) + " " + std::to_string(form) + " 0 R ";
    }
    if (!c.finish()) {
        failed_ = true;
    }
    std::string contents;
    for (const int stream : streams) {
        contents += std::to_string(stream) + " 0 R ";
    }
    if (streams.size() == 1) {
        contents.pop_back();
    } else {
        contents = "[" + contents + "]";
    }
    writePageDictionary(pageObject, frame, contents, xobjects, anyMarks);
    pageObjects_.push_back(pageObject);
    return check(error);
}

namespace {

// A raster of at most sixteen colours (a comparison's result: paper, ink
// and the marks' colours; a black and white scan) as an indexed image of
// 1, 2 or 4 bits a pixel: a sixth to a twenty-fourth of the RGB bytes to
// compress, and the same colours on screen and paper.
struct FewColours {
    std::string colourSpace;  // [/Indexed /DeviceRGB hival <table>] or /DeviceGray
    int bits = 0;
    std::string data;  // rows of indexes, each row starting on a byte
};

// Bits (2 or 4) a pixel, each row starting on a byte; false at a colour
// beyond what the bits hold. Eight pixels that repeat the colour before
// them are taken at once: paper runs for most of a row.
template <std::size_t N, unsigned Bits>
bool indexColours(const Raster& r, std::array<std::uint32_t, 16>& palette, std::size_t& colours,
                  std::string& indexes) {
    static_assert(Bits == 2 || Bits == 4);
    constexpr std::size_t kMost = std::size_t{1} << Bits;
    constexpr unsigned kPerByte = 8 / Bits;
    const auto width = static_cast<std::size_t>(r.width);
    const std::size_t rowBytes = (width * Bits + 7) / 8;
    indexes.assign(rowBytes * r.height, '\0');
    const auto colourAt = [](const std::uint8_t* q) {
        if constexpr (N == 3) {
            return std::uint32_t{q[0]} << 16 | std::uint32_t{q[1]} << 8 | q[2];
        } else {
            return std::uint32_t{q[0]};
        }
    };
    const std::uint8_t* p = r.pixels.data();
    std::uint32_t last = colourAt(p);
    unsigned index = 0;
    palette[0] = last;
    colours = 1;
    // Each colour eight times over, as the pixels' bytes.
    std::array<std::array<std::uint8_t, 8 * N>, kMost> runs{};
    const auto addRun = [&](std::size_t i, std::uint32_t c) {
        for (std::size_t k = 0; k < 8 * N; ++k) {
            runs[i][k] = static_cast<std::uint8_t>(c >> (8 * (N - 1 - k % N)));
        }
    };
    addRun(0, last);
    // An index repeated over a byte.
    const auto repeated = [](unsigned i) { return Bits == 4 ? i * 0x11u : i * 0x55u; };
    for (int y = 0; y < r.height; ++y) {
        const std::uint8_t* row = p + static_cast<std::size_t>(y) * width * N;
        auto* out = reinterpret_cast<unsigned char*>(indexes.data()) + rowBytes * y;
        std::size_t x = 0;
        while (x < width) {
            if (x % 8 == 0 && x + 8 <= width &&
                std::memcmp(row + x * N, runs[index].data(), 8 * N) == 0) {
                if (index != 0) {
                    std::memset(out + x / kPerByte, static_cast<int>(repeated(index)), Bits);
                }
                x += 8;
                continue;
            }
            const std::uint32_t c = colourAt(row + x * N);
            if (c != last) {
                const auto* known = std::find(palette.begin(), palette.begin() + colours, c);
                if (known == palette.begin() + colours) {
                    if (colours == kMost) {
                        return false;
                    }
                    addRun(colours, c);
                    palette[colours++] = c;
                }
                last = c;
                index = static_cast<unsigned>(known - palette.begin());
            }
            out[x / kPerByte] |=
                static_cast<unsigned char>(index << (8 - Bits * (1 + x % kPerByte)));
            ++x;
        }
    }
    return true;
}

bool fewColours(const Raster& r, FewColours& out) {
    const auto n = static_cast<std::size_t>(r.channels);
    std::array<std::uint32_t, 16> palette{};
    std::size_t colours = 0;
    // Two bits a pixel first (a result page's paper, ink and marks; a
    // black and white scan), four where a fifth colour shows. A grey image
    // of five is no image of black and white.
    std::string indexes;
    int stored = 2;
    if (!(n == 3 ? indexColours<3, 2>(r, palette, colours, indexes)
                 : indexColours<1, 2>(r, palette, colours, indexes))) {
        if (n != 3 || !indexColours<3, 4>(r, palette, colours, indexes)) {
            return false;
        }
        stored = 4;
    }
    // What each index is written as: itself into a palette, or for a grey
    // image of black and white only, the bit of plain grey (0 black, 1
    // white), which reads back as grey. Other greys stay as they are.
    std::array<unsigned, 16> code{};
    for (unsigned i = 0; i < 16; ++i) {
        code[i] = i;
    }
    if (n == 1) {
        for (std::size_t i = 0; i < colours; ++i) {
            if (palette[i] != 0 && palette[i] != 255) {
                return false;
            }
            code[i] = palette[i] == 255 ? 1 : 0;
        }
    }
    out.bits = colours <= 2 ? 1 : colours <= 4 ? 2 : 4;
    if (out.bits == stored) {
        out.data = std::move(indexes);
    } else {
        // One bit a pixel from two: each byte of indexes (four pixels)
        // through a table to their four codes, two such bytes to a byte.
        // Runs of index 0 that come out as 0 are passed over eight bytes
        // at a time.
        const auto width = static_cast<std::size_t>(r.width);
        const std::size_t from = (width * 2 + 7) / 8;
        const std::size_t to = (width + 7) / 8;
        out.data.assign(to * r.height, '\0');
        std::array<std::uint8_t, 256> four{};
        for (unsigned v = 0; v < 256; ++v) {
            four[v] = static_cast<std::uint8_t>(code[v >> 6] << 3 | code[(v >> 4) & 3u] << 2 |
                                                code[(v >> 2) & 3u] << 1 | code[v & 3u]);
        }
        // Bits of the last byte beyond the row: kept clear.
        const auto spare = static_cast<unsigned>(to * 8 - width);
        const auto lastByte = static_cast<unsigned char>(0xFFu << spare);
        const std::size_t whole = from / 2;
        for (int y = 0; y < r.height; ++y) {
            const auto* in = reinterpret_cast<const unsigned char*>(indexes.data()) + from * y;
            auto* row = reinterpret_cast<unsigned char*>(out.data.data()) + to * y;
            std::size_t o = 0;
            for (; o + 4 <= whole; o += 4) {
                std::uint64_t eight = 0;
                std::memcpy(&eight, in + 2 * o, 8);
                if (eight == 0 && four[0] == 0) {
                    continue;
                }
                for (std::size_t k = o; k < o + 4; ++k) {
                    row[k] = static_cast<unsigned char>(four[in[2 * k]] << 4 | four[in[2 * k + 1]]);
                }
            }
            for (; o < whole; ++o) {
                row[o] = static_cast<unsigned char>(four[in[2 * o]] << 4 | four[in[2 * o + 1]]);
            }
            // The last byte, where the row's indexes end within it: those
            // beyond count as 0.
            if (o < to) {
                row[o] = static_cast<unsigned char>(four[in[2 * o]] << 4 | four[0]);
            }
            row[to - 1] &= lastByte;
        }
    }
    if (n == 1) {
        out.colourSpace = "/DeviceGray";
        return true;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string table;
    for (std::size_t k = 0; k < colours; ++k) {
        for (int shift = 16; shift >= 0; shift -= 8) {
            const auto byte = (palette[k] >> shift) & 0xFF;
            table += kDigits[byte >> 4];
            table += kDigits[byte & 15];
        }
    }
    out.colourSpace = "[/Indexed /DeviceRGB " + std::to_string(colours - 1) + " <" + table + ">]";
    return true;
}

}  // namespace

// The page's rasters, each an image object drawn where it stands.
void PdfWriter::writeImages(const Page& page, Content& c, std::string& xobjects) {
    for (const auto& r : page.rasters) {
        if (!validRaster(r)) {
            continue;
        }
        const int image = newObject();
        const std::string size = "/Type /XObject /Subtype /Image /Width " +
                                 std::to_string(r.width) + " /Height " + std::to_string(r.height) +
                                 " /ColorSpace ";
        FewColours few;
        if (fewColours(r, few)) {
            writeStream(image,
                        size + few.colourSpace + " /BitsPerComponent " + std::to_string(few.bits),
                        deflate(few.data));
        } else {
            const std::string_view data(reinterpret_cast<const char*>(r.pixels.data()),
                                        r.pixels.size());
            writeStream(
                image,
                size + (r.channels == 3 ? "/DeviceRGB" : "/DeviceGray") + " /BitsPerComponent 8",
                deflate(data));
        }
        const std::string name = "/Im" + std::to_string(image);
        xobjects += name + " " + std::to_string(image) + " 0 R ";
        const double w = r.width * kUnitsPerInch / r.dpi;
        const double h = r.height * kUnitsPerInch / r.dpi;
        c.op("q");
        c.num(w);
        c.num(0);
        c.num(0);
        c.num(h);
        c.point({r.origin.x, r.origin.y - h});
        c.op("cm");
        c.append(name);
        c.op(" Do Q");
    }
}

bool PdfWriter::writeLayer(const Page& page, Layer layer, Content& c, std::set<int>& usedForms) {
    const auto mine = [&](const Stroke& s) { return s.layer == layer; };
    const bool has = std::any_of(page.paths.begin(), page.paths.end(),
                                 [&](const Path& p) { return mine(p.stroke); }) ||
                     std::any_of(page.texts.begin(), page.texts.end(),
                                 [&](const Text& t) { return mine(t.stroke); });
    if (!has) {
        return false;
    }
    if (layer == Layer::marks) {
        c.op("/OC /Marks BDC");
    }
    writeFills(page, layer, c);
    writeOutlines(page, layer, c);
    LayerLabels labels;
    writeGlyphs(page, layer, c, usedForms, labels);
    if (!labels.labels.empty()) {
        writeTextLayer(labels, c);
    }
    if (layer == Layer::marks) {
        c.op("EMC");
    }
    return true;
}

void PdfWriter::writeFills(const Page& page, Layer layer, Content& c) const {
    Rgb fillColor = 0xFFFFFFFF;
    for (const auto& p : page.paths) {
        if (!p.filled || p.points.size() < 3 || p.stroke.layer != layer) {
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
}

namespace {

// How an outline is stroked; outlines of one style go out as one path.
struct Style {
    Rgb color = 0xFFFFFFFF;
    double width = -1;
    std::vector<double> dashes;
    bool operator==(const Style&) const = default;
};

Style styleOf(const Stroke& stroke) {
    const double w = stroke.widthMm * kUnitsPerMm;
    Style style{stroke.color, std::isfinite(w) ? std::max(w, kMinLineUnits) : kMinLineUnits, {}};
    double total = 0;
    for (double mm : stroke.dashMm) {
        if (!std::isfinite(mm) || mm < 0) {
            style.dashes.clear();
            total = 0;
            break;
        }
        style.dashes.push_back(mm * kUnitsPerMm);
        total += mm;
    }
    if (!(total > 0)) {
        style.dashes.clear();
    }
    return style;
}

// The operators that take the stroke state from one style to the next (a
// template, as the page's content stream is the writer's own class).
template <class Content>
void writeStyleChange(const Style& from, const Style& to, Content& c) {
    if (to.color != from.color) {
        c.color(to.color, "RG");
    }
    if (to.width != from.width) {
        c.num(to.width);
        c.op("w");
    }
    if (to.dashes != from.dashes) {
        c.append('[');
        for (double d : to.dashes) {
            c.num(d);
        }
        c.op("] 0 d");
    }
}

}  // namespace

void PdfWriter::writeOutlines(const Page& page, Layer layer, Content& c) const {
    Style current;
    std::size_t batched = 0;
    bool pending = false;
    for (std::size_t i = 0; i < page.paths.size(); ++i) {
        // An edge read without points of its own (drawing::HpglReadOptions::
        // foldFillEdges) is drawn on its fill's.
        const Path& path = page.paths[i];
        const Path& p = drawnOn(page.paths, i);
        if (path.filled || p.points.empty() || path.stroke.layer != layer) {
            continue;
        }
        Style style = styleOf(path.stroke);
        if (pending && (!(style == current) || batched > kMaxBatchPoints)) {
            c.op("S");
            pending = false;
            batched = 0;
        }
        if (!(style == current)) {
            writeStyleChange(current, style, c);
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
}

// Labels: their glyphs as shapes (each glyph's outline written once, as a
// form, and placed where it stands); their characters go invisibly over
// them in the text layer, so that text can be searched and copied.
void PdfWriter::writeGlyphs(const Page& page, Layer layer, Content& c, std::set<int>& usedForms,
                            LayerLabels& labels) {
    Rgb fillColor = 0xFFFFFFFF;
    for (const auto& t : page.texts) {
        if (t.stroke.layer != layer) {
            continue;
        }
        auto placed = labels_->glyphs(t);
        if (placed.empty()) {
            continue;
        }
        if (t.stroke.color != fillColor) {
            fillColor = t.stroke.color;
            c.color(fillColor, "rg");
        }
        Content::Placement at;
        std::vector<LayerLabels::Glyph> glyphs;
        glyphs.reserve(placed.size());
        for (const auto& g : placed) {
            // Each glyph's character, for the font's ToUnicode map, in the
            // order the text layer writes them.
            fonts_[g.font].chars.emplace(g.index, g.chars);
            glyphs.push_back({g.font, g.index});
            const int form = glyphForm(g.font, g.index);
            if (form == 0) {
                continue;
            }
            c.placeForm(g.toPage, form, at);
            usedForms.insert(form);
        }
        if (at.open) {
            c.op("Q");
        }
        labels.labels.emplace_back(&t, std::move(glyphs));
    }
}

void PdfWriter::writeTextLayer(const LayerLabels& labels, Content& c) {
    c.op("BT 3 Tr");
    for (const auto& [tp, placed] : labels.labels) {
        const Text& t = *tp;
        PrecisePoint start;
        std::size_t chars = 0;
        labelStart(t, start, chars);
        // The text layer's glyphs advance one cell, and its em is the
        // height that makes the label's character height.
        const double along = 1.5 * t.charWidth / kTextAdvance;
        const double up = t.charHeight / kTextCapHeight;
        const double a = t.angleDeg * 3.14159265358979323846 / 180;
        const auto matrix = [&](const Point& at) {
            c.num(along * std::cos(a));
            c.num(along * std::sin(a));
            c.num(-up * std::sin(a));
            c.num(up * std::cos(a));
            c.point(at);
            c.op("Tm");
        };
        if (!t.vertical) {
            matrix(start);
        }
        // The glyphs of one font in a row go in one string: each advances
        // its cell as it would in a string of its own.
        int font = -1;
        bool open = false;
        const auto close = [&] {
            if (open) {
                c.append("> Tj ");
                open = false;
            }
        };
        for (std::size_t i = 0; i < placed.size(); ++i) {
            const auto& g = placed[i];
            if (t.vertical) {
                // Each character where it stands, down the column.
                close();
                const double step = static_cast<double>(i) * 1.5 * t.charWidth;
                matrix({start.x + step * std::sin(a), start.y - step * std::cos(a)});
            }
            if (g.font != font) {
                close();
                font = g.font;
                c.append(fontResource(font) + " 1 Tf ");
            }
            if (!open) {
                c.append('<');
                open = true;
            }
            c.hex4(static_cast<unsigned>(g.index));
        }
        close();
        c.op("");
    }
    c.op("ET");
}

void PdfWriter::writePageDictionary(int pageObject, const Frame& frame, const std::string& contents,
                                    const std::string& xobjects, bool anyMarks) {
    std::string fontsOfPage;
    for (const auto& [font, used] : fonts_) {
        if (used.object != 0) {
            fontsOfPage +=
                "/F" + std::to_string(font) + " " + std::to_string(used.object) + " 0 R ";
        }
    }
    Content box(frame);
    box.num(frame.width * kPointsPerUnit);
    box.num(frame.height * kPointsPerUnit);
    beginObject(pageObject);
    const std::string dict =
        "<< /Type /Page /Parent " + std::to_string(pagesObject_) + " 0 R /MediaBox [0 0 " +
        box.str() + "] /Resources << /Font << " + fontsOfPage + ">>" +
        (xobjects.empty() ? "" : " /XObject << " + xobjects + ">>") +
        (anyMarks ? " /Properties << /Marks " + std::to_string(marksObject_) + " 0 R >>" : "") +
        " >> /Contents " + contents + " >>\nendobj\n";
    out_ << dict;
    written_ += static_cast<long long>(dict.size());
}

bool PdfWriter::close(std::string& error) {
    if (!check(error)) {
        return false;
    }
    if (pageObjects_.empty()) {
        error = "no pages to write";
        return false;
    }
    for (const auto& [font, used] : fonts_) {
        writeFont(font);
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

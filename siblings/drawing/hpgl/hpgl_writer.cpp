// Normalised HP-GL/2 output. Every page restates what it needs (pen,
// colour, width, line type, label settings) the first time it differs from
// what was last written, so that the reader gets back the same page.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstring>
#include <map>
#include <numbers>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "drawing/hpgl/line_types.h"
#include "drawing/hpgl/rtl.h"
#include "drawing/round_half_away.h"
#include "drawing/utf8.h"

namespace drawing {

namespace {

constexpr double kMaxUnits = 1073741823.0;  // 2^30 - 1, the HP-GL/2 integer range
constexpr int kMaxPen = 255;
// A raster image goes out in bands of at most this many bytes of pixels: a
// quarter of what the reader takes as one image.
constexpr std::size_t kRasterBandBytes = rtl::kMaxRasterBytes / 4;

std::string num(double v) {
    if (!std::isfinite(v)) {
        v = 0;
    }
    // Fixed notation: an exponent would read as an instruction.
    v = std::clamp(v, -1e15, 1e15);
    if (std::fabs(v) < 1e-12) {
        v = 0;
    }
    char buf[128];
    const auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    std::string s(buf, result.ptr);
    // ".35" reads as "0.35"; a leading zero is a byte per number.
    const std::size_t zero = s[0] == '-' ? 1 : 0;
    if (s.size() > zero + 2 && s[zero] == '0' && s[zero + 1] == '.') {
        s.erase(zero, 1);
    }
    return s;
}

// v to the nearest whole unit, halves away from zero (as llround, without
// the library call a point would cost twice).
inline long long whole(double v) {
    if (!(std::fabs(v) <= kMaxUnits)) {  // out of range, or not a number
        v = std::isfinite(v) ? std::clamp(v, -kMaxUnits, kMaxUnits) : 0;
    }
    return roundHalfAway(v);
}

std::string units(double v) {
    return std::to_string(whole(v));
}

std::string xy(Point p) {
    return units(p.x) + "," + units(p.y);
}

// One number of a 7-bit encoded polyline: sign in the lowest bit, then base
// 32 digits, least significant first, the last one marked. Printable ASCII
// only, so the file stays text.
unsigned long long encodedValue(long long n) {
    return static_cast<unsigned long long>(n < 0 ? -n : n) << 1 | (n < 0 ? 1u : 0u);
}

// The digits encodeNumber writes for n; mostly one to three.
inline int encodedLength(long long n) {
    const unsigned long long v = encodedValue(n);
    if (v < (1u << 15)) {
        return v < 32 ? 1 : v < (1u << 10) ? 2 : 3;
    }
    return (std::bit_width(v) + 4) / 5;
}

char* encodeNumber(long long n, char* out) {
    auto v = encodedValue(n);
    while (v >= 32) {
        *out++ = static_cast<char>(63 + (v & 31));
        v >>= 5;
    }
    *out++ = static_cast<char>(95 + v);
    return out;
}

// Eight bytes from p as one word, the first byte in the lowest eight bits.
inline std::uint64_t load8(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
        w = __builtin_bswap64(w);
    }
    return w;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101ull;

// How many bytes from p, at most limit (at least 1), equal p[0]. A scan's
// paper is long runs of one value, compared here two words at a time.
inline std::size_t sameRun(const std::uint8_t* p, std::size_t limit) {
    const std::uint64_t first = p[0] * kEveryByte;
    std::size_t k = 1;
    while (k + 16 <= limit) {
        const std::uint64_t low = load8(p + k) ^ first;
        const std::uint64_t high = load8(p + k + 8) ^ first;
        if ((low | high) != 0) {
            return k + static_cast<std::size_t>(low != 0 ? std::countr_zero(low)
                                                         : 64 + std::countr_zero(high)) /
                           8;
        }
        k += 16;
    }
    while (k < limit && p[k] == p[0]) {
        ++k;
    }
    return k;
}

// PackBits: a run of two to 128 equal bytes as its count and the byte, the
// bytes between runs as they are, at most 128 a piece. A longer run goes
// out as pieces of 128; a single byte left over starts the next literal.
// Writes at most 2 * n bytes from out and returns their end.
char* packBits(const std::uint8_t* in, std::size_t n, char* out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = sameRun(in + i, n - i);
        if (run >= 2) {
            while (run >= 2) {
                const std::size_t piece = std::min<std::size_t>(run, 128);
                *out++ = static_cast<char>(static_cast<std::int8_t>(1 - static_cast<int>(piece)));
                *out++ = static_cast<char>(in[i]);
                i += piece;
                run -= piece;
            }
            continue;
        }
        std::size_t literal = 1;
        while (i + literal < n && literal < 128 &&
               !(i + literal + 1 < n && in[i + literal] == in[i + literal + 1])) {
            ++literal;
        }
        *out++ = static_cast<char>(literal - 1);
        std::memcpy(out, in + i, literal);
        out += literal;
        i += literal;
    }
    return out;
}

// Whether every byte is 0 or 255: each byte of a word has to be its own
// top bit spread over all eight.
bool onlyBlackAndWhite(const std::vector<std::uint8_t>& pixels) {
    const std::uint8_t* p = pixels.data();
    const std::size_t n = pixels.size();
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const std::uint64_t a = load8(p + i), b = load8(p + i + 8), c = load8(p + i + 16),
                            d = load8(p + i + 24);
        if ((a & b & c & d) == ~std::uint64_t{0}) {
            continue;  // paper
        }
        for (const std::uint64_t w : {a, b, c, d}) {
            if (w != ((w >> 7) & kEveryByte) * 0xFF) {
                return false;
            }
        }
    }
    for (; i < n; ++i) {
        if (p[i] != 0 && p[i] != 255) {
            return false;
        }
    }
    return true;
}

// The top bit of each of eight pixels, set for black, moved down to its
// byte's lowest bit; the multiplication gathers the eight, pixel i at bit
// 63 - i, with no two products landing on one bit.
inline std::uint8_t eightPixels(std::uint64_t w) {
    const std::uint64_t black = (~w >> 7) & kEveryByte;
    return static_cast<std::uint8_t>((black * 0x8040201008040201ull) >> 56);
}

// A row of black (0) and white (255) pixels at a bit a pixel, black set,
// the first pixel in the highest bit; bits has (width + 7) / 8 bytes.
void packRowBits(const std::uint8_t* pixels, std::size_t width, std::uint8_t* bits) {
    std::size_t x = 0;
    for (; x + 64 <= width; x += 64, bits += 8) {
        std::uint64_t words[8];
        std::uint64_t all = ~std::uint64_t{0};
        for (int k = 0; k < 8; ++k) {
            words[k] = load8(pixels + x + 8 * k);
            all &= words[k];
        }
        if (all == ~std::uint64_t{0}) {
            std::memset(bits, 0, 8);  // paper
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            bits[k] = eightPixels(words[k]);
        }
    }
    for (; x + 8 <= width; x += 8) {
        *bits++ = eightPixels(load8(pixels + x));
    }
    if (x < width) {
        std::uint8_t last = 0;
        for (std::size_t k = 0; x + k < width; ++k) {
            if (pixels[x + k] == 0) {
                last |= static_cast<std::uint8_t>(0x80 >> k);
            }
        }
        *bits = last;
    }
}

// What a page writes, gathered and handed to the stream in large pieces:
// a stream's operators cost more than the few characters each of ours
// writes.
class Buffered {
  public:
    explicit Buffered(std::ostream& out) : out_(out) {}
    ~Buffered() { flush(); }
    Buffered(const Buffered&) = delete;
    Buffered& operator=(const Buffered&) = delete;

    Buffered& operator<<(std::string_view s) {
        buf_.append(s);
        if (buf_.size() >= kPiece) {
            flush();
        }
        return *this;
    }
    Buffered& operator<<(const char* s) { return *this << std::string_view(s); }
    Buffered& operator<<(const std::string& s) { return *this << std::string_view(s); }
    Buffered& operator<<(char c) {
        buf_ += c;
        return *this;
    }
    // Integers in decimal, as the stream writes them.
    template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>) Buffered& operator<<(T v) {
        char text[24];
        return *this << std::string_view(text, std::to_chars(text, text + sizeof text, v).ptr);
    }
    void flush() {
        out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        buf_.clear();
    }

  private:
    static constexpr std::size_t kPiece = 1 << 16;
    std::ostream& out_;
    std::string buf_;
};

// The text of the encoded polyline being written, grown in place: a move
// is encoded straight into room made ahead of it.
class PolylineText {
  public:
    void assign(std::string_view s) {
        size_ = 0;
        std::memcpy(room(s.size()), s.data(), s.size());
        size_ = s.size();
    }
    void push_back(char c) {
        *room(1) = c;
        ++size_;
    }
    // At least n bytes of room after the text; grow() takes what was
    // written there.
    char* room(std::size_t n) {
        if (buf_.size() - size_ < n) {
            buf_.resize(std::max(buf_.size() * 2, size_ + n));
        }
        return buf_.data() + size_;
    }
    void grow(const char* end) { size_ = static_cast<std::size_t>(end - buf_.data()); }
    std::size_t size() const { return size_; }
    std::string_view view() const { return {buf_.data(), size_}; }

  private:
    std::vector<char> buf_;
    std::size_t size_ = 0;
};

class PageWriter {
  public:
    explicit PageWriter(std::ostream& out) : out_(out) {}
    ~PageWriter() {
        endPolyline();
        // The next page starts on the drawing's own layer.
        if (layer_ != Layer::drawing) {
            out_ << "CO\"" << kDrawingLayerComment << "\";";
        }
    }

    void raster(const Raster& r);
    void rasterBand(const Raster& r, int firstRow, int rows, double down, bool bilevel);
    void path(const Path& p);
    void text(const Text& t);

  private:
    void select(const Stroke& s, bool lines);
    void lineType(const Stroke& s);
    void writeLabel(const std::string& text);
    // Encoded polylines: open outlines of one stroke share one PE.
    void beginPolyline();
    void endPolyline();
    void moveTo(long long x, long long y, bool penUp);

    Buffered out_;
    std::ostringstream state_;  // what select() has to say, before it is said
    // A raster row at a bit a pixel, and packed; kept from row to row.
    std::vector<std::uint8_t> bits_;
    std::vector<char> packed_;
    bool inPolyline_ = false;
    PolylineText polyline_;
    std::size_t lineStart_ = 0;
    // Where the pen is, when the reader knows it to the unit: relative
    // moves are exact only from there.
    bool penKnown_ = false;
    // The path whose polygon the buffer holds (PM 2 left it there), while
    // it is the last path written; it belongs to the page being written.
    const Path* lastPolygon_ = nullptr;
    long long penX_ = 0, penY_ = 0;
    int pen_ = -1;
    Layer layer_ = Layer::drawing;
    std::map<int, Rgb> colors_;
    std::map<int, double> widths_;
    bool solid_ = true;
    int lineType_ = 0;
    std::vector<double> dash_;
    std::map<int, std::vector<double>> userPatterns_;
    // Unknown at the start of a page: the first label states them.
    int labelOrigin_ = -1;
    int terminator_ = -1;
    double charW_ = std::nan(""), charH_ = std::nan("");
    double angle_ = std::nan("");
    double slant_ = std::nan("");
    bool vertical_ = false;  // IN sets DV 0
};

void PageWriter::beginPolyline() {
    if (!inPolyline_) {
        polyline_.assign("PE7");
        lineStart_ = 0;
        inPolyline_ = true;
    }
}

void PageWriter::endPolyline() {
    if (inPolyline_) {
        out_ << polyline_.view() << ";PU;\n";
        inPolyline_ = false;
    }
}

void PageWriter::moveTo(long long x, long long y, bool penUp) {
    if (polyline_.size() - lineStart_ > 72) {
        polyline_.push_back('\n');
        lineStart_ = polyline_.size();
    }
    // The pen-up flag, then two numbers of up to 14 digits each (a sign
    // bit and 64 bits of magnitude at 5 bits a digit), after the "=" of
    // absolute ones; relative ones when they are no longer.
    char* end = polyline_.room(32);
    if (penUp) {
        *end++ = '<';
    }
    // Relative moves of a digit each, the usual step along an outline,
    // are never longer than an absolute one (an "=" and a digit or more
    // each).
    int relative = 0;
    if (penKnown_) {
        relative = encodedLength(x - penX_) + encodedLength(y - penY_);
    }
    if (penKnown_ && (relative <= 3 || relative <= 1 + encodedLength(x) + encodedLength(y))) {
        end = encodeNumber(y - penY_, encodeNumber(x - penX_, end));
    } else {
        *end++ = '=';
        end = encodeNumber(y, encodeNumber(x, end));
    }
    polyline_.grow(end);
    penKnown_ = true;
    penX_ = x;
    penY_ = y;
}

void PageWriter::select(const Stroke& s, bool lines) {
    state_.str({});
    if (s.layer != layer_) {
        state_ << "CO\"" << (s.layer == Layer::marks ? kMarksLayerComment : kDrawingLayerComment)
               << "\";";
        layer_ = s.layer;
    }
    const int pen = std::clamp(s.pen, 0, kMaxPen);
    if (pen != pen_) {
        state_ << "SP" << pen << ";";
        pen_ = pen;
    }
    auto color = colors_.find(pen);
    if (color == colors_.end() || color->second != s.color) {
        state_ << "PC" << pen << "," << ((s.color >> 16) & 0xFF) << "," << ((s.color >> 8) & 0xFF)
               << "," << (s.color & 0xFF) << ";";
        colors_[pen] = s.color;
    }
    auto width = widths_.find(pen);
    if (width == widths_.end() || width->second != s.widthMm) {
        state_ << "PW" << num(s.widthMm) << "," << pen << ";";
        widths_[pen] = s.widthMm;
    }
    if (lines) {
        lineType(s);
    }
}

void PageWriter::lineType(const Stroke& s) {
    if (s.dashMm.empty()) {
        if (!solid_) {
            state_ << "LT;";
            solid_ = true;
        }
        return;
    }
    if (!solid_ && s.lineType == lineType_ && s.dashMm == dash_) {
        return;
    }
    double length = 0;
    for (double d : s.dashMm) {
        length += d;
    }
    int type = std::clamp(s.lineType, -8, 8);
    std::vector<double> percent;
    for (double d : s.dashMm) {
        percent.push_back(length > 0 ? d / length * 100 : 0);
    }
    // Patterns of other origins go through a user line type of the same number.
    const int slot = std::abs(type) == 0 ? 8 : std::abs(type);
    const auto& current =
        userPatterns_.count(slot) ? userPatterns_[slot] : builtinLinePattern(type == 0 ? 0 : slot);
    if (type == 0 && percent != builtinLinePattern(0)) {
        type = 8;
    }
    if (percent != current && type != 0) {
        state_ << "UL" << slot;
        for (double p : percent) {
            state_ << "," << num(p);
        }
        state_ << ";";
        userPatterns_[slot] = percent;
    }
    state_ << "LT" << type << "," << num(length) << ",1;";
    solid_ = false;
    lineType_ = s.lineType;
    dash_ = s.dashMm;
}

void PageWriter::path(const Path& p) {
    // An edge read without points of its own (HpglReadOptions::
    // foldFillEdges) stands for its fill's: it edges the buffer below.
    const bool folded =
        p.points.empty() && lastPolygon_ != nullptr && looksLikeEdgeOf(p, *lastPolygon_);
    if (p.points.size() < 2 && !folded) {
        return;
    }
    select(p.stroke, !p.filled);
    if (state_.tellp() != 0) {
        endPolyline();
        out_ << state_.view();
    }
    // An outline of the polygon written just before it (a letter's edge
    // after its fill, as plots of text as glyph outlines have them) edges
    // the polygon buffer, which still holds it: half such a page's points
    // are not written twice.
    const Path* before = lastPolygon_;
    lastPolygon_ = nullptr;
    if (folded || (!p.filled && p.closed && before != nullptr && before->points == p.points &&
                   before->subpathStarts == p.subpathStarts)) {
        endPolyline();
        out_ << "EP;PU;\n";
        lastPolygon_ = before;
        return;
    }
    std::vector<std::size_t> starts = {0};
    for (std::size_t s : p.subpathStarts) {
        if (s > starts.back() && s < p.points.size()) {
            starts.push_back(s);
        }
    }
    starts.push_back(p.points.size());
    const auto move = [&](std::size_t i, bool penUp) {
        moveTo(whole(p.points[i].x), whole(p.points[i].y), penUp);
    };
    if (!p.filled && !p.closed) {
        for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
            beginPolyline();
            for (std::size_t i = starts[k]; i < starts[k + 1]; ++i) {
                move(i, i == starts[k]);
            }
        }
        return;
    }
    // The polygon starts where the pen stands when PM0 comes.
    beginPolyline();
    move(0, true);
    out_ << polyline_.view() << ";PM0;";
    inPolyline_ = false;
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        beginPolyline();
        for (std::size_t i = starts[k] + (k == 0 ? 1 : 0); i < starts[k + 1]; ++i) {
            move(i, i == starts[k]);
        }
        out_ << polyline_.view() << (k + 2 < starts.size() ? ";PM1;" : ";PM2;");
        inPolyline_ = false;
        // Plotters differ on where the pen stands after a closed subpath.
        penKnown_ = false;
    }
    out_ << (!p.filled ? "EP;PU;\n" : p.evenOdd ? "FP0;PU;\n" : "FP1;PU;\n");
    lastPolygon_ = &p;
}

void PageWriter::writeLabel(const std::string& text) {
    bool used[256] = {};
    for (unsigned char c : text) {
        used[c] = true;
    }
    // The terminator in force is kept while the text allows it.
    int terminator = terminator_ >= 0 && !used[terminator_] ? terminator_ : -1;
    for (int c : {3, 4, 1, 2, 5, 6, 7, 8}) {
        if (terminator < 0 && !used[c]) {
            terminator = c;
        }
    }
    for (int c = 14; terminator < 0 && c < 0xC0; ++c) {
        if (!used[c] && c != 27 && c != ';') {
            terminator = c;
        }
    }
    // UTF-8 never holds 0xC0, so a terminator is always found.
    if (terminator < 0) {
        terminator = 0xC0;
    }
    if (terminator != terminator_) {
        out_ << "DT" << static_cast<char>(terminator) << ",1;";
        terminator_ = terminator;
    }
    out_ << "LB" << text << static_cast<char>(terminator) << ";";
}

void PageWriter::text(const Text& t) {
    lastPolygon_ = nullptr;
    if (t.text.empty()) {
        return;
    }
    endPolyline();
    select(t.stroke, false);
    out_ << state_.str() << "PU" << xy(t.origin) << ";";
    // A label leaves the pen wherever its last character ends.
    penKnown_ = false;
    if (t.labelOrigin != labelOrigin_) {
        out_ << "LO" << t.labelOrigin << ";";
        labelOrigin_ = t.labelOrigin;
    }
    if (t.charWidth != charW_ || t.charHeight != charH_) {
        out_ << "SI" << num(t.charWidth / 400) << "," << num(t.charHeight / 400) << ";";
        charW_ = t.charWidth;
        charH_ = t.charHeight;
    }
    if (t.angleDeg != angle_) {
        const double a = t.angleDeg * std::numbers::pi / 180;
        out_ << "DI" << num(std::cos(a)) << "," << num(std::sin(a)) << ";";
        angle_ = t.angleDeg;
    }
    if (t.slant != slant_) {
        out_ << "SL" << num(t.slant) << ";";
        slant_ = t.slant;
    }
    if (t.vertical != vertical_) {
        out_ << (t.vertical ? "DV1;" : "DV0;");
        vertical_ = t.vertical;
    }
    // Labels go out as UTF-8, which our reader tells from the 8-bit labels
    // of other plots; a label that is not UTF-8 is taken as Latin-1, as the
    // reader and the renderers take it.
    writeLabel(utf8OrLatin1(t.text));
    out_ << "\n";
}

void PageWriter::raster(const Raster& r) {
    lastPolygon_ = nullptr;
    if (r.width <= 0 || r.height <= 0 || (r.channels != 1 && r.channels != 3) ||
        r.pixels.size() != static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height) *
                               static_cast<std::size_t>(r.channels)) {
        return;
    }
    // An image larger than a reader takes in one piece (a comparison of a
    // large scan at a fine resolution) goes out as bands one below the
    // other, each an image of its own, so that every page written here
    // reads back.
    const std::size_t rowBytes = static_cast<std::size_t>(r.width) * r.channels;
    const auto bandRows = static_cast<int>(std::clamp<std::size_t>(
        kRasterBandBytes / rowBytes, 1, static_cast<std::size_t>(r.height)));
    const double unitsPerRow = r.dpi > 0 ? kUnitsPerInch / r.dpi : 0;
    // Black and white images, the usual scan, go out at a bit a pixel.
    const bool bilevel = r.channels == 1 && onlyBlackAndWhite(r.pixels);
    for (int y = 0; y < r.height; y += bandRows) {
        rasterBand(r, y, std::min(bandRows, r.height - y), y * unitsPerRow, bilevel);
    }
}

void PageWriter::rasterBand(const Raster& r, int firstRow, int rows, double down, bool bilevel) {
    endPolyline();
    penKnown_ = false;
    const char esc = 0x1B;
    if (firstRow == 0) {
        out_ << "PU" << xy(r.origin) << ";";
    } else {
        // Where the band above ended, to the fraction of a unit.
        out_ << "PU" << units(r.origin.x) << "," << num(whole(r.origin.y) - down) << ";";
    }
    out_ << esc << "%1A";
    out_ << esc << "*t" << num(r.dpi) << "R" << esc << "*r" << r.width << "s" << rows << "T";
    if (bilevel) {
        out_ << esc << "*r1U";
    } else if (r.channels == 3) {
        out_ << esc << "*v6W" << '\0' << '\3' << '\10' << '\10' << '\10' << '\10';
    } else {
        out_ << esc << "*v6W" << '\0' << '\1' << '\10' << '\10' << '\10' << '\10';
        for (int i = 0; i < 256; ++i) {
            out_ << esc << "*v" << i << "a" << i << "b" << i << "c" << i << "I";
        }
    }
    out_ << esc << "*r1A" << esc << "*b2M";
    const auto width = static_cast<std::size_t>(r.width);
    const std::size_t rowBytes = width * static_cast<std::size_t>(r.channels);
    if (bilevel) {
        bits_.resize((width + 7) / 8);
    }
    const std::size_t packedBytes = bilevel ? bits_.size() : rowBytes;
    if (packed_.size() < 2 * packedBytes) {
        packed_.resize(2 * packedBytes);
    }
    for (int y = firstRow; y < firstRow + rows; ++y) {
        const std::uint8_t* row = r.pixels.data() + rowBytes * static_cast<std::size_t>(y);
        if (bilevel) {
            packRowBits(row, width, bits_.data());
            row = bits_.data();
        }
        const char* end = packBits(row, packedBytes, packed_.data());
        const auto size = static_cast<std::size_t>(end - packed_.data());
        out_ << esc << "*b" << size << "W" << std::string_view(packed_.data(), size);
    }
    out_ << esc << "*rC" << esc << "%0B\n";
}

}  // namespace

HpglWriter::HpglWriter(std::ostream& out) : out_(out) {}

void HpglWriter::writePage(const Page& page) {
    if (pages_ == 0) {
        out_ << "IN;";
    } else {
        out_ << "PG;";
    }
    ++pages_;
    if (page.width > 0 && page.height > 0) {
        out_ << "PS" << units(page.width) << "," << units(page.height) << ";";
    } else {
        out_ << "PS;";
    }
    out_ << "LT;UL;\n";
    // Pens and settings are restated on every page, so each page reads alone.
    PageWriter writer(out_);
    for (const Raster& r : page.rasters) {
        writer.raster(r);
    }
    for (const Path& p : page.paths) {
        writer.path(p);
    }
    for (const Text& t : page.texts) {
        writer.text(t);
    }
}

void HpglWriter::finish() {
    if (pages_ == 0) {
        out_ << "IN;";
    }
    out_ << "PU;SP0;\n";
    out_.flush();
}

}  // namespace drawing

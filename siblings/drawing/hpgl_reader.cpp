// Reading HP-GL, HP-GL/2 and embedded HP RTL into pages.
//
// The reader is one pass over the bytes with a small state machine; every
// byte is looked at a bounded number of times and every instruction yields a
// bounded amount of geometry, so that any input ends quickly.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <numbers>

#include "clip.h"
#include "hpgl.h"
#include "line_types.h"
#include "memory_budget.h"
#include "rtl.h"
#include "utf8.h"

namespace drawing {

namespace {

constexpr std::size_t kMaxLabelBytes = 64 * 1024;
constexpr std::size_t kMaxPagePoints = 10'000'000;
constexpr std::size_t kMaxPageTexts = 2'000'000;
constexpr std::size_t kMaxPageRasterBytes = 512u * 1024 * 1024;
constexpr std::size_t kMaxDataTransfer = 64u * 1024 * 1024;
constexpr int kMaxArcSegments = 720;
constexpr int kPens = 256;
constexpr double kMaxCoordinate = 1e9;
constexpr double kMaxNumber = 1e15;
// Media assumed when a plot sets none: ISO A4 landscape.
constexpr double kDefaultMediaWidth = 11880;
constexpr double kDefaultMediaHeight = 8400;
// The distance of the scaling points P1 and P2 of a desk plotter on A4 or
// letter paper.
constexpr double kDeskPlotterSpan = 10000;
constexpr double kDeskPlotterRise = 7200;
constexpr int kEsc = 0x1B;

constexpr std::array<Rgb, 8> kDefaultColors = {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00,
                                               0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF};

constexpr int code(char a, char b) {
    return a << 8 | b;
}

// Pens above 7 repeat the colours of pens 1 to 7.
Rgb defaultColor(int pen) {
    return kDefaultColors[pen <= 0 ? 0 : static_cast<std::size_t>((pen - 1) % 7 + 1)];
}

double clampCoordinate(double v) {
    if (!std::isfinite(v)) {
        return v > 0 ? kMaxCoordinate : v < 0 ? -kMaxCoordinate : 0;
    }
    return std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
}

int toInt(double v, int lo, int hi) {
    if (!std::isfinite(v)) {
        return lo;
    }
    return static_cast<int>(std::clamp(std::round(v), double(lo), double(hi)));
}

bool isLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int upper(int c) {
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

class Input {
  public:
    explicit Input(std::istream& in) : in_(in) {}
    int peek() {
        if (pos_ == len_ && !fill()) {
            return -1;
        }
        return static_cast<unsigned char>(buf_[pos_]);
    }
    int get() {
        const int c = peek();
        if (c >= 0) {
            ++pos_;
            ++offset_;
        }
        return c;
    }
    std::size_t offset() const { return offset_; }

  private:
    bool fill() {
        if (eof_) {
            return false;
        }
        in_.read(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        len_ = static_cast<std::size_t>(in_.gcount());
        pos_ = 0;
        if (len_ == 0) {
            eof_ = true;
            return false;
        }
        return true;
    }
    std::istream& in_;
    std::array<char, 65536> buf_{};
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::size_t offset_ = 0;
    bool eof_ = false;
};

class Reader {
  public:
    Reader(std::istream& in, const PageSink& sink, ReadError& error, std::size_t budget)
        : in_(in), sink_(sink), error_(error), budget_(budget) {
        resetState();
    }
    bool run();

  private:
    struct Scaling {
        bool on = false;
        double a[4] = {0, 0, 0, 0};
        int type = 0;
        double left = 50, bottom = 50;
    };

    bool fail(const std::string& message) {
        if (!failed_) {
            error_.message = message;
            error_.offset = in_.offset();
            failed_ = true;
        }
        return false;
    }
    // The raster being built may take what the page's budget has left.
    void limitRaster() { raster_.limitBytes(budget_.room()); }
    bool rasterTooLarge() {
        return fail(budget_.room() < rtl::kMaxRasterBytes ? budget_.refusal()
                                                          : "raster image too large");
    }
    // Adds an element to the page when it fits the page's memory budget.
    template <typename T>
    bool keep(std::vector<T>& into, T element) {
        if (failed_ || !budget_.charge(bytesOf(element))) {
            return fail(budget_.refusal());
        }
        into.push_back(std::move(element));
        return true;
    }

    // state
    void resetState();
    void defaults();
    void resetMedia();
    void updateScaling();
    double frameWidth() const;
    double frameHeight() const;
    Point toPlotter(double x, double y) const;
    Point toPage(Point p) const;
    Stroke currentStroke(bool lines = true) const;
    double diagonalMm() const;
    void setLineType(int type, double length, int mode);

    // parsing
    bool number(double& v);
    int numbers(double* v, int max);
    void endInstruction();
    void skipParameters();
    void skipQuoted();
    bool instruction();
    bool escape();
    bool pclMode();
    bool polylineEncoded();
    bool label();

    // geometry
    bool moveTo(Point target);
    bool plotPairs(bool relative);
    bool flushPolyline();
    bool addPoints(std::size_t n);
    bool arc(Point center, double sweepDeg, double chordDeg);
    std::vector<Point> arcPoints(Point center, Point start, double sweepDeg, double chordDeg) const;
    bool circle(double radius, double chordDeg);
    bool rectangle(Point corner, bool filled);
    bool wedge(double radius, double startDeg, double sweepDeg, double chordDeg, bool filled);
    bool emitPath(std::vector<Point>&& pts, bool closed, bool filled, bool evenOdd,
                  std::vector<std::size_t> starts = {});
    bool polygonFill(bool filled, bool evenOdd);
    bool hatch(const Path& area);
    void polygonStartSub(Point pagePoint);
    bool emitText(const std::string& text, Point at);
    double textAngle() const;
    Point charCell() const;
    bool symbol();

    bool endPage();
    bool finishRaster();
    void addPath(Path&& path);
    bool inWindow(Point p) const;

    Input in_;
    const PageSink& sink_;
    ReadError& error_;
    bool failed_ = false;
    PageBudget budget_;
    bool stopped_ = false;
    bool recognised_ = false;
    std::size_t knownCount_ = 0, unknownCount_ = 0;
    bool handedOn_ = false;
    Page page_;
    std::size_t pagePoints_ = 0;
    std::size_t pageRasterBytes_ = 0;

    double mediaW_ = 0, mediaH_ = 0;  // 0: not set by PS
    int rotation_ = 0;
    Point p1_, p2_;
    Scaling sc_;
    double sx_ = 1, sy_ = 1, ox_ = 0, oy_ = 0;
    Point pen_;
    bool penDown_ = false;
    bool relative_ = false;
    int penNo_ = 1;
    Layer layer_ = Layer::drawing;
    std::array<Rgb, kPens> colors_{};
    std::array<double, kPens> widths_{};
    bool relativeWidth_ = false;
    double range_[6] = {0, 255, 0, 255, 0, 255};
    int lineType_ = 0;
    std::vector<double> dash_;
    int prevLineType_ = 0;
    std::vector<double> prevDash_;
    double chord_ = 5;
    int fillType_ = 1;
    double fillOption_[2] = {0, 0};
    std::array<std::vector<double>, 9> userPatterns_;
    bool window_ = false;  // IW, in page coordinates
    Point windowLo_, windowHi_;

    std::vector<Point> poly_;
    Stroke polyStroke_;

    bool polygonMode_ = false;
    bool subClosed_ = false;
    std::vector<Point> pmPoints_;
    std::vector<std::size_t> pmStarts_;

    int terminator_ = 3;
    bool relativeSize_ = false;
    double charW_ = 76, charH_ = 108;  // plotter units
    double relW_ = 0.75, relH_ = 1.5;  // per cent of P2-P1
    double run_ = 1, rise_ = 0;
    bool relativeDir_ = false;
    double slant_ = 0;
    double extraSpace_ = 0, extraLine_ = 0;
    // DV 1: characters stand one below the other.
    bool vertical_ = false;
    int labelOrigin_ = 1;
    Point carriage_;
    int symbol_ = 0;

    rtl::RasterBuilder raster_;
    bool rtlMode_ = false;
    bool afterReset_ = false;
    Point cap_;
    bool capFromPen_ = false;
    Point rasterOrigin_;
    bool rasterPlaced_ = false;
};

void Reader::resetMedia() {
    const double w = frameWidth(), h = frameHeight();
    if (mediaW_ > 0 && mediaH_ > 0) {
        // Media set by the plot: the scaling points are its corners.
        p1_ = {0, 0};
        p2_ = {w, h};
        return;
    }
    // A plot that sets no media was made for a desk plotter, whose scaling
    // points lie 10,000 by 7,200 units apart on an A4 or letter sheet.
    // Relative character sizes and user units follow from them, so that
    // labels keep the spacing they were written for. Centred on our sheet
    // (turned with it); absolute coordinates do not depend on them.
    const double across = rotation_ % 180 == 0 ? kDeskPlotterSpan : kDeskPlotterRise;
    const double up = rotation_ % 180 == 0 ? kDeskPlotterRise : kDeskPlotterSpan;
    p1_ = {std::round((w - across) / 2), std::round((h - up) / 2)};
    p2_ = {p1_.x + across, p1_.y + up};
}

double Reader::frameWidth() const {
    const double w = mediaW_ > 0 ? mediaW_ : kDefaultMediaWidth;
    const double h = mediaH_ > 0 ? mediaH_ : kDefaultMediaHeight;
    return rotation_ % 180 == 0 ? w : h;
}

double Reader::frameHeight() const {
    const double w = mediaW_ > 0 ? mediaW_ : kDefaultMediaWidth;
    const double h = mediaH_ > 0 ? mediaH_ : kDefaultMediaHeight;
    return rotation_ % 180 == 0 ? h : w;
}

void Reader::defaults() {
    sc_ = Scaling();
    updateScaling();
    relative_ = false;
    lineType_ = prevLineType_ = 0;
    dash_.clear();
    prevDash_.clear();
    userPatterns_ = {};
    window_ = false;
    fillType_ = 1;
    fillOption_[0] = fillOption_[1] = 0;
    chord_ = 5;
    polygonMode_ = false;
    terminator_ = 3;
    relativeSize_ = false;
    charW_ = 76;
    charH_ = 108;
    run_ = 1;
    rise_ = 0;
    relativeDir_ = false;
    slant_ = 0;
    extraSpace_ = extraLine_ = 0;
    vertical_ = false;
    labelOrigin_ = 1;
    symbol_ = 0;
    relativeWidth_ = false;
}

void Reader::resetState() {
    rotation_ = 0;
    resetMedia();
    defaults();
    penNo_ = 1;
    layer_ = Layer::drawing;
    penDown_ = false;
    pen_ = {};
    for (int i = 0; i < kPens; ++i) {
        colors_[static_cast<std::size_t>(i)] = defaultColor(i);
        widths_[static_cast<std::size_t>(i)] = 0.35;
    }
    std::fill(std::begin(range_), std::end(range_), 0.0);
    range_[1] = range_[3] = range_[5] = 255;
    carriage_ = {};
}

void Reader::updateScaling() {
    sx_ = sy_ = 1;
    ox_ = oy_ = 0;
    if (!sc_.on) {
        return;
    }
    const double* a = sc_.a;
    const double dx = p2_.x - p1_.x, dy = p2_.y - p1_.y;
    double sx = 0, sy = 0;
    if (sc_.type == 2) {
        sx = a[1];
        sy = a[3];
        ox_ = p1_.x - a[0] * sx;
        oy_ = p1_.y - a[2] * sy;
    } else {
        sx = dx / (a[1] - a[0]);
        sy = dy / (a[3] - a[2]);
        if (sc_.type == 1 && std::isfinite(sx) && std::isfinite(sy)) {
            const double s = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        ox_ = p1_.x - a[0] * sx;
        oy_ = p1_.y - a[2] * sy;
        if (sc_.type == 1) {
            ox_ += (dx - (a[1] - a[0]) * sx) * sc_.left / 100;
            oy_ += (dy - (a[3] - a[2]) * sy) * sc_.bottom / 100;
        }
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(ox_) || !std::isfinite(oy_) ||
        sx == 0 || sy == 0) {
        sc_.on = false;
        sx_ = sy_ = 1;
        ox_ = oy_ = 0;
        return;
    }
    sx_ = sx;
    sy_ = sy;
}

Point Reader::toPlotter(double x, double y) const {
    return {clampCoordinate(ox_ + x * sx_), clampCoordinate(oy_ + y * sy_)};
}

Point Reader::toPage(Point p) const {
    // The page keeps the media's own frame; RO turns the plot within it.
    const double w = mediaW_ > 0 ? mediaW_ : kDefaultMediaWidth;
    const double h = mediaH_ > 0 ? mediaH_ : kDefaultMediaHeight;
    switch (rotation_) {
        case 90:
            return {w - p.y, p.x};
        case 180:
            return {w - p.x, h - p.y};
        case 270:
            return {p.y, h - p.x};
        default:
            return p;
    }
}

double Reader::diagonalMm() const {
    return std::hypot(p2_.x - p1_.x, p2_.y - p1_.y) / kUnitsPerMm;
}

Stroke Reader::currentStroke(bool lines) const {
    Stroke s;
    s.layer = layer_;
    s.pen = penNo_;
    s.color = colors_[static_cast<std::size_t>(penNo_)];
    s.widthMm = widths_[static_cast<std::size_t>(penNo_)];
    if (lines) {
        s.lineType = lineType_;
        s.dashMm = dash_;
    }
    return s;
}

void Reader::setLineType(int type, double length, int mode) {
    prevLineType_ = lineType_;
    prevDash_ = dash_;
    const int index = std::abs(type);
    if (index > 8) {
        lineType_ = 0;
        dash_.clear();
        return;
    }
    double lengthMm = mode == 1 ? length : length / 100 * diagonalMm();
    if (!std::isfinite(lengthMm) || lengthMm <= 0) {
        lengthMm = 0.04 * diagonalMm();
    }
    lineType_ = type;
    dash_.clear();
    const auto& user = userPatterns_[static_cast<std::size_t>(index)];
    for (double part : user.empty() ? builtinLinePattern(index) : user) {
        dash_.push_back(part / 100 * lengthMm);
    }
}

// ---------------------------------------------------------------- parsing

bool Reader::number(double& v) {
    for (;;) {
        const int c = in_.peek();
        if (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
            in_.get();
        } else {
            break;
        }
    }
    // Digits are gathered as text and converted once, so that decimals
    // read back exactly what was written; overlong numbers saturate.
    char text[64];
    std::size_t len = 0;
    int c = in_.peek();
    if (c == '+' || c == '-') {
        if (c == '-') {
            text[len++] = '-';
        }
        in_.get();
        c = in_.peek();
    }
    bool digits = false;
    std::size_t intDigits = 0;
    while (c >= '0' && c <= '9') {
        if (!(intDigits == 0 && c == '0')) {
            if (intDigits < 20) {
                text[len++] = static_cast<char>(c);
            }
            ++intDigits;
        }
        digits = true;
        in_.get();
        c = in_.peek();
    }
    if (c == '.') {
        text[len++] = '.';
        in_.get();
        c = in_.peek();
        while (c >= '0' && c <= '9') {
            if (len < sizeof text - 1) {
                text[len++] = static_cast<char>(c);
            }
            digits = true;
            in_.get();
            c = in_.peek();
        }
    }
    if (!digits) {
        return false;
    }
    const bool negative = len > 0 && text[0] == '-';
    if (intDigits > 15) {
        v = negative ? -kMaxNumber : kMaxNumber;
        return true;
    }
    double value = 0;
    const char* first = text + (negative ? 1 : 0);
    if (first == text + len || (text + len - first == 1 && *first == '.')) {
        v = 0;
        return true;
    }
    std::from_chars(first, text + len, value);
    v = negative ? -value : value;
    return true;
}

int Reader::numbers(double* v, int max) {
    int n = 0;
    double dummy = 0;
    while (number(n < max ? v[n] : dummy)) {
        ++n;
    }
    return std::min(n, max);
}

void Reader::endInstruction() {
    while (in_.peek() == ' ') {
        in_.get();
    }
    if (in_.peek() == ';') {
        in_.get();
    }
}

void Reader::skipQuoted() {
    in_.get();
    for (int c = in_.get(); c >= 0 && c != '"'; c = in_.get()) {
    }
}

void Reader::skipParameters() {
    for (;;) {
        const int c = in_.peek();
        if (c < 0 || c == ';') {
            if (c == ';') {
                in_.get();
            }
            return;
        }
        if (c == '"') {
            skipQuoted();
        } else if ((c >= '0' && c <= '9') || c == '.' || c == ',' || c == '+' || c == '-' ||
                   c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            in_.get();
        } else {
            return;
        }
    }
}

bool Reader::run() {
    for (;;) {
        if (failed_) {
            return false;
        }
        if (stopped_) {
            return true;
        }
        if (rtlMode_) {
            if (!pclMode()) {
                return !failed_ && stopped_;
            }
            if (in_.peek() < 0) {
                break;
            }
            continue;
        }
        const int c = in_.peek();
        if (c < 0) {
            break;
        }
        if (isLetter(c)) {
            if (!instruction()) {
                return !failed_ && stopped_;
            }
        } else if (c == kEsc) {
            if (!escape()) {
                return !failed_ && stopped_;
            }
        } else if (c >= 0x80) {
            return fail("binary data where an HP-GL instruction was expected");
        } else if (c > ' ' && c != ';' && c != ',' && !recognised_) {
            return fail("no HP-GL instruction at the start of the input");
        } else {
            in_.get();
        }
    }
    if (!finishRaster() || !flushPolyline()) {
        return false;
    }
    if (!recognised_) {
        return fail(in_.offset() == 0 ? "empty input" : "no HP-GL instruction in the input");
    }
    // Text that happens to begin like an instruction ("In the ...") draws
    // nothing and is mostly unknown mnemonics.
    if (!handedOn_ && page_.empty() && unknownCount_ > knownCount_) {
        return fail("input is not an HP-GL plot");
    }
    if (!page_.empty() && !stopped_) {
        return endPage() || stopped_;
    }
    return true;
}

bool Reader::inWindow(Point p) const {
    return !window_ ||
           (p.x >= windowLo_.x && p.x <= windowHi_.x && p.y >= windowLo_.y && p.y <= windowHi_.y);
}

void Reader::addPath(Path&& path) {
    if (!window_ ||
        std::all_of(path.points.begin(), path.points.end(), [&](Point p) { return inWindow(p); })) {
        keep(page_.paths, std::move(path));
        return;
    }
    std::vector<std::size_t> starts = {0};
    starts.insert(starts.end(), path.subpathStarts.begin(), path.subpathStarts.end());
    starts.push_back(path.points.size());
    if (path.filled) {
        Path clipped = path;
        clipped.points.clear();
        clipped.subpathStarts.clear();
        for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
            std::vector<Point> ring(path.points.begin() + static_cast<long>(starts[k]),
                                    path.points.begin() + static_cast<long>(starts[k + 1]));
            ring = clipPolygon(std::move(ring), windowLo_, windowHi_);
            if (ring.size() >= 3) {
                if (!clipped.points.empty()) {
                    clipped.subpathStarts.push_back(clipped.points.size());
                }
                clipped.points.insert(clipped.points.end(), ring.begin(), ring.end());
            }
        }
        if (!clipped.points.empty()) {
            keep(page_.paths, std::move(clipped));
        }
        return;
    }
    // Outlines fall apart into the open pieces that lie inside.
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        std::vector<Point> line(path.points.begin() + static_cast<long>(starts[k]),
                                path.points.begin() + static_cast<long>(starts[k + 1]));
        if (path.closed && !line.empty()) {
            line.push_back(line.front());
        }
        Path piece;
        piece.stroke = path.stroke;
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            Point a = line[i], b = line[i + 1];
            if (!clipSegment(a, b, windowLo_, windowHi_)) {
                continue;
            }
            if (!piece.points.empty() && piece.points.back() != a) {
                if (piece.points.size() >= 2) {
                    keep(page_.paths, Path(piece));
                }
                piece.points.clear();
            }
            if (piece.points.empty()) {
                piece.points.push_back(a);
            }
            piece.points.push_back(b);
        }
        if (piece.points.size() >= 2) {
            keep(page_.paths, std::move(piece));
        }
    }
}

bool Reader::endPage() {
    if (!flushPolyline() || !finishRaster()) {
        return false;
    }
    if (page_.empty()) {
        return true;
    }
    page_.width = mediaW_;
    page_.height = mediaH_;
    handedOn_ = true;
    Page done = std::move(page_);
    page_ = Page();
    pagePoints_ = polygonMode_ ? pmPoints_.size() : 0;
    pageRasterBytes_ = 0;
    budget_.startPage();
    if (!sink_(std::move(done))) {
        stopped_ = true;
        return false;
    }
    return true;
}

bool Reader::addPoints(std::size_t n) {
    pagePoints_ += n;
    if (pagePoints_ > kMaxPagePoints) {
        return fail("page holds too many points");
    }
    return true;
}

bool Reader::flushPolyline() {
    if (poly_.size() >= 2) {
        Path path;
        path.points = std::move(poly_);
        path.stroke = polyStroke_;
        addPath(std::move(path));
    }
    poly_.clear();
    return !failed_;
}

bool Reader::moveTo(Point target) {
    const Point to = toPage(target);
    if (polygonMode_) {
        if (subClosed_ || !penDown_) {
            polygonStartSub(to);
        } else {
            pmPoints_.push_back(to);
        }
        if (!addPoints(1)) {
            return false;
        }
    } else if (penDown_) {
        if (poly_.empty()) {
            poly_.push_back(toPage(pen_));
            polyStroke_ = currentStroke();
        }
        poly_.push_back(to);
        if (!addPoints(1)) {
            return false;
        }
    } else if (!flushPolyline()) {
        return false;
    }
    pen_ = target;
    if (symbol_ != 0) {
        return symbol();
    }
    return true;
}

void Reader::polygonStartSub(Point pagePoint) {
    subClosed_ = false;
    if (!pmStarts_.empty() && pmPoints_.size() - pmStarts_.back() == 1) {
        pmPoints_.back() = pagePoint;
        return;
    }
    pmStarts_.push_back(pmPoints_.size());
    pmPoints_.push_back(pagePoint);
}

bool Reader::plotPairs(bool relative) {
    double xy[2];
    for (;;) {
        if (!number(xy[0])) {
            break;
        }
        if (!number(xy[1])) {
            break;
        }
        Point target;
        if (relative) {
            target = {clampCoordinate(pen_.x + xy[0] * sx_), clampCoordinate(pen_.y + xy[1] * sy_)};
        } else {
            target = toPlotter(xy[0], xy[1]);
        }
        if (!moveTo(target)) {
            return false;
        }
    }
    endInstruction();
    return true;
}

std::vector<Point> Reader::arcPoints(Point center, Point start, double sweepDeg,
                                     double chordDeg) const {
    std::vector<Point> pts;
    if (!std::isfinite(sweepDeg)) {
        return pts;
    }
    sweepDeg = std::clamp(sweepDeg, -360.0, 360.0);
    chordDeg = std::fabs(chordDeg);
    if (!std::isfinite(chordDeg) || chordDeg < 0.5) {
        chordDeg = chordDeg == 0 ? 5 : 0.5;
    }
    chordDeg = std::min(chordDeg, 180.0);
    const int n =
        std::clamp(static_cast<int>(std::ceil(std::fabs(sweepDeg) / chordDeg)), 1, kMaxArcSegments);
    const double r = std::hypot(start.x - center.x, start.y - center.y);
    const double a0 = std::atan2(start.y - center.y, start.x - center.x);
    const double step = sweepDeg / n * std::numbers::pi / 180;
    for (int i = 1; i <= n; ++i) {
        const double a = a0 + step * i;
        pts.push_back({clampCoordinate(center.x + r * std::cos(a)),
                       clampCoordinate(center.y + r * std::sin(a))});
    }
    return pts;
}

bool Reader::arc(Point center, double sweepDeg, double chordDeg) {
    for (const Point& p : arcPoints(center, pen_, sweepDeg, chordDeg)) {
        if (!moveTo(p)) {
            return false;
        }
    }
    return true;
}

bool Reader::emitPath(std::vector<Point>&& pts, bool closed, bool filled, bool evenOdd,
                      std::vector<std::size_t> starts) {
    if (pts.size() < 2 || !addPoints(pts.size())) {
        return !failed_;
    }
    Path path;
    path.points = std::move(pts);
    path.closed = closed;
    path.filled = filled;
    path.evenOdd = evenOdd;
    path.stroke = currentStroke(!filled);
    path.subpathStarts = std::move(starts);
    if (filled && (fillType_ == 3 || fillType_ == 4)) {
        return hatch(path);
    }
    if (filled && fillType_ == 10) {
        // Shading: the pen's colour lightened towards white.
        const double f = std::clamp(fillOption_[0], 0.0, 100.0) / 100;
        Rgb c = 0;
        for (int shift = 16; shift >= 0; shift -= 8) {
            const double v = ((path.stroke.color >> shift) & 0xFF) * f + 255 * (1 - f);
            c |= static_cast<Rgb>(std::lround(v)) << shift;
        }
        path.stroke.color = c;
    }
    addPath(std::move(path));
    return true;
}

// Hatching (FT 3 and 4) as line segments between the crossings of each
// hatch line with the outline, by the even-odd rule.
bool Reader::hatch(const Path& area) {
    double spacing = fillOption_[0] * std::fabs(sx_);
    if (!std::isfinite(spacing) || spacing <= 0) {
        spacing = 0.01 * std::hypot(p2_.x - p1_.x, p2_.y - p1_.y);
    }
    constexpr std::size_t kMaxWork = 4'000'000;  // hatch lines times edges
    constexpr double kMaxLines = 2000;
    std::vector<std::size_t> starts = {0};
    starts.insert(starts.end(), area.subpathStarts.begin(), area.subpathStarts.end());
    starts.push_back(area.points.size());
    for (int pass = 0; pass < (fillType_ == 4 ? 2 : 1); ++pass) {
        const double a = (fillOption_[1] + 90.0 * pass) * std::numbers::pi / 180;
        const double c = std::cos(a), sn = std::sin(a);
        // Rotated so that hatch lines run along x.
        std::vector<Point> r;
        r.reserve(area.points.size());
        double lo = 1e300, hi = -1e300;
        for (const Point& p : area.points) {
            r.push_back({p.x * c + p.y * sn, -p.x * sn + p.y * c});
            lo = std::min(lo, r.back().y);
            hi = std::max(hi, r.back().y);
        }
        double step = spacing;
        if ((hi - lo) / step > kMaxLines) {
            step = (hi - lo) / kMaxLines;
        }
        const double lines = std::floor((hi - lo) / step) + 1;
        if (lines * static_cast<double>(r.size()) > kMaxWork || !std::isfinite(lines)) {
            continue;
        }
        std::vector<double> xs;
        // Counted, not stepped: a step below the precision of y must still end.
        const double first = std::ceil(lo / step) * step;
        for (int line = 0; line < static_cast<int>(lines); ++line) {
            const double y = first + line * step;
            if (y > hi) {
                break;
            }
            xs.clear();
            for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
                for (std::size_t i = starts[k]; i < starts[k + 1]; ++i) {
                    const Point p = r[i];
                    const Point q = r[i + 1 < starts[k + 1] ? i + 1 : starts[k]];
                    if ((p.y <= y) != (q.y <= y)) {
                        xs.push_back(p.x + (y - p.y) / (q.y - p.y) * (q.x - p.x));
                    }
                }
            }
            std::sort(xs.begin(), xs.end());
            for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
                if (!addPoints(2)) {
                    return false;
                }
                Path line;
                line.stroke = area.stroke;
                line.points = {{xs[i] * c - y * sn, xs[i] * sn + y * c},
                               {xs[i + 1] * c - y * sn, xs[i + 1] * sn + y * c}};
                addPath(std::move(line));
            }
        }
    }
    return true;
}

bool Reader::circle(double radius, double chordDeg) {
    if (!std::isfinite(radius)) {
        return true;
    }
    const double r = std::fabs(radius * sx_);
    std::vector<Point> pts = arcPoints(pen_, {pen_.x + r, pen_.y}, 360, chordDeg);
    pts.pop_back();
    for (Point& p : pts) {
        p = toPage(p);
    }
    pts.insert(pts.begin(), toPage({clampCoordinate(pen_.x + r), pen_.y}));
    if (polygonMode_) {
        if (!addPoints(pts.size())) {
            return false;
        }
        subClosed_ = true;
        if (!pmStarts_.empty() && pmPoints_.size() - pmStarts_.back() == 1) {
            pmPoints_.pop_back();
            pmStarts_.pop_back();
        }
        pmStarts_.push_back(pmPoints_.size());
        pmPoints_.insert(pmPoints_.end(), pts.begin(), pts.end());
        return true;
    }
    if (!flushPolyline()) {
        return false;
    }
    return emitPath(std::move(pts), true, false, true);
}

bool Reader::rectangle(Point corner, bool filled) {
    if (!flushPolyline()) {
        return false;
    }
    std::vector<Point> pts = {toPage(pen_), toPage({corner.x, pen_.y}), toPage(corner),
                              toPage({pen_.x, corner.y})};
    return emitPath(std::move(pts), true, filled, true);
}

bool Reader::wedge(double radius, double startDeg, double sweepDeg, double chordDeg, bool filled) {
    if (!std::isfinite(radius) || !std::isfinite(startDeg) || !flushPolyline()) {
        return !failed_;
    }
    const double r = radius * sx_;
    const double a = std::fmod(startDeg, 360.0) * std::numbers::pi / 180;
    const Point start = {clampCoordinate(pen_.x + r * std::cos(a)),
                         clampCoordinate(pen_.y + r * std::sin(a))};
    std::vector<Point> pts = {toPage(pen_), toPage(start)};
    for (const Point& p : arcPoints(pen_, start, sweepDeg, chordDeg)) {
        pts.push_back(toPage(p));
    }
    return emitPath(std::move(pts), true, filled, true);
}

bool Reader::polygonFill(bool filled, bool evenOdd) {
    if (!flushPolyline()) {
        return false;
    }
    std::vector<Point> pts;
    std::vector<std::size_t> starts;
    for (std::size_t s = 0; s < pmStarts_.size(); ++s) {
        const std::size_t begin = pmStarts_[s];
        const std::size_t end = s + 1 < pmStarts_.size() ? pmStarts_[s + 1] : pmPoints_.size();
        if (end - begin < 2) {
            continue;
        }
        if (!pts.empty()) {
            starts.push_back(pts.size());
        }
        pts.insert(pts.end(), pmPoints_.begin() + static_cast<long>(begin),
                   pmPoints_.begin() + static_cast<long>(end));
    }
    pagePoints_ -= std::min(pagePoints_, pts.size());
    return emitPath(std::move(pts), true, filled, evenOdd, std::move(starts));
}

Point Reader::charCell() const {
    double w = charW_, h = charH_;
    if (relativeSize_) {
        w = relW_ / 100 * (p2_.x - p1_.x);
        h = relH_ / 100 * (p2_.y - p1_.y);
    }
    return {w, h};
}

double Reader::textAngle() const {
    double run = run_, rise = rise_;
    if (relativeDir_) {
        run *= (p2_.x - p1_.x);
        rise *= (p2_.y - p1_.y);
    }
    if (run == 0 && rise == 0) {
        return 0;
    }
    return std::atan2(rise, run) * 180 / std::numbers::pi;
}

bool Reader::emitText(const std::string& text, Point at) {
    if (text.empty() || !inWindow(toPage(at))) {
        return true;
    }
    if (page_.texts.size() >= kMaxPageTexts) {
        return fail("page holds too many labels");
    }
    const Point size = charCell();
    Text t;
    t.origin = toPage(at);
    t.text = text;
    t.charWidth = clampCoordinate(size.x);
    t.charHeight = clampCoordinate(size.y);
    t.angleDeg = std::fmod(textAngle() + rotation_, 360.0);
    if (t.angleDeg < 0) {
        t.angleDeg += 360;
    }
    t.slant = slant_;
    t.vertical = vertical_;
    t.labelOrigin = labelOrigin_;
    t.stroke = currentStroke(false);
    return keep(page_.texts, std::move(t));
}

bool Reader::symbol() {
    const std::string s = utf8OrLatin1(std::string(1, static_cast<char>(symbol_)));
    const int lo = labelOrigin_;
    labelOrigin_ = 5;
    const bool ok = emitText(s, pen_);
    labelOrigin_ = lo;
    return ok;
}

bool Reader::label() {
    if (!flushPolyline()) {
        return false;
    }
    const Point cell = charCell();
    const double a = textAngle() * std::numbers::pi / 180;
    const double cosA = std::cos(a), sinA = std::sin(a);
    const double advance = cell.x * 1.5 * (1 + extraSpace_);
    const double lineStep = cell.y * 2 * (1 + extraLine_);
    // Along the text and from one line to the next: a vertical label runs
    // down its column, and its next column stands to the left.
    const Point along = vertical_ ? Point{sinA, -cosA} : Point{cosA, sinA};
    const Point down = vertical_ ? Point{-cosA, -sinA} : Point{sinA, -cosA};
    carriage_ = pen_;
    std::string run;
    Point runStart = pen_;
    std::size_t length = 0;
    auto flush = [&]() {
        // Bytes that are not UTF-8 are the 8-bit labels of older plots.
        std::string text = utf8OrLatin1(run);
        const auto chars = static_cast<double>(utf8Length(text));
        const bool ok = emitText(text, runStart);
        pen_ = {clampCoordinate(runStart.x + along.x * advance * chars),
                clampCoordinate(runStart.y + along.y * advance * chars)};
        run.clear();
        return ok;
    };
    for (;;) {
        const int c = in_.get();
        if (c < 0) {
            return fail("label without terminator");
        }
        if (c == terminator_) {
            return flush();
        }
        if (++length > kMaxLabelBytes) {
            return fail("label longer than 65536 bytes");
        }
        if (c == '\r') {
            if (!flush()) {
                return false;
            }
            pen_ = carriage_;
            runStart = pen_;
        } else if (c == '\n') {
            if (!flush()) {
                return false;
            }
            carriage_ = {clampCoordinate(carriage_.x + down.x * lineStep),
                         clampCoordinate(carriage_.y + down.y * lineStep)};
            pen_ = {clampCoordinate(pen_.x + down.x * lineStep),
                    clampCoordinate(pen_.y + down.y * lineStep)};
            runStart = pen_;
        } else {
            run.push_back(static_cast<char>(c));
        }
    }
}

bool Reader::polylineEncoded() {
    bool sevenBit = false;
    int fractionBits = 0;
    bool penUpNext = false, absoluteNext = false;
    enum class Want { Coordinate, Pen, Fraction } want = Want::Coordinate;
    std::uint64_t value = 0;
    int digits = 0;
    double pair[2] = {0, 0};
    int have = 0;
    for (;;) {
        const int raw = in_.peek();
        if (raw < 0) {
            if (digits > 0) {
                return fail("encoded polyline ends inside a number");
            }
            return true;
        }
        if (raw == ';' || raw == kEsc) {
            if (raw == ';') {
                in_.get();
            }
            return true;
        }
        in_.get();
        if ((raw >= 128 && raw <= 160) || raw == 255) {
            continue;
        }
        // In 7-bit mode the eighth bit means nothing.
        const int c = sevenBit ? raw & 0x7F : raw;
        const int base = sevenBit ? 32 : 64;
        int digit = -1;
        bool last = false;
        if (c >= 63 && c < 63 + base) {
            digit = c - 63;
        } else if (sevenBit ? (c >= 95 && c <= 126) : (c >= 191 && c <= 254)) {
            digit = c - (sevenBit ? 95 : 191);
            last = true;
        }
        if (digit < 0) {
            if (digits > 0) {
                continue;  // stray bytes inside a number are ignored
            }
            switch (c & 0x7F) {  // flags ignore the eighth bit
                case ':':
                    want = Want::Pen;
                    break;
                case '>':
                    want = Want::Fraction;
                    break;
                case '<':
                    penUpNext = true;
                    break;
                case '=':
                    absoluteNext = true;
                    break;
                case '7':
                    sevenBit = true;
                    break;
                default:
                    break;
            }
            continue;
        }
        if (digits >= (sevenBit ? 12 : 10)) {
            return fail("encoded number too long");
        }
        value += static_cast<std::uint64_t>(digit) << (digits * (sevenBit ? 5 : 6));
        ++digits;
        if (!last) {
            continue;
        }
        const double magnitude = static_cast<double>(value >> 1);
        const double n = (value & 1) ? -magnitude : magnitude;
        value = 0;
        digits = 0;
        if (want == Want::Pen) {
            if (!flushPolyline()) {
                return false;
            }
            penNo_ = toInt(n, 0, kPens - 1);
            want = Want::Coordinate;
            continue;
        }
        if (want == Want::Fraction) {
            fractionBits = toInt(n, -26, 26);
            want = Want::Coordinate;
            continue;
        }
        pair[have++] = n / std::ldexp(1.0, fractionBits);
        if (have < 2) {
            continue;
        }
        have = 0;
        Point target;
        if (absoluteNext) {
            target = toPlotter(pair[0], pair[1]);
        } else {
            target = {clampCoordinate(pen_.x + pair[0] * sx_),
                      clampCoordinate(pen_.y + pair[1] * sy_)};
        }
        penDown_ = !penUpNext;
        penUpNext = absoluteNext = false;
        if (!moveTo(target)) {
            return false;
        }
    }
}

bool Reader::instruction() {
    const std::size_t start = in_.offset();
    const int a = upper(in_.get());
    const int second = in_.peek();
    if (!isLetter(second)) {
        if (!recognised_) {
            error_.offset = start;
            failed_ = true;
            error_.message = "no HP-GL instruction at the start of the input";
            return false;
        }
        skipParameters();
        return true;
    }
    in_.get();
    const int b = upper(second);
    double v[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool known = true;
    switch (code(static_cast<char>(a), static_cast<char>(b))) {
        case code('I', 'N'):
            if (!flushPolyline()) {
                return false;
            }
            resetState();
            endInstruction();
            break;
        case code('D', 'F'):
            if (!flushPolyline()) {
                return false;
            }
            defaults();
            endInstruction();
            break;
        case code('I', 'P'): {
            const int n = numbers(v, 4);
            if (n >= 4) {
                p1_ = {v[0], v[1]};
                p2_ = {v[2], v[3]};
            } else if (n >= 2) {
                const Point d = {p2_.x - p1_.x, p2_.y - p1_.y};
                p1_ = {v[0], v[1]};
                p2_ = {clampCoordinate(v[0] + d.x), clampCoordinate(v[1] + d.y)};
            } else {
                resetMedia();
            }
            updateScaling();
            endInstruction();
            break;
        }
        case code('I', 'R'): {
            const int n = numbers(v, 4);
            const double w = frameWidth(), h = frameHeight();
            if (n >= 2) {
                const Point d = {p2_.x - p1_.x, p2_.y - p1_.y};
                p1_ = {v[0] / 100 * w, v[1] / 100 * h};
                p2_ = n >= 4 ? Point{v[2] / 100 * w, v[3] / 100 * h}
                             : Point{p1_.x + d.x, p1_.y + d.y};
            } else {
                resetMedia();
            }
            updateScaling();
            endInstruction();
            break;
        }
        case code('S', 'C'): {
            const int n = numbers(v, 7);
            sc_ = Scaling();
            if (n >= 4) {
                sc_.on = true;
                std::copy_n(v, 4, sc_.a);
                sc_.type = n >= 5 ? toInt(v[4], 0, 2) : 0;
                if (sc_.type == 1 && n >= 7) {
                    sc_.left = v[5];
                    sc_.bottom = v[6];
                }
            }
            updateScaling();
            endInstruction();
            break;
        }
        case code('P', 'S'): {
            const int n = numbers(v, 2);
            if (!flushPolyline()) {
                return false;
            }
            if (n >= 1 && v[0] > 0) {
                mediaW_ = clampCoordinate(v[0]);
                mediaH_ = n >= 2 && v[1] > 0 ? clampCoordinate(v[1]) : mediaH_;
            } else {
                mediaW_ = mediaH_ = 0;
            }
            resetMedia();
            updateScaling();
            endInstruction();
            break;
        }
        case code('R', 'O'): {
            if (!flushPolyline()) {
                return false;
            }
            rotation_ = numbers(v, 1) == 1 ? (toInt(v[0], -3600, 3600) % 360 + 360) % 360 : 0;
            rotation_ = rotation_ / 90 * 90;
            resetMedia();
            updateScaling();
            endInstruction();
            break;
        }
        case code('S', 'P'):
            if (!flushPolyline()) {
                return false;
            }
            penNo_ = numbers(v, 1) == 1 ? toInt(v[0], 0, kPens - 1) : 0;
            endInstruction();
            break;
        case code('P', 'U'):
            penDown_ = false;
            if (!plotPairs(relative_)) {
                return false;
            }
            if (!polygonMode_ && !flushPolyline()) {
                return false;
            }
            break;
        case code('P', 'D'):
            penDown_ = true;
            if (!plotPairs(relative_)) {
                return false;
            }
            break;
        case code('P', 'A'):
            relative_ = false;
            if (!plotPairs(false)) {
                return false;
            }
            break;
        case code('P', 'R'):
            relative_ = true;
            if (!plotPairs(true)) {
                return false;
            }
            break;
        case code('P', 'E'):
            if (!polylineEncoded()) {
                return false;
            }
            break;
        case code('C', 'I'): {
            const int n = numbers(v, 2);
            if (n >= 1 && !circle(v[0], n >= 2 ? v[1] : chord_)) {
                return false;
            }
            endInstruction();
            break;
        }
        case code('A', 'A'):
        case code('A', 'R'): {
            const int n = numbers(v, 4);
            if (n >= 3) {
                const Point center = b == 'A' ? toPlotter(v[0], v[1])
                                              : Point{clampCoordinate(pen_.x + v[0] * sx_),
                                                      clampCoordinate(pen_.y + v[1] * sy_)};
                if (!arc(center, v[2], n >= 4 ? v[3] : chord_)) {
                    return false;
                }
            }
            endInstruction();
            break;
        }
        case code('A', 'T'):
        case code('R', 'T'): {
            const int n = numbers(v, 5);
            if (n >= 4) {
                Point m, e;
                if (a == 'A') {
                    m = toPlotter(v[0], v[1]);
                    e = toPlotter(v[2], v[3]);
                } else {
                    m = {clampCoordinate(pen_.x + v[0] * sx_),
                         clampCoordinate(pen_.y + v[1] * sy_)};
                    e = {clampCoordinate(pen_.x + v[2] * sx_),
                         clampCoordinate(pen_.y + v[3] * sy_)};
                }
                const Point s = pen_;
                const double d = 2 * (s.x * (m.y - e.y) + m.x * (e.y - s.y) + e.x * (s.y - m.y));
                const double scale =
                    std::max({std::fabs(s.x), std::fabs(s.y), std::fabs(m.x), std::fabs(m.y), 1.0});
                if (std::fabs(d) < 1e-9 * scale * scale) {
                    if (!moveTo(e)) {
                        return false;
                    }
                } else {
                    const double s2 = s.x * s.x + s.y * s.y, m2 = m.x * m.x + m.y * m.y,
                                 e2 = e.x * e.x + e.y * e.y;
                    const Point c = {(s2 * (m.y - e.y) + m2 * (e.y - s.y) + e2 * (s.y - m.y)) / d,
                                     (s2 * (e.x - m.x) + m2 * (s.x - e.x) + e2 * (m.x - s.x)) / d};
                    const double as = std::atan2(s.y - c.y, s.x - c.x);
                    const double am = std::atan2(m.y - c.y, m.x - c.x);
                    const double ae = std::atan2(e.y - c.y, e.x - c.x);
                    auto ccw = [](double from, double to) {
                        const double turn = to - from;
                        return turn < 0 ? turn + 2 * std::numbers::pi : turn;
                    };
                    double sweep = ccw(as, ae);
                    if (ccw(as, am) > sweep) {
                        sweep -= 2 * std::numbers::pi;
                    }
                    std::vector<Point> pts =
                        arcPoints(c, s, sweep * 180 / std::numbers::pi, n >= 5 ? v[4] : chord_);
                    if (!pts.empty()) {
                        pts.back() = e;
                    }
                    for (const Point& p : pts) {
                        if (!moveTo(p)) {
                            return false;
                        }
                    }
                }
            }
            endInstruction();
            break;
        }
        case code('B', 'Z'):
        case code('B', 'R'): {
            double c[6];
            for (;;) {
                int n = 0;
                while (n < 6 && number(c[n])) {
                    ++n;
                }
                if (n < 6) {
                    break;
                }
                const Point p0 = pen_;
                Point q[3];
                for (int k = 0; k < 3; ++k) {
                    q[k] = b == 'Z' ? toPlotter(c[2 * k], c[2 * k + 1])
                                    : Point{clampCoordinate(p0.x + c[2 * k] * sx_),
                                            clampCoordinate(p0.y + c[2 * k + 1] * sy_)};
                }
                constexpr int kSteps = 16;
                for (int i = 1; i <= kSteps; ++i) {
                    const double t = double(i) / kSteps, u = 1 - t;
                    const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t,
                                 w3 = t * t * t;
                    const Point pt =
                        i == kSteps ? q[2]
                                    : Point{w0 * p0.x + w1 * q[0].x + w2 * q[1].x + w3 * q[2].x,
                                            w0 * p0.y + w1 * q[0].y + w2 * q[1].y + w3 * q[2].y};
                    if (!moveTo(pt)) {
                        return false;
                    }
                }
            }
            endInstruction();
            break;
        }
        case code('E', 'A'):
        case code('R', 'A'):
        case code('E', 'R'):
        case code('R', 'R'): {
            if (numbers(v, 2) == 2) {
                const Point corner = b == 'A' ? toPlotter(v[0], v[1])
                                              : Point{clampCoordinate(pen_.x + v[0] * sx_),
                                                      clampCoordinate(pen_.y + v[1] * sy_)};
                if (!rectangle(corner, a == 'R')) {
                    return false;
                }
            }
            endInstruction();
            break;
        }
        case code('W', 'G'):
        case code('E', 'W'): {
            const int n = numbers(v, 4);
            if (n >= 3 && !wedge(v[0], v[1], v[2], n >= 4 ? v[3] : chord_, a == 'W')) {
                return false;
            }
            endInstruction();
            break;
        }
        case code('P', 'M'): {
            const int mode = numbers(v, 1) == 1 ? toInt(v[0], 0, 2) : 0;
            if (mode == 0) {
                if (!flushPolyline()) {
                    return false;
                }
                polygonMode_ = true;
                subClosed_ = false;
                pmPoints_.clear();
                pmStarts_.clear();
                polygonStartSub(toPage(pen_));
            } else if (polygonMode_) {
                subClosed_ = true;
                if (mode == 2) {
                    polygonMode_ = false;
                }
            }
            endInstruction();
            break;
        }
        case code('F', 'P'): {
            const int rule = numbers(v, 1) == 1 ? toInt(v[0], 0, 1) : 0;
            if (!polygonFill(true, rule == 0)) {
                return false;
            }
            endInstruction();
            break;
        }
        case code('E', 'P'):
            if (!polygonFill(false, true)) {
                return false;
            }
            endInstruction();
            break;
        case code('L', 'T'): {
            const int n = numbers(v, 3);
            if (!flushPolyline()) {
                return false;
            }
            if (n == 0) {
                prevLineType_ = lineType_;
                prevDash_ = dash_;
                lineType_ = 0;
                dash_.clear();
            } else if (toInt(v[0], -1000, 1000) == 99) {
                std::swap(lineType_, prevLineType_);
                std::swap(dash_, prevDash_);
            } else {
                setLineType(toInt(v[0], -1000, 1000), n >= 2 ? v[1] : 4,
                            n >= 3 ? toInt(v[2], 0, 1) : 0);
            }
            endInstruction();
            break;
        }
        case code('U', 'L'): {
            double u[21] = {};
            const int n = numbers(u, 21);
            if (n == 0) {
                userPatterns_ = {};
            } else {
                const int index = toInt(u[0], 0, 100);
                if (index >= 1 && index <= 8) {
                    auto& pattern = userPatterns_[static_cast<std::size_t>(index)];
                    pattern.clear();
                    double sum = 0;
                    for (int i = 1; i < n; ++i) {
                        sum += std::max(u[i], 0.0);
                    }
                    for (int i = 1; i < n && sum > 0; ++i) {
                        pattern.push_back(std::max(u[i], 0.0) / sum * 100);
                    }
                }
            }
            endInstruction();
            break;
        }
        case code('P', 'W'): {
            const int n = numbers(v, 2);
            if (!flushPolyline()) {
                return false;
            }
            double width = n >= 1 ? v[0] : 0.35;
            if (n >= 1 && relativeWidth_) {
                width = width / 100 * diagonalMm();
            }
            width = std::isfinite(width) ? std::clamp(width, 0.0, 1000.0) : 0.35;
            if (n >= 2) {
                widths_[static_cast<std::size_t>(toInt(v[1], 0, kPens - 1))] = width;
            } else {
                widths_.fill(width);
            }
            endInstruction();
            break;
        }
        case code('W', 'U'):
            relativeWidth_ = numbers(v, 1) == 1 && toInt(v[0], 0, 1) == 1;
            widths_.fill(relativeWidth_ ? 0.1 / 100 * diagonalMm() : 0.35);
            endInstruction();
            break;
        case code('N', 'P'):
            numbers(v, 1);
            if (!flushPolyline()) {
                return false;
            }
            for (int i = 0; i < kPens; ++i) {
                colors_[static_cast<std::size_t>(i)] = defaultColor(i);
            }
            endInstruction();
            break;
        case code('P', 'C'): {
            const int n = numbers(v, 4);
            if (!flushPolyline()) {
                return false;
            }
            if (n == 0) {
                for (int i = 0; i < kPens; ++i) {
                    colors_[static_cast<std::size_t>(i)] = defaultColor(i);
                }
            } else {
                const int p = toInt(v[0], 0, kPens - 1);
                Rgb c = defaultColor(p);
                if (n >= 4) {
                    c = 0;
                    for (int k = 0; k < 3; ++k) {
                        const double lo = range_[2 * k], hi = range_[2 * k + 1];
                        double f = hi != lo ? (v[k + 1] - lo) / (hi - lo) : 0;
                        f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0;
                        c = c << 8 | static_cast<Rgb>(std::lround(f * 255));
                    }
                }
                colors_[static_cast<std::size_t>(p)] = c;
            }
            endInstruction();
            break;
        }
        case code('C', 'R'): {
            const int n = numbers(v, 6);
            if (n == 6) {
                std::copy_n(v, 6, range_);
            } else {
                std::fill(std::begin(range_), std::end(range_), 0.0);
                range_[1] = range_[3] = range_[5] = 255;
            }
            endInstruction();
            break;
        }
        case code('L', 'B'):
            if (!label()) {
                return false;
            }
            break;
        case code('D', 'T'): {
            const int c = in_.peek();
            if (c == ';' || c < 0) {
                terminator_ = 3;
            } else {
                terminator_ = in_.get();
                if (in_.peek() == ',') {
                    in_.get();
                    numbers(v, 1);
                }
            }
            endInstruction();
            break;
        }
        case code('D', 'V'): {
            vertical_ = numbers(v, 2) >= 1 && v[0] == 1;
            endInstruction();
            break;
        }
        case code('S', 'M'): {
            const int c = in_.peek();
            symbol_ = 0;
            if (c > ' ' && c < 0x7F && c != ';') {
                symbol_ = in_.get();
            }
            endInstruction();
            break;
        }
        case code('S', 'I'):
        case code('S', 'R'): {
            const int n = numbers(v, 2);
            relativeSize_ = b == 'R';
            if (b == 'I') {
                charW_ = n >= 2 ? clampCoordinate(v[0] * 400) : 76;
                charH_ = n >= 2 ? clampCoordinate(v[1] * 400) : 108;
            } else {
                relW_ = n >= 2 ? v[0] : 0.75;
                relH_ = n >= 2 ? v[1] : 1.5;
            }
            endInstruction();
            break;
        }
        case code('D', 'I'):
        case code('D', 'R'): {
            const int n = numbers(v, 2);
            relativeDir_ = b == 'R';
            run_ = n >= 2 ? v[0] : 1;
            rise_ = n >= 2 ? v[1] : 0;
            endInstruction();
            break;
        }
        case code('S', 'L'):
            slant_ = numbers(v, 1) == 1 ? v[0] : 0;
            endInstruction();
            break;
        case code('E', 'S'): {
            const int n = numbers(v, 2);
            extraSpace_ = n >= 1 ? std::clamp(v[0], -10.0, 10.0) : 0;
            extraLine_ = n >= 2 ? std::clamp(v[1], -10.0, 10.0) : 0;
            endInstruction();
            break;
        }
        case code('L', 'O'):
            labelOrigin_ = numbers(v, 1) == 1 ? toInt(v[0], 1, 21) : 1;
            endInstruction();
            break;
        case code('C', 'P'): {
            const int n = numbers(v, 2);
            const Point cell = charCell();
            const double ang = textAngle() * std::numbers::pi / 180;
            if (n == 0) {
                const double step = cell.y * 2 * (1 + extraLine_);
                carriage_ = {carriage_.x + std::sin(ang) * step,
                             carriage_.y - std::cos(ang) * step};
                pen_ = carriage_;
            } else {
                const double dx = v[0] * cell.x * 1.5 * (1 + extraSpace_);
                const double dy = (n >= 2 ? v[1] : 0) * cell.y * 2 * (1 + extraLine_);
                pen_ = {clampCoordinate(pen_.x + std::cos(ang) * dx - std::sin(ang) * dy),
                        clampCoordinate(pen_.y + std::sin(ang) * dx + std::cos(ang) * dy)};
            }
            if (!flushPolyline()) {
                return false;
            }
            endInstruction();
            break;
        }
        case code('C', 'T'):
            numbers(v, 1);
            endInstruction();
            break;
        case code('P', 'G'):
            numbers(v, 1);
            endInstruction();
            if (!endPage()) {
                return false;
            }
            break;
        case code('C', 'O'):
            // Comments come quoted, or in older files bare up to the semicolon.
            while (in_.peek() == ' ') {
                in_.get();
            }
            if (in_.peek() == '"') {
                // Our own writer names the layer of what follows this way.
                in_.get();
                std::string comment;
                for (int c = in_.get(); c >= 0 && c != '"'; c = in_.get()) {
                    if (comment.size() < 32) {
                        comment += static_cast<char>(c);
                    }
                }
                if (comment == kMarksLayerComment) {
                    layer_ = Layer::marks;
                } else if (comment == kDrawingLayerComment) {
                    layer_ = Layer::drawing;
                }
                endInstruction();
            } else {
                for (int c = in_.get(); c >= 0 && c != ';'; c = in_.get()) {
                }
            }
            break;
        case code('B', 'L'):
        case code('W', 'D'):
            for (int c = in_.get(), n = 0; c >= 0 && c != terminator_; c = in_.get(), ++n) {
                if (n > static_cast<int>(kMaxLabelBytes)) {
                    return fail("label longer than 65536 bytes");
                }
            }
            break;
        // Understood, without effect on the page model.
        case code('I', 'W'):
            if (!flushPolyline()) {
                return false;
            }
            if (numbers(v, 4) == 4) {
                const Point a = toPage(toPlotter(v[0], v[1]));
                const Point c = toPage(toPlotter(v[2], v[3]));
                window_ = true;
                windowLo_ = {std::min(a.x, c.x), std::min(a.y, c.y)};
                windowHi_ = {std::max(a.x, c.x), std::max(a.y, c.y)};
            } else {
                // Back to the hard-clip limits: the media, when the plot set one.
                window_ = mediaW_ > 0 && mediaH_ > 0;
                windowLo_ = {0, 0};
                windowHi_ = {mediaW_, mediaH_};
            }
            endInstruction();
            break;
        case code('F', 'T'): {
            const int n = numbers(v, 3);
            fillType_ = n >= 1 ? toInt(v[0], 0, 100) : 1;
            fillOption_[0] = n >= 2 ? v[1] : 0;
            fillOption_[1] = n >= 3 ? v[2] : 0;
            endInstruction();
            break;
        }
        case code('B', 'P'):
        case code('P', 'T'):
        case code('L', 'A'):
        case code('V', 'S'):
        case code('C', 'A'):
        case code('C', 'S'):
        case code('S', 'A'):
        case code('S', 'S'):
        case code('R', 'F'):
        case code('A', 'C'):
        case code('S', 'V'):
        case code('T', 'R'):
        case code('M', 'C'):
        case code('P', 'P'):
        case code('Q', 'L'):
        case code('F', 'I'):
        case code('F', 'N'):
        case code('S', 'D'):
        case code('A', 'D'):
        case code('L', 'M'):
        case code('C', 'F'):
        case code('D', 'L'):
        case code('E', 'C'):
        case code('P', 'B'):
        case code('N', 'R'):
        case code('O', 'P'):
        case code('O', 'W'):
        case code('O', 'H'):
        case code('O', 'I'):
        case code('O', 'S'):
        case code('O', 'E'):
        case code('O', 'A'):
        case code('O', 'C'):
        case code('O', 'F'):
        case code('O', 'O'):
        case code('C', 'C'):
        case code('C', 'M'):
        case code('D', 'C'):
        case code('D', 'P'):
        case code('E', 'N'):
        case code('G', 'M'):
        case code('I', 'M'):
        case code('I', 'V'):
        case code('K', 'Y'):
        case code('M', 'G'):
        case code('M', 'T'):
        case code('R', 'P'):
        case code('S', 'G'):
        case code('S', 'T'):
        case code('T', 'L'):
        case code('U', 'F'):
        case code('V', 'A'):
        case code('V', 'N'):
        case code('X', 'T'):
        case code('Y', 'T'):
            skipParameters();
            break;
        default:
            known = false;
            skipParameters();
            break;
    }
    if (!known && !recognised_) {
        error_.offset = start;
        failed_ = true;
        error_.message = "no HP-GL instruction at the start of the input";
        return false;
    }
    recognised_ = recognised_ || known;
    ++(known ? knownCount_ : unknownCount_);
    return !failed_;
}

// ---------------------------------------------------------------- escapes

bool Reader::finishRaster() {
    if (!raster_.active()) {
        return true;
    }
    Raster r;
    bool has = false;
    std::string error;
    limitRaster();
    if (!raster_.finish(r, has, error)) {
        return budget_.room() < rtl::kMaxRasterBytes ? rasterTooLarge() : fail(error);
    }
    // An image without a row or a column shows nothing, and no file could
    // carry it: it is no content of the page.
    if (!has || r.width <= 0 || r.height <= 0) {
        return true;
    }
    const double unitsPerPixel = kUnitsPerInch / r.dpi;
    const double heightUnits = r.height * unitsPerPixel;
    if (rasterPlaced_) {
        r.origin = rasterOrigin_;
    } else {
        // Without a position from HP-GL/2 the image hangs from the top of the
        // page, or stands on the origin when the page size is unknown.
        r.origin = {0, mediaH_ > 0 ? mediaH_ : heightUnits};
    }
    cap_ = {r.origin.x, r.origin.y - heightUnits};
    capFromPen_ = true;
    pageRasterBytes_ += r.pixels.size();
    if (pageRasterBytes_ > kMaxPageRasterBytes) {
        return fail("page holds too much raster data");
    }
    return keep(page_.rasters, std::move(r));
}

// ESC and what follows; the ESC is still in the input.
bool Reader::escape() {
    in_.get();
    const int c1 = in_.get();
    if (c1 < 0) {
        return fail("input ends inside an escape sequence");
    }
    if (c1 == 'E') {
        recognised_ = true;
        if (!flushPolyline()) {
            return false;
        }
        if (!page_.empty() || raster_.active()) {
            if (!endPage()) {
                return false;
            }
        }
        raster_.reset();
        resetState();
        rtlMode_ = true;
        afterReset_ = true;
        return true;
    }
    afterReset_ = false;
    if (c1 == '.') {
        // Device control of serial plotters: ESC . letter parameters [:]
        recognised_ = true;
        in_.get();
        for (int c = in_.peek(); (c >= '0' && c <= '9') || c == ';' || c == ','; c = in_.peek()) {
            in_.get();
        }
        if (in_.peek() == ':') {
            in_.get();
        }
        return true;
    }
    if (c1 == '%') {
        double value = 0;
        const bool has = number(value);
        const int t = in_.get();
        if (t < 0) {
            return fail("input ends inside an escape sequence");
        }
        if (t == 'A' || t == 'a') {
            recognised_ = true;
            if (!flushPolyline()) {
                return false;
            }
            if (has && toInt(value, -1, 3) == 1) {
                cap_ = toPage(pen_);
                capFromPen_ = true;
            }
            rtlMode_ = true;
        } else if (t == 'B' || t == 'b') {
            recognised_ = true;
            if (!finishRaster()) {
                return false;
            }
            if (has && toInt(value, -1, 3) == 1 && capFromPen_) {
                pen_ = cap_;  // only exact when the page is not rotated
            }
            rtlMode_ = false;
        } else if (t == 'X' || t == 'x') {
            recognised_ = true;
            if (!flushPolyline()) {
                return false;
            }
            if (!page_.empty() || raster_.active()) {
                if (!endPage()) {
                    return false;
                }
            }
            rtlMode_ = true;
        }
        return true;
    }
    if (c1 < 0x21 || c1 > 0x2F) {
        return true;  // two-character escape without effect here
    }
    // PCL escapes mean the bytes around them are PCL, not HP-GL/2.
    rtlMode_ = true;
    const int group = in_.get();
    if (group < 0) {
        return fail("input ends inside an escape sequence");
    }
    for (;;) {
        double value = 0;
        const bool has = number(value);
        const int p = in_.get();
        if (p < 0) {
            return fail("input ends inside an escape sequence");
        }
        const bool last = p >= 0x40 && p <= 0x5E;
        if (!last && !(p >= 0x60 && p <= 0x7E)) {
            return true;  // malformed; what follows is read afresh
        }
        const int command = upper(p);
        const long n = has ? static_cast<long>(std::clamp(value, -1e9, 1e9)) : 0;
        const bool data = command == 'W' || (c1 == '&' && group == 'p' && command == 'X');
        if (data) {
            if (n < 0 || static_cast<std::size_t>(n) > kMaxDataTransfer) {
                return fail("raster data transfer of impossible size");
            }
            std::vector<std::uint8_t> bytes;
            bytes.reserve(static_cast<std::size_t>(std::min<long>(n, 1 << 16)));
            for (long i = 0; i < n; ++i) {
                const int b = in_.get();
                if (b < 0) {
                    return fail("input ends inside raster data");
                }
                bytes.push_back(static_cast<std::uint8_t>(b));
            }
            if (c1 == '*' && group == 'b') {
                recognised_ = true;
                if (!raster_.active()) {
                    rasterPlaced_ = capFromPen_;
                    rasterOrigin_ = cap_;
                }
                limitRaster();
                if (!raster_.addPlane(bytes, true)) {
                    return rasterTooLarge();
                }
            } else if (c1 == '*' && group == 'v') {
                raster_.configureImageData(bytes);
            }
        } else if (c1 == '*') {
            recognised_ = true;
            if (group == 't' && command == 'R') {
                raster_.setResolution(value);
            } else if (group == 'r' && command == 'S') {
                if (n < 0 || n > 1'000'000) {
                    return fail("raster width out of range");
                }
                raster_.setSourceWidth(n);
            } else if (group == 'r' && command == 'T') {
                if (n < 0 || n > 1'000'000) {
                    return fail("raster height out of range");
                }
                raster_.setSourceHeight(n);
            } else if (group == 'r' && command == 'U') {
                raster_.setSimpleColor(static_cast<int>(n));
            } else if (group == 'r' && command == 'A') {
                if (!raster_.active()) {
                    rasterPlaced_ = capFromPen_;
                    rasterOrigin_ = {n == 1 ? cap_.x : 0, cap_.y};
                    limitRaster();
                    raster_.start();
                }
            } else if (group == 'r' && (command == 'B' || command == 'C')) {
                if (!finishRaster()) {
                    return false;
                }
            } else if (group == 'b' && command == 'M') {
                raster_.setCompression(static_cast<int>(n));
            } else if (group == 'b' && command == 'Y') {
                if (n < 0 || static_cast<std::size_t>(n) > 1'000'000) {
                    return fail("raster offset out of range");
                }
                limitRaster();
                if (!raster_.skipRows(n)) {
                    return budget_.room() < rtl::kMaxRasterBytes
                               ? rasterTooLarge()
                               : fail("raster offset out of range");
                }
            } else if (group == 'b' && command == 'V') {
                // plane data comes like W, but the row goes on
                if (n < 0 || static_cast<std::size_t>(n) > kMaxDataTransfer) {
                    return fail("raster data transfer of impossible size");
                }
                std::vector<std::uint8_t> bytes;
                for (long i = 0; i < n; ++i) {
                    const int b = in_.get();
                    if (b < 0) {
                        return fail("input ends inside raster data");
                    }
                    bytes.push_back(static_cast<std::uint8_t>(b));
                }
                if (!raster_.active()) {
                    rasterPlaced_ = capFromPen_;
                    rasterOrigin_ = cap_;
                }
                limitRaster();
                if (!raster_.addPlane(bytes, false)) {
                    return rasterTooLarge();
                }
            } else if (group == 'v' && command >= 'A' && command <= 'C') {
                raster_.setColorComponent(command - 'A', value);
            } else if (group == 'v' && command == 'I') {
                raster_.assignColorIndex(n);
            }
        }
        if (last) {
            return true;
        }
    }
}

// PCL/RTL context: escapes, form feeds and PJL lines; other bytes are text
// this reader does not draw.
bool Reader::pclMode() {
    bool lineStart = true;
    for (;;) {
        const int c = in_.peek();
        if (c < 0) {
            return true;
        }
        if (c == kEsc) {
            if (!escape()) {
                return false;
            }
            if (!rtlMode_) {
                return true;
            }
            lineStart = false;
            continue;
        }
        // Plotter files often follow a reset with HP-GL/2 at once, without
        // the switch that PCL would need.
        if (afterReset_ && isLetter(c)) {
            afterReset_ = false;
            rtlMode_ = false;
            return true;
        }
        if (c > ' ') {
            afterReset_ = false;
        }
        in_.get();
        if (c == '\f') {
            if (!endPage()) {
                return false;
            }
        } else if (c == '@' && lineStart) {
            std::string line = "@";
            for (int d = in_.peek(); d >= 0 && d != '\n' && d != kEsc; d = in_.peek()) {
                if (line.size() < 256) {
                    line.push_back(static_cast<char>(upper(d)));
                }
                in_.get();
            }
            if (line.rfind("@PJL", 0) == 0) {
                recognised_ = true;
                if (line.find("ENTER LANGUAGE") != std::string::npos &&
                    line.find("HPGL") != std::string::npos) {
                    if (in_.peek() == '\n') {
                        in_.get();
                    }
                    rtlMode_ = false;
                    return true;
                }
            }
        }
        lineStart = c == '\n';
    }
}

}  // namespace

bool readHpgl(std::istream& in, const PageSink& sink, ReadError& error) {
    error = ReadError();
    Reader reader(in, sink, error, kPageBudgetFloor);
    return reader.run();
}

bool readHpglFile(const std::string& path, const PageSink& sink, ReadError& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = {"cannot open the file", 0};
        return false;
    }
    error = ReadError();
    Reader reader(in, sink, error, pageBudgetFor(fileBytesOf(path)));
    return reader.run();
}

}  // namespace drawing

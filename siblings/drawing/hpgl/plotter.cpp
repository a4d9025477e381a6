#include "drawing/hpgl/plotter.h"

#include <algorithm>
#include <fstream>
#include <istream>
#include <new>
#include <utility>

#include "drawing/clip.h"
#include "drawing/hpgl/hpgl.h"

namespace drawing::hpgl {

namespace {

constexpr std::size_t kMaxPagePoints = 10'000'000;
constexpr int kEsc = 0x1B;

constexpr int mnemonicIndex(int a, int b) {
    return (a - 'A') * 26 + (b - 'A');
}

}  // namespace

Plotter::Plotter(std::istream& in, const PageSink& sink, ReadError& error, std::size_t budget)
    : in_(in), sink_(sink), error_(error), budget_(budget) {}

// The instructions understood, by mnemonic. Those in the last group are
// read and have no effect on the page model.
const std::array<Plotter::Handler, Plotter::kMnemonics>& Plotter::handlers() {
    static const std::array<Handler, kMnemonics> table = [] {
        std::array<Handler, kMnemonics> t{};
        const std::pair<const char*, Handler> entries[] = {
            // set-up, pens and lines
            {"IN", &Plotter::initialize},
            {"DF", &Plotter::defaultValues},
            {"IP", &Plotter::inputP1P2},
            {"IR", &Plotter::inputRelative},
            {"SC", &Plotter::scale},
            {"PS", &Plotter::plotSize},
            {"RO", &Plotter::rotate},
            {"SP", &Plotter::selectPen},
            {"LT", &Plotter::lineType},
            {"UL", &Plotter::userLineType},
            {"PW", &Plotter::penWidth},
            {"WU", &Plotter::widthUnit},
            {"NP", &Plotter::numberOfPens},
            {"PC", &Plotter::penColor},
            {"CR", &Plotter::colorRange},
            {"CT", &Plotter::chordTolerance},
            {"PG", &Plotter::pageAdvance},
            {"CO", &Plotter::comment},
            {"IW", &Plotter::inputWindow},
            // vectors
            {"PU", &Plotter::penUp},
            {"PD", &Plotter::penDown},
            {"PA", &Plotter::plotAbsolute},
            {"PR", &Plotter::plotRelative},
            {"PE", &Plotter::polylineEncoded},
            {"CI", &Plotter::circleInstruction},
            {"AA", &Plotter::arcAbsolute},
            {"AR", &Plotter::arcRelative},
            {"AT", &Plotter::arcThreePointAbsolute},
            {"RT", &Plotter::arcThreePointRelative},
            {"BZ", &Plotter::bezierAbsolute},
            {"BR", &Plotter::bezierRelative},
            // polygons and fills
            {"EA", &Plotter::edgeRectangleAbsolute},
            {"ER", &Plotter::edgeRectangleRelative},
            {"RA", &Plotter::fillRectangleAbsolute},
            {"RR", &Plotter::fillRectangleRelative},
            {"WG", &Plotter::fillWedge},
            {"EW", &Plotter::edgeWedge},
            {"PM", &Plotter::polygonMode},
            {"FP", &Plotter::fillPolygon},
            {"EP", &Plotter::edgePolygon},
            {"FT", &Plotter::fillType},
            // labels
            {"LB", &Plotter::label},
            {"DT", &Plotter::defineTerminator},
            {"DV", &Plotter::directionVertical},
            {"SM", &Plotter::symbolMode},
            {"SI", &Plotter::sizeAbsolute},
            {"SR", &Plotter::sizeRelative},
            {"DI", &Plotter::directionAbsolute},
            {"DR", &Plotter::directionRelative},
            {"SL", &Plotter::slant},
            {"ES", &Plotter::extraSpace},
            {"LO", &Plotter::labelOrigin},
            {"CP", &Plotter::characterPlot},
            {"BL", &Plotter::skipLabel},
            {"WD", &Plotter::skipLabel},
        };
        for (const auto& [mnemonic, handler] : entries) {
            t[static_cast<std::size_t>(mnemonicIndex(mnemonic[0], mnemonic[1]))] = handler;
        }
        for (const char* m :
             {"BP", "PT", "LA", "VS", "CA", "CS", "SA", "SS", "RF", "AC", "SV", "TR", "MC", "PP",
              "QL", "FI", "FN", "SD", "AD", "LM", "CF", "DL", "EC", "PB", "NR", "OP", "OW", "OH",
              "OI", "OS", "OE", "OA", "OC", "OF", "OO", "CC", "CM", "DC", "DP", "EN", "GM", "IM",
              "IV", "KY", "MG", "MT", "RP", "SG", "ST", "TL", "UF", "VA", "VN", "XT", "YT"}) {
            t[static_cast<std::size_t>(mnemonicIndex(m[0], m[1]))] = &Plotter::skipInstruction;
        }
        return t;
    }();
    return table;
}

bool Plotter::fail(const std::string& message) {
    if (!failed_) {
        error_.message = message;
        error_.offset = in_.offset();
        failed_ = true;
    }
    return false;
}

bool Plotter::notAPlot(std::size_t start) {
    error_.offset = start;
    failed_ = true;
    error_.message = "no HP-GL instruction at the start of the input";
    return false;
}

bool Plotter::run() {
    for (;;) {
        if (failed_) {
            return false;
        }
        if (stopped_) {
            return true;
        }
        // Mostly the two letters of a known mnemonic, read in already:
        // what next() would do with them, without its turns.
        const char* p = in_.cursor();
        if (!rtlMode_ && in_.end() - p >= 2 && isLetter(p[0]) && isLetter(p[1])) {
            const Handler handler =
                handlers()[static_cast<std::size_t>(mnemonicIndex(upper(p[0]), upper(p[1])))];
            if (handler != nullptr) {
                in_.takeUpTo(p + 2);
                if (!(this->*handler)()) {
                    return !failed_ && stopped_;
                }
                recognised_ = true;
                ++knownCount_;
                continue;
            }
        }
        const Step step = next();
        if (step == Step::end) {
            return finish();
        }
        if (step == Step::stop) {
            return !failed_ && stopped_;
        }
    }
}

Plotter::Step Plotter::next() {
    if (rtlMode_) {
        if (!pclMode()) {
            return Step::stop;
        }
        return in_.peek() < 0 ? Step::end : Step::more;
    }
    const int c = in_.peek();
    if (c < 0) {
        return Step::end;
    }
    if (isLetter(c)) {
        return instruction() ? Step::more : Step::stop;
    }
    if (c == kEsc) {
        return escape() ? Step::more : Step::stop;
    }
    if (c >= 0x80) {
        fail("binary data where an HP-GL instruction was expected");
        return Step::stop;
    }
    if (c > ' ' && c != ';' && c != ',' && !recognised_) {
        fail("no HP-GL instruction at the start of the input");
        return Step::stop;
    }
    in_.get();
    return Step::more;
}

bool Plotter::finish() {
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

bool Plotter::instruction() {
    const std::size_t start = in_.offset();
    const int a = upper(in_.get());
    const int second = in_.peek();
    if (!isLetter(second)) {
        if (!recognised_) {
            return notAPlot(start);
        }
        skipParameters(in_);
        return true;
    }
    in_.get();
    const Handler handler = handlers()[static_cast<std::size_t>(mnemonicIndex(a, upper(second)))];
    if (handler == nullptr) {
        skipParameters(in_);
        if (!recognised_) {
            return notAPlot(start);
        }
        ++unknownCount_;
        return !failed_;
    }
    if (!(this->*handler)()) {
        return false;
    }
    recognised_ = true;
    ++knownCount_;
    return !failed_;
}

// ---------------------------------------------------------------- geometry

void Plotter::resetAll() {
    st_.reset();
    polygonMode_ = false;
}

bool Plotter::inWindow(Point p) const {
    return !st_.window || (p.x >= st_.windowLo.x && p.x <= st_.windowHi.x &&
                           p.y >= st_.windowLo.y && p.y <= st_.windowHi.y);
}

void Plotter::addPath(Path&& path) {
    if (!st_.window ||
        std::all_of(path.points.begin(), path.points.end(), [&](Point p) { return inWindow(p); })) {
        if (foldFillEdges_ && !page_.paths.empty() && tracesFill(path, page_.paths.back())) {
            // Let go at once: the next fill's points take the same room.
            std::vector<Point>().swap(path.points);
            path.subpathStarts = {};
        }
        keep(page_.paths, std::move(path));
        return;
    }
    std::vector<std::size_t> starts = {0};
    starts.insert(starts.end(), path.subpathStarts.begin(), path.subpathStarts.end());
    starts.push_back(path.points.size());
    if (path.filled) {
        addClippedFill(path, starts);
    } else {
        addClippedOutline(path, starts);
    }
}

// Each ring of a fill clipped to the window; rings left with no area go.
void Plotter::addClippedFill(const Path& path, const std::vector<std::size_t>& starts) {
    Path clipped = path;
    clipped.points.clear();
    clipped.subpathStarts.clear();
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        std::vector<Point> ring(path.points.begin() + static_cast<long>(starts[k]),
                                path.points.begin() + static_cast<long>(starts[k + 1]));
        ring = clipPolygon(std::move(ring), st_.windowLo, st_.windowHi);
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
}

// Outlines fall apart into the open pieces that lie inside the window.
void Plotter::addClippedOutline(const Path& path, const std::vector<std::size_t>& starts) {
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
            if (!clipSegment(a, b, st_.windowLo, st_.windowHi)) {
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

bool Plotter::endPage() {
    if (!flushPolyline() || !finishRaster()) {
        return false;
    }
    if (page_.empty()) {
        return true;
    }
    page_.width = st_.mediaW;
    page_.height = st_.mediaH;
    handedOn_ = true;
    Page done = std::move(page_);
    page_ = Page();
    lastPagePaths_ = done.paths.size();
    reservePaths();
    pagePoints_ = polygonMode_ ? pmPoints_.size() : 0;
    pageRasterBytes_ = 0;
    budget_.startPage();
    if (!sink_(std::move(done))) {
        stopped_ = true;
        return false;
    }
    return true;
}

void Plotter::expectInputBytes(std::uintmax_t bytes) {
    inputBytes_ = bytes;
    reservePaths();
}

void Plotter::reservePaths() {
    // Our own page files write a path in 30 to 40 bytes, plots as they come
    // in 150 to 200; a page that draws more densely still grows its list
    // from this room. The room is held to what a page may take at least
    // (memory_budget.h), and going without it only costs the copies.
    constexpr std::uintmax_t kBytesPerPath = 16;
    constexpr std::uintmax_t kMostPaths = kPageBudgetFloor / sizeof(Path);
    const std::uintmax_t offset = in_.offset();
    const std::uintmax_t rest = inputBytes_ > offset ? inputBytes_ - offset : 0;
    std::uintmax_t paths = std::min(rest / kBytesPerPath, kMostPaths);
    // A page after the first gets the room of the page before it and a
    // quarter more: the pages of one plot tend to be alike, and a thousand
    // small pages each given the room of all the rest took twice the time.
    if (handedOn_) {
        paths = std::min(paths, lastPagePaths_ + lastPagePaths_ / 4);
    }
    if (paths > page_.paths.capacity()) {
        try {
            page_.paths.reserve(static_cast<std::size_t>(paths));
        } catch (const std::bad_alloc&) {
        }
    }
}

bool Plotter::addPoints(std::size_t n) {
    pagePoints_ += n;
    if (pagePoints_ > kMaxPagePoints) {
        return fail("page holds too many points");
    }
    return true;
}

bool Plotter::flushPolyline() {
    if (poly_.size() >= 2) {
        // The page keeps a copy of exactly its size; poly_ keeps its room
        // for the next polyline. Moving it would leave the page up to
        // twice the points of a polyline grown point by point.
        Path path;
        path.points.assign(poly_.begin(), poly_.end());
        path.stroke = polyStroke_;
        addPath(std::move(path));
    }
    poly_.clear();
    return !failed_;
}

bool Plotter::moveTo(PrecisePoint target) {
    const Point to = st_.toPage(target);
    // A pen put down where it stands draws nothing more: outlines flattened
    // to whole units repeat many points, and a repeat kept is a point more
    // to hold, write and compare. A line or outline of one place keeps two
    // points, a dot.
    if (polygonMode_) {
        if (subClosed_ || !st_.penDown) {
            polygonStartSub(to);
            if (!addPoints(1)) {
                return false;
            }
        } else if (pmStarts_.empty() || pmPoints_.size() - pmStarts_.back() < 2 ||
                   !(pmPoints_.back() == to)) {
            pmPoints_.push_back(to);
            if (!addPoints(1)) {
                return false;
            }
        }
    } else if (st_.penDown) {
        if (poly_.empty()) {
            poly_.push_back(st_.toPage(st_.pen));
            polyStroke_ = st_.currentStroke();
        }
        if (poly_.size() == 2 && poly_[0] == poly_[1]) {
            poly_[1] = to;  // the dot it started as, a line now or still
        } else if (poly_.size() < 2 || !(poly_.back() == to)) {
            poly_.push_back(to);
            if (!addPoints(1)) {
                return false;
            }
        }
    } else if (!flushPolyline()) {
        return false;
    }
    st_.pen = target;
    if (st_.symbol != 0) {
        return symbol();
    }
    return true;
}

void Plotter::polygonStartSub(Point pagePoint) {
    subClosed_ = false;
    if (!pmStarts_.empty() && pmPoints_.size() - pmStarts_.back() == 1) {
        pmPoints_.back() = pagePoint;
        return;
    }
    pmStarts_.push_back(pmPoints_.size());
    pmPoints_.push_back(pagePoint);
}

}  // namespace drawing::hpgl

namespace drawing {

bool readHpgl(std::istream& in, const PageSink& sink, ReadError& error) {
    return readHpgl(in, sink, error, HpglReadOptions{});
}

bool readHpgl(std::istream& in, const PageSink& sink, ReadError& error,
              const HpglReadOptions& options) {
    error = ReadError();
    hpgl::Plotter plotter(in, sink, error, kPageBudgetFloor);
    plotter.foldFillEdges(options.foldFillEdges);
    return plotter.run();
}

bool readHpglFile(const std::string& path, const PageSink& sink, ReadError& error) {
    return readHpglFile(path, sink, error, HpglReadOptions{});
}

void unfoldFillEdges(Page& page) {
    for (std::size_t i = 1; i < page.paths.size(); ++i) {
        Path& edge = page.paths[i];
        const Path& fill = page.paths[i - 1];
        if (edge.points.empty() && looksLikeEdgeOf(edge, fill)) {
            edge.points = fill.points;
            edge.subpathStarts = fill.subpathStarts;
        }
    }
}

bool readHpglFile(const std::string& path, const PageSink& sink, ReadError& error,
                  const HpglReadOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = {"cannot open the file", 0};
        return false;
    }
    error = ReadError();
    const std::uintmax_t bytes = fileBytesOf(path);
    hpgl::Plotter plotter(in, sink, error, pageBudgetFor(bytes));
    plotter.foldFillEdges(options.foldFillEdges);
    plotter.expectInputBytes(bytes);
    return plotter.run();
}

}  // namespace drawing

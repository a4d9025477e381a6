// The HP-GL reader: the plotter state, the page being drawn, and one handler
// per instruction, found through a table indexed by the two letters of the
// mnemonic. The handlers live by kind in vectors.cpp, polygons.cpp,
// labels.cpp and setup.cpp; the PCL/RTL escapes in escapes.cpp; the
// geometry that ends up on the page in plotter.cpp.
//
// One pass over the bytes: every byte is looked at a bounded number of
// times and every instruction yields a bounded amount of geometry, so that
// any input ends quickly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drawing/hpgl/plotter_state.h"
#include "drawing/hpgl/rtl.h"
#include "drawing/hpgl/tokenizer.h"
#include "drawing/memory_budget.h"
#include "drawing/reader.h"

namespace drawing::hpgl {

class EncodedNumbers;

class Plotter {
  public:
    // budget: the bytes one page may take in memory (drawing/memory_budget.h).
    Plotter(std::istream& in, const PageSink& sink, ReadError& error,
            std::size_t budget = kPageBudgetFloor);
    // The plotter keeps the sink by reference: a temporary one (a lambda
    // passed straight in) would be gone before the first page.
    Plotter(std::istream& in, PageSink&& sink, ReadError& error,
            std::size_t budget = kPageBudgetFloor) = delete;
    // Reads to the end of the input (or until the sink stops it); false
    // with the error filled in when the input is no readable plot.
    bool run();
    // HpglReadOptions::foldFillEdges.
    void foldFillEdges(bool fold) { foldFillEdges_ = fold; }
    // The input holds this many bytes: the first page starts with room for
    // the paths the rest of them are likely to hold, each later one for
    // those of the page before it, so that a page's path list is not copied
    // as it grows. On a page of a hundred thousand paths the last copy held
    // the old list and the new one at once, a sixth of the peak of a whole
    // join. Room never written takes no memory.
    void expectInputBytes(std::uintmax_t bytes);

    // For tests: the state after what has been read, and the page not yet
    // handed on.
    const PlotterState& state() const { return st_; }
    const Page& page() const { return page_; }

  private:
    using Handler = bool (Plotter::*)();
    static constexpr int kMnemonics = 26 * 26;
    static const std::array<Handler, kMnemonics>& handlers();

    bool fail(const std::string& message);
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
    // What reading one instruction, escape or separator left: more to
    // read, the end of the input, or a stop (an error, or the sink's).
    enum class Step { more, end, stop };
    Step next();
    // At the end of the input: the last page handed on, or what kind of
    // input this was not.
    bool finish();
    bool instruction();
    bool notAPlot(std::size_t start);

    // geometry (plotter.cpp)
    bool moveTo(PrecisePoint target);
    bool flushPolyline();
    bool addPoints(std::size_t n);
    void addPath(Path&& path);
    void addClippedFill(const Path& path, const std::vector<std::size_t>& starts);
    void addClippedOutline(const Path& path, const std::vector<std::size_t>& starts);
    bool inWindow(Point p) const;
    bool endPage();
    void polygonStartSub(Point pagePoint);
    void resetAll();

    // vectors (vectors.cpp)
    bool plotPairs(bool relative);
    std::vector<PrecisePoint> arcPoints(PrecisePoint center, PrecisePoint start, double sweepDeg,
                                        double chordDeg) const;
    double chordFor(bool given, double tolerance, double radius) const;
    bool arc(PrecisePoint center, double sweepDeg, double chordDeg);
    bool arcAround(bool relative);
    bool arcThreePoint(bool relative);
    bool bezier(bool relative);
    bool circle(double radius, double chordDeg);
    bool penUp();
    bool penDown();
    bool plotAbsolute();
    bool plotRelative();
    bool polylineEncoded();
    bool encodedNumber(EncodedNumbers& numbers);
    bool circleInstruction();
    bool arcAbsolute();
    bool arcRelative();
    bool arcThreePointAbsolute();
    bool arcThreePointRelative();
    bool bezierAbsolute();
    bool bezierRelative();

    // polygons and fills (polygons.cpp)
    bool emitPath(std::vector<Point>&& pts, bool closed, bool filled, bool evenOdd,
                  std::vector<std::size_t> starts = {});
    bool hatch(const Path& area);
    bool hatchPass(const Path& area, const std::vector<std::size_t>& starts, double angleDeg,
                   double spacing);
    bool rectangle(PrecisePoint corner, bool filled);
    bool rectangleInstruction(bool relative, bool filled);
    bool wedge(double radius, double startDeg, double sweepDeg, double chordDeg, bool filled);
    bool wedgeInstruction(bool filled);
    bool polygonFill(bool filled, bool evenOdd);
    bool edgeRectangleAbsolute();
    bool edgeRectangleRelative();
    bool fillRectangleAbsolute();
    bool fillRectangleRelative();
    bool fillWedge();
    bool edgeWedge();
    bool polygonMode();
    bool fillPolygon();
    bool edgePolygon();
    bool fillType();

    // labels (labels.cpp)
    bool emitText(const std::string& text, PrecisePoint at);
    bool symbol();
    bool label();
    bool defineTerminator();
    bool directionVertical();
    bool symbolMode();
    bool sizeAbsolute();
    bool sizeRelative();
    bool direction(bool relative);
    bool directionAbsolute();
    bool directionRelative();
    bool slant();
    bool extraSpace();
    bool labelOrigin();
    bool characterPlot();
    bool skipLabel();

    // set-up, pens and lines (setup.cpp)
    bool initialize();
    bool defaultValues();
    bool inputP1P2();
    bool inputRelative();
    bool scale();
    bool plotSize();
    bool rotate();
    bool selectPen();
    bool lineType();
    bool userLineType();
    bool penWidth();
    bool widthUnit();
    bool numberOfPens();
    bool penColor();
    bool colorRange();
    bool chordTolerance();
    bool pageAdvance();
    bool comment();
    bool inputWindow();
    bool skipInstruction();

    // PCL/RTL (escapes.cpp)
    bool escape();
    bool resetEscape();
    bool deviceControl();
    bool percentEscape();
    bool parameterisedEscape(int c1);
    bool escapeParameter(int c1, int group, int command, double value, bool has);
    bool rasterCommand(int group, int command, double value, long n);
    bool readData(long n, std::vector<std::uint8_t>& bytes);
    bool rasterData(int c1, int group, long n, bool rowEnds);
    bool pclMode();
    bool pjlLine();
    bool finishRaster();

    Input in_;
    const PageSink& sink_;
    ReadError& error_;
    bool failed_ = false;
    bool foldFillEdges_ = false;
    std::uintmax_t inputBytes_ = 0;  // 0: not known
    std::uintmax_t lastPagePaths_ = 0;
    void reservePaths();
    PageBudget budget_;
    bool stopped_ = false;
    bool recognised_ = false;
    std::size_t knownCount_ = 0, unknownCount_ = 0;
    bool handedOn_ = false;

    PlotterState st_;

    Page page_;
    std::size_t pagePoints_ = 0;
    std::size_t pageRasterBytes_ = 0;

    // The polyline being drawn, handed to the page when the pen lifts.
    std::vector<Point> poly_;
    Stroke polyStroke_;

    // PM: the polygon buffer, in page coordinates.
    bool polygonMode_ = false;
    bool subClosed_ = false;
    std::vector<Point> pmPoints_;
    std::vector<std::size_t> pmStarts_;

    rtl::RasterBuilder raster_;
    bool rtlMode_ = false;
    bool afterReset_ = false;
    PrecisePoint cap_;
    bool capFromPen_ = false;
    PrecisePoint rasterOrigin_;
    bool rasterPlaced_ = false;
};

}  // namespace drawing::hpgl

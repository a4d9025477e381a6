// PCL and HP RTL: the escapes between and around HP-GL/2 (reset, job
// boundaries, the switches between the two languages), raster graphics, and
// the PCL context's form feeds and PJL lines.
#include <algorithm>

#include "drawing/hpgl/plotter.h"

namespace drawing::hpgl {

namespace {

constexpr std::size_t kMaxPageRasterBytes = 512u * 1024 * 1024;
constexpr std::size_t kMaxDataTransfer = 64u * 1024 * 1024;
constexpr long kMaxRasterSide = 1'000'000;
constexpr int kEsc = 0x1B;

}  // namespace

bool Plotter::finishRaster() {
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
        r.origin = {0, st_.mediaH > 0 ? st_.mediaH : heightUnits};
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
bool Plotter::escape() {
    in_.get();
    const int c1 = in_.get();
    if (c1 < 0) {
        return fail("input ends inside an escape sequence");
    }
    if (c1 == 'E') {
        return resetEscape();
    }
    afterReset_ = false;
    if (c1 == '.') {
        return deviceControl();
    }
    if (c1 == '%') {
        return percentEscape();
    }
    if (c1 < 0x21 || c1 > 0x2F) {
        return true;  // two-character escape without effect here
    }
    return parameterisedEscape(c1);
}

// ESC E: a reset ends the page and starts PCL context.
bool Plotter::resetEscape() {
    recognised_ = true;
    if (!flushPolyline()) {
        return false;
    }
    if ((!page_.empty() || raster_.active()) && !endPage()) {
        return false;
    }
    raster_.reset();
    resetAll();
    rtlMode_ = true;
    afterReset_ = true;
    return true;
}

// Device control of serial plotters: ESC . letter parameters [:]
bool Plotter::deviceControl() {
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

// ESC % n A enters PCL context (at the HP-GL/2 pen when n is 1), ESC % n B
// HP-GL/2 (the pen at the PCL cursor when n is 1), ESC % -12345 X is a job
// boundary.
bool Plotter::percentEscape() {
    double value = 0;
    const bool has = readNumber(in_, value);
    const int t = in_.get();
    if (t < 0) {
        return fail("input ends inside an escape sequence");
    }
    const int command = upper(t);
    if (command == 'A') {
        recognised_ = true;
        if (!flushPolyline()) {
            return false;
        }
        if (has && toInt(value, -1, 3) == 1) {
            cap_ = st_.toPage(st_.pen);
            capFromPen_ = true;
        }
        rtlMode_ = true;
    } else if (command == 'B') {
        recognised_ = true;
        if (!finishRaster()) {
            return false;
        }
        if (has && toInt(value, -1, 3) == 1 && capFromPen_) {
            st_.pen = cap_;  // only exact when the page is not rotated
        }
        rtlMode_ = false;
    } else if (command == 'X') {
        recognised_ = true;
        if (!flushPolyline()) {
            return false;
        }
        if ((!page_.empty() || raster_.active()) && !endPage()) {
            return false;
        }
        rtlMode_ = true;
    }
    return true;
}

// ESC c1 group (value letter)... with the last letter in upper case.
bool Plotter::parameterisedEscape(int c1) {
    // PCL escapes mean the bytes around them are PCL, not HP-GL/2.
    rtlMode_ = true;
    const int group = in_.get();
    if (group < 0) {
        return fail("input ends inside an escape sequence");
    }
    for (;;) {
        double value = 0;
        const bool has = readNumber(in_, value);
        const int p = in_.get();
        if (p < 0) {
            return fail("input ends inside an escape sequence");
        }
        const bool last = p >= 0x40 && p <= 0x5E;
        if (!last && !(p >= 0x60 && p <= 0x7E)) {
            return true;  // malformed; what follows is read afresh
        }
        if (!escapeParameter(c1, group, upper(p), value, has)) {
            return false;
        }
        if (last) {
            return true;
        }
    }
}

bool Plotter::escapeParameter(int c1, int group, int command, double value, bool has) {
    const long n = has ? static_cast<long>(std::clamp(value, -1e9, 1e9)) : 0;
    if (command == 'W' || (c1 == '&' && group == 'p' && command == 'X')) {
        return rasterData(c1, group, n, true);
    }
    if (c1 == '*') {
        recognised_ = true;
        return rasterCommand(group, command, value, n);
    }
    return true;
}

// The n bytes of a data transfer.
bool Plotter::readData(long n, std::vector<std::uint8_t>& bytes) {
    if (n < 0 || static_cast<std::size_t>(n) > kMaxDataTransfer) {
        return fail("raster data transfer of impossible size");
    }
    bytes.reserve(static_cast<std::size_t>(std::min<long>(n, 1 << 16)));
    for (long i = 0; i < n; ++i) {
        const int b = in_.get();
        if (b < 0) {
            return fail("input ends inside raster data");
        }
        bytes.push_back(static_cast<std::uint8_t>(b));
    }
    return true;
}

// A data transfer: a row or plane of raster data (ESC * b W ends the row,
// ESC * b V goes on with the next plane), the image data configuration
// (ESC * v W), or other data that is read past.
bool Plotter::rasterData(int c1, int group, long n, bool rowEnds) {
    std::vector<std::uint8_t> bytes;
    if (!readData(n, bytes)) {
        return false;
    }
    if (c1 == '*' && group == 'b') {
        recognised_ = true;
        if (!raster_.active()) {
            rasterPlaced_ = capFromPen_;
            rasterOrigin_ = cap_;
        }
        limitRaster();
        if (!raster_.addPlane(bytes, rowEnds)) {
            return rasterTooLarge();
        }
    } else if (c1 == '*' && group == 'v') {
        raster_.configureImageData(bytes);
    }
    return true;
}

// ESC * group value command, other than a data transfer.
bool Plotter::rasterCommand(int group, int command, double value, long n) {
    switch (group << 8 | command) {
        case 't' << 8 | 'R':
            raster_.setResolution(value);
            return true;
        case 'r' << 8 | 'S':
        case 'r' << 8 | 'T':
            if (n < 0 || n > kMaxRasterSide) {
                return fail(command == 'S' ? "raster width out of range"
                                           : "raster height out of range");
            }
            if (command == 'S') {
                raster_.setSourceWidth(n);
            } else {
                raster_.setSourceHeight(n);
            }
            return true;
        case 'r' << 8 | 'U':
            raster_.setSimpleColor(static_cast<int>(n));
            return true;
        case 'r' << 8 | 'A':
            if (!raster_.active()) {
                rasterPlaced_ = capFromPen_;
                rasterOrigin_ = {n == 1 ? cap_.x : 0, cap_.y};
                limitRaster();
                raster_.start();
            }
            return true;
        case 'r' << 8 | 'B':
        case 'r' << 8 | 'C':
            return finishRaster();
        case 'b' << 8 | 'M':
            raster_.setCompression(static_cast<int>(n));
            return true;
        case 'b' << 8 | 'Y':
            if (n < 0 || n > kMaxRasterSide) {
                return fail("raster offset out of range");
            }
            limitRaster();
            if (!raster_.skipRows(n)) {
                return budget_.room() < rtl::kMaxRasterBytes ? rasterTooLarge()
                                                             : fail("raster offset out of range");
            }
            return true;
        case 'b' << 8 | 'V':
            return rasterData('*', 'b', n, false);
        case 'v' << 8 | 'A':
        case 'v' << 8 | 'B':
        case 'v' << 8 | 'C':
            raster_.setColorComponent(command - 'A', value);
            return true;
        case 'v' << 8 | 'I':
            raster_.assignColorIndex(n);
            return true;
        default:
            return true;
    }
}

// PCL/RTL context: escapes, form feeds and PJL lines; other bytes are text
// this reader does not draw.
bool Plotter::pclMode() {
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
        } else if (c == '@' && lineStart && !pjlLine()) {
            return true;
        }
        lineStart = c == '\n';
    }
}

// A line beginning with @ in PCL context; false when it was a PJL ENTER
// LANGUAGE = HPGL, after which HP-GL/2 follows.
bool Plotter::pjlLine() {
    std::string line = "@";
    for (int d = in_.peek(); d >= 0 && d != '\n' && d != kEsc; d = in_.peek()) {
        if (line.size() < 256) {
            line.push_back(static_cast<char>(upper(d)));
        }
        in_.get();
    }
    if (line.rfind("@PJL", 0) != 0) {
        return true;
    }
    recognised_ = true;
    if (line.find("ENTER LANGUAGE") != std::string::npos &&
        line.find("HPGL") != std::string::npos) {
        if (in_.peek() == '\n') {
            in_.get();
        }
        rtlMode_ = false;
        return false;
    }
    return true;
}

}  // namespace drawing::hpgl

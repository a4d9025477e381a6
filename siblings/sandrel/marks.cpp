#include "sandrel/marks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "drawing/render/render.h"
#include "drawing/utf8.h"

namespace sandrel {
namespace {

using drawing::Layer;
using drawing::Path;
using drawing::Point;
using drawing::Text;

constexpr double kMm = drawing::kUnitsPerMm;
constexpr double kPi = std::numbers::pi;
// Characters of a legend line; longer names and labels are shortened.
constexpr std::size_t kLineChars = 44;
constexpr std::size_t kQuoteChars = 18;
// Pens of the legend's colour samples (marks use kMarkPen).
constexpr int kSampleUnchangedPen = 5;
constexpr int kSampleRemovedPen = 6;
constexpr int kSampleAddedPen = 7;
// The legend's words are near black: they must read on any paper.
constexpr int kLegendTextPen = 8;
// Paths the legend adds: its four colour samples and its panel.
constexpr std::size_t kLegendPaths = 5;
constexpr drawing::Rgb kLegendTextColor = 0x202020;

// Counted and cut in whole characters: a label in any script keeps its
// characters whole.
std::string shortened(const std::string& s, std::size_t chars) {
    return drawing::utf8Length(s) <= chars ? s : drawing::utf8Prefix(s, chars - 3) + "...";
}

// A note as legend lines of at most `chars` bytes: its head up to the
// colon, then its parts, as many to a line as fit.
std::vector<std::string> noteLines(const std::string& note, std::size_t chars) {
    if (note.size() <= chars) {
        return note.empty() ? std::vector<std::string>{} : std::vector<std::string>{note};
    }
    const auto colon = note.find(": ");
    if (colon == std::string::npos) {
        return {note};
    }
    std::vector<std::string> lines{note.substr(0, colon + 1)};
    std::string line;
    std::size_t at = colon + 2;
    while (at < note.size()) {
        auto end = note.find(", ", at);
        std::string part = note.substr(at, end == std::string::npos ? end : end + 1 - at);
        at = end == std::string::npos ? note.size() : end + 2;
        if (!line.empty() && line.size() + 1 + part.size() > chars) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + part;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

class LegendWriter {
  public:
    LegendWriter(drawing::Page& page, const Options& options, double x, double top, double h)
        : page_(page), options_(options), x_(x), y_(top), h_(h) {}

    double lineHeight() const { return 1.6 * h_; }
    double width() const { return static_cast<double>(kLineChars) * 0.75 * h_; }

    // Characters that fit on a line indented so far.
    std::size_t chars(double indent) const {
        return kLineChars - static_cast<std::size_t>(indent / (0.75 * h_));
    }
    void line(const std::string& text, double indent = 0, int samplePen = 0,
              drawing::Rgb sample = 0) {
        y_ -= lineHeight();
        if (samplePen != 0) {
            // A short thick stroke of the colour, then the words.
            Path p;
            p.points = {{x_, y_ + h_ / 2}, {x_ + 1.5 * h_, y_ + h_ / 2}};
            p.stroke = stroke(samplePen, sample, 0.6 * h_ / kMm);
            page_.paths.push_back(std::move(p));
            indent += 2.5 * h_;
        }
        Text t;
        t.origin = {x_ + indent, y_};
        t.text = shortened(text, chars(indent));
        t.charHeight = h_;
        t.charWidth = 0.5 * h_;
        t.stroke = stroke(kLegendTextPen, kLegendTextColor, 0.25);
        page_.texts.push_back(std::move(t));
    }
    void gap() { y_ -= lineHeight() / 2; }
    double y() const { return y_; }

    drawing::Stroke stroke(int pen, drawing::Rgb color, double widthMm) const {
        drawing::Stroke s;
        s.pen = pen;
        s.color = color;
        s.widthMm = widthMm;
        s.layer = Layer::marks;
        return s;
    }

  private:
    drawing::Page& page_;
    const Options& options_;
    double x_;
    double y_;
    double h_;
};

// A box with rounded corners around (x0, y0)-(x1, y1), the corners'
// radius r outside it.
Path roundedBox(double x0, double y0, double x1, double y1, double r) {
    Path p;
    p.closed = true;
    const Point corners[] = {{x1, y1}, {x0, y1}, {x0, y0}, {x1, y0}};
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k <= 4; ++k) {
            const double a = (c * 90 + k * 22.5) * kPi / 180;
            p.points.push_back({corners[c].x + r * std::cos(a), corners[c].y + r * std::sin(a)});
        }
    }
    return p;
}

// Texts in quotes; one text alone may take `chars`, each of several
// kQuoteChars.
std::string quoted(const std::vector<std::string>& texts, std::size_t chars = kQuoteChars) {
    std::string out;
    for (const auto& t : texts) {
        out += (out.empty() ? "\"" : ", \"") +
               shortened(t, texts.size() == 1 ? std::max(chars, kQuoteChars) : kQuoteChars) + "\"";
    }
    return out;
}

}  // namespace

std::string regionCounts(const Region& region) {
    std::string out;
    if (region.removed > 0) {
        out = std::to_string(region.removed) + " removed";
    }
    if (region.added > 0) {
        out += (out.empty() ? "" : ", ") + std::to_string(region.added) + " added";
    }
    return out;
}

std::string widthChange(const Region& region, const Options& options) {
    if (regionKind(region, options) != RegionKind::width) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "width %.2f -> %.2f mm", region.removedWidthLow,
                  region.addedWidthLow);
    return text;
}

std::string alignmentNote(const Alignment& alignment) {
    if (alignment.unsure) {
        return "page 2 not aligned: no fit found, compared as it is";
    }
    if (!alignment.moved) {
        return {};
    }
    std::string out = "page 2 aligned:";
    char part[64];
    const char* comma = "";
    if (std::abs(alignment.angleDeg) >= 0.005) {
        std::snprintf(part, sizeof part, " rotated %.2f\u00B0", alignment.angleDeg);
        out += part;
        comma = ",";
    }
    if (std::abs(alignment.scale - 1) >= 0.0005) {
        std::snprintf(part, sizeof part, "%s scaled %.2f%%", comma, 100 * alignment.scale);
        out += part;
        comma = ",";
    }
    const auto shift = [&](double mm, const char* plus, const char* minus, bool first) {
        if (std::abs(mm) < 0.05) {
            return false;
        }
        std::snprintf(part, sizeof part, "%s%s %.1f mm %s", comma, first ? " shifted" : "",
                      std::abs(mm), mm > 0 ? plus : minus);
        out += part;
        comma = ",";
        return true;
    };
    const bool across = shift(alignment.rightMm, "right", "left", true);
    shift(alignment.upMm, "up", "down", !across);
    return out;
}

void addMarks(Result& result, const LegendInfo& info, const Options& options) {
    drawing::Page& page = result.page;
    const drawing::Frame frame = drawing::pageFrame(page);
    // Sizes follow the sheet, so that they read at page zoom: about a
    // seventieth of its height for text, within 2.5 and 8 mm.
    const double h = std::clamp(frame.height / 70, 2.5 * kMm, 8 * kMm);
    const double lineMm = std::max(0.5, frame.height / kMm / 600);
    const double pad = std::max(2 * kMm, 0.6 * h);
    // A box a region, the legend's four colour samples and its panel. A
    // result page's list is sized to its paths: growing it by doubling
    // would take twice its size for the sake of a few marks.
    page.paths.reserve(page.paths.size() + result.regions.size() + kLegendPaths);

    int number = 0;
    for (const auto& r : result.regions) {
        ++number;
        Path box = roundedBox(r.x0, r.y0, r.x1, r.y1, pad);
        box.stroke.pen = kMarkPen;
        box.stroke.color = options.markColor;
        box.stroke.widthMm = lineMm;
        box.stroke.layer = Layer::marks;
        page.paths.push_back(std::move(box));
        Text label;
        label.origin = {r.x0 - pad, r.y1 + pad + 0.4 * h};
        label.text = std::to_string(number);
        label.charHeight = 1.2 * h;
        label.charWidth = 0.6 * h;
        label.stroke = page.paths.back().stroke;
        page.texts.push_back(std::move(label));
    }

    // The legend stands on a margin to the right of the sheet.
    const double margin = 2 * h;
    const double left = frame.x0 + frame.width + margin;
    const double top = frame.y0 + frame.height - margin / 2;
    LegendWriter legend(page, options, left, top, h);
    const double bottom = frame.y0 + margin / 2;
    const std::size_t reserved = info.summary.size() + info.notes.size() + 3;
    const auto room = [&](std::size_t lines) {
        return legend.y() - static_cast<double>(lines) * legend.lineHeight() >= bottom;
    };

    legend.line("Comparison, page " + std::to_string(info.page));
    legend.line("1: " + info.firstName);
    legend.line("2: " + info.secondName);
    legend.gap();
    legend.line("in both", 0, kSampleUnchangedPen, options.unchangedColor);
    legend.line("only in 1 (removed)", 0, kSampleRemovedPen, options.removedColor);
    legend.line("only in 2 (added)", 0, kSampleAddedPen, options.addedColor);
    legend.line("changed region", 0, kMarkPen, options.markColor);
    legend.gap();
    for (const auto& l : noteLines(alignmentNote(result.alignment), kLineChars - 4)) {
        legend.line(l, l.rfind("page 2", 0) == 0 ? 0 : 2 * h);
    }
    if (!info.partnered) {
        legend.line("No such page in 2: all removed");
    } else if (!result.differ()) {
        legend.line("no differences");
    } else if (result.raster) {
        legend.line(result.regions.empty() ? "Differences (compared pixel by pixel)"
                                           : "Changes (compared pixel by pixel):");
    } else {
        legend.line("Changes:");
    }
    number = 0;
    for (const auto& r : result.regions) {
        ++number;
        const std::size_t remaining = result.regions.size() - static_cast<std::size_t>(number) + 1;
        if (!room(reserved + 2) && remaining > 1) {
            legend.line("... " + std::to_string(remaining) + " more regions, each marked");
            break;
        }
        legend.line(std::to_string(number) + ": " + regionCounts(r) +
                    (result.raster ? " pixels" : ""));
        if (const std::string width = widthChange(r, options);
            !width.empty() && room(reserved + 2)) {
            legend.line(width, 2 * h);
        }
        if ((!r.removedTexts.empty() || !r.addedTexts.empty()) && room(reserved + 2)) {
            // Old and new text on one line when they fit, else the new text
            // on a line of its own, so that it is never the part cut away.
            const std::size_t width = legend.chars(2 * h);
            const std::string oneLine = quoted(r.removedTexts) + " -> " + quoted(r.addedTexts);
            if (drawing::utf8Length(oneLine) <= width || !room(reserved + 3)) {
                legend.line(oneLine, 2 * h);
            } else {
                legend.line(quoted(r.removedTexts, width - 5) + " ->", 2 * h);
                legend.line(quoted(r.addedTexts, legend.chars(4 * h) - 2), 4 * h);
            }
        }
    }
    for (const auto* lines : {&info.summary, &info.notes}) {
        if (!lines->empty()) {
            legend.gap();
        }
        for (const auto& l : *lines) {
            legend.line(l);
        }
    }
    Path panel = roundedBox(left, legend.y() - legend.lineHeight() / 2, left + legend.width(),
                            top - legend.lineHeight() / 4, h / 2);
    panel.stroke = legend.stroke(kMarkPen, options.markColor, 0.35);
    page.paths.push_back(std::move(panel));

    // Widen the sheet by the legend's margin (a sheet sized by its content
    // grows by itself).
    if (page.width > 0 && page.height > 0) {
        page.width = std::max(page.width, left + legend.width() + margin);
    }
}

}  // namespace sandrel

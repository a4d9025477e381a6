#include "sandrel/report.h"

#include <cstdio>

#include "drawing/render/render.h"
#include "drawing/utf8.h"
#include "sandrel/marks.h"

namespace sandrel {
namespace {

std::string quoted(const std::string& bytes) {
    // Labels are UTF-8; a stray byte must not make the line invalid JSON.
    const std::string text = drawing::validUtf8(bytes);
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned char>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string number(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string strings(const std::vector<std::string>& list) {
    std::string out = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += (i == 0 ? "" : ",") + quoted(list[i]);
    }
    return out + "]";
}

}  // namespace

std::string reportJson(const Report& report, const Options& options) {
    int changed = 0;
    std::string regions;
    std::string alignments;
    for (const auto& page : report.pages) {
        changed += page.differ ? 1 : 0;
        int n = 0;
        for (const auto& r : page.regions) {
            const double mm = drawing::kUnitsPerMm;
            const RegionKind kind = regionKind(r, options);
            regions += regions.empty() ? "" : ",";
            regions += "{\"page\":" + std::to_string(page.page) +
                       ",\"number\":" + std::to_string(++n) + ",\"file\":" + quoted(page.file) +
                       ",\"boxMm\":[" + number(r.x0 / mm, 2) + "," + number(r.y0 / mm, 2) + "," +
                       number(r.x1 / mm, 2) + "," + number(r.y1 / mm, 2) +
                       "],\"removed\":" + std::to_string(r.removed) +
                       ",\"added\":" + std::to_string(r.added) + ",\"unit\":\"" +
                       (page.raster ? "pixels" : "elements") + "\",\"kind\":\"" +
                       regionKindName(kind) + "\"";
            if (kind == RegionKind::width) {
                regions += ",\"oldWidthMm\":" + number(r.removedWidthLow, 2) +
                           ",\"newWidthMm\":" + number(r.addedWidthLow, 2);
            }
            regions += ",\"oldText\":" + strings(r.removedTexts) +
                       ",\"newText\":" + strings(r.addedTexts) + "}";
        }
        const Alignment& a = page.alignment;
        if (a.moved || a.unsure) {
            alignments += alignments.empty() ? "" : ",";
            alignments +=
                "{\"page\":" + std::to_string(page.page) +
                ",\"aligned\":" + (a.moved ? "true" : "false") +
                ",\"rotatedDeg\":" + number(a.angleDeg, 3) + ",\"scale\":" + number(a.scale, 5) +
                ",\"rightMm\":" + number(a.rightMm, 2) + ",\"upMm\":" + number(a.upMm, 2) +
                ",\"legend\":" + quoted(alignmentNote(a)) + "}";
        }
    }
    return "{\"pages\":" + std::to_string(report.pages.size()) +
           ",\"pagesWithDifferences\":" + std::to_string(changed) +
           ",\"differ\":" + (report.differ ? "true" : "false") +
           ",\"failed\":" + (report.failed ? "true" : "false") + ",\"regions\":[" + regions +
           "],\"alignments\":[" + alignments + "]}";
}

}  // namespace sandrel

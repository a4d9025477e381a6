#include "tolvane/convert.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/files.h"
#include "drawing/hpgl/hpgl.h"
#include "drawing/render/pdf_writer.h"
#include "drawing/render/render.h"
#include "drawing/render/tiff_io.h"
#include "tolvane/sources.h"
#include "tolvane/sxf_output.h"

namespace tolvane {
namespace {

using drawing::Page;
using siblings::baseNameOf;
using siblings::folderOf;
using siblings::nameOf;

// An input must be of a kind we read, told by its extension.
bool checkInput(const std::string& input, const Parameters& params, std::string& error) {
    if (inputKindOf(input, params) != InputKind::Unknown) {
        return true;
    }
    error = unknownInputError(input, params);
    return false;
}

// TIFF goes through libtiff, which wants a file name and seeks in it.
bool writeTiffAtomically(const std::string& path, const PageSource& source,
                         const Parameters& params, std::string& error) {
    siblings::TempFile temp(path);
    drawing::TiffOptions opts;
    opts.dpi = params.dpi;
    opts.color = params.deflate ? drawing::TiffColorCompression::Deflate
                                : drawing::TiffColorCompression::Lzw;
    bool ok = false;
    {
        drawing::TiffWriter writer;
        if (!writer.open(temp.path(), error)) {
            return false;
        }
        std::string pageError;
        ok = source(
            [&](Page&& page) {
                applyPageOptions(page, params);
                if (!writer.addPage(page, opts, pageError)) {
                    pageError =
                        path + ": page " + std::to_string(writer.pages() + 1) + ": " + pageError;
                    return false;
                }
                return true;
            },
            error);
        if (ok && !pageError.empty()) {
            error = pageError;
            ok = false;
        }
        std::string closeError;
        if (!writer.close(closeError) && ok) {
            error = path + ": " + closeError;
            ok = false;
        }
    }
    return ok && temp.commit(error);
}

bool writeOutput(OutputKind kind, const std::string& path, const PageSource& source,
                 const Parameters& params, std::string& error) {
    if (kind == OutputKind::Sxf) {
        return writeSxfOutput(path, source, params, error);
    }
    if (kind == OutputKind::Tiff) {
        return writeTiffAtomically(path, source, params, error);
    }
    std::string innerError;
    const bool ok = siblings::writeFileAtomically(
        path,
        [&](std::ostream& out) {
            std::string pageError;
            if (kind == OutputKind::Hpgl) {
                drawing::HpglWriter writer(out);
                int pages = 0;
                if (!source(
                        [&](Page&& page) {
                            applyPageOptions(page, params);
                            writer.writePage(page);
                            ++pages;
                            return static_cast<bool>(out);
                        },
                        innerError)) {
                    return false;
                }
                if (pages == 0) {
                    innerError = path + ": no pages to write";
                    return false;
                }
                writer.finish();
                return static_cast<bool>(out);
            }
            drawing::PdfWriter writer(out);
            const bool read = source(
                [&](Page&& page) {
                    applyPageOptions(page, params);
                    if (!writer.addPage(page, pageError)) {
                        pageError = path + ": page " + std::to_string(writer.pages() + 1) + ": " +
                                    pageError;
                        return false;
                    }
                    return true;
                },
                innerError);
            if (!read) {
                return false;
            }
            if (!pageError.empty()) {
                innerError = pageError;
                return false;
            }
            if (!writer.close(pageError)) {
                innerError = path + ": " + pageError;
                return false;
            }
            return true;
        },
        error);
    if (!ok && !innerError.empty()) {
        error = innerError;
    }
    return ok;
}

// The writers that draw an edge read without points of its own
// (drawing::HpglReadOptions::foldFillEdges) on its fill's: the SXF writer
// is given every edge's points.
bool foldsFillEdges(OutputKind kind) {
    return kind == OutputKind::Pdf || kind == OutputKind::Hpgl || kind == OutputKind::Tiff;
}

// Reads the files one after the other; a sink that stops the reading
// counts as a failure of the output, which has its own message. With
// foldFillEdges, HP-GL is read so (readInput).
PageSource filesSource(const std::vector<std::string>& files, const Parameters& params,
                       bool foldFillEdges) {
    return [files, params, foldFillEdges](const drawing::PageSink& sink, std::string& error) {
        bool stopped = false;
        for (const auto& file : files) {
            // Page files of another extension than a known one are HP-GL.
            InputKind kind = inputKindOf(file, params);
            if (kind == InputKind::Unknown) {
                kind = InputKind::Hpgl;
            }
            std::string readError;
            const bool ok = readInput(
                file, kind,
                [&](Page&& page) {
                    if (!sink(std::move(page))) {
                        stopped = true;
                        return false;
                    }
                    return true;
                },
                readError, foldFillEdges);
            if (stopped) {
                return true;
            }
            if (!ok) {
                error = readError;
                return false;
            }
        }
        return true;
    };
}

drawing::Point shifted(const drawing::Point& p, double dx, double dy) {
    return {p.x + dx, p.y + dy};
}

void toBlackOnly(drawing::Page& page) {
    auto black = [](drawing::Rgb c) { return c == drawing::kWhite ? c : drawing::kBlack; };
    for (auto& p : page.paths) {
        p.stroke.color = black(p.stroke.color);
    }
    for (auto& t : page.texts) {
        t.stroke.color = black(t.stroke.color);
    }
    for (auto& r : page.rasters) {
        if (r.pixels.size() != static_cast<std::size_t>(r.width) * r.height * r.channels ||
            (r.channels != 1 && r.channels != 3)) {
            continue;
        }
        std::vector<std::uint8_t> grey(static_cast<std::size_t>(r.width) * r.height);
        for (std::size_t i = 0; i < grey.size(); ++i) {
            const std::uint8_t* px = r.pixels.data() + i * r.channels;
            const bool white =
                r.channels == 1 ? px[0] == 255 : px[0] == 255 && px[1] == 255 && px[2] == 255;
            grey[i] = white ? 255 : 0;
        }
        r.pixels = std::move(grey);
        r.channels = 1;
    }
}

void fitToSheet(drawing::Page& page) {
    const drawing::Frame f = drawing::pageFrame(page);
    const bool landscape = f.width > f.height;
    // ISO A4 to A0, short side by long side, in mm.
    static constexpr double kSheets[][2] = {
        {210, 297}, {297, 420}, {420, 594}, {594, 841}, {841, 1189}};
    for (const auto& s : kSheets) {
        const double w = (landscape ? s[1] : s[0]) * drawing::kUnitsPerMm;
        const double h = (landscape ? s[0] : s[1]) * drawing::kUnitsPerMm;
        if (f.width <= w && f.height <= h) {
            const double dx = (w - f.width) / 2 - f.x0;
            const double dy = (h - f.height) / 2 - f.y0;
            for (auto& p : page.paths) {
                for (auto& pt : p.points) {
                    pt = shifted(pt, dx, dy);
                }
            }
            for (auto& t : page.texts) {
                t.origin = shifted(t.origin, dx, dy);
            }
            for (auto& r : page.rasters) {
                r.origin = shifted(r.origin, dx, dy);
            }
            page.width = w;
            page.height = h;
            return;
        }
    }
    // Larger than A0: left at its own size.
}

// A plot with more pages than page names can order is refused before a
// page is written. Every page takes at least two bytes (something drawn and
// a page end), so only a file of that size can hold too many, and only one
// with that many page ends (pageEndsAtMost) needs the counting pass, which
// reads the whole plot a first time.
bool tooManyPages(const std::string& input, std::string& error) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(input, ec);
    if (ec || size < 2 * static_cast<std::uintmax_t>(kMaxSplitPages + 1)) {
        return false;
    }
    if (const long long ends = pageEndsAtMost(input); ends >= 0 && ends <= kMaxSplitPages) {
        return false;
    }
    long pages = 0;
    drawing::ReadError re;
    // Only counted: a letter's edge need not hold its own copy of the
    // letter's points meanwhile.
    drawing::readHpglFile(
        input, [&](Page&&) { return ++pages <= kMaxSplitPages; }, re,
        drawing::HpglReadOptions{.foldFillEdges = true});
    if (pages <= kMaxSplitPages) {
        return false;  // a read error is reported by the split itself
    }
    error = input + ": more than " + std::to_string(kMaxSplitPages) + " pages";
    return true;
}

// A join killed midway leaves its temporary file (".NAME.N.part") beside the
// output; the next join of the same output name removes such leftovers.
void removeLeftoverParts(const std::string& outPath) {
    const std::string prefix = siblings::tempNamePrefix(nameOf(outPath));
    const std::string folder = folderOf(outPath);
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(folder.empty() ? "." : folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 5, 5, ".part") != 0) {
            continue;
        }
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - 5);
        if (number.find_first_not_of("0123456789") == std::string::npos &&
            entry.is_regular_file(ec)) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

}  // namespace

namespace {

// 0x80 in each byte of w that is zero, 0 in the others (no carries from one
// byte into the next: the sum never overflows a byte).
constexpr std::uint64_t zeroBytes(std::uint64_t w) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((w & kLow7) + kLow7) | w | kLow7);
}

constexpr std::uint64_t everyByte(unsigned char c) {
    return 0x0101010101010101ULL * c;
}

}  // namespace

long long pageEndsAtMost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return -1;
    }
    constexpr unsigned char kEsc = 0x1B;
    // Eight bytes at a time, each with the byte before it (a letter P of
    // either case followed by a G of either case): an 11 MB plot is counted
    // in a few milliseconds rather than fifteen.
    std::vector<unsigned char> buffer(1 << 20);
    long long ends = 1;  // the end of the input
    unsigned char before = 0;
    const auto count = [&](const unsigned char* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char c = p[i];
            const bool pg = (before | 0x20) == 'p' && (c | 0x20) == 'g';
            ends += (c == kEsc || c == '\f' || pg) ? 1 : 0;
            before = c;
        }
    };
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data()),
                static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        std::size_t i = 0;
        if (got >= 8) {
            count(buffer.data(), 1);
            i = 1;
            for (; i + 8 <= got; i += 8) {
                std::uint64_t w = 0;
                std::uint64_t previous = 0;
                std::memcpy(&w, buffer.data() + i, 8);
                // Byte k of previous is the one before byte k of w, in
                // memory order, whatever the machine's byte order.
                std::memcpy(&previous, buffer.data() + i - 1, 8);
                const std::uint64_t marks =
                    zeroBytes(w ^ everyByte(kEsc)) | zeroBytes(w ^ everyByte('\f')) |
                    (zeroBytes((w | everyByte(0x20)) ^ everyByte('g')) &
                     zeroBytes((previous | everyByte(0x20)) ^ everyByte('p')));
                // One bit a byte, summed by a multiplication (a machine
                // without a population count instruction calls a library
                // function for std::popcount).
                ends += static_cast<long long>(((marks >> 7) * everyByte(1)) >> 56);
            }
            before = buffer[i - 1];
        }
        count(buffer.data() + i, got - i);
    }
    return in.bad() ? -1 : ends;
}

bool outputKindFromSwitch(const std::string& s, OutputKind& kind) {
    if (s.size() != 2 || s[0] != '/') {
        return false;
    }
    switch (s[1]) {
        case 'h':
        case 'H':
            kind = OutputKind::Hpgl;
            return true;
        case 'p':
        case 'P':
            kind = OutputKind::Pdf;
            return true;
        case 't':
        case 'T':
            kind = OutputKind::Tiff;
            return true;
        case 'y':
        case 'Y':
            kind = OutputKind::Sxf;
            return true;
        default:
            return false;
    }
}

std::string pageFileName(const std::string& outPath, int pageNumber) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "_%0*d", kPageNumberDigits, pageNumber);
    return folderOf(outPath) + baseNameOf(outPath) + digits + ".hgl";
}

void applyPageOptions(drawing::Page& page, const Parameters& params) {
    if (params.fitSheet) {
        fitToSheet(page);
    }
    if (params.blackOnly) {
        toBlackOnly(page);
    }
}

bool splitFile(const std::string& input, const std::string& outPath, const Parameters& params,
               std::string& error) {
    if (!checkInput(input, params, error)) {
        return false;
    }
    if (tooManyPages(input, error)) {
        return false;
    }
    std::vector<std::string> written;
    int number = 0;
    std::string writeError;
    std::string readError;
    const bool read = readInput(
        input, inputKindOf(input, params),
        [&](Page&& page) {
            if (++number > kMaxSplitPages) {
                writeError = input + ": more than " + std::to_string(kMaxSplitPages) + " pages";
                return false;
            }
            applyPageOptions(page, params);
            const std::string name = pageFileName(outPath, number);
            if (!siblings::writeFileAtomically(
                    name,
                    [&](std::ostream& out) {
                        drawing::HpglWriter writer(out);
                        writer.writePage(page);
                        writer.finish();
                        return static_cast<bool>(out);
                    },
                    // Made again from the input, which stays.
                    writeError, siblings::Durability::Scratch)) {
                return false;
            }
            written.push_back(name);
            return true;
        },
        // The pages go to HP-GL as they are (a letter's edge written as EP
        // on its fill's polygon): such an edge need not hold points.
        readError, true);
    bool ok = read && writeError.empty();
    if (!read) {
        error = readError;
    } else if (!writeError.empty()) {
        error = writeError;
    } else if (written.empty()) {
        error = input + ": no pages to write";
        ok = false;
    }
    if (!ok) {
        // A half-split file would be compared as if it were whole.
        for (const auto& name : written) {
            std::remove(name.c_str());
        }
    }
    return ok;
}

bool joinFiles(OutputKind kind, const std::string& pattern, const std::string& outPath,
               const Parameters& params, std::string& error) {
    const std::vector<std::string> files = siblings::listPattern(pattern);
    if (files.empty()) {
        error = pattern + ": no page files match";
        return false;
    }
    removeLeftoverParts(outPath);
    return writeOutput(kind, outPath, filesSource(files, params, foldsFillEdges(kind)), params,
                       error);
}

bool convertFile(OutputKind kind, const std::string& input, const std::string& outPath,
                 const Parameters& params, std::string& error) {
    if (!checkInput(input, params, error)) {
        return false;
    }
    return writeOutput(kind, outPath, filesSource({input}, params, foldsFillEdges(kind)), params,
                       error);
}

}  // namespace tolvane

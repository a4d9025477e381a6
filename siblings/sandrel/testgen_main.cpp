// sandrel-testgen: writes a pair of drawings with known differences, for
// trying the comparison by hand and timing it on files.
//
//   sandrel-testgen [--dense] <segments> <seed> <base.hgl> <variant.hgl>
//
// --dense: an A0 sheet of the shape CAD exports have (text as filled glyph
// outlines, pads, wires, arcs) instead of lines in cells of their own.

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "sandrel/page_files.h"
#include "sandrel/testgen.h"

namespace {

template <typename T>
bool parse(const std::string& text, T& value) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool writePage(const std::string& path, const drawing::Page& page) {
    std::string error;
    if (!sandrel::writePageFile(path, {page}, error)) {
        std::cerr << "sandrel-testgen: " << path << ": " << error << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool dense = !args.empty() && args[0] == "--dense";
    if (dense) {
        args.erase(args.begin());
    }
    std::size_t segments = 0;
    unsigned seed = 0;
    if (args.size() != 4 || !parse(args[0], segments) || !parse(args[1], seed) || segments == 0) {
        std::cerr
            << "Usage: sandrel-testgen [--dense] <segments> <seed> <base.hgl> <variant.hgl>\n";
        return 2;
    }
    if (dense) {
        const auto pair = sandrel::makeDensePair(segments, seed);
        if (!writePage(args[2], pair.base) || !writePage(args[3], pair.variant)) {
            return 2;
        }
        std::cout << "replaced " << pair.replacedGlyphs << " glyphs; " << pair.changes.size()
                  << " changed places\n";
        return 0;
    }
    const auto pair = sandrel::makePair(segments, 0.2, seed);
    if (!writePage(args[2], pair.base) || !writePage(args[3], pair.variant)) {
        return 2;
    }
    std::cout << "removed " << pair.removed.size() << " lines, added " << pair.added.size()
              << " (one of them the bend of a partly changed line)\n";
    return 0;
}

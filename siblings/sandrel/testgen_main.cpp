// sandrel-testgen: writes a pair of drawings with known differences, for
// trying the comparison by hand and timing it on files.
//
//   sandrel-testgen <segments> <seed> <base.hgl> <variant.hgl>

#include <charconv>
#include <iostream>
#include <string>

#include "page_files.h"
#include "testgen.h"

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
    std::size_t segments = 0;
    unsigned seed = 0;
    if (argc != 5 || !parse(argv[1], segments) || !parse(argv[2], seed) || segments == 0) {
        std::cerr << "Usage: sandrel-testgen <segments> <seed> <base.hgl> <variant.hgl>\n";
        return 2;
    }
    const auto pair = sandrel::makePair(segments, 0.2, seed);
    if (!writePage(argv[3], pair.base) || !writePage(argv[4], pair.variant)) {
        return 2;
    }
    std::cout << "removed " << pair.removed.size() << " lines, added " << pair.added.size()
              << " (one of them the bend of a partly changed line)\n";
    return 0;
}

// The plotter's built-in line types, shared by the reader and the writer so
// that a pattern written as a number reads back as the same dashes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace drawing {

// Line types 0..8 as per cent of the pattern length, drawn and skipped
// alternately (type 0 is dots; the sign of a type only changes its phase).
inline const std::vector<double>& builtinLinePattern(int type) {
    static const std::array<std::vector<double>, 9> patterns = {{
        {0, 100},
        {0, 100},
        {50, 50},
        {70, 30},
        {80, 10, 0, 10},
        {70, 10, 10, 10},
        {50, 10, 10, 10, 10, 10},
        {70, 10, 0, 10, 0, 10},
        {50, 10, 0, 10, 10, 10, 0, 10},
    }};
    return patterns[static_cast<std::size_t>(std::min(std::abs(type), 8))];
}

}  // namespace drawing

// Rounding to whole numbers as llround does, without its library call:
// the writers round every coordinate they write.
#pragma once

namespace drawing {

// v to the nearest integer, halves away from zero; |v| must stay below
// 2^52, where the fraction of a double needs no more bits than it has, so
// the test of the fraction is exact.
inline long long roundHalfAway(double v) {
    auto n = static_cast<long long>(v);  // towards zero
    const double fraction = v - static_cast<double>(n);
    if (fraction >= 0.5) {
        ++n;
    } else if (fraction <= -0.5) {
        --n;
    }
    return n;
}

}  // namespace drawing

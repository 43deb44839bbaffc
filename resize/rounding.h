#pragma once

#include <cmath>
#include <cstdint>

namespace quorvel {

// Every place where a double becomes a whole number (a Movie side, a dialog
// coordinate) rounds to the nearest, with halves going to the even neighbour.
// Done by hand rather than with nearbyint so it never depends on the FPU's
// current rounding mode.
inline double roundHalfEven(double x) {
    const double lower = std::floor(x);
    const double diff = x - lower;
    if (diff > 0.5)
        return lower + 1.0;
    if (diff < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

inline std::int64_t roundHalfEvenToInt(double x) {
    return static_cast<std::int64_t>(roundHalfEven(x));
}

} // namespace quorvel

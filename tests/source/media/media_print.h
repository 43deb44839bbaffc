#pragma once

// How the media readers' values show in a failure and in a test's own
// messages: a Fraction as 16/11.

#include "source/media/media.h"

#include <ostream>

namespace quorvel {

inline std::ostream& operator<<(std::ostream& os, const Fraction& f) {
    return os << f.num << '/' << f.den;
}

} // namespace quorvel

namespace quorvel::media {

inline void PrintTo(const Crop& c, std::ostream* os) {
    *os << "crop " << c.left << "," << c.top << "," << c.right << "," << c.bottom;
}
inline void PrintTo(Scan s, std::ostream* os) {
    *os << (s == Scan::Progressive ? "progressive" : "interlaced");
}
inline void PrintTo(FieldOrder f, std::ostream* os) {
    *os << (f == FieldOrder::TopFirst ? "top first" : "bottom first");
}

} // namespace quorvel::media

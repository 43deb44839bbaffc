#pragma once

// How GoogleTest shows the media readers' values in a failure.

#include "source/media/media.h"

#include <ostream>

namespace quorvel::media {

inline void PrintTo(const Fraction& f, std::ostream* os) {
    *os << f.num << "/" << f.den;
}
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

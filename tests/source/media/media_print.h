#pragma once

// How GoogleTest shows the media readers' values in a failure.

#include "source/media/media.h"

#include <ostream>

namespace quorvel::media {

inline void PrintTo(const Fraction& f, std::ostream* os) {
    *os << f.num << "/" << f.den;
}

} // namespace quorvel::media

#pragma once

// How the media readers' values show in a failure and in a test's own
// messages: a Fraction as 16/11.

#include "source/media/media.h"

#include <ostream>

namespace quorvel::media {

inline std::ostream& operator<<(std::ostream& os, const Fraction& f) {
    return os << f.num << '/' << f.den;
}

} // namespace quorvel::media

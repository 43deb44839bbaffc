#include "source/rate.h"

#include <cmath>

namespace quorvel {

namespace {
constexpr double kFilmReference = 23.97;
constexpr double kPalReference = 25.0;
constexpr double kTolerance = 0.2;
} // namespace

std::optional<double> frameRate(std::int32_t rate, std::int32_t scale) {
    if (scale == 0)
        return std::nullopt;
    return static_cast<double>(rate) / static_cast<double>(scale);
}

RateClass classifyRate(double framesPerSecond) {
    if (std::abs(kFilmReference - framesPerSecond) < kTolerance)
        return RateClass::NtscFilm;
    if (std::abs(kPalReference - framesPerSecond) < kTolerance)
        return RateClass::Pal;
    return RateClass::NtscVideo;
}

} // namespace quorvel

#pragma once

#include <cstdint>
#include <optional>

namespace quorvel {

enum class RateClass { NtscFilm, Pal, NtscVideo };

// dwRate / dwScale in doubles; none when the divisor is 0, the only way the
// division of two 32-bit values can fail.
std::optional<double> frameRate(std::int32_t rate, std::int32_t scale);

// Film first, then PAL, else video. The film reference is 23.97, not 23.976,
// and both windows are open (a difference of exactly 0.2 is outside).
RateClass classifyRate(double framesPerSecond);

} // namespace quorvel

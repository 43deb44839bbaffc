#pragma once

// Rates whose time stamps were rounded to a coarse time base. 30000/1001 in a
// 57600 timescale gives durations of 1921 and 1922 ticks, which average to
// 29.9700... and would read as a variable rate: such a stream is its standard
// rate, at a constant pace. Shared by every reader that sums durations.

#include "source/media/media.h"

#include <array>
#include <cstdint>
#include <optional>

namespace quorvel::media {

// The rates a rounded time base stands for, when the mean comes near one.
inline constexpr std::array<Fraction, 8> kStandardRates = {
    {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1}}};
// How near, as a part of the standard rate; the nearest standard rate wins.
inline constexpr double kSnapTolerance = 0.001;

// Sample durations in ticks of a time base of `ticksPerSecond`: how many
// samples, their summed ticks, the shortest and the longest.
struct Durations {
    std::uint64_t samples = 0;
    std::uint64_t ticks = 0;
    std::uint64_t shortest = 0;
    std::uint64_t longest = 0;
    std::uint64_t ticksPerSecond = 0;
};

// The standard rate the stream was written at, when every duration lies
// within one tick of the mean and the mean rate within kSnapTolerance of one
// of kStandardRates; none for a truly variable stream or any other rate.
std::optional<Fraction> snapRate(const Durations& d);

} // namespace quorvel::media

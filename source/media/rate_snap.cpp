#include "source/media/rate_snap.h"

#include <cmath>

namespace quorvel::media {

std::optional<Fraction> snapRate(const Durations& d) {
    if (d.samples == 0 || d.ticks == 0 || d.ticksPerSecond == 0 || d.shortest > d.longest)
        return std::nullopt;
    // shortest >= mean - 1 and longest <= mean + 1, with the mean as ticks /
    // samples: compared multiplied out, where the products fit.
    if (d.longest > (UINT64_MAX - d.samples) / d.samples)
        return std::nullopt;
    const std::uint64_t high = d.longest * d.samples;
    const std::uint64_t low = d.shortest * d.samples;
    if ((high > d.ticks && high - d.ticks > d.samples) ||
        (low < d.ticks && d.ticks - low > d.samples))
        return std::nullopt;
    const double mean = static_cast<double>(d.samples) * static_cast<double>(d.ticksPerSecond) /
                        static_cast<double>(d.ticks);
    // The nearest: 24 and 24000/1001 lie just 0.1% apart.
    std::optional<Fraction> nearest;
    double nearestOff = kSnapTolerance;
    for (const Fraction& rate : kStandardRates) {
        const double standard = static_cast<double>(rate.num) / static_cast<double>(rate.den);
        const double off = std::fabs(mean - standard) / standard;
        if (off <= nearestOff) {
            nearest = rate;
            nearestOff = off;
        }
    }
    return nearest;
}

} // namespace quorvel::media

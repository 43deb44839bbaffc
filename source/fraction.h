#pragma once

// The one fraction every part of Quorvel counts in: rates, pixel shapes,
// aspects and speeds, exact in 64-bit terms.

#include <cstdint>
#include <numeric>

namespace quorvel {

struct Fraction {
    std::int64_t num = 0;
    std::int64_t den = 1;
    friend bool operator==(const Fraction&, const Fraction&) = default;
};

// In lowest terms with a denominator that is not negative; 0/0 stays 0/0.
constexpr Fraction reduced(Fraction f) {
    if (f.den < 0)
        f = {-f.num, -f.den};
    const std::int64_t g = std::gcd(f.num, f.den);
    return g > 1 ? Fraction{f.num / g, f.den / g} : f;
}

// Nearest whole number, halves to the even neighbour (the window's rule); the
// denominator must be positive.
constexpr std::int64_t roundHalfEven(Fraction f) {
    std::int64_t q = f.num / f.den;
    if (f.num % f.den != 0 && f.num < 0)
        --q; // floor
    const std::int64_t twiceRest = 2 * (f.num - q * f.den);
    if (twiceRest > f.den)
        return q + 1;
    if (twiceRest < f.den)
        return q;
    return q % 2 == 0 ? q : q + 1;
}

} // namespace quorvel

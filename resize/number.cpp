#include "resize/number.h"

#include "resize/text.h"

namespace quorvel {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view takeDigits(std::string_view& s) {
    std::size_t n = 0;
    while (n < s.size() && isDigit(s[n]))
        ++n;
    const auto digits = s.substr(0, n);
    s.remove_prefix(n);
    return digits;
}

} // namespace

SourceNumber parseSourceNumber(std::string_view text) {
    std::string_view s = trimmed(text, kSpaceAndTab);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::string_view whole = takeDigits(s);
    std::string_view fraction;
    if (!s.empty() && s.front() == '.') {
        s.remove_prefix(1);
        fraction = takeDigits(s);
    }
    if (!s.empty() || (whole.empty() && fraction.empty()))
        return {NumberStatus::NotANumber, 0};

    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    // Six or more significant digits can never be in range; refusing them here
    // means a digit string of any length cannot overflow the accumulator.
    if (whole.size() > 5)
        return {NumberStatus::OutOfRange, 0};
    std::int64_t magnitude = 0;
    for (char c : whole)
        magnitude = magnitude * 10 + (c - '0');

    // Exact half-to-even rounding on the digits themselves, no binary fraction.
    if (!fraction.empty()) {
        const char first = fraction.front();
        bool restNonZero = false;
        for (char c : fraction.substr(1))
            restNonZero = restNonZero || c != '0';
        if (first > '5' || (first == '5' && restNonZero) || (first == '5' && magnitude % 2 == 1))
            ++magnitude;
    }

    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT16_MIN || value > INT16_MAX)
        return {NumberStatus::OutOfRange, 0};
    return {NumberStatus::Ok, static_cast<std::int16_t>(value)};
}

std::string decimalText(std::int64_t value) {
    return std::to_string(value);
}

} // namespace quorvel

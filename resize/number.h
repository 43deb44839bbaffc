#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

enum class NumberStatus { Ok, NotANumber, OutOfRange };

struct SourceNumber {
    NumberStatus status = NumberStatus::NotANumber;
    std::int16_t value = 0;
};

// Reads a source size typed by the user: blanks, an optional sign, digits with an
// optional fractional part, blanks. The fraction is rounded half to even and the
// result must lie in -32768..32767. Independent of the C locale: a decimal point
// is always '.', and exponents and group separators are refused.
SourceNumber parseSourceNumber(std::string_view text);

// Plain decimal text: digits with a leading '-' when negative; never "-0".
std::string decimalText(std::int64_t value);

} // namespace quorvel

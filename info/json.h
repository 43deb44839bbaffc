#pragma once

// JSON as quorvel-info writes it: one line per object, members in the order
// they are set, strings valid UTF-8.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace quorvel::info {

using Json = nlohmann::ordered_json; // members stay in the order they are set

// A whole number as an integer, any other finite double as a number that
// reads back as the same double, and null for what JSON cannot hold.
Json jsonNumber(double value);
// One line of JSON, as quorvel-info writes it: U+FFFD as \ufffd, aspect
// errors to six decimals.
std::string dumpJson(const Json& j);

inline constexpr const char* kAspectErrorKey = "aspect_error";

// Fixed decimals, with no "-0" for a value that rounds to zero.
std::string fixed(double value, int decimals);

} // namespace quorvel::info

#include "info/json.h"

#include <charconv>
#include <cmath>

namespace quorvel::info {

namespace {

constexpr std::string_view kReplacement = "\xef\xbf\xbd"; // U+FFFD in UTF-8

// Each aspect error to six decimals, as in the text. The dump writes the
// shortest text of the same double; only the digits after the key change.
// The key's quotes cannot come from a string value, where they are escaped.
void sixDecimals(std::string& text) {
    const std::string key = std::string("\"") + kAspectErrorKey + "\":";
    for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
        at += key.size();
        const auto end = text.find_first_of(",}", at);
        double value = 0;
        const auto [parsed, ec] = std::from_chars(text.data() + at, text.data() + end, value);
        if (ec != std::errc{} || parsed != text.data() + end)
            continue; // null
        text.replace(at, end - at, fixed(value, 6));
    }
}

} // namespace

std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals)
            .ptr;
    std::string s(buffer, end);
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

Json jsonNumber(double value) {
    if (!std::isfinite(value))
        return nullptr; // JSON has no number for it
    // A whole number is written as one ("25", not "25.0").
    if (std::trunc(value) == value && std::fabs(value) < 0x1p53)
        return static_cast<std::int64_t>(value);
    return value;
}

std::string dumpJson(const Json& j) {
    // Strings were made valid UTF-8 on the way in; replace is a second net.
    std::string text = j.dump(-1, ' ', false, Json::error_handler_t::replace);
    // A replaced byte shows as the escape \ufffd in the raw line.
    for (auto at = text.find(kReplacement); at != std::string::npos;
         at = text.find(kReplacement, at))
        text.replace(at, kReplacement.size(), "\\ufffd");
    sixDecimals(text);
    return text;
}

} // namespace quorvel::info

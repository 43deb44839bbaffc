#include "source/utf8.h"

namespace quorvel {

std::size_t utf8Length(std::string_view s) {
    if (s.empty())
        return 0;
    const auto at = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return i < s.size() && at(i) >= lo && at(i) <= hi;
    };
    const unsigned b = at(0);
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return cont(1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        // No overlong forms and no surrogates.
        const unsigned lo = b == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = b == 0xED ? 0x9F : 0xBF;
        return cont(1, lo, hi) && cont(2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        // Nothing overlong and nothing past U+10FFFF.
        const unsigned lo = b == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b == 0xF4 ? 0x8F : 0xBF;
        return cont(1, lo, hi) && cont(2) && cont(3) ? 4 : 0;
    }
    return 0;
}

std::string validUtf8(std::string_view bytes) {
    constexpr std::string_view kReplacement = "\xef\xbf\xbd"; // U+FFFD
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t n = utf8Length(bytes);
        out.append(n == 0 ? kReplacement : bytes.substr(0, n));
        bytes.remove_prefix(n == 0 ? 1 : n);
    }
    return out;
}

} // namespace quorvel

#pragma once

// Pieces every test-file builder uses: bytes, four-character codes, and
// parts joined end to end.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace quorvel::bytetest {

using Bytes = std::vector<std::uint8_t>;

inline void putId(Bytes& b, std::string_view id) {
    b.insert(b.end(), id.begin(), id.end());
}

template <typename Parts> Bytes joined(const Parts& parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
    return joined(parts);
}
inline Bytes cat(const std::vector<Bytes>& parts) {
    return joined(parts);
}

} // namespace quorvel::bytetest

#pragma once

// Bounded reads from bytes held in memory, shared by the container readers.
// A cursor never reads past its span: a read that does not fit sets a sticky
// failure and returns 0, so a parser can read a whole record and check once.

#include "source/io/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvel::media {

using Bytes = io::Bytes;
using io::fitsIn;

// Fixed-width fields at a position the caller has checked.
inline std::uint16_t be16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
inline std::uint32_t be32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | static_cast<std::uint32_t>(b[at + 3]);
}
inline std::uint64_t be64(Bytes b, std::size_t at) {
    return static_cast<std::uint64_t>(be32(b, at)) << 32 | be32(b, at + 4);
}
inline std::uint16_t le16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
inline std::uint32_t le32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(Bytes bytes) : bytes_(bytes) {}

    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }
    // Once a read did not fit, every later read fails too.
    bool failed() const { return failed_; }

    std::uint8_t u8() { return has(1) ? bytes_[pos_++] : 0; }
    std::uint16_t be16() { return take<2>(&media::be16); }
    std::uint32_t be24() {
        if (!has(3))
            return 0;
        const std::uint32_t v = static_cast<std::uint32_t>(bytes_[pos_]) << 16 |
                                static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
                                bytes_[pos_ + 2];
        pos_ += 3;
        return v;
    }
    std::uint32_t be32() { return take<4>(&media::be32); }
    std::uint64_t be64() { return take<8>(&media::be64); }
    std::uint16_t le16() { return take<2>(&media::le16); }
    std::uint32_t le32() { return take<4>(&media::le32); }

    void skip(std::size_t n) {
        if (has(n))
            pos_ += n;
    }
    // The next `n` bytes as a span of their own; empty (and failed) when fewer remain.
    Bytes take(std::size_t n) {
        if (!has(n))
            return {};
        const Bytes part = bytes_.subspan(pos_, n);
        pos_ += n;
        return part;
    }
    Bytes rest() const { return bytes_.subspan(pos_); }

private:
    bool has(std::size_t n) {
        if (failed_ || n > remaining()) {
            failed_ = true;
            return false;
        }
        return true;
    }
    template <std::size_t N, typename T> T take(T (*read)(Bytes, std::size_t)) {
        if (!has(N))
            return 0;
        const T v = read(bytes_, pos_);
        pos_ += N;
        return v;
    }

    Bytes bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

} // namespace quorvel::media

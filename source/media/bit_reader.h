#pragma once

// Most-significant-bit-first reads for codec headers (MPEG sequence headers,
// H.264/H.265 parameter sets). Like ByteCursor, a read past the end sets a
// sticky failure and returns 0.

#include "source/media/byte_cursor.h"

#include <cstdint>

namespace quorvel::media {

class BitReader {
public:
    explicit BitReader(Bytes bytes) : bytes_(bytes) {}

    bool failed() const { return failed_; }
    std::uint64_t bitsLeft() const { return bytes_.size() * 8 - pos_; }

    // Up to 32 bits.
    std::uint32_t bits(int n) {
        if (n < 0 || n > 32 || static_cast<std::uint64_t>(n) > bitsLeft()) {
            failed_ = true;
            pos_ = bytes_.size() * 8;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos_)
            v = v << 1 | ((bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1u);
        return v;
    }
    bool flag() { return bits(1) != 0; }
    void skipBits(std::uint64_t n) {
        if (n > bitsLeft()) {
            failed_ = true;
            pos_ = bytes_.size() * 8;
            return;
        }
        pos_ += n;
    }

    // Exp-Golomb ue(v). A code longer than 32 bits is out of range for every
    // field we read and fails rather than wraps.
    std::uint32_t ue() {
        int zeros = 0;
        while (!failed_ && bits(1) == 0)
            if (++zeros > 31) {
                failed_ = true;
                return 0;
            }
        if (failed_)
            return 0;
        const std::uint64_t value = (std::uint64_t{1} << zeros) - 1 + bits(zeros);
        if (value > UINT32_MAX) {
            failed_ = true;
            return 0;
        }
        return static_cast<std::uint32_t>(value);
    }
    // se(v)
    std::int32_t se() {
        const std::uint32_t k = ue();
        const auto magnitude = static_cast<std::int64_t>((static_cast<std::uint64_t>(k) + 1) / 2);
        return static_cast<std::int32_t>(k & 1u ? magnitude : -magnitude);
    }

private:
    Bytes bytes_;
    std::uint64_t pos_ = 0;
    bool failed_ = false;
};

} // namespace quorvel::media

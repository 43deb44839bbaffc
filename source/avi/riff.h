#pragma once

// RIFF chunks read from memory. All offsets are 64-bit and every read is
// checked against the span first, so no declared size can wrap or overrun.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::avifile::riff {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[0])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

inline constexpr std::uint32_t kRiff = fourcc("RIFF");
inline constexpr std::uint32_t kList = fourcc("LIST");

// Little-endian fields; the caller has checked that they lie inside `b`.
inline std::uint32_t u32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}
inline std::int32_t i32(Bytes b, std::size_t at) {
    return static_cast<std::int32_t>(u32(b, at));
}
inline std::int16_t i16(Bytes b, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[at] | b[at + 1] << 8));
}

struct Chunk {
    std::uint32_t id = 0;
    std::uint32_t size = 0; // as declared, without the pad byte
    Bytes body;
    // A LIST's type, or 0 when the chunk is not a list or too short to be one.
    std::uint32_t listType() const { return id == kList && body.size() >= 4 ? u32(body, 0) : 0; }
    // A list's children, after its type.
    Bytes listBody() const { return body.size() >= 4 ? body.subspan(4) : Bytes{}; }
};

// Steps through the chunks of one list body. It stops at the first chunk that
// runs past the body; a few trailing bytes too short for a chunk header are
// ignored, as is a missing pad byte after the last chunk.
class ChunkWalker {
public:
    explicit ChunkWalker(Bytes body) : body_(body) {}

    std::optional<Chunk> next() {
        if (overran_ || body_.size() - pos_ < 8)
            return std::nullopt;
        Chunk c;
        c.id = u32(body_, pos_);
        c.size = u32(body_, pos_ + 4);
        const std::size_t start = pos_ + 8;
        if (c.size > body_.size() - start) {
            overran_ = true;
            return std::nullopt;
        }
        c.body = body_.subspan(start, c.size);
        const std::size_t next = start + c.size + (c.size & 1u);
        pos_ = next < body_.size() ? next : body_.size();
        return c;
    }

    // True when a chunk ran past the body: whatever followed is unknown.
    bool overran() const { return overran_; }

private:
    Bytes body_;
    std::size_t pos_ = 0;
    bool overran_ = false;
};

} // namespace quorvel::avifile::riff

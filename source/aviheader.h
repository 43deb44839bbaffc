#pragma once

// The AVI header reader, apart from any file IO so that it can be tested and
// fuzzed in memory. The file calls only feed it bytes.

#include "source/avifile.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvel::avifile {

// Open reads this much once; a usual header list lies wholly inside it.
inline constexpr std::size_t kPrefixSize = 64 * 1024;
// A header list longer than this is damaged: real ones are a few kilobytes.
inline constexpr std::uint32_t kMaxHeaderListSize = 1024 * 1024;
// Top-level chunks looked at before giving up on finding the header list.
inline constexpr int kMaxTopLevelChunks = 64;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The size when opened; reads may still end earlier if it has shrunk.
    virtual std::uint64_t size() const = 0;
    // Reads up to `size` bytes at `offset`; `got` is 0 at the end. Returns 0 or
    // an error code.
    virtual std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                                std::size_t& got) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Reads until `out` is full or the source ends. Every call to the source is
// counted in readStats().
std::int32_t readFully(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out,
                       std::size_t& got);

// 0 when `prefix` begins with a RIFF 'AVI ' header, else kErrorNotAviFile.
std::int32_t checkAviSignature(std::span<const std::uint8_t> prefix);

// Fills `info` from the header list. `prefix` holds the first bytes of
// `source` (up to kPrefixSize); the source is read only for what lies past it.
// Returns 0 or the error code, leaving `info` untouched on failure.
std::int32_t readAviInfo(std::span<const std::uint8_t> prefix, ByteSource& source,
                         AVIFILEINFO& info);

// What the first video stream's list says beyond the information record.
struct AviVideoExtras {
    std::uint32_t handler = 0;     // strh fccHandler
    std::uint32_t compression = 0; // strf biCompression
    // OpenDML video properties (vprp); all 0 when the stream has none.
    std::uint32_t aspectX = 0, aspectY = 0;        // dwFrameAspectRatio: the frame's width:height
    std::uint32_t frameWidth = 0, frameHeight = 0; // of the active picture
};

// readAviInfo, and from the same header list the extras.
std::int32_t readAviVideo(std::span<const std::uint8_t> prefix, ByteSource& source,
                          AVIFILEINFO& info, AviVideoExtras& extras);

// What open and info do together, on a file held in memory; `prefixSize`
// stands for the size of open's first read.
std::int32_t inspectAvi(std::span<const std::uint8_t> bytes, AVIFILEINFO& info,
                        std::size_t prefixSize = kPrefixSize);

} // namespace quorvel::avifile

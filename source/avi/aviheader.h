#pragma once

// The AVI header reader, apart from any file IO so that it can be tested and
// fuzzed in memory. The file calls only feed it bytes.

#include "source/avi/record.h"
#include "source/io/byte_source.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::avifile {

// A header list longer than this is damaged: real ones are a few kilobytes.
inline constexpr std::uint32_t kMaxHeaderListSize = 1024 * 1024;
// Top-level chunks looked at before giving up on finding the header list.
inline constexpr int kMaxTopLevelChunks = 64;

// 0 when `prefix` begins with a RIFF 'AVI ' header, else kErrorNotAviFile.
std::int32_t checkAviSignature(std::span<const std::uint8_t> prefix);

// Fills `info` from the header list. `prefix` holds the first bytes of
// `source` (up to io::kPrefixSize); the source is read only for what lies past it.
// Returns 0 or the error code, leaving `info` untouched on failure.
std::int32_t readAviInfo(std::span<const std::uint8_t> prefix, io::ByteSource& source,
                         AVIFILEINFO& info);

// What the header list says beyond the information record: of the first video
// stream's list, and the frame counts of the main and OpenDML headers.
struct AviVideoExtras {
    std::uint32_t handler = 0;         // strh fccHandler
    std::uint32_t compression = 0;     // strf biCompression
    std::uint32_t length = 0;          // strh dwLength, in the stream's own units
    std::uint32_t totalFrames = 0;     // avih dwTotalFrames (of the first RIFF in OpenDML files)
    std::uint32_t odmlTotalFrames = 0; // dmlh dwTotalFrames; 0 when there is none
    // OpenDML video properties (vprp); all 0 when the stream has none.
    std::uint32_t aspectX = 0, aspectY = 0;        // dwFrameAspectRatio: the frame's width:height
    std::uint32_t frameWidth = 0, frameHeight = 0; // of the active picture
    std::uint32_t fieldsPerFrame = 0;              // nbFieldPerFrame: 1 progressive, 2 interlaced
    // VideoYValidStartLine of the first and second field, when the properties
    // describe both.
    std::optional<std::array<std::uint32_t, 2>> fieldStartLines;
    // The audio streams (strh fccType 'auds'), and the most channels their
    // WAVEFORMATEX gives, 0 when one does not. soundHidden: a stream list,
    // or a stream of a type that may carry sound (DV's 'iavs'), could not
    // be told apart from one.
    std::uint32_t audioStreams = 0;
    std::uint32_t audioChannels = 0;
    bool audioCountsKnown = true;
    bool soundHidden = false;
};

// readAviInfo, and from the same header list the extras.
std::int32_t readAviVideo(std::span<const std::uint8_t> prefix, io::ByteSource& source,
                          AVIFILEINFO& info, AviVideoExtras& extras);

// What open and info do together, on a file held in memory; `prefixSize`
// stands for the size of open's first read.
std::int32_t inspectAvi(std::span<const std::uint8_t> bytes, AVIFILEINFO& info,
                        std::size_t prefixSize = io::kPrefixSize);

} // namespace quorvel::avifile

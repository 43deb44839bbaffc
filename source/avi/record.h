#pragma once

// The AVI information record and the library's own error codes: what the
// header reader fills and returns, and what the library hands its callers.

#include <cstdint>

namespace quorvel::avifile {

// The information record in its ANSI layout.
struct AVIFILEINFO {
    std::uint32_t dwMaxBytesPerSec;
    std::uint32_t dwFlags;
    std::uint32_t dwCaps;
    std::uint32_t dwStreams;
    std::uint32_t dwSuggestedBufferSize;
    std::uint32_t dwWidth;
    std::uint32_t dwHeight;
    std::uint32_t dwScale;
    std::uint32_t dwRate;
    std::uint32_t dwLength;
    std::uint32_t dwEditCount;
    char szFileType[64];
};
static_assert(sizeof(AVIFILEINFO) == 108, "the record's ANSI layout is 108 bytes");

// dwCaps: the file can be read.
inline constexpr std::uint32_t AVIFILECAPS_CANREAD = 0x1;

// Our own failures. The customer bit (bit 29) keeps them apart from every
// system error code, errno and Windows codes alike.
enum OwnError : std::int32_t {
    kErrorNotAviFile = 0x20005100,
    kErrorNotRegularFile,
    kErrorHeaderCutShort,
    kErrorNoHeaderList,
    kErrorNoMainHeader,
    kErrorNoVideoStream,
    kErrorDamagedHeader,
    kErrorRecordTooSmall,
    kErrorInvalidHandle,
    kErrorInvalidArgument, // a null pointer, or a mode that asks to write
};

} // namespace quorvel::avifile

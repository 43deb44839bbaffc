#pragma once

// The promises the MPEG program and video stream reader keeps for any input.

#include "fuzz/media_check.h"
#include "source/media/mpeg.h"

namespace quorvel::mediafuzz {

inline void checkMpegInput(std::span<const std::uint8_t> data) {
    using namespace media::mpeg;
    // Open's read, then the scan window in chunks.
    constexpr std::uint64_t kCalls = 1 + kMaxScanBytes / kReadChunk + 1;
    const media::ProbeResult r = checkPrefixes(data, &media::readMpeg, kCalls, kMaxScanBytes);
    if (r.ok()) {
        const media::VideoInfo& v = *r.video;
        PROMISE(v.codec == "mpeg1video" || v.codec == "mpeg2video");
        // 12 bits, and 2 more from the MPEG-2 extension.
        PROMISE(v.width < (1u << 14) && v.height < (1u << 14));
        PROMISE(v.codec == "mpeg2video" || (v.width < (1u << 12) && v.height < (1u << 12)));
        // Unless the first bytes also pass for an MP4 box, which sniff puts first.
        const auto sniffed =
            media::sniff(data.first(std::min(data.size(), io::kPrefixSize))).container;
        PROMISE(sniffed == v.container || sniffed == media::Container::Mp4);
    }
}

} // namespace quorvel::mediafuzz

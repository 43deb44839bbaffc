#pragma once

// The promises the MPEG program and video stream reader keeps for any input.

#include "fuzz/facts_check.h"
#include "fuzz/media_check.h"
#include "source/media/mpeg.h"

namespace quorvel::mediafuzz {

inline void checkMpegInput(std::span<const std::uint8_t> data) {
    using namespace media::mpeg;
    // Open's read, the scan window in chunks, and the tail.
    constexpr std::uint64_t kCalls = 1 + kMaxScanBytes / kReadChunk + 1 + 1;
    const media::ProbeResult r =
        checkPrefixes(data, &media::readMpeg, kCalls, kMaxScanBytes + kCadenceTailBytes);
    checkFactsAtPrefixes(data, &media::readMpeg, r);
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
        PROMISE(!v.frames || (*v.frames >= 1 && v.durationMs));
        // MPEG-1 has neither fields nor repeated fields.
        PROMISE(v.codec == "mpeg2video" ||
                (v.scan == media::Scan::Progressive && v.pulldown == false));
        // Film is found only in 30000/1001 streams, and is 24000/1001.
        PROMISE(v.pulldown != true || (v.rate == media::Fraction{30000, 1001} &&
                                       v.filmRate == media::Fraction{24000, 1001}));
        PROMISE(!v.crop);
    }
}

} // namespace quorvel::mediafuzz

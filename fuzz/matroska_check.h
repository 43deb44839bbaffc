#pragma once

// The promises the Matroska reader keeps for any input.

#include "fuzz/media_check.h"
#include "source/media/matroska.h"

namespace quorvel::mediafuzz {

inline void checkMatroskaInput(std::span<const std::uint8_t> data) {
    using namespace media::matroska;
    // Open's read, and one more when it was short; the EBML header and its body; a header for each
    // top-level and Segment child looked at; the SeekHead; two track lists (the one the SeekHead
    // names, the one the walk finds), two reads each; one Info, two reads.
    constexpr std::uint64_t kCalls = 2 + 2 + kMaxTopLevelElements + kMaxLevel1Elements + 1 + 4 + 2;
    constexpr std::uint64_t kBytes =
        kPrefixRead + kMaxElementHeader * (1 + kMaxTopLevelElements + kMaxLevel1Elements) +
        kMaxEbmlHeaderSize + kMaxSeekHeadSize + 2 * (kTracksFirstRead + kMaxTracksSize) +
        kInfoFirstRead + kMaxInfoSize;
    const media::ProbeResult r = checkPrefixes(data, &media::readMatroska, kCalls, kBytes);
    if (r.ok()) {
        PROMISE(r.video->container == media::Container::Matroska);
        PROMISE(r.video->codec.size() <= kMaxCodecIdLength);
        PROMISE(!r.video->durationMs || *r.video->durationMs <= kMaxDurationMs);
        // Matroska headers count no frames and say nothing of pulldown.
        PROMISE(!r.video->frames && !r.video->pulldown && !r.video->filmRate);
        // Unless the first bytes also pass for an MP4 box, which sniff puts first.
        const auto sniffed =
            media::sniff(data.first(std::min(data.size(), io::kPrefixSize))).container;
        PROMISE(sniffed == media::Container::Matroska || sniffed == media::Container::Mp4);
    }
}

} // namespace quorvel::mediafuzz

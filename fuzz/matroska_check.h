#pragma once

// The promises the Matroska reader keeps for any input.

#include "fuzz/facts_check.h"
#include "source/media/matroska.h"

#include <algorithm>

namespace quorvel::mediafuzz {

inline void checkMatroskaInput(std::span<const std::uint8_t> data) {
    using namespace media::matroska;
    // Open's read, and one more when it was short; the EBML header's body; the read-aheads for
    // headers of top-level and Segment children; the SeekHead; two track lists (the one the
    // SeekHead names, the one the walk finds), each a first read, then its body or the reads of
    // the walk through a large one; one Info, two reads; three tries at the
    // chapters, two reads each.
    constexpr std::uint64_t kCalls =
        2 + 1 + kMaxHeaderReads + 1 + 2 * (1 + kMaxTrackListReads) + 2 + 3 * 2;
    constexpr std::uint64_t kTrackListBytes =
        std::max<std::uint64_t>(kMaxTracksSize, kMaxTrackListReads * kTracksFirstRead);
    constexpr std::uint64_t kBytes = kPrefixRead + kMaxEbmlHeaderSize +
                                     kMaxHeaderReads * kHeaderReadAhead + kMaxSeekHeadSize +
                                     2 * (kTracksFirstRead + kTrackListBytes) + kInfoFirstRead +
                                     kMaxInfoSize + 3 * (kInfoFirstRead + kMaxChaptersSize);
    const media::ProbeResult r = checkPrefixes(data, &media::readMatroska, kCalls, kBytes);
    if (r.ok()) {
        PROMISE(r.video->container == media::Container::Matroska);
        PROMISE(r.video->codec.size() <= kMaxCodecIdLength);
        checkFacts(*r.video);
        // Matroska headers count no frames and say nothing of pulldown.
        PROMISE(!r.video->frames && !r.video->pulldown && !r.video->filmRate);
        // Unless the first bytes also pass for an MP4 box, which sniff puts first.
        const auto sniffed =
            media::sniff(data.first(std::min(data.size(), io::kPrefixSize))).container;
        PROMISE(sniffed == media::Container::Matroska || sniffed == media::Container::Mp4);
    }
}

} // namespace quorvel::mediafuzz

#pragma once

// Promises every container reader keeps for any input, shared by the
// libFuzzer targets and the replay test. A broken one aborts.

#include "fuzz/promise.h"
#include "source/avi/aviheader.h"
#include "source/media/media.h"

#include <numeric>
#include <span>
#include <vector>

namespace quorvel::mediafuzz {

using Reader = media::ProbeResult (*)(media::Bytes, io::ByteSource&);

struct Probe {
    media::ProbeResult result;
    io::ReadStats reads; // the open's first read included
};

// What open and the reader do together, with `prefixSize` for open's first read.
inline Probe probe(std::span<const std::uint8_t> data, std::size_t prefixSize, Reader read) {
    io::MemorySource source(data);
    const io::ReadStats before = io::readStats();
    std::vector<std::uint8_t> prefix(std::min(prefixSize, data.size()));
    std::size_t got = 0;
    io::readFully(source, 0, prefix, got);
    prefix.resize(got);
    Probe p;
    p.result = read(prefix, source);
    const io::ReadStats after = io::readStats();
    p.reads = {after.bytes - before.bytes, after.calls - before.calls};
    return p;
}

inline bool reducedFraction(const std::optional<media::Fraction>& f) {
    return !f || (f->num > 0 && f->den > 0 && std::gcd(f->num, f->den) == 1);
}

// A crop leaves a picture; a field order belongs to interlaced video.
inline bool pictureFacts(const media::VideoInfo& v) {
    const bool crop = !v.crop || (std::uint64_t{v.crop->left} + v.crop->right < v.width &&
                                  std::uint64_t{v.crop->top} + v.crop->bottom < v.height);
    const bool order = !v.fieldOrder || v.scan == media::Scan::Interlaced;
    return crop && order;
}

// Channels belong to sound that was found, and are a count a format has.
inline bool soundFacts(const media::VideoInfo& v) {
    return !v.audioChannels || (v.hasAudio == true && *v.audioChannels >= 1 &&
                                *v.audioChannels <= media::kMaxAudioChannels);
}

inline bool sameVideo(const media::VideoInfo& a, const media::VideoInfo& b) {
    return a.container == b.container && a.codec == b.codec && a.width == b.width &&
           a.height == b.height && a.rate == b.rate && a.variableRate == b.variableRate &&
           a.sar == b.sar && a.rotation == b.rotation && a.durationMs == b.durationMs &&
           a.frames == b.frames && a.scan == b.scan && a.fieldOrder == b.fieldOrder &&
           a.pulldown == b.pulldown && a.filmRate == b.filmRate && a.crop == b.crop &&
           a.hasAudio == b.hasAudio && a.audioChannels == b.audioChannels &&
           a.peakBitsPerSecond == b.peakBitsPerSecond;
}

// The answer may not depend on how much open happened to read first: the
// usual prefix, a bare few bytes, or something between. Returns the answer
// for the usual prefix; each run's reads must stay within the limits. A frame
// with a side of 0 is refused, but where the window takes it (AVI).
inline media::ProbeResult checkPrefixes(std::span<const std::uint8_t> data, Reader read,
                                        std::uint64_t maxCalls, std::uint64_t maxBytes,
                                        bool zeroSideTaken = false) {
    const std::size_t prefixes[] = {io::kPrefixSize, 12, 100 + data.size() / 2};
    media::ProbeResult first;
    for (std::size_t i = 0; i < std::size(prefixes); ++i) {
        const Probe p = probe(data, prefixes[i], read);
        PROMISE(p.reads.calls <= maxCalls);
        PROMISE(p.reads.bytes <= prefixes[i] + maxBytes);
        const media::ProbeResult& r = p.result;
        PROMISE(r.ok() == r.error.empty());
        if (r.ok()) {
            PROMISE(zeroSideTaken || (r.video->width > 0 && r.video->height > 0));
            PROMISE(reducedFraction(r.video->rate));
            PROMISE(reducedFraction(r.video->sar));
            PROMISE(r.video->rotation == 0);
            PROMISE(pictureFacts(*r.video));
            PROMISE(soundFacts(*r.video));
        }
        if (i == 0) {
            first = r;
        } else {
            PROMISE(r.ok() == first.ok());
            PROMISE(r.error == first.error);
            PROMISE(!r.ok() || sameVideo(*r.video, *first.video));
        }
    }
    return first;
}

} // namespace quorvel::mediafuzz

#pragma once

// Promises about a reader's running time and fields, for any input: sound on
// their own, and the same whatever open happened to read first.

#include "fuzz/media_check.h"

#include <algorithm>
#include <functional>

namespace quorvel::mediafuzz {

inline bool sameFacts(const media::VideoInfo& a, const media::VideoInfo& b) {
    return a.durationMs == b.durationMs && a.frames == b.frames && a.scan == b.scan &&
           a.fieldOrder == b.fieldOrder && a.pulldown == b.pulldown && a.filmRate == b.filmRate &&
           a.crop == b.crop && a.hasAudio == b.hasAudio && a.audioChannels == b.audioChannels &&
           a.audioLanguage == b.audioLanguage && a.chaptersMs == b.chaptersMs;
}

// Chapters ascend without repeats within a day; a language is two or three
// small letters, and belongs to sound.
inline bool chaptersAndLanguage(const media::VideoInfo& v) {
    const auto& c = v.chaptersMs;
    if (c.size() > media::kMaxChapters || (!c.empty() && c.back() > media::kMaxDurationMs) ||
        std::adjacent_find(c.begin(), c.end(), std::greater_equal<>()) != c.end())
        return false;
    if (!v.audioLanguage)
        return true;
    const std::string& l = *v.audioLanguage;
    return v.hasAudio == true && (l.size() == 2 || l.size() == 3) &&
           std::all_of(l.begin(), l.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; });
}

// A running time is more than 0 ms and at most a day, in every reader.
inline bool durationInBounds(const media::VideoInfo& v) {
    return !v.durationMs || (*v.durationMs > 0 && *v.durationMs <= media::kMaxDurationMs);
}

inline void checkFacts(const media::VideoInfo& v) {
    PROMISE(durationInBounds(v));
    // A field order belongs to interlaced pictures; a film rate to pulldown.
    PROMISE(!v.fieldOrder || v.scan == media::Scan::Interlaced);
    PROMISE(!v.filmRate || v.pulldown == true);
    PROMISE(reducedFraction(v.filmRate));
    // A stated peak is MPEG-2's, 400 bit/s a step.
    PROMISE(!v.peakBitsPerSecond || (v.codec == "mpeg2video" && *v.peakBitsPerSecond % 400 == 0));
    PROMISE(soundFacts(v));
    PROMISE(chaptersAndLanguage(v));
}

// `first` is checkPrefixes' answer for the usual prefix; the reader runs again
// from a bare 12 bytes, the prefix that leaves it the most to read itself.
inline void checkFactsAtPrefixes(std::span<const std::uint8_t> data, Reader read,
                                 const media::ProbeResult& first) {
    if (!first.ok())
        return;
    checkFacts(*first.video);
    const Probe p = probe(data, 12, read);
    PROMISE(p.result.ok());
    PROMISE(sameFacts(*p.result.video, *first.video));
}

} // namespace quorvel::mediafuzz

#pragma once

// The promises the MP4 header reader keeps for any input, checked the same way
// by the libFuzzer target and by a replay of saved inputs. A broken one aborts.

#include "fuzz/facts_check.h"
#include "fuzz/media_check.h"
#include "fuzz/promise.h"
#include "source/avi/avifile.h"
#include "source/media/h26x.h"
#include "source/media/mp4.h"

#include <numeric>
#include <span>

namespace quorvel::mp4fuzz {

inline void checkRatio(const std::optional<media::Fraction>& f) {
    if (f) {
        PROMISE(f->num > 0 && f->den > 0);
        PROMISE(std::gcd(f->num, f->den) == 1);
    }
}

inline bool sameVideo(const media::VideoInfo& a, const media::VideoInfo& b) {
    return a.codec == b.codec && a.width == b.width && a.height == b.height && a.rate == b.rate &&
           a.variableRate == b.variableRate && a.sar == b.sar && a.rotation == b.rotation &&
           a.durationMs == b.durationMs && a.frames == b.frames && a.scan == b.scan &&
           a.fieldOrder == b.fieldOrder && a.crop == b.crop && a.hasAudio == b.hasAudio &&
           a.audioChannels == b.audioChannels && a.audioLanguage == b.audioLanguage &&
           a.chaptersMs == b.chaptersMs;
}

inline void checkMp4Input(std::span<const std::uint8_t> data) {
    using namespace media;
    // The answer may not depend on how much open happened to read first.
    const std::size_t prefixes[] = {io::kPrefixSize, 0, 16, 100 + data.size() / 2};
    ProbeResult first;
    for (std::size_t i = 0; i < std::size(prefixes); ++i) {
        const io::ReadStats before = io::readStats();
        const ProbeResult r = mp4::inspectMp4(data, prefixes[i]);
        const io::ReadStats after = io::readStats();

        // Open's read, then at most kMaxReads of ours; a short read costs one
        // more call that finds the end.
        PROMISE(after.calls - before.calls <= 2 + 2 * mp4::kMaxReads);
        PROMISE(after.bytes - before.bytes <= prefixes[i] + mp4::kMaxBytesRead);
        PROMISE(r.ok() == r.error.empty());
        if (r.ok()) {
            const VideoInfo& v = *r.video;
            PROMISE(v.container == Container::Mp4);
            PROMISE(v.width > 0 && v.height > 0);
            PROMISE(v.codec.size() == 4);
            for (const char c : v.codec)
                PROMISE(c >= 0x20 && c <= 0x7e);
            PROMISE(v.rotation == 0 || v.rotation == 90 || v.rotation == 180 || v.rotation == 270);
            checkRatio(v.rate);
            checkRatio(v.sar);
            PROMISE(mediafuzz::soundFacts(v));
            PROMISE(mediafuzz::chaptersAndLanguage(v));
            PROMISE(!v.variableRate || v.rate.has_value());
            // A crop leaves a picture; a field order belongs to interlaced video.
            if (v.crop) {
                PROMISE(std::uint64_t{v.crop->left} + v.crop->right < v.width);
                PROMISE(std::uint64_t{v.crop->top} + v.crop->bottom < v.height);
            }
            PROMISE(!v.fieldOrder || v.scan == Scan::Interlaced);
            PROMISE(!v.durationMs || (*v.durationMs > 0 && *v.durationMs <= kMaxDurationMs));
            PROMISE(!v.frames || *v.frames > 0);
        }
        if (i == 0) {
            first = r;
        } else {
            PROMISE(r.error == first.error);
            PROMISE(r.ok() == first.ok());
            if (r.ok())
                PROMISE(sameVideo(*r.video, *first.video));
        }
    }
    // The parameter set readers, on the raw bytes as well.
    checkRatio(h26x::h264SpsAspect(data));
    checkRatio(h26x::h265SpsAspect(data));
    checkRatio(h26x::h264SpsAspect(h26x::avcConfigSps(data)));
    checkRatio(h26x::h265SpsAspect(h26x::hevcConfigSps(data)));
}

} // namespace quorvel::mp4fuzz

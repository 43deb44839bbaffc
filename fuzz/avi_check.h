#pragma once

// The promises the AVI header reader keeps for any input, checked the same way
// by the libFuzzer target and by the mutation test. A broken one aborts.

#include "fuzz/facts_check.h"
#include "fuzz/promise.h"
#include "source/avi/aviheader.h"

#include <cstring>
#include <span>

namespace quorvel::avifuzz {

inline bool isOutcome(std::int32_t rc) {
    using namespace avifile;
    using namespace io;
    switch (rc) {
    case 0:
    case kErrorNotAviFile:
    case kErrorHeaderCutShort:
    case kErrorNoHeaderList:
    case kErrorNoMainHeader:
    case kErrorNoVideoStream:
    case kErrorDamagedHeader:
        return true;
    default:
        return false;
    }
}

// Bounded work: open's read, a few header probes, one list read.
inline constexpr std::uint64_t kAviCalls = 1 + 2 * avifile::kMaxTopLevelChunks + 2;
inline constexpr std::uint64_t kAviBytes =
    12u * avifile::kMaxTopLevelChunks + avifile::kMaxHeaderListSize + 8;

inline void checkAviInput(std::span<const std::uint8_t> data) {
    using namespace avifile;
    using namespace io;
    // The answer may not depend on how much open happened to read first: the
    // whole file, the usual prefix, a bare RIFF header, or something between.
    const std::size_t prefixes[] = {kPrefixSize, 12, 100 + data.size() / 2};
    AVIFILEINFO first{};
    std::int32_t firstRc = 0;
    for (std::size_t i = 0; i < std::size(prefixes); ++i) {
        AVIFILEINFO info{};
        const ReadStats before = readStats();
        const std::int32_t rc = inspectAvi(data, info, prefixes[i]);
        const ReadStats after = readStats();

        PROMISE(isOutcome(rc));
        PROMISE(after.calls - before.calls <= kAviCalls);
        PROMISE(after.bytes - before.bytes <= prefixes[i] + kAviBytes);
        PROMISE((rc == kErrorNotAviFile) == (checkAviSignature(data) != 0));
        if (rc == 0) {
            PROMISE(std::memchr(info.szFileType, '\0', sizeof info.szFileType) != nullptr);
            PROMISE(info.dwCaps == AVIFILECAPS_CANREAD);
            PROMISE(info.dwStreams >= 1);
        }
        if (i == 0) {
            firstRc = rc;
            first = info;
        } else {
            PROMISE(rc == firstRc);
            PROMISE(std::memcmp(&info, &first, sizeof info) == 0);
        }
    }

    // quorvel-info's read of the same header list, with the usual prefix and a
    // bare RIFF header: the same bounds, the same answer, and what it adds to
    // the record.
    media::ProbeResult answer;
    for (const std::size_t prefix : {kPrefixSize, std::size_t{12}}) {
        const mediafuzz::Probe p = mediafuzz::probe(data, prefix, &media::readAvi);
        PROMISE(p.reads.calls <= 1 + 2 * kMaxTopLevelChunks + 2);
        PROMISE(p.reads.bytes <= prefix + 12u * kMaxTopLevelChunks + kMaxHeaderListSize + 8);
        PROMISE(p.result.ok() == (firstRc == 0));
        if (!p.result.ok())
            continue;
        const media::VideoInfo& v = *p.result.video;
        mediafuzz::checkFacts(v);
        PROMISE(mediafuzz::reducedFraction(v.rate) && mediafuzz::reducedFraction(v.sar));
        // A time needs frames; each count is a 32-bit field.
        PROMISE(!v.durationMs || v.frames);
        PROMISE(!v.frames || (*v.frames > 0 && *v.frames <= UINT32_MAX));
        PROMISE(!v.pulldown && !v.crop);
        if (prefix == kPrefixSize)
            answer = p.result;
        else
            PROMISE(mediafuzz::sameVideo(v, *answer.video) &&
                    mediafuzz::sameFacts(v, *answer.video));
    }
}

} // namespace quorvel::avifuzz

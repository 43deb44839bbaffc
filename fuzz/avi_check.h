#pragma once

// The promises the AVI header reader keeps for any input, checked the same way
// by the libFuzzer target and by the mutation test. A broken one aborts.

#include "source/aviheader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

namespace quorvel::avifuzz {

// Called before aborting, so that a driver can keep the input that broke us.
inline void (*onBrokenPromise)() = nullptr;

#define AVI_CHECK(cond)                                                                            \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #cond);        \
            if (quorvel::avifuzz::onBrokenPromise)                                                 \
                quorvel::avifuzz::onBrokenPromise();                                               \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

inline bool isOutcome(std::int32_t rc) {
    using namespace avifile;
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

inline void checkAviInput(std::span<const std::uint8_t> data) {
    using namespace avifile;
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

        AVI_CHECK(isOutcome(rc));
        // Bounded work: open's read, a few header probes, one list read.
        AVI_CHECK(after.calls - before.calls <= 1 + 2 * kMaxTopLevelChunks + 2);
        AVI_CHECK(after.bytes - before.bytes <=
                  prefixes[i] + 12u * kMaxTopLevelChunks + kMaxHeaderListSize + 8);
        AVI_CHECK((rc == kErrorNotAviFile) == (checkAviSignature(data) != 0));
        if (rc == 0) {
            AVI_CHECK(std::memchr(info.szFileType, '\0', sizeof info.szFileType) != nullptr);
            AVI_CHECK(info.dwCaps == AVIFILECAPS_CANREAD);
            AVI_CHECK(info.dwStreams >= 1);
        }
        if (i == 0) {
            firstRc = rc;
            first = info;
        } else {
            AVI_CHECK(rc == firstRc);
            AVI_CHECK(std::memcmp(&info, &first, sizeof info) == 0);
        }
    }
}

} // namespace quorvel::avifuzz

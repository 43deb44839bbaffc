#pragma once

// The promises the MPEG-2 flag rewriter keeps for any input.

#include "fuzz/promise.h"
#include "source/media/mpeg_flags.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvel::mediafuzz {

// The bits a mode may change, from every start code in `data` whatever
// follows it: the sequence header's frame_rate_code, the sequence
// extension's progressive_sequence, the picture coding extension's
// top_field_first and repeat_first_field, and the GOP header's time code.
inline std::vector<std::uint8_t> flagBits(std::span<const std::uint8_t> data,
                                          media::mpeg::FlagMode mode) {
    std::vector<std::uint8_t> mask(data.size(), 0);
    const bool pulldown = mode == media::mpeg::FlagMode::SoftPulldown;
    const auto allow = [&](std::size_t at, std::uint8_t bits) {
        if (at < mask.size())
            mask[at] |= bits;
    };
    for (std::size_t i = 0; i + 4 < data.size(); ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        const std::uint8_t code = data[i + 3], id = data[i + 4] >> 4;
        if (code == 0xB5 && id == 1)
            allow(i + 5, 0x08);
        if (!pulldown)
            continue;
        if (code == 0xB3)
            allow(i + 7, 0x0F);
        if (code == 0xB5 && id == 8)
            allow(i + 7, 0x82);
        if (code == 0xB8) {
            allow(i + 4, 0xFF);
            allow(i + 5, 0xF7);
            allow(i + 6, 0xFF);
            allow(i + 7, 0x80);
        }
    }
    return mask;
}

inline void checkMpegFlags(std::span<const std::uint8_t> data) {
    using namespace media::mpeg;
    // The first byte picks the windows the stream is cut into.
    const std::size_t chunk = data.empty() ? 1 : data[0] % 32 + 1;
    for (const FlagMode mode : {FlagMode::SoftPulldown, FlagMode::ProgressiveOnly}) {
        std::vector<std::uint8_t> whole(data.begin(), data.end()), cut = whole;
        const FlagResult r = rewriteFlags(whole, mode);
        PROMISE(rewriteFlags(cut, mode, chunk) == r);
        PROMISE(cut == whole && whole.size() == data.size());
        PROMISE(r.ok() == r.error.empty());
        const std::vector<std::uint8_t> mask = flagBits(data, mode);
        std::uint64_t changed = 0;
        for (std::size_t i = 0; i < data.size(); ++i) {
            PROMISE(((whole[i] ^ data[i]) & ~mask[i]) == 0);
            changed += whole[i] != data[i];
        }
        PROMISE(changed == r.changedBytes);
        PROMISE((r.outcome == FlagOutcome::Rewritten) == (changed != 0));
        // What it wrote, it finds done.
        if (r.outcome == FlagOutcome::Rewritten) {
            const FlagResult again = rewriteFlags(whole, mode);
            PROMISE(again.outcome == FlagOutcome::AlreadyDone);
            PROMISE(again.pictures == r.pictures && again.gops == r.gops);
        }
    }
}

} // namespace quorvel::mediafuzz

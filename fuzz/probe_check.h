#pragma once

// What quorvel-info does with a file's bytes, on one buffer: the sniffer picks
// a container from the first bytes, and that container's reader reads them
// (for AVI the shape reader that stands beside the window's). Whichever
// reader the sniffer picks keeps the promises its own target checks (each of
// which also holds the answer to the sniffer's choice of container), and for
// AVI the shape reader agrees with the window's reader.

#include "fuzz/avi_check.h"
#include "fuzz/matroska_check.h"
#include "fuzz/media_check.h"
#include "fuzz/mp4_check.h"
#include "fuzz/mpeg_check.h"

#include <algorithm>

namespace quorvel::mediafuzz {

inline void checkAviShape(std::span<const std::uint8_t> data) {
    const media::ProbeResult shape =
        checkPrefixes(data, &media::readAvi, avifuzz::kAviCalls, avifuzz::kAviBytes, true);
    avifile::AVIFILEINFO record{};
    const std::int32_t rc = avifile::inspectAvi(data, record);
    PROMISE(shape.ok() == (rc == 0));
    if (!shape.ok()) {
        PROMISE(shape.error == avifile::sysErrorText(rc));
        return;
    }
    const media::VideoInfo& v = *shape.video;
    PROMISE(v.container == media::Container::Avi);
    PROMISE(v.width == record.dwWidth && v.height == record.dwHeight);
    PROMISE(v.rate == media::ratio(record.dwRate, record.dwScale));
    PROMISE(v.rotation == 0 && !v.variableRate);
    PROMISE(v.codec.size() <= 4);
}

inline void checkProbeInput(std::span<const std::uint8_t> data) {
    using media::Container;
    // Open's first read is all the sniffer sees.
    const media::Sniffed sniffed = media::sniff(data.first(std::min(data.size(), io::kPrefixSize)));
    PROMISE(sniffed.container.has_value() == sniffed.found.empty());
    if (!sniffed.container)
        return;
    switch (*sniffed.container) {
    case Container::Avi:
        avifuzz::checkAviInput(data);
        checkAviShape(data);
        break;
    case Container::Mp4:
        mp4fuzz::checkMp4Input(data);
        break;
    case Container::Matroska:
        checkMatroskaInput(data);
        break;
    case Container::MpegPs:
    case Container::MpegEs:
        checkMpegInput(data);
        break;
    }
}

} // namespace quorvel::mediafuzz

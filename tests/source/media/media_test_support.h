#pragma once

// Shared by the container readers' tests: corpus files, and a reader run as
// open would run it, with its reads counted.

#include "fuzz/media_check.h"
#include "source/avi/aviheader.h"
#include "source/media/media.h"
#include "tests/source/media/media_print.h"

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::media {

namespace mediatest {

using Buffer = std::vector<std::uint8_t>;

inline Buffer readCorpus(const std::string& relative) {
    std::ifstream in(std::string(QUORVEL_TEST_DATA) + "/" + relative, std::ios::binary);
    return Buffer(std::istreambuf_iterator<char>(in), {});
}

struct Run {
    ProbeResult result;
    std::uint64_t calls = 0; // open's first read included
    std::uint64_t bytes = 0;
};

using mediafuzz::Reader;

inline Run run(const Buffer& file, Reader read, std::size_t prefixSize = io::kPrefixSize) {
    const mediafuzz::Probe p = mediafuzz::probe(file, prefixSize, read);
    return {p.result, p.reads.calls, p.reads.bytes};
}

// What a reader says of the sound; channels 0 (which no reader gives) when
// it read no video.
using Sound = std::pair<std::optional<bool>, std::optional<std::uint32_t>>;
inline Sound sound(const Buffer& file, Reader read) {
    const ProbeResult r = run(file, read).result;
    return r.ok() ? Sound{r.video->hasAudio, r.video->audioChannels} : Sound{std::nullopt, 0};
}

} // namespace mediatest
} // namespace quorvel::media

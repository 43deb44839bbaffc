#pragma once

// Shared by the container readers' tests: corpus files, and a reader run as
// open would run it, with its reads counted.

#include "source/aviheader.h"
#include "source/media.h"

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace quorvel::media {

inline std::ostream& operator<<(std::ostream& os, const Fraction& f) {
    return os << f.num << '/' << f.den;
}

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

using Reader = ProbeResult (*)(Bytes, avifile::ByteSource&);

inline Run run(const Buffer& file, Reader read, std::size_t prefixSize = avifile::kPrefixSize) {
    avifile::MemorySource source(file);
    const avifile::ReadStats before = avifile::readStats();
    Buffer prefix(std::min(prefixSize, file.size()));
    std::size_t got = 0;
    avifile::readFully(source, 0, prefix, got);
    prefix.resize(got);
    Run r;
    r.result = read(prefix, source);
    const avifile::ReadStats after = avifile::readStats();
    r.calls = after.calls - before.calls;
    r.bytes = after.bytes - before.bytes;
    return r;
}

} // namespace mediatest
} // namespace quorvel::media

#include "source/io/byte_source.h"

#include <cstring>

namespace quorvel::io {

namespace {
thread_local ReadStats tlsReadStats;
} // namespace

ReadStats readStats() {
    return tlsReadStats;
}

std::int32_t MemorySource::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                                  std::size_t& got) {
    got = 0;
    if (offset < bytes_.size()) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes_.size() - offset));
        std::memcpy(out, bytes_.data() + offset, got);
    }
    return 0;
}

std::int32_t readFully(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out,
                       std::size_t& got) {
    got = 0;
    while (got < out.size()) {
        std::size_t n = 0;
        ++tlsReadStats.calls;
        if (const std::int32_t rc =
                source.readAt(offset + got, out.data() + got, out.size() - got, n))
            return rc;
        if (n == 0)
            break;
        got += n;
        tlsReadStats.bytes += n;
    }
    return 0;
}

} // namespace quorvel::io

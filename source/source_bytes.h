#pragma once

// A container reader's view of its file: the prefix that open read first, and
// the source for anything past it. Each call that the prefix cannot serve is
// one read, counted in avifile::readStats().

#include "source/aviheader.h"
#include "source/byte_cursor.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorvel::media {

class SourceBytes {
public:
    SourceBytes(Bytes prefix, avifile::ByteSource& source)
        : prefix_(prefix), source_(source),
          size_(std::max<std::uint64_t>(source.size(), prefix.size())) {}

    std::uint64_t size() const { return size_; }

    // Up to `length` bytes at `offset`, fewer at the end of the file: a part of
    // the prefix when it holds them all, else read into `store`. False when
    // the read fails.
    bool get(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& store,
             Bytes& out) {
        out = {};
        if (offset >= size_)
            return true;
        length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
        if (fitsIn(offset, length, prefix_.size())) {
            out = prefix_.subspan(static_cast<std::size_t>(offset), length);
            return true;
        }
        store.resize(length);
        std::size_t got = 0;
        if (avifile::readFully(source_, offset, store, got) != 0)
            return false;
        out = Bytes(store.data(), got);
        return true;
    }

private:
    Bytes prefix_;
    avifile::ByteSource& source_;
    std::uint64_t size_;
};

} // namespace quorvel::media

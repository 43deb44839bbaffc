#pragma once

// The byte layer under every reader: a source of bytes at offsets, the calls
// that read it (each one counted, so tests and benchmarks can see what an
// inspection costs), and a reader's view of a file as the prefix that open
// read first plus the source for anything past it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quorvel::io {

using Bytes = std::span<const std::uint8_t>;

// Open reads this much once; a usual header of any container lies wholly
// inside it.
inline constexpr std::size_t kPrefixSize = 64 * 1024;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The size when opened; reads may still end earlier if it has shrunk.
    virtual std::uint64_t size() const = 0;
    // Reads up to `size` bytes at `offset`; `got` is 0 at the end. Returns 0 or
    // an error code.
    virtual std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                                std::size_t& got) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(Bytes bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override;

private:
    Bytes bytes_;
};

// Reads until `out` is full or the source ends. Every call to the source is
// counted in readStats().
std::int32_t readFully(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out,
                       std::size_t& got);

// What the calling thread has read from sources so far: bytes and read calls.
// Differences show what one inspection costs.
struct ReadStats {
    std::uint64_t bytes = 0;
    std::uint64_t calls = 0;
};
ReadStats readStats();

// Memory for bytes read from a source, not cleared first: every byte a read
// hands out is written by it, and clearing costs about as much as the read.
class ReadBuffer {
public:
    std::uint8_t* data() { return bytes_.get(); }
    std::size_t size() const { return size_; }
    Bytes bytes() const { return {bytes_.get(), size_}; }
    std::span<std::uint8_t> writable() { return {bytes_.get(), size_}; }
    // `n` bytes, the first of them those held before; the rest are unset.
    void resize(std::size_t n) {
        if (n > capacity_) {
            const std::size_t capacity = std::max(n, capacity_ + capacity_ / 2);
            auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
            std::copy_n(bytes_.get(), size_, grown.get());
            bytes_ = std::move(grown);
            capacity_ = capacity;
        }
        size_ = n;
    }
    void clear() { size_ = 0; }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// True when `size` bytes from `offset` lie inside a parent of `parentSize`
// bytes; written so that no sum can wrap.
constexpr bool fitsIn(std::uint64_t offset, std::uint64_t size, std::uint64_t parentSize) {
    return offset <= parentSize && size <= parentSize - offset;
}

// A reader's view of its file: the prefix open read, and the source for the
// rest. Each get() that the prefix cannot serve is one readFully().
class PrefixedSource {
public:
    PrefixedSource(Bytes prefix, ByteSource& source)
        : prefix_(prefix), source_(source),
          size_(std::max<std::uint64_t>(source.size(), prefix.size())) {}

    std::uint64_t size() const { return size_; }
    Bytes prefix() const { return prefix_; }
    ByteSource& source() { return source_; }

    // Up to `length` bytes at `offset`, fewer at the end of the file: a part of
    // the prefix when it holds them all, else read into `store`. False when
    // the read fails.
    bool get(std::uint64_t offset, std::size_t length, ReadBuffer& store, Bytes& out) {
        out = {};
        if (offset >= size_)
            return true;
        length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
        if (fitsIn(offset, length, prefix_.size())) {
            out = prefix_.subspan(static_cast<std::size_t>(offset), length);
            return true;
        }
        store.clear();
        store.resize(length);
        std::size_t got = 0;
        if (readFully(source_, offset, store.writable(), got) != 0)
            return false;
        out = Bytes(store.data(), got);
        return true;
    }

private:
    Bytes prefix_;
    ByteSource& source_;
    std::uint64_t size_;
};

} // namespace quorvel::io

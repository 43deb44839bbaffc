#pragma once

// The one place that touches the platform: file calls and error texts. A
// Windows version would be a second implementation of this header.

#include "source/aviheader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quorvel::avifile {

class FileSource final : public ByteSource {
public:
    // Opens `path` (UTF-8) for reading. Returns 0, the system's error code, or
    // kErrorNotRegularFile; nothing is left open on failure.
    static std::int32_t open(const char* path, std::unique_ptr<FileSource>& out);

    ~FileSource() override; // closes the file
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override { return size_; }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override;

private:
    FileSource(std::intptr_t handle, std::uint64_t size) : handle_(handle), size_(size) {}

    std::intptr_t handle_;
    std::uint64_t size_;
};

// The system's text for an error code; empty when it has none.
std::string systemErrorText(std::int32_t code);

} // namespace quorvel::avifile

#pragma once

// The one place that touches the platform: file calls and error texts, in
// avi_platform_posix.cpp and avi_platform_win32.cpp. Error codes are the
// system's own: errno values on POSIX, GetLastError values on Windows.

#include "source/avi/aviheader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quorvel::avifile {

class FileSource final : public io::ByteSource {
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

// The system's code for running out of memory.
std::int32_t outOfMemoryError();

} // namespace quorvel::avifile

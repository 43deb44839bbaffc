#include "source/avi/avi_platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace quorvel::avifile {

namespace {

// errno after a failed call; never 0, which would read as success.
std::int32_t systemError() {
    return errno != 0 ? errno : EIO;
}

// Closes the descriptor on every way out of open until the source owns it.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

// strerror_r is the GNU one (returns the text) or the XSI one (fills the
// buffer, returns 0); overloading on its result takes whichever we got.
[[maybe_unused]] const char* strerrorResult(const char* text, const char*) {
    return text;
}
[[maybe_unused]] const char* strerrorResult(int rc, const char* buffer) {
    return rc == 0 ? buffer : nullptr;
}

} // namespace

std::string systemErrorText(std::int32_t code) {
    char buffer[256] = {};
    const char* text = strerrorResult(strerror_r(code, buffer, sizeof buffer), buffer);
    return text != nullptr ? std::string(text) : std::string();
}

std::int32_t outOfMemoryError() {
    return ENOMEM;
}

std::int32_t FileSource::open(const char* path, std::unique_ptr<FileSource>& out) {
    Descriptor file;
    // Read-only. Others may go on reading the file; POSIX has no way to stop
    // them writing to it, so the deny-write share mode cannot be honoured here.
    // O_NONBLOCK keeps a pipe without a writer or a device from hanging us
    // before fstat can turn it away; on a regular file it changes nothing.
    do {
        errno = 0;
        file.fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0)
        return systemError();

    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return systemError();
    if (!S_ISREG(st.st_mode))
        return kErrorNotRegularFile;

    out.reset(new FileSource(file.fd, static_cast<std::uint64_t>(st.st_size)));
    file.fd = -1;
    return 0;
}

FileSource::~FileSource() {
    ::close(static_cast<int>(handle_));
}

std::int32_t FileSource::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                                std::size_t& got) {
    got = 0;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return 0; // past any possible end
    const std::size_t want = size < static_cast<std::size_t>(std::numeric_limits<ssize_t>::max())
                                 ? size
                                 : static_cast<std::size_t>(std::numeric_limits<ssize_t>::max());
    ssize_t n;
    do {
        errno = 0;
        n = ::pread(static_cast<int>(handle_), out, want, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return systemError();
    got = static_cast<std::size_t>(n);
    return 0;
}

} // namespace quorvel::avifile

#include "source/avi/avifile.h"

#include "resize/text.h"
#include "source/avi/avi_platform.h"
#include "source/avi/aviheader.h"
#include "source/avi/messages.h"

#include <algorithm>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

namespace quorvel::avifile {

struct AviFile {
    std::unique_ptr<FileSource> source;
    std::vector<std::uint8_t> prefix; // the file's first bytes, read once by open
};

namespace {

// Per thread, as the system's own last error is; the program has one thread,
// so nothing else here is shared or locked.
thread_local std::int32_t tlsLastError = 0;
int gInitCount = 0;

// The handles open now, so that a stale or made-up pointer is refused rather
// than followed.
std::unordered_set<const AviFile*> gHandles;

bool isOpen(const AviFile* file) {
    return gHandles.count(file) != 0;
}

std::int32_t fail(std::int32_t code) {
    setLastError(code);
    return code;
}

bool isOwnRange(std::int32_t code) {
    return (code & ~0xFF) == (kErrorNotAviFile & ~0xFF);
}

} // namespace

std::int32_t lastError() {
    return tlsLastError;
}
void setLastError(std::int32_t code) {
    tlsLastError = code;
}

void AVIFileInit() {
    ++gInitCount;
}

void AVIFileExit() {
    // An unbalanced exit must not drive the count below zero.
    if (gInitCount > 0)
        --gInitCount;
}

int initCount() {
    return gInitCount;
}

std::int32_t AVIFileOpen(PAVIFILE* file, const char* path, std::uint32_t mode) {
    if (file == nullptr)
        return fail(kErrorInvalidArgument);
    *file = nullptr;
    if (path == nullptr || (mode & (OF_WRITE | OF_READWRITE | OF_CREATE)) != 0)
        return fail(kErrorInvalidArgument);
    try {
        auto handle = std::make_unique<AviFile>();
        if (const std::int32_t rc = FileSource::open(path, handle->source))
            return fail(rc);
        // One read for the whole header in the usual case; the cost does not
        // depend on how long the movie is.
        handle->prefix.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(io::kPrefixSize, handle->source->size())));
        std::size_t got = 0;
        if (const std::int32_t rc = io::readFully(*handle->source, 0, handle->prefix, got))
            return fail(rc);
        handle->prefix.resize(got);
        if (const std::int32_t rc = checkAviSignature(handle->prefix))
            return fail(rc);
        gHandles.insert(handle.get());
        *file = handle.release();
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(outOfMemoryError());
    }
}

std::int32_t AVIFileInfo(PAVIFILE file, AVIFILEINFO* info, std::int32_t size) {
    if (file == nullptr || !isOpen(file))
        return fail(kErrorInvalidHandle);
    if (info == nullptr)
        return fail(kErrorInvalidArgument);
    if (size < static_cast<std::int32_t>(sizeof(AVIFILEINFO)))
        return fail(kErrorRecordTooSmall);
    try {
        AVIFILEINFO record{};
        if (const std::int32_t rc = readAviInfo(file->prefix, *file->source, record))
            return fail(rc);
        *info = record;
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(outOfMemoryError());
    }
}

std::uint32_t AVIFileRelease(PAVIFILE file) {
    if (file == nullptr)
        return 0;
    if (gHandles.erase(file) == 0) {
        setLastError(kErrorInvalidHandle);
        return 0;
    }
    delete file; // closes the file
    return 0;
}

std::string sysErrorText(std::int32_t code) {
    if (const char* own = ownErrorText(code))
        return own;
    const std::string unknown = kUnknownErrorText + std::to_string(code);
    // Unassigned codes in our range are ours too: the system knows nothing of them.
    if (isOwnRange(code))
        return unknown;
    const std::string text = systemErrorText(code);
    return isBlank(text, kSpaceTabAndLineEnds) ? unknown : text;
}

} // namespace quorvel::avifile

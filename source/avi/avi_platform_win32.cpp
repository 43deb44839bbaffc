#include "source/avi/avi_platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <limits>

namespace quorvel::avifile {

namespace {

// GetLastError after a failed call; never 0, which would read as success.
std::int32_t systemError() {
    const DWORD code = ::GetLastError();
    return static_cast<std::int32_t>(code != 0 ? code : ERROR_READ_FAULT);
}

// Closes the handle on every way out of open until the source owns it.
struct Handle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};

// UTF-8 to UTF-16; false with the system's code in `error` when the bytes are
// not UTF-8. Wide paths reach every file name, whatever the ANSI code page.
bool widen(const char* text, std::wstring& out, std::int32_t& error) {
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
        error = systemError();
        return false;
    }
    out.assign(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out.data(), length) <= 0) {
        error = systemError();
        return false;
    }
    out.resize(static_cast<std::size_t>(length - 1)); // the terminator
    return true;
}

std::string narrow(const wchar_t* text, std::size_t length) {
    if (length == 0 || length > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    const int wide = static_cast<int>(length);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), size, nullptr, nullptr);
    return out;
}

} // namespace

std::string systemErrorText(std::int32_t code) {
    struct Text {
        wchar_t* buffer = nullptr;
        ~Text() { ::LocalFree(buffer); }
    } text;
    // Inserts are left as they are: we have no arguments for them.
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text.buffer), 0, nullptr);
    if (length == 0 || text.buffer == nullptr)
        return {};
    // The system's texts end in a line break that a message box does not want.
    std::size_t end = length;
    while (end > 0 && std::wcschr(L" \t\r\n", text.buffer[end - 1]) != nullptr)
        --end;
    return narrow(text.buffer, end);
}

std::int32_t outOfMemoryError() {
    return ERROR_NOT_ENOUGH_MEMORY;
}

std::int32_t FileSource::open(const char* path, std::unique_ptr<FileSource>& out) {
    std::wstring wide;
    std::int32_t error = 0;
    if (!widen(path, wide, error))
        return error;

    Handle file;
    // Read access; others may read the file too but not write it while it is
    // open, and an open writer makes this fail with a sharing violation.
    // Backup semantics let a folder open, so that it is refused as one below
    // rather than as "access denied".
    file.handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE)
        return systemError();

    // Pipes and character devices (CON, NUL, COM1) could block or never end.
    ::SetLastError(0);
    const DWORD type = ::GetFileType(file.handle);
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != 0)
        return systemError();
    if (type != FILE_TYPE_DISK)
        return kErrorNotRegularFile;
    BY_HANDLE_FILE_INFORMATION facts{};
    if (!::GetFileInformationByHandle(file.handle, &facts))
        return systemError();
    if ((facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return kErrorNotRegularFile;

    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.handle, &size))
        return systemError();

    out.reset(new FileSource(reinterpret_cast<std::intptr_t>(file.handle),
                             static_cast<std::uint64_t>(size.QuadPart)));
    file.handle = INVALID_HANDLE_VALUE;
    return 0;
}

FileSource::~FileSource() {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::int32_t FileSource::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                                std::size_t& got) {
    got = 0;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()))
        return 0; // past any possible end
    // One call reads at most a DWORD's worth; readFully asks again for the rest.
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    // The offset goes with the call, so no shared file position is moved.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), out, want, &n, &at)) {
        // A synchronous read with an offset at or past the end says so this way.
        if (::GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        return systemError();
    }
    got = n;
    return 0;
}

} // namespace quorvel::avifile

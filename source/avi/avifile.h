#pragma once

// Our own AVI information library. It has the shape of the classic platform
// library (init, open, info, release, exit; 0 for success) so that the window
// code reads the same everywhere, but it reads only the file's header and is
// written to survive any input.

#include "source/avi/record.h"

#include <cstdint>
#include <string>

namespace quorvel::avifile {

// Read access; others may read but not write (as far as the platform allows).
inline constexpr std::uint32_t OF_SHARE_DENY_WRITE = 0x20;
// Asking for any of these is refused: the library only reads.
inline constexpr std::uint32_t OF_WRITE = 0x1;
inline constexpr std::uint32_t OF_READWRITE = 0x2;
inline constexpr std::uint32_t OF_CREATE = 0x1000;

struct AviFile; // an open file: opaque to callers
using PAVIFILE = AviFile*;

void AVIFileInit();
void AVIFileExit();
// `path` is UTF-8. On success *file receives a handle to release.
std::int32_t AVIFileOpen(PAVIFILE* file, const char* path, std::uint32_t mode);
// Fills `info` (at least `size` bytes; a size below 108 is refused).
std::int32_t AVIFileInfo(PAVIFILE file, AVIFILEINFO* info, std::int32_t size);
// Closes the file and frees the handle; null is ignored.
std::uint32_t AVIFileRelease(PAVIFILE file);

// The calling thread's last-error code. Every failing call above sets it to a
// code that describes that failure: the system's own code for system failures
// (errno on POSIX, GetLastError on Windows), one of the codes below for ours.
std::int32_t lastError();
void setLastError(std::int32_t code);

// The system's text for an error code, or our sentence for our own codes;
// never empty: a code without text gives "Unknown error <code>".
std::string sysErrorText(std::int32_t code);

// The init count, for tests that check init and exit are balanced.
int initCount();

} // namespace quorvel::avifile

#pragma once

#include "source/avi/avifile.h"

#include <cstdint>
#include <string>

namespace quorvel::avifile {

// The calls the window makes on the AVI library, behind one seam so tests can
// count them and script their results. Each call's error code is the thread's
// last-error code taken right after it.
class AviLibrary {
public:
    virtual ~AviLibrary() = default;
    virtual void init() = 0;
    virtual std::int32_t open(PAVIFILE* file, const std::string& path, std::uint32_t mode) = 0;
    virtual std::int32_t info(PAVIFILE file, AVIFILEINFO* record, std::int32_t size) = 0;
    virtual void release(PAVIFILE file) = 0;
    virtual void exit() = 0;
    virtual std::int32_t lastError() = 0;
};

// The real library.
AviLibrary& systemAviLibrary();

} // namespace quorvel::avifile

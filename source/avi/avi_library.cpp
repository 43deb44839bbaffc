#include "source/avi/avi_library.h"

namespace quorvel::avifile {

namespace {

class SystemAviLibrary final : public AviLibrary {
public:
    void init() override { AVIFileInit(); }
    std::int32_t open(PAVIFILE* file, const std::string& path, std::uint32_t mode) override {
        return AVIFileOpen(file, path.c_str(), mode);
    }
    std::int32_t info(PAVIFILE file, AVIFILEINFO* record, std::int32_t size) override {
        return AVIFileInfo(file, record, size);
    }
    void release(PAVIFILE file) override { AVIFileRelease(file); }
    void exit() override { AVIFileExit(); }
    std::int32_t lastError() override { return avifile::lastError(); }
};

} // namespace

AviLibrary& systemAviLibrary() {
    static SystemAviLibrary library;
    return library;
}

} // namespace quorvel::avifile

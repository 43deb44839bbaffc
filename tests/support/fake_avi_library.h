#pragma once

#include "source/avi/avi_library.h"

#include <cstring>
#include <string>
#include <vector>

namespace quorvel::fakes {

// Scripts the AVI library's answers and records the calls made on it.
class FakeAviLibrary final : public avifile::AviLibrary {
public:
    std::int32_t openResult = 0;
    std::int32_t openError = 0;
    std::int32_t infoResult = 0;
    std::int32_t infoError = 0;
    avifile::AVIFILEINFO record{};

    std::vector<std::string> calls;
    std::string openedPath;
    int openHandles = 0;

    static avifile::AVIFILEINFO makeRecord(std::uint32_t width, std::uint32_t height,
                                           std::uint32_t rate, std::uint32_t scale) {
        avifile::AVIFILEINFO r{};
        r.dwWidth = width;
        r.dwHeight = height;
        r.dwRate = rate;
        r.dwScale = scale;
        return r;
    }

    void init() override { calls.push_back("init"); }
    std::int32_t open(avifile::PAVIFILE* file, const std::string& path,
                      std::uint32_t mode) override {
        calls.push_back("open");
        openedPath = path;
        mode_ = mode;
        error_ = openError;
        if (openResult != 0)
            return openResult;
        *file = reinterpret_cast<avifile::PAVIFILE>(&handle_);
        ++openHandles;
        return 0;
    }
    std::int32_t info(avifile::PAVIFILE file, avifile::AVIFILEINFO* out,
                      std::int32_t size) override {
        calls.push_back("info");
        error_ = infoError;
        if (file != reinterpret_cast<avifile::PAVIFILE>(&handle_) || size != 108)
            return -1;
        if (infoResult != 0)
            return infoResult;
        std::memcpy(out, &record, sizeof record);
        return 0;
    }
    void release(avifile::PAVIFILE file) override {
        calls.push_back("release");
        if (file == reinterpret_cast<avifile::PAVIFILE>(&handle_))
            --openHandles;
    }
    void exit() override { calls.push_back("exit"); }
    std::int32_t lastError() override { return error_; }

    std::uint32_t lastMode() const { return mode_; }

private:
    int handle_ = 0;
    std::int32_t error_ = 0;
    std::uint32_t mode_ = 0;
};

} // namespace quorvel::fakes

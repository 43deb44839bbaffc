#pragma once

// A folder of the test's own under the system's temporary folder, removed
// with everything in it when the test ends. Paths are handed out as UTF-8, as
// the AVI calls take them, on every platform.

#include "tests/source/avi/avi_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace quorvel::avitest {

inline std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

class TempDirTest : public testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        std::random_device random;
        for (int tries = 0; tries < 100 && dir_.empty(); ++tries) {
            fs::path candidate =
                fs::temp_directory_path() / ("quorvel-avi-" + std::to_string(random()));
            if (fs::create_directory(candidate))
                dir_ = std::move(candidate);
        }
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // `name` is UTF-8; returns the file's whole path in UTF-8.
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::filesystem::path path =
            dir_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return utf8(path);
    }
    std::string path(const std::string& name) const {
        return utf8(dir_ / std::filesystem::path(std::u8string(name.begin(), name.end())));
    }

    std::filesystem::path dir_;
};

} // namespace quorvel::avitest

#include "make/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quorvel::make {
namespace {

TEST(Process, ArgumentsArriveExactAndStatusComesBack) {
    // Bytes a shell would act on, a newline and a byte that is not UTF-8.
    const std::string odd = "it's $(touch PWNED) `x`;\n\xe9 -";
    std::string out, errors;
    const int status = runCapture(
        {{"sh", "-c", "printf '%s' \"$1\"; echo oops >&2; exit 3", "sh", odd}, {}, {}, {}, {}}, out,
        errors);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(out, odd);
    EXPECT_EQ(errors, "oops\n");
    EXPECT_EQ(runCapture({{"no-such-program-here"}, {}, {}, {}, {}}, out, errors), 127);
}

TEST(Process, FilesForStandardInputAndOutputAndAFolder) {
    const std::string folder =
        std::filesystem::temp_directory_path() / ("quorvel-process-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string in = folder + "/in", out = folder + "/out";
    std::ofstream(in) << "fed";
    std::string captured, errors;
    EXPECT_EQ(runCapture({{"sh", "-c", "cat; pwd >&2; exit $QV"}, folder, {"QV=4"}, in, out},
                         captured, errors),
              4);
    std::stringstream written;
    written << std::ifstream(out).rdbuf();
    EXPECT_EQ(written.str(), "fed");
    EXPECT_EQ(errors, folder + "\n");
    std::filesystem::remove_all(folder);
}

TEST(Process, StopEndsAChildThatWillNotEnd) {
    Process p;
    std::string error;
    ASSERT_TRUE(p.start({{"sleep", "30"}, {}, {}, {}, {}}, nullptr, error)) << error;
    const auto started = std::chrono::steady_clock::now();
    p.stop();
    EXPECT_FALSE(p.running());
    EXPECT_EQ(p.status(), 128 + 15);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

} // namespace
} // namespace quorvel::make

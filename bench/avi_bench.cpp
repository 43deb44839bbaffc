// What one inspection (open, info, release) costs on a small corpus file and on
// the same header at the front of a 1 MiB and a 4 GB sparse file. Only the
// header is read, so the read calls match and the time does not grow with the
// file: the small file is read whole (it is shorter than open's 64 KiB first
// read), the others read exactly those 64 KiB.

#include "source/avi/avifile.h"
#include "source/io/byte_source.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using quorvel::io::ReadStats;
using quorvel::io::readStats;
using namespace quorvel::avifile;

// A private folder with a copy of a corpus file and longer files that start
// with the same bytes; it goes when the benchmark ends.
class Files {
public:
    Files() {
        std::string pattern = (fs::temp_directory_path() / "quorvel-avi-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        dir_ = pattern;
        const fs::path corpus =
            fs::path(__FILE__).parent_path().parent_path() / "tests/data/avi/cif-352x288-25.avi";
        fs::copy_file(corpus, path(0));
        for (std::uint64_t size : {1ull << 20, 4ull << 30}) {
            fs::copy_file(corpus, path(size));
            fs::resize_file(path(size), size); // sparse: no data blocks behind the header
        }
    }
    ~Files() { fs::remove_all(dir_); }

    // The file of `size` bytes, 0 for the corpus file as it is.
    fs::path path(std::uint64_t size) const { return dir_ / (std::to_string(size) + ".avi"); }

private:
    fs::path dir_;
};

const Files& files() {
    static const Files instance;
    return instance;
}

void inspect(benchmark::State& state, std::uint64_t size) {
    const std::string path = files().path(size).string();
    const ReadStats before = readStats();
    for (auto _ : state) {
        PAVIFILE file = nullptr;
        AVIFILEINFO info{};
        if (AVIFileOpen(&file, path.c_str(), OF_SHARE_DENY_WRITE) != 0 ||
            AVIFileInfo(file, &info, sizeof info) != 0) {
            state.SkipWithError(sysErrorText(lastError()).c_str());
            AVIFileRelease(file);
            break;
        }
        benchmark::DoNotOptimize(info.dwWidth);
        AVIFileRelease(file);
    }
    const ReadStats after = readStats();
    state.counters["bytes_read"] = benchmark::Counter(
        static_cast<double>(after.bytes - before.bytes), benchmark::Counter::kAvgIterations);
    state.counters["reads"] = benchmark::Counter(static_cast<double>(after.calls - before.calls),
                                                 benchmark::Counter::kAvgIterations);
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
}

BENCHMARK_CAPTURE(inspect, corpus_file, 0);
BENCHMARK_CAPTURE(inspect, sparse_1MiB_file, 1ull << 20);
BENCHMARK_CAPTURE(inspect, sparse_4GiB_file, 4ull << 30);

} // namespace

BENCHMARK_MAIN();

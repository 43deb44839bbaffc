// Replays the AVI corpus and the inputs the fuzzer once broke us with, then
// mutates the corpus with a fixed-start generator, so every build checks the
// fuzz target's promises without needing clang or libFuzzer.
//   avi_replay [mutations]

#include "fuzz/avi_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Where chunks may start: four printable characters. Cheap, and not the
// reader's own walk, so mutations also land on what it would skip.
std::vector<std::size_t> chunkStarts(const Bytes& b) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 8 <= b.size(); ++i)
        if (std::all_of(b.begin() + i, b.begin() + i + 4,
                        [](std::uint8_t c) { return std::isalnum(c) || c == ' '; }))
            starts.push_back(i);
    return starts;
}

std::uint32_t read32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void write32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class Mutator {
public:
    explicit Mutator(std::uint64_t start) : rng_(start) {}

    void mutate(Bytes& b, const std::vector<std::size_t>& starts) {
        if (b.empty())
            return;
        // The header is where the reader looks: aim most changes there.
        const std::size_t span = std::min<std::size_t>(b.size(), pick(4) == 0 ? b.size() : 10000);
        switch (pick(6)) {
        case 0:
            b[pick(span)] ^= static_cast<std::uint8_t>(1u << pick(8));
            break;
        case 1:
            b[pick(span)] = static_cast<std::uint8_t>(pick(256));
            break;
        case 2:
        case 3: {
            if (starts.empty())
                break;
            const std::size_t at = starts[pick(starts.size())] + 4;
            if (at + 4 > b.size())
                break;
            const std::uint32_t old = read32(b, at);
            const std::uint32_t values[] = {0u,
                                            0xFFFFFFFFu,
                                            0xFFFFFFF8u,
                                            old + 1,
                                            old - 1,
                                            old * 2,
                                            static_cast<std::uint32_t>(rng_()),
                                            4u,
                                            0x100000u,
                                            0x100001u};
            write32(b, at, values[pick(std::size(values))]);
            break;
        }
        case 4:
            b.resize(pick(b.size() + 1));
            break;
        case 5: {
            // Copy one chunk (as its size says, clipped) to another chunk start.
            if (starts.empty())
                break;
            const std::size_t from = starts[pick(starts.size())];
            const std::size_t to = starts[pick(starts.size())];
            if (from + 8 > b.size() || to > b.size())
                break;
            const std::size_t length =
                std::min<std::uint64_t>(8 + std::uint64_t{read32(b, from + 4)}, b.size() - from);
            const Bytes piece(b.begin() + from, b.begin() + from + length);
            b.insert(b.begin() + to, piece.begin(), piece.end());
            break;
        }
        }
    }

    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }

private:
    std::mt19937_64 rng_;
};

Bytes gInput;

void keepInput() {
    std::ofstream("avi_replay_failure.bin", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(gInput.data()),
               static_cast<std::streamsize>(gInput.size()));
    std::fprintf(stderr, "avi_replay: input kept in avi_replay_failure.bin\n");
}

} // namespace

// AddressSanitizer calls this, when it is there, before it reports.
extern "C" void __asan_on_error() {
    keepInput();
}

int main(int argc, char** argv) {
    const long mutations = argc > 1 ? std::stol(argv[1]) : 200000;

    std::vector<Bytes> corpus;
    std::size_t replayed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(QUORVEL_TEST_DATA "/avi")) {
        if (!entry.is_regular_file())
            continue;
        Bytes bytes = readFile(entry.path());
        gInput = bytes;
        quorvel::avifuzz::checkAviInput(bytes);
        ++replayed;
        if (entry.path().extension() == ".avi")
            corpus.push_back(std::move(bytes));
    }
    AVI_CHECK(!corpus.empty());

    std::vector<std::vector<std::size_t>> starts;
    for (const Bytes& b : corpus)
        starts.push_back(chunkStarts(b));
    quorvel::avifuzz::onBrokenPromise = keepInput;
    Mutator mutator(0x51ED'0A71);
    for (long i = 0; i < mutations; ++i) {
        const std::size_t which = mutator.pick(corpus.size());
        gInput = corpus[which];
        for (std::size_t n = 1 + mutator.pick(4); n > 0; --n)
            mutator.mutate(gInput, starts[which]);
        quorvel::avifuzz::checkAviInput(gInput);
    }
    std::printf("avi_replay: %zu files replayed, %ld mutations checked\n", replayed, mutations);
    return 0;
}

// Replays a container's corpus and the inputs its fuzzer once broke us with,
// then mutates the corpus with a fixed-start generator, so every build checks
// the fuzz targets' promises without needing clang or libFuzzer.
//   media_replay NAME [mutations]
// A new container is one row of kFormats: its corpus folder under tests/data,
// the checker its fuzz target calls, and where its structure starts.

#include "fuzz/avi_check.h"
#include "fuzz/matroska_check.h"
#include "fuzz/mp4_check.h"
#include "fuzz/mpeg_check.h"
#include "fuzz/mpeg_flags_check.h"
#include "fuzz/probe_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class Mutator;

// How one container's files are taken apart: where its elements may start
// (cheap guesses, not the reader's own walk, so mutations also land on what
// it would skip), how to spoil the size or code at such a start, and how long
// the element there is, for copying it elsewhere (0: not here).
struct Format {
    const char* name;
    const char* folder;         // under tests/data
    const char* seedExtensions; // the files that are mutated, "|.mkv|.webm|"
    void (*check)(std::span<const std::uint8_t>);
    long mutations;
    std::vector<std::size_t> (*starts)(const Bytes&);
    void (*spoil)(Bytes&, std::size_t start, Mutator&);
    std::size_t (*length)(const Bytes&, std::size_t start);
};

class Mutator {
public:
    explicit Mutator(std::uint64_t start) : rng_(start) {}

    void mutate(Bytes& b, const std::vector<std::size_t>& starts, const Format& f) {
        if (b.empty())
            return;
        // The header is where the readers look: aim most changes there.
        const std::size_t span = std::min<std::size_t>(b.size(), pick(4) == 0 ? b.size() : 10000);
        switch (pick(6)) {
        case 0:
            b[pick(span)] ^= static_cast<std::uint8_t>(1u << pick(8));
            break;
        case 1:
            b[pick(span)] = static_cast<std::uint8_t>(pick(256));
            break;
        case 2:
        case 3:
            if (!starts.empty())
                f.spoil(b, starts[pick(starts.size())], *this);
            break;
        case 4:
            b.resize(pick(b.size() + 1));
            break;
        case 5: {
            // Copy one element (as its size says, clipped) to another start.
            if (starts.empty())
                break;
            const std::size_t from = starts[pick(starts.size())];
            const std::size_t to = starts[pick(starts.size())];
            if (to > b.size())
                break;
            const std::size_t length = f.length(b, from);
            if (length == 0)
                break;
            const Bytes piece(b.begin() + from, b.begin() + from + length);
            b.insert(b.begin() + to, piece.begin(), piece.end());
            break;
        }
        }
    }

    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }
    std::uint64_t next() { return rng_(); }

private:
    std::mt19937_64 rng_;
};

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void putLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// AVI: chunks start with four printable characters and a 32-bit size.
std::vector<std::size_t> aviStarts(const Bytes& b) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 8 <= b.size(); ++i)
        if (std::all_of(b.begin() + i, b.begin() + i + 4,
                        [](std::uint8_t c) { return std::isalnum(c) || c == ' '; }))
            starts.push_back(i);
    return starts;
}

void aviSpoil(Bytes& b, std::size_t start, Mutator& m) {
    const std::size_t at = start + 4;
    if (at + 4 > b.size())
        return;
    const std::uint32_t old = le32(b, at);
    const std::uint32_t values[] = {0u,
                                    0xFFFFFFFFu,
                                    0xFFFFFFF8u,
                                    old + 1,
                                    old - 1,
                                    old * 2,
                                    static_cast<std::uint32_t>(m.next()),
                                    4u,
                                    0x100000u,
                                    0x100001u};
    putLe32(b, at, values[m.pick(std::size(values))]);
}

std::size_t aviLength(const Bytes& b, std::size_t start) {
    if (start + 8 > b.size())
        return 0;
    return std::min<std::uint64_t>(8 + std::uint64_t{le32(b, start + 4)}, b.size() - start);
}

// Matroska: the IDs the reader knows, wherever their bytes occur.
constexpr std::array<std::uint32_t, 17> kMatroskaIds = {
    0x1A45DFA3, 0x4282, 0x18538067, 0x114D9B74, 0x4DBB, 0x53AB, 0x53AC, 0x1654AE6B, 0x1F43B675,
    0xAE,       0x83,   0x86,       0x23E383,   0xE0,   0xB0,   0xBA,   0x54B0};

std::size_t idLength(std::uint32_t id) {
    return id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
}

std::vector<std::size_t> matroskaStarts(const Bytes& b) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < b.size(); ++i)
        for (const std::uint32_t id : kMatroskaIds) {
            const std::size_t n = idLength(id);
            bool match = i + n < b.size();
            for (std::size_t k = 0; match && k < n; ++k)
                match = b[i + k] == static_cast<std::uint8_t>(id >> (8 * (n - 1 - k)));
            if (match) {
                starts.push_back(i);
                break;
            }
        }
    return starts;
}

// The length of the VINT at `at` from its first byte; 0 for a zero byte.
std::size_t vintLength(std::uint8_t first) {
    for (std::size_t n = 1; n <= 8; ++n)
        if (first & (0x80u >> (n - 1)))
            return n;
    return 0;
}

void matroskaSpoil(Bytes& b, std::size_t start, Mutator& m) {
    if (start >= b.size())
        return;
    const std::size_t at =
        start + std::max<std::size_t>(1, std::min<std::size_t>(vintLength(b[start]), 4));
    if (at >= b.size())
        return;
    // No marker, unknown sizes of one and eight bytes, empty, one byte more
    // or less, huge, and noise.
    static constexpr std::array<std::array<std::uint8_t, 8>, 8> kSizes = {{
        {0x00},
        {0xFF},
        {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x80},
        {0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00},
        {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00},
        {0x40, 0x00},
        {0x10, 0x10, 0x00, 0x00},
    }};
    const std::size_t which = m.pick(kSizes.size() + 3);
    if (which == kSizes.size()) {
        b[at] = static_cast<std::uint8_t>(b[at] + 1);
    } else if (which == kSizes.size() + 1) {
        b[at] = static_cast<std::uint8_t>(b[at] - 1);
    } else if (which == kSizes.size() + 2) {
        b[at] = static_cast<std::uint8_t>(m.next());
    } else {
        const auto& v = kSizes[which];
        const std::size_t n = std::max<std::size_t>(1, vintLength(v[0]));
        for (std::size_t k = 0; k < n && at + k < b.size(); ++k)
            b[at + k] = v[k];
    }
}

std::size_t matroskaLength(const Bytes& b, std::size_t start) {
    if (start >= b.size())
        return 0;
    const std::size_t id = vintLength(b[start]);
    if (id == 0 || id > 4 || start + id >= b.size())
        return 0;
    const std::size_t n = vintLength(b[start + id]);
    if (n == 0 || start + id + n > b.size())
        return 0;
    std::uint64_t size = b[start + id] & (0xFFu >> n);
    for (std::size_t k = 1; k < n; ++k)
        size = size << 8 | b[start + id + k];
    return std::min<std::uint64_t>(id + n + size, b.size() - start);
}

// MPEG: start codes, and the byte after each (a pack, a packet length, a
// sequence header's size).
std::vector<std::size_t> mpegStarts(const Bytes& b) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 4 <= b.size(); ++i)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1)
            starts.push_back(i);
    return starts;
}

void mpegSpoil(Bytes& b, std::size_t start, Mutator& m) {
    if (start + 4 > b.size())
        return;
    if (m.pick(3) == 0) {
        static constexpr std::array<std::uint8_t, 8> kCodes = {0xBA, 0xBB, 0xB3, 0xB5,
                                                               0xB9, 0xE0, 0xC0, 0x00};
        b[start + 3] = kCodes[m.pick(kCodes.size())];
        return;
    }
    const std::size_t at = start + 4;
    if (at + 2 > b.size())
        return;
    const std::uint16_t old = static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
    const std::uint16_t values[] = {0,
                                    0xFFFF,
                                    static_cast<std::uint16_t>(old + 1),
                                    static_cast<std::uint16_t>(old - 1),
                                    static_cast<std::uint16_t>(m.next()),
                                    3,
                                    0x0800};
    const std::uint16_t v = values[m.pick(std::size(values))];
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

std::size_t mpegLength(const Bytes& b, std::size_t start) {
    if (start + 4 > b.size())
        return 0;
    std::size_t end = start + 4;
    while (end + 3 <= b.size() && end - start < 4096 &&
           !(b[end] == 0 && b[end + 1] == 0 && b[end + 2] == 1))
        ++end;
    return std::min(end, b.size()) - start;
}

// MP4: boxes start with a big-endian 32-bit size and four printable characters.
std::uint32_t be32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

std::vector<std::size_t> mp4Starts(const Bytes& b) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 8 <= b.size(); ++i)
        if (std::all_of(b.begin() + i + 4, b.begin() + i + 8,
                        [](std::uint8_t c) { return std::isalnum(c) || c == ' '; }))
            starts.push_back(i);
    return starts;
}

void mp4Spoil(Bytes& b, std::size_t start, Mutator& m) {
    if (start + 8 > b.size())
        return;
    const std::uint32_t old = be32(b, start);
    const std::uint32_t values[] = {0u,      1u,          7u,
                                    8u,      0xFFFFFFFFu, old + 1,
                                    old - 1, old * 2,     static_cast<std::uint32_t>(m.next())};
    const std::uint32_t v = values[m.pick(std::size(values))];
    for (int i = 0; i < 4; ++i)
        b[start + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::size_t mp4Length(const Bytes& b, std::size_t start) {
    if (start + 8 > b.size())
        return 0;
    return std::min<std::uint64_t>(std::max<std::uint32_t>(8, be32(b, start)), b.size() - start);
}

// Everything: each file is taken apart as the container the sniffer sees in
// it now (the mutations may change that), content it reads as none as MPEG.
const Format& formatOf(const Bytes& b);

std::vector<std::size_t> probeStarts(const Bytes& b) {
    return formatOf(b).starts(b);
}

void probeSpoil(Bytes& b, std::size_t start, Mutator& m) {
    formatOf(b).spoil(b, start, m);
}

std::size_t probeLength(const Bytes& b, std::size_t start) {
    return formatOf(b).length(b, start);
}

const Format kFormats[] = {
    {"avi", "avi", "|.avi|", quorvel::avifuzz::checkAviInput, 120000, aviStarts, aviSpoil,
     aviLength},
    {"mp4", "mp4", "|.mp4|.mov|.3gp|", quorvel::mp4fuzz::checkMp4Input, 10000, mp4Starts, mp4Spoil,
     mp4Length},
    {"matroska", "mkv", "|.mkv|.webm|", quorvel::mediafuzz::checkMatroskaInput, 10000,
     matroskaStarts, matroskaSpoil, matroskaLength},
    {"mpeg", "mpeg", "|.mpg|.m1v|.m2v|", quorvel::mediafuzz::checkMpegInput, 10000, mpegStarts,
     mpegSpoil, mpegLength},
    // The flag rewriter takes elementary streams; each input is checked cut
    // into reads of every size up to 32 bytes, so fewer mutations.
    {"mpeg_flags", "mpeg", "|.m1v|.m2v|", quorvel::mediafuzz::checkMpegFlags, 2000, mpegStarts,
     mpegSpoil, mpegLength},
    {"probe", "", "|.avi|.mp4|.mov|.3gp|.mkv|.webm|.mpg|.m1v|.m2v|.ts|.wav|",
     quorvel::mediafuzz::checkProbeInput, 20000, probeStarts, probeSpoil, probeLength},
};

const Format& formatOf(const Bytes& b) {
    using quorvel::media::Container;
    const auto sniffed = quorvel::media::sniff(
        quorvel::media::Bytes(b).first(std::min(b.size(), quorvel::io::kPrefixSize)));
    switch (sniffed.container.value_or(Container::MpegEs)) {
    case Container::Avi:
        return kFormats[0];
    case Container::Mp4:
        return kFormats[1];
    case Container::Matroska:
        return kFormats[2];
    case Container::MpegPs:
    case Container::MpegEs:
        break;
    }
    return kFormats[3];
}

Bytes gInput;
std::string gFailureFile;

void keepInput() {
    std::ofstream(gFailureFile, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(gInput.data()),
               static_cast<std::streamsize>(gInput.size()));
    std::fprintf(stderr, "media_replay: input kept in %s\n", gFailureFile.c_str());
}

bool isSeed(const Format& f, const fs::path& path) {
    const std::string ext = "|" + path.extension().string() + "|";
    return std::strstr(f.seedExtensions, ext.c_str()) != nullptr;
}

} // namespace

// AddressSanitizer calls this, when it is there, before it reports.
extern "C" void __asan_on_error() {
    keepInput();
}

int main(int argc, char** argv) {
    const Format* format = nullptr;
    for (const Format& f : kFormats)
        if (argc > 1 && std::string_view(argv[1]) == f.name)
            format = &f;
    if (!format) {
        std::fprintf(stderr,
                     "usage: media_replay avi|mp4|matroska|mpeg|mpeg_flags|probe [mutations]\n");
        return 2;
    }
    const Format& f = *format;
    const long mutations = argc > 2 ? std::stol(argv[2]) : f.mutations;
    gFailureFile = std::string(f.name) + "_replay_failure.bin";

    std::vector<Bytes> corpus;
    std::size_t replayed = 0;
    for (const auto& entry :
         fs::recursive_directory_iterator(std::string(QUORVEL_TEST_DATA "/") + f.folder)) {
        if (!entry.is_regular_file())
            continue;
        Bytes bytes = readFile(entry.path());
        gInput = bytes;
        f.check(bytes);
        ++replayed;
        if (isSeed(f, entry.path()))
            corpus.push_back(std::move(bytes));
    }
    PROMISE(!corpus.empty());

    std::vector<std::vector<std::size_t>> starts;
    for (const Bytes& b : corpus)
        starts.push_back(f.starts(b));
    quorvel::fuzz::onBrokenPromise = keepInput;
    Mutator mutator(0x51ED'0A71);
    for (long i = 0; i < mutations; ++i) {
        const std::size_t which = mutator.pick(corpus.size());
        gInput = corpus[which];
        for (std::size_t n = 1 + mutator.pick(4); n > 0; --n)
            mutator.mutate(gInput, starts[which], f);
        f.check(gInput);
    }
    std::printf("%s_replay: %zu files replayed, %ld mutations checked\n", f.name, replayed,
                mutations);
    return 0;
}
